#pragma once
// Leads the units below the screen to the program's screen control (ScopeCRT, while it
// exists): the acquisition draws each record into its trace's styled layer (the display
// settings' hooks) and holds screen updates while it stores a block, the settings show
// their states in the status line, and the screen's mouse pauses, breaks and shifts the
// acquisition and the time base; a trace switched off frees its layers. The status line
// reads the channel, time-base, trigger and acquisition settings.

namespace norv {

// Fills the acquisition, settings and display hooks; each does nothing while there is no
// screen control.
void InstallScreenHooks();
// The status line of a screen control just made reads the settings.
void ConnectTopText();

}  // namespace norv
