#pragma once
// Joins the measurements to the units around them: the acquisition runs the measurement
// pass after each record, and spectral measurements read the window tables of the
// spectrum's window. The program calls it once at start-up.

namespace norv {

void InstallMeasurementHooks();

}  // namespace norv
