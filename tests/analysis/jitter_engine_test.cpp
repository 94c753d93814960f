// The jitter engine: its histogram, edge finding, pattern contexts, histogram scales and
// the "DDJ vs Bit" zoom on their own; then the whole analysis on the simulated
// instrument (a PRBS of order 7 with known random jitter and duty-cycle distortion), and
// on a pattern of 65535 bits fed record by record.

#include "analysis/jitter_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/jitter_settings.h"
#include "app/program_units.h"
#include "framework/language/language.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/simulator/simulator.h"
#include "shell/program_shell.h"
#include "shell/remote/remote_control.h"
#include "shell/setup_files.h"
#include "shell/shell_fixture.h"
#include "shell/shell_state.h"
#include "support/assertion_text.h"

namespace norv {
namespace {

TEST(JitterHistTest, BinsCoverTheWidthAndAZeroSpreadNeedsNoDivision) {
  struct Case {
    double width, t;
    int bin;
  };
  // width 513 ps: 1 ps bins, bin = round(t / 1 ps + 256.5).
  const Case cases[] = {{513e-12, 0.2e-12, 257},  {513e-12, -0.2e-12, 256}, {513e-12, 1.3e-12, 258},
                        {513e-12, -256.3e-12, 0}, {513e-12, 1e-9, 512},     {513e-12, -1e-9, 0},
                        {0, 5e-12, 256},          {100e-15, -3e-12, 256},   {NAN, 1e-12, 256}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    TJitterHist h("H");
    h.SetScale(c.width);
    h.Add(c.t);
    h.Add(c.t);
    EXPECT_EQ(h.Bins[static_cast<size_t>(c.bin)], 2u);
    EXPECT_EQ(h.MaxCount, 2u);
    EXPECT_EQ(h.Count(), 2);
    EXPECT_EQ(h.ZeroScale(), !(c.width > 513e-15));
  }
  TJitterHist unscaled("DDJ Histogram");
  try {
    unscaled.Add(1e-12);
    ADD_FAILURE() << "no assertion";
  } catch (const EAssertion& e) {
    EXPECT_STREQ(e.what(), "DDJ Histogram - Time Scale undefined");
  }
}

TEST(JitterEdgesTest, EdgeRunsGiveTheBitCentres) {
  // A square record of 10-point bits: high 0..9, low 10..19, ... with the levels 1 and 0.
  struct Case {
    const char* name;
    std::vector<int> between;  // points given the middle value 0.5
    double firstCentre;        // expected bit centre of estimate 0
  };
  const Case cases[] = {
      {"no point between", {}, 14.5},         // edges 9|10, 19|20: centres 9.5, 19.5
      {"one point between", {10, 20}, 15.0},  // runs [10], [20], ...
      {"glitch is no edge", {5}, 14.5},       // high - between - high
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> values(200);
    for (size_t i = 0; i < values.size(); ++i) values[i] = (i / 10) % 2 ? 0.0 : 1.0;
    for (int i : c.between) values[static_cast<size_t>(i)] = 0.5;
    if (c.between.size() == 2)
      for (size_t i = 30; i < values.size(); i += 10) values[i] = 0.5;
    std::array<bool, kJitterEdgeFlagCount> flags{};
    JitterFlagEdges(values, 2.0 / 3, 1.0 / 3, flags);
    const auto estimates = JitterEdgeEstimates(flags);
    EXPECT_DOUBLE_EQ(estimates[0], c.firstCentre);
    EXPECT_DOUBLE_EQ(estimates[1] - estimates[0], 10.0);
    // 19 edges (the last level run ends the record): 18 centres, then none.
    EXPECT_GT(estimates[17], 0);
    EXPECT_EQ(estimates[18], kNoBitMean);
    EXPECT_FALSE(flags[5]);
  }
}

TEST(JitterPatternTest, ContextsTransitionsAndTheirFirstBits) {
  // 0 0 1 1 0 1 0 0 0 1 (wrapping): contexts by hand from the bit and the three before the
  // previous one.
  const TJitterPattern p({0, 0, 1, 1, 0, 1, 0, 0, 0, 1});
  struct Case {
    int bit, context;
  };
  const Case cases[] = {
      {1, 16 + 0},                     // 0 after 0
      {2, 1 + 2 * 0 + 4 * 1 + 8 * 0},  // bits 0 (p2), 9 (p3), 8 (p4)
      {3, 16 + 1},
      {4, 0 + 2 * 1 + 4 * 0 + 8 * 0},
      {9, 1 + 2 * 0 + 4 * 0 + 8 * 1},
  };
  // Bit 0: b=0, p=9 (1): a transition with p2 = 8 (0), p3 = 7 (0), p4 = 6 (0).
  EXPECT_EQ(p.EdgeContext(0), 0);
  for (const Case& c : cases) EXPECT_EQ(p.EdgeContext(c.bit), c.context) << c.bit;
  EXPECT_EQ(p.NextTransition(0), 0);
  EXPECT_EQ(p.NextTransition(1), 2);
  EXPECT_EQ(p.NextTransition(6), 6);
  EXPECT_EQ(p.NextTransition(7), 9);
  EXPECT_EQ(p.NextTransition(10), -1);
  EXPECT_EQ(TJitterPattern({1, 1, 1}).NextTransition(0), -1);

  // Every context of a PRBS of order 7 occurs; the first bit of each is the first bit
  // whose context it is (brute force).
  std::vector<uint8_t> bits(127);
  TRandomSource random;
  TPSP model(random);
  model.SetOrder(7, true);
  for (int i = 0; i < 127; ++i) bits[static_cast<size_t>(i)] = static_cast<uint8_t>(model.Bit(i));
  const TJitterPattern prbs(bits);
  const auto first = prbs.FindContexts();
  for (int c = 0; c < 16; ++c) {
    int expected = -1;
    for (int i = 0; i < 127 && expected < 0; ++i) {
      const int b = bits[static_cast<size_t>(i)], b1 = bits[static_cast<size_t>((i + 126) % 127)];
      const int ctx = b + 2 * bits[static_cast<size_t>((i + 125) % 127)] +
                      4 * bits[static_cast<size_t>((i + 124) % 127)] +
                      8 * bits[static_cast<size_t>((i + 123) % 127)];
      if (b != b1 && ctx == c) expected = i;
    }
    EXPECT_GE(expected, 0);
    EXPECT_EQ(first[static_cast<size_t>(c)], expected) << c;
  }
}

TEST(JitterScaleTest, WidthsFollowTheLargerSpan) {
  struct Case {
    double a, b;
    double ddj, random, total;
  };
  // E12 of 2.2 (a + b) etc.: 26.4 ps -> 25 (nearer than 30); 24.2 ps -> 25 (nearer than
  // 20); 4.4 ps -> 4 (nearer than 5); 2.2 ps -> 2 (nearer than 2.5).
  const Case cases[] = {
      {10e-12, 2e-12, 25e-12, 4e-12, 25e-12},  // a / 4 > b: the random width from b
      {10e-12, 1e-12, 25e-12, 2e-12, 25e-12},  // the same
      {1e-12, 10e-12, 2e-12, 25e-12, 25e-12},  // b / 4 > a: the DDJ width from a
      {4e-12, 4e-12, 18e-12, 18e-12, 18e-12},  // neither dominates: 17.6 ps -> 18
      {0, 0, 0, 0, 0},                         // no spread at all
      {1e-40, 0, 0, 0, 0},                     // below any rounding
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a);
    const TJitterWidths w = JitterHistWidths(c.a, c.b);
    EXPECT_NEAR(w.DDJ, c.ddj, 1e-18);
    EXPECT_NEAR(w.Random, c.random, 1e-18);
    EXPECT_NEAR(w.Total, c.total, 1e-18);
  }
}

TEST(JitterViewTest, ZoomInAroundTheClickAndBackOut) {
  struct Case {
    const char* name;
    int32_t pattLen;
    TJitterView start;
    bool in;
    double p, w;
    TJitterView expected;
  };
  const Case cases[] = {
      // 127 bits: N 128 / 4 = 32 shown; click in the middle: bit 64, first 48, last 78.
      {"in, middle", 127, {0, 126, 1}, true, 50, 100, {48, 78, 4}},
      // At the right end: last limited to 126, first 126 - 32 + 2.
      {"in, right end", 127, {0, 126, 1}, true, 100, 100, {96, 126, 4}},
      // A click left of the plot counts as its left edge.
      {"in, left of it", 127, {0, 126, 1}, true, -5, 100, {0, 30, 4}},
      // N = 64 doubles the factor: 32 shown.
      {"in, 64 shown", 127, {0, 126, 2}, true, 0, 100, {0, 30, 4}},
      // 32 shown: no further zoom.
      {"in, 32 shown", 127, {10, 40, 4}, true, 50, 100, {10, 40, 4}},
      // Out from 4: 128 shown again, centred on 25 and limited.
      {"out", 127, {10, 40, 4}, false, 0, 0, {0, 126, 1}},
      // Out from 8 (not a power of four): halved.
      {"out by 2", 1023, {500, 626, 8}, false, 0, 0, {435, 689, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TJitterView v = c.start;
    if (c.in)
      JitterZoomIn(v, c.pattLen, c.p, c.w);
    else
      JitterZoomOut(v, c.pattLen);
    EXPECT_EQ(v.FirstBit, c.expected.FirstBit);
    EXPECT_EQ(v.LastBit, c.expected.LastBit);
    EXPECT_EQ(v.Factor, c.expected.Factor);
  }
}

// --- the analysis in the program ---

class JitterProgramTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void SetUp() override {
    ShellTest::SetUp();
    // The demo unit with every option (the file holds them inverted).
    WriteDemoUnit(std::string(DefaultDemoName), 1, 2, 0, 12, 77, true);
    ShellState.IdleHandlerInstalled = true;
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
  }

  static std::vector<std::string> Dump() {
    std::vector<std::string> lines;
    RootSpider->DumpSettings(lines);
    return lines;
  }
  static void Acquire() {
    for (int i = 0; i < 100000 && !AcqCycleRunning; ++i) ShellIdleStep();
    for (int i = 0; i < 100000 && AcqCycleRunning; ++i) ShellIdleStep();
  }
  static double Num(const char* path) {
    return dynamic_cast<TEditHandler*>(RootSpider->FindHandler(path))->GetFloatValue();
  }
  // Shows repeating bits on channel 1 as the trigger delay places them, at the signal's
  // own unit interval: ideal edges, a ramp of 0.3 bit into every bit.
  static void ShowPattern(const std::vector<uint8_t>& bits, double ui) {
    const auto period = static_cast<int64_t>(bits.size());
    const auto bit = [&](int64_t n) { return bits[static_cast<size_t>((n % period + period) % period)]; };
    TSignalObj& r = SignalObjs()[TTraceId::Ch1];
    const int len = static_cast<int>(Num("Acq:Ch1:RecLen"));
    r.SetRecLen(static_cast<uint16_t>(len));
    r.SetX0(GetRecordStartTime(2, false));
    r.SetDX(GetActiveTimeScale() * 10.24 / len);
    const auto delay = static_cast<int64_t>(Num("Trig:PattDelay"));
    for (int i = 0; i < len; ++i) {
      const double t = r.IndexToX(i) / ui;
      const auto k = static_cast<int64_t>(std::floor(t));
      const double u = t - static_cast<double>(k);
      const int cur = bit(delay + k), prev = bit(delay + k - 1);
      r.SetY(i, (u < 0.3 ? prev + (cur - prev) * u / 0.3 : cur) - 0.5);
    }
  }
};

// The settings a user could have changed, compared before and after.
std::vector<std::string> WithoutJitterSwitch(std::vector<std::string> lines) {
  std::erase_if(lines, [](const std::string& l) { return l.rfind("JITTER:JITTERON", 0) == 0; });
  return lines;
}

std::vector<uint8_t> Bits(const char* text) {
  std::vector<uint8_t> bits;
  for (const char* c = text; *c; ++c) bits.push_back(*c == '1' ? 1 : 0);
  return bits;
}

// The simulator's bits of channel 1's pattern model, from bit `start` on.
bool IsRotationOfModel(const TJitterPattern& learnt, TPSP& model) {
  const int n = model.GetPatternLength();
  if (learnt.Length() != n) return false;
  for (int start = 0; start < n; ++start) {
    bool same = true;
    for (int i = 0; i < n && same; ++i) same = learnt.Bit(i) == model.Bit((start + i) % n);
    if (same) return true;
  }
  return false;
}

// The signal runs from 0 to 0.5 V with raised-cosine edges of 300 ps (0.3 bit) from foot
// to top. Half the amplitude and the custom level 0.25 V sample the edges in their middle,
// where the set distortion is seen as it is. The average data level lies above the middle
// by the share of time the longer ones add: with d the distortion in bits, a PRBS of order
// 7 is high (64 + 32 d) / 127 of the time (32 runs of ones, each d longer), the level
// (f - 1/2) x 0.5 V above the middle; the edges' slope there is 0.5 V x pi / (2 x 300 ps),
// so rising edges cross it later and falling ones earlier by (f - 1/2) x 2 x 300 ps / pi
// each, and the distortion seen shrinks by twice that.
TEST_F(JitterProgramTest, LearnsAPrbs7AndMeasuresItsRandomJitterAndDutyCycleDistortion) {
  constexpr double kRate = 1e9, kEdge = 300e-12;
  const auto averageLevelShift = [](double d) {
    const double f = (64 + 32 * d) / 127;
    return 2 * (f - 0.5) * 2 * kEdge / std::numbers::pi;
  };
  struct Case {
    const char* level;  // "Jitter:SmplLvl" and what it needs
    const char* sigma;
    double sigmaSeconds;
    const char* dcd;
    double dcdSeen;  // s
  };
  const Case cases[] = {
      {"AmplPerc;:Jitter:PercAmpl 50", "4p", 4e-12, "5", 0.05 / kRate},
      {"Level;:Jitter:CustLevel 0.25", "2p", 2e-12, "8", 0.08 / kRate},
      {"Average", "6p", 6e-12, "3", 0.03 / kRate - averageLevelShift(0.03)},
  };
  for (const char* command : {"GSS:A:Waweform PRBS",
                              "GSS:A:Amplitude 0.5",
                              "GSS:A:Offset 0",
                              "GSS:A:StdFreq Custom",
                              "GSS:A:Frequency 1G",
                              "GSS:A:PrbsMode NRZ",
                              "GSS:A:PrbsLength 7",
                              "GSS:A:PrbsTrigger Takt",
                              "GSS:A:Noise 0.0005",
                              "GSS:A:RiseTime 300p",
                              "GSS:A:FallTime 300p",
                              "GSS:Ch1 A",
                              "GSS:Ch2 Off",
                              "Ch1:Display On",
                              "Trig:PattLen 127",
                              "Trig:PatternLockMode Manual",
                              "Jitter:JParam DataDepend,Random,DutyCycleDist,InterSymbol",
                              "TB:ScaleA 20n",
                              "Acq:Ch1:RecLen 1024",
                              "Ch1:Scale 0.2"})
    ExecCommand(command);
  ASSERT_EQ(ExecCommand("Trig:PatternLockMode?"), "MANUAL");
  ASSERT_NEAR(Num("Trig:DataRate"), kRate, kRate * 1e-6);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    ExecCommand(std::string("Jitter:SmplLvl ") + c.level);
    ExecCommand(std::string("GSS:A:Jitter ") + c.sigma);
    ExecCommand(std::string("GSS:A:DutyCycleDist ") + c.dcd);
    ExecCommand("*StopSingle Stop");
    const std::vector<std::string> before = WithoutJitterSwitch(Dump());
    ITimer& statusTimer = AcquisitionCycle().FlagRegisterReadingTimer();
    statusTimer.SetEnabled(true);

    ExecCommand("Jitter:JitterOn On");
    ASSERT_NE(JitterObj(), nullptr);
    EXPECT_TRUE(RunFlag);
    EXPECT_FALSE(statusTimer.Enabled());
    for (int n = 0; n < 4000 && JitterObj()->RoundsDone() < 1; ++n) Acquire();
    ASSERT_EQ(JitterObj()->RoundsDone(), 1) << "phase " << JitterObj()->Phase();
    Acquire();  // the results step

    EXPECT_TRUE(IsRotationOfModel(JitterObj()->Pattern(), ProgramSimulator().PrbsModel(2)));
    EXPECT_NEAR(JitterObj()->HighLevel() - JitterObj()->LowLevel(), 0.5, 0.01);
    double rj = 0, dcd = 0, ddj = 0;
    std::string unit;
    ASSERT_TRUE(JitterObj()->JitterResult(jrRandom, rj, unit));
    EXPECT_EQ(unit, "s");
    JitterObj()->JitterResult(jrDutyCycle, dcd, unit);
    JitterObj()->JitterResult(jrDataDepend, ddj, unit);
    // RJ: the set sigma with the strobe's own timing errors besides, within 15 %.
    EXPECT_NEAR(rj, c.sigmaSeconds, 0.15 * c.sigmaSeconds);
    // DCD: the falling edges come later by the set share of the bit; within 3 ps.
    const double setDcd = c.dcdSeen;
    EXPECT_NEAR(dcd, setDcd, 3e-12);
    // The data-dependent spread is that distortion, plus the scatter of 300-sample means.
    EXPECT_GE(ddj, setDcd - 3e-12);
    EXPECT_LE(ddj, setDcd + 6e-12);
    double constant = 0;
    JitterObj()->JitterResult(jrPeriodSs, constant, unit);
    EXPECT_EQ(constant, 4.44);
    EXPECT_EQ(unit, "spg");
    EXPECT_LE(JitterObj()->EdgeRecordCount(), static_cast<size_t>(kJitterEdgeRecordLimit));
    // The selected results hold the engine's values.
    ASSERT_EQ(JitterSettings().JitterResults.size(), 4u);
    EXPECT_EQ(JitterSettings().JitterResults[1].Value, rj);

    ExecCommand("Jitter:JitterOn Off");
    EXPECT_EQ(JitterObj(), nullptr);
    EXPECT_EQ(WithoutJitterSwitch(Dump()), before);
    EXPECT_FALSE(RunFlag);
    EXPECT_TRUE(statusTimer.Enabled());
  }
}

// A setup saved while the analysis runs, and the power-off setup of a close, hold the
// user's settings, not the engine's; an undo while it runs reaches no value of the engine's.
TEST_F(JitterProgramTest, ThePowerOffSetupKeepsTheUsersSettings) {
  for (const char* command : {"GSS:A:Waweform PRBS", "GSS:A:PrbsLength 7", "GSS:Ch1 A", "Trig:PattLen 127",
                              "Trig:PatternLockMode Manual", "Acq:Ch1:RecLen 1024", "TB:ScaleA 20n"})
    ExecCommand(command);
  const std::vector<std::string> before = WithoutJitterSwitch(Dump());
  ExecCommand("Jitter:JitterOn On");
  ASSERT_NE(JitterObj(), nullptr);
  for (int n = 0; n < 5; ++n) Acquire();
  ASSERT_NE(ExecCommand("TB:ScaleA?"), "20 ns/div") << "the engine drives the time base";
  // A mode the user leaves on: an undo of the user's own change is no refusal, and leaves
  // the analysis running.
  const std::string ch2 = ExecCommand("Ch2:Scale?");
  ExecCommand("Ch2:Scale 50M");
  EXPECT_NO_THROW(ExecCommand("*Undo"));
  EXPECT_EQ(ExecCommand("Ch2:Scale?"), ch2);
  ASSERT_NE(JitterObj(), nullptr);
  // A setup saved now holds what the analysis gives back, its switch off.
  const std::vector<std::string> during = Dump();
  EXPECT_EQ(WithoutJitterSwitch(during), before);
  EXPECT_NE(std::find(during.begin(), during.end(), "JITTER:JITTERON OFF"), during.end());
  ASSERT_TRUE(CloseQuery());
  EXPECT_EQ(JitterObj(), nullptr);
  std::ifstream file(SetupFilePath(TSetupKind::PowerOff));
  std::vector<std::string> saved;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    saved.push_back(line);
  }
  EXPECT_NE(std::find(saved.begin(), saved.end(), "JITTER:JITTERON OFF"), saved.end());
  EXPECT_EQ(WithoutJitterSwitch(saved), before);
}

TEST_F(JitterProgramTest, WithoutPatternLockTheAnalysisStaysOff) {
  ExecCommand("Trig:PatternLockMode Off");
  ExecCommand("Jitter:JitterOn On");
  EXPECT_EQ(JitterObj(), nullptr);
  EXPECT_EQ(ExecCommand("Jitter:JitterOn?"), "OFF");
}

// Patterns shown record by record: one of 65535 bits, longer than the 32768 a fixed map
// would hold, is learnt whole, and so is one of 10 bits, whose trigger delay reaches only
// 3 bits; one whose bits repeat one bit earlier than "Trig:PattLen" says is refused with a
// message and read again. A pattern of 8 bits (the delay reaches 1 bit) that the generator
// changed while its bit centres were found has no edge in bits 0..2: none can be brought
// into the window, and the analysis ends with a message instead of waiting for the 512
// points of the bit map it no longer asks for. So does one of 1000 bits behind the clock
// divider 4, whose delay reaches bit 249 only: the bits after 296 can never be read.
// Switched on by a remote client, the analysis tells its messages to the log, not in boxes.
TEST_F(JitterProgramTest, LearnsLongPatternsRefusesAMapThatDoesNotRepeatAndEndsWithNoEdgeInReach) {
  enum TOutcome { Learnt, Refused, Ended };
  struct Case {
    int32_t length, period;
    const char* bits;       // nullptr: random bits of the period
    const char* levelBits;  // shown while the bit centres are found; nullptr: bits
    TOutcome outcome;
    int32_t divider = 1;
    const char* endMessage = "JitterEdgesOutOfReach";
    bool remote = false;  // switched on by a remote client: its messages go to the log
  };
  const Case cases[] = {{65535, 65535, nullptr, nullptr, Learnt},
                        {10, 10, nullptr, nullptr, Learnt},
                        {101, 100, nullptr, nullptr, Refused},
                        {101, 100, nullptr, nullptr, Refused, 1, "", true},
                        {8, 8, "00010110", "10101010", Ended},
                        {8, 8, "00010110", "10101010", Ended, 1, "JitterEdgesOutOfReach", true},
                        {1000, 1000, nullptr, nullptr, Ended, 4, "JitterMapOutOfReach"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + (c.remote ? " remote" : ""));
    std::vector<uint8_t> bits(static_cast<size_t>(c.period));
    TRandomSource random(11);
    for (auto& b : bits) b = static_cast<uint8_t>(random.UniformInt(2));
    if (c.bits) bits = Bits(c.bits);
    const std::vector<uint8_t> levelBits = c.levelBits ? Bits(c.levelBits) : bits;
    ExecCommand("Trig:PatternLockMode Off");
    ExecCommand("Trig:PattLen " + std::to_string(c.length));
    ExecCommand("Trig:PatternLockMode Manual");
    ExecCommand("Trig:IntDivider " + std::to_string(c.divider));
    ASSERT_EQ(Num("Trig:PattLen"), c.length);
    ASSERT_EQ(Num("Trig:IntDivider"), c.divider);
    const double ui = 1 / Num("Trig:DataRate");
    const std::vector<std::string> before = WithoutJitterSwitch(Dump());
    dialogs.shown.clear();
    DialogState.SuppressedLog.clear();
    {
      const TDialogsSuppressed quiet(c.remote);  // as the remote server runs a command
      ExecCommand("Jitter:JitterOn On");
    }
    // The messages come after the command has answered.
    const std::vector<std::string>& told = c.remote ? DialogState.SuppressedLog : dialogs.shown;
    ASSERT_NE(JitterObj(), nullptr);
    for (int n = 0; n < 3000 && JitterObj() && JitterObj()->Phase() < 2 && told.empty(); ++n) {
      ShowPattern(JitterObj()->Phase() == 0 ? levelBits : bits, ui);
      AcqHooks.JitterMeasurementStep();
    }
    switch (c.outcome) {
      case Learnt: {
        ASSERT_NE(JitterObj(), nullptr);
        ASSERT_EQ(JitterObj()->Phase(), 2);
        ASSERT_EQ(JitterObj()->Pattern().Length(), c.length);
        int wrong = 0;
        for (int32_t i = 0; i < c.length; ++i)
          wrong += JitterObj()->Pattern().Bit(i) != bits[static_cast<size_t>(i)];
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(JitterObj()->BitMeans().size(), static_cast<size_t>(c.length));
        EXPECT_TRUE(dialogs.shown.empty());
        break;
      }
      case Refused:
        EXPECT_EQ(told, std::vector<std::string>{"[error] Ошибка определения Bit-Map"});
        ASSERT_NE(JitterObj(), nullptr);
        EXPECT_EQ(JitterObj()->Phase(), 1);
        EXPECT_EQ(Num("Trig:PattDelay"), 0);
        break;
      case Ended:
        EXPECT_EQ(told, std::vector<std::string>{"[error] " + GetLangStr(c.endMessage)});
        EXPECT_EQ(JitterObj(), nullptr);
        EXPECT_EQ(ExecCommand("Jitter:JitterOn?"), "OFF");
        break;
    }
    if (c.remote) {
      EXPECT_TRUE(dialogs.shown.empty());
    }
    ExecCommand("Jitter:JitterOn Off");
    EXPECT_EQ(WithoutJitterSwitch(Dump()), before);
  }
}

// A pattern that is no PRBS: its trigger delay reaches only its length - 7 bits. The
// edge window shows the bit after the delayed one when the first bit's edge lies at the
// record start (as here), so bit 0 needs the delay of the last bit. Were it measured at
// the delay the trigger gives instead, its context (bits 16..19, 0: 1 0 1 0 1; bit 8 has
// it too) would take its shape from the falling edge of bit 14, and the rising edges of
// that context would scatter. On ideal edges there is no random jitter at all.
// Changing the pattern length or a clock divider while the edges are collected makes the
// engine learn anew; the divider 32 lets the delay reach bit 1 only, no edge of this
// pattern, and the length 8 is another pattern. Put back, the analysis learns and
// measures again, and switched off it gives back the settings the user had.
TEST_F(JitterProgramTest, ABitBeyondTheTriggersReachIsNotMeasuredAtAnotherDelayNorAStalePattern) {
  const std::vector<uint8_t> bits = Bits("11001010110001001010");
  struct Case {
    const char* changed;  // a command while the edges are collected, nullptr: none
    const char* restored;
    int32_t learning;  // the pattern length learnt after the change
  };
  const Case cases[] = {{nullptr, nullptr, 0},
                        {"Trig:IntDivider 32", "Trig:IntDivider 1", 20},
                        {"Trig:PattLen 8", "Trig:PattLen 20", 8}};
  ExecCommand("Trig:PatternLockMode Off");
  ExecCommand("Trig:PattLen 20");
  ExecCommand("Trig:PatternLockMode Manual");
  ASSERT_EQ(Num("Trig:PattLen"), 20);
  const double ui = 1 / Num("Trig:DataRate");
  const auto runUntil = [&](int rounds) {
    for (int n = 0; n < 20000 && JitterObj() && JitterObj()->RoundsDone() < rounds; ++n) {
      ShowPattern(bits, ui);
      AcqHooks.JitterMeasurementStep();
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.changed ? c.changed : "unchanged");
    const std::vector<std::string> before = WithoutJitterSwitch(Dump());
    ExecCommand("Jitter:JitterOn On");
    ASSERT_NE(JitterObj(), nullptr);
    runUntil(1);
    ASSERT_NE(JitterObj(), nullptr);
    ASSERT_EQ(JitterObj()->RoundsDone(), 1) << "phase " << JitterObj()->Phase();
    if (c.changed) {
      ShowPattern(bits, ui);
      AcqHooks.JitterMeasurementStep();  // the results
      ExecCommand(c.changed);
      ShowPattern(bits, ui);
      AcqHooks.JitterMeasurementStep();
      ASSERT_NE(JitterObj(), nullptr);
      EXPECT_EQ(JitterObj()->Phase(), 0);
      EXPECT_EQ(JitterObj()->RoundsDone(), 0);
      EXPECT_EQ(JitterObj()->PattLen(), c.learning);
      ExecCommand(c.restored);
      const int rounds = JitterObj()->RoundsDone() + 1;
      runUntil(rounds);
      ASSERT_NE(JitterObj(), nullptr);
      ASSERT_EQ(JitterObj()->RoundsDone(), rounds) << "phase " << JitterObj()->Phase();
      EXPECT_EQ(JitterObj()->PattLen(), 20);
    }
    double rj = 0;
    std::string unit;
    ASSERT_TRUE(JitterObj()->JitterResult(jrRandom, rj, unit));
    EXPECT_LT(rj, 0.001 * ui);
    EXPECT_NE(JitterObj()->ShownBitMeans()[8], static_cast<float>(kNoBitMean));
    ExecCommand("Jitter:JitterOn Off");
    EXPECT_EQ(WithoutJitterSwitch(Dump()), before);
  }
}

// A record length changed from outside while the engine runs is put back, at whatever
// step: else no record of the length it reads would come again.
// A setting the analysis drives, set by a client in any phase, ends it as switching it off
// does and says why: it would learn nothing from records of another length. The client's
// value stays, everything else comes back, and an undo brings back none of the engine's.
TEST_F(JitterProgramTest, ASettingItDrivesSetMeanwhileEndsItAndStays) {
  const std::vector<uint8_t> bits = Bits("11001010110001001010");
  ExecCommand("Trig:PatternLockMode Off");
  ExecCommand("Trig:PattLen 20");
  ExecCommand("Trig:PatternLockMode Manual");
  const double ui = 1 / Num("Trig:DataRate");
  for (int changeAtPhase : {1, 2, 4}) {
    SCOPED_TRACE(changeAtPhase);
    ExecCommand("Acq:Ch1:RecLen 2048");
    const std::vector<std::string> before = WithoutJitterSwitch(Dump());
    std::vector<std::string> expected = before;
    std::replace(expected.begin(), expected.end(), std::string("ACQ:CH1:RECLEN 2048 "),
                 std::string("ACQ:CH1:RECLEN 1024 "));
    ExecCommand("Jitter:JitterOn On");
    ASSERT_NE(JitterObj(), nullptr);
    dialogs.shown.clear();
    bool changed = false;
    for (int n = 0; n < 20000 && JitterObj() && !changed; ++n) {
      if (JitterObj()->Phase() == changeAtPhase) {
        const TDialogsSuppressed client;
        ExecCommand("Acq:Ch1:RecLen 1024");
        changed = true;
        break;
      }
      ShowPattern(bits, ui);
      AcqHooks.JitterMeasurementStep();
    }
    ASSERT_TRUE(changed);
    EXPECT_EQ(JitterObj(), nullptr);
    EXPECT_EQ(ExecCommand("Jitter:JitterOn?"), "OFF");
    EXPECT_EQ(WithoutJitterSwitch(Dump()), expected);
    // The user switched it on: told at the screen, once the client's line has ended.
    EXPECT_TRUE(dialogs.shown.empty());
    ShellIdleStep();
    EXPECT_EQ(dialogs.shown,
              std::vector<std::string>{
                  "[warning] Cancelled the jitter analysis: ACQ:CH1:RECLEN was set meanwhile"});
    ExecCommand("*Undo");
    EXPECT_EQ(WithoutJitterSwitch(Dump()), before);
  }
}

// A search that cannot start (no lengths) is refused from each state of the lock and leaves
// it as found: every setting, the analysis running on it, and an undo that brings nothing.
TEST_F(JitterProgramTest, ARefusedSearchLeavesTheLockItFound) {
  // The lock, the analysis, the request refused.
  const char* const cases[][3] = {{"Manual", "Off", "Trig:PatternLockMode AutoDetect"},
                                  {"Manual", "On", "Trig:PatternLockMode AutoDetect"},
                                  {"AutoDetect", "Off", "Trig:ResetPattLock"}};
  ExecCommand("GSS:A:Waweform PRBS;:GSS:A:PrbsLength 7;:GSS:Ch1 A;:TB:ScaleA 20N;:Trig:PattLen 127");
  for (const auto& [lock, analysis, request] : cases) {
    SCOPED_TRACE(std::string(lock) + analysis);
    TriggerSettings().PatternLengthList = {127};
    ExecCommand(std::string("Trig:PatternLockMode Off;:Trig:PatternLockMode ") + lock);
    for (int i = 0; i < 100000 && PatternSearchRun().SearchActive; ++i) ShellIdleStep();
    ExecCommand(std::string("Jitter:JitterOn ") + analysis);
    const TJ_Obj* engine = JitterObj();
    const std::vector<std::string> before = Dump();
    TriggerSettings().PatternLengthList.clear();
    EXPECT_EQ(test::AssertionText([&] {
                const TDialogsSuppressed client;
                ExecCommand(request);
              }),
              "Pattern Length List is empty");
    EXPECT_EQ(JitterObj(), engine);
    EXPECT_EQ(Dump(), before);
    if (std::string(request) != "Trig:ResetPattLock") ExecCommand("*Undo");  // else no step
    EXPECT_EQ(Dump(), before);
  }
}

}  // namespace
}  // namespace norv
