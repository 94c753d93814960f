#pragma once
// The keypad's settings and its undo group. The keypad form edits one numeric setting at a
// time; everything it changes while it is shown forms one undo step, which Cancel takes
// back. Its two helper nodes serve only the keypad ("Shadow" paths are refused to text
// commands):
//
//   "Shadow:SetTo"       check set m1, m2, m3: the edited value to its minimum, middle or
//                        maximum; the items clear themselves again
//   "Shadow:Resolution"  radio m1, m2: fine or coarse stepping of the keypad's edit

#include <cstdint>
#include <string>

#include "framework/util/hook.h"

namespace norv {

class TCheckSwHandler;
class TRadioSwHandler;

struct TKeypadState {
  TCheckSwHandler* SetTo = nullptr;
  TRadioSwHandler* Resolution = nullptr;
  // The setting being edited (empty while the keypad is hidden).
  std::string EditedPath;
  // The keypad's edit steps fine (true) or coarse.
  THook<void(bool fine)> SetFine{"KeypadState.SetFine"};

  // The ring and its count of written lines when the group began: the group wrote a step
  // when the count moved in the same ring.
  bool GroupOpen = false;
  uint64_t RingGeneration = 0;
  uint64_t WriteCount = 0;
};
extern TKeypadState KeypadState;

void RegisterKeypadCommands();

// Opens the keypad's undo group for the setting at `path`: the first change opens one
// step and later changes join it.
void BeginKeypadGroup(const std::string& path);
// Closes the group. With `cancel`, a step that the group wrote is undone and the redo side
// emptied, so that no redo brings the cancelled value back. A step is undone only when it
// was written while the keypad was shown, in the ring that was there when it opened (a
// stop of the instrument work frees the ring).
void EndKeypadGroup(bool cancel);

}  // namespace norv
