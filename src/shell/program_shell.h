#pragma once
// The shell's sequences that need no window: the preparation of the program's units, the
// deferred start-up after the main window is first shown, the start and stop of work with
// the instrument, the idle step and the close query. The main window runs them and is
// reached back through ShellHooks.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace norv {

class IClock;
class ITimerFactory;

// Joins the instrument units, makes the acquisition cycle on the program's clock and
// timers, fills the dispatcher slots of the units above them and leads the acquisition
// to the screen.
void PrepareProgramUnits(IClock& clock, ITimerFactory& timers);

// The deferred start-up; runs once however often it is asked for. The caller has let
// pending events run first.
void RunDeferredStartup();

// Starts work with (or without) the instrument. False when the instrument's identity
// could not be read: the user is told, the main controls stay hidden and the program is
// not ready for acquisitions.
bool StartWithInstrument(bool withInstrument);
void StopWithInstrument();

// One idle pass: one acquisition step. True ("done") when the loop may sleep until the
// next event: neither Run nor Single is on, or a link failure is pending.
bool ShellIdleStep();

// Idle passes, one after the other, until `ended` holds: a procedure started without its
// window (for a remote client) reaches its end before its command answers. False when it
// cannot end (the link failed, the acquisition is suspended, no idle handler drives it or
// the system has asked the program to close), or has not ended within kProcedureTimeLimitMs on the program's
// clock; the time-out is logged, and the caller ends the procedure as failed.
bool IdleStepsUntil(const std::function<bool()>& ended);
// A procedure of some hundred acquisitions ends within seconds; one whose records never
// come (an instrument that is not triggered) must not hold the event loop, SIGTERM and the
// remote server longer than this.
inline constexpr int64_t kProcedureTimeLimitMs = 5 * 60 * 1000;
// For a procedure whose wait the system's close cut short, once it has given its settings
// back: its client is answered as a line the close cut is (EAssertion), not as if it had
// ended.
void ThrowIfClosing();

// Who closes: the user at the close box, or the system (SIGTERM, SIGINT, the session's
// end, a copy started for a client whose client has gone), which nobody can refuse.
enum class TCloseKind : uint8_t { ByUser, BySystem };

// The close query of the main window. Raises EAssertion ("ActiveCOMclient") while a remote
// client is connected, when the user closes; the system's close ends that client's
// connection instead. Stops the acquisition, offers to store changed calibration and
// adjustment constants, ends the procedures that run on with the acquisition as their
// Cancel does, writes the power-off setup (once work with the instrument has started, its
// setup recalled) and suspends the acquisition; false
// when the close is refused (Cancel, or constants that could not be stored while dialogs
// are shown; with dialogs suppressed that failure is logged and the close goes on).
bool CloseQuery(TCloseKind kind = TCloseKind::ByUser);

// The text of the exception report ("OnException").
std::string ExceptionReportText(const std::string& message);

}  // namespace norv
