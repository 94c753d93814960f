// Command lines, as a remote client or the keypad sends them, on the fully registered
// tree: one line per input line, then the undo ring stepped back and forth over them.
// A rejected command raises one of the program's own errors (std::runtime_error); any
// other exception, a crash or undefined behaviour is a fault.

#include <stdexcept>

#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "support/fuzz_program.h"

using namespace norv;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  fuzz::ClearProgramHome();
  fuzz::UseRegisteredTree();
  for (std::string_view line : fuzz::SplitOn(fuzz::AsText(data, size), '\n')) {
    try {
      RootSpider->ExecCommandLine(line, false);
    } catch (const std::runtime_error&) {
    }
  }
  for (bool redo : {false, false, true, false}) {
    try {
      ReplayUndoStep(redo);
    } catch (const std::runtime_error&) {
    }
  }
  fuzz::PutBackRegisteredTree();
  return 0;
}
