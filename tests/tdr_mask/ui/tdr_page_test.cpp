// The TDR/TDT side menu driven by clicks: the mode switches the TDR and TDT controls and
// the page buttons, the channel choice and the source rebind their pages, the preset unit
// rebinds the propagation edit. Set NORV_PNG_DIR to get tdr_page.png and
// tdr_channels.png.

#include "tdr_mask/ui/tdr_page.h"

#include <gtest/gtest.h>

#include "instrument/link/instrument_identity.h"
#include "support/qt/side_menu_fixture.h"
#include "tdr_mask/tdr_settings.h"

namespace norv::test {
namespace {

class TdrPageTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override {
    InstrumentIdentity.ModelCode = 1;
    InstrumentIdentity.Options = OptGenerators;
    SignalsOn.SetOn(TTraceId::Ch1, true);
    SignalsOn.SetOn(TTraceId::Ch2, true);
    UpdateTDRChannelSelect();
    RegisterTdrPage();
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
  static QString Title(TDeclaredSideMenu& menu, const char* panel) {
    return menu.findChild<TRC_RightMenuPanel*>(panel)->title();
  }
};

TEST_F(TdrPageTest, PagesFollowModeChannelUnitAndSource) {
  TDeclaredSideMenu& menu = Open(kTdrMenuId);
  EXPECT_FALSE(menu.Control<TRC_Switcher>("pcswChannels").isEnabled());  // Off
  Choose(menu.Control<TRC_RadioSwitcher>("rswTDR_Mode"), 2);             // TDT
  EXPECT_EQ(TdrSettings().Mode->GetIndex(), tmTDT);
  EXPECT_TRUE(menu.Control<TRC_Switcher>("pcswChannels").isEnabled());
  Picture(menu, "tdr_page");

  Press(menu, "pcswChannels");
  EXPECT_EQ(menu.CurrentPage(), 2);
  EXPECT_EQ(Title(menu, "rmpChannels"), " TDT Channels ");
  EXPECT_TRUE(menu.Control<TRC_Switcher>("edswRefTDTAmpl").isVisible());
  EXPECT_FALSE(menu.Control<TRC_Switcher>("edswRefAmpl").isVisible());
  Choose(menu.Control<TRC_RadioSwitcher>("rswMenuChannels"), 1);
  EXPECT_EQ(Bound(menu, "rswDestination"), Node("TDR:Ch2:Destination"));
  Choose(menu.Control<TRC_RadioSwitcher>("rswDestination"), 3);  // External
  EXPECT_EQ(TdrChannel(3).Destination->GetIndex(), tdExternal);
  EXPECT_TRUE(menu.Control<TRC_Switcher>("rswPolarity").isEnabled());
  Exec("TDR:Mode TDR");
  EXPECT_EQ(menu.CurrentPage(), 1);  // a mode change starts the menu over
  Press(menu, "pcswChannels");
  EXPECT_TRUE(menu.Control<TRC_Switcher>("edswRefAmpl").isVisible());
  EXPECT_EQ(Bound(menu, "edswRefAmpl"), Node("TDR:Ch2:RefAmpl"));
  Picture(menu, "tdr_channels");
  Press(menu, "btnBackChannels");

  Press(menu, "pcswHorizontal");
  Choose(menu.Control<TRC_RadioSwitcher>("rswHorScale"), 1);  // metres
  Choose(menu.Control<TRC_RadioSwitcher>("rswPresetUnit"), 1);
  auto& edit = menu.Control<TRC_EditSwitcher>("edswPropagation");
  EXPECT_EQ(edit.GetHandler(), Node("TDR:DielConst"));
  EXPECT_EQ(edit.Caption(), "DIELECTRIC CONST");
  Up(edit);
  EXPECT_DOUBLE_EQ(Value("TDR:DielConst"), 5);  // 1 up to the next multiple of the coarse 5
  Press(menu, "btnBackHorizontal");

  Press(menu, "pcswMeasure");
  Choose(menu.Control<TRC_RadioSwitcher>("rswMeasSource"), 2);
  EXPECT_EQ(Title(menu, "rmpMeasure"), " TDR/TDT Ch1 Normalized");
  EXPECT_EQ(Bound(menu, "edswLeftMargins"), Node("TDR:NormCh1:LeftMargins"));
  menu.ShowPage(9);
  EXPECT_EQ(menu.CurrentPage(), 1);
}

}  // namespace
}  // namespace norv::test
