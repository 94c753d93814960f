#include "framework/language/language.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/traces/trace_names.h"
#include "framework/util/errors.h"
#include "framework/util/program_dir.h"

namespace norv {

TLanguageState LanguageState;
const TProgramUnit LanguageUnit("language", [] { LanguageState = {}; });
constinit TOwned<TMultiLanguages> Languages;

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

// The arguments a format text takes, read with the grammar of Format_Dot
// ("%[index:][-][width][.precision]type", '*' taking an integer argument).
struct TPlaceholders {
  std::set<std::pair<size_t, char>> args;  // argument number, conversion letter ('*')
  bool stray = false;                      // a '%' that starts no placeholder ("Width %")
};

TPlaceholders Placeholders(std::string_view text) {
  TPlaceholders found;
  auto digit = [&](size_t k) { return k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])); };
  auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
  size_t next = 0;
  for (size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i)) {
    size_t k = i + 1;
    if (at(k) == '%') {
      i = k + 1;
      continue;
    }
    size_t arg = next;
    size_t index = 0;
    const size_t start = k;
    while (digit(k)) index = std::min<size_t>(index * 10 + static_cast<size_t>(text[k++] - '0'), 1000);
    if (k > start && at(k) == ':') {
      arg = index;
      ++k;
    } else {
      k = start;
    }
    if (at(k) == '-') ++k;
    std::vector<std::pair<size_t, char>> stars;
    auto number = [&] {
      if (at(k) == '*') {
        stars.emplace_back(arg++, '*');
        ++k;
      }
      while (digit(k)) ++k;
    };
    number();
    if (at(k) == '.') {
      ++k;
      number();
    }
    const char type = static_cast<char>(std::tolower(static_cast<unsigned char>(at(k))));
    if (type == '\0' || std::string_view("duxsefgn").find(type) == std::string_view::npos) {
      found.stray = true;  // plain text where nothing formats it
      i += 1;
      continue;
    }
    found.args.insert(stars.begin(), stars.end());
    found.args.emplace(arg++, type);
    next = arg;
    i = k + 1;
  }
  return found;
}

// A translation may be used where the English text is: it takes the same arguments in the
// same conversions, and has no stray '%' where the English text is formatted.
bool FitsEnglish(std::string_view translation, std::string_view english) {
  const TPlaceholders t = Placeholders(translation);
  const TPlaceholders e = Placeholders(english);
  return t.args == e.args && (e.args.empty() || !t.stray);
}

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
  copyOf_ = nullptr;
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
  if (const size_t place = IndexOf(key); place < Count()) {
    ChangeTextAt(place, text);
  } else {
    LanguageMessageHook("TLanguageStrings.ChangeLangStr - Name " + Quoted(key) + " Not Found");
  }
}

void TLanguageStrings::ChangeTextAt(size_t place, std::string_view text) {
  entries_.at(place).text = std::string(text);
  if (copyOf_) changedTexts_.push_back(place);
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

std::string FormatTextOf(std::string_view key) {
  std::string text = LanguageStrings.GetLangStr(key);
  std::string english = LanguageStrings.EnglishText(key);
  return FitsEnglish(text, english) ? text : english;
}

void TLanguageStrings::MakeSorted() {
  if (sorted_) return;
  copyOf_ = nullptr;
  // Stable, so that of equal keys added before sorting the first stays first (and wins).
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const Entry& a, const Entry& b) { return a.key < b.key; });
  entries_.erase(std::unique(entries_.begin(), entries_.end(),
                             [](const Entry& a, const Entry& b) { return a.key == b.key; }),
                 entries_.end());
  sorted_ = true;
}

void ResetLangStrings() { LanguageStrings.MakeSorted(); }

// Made once: a thousand texts inserted one by one into a sorted table move it a thousand
// times, and every fresh program state starts from the table in registration order.
const TLanguageStrings& BuiltInLangStrings(bool sorted) {
  static const TLanguageStrings inOrder = [] {
    TLanguageStrings table;
    RegisterDefaultLangStrings(table);
    return table;
  }();
  static const TLanguageStrings byKey = [] {
    TLanguageStrings table = inOrder;
    table.MakeSorted();
    return table;
  }();
  return sorted ? byKey : inOrder;
}

void TLanguageStrings::AssignBuiltIn(bool sorted) {
  const TLanguageStrings& builtIn = BuiltInLangStrings(sorted);
  if (copyOf_ == &builtIn) {
    for (const size_t place : changedTexts_) entries_[place].text = builtIn.entries_[place].text;
  } else {
    *this = builtIn;
    copyOf_ = &builtIn;
  }
  changedTexts_.clear();
}

namespace {

// A value as the file holds it decoded, a leading translator's marker removed; nothing
// when it does not decode (with the message).
std::optional<std::string> DecodedValue(std::string_view value, std::string_view section,
                                        std::string_view ident) {
  for (std::string_view marker : {"/Eng/", "/In Future/", "/Not used/"}) {
    if (value.starts_with(marker)) value.remove_prefix(marker.size());
  }
  std::string text;
  if (DecodeLangValue(value, text)) return text;
  LanguageMessageHook("Error in string " + std::string(section) + ":" + std::string(ident) + "=" +
                      std::string(value));
  return std::nullopt;
}

// The file key of a table key.
std::string ResourceKey(std::string_view key) {
  return FormatLangKey(kResourceSection, "rs" + std::string(key));
}

// The built-in texts, sorted or in registration order, with the language file's texts
// in place of theirs.
void LoadTranslatedTable(TLanguageStrings& table, bool sorted) {
  table.AssignBuiltIn(sorted);
  if (!Languages || EnglishFileMissing || !Languages->Ini) return;
  TCustomIniFile_Dot& ini = *Languages->Ini;
  // A file holds a few of the table's thousands of keys: only those are read, each key's
  // first value as a look-up finds it, and taken in table order. A file matching keys in
  // any letter case is asked for every key.
  std::vector<std::pair<size_t, std::string>> values;  // place in the table, value as in the file
  if (ini.CaseSensitive()) {
    const std::string prefix = FormatLangKey(kResourceSection, "rs");
    for (auto& [ident, value] : ini.ReadSectionValues(kResourceSection)) {
      if (!ident.starts_with(prefix)) continue;
      const size_t place = table.IndexOf(std::string_view(ident).substr(prefix.size()));
      if (place < table.Count()) values.emplace_back(place, std::move(value));
    }
    std::stable_sort(values.begin(), values.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    values.erase(std::unique(values.begin(), values.end(),
                             [](const auto& a, const auto& b) { return a.first == b.first; }),
                 values.end());
  } else {
    for (size_t place = 0; place < table.Count(); ++place)
      values.emplace_back(place, ini.ReadString(kResourceSection, ResourceKey(table.Key(place)), kUndefined));
  }
  std::vector<std::string> misfits;
  for (const auto& [place, value] : values) {
    const std::string& key = table.Key(place);
    const std::optional<std::string> text = DecodedValue(value, kResourceSection, "rs" + key);
    if (!text || *text == kUndefined) continue;
    if (FitsEnglish(*text, table.English(place))) {
      table.ChangeTextAt(place, *text);
    } else {
      misfits.push_back(ResourceKey(key));
    }
  }
  if (misfits.empty()) return;
  // One message for the file, not one per text; the first few name the keys to mend.
  constexpr size_t kListed = 10;
  std::string message = "Placeholders differ from the English text; the English text is used for";
  for (size_t i = 0; i < misfits.size() && i < kListed; ++i) message += "\r\n" + misfits[i];
  if (misfits.size() > kListed) message += "\r\n... " + std::to_string(misfits.size()) + " texts in all";
  LanguageMessageHook(message);
}

}  // namespace

void LoadResourceStrings(TLanguageStrings& table) { LoadTranslatedTable(table, table.Sorted()); }

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

namespace {

// The decoded value, "Undefined" when absent; nothing when it does not decode (with the
// message), since a part of a translation is worse than the English text.
std::optional<std::string> ReadDecoded(TCustomIniFile_Dot& ini, std::string_view section,
                                       std::string_view ident) {
  return DecodedValue(ini.ReadString(section, FormatLangKey(section, ident), kUndefined), section, ident);
}

}  // namespace

std::string ReadLangValue(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident) {
  return ReadDecoded(ini, section, ident).value_or(std::string(kUndefined));
}

std::string ReadLangValueLogged(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident) {
  if (!ini.ValueExists(section, FormatLangKey(section, ident))) return {};
  return ReadDecoded(ini, section, ident).value_or(std::string());
}

void WriteLangValue(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident,
                    std::string_view text) {
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
  if (index < 0 || index >= TMultiLanguages::kCapacity)
    throw EAssertion("ERROR!  Language index out of range");
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

// Files without byte-order mark come from editors that save in the Windows code page of the
// translator's language, so the language decides it. Both the Windows abbreviations
// ("RUS", "PLK") and the ISO 639 codes ("ru", "rus", "pl", "pol") are known; a region
// ("ru-RU", "pl_PL") is ignored. Every other language, English included, is Western.
TCodePage LanguageCodePage(std::string_view code) {
  static const std::set<std::string, std::less<>> cyrillic = {
      // Russian, Ukrainian, Belarusian, Bulgarian, Macedonian, Serbian, Kazakh, Kyrgyz,
      // Tatar, Mongolian, Tajik, Bashkir
      "RUS", "RU",  "UKR", "UK",  "BEL", "BE",  "BGR", "BUL", "BG",  "MKI", "MKD",
      "MAC", "MK",  "SRB", "SRP", "SR",  "KKZ", "KAZ", "KK",  "KYR", "KIR", "KY",
      "TTT", "TAT", "TT",  "MON", "MN",  "TAJ", "TGK", "TG",  "BAS", "BAK", "BA"};
  static const std::set<std::string, std::less<>> centralEuropean = {
      // Polish, Czech, Slovak, Hungarian, Slovenian, Croatian, Romanian, Albanian, Bosnian,
      // Serbian in Latin letters
      "PLK", "POL", "PL", "CSY", "CES", "CZE", "CS", "SKY", "SLK", "SLO", "SK",  "HUN", "HU", "SLV",
      "SL",  "HRV", "HR", "ROM", "RON", "RUM", "RO", "SQI", "ALB", "SQ",  "BSB", "BOS", "BS", "SRL"};
  std::string language = UpperAscii(code.substr(0, code.find_first_of("-_")));
  if (cyrillic.contains(language)) return TCodePage::Windows1251;
  if (centralEuropean.contains(language)) return TCodePage::Windows1250;
  return TCodePage::Windows1252;
}

namespace {

TCodePage FileCodePage(const std::filesystem::path& fileName) {
  const std::string name = fileName.filename().string();
  if (name.size() <= kFilePrefix.size() ||
      UpperAscii(name.substr(0, kFilePrefix.size())) != UpperAscii(kFilePrefix))
    return TCodePage::Windows1252;
  return LanguageCodePage(std::string_view(name).substr(kFilePrefix.size()));
}

}  // namespace

TLangIniFile::TLangIniFile(std::filesystem::path fileName)
    : TMemIniFile_Dot(fileName, true, FileCodePage(fileName)) {}

void TMultiLanguages::LoadLanguage(int index, std::unique_ptr<TLangIniFile> read) {
  CheckLanguageIndex(index);
  CurrentIndex = static_cast<uint8_t>(index);
  Ini.reset();
  Ini = read ? std::move(read)
             : std::make_unique<TLangIniFile>(ProgramDir() / FileNames[static_cast<size_t>(index)]);
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

namespace {

// Files read for their names, kept by code for the start-up, so that it reads the file it
// loads once.
using TReadFiles = std::map<std::string, std::unique_ptr<TLangIniFile>>;

// Keeps the files of the codes `keep` already names.
void FindLanguageFiles(TReadFiles* keep) {
  Languages.reset();
  // Upper-cased code -> real file name; of two names for one code the smaller is taken.
  std::map<std::string, std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(ProgramDir(), ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() <= kFilePrefix.size() ||
        UpperAscii(name.substr(0, kFilePrefix.size())) != UpperAscii(kFilePrefix))
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
      auto ini = std::make_unique<TLangIniFile>(ProgramDir() / fileName);
      names.push_back(ReadLangValue(*ini, "Common", "Language"));
      usable.emplace_back(code, fileName);
      if (keep && keep->contains(code)) (*keep)[code] = std::move(ini);
    } catch (const EIniFileError&) {
    }
  }
  if (usable.empty()) return;
  // Beyond the capacity the rest is ignored, but never the English file.
  if (usable.size() > TMultiLanguages::kCapacity) {
    auto eng =
        std::find_if(usable.begin(), usable.end(), [](const auto& u) { return u.first == kEnglishCode; });
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

}  // namespace

void FindLanguageFiles() { FindLanguageFiles(nullptr); }

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
  const std::string code = ReadLanguageChoice();
  TReadFiles read;  // the chosen file and the English one, loaded when the choice is not found
  read.try_emplace(code);
  read.try_emplace(std::string(kEnglishCode));
  FindLanguageFiles(&read);
  EnglishFileMissing = false;
  if (Languages) {
    if (Languages->EnglishIndex < 0) {
      EnglishFileMissing = true;
    } else {
      int index = -1;
      for (int i = 0; i < Languages->Count && index < 0; ++i)
        if (Languages->Codes[static_cast<size_t>(i)] == code) index = i;
      if (index < 0) {
        index = Languages->EnglishIndex;
        StoreLanguageChoice(index);
      }
      try {
        Languages->LoadLanguage(index, std::move(read[Languages->Codes[static_cast<size_t>(index)]]));
      } catch (const EIniFileError& e) {
        LanguageMessageHook(e.what());  // the built-in texts stay
      }
    }
  }
  // Without the English file the table stays in registration order, so that the English
  // file written later lists the keys with their headings in place.
  // The whole table is replaced: sorting the one before would be lost work.
  LoadTranslatedTable(LanguageStrings, !EnglishFileMissing || LanguageStrings.Sorted());
  BuildTraceNames([](const std::string& key) { return GetLangStr(key); });
}

bool LoadLanguageTexts(int index) {
  if (!Languages || index < 0 || index >= Languages->Count) return false;
  if (Languages->Ini && index == Languages->CurrentIndex) return false;
  StoreLanguageChoice(index);
  try {
    Languages->LoadLanguage(index);
    // A language chosen by the user is applied even when the start found no English file.
    EnglishFileMissing = false;
  } catch (const EIniFileError& e) {
    LanguageMessageHook(e.what());
  }
  LoadTranslatedTable(LanguageStrings, true);
  BuildTraceNames([](const std::string& key) { return GetLangStr(key); });
  return true;
}

}  // namespace norv
