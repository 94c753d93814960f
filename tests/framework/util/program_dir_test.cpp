#include "framework/util/program_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/scoped_env.h"
#include "support/temp_home.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

using TEnv = test::TScopedEnv;

// Another user could make our folder in the shared temporary folder first, or put a link
// there, and then plant links in it: it is used only while it is ours and closed to others.
TEST(PrivateTempDir, IsUsedOnlyWhileItIsAFolderOfOursClosedToOthers) {
  const fs::path temp = test::MakeTempDir("shared-temp");
  const TEnv tmpdir("TMPDIR", temp.string());
  const fs::path mine = temp / ("vexilor-norv-" + std::to_string(geteuid()));
  EXPECT_EQ(TempDir(), temp);
  ASSERT_EQ(PrivateTempDir(), mine);
  EXPECT_EQ(fs::status(mine).permissions(), fs::perms::owner_all);

  fs::permissions(mine, fs::perms::owner_all | fs::perms::others_exec);
  EXPECT_EQ(PrivateTempDir(), fs::path());
  fs::remove(mine);
  fs::create_directory_symlink(test::MakeTempDir("elsewhere"), mine);
  fs::permissions(mine, fs::perms::owner_all);
  EXPECT_EQ(PrivateTempDir(), fs::path());
}

// Without a private runtime folder the runtime files go to a folder of the user's cache
// folder, whatever the temporary folder holds; nothing but a private folder of ours there.
TEST(UserRuntimeDir, IsAPrivateFolderOfTheUsersCacheWithoutAPrivateRuntimeFolder) {
  const fs::path temp = test::MakeTempDir("hostile-temp"), home = test::MakeTempDir("home");
  const TEnv tmpdir("TMPDIR", temp.string());
  fs::create_directory_symlink(test::MakeTempDir("open"),
                               temp / ("vexilor-norv-" + std::to_string(geteuid())));
  const fs::path open = test::MakeTempDir("open-runtime");
  fs::permissions(open, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  const fs::path cache = home / "elsewhere" / "cache";
  const struct {
    std::string Runtime, CacheHome, Home;
    fs::path Expected;
  } cases[] = {
      {open.string(), cache.string(), home.string(), cache / "vexilor-norv-runtime"},
      {"", "", home.string(), home / ".cache" / "vexilor-norv-runtime"},
      // A relative cache folder is no folder of the user's.
      {"", "cache", home.string(), home / ".cache" / "vexilor-norv-runtime"},
  };
  for (const auto& c : cases) {
    const TEnv xdg("XDG_RUNTIME_DIR", c.Runtime), xdgCache("XDG_CACHE_HOME", c.CacheHome), h("HOME", c.Home);
    EXPECT_EQ(UserRuntimeDir(), c.Expected) << c.Runtime << " " << c.CacheHome;
    EXPECT_EQ(fs::status(c.Expected).permissions(), fs::perms::owner_all);
  }

  const TEnv xdg("XDG_RUNTIME_DIR", ""), xdgCache("XDG_CACHE_HOME", cache.string());
  fs::permissions(cache / "vexilor-norv-runtime", fs::perms::owner_all | fs::perms::others_exec);
  EXPECT_EQ(UserRuntimeDir(), fs::path());
  fs::remove(cache / "vexilor-norv-runtime");
  const fs::path elsewhere = test::MakeTempDir("private-elsewhere");
  fs::permissions(elsewhere, fs::perms::owner_all);
  fs::create_directory_symlink(elsewhere, cache / "vexilor-norv-runtime");
  EXPECT_EQ(UserRuntimeDir(), fs::path());
}

}  // namespace
}  // namespace norv
