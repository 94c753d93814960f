// Setup files: the bytes of a file loaded into the fully registered tree. Whatever state
// that leaves, its setup must survive a save and a load: the dump written as a file reads
// back as the same lines, those load into a fresh tree with nothing refused, and the
// fresh tree dumps the same lines again. The reload gives the same result for the same
// lines every time, so a setup already reloaded is not reloaded again (most inputs leave
// one of a few setups). A fresh tree here is the kept tree put back to its start values.

#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "framework/settings/settings_tree.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

using TLines = std::vector<std::string>;

TLines Dump() {
  TLines lines;
  RootSpider->DumpSettings(lines);
  return lines;
}

std::string Joined(const TLines& lines) {
  std::string text;
  for (const std::string& line : lines) text += "  " + line + "\n";
  return text;
}

std::string Difference(const TLines& first, const TLines& second) {
  std::string text;
  for (size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
    const std::string a = i < first.size() ? first[i] : "(none)";
    const std::string b = i < second.size() ? second[i] : "(none)";
    if (a != b) text += "  saved:    " + a + "\n  reloaded: " + b + "\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  fuzz::ClearProgramHome();
  fuzz::UseRegisteredTree();
  try {
    RootSpider->LoadSettings(SetupLinesFromFileText(fuzz::AsText(data, size)));
  } catch (const std::runtime_error&) {
    return 0;  // a handler refused the file with a message: nothing to save
  }
  const TLines saved = Dump();
  const std::string text = SetupFileTextFromLines(saved);
  const TLines read = SetupLinesFromFileText(text);
  fuzz::Require(read == saved, "a saved setup file reads back as the lines written", Difference(saved, read));
  static std::unordered_set<size_t> done;
  if (!done.insert(std::hash<std::string>()(text)).second) return 0;

  fuzz::UseRegisteredTree();  // the tree as new
  const TLines refused = RootSpider->LoadSettings(read);
  fuzz::Require(refused.empty(), "a saved setup loads into a fresh tree with nothing refused",
                Joined(refused));
  const TLines reloaded = Dump();
  fuzz::Require(reloaded == saved, "a saved setup loaded into a fresh tree dumps the same lines",
                Difference(saved, reloaded));
  return 0;
}
