#include "framework/language.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>

#include "framework/errors.h"
#include "framework/program_dir.h"
#include "framework/text_case.h"
#include "framework/text_encoding.h"
#include "framework/trace_names.h"

namespace norv {

THook<std::string()> ProductNameHook;
THook<void(const std::string& message)> LanguageMessageHook;

namespace {
TLanguageStrings BuiltInTable() {
  TLanguageStrings table;
  RegisterDefaultLangStrings(table);
  return table;
}
}  // namespace

// Filled with the built-in texts from the start, so that units used before (or without)
// the start-up language choice still get their English texts.
TLanguageStrings LanguageStrings = BuiltInTable();
std::unique_ptr<TMultiLanguages> Languages;
bool EnglishFileMissing = false;
bool WritingEnglishFile = false;

namespace {

constexpr std::string_view kUnitMarker = "@Unit@";
constexpr std::string_view kResourceSection = "Resource Strings";
constexpr std::string_view kUndefined = "Undefined";

std::string WithUnit(std::string text, bool noUnitSubst) {
  if (noUnitSubst || !ProductNameHook.IsSet()) return text;
  size_t at = text.find(kUnitMarker);
  if (at != std::string::npos) text.replace(at, kUnitMarker.size(), ProductNameHook());
  return text;
}

std::string Quoted(std::string_view key) { return "\"" + std::string(key) + "\""; }

}  // namespace

// ---- the table ----

const TLanguageStrings::Entry* TLanguageStrings::Find(std::string_view key) const {
  if (sorted_) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& e, std::string_view k) { return e.key < k; });
    return (it != entries_.end() && it->key == key) ? &*it : nullptr;
  }
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.key == key; });
  return it != entries_.end() ? &*it : nullptr;
}

TLanguageStrings::Entry* TLanguageStrings::Find(std::string_view key) {
  return const_cast<Entry*>(std::as_const(*this).Find(key));
}

void TLanguageStrings::AddLangStr(std::string_view key, std::string_view text) {
  Entry entry{std::string(key), std::string(text), std::string(text)};
  if (!sorted_) {
    entries_.push_back(std::move(entry));
    return;
  }
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                             [](const Entry& e, std::string_view k) { return e.key < k; });
  if (it != entries_.end() && it->key == key) {
    LanguageMessageHook("TLanguageStrings.AddLangStr - Name " + Quoted(key) + " Duplicated");
    return;
  }
  entries_.insert(it, std::move(entry));
}

void TLanguageStrings::ChangeLangStr(std::string_view key, std::string_view text) {
  if (Entry* e = Find(key)) {
    e->text = std::string(text);
  } else {
    LanguageMessageHook("TLanguageStrings.ChangeLangStr - Name " + Quoted(key) + " Not Found");
  }
}

std::string TLanguageStrings::GetLangStr(std::string_view key, bool noUnitSubst) const {
  if (const Entry* e = Find(key)) return WithUnit(e->text, noUnitSubst);
  LanguageMessageHook("           ERROR!!!\r\n Language String \"rs" + std::string(key) + "\" is absent!");
  return std::string(32, '?');
}

std::string TLanguageStrings::EnglishText(std::string_view key, bool noUnitSubst) const {
  const Entry* e = Find(key);
  return e ? WithUnit(e->english, noUnitSubst) : std::string();
}

void TLanguageStrings::MakeSorted() {
  if (sorted_) return;
  // Stable, so that of equal keys added before sorting the first stays first (and wins).
  std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
  entries_.erase(std::unique(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.key == b.key; }),
                 entries_.end());
  sorted_ = true;
}

void ResetLangStrings() { LanguageStrings.MakeSorted(); }

void LoadResourceStrings(TLanguageStrings& table) {
  table.Clear();
  RegisterDefaultLangStrings(table);
  if (!Languages || EnglishFileMissing || !Languages->Ini) return;
  for (size_t i = 0; i < table.Count(); ++i) {
    std::string key = table.Key(i);
    std::string text = ReadLangValue(*Languages->Ini, kResourceSection, "rs" + key);
    if (text != kUndefined) table.ChangeLangStr(key, text);
  }
}

void WriteResourceStrings(const TLanguageStrings& table, TCustomIniFile_Dot& ini) {
  for (size_t i = 0; i < table.Count(); ++i) {
    const std::string& key = table.Key(i);
    WriteLangValue(ini, kResourceSection, "rs" + key, table.GetLangStr(key, true));
  }
}

// ---- language file values ----

std::string FormatLangKey(std::string_view section, std::string_view ident) {
  return std::string(section) + ":" + std::string(ident);
}

std::string EncodeLangValue(std::string_view text) {
  auto ordinary = [](char c) { return static_cast<unsigned char>(c) >= 32 && c != '\'' && c != '#'; };
  bool plain = std::all_of(text.begin(), text.end(), ordinary) &&
               (text.empty() || (text.front() != ' ' && text.back() != ' '));
  if (plain) return std::string(text);
  std::string out;
  bool inside = false;
  auto enter = [&] {
    if (!inside) out += '\'';
    inside = true;
  };
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 32) {
      if (inside) out += '\'';
      inside = false;
      out += '#' + std::to_string(static_cast<unsigned char>(c));
    } else if (c == '\'') {
      enter();
      out += "''";
    } else {
      enter();
      out += c;
    }
  }
  if (inside) out += '\'';
  return out;
}

bool DecodeLangValue(std::string_view value, std::string& text) {
  text.clear();
  if (value.empty()) return true;
  if (value.front() != '\'' && value.front() != '#') {
    text = std::string(value);
    return true;
  }
  bool inside = false;
  size_t i = 0;
  while (i < value.size()) {
    char c = value[i];
    if (inside) {
      if (c != '\'') {
        text += c;
      } else if (i + 1 < value.size() && value[i + 1] == '\'') {
        text += '\'';
        ++i;
      } else {
        inside = false;
      }
      ++i;
    } else if (c == '\'') {
      inside = true;
      ++i;
    } else if (c == '#' && i + 1 < value.size()) {
      size_t start = ++i;
      while (i < value.size() && std::isdigit(static_cast<unsigned char>(value[i]))) ++i;
      // A '#' needs its digits (else a stray NUL would enter the text), and they name at most
      // a Unicode code point: a longer run of digits is a fault, not a wrap-around.
      if (i == start) return false;
      uint32_t code = 0;
      auto [ptr, ec] = std::from_chars(value.data() + start, value.data() + i, code);
      if (ec != std::errc() || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
      AppendUtf8(text, code);
    } else {
      return false;
    }
  }
  return !inside;
}

std::string ReadLangValue(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident) {
  std::string raw = ini.ReadString(section, FormatLangKey(section, ident), kUndefined);
  std::string_view value = raw;
  for (std::string_view marker : {"/Eng/", "/In Future/", "/Not used/"}) {
    if (value.starts_with(marker)) value.remove_prefix(marker.size());
  }
  std::string text;
  if (!DecodeLangValue(value, text)) {
    LanguageMessageHook("Error in string " + std::string(section) + ":" + std::string(ident) + "=" +
                        std::string(value));
  }
  return text;
}

std::string ReadLangValueLogged(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident) {
  if (!ini.ValueExists(section, FormatLangKey(section, ident))) return {};
  return ReadLangValue(ini, section, ident);
}

void WriteLangValue(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident, std::string_view text) {
  ini.WriteString(section, FormatLangKey(section, ident), EncodeLangValue(text));
}

void WriteLangInt(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident, int64_t value) {
  WriteLangValue(ini, section, ident, std::to_string(value));
}

// ---- the language files ----

namespace {

constexpr std::string_view kFilePrefix = "Language-Quel.";
constexpr std::string_view kEnglishCode = "ENG";

bool IsLanguageCode(std::string_view code) {
  return !code.empty() && std::all_of(code.begin(), code.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
  });
}

void CheckLanguageIndex(int index) {
  if (index < 0 || index >= TMultiLanguages::kCapacity) throw EAssertion("ERROR!  Language index out of range");
}

std::filesystem::path ChoiceFile() { return UserConfigDir() / "Locales.ini"; }
constexpr std::string_view kChoiceSection = "Locales";

// The program folder as an ini key: '%' and '=' are escaped so that any path fits.
std::string ChoiceKey() {
  std::string key;
  for (char c : std::filesystem::absolute(ProgramDir()).lexically_normal().string()) {
    if (c == '%' || c == '=' || c == '\r' || c == '\n' || c == ';' || c == '[') {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
      key += buf;
    } else {
      key += c;
    }
  }
  return key;
}

}  // namespace

std::string LanguageFileName(std::string_view code) { return std::string(kFilePrefix) + std::string(code); }

void TMultiLanguages::LoadLanguage(int index) {
  CheckLanguageIndex(index);
  CurrentIndex = static_cast<uint8_t>(index);
  Ini.reset();
  Ini = std::make_unique<TLangIniFile>(ProgramDir() / FileNames[static_cast<size_t>(index)]);
}

const std::string& TMultiLanguages::GetLanguageCode(int index) const {
  CheckLanguageIndex(index);
  return Codes[static_cast<size_t>(index)];
}

const std::string& TMultiLanguages::GetLanguageName(int index) const {
  CheckLanguageIndex(index);
  return Names[static_cast<size_t>(index)];
}

void TMultiLanguages::SetLanguageCode(int index, std::string_view code) {
  CheckLanguageIndex(index);
  Codes[static_cast<size_t>(index)] = std::string(code);
}

void TMultiLanguages::SetLanguageName(int index, std::string_view name) {
  CheckLanguageIndex(index);
  Names[static_cast<size_t>(index)] = std::string(name);
}

void FindLanguageFiles() {
  Languages.reset();
  // Upper-cased code -> real file name; of two names for one code the smaller is taken.
  std::map<std::string, std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(ProgramDir(), ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() <= kFilePrefix.size() || UpperAscii(name.substr(0, kFilePrefix.size())) != UpperAscii(kFilePrefix))
      continue;
    std::string code = name.substr(kFilePrefix.size());
    if (code.starts_with('~') || !IsLanguageCode(code) || !entry.is_regular_file(ec)) continue;
    auto [it, added] = found.emplace(UpperAscii(code), name);
    if (!added && name < it->second) it->second = name;
  }
  // Read the names; a file that cannot be read is no language.
  std::vector<std::pair<std::string, std::string>> usable;  // code, file name
  std::vector<std::string> names;
  for (const auto& [code, fileName] : found) {
    try {
      TLangIniFile ini(ProgramDir() / fileName);
      names.push_back(ReadLangValue(ini, "Common", "Language"));
      usable.emplace_back(code, fileName);
    } catch (const EIniFileError&) {
    }
  }
  if (usable.empty()) return;
  // Beyond the capacity the rest is ignored, but never the English file.
  if (usable.size() > TMultiLanguages::kCapacity) {
    auto eng = std::find_if(usable.begin(), usable.end(), [](const auto& u) { return u.first == kEnglishCode; });
    size_t engIndex = static_cast<size_t>(eng - usable.begin());
    if (eng != usable.end() && engIndex >= TMultiLanguages::kCapacity) {
      usable[TMultiLanguages::kCapacity - 1] = *eng;
      names[TMultiLanguages::kCapacity - 1] = names[engIndex];
    }
    usable.resize(TMultiLanguages::kCapacity);
  }
  auto languages = std::make_unique<TMultiLanguages>();
  for (size_t i = 0; i < usable.size(); ++i) {
    languages->Codes[i] = usable[i].first;
    languages->FileNames[i] = usable[i].second;
    languages->Names[i] = names[i];
    if (usable[i].first == kEnglishCode) languages->EnglishIndex = static_cast<int>(i);
  }
  languages->Count = static_cast<int>(usable.size());
  Languages = std::move(languages);
}

std::string ReadLanguageChoice() {
  try {
    TIniFile_Dot ini(ChoiceFile());
    return UpperAscii(ini.ReadString(kChoiceSection, ChoiceKey(), ""));
  } catch (const EIniFileError&) {
    return {};
  }
}

bool StoreLanguageChoice(int index) {
  if (!Languages) return false;
  try {
    TIniFile_Dot ini(ChoiceFile());
    ini.WriteString(kChoiceSection, ChoiceKey(), Languages->GetLanguageCode(index));
    return true;
  } catch (const EIniFileError&) {
    return false;
  }
}

void SelectStartupLanguage() {
  FindLanguageFiles();
  EnglishFileMissing = false;
  if (Languages) {
    if (Languages->EnglishIndex < 0) {
      EnglishFileMissing = true;
    } else {
      std::string code = ReadLanguageChoice();
      int index = -1;
      for (int i = 0; i < Languages->Count && index < 0; ++i)
        if (Languages->Codes[static_cast<size_t>(i)] == code) index = i;
      if (index < 0) {
        index = Languages->EnglishIndex;
        StoreLanguageChoice(index);
      }
      try {
        Languages->LoadLanguage(index);
      } catch (const EIniFileError& e) {
        LanguageMessageHook(e.what());  // the built-in texts stay
      }
    }
  }
  // Without the English file the table stays in registration order, so that the English
  // file written later lists the keys with their headings in place.
  if (!EnglishFileMissing) ResetLangStrings();
  LoadResourceStrings(LanguageStrings);
  BuildTraceNames([](const std::string& key) { return GetLangStr(key); });
}

}  // namespace norv
