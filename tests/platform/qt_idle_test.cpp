// The idle driver: the pass itself never runs nested, but a modal loop opened after it (a
// remote command that shows a dialog driven by the acquisitions, a box that waited for the
// pass's end) gets passes of its own.

#include "platform/qt_idle.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "framework/util/idle_pass.h"

namespace norv {
namespace {

TEST(QtIdle, AModalLoopAfterThePassGetsPasses) {
  TQtIdleDriver idle;
  int passes = 0, passesInLoop = -1, nestedAfter = 0;
  bool inAfter = false;
  // Never done, as while acquiring: the passes come from the busy timer.
  idle.OnIdle = [&] {
    ++passes;
    return false;
  };
  idle.AfterPass = [&] {
    if (inAfter) {
      ++nestedAfter;
      return;
    }
    if (passes < 2 || passesInLoop >= 0) return;
    inAfter = true;
    const int before = passes;
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
    passesInLoop = passes - before;
    inAfter = false;
  };
  idle.SetActive(true);
  idle.RunPass();
  QElapsedTimer guard;
  guard.start();
  while (passesInLoop < 0 && guard.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  idle.SetActive(false);
  EXPECT_GT(passesInLoop, 0);
  EXPECT_GT(nestedAfter, 0) << "each nested pass has its after-pass step (which guards itself)";
}

// A box that waited for the pass's end gets the busy timer's passes, not only those of the
// loop's rare wake-ups: the acquisition goes on behind it.
TEST(QtIdle, ABoxThatWaitedForThePassGetsTheBusyPasses) {
  TQtIdleDriver idle;
  int passes = 0, passesInBox = -1;
  idle.OnIdle = [&] {
    if (++passes == 2)
      OutsideIdlePass([&] {
        EXPECT_FALSE(IdlePassRuns());
        const int before = passes;
        QEventLoop box;
        QTimer::singleShot(30, &box, &QEventLoop::quit);
        box.exec();
        passesInBox = passes - before;
      });
    return false;
  };
  idle.SetActive(true);
  idle.RunPass();
  QElapsedTimer guard;
  guard.start();
  while (passesInBox < 0 && guard.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  idle.SetActive(false);
  EXPECT_GT(passesInBox, 20);
}

}  // namespace
}  // namespace norv
