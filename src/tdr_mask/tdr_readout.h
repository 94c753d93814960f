#pragma once
// The "Excess" readout of the markers on a TDR trace: the capacitance or inductance of the
// discontinuity between the two markers, from the area of its reflection.

#include <string>

#include "framework/traces/trace_names.h"

namespace norv {

class TSignalObj;

struct THeterogeneity {
  bool Shown = false;                // the readout is visible
  TTraceId Source = TTraceId::Ch1;   // the trace both markers sit on
  bool Ohm = false;                  // the samples are impedances: back to reflection first
  std::string LabelText, ValueText;  // what the strip shows now
};
THeterogeneity& Heterogeneity();

struct TExcessLC {
  bool Valid = false;  // false when the start impedance is 0
  bool Capacitive = false;
  double Value = 0;  // F or H
};
// The excess L or C over record points a..b (swapped when a > b, clamped to the record).
TExcessLC ComputeExcessLC(const TSignalObj& record, int a, int b, bool ohm);

// Decides again whether the readout shows (marker type, sources, vertical units) and
// redraws it when that changed.
void UpdateTDRMarkerUnits();
// Writes the readout's label and value (empty while hidden) into the marker strip.
void ShowTDRExcessLC();

// Fills the marker and acquisition hooks of the readout.
void InstallTdrReadout();

}  // namespace norv
