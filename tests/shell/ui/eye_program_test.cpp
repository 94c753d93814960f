// The eye diagram in the program as main() builds it: opened from the main menu, set up by
// clicks, measured on the simulator's pattern, its line in the strip under the screen with
// the line's pop-up menu. Set NORV_PNG_DIR to get eye_program.png.

#include <gtest/gtest.h>

#include <string>

#include "analysis/eye_engine.h"
#include "analysis/eye_settings.h"
#include "analysis/ui/eye_page.h"
#include "display/bottom_text.h"
#include "display/scope_crt.h"
#include "framework/traces/display_sources.h"
#include "measure/meas_state.h"
#include "shell/remote/remote_control.h"
#include "shell/ui/program_fixture.h"

namespace norv {
namespace {

using EyeProgramTest = test::ProgramFixture;

TEST_F(EyeProgramTest, EyeWidthOfThePatternInTheStripWithItsMenu) {
  Start();
  ExecCommand("Header Off");
  for (const char* command :
       {"GSS:A:Waweform PRBS", "GSS:A:StdFreq Custom", "GSS:A:Frequency 1e9", "GSS:A:Amplitude 0.4",
        "GSS:A:Offset 0.05", "Ch1:Scale 0.1", "Ch1:Offset 0.25", "TB:ScaleA 200p", "Ch2:Display Off"})
    ExecCommand(command);
  test::Click(window().MainMenuButton(kEyeMenuId), {5, 5});
  ASSERT_EQ(CurrentSideMenu[kLeftPanel], kEyeMenuId);
  TDeclaredSideMenu& eye = LeftMenu();
  Choose("rswMeasure", 1);
  Press(eye, "pcswXEyeParameters");
  auto& list = eye.Control<TRC_CustomCheckSwitcher>("chswXNRZ");
  test::Click(list.Button(7), list.Button(7)->rect().center());
  ASSERT_EQ(EyeState().Count(egNRZ), 1);
  Acquire(70);
  ASSERT_FALSE(EyeState().EyeFailed);

  const TColorRef ch1 = GetDisplaySourceRGB(TTraceId::Ch1);
  EXPECT_GT(StripInk(TNizText::GetLineCellRect(0, 1), ch1), 0) << "no label";
  EXPECT_GT(StripInk(TNizText::GetLineCellRect(0, 2), ch1), 0) << "no value";
  const TRect line = TNizText::GetLineCellRect(0, 1);
  ScopeCRT->BottomText().MouseDown(TMouseButton::Right, line.Left + 4, line.Top + 4);
  ASSERT_NE(ScopeCRT->BottomText().PopupMenu(), nullptr);
  EXPECT_EQ(ScopeCRT->BottomText().PopupMenu()->Items.at(0).Caption, "Eye Width (Ch1)");
  ScopeCRT->BottomText().ChoosePopupItem("Annot");
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 0);
  Acquire(4);
  test::MaybeWritePng(test::Grab(&window()), "eye_program");

  ExecCommand("*ClrDispl");
  EXPECT_GT(StripInk(TNizText::GetLineCellRect(0, 1), ch1), 0) << "\"*ClrDispl\" left the label blank";
}

}  // namespace
}  // namespace norv
