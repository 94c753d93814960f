// The histogram, marker and limit-test side menus: each opened as the program opens it,
// a control of each kind clicked and its node found changed, the controls that follow a
// choice bound to the right node. Set NORV_PNG_DIR to get hist_page_<n>.png,
// mark_page.png and limit_page_<n>.png.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "controls/controls_state.h"
#include "controls/menu_pages.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/traces/display_sources.h"
#include "framework/traces/trace_names.h"
#include "measure/hist/hist_settings.h"
#include "measure/limits/limit_testing.h"
#include "measure/markers/markers.h"
#include "measure/meas_state.h"
#include "measure/ui/hist_page.h"
#include "measure/ui/limit_page.h"
#include "measure/ui/mark_page.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/qt/qt_harness.h"
#include "support/qt/side_menu_fixture.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

class AnalysisPagesTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override {
    RegisterHistPage();
    RegisterMarkPage();
    RegisterLimitPage();
  }
  static void Press(TRC_CustomCmmandSwitcher& s) { Click(&s, s.ButtonRect(0).center()); }
};

TEST_F(AnalysisPagesTest, HistogramPagesTurnByTheirButtonsAndFollowTheAxis) {
  SignalsOn.SetOn(TTraceId::Ch2, true);
  TDeclaredSideMenu& menu = Open(kHistMenuId);
  EXPECT_FALSE(menu.findChild<TPageTurnSwitcher*>());
  auto& window = menu.Control<TRC_RightPassiveCommandSwitcher>("pcswWindow");
  EXPECT_FALSE(window.isEnabled());  // nothing to set while the histogram is off
  Choose(menu.Control<TRC_RadioSwitcher>("rswAxis"), 1);
  EXPECT_EQ(Exec("Hist:Axis?"), "VERT");
  Choose(menu.Control<TRC_OnOffSwitch>("ooswVisible"), 1);
  EXPECT_EQ(Exec("Hist:Visible?"), "OFF");
  Choose(menu.Control<TRC_RadioSwitcher>("rswRunUntil"), 2);
  EXPECT_TRUE(menu.Control<TRC_EditSwitcher>("edswNofSampl").isVisible());
  EXPECT_FALSE(menu.Control<TRC_EditSwitcher>("edswNofWfm").isVisible());
  EXPECT_EQ(menu.Control<TRC_EditSwitcher>("edswNofSampl").geometry(),
            menu.Control<TRC_EditSwitcher>("edswNofWfm").geometry());
  PressKey(menu.Control<TRC_SignalSourceSwitcher>("ssswHistSource").ListBox(), Qt::Key_Down);
  EXPECT_EQ(Exec("Hist:Source?"), "CH2");
  Picture(menu, "hist_page_1");

  Press(window);
  EXPECT_EQ(menu.CurrentPage(), 2);
  Up(menu.Control<TRC_EditSwitcher>("edswLeftLimit"));
  EXPECT_EQ(Value("Hist:WVert:Left"), 200);
  Picture(menu, "hist_page_2");
  Press(menu.Control<TRC_RightPassiveCommandSwitcher>("HistBack"));
  Choose(menu.Control<TRC_RadioSwitcher>("rswAxis"), 2);
  EXPECT_EQ(menu.Control<TRC_EditSwitcher>("edswLeftLimit").GetHandler(), Node("Hist:WHor:Left"));

  // The scale edits follow the axis and the scale type.
  Press(menu.Control<TRC_RightPassiveCommandSwitcher>("pcswScale"));
  Choose(menu.Control<TRC_RadioSwitcher>("rswScaleType"), 1);
  EXPECT_EQ(menu.Control<TRC_EditSwitcher>("edswOffset").GetHandler(), Node("Hist:HorDBOffs"));
  Picture(menu, "hist_page_3");
  Press(menu.Control<TRC_RightPassiveCommandSwitcher>("HistBack2"));
  Press(menu.Control<TRC_RightPassiveCommandSwitcher>("pcswMode"));
  Choose(menu.Control<TRC_RadioSwitcher>("rswMode"), 1);
  EXPECT_EQ(Exec("Hist:Mode?"), "EXPONENT");
  Picture(menu, "hist_page_4");
}

TEST_F(AnalysisPagesTest, MarkerPageBindsThePositionsByTheType) {
  TDeclaredSideMenu& menu = Open(kMarkMenuId);
  Choose(menu.Control<TRC_RadioSwitcher>("rswType"), 2);
  EXPECT_EQ(Exec("Mark:Type?"), "MY");
  auto& m2 = menu.Control<TRC_EditSwitcher>("edswM2Position");
  EXPECT_EQ(m2.GetHandler(), Node("Mark:M2:YPos"));
  Choose(menu.Control<TRC_OnOffSwitch>("ooswReference"), 0);
  EXPECT_EQ(Exec("Mark:Refer?"), "ON");
  // M2 a step higher: the reference taken at the press is the larger difference.
  const double before = MarkSettings().RefDY;
  Up(m2);
  EXPECT_EQ(Value("Mark:M2:YPos"), 600 + 16);
  Press(menu.Control<TRC_RightCommandSwitcher>("rcswSetRefer"));
  EXPECT_GT(MarkSettings().RefDY, before);
  Choose(menu.Control<TRC_RadioSwitcher>("rswType"), 1);
  EXPECT_EQ(m2.GetHandler(), Node("Mark:M2:XPos"));
  Picture(menu, "mark_page");
}

TEST_F(AnalysisPagesTest, LimitPageFollowsTheChosenTestAndItsMode) {
  MeasState.Global.Display = mdStatistic;
  for (int i = 0; i < 2; ++i)
    MeasState.MeasParams[static_cast<size_t>(i)] = std::make_unique<TParameterOfMeas>(
        i == 0 ? TTraceId::Ch1 : TTraceId::Ch2, amMean, mgAmplitude, TTraceId::Ch2);
  MeasState.MeasParamCount = 2;
  TDeclaredSideMenu& menu = Open(kLimitMenuId);
  auto& activity = menu.Control<TRC_OnOffSwitch>("ooswActivity");
  EXPECT_EQ(activity.Caption().toStdString(), MeasCaption(*MeasSlot(0)));
  auto& conditions = menu.Control<TRC_RightPassiveCommandSwitcher>("pcswConditions");
  EXPECT_FALSE(conditions.isEnabled());
  Choose(activity, 0);
  EXPECT_EQ(Exec("Limit1:Activ?"), "ON");
  EXPECT_TRUE(conditions.isEnabled());
  Choose(menu.Control<TRC_CheckSwitcher>("chswAction"), 0);
  EXPECT_EQ(Exec("Limit:Action?"), "BEEP");
  Choose(menu.Control<TRC_RadioSwitcher>("rswRunUntil"), 2);
  auto& count = menu.Control<TRC_EditSwitcher>("edswNumberOff");
  EXPECT_EQ(count.GetHandler(), Node("Limit:NWfms"));
  EXPECT_EQ(count.Caption(), "# OF WAVEFORMS");
  Up(count);
  EXPECT_GT(Value("Limit:NWfms"), 200);
  Choose(menu.Control<TRC_OnOffSwitch>("ooswTestOn"), 0);
  EXPECT_EQ(Exec("Limit:TestOn?"), "ON");
  Picture(menu, "limit_page_1");

  Press(conditions);
  EXPECT_EQ(menu.CurrentPage(), 2);
  Choose(menu.Control<TRC_RadioSwitcher>("rswMode"), 1);
  auto& upper = menu.Control<TRC_EditSwitcher>("edswUpLimitOrCentre");
  EXPECT_EQ(upper.GetHandler(), Node("Limit1:UpLimit"));
  Choose(menu.Control<TRC_RadioSwitcher>("rswMode"), 0);
  Choose(menu.Control<TRC_RadioSwitcher>("rswDelta"), 2);
  EXPECT_EQ(menu.Control<TRC_EditSwitcher>("edswLowLimitOrDelta").GetHandler(), Node("Limit1:UserPerc"));
  Up(menu.Control<TRC_EditSwitcher>("edswLowLimitOrDelta"));
  EXPECT_NEAR(Value("Limit1:UserPerc"), 20.5, 1e-9);
  Picture(menu, "limit_page_2");
  Press(menu.Control<TRC_RightPassiveCommandSwitcher>("LimitBack"));

  // The second test: its switch and its conditions.
  Choose(menu.Control<TRC_RadioSwitcher>("rswNumberOfParameter"), 1);
  EXPECT_EQ(activity.GetHandler(), Node("Limit2:Activ"));
  EXPECT_EQ(activity.Caption().toStdString(), MeasCaption(*MeasSlot(1)));
  EXPECT_EQ(menu.Control<TRC_RadioSwitcher>("rswFailWhen").GetHandler(), Node("Limit2:FailWhen"));
}

}  // namespace
}  // namespace norv::test
