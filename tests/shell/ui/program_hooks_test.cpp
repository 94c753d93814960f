// After the program has started as main() starts it, no hook is left empty by mistake:
// each one is filled or is a fallback.

#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/value_text.h"
#include "framework/util/hook.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/ui/splash.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "shell/ui/program.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"

namespace norv {
namespace {

std::string Lines(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += "\n  " + name;
  return text;
}

class ProgramHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    setenv("VEXILOR_NORV_HOME", test::MakeTempDir("program-hooks").c_str(), 1);
  }
  void TearDown() override {
    program_.reset();
    FreshProgramState();
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  // main() with the simulator: splash, start, the window shown, the deferred start-up,
  // then idle passes.
  void StartAsMainDoes() {
    ShowSplash(QStringLiteral("test"));
    program_ = TProgram::Start({.Args = {"Default_Demo"},
                                .ScopeWidget = [](TScopeCRT& crt, QWidget* parent) -> QWidget* {
                                  return new TScopeCRTWidget(crt, parent);
                                },
                                .Dialogs = &dialogs_,
                                .InstallUnits = InstallProgramUnits,
                                .RegisterPages = RegisterProgramPages});
    FreeSplash();
    ASSERT_NE(program_, nullptr);
    program_->Window().show();
    for (int i = 0; i < 50 && !ShellState.DeferredStartDone; ++i) QApplication::processEvents();
    ASSERT_TRUE(ShellState.DeferredStartDone);
    for (int i = 0; i < 200; ++i) program_->Window().IdleStep();
  }

  test::FakeDialogs dialogs_;
  std::unique_ptr<TProgram> program_;
  std::string saved_home_;
};

TEST_F(ProgramHooksTest, StartUpLeavesNoHookEmpty) {
  StartAsMainDoes();
  std::vector<std::string> emptyByMistake, duplicates;
  std::set<std::string> names;
  for (const THookEntry& hook : ListHooks()) {
    if (!names.insert(hook.Name).second) duplicates.push_back(hook.Name);
    if (!hook.Set && hook.Kind != THookKind::Fallback) emptyByMistake.push_back(hook.Name);
  }
  std::sort(emptyByMistake.begin(), emptyByMistake.end());
  EXPECT_TRUE(emptyByMistake.empty()) << "empty:" << Lines(emptyByMistake);
  EXPECT_TRUE(duplicates.empty()) << "names carried twice:" << Lines(duplicates);
}

// The statistics count the acquisitions since the last clear of the display: a stop
// keeps them, so do the trigger-status polls while stopped, and Singles apart add up.
TEST_F(ProgramHooksTest, AStopKeepsAndAClearOfTheDisplayRestartsTheMeasurementStatistics) {
  StartAsMainDoes();
  ExecCommand("Header Off;:Meas:Display Statistic;:Meas:Ch1:YParam Ampl");
  const auto values = [] {
    const std::string reply = ExecCommand("Meas:Res? 1:Wfm");
    return !reply.empty() && reply.find_first_not_of("0123456789") == std::string::npos ? std::stoi(reply)
                                                                                        : -1;
  };
  const auto acquire = [&] {
    for (int i = 0; i < 2000 && values() < 3; ++i)
      for (int step = 0; step < 100; ++step) program_->Window().IdleStep();
    ASSERT_GE(values(), 3);
  };
  acquire();
  ExecCommand("*StopSingle Stop");
  const int kept = values();
  EXPECT_GE(kept, 3);
  for (int single = 1; single <= 2; ++single) {
    AcquisitionCycle().FlagRegisterReadingTimer().OnTimer();
    EXPECT_EQ(values(), kept + single - 1) << "gone with the poll";
    ExecCommand("*StopSingle Single");
    for (int step = 0; step < 200000 && SingleFlag; ++step) program_->Window().IdleStep();
    EXPECT_EQ(values(), kept + single);
  }
  ExecCommand("*Run");
  acquire();
  ExecCommand("*ClrDispl");
  EXPECT_EQ(values(), 0);
}

// Under a long average a change of what is measured is measured on the record shown at
// once, within a few of the 1024 records, as when stopped. The rise time of a sine of
// frequency f between fractions a and b of its span is (asin(2b - 1) - asin(2a - 1)) / (2 pi f),
// a little less where the top and base found lie inside the peaks.
TEST_F(ProgramHooksTest, AChangeUnderALongAverageIsMeasuredAtOnce) {
  StartAsMainDoes();
  const auto rise = [](double a, double b) {
    return (std::asin(2 * b - 1) - std::asin(2 * a - 1)) / 2e8 / std::numbers::pi;
  };
  ExecCommand(
      "Header Off;:GSS:A:Waweform SineWave;:GSS:A:StdFreq Custom;:GSS:A:Frequency 1e8;:GSS:A:Noise 0;"
      ":GSS:A:Jitter 0;:GSS:A:Amplitude 0.4;:GSS:A:Offset 0;:Ch1:Scale 0.1;:Ch1:Offset 0;:TB:ScaleA 5n;"
      ":Acq:Ch1:Mode AvgStab;:Acq:Ch1:NAvg 1024;:Meas:Display Param");
  const std::pair<const char*, double> rows[] = {
      {"Meas:Ch1:XParam Rise", rise(0.1, 0.9)},
      {"Meas:Ch1:Thresh 20-80", rise(0.2, 0.8)},
      {"Meas:Ch1:Thresh Custom;:Meas:Ch1:UpThPerc 60", rise(0.2, 0.6)}};
  for (const auto& [change, expected] : rows) {
    ExecCommand(change);
    for (int i = 0; i < 20; ++i) program_->Window().IdleStep();
    EXPECT_NEAR(ReadEngineeringNumber(ExecCommand("Meas:Res? 1")).value_or(0) / expected, 1, 0.05) << change;
  }
}

}  // namespace
}  // namespace norv
