#include "framework/util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

#include "framework/util/processes.h"

namespace norv {

namespace fs = std::filesystem;

TFileReader::TFileReader(const fs::path& file) {
  // Nothing but a regular file is opened: opening some devices does something by itself.
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    FailWith(errno);
  } else if (!S_ISREG(info.st_mode)) {
    Fail(TFileReadError::NotRegular, "it is not a regular file");
  } else {
    // The name may have been given to a FIFO since: the open must not wait for its
    // writer, and what was opened is what counts.
    fd_ = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
      FailWith(errno);
    } else if (!S_ISREG(info.st_mode)) {
      Fail(TFileReadError::NotRegular, "it is not a regular file");
    } else {
      size_ = static_cast<std::uintmax_t>(info.st_size);
    }
  }
}

TFileReader::~TFileReader() {
  if (fd_ >= 0) ::close(fd_);
}

void TFileReader::Fail(TFileReadError error, std::string why) {
  error_ = error;
  why_ = std::move(why);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TFileReader::FailWith(int error) {
  if (error == ENOENT || error == ENOTDIR) return Fail(TFileReadError::Absent, "it does not exist");
  Fail(TFileReadError::Unreadable, "it cannot be read: " + std::generic_category().message(error));
}

std::size_t TFileReader::Read(char* data, std::size_t size) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < size) {
    const ssize_t n = ::read(fd_, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FailWith(errno);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

TFileRead ReadRegularFile(const fs::path& file, std::uintmax_t maxBytes) {
  TFileRead read;
  TFileReader in(file);
  const auto tooLarge = [&] {
    read.Bytes.clear();
    read.Error = TFileReadError::TooLarge;
    read.Why = "it is larger than " + std::to_string(maxBytes) + " bytes";
    return read;
  };
  if (in.Error() == TFileReadError::None && in.Size() > maxBytes) return tooLarge();
  // One byte more than its size tells a file that grew while it was read.
  std::uintmax_t want = in.Size() + 1;
  std::size_t size = 0;
  while (in.Error() == TFileReadError::None) {
    read.Bytes.resize(static_cast<std::size_t>(std::min(want, maxBytes + 1)));
    size += in.Read(read.Bytes.data() + size, read.Bytes.size() - size);
    if (size < read.Bytes.size()) break;
    if (size > maxBytes) return tooLarge();
    want = 2 * size;
  }
  read.Bytes.resize(size);
  read.Error = in.Error();
  read.Why = in.Why();
  if (!read) read.Bytes.clear();
  return read;
}

namespace {

constexpr std::string_view kTemporarySuffix = ".tmp";

// The room a test left on the disk; none: the disk's own.
std::optional<std::uintmax_t> DiskRoom;

std::string TemporaryPrefix(const fs::path& path) { return "." + path.filename().string() + "."; }

bool Fail(std::string* why, std::string reason) {
  if (why) *why = std::move(reason);
  return false;
}

std::string WriteFailure(int error) {
  return "it cannot be written: " + std::generic_category().message(error);
}

bool FailWith(std::string* why, int error) { return Fail(why, WriteFailure(error)); }

// The temporary files of path whose writer has gone (interrupted before its rename): they
// would stay for ever, each as big as the target.
void RemoveStaleTemporaries(const fs::path& path) {
  const std::string prefix = TemporaryPrefix(path);
  std::error_code ec;
  for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(prefix) || !name.ends_with(kTemporarySuffix)) continue;
    const std::string_view digits(name.data() + prefix.size(),
                                  name.size() - prefix.size() - kTemporarySuffix.size());
    pid_t pid = 0;
    const auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (digits.empty() || error != std::errc() || last != digits.data() + digits.size() || pid <= 0) continue;
    if (pid == getpid() || !ProcessAlive(pid)) {
      std::error_code removeError;
      fs::remove(it->path(), removeError);
    }
  }
}

// The permission bits the file replacing path gets: those of the regular file there, else
// nothing to keep (0). False when the user took the write permission away, ours or everyone's
// (root may write anything, but not what was made read-only for all): a replaced file would
// lose that.
bool TargetMode(const fs::path& path, mode_t& mode, std::string* why) {
  mode = 0;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
  if ((info.st_mode & 0222) == 0 || (::access(path.c_str(), W_OK) != 0 && errno == EACCES))
    return Fail(why, "the file is read-only");
  mode = info.st_mode & 0777;
  return true;
}

// A new file beside path under this process's temporary name. The name is unique to the
// process, so two copies never write one file; the file is made new, so nothing already in
// its place (a FIFO, a link) is ever opened.
class TTemporaryFile {
 public:
  TTemporaryFile(const fs::path& path, std::string* why)
      : name_(path.parent_path() / (TemporaryPrefix(path) + std::to_string(static_cast<long>(getpid())) +
                                    std::string(kTemporarySuffix))) {
    RemoveStaleTemporaries(path);
    do {
      fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
      FailWith(why, errno);
      kept_ = true;  // what stands there is not ours
    }
  }
  ~TTemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!kept_) ::unlink(name_.c_str());
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  int Fd() const { return fd_; }
  // Closes the file, reporting a failed close (a write the disk refused late).
  bool Close(std::string* why) {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 || FailWith(why, errno);
  }
  // Renames the closed file over path.
  bool RenameOver(const fs::path& path, std::string* why) {
    if (std::rename(name_.c_str(), path.c_str()) != 0) return FailWith(why, errno);
    kept_ = true;
    return true;
  }

 private:
  fs::path name_;
  int fd_ = -1;
  bool kept_ = false;
};

bool WriteAll(int fd, std::string_view bytes, std::string* why) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailWith(why, errno);
    if (n == 0) return FailWith(why, EIO);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const fs::path& path, std::string_view bytes, bool createFolder, std::string* why) {
  std::error_code ec;
  if (createFolder) fs::create_directories(path.parent_path(), ec);
  mode_t mode = 0;
  if (!TargetMode(path, mode, why)) return false;
  TTemporaryFile temp(path, why);
  if (temp.Fd() < 0) return false;
  if (mode != 0 && ::fchmod(temp.Fd(), mode) != 0) return FailWith(why, errno);
  if (DiskRoom && bytes.size() > *DiskRoom) {
    WriteAll(temp.Fd(), bytes.substr(0, static_cast<std::size_t>(*DiskRoom)), why);
    return FailWith(why, ENOSPC);
  }
  if (!WriteAll(temp.Fd(), bytes, why)) return false;
  // The data must be on disk before the name points at it.
  if (::fsync(temp.Fd()) != 0) return FailWith(why, errno);
  return temp.Close(why) && temp.RenameOver(path, why);
}

bool ReserveRoomFor(const fs::path& path, std::uintmax_t size, std::string* why) {
  mode_t mode = 0;
  if (!TargetMode(path, mode, why)) return false;
  if (size > static_cast<std::uintmax_t>(std::numeric_limits<off_t>::max())) return FailWith(why, EFBIG);
  TTemporaryFile temp(path, why);
  if (temp.Fd() < 0) return false;
  if (DiskRoom && size > *DiskRoom) return FailWith(why, ENOSPC);
  if (const int error = ::posix_fallocate(temp.Fd(), 0, static_cast<off_t>(size)); error != 0)
    return FailWith(why, error);
  return temp.Close(why);
}

bool IsAbsent(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() == fs::file_type::not_found;
}

std::string WithReason(std::string message, std::string_view why) {
  if (!why.empty()) message.append(": ").append(why);
  return message;
}

TDiskRoomForTests::TDiskRoomForTests(std::uintmax_t room) { DiskRoom = room; }
TDiskRoomForTests::~TDiskRoomForTests() { DiskRoom.reset(); }

int OpenLockFile(const fs::path& path, std::string* why) {
  const auto refuse = [&](int fd, std::string reason) {
    if (fd >= 0) ::close(fd);
    Fail(why, std::move(reason));
    return -1;
  };
  // Nothing but a regular file is opened, as for reading.
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
    return refuse(-1, S_ISLNK(info.st_mode) ? "it is a link" : "it is not a regular file");
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return refuse(-1, errno == ELOOP ? "it is a link" : WriteFailure(errno));
  // A name may have been given to something else since the look.
  if (::fstat(fd, &info) != 0) return refuse(fd, WriteFailure(errno));
  if (!S_ISREG(info.st_mode)) return refuse(fd, "it is not a regular file");
  if (info.st_uid != ::geteuid()) return refuse(fd, "it belongs to another user");
  return fd;
}

}  // namespace norv
