// The display menu as a user meets it: clicks on its pages, turned by their own buttons,
// reach the state the same command lines reach; command lines repaint the controls of both
// open pages, whose style and time controls follow the chosen trace and a shown database.
// Set NORV_PNG_DIR to get display_page.png (the four pages side by side).

#include "display/ui/display_page.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPainter>
#include <functional>
#include <string>
#include <vector>

#include "controls/controls_state.h"
#include "controls/menu_pages.h"
#include "display/settings/display_settings.h"
#include "framework/settings/numeric_handlers.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/settings_tree_fixture.h"

namespace norv {
namespace {

using test::Click;
using test::PressKey;

class DisplayPageTest : public test::SettingsTreeTest {
 protected:
  void SetUp() override {
    StartProgram();
    SetSideMenuHost(&window);
    window.ShowActive();
  }
  void TearDown() override {
    CloseMenus();
    SettingsTreeTest::TearDown();
  }
  // Every unit registered and applied, the display menu registered, as at start-up.
  void StartProgram() {
    FreshProgramState();
    test::RegisterEveryUnit();
    test::ApplyEveryUnit();
    ControlsState.TimerFactory = &clock;
    ControlsState.OnException.Set([this](const std::string& text) { failures.push_back(text); });
    std::array<std::string, kSourceNameCount> names;
    for (int i = 0; i < kSourceNameCount; ++i) names[static_cast<size_t>(i)] = GetTraceShortName(TTraceId(i));
    InstallSourceNames(
        names, [](int) { return 0x00FFFFu; }, 0);
    RegisterDisplayPages();
    SetDialogs(&dialogs);
  }
  static void CloseMenus() {
    ShowSideMenu(kNoMenu, kRightPanel);
    ShowSideMenu(kNoMenu, kLeftPanel);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  static TDeclaredSideMenu& Menu(int panel = kRightPanel) {
    return *static_cast<TDeclaredSideMenu*>(SideMenuForms.at(static_cast<size_t>(panel)).data());
  }
  template <class T = TRC_Switcher>
  static T& C(const char* name, int panel = kRightPanel) {
    return Menu(panel).Control<T>(name);
  }
  // Presses a button; a page turn must show `page`.
  static void Press(const char* name, int page = 0) {
    auto& button = C<TRC_CustomCmmandSwitcher>(name);
    Click(&button, button.ButtonRect(0).center());
    if (page) {
      EXPECT_TRUE(Menu().CurrentPage() == page && Menu().Page(page)->isVisible()) << name;
    }
  }
  static void Choose(const char* name, int item) {
    auto& choice = C<TRC_PolyButtonSwitcher>(name);
    Click(choice.Button(item), choice.Button(item)->rect().center());
  }
  // Moves a drop-down list down by n enabled entries, as the arrow key does.
  static void ListDown(const char* name, int n) {
    auto* list = C(name).findChild<TColorComboBox*>();
    for (int i = 0; i < n; ++i) PressKey(list, Qt::Key_Down);
  }
  static void Arrow(const char* name, int zone) {
    auto& edit = C<TRC_EditSwitcher>(name);
    Click(&edit, edit.ArrowRect(zone).center());
  }
  // A command line; the shadow nodes take none, so their handler takes the same text.
  static void Line(const std::string& line) {
    if (!line.starts_with("SHADOW:")) {
      Exec(line);
      return;
    }
    const size_t blank = line.find(' ');
    RootSpider->FindHandler(line.substr(0, blank))->ExecCmd(line.substr(blank + 1), false, false);
  }
  static std::vector<std::string> Dump() {
    std::vector<std::string> lines;
    RootSpider->DumpSettings(lines);
    return lines;
  }
  static THandler* Node(const std::string& path) { return RootSpider->FindHandler(path); }

  test::FakeClock clock;
  test::TestWindow window;
  test::FakeDialogs dialogs;
  std::vector<std::string> failures;
};

TEST_F(DisplayPageTest, ClicksReachTheStateOfTheSameCommandLines) {
  struct Step {
    const char* what;
    std::function<void()> clicks;
    std::vector<std::string> commands;
  };
  // Colours are 0x00BBGGRR with the opacity percent in the top byte.
  const std::vector<Step> steps = {
      {"trace mode", [] { Choose("rswTraceMode", 1); }, {"DISPL:TRACEMODE PERTRACE"}},
      {"trace", [] { ListDown("ssswTrace", 1); }, {"DISPL:TRACESEL CH2"}},
      {"style of the chosen trace", [] { Choose("rswStyle", 6); }, {"DISPL:CH2:STYLE VCOLORGRAD"}},
      // 20 s one coarse step up in 1-2-5.
      {"time editor on the refresh time", [] { Arrow("edswTime", 0); }, {"DISPL:CH2:REFRESHTIME 50"}},
      {"grade 5 from the scale page",
       [this] {
         Press("pcswGotoColorPanel", 3);
         Press("pcswGotoColorLegend", 4);
         dialogs.colours.push_back(0x00FF00);
         Press("DisplSetColGrade5");
         Press("DisplBack2", 3);
         Press("Button2", 1);
       },
       {"DISPL:GRADECLR1 65280"}},
      {"format", [] { Press("pcswGotoScreenPanel", 2), Choose("rswFormat", 5); }, {"DISPL:FORMAT COMB2YTXY"}},
      {"screen of the chosen waveform",
       [] { ListDown("ssswWaveform", 1), Choose("rswPlaceOnGratic", 0); },
       {"SHADOW:DISPL:WFM CH2", "DISPL:SCREEN2:CH2 1"}},
      // Transparency 50 one step down: opacity 60 = 0x3C.
      {"transparency of the histogram",
       [] {
         Press("Button1", 1);
         Press("pcswGotoColorPanel", 3);
         ListDown("lbswItem2", 17);
         Arrow("edsvTransparence", 1);
       },
       {"SHADOW:COLORITEM HISTOGRAM", "DISPL:COLOR:HISTOGRAM 1006633215"}},
      {"default of the item", [] { Press("rcswSefaultCurrentColor"); }, {"DISPL:DEFAULTCLR:CURRENT"}},
      // 0x32 << 24 | 0x123456: the default's opacity of 50 % stays.
      {"colour from the dialog",
       [this] { dialogs.colours.push_back(0x123456), Press("RC_RightPassiveCommandSwitcher3"); },
       {"DISPL:COLOR:HISTOGRAM 840053846"}},
  };

  StartUndo();
  ASSERT_TRUE(ShowSideMenu(kDisplayMenuId, kRightPanel));
  std::vector<std::vector<std::string>> byClicks{Dump()};
  for (const Step& step : steps) {
    step.clicks();
    byClicks.push_back(Dump());
    EXPECT_NE(byClicks.back(), byClicks[byClicks.size() - 2]) << step.what << ": the clicks changed nothing";
  }
  EXPECT_TRUE(failures.empty()) << failures.front();
  // The dialog's colour is an undo step of its own.
  ReplayUndoStep(false);
  EXPECT_EQ(Dump(), byClicks[byClicks.size() - 2]);

  CloseMenus();
  StartProgram();
  ASSERT_EQ(Dump(), byClicks.front());
  for (size_t i = 0; i < steps.size(); ++i) {
    for (const std::string& line : steps[i].commands) Line(line);
    EXPECT_EQ(Dump(), byClicks[i + 1]) << steps[i].what;
  }
}

TEST_F(DisplayPageTest, CommandLinesRepaintBothOpenPagesAndTheirBindings) {
  ASSERT_TRUE(ShowSideMenu(kDisplayMenuId, kRightPanel) && ShowSideMenu(kDisplayMenuId, kLeftPanel));
  struct Binding {
    std::vector<std::string> commands;
    const char* control;
    std::string path;  // of the setting it shows
    int item;
  };
  for (const Binding& b : std::vector<Binding>{
           {{"DISPL:GRATIC AXIS"}, "RC_RadioSwitcher1", "Displ:Gratic", 2},
           {{"DISPL:TRACEMODE PERTRACE", "DISPL:TRACESEL F2", "DISPL:F2:STYLE VCOLORGRAD"},
            "rswStyle",
            "Displ:F2:Style",
            6},
           {{"DISPL:FORMAT 2YT", "SHADOW:DISPL:WFM CH2"}, "rswPlaceOnGratic", "Displ:Screen2:Ch2", 1},
           {{"DISPL:FORMAT 4YT", "SHADOW:DISPL:WFM HIST"}, "rswPlaceOnGratic", "Displ:Screen4:Hist", 0},
       }) {
    for (const std::string& line : b.commands) Line(line);
    for (int p : {kRightPanel, kLeftPanel}) {
      auto& control = C<TRC_RadioSwitcher>(b.control, p);
      EXPECT_EQ(std::pair(control.GetHandler(), control.ItemIndex()), std::pair(Node(b.path), b.item))
          << b.commands.back() << " panel " << p;
    }
  }

  // The time editor, and the grade buttons, follow the style; also when every change is
  // forced, as while no instrument is connected. Infinite persistence has no time to set.
  struct Style {
    const char* command;
    bool forced;
    std::tuple<THandler*, QString, int, bool, bool> editor;  // setting, caption, help, enabled, buttons
  };
  for (const Style& row : std::vector<Style>{
           {"DISPL:F2:STYLE INFINPERS",
            false,
            {Node("Displ:F2:PersistTime"), "PERSISTENCE TIME", 306, false, false}},
           {"DISPL:F2:STYLE VCOLORGRAD",
            true,
            {Node("Displ:F2:RefreshTime"), "REFRESH TIME", 310, true, true}},
       }) {
    ForceNotify = row.forced;
    Exec(row.command);
    ForceNotify = false;
    for (int p : {kRightPanel, kLeftPanel}) {
      auto& time = C("edswTime", p);
      const bool buttons = C("DisplSetColGrade3", p).isVisibleTo(Menu(p).Page(4));
      EXPECT_EQ(std::tuple(time.GetHandler(), time.Caption(), time.HelpContext(), time.isEnabled(), buttons),
                row.editor)
          << row.command << " panel " << p;
    }
  }

  // While a database is shown the style control sets the database style.
  SetDatabase(true, "eye.db");
  EXPECT_EQ(C("rswStyle").GetHandler(), DisplaySettings().DBStyle);
  Choose("rswStyle", 3);
  EXPECT_EQ(std::pair(GetIndex(DisplaySettings().DBStyle), GetTraceStyle(TTraceId::F2)),
            std::pair(uint8_t{3}, TDisplayStyle::VColorGrad));
  SetDatabase(false, "");
  EXPECT_EQ(C("rswStyle", kLeftPanel).GetHandler(), Node("Displ:F2:Style"));

  // The grade swatches in their colours: red; cyan, on which the caption is black.
  Exec("DISPL:GRADECLR1 255");
  Exec("DISPL:GRADECLR5 16776960");
  EXPECT_EQ(test::PixelOf(&C("DisplColGrade5"), 4, 4), QColor(255, 0, 0));
  const QImage cyan = test::Grab(&C("DisplColGrade1", kLeftPanel));
  EXPECT_EQ(cyan.pixelColor(4, 4), QColor(0, 255, 255));
  EXPECT_GT(test::CountPixels(cyan, cyan.rect(), Qt::black), 10);
  EXPECT_TRUE(failures.empty()) << failures.front();

  QImage pages(4 * (kPagePanelWidth + 4), kPagePanelHeight, QImage::Format_RGB32);
  pages.fill(Qt::white);
  QPainter painter(&pages);
  for (int page = 1; page <= 4; ++page) {
    Menu().ShowPage(page);
    painter.drawImage((page - 1) * (kPagePanelWidth + 4), 0, test::Grab(&Menu()));
  }
  painter.end();
  test::MaybeWritePng(pages, "display_page");
}

}  // namespace
}  // namespace norv
