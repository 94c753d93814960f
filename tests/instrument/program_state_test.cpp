// The instrument layer's place in the program's state: the hooks it fills itself, and the
// end of its objects at exit.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/settings/program_objects.h"
#include "framework/util/hook.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/settings/settings_wiring.h"
#include "support/fake_clock.h"

namespace norv::test {
namespace {

class ProgramStateTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshProgramState(); }
  void TearDown() override { FreshProgramState(); }
  FakeClock clock;
};

// The names of the wired hooks, only the empty ones when emptyOnly.
std::vector<std::string> WiredHookNames(bool emptyOnly) {
  std::vector<std::string> names;
  for (const THookEntry& h : ListHooks())
    if (h.Kind == THookKind::Wired && !(emptyOnly && h.Set)) names.push_back(h.Name);
  return names;
}

TEST_F(ProgramStateTest, InstallingTheInstrumentLayerFillsEveryHookItOwns) {
  // A fresh state has them all empty.
  ASSERT_FALSE(WiredHookNames(false).empty());
  EXPECT_EQ(WiredHookNames(true).size(), WiredHookNames(false).size());

  CreateAcquisitionCycle(clock, clock);
  InstallInstrumentSettings();
  EXPECT_EQ(WiredHookNames(true), std::vector<std::string>{});
}

// A timer factory made at start-up, as the platform's is; its timers tell at their end
// whether it still stands.
bool probe_factory_gone = false;

class TProbeTimer final : public ITimer {
 public:
  ~TProbeTimer() override { std::fputs(probe_factory_gone ? "factory gone\n" : "factory alive\n", stderr); }
  void SetInterval(int ms) override { interval_ = ms; }
  int Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }

 private:
  int interval_ = 0;
  bool enabled_ = false;
};

class TProbeTimerFactory final : public ITimerFactory {
 public:
  ~TProbeTimerFactory() override { probe_factory_gone = true; }
  std::unique_ptr<ITimer> CreateTimer() override { return std::make_unique<TProbeTimer>(); }
};

TEST(ProgramExit, TheCycleGoesBeforeTheTimerFactoryMadeBeforeIt) {
  // A process of its own, in which nothing was made before the factory.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static TProbeTimerFactory timers;
        CreateAcquisitionCycle(SystemClock(), timers);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^factory alive\nfactory alive\n$");
  GTEST_FLAG_SET(death_test_style, "fast");
}

}  // namespace
}  // namespace norv::test
