#include "framework/util/statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

#include "framework/util/numeric_utils.h"

namespace norv {
namespace {

struct Direct {
  double mean, stdDev, stdDevN, min, max;
};

// Two-pass statistics over a plain list.
Direct Compute(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  const double mean = sum / v.size();
  double dev = 0;
  for (double x : v) dev += (x - mean) * (x - mean);
  return {mean, v.size() > 1 ? std::sqrt(dev / (v.size() - 1)) : 0, std::sqrt(dev / v.size()),
          *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end())};
}

void ExpectMatches(const TStat& stat, const Direct& d, double tolerance) {
  EXPECT_NEAR(stat.Mean(), d.mean, tolerance);
  EXPECT_NEAR(stat.StdDev(), d.stdDev, tolerance);
  EXPECT_NEAR(stat.StdDevN(), d.stdDevN, tolerance);
  EXPECT_EQ(stat.Min(), d.min);
  EXPECT_EQ(stat.Max(), d.max);
}

TEST(Stat, WeightedValuesMatchTheExpandedList) {
  TStat stat;
  stat.Add(3, 2);
  EXPECT_EQ(stat.Count(), 3);
  EXPECT_EQ(stat.Mean(), 2);
  EXPECT_EQ(stat.SumSq(), 12);
  EXPECT_EQ(stat.StdDev(), 0);
  stat.Add(0, 100);  // nothing
  stat.Add(2, 7);
  stat.Add(1, -1);
  const std::vector<double> expanded = {2, 2, 2, 7, 7, -1};
  ExpectMatches(stat, Compute(expanded), 1e-12);
  EXPECT_EQ(stat.Count(), 6);
  EXPECT_NEAR(stat.Rms(), std::sqrt((12 + 98 + 1) / 6.0), 1e-12);

  // Reset keeps the last RMS and population deviation until new values come.
  const double rms = stat.Rms();
  stat.Reset();
  EXPECT_EQ(stat.Rms(), rms);
  EXPECT_EQ(stat.StdDev(), 1e101);
}

TEST(ModedStat, PermanentModeMatchesDirectComputation) {
  TModedStat stat;
  TRandomSource random(11);
  std::vector<double> values;
  for (int i = 0; i < 1000; ++i) {
    values.push_back(random.Normal(3, 0.5));
    stat.Add(1, values.back());
  }
  EXPECT_EQ(stat.Count(), 1000);
  ExpectMatches(stat, Compute(values), 1e-9);
}

TEST(ModedStat, WindowModeKeepsTheLastValues) {
  TModedStat stat;
  stat.SetMode(TStatMode::Window, 8);
  ASSERT_EQ(stat.Size(), 8);
  for (double x : {5, 1, 9, 4, 4, 6, 7, 3}) stat.AddOne(x);
  EXPECT_EQ(stat.Min(), 1);
  EXPECT_EQ(stat.Mean(), 39 / 8.0);
  stat.AddOne(5);  // replaces the first 5
  stat.AddOne(5);  // replaces the minimum 1: the ring is scanned again
  EXPECT_EQ(stat.Min(), 3);
  EXPECT_EQ(stat.Max(), 9);
  EXPECT_EQ(stat.Count(), 8);
  ExpectMatches(stat, Compute({5, 5, 9, 4, 4, 6, 7, 3}), 1e-12);
}

TEST(ModedStat, WindowExtremesAreFoundAgainWhenTheMeanIsZero) {
  // Symmetric values keep the mean at exactly 0, so a leaving extreme must be caught on
  // equality alone.
  for (double sign : {1.0, -1.0}) {
    TModedStat stat;
    stat.SetMode(TStatMode::Window, 8);
    for (double x : {-4, 4, -1, 1, -1, 1, -1, 1}) stat.AddOne(sign * x);
    ASSERT_EQ(stat.Mean(), 0);
    stat.AddOne(0);  // the first extreme leaves
    EXPECT_EQ(stat.Min(), sign > 0 ? -1 : -4);
    EXPECT_EQ(stat.Max(), sign > 0 ? 4 : 1);
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
  const std::vector<double> last(window.begin(), window.end());
  ExpectMatches(stat, Compute(last), 1e-9);
  EXPECT_EQ(stat.Count(), size);
}

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

TEST(ModedStat, WeightModeForgetsExponentially) {
  TModedStat stat;
  const int n = 8;
  stat.SetMode(TStatMode::Weight, n);
  TRandomSource random(9);
  std::vector<double> values;
  for (int i = 0; i < 40; ++i) values.push_back(random.Normal(-2, 1.5));
  for (double x : values) stat.AddOne(x);

  // The first n values average plainly; each later one enters with weight 1/n.
  double mean = 0, meanSq = 0;
  for (int i = 0; i < n; ++i) {
    mean += values[i] / n;
    meanSq += values[i] * values[i] / n;
  }
  const double w = 1.0 / n;
  for (size_t i = n; i < values.size(); ++i) {
    mean = (1 - w) * mean + w * values[i];
    meanSq = (1 - w) * meanSq + w * values[i] * values[i];
  }
  EXPECT_NEAR(stat.Mean(), mean, 1e-12);
  EXPECT_NEAR(stat.StdDevN(), std::sqrt(meanSq - mean * mean), 1e-9);
  EXPECT_NEAR(stat.StdDev(), std::sqrt((meanSq - mean * mean) * n / (n - 1)), 1e-9);
  EXPECT_EQ(stat.Count(), 40);
  EXPECT_EQ(stat.Min(), *std::min_element(values.begin(), values.end()));
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

TEST(ModedStat, WindowKeepsItsExtremesInDoublePrecision) {
  TModedStat stat;
  stat.SetMode(TStatMode::Window, 8);
  for (double x : {0.1, 0.7, 0.3, 0.3, 0.3, 0.3, 0.3, 0.3}) stat.AddOne(x);
  EXPECT_EQ(stat.Min(), 0.1);
  EXPECT_EQ(stat.Max(), 0.7);
  stat.AddOne(0.2);    // 0.1 leaves: the minimum is found again in the ring
  stat.AddOne(1e300);  // 0.7 leaves
  EXPECT_EQ(stat.Min(), 0.2);
  EXPECT_EQ(stat.Max(), 1e300);
  EXPECT_DOUBLE_EQ(stat.Mean(), (0.2 + 1e300 + 6 * 0.3) / 8);
}

}  // namespace
}  // namespace norv
