#include "platform/qt_unix_signals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "framework/util/close_signal.h"
#include "platform/entry_guard.h"

namespace norv {

namespace {

std::array<int, 2> g_pipe{-1, -1};
struct sigaction g_oldTerm {};
struct sigaction g_oldInt {};

void OnUnixSignal(int signal) {
  const int saved = errno;
  // Both signals close: noted at once for the work that holds the event loop.
  CloseSignalled = 1;
  const auto byte = static_cast<unsigned char>(signal);
  // Only async-signal-safe calls here; a full pipe drops the signal, which is harmless
  // since one is enough to close.
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
  errno = saved;
}

}  // namespace

TQtUnixSignals::TQtUnixSignals(QObject* parent) : QObject(parent) {
  if (g_pipe[0] >= 0) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe.data()) != 0) {
    g_pipe = {-1, -1};
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[1], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { DeliverPending(); });
  struct sigaction action {};
  action.sa_handler = OnUnixSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, &g_oldTerm);
  sigaction(SIGINT, &action, &g_oldInt);
  installed_ = true;
}

TQtUnixSignals::~TQtUnixSignals() {
  if (!installed_) return;
  sigaction(SIGTERM, &g_oldTerm, nullptr);
  sigaction(SIGINT, &g_oldInt, nullptr);
  notifier_.reset();
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe = {-1, -1};
}

void TQtUnixSignals::DeliverPending() {
  if (!installed_) return;
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(g_pipe[1], bytes, sizeof bytes)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      if (OnSignal) RunGuarded([&] { OnSignal(bytes[i]); });
    }
  }
}

}  // namespace norv
