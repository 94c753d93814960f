// Autoscale on the simulated instrument: the program's units on a fake clock, "*Autoscale"
// run as a remote client runs it (no window: the command returns when the phase machine
// ends), and Cancel of a stand-in window at each phase.

#include "measure/autoscale/autoscale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/program_units.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/link_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/instrument_list.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_state.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"

namespace norv {
namespace {

class AutoscaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    setenv("VEXILOR_NORV_HOME", test::MakeTempDir("autoscale").c_str(), 1);
    SetProgramClock(clock);
    InitDataFolders();
    PrepareProgramUnits(clock, clock);
    InstallProgramUnits();
    CurrentInstrumentName = DefaultDemoName;
    LinkKind = TLinkKind::Demo;
    RegisterAllCommandsAtStart();
    SetDialogs(&dialogs);
    ShellState.IdleHandlerInstalled = true;
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
  }
  void TearDown() override {
    FreshProgramState();
    SetProgramClock(SystemClock());
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  static double Num(const std::string& path) {
    auto* h = dynamic_cast<TEditHandler*>(RootSpider->FindHandler(path));
    return h ? h->GetFloatValue() : NAN;
  }
  static std::vector<std::string> Dump() {
    std::vector<std::string> lines;
    RootSpider->DumpSettings(lines);
    return lines;
  }
  // Acquisitions until `cycles` have finished.
  static void Acquire(int cycles) {
    for (int c = 0; c < cycles; ++c) {
      for (int i = 0; i < 100000 && !AcqCycleRunning; ++i) ShellIdleStep();
      for (int i = 0; i < 100000 && AcqCycleRunning; ++i) ShellIdleStep();
    }
  }

  test::FakeClock clock;
  test::FakeDialogs dialogs;
  std::string saved_home_;
};

TEST_F(AutoscaleTest, Explore) {
  ExecCommand("GSS:Ch2 Off");
  ExecCommand("Ch2:Display Off");
  ExecCommand("TB:ScaleA 1u");
  ExecCommand("Ch1:Scale 0.01");
  try {
    ExecCommand("*Autoscale Auto");
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
  }
  for (const char* p : {"Ch1:Scale", "Ch1:Offset", "TB:ScaleA", "TB:ScaleB", "TB:Delay"})
    std::printf("%s = %g\n", p, Num(p));
  std::printf("kind %d period %g\n", AutoscaleRun().KindMask, AutoscaleRun().Finding.Period);
}

}  // namespace
}  // namespace norv
