#include "shell/ui/program.h"

#include <QGuiApplication>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "controls/look.h"
#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/traces/display_sources.h"
#include "framework/util/clock.h"
#include "framework/util/dialog_service.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_hooks.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/program_folders.h"
#include "instrument/startup/startup_connection.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/setup_files.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"

namespace norv {

namespace {

// The program's timers for the units made before the window (the acquisition cycle).
TQtTimerFactory& ProgramTimers() {
  static TQtTimerFactory timers;
  return timers;
}

// The splash from its showing to the end of the start, whichever way the start ends.
class TStartupSplash {
 public:
  explicit TStartupSplash(const TProgramOptions::TSplash& splash) : splash_(splash) {
    if (splash_.Show) splash_.Show();
  }
  ~TStartupSplash() {
    if (splash_.Close) splash_.Close();
  }
  TStartupSplash(const TStartupSplash&) = delete;
  TStartupSplash& operator=(const TStartupSplash&) = delete;

  void Status(const std::string& text, uint16_t waitMs = 0) const {
    LinkHooks.SplashStatus(text);
    if (waitMs > 0 && splash_.Sleep) splash_.Sleep(waitMs);
  }

 private:
  const TProgramOptions::TSplash& splash_;
};

}  // namespace

std::unique_ptr<TProgram> TProgram::Start(const TProgramOptions& options) {
  std::unique_ptr<TProgram> program(new TProgram);
  QGuiApplication::setWindowIcon(ProgramIcon());
  SetDialogs(options.Dialogs != nullptr ? options.Dialogs : &program->dialogs_);
  PrepareProgramUnits(ProgramClock(), ProgramTimers());
  if (options.InstallUnits) options.InstallUnits();
  // The remote state decides about dialogs from now on (a language file's message
  // included), with or without the server.
  RemoteState.StartedEmbedded = HasEmbeddingSwitch(options.Args);
  DialogState.SuppressedByProgram.Set(SuppressedByRemote);
  InstrumentListState.CommandLine = options.Args;
  // "-Shift" stands for SHIFT held where the display system cannot tell.
  RememberShiftState(IsCommandLineParam("-Shift") ||
                     (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0);
  InitDataFolders();
  SelectStartupLanguage();
  const TStartupSplash splash(options.Splash);
  ReadInstrumentConfiguration();
  StartupState.Questions = options.StartupQuestions;
  if (!SelectAndConnectInstrument(true, CurrentInstrumentName)) return nullptr;
  splash.Status(IsInstrumentConnected() ? "Start in Main Mode..." : "Start in Demo Mode...", 500);

  splash.Status("Creating forms...");
  program->window_ = std::make_unique<TMorda_fr>(options.ScopeWidget);
  program->window_->SetPrinter(&program->dialogs_.Printer());
  program->dialogs_.SetParent(program->window_.get());
  program->keypad_ = new TNewCalcFrm(program->window_.get());
  program->window_->SetKeypad(program->keypad_);
  if (options.RegisterPages) options.RegisterPages();
  splash.Status("Initialization Of All Vars And Handlers...");
  RegisterAllCommandsAtStart();
  ColorsReady = true;
  splash.Status("All done.", 100);
  if (options.RemoteServer) {
    try {
      StartRemoteServer(SystemClock(), HasEmbeddingSwitch(options.Args));
    } catch (const std::exception& e) {
      std::cerr << kApplicationTitle << ": remote control is not available: " << e.what() << '\n';
    }
  }
  return program;
}

TProgram::~TProgram() {
  ProgramTerminating = true;
  window_.reset();
  ProgramObjects.FreeAll();
  StartupState.Questions = nullptr;
  SetDialogs(nullptr);
}

}  // namespace norv
