#pragma once
// The program started in-process as main() starts it, in a fresh program folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "controls/choice_switchers.h"
#include "controls/command_switchers.h"
#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "display/bottom_text.h"
#include "display/scope_crt.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/program_objects.h"
#include "framework/util/clock.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "shell/ui/program.h"
#include "support/fake_dialogs.h"
#include "support/qt/qt_harness.h"
#include "support/temp_home.h"

namespace norv::test {

class ProgramFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    home_ = MakeTempDir("program");
    setenv("VEXILOR_NORV_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    program_.reset();
    FreshProgramState();
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  void Start(const std::vector<std::string>& args = {"Default_Demo"}) {
    if (clock_) SetProgramClock(*clock_);
    program_ = TProgram::Start({.Args = args,
                                .RemoteServer = false,
                                .ScopeWidget = [](TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                  return new TScopeCRTWidget(crt, parent);
                                },
                                .Dialogs = &dialogs_,
                                .InstallUnits = InstallProgramUnits,
                                .RegisterPages = RegisterProgramPages});
    ASSERT_NE(program_, nullptr);
    program_->Window().show();
    for (int i = 0; i < 50 && !ShellState.DeferredStartDone; ++i) QApplication::processEvents();
    ASSERT_TRUE(ShellState.DeferredStartDone);
  }
  // The program ends; its folder stays for the next start.
  void Stop() {
    program_.reset();
    FreshProgramState();
  }
  // The program ends and starts again in the same folder, as after "Restart Now".
  void Restart(const std::vector<std::string>& args = {"Default_Demo"}) {
    Stop();
    Start(args);
  }

  TMorda_fr& window() { return program_->Window(); }
  static TDeclaredSideMenu& LeftMenu() {
    return *qobject_cast<TDeclaredSideMenu*>(SideMenuForms[static_cast<size_t>(kLeftPanel)].data());
  }
  // A click on the first button of a command switcher, or on one button of a radio switcher
  // of the left menu.
  static void Press(TDeclaredSideMenu& menu, const char* name) {
    auto& s = menu.Control<TRC_CustomCmmandSwitcher>(name);
    Click(&s, s.ButtonRect(0).center());
  }
  static void Choose(const char* radio, int button) {
    auto& s = LeftMenu().Control<TRC_RadioSwitcher>(radio);
    Click(s.Button(button), QPoint(8, s.Button(button)->height() / 2));
  }

  // Pixels of the colour (0x00BBGGRR) in a cell of the strip under the screen.
  static int StripInk(TRect cell, TColorRef colour) {
    const TSLBMP& image = ScopeCRT->BottomText().Image();
    int n = 0;
    for (int y = cell.Top; y < std::min(cell.Bottom, image.Height()); ++y)
      for (int x = cell.Left; x < std::min(cell.Right, image.Width()); ++x)
        n += (image.Pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
  }

  // Idle passes until both channels have been acquired `cycles` more times.
  void Acquire(int cycles = 1) {
    const TAcquisitionCycle& cycle = AcquisitionCycle();
    const int target2 = cycle.AcqCycleCount(2) + cycles, target3 = cycle.AcqCycleCount(3) + cycles;
    for (int i = 0; i < 400000; ++i) {
      window().IdleStep();
      if (cycle.AcqCycleCount(2) >= target2 && cycle.AcqCycleCount(3) >= target3 && !cycle.CycleOpen())
        return;
    }
    FAIL() << "no record of both channels";
  }

  FakeDialogs dialogs_;
  // The clock of each start's waits; none: the system clock.
  IClock* clock_ = nullptr;
  std::unique_ptr<TProgram> program_;
  std::string saved_home_;
  std::filesystem::path home_;  // the program folder
};

}  // namespace norv::test
