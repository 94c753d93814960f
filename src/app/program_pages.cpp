#include "app/program_pages.h"

#include <QApplication>

#include "analysis/ui/derived_pages.h"
#include "controls/side_menu.h"
#include "display/ui/display_page.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/ui/instrument_dialogs.h"
#include "instrument/ui/instrument_pages.h"
#include "instrument/ui/pattern_length_dialog.h"
#include "measure/ui/hist_page.h"
#include "measure/ui/limit_page.h"
#include "measure/ui/mark_page.h"
#include "measure/ui/meas_page.h"
#include "shell/shell_state.h"
#include "shell/ui/save_page.h"

namespace norv {

void RegisterProgramPages() {
  RegisterInstrumentPages();
  RegisterDisplayPages();
  RegisterMeasurePages();
  RegisterMarkPage();
  RegisterLimitPage();
  RegisterHistPage();
  RegisterSavePage();
  RegisterAnalysisPages();
  // The dialogs that pages and buttons open.
  InstrumentPages().ShowPatternLengthList = [] {
    ShowPatternLengthList(DataFolders().SetupFilesDir, QApplication::activeWindow());
  };
  // False: the user chose to end the program while no instrument answered; the main
  // window closes through its close query.
  ShellHooks.ShowInstrumentSelection.Set([] {
    QWidget* mainWindow = SideMenuState.Host;
    if (!ShowSelectInstrumentDialog(mainWindow) && mainWindow != nullptr) mainWindow->close();
  });
}

}  // namespace norv
