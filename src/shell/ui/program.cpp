#include "shell/ui/program.h"

#include <QGuiApplication>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/text/text_case.h"
#include "framework/traces/display_sources.h"
#include "framework/util/clock.h"
#include "framework/util/program_dir.h"
#include "shell/instrument_choice.h"
#include "shell/program_dispatch.h"
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

void InitDataFolders() {
  std::error_code ec;
  for (const char* folder : {"Setup Files", "Waveforms/Waveform Files", "Database"})
    std::filesystem::create_directories(ProgramDir() / folder, ec);
}

}  // namespace

bool ShiftSwitchGiven(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (SameTextAscii(arg, "-Shift")) return true;
  return false;
}

std::unique_ptr<TProgram> TProgram::Start(const TProgramOptions& options) {
  PrepareProgramUnits(SystemClock(), ProgramTimers());
  ShiftAtStart =
      ShiftSwitchGiven(options.Args) || (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
  InitDataFolders();
  SelectStartupLanguage();
  QGuiApplication::setApplicationDisplayName(kApplicationTitle);
  if (!SelectAndConnectInstrumentAtStart(options.Args)) return nullptr;

  std::unique_ptr<TProgram> program(new TProgram);
  program->window_ = std::make_unique<TMorda_fr>(options.ScopeWidget);
  RegisterAllCommandsAtStart();
  ColorsReady = true;
  if (options.RemoteServer) {
    try {
      StartRemoteServer(SystemClock(), HasEmbeddingSwitch(options.Args));
    } catch (const std::exception& e) {
      std::cerr << kApplicationTitle << ": remote control is not available: " << e.what() << '\n';
    }
  } else {
    RemoteState.StartedEmbedded = HasEmbeddingSwitch(options.Args);
  }
  return program;
}

TProgram::~TProgram() {
  ProgramTerminating = true;
  window_.reset();
  ProgramObjects.FreeAll();
}

}  // namespace norv
