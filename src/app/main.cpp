// Vexilor Norv: the PC front end of a two-channel sampling oscilloscope.

#include <QApplication>
#include <QDialog>
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

namespace {

// The start-up questions, answered Exit once the program has been asked to close.
class TClosingStartupQuestions final : public norv::IStartupQuestions {
 public:
  explicit TClosingStartupQuestions(const bool& closeAsked) : close_asked_(closeAsked) {}
  norv::TStartupAnswer AskHowToGoOn(const norv::TStartupOffer& offer) override {
    return close_asked_ ? norv::TStartupAnswer::Exit : dialogs_.AskHowToGoOn(offer);
  }

 private:
  const bool& close_asked_;
  norv::TQtStartupQuestions dialogs_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName("vexilor-norv");
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

  std::unique_ptr<norv::TProgram> program;
  // SIGTERM and SIGINT close the program as its close box does, without questions; so does
  // the desktop session's end. Asked while the program still starts, the close is kept: a
  // question the start waits on is put away (a start-up question then answers Exit), and
  // the program ends as soon as the start returns, before it has loaded any setup.
  bool closeAsked = false;
  const auto close = [&program, &closeAsked] {
    if (program) {
      program->Window().CloseQuietly();
      return;
    }
    closeAsked = true;
    if (auto* question = qobject_cast<QDialog*>(QApplication::activeModalWidget())) question->reject();
  };
  norv::TQtUnixSignals unixSignals;
  unixSignals.OnSignal = [&close](int) { close(); };
  QObject::connect(&app, &QGuiApplication::commitDataRequest, [&close](QSessionManager&) { close(); });

  TClosingStartupQuestions startupQuestions(closeAsked);
  // A copy started for a client shows nothing until the client asks for its window.
  norv::TProgramOptions::TSplash splash;
  if (!norv::HasEmbeddingSwitch(args))
    splash = {.Show = [] { norv::ShowSplash(QString::fromUtf8(norv::kProgramVersionText)); },
              .Sleep = norv::SplashSleep,
              .Close = norv::FreeSplash};
  std::unique_ptr<norv::TProgram> started =
      norv::TProgram::Start({.Args = args,
                             .ScopeWidget = [](norv::TScopeCRT& crt, QWidget* parent) -> QWidget* {
                               return new norv::TScopeCRTWidget(crt, parent);
                             },
                             .InstallUnits = norv::InstallProgramUnits,
                             .RegisterPages = norv::RegisterProgramPages,
                             .StartupQuestions = &startupQuestions,
                             .Splash = splash});
  // A signal that came while the start ran no event loop.
  unixSignals.DeliverPending();
  if (!started || closeAsked) return 0;
  program = std::move(started);
  norv::InstallStartupProbe(program->Window());
  program->Window().show();
  const int status = QApplication::exec();
  program.reset();
  // "Restart Now": the new copy starts once this one has let go of its instrument.
  if (norv::RestartAfterExitRequested()) norv::StartProgramCopy(args);
  return status;
}
