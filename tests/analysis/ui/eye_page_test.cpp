// The eye diagram side menu driven by clicks: the mode opens the parameter lists of its
// coding, a click on a list item selects the parameter, the statistics edit follows the
// statistics mode, and every page leads back to the first. Set NORV_PNG_DIR to get
// eye_page.png and eye_page_y_nrz.png.

#include "analysis/ui/eye_page.h"

#include <gtest/gtest.h>

#include "analysis/eye_engine.h"
#include "analysis/eye_settings.h"
#include "support/qt/side_menu_fixture.h"

namespace norv::test {
namespace {

class EyePageTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override { RegisterEyePage(); }
  static void Press(TDeclaredSideMenu& menu, const char* name) {
    auto& b = menu.Control<TRC_CustomCmmandSwitcher>(name);
    Click(&b, b.ButtonRect(0).center());
  }
  static void Choose(TDeclaredSideMenu& menu, const char* name, int item) {
    SideMenuPageTest::Choose(menu.Control<TRC_CustomRadioSwitcher>(name), item);
  }
  static void Check(TDeclaredSideMenu& menu, const char* name, int item) {
    QAbstractButton* b = menu.Control<TRC_CustomCheckSwitcher>(name).Button(item);
    Click(b, b->rect().center());
  }
};

TEST_F(EyePageTest, ClicksChooseTheModeItsParametersAndTheStatistics) {
  TDeclaredSideMenu& menu = Open(kEyeMenuId);
  EXPECT_FALSE(menu.Control<TRC_Switcher>("pcswXEyeParameters").isEnabled()) << "nothing to add while Off";
  Choose(menu, "rswMeasure", 1);
  EXPECT_EQ(GetIndex(EyeSettings().Measure), egNRZ);
  EXPECT_TRUE(menu.Control<TRC_Switcher>("pcswXEyeParameters").isEnabled());
  Picture(menu, "eye_page");

  // Each button opens the page of the coding chosen; Back returns.
  const struct {
    int Measure;
    const char* Button;
    int Page;
    const char* List;
    int Item;
    const char* Set;
    const char* Reply;
  } cases[] = {
      {1, "pcswXEyeParameters", 2, "chswXNRZ", 7, "Eye:XNRZParam", "EYEWIDTH"},
      {1, "pcswYEyeParameters", 4, "chswYNRZ", 9, "Eye:YNRZParam", "EYEHEIGHT"},
      {2, "pcswXEyeParameters", 3, "chswXRZ", 15, "Eye:XRZParam", "PULSEWIDTH"},
      {2, "pcswYEyeParameters", 5, "chswYRZ", 25, "Eye:YRZParam", "ZEROLEVEL"},
  };
  const char* backs[] = {"", "", "EyeBack2", "EyeBack3", "EyeBack4", "EyeBack5"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.List);
    Choose(menu, "rswMeasure", c.Measure);
    Press(menu, c.Button);
    ASSERT_EQ(menu.CurrentPage(), c.Page);
    Check(menu, c.List, c.Item);
    EXPECT_EQ(Exec(std::string(c.Set) + "?"), c.Reply);
    if (c.Page == 4) Picture(menu, "eye_page_y_nrz");
    Press(menu, backs[c.Page]);
    EXPECT_EQ(menu.CurrentPage(), 1);
  }
  EXPECT_EQ(EyeState().Count(egNRZ), 2);
  EXPECT_EQ(EyeState().Count(egRZ), 2);

  Press(menu, "pcswStatistics");
  ASSERT_EQ(menu.CurrentPage(), 6);
  auto& parameter = menu.Control<TRC_EditSwitcher>("edswParametr");
  EXPECT_EQ(parameter.GetHandler(), Node("Eye:Window"));
  EXPECT_EQ(parameter.HelpContext(), 493);
  Choose(menu, "rswMode", 2);
  EXPECT_EQ(Exec("Eye:Mode?"), "PERMANENT") << "the mode waits for the statistics";
  Choose(menu, "ooswStatisrticOnOff", 0);
  ASSERT_EQ(Exec("Eye:Statistic?"), "ON");
  Choose(menu, "rswMode", 2);
  EXPECT_EQ(parameter.GetHandler(), Node("Eye:Weight"));
  EXPECT_EQ(parameter.Caption(), "WEIGHT");
  Press(menu, "EyeBack6");
  Press(menu, "pcswDefineParameters");
  ASSERT_EQ(menu.CurrentPage(), 7);
  EXPECT_EQ(menu.Control<TRC_EditSwitcher>("edswBound2").GetHandler(), Node("Eye:RightBound"));
  Press(menu, "EyeBack7");

  // Switching the measure on or off brings the page back to its start.
  Press(menu, "pcswDefineParameters");
  Exec("Eye:Measure Off");
  EXPECT_EQ(menu.CurrentPage(), 1);
}

// A page made after the weight mode was recalled binds its edit to the weight at once.
TEST_F(EyePageTest, RecalledWeightModeBindsTheEditAtOnce) {
  Exec("Eye:Statistic On");
  Exec("Eye:Mode Weight");
  TDeclaredSideMenu& menu = Open(kEyeMenuId);
  auto& parameter = menu.Control<TRC_EditSwitcher>("edswParametr");
  EXPECT_EQ(parameter.GetHandler(), Node("Eye:Weight"));
  EXPECT_EQ(parameter.Caption(), "WEIGHT");
}

}  // namespace
}  // namespace norv::test
