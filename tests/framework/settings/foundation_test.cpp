#include <gtest/gtest.h>

#include "framework/util/hook.h"
#include "framework/util/program_dir.h"
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

TEST(ProgramDir, TestsRunInTheirOwnFolders) {
  EXPECT_EQ(ProgramDir(), test::TestRoot() / "home");
  EXPECT_EQ(UserConfigDir(), test::TestRoot() / "config" / "vexilor-norv");
  EXPECT_TRUE(std::filesystem::is_directory(UserConfigDir()));
  EXPECT_EQ(UserRuntimeDir(), test::TestRoot() / "runtime");
}

}  // namespace
}  // namespace norv
