#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "framework/hook.h"
#include "framework/program_dir.h"
#include "support/fake_clock.h"
#include "support/temp_home.h"

namespace norv {
namespace {

TEST(Hook, EmptyHookGivesFallbackUntilFilled) {
  THook<int(int)> plain;
  EXPECT_EQ(plain(5), 0);
  THook<int(int)> withFallback([](int x) { return -x; });
  EXPECT_EQ(withFallback(5), -5);
  withFallback.Set([](int x) { return x * 2; });
  EXPECT_EQ(withFallback(5), 10);
  withFallback.Reset();
  EXPECT_EQ(withFallback(5), -5);
  THook<void()> action;
  action();  // does nothing
}

TEST(FakeClock, TimersFireInTimeOrderAndSleepFiresNothing) {
  test::FakeClock clock(0);
  std::vector<int> fired;
  auto fast = clock.CreateTimer();
  auto slow = clock.CreateTimer();
  fast->SetInterval(10);
  slow->SetInterval(25);
  fast->OnTimer = [&] { fired.push_back(10); };
  slow->OnTimer = [&] {
    fired.push_back(25);
    slow->SetEnabled(false);  // one-shot
  };
  fast->SetEnabled(true);
  slow->SetEnabled(true);
  clock.SleepMs(100);
  EXPECT_TRUE(fired.empty());
  EXPECT_EQ(clock.NowMs(), 100);
  clock.Advance(30);  // fast was due at 10, slips to 100, then 110, 120, 130; slow at 25 -> 100
  EXPECT_EQ(fired, (std::vector<int>{10, 25, 10, 10, 10}));
  EXPECT_EQ(clock.NowMs(), 130);
  fast.reset();
  clock.Advance(100);  // a destroyed timer never fires
  EXPECT_EQ(fired.size(), 5u);
}

TEST(ProgramDir, TestsRunInTheirOwnFolders) {
  EXPECT_EQ(ProgramDir(), test::TestRoot() / "home");
  EXPECT_EQ(UserConfigDir(), test::TestRoot() / "config" / "vexilor-norv");
  EXPECT_TRUE(std::filesystem::is_directory(UserConfigDir()));
  EXPECT_EQ(UserRuntimeDir(), test::TestRoot() / "runtime");
}

}  // namespace
}  // namespace norv
