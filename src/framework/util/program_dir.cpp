#include "framework/util/program_dir.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "framework/util/errors.h"

namespace norv {

namespace fs = std::filesystem;

namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return (value && *value) ? value : nullptr;
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
    base = fs::temp_directory_path();
  }
  fs::path dir = base / "vexilor-norv";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir;
}

fs::path UserRuntimeDir() {
  if (const char* xdg = NonEmptyEnv("XDG_RUNTIME_DIR")) return fs::path(xdg);
  return fs::temp_directory_path();
}

}  // namespace norv
