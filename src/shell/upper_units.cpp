#include "shell/upper_units.h"

#include "display/settings/display_settings.h"
#include "instrument/startup/dispatchers.h"
#include "shell/keypad.h"
#include "shell/main_commands.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/waveform_transfer.h"
#include "shell/save/save_recall.h"

namespace norv {

void FillUpperUnitSlots() {
  SetRegistrationRoutine(TRegistrationStep::DisplayColors, RegisterDisplayColorCommands);
  SetRegistrationRoutine(TRegistrationStep::MainCommands, RegisterMainCommands);
  SetRegistrationRoutine(TRegistrationStep::Display, RegisterDisplayCommands);
  SetRegistrationRoutine(TRegistrationStep::Save, RegisterSaveCommands);
  SetApplyRoutine(TApplyStep::Save, ApplySaveSettings);
  SetRegistrationRoutine(TRegistrationStep::Wfm, RegisterWfmCommands);
  SetRegistrationRoutine(TRegistrationStep::Keypad, RegisterKeypadCommands);
  SetRegistrationRoutine(TRegistrationStep::Gui, RegisterGuiCommand);
  SetApplyRoutine(TApplyStep::Display, ApplyDisplaySettings);
  InstallSaveUnit();
}

}  // namespace norv
