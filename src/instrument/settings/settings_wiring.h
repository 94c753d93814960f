#pragma once
// Joins the channel, time-base, trigger and acquisition settings to the command link, the
// sample stream and the instrument identity: the facts the settings ask through their
// hooks, and the record settings, pattern-lock checks and resynchronisation the link asks
// of them, and the settings interface of the acquisition cycle. Called once at start-up.

namespace norv {

class IAcqSettings;

// Fills the hooks of the link, the acquisition cycle and the settings units.
void InstallInstrumentSettings();
// The settings nodes as the acquisition cycle reads them.
IAcqSettings& ProgramAcqSettings();

}  // namespace norv
