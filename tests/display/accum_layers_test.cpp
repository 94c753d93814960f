#include "display/accum_layers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "display/signal_screen.h"
#include "display_test_support.h"
#include "support/fake_clock.h"

namespace norv {
namespace {

using test::FakeClock;
using test::PixelAt;

constexpr TColorRef kTraceRgb = 0xAA5511;
constexpr TColorRef kFadedRgb = 0x793D0C;  // 170 / 1.4 = 121, 85 / 1.4 = 61, 17 / 1.4 = 12

// The trace fixture with a persistence clock; columns 1 and 499 hold two points each.
template <typename Layer>
struct AccumFixture : test::TTraceFixture<Layer> {
  AccumFixture() { this->layer.SetClock(&persistence); }
  void AdvanceMs(int64_t ms) {
    clock.Advance(ms);
    persistence.Refresh();
  }
  FakeClock clock{0};
  TPersistenceClock persistence{clock};
};

TEST(Persistence, LeftCellsFadeAndExpireAfterThePersistenceTime) {
  AccumFixture<TPersistSignalLayer> f;
  f.layer.SetPersistTime(0.05);
  EXPECT_EQ(f.layer.PersistTime(), 5u);
  f.layer.PutSample(10, 0);
  f.layer.PutSample(10, 1);  // leaves (10, 20) at time 1
  EXPECT_EQ(PixelAt(f.screen, 10, 15), kTraceRgb);
  EXPECT_EQ(PixelAt(f.screen, 10, 20), kFadedRgb);
  EXPECT_TRUE(f.layer.IsActive(10, 20));
  EXPECT_FALSE(f.layer.IsActive(10, 15)) << "a cell holding a point never ages";

  f.AdvanceMs(40);  // time 5: still within 5 hundredths
  f.layer.AgePoints();
  EXPECT_EQ(PixelAt(f.screen, 10, 20), kFadedRgb);
  f.AdvanceMs(20);  // time 7
  f.layer.AgePoints();
  EXPECT_TRUE(f.Empty(10, 20));
  EXPECT_FALSE(f.layer.IsActive(10, 20));
  EXPECT_EQ(PixelAt(f.screen, 10, 15), kTraceRgb);

  f.layer.SetPersistTime(-3);  // negative times count as 0
  EXPECT_EQ(f.layer.PersistTime(), 0u);
  f.layer.PutSample(10, 2);
  f.AdvanceMs(10);
  f.layer.AgePoints();
  EXPECT_TRUE(f.Empty(10, 15)) << "persistence 0 erases at the first tick after leaving";

  // Redraw keeps the left cells; Hide removes them all.
  f.layer.SetPersistTime(10);
  f.layer.PutSample(30, 0);
  f.layer.PutSample(30, 1);
  f.layer.Redraw();
  EXPECT_EQ(PixelAt(f.screen, 30, 20), kFadedRgb);
  f.layer.Hide();
  EXPECT_TRUE(test::ScreenEmpty(f.screen));
  EXPECT_FALSE(f.layer.IsActive(30, 20));
}

// Cells of one 8 x 8 block left at different times each go at the first tick after their
// own persistence time, whatever the ticks that walked the block before found.
TEST(Persistence, EachLeftCellOfABlockExpiresOnItsOwnTime) {
  AccumFixture<TPersistSignalLayer> f;
  f.layer.SetPersistTime(0.05);
  std::array<uint32_t, 4> leftAt{};  // point 8 + k leaves (8 + k, 20) at hundredth 1 + 3k
  for (uint32_t now = 1; now <= 18; ++now) {
    ASSERT_EQ(f.persistence.Hundredths(), now);
    for (int k = 0; k < 4; ++k) {
      if (now != 1 + 3u * k) continue;
      f.layer.PutSample(8 + k, 0);
      f.layer.PutSample(8 + k, -1);
      leftAt[k] = now;
    }
    f.layer.AgePoints();
    for (int k = 0; k < 4; ++k) {
      const bool kept = leftAt[k] != 0 && leftAt[k] + 5 >= now;
      EXPECT_EQ(PixelAt(f.screen, 8 + k, 20) == kFadedRgb, kept) << "cell " << k << " at " << now;
      EXPECT_EQ(f.Empty(8 + k, 20), !kept) << "cell " << k << " at " << now;
    }
    f.AdvanceMs(10);
  }
}

TEST(Persistence, InfiniteNeverErasesAndTheTickerAgesOnlyWhileRunning) {
  for (double seconds : {160000.0, std::nan("")}) {
    AccumFixture<TPersistSignalLayer> f;
    f.layer.SetPersistTime(seconds);
    EXPECT_TRUE(f.layer.Infinite()) << seconds;
    f.layer.PutSample(10, 0);
    f.layer.PutSample(10, 1);
    f.AdvanceMs(2'000'000'000);
    f.layer.AgePoints();
    EXPECT_EQ(PixelAt(f.screen, 10, 20), kFadedRgb);
  }

  AccumFixture<TPersistSignalLayer> f;
  TPersistenceTicker ticker(f.persistence, f.clock, [&] { f.layer.AgePoints(); });
  f.layer.SetPersistTime(0.05);
  f.layer.PutSample(10, 0);
  f.layer.PutSample(10, 1);
  f.clock.Advance(100);
  EXPECT_EQ(PixelAt(f.screen, 10, 20), kFadedRgb) << "stopped: no ageing";
  ticker.SetRunning(true);
  f.clock.Advance(100);
  EXPECT_TRUE(f.Empty(10, 20));
}

// The layer against a model of its cells over a long random run: records of random rows
// and lengths, random clock steps (some within a hundredth, so that a cell is left twice
// at one time), clears (a new point count clears too), persistence times shorter, longer,
// infinite and back (long enough there to drop stale entries), a clock that goes back
// until it passes the times kept, and no clock at all. After every tick each cell is as
// the rule says: a left cell stays active while its time is not before now - persistence
// time, and shows faded; a cell holding a point shows the trace.
TEST(Persistence, AgeingKeepsExactlyTheLeftCellsWithinThePersistenceTime) {
  enum TClockUsed { kMain, kLater, kNone };
  enum TClear { kKeep, kHide, kNewCount };  // halfway through the phase
  struct TPhase {
    double seconds;
    int ticks;
    TClockUsed clock;
    TClear clear;
  };
  const TPhase phases[] = {{0.3, 300, kMain, kHide}, {0.05, 150, kMain, kNewCount}, {1e6, 400, kMain, kKeep},
                           {0.2, 150, kMain, kKeep}, {0.2, 300, kLater, kKeep},     {0.4, 100, kMain, kHide},
                           {0.1, 60, kNone, kKeep},  {0.0, 100, kMain, kNewCount}};
  test::TTraceFixture<TPersistSignalLayer> f(101);
  FakeClock clock{0};
  TPersistenceClock main{clock};
  clock.Advance(1500);
  TPersistenceClock later{clock};  // 150 hundredths behind the main one
  const int maxX = f.layer.MaxX(), maxY = f.layer.MaxY();
  const auto at = [&](int x, int y) { return static_cast<size_t>(x) * (maxY + 1) + static_cast<size_t>(y); };
  std::vector<int> count(at(maxX + 1, 0)), left(count.size());  // left: time, 0 while not active
  std::vector<int> row(512);
  const auto clear = [&] {
    for (auto* v : {&count, &left, &row}) std::ranges::fill(*v, 0);
  };
  std::mt19937 random(7);
  const auto uniform = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  int step = 0;
  for (const TPhase& phase : phases) {
    f.layer.SetPersistTime(phase.seconds);
    const TPersistenceClock* used = phase.clock == kMain ? &main : phase.clock == kLater ? &later : nullptr;
    f.layer.SetClock(used);
    for (int t = 0; t < phase.ticks; ++t, ++step) {
      clock.Advance(uniform(0, 25));
      main.Refresh();
      later.Refresh();
      const int now = used != nullptr ? static_cast<int>(used->Hundredths()) : 1;
      if (t == phase.ticks / 2 && phase.clear != kKeep) {
        if (phase.clear == kHide) f.layer.Hide();
        if (phase.clear == kNewCount) f.layer.SetSignalScale(f.layer.PointCount() == 512 ? 300 : 512, 0, 1);
        clear();
      }
      for (int records = uniform(0, 2); records > 0; --records) {
        const int first = uniform(0, f.layer.PointCount() - 1);
        const int top = uniform(1, 30);
        std::vector<double> values(static_cast<size_t>(uniform(1, f.layer.PointCount() - first)));
        for (size_t k = 0; k < values.size(); ++k) {
          const int r = uniform(top, top + 9);
          values[k] = (20 - r) / 5.0;
          const int i = first + static_cast<int>(k), x = f.layer.PointColumn(i);
          if (x >= maxX || row[i] == r) continue;
          if (row[i] != 0 && --count[at(x, row[i])] == 0) left[at(x, row[i])] = now;
          if (++count[at(x, r)] == 1) left[at(x, r)] = 0;
          row[i] = r;
        }
        f.layer.PutSamples(first, values);
      }
      f.layer.AgePoints();
      const int persist = static_cast<int>(f.layer.PersistTime());
      const int expiry = persist < now ? now - persist : 0;
      for (int& time : left) {
        if (!f.layer.Infinite() && time != 0 && time < expiry) time = 0;
      }
      for (int x = 0; x <= maxX; ++x) {
        for (int y = 0; y <= maxY; ++y) {
          const size_t c = at(x, y);
          const TColorRef pixel = count[c] > 0 ? kTraceRgb : left[c] != 0 ? kFadedRgb : 0;
          ASSERT_TRUE(f.layer.IsActive(x, y) == (left[c] != 0) && PixelAt(f.screen, x, y) == pixel)
              << "step " << step << " at " << now << ": (" << x << ", " << y << ") left at " << left[c]
              << ", points " << count[c];
        }
      }
    }
  }
}

// Hits of point Index at Value, Times times (each put counts one hit).
template <typename Layer>
void Hit(Layer& layer, int index, double value, int times) {
  for (int i = 0; i < times; ++i) layer.PutSample(index, value);
}

TEST(ColourGrade, ThresholdLaddersFollowTheTopValue) {
  // Up to 6 hits short ladders by hand; from 16 on halvings (12.5 rounds to even);
  // between them four equal ratios: 7^(1/4) = 1.627 gives 7, 4.30, 2.64, 1.63, 1.00.
  const std::pair<int, std::array<uint32_t, 5>> ladders[] = {
      {1, {0, 0, 0, 0, 1}}, {2, {0, 0, 0, 1, 2}},   {3, {0, 0, 1, 2, 3}},
      {4, {0, 1, 2, 3, 4}}, {5, {1, 2, 3, 4, 5}},   {6, {1, 2, 3, 4, 6}},
      {7, {1, 2, 3, 4, 7}}, {16, {1, 2, 4, 8, 16}}, {100, {6, 12, 25, 50, 100}}};
  for (const auto& [top, ladder] : ladders) {
    AccumFixture<TColorGrSignalLayer> f;
    Hit(f.layer, 10, 0, top);
    for (int g = 1; g <= 5; ++g)
      EXPECT_EQ(f.layer.GradeThreshold(g), ladder[g - 1]) << "top " << top << " grade " << g;
  }
}

TEST(ColourGrade, LeftCellsAreGradedAgainstTheBusiestAndRegradedWhenItGrows) {
  AccumFixture<TColorGrSignalLayer> f;
  Hit(f.layer, 10, 0, 4);    // (10, 20): 4 hits, the top
  f.layer.PutSample(10, 1);  // leaves it
  f.layer.PutSample(11, 0);  // (11, 20): 1 hit
  f.layer.PutSample(11, -1);
  const auto graded = [&](int x, int y) {
    return std::tuple(f.layer.GradeOf(x, y), PixelAt(f.screen, x, y));
  };
  // Ladder for 4: 0, 1, 2, 3, 4.
  EXPECT_EQ(graded(10, 20), std::tuple(5, 0x808000u));
  EXPECT_EQ(graded(11, 20), std::tuple(2, 0x000080u));
  EXPECT_EQ(PixelAt(f.screen, 11, 25), kTraceRgb) << "live points in the trace colour";

  Hit(f.layer, 12, -2, 16);  // top 16: ladder 1, 2, 4, 8, 16
  EXPECT_EQ(graded(10, 20), std::tuple(3, 0x008080u));
  EXPECT_EQ(graded(11, 20), std::tuple(1, 0x800000u));

  // Column 1 holds two points of the record: its hits count half.
  for (const double value : {-3.0, -4.0})
    for (const int point : {0, 1}) f.layer.PutSample(point, value);
  EXPECT_EQ(f.layer.HitCount(1, 35), 2u);
  EXPECT_EQ(f.layer.GradeOf(1, 35), 1);

  f.layer.SetGradeColour(1, 0xFF123456);
  EXPECT_EQ(PixelAt(f.screen, 11, 20), 0x123456u);

  Hit(f.layer, 20, 100, 3);  // clipped to row 1: border rows are never counted
  EXPECT_EQ(f.layer.HitCount(20, 1), 0u);
  f.layer.PutSample(20, 0);
  EXPECT_TRUE(f.Empty(20, 1));
}

TEST(ColourGrade, RefreshTimeRestartsTheCountAndZeroNeverDoes) {
  for (double refresh : {0.0, 1.0}) {
    AccumFixture<TColorGrSignalLayer> f;
    f.layer.SetRefreshTime(refresh);
    Hit(f.layer, 10, 0, 3);
    f.layer.PutSample(10, 1);
    f.AdvanceMs(500);
    f.layer.SetSignalScale(512, 0, 1);
    EXPECT_EQ(f.layer.GradeOf(10, 20), 5) << refresh;
    f.AdvanceMs(refresh == 0 ? 1'000'000'000 : 600);
    f.layer.SetSignalScale(512, 0, 1);
    if (refresh == 0) {
      EXPECT_EQ(f.layer.GradeOf(10, 20), 5);
    } else {
      EXPECT_TRUE(f.Empty(10, 20) && f.Empty(10, 15));
      EXPECT_EQ(f.layer.GradeThreshold(5), 0u);
    }
  }
}

TEST(ColourGrade, XYCountsArePlainHitCounts) {
  test::TXYFixture<TColorGrSignalLayer> xy(0xFFFFFFFF);
  TColorGrSignalLayer& layer = xy.layer;
  layer.SetXYScale(512, 256, 0, 1, 0, 1);  // 5 rows and columns per unit, centre 20
  for (int i = 0; i < 1000; ++i) layer.PutSampleAt(0, i % 2, 0);
  EXPECT_EQ(layer.GetPointCell(0), (std::pair{20, 15}));
  EXPECT_EQ(layer.HitCount(20, 20), 500u);
  EXPECT_EQ(layer.GradeThreshold(5), 500u);
  EXPECT_EQ(layer.GradeOf(20, 20), 5);
  layer.PutSampleAt(1, 0, -3.8);  // column 1: a border cell
  EXPECT_EQ(layer.HitCount(1, 20), 0u);
}

class HistogramTest : public ::testing::Test {
 protected:
  HistogramTest() : hist("Hist Layer", 51, 41, 6, false) {
    screen.SetBounds(0, 0, kMarkerStripWidth + 51, 41);
    test::Attach(hist, screen, 0xFF0000FF);
  }
  bool Lit(int x, int y) const { return PixelAt(screen, x, y) == 0x0000FFu; }
  TSignalScreen screen;
  THistLayer hist;
};

TEST_F(HistogramTest, UpwardBarsOnePerBinPosition) {
  // 10 bins over 50 columns: positions 1, 6, 11, ... 41, 47; bar of bin i at the next
  // position's start is drawn from the bins before it, the last bin is not drawn.
  std::vector<uint32_t> bins;
  for (int i = 0; i < 10; ++i) bins.push_back(10 * (i + 1));
  hist.DrawHistogram(1, 10, bins, false, 0, 0.1, 100);  // 50 rows per unit of share
  for (const auto& [bin, position] : {std::pair{0, 1}, {1, 6}, {9, 47}})
    EXPECT_EQ(hist.BinPosition(bin), position) << bin;
  for (int y = 35; y <= 39; ++y) EXPECT_TRUE(Lit(1, y)) << y;
  EXPECT_FALSE(Lit(1, 34));
  EXPECT_EQ(hist.BarLength(6), 10);
  EXPECT_EQ(hist.BarLength(41), 39) << "90 % is beyond the height";
  EXPECT_TRUE(Lit(41, 1));
  EXPECT_FALSE(Lit(47, 39));

  std::fill(bins.begin(), bins.end(), 10);
  hist.DrawHistogram(1, 10, bins, false, 0, 0.1, 100);
  EXPECT_TRUE(Lit(41, 35));
  EXPECT_FALSE(Lit(41, 34)) << "bars shrink";

  hist.DrawHistogram(1, 10, bins, true, -40, 10, 100);  // -20 dB, 0.5 px per dB
  EXPECT_EQ(hist.BarLength(1), 10);
  hist.DrawHistogram(1, 10, bins, false, 0, 0, 0);  // no total, no scale: no crash
  hist.Hide();
  EXPECT_TRUE(test::ScreenEmpty(screen));
}

TEST_F(HistogramTest, MoreBinsThanRowsShowTheLargestOfEachRow) {
  std::vector<uint32_t> bins(100, 10);
  bins[1] = 60;
  hist.DrawHistogram(0, 100, bins, false, 0, 0.1, 100);  // 50 columns per unit of share
  // Rows: bins 0..3 on row 1, 4..6 on row 2.
  EXPECT_EQ(hist.BarLength(1), 30);
  EXPECT_EQ(hist.BarLength(2), 5);
  EXPECT_TRUE(Lit(30, 1));
  EXPECT_FALSE(Lit(31, 1));
  EXPECT_TRUE(Lit(5, 2));
  EXPECT_FALSE(Lit(6, 2));
  EXPECT_FALSE(Lit(0, 1)) << "bars start right of the border column";
}

}  // namespace
}  // namespace norv
