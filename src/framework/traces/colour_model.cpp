#include "framework/traces/colour_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace norv {

namespace {

// Components in the order red, green, blue.
using TRGB = std::array<double, 3>;
enum { kRed, kGreen, kBlue };

TRGB Components(uint32_t color) {
  return {static_cast<double>(color & 0xFF), static_cast<double>((color >> 8) & 0xFF),
          static_cast<double>((color >> 16) & 0xFF)};
}

// A component brought to full lightness (lightness 120), from which the saturation is read.
double AtFullLightness(double c, double l) {
  if (l < 0.1) return 0;
  if (l < 120) return c / (l / 120);
  if (l <= 239.9) return 255 - (255 - c) / ((240 - l) / 120);
  return (c - 0.01) / 2;
}

// The largest of the given components; on a tie blue wins over green over red.
int LargestOf(const TRGB& rgb, std::initializer_list<int> candidates) {
  int best = -1;
  for (int index : {kBlue, kGreen, kRed}) {
    if (std::find(candidates.begin(), candidates.end(), index) == candidates.end()) continue;
    if (best < 0 || rgb[index] > rgb[best]) best = index;
  }
  return best;
}

double Hue(TRGB rgb) {
  const double lowest = std::nearbyint(*std::min_element(rgb.begin(), rgb.end()));
  for (double& c : rgb) c -= lowest;
  const double range = std::nearbyint(*std::max_element(rgb.begin(), rgb.end()));
  if (range == 0) return 160;
  const int largest = LargestOf(rgb, {kRed, kGreen, kBlue});
  const int middle = largest == kRed     ? LargestOf(rgb, {kGreen, kBlue})
                     : largest == kGreen ? LargestOf(rgb, {kRed, kBlue})
                                         : LargestOf(rgb, {kRed, kGreen});
  const double delta = (range - rgb[middle]) / range * 40;
  // The two strongest components name the sector of 80 around a mixed colour (yellow 40,
  // cyan 120, magenta 200); the hue lies below the centre when the stronger one is the
  // sector's first primary (red 0, green 80, blue 160).
  struct TSector {
    double base;
    int firstPrimary;
  };
  const int weakest = kRed + kGreen + kBlue - largest - middle;
  const TSector sector = weakest == kBlue  ? TSector{40, kRed}
                         : weakest == kRed ? TSector{120, kGreen}
                                           : TSector{200, kBlue};
  return largest == sector.firstPrimary ? sector.base - delta : sector.base + delta;
}

uint8_t ToByte(double c) { return static_cast<uint8_t>(std::clamp(std::nearbyint(c), 0.0, 255.0)); }

}  // namespace

THLS ColorToHLS(uint32_t color) {
  const TRGB rgb = Components(color);
  const auto [lo, hi] = std::minmax_element(rgb.begin(), rgb.end());
  THLS hls;
  hls.L = (*lo + *hi) / 2 * 240 / 255;
  TRGB full;
  for (int i = 0; i < 3; ++i) full[i] = AtFullLightness(rgb[i], hls.L);
  const auto [fullLo, fullHi] = std::minmax_element(full.begin(), full.end());
  hls.S = (*fullHi - *fullLo) * 240 / 255;
  hls.H = Hue(rgb);
  return hls;
}

uint32_t HLSToColor(const THLS& hls) {
  // Pure hue: the sector's two primaries, the third off.
  int first = kRed, second = kGreen;
  double base = 40;
  if (hls.H >= 160) {
    first = kBlue, second = kRed, base = 200;
  } else if (hls.H >= 80) {
    first = kGreen, second = kBlue, base = 120;
  }
  const double d = hls.H - base;
  const double f = (40 - std::abs(d)) / 40;
  TRGB rgb{0, 0, 0};
  rgb[first] = d >= 0 ? 255 * f : 255;
  rgb[second] = d >= 0 ? 255 : 255 * f;

  const double saturation = hls.S / 240;
  for (double& c : rgb) c = (c - 127.5) * saturation + 127.5;
  if (hls.L < 120) {
    for (double& c : rgb) c *= hls.L / 120;
  } else {
    for (double& c : rgb) c = 255 - (255 - c) * ((240 - hls.L) / 120);
  }
  return uint32_t{ToByte(rgb[kBlue])} << 16 | uint32_t{ToByte(rgb[kGreen])} << 8 | ToByte(rgb[kRed]);
}

uint32_t AdjustColorHLS(uint32_t color, double l) {
  THLS hls = ColorToHLS(color);
  hls.L = l;
  return HLSToColor(hls);
}

}  // namespace norv
