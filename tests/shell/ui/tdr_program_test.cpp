// The generator and TDR / TDT menus of the program as main() builds it: closed to the
// demo instrument without options, opened from the main menu once "DemoUnits.ini" gives
// it the generators option, and driven there by clicks.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "controls/choice_switchers.h"
#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/trigger_settings.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "shell/ui/program.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"
#include "tdr_mask/generator_settings.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {
namespace {

class TdrProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    setenv("VEXILOR_NORV_HOME", test::MakeTempDir("tdr-program").c_str(), 1);
  }
  void TearDown() override {
    program_.reset();
    FreshProgramState();
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  TMorda_fr& Start() {
    program_ = TProgram::Start({.Args = {"Default_Demo"},
                                .ScopeWidget = [](TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                  return new TScopeCRTWidget(crt, parent);
                                },
                                .Dialogs = &dialogs_,
                                .InstallUnits = InstallProgramUnits,
                                .RegisterPages = RegisterProgramPages});
    EXPECT_NE(program_, nullptr);
    window().show();
    for (int i = 0; i < 50 && !ShellState.DeferredStartDone; ++i) QApplication::processEvents();
    return window();
  }
  void Stop() {
    program_.reset();
    FreshProgramState();
  }
  TMorda_fr& window() { return program_->Window(); }
  static TDeclaredSideMenu& LeftMenu() {
    return *qobject_cast<TDeclaredSideMenu*>(SideMenuForms[static_cast<size_t>(kLeftPanel)].data());
  }
  static void Choose(const char* radio, int button) {
    auto& s = LeftMenu().Control<TRC_RadioSwitcher>(radio);
    test::Click(s.Button(button), QPoint(8, s.Button(button)->height() / 2));
  }

  test::FakeDialogs dialogs_;
  std::unique_ptr<TProgram> program_;
  std::string saved_home_;
};

TEST_F(TdrProgramTest, TheOptionOfTheDemoUnitOpensTheGeneratorAndTdrMenus) {
  Start();
  EXPECT_FALSE(window().MainMenuButton(kMenuGenerators)->isEnabled());
  EXPECT_FALSE(window().MainMenuButton(kMenuTDR)->isEnabled());
  Stop();

  // The file holds the option bits inverted.
  WriteDemoUnit("Default Demo", 1, 2, 255 - OptGenerators, 12, 77, true);
  Start();
  ASSERT_TRUE(HasGeneratorsOption());
  ASSERT_TRUE(window().MainMenuButton(kMenuGenerators)->isEnabled());
  test::Click(window().MainMenuButton(kMenuGenerators), {5, 5});
  ASSERT_EQ(CurrentSideMenu[kLeftPanel], kMenuGenerators);
  Choose("rswGeneratorsMode", gmPulse);
  EXPECT_EQ(GeneratorSettings().Mode->GetIndex(), gmPulse);
  EXPECT_TRUE(TriggerSettings().Source->IsDisabled());  // the generator clocks the scope

  test::Click(window().MainMenuButton(kMenuTDR), {5, 5});
  ASSERT_EQ(CurrentSideMenu[kLeftPanel], kTdrMenuId);
  Choose("rswTDR_Mode", tmTDR);
  EXPECT_TRUE(IsTDRActive());
  ExecCommand("TDR:Ch1:Destination G1");
  EXPECT_EQ(GeneratorSettings().Mode->GetIndex(), gmStep);  // TDR drives the step
  EXPECT_FALSE(TriggerSettings().Source->IsDisabled());
}

}  // namespace
}  // namespace norv
