#include "platform/qt_timer.h"

#include <QTimer>

#include "platform/entry_guard.h"

namespace norv {

namespace {

class TQtTimer final : public ITimer {
 public:
  TQtTimer() {
    timer_.setInterval(1000);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (OnTimer) RunGuarded(OnTimer);
    });
  }
  void SetInterval(int ms) override { timer_.setInterval(ms); }
  int Interval() const override { return timer_.interval(); }
  void SetEnabled(bool enabled) override {
    if (enabled) {
      timer_.start();
    } else {
      timer_.stop();
    }
  }
  bool Enabled() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

std::unique_ptr<ITimer> TQtTimerFactory::CreateTimer() { return std::make_unique<TQtTimer>(); }

}  // namespace norv
