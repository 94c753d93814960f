#pragma once
// Colours in hue, lightness and saturation, each on a 0..240 scale. Colours are 0x00BBGGRR;
// the top (opacity) byte is ignored.

#include <cstdint>

namespace norv {

struct THLS {
  double H = 0;  // red 0 or 240, yellow 40, green 80, cyan 120, blue 160, magenta 200
  double L = 0;  // 0 black .. 240 white
  double S = 0;  // 0 grey .. 240 full colour
};

// Grey (including black and white) has hue 160 and saturation 0.
THLS ColorToHLS(uint32_t color);
uint32_t HLSToColor(const THLS& hls);
// The colour with the same hue and saturation and the lightness l.
uint32_t AdjustColorHLS(uint32_t color, double l);

}  // namespace norv
