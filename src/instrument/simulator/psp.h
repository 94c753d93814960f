#pragma once
// Model of a serial data signal carrying a pseudo-random bit sequence, as a function of
// time in bit periods: the pattern (orders 5..15), NRZ or RZ coding, raised-cosine edges
// with overshoot and undershoot, droop of long runs of ones, duty-cycle distortion,
// inter-symbol interference and sub-rate periodic jitter. Every parameter but the order
// is a fraction of a bit period or of the amplitude.

#include <array>
#include <cstdint>
#include <vector>

#include "framework/util/numeric_utils.h"

namespace norv {

class TPSP {
 public:
  static constexpr int kMinOrder = 5;
  static constexpr int kMaxOrder = 15;
  static constexpr int kMaxSubRateDiv = 32;

  // Sub-rate jitter advances its phase by random whole pattern steps; the draws come
  // from Random.
  explicit TPSP(TRandomSource& random);

  // Each setter marks the tables for rebuilding only when its value changes.
  void SetDroop(double value);
  void SetDutyCycleDist(double value);
  void SetFallTime(double value);
  void SetInterSymbol(double value);
  void SetNegOvershot(double value);
  void SetNrz(bool value);
  void SetPosOvershot(double value);
  void SetPulseWidth(double value);
  void SetRiseTime(double value);
  // Clamped to 1..32 (the size of the jitter table).
  void SetSubRateDiv(int value);
  void SetSubRateJit(double value);
  // Kept for the sub-rate phase; does not mark the tables.
  void SetPatternStep(int value) { PatternStep = value; }
  int GetPatternStep() const { return PatternStep; }

  // Order outside 5..15 raises EAssertion "Bad Bit". Length 2^Order, less one when
  // MinusOne; refills the bits.
  void SetOrder(int order, bool minusOne);

  // Signal level at T bit periods from the start of the pattern (0 <= T < PatternLength).
  double Value(double t);

  int Next(int i) const { return i >= LastIndex ? 0 : i + 1; }
  int Prev(int i) const { return i <= 0 ? LastIndex : i - 1; }

  int GetOrder() const { return Order; }
  int GetPatternLength() const { return PatternLength; }
  int Bit(int i) const { return Bits[i]; }

 private:
  void Rebuild();
  void ApplyInterSymbol();
  void ApplyDroop();
  void BuildSubRateTable();
  double EdgeAt(int i) const;
  double NrzValue(int i, double u, double w) const;
  double RzValue(int i, double u) const;

  TRandomSource& random_;

  double High = 1;
  double RiseSettle = 0;
  double Low = 0;
  double FallSettle = 0;
  bool Dirty = true;
  int LastIndex = 0;
  int PatternLength = 1;
  int Order = 0;
  std::vector<uint8_t> Bits;
  std::vector<float> EdgeTime;
  std::vector<float> BitLevel;
  double DutyCycleDist = 0;
  double PosOvershot = 0;
  double NegOvershot = 0;
  double Droop = 0;
  double InterSymbol = 0;
  bool Nrz = true;
  double FallTime = 0;
  double RiseTime = 0;
  double PulseWidth = 0;
  int SubRateDiv = 2;
  double SubRateJit = 0;
  int SubRatePhase = 0;
  bool SubRateOn = false;
  std::array<double, kMaxSubRateDiv> SubRateTable{};
  int PatternStep = 0;
};

// Raised-cosine step from y0 at x0 to y1 at x1 (the shape of every simulated edge); flat
// when the step is at most 0.001, and held at y1 from x1 on.
double CosineSegment(double x, double x0, double x1, double y0, double y1);

// Feedback taps (bit mask of the register positions whose parity feeds the top bit) of a
// maximal-length sequence of each order 5..15.
uint16_t PrbsFeedbackTaps(int order);

}  // namespace norv
