#pragma once
// A new unit joins the program in four places:
//  1. register: its Register...Commands routine hangs its nodes in the tree; it is called
//     from the central registration in the program's order (tests: every_unit.cpp);
//  2. apply: its Apply...Settings routine pushes every setting to a newly connected
//     instrument, called from the apply dispatcher in the same order (every_unit.cpp);
//  3. hooks: each hook it calls that the instrument layer fills itself is declared
//     Wired("Struct.Name") and filled in InstallInstrumentSettings below (a test checks
//     that none is left empty); a hook for a higher subsystem stays unwired, or becomes
//     an abstract interface that subsystem implements when it arrives;
//  4. reset: its values (handler pointers, caches, flags) sit in one struct joined to
//     ProgramObjects with a TProgramUnit beside it (or in the list in
//     settings_wiring.cpp), and its objects in TOwned slots, so that FreshProgramState
//     starts it afresh and the exit frees it in order.
//
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
