#include "platform/qt_idle.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include "framework/util/idle_pass.h"
#include "platform/entry_guard.h"

namespace norv {

TQtIdleDriver::TQtIdleDriver(QObject* parent) : QObject(parent) {
  busyTimer_.setInterval(0);
  connect(&busyTimer_, &QTimer::timeout, this, &TQtIdleDriver::RunPass);
  // Every wake-up of the loop gives one pass while no busy timer runs (it runs its own).
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
      if (!busyTimer_.isActive()) RunPass();
    });
  }
}

TQtIdleDriver::~TQtIdleDriver() = default;

void TQtIdleDriver::SetActive(bool active) {
  active_ = active;
  if (!active) busyTimer_.stop();
}

void TQtIdleDriver::RunPass() {
  if (!active_ || IdlePassRuns() || !OnIdle) return;
  bool done = true;
  // A pass that throws lets the loop sleep; the report may stop or restart the driver.
  if (!RunGuarded([&] { done = RunIdlePass(OnIdle, false); })) done = true;
  // The work that waited for the pass's end runs from the loop itself: a box it opens inside
  // this call, which the busy timer may have made, would get no passes from that timer.
  if (WorkWaitsForIdlePassEnd() && !workPosted_) {
    workPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          workPosted_ = false;
          RunGuarded([] { RunWorkAfterIdlePass(); });
        },
        Qt::QueuedConnection);
  }
  if (active_ && AfterPass) {
    // A timer does not fire again inside its own timeout: passes of a modal loop opened
    // after this one come from the loop's wake-ups.
    busyTimer_.stop();
    RunGuarded([&] { AfterPass(); });
  }
  if (!active_) return;
  if (done) {
    busyTimer_.stop();
  } else if (!busyTimer_.isActive()) {
    busyTimer_.start();
  }
}

}  // namespace norv
