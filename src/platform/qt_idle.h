#pragma once
// The application's idle event: OnIdle runs once whenever the event loop wakes up and has
// handled what it woke for; while it answers "not done" a zero-interval timer keeps the
// loop calling it without waiting for an event. A call from inside a pass (a nested event
// loop) is skipped; the work that waited for the pass's end runs after it, from the loop
// (idle_pass.h). What OnIdle throws goes to the program's exception handler (entry_guard.h).

#include <QObject>
#include <QTimer>
#include <functional>

namespace norv {

class TQtIdleDriver : public QObject {
  Q_OBJECT
 public:
  explicit TQtIdleDriver(QObject* parent = nullptr);
  ~TQtIdleDriver() override;

  // Returns Done: true lets the loop sleep until the next event.
  std::function<bool()> OnIdle;
  // Runs after each pass, outside it: a modal loop it opens still gets passes (it must
  // itself stand being called from them).
  std::function<void()> AfterPass;

  void SetActive(bool active);
  bool Active() const { return active_; }
  // The zero-interval timer runs (the last pass was not done).
  bool Busy() const { return busyTimer_.isActive(); }
  // One pass now, as the loop would run it.
  void RunPass();

 private:
  QTimer busyTimer_;
  bool active_ = false;
  bool workPosted_ = false;
};

}  // namespace norv
