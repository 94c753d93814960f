#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "framework/util/hook.h"
#include "framework/util/program_dir.h"
#include "support/temp_home.h"

namespace norv {
namespace {

TEST(Hook, EmptyHookGivesFallbackUntilFilled) {
  THook<int(int)> plain{"Test.Plain"};
  EXPECT_EQ(plain(5), 0);
  THook<int(int)> withFallback{Fallback("Test.WithFallback"), [](int x) { return -x; }};
  EXPECT_EQ(withFallback(5), -5);
  withFallback.Set([](int x) { return x * 2; });
  EXPECT_EQ(withFallback(5), 10);
  withFallback.Reset();
  EXPECT_EQ(withFallback(5), -5);
  THook<void()> action{"Test.Action"};
  action();  // does nothing
}

// The hooks named "Test.*" that exist now: name, kind, filled.
std::vector<std::tuple<std::string, THookKind, bool>> TestHooks() {
  std::vector<std::tuple<std::string, THookKind, bool>> found;
  for (const THookEntry& h : ListHooks())
    if (h.Name.starts_with("Test.")) found.emplace_back(h.Name, h.Kind, h.Set);
  std::sort(found.begin(), found.end());
  return found;
}

TEST(Hook, EveryHookIsListedWithItsNameWhileItExists) {
  struct TPair {
    THook<void()> A{"Test.A"};
    THook<int()> B{Wired("Test.B"), [] { return 7; }};
  };
  using E = std::tuple<std::string, THookKind, bool>;
  {
    TPair pair;
    THook<void()> c{Fallback("Test.C")};
    pair.A.Set([] {});
    EXPECT_EQ(TestHooks(), (std::vector<E>{{"Test.A", THookKind::FromAbove, true},
                                           {"Test.B", THookKind::Wired, false},
                                           {"Test.C", THookKind::Fallback, false}}));
    // Put back to its start as the program units do: names stay, functions go.
    pair = {};
    EXPECT_EQ(TestHooks(), (std::vector<E>{{"Test.A", THookKind::FromAbove, false},
                                           {"Test.B", THookKind::Wired, false},
                                           {"Test.C", THookKind::Fallback, false}}));
    EXPECT_EQ(pair.B(), 7);
  }
  EXPECT_EQ(TestHooks(), std::vector<E>{});
}

TEST(ProgramDir, TestsRunInTheirOwnFolders) {
  EXPECT_EQ(ProgramDir(), test::TestRoot() / "home");
  EXPECT_EQ(UserConfigDir(), test::TestRoot() / "config" / "vexilor-norv");
  EXPECT_TRUE(std::filesystem::is_directory(UserConfigDir()));
  EXPECT_EQ(UserRuntimeDir(), test::TestRoot() / "runtime");
}

}  // namespace
}  // namespace norv
