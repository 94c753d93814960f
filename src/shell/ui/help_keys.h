#pragma once
// The help requests of the windows: F1 opens the topic of the control under the mouse
// (else of the control with the focus), and the what's-this mode (Shift+F1, the help
// button) turns the next click into a request for the clicked control's topic. Both end in
// ShellHooks.OpenHelp.

#include <QObject>

namespace norv {

class THelpKeys final : public QObject {
  Q_OBJECT
 public:
  explicit THelpKeys(QObject* owner);
  ~THelpKeys() override;
  void EnterWhatsThisMode();
  void LeaveWhatsThisMode();
  bool InWhatsThisMode() const { return whats_this_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool whats_this_ = false;
  bool swallow_release_ = false;  // the release of the click that asked for help
};

// Fills the help hooks: the browser, OpenHelp, the what's-this mode and the help menu's
// caption; F1 works in every window from now on.
void InstallHelpBridge();
THelpKeys* ProgramHelpKeys();

}  // namespace norv
