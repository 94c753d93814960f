#include "support/every_unit.h"

#include "display/settings/display_settings.h"
#include "framework/settings/handler.h"
#include "instrument/startup/dispatchers.h"
#include "measure/meas_settings.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/waveform_transfer.h"

namespace norv::test {

void RegisterEveryUnit() {
  // The units above the instrument layer join their steps as the program's start-up does.
  SetRegistrationRoutine(TRegistrationStep::DisplayColors, RegisterDisplayColorCommands);
  SetRegistrationRoutine(TRegistrationStep::Display, RegisterDisplayCommands);
  SetApplyRoutine(TApplyStep::Display, ApplyDisplaySettings);
  SetRegistrationRoutine(TRegistrationStep::Meas, RegisterMeasHandlers);
  SetApplyRoutine(TApplyStep::Meas, ApplyMeasSettings);
  SetRegistrationRoutine(TRegistrationStep::Wfm, RegisterWfmCommands);
  SetRegistrationRoutine(TRegistrationStep::Gui, RegisterGuiCommand);
  RegisterAllCommandsAtStart();
}

void ApplyEveryUnit() {
  ForceNotify = true;
  ApplyAllSettings();
  ForceNotify = false;
}

}  // namespace norv::test
