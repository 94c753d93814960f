#include "instrument/settings/pattern_length_list.h"

#include <limits>
#include <string>

#include "framework/language/language.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/file_io.h"
#include "instrument/link/link_hooks.h"
#include "instrument/settings/trigger_settings.h"

namespace norv {

int32_t ParsePatternLengthLine(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlankOrControl(line[i])) ++i;
  int64_t value = 0;
  for (; i < line.size() && IsAsciiDigit(line[i]); ++i) {
    const int64_t next = value * 10 + (line[i] - '0');
    if (next > std::numeric_limits<int32_t>::max()) break;
    value = next;
  }
  return static_cast<int32_t>(value);
}

std::filesystem::path PatternLengthListPath(const std::filesystem::path& setupFolder) {
  return setupFolder / PatternLengthListFileName;
}

void LoadPatternLengthList(const std::filesystem::path& setupFolder) {
  std::vector<int32_t>& list = TriggerSettings().PatternLengthList;
  list.clear();
  const std::string bytes = ReadRegularFile(PatternLengthListPath(setupFolder)).Bytes;
  for (const std::string_view line : SplitLines(bytes)) {
    if (list.size() == PatternLengthListCapacity) break;
    list.push_back(ParsePatternLengthLine(line));
  }
}

std::string PatternEntryText(int32_t n, bool typical) {
  std::string text = std::to_string(n);
  for (int k = 7; k <= 15; ++k) {
    for (const int32_t d : {-1, 0}) {
      if ((int32_t{1} << k) + d != n) continue;
      text += (typical ? "    (2^" : "   (2^") + std::to_string(k) + (d < 0 ? "-1)" : ")");
      return text;
    }
  }
  return text;
}

TPatternLengthEditor::TPatternLengthEditor(const std::vector<int32_t>& list, int32_t patternLength) {
  for (const int32_t n : list) Insert(PatternEntryText(n));
  editText_ = std::to_string(patternLength);
  modified_ = false;
  ApplyRules();
  deleteEnabled_ = false;
}

void TPatternLengthEditor::Insert(const std::string& text) {
  const int32_t n = ParsePatternLengthLine(text);
  auto it = entries_.begin();
  while (it != entries_.end() && ParsePatternLengthLine(*it) < n) ++it;
  if (it != entries_.end() && ParsePatternLengthLine(*it) == n) return;
  entries_.insert(it, text);
  modified_ = true;
}

void TPatternLengthEditor::ApplyRules() {
  const int32_t n = ParsePatternLengthLine(editText_);
  bool listed = false;
  for (const std::string& entry : entries_) listed = listed || ParsePatternLengthLine(entry) == n;
  addEnabled_ = n >= MinLength && n <= MaxLength && !listed;
  deleteEnabled_ = selected_ >= 0 && !addEnabled_;
}

void TPatternLengthEditor::SetEditText(std::string text) {
  editText_ = std::move(text);
  ApplyRules();
}

void TPatternLengthEditor::Select(int index) {
  selected_ = index >= 0 && index < static_cast<int>(entries_.size()) ? index : -1;
  if (selected_ >= 0) editText_ = entries_[selected_];
  ApplyRules();
  deleteEnabled_ = selected_ >= 0;
}

bool TPatternLengthEditor::Add() {
  const int32_t n = ParsePatternLengthLine(editText_);
  const bool inRange = n >= MinLength && n <= MaxLength;
  if (inRange) {
    Insert(PatternEntryText(n));
  } else {
    LinkHooks.ShowMessage(GetLangStr("PattLMustBe31to65535"));
  }
  addEnabled_ = false;
  return inRange;
}

void TPatternLengthEditor::AddTypical() {
  for (int k = 7; k <= 15; ++k)
    for (const int32_t d : {-1, 0}) Insert(PatternEntryText((int32_t{1} << k) + d, true));
  ApplyRules();
}

void TPatternLengthEditor::Delete() {
  if (selected_ < 0) return;
  entries_.erase(entries_.begin() + selected_);
  modified_ = true;
  const int count = static_cast<int>(entries_.size());
  if (count == 0) {
    selected_ = -1;
    editText_ = GetLangStr("Empty");
    ApplyRules();
    deleteEnabled_ = false;
    return;
  }
  Select(selected_ >= count ? count - 1 : selected_);
}

void TPatternLengthEditor::DeleteAll() {
  entries_.clear();
  selected_ = -1;
  editText_ = GetLangStr("Empty");
  modified_ = true;
  addEnabled_ = deleteEnabled_ = false;
}

bool TPatternLengthEditor::Accept(const std::filesystem::path& setupFolder) const {
  const int32_t n = ParsePatternLengthLine(editText_);
  if (n >= 4 && n <= MaxLength && TriggerSettings().PattLen) TriggerSettings().PattLen->SetValueBySwitcher(n);
  if (!modified_) return true;
  const bool saved = SavePatternLengthList(setupFolder, entries_);
  LoadPatternLengthList(setupFolder);
  return saved;
}

bool SavePatternLengthList(const std::filesystem::path& setupFolder,
                           const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) text += std::to_string(ParsePatternLengthLine(entry)) + "\r\n";
  return WriteFileAtomically(PatternLengthListPath(setupFolder), text, false);
}

}  // namespace norv
