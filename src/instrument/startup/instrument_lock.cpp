#include "instrument/startup/instrument_lock.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "framework/text/text_case.h"
#include "framework/util/file_io.h"
#include "framework/util/program_dir.h"

namespace norv {

namespace {

constexpr std::string_view MutexPrefix = "{6B2F0C38-91E4-4D7A-B5C2-000000000000}";

// -1 without a private runtime folder, or with something else than our lock file there.
int OpenInstrumentLock(std::string_view name) {
  const std::filesystem::path folder = UserRuntimeDir();
  if (folder.empty()) return -1;
  return OpenLockFile(folder / (InstrumentMutexName(name) + ".lock"));
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

std::unique_ptr<TInstrumentLock> TInstrumentLock::Take(std::string_view name) {
  const int fd = OpenInstrumentLock(name);
  if (fd < 0) return std::unique_ptr<TInstrumentLock>(new TInstrumentLock(-1));
  if (TryLock(fd) == 0) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<TInstrumentLock>(new TInstrumentLock(fd));
}

TInstrumentLock::~TInstrumentLock() {
  if (fd_ >= 0) close(fd_);
}

bool InstrumentBusy(std::string_view name) {
  const int fd = OpenInstrumentLock(name);
  if (fd < 0) return false;
  const bool busy = TryLock(fd) == 0;
  close(fd);
  return busy;
}

}  // namespace norv
