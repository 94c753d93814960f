// The derived traces as a user meets them: "F1:".."F4:" and "Spectr1:"/"Spectr2:"
// commands define them, the simulator's acquisitions feed them, they are calculated in
// the order their arguments become ready, redrawn while stopped when a setting changes,
// and refusals show once per change of their text.

#include "analysis/derived_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "analysis/spectrum.h"
#include "app/program_units.h"
#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/link_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/settings_wiring.h"
#include "instrument/simulator/simulator.h"
#include "shell/remote/remote_control.h"
#include "shell/save/save_recall.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/fake_settings_link.h"
#include "support/settings_tree_fixture.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

constexpr auto Ch1 = TTraceId::Ch1, Ch2 = TTraceId::Ch2, F1 = TTraceId::F1, F2 = TTraceId::F2,
               S1 = TTraceId::S1;

using Expected = std::function<double(int i)>;
constexpr double kTimeDiv = 5e-9;

class DerivedSignalsTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    RegisterEveryUnit();
    ApplyEveryUnit();
    InstallProgramUnits();
    SetDialogs(&dialogs);
    ScopeCRT = std::make_unique<TScopeCRT>(&font, nullptr, clock);
    ScopeCRT->PlaceScreen(0, 0, 500, 800);
    SetProgramClock(clock);
    GuiReady = true;
    sim.SimSetChannels(4);
    sim.SimSetRecLen(512);
    sim.SimSetNAvg(1);
    sim.SimSetTimeDiv(kTimeDiv);
    Exec("TB:SCALEA 5 n");
    cycle.SetSimSource(&source);
    cycle.ConnectToLink();
  }
  void TearDown() override {
    ScopeCRT.reset();
    SettingsTreeTest::TearDown();
  }

  void Single() {
    SingleFlag = true;
    for (int steps = 0; (RunFlag || SingleFlag) && steps < 100000; ++steps) cycle.AcquisitionIdleStep();
    ASSERT_FALSE(SingleFlag);
  }
  // One idle pass while stopped.
  void Idle() { cycle.AcquisitionIdleStep(); }

  static const TSignalObj& Rec(TTraceId id) { return SignalObjs()[id]; }
  static int StateOf(TTraceId id) { return DerivedSignalStates[TraceIndex(id)]; }
  static void ExpectRecord(TTraceId id, const Expected& expected, double tolerance, const std::string& what) {
    const TSignalObj& r = Rec(id);
    ASSERT_EQ(r.GetRecLen(), Rec(Ch1).GetRecLen()) << what;
    for (int i = 0; i < r.GetRecLen(); ++i)
      ASSERT_NEAR(r.GetY(i), expected(i), tolerance) << what << " at " << i;
  }

  FakeSettingsLink link;
  FakeDialogs dialogs;
  TBlockFont font;
  FakeClock clock;
  TRandomSource random{5};
  TSimulator sim{random};
  TSimulatorRecordSource source{sim};
  TAcquisitionCycle cycle{clock, clock};
};

// F2 = F1 + Ch1 with F1 = the inverse FFT of S1, S1 the spectrum of Ch2: the pass meets
// them in the order F1, F2, S1, so one acquisition computes them only if each waits for
// its argument (F2 then equals Ch1 + Ch2).
TEST_F(DerivedSignalsTest, OneAcquisitionComputesAChainInDependencyOrder) {
  Exec("SPECTR1:SOURCE CH2;:SPECTR1:DISPLAY ON");
  Exec("F1:OPERAT IFFT;:F1:SOURCE1 S1;:F1:DISPLAY ON");
  Exec("F2:OPERAT ADD;:F2:SOURCE1 F1;:F2:SOURCE2 CH1;:F2:DISPLAY ON");
  Single();
  const auto sum = [](int i) { return Rec(Ch1).GetY(i) + Rec(Ch2).GetY(i); };
  ExpectRecord(F2, sum, 1e-9, "F2 after one acquisition");
  for (TTraceId id : {F1, F2, S1}) {
    EXPECT_EQ(StateOf(id), dssDrawn) << TraceIndex(id);
    EXPECT_TRUE(ScopeCRT->HasSignalLayer(id)) << TraceIndex(id);
  }
  // Ch2 off takes the whole chain off (layers gone); on again brings it back.
  Exec("CH2:DISPLAY OFF;:CH2:ACQUIRE OFF");
  Single();
  for (TTraceId id : {F1, F2, S1}) {
    EXPECT_EQ(StateOf(id), dssOff) << TraceIndex(id);
    EXPECT_FALSE(ScopeCRT->HasSignalLayer(id)) << TraceIndex(id);
  }
  Exec("CH2:ACQUIRE ON;:CH2:DISPLAY ON");
  Single();
  ExpectRecord(F2, sum, 1e-9, "F2 with Ch2 on again");
  EXPECT_EQ(StateOf(F2), dssDrawn);
  EXPECT_TRUE(dialogs.shown.empty());
}

// The two passes on F1 = Ch1 + Ch2 from given states of the arguments and of F1.
TEST_F(DerivedSignalsTest, StatesOfAFunctionThroughBothPasses) {
  Exec("F1:OPERAT ADD;:F1:SOURCE1 CH1;:F1:SOURCE2 CH2;:F1:DISPLAY ON");
  Single();  // F1 calculated once, so its definition is known
  struct Row {
    const char* what;
    uint8_t ch1, ch2, f1;
    bool shown;
    uint8_t afterSwitching, afterRecalc;
  };
  const Row rows[] = {
      {"fresh arguments switch F1 on and compute it", dssFresh, dssFresh, dssOff, true, dssOn, dssFresh},
      {"an argument off switches F1 off", dssFresh, dssOff, dssDrawn, true, dssOff, dssOff},
      {"nothing changed: F1 stays valid", dssDrawn, dssDrawn, dssDrawn, true, dssDrawn, dssDrawn},
      {"an argument waiting makes F1 wait", dssOn, dssDrawn, dssDrawn, true, dssOn, dssOn},
      {"F1 not shown is off", dssFresh, dssFresh, dssDrawn, false, dssOff, dssOff},
  };
  for (const Row& row : rows) {
    Exec(row.shown ? "F1:DISPLAY ON" : "F1:DISPLAY OFF");
    DerivedSignalStates[TraceIndex(Ch1)] = row.ch1;
    DerivedSignalStates[TraceIndex(Ch2)] = row.ch2;
    DerivedSignalStates[TraceIndex(F1)] = row.f1;
    SostaritjIliOtklFuncSpectrGdeNado();
    EXPECT_EQ(StateOf(F1), row.afterSwitching) << row.what;
    ReCalculateFuncAndSpectrGdeNado();
    EXPECT_EQ(StateOf(F1), row.afterRecalc) << row.what;
  }
}

// Two functions made to use each other while both are valid: neither is computed again,
// and the message naming both shows once, however many acquisitions follow (the passes
// end by themselves).
TEST_F(DerivedSignalsTest, RefusalsShowOncePerText) {
  Exec("F1:OPERAT ADD;:F1:SOURCE1 CH1;:F1:SOURCE2 CH2;:F1:DISPLAY ON");
  Exec("F2:OPERAT ADD;:F2:SOURCE1 F1;:F2:SOURCE2 CH1;:F2:DISPLAY ON");
  Single();
  const std::vector<double> before = {Rec(F1).GetY(0), Rec(F1).GetY(100), Rec(F2).GetY(0), Rec(F2).GetY(100)};
  Exec("F1:SOURCE1 F2;:F1:SOURCE2 CH1");
  for (int k = 0; k < 3; ++k) Single();
  EXPECT_EQ(StateOf(F1), dssOn);
  EXPECT_EQ(StateOf(F2), dssOn);
  EXPECT_EQ(before,
            (std::vector<double>{Rec(F1).GetY(0), Rec(F1).GetY(100), Rec(F2).GetY(0), Rec(F2).GetY(100)}));
  EXPECT_EQ(dialogs.shown,
            std::vector<std::string>{"[error] Function(s) F1, F2 includes\r\nincorrect argument(s)"});
  // Mended, the pair is computed at the next acquisition and the message may show again.
  Exec("F1:SOURCE1 CH1;:F1:SOURCE2 CH2");
  Single();
  EXPECT_EQ(StateOf(F2), dssDrawn);
  ExpectRecord(
      F2, [](int i) { return 2 * Rec(Ch1).GetY(i) + Rec(Ch2).GetY(i); }, 1e-9, "F2 mended");

  // S1 of a function that holds a spectrum is refused, once while the text stays, and is
  // not among the traces with incorrect arguments.
  dialogs.shown.clear();
  Exec(
      "SPECTR2:SOURCE CH1;:SPECTR2:DISPLAY ON;:F3:OPERAT MULT;:F3:SOURCE1 S2;:F3:SOURCE2 CONST;:F3:DISPLAY "
      "ON");
  Exec("SPECTR1:SOURCE F3;:SPECTR1:DISPLAY ON");
  for (int k = 0; k < 3; ++k) Single();
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{
                               "[error] F3 is a complex function. You can't use it as an argument for FFT"});
  EXPECT_EQ(StateOf(S1), dssOn);
}

// A client's line that leaves a shown spectrum with a record length no transform takes is
// answered with the refusal, keeps the setting and opens no box, then or at the following
// acquisitions; the user at the screen still gets the box.
TEST_F(DerivedSignalsTest, AClientHearsASpectrumRefusalAsItsLinesErrorAndSeesNoBox) {
  const std::string refusal =
      "FFT of 486 points refused (Error 2): the length must be a power of two from 2 to 8192";
  cycle.SetSettings(ProgramAcqSettings());  // records as long as "Acq:Ch1:RecLen"
  Exec("Header Off;:SPECTR1:SOURCE CH1");
  struct Case {
    const char* before;  // by the user
    const char* line;    // by the client
  } cases[] = {
      {"ACQ:CH1:RECLEN 512;:SPECTR1:DISPLAY ON", "Acq:Ch1:RecLen 486"},
      {"SPECTR1:DISPLAY OFF;:ACQ:CH1:RECLEN 486", "Spectr1:Display On"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Exec(c.before);
    Single();
    dialogs.shown.clear();
    DialogState.SuppressedLog.clear();
    try {
      const TDialogsSuppressed client;
      ExecCommand(c.line);
      ADD_FAILURE() << "answered OK";
    } catch (const EAssertion& e) {
      EXPECT_EQ(e.what(), refusal);
    }
    EXPECT_EQ(Exec("ACQ:CH1:RECLEN?;:SPECTR1:DISPLAY?"), "486 ;ON");
    for (int k = 0; k < 2; ++k) Single();
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{});
    EXPECT_EQ(DialogState.SuppressedLog, std::vector<std::string>{"[error] " + refusal});
  }
  // A refusal no client's line brought (the user's change) is not a later client's: its
  // query answers its value, and the box opens at the screen with the next acquisition.
  Exec("ACQ:CH1:RECLEN 512");
  Single();
  dialogs.shown.clear();
  Exec("ACQ:CH1:RECLEN 486");
  {
    const TDialogsSuppressed client;
    EXPECT_EQ(ExecCommand("ACQ:CH1:RECLEN?"), "486 ");
  }
  for (int k = 0; k < 2; ++k) Single();
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{"[error] " + refusal});
}

// "mmm" is the low-jitter reference run's to choose: a command naming it changes nothing,
// while "nnn", disabled on the page, is still taken by command. A setup or undo step puts
// back what the program had chosen.
TEST_F(DerivedSignalsTest, OnlyTheLowJitterOperatorIsRefusedToCommands) {
  Exec("Header Off");
  struct Case {
    std::string op, after;
  };
  for (const Case& c : {Case{"nnn", "NNN"}, Case{"mmm", "SMOOTH"}}) {
    for (const std::string f : {"F1", "F2", "F3", "F4"}) {
      Exec(f + ":Operat Smooth;:" + f + ":Operat " + c.op);
      EXPECT_EQ(Exec(f + ":Operat?"), c.after) << f << " " << c.op;
    }
  }
  Exec("F2:Operat Smooth;:F4:Operat Smooth");
  Exec("F2:Operat nnn;:F4:Operat mmm", true);
  EXPECT_EQ(Exec("F2:Operat?"), "NNN");
  EXPECT_EQ(Exec("F4:Operat?"), "MMM");
}

// Settings changed while stopped are calculated at the next idle pass. A constant of 0.4
// changed to 4, and a change of the smoothing length, leave a checksum of the settings
// unchanged; the definitions themselves differ.
TEST_F(DerivedSignalsTest, SettingsChangedWhileStoppedRecalculate) {
  Exec("F1:OPERAT MULT;:F1:SOURCE1 CH1;:F1:SOURCE2 CONST;:F1:DISPLAY ON");
  Exec("SPECTR1:SOURCE CH1;:SPECTR1:DISPLAY ON");
  Single();
  const auto y = [](int i) { return Rec(Ch1).GetY(i); };
  const int n = Rec(Ch1).GetRecLen();
  const auto average = [&](int length) {
    return [&, length](int i) {
      double sum = 0;
      for (int j = i - length / 2; j <= i + length / 2; ++j) sum += y(std::clamp(j, 0, n - 1));
      return sum / length;
    };
  };
  ExpectRecord(
      F1, [&](int i) { return 0.4 * y(i); }, 1e-12, "F1 = Ch1 * 0.4");
  // The generator's period in samples (a division holds 50 samples), on the record's axis.
  const double period = 1 / sim.SimChannelFrequency(2) / (kTimeDiv / 50) * Rec(Ch1).GetDX();
  struct Row {
    const char* command;
    Expected expected;
    double tolerance = 1e-9;
  };
  const Row rows[] = {
      {"F1:CONST 4", [&](int i) { return 4 * y(i); }},
      {"F1:OPERAT SMOOTH;:F1:SMOOTHLEN 3", average(3)},
      {"F1:SMOOTHLEN 7", average(7)},
      {"F1:OPERAT INVERT", [&](int i) { return -y(i); }},
      // Where Ch1 is 0 the divisor is kept at 1e-50.
      {"F1:OPERAT DIV;:F1:SOURCE2 CH1", [&](int i) { return y(i) == 0 ? 0.0 : 1.0; }},
      // The sine of the generator feeding Ch1: its period, duty cycle 50 %.
      {"F1:OPERAT TREND;:F1:TRENDMEAS PERIOD", [&](int) { return period; }, period / 100},
      {"F1:TRENDMEAS POSDUTY", [](int) { return 50.0; }, 2},
  };
  for (const Row& row : rows) {
    Exec(row.command);
    Idle();
    ExpectRecord(F1, row.expected, row.tolerance, row.command);
  }
  // "Spectr1:Window" reaches the spectrum record.
  Exec("SPECTR1:WINDOW HANNING");
  Idle();
  TSignalObj hanning;
  CalcSpectrum(hanning, Rec(Ch1), 2);
  for (int i = 0; i < n; ++i) ASSERT_DOUBLE_EQ(Rec(S1).GetIm(i), hanning.GetIm(i)) << i;
  // F1 switched off while stopped loses its layer.
  Exec("F1:DISPLAY OFF");
  Idle();
  EXPECT_FALSE(ScopeCRT->HasSignalLayer(F1));
  EXPECT_TRUE(ScopeCRT->HasSignalLayer(S1));
}

// F1 = M1 * 2 follows every new content of M1: a copy while stopped, a copy between
// acquisitions and a load from a file, without a message about its arguments.
TEST_F(DerivedSignalsTest, AFunctionOfAMemoryFollowsEachWriteOfTheMemory) {
  constexpr auto M1 = TTraceId::M1;
  Exec("F1:OPERAT MULT;:F1:SOURCE1 M1;:F1:SOURCE2 CONST;:F1:CONST 2;:F1:DISPLAY ON");
  Single();
  const auto twice = [](TTraceId id) { return [id](int i) { return 2 * Rec(id).GetY(i); }; };
  const auto copy = [](TTraceId source) { CopySourceToMemory(source, 0); };
  copy(Ch1);
  Idle();
  ExpectRecord(F1, twice(Ch1), 1e-12, "M1 copied from Ch1 while stopped");
  copy(Ch2);
  Idle();
  ExpectRecord(F1, twice(Ch2), 1e-12, "M1 copied again from Ch2");
  Single();
  copy(Ch1);
  Single();
  ExpectRecord(F1, twice(M1), 1e-12, "M1 copied between acquisitions");
  const std::string file = (TestRoot() / "m1.wfm").string();
  ASSERT_TRUE(SaveWaveformBinaryFile(Ch2, file));
  ASSERT_TRUE(LoadWaveformBinaryFile(0, file, false));
  Idle();
  ExpectRecord(F1, twice(Ch2), 1e-12, "M1 loaded while stopped");
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{});
}

}  // namespace
}  // namespace norv::test
