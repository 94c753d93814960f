#pragma once
// Arithmetic the layers share. Computed screen positions (which may be NaN, infinite or
// huge when a record carries odd values or a zero scale) become pixel indexes only
// through the clamped conversions: nothing outside the given range reaches an integer.

#include <array>
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
// Persisting cells are the layer colour divided by this.
inline constexpr double kPersistFadeDivisor = 1.4;

// Colour grades 1..5 (entry 0 unused): the largest value of each grade when the busiest
// cell holds Top. Each grade below the top ends at half the next one; tops under 16 use a
// smaller ratio (and under 7 plain steps) so that every grade keeps a value.
using TGradeThresholds = std::array<uint32_t, 6>;
inline TGradeThresholds GradeThresholds(uint32_t top) {
  TGradeThresholds t{};
  t[5] = top;
  if (top >= 7) {
    const double ratio = top >= 16 ? 2.0 : std::pow(static_cast<double>(top), 0.25);
    double value = top;
    for (int g = 4; g >= 1; --g) {
      value /= ratio;
      t[g] = static_cast<uint32_t>(std::nearbyint(value));
    }
  } else {
    uint32_t value = top;
    for (int g = 4; g >= 1; --g) {
      value = value == 6 ? 4 : (value > 0 ? value - 1 : 0);
      t[g] = value;
    }
  }
  return t;
}
// The smallest grade whose threshold is at least Value (5 beyond all).
inline int GradeOfValue(const TGradeThresholds& t, uint32_t value) {
  for (int g = 1; g < 5; ++g)
    if (value <= t[g]) return g;
  return 5;
}

}  // namespace norv
