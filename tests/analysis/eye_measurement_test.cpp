// The eye measurement on the simulated instrument: the simulator's pattern with a set rise
// time, random jitter and noise goes through the acquisition cycle into the eye pass, and
// "Eye:Res" answers what the analysis found.

#include "analysis/eye_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "analysis/eye_settings.h"
#include "app/program_units.h"
#include "framework/settings/value_text.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_fixture.h"
#include "shell/shell_state.h"

namespace norv {
namespace {

class EyeMeasurementTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void SetUp() override {
    ShellTest::SetUp();
    ShellState.IdleHandlerInstalled = true;
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
  }
  static void Acquire(int cycles) {
    for (int c = 0; c < cycles; ++c) {
      for (int i = 0; i < 100000 && !AcqCycleRunning; ++i) ShellIdleStep();
      for (int i = 0; i < 100000 && AcqCycleRunning; ++i) ShellIdleStep();
    }
  }
  static double Res(const std::string& what) {
    const std::string reply = ExecCommand("Eye:Res? " + what);
    const auto v = ReadEngineeringNumber(reply);
    return v ? *v : UndefinedValue;
  }
};

TEST_F(EyeMeasurementTest, Explore) {
  ExecCommand("GSS:A:Waweform PRBS");
  ExecCommand("GSS:A:StdFreq Custom");
  ExecCommand("GSS:A:Frequency 1e9");
  ExecCommand("GSS:A:Amplitude 0.4");
  ExecCommand("GSS:A:Offset 0.05");
  ExecCommand("GSS:A:Noise 0.004");
  ExecCommand("GSS:A:Jitter 10p");
  ExecCommand("GSS:A:RiseTime 300p");
  ExecCommand("GSS:A:FallTime 300p");
  ExecCommand("Ch1:Scale 0.1");
  ExecCommand("Ch1:Offset 0.25");
  ExecCommand("TB:ScaleA 200p");
  ExecCommand("Eye:Measure NRZ");
  ExecCommand("Eye:XNRZParam EyeWidth,BitRate,JitterRMS,JitterPP");
  ExecCommand("*Run On");
  Acquire(70);
  printf("%s\n", ExecCommand("Eye:Res? LIST").c_str());
  for (int n = 1; n <= 4; ++n) printf("%d %s\n", n, ExecCommand("Eye:Res? " + std::to_string(n)).c_str());
  const TEyeState& e = EyeState();
  printf("C1 %g C2 %g sigma %g yc %g L1 %g L0 %g failed %d cycle %u rec %s x0 %g dx %g len %d\n", e.Crossing[1].X,
         e.Crossing[2].X, e.Crossing[e.SelectedCrossing].Sigma, e.CrossingLevel, e.OneLevel, e.ZeroLevel,
         e.EyeFailed, e.CycleWaveforms, ExecCommand("TB:Delay?").c_str(), SignalObjs()[TTraceId::Ch1].GetX0(),
         SignalObjs()[TTraceId::Ch1].GetDX(), SignalObjs()[TTraceId::Ch1].GetRecLen());
}

}  // namespace
}  // namespace norv
