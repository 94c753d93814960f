#include "shell/keypad.h"

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "shell/main_commands.h"
#include "shell/shell_state.h"

namespace norv {

TKeypadState KeypadState;
const TProgramUnit KeypadUnit("keypad", [] { KeypadState = {}; });

namespace {

void SetToLimit(THandler&) {
  TCheckSwHandler* setTo = KeypadState.SetTo;
  // Clearing the items below calls back once per item; only a set item acts.
  if (!setTo || !setTo->GetLastState()) return;
  const uint8_t item = setTo->GetLastButton();
  auto* edit = RootSpider && !KeypadState.EditedPath.empty()
                   ? dynamic_cast<TEditHandler*>(RootSpider->FindHandler(KeypadState.EditedPath))
                   : nullptr;
  setTo->SetMaskByProgram(0);
  if (edit && item <= 2) edit->SetToLimitBySwitcher(item == 0 ? lcMin : item == 1 ? lcMid : lcMax);
}

}  // namespace

void RegisterKeypadCommands() {
  KeypadState.SetTo = RootSpider->AddCheckSw(0, "Shadow:SetTo", "m1,m2,m3", SetToLimit);
  KeypadState.SetTo->SetInternal(true);
  KeypadState.Resolution = RootSpider->AddRadioSw(0, "Shadow:Resolution", "m1,m2", [](THandler&) {
    KeypadState.SetFine(GetIndex(KeypadState.Resolution) == 0);
  });
  KeypadState.Resolution->SetInternal(true);
}

void BeginKeypadGroup(const std::string& path) {
  KeypadState.EditedPath = path;
  KeypadState.GroupOpen = true;
  KeypadState.RingGeneration = ShellState.UndoRingGeneration;
  if (UndoBuffer) KeypadState.WriteCount = UndoBuffer->WriteCount();
  UndoGroupActive = true;
  UndoGroupStepOpened = false;
}

void EndKeypadGroup(bool cancel) {
  if (!KeypadState.GroupOpen) return;
  KeypadState.GroupOpen = false;
  // A click that changed nothing opens the group's step too; then the step before the
  // keypad is the user's own and stays. The ring's indices alone cannot tell: a step
  // written into the slot of one just cancelled leaves them as they were.
  const bool written = UndoGroupStepOpened && UndoBuffer &&
                       KeypadState.RingGeneration == ShellState.UndoRingGeneration &&
                       UndoBuffer->WriteCount() != KeypadState.WriteCount;
  UndoGroupActive = false;
  UndoGroupStepOpened = false;
  KeypadState.EditedPath.clear();
  if (cancel && written) UndoRedoSettings(false, true);
}

}  // namespace norv
