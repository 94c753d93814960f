#include "service/adjust_access.h"

#include "framework/settings/program_objects.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

TAdjustAccessState State;
const TProgramUnit AdjustAccessUnit("adjust access", ResetAdjustAccess);

constexpr const char* kAccessCodes[] = {"KR4-62M", "Zolbrink"};

}  // namespace

TAdjustAccessState& AdjustAccess() { return State; }
void ResetAdjustAccess() { State = {}; }

bool AdjustAccessGranted() { return State.Granted; }

bool AdjustAccessDialogOffered() { return !State.Granted && State.Attempts < kAdjustAccessAttempts; }

bool SubmitAdjustAccessCode(const std::string& code) {
  if (State.Attempts < UINT8_MAX) ++State.Attempts;
  for (const char* accepted : kAccessCodes)
    if (code == accepted) State.Granted = true;
  return State.Granted || State.Attempts >= kAdjustAccessAttempts;
}

void InstallAdjustAccess() { ShellHooks.AdjustAccessGranted.Set(AdjustAccessGranted); }

}  // namespace norv
