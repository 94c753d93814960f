// The eye measurement on the simulated instrument: the simulator's pattern with a set rise
// time, random jitter and noise goes through the acquisition cycle into the eye pass, and
// "Eye:Res" answers what the analysis found. Expectations come from the values set: a
// raised-cosine edge of full length R crosses 20 % and 80 % at R acos(0.6) / pi and
// R acos(-0.6) / pi; the spread of a crossing is the jitter widened by the noise over the
// edge's slope (A pi / 2R at its middle).

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/eye_engine.h"
#include "analysis/eye_settings.h"
#include "app/program_units.h"
#include "framework/language/language.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/value_text.h"
#include "framework/traces/trace_names.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "measure/hist/hist_objects.h"
#include "measure/meas_state.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/shell_fixture.h"
#include "shell/shell_state.h"

namespace norv {
namespace {

constexpr double kUI = 1e-9, kAmpl = 0.4, kOffset = 0.05, kNoise = 0.004, kJitter = 10e-12, kRise = 300e-12;
const double kRise2080 = kRise * (std::acos(-0.6) - std::acos(0.6)) / std::numbers::pi;
// The jitter seen at the crossing: the set jitter and the noise over the edge's slope.
const double kCrossSigma = std::hypot(kJitter, kNoise / (kAmpl * std::numbers::pi / (2 * kRise)));

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
  // The number of a reply in engineering notation ("999.8 MBit/s": M is mega here).
  static double Res(const std::string& what) {
    const std::string reply = ExecCommand("Eye:Res? " + what);
    size_t used = 0;
    double v = 0;
    try {
      v = std::stod(reply, &used);
    } catch (const std::exception&) {
      return UndefinedValue;
    }
    const size_t at = reply.find_first_not_of(' ', used);
    const std::string prefixes = "fpnum_kMGT";  // 10^-15 .. 10^12
    const size_t p = at == std::string::npos ? std::string::npos : prefixes.find(reply[at]);
    return p == std::string::npos ? v : v * std::pow(10.0, 3.0 * (static_cast<double>(p) - 5));
  }
  // Pattern of 1 Gb/s on channel 1, two bits across the screen, levels 0.05 V and 0.45 V.
  static void Pattern(const char* coding) {
    for (const std::string command :
         {"GSS:A:Waweform PRBS", "GSS:A:StdFreq Custom", "GSS:A:Frequency 1e9", "GSS:A:Amplitude 0.4",
          "GSS:A:Offset 0.05", "GSS:A:Noise 0.004", "GSS:A:Jitter 10p", "GSS:A:RiseTime 300p",
          "GSS:A:FallTime 300p", "Ch1:Scale 0.1", "Ch1:Offset 0.25", "TB:ScaleA 200p"})
      ExecCommand(command);
    ExecCommand(std::string("GSS:A:PrbsMode ") + coding);
    ExecCommand("*Run On");
  }

  struct TCase {
    const char* Set;
    const char* Item;
    double Expected, Tolerance;
  };
  // The "Eye:Res" number of a selected parameter (0 when it is not selected).
  static int SlotOf(uint8_t group, const char* item) {
    for (int n = 0; n < EyeState().Count(group); ++n) {
      const TEyeParam& p = *EyeState().Group(group)[n];
      if (std::string(EyeParamText(p.Group, p.Axis, p.Index).Mnemonic) == item) return n + 1;
    }
    return 0;
  }
  // Each round selects up to four parameters, acquires and compares.
  static void CheckRounds(uint8_t group, const std::vector<std::vector<TCase>>& rounds) {
    for (const auto& round : rounds) {
      std::map<std::string, std::string> sets;
      for (const TCase& c : round) sets[c.Set] += (sets[c.Set].empty() ? "" : ",") + std::string(c.Item);
      for (const auto& [set, items] : sets) ExecCommand("Eye:" + set + " " + items);
      Acquire(70);
      for (const TCase& c : round) {
        const int slot = SlotOf(group, c.Item);
        ASSERT_GT(slot, 0) << c.Item;
        EXPECT_NEAR(Res(std::to_string(slot)), c.Expected, c.Tolerance) << c.Item;
      }
      for (const auto& [set, items] : sets) ExecCommand("Eye:" + set + " ClearALL");
    }
  }
};

TEST_F(EyeMeasurementTest, NrzEyeOfTheSimulatedPatternMatchesItsSettings) {
  InstrumentIdentity.Options |= OptOptics;
  Pattern("NRZ");
  ExecCommand("Eye:Measure NRZ");
  CheckRounds(
      egNRZ, {
                 {{"XNRZParam", "BitRate", 1 / kUI, 0.005 / kUI},
                  {"XNRZParam", "EyeWidth", kUI - 6 * kCrossSigma, 0.015 * kUI},
                  {"XNRZParam", "JitterRMS", kCrossSigma, 0.1 * kCrossSigma},
                  {"XNRZParam", "RiseTime", kRise2080, 0.05 * kRise2080}},
                 {{"XNRZParam", "FallTime", kRise2080, 0.05 * kRise2080},
                  {"YNRZParam", "CrossPerc", 50, 2},
                  {"YNRZParam", "EyeHeight", kAmpl - 6 * kNoise, 0.03 * kAmpl},
                  {"YNRZParam", "ExtRatio", (kOffset + kAmpl) / kOffset, 0.04 * (kOffset + kAmpl) / kOffset}},
                 {{"YNRZParam", "OneLevel", kOffset + kAmpl, 0.002},
                  {"YNRZParam", "ZeroLevel", kOffset, 0.002},
                  {"YNRZParam", "EyeAmpl", kAmpl, 0.004},
                  {"YNRZParam", "RMSNoiseZero", kNoise, 0.15 * kNoise}},
             });
  // The range of about a hundred normal draws spans 3.5 to 8 deviations.
  ExecCommand("Eye:XNRZParam JitterPP");
  Acquire(70);
  EXPECT_GT(Res("1"), 3.5 * kJitter);
  EXPECT_LT(Res("1"), 8 * kJitter);
  EXPECT_FALSE(EyeState().EyeFailed);
}

TEST_F(EyeMeasurementTest, RzEyeOfTheSimulatedPatternMatchesItsSettings) {
  Pattern("RZ");
  ExecCommand("Eye:Measure RZ");
  // A pulse is high for half a bit; its edges carry the crossing's jitter.
  CheckRounds(egRZ, {
                        {{"XRZParam", "BitTime", kUI, 0.005 * kUI},
                         {"XRZParam", "PulseWidth", kUI / 2, 0.01 * kUI},
                         {"XRZParam", "RiseTime", kRise2080, 0.06 * kRise2080},
                         {"XRZParam", "EyeWidth", kUI / 2 - 6 * kCrossSigma, 0.015 * kUI}},
                        {{"YRZParam", "OneLevel", kOffset + kAmpl, 0.002},
                         {"YRZParam", "ZeroLevel", kOffset, 0.002},
                         {"YRZParam", "EyeAmpl", kAmpl, 0.004},
                         {"XRZParam", "JittRMSRise", kCrossSigma, 0.1 * kCrossSigma}},
                    });
  EXPECT_FALSE(EyeState().EyeFailed);
}

// The labels of the RZ width parameters sit on the screen, the width pair on the edges of
// one pulse: half a bit apart, 1000 units at two bits across the screen.
TEST_F(EyeMeasurementTest, RzWidthLabelsSitOnThePulse) {
  Pattern("RZ");
  ExecCommand("Eye:Measure RZ");
  ExecCommand("Eye:XRZParam EyeWidth,PosDutyCyc,PulseSymm,PulseWidth");
  Acquire(70);
  ASSERT_FALSE(EyeState().EyeFailed);
  for (int n = 0; n < EyeState().Count(egRZ); ++n) {
    ComputeEyeParam(n);
    const TEyeParam& p = *EyeParam(egRZ, n);
    SCOPED_TRACE(EyeParamText(p.Group, p.Axis, p.Index).Mnemonic);
    for (int l = 1; l <= kAnnLabelCount; ++l) {
      const TAnnLabelParam& label = p.Annotations[l];
      if (label.Text.empty()) continue;
      EXPECT_GT(label.AnchorX, 0) << label.Text;
      EXPECT_LT(label.AnchorX, 4000) << label.Text;
      EXPECT_GT(label.AnchorY, 0) << label.Text;
      EXPECT_LT(label.AnchorY, 1024) << label.Text;
    }
    if (p.Kind() == TEyeKind::PulseWidth) {
      EXPECT_NEAR(p.Annotations[2].AnchorX - p.Annotations[1].AnchorX, 1000, 20);
    }
  }
}

// Replies of "Eye:Res" with and without the header, for every kind of argument.
TEST_F(EyeMeasurementTest, ResultQueryRepliesWithAndWithoutHeader) {
  EXPECT_EQ(ExecCommand("Eye:Res? 1"), "");  // the measure is off
  Pattern("NRZ");
  ExecCommand("Eye:Measure NRZ");
  EXPECT_EQ(EyeResQuery("LIST", true), "\r\n");
  EXPECT_EQ(ExecCommand("Eye:Res? 1"), "Eye Measure OFF");
  ExecCommand("Eye:XNRZParam BitRate");
  ExecCommand("Eye:Statistic On");
  Acquire(64);
  ASSERT_EQ(EyeState().Group(egNRZ)[0]->Stat.Count(), 1);
  const std::string undefined = FloatToEngStr(vfEngineering, 4, false, UndefinedValue, false);
  const struct {
    const char* Argument;
    std::string Reply;
  } cases[] = {
      {"LIST", "\r\n1  Bit Rate (Ch1)"},  // the tree drops the last line end
      {"1:Cycle", "1"},
      {"1:wfm", "64"},
      {"1:StdDev", undefined},
      {"1:Median", "BAD STATISTIC PARAMETER"},
      {"2", "INVALID NUMBER OF PARAMETER"},
      {"x", "INVALID NUMBER OF PARAMETER"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExecCommand(std::string("Eye:Res? ") + c.Argument), c.Reply) << c.Argument;
  EXPECT_NEAR(Res("1"), 1e9, 5e6);
  EXPECT_NEAR(Res("1:Mean"), 1e9, 5e6);
  ExecCommand("Header On");
  EXPECT_EQ(ExecCommand("Eye:Res? 1:Cycle"), "EYE:RES:1:Cycle 1");
  EXPECT_EQ(ExecCommand("Eye:Res? 7"), "EYE:RES:7 INVALID NUMBER OF PARAMETER");
}

// With statistics off the first evaluation waits for a whole cycle, later ones come every
// sixteenth of it on the growing map; with statistics on every cycle starts afresh.
TEST_F(EyeMeasurementTest, EvaluationsFollowTheCycle) {
  Pattern("NRZ");
  ExecCommand("Eye:Measure NRZ");
  ExecCommand("Eye:XNRZParam BitRate");
  const auto evaluations = [] { return EyeState().Group(egNRZ)[0]->Stat.Count(); };
  const struct {
    int Acquisitions;
    int64_t Evaluations;
  } off[] = {{63, 0}, {1, 1}, {3, 1}, {1, 2}, {4, 3}};
  for (const auto& step : off) {
    Acquire(step.Acquisitions);
    EXPECT_EQ(evaluations(), step.Evaluations);
  }
  ExecCommand("Eye:Statistic On");
  const struct {
    int Acquisitions;
    int64_t Evaluations;
  } on[] = {{63, 0}, {1, 1}, {4, 1}, {60, 2}};
  for (const auto& step : on) {
    Acquire(step.Acquisitions);
    EXPECT_EQ(evaluations(), step.Evaluations);
  }
}

// While running, the eye's results start again where the measurements' do (a change of
// the time base or of the horizontal unit) and when the eye starts again: nothing measured
// since answers no result. "Wfm" counts the waveforms measured.
TEST_F(EyeMeasurementTest, ResultsStartAgainWithTheStatistics) {
  const std::string undefined = FloatToEngStr(vfEngineering, 4, false, UndefinedValue, false);
  for (const char* change : {"TB:ScaleA 250p", "TB:Units Bit", "Eye:Measure Off;:Eye:Measure NRZ"}) {
    Pattern("NRZ");
    ExecCommand("TB:Units Time;:Eye:Measure NRZ;:Eye:XNRZParam EyeWidth");
    Acquire(64);
    ASSERT_EQ(ExecCommand("Eye:Res? 1:Cycle") + " " + ExecCommand("Eye:Res? 1:Wfm"), "1 64") << change;
    ExecCommand(change);
    EXPECT_EQ(ExecCommand("Eye:Res? 1") + ExecCommand("Eye:Res? 1:Cycle") + ExecCommand("Eye:Res? 1:Wfm"),
              undefined + "00")
        << change;
    ExecCommand("Eye:Measure Off");
  }
}

// Three crossings on the screen, 200 points (2 ns) apart, the middle one passed by fewer
// edges than the outer two: the eye still lies between two adjacent crossings, one bit.
// Each row gives the bits around the crossings of the waveforms fed in turn.
TEST_F(EyeMeasurementTest, EyeLiesBetweenAdjacentCrossings) {
  constexpr int kBit = 200, kRamp = 40;
  const std::vector<std::vector<const char*>> rows = {
      {"0110", "1001", "0110", "1001", "0101", "1010"},  // edges at the crossings 3 : 1 : 3
      {"0110", "1001", "0101", "1010", "0001"},          // 4 : 2 : 5
  };
  TSignalObj& record = SignalObjs()[TTraceId::Ch1];
  for (const auto& patterns : rows) {
    ExecCommand("Eye:Measure NRZ;:Eye:XNRZParam BitTime,EyeWidth");
    record.SetRecLen(3 * kBit);
    record.SetDX(1e-11);
    record.SetVertScale(0.1);
    record.SetVertOffset(0.3);  // the levels 0.1 V and 0.5 V a quarter and three quarters up
    for (int w = 0; w < 64; ++w) {
      const char* bits = patterns[static_cast<size_t>(w) % patterns.size()];
      for (int i = 0; i < 3 * kBit; ++i) {  // a ramp across each crossing k at (k - 1/2) bits
        const int k = i / kBit + 1;
        const double f = std::clamp((i - k * kBit + kBit / 2 + kRamp / 2) / double{kRamp}, 0.0, 1.0);
        record.SetY(i, 0.1 + 0.4 * (bits[k - 1] == '1' ? 1 - f : 0) + 0.4 * (bits[k] == '1' ? f : 0));
      }
      record.MarkChanged();
      EyeMeasurementPass();
    }
    EXPECT_NEAR(Res("1"), 2e-9, 2e-11) << patterns.back();
    EXPECT_NEAR(Res("2"), 2e-9, 1e-10) << patterns.back();
    ExecCommand("Eye:Measure Off");
  }
}

// A cycle with statistics, and the cycle after a failed analysis, measure only their own
// acquisitions: the pattern that follows another signal is read as set.
TEST_F(EyeMeasurementTest, EachCycleMeasuresOnlyItsOwnAcquisitions) {
  const struct {
    const char* Before;  // the signal of the cycle before
    bool Statistic, Fails;
  } cases[] = {
      {"GSS:A:Frequency 0.8e9", true, false},
      {"GSS:A:Waweform SineWave", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Before);
    Pattern("NRZ");
    ExecCommand(c.Before);
    ExecCommand(std::string("Eye:Statistic ") + (c.Statistic ? "On" : "Off"));
    ExecCommand("Eye:Measure NRZ");
    ExecCommand("Eye:XNRZParam BitRate,JitterRMS");
    Acquire(64);
    ASSERT_EQ(EyeState().EyeFailed, c.Fails);
    Pattern("NRZ");
    Acquire(64);
    ASSERT_FALSE(EyeState().EyeFailed);
    EXPECT_NEAR(Res("1"), 1 / kUI, 0.005 / kUI);
    // One cycle's few dozen hits in the crossing's band give its spread to some 15 %.
    EXPECT_NEAR(Res("2"), kCrossSigma, 0.25 * kCrossSigma);
    ExecCommand("Eye:Measure Off");
  }
}

// A signal without two levels cannot be analysed: no parameter is computed, the message
// says so and the cycle starts again.
TEST_F(EyeMeasurementTest, FlatSignalFailsTheAnalysis) {
  Pattern("NRZ");
  ExecCommand("GSS:A:Amplitude 0");
  ExecCommand("Eye:Measure NRZ");
  ExecCommand("Eye:XNRZParam BitRate");
  Acquire(66);
  EXPECT_TRUE(EyeState().EyeFailed);
  EXPECT_EQ(EyeState().Group(egNRZ)[0]->Stat.Count(), 0);
  EXPECT_EQ(EyeState().CycleWaveforms, 2u) << "the cycle did not start again";
  EXPECT_EQ(Res("1"), UndefinedValue);
}

// Pulses ten times as long as the screen show only rising edges: the RZ analysis fails
// rather than read an empty window as an edge at the screen's left.
TEST_F(EyeMeasurementTest, EdgesWithoutPulsesFailTheRzAnalysis) {
  Pattern("RZ");
  ExecCommand("GSS:A:Frequency 1e8");
  ExecCommand("Eye:Measure RZ");
  ExecCommand("Eye:XRZParam JittRMSFall");
  Acquire(66);
  EXPECT_TRUE(EyeState().EyeFailed);
  EXPECT_EQ(Res("1"), UndefinedValue);
}

// The eye settings applied while the eye stays off (a recall) leave the measurement's
// labels alone.
TEST_F(EyeMeasurementTest, ApplyingWhileOffKeepsTheMeasurementLabels) {
  ExecCommand("Meas:Display Param");
  ExecCommand("Meas:Ch1:XParam Period");
  ASSERT_EQ(MeasState.Ann.SelectedParamLine, 0);
  ApplyEyeSettings();
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 0);
  ExecCommand("Eye:Measure NRZ");
  EXPECT_EQ(ExecCommand("Meas:Display?"), "OFF");
  ExecCommand("Eye:Measure Off");
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, -1);
}

// Results that cannot be formed are the undefined value, never an infinity or a NaN.
TEST(EyeFormulas, UndefinedWhereTheResultCannotBeFormed) {
  const double u = UndefinedValue;
  const struct {
    const char* What;
    double Got, Expected;
  } cases[] = {
      {"10 log10 100", EyeDb10(100), 20},
      {"10 log10 0", EyeDb10(0), u},
      {"10 log10 -1", EyeDb10(-1), u},
      {"10 log10 undefined", EyeDb10(u), u},
      {"20 log10 10", EyeDb20(10), 20},
      {"20 log10 0", EyeDb20(0), u},
      {"S/N", EyeSignalToNoise(700, 300, 15, 5), 20},
      {"S/N without noise", EyeSignalToNoise(700, 300, 0, 0), u},
      {"power", EyeAveragePowerWatts({.PowerCode = 8492, .DarkCode = 100, .Factor = 400}),
       5.0 * 8392 / 65536 / 8.4 / 400},
      {"power without factor", EyeAveragePowerWatts({.PowerCode = 8492, .DarkCode = 100, .Factor = 0}), u},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(c.Got, c.Expected) << c.What;
}

// The RZ contrast ratio from hits put into the map by hand: the one level against the
// level left in the next slot, (HB MB - HA MA) / (HB - HA); equal counts give no ratio.
TEST_F(EyeMeasurementTest, RzContrastFromTheHitsOfTwoSlots) {
  TSignalObj& record = SignalObjs()[TTraceId::Ch1];
  record.SetRecLen(512);
  record.SetDX(4e-12);
  record.SetVertScale(0.1);
  record.SetVertOffset(0.4);  // screen Y 256 is 0.2 V, 384 is 0.3 V, 768 is 0.6 V
  TEyeState& e = EyeState();
  e.Config.Measure = egRZ;
  e.Config.Source = TTraceId::Ch1;
  e.OneLevel = 768;
  e.CrossingLevel = 512;
  e.Edge[0].X = 400;
  e.Edge[2].X = 2400;  // the next slot lies 1000 units on
  e.EyeWinLeft = 800;
  e.EyeWinRight = 1200;
  AddEyeParam(egRZ, eaY, 3);
  const struct {
    uint32_t SlotA, SlotB02, SlotB03;  // hits at 0.2 V in slot A; at 0.2 V and 0.3 V in slot B
    double Ratio;
  } cases[] = {
      {10, 10, 20, 0.6 / 0.3},
      {5, 0, 5, UndefinedValue},   // as many hits in both slots
      {10, 5, 0, UndefinedValue},  // fewer in the next slot
  };
  for (const auto& c : cases) {
    TFullHist& h = FullHist();
    h.Clear();
    h.StartWaveform(512, 0, 4e-12, record.GetEffOffset(), record.GetEffScale());
    h.AddSample(125, 0.2, c.SlotA);    // X 1000
    h.AddSample(250, 0.2, c.SlotB02);  // X 2000
    h.AddSample(250, 0.3, c.SlotB03);
    ComputeEyeParam(0);
    EXPECT_NEAR(EyeParam(egRZ, 0)->Value, c.Ratio, 1e-9) << c.SlotA << " " << c.SlotB03;
  }
}

// The eye measures a trace: a command naming another source changes nothing.
TEST_F(EyeMeasurementTest, SourceIsATrace) {
  for (const char* source : {"M1", "XY", "DB", "Hist", "Const", "None"}) {
    ExecCommand(std::string("Eye:Source ") + source);
    EXPECT_EQ(ExecCommand("Eye:Source?"), "M1") << source;
  }
}

// The boundaries keep 2.5 % between them: the one not being set gives way.
TEST_F(EyeMeasurementTest, BoundariesKeepTheirGap) {
  const struct {
    const char* Commands;
    double Left, Right;
  } cases[] = {
      {"Eye:RightBound 60;:Eye:LeftBound 60", 60, 62.5},
      {"Eye:LeftBound 40;:Eye:RightBound 41", 38.5, 41},
      {"Eye:LeftBound 30;:Eye:RightBound 32.5", 30, 32.5},
  };
  for (const auto& c : cases) {
    ExecCommand(c.Commands);
    EXPECT_DOUBLE_EQ(EyeSettings().LeftBound->GetValue(), c.Left) << c.Commands;
    EXPECT_DOUBLE_EQ(EyeSettings().RightBound->GetValue(), c.Right) << c.Commands;
  }
}

// A fifth parameter of a mode takes the place of the first, whose item goes off; without
// the optics option the optical items cannot be had and go off.
TEST_F(EyeMeasurementTest, ParameterListsOfAMode) {
  ExecCommand("Eye:Measure NRZ");
  ExecCommand("Eye:XNRZParam Area,BitRate,BitTime,CrossTime");
  ExecCommand("Eye:YNRZParam Max");
  EXPECT_EQ(ExecCommand("Eye:XNRZParam?"), "BITRATE,BITTIME,CROSSTIME");
  EXPECT_EQ(ExecCommand("Eye:Res? LIST"),
            "\r\n1  Bit Rate (Ch1)\r\n2  Bit Time (Ch1)\r\n3  Crossing Time (Ch1)\r\n4  Maximum (Ch1)");
  // The source goes by its name in the language shown, as in the other readouts.
  BuildTraceNames([](const std::string& key) { return key == "Ch" ? std::string("Kan") : GetLangStr(key); });
  EXPECT_EQ(EyeParamLabel(3), "Maximum (Kan1)");
  BuildTraceNames([](const std::string& key) { return GetLangStr(key); });
  ExecCommand("Eye:YNRZParam ClearALL");
  // Area and Cycle Area join the three kept: Bit Rate, the first of them, goes.
  ExecCommand("Eye:XNRZParam Area,BitRate,BitTime,CrossTime,CycleArea");
  EXPECT_EQ(ExecCommand("Eye:XNRZParam?"), "AREA,BITTIME,CROSSTIME,CYCLEAREA");
  EXPECT_EQ(EyeState().Count(egNRZ), 4);

  InstrumentIdentity.Options |= OptOptics;
  UpdateEyeParamMasks();
  ExecCommand("Eye:YNRZParam ExtRatio,AvgPower");
  EXPECT_EQ(ExecCommand("Eye:YNRZParam?"), "AVGPOWER,EXTRATIO");
  InstrumentIdentity.Options &= static_cast<uint8_t>(~OptOptics);
  UpdateEyeParamMasks();
  EXPECT_EQ(ExecCommand("Eye:YNRZParam?"), "ClearALL");
  EXPECT_FALSE(IsEyeParamSelected(egNRZ, eaY, 1) || IsEyeParamSelected(egNRZ, eaY, 7));
}

// An RZ item checked while the eye is off is measured once RZ is chosen, as an NRZ one is
// once NRZ is. While the eye is off the RZ sets are only sets: five items stay checked; the
// measure then adds the new ones in item order, the fifth in place of the oldest.
TEST_F(EyeMeasurementTest, ItemsCheckedWhileOffAreMeasuredInTheirMode) {
  ExecCommand("Eye:XRZParam EyeWidth");
  ExecCommand("Eye:XNRZParam BitRate");
  ExecCommand("Eye:Measure RZ");
  EXPECT_EQ(ExecCommand("Eye:Res? LIST"), "\r\n1  Eye Width (Ch1)");
  ExecCommand("Eye:Measure NRZ");
  EXPECT_EQ(ExecCommand("Eye:Res? LIST"), "\r\n1  Bit Rate (Ch1)");

  ExecCommand("Eye:Measure Off");
  ExecCommand("Eye:XRZParam INCLUDE AREA,CYCLEAREA,EYEWIDTHP,PULSEWIDTH");
  EXPECT_EQ(ExecCommand("Eye:XRZParam?"), "AREA,CYCLEAREA,EYEWIDTH,EYEWIDTHP,PULSEWIDTH");
  ExecCommand("Eye:Measure RZ");
  EXPECT_EQ(ExecCommand("Eye:XRZParam?"), "AREA,CYCLEAREA,EYEWIDTHP,PULSEWIDTH");
  // One unchecked while off leaves the measure when it comes back.
  ExecCommand("Eye:Measure Off");
  ExecCommand("Eye:XRZParam EXCLUDE AREA");
  ExecCommand("Eye:Measure RZ");
  EXPECT_EQ(ExecCommand("Eye:Res? LIST"),
            "\r\n1  Cycle Area (Ch1)\r\n2  Eye Width % (Ch1)\r\n3  Pulse Width (Ch1)");
}

// The pop-up menu of an eye line: its items follow who holds the labels and whether the
// eye windows are shown; its commands set that and remove parameters.
TEST_F(EyeMeasurementTest, PopupMenuOfAnEyeLine) {
  ExecCommand("Eye:Measure NRZ");
  ExecCommand("Eye:XNRZParam BitRate,EyeWidth");
  const auto items = [](int line) {
    std::string text;
    for (const TPopupItem& i : BuildEyeParamPopupMenu(line).Items)
      text += i.Name + (i.Checked ? "+" : "") + (i.Enabled ? "" : "~") + " ";
    return text;
  };
  EXPECT_EQ(BuildEyeParamPopupMenu(1).Items.at(0).Caption, "Eye Width (Ch1)");
  EXPECT_EQ(items(1), "AllVisible - - Annot DelAnnot~ - DefParam+~ DelDefParam - Remove RemoveAll ");
  EyeParamPopupCommand("Annot", 1);
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 1);
  EXPECT_EQ(items(1), "AllVisible+ - - Annot+~ DelAnnot - DefParam+~ DelDefParam - Remove RemoveAll ");
  EyeParamPopupCommand("DelDefParam", 1);
  EXPECT_EQ(ExecCommand("Eye:DispaylWind?"), "OFF");
  EXPECT_EQ(items(0), "AllVisible - - Annot DelAnnot - DefParam DelDefParam~ - Remove RemoveAll ");
  EyeParamPopupCommand("DelAnnot", 0);
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, -1);
  EyeParamPopupCommand("AllVisible", 0);
  EXPECT_EQ(ExecCommand("Eye:DispaylWind?"), "ON");
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 0);
  EyeParamPopupCommand("Remove", 0);
  EXPECT_EQ(ExecCommand("Eye:XNRZParam?"), "EYEWIDTH");
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, -1) << "the owner went";
  ExecCommand("Eye:YNRZParam Max,Min");
  EyeParamPopupCommand("RemoveAll", 0);
  EXPECT_EQ(ExecCommand("Eye:XNRZParam?") + ExecCommand("Eye:YNRZParam?"), "ClearALLClearALL");
}

// Every item of the four lists has its text in the language table, the one of the
// built-in English.
TEST(EyeParamTexts, EveryItemHasItsText) {
  for (uint8_t group : {egNRZ, egRZ}) {
    for (uint8_t axis : {eaX, eaY}) {
      for (int i = 0; i < EyeParamList(group, axis).Count; ++i) {
        const TEyeParamText& t = EyeParamText(group, axis, static_cast<uint8_t>(i));
        EXPECT_EQ(GetLangStr(t.Key), t.English) << t.Mnemonic;
      }
    }
  }
}

// The labels of the RZ pulse parameters: the widths are marked as widths, the symmetry
// also at its maximum, the duty cycle with the crossing pair as well.
TEST(EyeLabels, RzPulseParametersNameTheirWidths) {
  const std::vector<std::pair<uint8_t, std::vector<std::string>>> cases = {
      {13, {"L Cross", "R Cross", "L Width", "R Width"}},  // PosDutyCyc
      {14, {"L Width", "R Width", "Max"}},                 // PulseSymm
      {15, {"L Width", "R Width"}},                        // PulseWidth
  };
  for (const auto& [index, texts] : cases) {
    TEyeParam p;
    p.Group = egRZ;
    p.Axis = eaX;
    p.Index = index;
    DefineEyeLabels(p);
    std::vector<std::string> got;
    for (int n = 1; n <= kAnnLabelCount; ++n)
      if (!p.Annotations[n].Text.empty()) got.push_back(p.Annotations[n].Text);
    EXPECT_EQ(got, texts) << EyeParamText(egRZ, eaX, index).Mnemonic;
  }
}

}  // namespace
}  // namespace norv
