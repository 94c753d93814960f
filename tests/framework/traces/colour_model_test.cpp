#include "framework/traces/colour_model.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "framework/util/numeric_utils.h"

namespace norv {
namespace {

uint32_t Rgb(int r, int g, int b) { return uint32_t(b) << 16 | uint32_t(g) << 8 | uint32_t(r); }

TEST(ColourModel, PrimaryAndMixedHues) {
  // The last is orange, between red and yellow.
  const std::pair<uint32_t, double> cases[] = {{Rgb(255, 0, 0), 240},
                                               {Rgb(255, 255, 0), 40},
                                               {Rgb(0, 255, 0), 80},
                                               {Rgb(0, 255, 255), 120},
                                               {Rgb(0, 0, 255), 160},
                                               {Rgb(255, 0, 255), 200},
                                               {Rgb(255, 128, 0), 40 - 127.0 / 255 * 40}};
  for (const auto& [colour, hue] : cases) {
    const THLS hls = ColorToHLS(colour);
    EXPECT_NEAR(hls.H, hue, 1e-9) << std::hex << colour;
    EXPECT_NEAR(hls.L, 120, 1e-9);
    EXPECT_NEAR(hls.S, 240, 1e-9);
  }
  // Greys have no hue or saturation; their lightness is the level on the 240 scale.
  for (int level : {0, 64, 128, 255}) {
    const THLS hls = ColorToHLS(Rgb(level, level, level));
    EXPECT_EQ(hls.H, 160);
    EXPECT_NEAR(hls.S, 0, 0.01);
    EXPECT_NEAR(hls.L, level * 240.0 / 255, 1e-9);
  }
  // A dark, half-saturated blue: min 32, max 96 -> L = 64 * 240 / 255, S = 64 / 128 * 240.
  const THLS blue = ColorToHLS(Rgb(32, 32, 96));
  EXPECT_NEAR(blue.L, 64 * 240.0 / 255, 1e-9);
  EXPECT_NEAR(blue.S, 120, 1e-9);
  EXPECT_NEAR(blue.H, 160, 1e-9);
}

TEST(ColourModel, OpacityByteIsIgnored) {
  const THLS plain = ColorToHLS(Rgb(10, 200, 90));
  const THLS withOpacity = ColorToHLS(0x32000000 | Rgb(10, 200, 90));
  EXPECT_EQ(plain.H, withOpacity.H);
  EXPECT_EQ(plain.L, withOpacity.L);
  EXPECT_EQ(plain.S, withOpacity.S);
  // Pure red (with an opacity byte) at a quarter lightness is a half-intensity red; full
  // lightness is white; three quarters lightness of cyan brings each part halfway to white.
  EXPECT_EQ(AdjustColorHLS(0x16000000 | Rgb(255, 0, 0), 60), Rgb(128, 0, 0));
  EXPECT_EQ(AdjustColorHLS(Rgb(255, 0, 0), 240), Rgb(255, 255, 255));
  EXPECT_EQ(AdjustColorHLS(Rgb(0, 255, 255), 180), Rgb(128, 255, 255));
}

TEST(ColourModel, RoundTripGivesTheColourBack) {
  TRandomSource random(4);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t color = random.Next() & 0xFFFFFF;
    const uint32_t back = HLSToColor(ColorToHLS(color));
    for (int shift = 0; shift <= 16; shift += 8) {
      const int a = (color >> shift) & 0xFF, b = (back >> shift) & 0xFF;
      ASSERT_LE(std::abs(a - b), 1) << std::hex << color << " -> " << back;
    }
  }
}

}  // namespace
}  // namespace norv
