// The low-jitter reference: the fitted sine, the time correction, the F4 operator "mmm",
// and the reference run on the simulator from "Trig:LowJitter On" to F4 showing channel 1
// with the trigger jitter taken out.

#include "analysis/low_jitter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "app/program_units.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/dialog_service.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/settings_wiring.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"
#include "instrument/startup/instrument_list.h"
#include "support/assertion_text.h"
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

// 1024 points over two periods of a 100 MHz sine, starting at times far from and near 0:
// amplitude and offset from the extremes (the crests fall within 0.4 degrees of a point),
// the phase to the finest scan step.
TEST(RefSineTest, FitsAmplitudeOffsetAndPhaseOfASampledSine) {
  const double dx = 1e-8 / 512;
  const std::pair<double, double> rows[] = {
      {kPi / 4, 0}, {2.0, -3.7e-9}, {-0.35, 1.2e-6}, {5.9, 0}, {4.7, 2e-9}};
  for (const auto& [phase, first] : rows) {
    const TSine sine{0.8, -0.1, 1e8, phase};
    std::vector<double> values(1024);
    for (size_t i = 0; i < values.size(); ++i) values[i] = sine.At(first + static_cast<double>(i) * dx);
    const TRefSine fit(values, dx, first, 1e8);
    EXPECT_NEAR(fit.Amplitude, 0.8, 1e-4) << phase;
    EXPECT_NEAR(fit.Offset, -0.1, 1e-4) << phase;
    EXPECT_LE(PhaseDistance(fit.Phase, phase), kPi / 512) << phase;
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
      {0, 0, 20, true},     {45, 0, -60, true}, {-50, 3, 80, true},   {170, 0, 40, true},
      {200, -2, -70, true}, {235, 7, 10, true}, {59, 1000, 5, true},  {-59, -40, -5, true},
      {61, 0, 20, false},   {90, 2, 0, false},  {119, 0, -30, false}, {270, 5, 50, false},
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
  static double RefFreq() { return TriggerSettings().RefFreq->Value(); }
  // The query's answer without the blank an integer's text ends in.
  static std::string Text(const std::string& path) {
    std::string text = RootSpider->ExecCommandLine(":HEADER OFF;:" + path + "?", false);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }

  FakeSettingsLink link;
  FakeDialogs dialogs;
  FakeClock clock;
  TAcquisitionCycle* cycle = nullptr;
};

// The reference run in demo mode: the reference sine of generator A (100 MHz) on Ch2, its
// clock 8 times faster ("Trig:RefDivider" 8). While the run takes its 127 records the time
// base shows two periods (2 ns/div, mode A) in 1024 points with Ch1 off; after them the
// settings are back and F4 shows "mmm" with the fitted sine. Switching off gives F4 back.
TEST_F(LowJitterRunTest, ReferenceRunTakes127RecordsAndGivesTheSettingsBack) {
  Exec("GSS:CH1 B;:GSS:CH2 A;:TB:MODE B;:TB:SCALEA 100P;:ACQ:CH2:RECLEN 512;:CH1:ACQUIRE OFF;:CH1:DESKEW 5P");
  Exec("TRIG:LOWJITTER ON");
  const auto settings = [] {
    return Text("TB:SCALEA") + "|" + Text("TB:MODE") + "|" + Text("ACQ:CH2:RECLEN") + "|" +
           Text("CH1:DISPLAY") + "|" + Text("CH1:ACQUIRE") + "|" + Text("F4:DISPLAY") + "|" +
           Text("F4:OPERAT");
  };
  EXPECT_DOUBLE_EQ(RefFreq(), 8e8);
  EXPECT_EQ(Text("CH2:BAND"), "NARROW");
  EXPECT_EQ(ChannelSettings().Nodes[0].Deskew->Value(), 0);
  EXPECT_EQ(settings(), "2 ns/div|A|1024|OFF|OFF|OFF|DIV");
  Acquire(126);
  EXPECT_EQ(settings(), "2 ns/div|A|1024|OFF|OFF|OFF|DIV");
  EXPECT_FALSE(LowJitterState().RefSineObj);
  Acquire(1);
  // Ch1 was switched on for the run before its switches were kept.
  EXPECT_EQ(settings(), "100 ps/div|B|512|ON|OFF|ON|MMM");
  ASSERT_TRUE(LowJitterState().RefSineObj);
  const TRefSine& ref = *LowJitterState().RefSineObj;
  EXPECT_NEAR(ref.Amplitude, 0.25, 0.005);  // 0.5 V peak to peak
  EXPECT_NEAR(ref.Offset, 0, 0.005);
  EXPECT_DOUBLE_EQ(ref.Omega, 2 * kPi * 1e8);
  EXPECT_LE(PhaseDistance(ref.Phase, 0), kPi / 256);
  EXPECT_EQ(ref.StepX, 2e-9 * 10.24 / 1024);
  EXPECT_TRUE(dialogs.shown.empty());

  Exec("TRIG:LOWJITTER OFF");
  EXPECT_FALSE(LowJitterState().RefSineObj);
  EXPECT_EQ(Text("F4:DISPLAY") + Text("F4:OPERAT"), "OFFADD");

  // Switched off before its records are in, a run gives its settings back; a setup applied
  // while it is off leaves a user's F4 alone.
  Exec("TB:SCALEA 500P;:ACQ:CH2:RECLEN 256;:F4:OPERAT MULT;:F4:DISPLAY ON;:TRIG:LOWJITTER ON");
  Acquire(3);
  Exec("TRIG:LOWJITTER OFF");
  EXPECT_EQ(Text("TB:SCALEA") + "|" + Text("TB:MODE") + "|" + Text("ACQ:CH2:RECLEN"), "500 ps/div|B|256");
  ApplyEveryUnit();
  EXPECT_EQ(Text("F4:DISPLAY") + Text("F4:OPERAT"), "ONMULT");
}

// Refused runs: an instrument whose frequency reply cannot be read (the reply's failure
// value would have set a negative reference frequency), and a channel 2 without any signal
// (a flat reference has no sine to fit). Each shows its message once, switches the mode
// off again and leaves the reference frequency, the time base and F4 as they were.
TEST_F(LowJitterRunTest, UnreadableFrequencyAndFlatReferenceRefuseTheRun) {
  Exec("TB:MODE B;:TB:SCALEA 500P");
  LinkKind = TLinkKind::LAN;
  link.Reply = [](const std::string&) { return std::string("Timeout"); };
  Exec("TRIG:LOWJITTER ON");
  LinkKind = TLinkKind::Demo;
  EXPECT_EQ(link.TextsStartingWith("Pattern:"),
            (std::vector<std::string>{"Pattern:On On", "Pattern:TrigFreq?", "Pattern:On Off"}));
  EXPECT_DOUBLE_EQ(RefFreq(), 1.25e9);
  EXPECT_EQ(Text("TRIG:LOWJITTER") + Text("TB:SCALEA") + Text("TB:MODE") + Text("F4:DISPLAY"),
            "OFF500 ps/divBOFF");
  EXPECT_EQ(dialogs.shown,
            std::vector<std::string>{"[error] Low Jitter: the reference frequency could not be measured"});
  LinkKind = TLinkKind::LAN;  // a client hears it as the line's error
  EXPECT_EQ(AssertionText([] {
              const TDialogsSuppressed client;
              Exec("TRIG:LOWJITTER ON");
            }),
            "Low Jitter: the reference frequency could not be measured");
  LinkKind = TLinkKind::Demo;

  dialogs.shown.clear();
  Exec("GSS:CH1 A;:GSS:CH2 B");
  ProgramSimulator().SimSetChannelSource(3, kSimSourceNone);
  Exec("TRIG:LOWJITTER ON");
  Acquire(127);
  EXPECT_FALSE(LowJitterState().RefSineObj);
  EXPECT_EQ(
      Text("TRIG:LOWJITTER") + Text("TB:SCALEA") + Text("TB:MODE") + Text("F4:DISPLAY") + Text("F4:OPERAT"),
      "OFF500 ps/divBOFFDIV");
  EXPECT_EQ(dialogs.shown,
            std::vector<std::string>{"[error] Low Jitter: no reference sine on Ch2 (its amplitude is 0)"});

  // Generator 1 in NRZ drives Ch1's TDR: hiding Ch1 forces it to a step and the trigger
  // source with it, which ends the reference. The line fails and nothing of the start stays.
  InstrumentIdentity.Options = OptGenerators;
  Exec("TDR:CH1:DESTINATION G1;:TDR:MODE TDR;:GEN:MODE NRZ;:CH1:DESKEW 5P;:CH2:BAND FULL");
  StartUndo();
  std::vector<std::string> before, after;
  RootSpider->DumpSettings(before);
  const std::string why =
      "Cannot start the low-jitter reference: the settings it takes move TRIG:SOURCE, which ends it";
  EXPECT_EQ(AssertionText([] {
              const TDialogsSuppressed client;
              Exec("TRIG:LOWJITTER ON");
            }),
            why);
  dialogs.shown.clear();
  Exec("TRIG:LOWJITTER ON");  // at the screen: a box
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{"[error] " + why});
  ReplayUndoStep(false);
  RootSpider->DumpSettings(after);
  EXPECT_EQ(after, before);
}

// With an instrument the reference frequency is the measured one times the prescaler named
// on the command line (the first of "Div2", "Div4", "Div8", "Div16" present, in any case)
// times the factor of the trigger source (the prescaled input 32).
TEST_F(LowJitterRunTest, MeasuredFrequencyTimesPrescalerAndSourceFactor) {
  struct Row {
    std::vector<std::string> args;
    const char* source;
    const char* reply;
    double refFreq;
  };
  const Row rows[] = {
      {{}, "DIRECT", "1.25E9", 1.25e9},          {{"Default_Demo", "Div2"}, "INTCLOCK", "6E8", 1.2e9},
      {{"Div4"}, "EXTHF", "2E7", 2.56e9},        {{"div8"}, "DIRECT", "1E8", 8e8},
      {{"Div16", "Div4"}, "DIRECT", "5E8", 2e9}, {{"Div16"}, "EXTHF", "1E7", 5.12e9},
  };
  for (const Row& row : rows) {
    InstrumentListState.CommandLine = row.args;
    Exec(std::string("TRIG:SOURCE ") + row.source);
    LinkKind = TLinkKind::LAN;
    link.Reply = [&](const std::string& query) {
      return query == "Pattern:TrigFreq?" ? row.reply : "Timeout";
    };
    Exec("TRIG:LOWJITTER ON");
    LinkKind = TLinkKind::Demo;
    EXPECT_DOUBLE_EQ(RefFreq(), row.refFreq) << row.source << " " << row.reply;
    EXPECT_EQ(Text("TRIG:LOWJITTER"), "ON") << row.reply;
    Exec("TRIG:LOWJITTER OFF");
  }
  EXPECT_TRUE(dialogs.shown.empty());
}

// Spread of the points of the steep part of an edge over many records: the RMS over those
// points of each point's standard deviation across the records.
double EdgeSpread(const std::vector<std::vector<double>>& records, const std::vector<int>& points) {
  double sum = 0;
  for (const int i : points) {
    double mean = 0, square = 0;
    for (const auto& r : records) mean += r[static_cast<size_t>(i)];
    mean /= static_cast<double>(records.size());
    for (const auto& r : records) square += std::pow(r[static_cast<size_t>(i)] - mean, 2);
    sum += square / static_cast<double>(records.size() - 1);
  }
  return std::sqrt(sum / static_cast<double>(points.size()));
}

// The demonstration: a 0.5 V pulse edge (100 ps rise) on Ch1 and a 2 V, 100 MHz reference
// sine on Ch2, both clean (10 fs generator jitter, 0.1 mV noise), sampled with a trigger
// jitter of 20 ps common to both. At 100 ps/div (2 ps a point) the edge of Ch1 spreads by
// the full jitter; F4 with the correction by at most a twentieth of it.
TEST_F(LowJitterRunTest, CorrectionShrinksTheEdgeSpreadOfChannel1) {
  Exec("GSS:CH1 B;:GSS:CH2 A;:GSS:A:AMPLITUDE 2;:GSS:A:JITTER 1E-14;:GSS:A:NOISE 1E-4");
  Exec("GSS:B:JITTER 1E-14;:GSS:B:NOISE 1E-4;:GSS:B:RISETIME 100P;:GSS:B:PHASE -18;:GSS:TRIGJITTER 20P");
  Exec("TB:MODE A;:TB:SCALEA 100P;:ACQ:CH1:RECLEN 512;:ACQ:CH2:RECLEN 512");
  Exec("TRIG:LOWJITTER ON");
  Acquire(127 + 5);
  ASSERT_EQ(Text("F4:OPERAT"), "MMM");
  std::vector<std::vector<double>> ch1, f4;
  for (int k = 0; k < 40; ++k) {
    Acquire(1);
    ch1.emplace_back();
    f4.emplace_back();
    for (int i = 0; i < Rec(TTraceId::Ch1).GetRecLen(); ++i) {
      ch1.back().push_back(Rec(TTraceId::Ch1).GetY(i));
      f4.back().push_back(Rec(TTraceId::F4).GetY(i));
    }
  }
  // The steep part: where the mean of Ch1 lies between 20 % and 80 % of the pulse.
  std::vector<int> steep;
  for (size_t i = 0; i < ch1.front().size(); ++i) {
    double mean = 0;
    for (const auto& r : ch1) mean += r[i] / static_cast<double>(ch1.size());
    if (mean > 0.1 && mean < 0.4) steep.push_back(static_cast<int>(i));
  }
  ASSERT_GE(steep.size(), 20u);
  const double before = EdgeSpread(ch1, steep), after = EdgeSpread(f4, steep);
  // 20 ps on an edge of about 4 mV/ps; corrected, what is left is mostly the 2 ps grid
  // the samples are put on (about 30 times narrower).
  EXPECT_GT(before, 0.05);
  EXPECT_LT(after, before / 20) << "spread " << before << " V, corrected " << after << " V";
}

}  // namespace
}  // namespace norv::test
