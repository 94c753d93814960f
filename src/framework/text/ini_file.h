#pragma once
// Ini files of sections and "key=value" lines, with floating values always written and
// read with '.' as decimal separator.
//
// Sections and keys match ignoring ASCII letter case unless the file is opened
// case-sensitive. Files whose lines end in LF or CR LF, in any mix, and in any encoding
// DecodeText knows are read; a write keeps every line it did not change (comments, blank
// lines, order, encoding), so a file edited by hand survives the program saving into it.
// Every line written ends as the file's first line did.
// Section names, keys and values are trimmed of blanks; a key before the first section is
// not reachable.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/text/text_encoding.h"

namespace norv {

// An ini file that cannot be read or written, or a name or value that an ini line cannot
// hold (a line break, a key with '=' or a section with ']').
class EIniFileError : public std::runtime_error {
 public:
  explicit EIniFileError(const std::string& text, std::string why = {})
      : std::runtime_error(text), why_(std::move(why)) {}
  // Why the file could not be read or written ("the file is read-only"); empty for a name
  // or value.
  const std::string& Why() const { return why_; }

 private:
  std::string why_;
};

class TIniDocument;

// The shared reading and writing interface; TMemIniFile_Dot and TIniFile_Dot differ only in
// when the file is read and written.
class TCustomIniFile_Dot {
 public:
  virtual ~TCustomIniFile_Dot();
  TCustomIniFile_Dot(const TCustomIniFile_Dot&) = delete;
  TCustomIniFile_Dot& operator=(const TCustomIniFile_Dot&) = delete;

  const std::filesystem::path& FileName() const { return fileName_; }
  bool CaseSensitive() const { return caseSensitive_; }

  std::string ReadString(std::string_view section, std::string_view ident, std::string_view defaultValue);
  void WriteString(std::string_view section, std::string_view ident, std::string_view value);
  // Decimal (or "0x"/"$" hexadecimal) 32-bit integer; anything else gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view ident, int32_t defaultValue);
  void WriteInteger(std::string_view section, std::string_view ident, int64_t value);
  // An integer, non-zero meaning true; written as "1" or "0".
  bool ReadBool(std::string_view section, std::string_view ident, bool defaultValue);
  void WriteBool(std::string_view section, std::string_view ident, bool value);
  // An absent key, the text "DefaultValue" and a damaged or non-finite value all give the
  // default.
  double ReadFloat(std::string_view section, std::string_view ident, double defaultValue);
  // Written in the general form with 15 significant digits (FloatToStr_Dot); a key whose
  // text already reads as that value keeps its text.
  void WriteFloat(std::string_view section, std::string_view ident, double value);

  // Section names in file order, each once.
  std::vector<std::string> ReadSections();
  // Keys of a section in file order.
  std::vector<std::string> ReadSection(std::string_view section);
  std::vector<std::pair<std::string, std::string>> ReadSectionValues(std::string_view section);
  bool SectionExists(std::string_view section);
  bool ValueExists(std::string_view section, std::string_view ident);
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view ident);

  // The encoding the next write uses: the one the file was read with, else UTF-8.
  TTextEncoding Encoding() const { return encoding_; }
  void SetEncoding(TTextEncoding encoding) { encoding_ = encoding; }
  // The 8-bit code page of a file without byte-order mark that is not UTF-8.
  TCodePage CodePage() const { return codePage_; }

 protected:
  TCustomIniFile_Dot(std::filesystem::path fileName, bool caseSensitive,
                     TCodePage codePage = TCodePage::Windows1252);

  // Reads the file (an absent file is empty); raises EIniFileError when it cannot be read.
  void LoadFile();
  // Writes the whole file through a temporary file, so a failed write leaves the old one.
  void SaveFile();
  TIniDocument& Document() { return *doc_; }

 private:
  virtual void BeforeRead() {}
  virtual void AfterWrite() {}

  std::filesystem::path fileName_;
  bool caseSensitive_;
  TTextEncoding encoding_ = TTextEncoding::Utf8;
  TCodePage codePage_;
  std::unique_ptr<TIniDocument> doc_;
};

// The whole file held in memory: read once when made, written by UpdateFile.
class TMemIniFile_Dot : public TCustomIniFile_Dot {
 public:
  explicit TMemIniFile_Dot(std::filesystem::path fileName, bool caseSensitive = false,
                           TCodePage codePage = TCodePage::Windows1252);

  void UpdateFile() { SaveFile(); }
  // Drops every section (the file changes only with UpdateFile).
  void Clear();
  // The file as text (UTF-8), as UpdateFile would write it.
  std::string GetText();
};

// Every read sees the file as it is now, every write goes to the file at once.
class TIniFile_Dot : public TCustomIniFile_Dot {
 public:
  explicit TIniFile_Dot(std::filesystem::path fileName, bool caseSensitive = false);

 private:
  void BeforeRead() override { LoadFile(); }
  void AfterWrite() override { SaveFile(); }
};

}  // namespace norv
