#include "framework/util/statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

#include "framework/util/numeric_utils.h"

namespace norv {
namespace {

// Mean, deviations and extremes of values with weights summing to 1: two passes in long
// double, about the first value so that equal values give exactly no spread.
struct Reference {
  long double mean = 0, varianceN = 0;
  double min = 0, max = 0;
};

Reference WeightedReference(const std::vector<double>& v, const std::vector<long double>& w) {
  Reference r;
  long double shift = v[0], offset = 0, weights = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    offset += w[i] * (v[i] - shift);
    weights += w[i];
  }
  offset /= weights;
  r.mean = shift + offset;
  for (size_t i = 0; i < v.size(); ++i)
    r.varianceN += w[i] * (v[i] - shift - offset) * (v[i] - shift - offset);
  r.varianceN /= weights;
  r.min = *std::min_element(v.begin(), v.end());
  r.max = *std::max_element(v.begin(), v.end());
  return r;
}

Reference PlainReference(const std::vector<double>& v) {
  return WeightedReference(v, std::vector<long double>(v.size(), 1.0L / v.size()));
}

// Weight mode: the first n values share the start equally, each later one enters with
// weight 1/n, and every value fades by (n-1)/n per later value.
Reference FadingReference(const std::vector<double>& v, int n) {
  if (v.size() <= static_cast<size_t>(n)) return PlainReference(v);
  const long double fade = 1.0L - 1.0L / n;
  std::vector<long double> w(v.size());
  const size_t later = v.size() - static_cast<size_t>(n);
  for (size_t i = 0; i < v.size(); ++i) {
    const size_t after = i < static_cast<size_t>(n) ? later : v.size() - 1 - i;
    w[i] = std::pow(fade, static_cast<long double>(after)) / n;
  }
  return WeightedReference(v, w);
}

void ExpectMatches(const TStat& stat, const Reference& r, double tolerance) {
  EXPECT_NEAR(stat.Mean(), static_cast<double>(r.mean), tolerance);
  EXPECT_NEAR(stat.StdDevN(), static_cast<double>(std::sqrt(r.varianceN)), tolerance);
  EXPECT_EQ(stat.Min(), r.min);
  EXPECT_EQ(stat.Max(), r.max);
}

TEST(Stat, WeightedValuesResetAndRms) {
  TStat stat;
  stat.Add(3, 2);
  stat.Add(0, 100);  // nothing
  stat.Add(2, 7);
  stat.Add(1, -1);
  EXPECT_EQ(stat.Count(), 6);
  EXPECT_EQ(stat.SumSq(), 12 + 98 + 1);
  ExpectMatches(stat, PlainReference({2, 2, 2, 7, 7, -1}), 1e-12);
  EXPECT_NEAR(stat.Rms(), std::sqrt((12 + 98 + 1) / 6.0), 1e-12);
  // Reset keeps the last RMS until new values come.
  const double rms = stat.Rms();
  stat.Reset();
  EXPECT_EQ(stat.Rms(), rms);
  EXPECT_EQ(stat.StdDev(), 1e101);
}

TEST(Statistics, DeviationsStayExactWhenTheMeanIsLargeAgainstTheSpread) {
  enum class Kind { Stat, StatWeighted, Permanent, WindowFilling, WindowWrapped, Weight };
  struct Level {
    double mean, sigma;
  };
  // A time readout at a large delay with picosecond jitter is the last row.
  const Level levels[] = {{0, 1}, {1e8, 1}, {1e9, 1}, {-5e8, 2}, {1e9, 0}, {1e-3, 1e-12}};
  const Kind kinds[] = {Kind::Stat,          Kind::StatWeighted,  Kind::Permanent,
                        Kind::WindowFilling, Kind::WindowWrapped, Kind::Weight};
  const int size = 16;
  for (Kind kind : kinds) {
    for (const Level& level : levels) {
      SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " mean " << level.mean
                                      << " sigma " << level.sigma);
      TRandomSource random(7);
      TStat plain;
      TModedStat moded;
      moded.SetMode(kind == Kind::Weight                                         ? TStatMode::Weight
                    : kind == Kind::WindowFilling || kind == Kind::WindowWrapped ? TStatMode::Window
                                                                                 : TStatMode::Permanent,
                    size);
      TStat& stat = kind == Kind::Stat || kind == Kind::StatWeighted ? plain : static_cast<TStat&>(moded);
      // Past the window several times and then half-way into a round, so that values
      // leave the window after its last fresh summation.
      const int count = kind == Kind::WindowFilling ? size - 5 : 5 * size + 7;
      std::vector<double> all;
      for (int i = 0; i < count; ++i) {
        const double x = level.mean + level.sigma * random.Normal(0, 1);
        const uint32_t copies = kind == Kind::StatWeighted ? 1 + i % 3 : 1;
        stat.Add(copies, x);
        all.insert(all.end(), copies, x);
      }
      const Reference r = kind == Kind::WindowWrapped ? PlainReference({all.end() - size, all.end()})
                          : kind == Kind::Weight      ? FadingReference(all, size)
                                                      : PlainReference(all);
      const long double n = kind == Kind::WindowWrapped || kind == Kind::Weight ? size : all.size();
      const double tolerance = level.sigma * 1e-7;
      EXPECT_NEAR(stat.Mean(), static_cast<double>(r.mean), std::abs(level.mean) * 1e-15 + tolerance);
      EXPECT_NEAR(stat.StdDevN(), static_cast<double>(std::sqrt(r.varianceN)), tolerance);
      EXPECT_NEAR(stat.StdDev(), static_cast<double>(std::sqrt(r.varianceN * n / (n - 1))), tolerance);
      EXPECT_EQ(stat.Min(), r.min);
      EXPECT_EQ(stat.Max(), r.max);
    }
  }
}

TEST(ModedStat, WindowExtremesAreFoundAgainWhenTheyLeave) {
  struct Case {
    std::vector<double> values;  // the window holds the last 8
    double min, max;
  };
  const Case cases[] = {
      {{5, 1, 9, 4, 4, 6, 7, 3, 5, 5}, 3, 9},  // the minimum 1 leaves: the ring is scanned again
      // Symmetric values keep the mean at exactly 0: a leaving extreme is caught on equality.
      {{-4, 4, -1, 1, -1, 1, -1, 1, 0}, -1, 4},
      {{4, -4, 1, -1, 1, -1, 1, -1, 0}, -4, 1},
      // Extremes kept in double precision, not rounded to float.
      {{0.1, 0.7, 0.3, 0.3, 0.3, 0.3, 0.3, 0.3, 0.2, 1e300}, 0.2, 1e300},
  };
  for (const Case& c : cases) {
    TModedStat stat;
    stat.SetMode(TStatMode::Window, 8);
    for (double x : c.values) stat.AddOne(x);
    EXPECT_EQ(stat.Count(), 8);
    EXPECT_EQ(stat.Min(), c.min) << c.values[0];
    EXPECT_EQ(stat.Max(), c.max) << c.values[0];
    EXPECT_DOUBLE_EQ(stat.Mean(),
                     static_cast<double>(PlainReference({c.values.end() - 8, c.values.end()}).mean));
  }
}

TEST(ModedStat, WindowDoesNotDriftOverAMillionValues) {
  TModedStat stat;
  const int size = 128;
  stat.SetMode(TStatMode::Window, size);
  TRandomSource random(5);
  std::deque<double> window;
  for (int i = 0; i < 1000000; ++i) {
    const double x = 1000.0 + random.Normal(0, 1) + random.Uniform() * 1e-3;
    stat.AddOne(x);
    window.push_back(x);
    if (window.size() > size) window.pop_front();
  }
  ExpectMatches(stat, PlainReference({window.begin(), window.end()}), 1e-9);
}

TEST(ModedStat, RmsFollowsTheValuesOfEachMode) {
  const std::vector<double> v = {3, -4, 5, 1, 2, 7, -6, 0.5, 9, 2, 4, -1, 8};
  for (const TStatMode mode : {TStatMode::Permanent, TStatMode::Window, TStatMode::Weight}) {
    TModedStat stat;
    stat.SetMode(mode, 8);
    for (double x : v) stat.AddOne(x);
    const Reference r = mode == TStatMode::Window   ? PlainReference({v.end() - 8, v.end()})
                        : mode == TStatMode::Weight ? FadingReference(v, 8)
                                                    : PlainReference(v);
    // The mean square is the squared mean plus the variance.
    EXPECT_NEAR(stat.Rms(), static_cast<double>(std::sqrt(r.mean * r.mean + r.varianceN)), 1e-12)
        << static_cast<int>(mode);
  }
}

TEST(ModedStat, SetModeResetsOnlyOnARealChange) {
  TModedStat stat;
  stat.SetMode(TStatMode::Permanent, 500);
  EXPECT_EQ(stat.Size(), 128);
  stat.SetMode(TStatMode::Window, 100);
  stat.AddOne(1);
  stat.SetMode(TStatMode::Window, 100);
  EXPECT_EQ(stat.Count(), 1);
  // A size below the range is held at 8; asking for it again keeps the values.
  stat.SetMode(TStatMode::Window, 4);
  EXPECT_EQ(stat.Size(), 8);
  EXPECT_EQ(stat.Count(), 0);
  stat.AddOne(1);
  stat.SetMode(TStatMode::Window, 4);
  EXPECT_EQ(stat.Count(), 1);
  stat.SetMode(TStatMode::Window, 100000);
  EXPECT_EQ(stat.Size(), 8192);
  stat.SetMode(TStatMode::Weight, 8192);
  EXPECT_EQ(stat.Mode(), TStatMode::Weight);
  EXPECT_EQ(stat.Count(), 0);
}

}  // namespace
}  // namespace norv
