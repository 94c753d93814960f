#pragma once
// The lock of the adjustment (service) constants. It lasts for the run of the program:
// once an access code has been accepted every later request is granted at once; after
// three wrong codes the dialog is no longer offered and a request only beeps. The lock
// guards the adjustment page; text commands reach the constants without it, as the
// instrument's own production scripts need.

#include <cstdint>
#include <string>

namespace norv {

inline constexpr uint8_t kAdjustAccessAttempts = 3;

struct TAdjustAccessState {
  bool Granted = false;
  // Presses of OK, accepted or not.
  uint8_t Attempts = 0;
};
TAdjustAccessState& AdjustAccess();
void ResetAdjustAccess();

bool AdjustAccessGranted();
// The dialog may be offered: neither granted nor out of attempts.
bool AdjustAccessDialogOffered();
// One press of OK with the typed code: counts the attempt and grants access on either
// code (exact, case-sensitive). True when the dialog closes now (granted, or the last
// attempt used).
bool SubmitAdjustAccessCode(const std::string& code);

// The shell's hook.
void InstallAdjustAccess();

}  // namespace norv
