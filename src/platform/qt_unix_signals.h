#pragma once
// SIGTERM and SIGINT as events of the GUI thread: the signal handler only notes the close
// (CloseSignalled) and writes the signal's number into a socket pair, whose reading end a
// QSocketNotifier watches.

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace norv {

class TQtUnixSignals : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers of SIGTERM and SIGINT; the previous ones come back when this
  // object goes. Only one may exist at a time; a second installs nothing.
  explicit TQtUnixSignals(QObject* parent = nullptr);
  ~TQtUnixSignals() override;

  // Runs on the GUI thread with the signal's number.
  std::function<void(int signal)> OnSignal;
  bool Installed() const { return installed_; }

  // Runs OnSignal now for every signal not handled yet; the event loop does it otherwise,
  // and a caller that has run none for a while (a long start) need not wait for it.
  void DeliverPending();

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
  bool installed_ = false;
};

}  // namespace norv
