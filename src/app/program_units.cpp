#include "app/program_units.h"

#include "analysis/fft.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/startup/dispatchers.h"
#include "measure/hist/hist_settings.h"
#include "measure/markers/markers.h"
#include "measure/meas_settings.h"
#include "measure/meas_state.h"
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
  InstallPatternSearch();
}

}  // namespace norv
