// SIGTERM and SIGINT reach the GUI thread as calls of OnSignal: from the event loop, or at
// once when asked after a stretch without one (the program's start); none is lost, and the
// handlers there were before come back when the object goes.

#include "platform/qt_unix_signals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <csignal>
#include <vector>

namespace norv {
namespace {

volatile std::sig_atomic_t EarlierHandlerCalls = 0;

TEST(QtUnixSignals, EverySignalReachesTheHandlerAndTheEarlierOneComesBack) {
  struct sigaction earlier = {};
  struct sigaction saved = {};
  earlier.sa_handler = [](int) { EarlierHandlerCalls = EarlierHandlerCalls + 1; };
  sigemptyset(&earlier.sa_mask);
  ASSERT_EQ(sigaction(SIGINT, &earlier, &saved), 0);
  {
    TQtUnixSignals unixSignals;
    ASSERT_TRUE(unixSignals.Installed());
    std::vector<int> got;
    unixSignals.OnSignal = [&](int signal) { got.push_back(signal); };
    // Raised while no event loop runs: handed over when asked, in order.
    std::raise(SIGTERM);
    std::raise(SIGINT);
    unixSignals.DeliverPending();
    EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGINT}));
    // A second object installs nothing and takes none of the first one's signals.
    TQtUnixSignals second;
    EXPECT_FALSE(second.Installed());
    std::raise(SIGTERM);
    second.DeliverPending();
    for (int i = 0; i < 500 && got.size() < 3; ++i)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGINT, SIGTERM}));
  }
  EXPECT_EQ(EarlierHandlerCalls, 0);
  std::raise(SIGINT);
  EXPECT_EQ(EarlierHandlerCalls, 1);
  sigaction(SIGINT, &saved, nullptr);
}

}  // namespace
}  // namespace norv
