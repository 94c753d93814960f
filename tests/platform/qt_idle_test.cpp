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

// A modal loop of 30 ms, as a box runs one: the passes counted meanwhile.
int PassesInModalLoop(const int& passes) {
  const int before = passes;
  QEventLoop loop;
  QTimer::singleShot(30, &loop, &QEventLoop::quit);
  loop.exec();
  return passes - before;
}

// Drives the idle loop until `measured` is set (-1 until then; 5 s at most).
void DriveUntilMeasured(TQtIdleDriver& idle, const int& measured) {
  idle.SetActive(true);
  idle.RunPass();
  QElapsedTimer guard;
  guard.start();
  while (measured < 0 && guard.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  idle.SetActive(false);
}

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
    passesInLoop = PassesInModalLoop(passes);
    inAfter = false;
  };
  DriveUntilMeasured(idle, passesInLoop);
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
        passesInBox = PassesInModalLoop(passes);
      });
    return false;
  };
  DriveUntilMeasured(idle, passesInBox);
  EXPECT_GT(passesInBox, 20);
}

}  // namespace
}  // namespace norv
