#include "support/temp_home.h"

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "framework/settings/program_objects.h"

namespace norv::test {

namespace fs = std::filesystem;

namespace {
fs::path g_root;
}

const fs::path& TestRoot() { return g_root; }

fs::path MakeTempDir(const char* hint) {
  static std::atomic<int> counter{0};
  fs::path dir = g_root / "tmp" / (std::string(hint) + "-" + std::to_string(counter++));
  fs::create_directories(dir);
  return dir;
}

void SetUpTestHome() {
  std::string pattern = (fs::temp_directory_path() / "norv-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create the test folder");
  g_root = pattern;
  for (const char* sub : {"home", "config", "cache", "runtime", "tmp"}) fs::create_directories(g_root / sub);
  fs::permissions(g_root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
  setenv("VEXILOR_NORV_HOME", (g_root / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (g_root / "config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (g_root / "runtime").c_str(), 1);
  setenv("XDG_CACHE_HOME", (g_root / "cache").c_str(), 1);
}

void TearDownTestHome() {
  // What the tests left of the program goes first: it may hold files in the folders, and
  // in the Qt tests timers and windows of the application.
  ProgramObjects.FreeAll();
  std::error_code ec;
  if (!g_root.empty()) fs::remove_all(g_root, ec);
}

}  // namespace norv::test
