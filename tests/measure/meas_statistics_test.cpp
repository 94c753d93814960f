#include "measure/meas_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "display/bottom_text.h"
#include "display/display_test_support.h"

namespace norv::test {
namespace {

// Values about a large offset with a small spread: the offset can be taken off exactly,
// so the references below work on the small part in long double.
constexpr double kOffset = 1e6;

std::vector<double> Values(int n, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> spread(-2e-3, 2e-3);
  std::vector<double> v(static_cast<size_t>(n));
  for (double& x : v) x = kOffset + spread(gen);
  return v;
}

struct Reference {
  long double Mean = 0, StdDev = 0, Rms = 0;
  double Min = 0, Max = 0;
};

// Mean, spread and extremes of v[first, last) by the textbook sums.
Reference Plain(const std::vector<double>& v, size_t first, size_t last) {
  Reference r;
  const long double n = static_cast<long double>(last - first);
  long double sum = 0, sumSq = 0;
  for (size_t i = first; i < last; ++i) sum += v[i] - kOffset;
  const long double mean = sum / n;
  long double dev = 0;
  for (size_t i = first; i < last; ++i) {
    const long double d = (v[i] - kOffset) - mean;
    dev += d * d;
    sumSq += static_cast<long double>(v[i]) * v[i];
  }
  r.Mean = mean + kOffset;
  r.StdDev = std::sqrt(dev / (n - 1));
  r.Rms = std::sqrt(sumSq / n);
  r.Min = *std::min_element(v.begin() + static_cast<long>(first), v.begin() + static_cast<long>(last));
  r.Max = *std::max_element(v.begin() + static_cast<long>(first), v.begin() + static_cast<long>(last));
  return r;
}

// Exponential forgetting over weight w: the first w values alike, then each new value
// weighs 1/w and the earlier ones fade by (w-1)/w; the spread is w / (w-1) times the
// weighted variance.
Reference Weighted(const std::vector<double>& v, size_t last, int w) {
  std::vector<long double> weight(last);
  for (size_t i = 0; i < last; ++i) {
    // The first w values fade from the w-th on, later ones from their own entry.
    const size_t fadeSteps = last - 1 - std::max(i, static_cast<size_t>(w) - 1);
    weight[i] = std::pow(static_cast<long double>(w - 1) / w, static_cast<long double>(fadeSteps)) / w;
  }
  long double mean = 0, sq = 0;
  for (size_t i = 0; i < last; ++i) mean += weight[i] * (v[i] - kOffset);
  for (size_t i = 0; i < last; ++i) sq += weight[i] * ((v[i] - kOffset) - mean) * ((v[i] - kOffset) - mean);
  Reference r;
  r.Mean = mean + kOffset;
  r.StdDev = std::sqrt(sq * w / (w - 1));
  return r;
}

TEST(StatHTest, EachModeAgreesWithABruteForceRecomputationAtALargeOffset) {
  const std::vector<double> v = Values(100000, 7);
  struct Row {
    uint8_t mode;
    int window;
  };
  for (const Row row : {Row{0, 0}, Row{1, 1000}, Row{1, 8}, Row{2, 1000}}) {
    SCOPED_TRACE(testing::Message() << "mode " << int(row.mode) << " window " << row.window);
    TStatH st;
    st.SetMode(row.mode, row.window);
    for (size_t k = 0; k < v.size(); ++k) {
      st.Add(1, v[k]);
      const size_t n = k + 1;
      if (n % 9973 != 0 && n != v.size()) continue;
      SCOPED_TRACE(n);
      Reference r;
      if (row.mode == 0) {
        r = Plain(v, 0, n);
      } else if (row.mode == 1) {
        r = Plain(v, n - std::min<size_t>(n, static_cast<size_t>(row.window)), n);
      } else {
        r = Weighted(v, n, row.window);
      }
      EXPECT_NEAR(st.Mean(), static_cast<double>(r.Mean), 1e-8);
      EXPECT_NEAR(st.StdDev(), static_cast<double>(r.StdDev), 1e-6 * static_cast<double>(r.StdDev));
      if (row.mode != 2) {
        EXPECT_EQ(st.Min(), r.Min);
        EXPECT_EQ(st.Max(), r.Max);
        EXPECT_NEAR(st.Rms(), static_cast<double>(r.Rms), 1e-12 * kOffset);
      }
    }
  }
}

TEST(StatHTest, ModesAndWindowsAreKeptInTheirRange) {
  struct Row {
    uint8_t mode;
    int window, expected;
  };
  for (const Row row : {Row{1, 5, 8}, Row{1, 10000, 8192}, Row{2, 300, 300}, Row{0, 300, 128}}) {
    TStatH st;
    st.SetMode(1, 64);
    st.Add(3, 2.0);
    st.SetMode(row.mode, row.window);
    EXPECT_EQ(st.WindowSize(), row.expected) << row.window;
    EXPECT_EQ(st.Count(), 0) << "a change resets";
    EXPECT_EQ(st.LastMean(), 2.0);
  }
  // The same mode and window again keeps the values.
  TStatH st;
  st.SetMode(1, 64);
  st.Add(3, 2.0);
  st.SetMode(1, 64);
  EXPECT_EQ(st.Count(), 3);
}

// A strip line with a statistics picture, drawn with the block font.
class HisticonTest : public testing::Test {
 protected:
  void SetUp() override {
    strip.SetBounds(0, 0, 530, 80);
    st.CreateIcon(1, "Mean (Ch1)", kInk);
    st.Icon().SetSurface(&strip, kGrid);
    st.SetIconVisible(true);
  }
  // Pixels of the ink above the base line in column x of the picture.
  int ColumnPixels(int c) const {
    int n = 0;
    for (int k = 1; k <= 14; ++k)
      n += strip.Image().Pixel(st.Icon().OriginX + c, st.Icon().BaseY - k) == kInk;
    return n;
  }
  static constexpr TColorRef kInk = 0x00FFFF, kGrid = 0x808080;
  TBlockFont font;
  TNizText strip{&font};
  TStatH st;
};

TEST_F(HisticonTest, WaitsUntilTheWindowIsFullThenDrawsTheHistogram) {
  st.SetMode(1, 128);
  // Near 1: the histogram's step is at least 1e-8 of its centre.
  std::vector<double> v = Values(128, 3);
  for (double& x : v) x = x - kOffset + 1;
  const TRect cell = TNizText::GetLineCellRect(1, TNizText::kMergedColumn);
  for (int k = 0; k < 127; ++k) st.Add(1, v[static_cast<size_t>(k)]);
  EXPECT_TRUE(st.Icon().CaptionShown);
  EXPECT_FALSE(st.HistStarted());
  // "Wait__": the block font's first letter sits 45 pixels into the cell.
  EXPECT_EQ(strip.Image().Pixel(cell.Left + 45, cell.Top + 3), kInk);
  EXPECT_EQ(strip.Image().Pixel(st.Icon().OriginX - 61, st.Icon().BaseY), kGrid);

  st.Add(1, v[127]);
  ASSERT_TRUE(st.HistStarted());
  EXPECT_FALSE(st.Icon().CaptionShown);
  EXPECT_NE(strip.Image().Pixel(cell.Left + 45, cell.Top + 3), kInk) << "the text is gone";
  // The cells against counts made here from the reference the histogram took.
  const Reference r = Plain(v, 0, 128);
  ASSERT_NEAR(st.HistCenter(), static_cast<double>(r.Mean), 1e-9);
  ASSERT_NEAR(st.HistScale(), static_cast<double>(r.StdDev), 1e-9);
  std::vector<int> counts(241);
  for (double x : v) {
    const long c = std::lround(((x - kOffset) - (st.HistCenter() - kOffset)) / st.HistScale() * 5);
    if (c >= -120 && c <= 120) ++counts[static_cast<size_t>(c + 120)];
  }
  const int tallest = *std::max_element(counts.begin(), counts.end());
  for (int c = -120; c <= 120; ++c) {
    EXPECT_EQ(st.Cell(c), counts[static_cast<size_t>(c + 120)]) << c;
    if (c < -60 || c > 60) continue;
    EXPECT_EQ(ColumnPixels(c), std::lround(counts[static_cast<size_t>(c + 120)] * 14.0 / (tallest + 1e-5)))
        << c;
  }
  // Hidden, the picture draws nothing more.
  st.SetIconVisible(false);
  EXPECT_FALSE(st.Icon().Drawn);
}

TEST(StatHTest, WindowSlidesTheHistogramAndWeightKeepsItsTallestCellBounded) {
  // Window: a value leaving the ring leaves its cell.
  TStatH window;
  window.SetMode(1, 8);
  for (int k = 0; k < 8; ++k) window.Add(1, k % 2 ? 1.0 : -1.0);
  ASSERT_TRUE(window.HistStarted());
  const int high = window.CellOf(1.0);
  EXPECT_EQ(window.Cell(high), 4);
  window.Add(1, -1.0);  // replaces the first value, -1
  window.Add(1, -1.0);  // replaces a 1
  EXPECT_EQ(window.Cell(high), 3);
  EXPECT_EQ(window.RemovedCell(), high);
  EXPECT_EQ(window.Min(), -1.0);

  TStatH weight;
  weight.SetMode(2, 8);
  for (int k = 0; k < 20000; ++k) {
    weight.Add(1, 5.0 + (k % 3) * 1e-3);
    ASSERT_LE(weight.HistMax() - 1e-5, 8 + 0.3 + 1e-9) << k;
  }
}

TEST(StatHTest, ACellFullBeyondThirtyTwoBitsStaysAtItsLimit) {
  TStatH st;
  for (int k = 0; k < 128; ++k) st.Add(1, k % 2 ? 1.0 : -1.0);
  const int c = st.CellOf(1.0);
  st.Add(4294967295u, 1.0);
  st.Add(100, 1.0);
  EXPECT_EQ(st.Cell(c), 4294967295.0);
  EXPECT_EQ(st.Count(), 128 + 4294967295LL + 100);
  EXPECT_NEAR(st.Mean(), 1.0, 1e-6);
}

}  // namespace
}  // namespace norv::test
