#pragma once
// The program's start-up in its fixed order and its end: folders, language,
// configuration, instrument choice and connection, main window, registration of every
// command, then the event loop runs (the deferred start-up follows the window's first
// show). main() and the end-to-end tests start the program through here.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "instrument/startup/startup_connection.h"
#include "platform/qt_dialogs.h"
#include "shell/ui/keypad_form.h"
#include "shell/ui/main_window.h"

namespace norv {

struct TProgramOptions {
  // Command-line arguments without the program's name.
  std::vector<std::string> Args;
  // Serve remote clients on the program's socket.
  bool RemoteServer = true;
  // The screen area's widget.
  TScopeWidgetFactory ScopeWidget;
  // Dialogs of the program's own (Qt) when none are given.
  TDialogService* Dialogs = nullptr;
  // Joins the units above the shell, which it cannot name, once its own are prepared.
  std::function<void()> InstallUnits;
  // Registers the side-menu pages of every subsystem (the shell cannot name them either);
  // runs once the main window, their host, exists.
  std::function<void()> RegisterPages;
  // Asks how to go on when no instrument answers at start; none: the default answer.
  IStartupQuestions* StartupQuestions = nullptr;
  // The start-up splash, shown once SHIFT and the language are known and closed before the
  // event loop runs; while shown, LinkHooks.SplashStatus is its status line. Empty: none.
  struct TSplash {
    std::function<void()> Show;
    std::function<void(uint16_t ms)> Sleep;
    std::function<void()> Close;
  } Splash = {};
};

class TProgram {
 public:
  // Brings the program up to the running event loop's door; nullptr when the user chose
  // to end the program during the instrument choice. Needs a QApplication.
  static std::unique_ptr<TProgram> Start(const TProgramOptions& options);
  // The end after the loop: ProgramTerminating, the window and every program object go.
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  TMorda_fr& Window() { return *window_; }
  TNewCalcFrm& Keypad() { return *keypad_; }

 private:
  TProgram() = default;
  TQtDialogs dialogs_;
  std::unique_ptr<TMorda_fr> window_;
  TNewCalcFrm* keypad_ = nullptr;  // a child of the window
};

}  // namespace norv
