#pragma once
// The main commands: the common ("*") commands that the command row of the main window,
// its function keys and remote clients all reach the same way.
//
//   "*ClrDispl"                     clears the screens and the results shown on them
//   "*Run"         RunFlag          continuous acquisition
//   "*StopSingle"  SingleFlag       Stop, Single (one acquisition)
//   "*Autoscale"   Auto, SingleVal, NRZ, RZ
//   "*DefSetup"    Default, Factory, PowerOff, SaveAsDef
//   "*Undo"        Undo, Redo
//   "*Copy"        FullScreen, FullWindow, ClientPart, InvClientPart, ScopeScreen, InvScopeScr
//   "*Print"       Print, PrinterSetup
//   "SHADOW:Help"  1 (contents), 2 (About); the command itself enters the help mode
//
// A command named without an item runs its last chosen item (or its first), except
// "*Undo", which then undoes; an item name it does not know is an error. A query runs the
// command too and answers its item, except "*DefSetup?", which only answers.

#include <cstdint>

namespace norv {

class TMainCommandHandler;

enum : int32_t {
  kCopyFullScreen,
  kCopyFullWindow,
  kCopyClientPart,
  kCopyInvClientPart,
  kCopyScopeScreen,
  kCopyInvScopeScr
};
enum : int32_t { kSetupDefault, kSetupFactory, kSetupPowerOff, kSetupSaveAsDef };

struct TMainCommandsState {
  TMainCommandHandler* ClrDispl = nullptr;
  TMainCommandHandler* Run = nullptr;
  TMainCommandHandler* StopSingle = nullptr;
  TMainCommandHandler* Autoscale = nullptr;
  TMainCommandHandler* DefSetup = nullptr;
  TMainCommandHandler* Undo = nullptr;
  TMainCommandHandler* Copy = nullptr;
  TMainCommandHandler* Print = nullptr;
  TMainCommandHandler* Help = nullptr;
};

extern TMainCommandsState MainCommands;

void RegisterMainCommands();

// The item a main command runs: the one named now, else the last one chosen, else
// `fallback`.
int32_t EffectiveItem(const TMainCommandHandler& handler, int32_t fallback);

// Steps the undo ring back (or forward) and replays that step, keeping the time-base
// delays; with clearRedo the redo side is emptied. Nothing happens on an empty side.
void UndoRedoSettings(bool redo, bool clearRedo);

// A procedure's set-up as an undo step of its own; the value names it for UndoBackToStep
// (0 without a working ring).
uint64_t BeginProcedureStep();
// Takes back the procedure's set-up at its end: undoes every step back to the named one,
// that one included, so a change made while it ran (a command sent meanwhile) cannot stand
// in for it. Nothing when the set-up changed nothing or its step was undone already.
void UndoBackToStep(uint64_t step);

}  // namespace norv
