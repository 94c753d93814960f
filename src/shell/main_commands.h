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
// "*Undo", which then undoes; a parameter it does not know is an error. A query runs
// nothing: it answers the state ("*Run?" ON or OFF) or the item last chosen.

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

}  // namespace norv
