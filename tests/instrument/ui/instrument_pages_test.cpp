// The instrument's side-menu pages on the program's settings: each page's controls change
// their nodes when clicked and follow command lines, and each form's own rules (channel
// and generator choice, bindings that follow a mode or unit). Set NORV_PNG_DIR to get a
// picture of every page: menu_<form>_<page>.png.

#include "instrument/ui/instrument_pages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <cmath>
#include <string>

#include "controls/controls_state.h"
#include "controls/look.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/link/instrument_identity.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/qt/qt_harness.h"
#include "support/settings_tree_fixture.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

class InstrumentPagesTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    ControlsState.TimerFactory = &clock;
    ControlsState.OnException.Set([this](const std::string& text) { failures.push_back(text); });
    // The pattern-sync page and the simulated TDR head need their options.
    InstrumentIdentity.ModelCode = 1;
    InstrumentIdentity.Options = OptPatSyncTrig | OptGenerators;
    RegisterEveryUnit();
    ApplyEveryUnit();
    SetSideMenuHost(&window);
    RegisterInstrumentPages();
    window.ShowActive();
  }
  void TearDown() override {
    ShowSideMenu(kNoMenu, kRightPanel);
    ShowSideMenu(kNoMenu, kLeftPanel);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(failures.empty()) << failures.front();
    SettingsTreeTest::TearDown();
  }

  static TInstrumentMenu& Open(int menu, int page = 1, int panel = kRightPanel) {
    EXPECT_TRUE(ShowSideMenu(menu, panel)) << menu;
    auto& form = *static_cast<TInstrumentMenu*>(SideMenuForms.at(static_cast<size_t>(panel)).data());
    form.ShowPage(page);
    return form;
  }
  static THandler& Node(const std::string& path) {
    THandler* handler = RootSpider->FindHandler(path);
    if (!handler) throw EAssertion("no node " + path);
    return *handler;
  }
  // The node's value as a query replies it, without the header.
  static std::string Text(const std::string& path) {
    const std::string reply = Exec(path + "?");
    return reply.substr(reply.find(' ') + 1);
  }
  static double Value(const std::string& path) {
    return dynamic_cast<TEditHandler&>(Node(path)).GetFloatValue();
  }
  static void ClickButton(TRC_PolyButtonSwitcher& s, int button) {
    Click(s.Button(button), s.Button(button)->rect().center());
  }
  static void ClickCommand(TRC_CustomCmmandSwitcher& s) { Click(&s, s.ButtonRect(0).center()); }
  static std::string BoundPath(const TRC_Switcher& s) {
    return s.GetHandler() ? s.GetFullMnemonic() : "(unbound)";
  }

  FakeClock clock;
  TestWindow window;
  std::vector<std::string> failures;
};

// A click on a button of a choice sets its node; a command line moves the control.
TEST_F(InstrumentPagesTest, ChoicesSetTheirNodesAndFollowCommands) {
  struct Case {
    int menu, page;
    const char* control;
    int button;
    const char* path;
    const char* afterClick;
    const char* command;
    int shownAfterCommand;
  };
  const Case cases[] = {
      // The right panel starts on Ch2.
      {kChannelMenu, 1, "ooswChannelsDisplay", 1, "CH2:Display", "OFF", "CH2:Display ON", 0},
      {kChannelMenu, 1, "rswChannelsBandwith", 1, "CH2:Band", "NARROW", "CH2:Band Full", 0},
      {kChannelMenu, 2, "rswAttenuatUnits", 1, "CH2:Atten:Units", "RATIO", "CH2:Atten:Unit DB", 2},
      {kChannelMenu, 2, "rswAttenuatScale", 2, "CH2:Atten:Dimens", "AMPERE", "CH2:Atten:Dimens Unknown", 3},
      {kTimeBaseMenu, 1, "rswMode", 2, "TB:Mode", "B", "TB:Mode AB", 1},
      {kTimeBaseMenu, 1, "ooswDualDelayed", 0, "TB:DualDel", "ON", "TB:DualDel OFF", 1},
      {kTriggerMenu, 1, "rswHisteresis", 1, "Trig:Hister", "HIGHSENS", "Trig:Hister Norm", 0},
      {kTriggerMenu, 1, "RC_RadioSwitcher1", 2, "Trig:Source", "INTCLOCK", "Trig:Source ExtHF", 1},
      {kTriggerMenu, 3, "ooswEyeLine", 0, "Trig:PattEyeLine", "ON", "Trig:PattEyeLine OFF", 1},
      {kAcquisitionMenu, 1, "RC_RadioSwitcher1", 1, "Acq:FitTo", "SINGLE", "Acq:FitTo Multi", 0},
      {kAcquisitionMenu, 1, "rswMode", 4, "Acq:Ch1:Mode", "ENVMINMAX", "Acq:Ch1:Mode AvgStab", 1},
      {kAcquisitionMenu, 2, "RC_RadioSwitcher5", 1, "Acq:RunUntil", "NACQ", "Acq:RunUntil StopBtn", 0},
      {kGeneratorMenu, 1, "rswWaveform", 1, "GSS:A:Waweform", "PULSE", "GSS:A:Waweform PRBS", 2},
      {kGeneratorMenu, 3, "rswPrbsLength", 2, "GSS:A:PrbsLength", "11", "GSS:A:PrbsLength 15", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    auto& s = Open(c.menu, c.page).Control<TRC_PolyButtonSwitcher>(c.control);
    EXPECT_EQ(BoundPath(s), c.path);
    ClickButton(s, c.button);
    EXPECT_EQ(Text(c.path), c.afterClick);
    Exec(c.command);
    EXPECT_EQ(s.ItemIndex(), c.shownAfterCommand);
  }
  // A set of checks: each button its own bit (offered when a count of acquisitions ends the run).
  Exec("Acq:RunUntil NAcq");
  auto& react = Open(kAcquisitionMenu, 2).Control<TRC_CheckSwitcher>("RC_CheckSwitcher1");
  ClickButton(react, 0);
  EXPECT_EQ(dynamic_cast<TCheckSwHandler&>(Node("Acq:React")).GetMask(), 1u);
  Exec("Acq:React ClearALL");
  EXPECT_FALSE(react.Button(0)->isChecked());
}

// The up arrow of an edit steps its node by the node's rule; a command line rewrites the
// value shown. Lists choose their node's item and follow it.
TEST_F(InstrumentPagesTest, EditsAndListsSetTheirNodesAndFollowCommands) {
  struct Case {
    int menu, page;
    const char* control;
    const char* path;
    double afterUp;  // by the step rule, from the node's start value
    const char* command;
    const char* shown;
  };
  const Case cases[] = {
      {kChannelMenu, 1, "edswChannelsScale", "CH2:Scale", 0.5, "CH2:Scale 0.05", "50 mV/div"},
      {kTimeBaseMenu, 1, "edswScaleA", "TB:ScaleA", 2e-8, "TB:ScaleA 1E-6", "1 µs/div"},
      // Powers of two: 127 rounds to 128, which is the value itself, so the next one.
      {kTriggerMenu, 3, "edswPatternLength", "Trig:PattLen", 256, "Trig:PattLen 1023", "1023"},
      {kAcquisitionMenu, 2, "RC_EditSwitcher3", "Acq:NAcq", 64, "Acq:NAcq 100", "100"},
      {kGeneratorMenu, 1, "edswAmplitude", "GSS:A:Amplitude", 1.0, "GSS:A:Amplitude 0.2", "200 mV"},
  };
  Exec("Acq:RunUntil NAcq");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    auto& edit = Open(c.menu, c.page).Control<TRC_EditSwitcher>(c.control);
    EXPECT_EQ(BoundPath(edit), c.path);
    Click(&edit, edit.ArrowRect(0).center());
    EXPECT_NEAR(Value(c.path), c.afterUp, std::abs(c.afterUp) * 1e-9);
    Exec(c.command);
    EXPECT_EQ(edit.ValueText().simplified().toStdString(), c.shown);
  }

  Exec("TB:Units Bit");  // the rate list serves bit periods only
  auto& rates = Open(kTimeBaseMenu).Control<TRC_ListBoxSwitcher>("rclbIndBitRate");
  EXPECT_EQ(rates.ListBox()->count(), 49);
  PressKey(rates.ListBox(), Qt::Key_Down);
  EXPECT_EQ(Text("TB:BitRate"), "125M000");  // entry 8, 125e6 b/s
  Exec("TB:BitRate 1G0625");
  EXPECT_EQ(rates.ItemIndex(), 20);

  auto& ch2 = Open(kGeneratorMenu).Control<TRC_ListBoxSwitcher>("lbswChannel2");
  PressKey(ch2.ListBox(), Qt::Key_Down);  // B -> C
  EXPECT_EQ(Text("GSS:Ch2"), "C");
  Exec("GSS:Ch2 D");
  EXPECT_EQ(ch2.ItemIndex(), 4);
}

// Commands run their node's action; links turn pages or open what they name.
TEST_F(InstrumentPagesTest, CommandsAndLinks) {
  InstrumentIdentity.ModelCode = 1;
  InstrumentIdentity.Options = OptPatSyncTrig;
  TInstrumentMenu& trig = Open(kTriggerMenu, 2);
  auto& patternSync = trig.Control<TRC_RightPassiveCommandSwitcher>("rpcswPatternLock");
  EXPECT_TRUE(patternSync.isVisible());
  ClickCommand(patternSync);
  EXPECT_EQ(trig.CurrentPage(), 3);
  int lists = 0;
  InstrumentPages().ShowPatternLengthList = [&] { ++lists; };
  ClickCommand(trig.Control<TRC_RightPassiveCommandSwitcher>("pcswPatternLengthList"));
  EXPECT_EQ(lists, 1);
  Exec("Trig:PatternLockMode Manual");
  const std::string before = Text("Trig:PattAddDelay");
  ClickCommand(trig.Control<TRC_RightCommandSwitcher>("rcswResetPatternLock"));  // toggles in Manual
  EXPECT_NE(Text("Trig:PattAddDelay"), before);

  ClickCommand(trig.Control<TRC_RightPassiveCommandSwitcher>("Button1"));
  EXPECT_EQ(trig.CurrentPage(), 2);

  // Without the option the page is out of reach: no turner goes round the pages, the
  // second page leads back to the first only.
  InstrumentIdentity.Options = 0;
  TInstrumentMenu& plain = Open(kTriggerMenu, 2);
  EXPECT_FALSE(plain.Control<TRC_Switcher>("rpcswPatternLock").isVisible());
  EXPECT_EQ(plain.findChild<TPageTurnSwitcher*>(), nullptr);
  ClickCommand(plain.Control<TRC_RightPassiveCommandSwitcher>("TriggerBack"));
  EXPECT_EQ(plain.CurrentPage(), 1);
  ClickCommand(plain.Control<TRC_RightPassiveCommandSwitcher>("TriggerMore"));
  EXPECT_EQ(plain.CurrentPage(), 2);
  plain.ShowPage(3);
  EXPECT_EQ(plain.CurrentPage(), 2);

  TInstrumentMenu& gss = Open(kGeneratorMenu);
  ClickCommand(gss.Control<TRC_RightPassiveCommandSwitcher>("pcsAmplitudePage"));
  EXPECT_EQ(gss.CurrentPage(), 3);
  for (int page : {0, 6, -1}) {
    gss.ShowPage(page);
    EXPECT_EQ(gss.CurrentPage(), 1) << page;
  }
}

// "Select" moves both pages of the channel menu to the other channel's nodes; a menu on
// the left follows its own choice.
TEST_F(InstrumentPagesTest, ChannelSelectSwitchesTheGroupOfBothPages) {
  TInstrumentMenu& right = Open(kChannelMenu);
  auto& select = right.Control<TRC_RadioSwitcher>("rswChannelSelect");
  EXPECT_EQ(BoundPath(select), "SHADOW:MenuSelectR");
  EXPECT_EQ(select.ItemIndex(), 1);  // the right panel starts on Ch2
  EXPECT_EQ(BoundPath(right.Control<TRC_EditSwitcher>("edswChannelsDeskew")), "CH2:Deskew");
  EXPECT_EQ(right.PanelNamed("rmpChannelsMain").title(), "Channel 2");
  ClickButton(select, 0);
  EXPECT_EQ(BoundPath(right.Control<TRC_OnOffSwitch>("ooswChannelsDisplay")), "CH1:Display");
  EXPECT_EQ(BoundPath(right.Control<TRC_RadioSwitcher>("rswAttenuatScale")), "CH1:Atten:Dimens");
  EXPECT_EQ(right.PanelNamed("rmpChannelsContinue").title(), "Channel 1 (cont.)");
  // "Atten:Units" reaches "Atten:Unit"; Decibel moves the attenuation edit to dB.
  auto& units = right.Control<TRC_RadioSwitcher>("rswAttenuatUnits");
  EXPECT_EQ(BoundPath(units), "CH1:Atten:Units");
  EXPECT_EQ(units.GetHandler(), &Node("CH1:Atten:Unit"));
  ClickButton(units, 2);
  EXPECT_EQ(BoundPath(right.Control<TRC_EditSwitcher>("RC_EditSwitcher1")), "CH1:Atten:DB");

  TInstrumentMenu& left = Open(kChannelMenu, 1, kLeftPanel);
  EXPECT_EQ(BoundPath(left.Control<TRC_RadioSwitcher>("rswChannelSelect")), "SHADOW:MenuSelectL");
  EXPECT_EQ(BoundPath(left.Control<TRC_EditSwitcher>("edswChannelsScale")), "CH1:Scale");
  ClickButton(left.Control<TRC_RadioSwitcher>("rswChannelSelect"), 1);
  EXPECT_EQ(BoundPath(left.Control<TRC_EditSwitcher>("edswChannelsScale")), "CH2:Scale");
  EXPECT_EQ(BoundPath(right.Control<TRC_EditSwitcher>("edswChannelsScale")), "CH1:Scale");
}

// A channel page shows its own channel in its caption whatever the language file says:
// opened with a language loaded, and after a switch of language while it is open.
TEST_F(InstrumentPagesTest, TranslatedChannelPageShowsItsOwnChannel) {
  const char* const before = std::getenv("VEXILOR_NORV_HOME");
  const std::string oldHome = before ? before : "";
  const std::filesystem::path home = MakeTempDir("lang");
  setenv("VEXILOR_NORV_HOME", home.c_str(), 1);
  const std::string main = "Menu Panel rmpPage1.Menu Panel rmpChannelsMain.";
  for (const char* code : {"DEU", "Eng"}) {
    TLangIniFile ini(home / LanguageFileName(code));
    const bool german = std::string(code) == "DEU";
    WriteLangValue(ini, "Common", "Language", german ? "Deutsch" : "English");
    WriteLangValue(ini, "Usil_Form", main + "Caption", german ? "Kanal 1" : "Channel 1");
    WriteLangValue(ini, "Usil_Form", main + "ooswChannelsDisplay.Caption", german ? "Anzeige" : "Display");
    ini.UpdateFile();
  }
  SelectStartupLanguage();
  ASSERT_TRUE(Languages && Languages->Count == 2 && CurrentLanguageFile());
  const int german = Languages->Codes[0] == "DEU" ? 0 : 1;
  const auto caption = [](TInstrumentMenu& menu) {
    return menu.PanelNamed("rmpChannelsMain").title().toStdString();
  };
  const auto display = [](TInstrumentMenu& menu) {
    return menu.Control<TRC_OnOffSwitch>("ooswChannelsDisplay").Caption().toStdString();
  };
  TInstrumentMenu& right = Open(kChannelMenu, 1, kRightPanel);
  EXPECT_EQ(caption(right), "Channel 2");
  SwitchLanguage(german == Languages->CurrentIndex ? 1 - german : german);
  SwitchLanguage(german);
  EXPECT_EQ(std::tuple(caption(right), display(right)), std::tuple("Channel 2", "Anzeige"));
  TInstrumentMenu& left = Open(kChannelMenu, 1, kLeftPanel);
  EXPECT_EQ(std::tuple(caption(left), display(left)), std::tuple("Channel 1", "Anzeige"));
  setenv("VEXILOR_NORV_HOME", oldHome.c_str(), 1);
}

// Controls that follow a mode or a unit: the acquisition's parameter edit, the time
// base's scales, the trigger's attenuation, the generator pages.
TEST_F(InstrumentPagesTest, BindingsFollowModesUnitsAndGenerators) {
  TInstrumentMenu& acq = Open(kAcquisitionMenu);
  auto& parameter = acq.Control<TRC_EditSwitcher>("edswParameterOfMode");
  struct ModeCase {
    const char* mode;
    const char* caption;
    const char* bound;
    int help;
    const char* recLen;
  };
  for (const ModeCase& c : {ModeCase{"EnvMax", "ENVELOPE N", "Acq:Ch2:NEnv", 119, "Acq:Ch2:RecLen"},
                            {"AvgMult", "AVERAGE N", "Acq:Ch2:NAvg", 117, "Acq:Ch2:RecLen"},
                            {"Sample", "AVERAGE N", "Acq:Ch2:NAvg", 117, "Acq:Ch2:RecLen"}}) {
    Exec("Acq:Sampl Altern");
    ClickButton(acq.Control<TRC_RadioSwitcher>("rswMenuSelectChannel"), 1);
    Exec(std::string("Acq:Ch2:Mode ") + c.mode);
    EXPECT_EQ(std::tuple(parameter.Caption().toStdString(), BoundPath(parameter), parameter.HelpContext(),
                         BoundPath(acq.Control<TRC_EditSwitcher>("edswRecLength"))),
              std::tuple(c.caption, c.bound, c.help, c.recLen))
        << c.mode;
  }
  EXPECT_EQ(acq.PanelNamed("rmpAcquisition").title(), "Acquisition Ch2");
  Exec("Acq:Sampl Simult");  // both shown alike: Ch1's settings serve both
  EXPECT_EQ(acq.PanelNamed("rmpAcquisition").title(), "Acq. Ch1 & Ch2");
  EXPECT_EQ(BoundPath(parameter), "Acq:Ch1:NAvg");

  TInstrumentMenu& tb = Open(kTimeBaseMenu);
  Exec("TB:Units Bit");
  EXPECT_EQ(BoundPath(tb.Control<TRC_EditSwitcher>("edswScaleA")), "TB:BitScaleA");
  EXPECT_EQ(BoundPath(tb.Control<TRC_EditSwitcher>("edswScaleB")), "TB:BitScaleB");

  TInstrumentMenu& trig = Open(kTriggerMenu, 2);
  auto& atten = trig.Control<TRC_EditSwitcher>("edswAttenRatio");
  EXPECT_EQ(BoundPath(atten), "Trig:Atten:Ratio");
  Exec("Trig:Atten:Unit DB");
  EXPECT_EQ(BoundPath(atten), "Trig:Atten:DB");

  TInstrumentMenu& gss = Open(kGeneratorMenu);
  auto shown = [&](const char* name) {
    auto& s = gss.Control<TRC_Switcher>(name);
    return s.isVisibleTo(s.parentWidget());
  };
  ClickButton(gss.Control<TRC_RadioSwitcher>("rswGenerator"), 2);
  EXPECT_EQ(BoundPath(gss.Control<TRC_EditSwitcher>("edswAmplitude")), "GSS:C:Amplitude");
  EXPECT_EQ(BoundPath(gss.Control<TRC_EditSwitcher>("edswSubRateDiv")), "GSS:C:SubRateDiv");
  Exec("GSS:C:Waweform TDR");
  EXPECT_EQ(std::tuple(shown("edswAmplitude"), shown("edswTDROvershot"), shown("lbswTDRCircuit"),
                       shown("lbswTDTCircuit"), shown("pcsTimingPage"), shown("pcsMorePage")),
            std::tuple(false, true, true, false, false, true));
  Exec("GSS:A:Waweform TDT");  // another generator's change leaves the page alone
  EXPECT_TRUE(shown("lbswTDRCircuit"));
  Exec("GSS:C:Waweform Pulse");
  EXPECT_EQ(std::tuple(shown("edswAmplitude"), shown("lbswTDRCircuit"), shown("edswPulseWidth"),
                       shown("pcsJitterPage")),
            std::tuple(true, false, true, false));
}

// Every page of the five menus: captions and button texts fit their controls, nothing
// overlaps what is shown beside it, and the picture when asked for.
TEST_F(InstrumentPagesTest, EveryPageFitsItsTexts) {
  for (int menu : {kChannelMenu, kTimeBaseMenu, kTriggerMenu, kAcquisitionMenu, kGeneratorMenu}) {
    const int pages = Open(menu).PageCount();
    for (int page = 1; page <= pages; ++page) {
      TInstrumentMenu& form = Open(menu, page);
      const std::string where = form.objectName().toStdString() + " page " + std::to_string(page);
      std::vector<TRC_Switcher*> shown;
      for (TRC_Switcher* s : form.Page(page)->findChildren<TRC_Switcher*>())
        if (s->isVisibleTo(&form)) shown.push_back(s);
      for (TRC_Switcher* s : shown) {
        const std::string name = where + " " + s->objectName().toStdString();
        if (s->WithHot()) {
          EXPECT_LE(QFontMetrics(s->font()).horizontalAdvance(s->Caption()), s->width() - 8) << name;
        }
        if (auto* command = qobject_cast<TRC_CustomCmmandSwitcher*>(s); command && command->NoFrame()) {
          EXPECT_LE(QFontMetrics(s->font()).horizontalAdvance(command->ButtonCaption(0)) + 14, s->width())
              << name;
        }
        if (auto* poly = qobject_cast<TRC_PolyButtonSwitcher*>(s)) {
          for (int i = 0; i < poly->ButtonCount(); ++i) {
            QAbstractButton* button = poly->Button(i);
            EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 18, button->width())
                << name;
            EXPECT_GE(button->font().pixelSize(), 8) << name;
          }
        }
        for (TRC_Switcher* other : shown) {
          if (other != s && other->parentWidget() == s->parentWidget()) {
            EXPECT_FALSE(s->geometry().intersects(other->geometry()))
                << name << " overlaps " << other->objectName().toStdString();
          }
        }
      }
      MaybeWritePng(Grab(&form), "menu_" + form.objectName().toStdString() + "_" + std::to_string(page));
    }
  }
}

}  // namespace
}  // namespace norv::test
