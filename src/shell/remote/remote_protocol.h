#pragma once
// The wire form of remote control, shared by the program's server and the client tool.
//
// Every running copy listens on a Unix-domain socket "vexilor-norv-<pid>.sock" in the
// user's runtime folder. A request is one command line in UTF-8 ended by LF; the answer is
// "OK <n>" LF and n bytes of reply text, or "ERR <n>" LF and n bytes of an error message.
//
// Runtime folder: the user's runtime folder of the lock files (UserRuntimeDir): another
// user must not be able to plant a link or a socket of their own there.

#include <sys/types.h>

#include <cstddef>
#include <deque>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace norv {

// A request line may hold this many bytes before its LF.
inline constexpr size_t kMaxRequestBytes = size_t{1} << 20;
// The longest reply: the program answers a line whose reply grows past it with an error,
// and the client refuses a header announcing more.
inline constexpr size_t kMaxReplyBytes = size_t{16} << 20;

// Failures of the remote socket (creating, binding, connecting) with their reason.
class ERemoteError : public std::runtime_error {
 public:
  explicit ERemoteError(const std::string& text) : std::runtime_error(text) {}
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// "OK <n>\n" or "ERR <n>\n" for a text of n bytes.
std::string FrameHead(bool ok, size_t size);
// The head, then the text.
std::string EncodeFrame(bool ok, std::string_view text);

// Splits what a client sends into requests, whatever pieces it arrives in. A line longer
// than the limit gives one TooLong as soon as the limit is passed, and the rest of it up to
// its LF is dropped; a line that is not UTF-8 gives NotUtf8. Memory stays below the limit
// plus what one Feed brings.
class TRequestReader {
 public:
  enum class TKind { Line, TooLong, NotUtf8 };
  struct TEvent {
    TKind Kind;
    std::string Line;  // the request without its LF (Line only)
  };

  explicit TRequestReader(size_t maxBytes = kMaxRequestBytes) : max_(maxBytes) {}

  void Feed(std::string_view bytes);
  // The next event in arrival order.
  std::optional<TEvent> Next();
  bool HasEvent() const { return !events_.empty(); }
  // Bytes of a line whose LF has not come yet are held.
  bool InsideLine() const { return !partial_.empty() || discarding_; }
  void Clear();

 private:
  size_t max_;
  std::string partial_;
  bool discarding_ = false;
  std::deque<TEvent> events_;
};

// Splits what a server sends into answers. A header that is not "OK <n>" or "ERR <n>"
// (decimal, at most kMaxReplyBytes) makes the reader Broken for good.
class TReplyReader {
 public:
  struct TFrame {
    bool Ok;
    std::string Text;
  };

  void Feed(std::string_view bytes);
  std::optional<TFrame> Next();
  bool Broken() const { return broken_; }
  // Bytes of an unfinished answer are held.
  bool InsideFrame() const { return !buffer_.empty(); }

 private:
  void Parse();

  std::string buffer_;
  std::deque<TFrame> frames_;
  bool broken_ = false;
};

// The folder of the sockets (see above); created when missing. ERemoteError when there is
// no folder private to this user.
std::filesystem::path RemoteSocketFolder();
std::filesystem::path RemoteSocketPath(const std::filesystem::path& folder, pid_t pid);
// The process id in a socket's file name, or nothing for another name.
std::optional<pid_t> PidOfSocketName(std::string_view fileName);
// The ids of the copies whose sockets lie in the folder and whose process lives, sorted.
std::vector<pid_t> RunningCopies(const std::filesystem::path& folder);

}  // namespace norv
