#include "instrument/tcp_link.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace norv {

namespace {

// A full send buffer on a live connection drains within milliseconds; past this the
// connection is treated as broken rather than freezing the program.
constexpr int SendBufferWaitMs = 1000;

bool PollFor(int fd, short events, int timeoutMs, short* revents = nullptr) {
  pollfd p{fd, events, 0};
  int n;
  do {
    n = ::poll(&p, 1, timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (revents) *revents = n > 0 ? p.revents : 0;
  return n > 0;
}

}  // namespace

TMyTSPIPPribor::~TMyTSPIPPribor() { Close(); }

bool TMyTSPIPPribor::Open(const std::string& dottedAddress, uint16_t port) {
  Close();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (::inet_pton(AF_INET, dottedAddress.c_str(), &addr.sin_addr) != 1) return false;

  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  // Commands are a few bytes each; they must leave at once, not wait for more.
  int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
    connected_ = true;
  } else if (errno != EINPROGRESS) {
    broken_ = true;
  }
  return true;
}

void TMyTSPIPPribor::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  connected_ = false;
  broken_ = false;
}

bool TMyTSPIPPribor::WaitConnected(int timeoutMs) {
  if (connected_ || broken_ || fd_ < 0) return connected_;
  short revents = 0;
  if (!PollFor(fd_, POLLOUT, timeoutMs, &revents)) return false;
  int error = 0;
  socklen_t len = sizeof error;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0 ||
      (revents & (POLLERR | POLLHUP))) {
    broken_ = true;
    return false;
  }
  connected_ = true;
  return true;
}

bool TMyTSPIPPribor::InputPending() const {
  if (fd_ < 0 || !connected_ || broken_) return false;
  return PollFor(fd_, POLLIN, 0);
}

size_t TMyTSPIPPribor::Receive(std::span<uint8_t> into) {
  if (fd_ < 0 || !connected_ || broken_ || into.empty()) return 0;
  ssize_t n;
  do {
    n = ::recv(fd_, into.data(), into.size(), 0);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return static_cast<size_t>(n);
  if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) broken_ = true;
  return 0;
}

bool TMyTSPIPPribor::Send(std::span<const uint8_t> bytes) {
  if (fd_ < 0 || !connected_ || broken_) return false;
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!PollFor(fd_, POLLOUT, SendBufferWaitMs)) {
        broken_ = true;
        return false;
      }
    } else {
      broken_ = true;
      return false;
    }
  }
  return true;
}

}  // namespace norv
