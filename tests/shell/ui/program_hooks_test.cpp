// After the program has started as main() starts it, no hook is left empty by mistake:
// each one is filled, is a fallback, or waits for a part of the program not built yet.

#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/program_pages.h"
#include "app/program_units.h"
#include "display/ui/scope_crt_widget.h"
#include "framework/settings/program_objects.h"
#include "framework/util/hook.h"
#include "instrument/ui/splash.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_state.h"
#include "shell/ui/main_window.h"
#include "shell/ui/program.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"

namespace norv {
namespace {

// The hooks that stay empty until the part of the program that fills them is built, each
// with that part. A part that is built fills its hooks and takes them off this list.
const std::map<std::string, std::string> kWaitingHooks = {
    {"AcqHooks.EyeMeasurementPass", "eye"},
    {"DisplayHooks.BuildEyeParamPopupMenu", "eye"},
    {"DisplayHooks.EyeMeasureOn", "eye"},
    {"DisplayHooks.EyeParamLineCount", "eye"},
    {"DisplayHooks.EyeParamPopupCommand", "eye"},
    {"LinkHooks.ClearEyeMeasurement", "eye"},
    {"LinkHooks.EyeMeasureOn", "eye"},
    {"AcqHooks.LowJitterAfterAcquisition", "low jitter"},
    {"MathHooks.LowJitter", "low jitter"},
    {"SettingsHooks.CancelLowJitterReference", "low jitter"},
    {"SettingsHooks.SetupLowJitterReference", "low jitter"},
    {"AcqHooks.TDRMeasurePass", "TDR"},
    {"DisplayHooks.BuildReflectParamPopupMenu", "TDR"},
    {"DisplayHooks.ReflectParamPopupCommand", "TDR"},
    {"DisplayHooks.TdrMarginDragged", "TDR"},
    {"DisplayHooks.TdrMeasureLineCount", "TDR"},
    {"DisplayHooks.TdrMeasureOn", "TDR"},
    {"AcqHooks.NormalizationStep", "TDR normalization"},
    {"MathHooks.Normalize", "TDR normalization"},
    {"SettingsTreeState.OnSettingsLoaded", "TDR normalization"},
    {"ShellHooks.AfterUndoReplay", "TDR normalization"},
    {"AcqHooks.AutocalChannelsCheckInputs", "calibration"},
    {"AcqHooks.CalibrationBusy", "calibration"},
    {"AcqHooks.CheckAutoCalibration", "calibration"},
    {"AcqHooks.TDRChannelCalibrationStep", "calibration"},
    {"GeneratorHooks.SetCalibrationChanged", "calibration"},
    {"TdrHooks.RunChannelCalibration", "calibration"},
    {"ShellHooks.AdjustAccessGranted", "calibration"},
};

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

TEST_F(ProgramHooksTest, StartUpLeavesEmptyOnlyTheHooksWaitingForTheirPart) {
  StartAsMainDoes();
  std::vector<std::string> emptyByMistake, filledButWaiting, duplicates;
  std::set<std::string> names;
  for (const THookEntry& hook : ListHooks()) {
    if (!names.insert(hook.Name).second) duplicates.push_back(hook.Name);
    const bool waiting = kWaitingHooks.contains(hook.Name);
    if (hook.Set && waiting) filledButWaiting.push_back(hook.Name);
    if (!hook.Set && !waiting && hook.Kind != THookKind::Fallback) emptyByMistake.push_back(hook.Name);
  }
  std::sort(emptyByMistake.begin(), emptyByMistake.end());
  EXPECT_TRUE(emptyByMistake.empty()) << "empty, and not waiting for their part:" << Lines(emptyByMistake);
  EXPECT_TRUE(filledButWaiting.empty()) << "filled, to be taken off the list:" << Lines(filledButWaiting);
  EXPECT_TRUE(duplicates.empty()) << "names carried twice:" << Lines(duplicates);
  // A name on the list that no hook carries is a hook renamed or gone.
  std::vector<std::string> unknown;
  for (const auto& [name, owner] : kWaitingHooks)
    if (!names.contains(name)) unknown.push_back(name);
  EXPECT_TRUE(unknown.empty()) << "no such hook:" << Lines(unknown);
}

// The statistics count the acquisitions since the last stop or clear of the display.
TEST_F(ProgramHooksTest, StopAndClearDisplayRestartTheMeasurementStatistics) {
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
  EXPECT_EQ(values(), 0);
  ExecCommand("*Run");
  acquire();
  ExecCommand("*ClrDispl");
  EXPECT_EQ(values(), 0);
}

}  // namespace
}  // namespace norv
