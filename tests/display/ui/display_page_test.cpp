// The display menu as a user meets it: clicks on its pages reach the state the same
// command lines reach, command lines repaint the controls of both open pages, and the
// style and time controls follow the chosen trace and a shown database. Set NORV_PNG_DIR
// to get display_page.png (the four pages side by side).

#include "display/ui/display_page.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPainter>
#include <algorithm>
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
  static void Press(const char* name) {
    auto& button = C<TRC_CustomCmmandSwitcher>(name);
    Click(&button, button.ButtonRect(0).center());
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
  // The lines of `to` that `from` lacks.
  static std::string Changes(const std::vector<std::string>& from, const std::vector<std::string>& to) {
    std::string text;
    for (const std::string& line : to)
      if (std::find(from.begin(), from.end(), line) == from.end()) text += "[" + line + "] ";
    return text;
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
      {"the style of the chosen trace", [] { Choose("rswStyle", 6); }, {"DISPL:CH2:STYLE VCOLORGRAD"}},
      // 20 s one coarse step up in 1-2-5.
      {"the time editor edits the refresh time", [] { Arrow("edswTime", 0); }, {"DISPL:CH2:REFRESHTIME 50"}},
      {"grade 5 from the scale page",
       [this] {
         Press("pcswGotoColorPanel");
         Press("pcswGotoColorLegend");
         dialogs.colours.push_back(0x00FF00);
         Press("DisplSetColGrade5");
         Press("DisplBack2");
         Press("Button2");
       },
       {"DISPL:GRADECLR1 65280"}},
      {"reset all", [] { Press("RC_RightCommandSwitcher1"); }, {"DISPL:RESETALL"}},
      {"format",
       [] {
         Press("pcswGotoScreenPanel");
         Choose("rswFormat", 5);
       },
       {"DISPL:FORMAT COMB2YTXY"}},
      {"screen of the chosen waveform",
       [] {
         ListDown("ssswWaveform", 1);
         Choose("rswPlaceOnGratic", 0);
       },
       {"SHADOW:DISPL:WFM CH2", "DISPL:SCREEN2:CH2 1"}},
      {"graticule", [] { Choose("RC_RadioSwitcher1", 1); }, {"DISPL:GRATIC FRAME"}},
      {"x axis", [] { ListDown("ssswX_AxisForXY", 1); }, {"DISPL:XAXIS CH2"}},
      // Transparency 50 one step down: opacity 60 = 0x3C.
      {"transparency of the histogram",
       [] {
         Press("Button1");
         Press("pcswGotoColorPanel");
         ListDown("lbswItem2", 17);
         Arrow("edsvTransparence", 1);
       },
       {"SHADOW:COLORITEM HISTOGRAM", "DISPL:COLOR:HISTOGRAM 1006633215"}},
      {"default of the item", [] { Press("rcswSefaultCurrentColor"); }, {"DISPL:DEFAULTCLR:CURRENT"}},
      // 0x32 << 24 | 0x123456: the opacity 50 % of the default stays.
      {"colour from the dialog",
       [this] {
         dialogs.colours.push_back(0x123456);
         Press("RC_RightPassiveCommandSwitcher3");
       },
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
  // The dialog's colour is one step of its own.
  ReplayUndoStep(false);
  EXPECT_TRUE(Dump() == byClicks[byClicks.size() - 2]) << Changes(byClicks[byClicks.size() - 2], Dump());

  CloseMenus();
  StartProgram();
  ASSERT_EQ(Dump(), byClicks.front());
  for (size_t i = 0; i < steps.size(); ++i) {
    for (const std::string& line : steps[i].commands) Line(line);
    const std::vector<std::string> dump = Dump();
    EXPECT_TRUE(dump == byClicks[i + 1]) << steps[i].what << ": commands " << Changes(byClicks[i + 1], dump)
                                         << "clicks " << Changes(dump, byClicks[i + 1]);
  }
}

TEST_F(DisplayPageTest, CommandLinesRepaintBothOpenPagesAndTheirBindings) {
  ASSERT_TRUE(ShowSideMenu(kDisplayMenuId, kRightPanel) && ShowSideMenu(kDisplayMenuId, kLeftPanel));
  const auto& s = DisplaySettings();
  auto gradeButtonsShown = [](int panel) {
    return C("DisplSetColGrade3", panel).isVisibleTo(Menu(panel).Page(4));
  };
  struct Row {
    std::vector<const char*> commands;
    std::function<void(int panel)> check;
  };
  const std::vector<Row> rows = {
      {{"DISPL:GRATIC AXIS"},
       [](int p) { EXPECT_EQ(C<TRC_RadioSwitcher>("RC_RadioSwitcher1", p).ItemIndex(), 2); }},
      {{"DISPL:TRACEMODE ALLLOCKED"}, [](int p) { EXPECT_FALSE(C("ssswTrace", p).isEnabled()); }},
      {{"DISPL:TRACEMODE PERTRACE", "DISPL:TRACESEL F2", "DISPL:F2:STYLE VCOLORGRAD"},
       [&](int p) {
         EXPECT_TRUE(C("ssswTrace", p).isEnabled());
         EXPECT_EQ(C("rswStyle", p).GetHandler(), Node("Displ:F2:Style"));
         EXPECT_EQ(C<TRC_RadioSwitcher>("rswStyle", p).ItemIndex(), 6);
         auto& time = C("edswTime", p);
         EXPECT_EQ(std::tuple(time.GetHandler(), time.Caption(), time.HelpContext(), time.isEnabled()),
                   std::tuple(Node("Displ:F2:RefreshTime"), "REFRESH TIME", 310, true));
         EXPECT_TRUE(gradeButtonsShown(p));
       }},
      {{"DISPL:F2:STYLE INFINPERS"},
       [&](int p) {
         auto& time = C("edswTime", p);
         // The infinite persistence has no time to set.
         EXPECT_EQ(std::tuple(time.GetHandler(), time.Caption(), time.HelpContext(), time.isEnabled()),
                   std::tuple(Node("Displ:F2:PersistTime"), "PERSISTENCE TIME", 306, false));
         EXPECT_FALSE(gradeButtonsShown(p));
       }},
      {{"DISPL:TRACESEL XY", "DISPL:XY:STYLE DOTS"},
       [](int p) { EXPECT_EQ(C("rswStyle", p).GetHandler(), Node("Displ:XY:Style")); }},
      {{"DISPL:FORMAT 2YT", "SHADOW:DISPL:WFM CH2"},
       [](int p) {
         auto& place = C<TRC_RadioSwitcher>("rswPlaceOnGratic", p);
         EXPECT_EQ(place.GetHandler(), Node("Displ:Screen2:Ch2"));
         EXPECT_EQ(std::tuple(place.ItemIndex(), place.DisabledMask(), place.isEnabled()),
                   std::tuple(1, 0xCu, true));
       }},
      {{"DISPL:FORMAT 4YT", "SHADOW:DISPL:WFM HIST"},
       [](int p) { EXPECT_EQ(C("rswPlaceOnGratic", p).GetHandler(), Node("Displ:Screen4:Hist")); }},
      {{"DISPL:GRADECLR1 255", "DISPL:GRADECLR5 16776960"},  // red; cyan, on which text is black
       [](int p) {
         EXPECT_EQ(test::PixelOf(&C("DisplColGrade5", p), 4, 4), QColor(255, 0, 0));
         const QImage cyan = test::Grab(&C("DisplColGrade1", p));
         EXPECT_EQ(cyan.pixelColor(4, 4), QColor(0, 255, 255));
         EXPECT_GT(test::CountPixels(cyan, cyan.rect(), Qt::black), 10);
       }},
  };
  for (const Row& row : rows) {
    for (const char* line : row.commands) Line(line);
    for (int panel : {kRightPanel, kLeftPanel}) {
      SCOPED_TRACE(std::string(row.commands.front()) + (panel ? " left" : " right"));
      row.check(panel);
    }
  }

  // While a database is shown the style control sets the database style.
  Exec("DISPL:TRACESEL F2");
  SetDatabase(true, "eye.db");
  EXPECT_EQ(C("rswStyle").GetHandler(), s.DBStyle);
  Choose("rswStyle", 3);
  EXPECT_EQ(std::pair(GetIndex(s.DBStyle), GetTraceStyle(TTraceId::F2)),
            std::pair(uint8_t{3}, TDisplayStyle::InfinPers));
  SetDatabase(false, "");
  EXPECT_EQ(C("rswStyle", kLeftPanel).GetHandler(), Node("Displ:F2:Style"));

  // Without an instrument every change notifies by force; the page follows all the same.
  ForceNotify = true;
  Exec("DISPL:F2:STYLE VARGRAYSCAL");
  ForceNotify = false;
  auto& time = C("edswTime", kLeftPanel);
  EXPECT_EQ(std::pair(time.GetHandler(), time.isEnabled()), std::pair(Node("Displ:F2:RefreshTime"), true));
  EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST_F(DisplayPageTest, PagesTurnByTheirButtonsAndShowEveryTextWhole) {
  Exec("DISPL:TRACEMODE PERTRACE");
  Exec("DISPL:CH1:STYLE ICOLORGRAD");  // the grade buttons shown
  ASSERT_TRUE(ShowSideMenu(kDisplayMenuId, kRightPanel));
  TDeclaredSideMenu& menu = Menu();
  EXPECT_EQ(menu.findChild<TPageTurnSwitcher*>(), nullptr);
  const std::vector<std::pair<const char*, int>> turns = {
      {"pcswGotoScreenPanel", 2}, {"Button1", 1},    {"pcswGotoColorPanel", 3},
      {"pcswGotoColorLegend", 4}, {"DisplBack2", 3}, {"Button2", 1}};
  for (const auto& [button, page] : turns) {
    Press(button);
    EXPECT_EQ(menu.CurrentPage(), page) << button;
    EXPECT_TRUE(menu.Page(page)->isVisible()) << button;
  }
  menu.ShowPage(5);
  EXPECT_EQ(menu.CurrentPage(), 1);

  // Captions, button texts and choices fit their places; no control leaves its panel.
  const QFontMetrics metrics(ProgramFont());
  QImage pages(4 * (kPagePanelWidth + 4), kPagePanelHeight, QImage::Format_RGB32);
  pages.fill(Qt::white);
  QPainter painter(&pages);
  for (int page = 1; page <= 4; ++page) {
    menu.ShowPage(page);
    for (TRC_Switcher* s : menu.Page(page)->findChildren<TRC_Switcher*>()) {
      const std::string name = s->objectName().toStdString();
      EXPECT_TRUE(s->parentWidget()->rect().contains(s->geometry())) << name;
      if (s->WithHot() && !s->NoFrame()) {
        EXPECT_LE(metrics.horizontalAdvance(s->Caption()), s->width() - 8) << name;
      }
      if (auto* command = qobject_cast<TRC_CustomCmmandSwitcher*>(s)) {
        EXPECT_LE(metrics.horizontalAdvance(command->ButtonCaption(0)), command->ButtonRect(0).width() - 6)
            << name;
      }
      if (auto* choice = qobject_cast<TRC_PolyButtonSwitcher*>(s)) {
        for (int i = 0; i < choice->ButtonCount(); ++i)
          EXPECT_LE(choice->Button(i)->sizeHint().width(), choice->Button(i)->width()) << name << " " << i;
      }
    }
    painter.drawImage((page - 1) * (kPagePanelWidth + 4), 0, test::Grab(&menu));
  }
  painter.end();
  test::MaybeWritePng(pages, "display_page");
}

}  // namespace
}  // namespace norv
