#pragma once
// The candidate pattern lengths of the pattern lock: up to 1025 numbers read from the
// list file "~PatternLentgth.lst" (spelled so) in the setup-files folder, one number a
// line. The pattern search tries them; the list dialog edits and stores the file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace norv {

inline constexpr size_t PatternLengthListCapacity = 1025;
inline constexpr const char* PatternLengthListFileName = "~PatternLentgth.lst";

// The leading decimal digits of the trimmed line; 0 when it starts with something else.
// Digits beyond the 32-bit range stop the number where it would overflow.
int32_t ParsePatternLengthLine(std::string_view line);

// The list file in the given setup-files folder.
std::filesystem::path PatternLengthListPath(const std::filesystem::path& setupFolder);

// Empties the list (TriggerSettings().PatternLengthList) and reads the file; a missing or
// unreadable file leaves it empty, and numbers after the first 1025 are dropped.
void LoadPatternLengthList(const std::filesystem::path& setupFolder);

// The text of an entry: the number, and for 2^k - 1 or 2^k (k = 7..15) the note
// "   (2^k-1)" or "   (2^k)"; typical entries have four blanks before the note.
std::string PatternEntryText(int32_t n, bool typical = false);

// What the list dialog does with its entries: kept in ascending order of their numbers,
// each number once; the add and delete rules of its buttons.
class TPatternLengthEditor {
 public:
  static constexpr int32_t MinLength = 31;
  static constexpr int32_t MaxLength = 65535;

  // Entries for the numbers of the list (in its order) and the edit text; nothing
  // modified, nothing selected, Delete disabled.
  TPatternLengthEditor(const std::vector<int32_t>& list, int32_t patternLength);

  const std::vector<std::string>& Entries() const { return entries_; }
  const std::string& EditText() const { return editText_; }
  int Selected() const { return selected_; }
  bool AddEnabled() const { return addEnabled_; }
  bool DeleteEnabled() const { return deleteEnabled_; }
  bool Modified() const { return modified_; }

  // Typing into the edit field.
  void SetEditText(std::string text);
  // Choosing an entry of the list (-1: none).
  void Select(int index);
  // Adds the number of the edit text; false (the list unchanged) outside 31..65535.
  bool Add();
  // The 18 lengths 2^k - 1 and 2^k for k = 7..15 that are not listed yet.
  void AddTypical();
  void Delete();
  void DeleteAll();

  // OK: the number typed (4..65535) becomes "Trig:PattLen"; a changed list is written to
  // the folder and read back into the pattern-length list. False when the file could not
  // be written in full (what was written stays, and is what is read back).
  bool Accept(const std::filesystem::path& setupFolder) const;

 private:
  void Insert(const std::string& text);
  void ApplyRules();

  std::vector<std::string> entries_;
  std::string editText_;
  int selected_ = -1;
  bool addEnabled_ = false;
  bool deleteEnabled_ = false;
  bool modified_ = false;
};

// One line per entry holding its number, each ended by CR LF. False when the file could
// not be written in full.
bool SavePatternLengthList(const std::filesystem::path& setupFolder, const std::vector<std::string>& entries);

}  // namespace norv
