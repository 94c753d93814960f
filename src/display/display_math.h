#pragma once
// Conversions from computed screen positions (which may be NaN, infinite or huge when a
// record carries odd values or a zero scale) to pixel indexes. Nothing outside the given
// range ever reaches an integer conversion.

#include <cmath>

namespace norv {

// Round to nearest, ties to even, limited to Lo..Hi; NaN gives IfNaN.
inline int RoundClamped(double value, int lo, int hi, int ifNaN) {
  if (std::isnan(value)) return ifNaN;
  if (value <= lo) return lo;
  if (value >= hi) return hi;
  return static_cast<int>(std::nearbyint(value));
}

// Truncation towards zero, limited to Lo..Hi; NaN gives IfNaN.
inline int TruncClamped(double value, int lo, int hi, int ifNaN) {
  if (std::isnan(value)) return ifNaN;
  if (value <= lo) return lo;
  if (value >= hi) return hi;
  return static_cast<int>(value);
}

}  // namespace norv
