#pragma once
// Noise-free waveform shapes of the simulated generators: the pulse, the step of the
// TDR/TDT generator and the responses of the circuits it drives.

#include "instrument/simulator/simulator_settings.h"

namespace norv {

// One period of the pulse generator's output, 0 at rest and 1 on top, as a chain of
// raised-cosine segments whose 10-90 % rise and fall times equal the settings.
class TPulseShape {
 public:
  // Times in seconds; overshoots and droop in percent.
  TPulseShape(double riseTime, double fallTime, double width, double posOvershot, double negOvershot,
              double droop);
  // Level at x seconds after the start of the rising edge.
  double At(double x) const;

 private:
  double peak_, top_, under_;
  double x1_, x2_, x4_, x6_, x7_;
};

// The lowest level of a waveform kind's shape, overshoots aside: -0.5 for the sine, 0 for
// the pulse and the PRBS, -1 for the TDR/TDT step (which falls from 0).
double LowestLevel(TSimWaveform waveform);

// Reflection coefficient of impedance Z against Z0; 1 for an open end (Z above 1e10 Z0).
double ReflectionCoefficient(double z, double z0);

// The step generator's elementary edge: 0 before t = 0, then falling to -1 with a damped
// ringing whose first overshoot is OvershotPercent and a slow settling tail of
// SkolPercent.
class TStepEdge {
 public:
  TStepEdge(double overshotPercent, double skolPercent);
  double E(double t) const;

 private:
  double omega_, tau_, k_;
};

// Level seen by the sampler when the step (starting at t = 0) drives a TDR circuit, and
// the level arriving through a TDT circuit. Off gives 0.
double TdrResponse(const TStepEdge& edge, TSimTdrCircuit circuit, double t);
double TdtResponse(const TStepEdge& edge, TSimTdtCircuit circuit, double t);

}  // namespace norv
