#pragma once
// The start-up splash: a borderless white window with the software version and one status
// line that the connection code updates (LinkHooks.SplashStatus) while it looks for the
// instrument.

#include <QWidget>
#include <cstdint>
#include <string>

class QLabel;
class QPlainTextEdit;

namespace norv {

class TSplashForm : public QWidget {
  Q_OBJECT
 public:
  explicit TSplashForm(const QString& version);
  QLabel* StatusLabel() const { return lblStatus_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLabel* lblStatus_ = nullptr;
  QPlainTextEdit* mmVersion_ = nullptr;
};

// Creates and shows the splash at once (the event loop need not run) and routes the
// status texts to it.
void ShowSplash(const QString& version);
// The status line, painted at once; nothing without a splash.
void SetSplashStatus(const std::string& text);
// Sleeps while a splash is shown; returns at once otherwise.
void SplashSleep(uint16_t ms);
// Frees the splash; the status texts go nowhere again.
void FreeSplash();
// The splash shown now, or nullptr.
TSplashForm* SplashForm();

}  // namespace norv
