// Measurements of a running acquisition on the simulated instrument: the program's units on
// a fake clock, the idle steps of the program's loop, and "Meas:" commands as a client
// sends them.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "app/program_units.h"
#include "display/scope_crt.h"
#include "framework/settings/value_text.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_fixture.h"
#include "shell/shell_state.h"

namespace norv {
namespace {

class MeasWhileRunningTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void SetUp() override {
    ShellTest::SetUp();
    ShellState.IdleHandlerInstalled = true;
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
  }
  void TearDown() override {
    ScopeCRT.reset();
    ShellTest::TearDown();
  }
  static double Result() {
    return ReadEngineeringNumber(ExecCommand("Meas:Res? 1")).value_or(UndefinedValue);
  }
};

// Under a long average a change of what is measured is measured on the record shown at
// once, between two of its records, as when stopped: here before the average of 1024
// records ends. The rise time of a sine of frequency f between fractions a and b of its
// span is (asin(2b - 1) - asin(2a - 1)) / (2 pi f).
TEST_F(MeasWhileRunningTest, AChangeUnderALongAverageIsMeasuredAtOnce) {
  constexpr double kF = 1e8;
  const auto rise = [&](double a, double b) {
    return (std::asin(2 * b - 1) - std::asin(2 * a - 1)) / (2 * std::numbers::pi * kF);
  };
  const struct {
    const char* Change;
    double Expected;
  } rows[] = {
      {"Meas:Ch1:Thresh 20-80", rise(0.2, 0.8)},
      {"Meas:Ch1:Thresh Custom;:Meas:Ch1:UpThPerc 60", rise(0.1, 0.6)},
  };
  for (const char* command :
       {"GSS:A:Waweform SineWave", "GSS:A:StdFreq Custom", "GSS:A:Frequency 1e8", "GSS:A:Amplitude 0.4",
        "GSS:A:Offset 0", "GSS:A:Noise 0", "GSS:A:Jitter 0", "Ch1:Scale 0.1", "Ch1:Offset 0", "TB:ScaleA 5n",
        "Acq:Ch1:Mode AvgStab", "Acq:Ch1:NAvg 1024", "Meas:Display Param", "Meas:Ch1:XParam Rise", "*Run"})
    ExecCommand(command);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Change);
    ExecCommand("Meas:Ch1:Thresh 10-90");
    for (int i = 0; i < 200000 && std::abs(Result() - rise(0.1, 0.9)) > 0.03 * rise(0.1, 0.9); ++i)
      ShellIdleStep();
    ExecCommand(row.Change);
    // A few records, far from the 1024 of the average.
    for (int i = 0; i < 20; ++i) ShellIdleStep();
    EXPECT_NEAR(Result(), row.Expected, 0.03 * row.Expected);
  }
}

}  // namespace
}  // namespace norv
