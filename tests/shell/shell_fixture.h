#pragma once
// The program's units without a window, on a fake clock: the settings of every unit that
// exists registered in the program's order, the demo instrument, and the dialogs answered
// from a script and recorded.

#include <gtest/gtest.h>

#include <string>

#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/link_state.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/program_folders.h"
#include "shell/program_shell.h"
#include "shell/shell_state.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"

namespace norv::test {

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    setenv("VEXILOR_NORV_HOME", MakeTempDir("shell").c_str(), 1);
    Restart();
  }
  // The units afresh on the test's program folder, as the program starts (again).
  void Restart() {
    FreshProgramState();
    SetProgramClock(clock);
    InitDataFolders();
    PrepareProgramUnits(clock, clock);
    InstallUnits();
    CurrentInstrumentName = DefaultDemoName;
    LinkKind = TLinkKind::Demo;
    RegisterAllCommandsAtStart();
    SetDialogs(&dialogs);
  }
  // The units above the shell, before the settings are registered; none by default.
  virtual void InstallUnits() {}
  void TearDown() override {
    FreshProgramState();
    SetProgramClock(SystemClock());
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  FakeClock clock;
  FakeDialogs dialogs;
  std::string saved_home_;
};

}  // namespace norv::test
