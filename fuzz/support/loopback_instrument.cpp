#include "support/loopback_instrument.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

namespace norv::fuzz {

TLoopbackInstrument::TLoopbackInstrument() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 8) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    throw std::runtime_error("loopback instrument: cannot listen");
  }
  port_ = ntohs(addr.sin_port);
}

TLoopbackInstrument::~TLoopbackInstrument() {
  Close();
  ::close(listenFd_);
}

void TLoopbackInstrument::Start(std::vector<std::string_view> replies,
                                std::vector<std::string_view> streamParts) {
  Close();
  replies_ = std::move(replies);
  parts_ = std::move(streamParts);
  nextReply_ = nextPart_ = 0;
}

void TLoopbackInstrument::Close() {
  if (clientFd_ >= 0) ::close(clientFd_);
  clientFd_ = -1;
  lineBuffer_.clear();
  replies_.clear();
  parts_.clear();
  nextReply_ = nextPart_ = 0;
  // Connections the program made and gave up before they were served.
  for (int fd; (fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) ::close(fd);
}

bool TLoopbackInstrument::Service() {
  // A look first: an accept that finds nothing still makes and frees a socket, and the
  // program's waits call this thousands of times an input.
  pollfd listening{listenFd_, POLLIN, 0};
  const bool pending = ::poll(&listening, 1, 0) > 0 && (listening.revents & POLLIN);
  // The newest connection is the program's: it reconnects to probe a failed link.
  for (int fd; pending && (fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
    if (clientFd_ >= 0) ::close(clientFd_);
    clientFd_ = fd;
    lineBuffer_.clear();
  }
  if (clientFd_ < 0) return false;
  std::array<char, 4096> chunk;
  for (;;) {
    const ssize_t n = ::recv(clientFd_, chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (n == 0) {
      ::close(clientFd_);
      clientFd_ = -1;
      return false;
    }
    if (n < 0) break;
    lineBuffer_.append(chunk.data(), static_cast<size_t>(n));
  }
  bool answered = false;
  for (size_t end; clientFd_ >= 0 && (end = lineBuffer_.find('\n')) != std::string::npos;) {
    std::string line = lineBuffer_.substr(0, end);
    lineBuffer_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    answered = HandleLine(line) || answered;
  }
  return answered;
}

bool TLoopbackInstrument::HandleLine(const std::string& line) {
  const bool continuation = line == std::string(1, '\0');
  if (continuation || line == "ACQ:GO") {
    if (nextPart_ == parts_.size()) return false;
    Send(parts_[nextPart_++]);
  } else if (line == "ACQ:BREAK") {
    Send(std::string_view("\x00\x80", 2));  // the end word
  } else {
    if (line.find('?') == std::string::npos || nextReply_ == replies_.size()) return false;
    Send(replies_[nextReply_++]);
  }
  return true;
}

void TLoopbackInstrument::Send(std::string_view bytes) {
  while (!bytes.empty() && clientFd_ >= 0) {
    const ssize_t n = ::send(clientFd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace norv::fuzz
