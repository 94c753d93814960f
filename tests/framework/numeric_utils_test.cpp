#include "framework/numeric_utils.h"

#include <gtest/gtest.h>

#include <cmath>

namespace norv {
namespace {

TEST(Decibels, ConversionsAndTheirFloor) {
  EXPECT_NEAR(DbToRatio(20), 10.0, 1e-6);
  EXPECT_NEAR(DbToRatio(-6), 0.501187, 1e-6);
  EXPECT_NEAR(DbToPowerRatio(10), 10.0, 1e-6);
  EXPECT_NEAR(RatioToDb(100), 40.0, 1e-6);
  EXPECT_NEAR(PowerRatioToDb(100), 20.0, 1e-6);
  EXPECT_EQ(RatioToDb(0), -4000);
  EXPECT_EQ(RatioToDb(-1), -4000);
  EXPECT_EQ(RatioToDb(1e-201), -4000);
  EXPECT_EQ(RatioToDb(NAN), -4000);
}

TEST(DivideColor, DividesEachByteRoundingHalfToEven) {
  // 0x20 / 1.7 = 18.82 -> 19; 0x41 / 1.7 = 38.2 -> 38; 0xFF / 1.7 = 150
  EXPECT_EQ(DivideColor(0x00FF4120, 1.7), (150u << 16) | (38u << 8) | 19u);
  // 5 / 2 = 2.5 -> 2 and 7 / 2 = 3.5 -> 4 (halves to even); the opacity byte is dropped
  EXPECT_EQ(DivideColor(0xFF070505, 2.0), 0x00040202u);
  EXPECT_EQ(DivideColor(0x00123456, 1.0), 0x00123456u);
}

TEST(RandomNormal, FollowsTheSeededSequence) {
  TRandomSource source(3);
  // First state: 3 * 1103515245 + 12345 = 3310558080 (mod 2^32) = 0xC5532D80;
  // bits 16..30 give 0x4553 = 17747, u = 0.541595 -> sign +, between P[0] and P[1]:
  // z = 0.2 * (1 - (0.57926 - 0.541595) / 0.07926) = 0.104958
  EXPECT_NEAR(source.Normal(0, 1), 0.2 * (1 - (0.57926 - 17747 / 32768.0) / 0.07926), 1e-12);
  EXPECT_EQ(source.Seed(), 3310558080u);

  TRandomSource a(77), b(77);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(a.Normal(1, 2), b.Normal(1, 2));

  // The distribution is standard normal within the table's resolution.
  TRandomSource s(12345);
  double sum = 0, sum2 = 0;
  const int n = 200000;
  for (int i = 0; i < n; ++i) {
    const double z = s.Normal(0, 1);
    ASSERT_LE(std::abs(z), 4.0);
    sum += z;
    sum2 += z * z;
  }
  EXPECT_NEAR(sum / n, 0, 0.02);
  EXPECT_NEAR(std::sqrt(sum2 / n), 1, 0.02);
}

TEST(RandomSource, UniformDrawsStayInRange) {
  TRandomSource s(1);
  for (int i = 0; i < 1000; ++i) {
    const double u = s.Uniform();
    ASSERT_GE(u, 0);
    ASSERT_LT(u, 1);
    const int k = s.UniformInt(3);
    ASSERT_GE(k, 0);
    ASSERT_LE(k, 2);
  }
  EXPECT_EQ(s.UniformInt(0), 0);
}

}  // namespace
}  // namespace norv
