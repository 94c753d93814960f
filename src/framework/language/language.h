#pragma once
// The language table: every text the program builds at run time is fetched by key
// (case-sensitive: "AMPLITUDE" and "Amplitude" are two keys). The table starts with the
// built-in English texts; a language file "Language-Quel.<code>" in the program folder
// overrides them. The chosen language is remembered per program folder in the user's
// configuration folder.
//
// Typical use:  GetLangStr("TriggerNotFound")
//               FormatLangStr("Channel_n", 2)      -> "Channel 2"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"
#include "framework/text/ini_file.h"
#include "framework/util/hook.h"

namespace norv {

class TLanguageStrings {
 public:
  // Adds a pair. While the table is sorted a key already present is refused (with a
  // message) and keeps its first text; before that, nothing is checked.
  void AddLangStr(std::string_view key, std::string_view text);
  // Replaces the text of a key; an unknown key changes nothing (with a message).
  void ChangeLangStr(std::string_view key, std::string_view text);
  // The same for the entry at a place in table order.
  void ChangeTextAt(size_t place, std::string_view text);
  // The text of a key, "@Unit@" (first occurrence) replaced by the product name unless
  // noUnitSubst. An unknown key gives 32 question marks (with a message).
  std::string GetLangStr(std::string_view key, bool noUnitSubst = false) const;
  // The built-in English text of a key as it was added, "@Unit@" replaced likewise;
  // empty for an unknown key.
  std::string EnglishText(std::string_view key, bool noUnitSubst = false) const;
  bool Contains(std::string_view key) const { return Find(key) != nullptr; }
  // The place of a key in table order (its first, before sorting); Count() when absent.
  size_t IndexOf(std::string_view key) const {
    const Entry* e = Find(key);
    return e ? static_cast<size_t>(e - entries_.data()) : Count();
  }

  void Clear() {
    entries_.clear();
    copyOf_ = nullptr;
  }
  // From now on sorted by key and refusing duplicates (the entries stay).
  void MakeSorted();
  bool Sorted() const { return sorted_; }
  // Becomes the built-in table (BuiltInLangStrings). A table that was made so before, with
  // its keys unchanged since, gets back only the texts changed since.
  void AssignBuiltIn(bool sorted);

  // Entries in table order (registration order until sorted).
  size_t Count() const { return entries_.size(); }
  const std::string& Key(size_t index) const { return entries_.at(index).key; }
  // The entry's text and built-in English text as stored, "@Unit@" left in: what
  // GetLangStr and EnglishText give with noUnitSubst, without looking the key up.
  const std::string& Text(size_t index) const { return entries_.at(index).text; }
  const std::string& English(size_t index) const { return entries_.at(index).english; }

 private:
  struct Entry {
    std::string key;
    std::string text;
    std::string english;
  };
  const Entry* Find(std::string_view key) const;
  Entry* Find(std::string_view key);

  std::vector<Entry> entries_;
  bool sorted_ = false;
  // The built-in table this is a copy of while only texts changed, and their places.
  const TLanguageStrings* copyOf_ = nullptr;
  std::vector<size_t> changedTexts_;
};

// Adds the built-in English pairs (with the translators' group headings) in their order.
void RegisterDefaultLangStrings(TLanguageStrings& table);
// The built-in English pairs, registered once: in registration order or sorted by key.
const TLanguageStrings& BuiltInLangStrings(bool sorted);

struct TLanguageState {
  // The instrument's product name that replaces "@Unit@" (filled by the instrument
  // identity); while unset the marker stays in the text.
  THook<std::string()> ProductNameHook{"LanguageState.ProductNameHook"};
  // Shows an error about the language table or a language file to the user (filled by
  // the shell with a message box and a beep); does nothing until then.
  THook<void(const std::string& message)> LanguageMessageHook{"LanguageState.LanguageMessageHook"};
  // The program's one table. It holds the built-in texts from the start, so that units
  // used before (or without) the start-up language choice still get their English texts.
  TLanguageStrings LanguageStrings = BuiltInLangStrings(false);
  // Language files exist but none has the code "ENG": the built-in texts are used and
  // the English file is to be written at start-up.
  bool EnglishFileMissing = false;
  // Set while the English language file is being written.
  bool WritingEnglishFile = false;
};

extern TLanguageState LanguageState;
inline constinit THook<std::string()>& ProductNameHook = LanguageState.ProductNameHook;
inline constinit THook<void(const std::string& message)>& LanguageMessageHook =
    LanguageState.LanguageMessageHook;
inline constinit TLanguageStrings& LanguageStrings = LanguageState.LanguageStrings;
inline constinit bool& EnglishFileMissing = LanguageState.EnglishFileMissing;
inline constinit bool& WritingEnglishFile = LanguageState.WritingEnglishFile;

inline std::string GetLangStr(std::string_view key, bool noUnitSubst = false) {
  return LanguageStrings.GetLangStr(key, noUnitSubst);
}

// The text of a key as a format: the translation when it takes the same arguments as the
// English text, else the English text (a translation set at run time is not checked when
// it is set).
std::string FormatTextOf(std::string_view key);

// Formats the text of a key with '.' decimals. A translation whose placeholders do not
// fit the English text's, or that does not fit the arguments, falls back to the English
// text, so a faulty language file cannot break the program or lose an argument.
template <typename... Args>
std::string FormatLangStr(std::string_view key, const Args&... args) {
  return FormatOr_Dot(FormatTextOf(key), LanguageStrings.EnglishText(key), args...);
}

// Makes the program's table sorted and refusing duplicates.
void ResetLangStrings();
// Clears the table and registers the built-in texts; with a loaded language, each key's
// text in its section "Resource Strings" (identifier "rs" + key) replaces the built-in one
// when it takes the same format arguments ("%d", "%1:s", "%.2f": the same argument
// numbers and conversion letters; flags, width and precision may differ). A translation
// with other placeholders keeps the English text, and one message lists them.
void LoadResourceStrings(TLanguageStrings& table);
// Writes every key of the table as "rs" + key into the section "Resource Strings".
void WriteResourceStrings(const TLanguageStrings& table, TCustomIniFile_Dot& ini);

// The 8-bit code page of a language code ("RUS", "ukr", "pl", "ru-RU"): Windows-1251 for
// Cyrillic languages, Windows-1250 for Central European ones, Windows-1252 for the rest.
TCodePage LanguageCodePage(std::string_view code);

// Language files: ini files whose keys are composed as "<section>:<ident>" and whose
// values are encoded so that control characters, quotes and outer blanks survive.
class TLangIniFile : public TMemIniFile_Dot {
 public:
  // Keys are matched case-sensitively, like the table's keys. A file without byte-order
  // mark that is not UTF-8 is in the code page of the language its name
  // ("Language-Quel." + code) gives.
  explicit TLangIniFile(std::filesystem::path fileName);
};

std::string FormatLangKey(std::string_view section, std::string_view ident);
// The decoded value of a key; "Undefined" when absent. A leading "/Eng/", "/In Future/"
// or "/Not used/" marker is removed. A value that does not decode counts as absent (with
// a message), so that the English text stays rather than a part of the translation.
std::string ReadLangValue(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident);
// ReadLangValue when the key exists and decodes, else empty.
std::string ReadLangValueLogged(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident);
void WriteLangValue(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident,
                    std::string_view text);
void WriteLangInt(TCustomIniFile_Dot& ini, std::string_view section, std::string_view ident, int64_t value);

// The value encoding: a text with a control character, an apostrophe, a '#' or an outer
// blank is written quoted: 'A'#13#10'B', ' x', '#1', 'it''s'.
std::string EncodeLangValue(std::string_view text);
// False for a malformed value; text then holds what was decoded before the fault.
bool DecodeLangValue(std::string_view value, std::string& text);

// The language files found at start-up.
class TMultiLanguages {
 public:
  static constexpr int kCapacity = 26;

  std::unique_ptr<TLangIniFile> Ini;  // the loaded language file, or none
  int Count = 0;
  int EnglishIndex = -1;
  std::array<std::string, kCapacity> Names;      // display names ("Language" of section "Common")
  std::array<std::string, kCapacity> Codes;      // upper-cased file-name codes, sorted ("ENG")
  std::array<std::string, kCapacity> FileNames;  // the real file names (any letter case)
  uint8_t CurrentIndex = 0;

  // Opens the language file of that index as the current Ini (raises EIniFileError when
  // it cannot be read, leaving no file loaded); `read` is that file when already read.
  void LoadLanguage(int index, std::unique_ptr<TLangIniFile> read = nullptr);

  // Accessors; an index outside 0..25 raises EAssertion.
  const std::string& GetLanguageCode(int index) const;
  const std::string& GetLanguageName(int index) const;
  void SetLanguageCode(int index, std::string_view code);
  void SetLanguageName(int index, std::string_view name);
};

// Set by SelectStartupLanguage when language files exist; none otherwise.
extern TOwned<TMultiLanguages> Languages;

// The language file name for a code: "Language-Quel." + code.
std::string LanguageFileName(std::string_view code);
// Fills Languages from the program folder's language files (at most 26; the English file
// is always among them). A file whose code begins with '~', holds another dot, or cannot
// be read is not a language.
void FindLanguageFiles();
// The stored language code of this program folder, upper-cased; empty when none.
std::string ReadLanguageChoice();
// Stores the code of that language for this program folder; false when it cannot be
// written.
bool StoreLanguageChoice(int index);
// Chooses and loads the start-up language and fills the table and the trace names.
void SelectStartupLanguage();
// The texts of a run-time change of language: stores the choice, loads the file of that
// index and refills the table and the trace names. False (and nothing changes) when the
// index is the language loaded already or names no language found. A file that cannot be
// read leaves the English texts (with a message). The forms follow through SwitchLanguage
// of the controls.
bool LoadLanguageTexts(int index);

}  // namespace norv
