#include "instrument/simulator/psp.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "framework/util/errors.h"

namespace norv {

namespace {

template <typename T>
void Assign(T& field, T value, bool& dirty) {
  if (field == value) return;
  field = value;
  dirty = true;
}

}  // namespace

double CosineSegment(double x, double x0, double x1, double y0, double y1) {
  if (std::abs(y1 - y0) <= 0.001) return y0;
  if (x >= x1) return y1;
  return std::cos(std::numbers::pi * (x - x0) / (x1 - x0)) * (y0 - y1) / 2 + (y0 + y1) / 2;
}

uint16_t PrbsFeedbackTaps(int order) {
  // Orders 7 and 15 keep the two low register bits; the others use primitive
  // polynomials, so every order runs through all 2^N - 1 non-zero states.
  switch (order) {
    case 5:
      return 0x0005;  // x^5 + x^2 + 1
    case 6:
      return 0x0003;  // x^6 + x + 1
    case 7:
      return 0x0003;  // x^7 + x + 1
    case 8:
      return 0x001D;  // x^8 + x^4 + x^3 + x^2 + 1
    case 9:
      return 0x0011;  // x^9 + x^4 + 1
    case 10:
      return 0x0009;  // x^10 + x^3 + 1
    case 11:
      return 0x0005;  // x^11 + x^2 + 1
    case 12:
      return 0x0053;  // x^12 + x^6 + x^4 + x + 1
    case 13:
      return 0x001B;  // x^13 + x^4 + x^3 + x + 1
    case 14:
      return 0x0443;  // x^14 + x^10 + x^6 + x + 1
    case 15:
      return 0x0003;  // x^15 + x + 1
    default:
      return 0;
  }
}

TPSP::TPSP(TRandomSource& random) : random_(random) { SetOrder(kMinOrder, true); }

void TPSP::SetDroop(double value) { Assign(Droop, value, Dirty); }
void TPSP::SetDutyCycleDist(double value) { Assign(DutyCycleDist, value, Dirty); }
void TPSP::SetFallTime(double value) { Assign(FallTime, value, Dirty); }
void TPSP::SetInterSymbol(double value) { Assign(InterSymbol, value, Dirty); }
void TPSP::SetNegOvershot(double value) { Assign(NegOvershot, value, Dirty); }
void TPSP::SetNrz(bool value) { Assign(Nrz, value, Dirty); }
void TPSP::SetPosOvershot(double value) { Assign(PosOvershot, value, Dirty); }
void TPSP::SetPulseWidth(double value) { Assign(PulseWidth, value, Dirty); }
void TPSP::SetRiseTime(double value) { Assign(RiseTime, value, Dirty); }
void TPSP::SetSubRateDiv(int value) { Assign(SubRateDiv, std::clamp(value, 1, kMaxSubRateDiv), Dirty); }
void TPSP::SetSubRateJit(double value) { Assign(SubRateJit, value, Dirty); }

void TPSP::SetOrder(int order, bool minusOne) {
  if (order < kMinOrder || order > kMaxOrder) throw EAssertion("Bad Bit");
  Order = order;
  PatternLength = (1 << order) - (minusOne ? 1 : 0);
  LastIndex = PatternLength - 1;
  // The tables grow with the pattern: most patterns are short.
  const auto size = static_cast<size_t>(PatternLength);
  if (Bits.size() < size) {
    Bits.resize(size);
    EdgeTime.resize(size);
    BitLevel.resize(size);
  }
  const uint16_t taps = PrbsFeedbackTaps(order);
  const uint16_t topBit = static_cast<uint16_t>(1u << (order - 1));
  uint16_t shiftRegister = 0xFFFF;
  for (int index = 0; index <= LastIndex; ++index) {
    Bits[index] = shiftRegister & 1u;
    const bool feedback = std::popcount(static_cast<uint16_t>(shiftRegister & taps)) & 1;
    shiftRegister >>= 1;
    shiftRegister = feedback ? (shiftRegister | topBit) : (shiftRegister & ~topBit);
  }
  Dirty = true;
}

void TPSP::Rebuild() {
  for (int k = 0; k <= LastIndex; ++k) {
    EdgeTime[k] = static_cast<float>(k);
    BitLevel[k] = Bits[k] ? 1.0f : 0.0f;
  }
  if (Nrz && DutyCycleDist != 0) {
    for (int k = 0; k <= LastIndex; ++k)
      if (Bits[k]) EdgeTime[Next(k)] += static_cast<float>(DutyCycleDist);
  }
  if (InterSymbol != 0) ApplyInterSymbol();
  BuildSubRateTable();
  if (Droop != 0) ApplyDroop();
  High = 1 + PosOvershot;
  RiseSettle = RiseTime * (1 + std::sqrt(std::abs(High - 1) / High));
  Low = -NegOvershot;
  FallSettle = FallTime * (1 + std::sqrt(std::abs(Low) / (1 - Low)));
  Dirty = false;
}

void TPSP::ApplyInterSymbol() {
  // Length of the run of equal bits ending at each index, counted backwards; bounded by
  // the pattern length so a constant pattern cannot loop.
  auto runEndingAt = [this](int end) {
    int length = 1;
    for (int i = Prev(end); length < PatternLength && Bits[i] == Bits[end]; i = Prev(i)) ++length;
    return length;
  };
  for (int k = 0; k <= LastIndex; ++k) {
    const int last = Prev(k);
    const int a = runEndingAt(last);
    int before = last;
    for (int n = 0; n < a; ++n) before = Prev(before);
    const int b = runEndingAt(before);
    EdgeTime[Next(k)] += static_cast<float>(InterSymbol * (a - b) / (Order - 1) / 2);
  }
}

void TPSP::ApplyDroop() {
  int start = 0;
  while (start < LastIndex && Bits[start]) ++start;
  double level = 1.0;
  int k = start;
  for (int n = 0; n < PatternLength; ++n, k = Next(k)) {
    if (!Bits[k]) {
      level = 1.0;
      continue;
    }
    level *= 1 - Droop;
    BitLevel[k] = static_cast<float>(level);
  }
}

void TPSP::BuildSubRateTable() {
  SubRateOn = SubRateJit != 0;
  if (!SubRateOn) return;
  SubRatePhase = 0;
  const double twoPi = 2 * std::numbers::pi;
  const double start = SubRateDiv == 2 ? 0.0 : twoPi / SubRateDiv / 4;
  for (int k = 0; k < SubRateDiv; ++k)
    SubRateTable[k] = std::cos(twoPi * k / SubRateDiv + start) * SubRateJit / 2;
}

double TPSP::EdgeAt(int i) const {
  double edge = EdgeTime[i];
  if (SubRateOn) edge += SubRateTable[(SubRatePhase + i) % SubRateDiv];
  return edge;
}

double TPSP::Value(double t) {
  if (Dirty) Rebuild();
  if (SubRateOn) SubRatePhase = (random_.UniformInt(3) * PatternStep + SubRatePhase) % SubRateDiv;
  if (SubRatePhase < 0) SubRatePhase += SubRateDiv;

  // Times a rounding step outside the pattern are brought back into it (NaN lands on
  // bit 0).
  if (t >= PatternLength || t < 0) t -= std::floor(t / PatternLength) * PatternLength;
  int i = t >= 0 && t < PatternLength ? static_cast<int>(t) : 0;
  if (EdgeAt(i) > t) {
    i = Prev(i);
    if (i == LastIndex) t += PatternLength;
  } else {
    const int next = Next(i);
    double nextEdge = EdgeAt(next);
    if (next == 0 && nextEdge < 0.5) nextEdge += PatternLength;
    if (t > nextEdge) {
      i = next;
      if (i == 0) t -= PatternLength;
    }
  }
  const double u = t - EdgeAt(i);
  double w = EdgeAt(Next(i)) - EdgeAt(i);
  if (i == LastIndex) w += PatternLength;
  return Nrz ? NrzValue(i, u, w) : RzValue(i, u);
}

double TPSP::NrzValue(int i, double u, double w) const {
  const int p = Prev(i);
  const double previous = BitLevel[p];
  const bool previousHigh = previous >= 0.01;
  if (Bits[i]) {
    if (previousHigh) return CosineSegment(u, 0, w, previous, BitLevel[i]);
    if (u < RiseTime) return CosineSegment(u, 0, RiseTime, 0, High);
    if (u < RiseSettle) return CosineSegment(u, RiseTime, RiseSettle, High, 1);
    return CosineSegment(u, RiseSettle, w, 1, BitLevel[i]);
  }
  if (!previousHigh) return 0;
  if (u < FallTime) return CosineSegment(u, 0, FallTime, previous, Low * previous);
  if (u < FallSettle) return CosineSegment(u, FallTime, FallSettle, Low * previous, 0);
  return 0;
}

double TPSP::RzValue(int i, double u) const {
  if (!Bits[i]) return 0;
  const double h = 0.5 + DutyCycleDist;
  const double top = 1 - Droop;
  if (u < RiseTime) return CosineSegment(u, 0, RiseTime, 0, High);
  if (u < RiseSettle) return CosineSegment(u, RiseTime, RiseSettle, High, 1);
  if (u < h) return CosineSegment(u, RiseSettle, h, 1, top);
  const double v = u - h;
  if (v < FallTime) return CosineSegment(v, 0, FallTime, top, Low * top);
  if (v < FallSettle) return CosineSegment(v, FallTime, FallSettle, Low * top, 0);
  return 0;
}

}  // namespace norv
