#include "shell/upper_units.h"

#include "display/settings/display_settings.h"
#include "instrument/startup/dispatchers.h"
#include "shell/keypad.h"
#include "shell/main_commands.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/waveform_transfer.h"

namespace norv {

void FillUpperUnitSlots() {
  SetRegistrationRoutine(TRegistrationStep::DisplayColors, RegisterDisplayColorCommands);
  SetRegistrationRoutine(TRegistrationStep::MainCommands, RegisterMainCommands);
  SetRegistrationRoutine(TRegistrationStep::Display, RegisterDisplayCommands);
  SetRegistrationRoutine(TRegistrationStep::Wfm, RegisterWfmCommands);
  SetRegistrationRoutine(TRegistrationStep::Keypad, RegisterKeypadCommands);
  SetRegistrationRoutine(TRegistrationStep::Gui, RegisterGuiCommand);
  SetApplyRoutine(TApplyStep::Display, ApplyDisplaySettings);
}

}  // namespace norv
