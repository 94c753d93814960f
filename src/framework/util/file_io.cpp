#include "framework/util/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <system_error>

#include "framework/util/processes.h"

namespace norv {

namespace fs = std::filesystem;

namespace {

class TDescriptor {
 public:
  explicit TDescriptor(int fd) : fd_(fd) {}
  ~TDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Get() const { return fd_; }
  // Closes now, for the writer that must know whether the close failed.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace

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

std::string TemporaryPrefix(const fs::path& path) { return "." + path.filename().string() + "."; }

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

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const fs::path& path, std::string_view bytes, bool createFolder) {
  std::error_code ec;
  if (createFolder) fs::create_directories(path.parent_path(), ec);
  RemoveStaleTemporaries(path);
  // The temporary name is unique to this process, so two copies never write one file; it
  // is made new, so nothing already in its place (a FIFO, a link) is ever opened.
  const fs::path temp =
      path.parent_path() /
      (TemporaryPrefix(path) + std::to_string(static_cast<long>(getpid())) + std::string(kTemporarySuffix));
  TDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (fd.Get() < 0) return false;
  // The data must be on disk before the name points at it.
  bool ok = WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
  ok = fd.Close() && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) fs::remove(temp, ec);
  return ok;
}

}  // namespace norv
