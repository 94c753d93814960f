#pragma once
// Whole files whose names come from users, other programs and the program folder: every
// file the program reads and writes goes through here.
//
// Only a regular file is read. Anything can stand in its place: opening a FIFO blocks
// until a writer comes (the program with it, for good), a device can read without end,
// a folder reads as nothing. Each is refused at once with a reason, and the open itself
// never waits. Writes go to a temporary file made new beside the target and are renamed
// over it, so a FIFO or link in the target's place is replaced, never opened or followed,
// and a failed write leaves the old file. Nothing else the program keeps is written: whatever
// makes a file (a picture, a report) makes its bytes first and hands them to the writer.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace norv {

enum class TFileReadError : uint8_t { None, Absent, NotRegular, Unreadable, TooLarge };

// A regular file open for reading from its start.
class TFileReader {
 public:
  explicit TFileReader(const std::filesystem::path& file);
  ~TFileReader();
  TFileReader(const TFileReader&) = delete;
  TFileReader& operator=(const TFileReader&) = delete;

  // None while the file is open and every read has succeeded.
  TFileReadError Error() const { return error_; }
  // Why the file was not opened or read ("it is not a regular file"), for messages.
  const std::string& Why() const { return why_; }
  // The size when it was opened.
  std::uintmax_t Size() const { return size_; }
  // Reads up to size bytes: fewer only at the end of the file or on an error.
  std::size_t Read(char* data, std::size_t size);

 private:
  void Fail(TFileReadError error, std::string why);
  void FailWith(int error);  // errno of a system call

  int fd_ = -1;
  std::uintmax_t size_ = 0;
  TFileReadError error_ = TFileReadError::None;
  std::string why_;
};

struct TFileRead {
  TFileReadError Error = TFileReadError::None;
  std::string Bytes;
  std::string Why;  // as TFileReader::Why
  explicit operator bool() const { return Error == TFileReadError::None; }
};

// More than any file the program writes; a larger one is refused rather than read whole.
inline constexpr std::uintmax_t kMaxReadFileBytes = std::uintmax_t{64} << 20;

// The whole of a regular file of at most maxBytes.
TFileRead ReadRegularFile(const std::filesystem::path& file, std::uintmax_t maxBytes = kMaxReadFileBytes);

// Writes bytes to path through a temporary file in the same folder, flushed to disk before
// the rename; creates the folder when asked. The new file keeps the permission bits of the
// file it replaces, and a file we may not write (the user made it read-only) is refused:
// "the file is read-only". False when any step fails, with the target left as it was, the
// temporary file removed and the reason in why when given.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, bool createFolder = true,
                         std::string* why = nullptr);

// Whether a file of size bytes can be written at path later: the target is not read-only
// and the disk holds that much, tried in the writer's own temporary file, removed again.
bool ReserveRoomFor(const std::filesystem::path& path, std::uintmax_t size, std::string* why = nullptr);

// True when nothing stands at path (a link, even a dangling one, is something there).
bool IsAbsent(const std::filesystem::path& path);

// A message about a file with the reason its read or write failed, when there is one.
std::string WithReason(std::string message, std::string_view why);

// Tests stand a full disk in the writer's way: while one lives, a file written through here
// takes at most room bytes and its write then fails as on a full disk ("No space left on
// device"); a reservation of more fails likewise. One at a time.
class TDiskRoomForTests {
 public:
  explicit TDiskRoomForTests(std::uintmax_t room);
  ~TDiskRoomForTests();
  TDiskRoomForTests(const TDiskRoomForTests&) = delete;
  TDiskRoomForTests& operator=(const TDiskRoomForTests&) = delete;
};

// A lock file (for flock()) open for reading and writing, made with mode 0600 when absent;
// -1 with the reason in why when it is not a regular file of ours: a link in its place is
// never followed, a FIFO or device never opened. The caller closes it.
int OpenLockFile(const std::filesystem::path& path, std::string* why = nullptr);

}  // namespace norv
