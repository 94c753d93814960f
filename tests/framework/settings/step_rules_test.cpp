// Rounding and stepping rules of numeric settings on their sequences, and their sound
// handling of zero, negative, tiny and huge values.

#include "framework/settings/step_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace norv {
namespace {

constexpr double kT = 1e-15;

// Steps `count` times from `start` and gives every value reached.
std::vector<double> Walk(TStepRule rule, double step, double start, bool up, int count, double fineStep = 0) {
  std::vector<double> values{start};
  for (int i = 0; i < count; ++i)
    values.push_back(StepByRule(rule, step, values.back(), up, kT, fineStep, rule == sr1_2_5OnFineGrid));
  return values;
}

struct Case {
  double in, out;
};

TEST(RoundingHelpers, OneTwoFiveMapsEachDecade) {
  // 1.5..3.5 -> 2, 3.5..7 -> 5, 7..15 -> 10 within each decade.
  const Case oneTwoFive[] = {{1, 1},   {1.4, 1},       {1.6, 2},        {3.4, 2},    {3.6, 5},
                             {6.9, 5}, {7.1, 10},      {14, 10},        {16, 20},    {34, 20},
                             {36, 50}, {0.003, 0.002}, {0.0068, 0.005}, {720, 1000}, {1e9, 1e9}};
  for (const Case c : oneTwoFive) EXPECT_DOUBLE_EQ(CorrectNewVal1_2_5(c.in), c.out) << c.in;
  // Exactly the double a user would type.
  EXPECT_EQ(CorrectNewVal1_2_5(4.2e-9), 5e-9);
  EXPECT_EQ(CorrectNewVal1_2_5(2.1e-11), 2e-11);
  // Zero, negative and tiny values give 0 and never raise.
  for (double v : {0.0, -3.0, -1e-40, 1e-40, 5e-33, 1e-31}) EXPECT_EQ(CorrectNewVal1_2_5(v), 0.0) << v;
}

TEST(RoundingHelpers, PowerOfTwoPicksTheNearestPower) {
  const Case powers[] = {{1, 1},      {2, 2},       {5, 4},         {6, 4},      {6.1, 8},
                         {0.3, 0.25}, {1000, 1024}, {65535, 65536}, {0.74, 0.5}, {1.6, 2}};
  for (const Case c : powers) EXPECT_EQ(CorrectNewValPow2(c.in), c.out) << c.in;
  for (double v : {0.0, -4.0, 1e-33}) EXPECT_EQ(CorrectNewValPow2(v), 0.0) << v;
}

TEST(RoundingHelpers, DbSequenceKeepsTheSign) {
  // The sequence 0, 6, 10, 15, 20, 26, ... walked as written: 20 off at a time while at
  // least 23, then the band of the rest.
  auto walked = [](double v) {
    double a = std::fabs(v), k = 0;
    for (; a >= 23; ++k) a -= 20;
    const double r = a < 3 ? 0 : a < 8 ? 6 : a < 13 ? 10 : a < 18 ? 15 : 20;
    return std::copysign(r + 20 * k, v);
  };
  for (double v = -500; v <= 500; v += 0.125) ASSERT_EQ(CorrectNewValDb(v), walked(v)) << v;
  // Across the whole double range (where the walk would take forever, and where 20 less
  // is the same double): an answer at once, sign kept, never more than 3 dB away (plus
  // the rounding of the value itself) and never decreasing.
  double previous = 0;
  for (int e = -1074; e <= 1023; ++e) {
    for (const double mantissa : {1.0, 1.3, 1.7, 1.9999}) {
      const double v = std::ldexp(mantissa, e);
      const double r = CorrectNewValDb(v);
      const double ulp = std::nextafter(v, HUGE_VAL) - v;
      ASSERT_TRUE(std::isfinite(r)) << v;
      ASSERT_LE(std::fabs(r - v), 3 + 2 * ulp) << v;
      ASSERT_GE(r, previous) << v;
      ASSERT_EQ(CorrectNewValDb(-v), -r) << v;
      previous = r;
    }
  }
}

TEST(RoundingHelpers, StepMultiplesRoundHalvesToEven) {
  EXPECT_DOUBLE_EQ(CorrectNewValStep(0.5, 1.26), 1.5);
  EXPECT_EQ(CorrectNewValStep(1, 2.5), 2);
  EXPECT_EQ(CorrectNewValStep(1, 3.5), 4);
  EXPECT_EQ(CorrectNewValStep(1, -2.5), -2);
  // A step of about zero, or a ratio beyond 32 bits, leaves the value.
  EXPECT_EQ(CorrectNewValStep(1e-31, 1.26), 1.26);
  EXPECT_EQ(CorrectNewValStep(1e-3, 1e7), 1e7);
}

TEST(StepRules, SequencesUpAndDown) {
  EXPECT_EQ(Walk(sr1_2_5, 0, 1, true, 6), (std::vector<double>{1, 2, 5, 10, 20, 50, 100}));
  EXPECT_EQ(Walk(sr1_2_5, 0, 100, false, 6), (std::vector<double>{100, 50, 20, 10, 5, 2, 1}));
  // Between sequence values a step lands on the next one in its direction.
  EXPECT_EQ(StepByRule(sr1_2_5, 0, 3, true, kT, 0, false), 5);
  EXPECT_EQ(StepByRule(sr1_2_5, 0, 3, false, kT, 0, false), 2);

  EXPECT_EQ(Walk(srPowerOfTwo, 0, 32, true, 2, 1), (std::vector<double>{32, 64, 128}));
  EXPECT_EQ(Walk(srPowerOfTwo, 0, 32, false, 5, 1), (std::vector<double>{32, 16, 8, 4, 2, 1}));
  // Below the fine step the power-of-two rule moves linearly by it.
  EXPECT_EQ(StepByRule(srPowerOfTwo, 0, 1, false, kT, 1, false), 0);
  EXPECT_EQ(StepByRule(srPowerOfTwo, 0, 0, true, kT, 1, false), 1);

  EXPECT_EQ(Walk(srDb, 0, 0, true, 9), (std::vector<double>{0, 6, 10, 15, 20, 26, 30, 35, 40, 46}));
  EXPECT_EQ(Walk(srDb, 0, 26, false, 6), (std::vector<double>{26, 20, 15, 10, 6, 0, -6}));

  EXPECT_EQ(Walk(srDoubling, 0, 3, true, 2), (std::vector<double>{3, 6, 12}));
  EXPECT_EQ(Walk(srDoubling, 0, 3, false, 2), (std::vector<double>{3, 1.5, 0.75}));

  // 1-2-5 kept on a fine grid of 1: down to the grid's smallest step, never to zero.
  EXPECT_EQ(Walk(sr1_2_5OnFineGrid, 0, 1, true, 3, 1), (std::vector<double>{1, 2, 5, 10}));
  EXPECT_EQ(Walk(sr1_2_5OnFineGrid, 0, 10, false, 3, 1), (std::vector<double>{10, 5, 2, 1}));
  EXPECT_EQ(StepByRule(sr1_2_5OnFineGrid, 0, 1, false, 0.5, 1, true), 0.5);
}

TEST(StepRules, FixedStepsOnAndOffTheGrid) {
  // Quantised: from off the grid to the next grid point, from on it one step further.
  EXPECT_DOUBLE_EQ(StepByRule(srQuantised, 0.5, 1.2, true, kT, 0, false), 1.5);
  EXPECT_DOUBLE_EQ(StepByRule(srQuantised, 0.5, 1.2, false, kT, 0, false), 1.0);
  EXPECT_DOUBLE_EQ(StepByRule(srQuantised, 0.5, 1.0, true, kT, 0, false), 1.5);
  EXPECT_DOUBLE_EQ(StepByRule(srQuantised, 0.5, 1.0, false, kT, 0, false), 0.5);
  EXPECT_DOUBLE_EQ(StepByRule(srQuantised, 0.5, -1.0, false, kT, 0, false), -1.5);
  // Linear keeps the offset.
  EXPECT_DOUBLE_EQ(StepByRule(srLinear, 0.5, 1.2, true, kT, 0, false), 1.7);
  EXPECT_DOUBLE_EQ(StepByRule(srLinear, 0.5, 1.2, false, kT, 0, false), 0.7);
  // No rule: no step.
  EXPECT_EQ(StepByRule(srNone, 0.5, 1.2, true, kT, 0, false), 1.2);
}

TEST(StepRules, RelativeStepIsAOneTwoFiveFractionOfTheValue) {
  // 0.1 % of 10 ns is 10 ps: 10 ns -> 10.01 ns -> 10.02 ns.
  const double up1 = StepByRule(srRelative, 0.001, 10e-9, true, kT, 0, false);
  EXPECT_NEAR(up1, 10.01e-9, 1e-20);
  EXPECT_NEAR(StepByRule(srRelative, 0.001, up1, true, kT, 0, false), 10.02e-9, 1e-20);
  EXPECT_NEAR(StepByRule(srRelative, 0.001, 10e-9, false, kT, 0, false), 9.995e-9, 1e-20);
  // Off the grid the step lands on it: 10.0123 ns with a 10 ps grid goes to 10.02 and 10.01.
  EXPECT_NEAR(StepByRule(srRelative, 0.001, 10.0123e-9, true, kT, 0, false), 10.02e-9, 1e-20);
  EXPECT_NEAR(StepByRule(srRelative, 0.001, 10.0123e-9, false, kT, 0, false), 10.01e-9, 1e-20);
  // At zero the step is twice the resolution.
  EXPECT_NEAR(StepByRule(srRelative, 0.001, 0, true, kT, 0, false), 2 * kT, 1e-30);
}

TEST(StepRules, ZeroNegativeTinyAndHugeValuesNeverHang) {
  const std::vector<TStepRule> rules{srQuantised,  srLinear,   srRelative, sr1_2_5,
                                     srPowerOfTwo, srDoubling, srDb,       sr1_2_5OnFineGrid};
  for (TStepRule rule : rules)
    for (double v : {-5.0, 0.0, 1e-40, 1e-31, -1e-40, 1e300, -1e300})
      for (bool up : {true, false})
        EXPECT_NO_THROW(StepByRule(rule, 0.1, v, up, kT, 1, false)) << int(rule) << " " << v;
  // Rules that multiply cannot move a value at or below zero: it stays.
  for (TStepRule rule : {sr1_2_5, srDoubling, sr1_2_5OnFineGrid})
    for (double v : {-5.0, 0.0})
      for (bool up : {true, false})
        EXPECT_EQ(StepByRule(rule, 0, v, up, kT, 1, false), v) << int(rule) << " " << v;
  // Nor can they snap it.
  EXPECT_EQ(RoundByRule(sr1_2_5, 0, -2), -2);
  EXPECT_EQ(RoundByRule(srPowerOfTwo, 0, 0), 0);
}

}  // namespace
}  // namespace norv
