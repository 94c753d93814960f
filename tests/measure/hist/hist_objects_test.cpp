// The hit histograms: window recounts against a brute-force count of the same samples,
// statistics of a hand-made histogram, the two-level search and the counter limit.

#include "measure/hist/hist_objects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/util/errors.h"
#include "framework/util/numeric_utils.h"

namespace norv {
namespace {

// 0.125 V per division: 1024 codes per volt, so code c is the value (512 - c) / 1024 exactly.
constexpr double kVoltsPerDiv = 0.125;
double ValueOfCode(int code) { return (512 - code) / 1024.0; }

struct TSample {
  int Column, Code;
};

class HistObjectsTest : public ::testing::Test {
 protected:
  void TearDown() override { FreshProgramState(); }
  TFullHist& hist = FullHist();

  void Start(int columns) { hist.StartWaveform(columns, 1e-9, 1e-11, 0.0, kVoltsPerDiv); }
  void Add(const std::vector<TSample>& samples) {
    for (const TSample& s : samples) hist.AddSample(s.Column, ValueOfCode(s.Code));
  }
};

TEST_F(HistObjectsTest, WindowRecountsMatchABruteForceCount) {
  TRandomSource random(11);
  std::vector<TSample> samples;
  Start(4096);
  hist.SetWindow(0, 1022, 4000, 2);
  for (int i = 0; i < 60000; ++i) {
    // Clusters, so that blocks are both hit and untouched; a few codes off the screen.
    const int column = random.UniformInt(700) + (i % 3) * 1500;
    const int code = random.UniformInt(1040) - 8;
    samples.push_back({column, code});
  }
  Add(samples);

  struct TCase {
    bool Vertical, Map;
    int Left, Top, Right, Bottom;              // screen units
    int ColLeft, ColRight, CodeLow, CodeHigh;  // expected window
  };
  const TCase cases[] = {
      {true, false, 100, 900, 3600, 300, 100, 3600, 124, 724},
      {false, false, 1490, 1000, 2210, 24, 1490, 2210, 24, 1000},
      {true, true, 0, 1022, 4000, 2, 0, 4000, 2, 1022},
      {false, true, 650, 513, 1600, 511, 650, 1600, 511, 513},
      {true, false, -5, 2000, 5000, 3000, 0, 4000, 2, 2},  // clamped
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "vertical " << c.Vertical << " map " << c.Map << " left " << c.Left);
    hist.SetMapEnabled(c.Map);
    hist.SetVertical(c.Vertical);
    hist.SetWindow(c.Left, c.Top, c.Right, c.Bottom);
    EXPECT_EQ(hist.WinColLeft(), c.ColLeft);
    EXPECT_EQ(hist.WinColRight(), c.ColRight);
    EXPECT_EQ(hist.WinCodeLow(), c.CodeLow);
    EXPECT_EQ(hist.WinCodeHigh(), c.CodeHigh);
    std::vector<uint32_t> window(4096), full(4096);
    for (const TSample& s : samples) {
      if (s.Code < 0 || s.Code > 1023) continue;
      const int index = c.Vertical ? s.Code : s.Column;
      // The projection of the whole map leaves out code 0.
      if (s.Code >= 1) ++full[index];
      if (s.Column >= c.ColLeft && s.Column <= c.ColRight && s.Code >= c.CodeLow && s.Code <= c.CodeHigh)
        ++window[index];
    }
    double sum = 0, total = 0;
    for (int i = 0; i < 4096; ++i) {
      ASSERT_EQ(hist.WindowBin(i), window[i]) << "bin " << i;
      if (c.Map) {
        ASSERT_EQ(hist.FullBin(i), full[i]) << "bin " << i;
      }
      sum += static_cast<double>(i) * window[i];
      total += window[i];
    }
    hist.CalcStatistics(true);
    EXPECT_EQ(hist.TotalHits(), static_cast<uint64_t>(total));
    EXPECT_NEAR(hist.MeanBin(), sum / total, 1e-9);
  }
}

TEST_F(HistObjectsTest, StatisticsOfAHandMadeHistogram) {
  Start(1000);
  hist.CalcInWindow(true, 0, 1022, 4000, 2);
  EXPECT_EQ(hist.PeakHits(), 0u);
  EXPECT_EQ(hist.FirstBin(), 1023u);
  EXPECT_EQ(hist.LastBin(), 0u);
  // Codes 500 x 2, 510 x 6, 520 x 2: mean 510, population deviation sqrt(40) codes.
  for (int k = 0; k < 2; ++k) Add({{10, 500}, {20, 520}});
  for (int k = 0; k < 6; ++k) Add({{30 + k, 510}});
  Add({{40, 1024}, {40, -1}});  // off the code range: dropped
  hist.CalcStatistics(true);
  EXPECT_EQ(hist.SampleCount(), 10u);
  EXPECT_EQ(hist.PeakHits(), 6u);
  EXPECT_EQ(hist.PeakBin(), 510u);
  EXPECT_DOUBLE_EQ(hist.MeanValue(), ValueOfCode(510));
  EXPECT_DOUBLE_EQ(hist.StdDevValue(), std::sqrt(40.0) / 1024);
  EXPECT_DOUBLE_EQ(hist.MaxValue(), ValueOfCode(500));
  EXPECT_DOUBLE_EQ(hist.MinValue(), ValueOfCode(520));
  EXPECT_DOUBLE_EQ(hist.PeakToPeak(), 20 / 1024.0);
  EXPECT_DOUBLE_EQ(hist.MeanScreen(), 514);
  EXPECT_DOUBLE_EQ(hist.PercentWithinSigmas(1), 60);
  EXPECT_DOUBLE_EQ(hist.PercentWithinSigmas(2), 100);
  EXPECT_NEAR(hist.RmsValue(), std::sqrt((2 * 144.0 + 6 * 4 + 2 * 64) / 10) / 1024, 1e-15);
  EXPECT_NEAR(hist.AcRmsValue(), hist.StdDevValue(), 1e-15);
  // Horizontal: columns 10 and 20 twice, 30..35 once; times 1 ns + 10 ps per column.
  hist.CalcInWindow(false, 0, 1022, 4000, 2);
  EXPECT_DOUBLE_EQ(hist.MinValue(), 1e-9 + 10 * 1e-11);
  EXPECT_DOUBLE_EQ(hist.MaxValue(), 1e-9 + 35 * 1e-11);
  EXPECT_EQ(hist.TimeOfMin(), 500);  // first window code hit in column 10
  EXPECT_THROW(static_cast<void>(hist.RmsValue()), EAssertion);
  hist.CalcInWindow(true, 0, 1022, 4000, 2);
  EXPECT_EQ(hist.TimeOfMax(), std::lround(10 * 4096.0 / 1000));

  // The same scaling accumulates; another vertical scale starts afresh.
  Start(1000);
  EXPECT_EQ(hist.WaveformCount(), 2u);
  hist.StartWaveform(1000, 1e-9, 1e-11, 0.0, 2 * kVoltsPerDiv);
  hist.CalcStatistics(true);
  EXPECT_EQ(hist.WaveformCount(), 1u);
  EXPECT_EQ(hist.TotalHits(), 0u);
}

TEST_F(HistObjectsTest, ExponentialModeCapsTheTallestBinAtTheWeight) {
  Start(512);
  hist.CalcInWindow(true, 0, 1022, 4000, 2);
  hist.SetWeight(32);
  for (int wfm = 0; wfm < 200; ++wfm)
    for (int i = 0; i < 4; ++i) hist.AddSample(i, ValueOfCode(wfm < 100 ? 300 : 600));
  hist.CalcStatistics(true);
  // 400 old hits at code 300 and 400 new at 600: equal, both capped at 32.
  EXPECT_EQ(hist.WindowBin(300), 32u);
  EXPECT_EQ(hist.WindowBin(600), 32u);
  for (int wfm = 0; wfm < 32; ++wfm) hist.AddSample(0, ValueOfCode(600));
  hist.CalcStatistics(true);
  // 64 at 600 scaled to 32; the old bin shrinks by the same factor, to 16.
  EXPECT_EQ(hist.PeakHits(), 32u);
  EXPECT_EQ(hist.PeakBin(), 600u);
  EXPECT_EQ(hist.WindowBin(300), 16u);
}

// Two noisy levels: hits at code A (and at code B with share Second), each spread by a
// normal deviation of Sigma codes.
std::vector<TSample> TwoLevelSamples(int a, int b, double second, double sigma, uint32_t seed) {
  TRandomSource random(seed);
  std::vector<TSample> samples;
  for (int i = 0; i < 20000; ++i) {
    const bool onB = random.Uniform() < second;
    const int code = static_cast<int>(std::lround(random.Normal(onB ? b : a, sigma)));
    samples.push_back({i % 512, code});
  }
  return samples;
}

TEST_F(HistObjectsTest, TwoLevelSearchOnNoisySignals) {
  struct TCase {
    int A, B;
    double Second, Sigma;
    bool Found;
  };
  const TCase cases[] = {
      {300, 700, 0.4, 12, true},   // a clear second level
      {700, 300, 0.05, 8, true},   // a small second level still stands out of its valley
      {500, 520, 0.5, 10, false},  // closer than the guard: one broad hump
      {500, 500, 0.0, 15, false},  // one level
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.A << " " << c.B);
    FreshProgramState();
    TFullHist& h = FullHist();
    h.StartWaveform(512, 0, 1e-11, 0, kVoltsPerDiv);
    h.CalcInWindow(true, 0, 1022, 4000, 2);
    for (const TSample& s : TwoLevelSamples(c.A, c.B, c.Second, c.Sigma, 7))
      h.AddSample(s.Column, ValueOfCode(s.Code));
    h.CalcStatistics(true);
    const TTwoLevels levels = h.FindTwoLevels();
    ASSERT_EQ(levels.Found, c.Found);
    if (!c.Found) continue;
    // Screen Y, the upper level first; the tallest bin of a noisy level lies within half
    // a deviation of it.
    const double within = c.Sigma / 2;
    EXPECT_NEAR(levels.Pos1, 1024 - std::min(c.A, c.B), within);
    EXPECT_NEAR(levels.Pos2, 1024 - std::max(c.A, c.B), within);
    double upper = 0, lower = 0;
    EXPECT_NEAR(h.TwoLevelValues(upper, lower), std::abs(c.B - c.A) / 1024.0, 2 * within / 1024);
    EXPECT_NEAR(upper, ValueOfCode(std::min(c.A, c.B)), within / 1024);
    EXPECT_NEAR(lower, ValueOfCode(std::max(c.A, c.B)), within / 1024);
  }
}

TEST_F(HistObjectsTest, HitCountersStopAtTheirLimit) {
  Start(64);
  hist.CalcInWindow(true, 0, 1022, 4000, 2);
  hist.SetMapEnabled(true);
  for (int column : {0, 1}) {
    hist.AddSample(column, ValueOfCode(400), kHitLimit - 2);
    hist.AddSample(column, ValueOfCode(400), 5);
  }
  EXPECT_EQ(hist.MapCell(0, 400), kHitLimit);
  // Both columns project onto one code bin.
  EXPECT_EQ(hist.FullBin(400), kHitLimit);
  EXPECT_EQ(hist.WindowBin(400), kHitLimit);
  hist.RecountWindow();
  EXPECT_EQ(hist.FullBin(400), kHitLimit);
  EXPECT_EQ(hist.WindowBin(400), kHitLimit);
  hist.SetVertical(false);
  hist.CalcStatistics(true);
  EXPECT_EQ(hist.TotalHits(), 2 * uint64_t{kHitLimit});
}

}  // namespace
}  // namespace norv
