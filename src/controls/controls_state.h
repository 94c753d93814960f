#pragma once
// What the bound controls share with the rest of the program: the timers of the arrows'
// auto-repeat, the keypad, the source names of the source lists, the help-context mode
// and the one place where a failure inside a control's event ends up.

#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "framework/util/clock.h"
#include "framework/util/hook.h"

namespace norv {

class TRC_EditSwitcher;

// The signal sources offered by the source lists: Ch1 .. Const (the last one, None, is
// never offered).
inline constexpr int kSourceNameCount = 18;

struct TControlsState {
  // Makes the auto-repeat timers of the edit controls; without one an arrow steps once
  // per press.
  ITimerFactory* TimerFactory = nullptr;
  // Opens the keypad on an edit control (filled by the keypad).
  THook<void(TRC_EditSwitcher&)> EditKeypadHook{"ControlsState.EditKeypadHook"};
  // A failure inside a control's event handler (a click, a key, a timer tick): it never
  // crosses the event loop. Filled by the shell with its exception message; until then
  // the text goes to standard error.
  THook<void(const std::string& text)> OnException{"ControlsState.OnException"};
  // The beep of a refused key: the system's while empty (filled by tests to count them).
  THook<void()> OnBeep{Fallback("ControlsState.OnBeep")};

  // Names and colours of the sources, installed once at start-up.
  std::array<std::string, kSourceNameCount> SourceNames{};
  int LastSourceIndex = -1;  // -1 until installed, then kSourceNameCount - 1
  std::function<uint32_t(int source)> SourceColorLookup;
  uint32_t SourceBackColor = 0;

  // Help-context mode: 0 not yet known, 1 no, 2 yes.
  uint8_t HelpContextMode = 0;
};

extern TControlsState ControlsState;

// Fills the source names (the trace names Ch1 .. Const), the colour of each source's
// entries (0x00BBGGRR) and their back colour.
void InstallSourceNames(const std::array<std::string, kSourceNameCount>& names,
                        std::function<uint32_t(int source)> colorLookup, uint32_t backColor);

// The traces' short names in their display colours on the screen's colour: what the
// program's source lists show (again after a language switch).
void InstallTraceSourceNames();

// Runs a control's event work; a failure goes to OnException.
void GuardedCall(const std::function<void()>& work);
void Beep();

// True when an argument (the program name left out) is "HELPCONTEXT" in any case.
bool AsksForHelpContext(const QStringList& arguments);
// The help-context mode of this run, worked out from the command line on the first call.
bool IsHelpContextMode();

}  // namespace norv
