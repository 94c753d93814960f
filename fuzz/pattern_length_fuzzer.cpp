// The pattern-length list file ("~PatternLentgth.lst"), as a user may have edited it: the
// list read from it holds at most 1025 numbers, none negative; the list dialog shows each
// number once in ascending order; and after one edit of the dialog its OK writes a file
// that reads back as the entries shown (the first 1025 of them).
//
// The dialog sorts its entries in time that grows with the square of their count: a long
// list goes on to the dialog for one input in kLongListShare.
//
// Input: one byte for the edit (low two bits: add the typical lengths, add a typed number,
// delete an entry, delete all; the rest picks the number or the entry), then the file.

#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "framework/util/program_dir.h"
#include "instrument/settings/pattern_length_list.h"
#include "instrument/settings/trigger_settings.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

constexpr size_t kLongList = 128, kLongListShare = 16;

std::string Numbers(const std::vector<int32_t>& list) {
  std::string text;
  for (const int32_t n : list) text += std::to_string(n) + " ";
  return text;
}

std::vector<int32_t> EntryNumbers(const TPatternLengthEditor& editor) {
  std::vector<int32_t> numbers;
  for (const std::string& entry : editor.Entries()) numbers.push_back(ParsePatternLengthLine(entry));
  return numbers;
}

void Edit(TPatternLengthEditor& editor, uint8_t choice) {
  const int pick = choice >> 2;
  switch (choice & 3) {
    case 0:
      editor.AddTypical();
      break;
    case 1:
      editor.SetEditText(std::to_string(pick * 1100));
      editor.Add();
      break;
    case 2:
      editor.Select(editor.Entries().empty() ? -1 : pick % static_cast<int>(editor.Entries().size()));
      editor.Delete();
      break;
    default:
      editor.DeleteAll();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz::InitializeProgram(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  fuzz::ClearProgramHome();
  const std::filesystem::path folder = ProgramDir();
  const std::string file(fuzz::AsText(data + 1, size - 1));
  std::ofstream(PatternLengthListPath(folder), std::ios::binary)
      .write(file.data(), static_cast<std::streamsize>(file.size()));

  LoadPatternLengthList(folder);
  const std::vector<int32_t> list = TriggerSettings().PatternLengthList;
  fuzz::Require(list.size() <= PatternLengthListCapacity, "the list holds at most 1025 numbers");
  for (const int32_t n : list) fuzz::Require(n >= 0, "no length is negative", [&] { return Numbers(list); });
  if (list.size() > kLongList &&
      !fuzz::InSample(fuzz::AsText(data, size), kLongListShare, NORV_FUZZ_REGRESSIONS))
    return 0;

  TPatternLengthEditor editor(list, 127);
  const std::vector<int32_t> shown = EntryNumbers(editor);
  const std::set<int32_t> listed(list.begin(), list.end());
  fuzz::Require(std::vector<int32_t>(listed.begin(), listed.end()) == shown,
                "the dialog shows each number of the list once, in ascending order",
                [&] { return "list " + Numbers(list) + "\nshown " + Numbers(shown); });
  fuzz::Require(!editor.Modified(), "a dialog just opened has nothing to store");

  Edit(editor, data[0]);
  const std::vector<int32_t> edited = EntryNumbers(editor);
  fuzz::Require(editor.Accept(folder), "the list is written in full");
  LoadPatternLengthList(folder);
  std::vector<int32_t> expected = editor.Modified() ? edited : list;
  if (expected.size() > PatternLengthListCapacity) expected.resize(PatternLengthListCapacity);
  const std::vector<int32_t>& reread = TriggerSettings().PatternLengthList;
  fuzz::Require(reread == expected, "the list stored reads back as shown",
                [&] { return "shown " + Numbers(expected) + "\nread " + Numbers(reread); });
  return 0;
}
