// What the units above a caller do for it once the program is wired as main() wires it:
// the strip under the screen written again after it was blanked, the statistics pictures
// in their source's new colour, the auto-save dialog of the acquisition page, the window
// of the pattern search, failures inside controls and language messages shown to the
// user, and the XY figure started afresh on other axes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "display/scope_crt.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/ini_file.h"
#include "framework/traces/display_sources.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/ui/instrument_pages.h"
#include "instrument/ui/pattern_search_dialog.h"
#include "measure/meas_state.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_state.h"
#include "shell/ui/program.h"
#include "shell/ui/program_fixture.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

class HookWiringTest : public test::ProgramFixture {
 protected:
  TMorda_fr& Start() {
    ProgramFixture::Start();
    ExecCommand("Header Off");
    return window();
  }

  TDeclaredSideMenu& Menu(int panel) {
    auto* menu = qobject_cast<TDeclaredSideMenu*>(SideMenuForms[static_cast<size_t>(panel)].data());
    EXPECT_NE(menu, nullptr);
    return *menu;
  }

  static TfrmFindPatternTrig* SearchWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* window = qobject_cast<TfrmFindPatternTrig*>(w); window && window->isVisible()) return window;
    return nullptr;
  }
};

TEST_F(HookWiringTest, MeasurementLinesComeBackAfterClearDisplayAndAColourChange) {
  Start();
  ExecCommand("Meas:Display Param");
  ExecCommand("Meas:Ch1:XParam Period");
  Acquire(2);
  const TColorRef ch1 = GetDisplaySourceRGB(TTraceId::Ch1);
  const TRect caption = TNizText::GetMeasCellRect(0, true), value = TNizText::GetMeasCellRect(0, false);
  ASSERT_GT(StripInk(caption, ch1), 0);
  ASSERT_GT(StripInk(value, ch1), 0);

  ExecCommand("*ClrDispl");
  EXPECT_GT(StripInk(caption, ch1), 0) << "\"*ClrDispl\" left the caption blank";

  // Stopped, no pass writes the lines again: the colour change itself must.
  Acquire();
  ExecCommand("*StopSingle Stop");
  ExecCommand("Displ:Color:Ch2 255");
  EXPECT_GT(StripInk(caption, ch1), 0) << "a colour change left the caption blank";
  EXPECT_GT(StripInk(value, ch1), 0) << "a colour change left the value blank";
}

TEST_F(HookWiringTest, StatisticsPicturesTakeTheNewColourOfTheirSource) {
  Start();
  ExecCommand("Meas:Display Statistic");
  ExecCommand("Meas:Ch1:XParam Period");
  Acquire(2);
  // A left click on the slot's line shows its picture ("Wait__" until enough values).
  ScopeCRT->BottomText().MouseDown(TMouseButton::Left, 20, TNizText::GetLineCellRect(0, 1).Top + 4);
  ASSERT_TRUE(MeasSlot(0) && MeasSlot(0)->HisticonVisible);
  Acquire();
  ExecCommand("*StopSingle Stop");
  const TRect picture = TNizText::GetLineCellRect(0, TNizText::kMergedColumn);
  const TColorRef before = GetDisplaySourceRGB(TTraceId::Ch1);
  ASSERT_GT(StripInk(picture, before), 0);

  constexpr TColorRef kGreen = 0x00FF00;
  ExecCommand("Displ:Color:Ch1 " + std::to_string(kGreen));
  EXPECT_GT(StripInk(picture, kGreen), 0);
  EXPECT_EQ(StripInk(picture, before), 0) << "the picture kept the old colour";
}

TEST_F(HookWiringTest, MeasurementLevelTextsFollowTheScaleOfTheirSource) {
  Start();
  ExecCommand("Meas:Display Param");
  ExecCommand("Meas:Ch1:YParam Max");
  Acquire(2);
  // Each stands for a control showing the node's text in volts: its value (a screen code)
  // stays, its text follows the channel's scale.
  int top = 0, threshold = 0;
  TSwitcherLink topControl([&] { ++top; }), thresholdControl([&] { ++threshold; });
  topControl.Bind(RootSpider->FindHandler("Meas:Ch1:Top"));
  thresholdControl.Bind(RootSpider->FindHandler("Meas:Ch1:UpThresh"));
  top = threshold = 0;  // each has read its text once on binding
  ExecCommand("Ch1:Scale 0.5");
  Acquire(2);
  EXPECT_GT(top, 0);
  EXPECT_GT(threshold, 0);
}

TEST_F(HookWiringTest, SaveAllWaveformsAsksForTheFileAndKeepsTheChoice) {
  Start();
  ExecCommand("Acq:RunUntil NAcq");
  ShowSideMenu(kAcquisitionMenu, kLeftPanel);
  Menu(kLeftPanel).ShowPage(2);
  auto& react = Menu(kLeftPanel).Control<TRC_CheckSwitcher>("RC_CheckSwitcher1");
  ASSERT_TRUE(react.isEnabled());
  const fs::path chosen = home_ / "Waveforms" / "run";
  dialogs_.files = {
      TFileChoice{.FileName = chosen.string(), .Folder = chosen.parent_path().string(), .FilterIndex = 1},
      std::nullopt};
  QAbstractButton* save = react.Button(1);
  test::Click(save, save->rect().center());
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].Title, "Save Waveform As");
  EXPECT_EQ(dialogs_.fileRequests[0].FilterIndex, 0) << "the format in force (Binary)";
  EXPECT_EQ(ExecCommand("Acq:React?"), "SAVE");
  EXPECT_EQ(ExecCommand("Acq:FileFormat?"), "VERBOSE");
  EXPECT_EQ(ExecCommand("Acq:FileName?"), chosen.string() + "*.txt");

  // Cancelled, the reaction stays off.
  test::Click(save, save->rect().center());
  test::Click(save, save->rect().center());
  EXPECT_EQ(dialogs_.fileRequests.size(), 2u);
  EXPECT_EQ(ExecCommand("Acq:React?"), "ClearALL");
}

TEST_F(HookWiringTest, PatternSearchShowsItsWindowAndClosingItEndsTheSearchAsFailed) {
  WriteDemoUnit("Default Demo", 1, 2, 255 - OptPatSyncTrig, 12, 77, true);  // the lock's option
  Start();
  TriggerSettings().PatternLengthList = {100, 200, 300};
  const std::string before = ExecCommand("TB:Mode?") + ExecCommand("TB:ScaleA?");
  SettingsHooks.StartPatternSearch(2.5e9);
  TfrmFindPatternTrig* shown = SearchWindow();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->windowTitle(), "Find Pattern Trigger ");
  // The first phase takes the mean of more than 10000 points.
  Acquire(12);
  ASSERT_TRUE(PatternSearchRun().SearchActive);
  EXPECT_GT(shown->findChild<QProgressBar*>()->value(), 0);

  test::PressKey(shown, Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_FALSE(PatternSearchRun().SearchActive);
  EXPECT_EQ(SearchWindow(), nullptr);
  EXPECT_EQ(ExecCommand("Trig:PatternLockMode?"), "OFF");
  EXPECT_EQ(ExecCommand("TB:Mode?") + ExecCommand("TB:ScaleA?"), before);
  EXPECT_TRUE(dialogs_.shown.empty()) << "a search ended by the user is no \"not found\"";

  // Under remote control the search runs without its window.
  {
    const TDialogsSuppressed quiet;
    SettingsHooks.StartPatternSearch(2.5e9);
  }
  EXPECT_TRUE(PatternSearchRun().SearchActive);
  EXPECT_EQ(SearchWindow(), nullptr);
  AbortPatternSearch();
}

TEST_F(HookWiringTest, AFailureInsideAControlReachesTheExceptionBox) {
  Start();
  RootSpider->AddRightCommand("Probe:Refuse", [](THandler&) { throw EAssertion("ERROR!  refused"); });
  test::TestWindow host;
  auto* panel = new TRC_RightMenuPanel(&host, "Probe");
  auto& command = panel->Add<TRC_RightCommandSwitcher>({.Mnemonics = "Refuse", .Caption = "Refuse"});
  panel->RegisterSwitchers();
  host.ShowActive();
  dialogs_.answers = {TAnswer::Yes};  // go on
  test::Click(&command, command.ButtonRect(0).center());
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_TRUE(dialogs_.shown[0].starts_with("[error] It has appeared an Exception")) << dialogs_.shown[0];
  EXPECT_NE(dialogs_.shown[0].find("ERROR!  refused"), std::string::npos);
}

TEST_F(HookWiringTest, AValueOfTheLanguageFileThatDoesNotDecodeIsShown) {
  std::ofstream(home_ / "Language-Quel.Eng", std::ios::binary) << "[Common]\r\nCommon:Language=English\r\n";
  std::ofstream(home_ / "Language-Quel.DEU", std::ios::binary)
      << "[Common]\r\nCommon:Language=Deutsch\r\n[Resource Strings]\r\nResource Strings:rsOffset='broken\r\n";
  TIniFile_Dot(UserConfigDir() / "Locales.ini").WriteString("Locales", fs::absolute(home_).string(), "DEU");
  Start();
  ASSERT_FALSE(dialogs_.shown.empty());
  EXPECT_TRUE(dialogs_.shown[0].starts_with("[error] Error in string Resource Strings:rsOffset"))
      << dialogs_.shown[0];
}

TEST_F(HookWiringTest, OtherXYAxesStartTheFigureAfresh) {
  Start();
  ExecCommand("Displ:TraceMode PerTrace");
  ExecCommand("Displ:XY:Style InfinPers");
  ExecCommand("Displ:Format XY");
  Acquire(3);
  auto* scope = static_cast<TScopeCRTWidget*>(window().ScopeWidget());
  // The most pixels of the figure in one row of the screen.
  const auto widestRow = [&] {
    QApplication::processEvents();
    const QImage image = test::Grab(scope->ScreenWidget(ScopeCRT->XYScreenNo()));
    const TColorRef xy = GetDisplaySourceRGB(TTraceId::XY);
    const QColor ink(xy & 0xFF, (xy >> 8) & 0xFF, (xy >> 16) & 0xFF);
    int widest = 0;
    for (int y = 0; y < image.height(); ++y)
      widest = std::max(widest, test::CountPixels(image, QRect(0, y, image.width(), 1), ink));
    return widest;
  };
  // Ch1 moves while Ch2 rests at its base: a long level stroke.
  ASSERT_GT(widestRow(), 40);
  // Ch2 against itself, on the same scales, is the rising diagonal: no row holds more than
  // a few of its points, unless the figure before stayed.
  ExecCommand("Displ:XAxis Ch2");
  Acquire(2);
  EXPECT_LE(widestRow(), 4);
}

}  // namespace
}  // namespace norv
