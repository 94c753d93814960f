#include "instrument/settings/trigger_level_search.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/settings/program_objects.h"
#include "instrument/settings/settings_hooks.h"
#include "support/fake_clock.h"

namespace norv::test {
namespace {

using Levels = std::vector<int32_t>;

void NoProgress(int) {}

// A trigger that fires strictly inside (low, high) millivolts, recording every probe.
struct TWindowTrigger {
  int32_t Low;
  int32_t High;
  Levels Probes;
  bool operator()(int32_t mv) {
    Probes.push_back(mv);
    return mv > Low && mv < High;
  }
};

TEST(TriggerLevelSearchTest, SimulatedWindowProbeSequence) {
  // The simulator triggers between 125 and 375 mV.
  TWindowTrigger trigger{125, 375, {}};
  double level = -1;
  ASSERT_TRUE(FindTriggerLevel(std::ref(trigger), NoProgress, level));
  EXPECT_DOUBLE_EQ(level, 0.25);
  // -32 fails, so +32 is not asked; the coarse pass at 512 fails, the one at 256 finds
  // +256 (grid 512); the edges are then bisected in halving steps down to 4 mV.
  EXPECT_EQ(trigger.Probes, (Levels{-32, -512, 512, -256, 256,      //
                                    0, 128, 64, 96, 112, 120, 124,  // lower edge from 256 towards -256
                                    512, 384, 320, 352, 368, 376, 372}));
}

TEST(TriggerLevelSearchTest, CoarseSearchCoversEveryOddMultipleOf32Once) {
  TWindowTrigger never{0, 0, {}};
  int32_t found = 0;
  int32_t step = 0;
  EXPECT_FALSE(CoarseLevelSearch(std::ref(never), NoProgress, found, step));
  // Brute force: every multiple of 32 mV up to 1000 except 0, each with both signs once,
  // in passes of falling grid.
  Levels expected;
  for (int32_t grid = 1024; grid >= 64; grid /= 2) {
    for (int32_t v = grid / 2; v <= 1000; v += grid) {
      expected.push_back(-v);
      expected.push_back(v);
    }
  }
  EXPECT_EQ(never.Probes, expected);
}

TEST(TriggerLevelSearchTest, NegativeWindowAndBisectionBounds) {
  // Triggers between -700 and -600 mV: the coarse search meets -640 in the pass of
  // grid 256 (half 128), then the edges are found within 5 mV.
  TWindowTrigger trigger{-700, -600, {}};
  double level = 0;
  ASSERT_TRUE(FindTriggerLevel(std::ref(trigger), NoProgress, level));
  EXPECT_NEAR(level, -0.650, 0.005);
  // Each bisection costs at most 8 probes.
  int32_t found = 0;
  int32_t step = 0;
  TWindowTrigger edge{-700, -600, {}};
  ASSERT_TRUE(CoarseLevelSearch(std::ref(edge), NoProgress, found, step));
  EXPECT_EQ(found, -640);
  EXPECT_EQ(step, 256);
  edge.Probes.clear();
  const int32_t low = BisectLevelEdge(std::ref(edge), NoProgress, found, found - step, 34);
  EXPECT_GT(low, -700);
  EXPECT_LE(low, -695);
  EXPECT_LE(edge.Probes.size(), 8u);
}

class TriggerStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SettingsHooks.ShowTriggerState.Set([this](int state) { shown.push_back(state); });
  }
  void TearDown() override { FreshProgramState(); }
  FakeClock clock;
  std::vector<int> shown;
  int polls = 0;
};

TEST_F(TriggerStatusTest, PollsAtMostOnceASecond) {
  TTriggerStatus status(clock);
  bool reply = false;
  const auto poll = [&] {
    ++polls;
    return reply;
  };
  status.Refresh(true, false, poll);  // no trigger, free run
  reply = true;
  clock.Advance(999);
  status.Refresh(true, true, poll);  // too soon: the old answer stands
  clock.Advance(1);
  status.Refresh(true, true, poll);
  status.Refresh(false, true, poll);  // another source: no indication
  EXPECT_EQ(polls, 2);
  EXPECT_EQ(shown, (std::vector<int>{tsFreeRun, tsNotTriggered, tsTriggered, tsNone}));
}

TEST_F(TriggerStatusTest, DataArrivalDecidesWhileAcquiring) {
  TTriggerStatus status(clock);
  status.FromData(0);  // nothing yet
  status.FromData(12);
  clock.Advance(1000);
  status.FromData(0);  // within a second of the last points: unchanged
  clock.Advance(1);
  status.FromData(0);
  EXPECT_EQ(shown, (std::vector<int>{tsNotTriggered, tsTriggered, tsNotTriggered}));
}

}  // namespace
}  // namespace norv::test
