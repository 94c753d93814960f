#include "instrument/settings/setting_rules.h"

#include <gtest/gtest.h>

namespace norv::test {
namespace {

// What the node tests do not reach: no negative delay room, the edges of the hold-off's
// 1 % band, short and PRBS patterns, counts of the averaged and endless modes.
TEST(SettingRulesTest, EdgesTheNodesDoNotReach) {
  EXPECT_DOUBLE_EQ(DelayMaximum(1e-8, 2e-8), 0.0);
  EXPECT_DOUBLE_EQ(HoldoffLimit(1e-7, 5e-6), 5e-6);  // never below the minimum
  EXPECT_TRUE(HoldoffFollowsAfterEdit(1.5e-5 + 0.009e-6, 1e-6));
  EXPECT_FALSE(HoldoffFollowsAfterEdit(1.5e-5 + 0.011e-6, 1e-6));
  EXPECT_TRUE(HoldoffFollowsExactly(1.5e-5, 1e-6));
  EXPECT_FALSE(HoldoffFollowsExactly(1.5e-5 + 1e-12, 1e-6));
  EXPECT_EQ(AcquisitionCount(TAcqMode::AvgMult, 64, 100), 1);  // averaged by the instrument
  EXPECT_EQ(AcquisitionCount(TAcqMode::EnvMin, 64, -1), EndlessEnvelope);
}

TEST(SettingRulesTest, PatternDelayLimitsAndPrbsConversion) {
  // A short pattern (10) holds the maximum seven bits inside one period.
  const struct {
    int32_t Length, Divider, MaxDelay;
    bool IsPrbs;
  } limits[] = {{100, 3, 33, false},
                {32767, 1, 32766, true},
                {65535, 1, 65528, false},
                {10, 1, 3, false},
                {7, 1, 6, true}};
  for (const auto& c : limits) {
    const TPatternLimits l = PatternDelayLimits(c.Length, 1, c.Divider);
    EXPECT_EQ(l.MaxDelay, c.MaxDelay) << c.Length;
    EXPECT_EQ(l.IsPrbs, c.IsPrbs) << c.Length;
  }
  // The divided PRBS start bit is d (L + 1) / divider mod L (d = 3 at divider 4 is the
  // nodes' test); a divider of several periods first adds (d mod periods) x L.
  EXPECT_EQ(PatternDelayToInstrument(33, 100, 3, false), 33);
  EXPECT_EQ(PatternDelayToInstrument(5, 127, 1, true), 5);
  EXPECT_EQ(PatternDelayToInstrument(4, 127, 4, true), 1);
  EXPECT_EQ(PatternDelayToInstrument(5, 7, 32, true), 3);  // (5 + 7) x 8 / 32 mod 7
}

TEST(SettingRulesTest, SamplerCalibrationCurveText) {
  const auto curve = ParseSamplerCalCurve("3 0 FFFF 1A");
  ASSERT_TRUE(curve);
  EXPECT_EQ(*curve, (std::vector<uint16_t>{0, 0xFFFF, 0x1A}));
  EXPECT_EQ(FormatSamplerCalCurve(*curve), "3 0 FFFF 1A");
  // Count below 2, too few or too many values, above FFFF, not hexadecimal, count 65.
  for (const char* bad : {"1 5", "2 5", "2 5 6 7", "2 5 10000", "2 5 1g", "41 1 2", ""})
    EXPECT_FALSE(ParseSamplerCalCurve(bad)) << bad;
}

}  // namespace
}  // namespace norv::test
