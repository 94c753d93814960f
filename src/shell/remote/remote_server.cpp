#include "shell/remote/remote_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "framework/util/processes.h"

namespace norv {

namespace fs = std::filesystem;

namespace {

constexpr size_t kReadChunk = 64 * 1024;
// What one step reads at most, so that a flood cannot hold up the idle loop.
constexpr size_t kReadPerStep = 2 * kMaxRequestBytes;

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool IsSocketFile(const fs::path& path, ino_t* inode = nullptr) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  if (inode) *inode = st.st_ino;
  return true;
}

}  // namespace

TRemoteServer::TRemoteServer(TExec exec, IClock& clock) : exec_(std::move(exec)), clock_(clock) {}

TRemoteServer::~TRemoteServer() { Stop(); }

void TRemoteServer::Start(const TOptions& options) {
  Stop();
  const fs::path folder = options.Folder.empty() ? RemoteSocketFolder() : options.Folder;
  const pid_t pid = options.Pid ? options.Pid : getpid();
  const fs::path path = RemoteSocketPath(folder, pid);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof(address.sun_path))
    throw ERemoteError("The socket path " + path.string() + " is too long");
  std::memcpy(address.sun_path, path.c_str(), path.native().size());
  RemoveStaleSockets(folder, pid);

  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) throw ERemoteError(ErrnoText("Cannot create the remote socket"));
  // Created with mode 0600 already, so nobody else can connect in between.
  const mode_t oldMask = umask(0177);
  const int bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  const int bindErrno = errno;
  umask(oldMask);
  if (bound != 0) {
    close(fd);
    errno = bindErrno;
    throw ERemoteError(ErrnoText("Cannot bind the remote socket " + path.string()));
  }
  ino_t inode = 0;
  if (chmod(path.c_str(), 0600) != 0 || listen(fd, 8) != 0 || !IsSocketFile(path, &inode)) {
    const std::string reason = ErrnoText("Cannot listen on the remote socket " + path.string());
    close(fd);
    unlink(path.c_str());
    throw ERemoteError(reason);
  }
  listen_fd_ = fd;
  path_ = path;
  inode_ = inode;
  reader_ = TRequestReader(options.MaxRequestBytes);
}

void TRemoteServer::Stop() {
  if (client_fd_ >= 0) {
    close(client_fd_);
    client_fd_ = -1;
  }
  if (listen_fd_ < 0) return;
  close(listen_fd_);
  listen_fd_ = -1;
  // Only our own socket: another copy may have taken the name since.
  ino_t inode = 0;
  if (IsSocketFile(path_, &inode) && inode == inode_) unlink(path_.c_str());
  path_.clear();
}

void TRemoteServer::RemoveStaleSockets(const fs::path& folder, pid_t pid) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::optional<pid_t> owner = PidOfSocketName(it->path().filename().native());
    if (owner && (*owner == pid || !ProcessAlive(*owner)) && IsSocketFile(it->path()))
      unlink(it->path().c_str());
  }
}

void TRemoteServer::Service() {
  if (in_service_ || listen_fd_ < 0) return;
  in_service_ = true;
  const bool hadClient = client_fd_ >= 0;
  try {
    // One look at both sockets per step.
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {client_fd_, POLLIN, 0}};
    const nfds_t count = client_fd_ >= 0 ? 2 : 1;
    if (poll(fds, count, 0) < 0) fds[0].revents = fds[1].revents = 0;
    client_readable_ = count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR));
    // The present client first: one that has just hung up makes room for a script's next
    // call, which would otherwise be refused as a second client.
    if (client_fd_ >= 0) ServeClient();
    if (fds[0].revents & POLLIN) AcceptPending();
  } catch (...) {
    // Out of memory or the like while serving: the client goes, the server stays.
    CloseClient();
  }
  in_service_ = false;
  const bool gone = hadClient && client_fd_ < 0;
  // Last: the callback may end the program and free this server.
  if (gone && OnClientGone) {
    const std::function<void()> callback = OnClientGone;
    callback();
  }
}

std::vector<int> TRemoteServer::WatchedSockets() const {
  std::vector<int> fds;
  for (const int fd : {listen_fd_, client_fd_})
    if (fd >= 0) fds.push_back(fd);
  return fds;
}

void TRemoteServer::AcceptPending() {
  for (;;) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // none waiting (or a transient failure; the next step retries)
    if (client_fd_ < 0) {
      client_fd_ = fd;
      reader_.Clear();
      ClearAnswer();
      peer_closed_ = false;
      continue;
    }
    const std::string refusal = EncodeFrame(false, kRefusedText);
    [[maybe_unused]] const ssize_t sent =
        send(fd, refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    close(fd);
  }
}

void TRemoteServer::ServeClient() {
  if (AnswerPending()) {
    if (!WritePending()) return CloseClient();
    if (AnswerPending()) {
      if (clock_.NowMs() - out_since_ >= kReplyStallMs) CloseClient();
      return;
    }
  }
  if (!reader_.HasEvent() && !peer_closed_ && !ReadClient()) return CloseClient();
  std::optional<TRequestReader::TEvent> event = reader_.Next();
  if (!event) {
    // A client that has hung up is done once its whole requests are answered; an
    // unfinished one is dropped with it.
    if (peer_closed_) CloseClient();
    return;
  }
  switch (event->Kind) {
    case TRequestReader::TKind::TooLong:
      return Answer(false, std::string(kTooLongText));
    case TRequestReader::TKind::NotUtf8:
      return Answer(false, std::string(kNotUtf8Text));
    case TRequestReader::TKind::Line:
      break;
  }
  std::string reply;
  try {
    reply = exec_(event->Line);
  } catch (const std::exception& e) {
    return Answer(false, e.what());
  } catch (...) {
    return Answer(false, "Unknown exception");
  }
  Answer(true, std::move(reply));
}

bool TRemoteServer::ReadClient() {
  if (!client_readable_) return true;
  client_readable_ = false;
  char buffer[kReadChunk];
  size_t total = 0;
  while (total < kReadPerStep && !reader_.HasEvent()) {
    const ssize_t n = recv(client_fd_, buffer, sizeof(buffer), 0);
    if (n > 0) {
      reader_.Feed(std::string_view(buffer, static_cast<size_t>(n)));
      total += static_cast<size_t>(n);
      if (static_cast<size_t>(n) < sizeof(buffer)) break;  // drained for now
      continue;
    }
    if (n == 0) {
      peer_closed_ = true;
      return reader_.HasEvent();
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
  return true;
}

bool TRemoteServer::WritePending() {
  // Head and body go out together, without joining them first (a body may be large).
  while (AnswerPending()) {
    iovec parts[2];
    int count = 0;
    size_t skip = out_pos_;
    for (const std::string* part : {&out_head_, &out_body_}) {
      if (skip >= part->size()) {
        skip -= part->size();
        continue;
      }
      parts[count++] = {const_cast<char*>(part->data()) + skip, part->size() - skip};
      skip = 0;
    }
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<size_t>(count);
    const ssize_t n = sendmsg(client_fd_, &message, MSG_NOSIGNAL);
    if (n > 0) {
      out_pos_ += static_cast<size_t>(n);
      out_since_ = clock_.NowMs();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  ClearAnswer();
  return true;
}

void TRemoteServer::Answer(bool ok, std::string text) {
  out_head_ = FrameHead(ok, text.size());
  out_body_ = std::move(text);
  out_pos_ = 0;
  out_since_ = clock_.NowMs();
  if (!WritePending()) CloseClient();
}

void TRemoteServer::ClearAnswer() {
  out_head_.clear();
  out_body_.clear();
  out_body_.shrink_to_fit();
  out_pos_ = 0;
}

void TRemoteServer::CloseClient() {
  if (client_fd_ < 0) return;
  close(client_fd_);
  client_fd_ = -1;
  reader_.Clear();
  ClearAnswer();
  peer_closed_ = false;
}

}  // namespace norv
