#include "instrument/link/transport/tcp_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "framework/util/clock.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_state.h"
#include "instrument/link/link_transport.h"
#include "instrument/link/sample_stream.h"

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

// --- the TCP transport ------------------------------------------------------------------

namespace {

class TTcpTransport final : public ILinkTransport {
 public:
  TTcpTransport(std::string address, uint16_t port) : address_(std::move(address)), port_(port) {}

  // Opens the connection; true when it stands within TcpConnectTimeoutMs.
  bool Connect() { return socket_.Open(address_, port_) && socket_.WaitConnected(TcpConnectTimeoutMs); }

  bool Send(std::span<const uint8_t> line) override {
    // What arrived since the last reply belongs to no command: drop it, as a reply
    // belongs to the last command sent.
    replyLength_ = 0;
    if (!SampleStreamReceiving()) DiscardStaleInput();
    // While a probe connects anew, the link has no connection for commands.
    sent_ = probe_ == TProbe::Idle && socket_.Send(line);
    if (!sent_) CommFailure = true;
    return sent_;
  }

  std::string ReadReply() override {
    IClock& clock = ProgramClock();
    const int64_t start = clock.NowMs();
    // Without a command sent there is no reply to wait for.
    while (sent_) {
      if (replyLength_ > 0 && reply_[replyLength_ - 1] == '\n') break;
      if (replyLength_ == reply_.size()) break;
      if (socket_.Broken()) break;
      if (Pump()) continue;
      if (clock.NowMs() - start >= TcpReplyTimeoutMs) break;
      clock.SleepMs(1);
    }
    // A peer that has closed or fell silent: the link has failed.
    if (replyLength_ == 0) CommFailure = true;
    return ReplyText(std::span(reply_).first(replyLength_));
  }

  // Connects anew and asks for the logic version, reading the socket directly so that
  // nothing reaches the reply or sample buffers. Each call does what it can without
  // waiting and tells whether the probe has been answered; a new probe starts at most
  // every TcpProbeIntervalMs.
  bool Alive() override {
    const int64_t now = ProgramClock().NowMs();
    if (probe_ == TProbe::Idle) {
      if (now < nextProbeMs_) return false;
      nextProbeMs_ = now + TcpProbeIntervalMs;
      socket_.Close();
      if (!socket_.Open(address_, port_)) return false;
      probe_ = TProbe::Connecting;
      probeSinceMs_ = now;
    }
    if (probe_ == TProbe::Connecting) {
      if (!socket_.WaitConnected(0)) {
        if (socket_.Broken() || now - probeSinceMs_ >= TcpConnectTimeoutMs) probe_ = TProbe::Idle;
        return false;
      }
      const std::string probe = std::string(LinkProbeQuery) + "\r\n";
      if (!socket_.Send({reinterpret_cast<const uint8_t*>(probe.data()), probe.size()})) {
        probe_ = TProbe::Idle;
        return false;
      }
      probe_ = TProbe::Asking;
      probeSinceMs_ = now;
    }
    std::array<uint8_t, 256> scratch;
    for (size_t n; socket_.InputPending() && (n = socket_.Receive(scratch)) > 0;) {
      if (scratch[n - 1] == '\n') {
        probe_ = TProbe::Idle;
        return true;
      }
    }
    if (socket_.Broken() || now - probeSinceMs_ >= TcpProbeReplyTimeoutMs) probe_ = TProbe::Idle;
    return false;
  }

  bool ReadWaveData(std::span<const uint16_t>& words) override {
    TSampleBuffer& buffer = StreamBuffer();
    if (SampleStreamReceiving()) {
      while (Pump()) {
      }
    }
    words = buffer.TakeWords();
    if (!words.empty()) return true;
    if (buffer.Overflowed() || socket_.Broken()) return false;
    return !Acquiring || ProgramClock().NowMs() - buffer.LastDataMs() < TcpStreamSilenceLimitMs;
  }

 private:
  // One read event: what waits goes to the sample stream or to the reply. False when
  // nothing was waiting or there is no room for it.
  bool Pump() {
    if (!socket_.InputPending()) return false;
    if (!SampleStreamReceiving()) {
      replyLength_ += socket_.Receive(std::span(reply_).subspan(replyLength_));
      return true;
    }
    TSampleBuffer& buffer = StreamBuffer();
    const std::span<uint8_t> room = buffer.Room();
    if (room.empty()) return false;
    const size_t received = socket_.Receive(room);
    if (received == 0) return true;
    buffer.Received(received);
    if (BreakingAcquisition || !buffer.EndWordLast()) RequestNextBlock();
    return true;
  }

  // Asks the instrument for the next part of the record.
  void RequestNextBlock() {
    static constexpr std::array<uint8_t, 3> Continuation{0x00, 0x0D, 0x0A};
    socket_.Send(Continuation);
  }

  void DiscardStaleInput() {
    std::array<uint8_t, 4096> scratch;
    while (socket_.InputPending() && socket_.Receive(scratch) > 0) {
    }
  }

  const std::string address_;
  const uint16_t port_;
  TMyTSPIPPribor socket_;
  std::array<uint8_t, ReplyBufferSize> reply_;
  size_t replyLength_ = 0;
  bool sent_ = false;  // the last command went out

  enum class TProbe { Idle, Connecting, Asking };
  TProbe probe_ = TProbe::Idle;
  int64_t probeSinceMs_ = 0;  // start of the probe's present step
  int64_t nextProbeMs_ = 0;
};

}  // namespace

std::unique_ptr<ILinkTransport> OpenTcpTransport(const std::string& dottedAddress, uint16_t port) {
  auto transport = std::make_unique<TTcpTransport>(dottedAddress, port);
  if (!transport->Connect()) return nullptr;
  return transport;
}

}  // namespace norv
