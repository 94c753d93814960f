// The O/E converter in the program as main() builds it: its menu opened once
// "DemoUnits.ini" gives the demo instrument the optics option, driven by clicks, and the
// dark-level calibration run on the simulated converter.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/simulator/simulator.h"
#include "service/oe_converter.h"
#include "service/ui/oe_page.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "shell/ui/program.h"
#include "shell/ui/program_fixture.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

namespace norv {
namespace {

class OEProgramTest : public test::ProgramFixture {
 protected:
  void TearDown() override {
    ProgramFixture::TearDown();
    ProgramSimulator().SimSetOpticalDarkZero(kSimDefaultDarkZero);
  }
  TMorda_fr& Start() {
    ProgramFixture::Start();
    return window();
  }
  // Idle passes until the run ends by itself or the pass budget is spent.
  void RunCalibration() {
    for (int i = 0; i < 3000000 && OEConvState().Run.State != TOECalState::Idle; ++i) window().IdleStep();
  }
};

// Set NORV_PNG_DIR to get oe_page.png.
TEST_F(OEProgramTest, TheOpticsOptionOpensTheMenuAndTheDarkLevelIsFound) {
  Start();
  EXPECT_FALSE(window().MainMenuButton(kMenuOE)->isEnabled());
  Stop();

  // The file holds the option bits inverted.
  WriteDemoUnit("Default Demo", 1, 2, 255 - OptOptics, 12, 77, true);
  Start();
  ExecCommand("Header Off");
  ASSERT_TRUE(window().MainMenuButton(kMenuOE)->isEnabled());
  test::Click(window().MainMenuButton(kMenuOE), {5, 5});
  ASSERT_EQ(CurrentSideMenu[kLeftPanel], kOEMenuId);
  TDeclaredSideMenu& oe = LeftMenu();
  dialogs_.answers.push_back(TAnswer::OK);
  Choose("rswDest", 1);
  ASSERT_TRUE(IsOEOutputOnChannel(2));
  EXPECT_TRUE(ProgramSimulator().SimOpticalInput(2).On);
  test::MaybeWritePng(test::Grab(&oe), "oe_page");
  Press(oe, "pcswDarkLevel");
  EXPECT_EQ(oe.CurrentPage(), 2);

  // From 50 % the search walks to the converter's zero.
  dialogs_.answers.push_back(TAnswer::OK);
  Press(oe, "rcswAutoDarkLvl");
  ASSERT_EQ(OEConvState().Run.State, TOECalState::DarkLevel);
  dialogs_.shown.clear();
  RunCalibration();
  ASSERT_EQ(OEConvState().Run.State, TOECalState::Idle);
  EXPECT_TRUE(OEConvState().LastRunSucceeded);
  EXPECT_EQ(dialogs_.shown, (std::vector<std::string>{"[information] Calibration complete!"}));
  // The channel shows watts again.
  EXPECT_EQ(ChannelSettings().Nodes[0].AttenUnit->GetIndex(), 1);
  EXPECT_NEAR(OEConvState().DarkLvl->GetValue(), kSimDefaultDarkZero, 0.05);

  // A converter whose zero lies beyond 100 % cannot be compensated: the level comes back.
  ProgramSimulator().SimSetOpticalDarkZero(130);
  const double before = OEConvState().DarkLvl->GetValue();
  StartOECalibration(false, false);
  RunCalibration();
  ASSERT_EQ(OEConvState().Run.State, TOECalState::Idle);
  EXPECT_FALSE(OEConvState().LastRunSucceeded);
  EXPECT_DOUBLE_EQ(OEConvState().DarkLvl->GetValue(), before);
}

}  // namespace
}  // namespace norv
