// Setup files: the bytes of a file loaded into the fully registered tree. Whatever state
// that leaves, its setup must survive a save and a load: the dump written as a file reads
// back as the same lines, those load into a fresh tree with nothing refused, and the
// fresh tree dumps the same lines again. The save and reload give the same result for the
// same state every time, so they run once per state the inputs leave (most inputs change
// nothing or leave a state seen before); the reload, which costs a whole setup's load,
// for one new state in kReloadShare and every regression input. A fresh tree here is the
// kept tree put back to its start values.

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/settings/settings_tree.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

using TLines = std::vector<std::string>;

constexpr size_t kReloadShare = 4;

// A set of hashes whose insert allocates nothing (the table grows by doubling, seldom):
// libFuzzer runs an input again, looking for a leak, whenever it allocated more than it
// freed, and a node per new state did that for every new state.
class THashSet {
 public:
  // Whether the hash was not in the set yet.
  bool Insert(size_t hash) {
    if (hash == kEmpty) hash = 1;
    if (2 * (count_ + 1) > slots_.size()) Grow();
    size_t& slot = SlotOf(slots_, hash);
    if (slot == hash) return false;
    slot = hash;
    ++count_;
    return true;
  }

 private:
  static constexpr size_t kEmpty = 0;

  // The slot holding the hash, or the empty one where it goes.
  static size_t& SlotOf(std::vector<size_t>& slots, size_t hash) {
    const size_t mask = slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask)
      if (slots[i] == hash || slots[i] == kEmpty) return slots[i];
  }

  void Grow() {
    std::vector<size_t> larger(2 * slots_.size(), kEmpty);
    for (const size_t hash : slots_)
      if (hash != kEmpty) SlotOf(larger, hash) = hash;
    slots_ = std::move(larger);
  }

  std::vector<size_t> slots_ = std::vector<size_t>(size_t{1} << 16, kEmpty);
  size_t count_ = 0;
};

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

// Whether the input left the tree in a state no input left before: the save and reload
// give the same result for the same state every time.
bool NewState() {
  const std::optional<std::string> changes = fuzz::KeptTreeChanges();
  if (!changes) return true;
  static THashSet seen;
  return seen.Insert(std::hash<std::string>()(*changes));
}

// The save and reload of what a setup left: the dump is of the whole tree whatever the
// input held, and the reload loads all of it.
void CheckSavedSetup(std::string_view input) {
  const TLines saved = Dump();
  const std::string text = SetupFileTextFromLines(saved);
  const TLines read = SetupLinesFromFileText(text);
  fuzz::Require(read == saved, "a saved setup file reads back as the lines written",
                [&] { return Difference(saved, read); });
  if (!fuzz::InSample(input, kReloadShare, NORV_FUZZ_REGRESSIONS)) return;
  static THashSet done;
  if (!done.Insert(std::hash<std::string>()(text))) return;

  fuzz::UseRegisteredTree();  // the tree as new
  const TLines refused = RootSpider->LoadSettings(read);
  fuzz::Require(refused.empty(), "a saved setup loads into a fresh tree with nothing refused",
                [&] { return Joined(refused); });
  const TLines reloaded = Dump();
  fuzz::Require(reloaded == saved, "a saved setup loaded into a fresh tree dumps the same lines",
                [&] { return Difference(saved, reloaded); });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  const std::string_view input = fuzz::AsText(data, size);
  fuzz::ClearProgramHome();
  fuzz::UseRegisteredTree();
  bool loaded = true;
  try {
    RootSpider->LoadSettings(SetupLinesFromFileText(input));
  } catch (const std::runtime_error&) {
    loaded = false;  // a handler refused the file with a message: nothing to save
  }
  if (loaded && NewState()) CheckSavedSetup(input);
  fuzz::PutBackRegisteredTree();
  return 0;
}
