#include "app/program_units.h"

#include "analysis/fft.h"
#include "instrument/startup/dispatchers.h"
#include "measure/hist/hist_settings.h"
#include "measure/markers/markers.h"
#include "measure/meas_labels.h"
#include "measure/meas_settings.h"
#include "measure/meas_state.h"
#include "shell/shell_state.h"
#include "shell/upper_units.h"

namespace norv {

void FillProgramUnitSlots() {
  FillUpperUnitSlots();
  SetRegistrationRoutine(TRegistrationStep::Marks, RegisterMarkHandlers);
  SetApplyRoutine(TApplyStep::Marks, ApplyMarkSettings);
  SetRegistrationRoutine(TRegistrationStep::Meas, RegisterMeasHandlers);
  SetApplyRoutine(TApplyStep::Meas, ApplyMeasSettings);
  SetRegistrationRoutine(TRegistrationStep::Hist, RegisterHistHandlers);
  SetApplyRoutine(TApplyStep::Hist, ApplyHistSettings);
}

void InstallProgramUnits() {
  FillProgramUnitSlots();
  MeasHooks.WindowMeasFactor.Set(GetWindowMeasFactor);
  MeasHooks.WindowCoefficient.Set(GetWindowCoefficient);
  InstallMeasurements();
  InstallMarkers();
  InstallHistSettings();
  // What "*ClrDispl" and a language switch ask of the units above the shell.
  ShellHooks.ClearAnalyses.Set([] { ClearMarkerValues(); });
  ShellHooks.RelabelAnalyses.Set(RelabelMeasurements);
}

}  // namespace norv
