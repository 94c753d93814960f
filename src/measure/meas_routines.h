#pragma once
// The 53 measurement routines, dispatched from a slot's group and index. Each reads the
// measurement frame of its source (meas_frame.h), gives a value in the source's units or
// UndefinedValue, and anchors the slot's annotation labels on what it measured.

#include <string>

#include "framework/traces/trace_names.h"
#include "measure/meas_slots.h"

namespace norv {

// Value and unit text of slot n (empty text with an undefined value); the annotation
// owner's labels are shown exactly when the value is defined.
void CalcParameter(int slot, double& value, std::string& unitText);

// Computes and stores the results of every slot of `source` (as first or second source),
// or of every slot when `all`.
void EvaluateMeasurements(TTraceId source, bool all);

}  // namespace norv
