#include "app/program_pages.h"

#include <QApplication>

#include "analysis/ui/derived_pages.h"
#include "analysis/ui/eye_page.h"
#include "analysis/ui/jitter_page.h"
#include "analysis/ui/zoom_page.h"
#include "controls/side_menu.h"
#include "display/ui/display_page.h"
#include "display/ui/scan_lines_widget.h"
#include "instrument/startup/program_folders.h"
#include "instrument/ui/instrument_dialogs.h"
#include "instrument/ui/instrument_pages.h"
#include "instrument/ui/lan_dialogs.h"
#include "instrument/ui/pattern_length_dialog.h"
#include "instrument/ui/splash.h"
#include "instrument/ui/startup_dialogs.h"
#include "measure/ui/autoscale_form.h"
#include "measure/ui/hist_page.h"
#include "measure/ui/limit_page.h"
#include "measure/ui/mark_page.h"
#include "measure/ui/meas_page.h"
#include "service/ui/autocal_forms.h"
#include "service/ui/oe_page.h"
#include "service/ui/tdr_calibration_dialog.h"
#include "service/ui/utility_pages.h"
#include "shell/shell_state.h"
#include "shell/ui/about_form.h"
#include "shell/ui/help_keys.h"
#include "shell/ui/model_selection_form.h"
#include "shell/ui/save_page.h"
#include "tdr_mask/ui/generator_page.h"
#include "tdr_mask/ui/mask_page.h"
#include "tdr_mask/ui/normalization_dialog.h"
#include "tdr_mask/ui/std_mask_dialogs.h"
#include "tdr_mask/ui/tdr_page.h"

namespace norv {

namespace {

// Every dialog form, so that the English language file holds a section for each (the
// keypad and the main window are written as forms of their own).
void RegisterLanguageDialogs() {
  RegisterLanguageDialog([](QWidget*) -> QWidget* { return new TSplashForm({}); });
  for (int attempt : {1, 2, 3})
    RegisterLanguageDialog([attempt](QWidget* owner) -> QWidget* {
      return new TStartupDialog(TStartupOffer{.Attempt = attempt}, owner);
    });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TTcpIpFrm(ProgramLanPort(), owner); });
  RegisterLanguageDialog(
      [](QWidget* owner) -> QWidget* { return new TfrmMAC_Address(ProgramLanPort(), owner); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TfrmSelectInstrument(owner); });
  RegisterLanguageDialog(
      [](QWidget* owner) -> QWidget* { return new TfrmEditInstrument(owner, std::string(), std::string()); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TfrmPatternLengthList({}, 0, owner); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TAutoScalFrm(owner); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TAboutForm(owner); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TSysInfoFrm(owner); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TSelectModelofInstruments(owner); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TStdMaskFrm(owner); });
  RegisterLanguageDialog([](QWidget* owner) -> QWidget* { return new TfrmStdMaskStoreDlg(owner); });
  RegisterLanguageDialog(
      [](QWidget* owner) -> QWidget* { return new TfrmTDR_CalibrChannel(2, true, false, owner); });
}

}  // namespace

void RegisterProgramPages() {
  RegisterInstrumentPages();
  RegisterDisplayPages();
  RegisterMeasurePages();
  RegisterMarkPage();
  RegisterLimitPage();
  RegisterHistPage();
  RegisterSavePage();
  RegisterAnalysisPages();
  RegisterZoomPage();
  RegisterEyePage();
  RegisterJitterPage([](TScanLinesScreen& screen, QWidget* parent) -> QWidget* {
    return new TScanLinesWidget(screen, parent);
  });
  RegisterMaskPage();
  RegisterGeneratorPage();
  RegisterTdrPage();
  RegisterOEPage();
  RegisterUtilityPages();
  RegisterLanguageDialogs();
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
  InstallAutoscaleWindow();
  InstallTdrCalibrationDialog();
  InstallNormalizationDialog();
  InstallAutocalDialogs();
  InstallAboutBox();
  InstallHelpBridge();
  AboutHooks.ShowTcpIpProperties.Set([] {
    TTcpIpFrm dialog(ProgramLanPort(), QApplication::activeWindow());
    dialog.exec();
  });
}

}  // namespace norv
