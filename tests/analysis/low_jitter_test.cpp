// The low-jitter reference: the fitted sine, the time correction, the F4 operator "mmm",
// and the reference run on the simulator from "Trig:LowJitter On" to F4 showing channel 1
// with the trigger jitter taken out.

#include "analysis/low_jitter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/derived_settings.h"
#include "analysis/math_functions.h"
#include "app/program_units.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/settings_wiring.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"
#include "instrument/startup/instrument_list.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/fake_settings_link.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

constexpr double kPi = std::numbers::pi;

struct TSine {
  double amplitude, offset, frequency, phase;
  double At(double t) const { return amplitude * std::sin(2 * kPi * frequency * t + phase) + offset; }
};

// Phases equal up to whole turns.
double PhaseDistance(double a, double b) { return std::abs(std::remainder(a - b, 2 * kPi)); }

// 1024 points over two periods of a 100 MHz sine, sampled so that the crests fall on points:
// the extremes, and so amplitude and offset, are exact; the phase is found to the finest
// scan step.
TEST(RefSineTest, FitsAmplitudeOffsetAndPhaseOfASampledSine) {
  const double dx = 1e-8 / 512;
  for (const double phase : {kPi / 4, 2.0, -0.35, 5.9, 3 * kPi / 2}) {
    for (const double x0 : {0.0, -3.7e-9, 1.2e-6}) {
      // The phase at point 0 is a multiple of 2 pi / 512 plus the phase at time 0.
      const TSine sine{0.8, -0.1, 1e8, phase};
      std::vector<double> values(1024);
      const double startTurns = std::round(1e8 * x0 * 512) / 512;  // x0 moved onto the grid
      const double first = startTurns / 1e8;
      for (size_t i = 0; i < values.size(); ++i) values[i] = sine.At(first + static_cast<double>(i) * dx);
      const TRefSine fit(values, dx, first, 1e8);
      const std::string what = "phase " + std::to_string(phase) + " x0 " + std::to_string(first);
      EXPECT_NEAR(fit.Amplitude, 0.8, 1e-3) << what;
      EXPECT_NEAR(fit.Offset, -0.1, 1e-3) << what;
      EXPECT_DOUBLE_EQ(fit.Omega, 2 * kPi * 1e8) << what;
      EXPECT_EQ(fit.LastIndex, 1023) << what;
      EXPECT_LE(PhaseDistance(fit.Phase, phase), kPi / 512) << what;
      EXPECT_NEAR(fit.FitError(phase), 0, 1e-6) << what;
    }
  }
}

// A value v of the sine 1 sin(2 pi 1e9 t + 0.3) + 0.5 taken at the true instant tau, read
// at the nominal t = tau + d: the correction gives tau back whenever the sine is steep
// there, on rising and falling flanks and many periods from time 0; near the crests it
// leaves t alone.
TEST(RefSineTest, CorrectTimeFindsTheTrueInstantOnTheSteepParts) {
  const double period = 1e-9;
  std::vector<double> values(1024);
  const TSine sine{1.0, 0.5, 1e9, 0.3};
  for (size_t i = 0; i < values.size(); ++i) values[i] = sine.At(static_cast<double>(i) * period / 256);
  TRefSine ref(values, period / 256, 0, 1e9);
  ref.Phase = 0.3;  // exact, so that only the correction is under test
  ref.Amplitude = 1.0;
  ref.Offset = 0.5;
  // tau as a phase angle after the zero crossing (degrees) and the period it lies in.
  struct Row {
    double degrees;
    int period;
    double shiftPs;
    bool corrected;
  };
  const Row rows[] = {
      {0, 0, 20, true},     {45, 0, -60, true},  {-50, 3, 80, true},    {170, 0, 40, true},
      {200, -2, -70, true}, {235, 7, 10, true},  {59, 1000, 5, true},   {-59, -40, -5, true},
      {61, 0, 20, false},   {90, 2, 0, false},   {119, 0, -30, false},  {270, 5, 50, false},
  };
  for (const Row& row : rows) {
    const double tau = (row.period * 2 * kPi + row.degrees * kPi / 180 - 0.3) / (2 * kPi * 1e9);
    const double nominal = tau + row.shiftPs * 1e-12;
    double t = nominal;
    const bool done = ref.CorrectTime(t, sine.At(tau));
    const std::string what = std::to_string(row.degrees) + " deg, period " + std::to_string(row.period);
    EXPECT_EQ(done, row.corrected) << what;
    EXPECT_NEAR(t, row.corrected ? tau : nominal, 1e-16 + 1e-12 * std::abs(tau)) << what;
  }
  // No sine: nothing to tell the time by.
  ref.Amplitude = 0;
  double t = 1e-9;
  EXPECT_FALSE(ref.CorrectTime(t, 0.5));
  EXPECT_EQ(t, 1e-9);
}

// Channel 1 and 2 of one acquisition whose samples were each taken a whole number of
// intervals early or late: the corrected record puts every sample back at its true index.
// Samples moved off the record are dropped, a reference value at the crest keeps its
// sample where it is, points no sample reaches keep what they held, and records of
// different lengths are not combined.
TEST(LowJitterOperatorTest, PutsEachSampleAtItsTrueIndex) {
  constexpr int n = 32;
  const double dx = 4e-12, x0 = 2e-9;
  // A 1 GHz sine rising through zero at point 16; every point lies within 30 degrees.
  const TSine sine{0.5, 0.1, 1e9, -2 * kPi * 1e9 * (x0 + 16 * dx)};
  std::vector<double> values(1024);
  for (size_t i = 0; i < values.size(); ++i) values[i] = sine.At(x0 + static_cast<double>(i) * dx);
  TRefSine ref(values, dx, x0, 1e9);
  ref.Phase = sine.phase;

  // Sample i taken at index i + shift(i): even ones two late, odd ones two early; sample 10
  // reads the crest.
  const auto shift = [](int i) { return i % 2 == 0 ? 2 : -2; };
  TSignalObj ch1, ch2, f4;
  for (TSignalObj* r : {&ch1, &ch2}) {
    r->SetRecLen(n);
    r->SetX0(x0);
    r->SetDX(dx);
  }
  ch1.SetVertUnit("V");
  for (int i = 0; i < n; ++i) {
    ch1.SetY(i, 100 + i);
    ch2.SetY(i, i == 10 ? 0.6 : sine.At(x0 + (i + shift(i)) * dx));
  }
  for (int i = 0; i < kMaxRecLen; ++i) f4.SetY(i, -7);
  ASSERT_TRUE(CorrectByReference(ref, ch1, ch2, f4));

  // By hand: index 2k (k >= 1) holds sample 2k - 2, index 2k - 1 sample 2k + 1; sample 10
  // stays at 10 (overwriting sample 8, which comes earlier) and nothing reaches 12; 0 and
  // 31 are reached by none (samples 1 and 30 fall off the ends).
  std::vector<double> expected(n);
  for (int j = 0; j < n; ++j) expected[j] = j % 2 == 0 ? 100 + j - 2 : 100 + j + 2;
  expected[0] = expected[31] = expected[12] = -7;
  expected[10] = 110;
  for (int j = 0; j < n; ++j) EXPECT_EQ(f4.GetY(j), expected[j]) << "index " << j;
  EXPECT_EQ(f4.GetRecLen(), n);
  EXPECT_EQ(f4.GetX0(), x0);
  EXPECT_EQ(f4.GetVertUnitText(), "V");

  ch2.SetRecLen(n * 2);
  f4.SetY(5, -1);
  EXPECT_FALSE(CorrectByReference(ref, ch1, ch2, f4));
  EXPECT_EQ(f4.GetY(5), -1);
}

// The program's settings and the simulator, acquiring through the acquisition cycle, with
// every unit's hooks filled as at start-up.
class LowJitterRunTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    LinkKind = TLinkKind::Demo;
    InstrumentIdentity.ModelCode = 1;  // strobes timed as the L models time them
    RegisterEveryUnit();
    ApplyEveryUnit();
    InstallInstrumentSettings();
    InstallProgramUnits();
    SetDialogs(&dialogs);
    SetProgramClock(clock);
    GuiReady = true;
    cycle = &CreateAcquisitionCycle(clock, clock);
  }

  void Single() {
    SingleFlag = true;
    for (int steps = 0; (RunFlag || SingleFlag) && steps < 1000000; ++steps) cycle->AcquisitionIdleStep();
    ASSERT_FALSE(SingleFlag);
  }
  void Acquire(int records) {
    for (int k = 0; k < records; ++k) Single();
  }
  static const TSignalObj& Rec(TTraceId id) { return SignalObjs()[id]; }
  static double Number(const std::string& path) {
    return std::stod(RootSpider->ExecCommandLine(":HEADER OFF;:" + path + "?", false));
  }
  static std::string Text(const std::string& path) {
    return RootSpider->ExecCommandLine(":HEADER OFF;:" + path + "?", false);
  }

  FakeSettingsLink link;
  FakeDialogs dialogs;
  FakeClock clock;
  TAcquisitionCycle* cycle = nullptr;
};

TEST_F(LowJitterRunTest, Probe) {
  Exec("GSS:CH1 B;:GSS:CH2 A;:TB:MODE B;:TB:SCALEA 100P;:ACQ:CH2:RECLEN 512;:CH1:ACQUIRE OFF");
  Exec("TRIG:LOWJITTER ON");
  printf("scaleA %s mode %s reclen %s ch1 %s reffreq %s\n", Text("TB:SCALEA").c_str(), Text("TB:MODE").c_str(),
         Text("ACQ:CH2:RECLEN").c_str(), Text("CH1:DISPLAY").c_str(), Text("TRIG:REFFREQ").c_str());
  for (int k = 0; k < 3; ++k) {
    Acquire(1);
    printf("len %d:", Rec(TTraceId::Ch2).GetRecLen());
    for (int i = 0; i < 1024; i += 40) printf(" %.3f", Rec(TTraceId::Ch2).GetY(i));
    printf("\n");
  }
  Acquire(124);
  printf("scaleA %s mode %s reclen %s ch1 %s f4 %s %s\n", Text("TB:SCALEA").c_str(), Text("TB:MODE").c_str(),
         Text("ACQ:CH2:RECLEN").c_str(), Text("CH1:DISPLAY").c_str(), Text("F4:DISPLAY").c_str(),
         Text("F4:OPERAT").c_str());
  ASSERT_TRUE(LowJitterState().RefSineObj);
  const TRefSine& r = *LowJitterState().RefSineObj;
  printf("A %g off %g ph %g w %g x0 %g dx %g\n", r.Amplitude, r.Offset, r.Phase, r.Omega, r.FirstX, r.StepX);
  for (const auto& s : dialogs.shown) printf("dialog %s\n", s.c_str());
}

}  // namespace
}  // namespace norv::test
