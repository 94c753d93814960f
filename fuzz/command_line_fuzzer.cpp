// Command lines, as a remote client or the keypad sends them, on the fully registered
// tree: one line per input line, then the undo ring stepped back and forth over them.
// A rejected command raises one of the program's own errors (std::runtime_error); any
// other exception, a crash or undefined behaviour is a fault.
//
// An input whose first byte is 0xF0 or above builds a long line, as long as a remote
// request may be: the second byte is the length of a head, and the rest of the last line
// after that head is repeated to kMaxRequestBytes >> (first byte & 15) bytes in all (1 MiB
// down to 32 bytes); the other lines run before it. So short inputs reach every length up
// to the request limit, whatever -max_len the run has. Lines run with the remote reply
// limit, as a client's do.

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "shell/remote/remote_protocol.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

constexpr uint8_t kLongLineMode = 0xF0;

// The head, then the unit repeated and cut, to size bytes (the head alone when longer).
std::string LongLine(std::string_view head, std::string_view unit, size_t size) {
  std::string line(head);
  if (unit.empty() || line.size() >= size) return line;
  line.reserve(size);
  while (line.size() + unit.size() <= size) line += unit;
  line += unit.substr(0, size - line.size());
  return line;
}

void Run(std::string_view line) {
  try {
    RootSpider->ExecCommandLine(line, false, kMaxReplyBytes);
  } catch (const std::runtime_error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  std::string_view text = fuzz::AsText(data, size);
  const bool longLine = size >= 2 && data[0] >= kLongLineMode;
  if (longLine) text.remove_prefix(2);
  std::vector<std::string_view> lines = fuzz::SplitOn(text, '\n');
  std::string built;
  if (longLine) {
    const std::string_view last = lines.back();
    const size_t head = std::min<size_t>(data[1], last.size());
    built = LongLine(last.substr(0, head), last.substr(head), kMaxRequestBytes >> (data[0] & 15));
    lines.back() = built;
  }

  fuzz::ClearProgramHome();
  fuzz::UseRegisteredTree();
  for (std::string_view line : lines) Run(line);
  for (bool redo : {false, false, true, false}) {
    try {
      ReplayUndoStep(redo);
    } catch (const std::runtime_error&) {
    }
  }
  fuzz::PutBackRegisteredTree();
  return 0;
}
