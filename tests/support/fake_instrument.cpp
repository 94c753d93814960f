#include "support/fake_instrument.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <stdexcept>

#include "support/fake_clock.h"

namespace norv::test {

namespace {

constexpr uint16_t EndWord = 0x8000;
constexpr auto SyncWait = std::chrono::seconds(5);

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

void AppendWord(std::string& bytes, uint16_t word) {
  bytes.push_back(static_cast<char>(word & 0xFF));
  bytes.push_back(static_cast<char>(word >> 8));
}

}  // namespace

FakeInstrument::FakeInstrument() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("fake instrument: no socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 4) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("fake instrument: cannot listen");
  }
  port_ = ntohs(addr.sin_port);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this] { Serve(); });
}

FakeInstrument::~FakeInstrument() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  thread_.join();
  CloseClient();
  if (fillerFd_ >= 0) ::close(fillerFd_);
  ::close(listenFd_);
  ::close(wakeFd_);
}

void FakeInstrument::SetReply(const std::string& query, const std::string& reply) {
  std::lock_guard lock(mutex_);
  replies_[Upper(query)] = reply;
}

void FakeInstrument::RemoveReply(const std::string& query) {
  std::lock_guard lock(mutex_);
  replies_.erase(Upper(query));
  delayed_.erase(Upper(query));
}

void FakeInstrument::SetArgReply(const std::string& command, TArgReply reply) {
  std::lock_guard lock(mutex_);
  argReplies_[Upper(command)] = std::move(reply);
}

FakeInstrument::TArgReply FakeInstrument::EchoArg() {
  return [](const std::string& argument) -> std::optional<std::string> { return argument; };
}

FakeInstrument::TArgReply FakeInstrument::ClampArg(int64_t lo, int64_t hi) {
  return [lo, hi](const std::string& argument) -> std::optional<std::string> {
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(argument.data(), argument.data() + argument.size(), n);
    if (ec != std::errc{} || end != argument.data() + argument.size()) return "ERR";
    return std::to_string(std::clamp(n, lo, hi));
  };
}

FakeInstrument::TArgReply FakeInstrument::SilentArg() {
  return [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
}

void FakeInstrument::SetConstant(const std::string& command, int64_t value, int64_t lo, int64_t hi) {
  std::lock_guard lock(mutex_);
  registers_[Upper(command)] = {std::clamp(value, lo, hi), lo, hi};
}

int64_t FakeInstrument::Constant(const std::string& command) const {
  std::lock_guard lock(mutex_);
  auto it = registers_.find(Upper(command));
  return it == registers_.end() ? 0 : it->second.Value;
}

void FakeInstrument::RemoveConstant(const std::string& command) {
  std::lock_guard lock(mutex_);
  registers_.erase(Upper(command));
}

void FakeInstrument::SetDelayedReply(const std::string& query, const std::string& reply,
                                     const CountedWaitClock& clock, int64_t waitMs) {
  std::lock_guard lock(mutex_);
  delayed_[Upper(query)] = {reply, &clock, waitMs, clock.CountedMs()};
}

// Under the lock.
bool FakeInstrument::ComputedReply(const std::string& line, std::optional<std::string>& reply) {
  const std::string upper = Upper(line);
  const size_t mark = upper.find('?');
  if (mark == std::string::npos) return false;
  const std::string command = upper.substr(0, mark);
  const std::string rest = line.substr(mark + 1);
  if (rest.empty()) {
    auto it = registers_.find(command);
    if (it == registers_.end()) return false;
    reply = std::to_string(it->second.Value);
    return true;
  }
  if (rest.front() != ' ') return false;
  const std::string argument = rest.substr(1);
  if (auto it = registers_.find(command); it != registers_.end()) {
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(argument.data(), argument.data() + argument.size(), n);
    if (ec == std::errc{} && end == argument.data() + argument.size())
      it->second.Value = std::clamp(n, it->second.Lo, it->second.Hi);
    reply = std::to_string(it->second.Value);
    return true;
  }
  auto it = argReplies_.find(command);
  if (it == argReplies_.end()) return false;
  reply = it->second(argument);
  return true;
}

void FakeInstrument::SendDueDelayedReplies() {
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->Clock->CountedMs() < it->DueCountedMs) {
      ++it;
      continue;
    }
    SendBytes(it->Reply + "\r\n");
    std::lock_guard lock(mutex_);
    if (auto d = delayed_.find(it->Query); d != delayed_.end())
      d->second.SinceCountedMs = it->Clock->CountedMs();
    it = pending_.erase(it);
    ++repliesSent_;
    changed_.notify_all();
  }
}

void FakeInstrument::SetRecord(std::vector<uint16_t> words, size_t partWords) {
  std::lock_guard lock(mutex_);
  record_ = std::move(words);
  partWords_ = std::max<size_t>(partWords, 1);
}

void FakeInstrument::SetFault(TFault fault) {
  std::lock_guard lock(mutex_);
  fault_ = fault;
}

std::vector<std::string> FakeInstrument::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

int FakeInstrument::Continuations() const {
  std::lock_guard lock(mutex_);
  return continuations_;
}

int FakeInstrument::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

void FakeInstrument::ClearCommands() {
  std::lock_guard lock(mutex_);
  commands_.clear();
  continuations_ = 0;
}

bool FakeInstrument::WaitUntil(const std::function<bool()>& done) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, SyncWait, done);
}

void FakeInstrument::DropConnection() {
  {
    std::lock_guard lock(mutex_);
    dropRequested_ = true;
  }
  uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, SyncWait, [&] { return !dropRequested_; });
}

void FakeInstrument::BecomeUnreachable() {
  {
    std::lock_guard lock(mutex_);
    unreachableRequested_ = true;
  }
  uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, SyncWait, [&] { return !unreachableRequested_; });
  }
  // Nothing is accepted any more. With a queue of one that is full, the kernel drops
  // every further connection request, so connects stay pending.
  ::listen(listenFd_, 0);
  fillerFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port_);
  if (fillerFd_ < 0 || ::connect(fillerFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("fake instrument: cannot fill the connection queue");
}

void FakeInstrument::Serve() {
  for (;;) {
    pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {clientFd_, POLLIN, 0}};
    if (!accepting_) fds[1].fd = -1;  // poll skips it
    // A reply that waits for the program's wait is looked at every millisecond.
    int n = ::poll(fds, clientFd_ >= 0 ? 3 : 2, pending_.empty() ? -1 : 1);
    if (!pending_.empty()) {
      if (clientFd_ < 0) pending_.clear();
      SendDueDelayedReplies();
    }
    if (n < 0 && errno == EINTR) continue;
    if (fds[0].revents) {
      uint64_t count;
      (void)!::read(wakeFd_, &count, sizeof count);
      std::lock_guard lock(mutex_);
      if (stop_) return;
      if (dropRequested_ || unreachableRequested_) {
        CloseClient();
        if (unreachableRequested_) accepting_ = false;
        dropRequested_ = unreachableRequested_ = false;
        changed_.notify_all();
      }
      continue;
    }
    if (fds[1].revents) AcceptClient();
    if (clientFd_ >= 0 && fds[2].revents) ReadClient();
  }
}

void FakeInstrument::AcceptClient() {
  int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  CloseClient();
  clientFd_ = fd;
  lineBuffer_.clear();
  recordRunning_ = false;
  std::lock_guard lock(mutex_);
  ++connections_;
  changed_.notify_all();
}

void FakeInstrument::ReadClient() {
  char chunk[4096];
  ssize_t n = ::recv(clientFd_, chunk, sizeof chunk, 0);
  if (n <= 0) {
    CloseClient();
    return;
  }
  lineBuffer_.append(chunk, static_cast<size_t>(n));
  size_t end;
  while (clientFd_ >= 0 && (end = lineBuffer_.find('\n')) != std::string::npos) {
    std::string line = lineBuffer_.substr(0, end);
    lineBuffer_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    HandleLine(line);
  }
}

void FakeInstrument::HandleLine(const std::string& line) {
  TFault fault;
  std::string reply;
  bool hasReply = false;
  {
    std::lock_guard lock(mutex_);
    fault = fault_;
    if (line == std::string(1, '\0')) {
      ++continuations_;
    } else {
      commands_.push_back(line);
      auto it = replies_.find(Upper(line));
      std::optional<std::string> computed;
      if (it != replies_.end()) {
        reply = it->second;
        hasReply = true;
      } else if (auto d = delayed_.find(Upper(line)); d != delayed_.end()) {
        if (fault != TFault::Silence)
          pending_.push_back(
              {d->first, d->second.Reply, d->second.Clock, d->second.SinceCountedMs + d->second.WaitMs});
      } else if (ComputedReply(line, computed) && computed) {
        reply = *computed;
        hasReply = true;
      }
    }
    if (fault == TFault::CloseOnCommand && line != std::string(1, '\0')) fault_ = TFault::None;
    changed_.notify_all();
  }
  if (fault == TFault::Silence) return;
  if (fault == TFault::CloseOnCommand && line != std::string(1, '\0')) {
    CloseClient();
    return;
  }

  const std::string upper = Upper(line);
  if (line == std::string(1, '\0')) {
    if (recordRunning_) SendPart();
  } else if (upper == "ACQ:GO") {
    recordRunning_ = true;
    recordPos_ = 0;
    SendPart();
  } else if (upper == "ACQ:BREAK") {
    if (recordRunning_) {
      recordRunning_ = false;
      std::string bytes;
      AppendWord(bytes, EndWord);
      SendBytes(bytes);
    }
  } else if (hasReply) {
    SendBytes(reply + (fault == TFault::LfOnlyReplies ? "\n" : "\r\n"));
    std::lock_guard lock(mutex_);
    ++repliesSent_;
    changed_.notify_all();
  }
}

void FakeInstrument::SendPart() {
  std::vector<uint16_t> record;
  size_t partWords;
  bool endWord;
  {
    std::lock_guard lock(mutex_);
    record = record_;
    partWords = partWords_;
    endWord = fault_ != TFault::NoEndWord;
  }
  if (recordPos_ >= record.size() && !endWord) return;  // exhausted; waits for a break
  std::string bytes;
  size_t stop = std::min(record.size(), recordPos_ + partWords);
  for (; recordPos_ < stop; ++recordPos_) AppendWord(bytes, record[recordPos_]);
  if (recordPos_ >= record.size() && endWord) {
    AppendWord(bytes, EndWord);
    recordRunning_ = false;
  }
  SendBytes(bytes);
}

void FakeInstrument::SendBytes(const std::string& bytes) {
  size_t sent = 0;
  while (clientFd_ >= 0 && sent < bytes.size()) {
    ssize_t n = ::send(clientFd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      CloseClient();
      return;
    }
    sent += static_cast<size_t>(n);
  }
}

void FakeInstrument::CloseClient() {
  if (clientFd_ >= 0) ::close(clientFd_);
  clientFd_ = -1;
  recordRunning_ = false;
  pending_.clear();
}

}  // namespace norv::test
