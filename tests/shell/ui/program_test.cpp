#include "shell/ui/program.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "controls/hint_window.h"
#include "controls/list_switchers.h"
#include "controls/look.h"
#include "controls/main_menu_button.h"
#include "controls/menu_pages.h"
#include "controls/translated_form.h"
#include "display/bottom_text.h"
#include "display/display_hooks.h"
#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "display/top_text.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/settings/value_text.h"
#include "framework/traces/display_sources.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/startup_connection.h"
#include "measure/hist/hist_objects.h"
#include "measure/markers/markers.h"
#include "measure/meas_state.h"
#include "platform/qt_text_rasteriser.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_client.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/remote_server.h"
#include "shell/save/save_recall.h"
#include "shell/setup_files.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

namespace norv {
namespace {

// A menu of three pages that stands for a subsystem's menu: each page shows the time
// base's scale.
TMenuDecl TestMenu(int id) {
  TMenuDecl decl{.Name = "Test" + std::to_string(id) + "_Form", .Pages = {}};
  for (int page = 1; page <= 3; ++page)
    decl.Pages.push_back(
        {.Number = page,
         .Panels = {{.Name = "rmpTest",
                     .Group = "TB",
                     .Caption = "Page",
                     .Switchers = {Sw<TRC_EditSwitcher>({.Mnemonics = "ScaleA", .Caption = "Scale"})}}}});
  return decl;
}

void RegisterTestPages() {
  RegisterProgramPages();
  for (int id : {kMenuChannels, kMenuTimeBase, 4, 5}) RegisterSideMenu(id, TestMenu(id));
}

// The whole program in this process: offscreen, a fresh program folder, the simulator.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    setenv("VEXILOR_NORV_HOME", test::MakeTempDir("program").c_str(), 1);
  }
  void TearDown() override {
    program_.reset();
    FreshProgramState();
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  TMorda_fr& Start(std::vector<std::string> args = {"Default_Demo"}, bool remote = false,
                   const std::function<void()>& beforeShow = {}) {
    program_ = TProgram::Start({.Args = std::move(args),
                                .RemoteServer = remote,
                                .ScopeWidget = [](TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                  return new TScopeCRTWidget(crt, parent);
                                },
                                .Dialogs = &dialogs_,
                                .InstallUnits = InstallProgramUnits,
                                .RegisterPages = RegisterTestPages});
    EXPECT_NE(program_, nullptr);
    if (beforeShow) beforeShow();
    // Shown, hidden and shown again before the loop turns: the deferred start-up still
    // runs once.
    window().show();
    window().hide();
    window().show();
    for (int i = 0; i < 50 && !ShellState.DeferredStartDone; ++i) QApplication::processEvents();
    return window();
  }
  void Stop() {
    program_.reset();
    FreshProgramState();
  }
  TMorda_fr& window() { return program_->Window(); }
  TDeclaredSideMenu& Menu(int panel) {
    auto* menu = qobject_cast<TDeclaredSideMenu*>(SideMenuForms[static_cast<size_t>(panel)].data());
    EXPECT_NE(menu, nullptr);
    return *menu;
  }
  static QRect Rect(const TRectI& r) { return {r.Left, r.Top, r.Width, r.Height}; }

  // Idle passes until a cycle of both channels has begun and ended.
  void AcquireBothChannels() {
    const TAcquisitionCycle& cycle = AcquisitionCycle();
    const int before2 = cycle.AcqCycleCount(2), before3 = cycle.AcqCycleCount(3);
    for (int i = 0; i < 200000; ++i) {
      window().IdleStep();
      if (cycle.AcqCycleCount(2) > before2 && cycle.AcqCycleCount(3) > before3 && !cycle.CycleOpen()) return;
    }
    FAIL() << "no record of both channels";
  }

  // Pixels of a colour inside the scope's plot area.
  static int CountColour(const QImage& image, uint32_t bgr) {
    const QRgb wanted = qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) count += (image.pixel(x, y) & 0xFFFFFF) == (wanted & 0xFFFFFF);
    return count;
  }
  QImage PlotArea() {
    TSignalScreenWidget* screen = static_cast<TScopeCRTWidget*>(window().ScopeWidget())->ScreenWidget(1);
    return screen->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  static std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  test::FakeDialogs dialogs_;
  std::unique_ptr<TProgram> program_;
  std::string saved_home_;
};

TEST_F(ProgramTest, DemoRunsDrawsBothTracesAndKeepsThePowerOffSetupForTheNextStart) {
  Start();
  EXPECT_EQ(ShellState.DeferredStartRuns, 1);
  EXPECT_TRUE(GuiReady);
  EXPECT_TRUE(RunFlag);  // the start runs the instrument

  AcquireBothChannels();
  QApplication::processEvents();
  const QImage plot = PlotArea();
  EXPECT_GT(CountColour(plot, GetDisplaySourceRGB(TTraceId::Ch1)), 50) << "no channel 1 trace";
  EXPECT_GT(CountColour(plot, GetDisplaySourceRGB(TTraceId::Ch2)), 50) << "no channel 2 trace";

  // The strip under the screen: whatever it shows has room for its caption, the scales
  // always; the full width shows everything.
  const auto stripShows = [&] {
    QStringList shown;
    const QFontMetrics metrics(ProgramFont());
    for (TRC_Switcher* sw : window().PermanentControls()->Switchers()) {
      if (sw->isHidden()) continue;
      shown << sw->objectName();
      EXPECT_LE(metrics.horizontalAdvance(sw->Caption()), sw->width() - 8) << sw->Caption().toStdString();
    }
    return shown;
  };
  EXPECT_TRUE(stripShows().contains("eswScopeVDivCh1") && stripShows().contains("edswScopeHor_Div"));
  window().resize(1920, 1080);
  EXPECT_EQ(stripShows().size(), static_cast<qsizetype>(window().PermanentControls()->Switchers().size()));
  window().resize(kDefaultClientWidth, kDefaultClientHeight);

  if (std::getenv("NORV_PNG_DIR") != nullptr) {
    // The program's own pages, as a user sees them after two clicks.
    RegisterProgramPages();
    ShowSideMenu(kMenuChannels, kLeftPanel);
    ShowSideMenu(kMenuTimeBase, kRightPanel);
    QApplication::processEvents();
    AcquireBothChannels();
    AcquireBothChannels();
    QApplication::processEvents();
    test::MaybeWritePng(window().grab().toImage(), "main_window_default");
    window().resize(1920, 1080);
    QApplication::processEvents();
    AcquireBothChannels();
    AcquireBothChannels();
    QApplication::processEvents();
    test::MaybeWritePng(window().grab().toImage(), "main_window_1920x1080");
  }

  // The scope screen on the clipboard, and inverted against its background: the
  // background turns white, the traces keep their places.
  ExecCommand("*Copy ScopeScreen");
  ExecCommand("*Copy InvScopeScr");
  ASSERT_EQ(dialogs_.clipboard.size(), 2u);
  const std::vector<uint32_t> copied = dialogs_.clipboard[0];
  const std::vector<uint32_t> inverted = dialogs_.clipboard[1];
  const QSize scope = window().ScopeWidget()->size();
  EXPECT_EQ(copied.size(), static_cast<size_t>(scope.width() * scope.height()));
  ASSERT_EQ(inverted.size(), copied.size());
  const size_t corner = static_cast<size_t>(scope.width()) + 1;  // pixel (1, 1)
  EXPECT_EQ(inverted[corner] & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_NE(copied[corner] & 0xFFFFFF, 0xFFFFFFu);
  // F11 clicks the copy command: the last item chosen, inverted again.
  window().activateWindow();
  QTest::keyClick(&window(), Qt::Key_F11);
  ASSERT_EQ(dialogs_.clipboard.size(), 3u);
  EXPECT_EQ(dialogs_.clipboard[2].size(), copied.size());
  EXPECT_EQ(dialogs_.clipboard[2][corner] & 0xFFFFFF, 0xFFFFFFu);
  if (QPrinterInfo::defaultPrinter().isNull()) {
    // Without a printer the picture goes into a PDF file.
    ExecCommand("*Print Print");
    int pdfs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ProgramDir() / "Prints"))
      pdfs += entry.path().extension() == ".pdf" && entry.file_size() > 1000;
    EXPECT_EQ(pdfs, 1);
  }

  // Stopped, the loop may sleep; running, it is called again at once.
  ExecCommand("*StopSingle Stop");
  EXPECT_FALSE(RunFlag);
  EXPECT_TRUE(window().IdleStep());
  ExecCommand("*Run");
  EXPECT_TRUE(RunFlag);
  EXPECT_FALSE(window().IdleStep());

  ExecCommand("Header Off");
  ExecCommand("TB:ScaleA 20N");
  ExecCommand("TB:ScaleA 50N");
  ExecCommand("*Undo");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "20 ns/div");

  window().close();
  ASSERT_TRUE(window().CloseAccepted());
  EXPECT_FALSE(RunFlag);
  const std::filesystem::path powerOff = SetupFilePath(TSetupKind::PowerOff);
  EXPECT_EQ(powerOff.filename(), "~SetpPwrOffForDefault_Demo.set");
  EXPECT_NE(FileText(powerOff).find("TB:SCALEA 20 n(s/div)"), std::string::npos);
  Stop();

  // The next start comes up with the registered settings; the power-off setup is there
  // to recall.
  Start();
  EXPECT_EQ(ShellState.DeferredStartRuns, 1);
  ExecCommand("Header Off");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "10 ns/div");
  ExecCommand("*DefSetup PowerOff");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "20 ns/div");
  // Undo takes the whole recall back in one step.
  ExecCommand("*Undo");
  EXPECT_EQ(ExecCommand("TB:ScaleA?"), "10 ns/div");
}

}  // namespace
}  // namespace norv

namespace norv {
namespace {

TEST_F(ProgramTest, MainMenuOpensMenusInTheSidePanelsThatRememberTheirPages) {
  Start();
  // The start opens Channels on the left and Time Base on the right, where the layout
  // puts the panels.
  const TMainLayout layout =
      ComputeMainLayout(window().width(), window().height(),
                        window().findChild<QWidget*>("btnInstruments")->geometry().right() + 1);
  EXPECT_EQ(std::tuple(CurrentSideMenu[kLeftPanel], CurrentSideMenu[kRightPanel]),
            std::tuple(kMenuChannels, kMenuTimeBase));
  EXPECT_EQ(Menu(kLeftPanel).geometry(), Rect(layout.LeftPanel));
  EXPECT_EQ(Menu(kRightPanel).geometry(), Rect(layout.RightPanel));
  EXPECT_TRUE(Menu(kLeftPanel).isVisible() && Menu(kLeftPanel).parentWidget() == &window());

  // Left button: the left panel; right button on another menu: the right panel.
  test::Click(window().MainMenuButton(4), {5, 5});
  test::Click(window().MainMenuButton(5), {5, 5}, Qt::RightButton);
  EXPECT_EQ(std::tuple(CurrentSideMenu[kLeftPanel], CurrentSideMenu[kRightPanel]), std::tuple(4, 5));
  EXPECT_EQ(std::tuple(window().MenuCaption(true)->text(), window().MenuCaption(false)->text()),
            std::tuple(QString("Acquisition"), QString("Display")));
  EXPECT_TRUE(window().MainMenuButton(4)->LeftMenuOn() &&
              !window().MainMenuButton(kMenuChannels)->LeftMenuOn());
  EXPECT_EQ(Menu(kLeftPanel).Page(1)->findChild<TRC_EditSwitcher*>()->ValueText(), "10 ns/div");

  // Page 3 of the left menu is shown again when it comes back; on the right it starts
  // on page 1.
  Menu(kLeftPanel).ShowPage(3);
  test::Click(window().MainMenuButton(kMenuTimeBase), {5, 5});
  test::Click(window().MainMenuButton(4), {5, 5});
  test::Click(window().MainMenuButton(4), {5, 5}, Qt::RightButton);
  QApplication::processEvents();
  EXPECT_EQ(Menu(kLeftPanel).CurrentPage(), 3);
  EXPECT_EQ(Menu(kRightPanel).CurrentPage(), 1);
  EXPECT_TRUE(Menu(kLeftPanel).Page(3)->isVisible());

  // A narrow window has no room for the right panel: the menu and its caption go, and
  // come back when the window grows again.
  window().resize(600, 575);
  EXPECT_FALSE(Menu(kRightPanel).isVisible() || window().MenuCaption(false)->isVisible());
  EXPECT_TRUE(IsRightSideMenu(4));
  // The main menu's buttons share the narrower width: every one stays inside the window.
  for (int code = 0; code < kMainMenuButtonCount; ++code) {
    const QWidget* button = window().MainMenuButton(code);
    const QRect place(button->mapTo(&window(), QPoint(0, 0)), button->size());
    EXPECT_TRUE(window().rect().contains(place)) << code;
    EXPECT_GE(button->width(), 600 / 11) << code;
  }
  window().resize(kDefaultClientWidth, kDefaultClientHeight);
  EXPECT_TRUE(Menu(kRightPanel).isVisible() && window().MenuCaption(false)->isVisible());
}

TEST_F(ProgramTest, EnglishFileAtTheStartAndALanguageSwitchRelabelsTheWindow) {
  // Only a German file: the start writes the English one from the forms.
  {
    TLangIniFile ini(std::filesystem::path(std::getenv("VEXILOR_NORV_HOME")) / LanguageFileName("DEU"));
    WriteLangValue(ini, "Common", "Language", "Deutsch");
    WriteLangValue(ini, "Morda_fr", "Panel pnMainMenu.bmmAcquisition.Caption", "Erfassung");
    WriteLangValue(ini, "Morda_fr", "Menu Panel rmpSystemSontrols.mcsRun.Caption", "Lauf");
    WriteLangValue(ini, "Resource Strings", "rsMax", "Hoechst");
    ini.UpdateFile();
  }
  Start();
  ASSERT_FALSE(dialogs_.shown.empty());
  EXPECT_NE(dialogs_.shown[0].find("English Language File must be Created."), std::string::npos);
  TLangIniFile english(ProgramDir() / LanguageFileName("Eng"));
  EXPECT_EQ(ReadLangValue(english, "Morda_fr", "Panel pnMainMenu.bmmChannels.Caption"), "Channels");
  EXPECT_EQ(ReadLangValue(english, "Morda_fr", "Menu Panel rmpSystemSontrols.mcsUndo.Hint"), "Undo (F10)");
  EXPECT_EQ(ReadLangValue(english, "NewCalcFrm", "Plavno_Cancel.Caption"), "Cancel");
  EXPECT_EQ(ReadLangValue(english, "Test5_Form", "Menu Panel rmpPage3.Menu Panel rmpTest.Caption"), "Page");
  // A section for every dialog, and every control known, every edit with its unit.
  const std::vector<std::string> sections = english.ReadSections();
  for (const char* dialog : {"SplashForm", "Dialog1", "Dialog2", "Dialog3", "TcpIpFrm", "frmMAC_Address",
                             "frmSelectInstrument", "frmEditInstrument", "frmPatternLengthList"})
    EXPECT_NE(std::find(sections.begin(), sections.end(), dialog), sections.end()) << dialog;
  for (const std::string& section : sections) {
    for (const std::string& line : english.ReadSection(section)) {
      const std::string key = line.substr(section.size() + 1);
      const std::string value = ReadLangValue(english, section, key);
      EXPECT_EQ(value.find("Unknown control"), std::string::npos) << section << ": " << key;
      EXPECT_EQ(value.find("Dimension undefined"), std::string::npos) << section << ": " << key;
    }
  }
  // The language choice of the utility page lists the languages found.
  const auto* lang = dynamic_cast<TRadioSwHandler*>(RootSpider->FindHandler("Shadow:Lang"));
  ASSERT_NE(lang, nullptr);
  EXPECT_EQ(lang->GetCount(), Languages->Count);
  EXPECT_EQ(lang->GetIndex(), Languages->CurrentIndex);
  // The menus written were closed again; the start then opened its own.
  EXPECT_EQ(std::tuple(CurrentSideMenu[kLeftPanel], CurrentSideMenu[kRightPanel]),
            std::tuple(kMenuChannels, kMenuTimeBase));

  test::Click(window().MainMenuButton(4), {5, 5});
  ExecCommand("Meas:Display Param;:Meas:Ch1:YParam Max");
  ASSERT_NE(MeasSlot(0), nullptr);
  EXPECT_EQ(MeasSlot(0)->Annotations[1].Text, "Max");
  int german = -1;
  for (int i = 0; i < Languages->Count; ++i)
    if (Languages->Codes[static_cast<size_t>(i)] == "DEU") german = i;
  ASSERT_TRUE(SwitchLanguage(german));
  EXPECT_EQ(window().MainMenuButton(4)->Caption(), "Erfassung");
  EXPECT_EQ(window().MenuCaption(true)->text(), "Erfassung") << "the caption follows its button";
  EXPECT_EQ(window().MenuCaption(false)->text(), "Time Base");
  EXPECT_EQ(window().MainCommandControl("*Run")->TextBtn(), "Lauf");
  EXPECT_EQ(window().windowTitle().toStdString(), BuildMainCaption(true));
  EXPECT_EQ(MeasSlot(0)->Annotations[1].Text, "Hoechst") << "the measurement labels follow";
}

// What the shell asks of the units above it reaches them: a trace switched off frees its
// layer, clearing the display forgets the marker values, and the status messages find
// their place on the screen area.
TEST_F(ProgramTest, TraceSwitchOffDisplayClearAndStatusMessagesReachTheScreen) {
  Start();
  ASSERT_NE(ScopeCRT->GetDotLayer(TTraceId::F1), nullptr);
  SignalsOn.SetOn(TTraceId::F1, false);
  EXPECT_FALSE(ScopeCRT->HasSignalLayer(TTraceId::F1));

  MarkSettings().Values.fill(1.5);
  MarkSettings().Texts.fill("1.5 V");
  ExecCommand("*ClrDispl");
  for (double value : MarkSettings().Values) EXPECT_EQ(value, UndefinedValue);
  for (const std::string& text : MarkSettings().Texts) EXPECT_EQ(text, "");

  // Status messages lie over the screen area's top, across its width inside the border,
  // while the status line has room; on a low window they wait, and show again after.
  PushHint("Note", 0, THintKeep::Keep, THintStyle::Normal);
  QWidget* scope = window().ScopeWidget();
  const auto hint = [scope] { return scope->findChild<TMyHintWindow*>(); };
  ASSERT_NE(hint(), nullptr);
  EXPECT_EQ(std::tuple(hint()->x(), hint()->y(), hint()->width()), std::tuple(2, 2, scope->width() - 4));
  window().resize(kDefaultClientWidth, 420);
  ASSERT_LE(scope->height(), 304) << "the status line must lack room";
  EXPECT_EQ(hint(), nullptr);
  window().resize(kDefaultClientWidth, kDefaultClientHeight);
  EXPECT_NE(hint(), nullptr);
}

// The status line's pixels in a cell; empty when the cell shows nothing.
QImage TopLineCell(int column, int line) {
  const TVerhText& top = ScopeCRT->TopText();
  TRect r = TVerhText::GetTopTextCellRect(column, line);
  r.Bottom = std::min(r.Bottom, top.Height());
  QImage cell(r.Right - r.Left, r.Bottom - r.Top, QImage::Format_RGB32);
  bool ink = false;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) {
      cell.setPixel(x - r.Left, y - r.Top, top.Image().Pixel(x, y));
      ink |= top.Image().Pixel(x, y) != top.Color();
    }
  return ink ? cell : QImage();
}

TEST_F(ProgramTest, StatusLineAndPanelColourFollowTheSettingsOnTheScreen) {
  Start();
  // At start the run state of both channels is shown.
  EXPECT_FALSE(TopLineCell(0, 2).isNull());
  EXPECT_FALSE(TopLineCell(1, 2).isNull());
  // A low window hides the line; what changed meanwhile shows when it comes back.
  const QImage external = TopLineCell(3, 1);
  ASSERT_FALSE(external.isNull());
  window().resize(kDefaultClientWidth, 420);
  ASSERT_FALSE(ScopeCRT->TopText().Visible());
  ExecCommand("Trig:Source IntClock");
  ExecCommand("Ch2:Display Off");
  window().resize(kDefaultClientWidth, kDefaultClientHeight);
  EXPECT_FALSE(TopLineCell(3, 1).isNull());
  EXPECT_NE(TopLineCell(3, 1), external);
  EXPECT_TRUE(TopLineCell(1, 1).isNull() && TopLineCell(1, 2).isNull());

  // The panel between the screens and strips is repainted in the screen colour. Read from
  // what the window last showed: a grab of the widget would paint it afresh.
  QWidget* scope = window().ScopeWidget();
  const TSignalScreen& s1 = *ScopeCRT->Screen(1);
  const QPoint margin = scope->mapTo(&window(), QPoint(2 + s1.Left() + s1.Width() + 4, 2 + s1.Top() + 10));
  const auto shown = [&] {
    QApplication::processEvents();
    const QImage image = window().screen()->grabWindow(window().winId()).toImage();
    const QRgb c = image.pixel(margin);
    return static_cast<uint32_t>(qRed(c) | qGreen(c) << 8 | qBlue(c) << 16);
  };
  ASSERT_EQ(shown(), DefaultDisplayColor(kDisplaySourceScreen) & 0xFFFFFFu);
  ExecCommand("Displ:Color:Screen 8388608");  // 0x800000: blue
  EXPECT_EQ(shown(), 0x800000u);
  ExecCommand("Displ:DefaultClr:All");
  EXPECT_EQ(shown(), DefaultDisplayColor(kDisplaySourceScreen) & 0xFFFFFFu);
}

// A database recorded, stopped and loaded: run again, the channel fields of the line
// above the screen show the sampling rate and the run state once more, not the database's
// count and horizontal value; no undo brings the database back.
TEST_F(ProgramTest, RunAfterAShownDatabaseRedrawsBothChannelFields) {
  Start();
  AcquireBothChannels();  // a source with no record has nothing to record
  ExecCommand("Save:Disk:FileType Db");
  ExecCommand("Save:Disk:FileName db1");
  ExecCommand("Save:Disk:Save");
  AcquireBothChannels();
  ExecCommand("*StopSingle Stop");
  ExecCommand("Save:Disk:Load");
  ASSERT_TRUE(SaveState.DatabaseShown);
  ExecCommand("Displ:Gratic Frame");
  ExecCommand("Header Off");
  ExecCommand("*Run");
  AcquireBothChannels();
  const TVerhText& top = ScopeCRT->TopText();
  const TQtTextRasteriser font;
  for (const auto& [column, trace] : {std::pair{0, TTraceId::Ch1}, std::pair{1, TTraceId::Ch2}}) {
    SCOPED_TRACE(column);
    const TRect rate = TVerhText::GetTopTextCellRect(column, 1),
                state = TVerhText::GetTopTextCellRect(column, 2);
    // 512 points over ten divisions of 10 ns: 5 GSa/s, at the full 12 GHz band.
    EXPECT_TRUE(
        test::ShowsWhole(top, font, "12 GHz  5 GSa/s", rate.Left, rate.Top, GetDisplaySourceRGB(trace)));
    EXPECT_TRUE(test::ShowsWhole(top, font, "Sample", state.Left, state.Top, GetDisplaySourceRGB(trace)));
  }
  // A zoom and each drag are undo steps of their own, and the Run's removal none.
  const auto view = [] {
    return ExecCommand("TB:ScaleB?") + ExecCommand("Ch1:Scale?") + ExecCommand("Ch1:Offset?") +
           ExecCommand("TB:Delay?");
  };
  const std::string unzoomed = view();
  DisplayHooks.ZoomToRectangle({TTraceId::Ch1}, 0.25, 0.5, 0.25, 0.5);
  const std::string zoomed = view();
  DisplayHooks.ShiftSignalView(TTraceId::Ch1, 0, 0.25);
  const std::string shifted = view();
  DisplayHooks.ShiftTimeBaseDelay(false, 0.25);
  for (const auto& [was, gratic] : {std::pair(shifted, "FRAME"), std::pair(zoomed, "FRAME"),
                                    std::pair(unzoomed, "FRAME"), std::pair(unzoomed, "GRID")}) {
    ExecCommand("*Undo");
    EXPECT_EQ(std::tuple(view(), ExecCommand("Displ:Gratic?"), SaveState.DatabaseShown, RunFlag),
              std::tuple(was, gratic, false, true));
  }
}

// The keypad over an edit: what OK keeps, what Cancel takes back, one undo step for all.
TEST_F(ProgramTest, KeypadEntersKeepsAndTakesBackAsOneStep) {
  Start();
  TNewCalcFrm& keypad = program_->Keypad();
  ExecCommand("Header Off");
  const auto scale = [] { return ExecCommand("TB:ScaleA?"); };
  const auto open = [&] {
    // The time base's edit in the strip below the screen opens it on a click on its value.
    auto* edit = window().PermanentControls()->findChild<TRC_EditSwitcher*>("edswScopeHor_Div");
    test::Click(edit, edit->ValueRect().center());
    ASSERT_TRUE(keypad.isVisible());
    EXPECT_EQ(keypad.Edit()->GetFullMnemonic(), "TB:ScaleA");
  };
  const auto keys = [&](const char* names) {
    for (const QString& name : QString(names).split(' ')) keypad.KeyButton(name)->click();
  };
  auto* setTo = keypad.findChild<TRC_CheckSwitcher*>("rswSetTo");
  auto* resolution = keypad.findChild<TRC_RadioSwitcher*>("rswResolution");

  // 2, point, 5, n, Enter: 2.5 ns; OK keeps it, and one Undo takes it back.
  open();
  keys("CalcSet2 CalcSetPoint CalcSet5 CalcSetNano");
  keypad.Ok();
  EXPECT_EQ(scale(), "2.5 ns/div");
  ExecCommand("*Undo");
  EXPECT_EQ(scale(), "10 ns/div");

  // A number still being typed is entered by OK.
  open();
  keys("CalcSet2 CalcSet0 CalcExp CalcSetMinus CalcSet9");
  EXPECT_TRUE(keypad.Edit()->IsTyping());
  keypad.KeyButton("Plavno_OK")->click();
  EXPECT_FALSE(keypad.isVisible());
  EXPECT_EQ(scale(), "20 ns/div");
  // As by the pointer: the press on OK takes the focus from the field typed into.
  open();
  QApplication::setActiveWindow(&keypad);
  QTest::mouseClick(keypad.Edit(), Qt::LeftButton, {}, keypad.Edit()->ValueRect().center());
  QTest::keyClicks(keypad.Edit(), "50e-9");
  QTest::mouseClick(keypad.KeyButton("Plavno_OK"), Qt::LeftButton);
  EXPECT_EQ(scale(), "50 ns/div");
  ExecCommand("TB:ScaleA 20N");

  // Set to Max and a typed value, then Cancel: the value from before, and no redo that
  // brings the cancelled value back.
  open();
  setTo->Button(2)->click();
  EXPECT_NE(scale(), "20 ns/div");
  keys("CalcSet5 CalcSet0 CalcSetNano");
  EXPECT_EQ(scale(), "50 ns/div");
  keypad.KeyButton("Plavno_Cancel")->click();
  EXPECT_EQ(scale(), "20 ns/div");
  ExecCommand("*Undo Redo");
  EXPECT_EQ(scale(), "20 ns/div");
  EXPECT_FALSE(UndoGroupActive);

  // Several changes and OK: one step.
  open();
  setTo->Button(0)->click();
  keys("CalcSet5 CalcSetNano");
  keypad.Ok();
  EXPECT_EQ(scale(), "5 ns/div");
  ExecCommand("*Undo");
  EXPECT_EQ(scale(), "20 ns/div");

  // A click that changes nothing, then Cancel: the change made before the keypad stays.
  ExecCommand("TB:ScaleA 100N");
  open();
  resolution->Button(0)->click();
  keypad.Cancel();
  EXPECT_EQ(scale(), "100 ns/div");

  // The work with the instrument stops and starts again while the keypad is open: its
  // step went with the old ring, Cancel takes nothing from the new one, and the ring
  // records as before.
  open();
  keys("CalcSet5 CalcSet0 CalcSetNano");
  StopWithInstrument();
  ASSERT_TRUE(StartWithInstrument(true));
  ExecCommand("TB:ScaleA 200N");
  keypad.Cancel();
  EXPECT_FALSE(keypad.isVisible());
  EXPECT_EQ(scale(), "200 ns/div");
  ExecCommand("TB:ScaleA 500N");
  ExecCommand("*Undo");
  EXPECT_EQ(scale(), "200 ns/div");

  // Set to Min and Max on a value shown negated: the smallest and the largest shown.
  for (const auto& [path, min, max] :
       {std::tuple("Ch1:Offset", "-1 V", "1 V"), std::tuple("Zoom:S1:OffsInDB", "-200 dB", "200 dB")}) {
    TRC_EditSwitcher edit(&window(), {.Mnemonics = path});
    edit.RegisterInHandler(true);
    keypad.ShowFor(edit);
    setTo->Button(0)->click();
    EXPECT_EQ(ExecCommand(path + std::string("?")), min);
    setTo->Button(2)->click();
    EXPECT_EQ(ExecCommand(path + std::string("?")), max);
    keypad.Cancel();
  }

  // Escape, wherever the keypad's focus is, takes the changes back as Cancel does, a
  // number being typed included.
  for (const char* focus : {"RC_Edit", "main window", "Plavno_OK"}) {
    SCOPED_TRACE(focus);
    open();
    if (focus != std::string("main window")) {
      keypad.activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(&keypad));
      keypad.findChild<QWidget*>(focus)->setFocus(Qt::MouseFocusReason);
    }
    keys("CalcSet5 CalcSetNano");
    EXPECT_EQ(scale(), "5 ns/div");
    keys("CalcSet2");
    QTest::keyClick(focus == std::string("main window") ? &window() : QApplication::focusWidget(),
                    Qt::Key_Escape);
    EXPECT_FALSE(keypad.isVisible());
    EXPECT_EQ(scale(), "200 ns/div");
  }
}

// The main window's mouse and keys: a right click belongs to the control under it,
// Ctrl+F9 gives the default size, and a button whose page is not built changes nothing.
TEST_F(ProgramTest, RightClicksReachTheControlsAndButtonsWithoutAPageChangeNothing) {
  Start();
  RegisterProgramPages();
  // A right click on a main-menu button opens its page on the right panel; no menu of the
  // window covers it.
  QWidget* popup = nullptr;
  QTimer::singleShot(0, [&popup] {
    popup = QApplication::activePopupWidget();
    if (popup != nullptr) popup->close();
  });
  TButtonOfMainMenu* measure = window().MainMenuButton(8);
  test::Click(measure, {5, 5}, Qt::RightButton);
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, {5, 5}, measure->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(measure, &menuEvent);
  QApplication::processEvents();
  EXPECT_EQ(popup, nullptr) << "a menu over the page";
  EXPECT_EQ(CurrentSideMenu[kRightPanel], 8);
  EXPECT_EQ(window().MenuCaption(false)->text(), "Measure");

  window().activateWindow();
  window().resize(900, 700);
  QTest::keyClick(&window(), Qt::Key_F9, Qt::ControlModifier);
  EXPECT_EQ(window().size(), QSize(kDefaultClientWidth, kDefaultClientHeight));

  // Eye Diagram opens its page.
  test::Click(window().MainMenuButton(14), {5, 5});
  EXPECT_EQ(CurrentSideMenu[kLeftPanel], 14);
  EXPECT_EQ(window().MenuCaption(true)->text(), "Eye Diagram");
}

// The texts of a form that do not fit their place at the control's font: captions of
// switchers and panels, lines of text on panels, texts of command buttons, check and radio buttons (beside
// their mark), the values of labels and edits (and their boxes), every item of a drop-down list in its closed
// box, and rows of buttons lower than a line of text. Captions and values may take a narrower font when long,
// but never one below 9 pixels; a check or radio text keeps the controls' size where the narrow face makes
// room for it.
QStringList ClippedTexts(const QWidget& form, bool shownOnly = false) {
  QStringList clipped;
  const auto check = [&clipped](const QWidget* w, const QFont& font, const QString& text, int room) {
    if (text.isEmpty()) return;
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    if (needed > room || font.pixelSize() < 9)
      clipped << QString("%1 \"%2\": %3 > %4 at %5 pixels")
                     .arg(w->objectName(), text)
                     .arg(needed)
                     .arg(room)
                     .arg(font.pixelSize());
  };
  const QFont face = ProgramFont();
  QFont narrow = face;
  narrow.setFamily("Liberation Sans Narrow");
  for (const TRC_RightMenuPanel* panel : form.findChildren<TRC_RightMenuPanel*>())
    if (!panel->WithoutFrame() && !panel->title().isEmpty())
      check(panel, panel->TitleFont(), panel->title(),
            panel->width() - 2 - TRC_RightMenuPanel::kCaptionLeft - 2);
  // Lines of text placed on a panel.
  for (const QLabel* label : form.findChildren<QLabel*>())
    if (qobject_cast<const TRC_RightMenuPanel*>(label->parentWidget()) && !label->wordWrap())
      check(label, label->font(), label->text(), label->contentsRect().width());
  // The buttons of the main menu keep a pixel of their face on either side.
  for (const TButtonOfMainMenu* button : form.findChildren<TButtonOfMainMenu*>())
    check(button, button->CaptionFont(), button->Caption(), button->width() - 4);
  for (const TRC_Switcher* sw : form.findChildren<TRC_Switcher*>()) {
    if (shownOnly && sw->isHidden()) continue;
    // The caption strip runs from 2 to width - 3, its text indented by 4.
    if (sw->WithHot() && !sw->NoFrame() && !sw->Caption().isEmpty())
      check(sw, sw->CaptionFont(), sw->Caption(), sw->width() - 8);
    if (const auto* command = qobject_cast<const TRC_CustomCmmandSwitcher*>(sw)) {
      for (int i = 0; i < command->ButtonCount(); ++i)
        check(command, command->ButtonFont(i), command->ButtonCaption(i), command->ButtonRect(i).width() - 6);
    }
    for (const TColorComboBox* list : sw->findChildren<TColorComboBox*>())
      for (int i = 0; i < list->count(); ++i)
        check(list, list->ItemFont(i), list->itemText(i), list->TextRect().width());
    if (const auto* label = qobject_cast<const TRC_LabelSwitcher*>(sw)) {
      check(label, label->ValueFont(), label->ValueText(), label->TextRect().width());
      if (!label->rect().contains(label->ValueRect()))
        clipped
            << QString("%1: value box cut at %2 pixels high").arg(label->objectName()).arg(label->height());
    }
    if (const auto* poly = qobject_cast<const TRC_PolyButtonSwitcher*>(sw)) {
      const QStyle* style = poly->style();
      // The narrow face of the controls' size, per column (buttons of one left edge).
      std::map<int, int> narrowNeeds;
      for (int i = 0; i < poly->ButtonCount(); ++i) {
        const QAbstractButton* button = poly->Button(i);
        const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
        const int mark =
            poly->ViewAsButton()
                ? 4
                : style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth) +
                      style->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing
                                               : QStyle::PM_CheckBoxLabelSpacing);
        check(button, button->font(), button->text(), button->width() - mark);
        int& need = narrowNeeds[button->x()];
        need = std::max(need, QFontMetrics(narrow).horizontalAdvance(button->text()) + mark);
        if (button->height() < QFontMetrics(button->font()).height())
          clipped
              << QString("%1 row %2: %3 pixels high").arg(poly->objectName()).arg(i).arg(button->height());
      }
      // A check or radio text smaller than the controls' face, although the narrow face
      // shows every text of the switcher, column beside column, in a switcher as wide as
      // its panel (less the frames and margins).
      int needed = 0;
      for (const auto& [x, need] : narrowNeeds) needed += need;
      const QWidget* panel = poly->parentWidget();
      const int room =
          (qobject_cast<const TRC_RightMenuPanel*>(panel) ? panel->width() - 4 : poly->width()) - 8;
      if (poly->ViewAsButton() || needed > room) continue;
      for (int i = 0; i < poly->ButtonCount(); ++i)
        if (poly->Button(i)->font().pixelSize() < face.pixelSize())
          clipped << QString("%1 \"%2\": squeezed to %3 pixels")
                         .arg(poly->objectName(), poly->Button(i)->text())
                         .arg(poly->Button(i)->font().pixelSize());
    }
  }
  return clipped;
}

// A window's title beside the icon and the three buttons of a title bar, in a bold face a
// little larger than the controls'.
QString ClippedTitle(const QWidget& window) {
  constexpr int kIconAndButtons = 4 * 24;
  QFont bar = ProgramFont();
  bar.setPixelSize(13);
  bar.setBold(true);
  const int width = window.testAttribute(Qt::WA_Resized)
                        ? window.width()
                        : window.sizeHint().expandedTo(window.minimumSize()).width();
  const int needed = QFontMetrics(bar).horizontalAdvance(window.windowTitle()) + kIconAndButtons;
  if (needed <= width) return {};
  return QString("%1 \"%2\": %3 > %4").arg(window.objectName(), window.windowTitle()).arg(needed).arg(width);
}

// Every page of every menu built, every dialog and the strips around the screen have room
// for their texts.
TEST_F(ProgramTest, EveryTextOfEverySideMenuPageFitsItsControl) {
  Start();
  RegisterProgramPages();
  int menus = 0;
  for (int id = 0; id < kSideMenuIds; ++id) {
    if (!HasSideMenu(id)) continue;
    SCOPED_TRACE(id);
    ASSERT_TRUE(ShowSideMenu(id, kLeftPanel));
    TSideMenuForm* form = SideMenuForms[kLeftPanel];
    ASSERT_NE(form, nullptr);
    ++menus;
    // Pages that build their controls when shown are all built once shown.
    if (auto* declared = qobject_cast<TDeclaredSideMenu*>(form))
      for (int page = 1; page <= declared->PageCount(); ++page) declared->ShowPage(page);
    EXPECT_EQ(ClippedTexts(*form).join("\n").toStdString(), "") << form->objectName().toStdString();
    // The keypad over each edit has the edit's caption for its title.
    for (TRC_EditSwitcher* edit : form->findChildren<TRC_EditSwitcher*>()) {
      if (!edit->GetHandler()) continue;
      program_->Keypad().ShowFor(*edit);
      EXPECT_EQ(ClippedTitle(program_->Keypad()).toStdString(), "");
      program_->Keypad().Cancel();
    }
  }
  EXPECT_GE(menus, 13);

  int dialogs = 0;
  ForEachProgramForm({&program_->Keypad()}, [&dialogs](QWidget* form) {
    if (!form->isWindow()) return;
    ++dialogs;
    EXPECT_EQ(ClippedTitle(*form).toStdString(), "");
    EXPECT_EQ(ClippedTexts(*form).join("\n").toStdString(), "") << form->objectName().toStdString();
  });
  EXPECT_GE(dialogs, 20);

  // The edits under the screen show their longest values, in the window's default size and
  // narrower or wider ones: a channel in volts, through a power probe and in Rho. The main
  // menu below them keeps its captions.
  const auto stripClips = [this] {
    QApplication::processEvents();
    return (ClippedTexts(*window().PermanentControls(), true) + ClippedTexts(*window().MainMenuPanel()))
        .join("\n")
        .toStdString();
  };
  for (const int width : {kDefaultClientWidth, 1024, 640}) {
    SCOPED_TRACE(width);
    window().resize(width, kDefaultClientHeight);
    ExecCommand("Ch1:Scale 112.5M;:Ch1:Offset -112.5M;:Ch2:Atten:Unit Ratio;:Ch2:Atten:Dimens Watt");
    ExecCommand("Ch2:Atten:Ratio 1.023m;:TB:ScaleA 112.5P");
    EXPECT_EQ(stripClips(), "");
    SettingsHooks.BindMainChannelControls(2, "Ch1:RhoScale", "Ch1:RhoOffset");
    for (const char* scale : {"500M", "112.5M"}) {
      ExecCommand(std::string("Ch1:RhoScale ") + scale + ";:Ch1:RhoOffset -7.5");
      EXPECT_EQ(stripClips(), "") << scale;
    }
    SettingsHooks.BindMainChannelControls(2, "Ch1:Scale", "Ch1:Offset");
  }
  window().resize(kDefaultClientWidth, kDefaultClientHeight);

  // The histogram's scale under the screen, in hits per division: 20 % of the peak (the
  // number in engineering notation, its blank and prefix before the unit).
  ExecCommand("Hist:Axis Vert");
  AcquireBothChannels();
  AcquireBothChannels();
  ExecCommand("*StopSingle Stop");
  QTest::qWait(700);  // the last texts held back by the strip are drawn
  const std::string scale = FloatToEngStr(vfEngineering, 3, false, FullHist().PeakHits() * 0.2, false);
  EXPECT_TRUE(test::ShowsWhole(ScopeCRT->BottomText(), TQtTextRasteriser(), "= " + scale + "Hits/div",
                               TNizText::GetHistCellRect(1, 1, false).Left, 0,
                               GetDisplaySourceRGB(TTraceId::Ch1)))
      << scale;
}

// Switchers shown on a page that cover one another or are cut by their panel.
std::string CoveredControls(const QWidget& page) {
  std::string covered;
  const QList<TRC_Switcher*> all = page.findChildren<TRC_Switcher*>();
  for (const TRC_Switcher* s : all)
    if (s->isVisibleTo(&page) && !s->parentWidget()->rect().contains(s->geometry()))
      covered += s->objectName().toStdString() + " cut; ";
  for (qsizetype i = 0; i < all.size(); ++i)
    for (const TRC_Switcher* b : all.mid(i + 1))
      if (const TRC_Switcher* a = all[i]; a->parentWidget() == b->parentWidget() && a->isVisibleTo(&page) &&
                                          b->isVisibleTo(&page) && a->geometry().intersects(b->geometry()))
        covered += a->objectName().toStdString() + " and " + b->objectName().toStdString() + "; ";
  return covered;
}

// Every page of every menu, with every option fitted, in every choice of its radio switchers
// (which show some controls in place of others): nothing covers anything.
TEST_F(ProgramTest, NoControlOfAnySideMenuCoversAnotherInAnyOfItsChoices) {
  WriteDemoUnit("Default Demo", 1, 2, 0, 12, 77, true);
  Start();
  const TDialogsSuppressed quiet;  // the boxes some choices bring answer themselves
  int choices = 0;
  for (int id = 0; id < kSideMenuIds; ++id) {
    if (!HasSideMenu(id) || !ShowSideMenu(id, kLeftPanel)) continue;
    const QPointer menu = qobject_cast<TDeclaredSideMenu*>(SideMenuForms[kLeftPanel].data());
    // A choice that takes the menu to another page or menu ends the walk of its page.
    const auto stays = [&](int page) {
      return menu && SideMenuForms[kLeftPanel] == menu && menu->CurrentPage() == page;
    };
    for (int page = 1; menu && page <= menu->PageCount(); ++page) {
      menu->ShowPage(page);
      EXPECT_EQ(CoveredControls(*menu->Page(page)), "") << menu->objectName().toStdString() << page;
      for (TRC_RadioSwitcher* radio : menu->Page(page)->findChildren<TRC_RadioSwitcher*>())
        for (int i = 0; stays(page) && i < radio->ButtonCount() && radio->isVisibleTo(menu); ++i) {
          if (!radio->isEnabled() || !radio->Button(i)->isEnabled()) continue;
          test::Click(radio->Button(i), QPoint(8, radio->Button(i)->height() / 2));
          ++choices;
          if (stays(page)) {
            EXPECT_EQ(CoveredControls(*menu->Page(page)), "")
                << menu->objectName().toStdString() << page << " " << radio->Button(i)->text().toStdString();
          }
        }
    }
  }
  EXPECT_GE(choices, 150);
}

// Exit, answered when the instrument chosen on the "System" button does not answer, ends
// the program through the close query.
TEST_F(ProgramTest, ExitAfterAFailedSwitchOfInstrumentsClosesTheWindow) {
  Start();
  struct TAnswerExit : IStartupQuestions {
    int asked = 0;
    TStartupAnswer AskHowToGoOn(const TStartupOffer&) override {
      ++asked;
      return TStartupAnswer::Exit;
    }
  } questions;
  StartupState.Questions = &questions;
  StartupState.Connector = [](bool, const TIPv4Addr&) { return false; };
  QTimer::singleShot(0, [] {
    QWidget* select = QApplication::activeModalWidget();
    ASSERT_NE(select, nullptr);
    select->findChild<QPushButton*>("btnChangeCurrentInstrument")->click();
    auto* list = select->findChild<QListWidget*>("lbCurrentInstrument");
    const QList<QListWidgetItem*> lan = list->findItems("Default LAN", Qt::MatchStartsWith);
    ASSERT_EQ(lan.size(), 1);
    test::Click(list->viewport(), list->visualItemRect(lan[0]).center());
  });
  test::Click(window().findChild<QWidget*>("btnInstruments"), {5, 5});
  EXPECT_EQ(questions.asked, 1);
  EXPECT_TRUE(window().CloseAccepted());
  EXPECT_FALSE(RunFlag);
  StartupState.Questions = nullptr;
}

// The splash comes once SHIFT and the language are known, and follows the start to its end.
TEST_F(ProgramTest, SplashFollowsTheStartOnceShiftAndLanguageAreKnown) {
  {
    TLangIniFile ini(std::filesystem::path(std::getenv("VEXILOR_NORV_HOME")) / LanguageFileName("DEU"));
    WriteLangValue(ini, "Common", "Language", "Deutsch");
    ini.UpdateFile();
  }
  std::vector<std::string> seen;
  TProgramOptions::TSplash splash{
      .Show =
          [&seen] {
            seen.push_back(std::string("shown") + (ShiftHeldAtStart() ? ", shift" : "") +
                           (Languages && Languages->Count > 0 ? ", languages" : ""));
            LinkHooks.SplashStatus.Set([&seen](const std::string& text) { seen.push_back(text); });
          },
      .Sleep = [&seen](uint16_t ms) { seen.push_back("wait " + std::to_string(ms)); },
      .Close =
          [&seen] {
            LinkHooks.SplashStatus.Reset();
            seen.push_back(std::string("closed") + (ColorsReady ? ", colours ready" : ""));
          }};
  program_ = TProgram::Start({.Args = {"Default_Demo", "-Shift"},
                              .RemoteServer = false,
                              .ScopeWidget = [](TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                return new TScopeCRTWidget(crt, parent);
                              },
                              .Dialogs = &dialogs_,
                              .InstallUnits = InstallProgramUnits,
                              .RegisterPages = RegisterProgramPages,
                              .Splash = splash});
  ASSERT_NE(program_, nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"shown, shift, languages", "Start in Demo Mode...", "wait 500",
                                            "Creating forms...", "Initialization Of All Vars And Handlers...",
                                            "All done.", "wait 100", "closed, colours ready"}));
}

}  // namespace
}  // namespace norv

namespace norv {
namespace {

// A client on the program's socket, served by the program's own event loop.
class RemoteProgramTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    saved_runtime_ = runtime != nullptr ? runtime : "";
    setenv("XDG_RUNTIME_DIR", test::MakeTempDir("runtime").c_str(), 1);
  }
  void TearDown() override {
    client_.Close();
    ProgramTest::TearDown();
    setenv("XDG_RUNTIME_DIR", saved_runtime_.c_str(), 1);
  }
  static TRemoteIdle Loop() {
    return [] { QApplication::processEvents(); };
  }
  std::string Ask(std::string_view line) {
    const TReplyReader::TFrame frame = client_.Exchange(line, 10000, Loop());
    return (frame.Ok ? "OK " : "ERR ") + frame.Text;
  }
  // Until the program has seen the client go (or closed itself).
  void Hangup() {
    client_.Close();
    for (int i = 0; i < 500 && (RemoteClientCount() > 0 || !window().CloseAccepted()); ++i) {
      QApplication::processEvents();
      window().IdleStep();
    }
  }

  TRemoteClient client_;
  std::string saved_runtime_;
};

TEST_F(RemoteProgramTest, GuiModesAndTheCloseRefusedWhileAClientIsConnected) {
  Start({"Default_Demo"}, true);
  client_.Connect(RemoteServer->SocketPath());
  EXPECT_EQ(Ask("Header Off;:TB:ScaleA 20N;:TB:ScaleA?"), "OK 20 ns/div");
  // Without a default setup its recall reports the missing file.
  std::filesystem::remove(SetupFilePath(TSetupKind::Default));

  struct Case {
    const char* mode;
    bool visible, enabled;
  };
  for (const Case& c : {Case{"RemoteOnly", true, false}, Case{"Invisible", false, false},
                        Case{"RemoteLocal", true, true}, Case{"RemoteOnly", true, false}}) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(Ask(std::string("Gui ") + c.mode), "OK ");
    EXPECT_EQ(std::tuple(window().isVisible(), window().isEnabled()), std::tuple(c.visible, c.enabled));
    // A command that would ask the user answers at once, its text in the log, even while
    // the window is usable: nobody need be at the screen to click.
    const size_t logged = DialogState.SuppressedLog.size();
    // (No default setup here: the failure is the answer too.)
    EXPECT_TRUE(Ask("*DefSetup Default").starts_with("ERR ERROR Opening File"));
    EXPECT_EQ(logged + 1, DialogState.SuppressedLog.size());
  }
  EXPECT_TRUE(dialogs_.shown.empty()) << "a remote command waits for no click";

  // The window stays while the client is there: the refusal is reported.
  dialogs_.shown.clear();
  ExecCommand("Gui RemoteLocal");
  dialogs_.answers = {TAnswer::Yes};
  window().close();
  EXPECT_FALSE(window().CloseAccepted());
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].find(GetLangStr("ActiveCOMclient")), std::string::npos);
  EXPECT_EQ(Ask("TB:ScaleA?"), "OK 20 ns/div") << "the program goes on serving";

  Hangup();
  EXPECT_EQ(RemoteClientCount(), 0);
  window().close();
  EXPECT_TRUE(window().CloseAccepted());
}

TEST_F(RemoteProgramTest, StartedForAClientItClosesQuietlyWhenTheClientGoes) {
  // A mode chosen before the window is shown holds through the start.
  Start({"Default_Demo", "-Embedding"}, true, [] { ExecCommand("Gui Invisible"); });
  EXPECT_FALSE(window().isVisible());
  EXPECT_TRUE(GuiReady);
  client_.Connect(RemoteServer->SocketPath());
  EXPECT_EQ(Ask("Header Off;TB:ScaleA 50N"), "OK ");
  Hangup();
  EXPECT_TRUE(window().CloseAccepted());
  EXPECT_TRUE(dialogs_.shown.empty()) << "no question on the way out";
  EXPECT_NE(FileText(SetupFilePath(TSetupKind::PowerOff)).find("TB:SCALEA 50 n(s/div)"), std::string::npos);
}

// The system closes the program (SIGTERM, SIGINT, the session's end) though a client is
// connected: the connection ends, the power-off setup is written, nothing is reported.
TEST_F(RemoteProgramTest, TheSystemClosesItWhileAClientIsConnected) {
  Start({"Default_Demo"}, true);
  client_.Connect(RemoteServer->SocketPath());
  EXPECT_EQ(Ask("Header Off;:TB:ScaleA 50N"), "OK ");
  DialogState.SuppressedLog.clear();
  window().CloseQuietly();
  for (int i = 0; i < 50 && !window().CloseAccepted(); ++i) QApplication::processEvents();
  EXPECT_TRUE(window().CloseAccepted());
  EXPECT_TRUE(client_.WaitHangUp(1000, Loop()));
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(DialogState.SuppressedLog, std::vector<std::string>{});
  EXPECT_NE(FileText(SetupFilePath(TSetupKind::PowerOff)).find("TB:SCALEA 50 n(s/div)"), std::string::npos);
}

// Opens no box itself: each box the user has open runs the client's exchange, as the
// client's turns come while a modal box waits for a click.
class BoxWhileAClientWaits final : public TDialogService {
 public:
  std::function<void()> whileOpen;
  std::vector<std::string> shown;

 protected:
  TAnswer DoAsk(TMessageKind, const std::string&, const std::vector<TAnswer>&, TAnswer answer) override {
    return answer;
  }
  int DoAskCustom(TMessageKind, const std::string&, const std::vector<std::string>&, int answer) override {
    return answer;
  }
  void DoInform(TMessageKind kind, const std::string& text) override {
    shown.push_back(SuppressedLogLine(kind, text));
    if (whileOpen) std::exchange(whileOpen, nullptr)();
  }
  std::optional<TFileChoice> DoChooseFile(const TFileRequest&) override { return std::nullopt; }
  std::optional<uint32_t> DoChooseColour(uint32_t, bool) override { return std::nullopt; }
  bool DoPrinterSetup() override { return false; }
  bool DoCopyImageToClipboard(const TImageView&) override { return false; }
};

// The idle step waits on a box the user has open; an answer larger than the socket holds
// still goes out whole as the client reads it.
TEST_F(RemoteProgramTest, ALongAnswerGoesOutWhileTheUserHasABoxOpen) {
  Start({"Default_Demo"}, true);
  client_.Connect(RemoteServer->SocketPath());
  const std::string one = Ask("Header Off;:Wfm:Source Ch1;:Wfm:Data?");
  ASSERT_GT(one.size(), 1000u);
  std::string line = "Wfm:Data?";
  const size_t repeats = (4u << 20) / one.size();
  for (size_t i = 0; i < repeats; ++i) line += ";:Wfm:Data?";

  BoxWhileAClientWaits box;
  std::string answer;
  box.whileOpen = [&] {
    try {
      answer = Ask(line);
    } catch (const ERemoteError& e) {
      answer = e.what();
    }
  };
  SetDialogs(&box);
  // The user's save of an absent signal: its box opens in the idle step.
  ExecCommand("Save:Disk:Source M3;:Save:Disk:FileName m3;:Save:Disk:Save");
  for (int i = 0; i < 200000 && box.shown.empty(); ++i) QApplication::processEvents();
  SetDialogs(&dialogs_);
  ASSERT_EQ(box.shown, std::vector<std::string>{"[error] Signal is absent"});
  EXPECT_TRUE(answer.starts_with("OK ")) << answer.substr(0, 200);
  EXPECT_GT(answer.size(), 4u << 20);
}

}  // namespace
}  // namespace norv
