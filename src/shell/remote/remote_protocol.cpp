#include "shell/remote/remote_protocol.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <system_error>

#include "framework/util/processes.h"
#include "framework/util/program_dir.h"

namespace norv {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSocketPrefix = "vexilor-norv-";
constexpr std::string_view kSocketSuffix = ".sock";
// "ERR " + 10 digits + LF fits; a longer header is broken.
constexpr size_t kMaxHeaderBytes = 24;

}  // namespace

bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int more = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((c & 0xE0) == 0xC0) {
      more = 1, cp = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, cp = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, cp = c & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (end - p <= more) return false;
    for (int i = 1; i <= more; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    p += more + 1;
  }
  return true;
}

std::string FrameHead(bool ok, size_t size) {
  std::string head = ok ? "OK " : "ERR ";
  head += std::to_string(size);
  head += '\n';
  return head;
}

std::string EncodeFrame(bool ok, std::string_view text) { return FrameHead(ok, text.size()).append(text); }

// ---------------------------------------------------------------------------------------

void TRequestReader::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t lf = bytes.find('\n');
    if (discarding_) {
      if (lf == std::string_view::npos) return;
      bytes.remove_prefix(lf + 1);
      discarding_ = false;
      continue;
    }
    const std::string_view piece = bytes.substr(0, lf);
    if (partial_.size() + piece.size() > max_) {
      events_.push_back({TKind::TooLong, {}});
      partial_.clear();
      partial_.shrink_to_fit();
      if (lf == std::string_view::npos) {
        discarding_ = true;
        return;
      }
      bytes.remove_prefix(lf + 1);
      continue;
    }
    partial_.append(piece);
    if (lf == std::string_view::npos) return;
    bytes.remove_prefix(lf + 1);
    if (IsValidUtf8(partial_))
      events_.push_back({TKind::Line, std::move(partial_)});
    else
      events_.push_back({TKind::NotUtf8, {}});
    partial_.clear();
  }
}

std::optional<TRequestReader::TEvent> TRequestReader::Next() {
  if (events_.empty()) return std::nullopt;
  TEvent event = std::move(events_.front());
  events_.pop_front();
  return event;
}

void TRequestReader::Clear() {
  partial_.clear();
  discarding_ = false;
  events_.clear();
}

// ---------------------------------------------------------------------------------------

void TReplyReader::Feed(std::string_view bytes) {
  if (broken_) return;
  buffer_.append(bytes);
  Parse();
}

void TReplyReader::Parse() {
  size_t pos = 0;
  while (!broken_) {
    const std::string_view rest = std::string_view(buffer_).substr(pos);
    const size_t lf = rest.find('\n');
    if (lf == std::string_view::npos) {
      broken_ = rest.size() > kMaxHeaderBytes;
      break;
    }
    const std::string_view header = rest.substr(0, lf);
    const bool ok = header.starts_with("OK ");
    if (!ok && !header.starts_with("ERR ")) {
      broken_ = true;
      break;
    }
    const std::string_view digits = header.substr(ok ? 3 : 4);
    size_t length = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    const bool wellFormed = !digits.empty() && digits.size() <= 10 && ec == std::errc() &&
                            end == digits.data() + digits.size() && length <= kMaxReplyBytes;
    if (!wellFormed) {
      broken_ = true;
      break;
    }
    if (rest.size() - lf - 1 < length) break;
    frames_.push_back({ok, std::string(rest.substr(lf + 1, length))});
    pos += lf + 1 + length;
  }
  if (broken_) {
    buffer_.clear();
    return;
  }
  buffer_.erase(0, pos);
}

std::optional<TReplyReader::TFrame> TReplyReader::Next() {
  if (frames_.empty()) return std::nullopt;
  TFrame frame = std::move(frames_.front());
  frames_.pop_front();
  return frame;
}

// ---------------------------------------------------------------------------------------

fs::path RemoteSocketFolder() {
  fs::path folder = UserRuntimeDir();
  if (folder.empty())
    throw ERemoteError("No folder private to this user for the remote-control socket (" +
                       FallbackRuntimeDir().string() + ")");
  return folder;
}

fs::path RemoteSocketPath(const fs::path& folder, pid_t pid) {
  return folder / (std::string(kSocketPrefix) + std::to_string(pid) + std::string(kSocketSuffix));
}

std::optional<pid_t> PidOfSocketName(std::string_view name) {
  if (!name.starts_with(kSocketPrefix) || !name.ends_with(kSocketSuffix)) return std::nullopt;
  name.remove_prefix(kSocketPrefix.size());
  name.remove_suffix(kSocketSuffix.size());
  pid_t pid = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (name.empty() || name[0] == '0' || ec != std::errc() || end != name.data() + name.size() || pid <= 0)
    return std::nullopt;
  return pid;
}

std::vector<pid_t> RunningCopies(const fs::path& folder) {
  std::vector<pid_t> pids;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::optional<pid_t> pid = PidOfSocketName(it->path().filename().native());
    std::error_code typeError;
    if (pid && it->is_socket(typeError) && ProcessAlive(*pid)) pids.push_back(*pid);
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

}  // namespace norv
