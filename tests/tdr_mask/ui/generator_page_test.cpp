// The generator side menu driven by clicks: the clock, delay and width controls follow
// the mode, an output's pages bind to that output's nodes. Set NORV_PNG_DIR to get
// generator_page.png and generator_output.png.

#include "tdr_mask/ui/generator_page.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "instrument/link/instrument_identity.h"
#include "support/fake_settings_link.h"
#include "support/qt/side_menu_fixture.h"

namespace norv::test {
namespace {

class GeneratorPageTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override {
    InstrumentIdentity.ModelCode = 1;
    InstrumentIdentity.Options = OptGenerators;
    RegisterGeneratorPage();
  }
  void TearDown() override {
    SideMenuPageTest::TearDown();
    InstrumentIdentity = {};
  }
  static void Press(TDeclaredSideMenu& menu, const char* name) {
    auto& s = menu.Control<TRC_CustomCmmandSwitcher>(name);
    Click(&s, s.ButtonRect(0).center());
  }
  static THandler* Bound(TDeclaredSideMenu& menu, const char* name) {
    return menu.Control<TRC_Switcher>(name).GetHandler();
  }
  FakeSettingsLink link;
};

TEST_F(GeneratorPageTest, ControlsFollowTheModeAndTheChosenOutput) {
  TDeclaredSideMenu& menu = Open(kGeneratorMenuId);
  auto& mode = menu.Control<TRC_RadioSwitcher>("rswGeneratorsMode");
  auto& period = menu.Control<TRC_EditSwitcher>("edswPeriod");
  struct Case {
    int button;
    const char* clock;
    const char* caption;
    const char* delay;
    bool pattern;
    const char* sent;
  };
  for (const Case& c : {Case{4, "Gen:NrzClock", "CLOCK", "Gen:Delay", true, "Gen:Mode NRZ"},
                        Case{5, "Gen:RzClock", "CLOCK", "Gen:Delay", true, "Gen:Mode RZ"},
                        Case{1, "Gen:PulsePeriod", "PERIOD", "Gen:StepsDelay", false, "Gen:Mode TDRTDT"},
                        Case{3, "Gen:PulsePeriod", "PERIOD", "Gen:Delay", false, "Gen:Mode Pulse"}}) {
    SCOPED_TRACE(c.sent);
    link.Clear();
    Choose(mode, c.button);
    EXPECT_EQ(link.TextsStartingWith("Gen:Mode"), std::vector<std::string>{c.sent});
    EXPECT_EQ(period.GetHandler(), Node(c.clock));
    EXPECT_EQ(period.Caption(), c.caption);
    EXPECT_EQ(Bound(menu, "edswDelay"), Node(c.delay));
    EXPECT_EQ(menu.Control<TRC_RadioSwitcher>("rswLength").isVisible(), c.pattern);
    EXPECT_EQ(menu.Control<TRC_EditSwitcher>("edswWidth").isVisible(), !c.pattern);
  }
  link.Clear();
  Up(period);  // 32 ns up by the coarse 1-2-5 step on the 8 ns grid
  EXPECT_GT(Value("Gen:PulsePeriod"), 3.2e-8);
  EXPECT_EQ(link.TextsStartingWith("Gen:Period").size(), 1u);
  Picture(menu, "generator_page");

  Press(menu, "pcswOutput2");
  EXPECT_EQ(menu.CurrentPage(), 2);
  EXPECT_EQ(Bound(menu, "edswDeskew"), Node("Gen:Out2:Deskew"));
  EXPECT_EQ(Bound(menu, "rswSlope"), Node("Gen:Out2:Polarity"));
  EXPECT_EQ(menu.findChild<TRC_RightMenuPanel*>("rmpGenOuput")->title(), " Output 2 ");
  link.Clear();
  Choose(menu.Control<TRC_RadioSwitcher>("rswOffsetMode"), 2);
  EXPECT_EQ(link.Texts(), std::vector<std::string>{"Gen:Out2:OfsMode Var"});
  EXPECT_TRUE(menu.Control<TRC_EditSwitcher>("edswOffset").isEnabled());
  Picture(menu, "generator_output");
  Press(menu, "pcswOffsetZeroCalibr");
  EXPECT_EQ(menu.CurrentPage(), 3);
  EXPECT_EQ(Bound(menu, "edswPositiveZero"), Node("FLASH:Gen:Out2:PositiveZero"));
  EXPECT_EQ(menu.findChild<QLabel*>("lblOutputNo")->text(), " Output 2");
  Press(menu, "btnBackToGenOutput");
  EXPECT_EQ(menu.CurrentPage(), 2);
  Press(menu, "btnBackToGenerator");
  EXPECT_EQ(menu.CurrentPage(), 1);
  menu.ShowPage(7);
  EXPECT_EQ(menu.CurrentPage(), 1);
}

}  // namespace
}  // namespace norv::test
