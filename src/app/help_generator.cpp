// Writes the program's help set (the pages of its forms, the index and the context map)
// into the folder given, from the program itself started offscreen on the simulator.

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/util/dialog_service.h"
#include "shell/ui/help_set.h"
#include "shell/ui/main_window.h"
#include "shell/ui/program.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: norv-helpgen <help folder>\n";
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // A program folder of its own, so no user's files are read.
  std::string home = (std::filesystem::temp_directory_path() / "norv-helpgen-XXXXXX").string();
  if (!mkdtemp(home.data())) return 1;
  setenv("VEXILOR_NORV_HOME", home.c_str(), 1);
  bool written = false;
  {
    const norv::TDialogsSuppressed quiet;
    auto program =
        norv::TProgram::Start({.Args = {"Default_Demo"},
                               .RemoteServer = false,
                               .ScopeWidget = [](norv::TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                 return new norv::TScopeCRTWidget(crt, parent);
                               },
                               .InstallUnits = norv::InstallProgramUnits,
                               .RegisterPages = norv::RegisterProgramPages});
    if (program) written = norv::WriteHelpSet(argv[1], {&program->Keypad(), &program->Window()});
  }
  std::error_code error;
  std::filesystem::remove_all(home, error);
  if (!written) std::cerr << "norv-helpgen: the help set could not be written to " << argv[1] << '\n';
  return written ? 0 : 1;
}
