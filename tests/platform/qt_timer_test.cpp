#include "platform/qt_timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace norv {
namespace {

TEST(QtTimer, TicksThroughTheEventLoopUntilDisabled) {
  TQtTimerFactory factory;
  auto timer = factory.CreateTimer();
  int ticks = 0;
  timer->SetInterval(1);
  timer->OnTimer = [&] {
    if (++ticks == 3) timer->SetEnabled(false);
  };
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());
  QElapsedTimer guard;
  guard.start();
  while (timer->Enabled() && guard.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(timer->Enabled());
}

}  // namespace
}  // namespace norv
