#pragma once
// Joins the screen control to the units below it: the acquisition draws each record into
// its trace's layer and holds screen updates while it stores a block, the settings show
// their states in the status line, and the screen's mouse pauses, breaks and shifts the
// acquisition and the time base. The status line reads the channel, time-base, trigger
// and acquisition settings.

namespace norv {

class TScopeCRT;

// The program's screen control, set while the main window holds one (nullptr otherwise).
TScopeCRT* ProgramScopeCRT();

// Fills the acquisition, settings and display hooks that lead to `crt`.
void InstallScreenHooks(TScopeCRT& crt);
// Empties them again (the screen control is going).
void RemoveScreenHooks();

}  // namespace norv
