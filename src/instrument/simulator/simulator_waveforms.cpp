#include "instrument/simulator/simulator_waveforms.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "instrument/simulator/psp.h"

namespace norv {

namespace {

// A raised-cosine edge's 10-90 % time is this fraction of its full length.
constexpr double kTenToNinetyFraction = 0.590334471;
constexpr double kSystemImpedance = 50;
// The elementary edge is within 1e-6 of its final -1 this long after it starts.
constexpr double kEdgeSettledAfter = 2e-8;
// A rest of a reflection train below this (of the step height) is dropped.
constexpr double kNegligibleTrain = 1e-7;

// sqrt(|a| / b), or 0 when b is not positive (a degenerate overshoot setting).
double RootOfRatio(double a, double b) { return b > 0 ? std::sqrt(std::abs(a) / b) : 0; }

struct TOvershotRow {
  double Percent, A, B;
};
constexpr TOvershotRow kOvershotTable[] = {{51.5, 3.6, 1.04}, {40.4, 3.0, 1.04}, {29.5, 2.5, 1.04},
                                           {17.8, 2.0, 1.04}, {7.1, 1.5, 1.04},  {3.2, 1.25, 0.99},
                                           {0.9, 1.0, 0.91},  {0.14, 0.8, 0.81}, {0.0, 0.6, 0.65}};

// The edge's shape constants a and b at an overshoot, linear between the table's rows and
// held at its ends.
TOvershotRow InterpolateOvershot(double percent) {
  constexpr int rows = static_cast<int>(std::size(kOvershotTable));
  if (percent >= kOvershotTable[0].Percent) return kOvershotTable[0];
  for (int i = 1; i < rows; ++i) {
    const TOvershotRow& upper = kOvershotTable[i - 1];
    const TOvershotRow& lower = kOvershotTable[i];
    if (percent >= lower.Percent) {
      const double f = (percent - lower.Percent) / (upper.Percent - lower.Percent);
      return {percent, lower.A + f * (upper.A - lower.A), lower.B + f * (upper.B - lower.B)};
    }
  }
  return kOvershotTable[rows - 1];
}

// Sum of Amplitude * Gain * E(t - First - k * Spacing) over k = 0, 1, ..., the
// amplitude shrinking by Ratio (|Ratio| < 1) per term. Terms old enough to have settled
// at -1 are added in closed form; the others one by one, until the rest of the train
// could no longer matter. Every term counts, so the train settles at its exact sum.
double BounceTrain(const TStepEdge& edge, double t, double first, double spacing, double amplitude,
                   double gain, double ratio) {
  const double newest = t - first;
  if (newest < 0) return 0;
  // Sum of the amplitudes of the first n terms.
  auto amplitudes = [&](double n) { return amplitude * (1 - std::pow(ratio, n)) / (1 - ratio); };
  if (!(spacing > 0)) return gain * amplitudes(HUGE_VAL) * edge.E(newest);
  const double settledTerms = std::max(0.0, std::floor((newest - kEdgeSettledAfter) / spacing) + 1);
  double sum = -gain * amplitudes(settledTerms);
  double term = amplitude * gain * std::pow(ratio, settledTerms);
  for (double k = settledTerms;; ++k) {
    const double local = newest - k * spacing;
    if (local < 0 || std::abs(term) < kNegligibleTrain * (1 - std::abs(ratio))) break;
    sum += term * edge.E(local);
    term *= ratio;
  }
  return sum;
}

}  // namespace

TPulseShape::TPulseShape(double riseTime, double fallTime, double width, double posOvershot,
                         double negOvershot, double droop) {
  const double rise = riseTime / kTenToNinetyFraction;
  const double fall = fallTime / kTenToNinetyFraction;
  peak_ = 1 + posOvershot / 100;
  top_ = 1 - droop / 100;
  under_ = -negOvershot / 100;
  x1_ = rise;
  x2_ = x1_ + RootOfRatio(peak_ - 1, peak_) * rise;
  x4_ = width - fall / 2 + rise / 2;
  x6_ = x4_ + fall;
  x7_ = x6_ + RootOfRatio(under_, top_ - under_) * fall;
}

double TPulseShape::At(double x) const {
  if (x < 0) return 0;
  if (x < x1_) return CosineSegment(x, 0, x1_, 0, peak_);
  if (x < x2_) return CosineSegment(x, x1_, x2_, peak_, 1);
  if (x < x4_) return CosineSegment(x, x2_, x4_, 1, top_);
  if (x < x6_) return CosineSegment(x, x4_, x6_, top_, under_);
  if (x < x7_) return CosineSegment(x, x6_, x7_, under_, 0);
  return 0;
}

double LowestLevel(TSimWaveform waveform) {
  switch (waveform) {
    case TSimWaveform::Sinewave:
      return -0.5;
    case TSimWaveform::Pulse:
    case TSimWaveform::Prbs:
      return 0;
    case TSimWaveform::Tdr:
    case TSimWaveform::Tdt:
      return -1;
  }
  return 0;
}

double ReflectionCoefficient(double z, double z0) {
  if (z > 1e10 * z0) return 1.0;
  return (z - z0) / (z + z0);
}

TStepEdge::TStepEdge(double overshotPercent, double skolPercent) {
  const TOvershotRow row = InterpolateOvershot(std::max(overshotPercent, 0.01));
  omega_ = 11111111111.11111 * row.B;
  tau_ = row.A / omega_;
  k_ = skolPercent / 100;
}

double TStepEdge::E(double t) const {
  if (t < 0) return 0;
  const double ratio = t / tau_;
  return (std::exp(-ratio * ratio) * std::cos(omega_ * t) - 1) * (1 - k_ * std::exp(-t / 1.5e-9));
}

double TdrResponse(const TStepEdge& edge, TSimTdrCircuit circuit, double t) {
  struct TSection {
    double Z1, D, Z2, B;  // B 0: one section only
  };
  TSection s{};
  switch (circuit) {
    case TSimTdrCircuit::Off:
      return 0;
    case TSimTdrCircuit::Open:
      s = {1e10, 1.5e-9, 0, 0};
      break;
    case TSimTdrCircuit::Short:
      s = {0, 1.5e-9, 0, 0};
      break;
    case TSimTdrCircuit::R50:
      s = {50, 1.5e-9, 0, 0};
      break;
    case TSimTdrCircuit::Rx:
      s = {85, 1.5e-9, 0, 0};
      break;
    case TSimTdrCircuit::RR5015050:
      s = {150, 2.5e-9, 50, 1e-9};
      break;
    case TSimTdrCircuit::Lx:
      s = {10000, 2.5e-9, 50, 5e-12};
      break;
    case TSimTdrCircuit::Cx:
      s = {0.02, 2.5e-9, 50, 5e-12};
      break;
  }
  const double rho1 = ReflectionCoefficient(s.Z1, kSystemImpedance);
  double y = 0.5 * edge.E(t) + 0.25 * rho1 * edge.E(t - 2 * s.D);
  if (s.B > 0) {
    const double rho21 = ReflectionCoefficient(s.Z2, s.Z1);
    const double back = ReflectionCoefficient(kSystemImpedance, s.Z1);
    y += BounceTrain(edge, t, 2 * s.D + 2 * s.B, 2 * s.B, 1 + rho1, 0.25 * rho21 * (1 + back), back * rho21);
  }
  return y;
}

double TdtResponse(const TStepEdge& edge, TSimTdtCircuit circuit, double t) {
  struct TLine {
    double Z, F, Td;
  };
  TLine line{};
  switch (circuit) {
    case TSimTdtCircuit::Off:
      return 0;
    case TSimTdtCircuit::Stimul:
      line = {50, 1.0, 0};
      break;
    case TSimTdtCircuit::DB6NS3:
      line = {50, 0.5, 3e-9};
      break;
    case TSimTdtCircuit::RR5015050:
      line = {150, 1.0, 2e-9};
      break;
    case TSimTdtCircuit::Lx:
      line = {10000, 1.0, 5e-12};
      break;
    case TSimTdtCircuit::Cx:
      line = {0.02, 1.0, 5e-12};
      break;
  }
  const double back = ReflectionCoefficient(kSystemImpedance, line.Z);
  return BounceTrain(edge, t, line.Td, 2 * line.Td, 1 + ReflectionCoefficient(line.Z, kSystemImpedance),
                     (1 + back) * line.F, back * back * line.F * line.F);
}

}  // namespace norv
