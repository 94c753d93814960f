// The math and spectrum side menus: each opened as the program opens it, a control of
// each kind used and its node found changed, and the panel found bound to the function
// or spectrum chosen on it, with the controls enabled as that one's operator needs. Set
// NORV_PNG_DIR to get math_page.png, math_page_trend.png and fft_page.png.

#include "analysis/ui/derived_pages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "analysis/derived_settings.h"
#include "controls/controls_state.h"
#include "controls/menu_pages.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/traces/display_sources.h"
#include "framework/traces/trace_names.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/qt/qt_harness.h"
#include "support/qt/side_menu_fixture.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

class DerivedPagesTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override { RegisterAnalysisPages(); }
  void SetUp() override {
    SideMenuPageTest::SetUp();
    SignalsOn.SetOn(TTraceId::Ch2, true);
  }
  static QString Title(TDeclaredSideMenu& menu, const char* panel) {
    return menu.findChild<TRC_RightMenuPanel*>(panel)->title();
  }
  template <class T>
  static void Down(T& list) {
    PressKey(list.ListBox(), Qt::Key_Down);
  }
};

TEST_F(DerivedPagesTest, MathPageFollowsTheChosenFunctionAndItsOperator) {
  TDeclaredSideMenu& menu = Open(kMathMenuId);
  EXPECT_EQ(Title(menu, "rmpMathematic"), "Function 1");
  auto& source2 = menu.Control<TRC_SignalSourceSwitcher>("ssswSource2");
  auto& constant = menu.Control<TRC_EditSwitcher>("RC_EditSwitcher1");
  auto& smooth = menu.Control<TRC_EditSwitcher>("RC_EditSwitcher2");
  auto& trend = menu.Control<TRC_ListBoxSwitcher>("lbswMeasurement");
  EXPECT_TRUE(source2.isEnabled());
  EXPECT_FALSE(constant.isEnabled());  // the second operand is a trace
  EXPECT_FALSE(smooth.isEnabled());
  EXPECT_FALSE(trend.isVisible());
  Picture(menu, "math_page");

  Choose(menu.Control<TRC_OnOffSwitch>("ooswDisplay"), 0);
  EXPECT_EQ(Exec("F1:Display?"), "ON");
  Down(menu.Control<TRC_SignalSourceSwitcher>("ssswSource1"));
  EXPECT_EQ(Exec("F1:Source1?"), "CH2");
  Exec("F1:Source2 Const");
  EXPECT_TRUE(constant.isEnabled());
  Up(constant);
  EXPECT_GT(Value("F1:Const"), 0.4);
  // Sub, Mult, Div, Invert: one operand.
  auto& operat = menu.Control<TRC_ListBoxSwitcher>("lbswOperator");
  for (int i = 0; i < 4; ++i) Down(operat);
  EXPECT_EQ(Exec("F1:Operat?"), "INVERT");
  EXPECT_FALSE(source2.isEnabled());
  EXPECT_FALSE(constant.isEnabled());
  Exec("F1:Operat Smooth");
  EXPECT_TRUE(smooth.isEnabled());
  Up(smooth);
  EXPECT_EQ(Value("F1:SmoothLen"), 3);

  // F2 (Sub of Ch1 and Ch2): every control moves to its nodes and enables by its operator.
  Choose(menu.Control<TRC_RadioSwitcher>("rswSelectFunc"), 1);
  EXPECT_EQ(GetIndex(DerivedSettings().FuncSelect), 1);
  EXPECT_EQ(Title(menu, "rmpMathematic"), "Function 2");
  for (const auto& [name, key] :
       {std::pair{"ooswDisplay", "Display"}, std::pair{"lbswOperator", "Operat"},
        std::pair{"ssswSource1", "Source1"}, std::pair{"ssswSource2", "Source2"},
        std::pair{"RC_EditSwitcher1", "Const"}, std::pair{"RC_EditSwitcher2", "SmoothLen"},
        std::pair{"lbswMeasurement", "TrendMeas"}})
    EXPECT_EQ(menu.Control<TRC_Switcher>(name).GetHandler(), Node(std::string("F2:") + key)) << name;
  EXPECT_FALSE(smooth.isEnabled());

  // Trend shows its measurement in the second operand's place.
  Exec("F2:Operat Trend");
  EXPECT_TRUE(trend.isVisible());
  EXPECT_FALSE(source2.isVisible());
  EXPECT_EQ(trend.geometry(), source2.geometry());
  Down(trend);
  EXPECT_EQ(Exec("F2:TrendMeas?"), "FREQ");
  Picture(menu, "math_page_trend");
  // F1 is not Trend: its second operand shows again.
  Choose(menu.Control<TRC_RadioSwitcher>("rswSelectFunc"), 0);
  EXPECT_FALSE(trend.isVisible());
}

TEST_F(DerivedPagesTest, SpectrumPageFollowsTheChosenSpectrum) {
  TDeclaredSideMenu& menu = Open(kFFTMenuId);
  EXPECT_EQ(Title(menu, "rmpFFT"), "Spectrum 1");
  Choose(menu.Control<TRC_OnOffSwitch>("RC_OnOffSwitch1"), 0);
  EXPECT_EQ(Exec("Spectr1:Display?"), "ON");
  Down(menu.Control<TRC_SignalSourceSwitcher>("RC_SignalSourceSwitcher1"));
  EXPECT_EQ(Exec("Spectr1:Source?"), "CH2");
  auto& window = menu.Control<TRC_ListBoxSwitcher>("lbswFFT_Window");
  Down(window);
  EXPECT_EQ(Exec("Spectr1:Window?"), "HAMMING");
  EXPECT_EQ(window.HelpContext(), 512);
  Picture(menu, "fft_page");

  Exec("Spectr2:Window Flattop");
  Choose(menu.Control<TRC_RadioSwitcher>("RC_RadioSwitcher1"), 1);
  EXPECT_EQ(Title(menu, "rmpFFT"), "Spectrum 2");
  for (const auto& [name, key] :
       {std::pair{"RC_OnOffSwitch1", "Display"}, std::pair{"RC_SignalSourceSwitcher1", "Source"},
        std::pair{"lbswFFT_Window", "Window"}})
    EXPECT_EQ(menu.Control<TRC_Switcher>(name).GetHandler(), Node(std::string("Spectr2:") + key)) << name;
  EXPECT_EQ(window.HelpContext(), 514);
}

}  // namespace
}  // namespace norv::test
