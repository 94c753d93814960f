#include "shell/remote/remote_client.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <optional>
#include <ostream>
#include <thread>

extern char** environ;

namespace norv {

namespace fs = std::filesystem;

namespace {

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

// ---------------------------------------------------------------------------------------
// TRemoteClient

void TRemoteClient::Connect(const fs::path& socketPath) {
  Close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.native().size() >= sizeof(address.sun_path))
    throw ERemoteError("The socket path " + socketPath.string() + " is too long");
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.native().size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw ERemoteError(ErrnoText("Cannot create a socket"));
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    const std::string reason = ErrnoText("Nothing answers at " + socketPath.string());
    close(fd);
    throw ERemoteError(reason);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  fd_ = fd;
  reader_ = TReplyReader();
}

void TRemoteClient::Close() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

bool TRemoteClient::WaitFor(short events, int64_t deadline, const TRemoteIdle& idle) {
  for (;;) {
    pollfd p{fd_, events, 0};
    const int64_t left = deadline - SteadyMs();
    // With an idle routine the other side runs here, between short looks at the socket.
    const int wait = idle ? 0 : static_cast<int>(std::clamp<int64_t>(left, 0, 1000));
    const int ready = poll(&p, 1, wait);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
    if (left <= 0) return false;
    if (idle) idle();
  }
}

void TRemoteClient::Send(std::string_view bytes, int timeoutMs, const TRemoteIdle& idle) {
  if (fd_ < 0) throw ERemoteError("Not connected");
  const int64_t deadline = SteadyMs() + timeoutMs;
  while (!bytes.empty()) {
    const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(POLLOUT, deadline, idle)) throw ERemoteError("The program does not take the request");
      continue;
    }
    throw ERemoteError(ErrnoText("The program has closed the connection"));
  }
}

TReplyReader::TFrame TRemoteClient::Receive(int timeoutMs, const TRemoteIdle& idle) {
  if (fd_ < 0) throw ERemoteError("Not connected");
  int64_t deadline = SteadyMs() + timeoutMs;
  char buffer[64 * 1024];
  for (;;) {
    if (std::optional<TReplyReader::TFrame> frame = reader_.Next()) return std::move(*frame);
    if (reader_.Broken()) throw ERemoteError("The program's answer is not understood");
    const ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
    if (n > 0) {
      reader_.Feed(std::string_view(buffer, static_cast<size_t>(n)));
      // A long reply may take a while: only silence counts.
      deadline = SteadyMs() + timeoutMs;
      continue;
    }
    if (n == 0) throw ERemoteError("The program has closed the connection");
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK)
      throw ERemoteError(ErrnoText("The program has closed the connection"));
    if (!WaitFor(POLLIN, deadline, idle)) throw ERemoteError("The program does not answer");
  }
}

TReplyReader::TFrame TRemoteClient::Exchange(std::string_view line, int timeoutMs, const TRemoteIdle& idle) {
  if (line.find('\n') != std::string_view::npos)
    throw ERemoteError("A command line cannot hold a line break");
  std::string request(line);
  request += '\n';
  try {
    Send(request, timeoutMs, idle);
  } catch (const ERemoteError&) {
    // A copy that refuses this client answers at once and hangs up, maybe before the
    // request went: its answer is still there to read.
    try {
      return Receive(0, idle);
    } catch (const ERemoteError&) {
    }
    throw;
  }
  return Receive(timeoutMs, idle);
}

void TRemoteClient::FinishSending() {
  if (fd_ >= 0) shutdown(fd_, SHUT_WR);
}

bool TRemoteClient::WaitHangUp(int timeoutMs, const TRemoteIdle& idle) {
  if (fd_ < 0) return true;
  const int64_t deadline = SteadyMs() + timeoutMs;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return true;
    if (n > 0) continue;
    if (!WaitFor(POLLIN, deadline, idle)) return false;
  }
}

// ---------------------------------------------------------------------------------------
// Starting a copy

fs::path DefaultProgramPath() {
  if (const char* env = std::getenv("VEXILOR_NORV_PROGRAM"); env && *env) return env;
  std::error_code ec;
  const fs::path beside = fs::read_symlink("/proc/self/exe", ec).parent_path() / "vexilor-norv";
  if (!ec && fs::exists(beside, ec)) return beside;
  return "vexilor-norv";
}

pid_t StartEmbeddedCopy(const fs::path& program, const std::vector<std::string>& args, const fs::path& folder,
                        int timeoutMs) {
  std::vector<std::string> argv{program.string(), "-Embedding"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw ERemoteError("Cannot start " + program.string() + ": " + std::strerror(failed));

  const fs::path socketPath = RemoteSocketPath(folder, pid);
  const int64_t deadline = SteadyMs() + timeoutMs;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      throw ERemoteError(program.string() + " ended (status " + std::to_string(code) +
                         ") before it answered");
    }
    std::error_code ec;
    if (fs::is_socket(socketPath, ec)) return pid;
    if (SteadyMs() >= deadline) {
      kill(pid, SIGTERM);
      throw ERemoteError(program.string() + " did not answer within " + std::to_string(timeoutMs / 1000) +
                         " s");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// ---------------------------------------------------------------------------------------
// The tool

namespace {

constexpr const char* kUsage =
    "usage: norv-remote [--pid N | --start [--program PATH] [--arg TEXT]...] [--timeout SECONDS]\n"
    "                   [COMMAND...]\n"
    "Sends each COMMAND (or each line of standard input) to a running copy of the program\n"
    "and prints the replies. --pid picks a copy by process id, otherwise the only one running\n"
    "is used; --start starts a copy for this client with -Embedding (it closes when the client\n"
    "ends). Exit status: 0 all answered, 1 an error answer, 2 no copy answers, 3 wrong usage.\n";

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value > 0;
}

}  // namespace

int RunRemoteClient(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err, const TRemoteIdle& idle) {
  pid_t pid = 0;
  bool start = false;
  fs::path program;
  std::vector<std::string> programArgs;
  int timeoutSeconds = 30;
  std::vector<std::string> commands;
  auto usage = [&](const std::string& problem) {
    if (!problem.empty()) err << "norv-remote: " << problem << "\n";
    err << kUsage;
    return 3;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "-h" || a == "--help") {
      out << kUsage;
      return 0;
    } else if (a == "--pid") {
      if (!hasValue || !ParseNumber(args[++i], pid)) return usage("--pid needs a process id");
    } else if (a == "--timeout") {
      if (!hasValue || !ParseNumber(args[++i], timeoutSeconds) || timeoutSeconds > 86400)
        return usage("--timeout needs a number of seconds");
    } else if (a == "--start") {
      start = true;
    } else if (a == "--program") {
      if (!hasValue) return usage("--program needs a path");
      program = args[++i];
    } else if (a == "--arg") {
      if (!hasValue) return usage("--arg needs a text");
      programArgs.push_back(args[++i]);
    } else if (a == "--") {
      commands.insert(commands.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.starts_with("--")) {
      return usage("unknown option " + a);
    } else {
      commands.push_back(a);
    }
  }
  if (start && pid) return usage("--start and --pid exclude each other");
  const int timeoutMs = timeoutSeconds * 1000;

  TRemoteClient client;
  try {
    const fs::path folder = RemoteSocketFolder();
    if (start) {
      pid =
          StartEmbeddedCopy(program.empty() ? DefaultProgramPath() : program, programArgs, folder, timeoutMs);
    } else if (!pid) {
      const std::vector<pid_t> running = RunningCopies(folder);
      if (running.empty()) {
        err << "norv-remote: no running copy of the program found in " << folder.string() << "\n";
        return 2;
      }
      if (running.size() > 1) {
        err << "norv-remote: " << running.size() << " copies are running (process ids";
        for (pid_t p : running) err << " " << p;
        err << "); choose one with --pid\n";
        return 2;
      }
      pid = running.front();
    }
    client.Connect(RemoteSocketPath(folder, pid));
  } catch (const ERemoteError& e) {
    err << "norv-remote: " << e.what() << "\n";
    return 2;
  }

  auto send = [&](std::string_view line) {
    try {
      const TReplyReader::TFrame frame = client.Exchange(line, timeoutMs, idle);
      if (!frame.Ok) {
        err << "norv-remote: " << frame.Text << "\n";
        return 1;
      }
      if (!frame.Text.empty()) out << frame.Text << "\n";
      out.flush();
      return 0;
    } catch (const ERemoteError& e) {
      err << "norv-remote: " << e.what() << "\n";
      return 2;
    }
  };
  for (const std::string& command : commands)
    if (const int status = send(command)) return status;
  if (commands.empty()) {
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") == std::string::npos) continue;
      if (const int status = send(line)) return status;
    }
  }
  return 0;
}

}  // namespace norv
