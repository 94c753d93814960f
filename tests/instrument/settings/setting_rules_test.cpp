#include "instrument/settings/setting_rules.h"

#include <gtest/gtest.h>


namespace norv::test {
namespace {

// The time-base maxima are the time-base nodes' test.
TEST(SettingRulesTest, HoldoffLimitsByModelAndFirmware) {
  EXPECT_EQ(HoldoffMaximum(false, false), 1.0);
  EXPECT_EQ(HoldoffMaximum(true, false), 0.03072);
  EXPECT_EQ(HoldoffMaximum(true, true), 1.0);
  // The long minimum hold-off only for old firmware fitted to single-valued signals.
  EXPECT_EQ(MinimumHoldoff(true, true), 5e-5);
  EXPECT_EQ(MinimumHoldoff(false, true), 5e-6);
  EXPECT_EQ(MinimumHoldoff(true, false), 5e-6);
}

// The window marks are the time-base nodes' test.
TEST(SettingRulesTest, DelayLimits) {
  EXPECT_DOUBLE_EQ(DelayMaximum(1e-8, 2e-8), 0.0);  // never negative
  EXPECT_DOUBLE_EQ(TimeBaseResolution(1e-8), 1e-11);
}

// Following the time base is the trigger nodes' test; here the edges of the 1 % band.
TEST(SettingRulesTest, HoldoffFollowsWithinOnePercentOfADivision) {
  EXPECT_DOUBLE_EQ(HoldoffLimit(1e-7, 5e-6), 5e-6);  // never below the minimum
  EXPECT_TRUE(HoldoffFollowsAfterEdit(1.5e-5 + 0.009e-6, 1e-6));
  EXPECT_FALSE(HoldoffFollowsAfterEdit(1.5e-5 + 0.011e-6, 1e-6));
  EXPECT_TRUE(HoldoffFollowsExactly(1.5e-5, 1e-6));
  EXPECT_FALSE(HoldoffFollowsExactly(1.5e-5 + 1e-12, 1e-6));
}

TEST(SettingRulesTest, PatternDelayLimitsAndLengthCommand) {
  EXPECT_EQ(PatternDelayLimits(100, 1, 3).MaxDelay, 33);
  EXPECT_FALSE(PatternDelayLimits(100, 1, 3).IsPrbs);
  EXPECT_EQ(PatternDelayLimits(100, 2, 2).Divider, 4);
  EXPECT_TRUE(PatternDelayLimits(32767, 1, 1).IsPrbs);
  EXPECT_FALSE(PatternDelayLimits(65535, 1, 1).IsPrbs);
  // A short pattern: the maximum is held seven bits inside one period.
  EXPECT_EQ(PatternDelayLimits(10, 1, 1).MaxDelay, 3);
  EXPECT_EQ(PatternDelayLimits(7, 1, 1).MaxDelay, 6);
}

TEST(SettingRulesTest, PrbsDelayConversion) {
  // Non-PRBS patterns take the start bit as it is.
  EXPECT_EQ(PatternDelayToInstrument(33, 100, 3, false), 33);
  // 2^7 - 1 at divider 1: 128 d mod 127 = d.
  EXPECT_EQ(PatternDelayToInstrument(5, 127, 1, true), 5);
  // Divider 4: 32 d mod 127; d = 4 gives 128 mod 127 = 1 (d = 3 is the nodes' test).
  EXPECT_EQ(PatternDelayToInstrument(4, 127, 4, true), 1);
  // Divider larger than the period: 7-bit pattern, divider 32 = 4 periods of 8 clocks.
  // d = 5: extra (5 mod 4) x 7 = 7, (12 x 8 / 32) = 3.
  EXPECT_EQ(PatternDelayToInstrument(5, 7, 32, true), 3);
}

TEST(SettingRulesTest, EyeLineScanWrapsAtTheScanWidth) {
  EXPECT_EQ(NextScanDelay(10, 10, 3), 11);
  EXPECT_EQ(NextScanDelay(11, 10, 3), 12);
  EXPECT_EQ(NextScanDelay(12, 10, 3), 10);
  EXPECT_EQ(NextScanDelay(10, 10, 1), 10);
}

TEST(SettingRulesTest, PatternClockDividers) {
  EXPECT_EQ(PatternPrescaler(2.5e8, 8), 1);
  EXPECT_EQ(PatternPrescaler(2.51e8, 8), 2);
  EXPECT_EQ(PatternPrescaler(1.0e9, 8), 4);
  EXPECT_EQ(PatternPrescaler(1.004e9, 8), 8);
  EXPECT_EQ(PatternPrescaler(1.004e9, 1), 1);
  EXPECT_EQ(TriggerSourceFactor(0), 1);
  EXPECT_EQ(TriggerSourceFactor(1), 32);
  EXPECT_EQ(TriggerSourceFactor(2), 1);
  EXPECT_EQ(TriggerSourceFactor(3), 4);
}

// dB 20, the sets Ch1 and Ch2, and the envelope counts are the nodes' tests.
TEST(SettingRulesTest, AttenuationAndAcquisitionCounts) {
  EXPECT_DOUBLE_EQ(AttenuationFactor(0, 10.0, 20.0), 1.0);
  EXPECT_DOUBLE_EQ(AttenuationFactor(1, 10.0, 20.0), 10.0);
  EXPECT_NEAR(AttenuationFactor(2, 1.0, -80.0), 1e-4, 1e-10);
  EXPECT_EQ(AcquiredSetCode(true, true), 4);
  EXPECT_EQ(AcquisitionCount(TAcqMode::AvgMult, 64, 100), 1);  // averaged by the instrument
  EXPECT_EQ(AcquisitionCount(TAcqMode::EnvMin, 64, -1), EndlessEnvelope);
}

TEST(SettingRulesTest, SamplerCalibrationCurveText) {
  const auto curve = ParseSamplerCalCurve("3 0 FFFF 1A");
  ASSERT_TRUE(curve);
  EXPECT_EQ(*curve, (std::vector<uint16_t>{0, 0xFFFF, 0x1A}));
  EXPECT_EQ(FormatSamplerCalCurve(*curve), "3 0 FFFF 1A");
  EXPECT_FALSE(ParseSamplerCalCurve("1 5"));          // count below 2
  EXPECT_FALSE(ParseSamplerCalCurve("2 5"));          // too few values
  EXPECT_FALSE(ParseSamplerCalCurve("2 5 6 7"));      // too many
  EXPECT_FALSE(ParseSamplerCalCurve("2 5 10000"));    // value above FFFF
  EXPECT_FALSE(ParseSamplerCalCurve("2 5 1g"));       // not hexadecimal
  EXPECT_FALSE(ParseSamplerCalCurve("41 1 2"));       // count 65
  EXPECT_FALSE(ParseSamplerCalCurve(""));
}

}  // namespace
}  // namespace norv::test
