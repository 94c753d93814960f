#include "instrument/startup/instrument_lock.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/text/text_case.h"
#include "framework/util/file_io.h"
#include "framework/util/program_dir.h"

namespace norv {

namespace {

constexpr std::string_view MutexPrefix = "{6B2F0C38-91E4-4D7A-B5C2-000000000000}";

// -1 without a private runtime folder, or with something else than our lock file there;
// `why` then tells what.
int OpenInstrumentLock(std::string_view name, std::string* why) {
  const std::filesystem::path folder = UserRuntimeDir();
  if (folder.empty()) {
    if (why) *why = "no folder private to this user (" + FallbackRuntimeDir().string() + ")";
    return -1;
  }
  const std::filesystem::path file = folder / (InstrumentMutexName(name) + ".lock");
  std::string reason;
  const int fd = OpenLockFile(file, &reason);
  if (fd < 0 && why) *why = file.string() + ": " + reason;
  return fd;
}

// 1 locked, 0 held by another, -1 failed otherwise.
int TryLock(int fd) {
  int r;
  do {
    r = flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r == 0) return 1;
  return errno == EWOULDBLOCK ? 0 : -1;
}

}  // namespace

std::string InstrumentMutexName(std::string_view name) {
  return UpperAscii(std::string(MutexPrefix) + std::string(name));
}

std::unique_ptr<TInstrumentLock> TInstrumentLock::Take(std::string_view name, std::string& why) {
  why.clear();
  const int fd = OpenInstrumentLock(name, &why);
  if (fd < 0) return nullptr;
  const int locked = TryLock(fd);
  if (locked == 1) return std::unique_ptr<TInstrumentLock>(new TInstrumentLock(fd));
  if (locked < 0) why = "the lock file cannot be locked: " + std::string(std::strerror(errno));
  close(fd);
  return nullptr;
}

TInstrumentLock::~TInstrumentLock() {
  if (fd_ >= 0) close(fd_);
}

bool InstrumentBusy(std::string_view name) {
  const int fd = OpenInstrumentLock(name, nullptr);
  if (fd < 0) return false;
  const bool busy = TryLock(fd) == 0;
  close(fd);
  return busy;
}

}  // namespace norv
