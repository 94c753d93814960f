#pragma once
// The application's idle pass: the acquisition, and the work it serves, run in passes that
// the event loop gives each time it wakes. A pass is never nested: while one runs, the loop
// of a box opened inside it gives no more passes, so such a box would stop the acquisition,
// a client's lines and their procedures until someone answers it. What has to ask or tell
// the user from inside a pass therefore waits for the pass's end (OutsideIdlePass); a
// message told inside a pass does so by itself (TDialogService::Inform).

#include <functional>

namespace norv {

// True while a pass runs.
bool IdlePassRuns();
// One pass as the event loop gives it: `step` (true: done, the loop may sleep), then the
// work that waited for the pass's end, in its order (unless the caller runs it itself,
// RunWorkAfterIdlePass). Inside a pass nothing runs (done).
bool RunIdlePass(const std::function<bool()>& step, bool thenWaitingWork = true);
bool WorkWaitsForIdlePassEnd();
void RunWorkAfterIdlePass();
// Runs `work` now when no pass runs, else right after the pass. Work that opens a box
// stands being called from passes that its box's loop gives.
void OutsideIdlePass(std::function<void()> work);

}  // namespace norv
