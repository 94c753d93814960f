#include "framework/util/program_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/temp_home.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

// An environment variable set for one test.
class TEnv {
 public:
  TEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
  }
  ~TEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }
  TEnv(const TEnv&) = delete;
  TEnv& operator=(const TEnv&) = delete;

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

// Another user could make our folder in the shared temporary folder first, or put a link
// there, and then plant links in it: it is used only while it is ours and closed to others.
TEST(PrivateTempDir, IsUsedOnlyWhileItIsAFolderOfOursClosedToOthers) {
  const fs::path temp = test::MakeTempDir("shared-temp");
  const TEnv tmpdir("TMPDIR", temp.string());
  const fs::path mine = temp / ("vexilor-norv-" + std::to_string(geteuid()));
  EXPECT_EQ(TempDir(), temp);
  ASSERT_EQ(PrivateTempDir(), mine);
  EXPECT_EQ(fs::status(mine).permissions(), fs::perms::owner_all);

  // Without a private runtime folder the runtime files go there too.
  const fs::path open = test::MakeTempDir("open-runtime");
  fs::permissions(open, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  for (const std::string& runtime : {open.string(), std::string()}) {
    const TEnv xdg("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(UserRuntimeDir(), mine) << runtime;
  }

  fs::permissions(mine, fs::perms::owner_all | fs::perms::others_exec);
  EXPECT_EQ(PrivateTempDir(), fs::path());
  fs::remove(mine);
  fs::create_directory_symlink(test::MakeTempDir("elsewhere"), mine);
  fs::permissions(mine, fs::perms::owner_all);
  EXPECT_EQ(PrivateTempDir(), fs::path());
  const TEnv xdg("XDG_RUNTIME_DIR", "");
  EXPECT_EQ(UserRuntimeDir(), fs::path());
}

}  // namespace
}  // namespace norv
