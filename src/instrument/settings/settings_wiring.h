#pragma once
// A new unit joins the program in four places:
//  1. register: its Register...Commands routine hangs its nodes in the tree; the central
//     registration (dispatchers.h) calls it from its step's slot, in the program's order:
//     an instrument unit's slot is filled in dispatchers.cpp, a higher subsystem fills its
//     own at start-up (tests: every_unit.cpp);
//  2. apply: its Apply...Settings routine pushes every setting to a newly connected
//     instrument, called from its slot of the apply dispatcher in the same way;
//  3. hooks: each hook it calls that the instrument layer fills itself is declared
//     Wired("Struct.Name") and filled in InstallInstrumentSettings below (a test checks
//     that none is left empty); a hook for a higher subsystem carries its name alone
//     ("Struct.Name"), and waits on the program test's list until that subsystem fills
//     it, or becomes an abstract interface that subsystem implements when it arrives;
//  4. reset: its values (handler pointers, caches, flags) sit in one struct joined to
//     ProgramObjects with a TProgramUnit beside it (or in the list in
//     settings_wiring.cpp), and its objects in TOwned slots, so that FreshProgramState
//     starts it afresh and the exit frees it in order.
//
// Joins the channel, time-base, trigger, acquisition and simulator settings and the
// dispatchers to the command link, the sample stream and the instrument identity: the facts the settings ask
// through their hooks, and the record settings, pattern-lock checks and resynchronisation the link asks of
// them, and the settings interface of the acquisition cycle. Called once at start-up.

namespace norv {

class IAcqSettings;

// Fills the hooks of the link, the acquisition cycle and the settings units.
void InstallInstrumentSettings();
// The settings nodes as the acquisition cycle reads them.
IAcqSettings& ProgramAcqSettings();

}  // namespace norv
