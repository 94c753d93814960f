#pragma once
// A recall of settings: a setup loaded or an undo step replayed sets settings and does
// nothing else. A setting whose change would start a procedure or ask the user something
// is set without it, and the recall's one warning names it, beside the lines it skipped,
// so that the user starts what it starts when that is wanted.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace norv {

class THandler;

// Asked by the callback of a setting before it starts a procedure or asks the user: true
// (start nothing) while settings are recalled, or when the change itself is a replayed
// line; a recall in force names the setting in its warning.
bool RecallHoldsBack(THandler& handler);

// How a recall tells what it skipped and held back: through the dialogs; or, giving back
// a procedure's set-up (which starts nothing anyone asked for), nothing of what it held
// back and the lines it skipped in the log alone.
enum class TRecallTold : uint8_t { Dialogs, LogOnly };

// Runs a replay of settings (a setup's lines, an undo step) as one recall inside one
// settings batch; the replay adds the lines it skipped as they set no setting. Then tells
// the user once, through the dialogs (a remote client's replay logs it), which lines were
// skipped and which settings were set without starting their procedures: the first few of
// each, shortened.
void RecallSettings(const std::function<void(std::vector<std::string>& skipped)>& replay,
                    TRecallTold told = TRecallTold::Dialogs);

// For its scope, a recall names the settings it held back in the status line and the log
// instead of a box: a recall nobody at the screen asked for (the start's) must not keep a
// client waiting until the box is clicked at every start. Lines it skipped (a damaged
// file) still have their box.
class TRecallToldInStatusLine {
 public:
  TRecallToldInStatusLine();
  ~TRecallToldInStatusLine();
  TRecallToldInStatusLine(const TRecallToldInStatusLine&) = delete;
  TRecallToldInStatusLine& operator=(const TRecallToldInStatusLine&) = delete;

 private:
  bool saved_;
};

// Replays the lines of the recall in force through `replayLine`: all of them twice
// (pass 0 and 1: a line whose limits or options follow a later line gets its value on the
// second), then, in further passes, each line whose setting does not hold what the line
// gave (a limit clamped the line's value, or another line's callback or a limit moved it
// since), until every setting holds its value or a few rounds have passed. A recall thus
// gives back every value it holds whatever the order of its lines. `count` is asked again
// at every line: a replay may add lines at the end as it goes.
void ReplayRecallLines(const std::function<size_t()>& count,
                       const std::function<void(size_t line, int pass)>& replayLine);

// Told by the handlers: a replayed line is setting `handler`; `handler` does not hold the
// value its line gave (clamped as the line set it, changed otherwise than by its line).
void NoteRecallLineSets(const THandler& handler);
void NoteRecallNotHeld(const THandler& handler);

// The full path of a handler in the tree ("TRIG:LOWJITTER"), or "" when it hangs nowhere.
std::string HandlerPath(const THandler* handler);

}  // namespace norv
