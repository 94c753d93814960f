#pragma once
// Arithmetic the layers share. Computed screen positions (which may be NaN, infinite or
// huge when a record carries odd values or a zero scale) become pixel indexes only
// through the clamped conversions: nothing outside the given range reaches an integer.

#include <cmath>
#include <cstdint>

#include "framework/util/numeric_utils.h"

namespace norv {

// Truncation towards zero, limited to Lo..Hi; NaN gives IfNaN.
inline int TruncClamped(double value, int lo, int hi, int ifNaN) {
  if (std::isnan(value)) return ifNaN;
  if (value <= lo) return lo;
  if (value >= hi) return hi;
  return static_cast<int>(value);
}

// RoundClamped for 0 <= Lo < Hi < 2^52, without a library call: within the range, adding
// and taking away 2^52 leaves the value rounded to an integer as nearbyint rounds it.
inline int RoundClampedNonNegative(double value, int lo, int hi, int ifNaN) {
  if (std::isnan(value)) return ifNaN;
  if (value <= lo) return lo;
  if (value >= hi) return hi;
  constexpr double kShift = 4503599627370496.0;  // 2^52
  return static_cast<int>((value + kShift) - kShift);
}

// A layer colour with its RGB divided by Divisor and its opacity byte kept: the dimmer
// colour of vector lines and of persisting cells.
inline uint32_t DimmedLayerColour(uint32_t colour, double divisor) {
  return DivideColor(colour & 0xFFFFFFu, divisor) | (colour & 0xFF000000u);
}

}  // namespace norv
