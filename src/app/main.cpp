// Vexilor Norv: the PC front end of a two-channel sampling oscilloscope.

#include <QApplication>
#include <QSessionManager>
#include <string>
#include <vector>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "app/startup_probe.h"
#include "display/ui/scope_crt_widget.h"
#include "instrument/ui/splash.h"
#include "instrument/ui/startup_dialogs.h"
#include "platform/program_restart.h"
#include "platform/qt_unix_signals.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "shell/ui/program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName("vexilor-norv");
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

  std::unique_ptr<norv::TProgram> program;
  // SIGTERM and SIGINT close the program as its close box does, without questions.
  norv::TQtUnixSignals unixSignals;
  unixSignals.OnSignal = [&program](int) {
    if (program) program->Window().CloseQuietly();
  };
  // The desktop session ending does the same.
  QObject::connect(&app, &QGuiApplication::commitDataRequest, [&program](QSessionManager&) {
    if (program) program->Window().CloseQuietly();
  });

  norv::TQtStartupQuestions startupQuestions;
  // A copy started for a client shows nothing until the client asks for its window.
  norv::TProgramOptions::TSplash splash;
  if (!norv::HasEmbeddingSwitch(args))
    splash = {.Show = [] { norv::ShowSplash(QString::fromUtf8(norv::kProgramVersionText)); },
              .Sleep = norv::SplashSleep,
              .Close = norv::FreeSplash};
  program = norv::TProgram::Start({.Args = args,
                                   .ScopeWidget = [](norv::TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                     return new norv::TScopeCRTWidget(crt, parent);
                                   },
                                   .InstallUnits = norv::InstallProgramUnits,
                                   .RegisterPages = norv::RegisterProgramPages,
                                   .StartupQuestions = &startupQuestions,
                                   .Splash = splash});
  if (!program) return 0;
  norv::InstallStartupProbe(program->Window());
  program->Window().show();
  const int status = QApplication::exec();
  program.reset();
  // "Restart Now": the new copy starts once this one has let go of its instrument.
  if (norv::RestartAfterExitRequested()) norv::StartProgramCopy(args);
  return status;
}
