#include "analysis/measurement_wiring.h"

#include "analysis/fft.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "measure/meas_frame.h"
#include "measure/meas_state.h"

namespace norv {

void InstallMeasurementHooks() {
  AcqHooks.MeasurementPass.Set(MeasurementPass);
  MeasHooks.WindowMeasFactor.Set(GetWindowMeasFactor);
  MeasHooks.WindowCoefficient.Set(GetWindowCoefficient);
}

}  // namespace norv
