// The mask test's side menu opened as the program opens it and driven by clicks: the panels
// turn by their buttons, the "# OF" edit follows the run-until choice, and editing ends when
// the menu changes. Set NORV_PNG_DIR to get mask_page_<n>.png.

#include "tdr_mask/ui/mask_page.h"

#include <gtest/gtest.h>

#include "controls/menu_pages.h"
#include "support/qt/qt_harness.h"
#include "support/qt/side_menu_fixture.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"

namespace norv::test {
namespace {

class MaskPageTest : public SideMenuPageTest {
 protected:
  void RegisterPages() override { RegisterMaskPage(); }
  void TearDown() override {
    SideMenuPageTest::TearDown();
    ClearCurrentMask();
    CurrentMask() = TCurrentMask{};
  }
  static void Press(TRC_CustomCmmandSwitcher& s) { Click(&s, s.ButtonRect(0).center()); }
  static void Press(TDeclaredSideMenu& menu, const char* name) {
    Press(menu.Control<TRC_RightPassiveCommandSwitcher>(name));
  }
};

TEST_F(MaskPageTest, PanelsTurnByTheirButtonsAndEditingEndsWithTheMenu) {
  TDeclaredSideMenu& menu = Open(kMaskMenuId);
  EXPECT_EQ(menu.CurrentPage(), mpTest);
  EXPECT_FALSE(menu.Control<TRC_OnOffSwitch>("ooswTest").isEnabled());  // no mask yet
  EXPECT_TRUE(Node("Mask:RunUntil")->IsDisabled());
  auto& runUntil = menu.Control<TRC_RightPassiveCommandSwitcher>("pcsRunUntilAction");
  EXPECT_FALSE(runUntil.isEnabled());
  menu.ShowPage(mpRunUntil);  // nothing to run until without a mask
  EXPECT_EQ(menu.CurrentPage(), mpTest);
  // A mask: the test and its run-until rule can be set.
  TCurrentMask& mask = CurrentMask();
  mask.Kind = mkEye;
  mask.Slots[0].X = {1000, 3000, 3000, 1000};
  mask.Slots[0].Y = {400, 400, 624, 624};
  mask.PolygonCount = 1;
  BuildMaskObjFromCurrent();
  UpdateMaskMenuEnabling();
  EXPECT_TRUE(Node("Mask:Test") && !Node("Mask:Test")->IsDisabled());
  EXPECT_TRUE(runUntil.isEnabled());
  Picture(menu, "mask_page_1");

  Press(menu, "pcsRunUntilAction");
  EXPECT_EQ(menu.CurrentPage(), mpRunUntil);
  Choose(menu.Control<TRC_RadioSwitcher>("rswRunUntil"), 4);
  EXPECT_EQ(Exec("Mask:RunUntil?"), "SAMPLES");
  EXPECT_EQ(menu.Control<TRC_EditSwitcher>("eswNumberOf").GetHandler(), Node("Mask:NSamples"));
  Choose(menu.Control<TRC_RadioSwitcher>("rswRunUntil"), 1);
  EXPECT_EQ(menu.Control<TRC_EditSwitcher>("eswNumberOf").GetHandler(), Node("Mask:FailWfms"));
  Picture(menu, "mask_page_2");
  Press(menu, "pcsBackRunUntil");
  EXPECT_EQ(menu.CurrentPage(), mpTest);

  Press(menu, "pcsCreateMask");
  EXPECT_EQ(menu.CurrentPage(), mpCreate);
  EXPECT_TRUE(menu.Control<TRC_RightPassiveCommandSwitcher>("pcsSaveUserMask").isEnabled());
  Picture(menu, "mask_page_3");
  Press(menu, "pcsAutomask");
  EXPECT_EQ(menu.CurrentPage(), mpAutomask);
  Picture(menu, "mask_page_4");
  Press(menu, "pcsBackAutomask");
  EXPECT_EQ(menu.CurrentPage(), mpCreate);

  Press(menu, "pcsEditMask");
  EXPECT_EQ(menu.CurrentPage(), mpEdit);
  EXPECT_TRUE(mask.EditorActive);
  EXPECT_EQ(mask.Kind, mkUser);
  EXPECT_TRUE(menu.Control<TRC_RightPassiveCommandSwitcher>("pcsDeleteMask").isEnabled());
  EXPECT_FALSE(menu.Control<TRC_RightPassiveCommandSwitcher>("pcsDeletePolygon").isEnabled());
  Picture(menu, "mask_page_5");
  menu.ShowPage(mpScale);
  Picture(menu, "mask_page_6");
  menu.ShowPage(mpEdit);
  // Another menu: editing ends and the mask object is built again.
  menu.BeforeMenuChange();
  EXPECT_FALSE(mask.EditorActive);
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(MaskObj->MaskHitBits(2000, 512), 1u);
  menu.ShowPage(mpEdit);  // not editing: the create panel
  EXPECT_EQ(menu.CurrentPage(), mpCreate);
}

}  // namespace
}  // namespace norv::test
