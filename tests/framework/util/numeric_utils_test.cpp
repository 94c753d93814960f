#include "framework/util/numeric_utils.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>

#include "framework/util/errors.h"

namespace norv {
namespace {

TEST(Decibels, ConversionsAndTheirFloor) {
  EXPECT_NEAR(DbToRatio(20), 10.0, 1e-6);
  EXPECT_NEAR(DbToRatio(-6), 0.501187, 1e-6);
  EXPECT_NEAR(DbToPowerRatio(10), 10.0, 1e-6);
  EXPECT_NEAR(RatioToDb(100), 40.0, 1e-6);
  EXPECT_NEAR(PowerRatioToDb(100), 20.0, 1e-6);
  for (const double ratio : {0.0, -1.0, 1e-201, double(NAN)}) EXPECT_EQ(RatioToDb(ratio), -4000) << ratio;
}

TEST(DivideColor, DividesEachByteRoundingHalfToEven) {
  // 0x20 / 1.7 = 18.82 -> 19; 0x41 / 1.7 = 38.2 -> 38; 0xFF / 1.7 = 150
  EXPECT_EQ(DivideColor(0x00FF4120, 1.7), (150u << 16) | (38u << 8) | 19u);
  // 5 / 2 = 2.5 -> 2 and 7 / 2 = 3.5 -> 4 (halves to even); the opacity byte is dropped
  EXPECT_EQ(DivideColor(0xFF070505, 2.0), 0x00040202u);
  EXPECT_EQ(DivideColor(0x00123456, 1.0), 0x00123456u);
  // Divisors below one, zero or NaN keep each byte in range.
  EXPECT_EQ(DivideColor(0x00808080, 0.5), 0x00FFFFFFu);
  EXPECT_EQ(DivideColor(0x00000080, 0.0), 0x000000FFu);  // 0 / 0 is NaN, 128 / 0 is infinite
  EXPECT_EQ(DivideColor(0x00FFFFFF, NAN), 0u);
}

TEST(RandomNormal, FollowsTheSeededSequence) {
  TRandomSource source(3);
  // First state: 3 * 1103515245 + 12345 = 3310558080 (mod 2^32) = 0xC5531B80;
  // bits 16..30 give 0x4553 = 17747, u = 0.541595 -> sign +, between P[0] and P[1]:
  // z = 0.2 * (1 - (0.57926 - 0.541595) / 0.07926) = 0.104958
  EXPECT_NEAR(source.Normal(0, 1), 0.2 * (1 - (0.57926 - 17747 / 32768.0) / 0.07926), 1e-12);
  EXPECT_EQ(source.Seed(), 3310558080u);

  // Next states 0x1BC3E5B9 (bits 16..30: 7107, u = 0.21689 < 0.5: sign -, u + 0.5 = 0.71689
  // between P[2] and P[3]) and 0x287D5DFE (10365, u + 0.5 = 0.81631 between P[4] and P[5]).
  EXPECT_NEAR(source.Normal(0, 1), -0.2 * (3 - (0.72575 - 0.716888427734375) / (0.72575 - 0.65542)), 1e-12);
  EXPECT_NEAR(source.Normal(10, 2), 10 - 2 * 0.2 * (5 - (0.84134 - 0.816314697265625) / (0.84134 - 0.78814)),
              1e-12);
  // The program-wide source starts from seed 3 and gives the same sequence.
  ProgramRandom().SetSeed(3);
  EXPECT_NEAR(RandomNormal(0, 1), 0.2 * (1 - (0.57926 - 17747 / 32768.0) / 0.07926), 1e-12);

  // Uniform draws come from the same generator: the first state over 2^32.
  TRandomSource s(3);
  EXPECT_EQ(s.Uniform(), 3310558080.0 / 4294967296.0);
  EXPECT_EQ(s.UniformInt(0), 0);
}

TEST(ContrastTextColor, BlackOnLightWhiteOnDark) {
  // Green weighs most: 0.66 * 200 = 132 > 128; red alone: 0.33 * 255 = 84 <= 128. Greys
  // weigh 1.1 times their level: 1.1 * 116 = 127.6, 1.1 * 117 = 128.7.
  const std::pair<uint32_t, uint32_t> cases[] = {{0x00FFFFFF, 0},        {0x00000000, 0xFFFFFF},
                                                 {0x0000C800, 0},        {0x000000FF, 0xFFFFFF},
                                                 {0x00747474, 0xFFFFFF}, {0x00757575, 0}};
  for (const auto& [colour, text] : cases) EXPECT_EQ(ContrastTextColor(colour), text) << std::hex << colour;
}

TEST(CorrectValueE12, ExamplesAndBands) {
  EXPECT_DOUBLE_EQ(CorrectValueE12(0, 2.25), 2.5);  // exactly between goes up
  EXPECT_DOUBLE_EQ(CorrectValueE12(1, 10), 10);
  EXPECT_DOUBLE_EQ(CorrectValueE12(1, 1.0), 1.2);

  for (const double tiny : {0.0, 1e-70, 5e-31}) EXPECT_EQ(CorrectValueE12(0, tiny), 0) << tiny;
  EXPECT_THROW(CorrectValueE12(0, 1e-40), EAssertion);
  // Outside the defined domain nothing hangs.
  EXPECT_DOUBLE_EQ(CorrectValueE12(0, -2.2), -2.0);
  EXPECT_TRUE(std::isinf(CorrectValueE12(0, INFINITY)));
  EXPECT_TRUE(std::isnan(CorrectValueE12(0, NAN)));
}

TEST(CorrectValueE12, AgreesWithALinearSearchOfTheSeries) {
  const double series[] = {1.0, 1.2, 1.5, 1.8, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0};
  TRandomSource random(21);
  for (int i = 0; i < 2000; ++i) {
    const double v = 1 + 9 * random.Uniform();
    double lower = 1, upper = 10;
    for (double t : series) {
      if (t < v) lower = t;
    }
    for (double t : series) {
      if (t > v) {
        upper = t;
        break;
      }
    }
    const double nearest = (lower + upper) / 2 > v ? lower : upper;
    const double scale = std::pow(10.0, random.UniformInt(11) - 5);
    ASSERT_NEAR(CorrectValueE12(-1, v * scale), lower * scale, 1e-9 * scale) << v;
    ASSERT_NEAR(CorrectValueE12(1, v * scale), upper * scale, 1e-9 * scale) << v;
    ASSERT_NEAR(CorrectValueE12(0, v * scale), nearest * scale, 1e-9 * scale) << v;
  }
}

TEST(BitLength, BinaryDigitsOfEachSign) {
  const std::pair<int32_t, int> cases[] = {
      {0, 1}, {1, 1}, {4, 3}, {255, 8}, {-1, 1}, {-256, 8}, {INT_MAX - 1, 31}, {INT_MAX, 32}, {INT_MIN, 32}};
  for (const auto& [v, bits] : cases) EXPECT_EQ(BitLength(v), bits) << v;
}

TEST(ParseNumberList, HexNumbersAndErrors) {
  std::array<int32_t, 4> v{};
  EXPECT_EQ(ParseNumberList("1A, ff 3", v), 3);
  EXPECT_EQ(v, (std::array<int32_t, 4>{26, 255, 3, 0}));

  v = {};
  EXPECT_EQ(ParseNumberList("12 G4", v), -1);
  EXPECT_EQ(v[0], 0x12);
  EXPECT_EQ(ParseNumberList("\t ,, ", v), 0);
  EXPECT_EQ(ParseNumberList("", v), 0);

  // Stops when the array is full; what follows is not read.
  EXPECT_EQ(ParseNumberList("1 2 3 4 5 zz", v), 4);
  EXPECT_EQ(v[3], 4);
  EXPECT_EQ(ParseNumberList("7", std::span<int32_t>()), 0);

  // 32-bit patterns are kept; anything longer is refused instead of wrapping.
  EXPECT_EQ(ParseNumberList("FFFFFFFF 00000000000000000001", v), 2);
  EXPECT_EQ(v, (std::array<int32_t, 4>{-1, 1, 3, 4}));
  EXPECT_EQ(ParseNumberList("5 100000000", v), -1);
  EXPECT_EQ(ParseNumberList("3 " + std::string(100000, 'F'), v), -1);
}

TEST(TextHelpers, FixedCharsAndRemovals) {
  std::array<char, 5> dest;
  dest.fill('x');
  StrToFixedChars(dest, "ab");
  EXPECT_EQ(std::string(dest.data(), dest.size()), std::string("ab\0\0\0", 5));
  StrToFixedChars(dest, "abcdefgh");
  EXPECT_EQ(std::string(dest.data(), dest.size()), "abcde");  // full width, no terminator

  for (const auto& [text, left] :
       {std::pair{"Rise (10-90%) time", "Rise  time"}, {"a) b (c", "a) b (c"}, {"(x)(y)", "(y)"}})
    EXPECT_EQ(RemoveParenthesized(text), left) << text;
  EXPECT_EQ(RemoveBlanks(" a b  c "), "abc");
}

}  // namespace
}  // namespace norv
