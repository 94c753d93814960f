#include "framework/statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

#include "framework/numeric_utils.h"

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
  std::deque<double> window;  // what the window should hold, as it keeps it
  for (int i = 0; i < 1000000; ++i) {
    // Values that single precision cannot hold exactly, far from 0.
    const double x = 1000.0 + random.Normal(0, 1) + random.Uniform() * 1e-3;
    stat.AddOne(x);
    window.push_back(static_cast<float>(x));
    if (window.size() > size) window.pop_front();
  }
  const std::vector<double> last(window.begin(), window.end());
  ExpectMatches(stat, Compute(last), 1e-7);
  EXPECT_EQ(stat.Count(), size);
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

TEST(ModedStat, WindowHoldsValuesBeyondSinglePrecision) {
  TModedStat stat;
  stat.SetMode(TStatMode::Window, 8);
  for (int i = 0; i < 20; ++i) stat.AddOne(i % 2 ? 1e300 : -1e300);
  EXPECT_TRUE(std::isfinite(stat.Mean()));
  EXPECT_EQ(stat.Max(), static_cast<double>(std::numeric_limits<float>::max()));
}

}  // namespace
}  // namespace norv
