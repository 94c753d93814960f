#include "framework/text/ini_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>

#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/util/file_io.h"

namespace norv {

namespace {

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

// The file as lines grouped into sections. A line keeps its original text until it is
// changed, so saving rewrites nothing else but the line ends, which become one. Sections
// and keys are found through indexes by name: a file of many sections or keys, read one by
// one at start-up, must not take the square of their number.
class TIniDocument {
 public:
  struct Line {
    std::string text;  // as in the file, or as rebuilt after a change
    bool isEntry = false;
    std::string key;    // trimmed, entries only
    std::string value;  // trimmed, entries only
  };
  struct Section {
    bool hasHeader = true;  // false only for the lines before the first header
    std::string name;
    std::string headerText;
    std::vector<Line> lines;
    bool erased = false;  // left in place, so the indices of the others stay
    // By key: the line of the first entry, built at the first look into the section.
    mutable std::unordered_map<std::string, size_t> keys = {};
    mutable bool keysBuilt = false;
  };

  explicit TIniDocument(bool caseSensitive) : caseSensitive_(caseSensitive) {}

  void Parse(std::string_view text) {
    Clear();
    // A line ends at LF, and the CRs right before it (or at the end of the text) belong to
    // that end, so no text ends in CR: a value never keeps one, and no write can join a
    // line's CR to the LF after it. A CR inside a line is its text. The file is written with
    // one line end, its first line's, so what a write gives back reads back the same and a
    // store writes the same bytes whatever mix it read and however often it wrote before.
    eol_ = text.substr(0, text.find('\n')).ends_with('\r') ? "\r\n" : "\n";
    finalEol_ = text.empty() || text.ends_with('\n') || text.ends_with('\r');
    while (!text.empty()) {
      const size_t lf = std::min(text.find('\n'), text.size());
      std::string_view line = text.substr(0, lf);
      while (line.ends_with('\r')) line.remove_suffix(1);
      AddParsedLine(line);
      text.remove_prefix(std::min(lf + 1, text.size()));
    }
  }

  // Lines added by the program take the file's line end too; the file ends with a line end
  // when it did.
  std::string Text() const {
    std::string out;
    bool first = true;
    auto put = [&](const std::string& line) {
      if (!first) out += eol_;
      out += line;
      first = false;
    };
    for (const Section& s : sections_) {
      if (s.erased) continue;
      if (s.hasHeader) put(s.headerText);
      for (const Line& l : s.lines) put(l.text);
    }
    if (!first && finalEol_) out += eol_;
    return out;
  }

  const Line* Find(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    if (!s) return nullptr;
    const size_t at = EntryAt(*s, key);
    return at == kNone ? nullptr : &s->lines[at];
  }

  void Set(std::string_view section, std::string_view key, std::string_view value) {
    Section* s = FindSection(section);
    if (!s) s = &AddSection(section);
    if (const size_t found = EntryAt(*s, key); found != kNone) {
      Line& l = s->lines[found];
      if (l.value != value) {
        l.value = std::string(value);
        l.text = l.key + "=" + l.value;
      }
      return;
    }
    // After the last entry, so comments and blank lines at the section's end stay there;
    // no entry moves, so the key index stays right.
    auto lastEntry =
        std::find_if(s->lines.rbegin(), s->lines.rend(), [](const Line& l) { return l.isEntry; });
    auto at = lastEntry == s->lines.rend() ? s->lines.begin() : lastEntry.base();
    std::string k(TrimBlanks(key)), v(value);
    s->keys.emplace(Key(k), static_cast<size_t>(at - s->lines.begin()));
    s->lines.insert(at, Line{k + "=" + v, true, k, v});
  }

  // The first section of that name.
  const Section* FindSection(std::string_view name) const {
    const auto it = index_.find(Key(name));
    return it == index_.end() ? nullptr : &sections_[it->second.front()];
  }
  Section* FindSection(std::string_view name) {
    return const_cast<Section*>(std::as_const(*this).FindSection(name));
  }

  std::vector<std::string> SectionNames() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < sections_.size(); ++i) {
      const Section& s = sections_[i];
      if (s.hasHeader && !s.erased && index_.at(Key(s.name)).front() == i) names.push_back(s.name);
    }
    return names;
  }

  // Every section of that name.
  void EraseSection(std::string_view name) {
    const auto it = index_.find(Key(name));
    if (it == index_.end()) return;
    for (const size_t i : it->second) sections_[i] = Section{true, {}, {}, {}, true};
    index_.erase(it);
  }

  void DeleteKey(std::string_view section, std::string_view key) {
    if (Section* s = FindSection(section)) {
      if (const size_t at = EntryAt(*s, key); at != kNone) {
        s->lines.erase(s->lines.begin() + static_cast<std::ptrdiff_t>(at));
        s->keysBuilt = false;  // the lines after it moved
      }
    }
  }

  void Clear() {
    sections_.clear();
    sections_.push_back(Section{false, {}, {}, {}});
    index_.clear();
  }

 private:
  // Names are compared as the file holds them: without outer blanks.
  std::string Key(std::string_view name) const {
    name = TrimBlanks(name);
    return caseSensitive_ ? std::string(name) : UpperAscii(name);
  }

  static constexpr size_t kNone = static_cast<size_t>(-1);

  // The line of the first entry of that key, or kNone.
  size_t EntryAt(const Section& s, std::string_view key) const {
    if (!s.keysBuilt) {
      s.keys.clear();
      for (size_t i = 0; i < s.lines.size(); ++i)
        if (s.lines[i].isEntry) s.keys.try_emplace(Key(s.lines[i].key), i);
      s.keysBuilt = true;
    }
    const auto it = s.keys.find(Key(key));
    return it == s.keys.end() ? kNone : it->second;
  }

  Section& PushSection(Section section) {
    sections_.push_back(std::move(section));
    index_[Key(sections_.back().name)].push_back(sections_.size() - 1);
    return sections_.back();
  }

  Section& LastSection() {
    auto last =
        std::find_if(sections_.rbegin(), sections_.rend(), [](const Section& s) { return !s.erased; });
    return *last;  // the lines before the first header are never erased
  }

  void AddParsedLine(std::string_view raw) {
    std::string_view t = TrimBlanks(raw);
    size_t close = t.find(']');
    if (t.starts_with('[') && close != std::string_view::npos) {
      PushSection(Section{true, std::string(TrimBlanks(t.substr(1, close - 1))), std::string(raw), {}});
      return;
    }
    Line line{std::string(raw), false, {}, {}};
    size_t eq = t.find('=');
    if (!t.starts_with(';') && eq != std::string_view::npos && eq > 0) {
      line.isEntry = true;
      line.key = std::string(TrimBlanks(t.substr(0, eq)));
      line.value = std::string(TrimBlanks(t.substr(eq + 1)));
    }
    sections_.back().lines.push_back(std::move(line));
  }

  Section& AddSection(std::string_view name) {
    // A blank line between sections, unless the file already ends with one.
    Section& last = LastSection();
    bool empty = &last == &sections_.front() && last.lines.empty();
    bool endsBlank = !last.lines.empty() && TrimBlanks(last.lines.back().text).empty();
    if (!empty && !endsBlank) last.lines.push_back(Line{});
    std::string n(TrimBlanks(name));
    return PushSection(Section{true, n, "[" + n + "]", {}});
  }

  bool caseSensitive_;
  std::vector<Section> sections_{Section{false, {}, {}, {}}};
  // By name (Key): the indices of the sections of that name, in file order; erased ones
  // are not there.
  std::unordered_map<std::string, std::vector<size_t>> index_;
  std::string eol_ = "\n";
  bool finalEol_ = true;
};

namespace {

void CheckSectionName(std::string_view section) {
  if (HasLineBreak(section) || section.find(']') != std::string_view::npos || TrimBlanks(section).empty())
    throw EIniFileError("Invalid ini section name \"" + std::string(section) + "\"");
}

void CheckKeyName(std::string_view key) {
  key = TrimBlanks(key);
  if (HasLineBreak(key) || key.find('=') != std::string_view::npos || key.empty() || key.starts_with(';') ||
      key.starts_with('['))
    throw EIniFileError("Invalid ini key name \"" + std::string(key) + "\"");
}

std::optional<int64_t> ParseInteger(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with('$')) {
    base = 16;
    text.remove_prefix(1);
  }
  uint64_t magnitude = 0;
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || ptr != text.data() + text.size() || magnitude > (uint64_t{1} << 32))
    return std::nullopt;
  auto v = static_cast<int64_t>(magnitude);
  return negative ? -v : v;
}

}  // namespace

TCustomIniFile_Dot::TCustomIniFile_Dot(std::filesystem::path fileName, bool caseSensitive, TCodePage codePage)
    : fileName_(std::move(fileName)),
      caseSensitive_(caseSensitive),
      codePage_(codePage),
      doc_(std::make_unique<TIniDocument>(caseSensitive)) {}

TCustomIniFile_Dot::~TCustomIniFile_Dot() = default;

void TCustomIniFile_Dot::LoadFile() {
  const TFileRead file = ReadRegularFile(fileName_);
  if (file.Error == TFileReadError::Absent) {
    doc_->Clear();
    return;
  }
  if (!file)
    throw EIniFileError("Cannot read the file \"" + fileName_.string() + "\": " + file.Why, file.Why);
  TDecodedText decoded = DecodeText(file.Bytes, codePage_);
  encoding_ = decoded.encoding;
  doc_->Parse(decoded.utf8);
}

void TCustomIniFile_Dot::SaveFile() {
  TTextEncoding used = encoding_;
  std::string bytes = EncodeText(doc_->Text(), encoding_, &used, codePage_);
  encoding_ = used;
  if (std::string why; !WriteFileAtomically(fileName_, bytes, false, &why))
    throw EIniFileError("Cannot write the file \"" + fileName_.string() + "\": " + why, why);
}

std::string TCustomIniFile_Dot::ReadString(std::string_view section, std::string_view ident,
                                           std::string_view defaultValue) {
  BeforeRead();
  const TIniDocument::Line* line = doc_->Find(section, ident);
  return line ? line->value : std::string(defaultValue);
}

void TCustomIniFile_Dot::WriteString(std::string_view section, std::string_view ident,
                                     std::string_view value) {
  CheckSectionName(section);
  CheckKeyName(ident);
  if (HasLineBreak(value))
    throw EIniFileError("Line break in the value of ini key \"" + std::string(ident) + "\"");
  BeforeRead();
  doc_->Set(section, ident, TrimBlanks(value));
  AfterWrite();
}

int32_t TCustomIniFile_Dot::ReadInteger(std::string_view section, std::string_view ident,
                                        int32_t defaultValue) {
  auto v = ParseInteger(ReadString(section, ident, ""));
  if (!v || *v < std::numeric_limits<int32_t>::min() || *v > std::numeric_limits<int32_t>::max())
    return defaultValue;
  return static_cast<int32_t>(*v);
}

void TCustomIniFile_Dot::WriteInteger(std::string_view section, std::string_view ident, int64_t value) {
  WriteString(section, ident, std::to_string(value));
}

bool TCustomIniFile_Dot::ReadBool(std::string_view section, std::string_view ident, bool defaultValue) {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile_Dot::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

double TCustomIniFile_Dot::ReadFloat(std::string_view section, std::string_view ident, double defaultValue) {
  std::string text = ReadString(section, ident, "DefaultValue");
  double value = 0;
  if (text == "DefaultValue" || !TryStrToFloat_Dot(text, value)) return defaultValue;
  return value;
}

void TCustomIniFile_Dot::WriteFloat(std::string_view section, std::string_view ident, double value) {
  const std::string text = FloatToStr_Dot(value);
  // A key that already holds this value to the digits written keeps its own text, so a
  // value read and stored unchanged stays as it was written ("1.50", or more digits).
  BeforeRead();
  double held = 0;
  if (const TIniDocument::Line* line = doc_->Find(section, ident);
      line && TryStrToFloat_Dot(line->value, held) && FloatToStr_Dot(held) == text)
    return;
  WriteString(section, ident, text);
}

std::vector<std::string> TCustomIniFile_Dot::ReadSections() {
  BeforeRead();
  return doc_->SectionNames();
}

std::vector<std::string> TCustomIniFile_Dot::ReadSection(std::string_view section) {
  std::vector<std::string> keys;
  for (auto& [key, value] : ReadSectionValues(section)) keys.push_back(key);
  return keys;
}

std::vector<std::pair<std::string, std::string>> TCustomIniFile_Dot::ReadSectionValues(
    std::string_view section) {
  BeforeRead();
  std::vector<std::pair<std::string, std::string>> values;
  if (const TIniDocument::Section* s = doc_->FindSection(section)) {
    for (const TIniDocument::Line& l : s->lines)
      if (l.isEntry) values.emplace_back(l.key, l.value);
  }
  return values;
}

bool TCustomIniFile_Dot::SectionExists(std::string_view section) {
  BeforeRead();
  return doc_->FindSection(section) != nullptr;
}

bool TCustomIniFile_Dot::ValueExists(std::string_view section, std::string_view ident) {
  BeforeRead();
  return doc_->Find(section, ident) != nullptr;
}

void TCustomIniFile_Dot::EraseSection(std::string_view section) {
  BeforeRead();
  doc_->EraseSection(section);
  AfterWrite();
}

void TCustomIniFile_Dot::DeleteKey(std::string_view section, std::string_view ident) {
  BeforeRead();
  doc_->DeleteKey(section, ident);
  AfterWrite();
}

TMemIniFile_Dot::TMemIniFile_Dot(std::filesystem::path fileName, bool caseSensitive, TCodePage codePage)
    : TCustomIniFile_Dot(std::move(fileName), caseSensitive, codePage) {
  LoadFile();
}

void TMemIniFile_Dot::Clear() { Document().Clear(); }

std::string TMemIniFile_Dot::GetText() { return Document().Text(); }

TIniFile_Dot::TIniFile_Dot(std::filesystem::path fileName, bool caseSensitive)
    : TCustomIniFile_Dot(std::move(fileName), caseSensitive) {}

}  // namespace norv
