#pragma once
// The "INSTR:" commands by which a remote client lists the known instruments, asks which
// one is in use and switches to another. Names, labels and interfaces are answered in
// upper case with blanks as "_"; every reply begins with a blank.

namespace norv {

class TOnOffHandler;

struct TInstrumentCommandsState {
  // "INSTR:GUIReady": the main window works with an instrument (SetGuiReady).
  TOnOffHandler* GuiReady = nullptr;
};
TInstrumentCommandsState& InstrumentCommands();

void RegisterInstrumentCommands();

}  // namespace norv
