#include "instrument/simulator/psp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "support/assertion_text.h"

namespace norv {
namespace {

// The pattern of the two-tap register (bit 0 xor bit 1 into the top bit), written out
// independently of the model.
std::vector<int> TwoTapPattern(int order, int length) {
  unsigned reg = 0xFFFF;
  std::vector<int> bits;
  for (int i = 0; i < length; ++i) {
    bits.push_back(reg & 1);
    const unsigned low = reg & 3;
    reg >>= 1;
    const unsigned top = 1u << (order - 1);
    reg = (low == 1 || low == 2) ? (reg | top) : (reg & ~top);
  }
  return bits;
}

// PRBS7 with clean edges of 0.1 bit unless a test sets others.
class PspTest : public ::testing::Test {
 protected:
  void SetUp() override {
    psp.SetOrder(7, true);
    SetCleanEdges(0.1, 0.1);
  }

  TRandomSource random{11};
  TPSP psp{random};

  void SetCleanEdges(double rise, double fall) {
    psp.SetRiseTime(rise);
    psp.SetFallTime(fall);
  }
  // First index k with bits k-1 .. k+n-1 = 0 then n ones (0 < k).
  int RunOfOnes(int n) {
    for (int k = 1; k + n < psp.GetPatternLength(); ++k) {
      bool match = psp.Bit(k - 1) == 0;
      for (int j = 0; j < n && match; ++j) match = psp.Bit(k + j) == 1;
      if (match && psp.Bit(k + n) == 0) return k;
    }
    return -1;
  }
};

TEST_F(PspTest, EveryOrderIsMaximalLengthAndOrders7And15KeepTheTwoTapFeedback) {
  for (int order = TPSP::kMinOrder; order <= TPSP::kMaxOrder; ++order) {
    const int period = (1 << order) - 1;
    psp.SetOrder(order, true);
    EXPECT_EQ(psp.GetPatternLength(), period);
    psp.SetOrder(order, false);
    ASSERT_EQ(psp.GetPatternLength(), period + 1);
    EXPECT_EQ(psp.Bit(period), psp.Bit(0)) << order;  // length 2^N repeats the first bit
    // A maximal-length sequence shows every non-zero N-bit word once per period, which
    // no sequence of a shorter period can.
    std::set<unsigned> windows;
    for (int start = 0; start < period; ++start) {
      unsigned word = 0;
      for (int j = 0; j < order; ++j) word = word << 1 | psp.Bit((start + j) % period);
      windows.insert(word);
    }
    EXPECT_EQ(static_cast<int>(windows.size()), period) << order;
    EXPECT_EQ(windows.count(0u), 0u) << order;
    if (order != 7 && order != 15) continue;
    const std::vector<int> expected = TwoTapPattern(order, period + 1);
    for (int i = 0; i <= period; ++i) ASSERT_EQ(psp.Bit(i), expected[i]) << order << " " << i;
  }
  for (int order : {TPSP::kMinOrder - 1, TPSP::kMaxOrder + 1})
    EXPECT_EQ(test::AssertionText([&] { psp.SetOrder(order, true); }), "Bad Bit") << order;
}

TEST_F(PspTest, NrzEdgesSettleAndHoldWithTheirOvershoots) {
  const int k = RunOfOnes(3);
  ASSERT_GT(k, 0);
  // Low before the rising edge, its cosine's midpoint, then the falling edge's.
  for (auto [u, v] : {std::pair{-0.5, 0.0}, {0.05, 0.5}, {3.05, 0.5}, {3.1, 0.0}, {3.6, 0.0}})
    EXPECT_NEAR(psp.Value(k + u), v, 1e-6) << u;
  for (double u = 0.1; u < 3.0; u += 0.07) EXPECT_NEAR(psp.Value(k + u), 1.0, 1e-6) << u;

  psp.SetPosOvershot(0.2);
  psp.SetNegOvershot(0.1);
  double highest = 0;
  for (double u = 0; u < 1; u += 0.001) highest = std::max(highest, psp.Value(k + u));
  EXPECT_NEAR(highest, 1.2, 1e-3);
  // Back at 1 once the overshoot has settled: rise x (1 + sqrt(0.2 / 1.2)).
  for (auto [u, v] :
       {std::pair{0.1, 1.2}, {0.1 * (1 + std::sqrt(0.2 / 1.2)), 1.0}, {0.8, 1.0}, {3.1, -0.1}, {3.9, 0.0}})
    EXPECT_NEAR(psp.Value(k + u), v, 1e-6) << u;
}

TEST_F(PspTest, DroopLowersEachOneOfARun) {
  psp.SetDroop(0.1);
  const int k = RunOfOnes(4);
  ASSERT_GT(k, 0);
  for (int n = 1; n <= 4; ++n) EXPECT_NEAR(psp.Value(k + n - 1e-6), std::pow(0.9, n), 1e-4) << n;
}

TEST_F(PspTest, ReturnToZeroPulses) {
  SetCleanEdges(0.05, 0.05);
  psp.SetNrz(false);
  const int k = RunOfOnes(2);
  ASSERT_GT(k, 0);
  // Each one falls from 0.5 over 0.05.
  for (int bit : {k, k + 1})
    for (auto [u, v] : {std::pair{0.25, 1.0}, {0.525, 0.5}, {0.75, 0.0}})
      EXPECT_NEAR(psp.Value(bit + u), v, 1e-6) << bit - k << " " << u;
  EXPECT_NEAR(psp.Value(k - 0.5), 0.0, 1e-6);  // a zero bit
  psp.SetDroop(0.2);
  psp.SetDutyCycleDist(0.1);  // high for 0.6 bit
  EXPECT_NEAR(psp.Value(k + 0.6 - 1e-6), 0.8, 1e-4);
  EXPECT_NEAR(psp.Value(k + 0.625), 0.4, 1e-6);
}

TEST_F(PspTest, DutyCycleDistortionMovesOnlyFallingEdges) {
  const int k = RunOfOnes(2);
  ASSERT_GT(k, 0);
  EXPECT_NEAR(psp.Value(k + 2 + 0.15), 0.0, 1e-6);
  // The change shows at the next evaluation.
  psp.SetDutyCycleDist(0.2);
  EXPECT_NEAR(psp.Value(k + 0.05), 0.5, 1e-6);
  EXPECT_NEAR(psp.Value(k + 2 + 0.15), 1.0, 1e-6);
  EXPECT_NEAR(psp.Value(k + 2 + 0.25), 0.5, 1e-4);  // edges are kept in single precision
}

TEST_F(PspTest, SubRateJitterShiftsEdgesByHalfItsSize) {
  psp.SetSubRateDiv(2);
  psp.SetSubRateJit(0.2);
  psp.SetPatternStep(1);
  const int k = RunOfOnes(3);
  ASSERT_GT(k, 0);
  // The edge sits at k - 0.1 or k + 0.1: 0.15 bit later the level is 1 or the midpoint.
  std::set<double> seen;
  for (int n = 0; n < 200; ++n) {
    const double v = psp.Value(k + 0.15);
    ASSERT_TRUE(std::abs(v - 1.0) < 1e-6 || std::abs(v - 0.5) < 1e-6) << v;
    seen.insert(std::round(v * 10) / 10);
  }
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(PspTest, InterSymbolInterferenceFollowsTheRunLengths) {
  psp.SetInterSymbol(0.3);
  auto runEndingAt = [&](int end) {
    int n = 1;
    while (end - n >= 0 && psp.Bit(end - n) == psp.Bit(end)) ++n;
    return n;
  };
  int checked = 0;
  for (int m = 20; m < 120; ++m) {
    if (psp.Bit(m - 1) != 0 || psp.Bit(m) != 1) continue;
    // The edge that starts bit m moves by the runs before bit m - 1.
    const int a = runEndingAt(m - 2);
    const int b = runEndingAt(m - 2 - a);
    const double edge = m + 0.3 * (a - b) / 6 / 2;
    EXPECT_NEAR(psp.Value(edge + 0.05), 0.5, 1e-4) << m;
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

}  // namespace
}  // namespace norv
