// The pattern search: on the simulated instrument it finds the length of a PRBS among the
// candidates, and on made-up pictures it ends where it must (a list that never locks, bits
// that never grow long enough).

#include "instrument/settings/pattern_search.h"

#include <gtest/gtest.h>

#include <functional>

#include "framework/util/numeric_utils.h"
#include "instrument/link/sample_stream.h"
#include "instrument/simulator/simulator.h"

namespace norv::test {
namespace {

constexpr double kBitRate = 1e9;
constexpr int kPoints = 1024;

// Channel 1 fed by a PRBS of the given order, triggered by the bit clock; the lock and
// the averaging of 32 records as the instrument does them.
class SimulatedPattern final : public IPatternSearchTarget {
 public:
  explicit SimulatedPattern(int order) {
    sim_.BindAcquiringFlag(acquiring_);
    TSimGenerator g;
    g.Waveform = TSimWaveform::Prbs;
    g.Amplitude = 0.5;
    g.Frequency = kBitRate;
    g.Jitter = 1e-12;
    g.Noise = 0.005;
    sim_.SimSetGenerator(1, g);
    sim_.SimSetChannelSource(2, 1);
    sim_.SimSetChannels(2);
    sim_.SimSetRecLen(kPoints);
    sim_.SimSetNAvg(1);
    sim_.SimSetDelay(0);
    sim_.BuildPrbsGenerators();
    sim_.PrbsModel(2).SetOrder(order, true);
  }

  std::vector<double> Record() override {
    std::vector<double> sum(kPoints, 0.0);
    const int records = locked_ ? 32 : 1;
    for (int r = 0; r < records; ++r) {
      sim_.SimStartRecord();
      size_t i = 0;
      for (;;) {
        if (!sim_.SimRecordReady()) continue;
        const uint16_t word = sim_.SimNextSample();
        if (word == EndOfRecordWord) break;
        if (i < sum.size()) sum[i++] += static_cast<int16_t>(word) / 16000.0 / records;
      }
      acquiring_ = false;
    }
    return sum;
  }
  void StartPatternLock() override {
    locked_ = true;
    sim_.SimSetPatternOn(true);
  }
  void SetPatternLength(int32_t length) override {
    lengths.push_back(length);
    sim_.SimSetPatternSpan(length);
  }
  void SetAddDelay(bool on) override { sim_.SimSetPatternAddDelay(on); }
  void SetTimeScales(double, double scaleB) override { sim_.SimSetTimeDiv(scaleB); }

  std::vector<int32_t> lengths;

 private:
  TRandomSource random_{11};
  TSimulator sim_{random_};
  bool acquiring_ = false;
  bool locked_ = false;
};

TEST(PatternSearchTest, FindsTheLengthOfASimulatedPrbs) {
  const std::vector<int32_t> candidates{31, 63, 127, 255, 511, 1023, 2047};
  for (auto [order, length] : {std::pair{7, 127}, {10, 1023}}) {
    SimulatedPattern pattern(order);
    TPatternSearch search(pattern, candidates, kBitRate);
    for (int step = 0; step < 100 && !search.Finished(); ++step) search.Step();
    EXPECT_TRUE(search.Found()) << order;
    EXPECT_EQ(search.Length(), length) << order;
    // Every shorter candidate was tried, and none after the one found.
    EXPECT_EQ(pattern.lengths.back(), length);
    EXPECT_EQ(pattern.lengths.size(),
              static_cast<size_t>(std::find(candidates.begin(), candidates.end(), length) -
                                  candidates.begin() + 1));
    // 32 points a bit in the window of B: no divider needed.
    EXPECT_EQ(search.Divider(), 1);
    EXPECT_EQ(search.Progress(), 100);
  }
}

// A made-up picture, the same at every acquisition.
class FixedPicture final : public IPatternSearchTarget {
 public:
  explicit FixedPicture(std::function<double(int)> point) : point_(std::move(point)) {}
  std::vector<double> Record() override {
    std::vector<double> v(kPoints);
    for (int i = 0; i < kPoints; ++i) v[static_cast<size_t>(i)] = point_(i);
    return v;
  }
  void StartPatternLock() override {}
  void SetPatternLength(int32_t) override {}
  void SetAddDelay(bool) override {}
  void SetTimeScales(double, double scaleB) override { lastScaleB = scaleB; }
  double lastScaleB = 0;

 private:
  std::function<double(int)> point_;
};

TEST(PatternSearchTest, EndsWhereThePictureGivesNoAnswer) {
  // Noise spread evenly between the levels never stands: one candidate, not found.
  TRandomSource random(3);
  FixedPicture noise([&](int) { return random.Uniform() * 2 - 1; });
  TPatternSearch single(noise, {127}, kBitRate);
  int steps = 0;
  while (!single.Finished() && steps < 100) single.Step(), ++steps;
  EXPECT_EQ(single.State(), TPatternSearchState::NotFound);

  // Bits of one point each stand still but never grow to 40 points a pair: 1023 edges
  // choose a divider of 8, then the search doubles it 16 times and gives up.
  FixedPicture fast([](int i) { return i % 2 ? 1.0 : -1.0; });
  TPatternSearch divider(fast, {127}, kBitRate);
  steps = 0;
  while (!divider.Finished() && steps < 200) divider.Step(), ++steps;
  EXPECT_EQ(divider.State(), TPatternSearchState::NotFound);
  EXPECT_EQ(divider.Divider(), 8 << 16);
  EXPECT_DOUBLE_EQ(fast.lastScaleB, 3.2 / kBitRate / (8 << 16));

  // No candidates, or no clock: not found at once.
  EXPECT_TRUE(TPatternSearch(fast, {}, kBitRate).Finished());
  EXPECT_TRUE(TPatternSearch(fast, {127}, 0).Finished());
}

}  // namespace
}  // namespace norv::test
