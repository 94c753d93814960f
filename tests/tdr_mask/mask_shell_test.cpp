// A standard mask in the running program: its name in the status line and, with
// alignment on, the time base set to the mask.

#include <gtest/gtest.h>

#include <cmath>

#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/settings/timebase_settings.h"
#include "shell/screen_wiring.h"
#include "shell/shell_fixture.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_object.h"

namespace norv::test {
namespace {

class MaskShellTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    InstallMaskFeature();
    ShellHooks.RescanMaskStandards();
    ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
    ConnectTopText();
    ScopeCRT->PlaceScreen(0, 0, 504, 804);
  }
  void TearDown() override {
    ClearCurrentMask();
    CurrentMask() = TCurrentMask{};
    StdMaskOptions() = TStdMaskOptions{};
    ScopeCRT.reset();
    ShellTest::TearDown();
  }
  static std::string MaskCell() {
    return ReadCell(ScopeCRT->TopText(), TVerhText::GetTopTextCellRect(2, 2)).Text;
  }
  TReadableFont font;
};

TEST_F(MaskShellTest, StatusLineNamesTheMaskAndAlignmentSetsTheTimeBase) {
  EXPECT_EQ(MaskCell(), "");
  auto* delay = static_cast<TDoubleEditHandler*>(RootSpider->FindHandler("TB:Delay"));
  RootSpider->ExecCommandLine("TB:ScaleA 20n", false);
  delay->SetValueByProgram(0.01);  // divisions: below 0.2 on either scale
  const double scaleA = GetTimeScaleA(), scaleB = GetTimeScaleB();
  ASSERT_TRUE(LoadStandardMask(0, 0, 0));  // OC-3 / STM-1, alignment off
  EXPECT_EQ(MaskCell(), "OC-3 / STM-1");
  EXPECT_EQ(GetTimeScaleA(), scaleA);
  EXPECT_EQ(GetTimeScaleB(), scaleB);

  StdMaskOptions().Align = true;
  ASSERT_TRUE(LoadStandardMask(0, 0, 0));
  // A bit of 155.52 Mb/s is 6.43 ns: B shows a sixth of it per division, A four times that
  // on the 1-2-5 sequence (4.29 ns -> 5 ns).
  EXPECT_NEAR(GetTimeScaleB(), 1 / 155.52e6 / 6, 0.01 * GetTimeScaleB());
  EXPECT_NEAR(GetTimeScaleA(), 5e-9, 1e-12);
  EXPECT_EQ(GetTimeBaseMode(), tbmB);
  EXPECT_EQ(delay->GetFloatValue(), 2.0);

  CurrentMask().Kind = mkUser;
  ScopeCRT->TopText().ShowMaskState();
  EXPECT_EQ(MaskCell(), "Usermask");
  ClearCurrentMask();
  EXPECT_EQ(MaskCell(), "");
}

}  // namespace
}  // namespace norv::test
