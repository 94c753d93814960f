#include "framework/util/program_dir.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <system_error>

#include "framework/util/errors.h"

namespace norv {

namespace fs = std::filesystem;

namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return (value && *value) ? value : nullptr;
}

// A folder (not a link to one) of ours that no one else may enter or write into.
bool PrivateFolder(const fs::path& folder) {
  struct stat info {};
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
         (info.st_mode & 077) == 0;
}

}  // namespace

fs::path FileNameFromText(std::string_view text) {
  const bool control = std::any_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
  if (control) throw EAssertion("ERROR!  File name with a control character");
  return fs::path(text);
}

fs::path ProgramDir() {
  if (const char* home = NonEmptyEnv("VEXILOR_NORV_HOME")) return fs::path(home);
  return ExecutableDir();
}

fs::path ExecutableDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : exe.parent_path();
}

fs::path UserConfigDir() {
  fs::path base;
  if (const char* xdg = NonEmptyEnv("XDG_CONFIG_HOME")) {
    base = xdg;
  } else if (const char* home = NonEmptyEnv("HOME")) {
    base = fs::path(home) / ".config";
  } else {
    base = PrivateTempDir();
    if (base.empty()) return ProgramDir();
  }
  fs::path dir = base / "vexilor-norv";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir;
}

fs::path TempDir() {
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  return ec ? fs::path("/tmp") : temp;
}

fs::path PrivateTempDir() {
  const fs::path folder = TempDir() / ("vexilor-norv-" + std::to_string(::geteuid()));
  // Made with our mode, or already there: then it must be ours and closed to others as well.
  ::mkdir(folder.c_str(), 0700);
  return PrivateFolder(folder) ? folder : fs::path();
}

fs::path FallbackRuntimeDir() {
  fs::path cache;
  if (const char* xdg = NonEmptyEnv("XDG_CACHE_HOME"); xdg && fs::path(xdg).is_absolute()) {
    cache = xdg;
  } else if (const char* home = NonEmptyEnv("HOME")) {
    cache = fs::path(home) / ".cache";
  } else if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_dir && *user->pw_dir) {
    cache = fs::path(user->pw_dir) / ".cache";
  } else {
    return {};
  }
  return cache / "vexilor-norv-runtime";
}

fs::path UserRuntimeDir() {
  if (const char* xdg = NonEmptyEnv("XDG_RUNTIME_DIR"); xdg && PrivateFolder(xdg)) return fs::path(xdg);
  const fs::path folder = FallbackRuntimeDir();
  if (folder.empty()) return {};
  std::error_code ec;
  fs::create_directories(folder.parent_path(), ec);
  ::mkdir(folder.c_str(), 0700);
  return PrivateFolder(folder) ? folder : fs::path();
}

}  // namespace norv
