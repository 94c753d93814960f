// The main of the tests that need a real X server: starts a private Xvfb on a display number
// it picks itself, runs the tests on Qt's xcb platform there, and ends the server. Without
// Xvfb installed the run is reported as skipped (exit status 77).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "support/temp_home.h"
#include "support/working_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSkipped = 77;
constexpr int kStartTimeoutMs = 30000;

std::optional<fs::path> FindOnPath(const char* name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const fs::path candidate = fs::path(folder.empty() ? "." : folder) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// One Xvfb for the process. "-displayfd" lets the server take the first free display number
// (it holds the number's lock file) and write it back once it accepts connections, so
// parallel runs never collide and nothing waits a fixed time.
class TXvfb {
 public:
  ~TXvfb() { Stop(); }

  // The display name (":N"), or the reason it failed.
  bool Start(const fs::path& program, const fs::path& log, std::string& display) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return Fail(display, "no pipe");
    pid_ = fork();
    if (pid_ < 0) return Fail(display, "no fork");
    if (pid_ == 0) {
      // The server goes with this process, however it ends.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
      }
      // The server writes its number on descriptor 3, which must survive the exec.
      if (fds[1] == 3)
        fcntl(3, F_SETFD, 0);
      else
        dup2(fds[1], 3);
      const std::string program_text = program.string();
      execl(program_text.c_str(), program_text.c_str(), "-displayfd", "3", "-screen", "0", "1024x768x24",
            "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (number.find('\n') == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{fds[0], POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char chunk[32];
      const ssize_t got = read(fds[0], chunk, sizeof chunk);
      if (got <= 0) break;  // the server ended before it was ready
      number.append(chunk, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
      std::ifstream said(log);
      return Fail(display, "Xvfb did not come up:\n" + std::string(std::istreambuf_iterator<char>(said), {}));
    }
    display = ":" + number.substr(0, number.find('\n'));
    return true;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  bool Fail(std::string& reason, const std::string& text) {
    Stop();
    reason = text;
    return false;
  }

  pid_t pid_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const std::optional<fs::path> xvfb = FindOnPath("Xvfb");
  if (!xvfb) {
    std::cout << "Xvfb is not installed (scripts/setup installs it): the X server tests are skipped\n";
    return kSkipped;
  }
  norv::test::SetUpTestHome();
  norv::test::GuardWorkingFolder();
  TXvfb server;
  std::string display;
  if (!server.Start(*xvfb, norv::test::TestRoot() / "xvfb.log", display)) {
    std::cerr << display << '\n';
    norv::test::TearDownTestHome();
    return 1;
  }
  setenv("DISPLAY", display.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  unsetenv("WAYLAND_DISPLAY");
  int result = 0;
  {
    QApplication app(argc, argv);
    result = RUN_ALL_TESTS();
    norv::test::TearDownTestHome();
  }
  server.Stop();
  return result;
}
