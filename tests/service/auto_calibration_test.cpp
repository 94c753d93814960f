// The self-calibrations against the fake instrument (each run to success, failure and
// Cancel, with the constants before and after), the channel status word, and the
// automatic check on the demo instrument.

#include "service/auto_calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/program_units.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/record/signal_obj.h"
#include "instrument/simulator/simulator_nodes.h"
#include "service/calibration_fixture.h"
#include "shell/shell_fixture.h"

namespace norv::test {
namespace {

// --- the status word ---

TEST(ChannelCalStatusTest, StageSubStepProgressAndText) {
  struct Case {
    int32_t status;
    int stage, sub, progress;
    const char* text;
  };
  const Case cases[] = {
      {(90 << 16) | 1, 1, 90, 36, " 1.90"},        // 0 + 90 x 0.4
      {(50 << 16) | 10, 10, 50, 50, " 10.50"},     // 40 + 50 x 0.2
      {(60 << 16) | 30, 30, 60, 77, " 30.60"},     // 63 + 60 x 3 / 13 = 63 + 13.85
      {(30 << 16) | 130, 130, 30, 88, " 130.30"},  // 81 + 6.92
      {255, 255, 0, 100, "OK"},
      {(3 << 16) | 77, 77, 3, 100, " 77.3"},  // a stage the table does not know
      {-((3 << 16) | 30), -30, 3, 0, "-30.3"},
      {-2147483647, -65535, 32767, 0, "-65535.32767"},  // the link's failure value
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.status);
    const TChannelCalStatus s = DecodeChannelCalStatus(k.status);
    EXPECT_EQ(s.Stage, k.stage);
    EXPECT_EQ(s.Sub, k.sub);
    EXPECT_EQ(ChannelCalProgress(k.status), k.progress);
    EXPECT_EQ(ChannelCalStatusText(k.status), k.text);
  }
}

// --- runs against the fake instrument ---

constexpr const char* kGroups[] = {"Calibr:Sampler:Ch1:FullBW:", "Calibr:Sampler:Ch1:NarrowBW:",
                                   "Calibr:Sampler:Ch2:FullBW:", "Calibr:Sampler:Ch2:NarrowBW:"};

class AutocalOnInstrumentTest : public CalibrationOnInstrumentTest {
 protected:
  void SetUp() override {
    CalibrationOnInstrumentTest::SetUp();
    ASSERT_TRUE(RecallFlashConstants(0));
    // An unrelated edit waiting to be stored: no run may lose it.
    Run({"FLASH:Calibr:Ch1Full:LfDist 1234", "Header Off"});
    Sync();
    instrument.ClearCommands();
  }
  void TearDown() override {
    AutocalHooks.ShowChannelsDialog.Reset();
    AutocalHooks.ShowTimeBaseDialog.Reset();
    CalibrationOnInstrumentTest::TearDown();
  }

  static int Result() { return static_cast<int>(Value("FLASH:Calibr:AutocalResult")); }
  // A client's line; the user's procedure tells what waited for its end.
  static void Client(const char* line) {
    {
      const TDialogsSuppressed quiet;
      Run({line});
    }
    TellWaitingProcedureMessages();
  }
  static std::string Told(const char* constant) {
    return SuppressedLogLine(TMessageKind::Warning, std::string("Cancelled the auto-calibration: ") +
                                                        constant + " was set meanwhile");
  }
  static void SetResult(int value) { CalibrationState().AutocalResult->SetValueByProgram(value); }
  bool Received(const std::string& line) {
    Sync();
    const std::vector<std::string> c = instrument.Commands();
    return std::find(c.begin(), c.end(), line) != c.end();
  }
  // What the instrument's own calibration leaves in its working constants.
  void InstrumentCalibrates() {
    instrument.SetConstant("Calibr:Sampler:SRD1", 40000);
    instrument.SetConstant("Calibr:Sampler:SRD2", 24576);
    for (const char* g : kGroups) {
      instrument.SetConstant(std::string(g) + "PlusD", 33024);
      instrument.SetConstant(std::string(g) + "MinusD", 32000);
    }
  }
  void ExpectInstrumentKeeps(int32_t srd1, int32_t plusD) {
    EXPECT_EQ(instrument.Constant("Calibr:Sampler:SRD1"), srd1);
    for (const char* g : kGroups) EXPECT_EQ(instrument.Constant(std::string(g) + "PlusD"), plusD) << g;
  }
};

TEST_F(AutocalOnInstrumentTest, TimeBaseRunsToSuccessFailureAndCancel) {
  // Before: TGUN 30667 -> 4.60005e-9 s, held at the node's 0.25 ps steps: 4.6e-9 s;
  // GainDAC 18333.
  const double coarseBefore = 4.6e-9;
  struct Case {
    const char* name;
    const char* coarseReply;
    const char* fineReply;
    bool dialogOk;  // the dialog's button after a measurement (no dialog: its outcome)
    bool withDialog;
    int result;
    double coarse, fine;  // node values after the run
    int fineQueries = 1;
    // A client's line while the dialog shows the measurement; the message it brings.
    const char* client = nullptr;
    const char* told = nullptr;
  };
  const Case cases[] = {
      {"success", "32000", "19000", true, false, 0, 32000 * 1.5e-13, 19000},
      {"coarse reply no number", "ERR", "19000", false, false, 5, coarseBefore, 18333},
      {"fine reply no number", "32000", "x12", false, false, 5, coarseBefore, 18333},
      {"fine answers Timeout: asked three times", "32000", "Timeout", false, false, 5, coarseBefore, 18333,
       3},
      {"Cancel after a good measurement", "32000", "19000", false, true, 5, coarseBefore, 18333},
      {"OK in the dialog", "31000", "20000", true, true, 0, 31000 * 1.5e-13, 20000},
      // Its constant set meanwhile ends it first: the other goes back, the client's stays,
      // and OK keeps nothing.
      {"a client's coarse code, then OK", "32000", "19000", true, true, 5, 4.7e-9, 18333, 1,
       "FLASH:Calibr:CoarseTB 4.7n", "FLASH:CALIBR:COARSETB"},
      // A constant it does not work on: the client's change stays marked for the store.
      {"a client's bridge, then Cancel", "32000", "19000", false, true, 5, coarseBefore, 18333, 1,
       "FLASH:Calibr:Ch1Full:BridgeVolt 1.9"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    instrument.SetConstant("Calibr:TB:TGUN", 30667);
    instrument.SetConstant("Calibr:TB:GainDAC", 18333);
    FindConstant("FLASH:Calibr:CoarseTB")->SetByProgram(coarseBefore);
    FindConstant("FLASH:Calibr:FineTB")->SetByProgram(18333);
    FlashChange().SetCalibrationChanged(false);
    instrument.SetReply("CALIBR:TB:MEASTGUN?", k.coarseReply);
    instrument.SetReply("CALIBR:TB:MEASGainDAC?", k.fineReply);
    SetResult(2);  // left by an earlier channel run
    dialogs.shown.clear();
    if (k.withDialog) {
      AutocalHooks.ShowTimeBaseDialog.Set([&](TTimeBaseRun& run) {
        EXPECT_EQ(Result(), kAutocalRunning);
        MeasureTimeBase(run);
        if (k.client) Client(k.client);
        return k.dialogOk;
      });
    } else {
      AutocalHooks.ShowTimeBaseDialog.Reset();
    }
    instrument.ClearCommands();
    RunCalibration(kCalibrateTimeBase, kCalReasonNone, false);
    EXPECT_EQ(Result(), k.result);
    EXPECT_NEAR(Value("FLASH:Calibr:CoarseTB"), k.coarse, 1e-16);
    EXPECT_EQ(Value("FLASH:Calibr:FineTB"), k.fine);
    Sync();
    EXPECT_EQ(instrument.Constant("Calibr:TB:TGUN"), NearestCode(k.coarse / 1.5e-13));
    EXPECT_EQ(instrument.Constant("Calibr:TB:GainDAC"), NearestCode(k.fine));
    EXPECT_EQ(FlashChange().CalibrationChanged, k.result == 0 || k.client);
    EXPECT_EQ(dialogs.shown, k.told ? std::vector<std::string>{Told(k.told)} : std::vector<std::string>{});
    const std::vector<std::string> c = instrument.Commands();
    EXPECT_EQ(std::count(c.begin(), c.end(), "CALIBR:TB:MEASGainDAC?"), k.fineQueries);
    EXPECT_EQ(Value("FLASH:Calibr:Ch1Full:LfDist"), 1234);
    EXPECT_FALSE(CalibrationBusy());
  }
  // Cancel at the question: nothing is measured and the result stays.
  SetResult(0);
  instrument.ClearCommands();
  dialogs.answers = {TAnswer::Cancel};
  RunCalibration(kCalibrateTimeBase, kCalReasonNone, true);
  EXPECT_FALSE(Received("CALIBR:TB:MEASTGUN?"));
  EXPECT_EQ(Result(), 0);
}

TEST_F(AutocalOnInstrumentTest, ChannelRunsToSuccessFailureCancelAndStall) {
  // Before: SRD 32768 -> (32768 - 8192) / 56 / 1024 x 0.03 = 0.0128571 A, held at the
  // node's 50 uA steps: 0.01285; PlusD = MinusD = 32768 -> BridgeVolt 2.048 V, Balance 0.
  // The calibration leaves SRD1 40000 -> 31808 x 0.03 / 57344 = 0.016640625 A -> 0.01665,
  // PlusD 33024, MinusD 32000 -> P 2.064, M -2.0: BridgeVolt 2.032, Balance 0.032.
  const double srdBefore = 0.01285;
  enum TEnd { kByItself, kCancelAfterTwoPolls, kCancelBeforeAcquisition, kClientAfterTwoPolls };
  struct Case {
    const char* name;
    std::function<int32_t(int poll)> status;
    TEnd end;
    int result, polls;
    const char* statusText;
    bool started, aborted;
    double srd1, bridge, balance;
    int32_t srd1Code = 32768;  // what the instrument keeps after a failure
  };
  const auto progressThenDone = [](int poll) { return poll < 2 ? ((poll + 1) << 16) | 10 : 255; };
  const Case cases[] = {
      {"success", progressThenDone, kByItself, 0, 3, "OK", true, false, 0.01665, 2.032, 0.032},
      {"the instrument fails", [](int poll) { return poll < 1 ? (1 << 16) | 10 : -((3 << 16) | 30); },
       kByItself, 5, 2, "Error Code -30.3", true, true, srdBefore, 2.048, 0},
      {"Cancel during the poll", progressThenDone, kCancelAfterTwoPolls, 5, 2, " 10.2", true, true, srdBefore,
       2.048, 0},
      {"a stalled status", [](int) { return (5 << 16) | 30; }, kByItself, 5, 1200,
       "Error Code  30.5 (no progress)", true, true, srdBefore, 2.048, 0},
      {"Cancel before the acquisition", progressThenDone, kCancelBeforeAcquisition, 5, 0, "", false, false,
       srdBefore, 2.048, 0},
      // A client's SRD1 ends it first, and stands: 0.015 A is code 0.015 / 0.03 x 57344 + 8192.
      {"a client's constant during the poll", progressThenDone, kClientAfterTwoPolls, 5, 2, " 10.2", true,
       true, 0.015, 2.048, 0, 36864},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    LoadRegisters();
    ASSERT_TRUE(RecallFlashConstants(0));
    ASSERT_EQ(Value("Flash:Calibr:Strobe:SRD1"), srdBefore);
    Run({"FLASH:Calibr:Ch1Full:LfDist 4321"});  // an edit not stored yet
    SetResult(2);
    instrument.ClearCommands();
    dialogs.shown.clear();
    AutocalHooks.ShowChannelsDialog.Set([&](TChannelRun& run) {
      BeginChannelCalibration();
      EXPECT_TRUE(SingleFlag);
      if (k.end == kCancelBeforeAcquisition) return false;
      for (TTraceId id : {TTraceId::Ch1, TTraceId::Ch2}) {
        SignalObjs()[id].SetRecLen(1024);
        for (int i = 0; i < 1024; ++i) SignalObjs()[id].SetY(i, 0.001 * ((i % 5) - 2));
      }
      SingleFlag = false;  // the acquisition has run
      AutocalChannelsCheckInputs();
      EXPECT_EQ(run.Phase, TChannelCalPhase::Polling);
      InstrumentCalibrates();
      for (int poll = 0;; ++poll) {
        if (k.end == kCancelAfterTwoPolls && poll == 2) return false;
        if (k.end == kClientAfterTwoPolls && poll == 2) {
          Client("Flash:Calibr:Strobe:SRD1 0.015");
          EXPECT_TRUE(run.CloseRequested);
          return false;
        }
        instrument.SetReply("CALIBR:SAMPLER:STATUSACAL?", std::to_string(k.status(poll)));
        if (!ChannelCalibrationTick()) break;
      }
      EXPECT_TRUE(run.CloseRequested);
      return run.CloseOk;
    });
    RunCalibration(kCalibrateChannels, kCalReasonNone, false);
    const TChannelRun& run = AutoCalibration().Channels;
    EXPECT_EQ(Result(), k.result);
    EXPECT_EQ(run.Polls, k.polls);
    EXPECT_EQ(run.StatusText, k.statusText);
    EXPECT_EQ(Received("CALIBR:SAMPLER:STARTAUTOCAL 0"), k.started);
    EXPECT_EQ(Received("CALIBR:SAMPLER:STARTAUTOCAL -1"), k.aborted);
    EXPECT_DOUBLE_EQ(Value("Flash:Calibr:Strobe:SRD1"), k.srd1);
    for (const char* node : {"FLASH:Calibr:Ch1Full:", "FLASH:Calibr:Ch2Narrow:"}) {
      EXPECT_DOUBLE_EQ(Value(std::string(node) + "BridgeVolt"), k.bridge) << node;
      EXPECT_DOUBLE_EQ(Value(std::string(node) + "Balance"), k.balance) << node;
    }
    // A failed run gives the instrument back only what its calibration moved.
    if (k.result == 0)
      ExpectInstrumentKeeps(40000, 33024);
    else if (k.started)
      ExpectInstrumentKeeps(k.srd1Code, 32768);
    EXPECT_EQ(dialogs.shown, k.end == kClientAfterTwoPolls
                                 ? std::vector<std::string>{Told("FLASH:CALIBR:STROBE:SRD1")}
                                 : std::vector<std::string>{});
    EXPECT_FALSE(Received("Calibr:ReRead?")) << "no recall of the whole set";
    EXPECT_EQ(Value("FLASH:Calibr:Ch1Full:LfDist"), 4321);
    EXPECT_EQ(instrument.Constant("Calibr:Sampler:Ch1:FullBW:LfComp"), 4321);
    EXPECT_TRUE(FlashChange().CalibrationChanged);
    EXPECT_FALSE(AutoCalibration().InputCheckPending);
    EXPECT_FALSE(SingleFlag);
    EXPECT_FALSE(CalibrationBusy());
  }
  // Its constant set while the user is asked: it ends, saying why, and the change stands.
  dialogs.shown.clear();
  dialogs.answers = {TAnswer::Cancel};
  dialogs.whileShown = [this] {
    dialogs.whileShown = nullptr;
    Client("FLASH:Calibr:Ch1Full:BridgeVolt 1.9");
  };
  RunCalibration(kCalibrateChannels, kCalReasonNone, true);
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1], Told("FLASH:CALIBR:CH1FULL:BRIDGEVOLT"));
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:BridgeVolt"), 1.9);
}

TEST_F(AutocalOnInstrumentTest, ASignalLeftOnAnInputEndsTheRunBeforeItStarts) {
  struct Case {
    double ch1Mean, ch2Mean, ch2Noise;
    int result;
    const char* where;
  };
  const Case cases[] = {
      {0.0, 0.3, 0, 2, " from the Channel 2."},
      {0.0, 0.0, 0.01, 2, " from the Channel 2."},  // a spread of 0.01 V > 0.005 V
      {-0.3, 0.3, 0, 3, "s from both channels."},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.result);
    SetResult(0);
    dialogs.shown.clear();
    dialogs.answers = {TAnswer::OK};
    instrument.ClearCommands();
    AutocalHooks.ShowChannelsDialog.Set([&](TChannelRun& run) {
      BeginChannelCalibration();
      for (auto [id, mean, noise] :
           {std::tuple{TTraceId::Ch1, k.ch1Mean, 0.0}, std::tuple{TTraceId::Ch2, k.ch2Mean, k.ch2Noise}}) {
        SignalObjs()[id].SetRecLen(1024);
        for (int i = 0; i < 1024; ++i) SignalObjs()[id].SetY(i, mean + (i % 2 ? noise : -noise));
      }
      AutocalChannelsCheckInputs();
      EXPECT_TRUE(run.CloseRequested);
      EXPECT_FALSE(run.CloseOk);
      return false;
    });
    RunCalibration(kCalibrateChannels, kCalReasonNone, true);
    EXPECT_EQ(Result(), k.result);
    ASSERT_EQ(dialogs.shown.size(), 2u);  // the question, then the message
    EXPECT_EQ(dialogs.shown[1],
              SuppressedLogLine(TMessageKind::Warning,
                                std::string("You didn't remove a signal") + k.where +
                                    "\r\nCalibration will be canceled.\r\nRemove a signal(s) from the "
                                    "channel(s), and repeat the calibrations."));
    EXPECT_FALSE(Received("CALIBR:SAMPLER:STARTAUTOCAL 0"));
  }
}

// While the adjustment page is open a change of the calibration flag carries the adjustment
// flag with it; a run that gives its constants back must not clear an adjustment that waits
// to be stored.
TEST_F(AutocalOnInstrumentTest, AFailedRunKeepsAnAdjustmentWaitingToBeStored) {
  instrument.SetReply("CALIBR:TB:MEASTGUN?", "ERR");
  AutocalHooks.ShowChannelsDialog.Set([](TChannelRun&) {
    BeginChannelCalibration();
    return false;  // Cancel before the acquisition
  });
  for (const uint8_t kind : {kCalibrateTimeBase, kCalibrateChannels}) {
    SCOPED_TRACE(int(kind));
    CalibrationState().AdjustmentPageOpen = false;
    FlashChange().SetCalibrationChanged(false);
    Run({kind == kCalibrateTimeBase ? "FLASH:Calibr:CoarseDelay 9" : "FLASH:Calibr:CoarseDelay 10"});
    ASSERT_TRUE(FlashChange().AdjustmentChanged);
    CalibrationState().AdjustmentPageOpen = true;
    RunCalibration(kind, kCalReasonNone, false);
    EXPECT_EQ(Result(), 5);
    EXPECT_FALSE(FlashChange().CalibrationChanged);
    EXPECT_TRUE(FlashChange().AdjustmentChanged);
    EXPECT_FALSE(Disabled("FLASH:Adjust:StoreAll"));
  }
  CalibrationState().AdjustmentPageOpen = false;
}

// A reply to the temperature query that is no number tells nothing about the temperature:
// no calibration starts on it, nor on the next good reading that lies near the last one.
TEST_F(AutocalOnInstrumentTest, AnUnreadableTemperatureStartsNoCalibration) {
  RegisterSimulatorCommands();
  Run({"Util:CalibrWhen Temperat", "Util:TempChange 3"});
  AutocalHooks.MainWindowActive.Set([] { return true; });
  int runs = 0;
  AutocalHooks.AfterIdlePass.Set([&runs](const std::function<void()>&) {
    ++runs;
    AutoCalibration().AutoRunQueued = false;
  });
  struct Step {
    const char* reply;
    bool calibrates;
    double current;  // "Calibr:Temperature" afterwards
  };
  // 38.5 lies 3 + 0.1 away from the 35.5 of the last calibration.
  const Step steps[] = {{"35.5", true, 35.5},
                        {"Timeout", false, 35.5},
                        {"hot", false, 35.5},
                        {"36.0", false, 36.0},
                        {"38.5", true, 38.5}};
  for (const Step& k : steps) {
    SCOPED_TRACE(k.reply);
    instrument.SetReply("Info:GetTemp?", k.reply);
    runs = 0;
    CheckAutoCalibration();
    EXPECT_EQ(runs, k.calibrates ? 1 : 0);
    EXPECT_EQ(AutoCalibration().CurrentTemperature, k.current);
  }
  AutocalHooks.MainWindowActive.Reset();
  AutocalHooks.AfterIdlePass.Reset();
}

// --- the automatic check and the runs on the demo instrument ---

class AutocalDemoTest : public ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void SetUp() override {
    ShellTest::SetUp();
    ShellState.IdleHandlerInstalled = true;
    ASSERT_TRUE(StartWithInstrument(true));
    RootSpider->ExecCommandLine("Header Off", false);
    AutocalHooks.MainWindowActive.Set([this] { return windowActive; });
    start_ = clock.NowMs();
  }
  void TearDown() override {
    AutocalHooks.MainWindowActive.Reset();
    AutocalHooks.ShowChannelsDialog.Reset();
    ScopeCRT.reset();
    ShellTest::TearDown();
  }
  static std::string Ask(const std::string& line) { return RootSpider->ExecCommandLine(line, false); }
  static double Num(const std::string& path) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(path)).GetFloatValue();
  }
  // A check at `minutes` after start_; true when it offered a calibration (both questions
  // are answered Cancel).
  bool CheckAt(double minutes) {
    clock.SleepMs(start_ + static_cast<int64_t>(std::llround(minutes * 60000)) - clock.NowMs());
    dialogs.shown.clear();
    dialogs.answers = {TAnswer::Cancel, TAnswer::Cancel};
    CheckAutoCalibration();
    dialogs.answers.clear();
    return !dialogs.shown.empty();
  }

  bool windowActive = true;
  int64_t start_ = 0;
};

TEST_F(AutocalDemoTest, TheWarmUpAndPeriodRulesAndADroppedOccasion) {
  struct Step {
    double minutes;
    bool calibrates;
    bool windowActive = true;
  };
  struct Case {
    const char* rule;
    std::vector<Step> steps;
    const char* reason;  // the question's first line at the last calibration
  };
  // The start lies 86 ms before the first check; a point is due 0.1 min early.
  const Case cases[] = {
      {"PowerOn",
       {{0, true},
        {1, false},
        {4.85, false},
        {4.95, true},
        {10, false},
        {14.9, true},
        {29.8, false},
        {29.95, true},
        {45, false},
        {300, false}},
       "30 min. after Power On.\r\n"},  // 29.95 min + 86 ms, rounded
      {"Period",
       {{0, true}, {60, false}, {119.85, false}, {119.95, true}, {200, false}, {239.9, true}},
       "2.00 h after last Calibration.\r\n"},
      // Dropped while another window is in front, but the next period counts from it.
      {"Period", {{0, false, false}, {60, false}, {119.95, true}}, "2.00 h after last Calibration.\r\n"},
  };
  Ask("Util:CalPeriod 2");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.rule);
    ResetAutoCalibration();
    start_ = clock.NowMs();
    Ask(std::string("Util:CalibrWhen ") + k.rule);
    std::string question;
    for (const Step& step : k.steps) {
      SCOPED_TRACE(step.minutes);
      windowActive = step.windowActive;
      EXPECT_EQ(CheckAt(step.minutes), step.calibrates);
      if (step.calibrates) question = dialogs.shown.at(0);
    }
    EXPECT_NE(question.find(k.reason), std::string::npos) << question;
  }
}

TEST_F(AutocalDemoTest, TheTemperatureRuleFollowsTheSimulatedWarming) {
  // The simulated instrument warms by 1/200 of the way to 50 degrees at each check, from
  // 20. The first check calibrates (no temperature known); the next when the warming since
  // that one reaches 3 - 0.1 degrees.
  Ask("Util:CalibrWhen Temperat");
  Ask("Util:TempChange 3");
  double t = 20, last = -1e6;
  std::vector<int> expected, seen;
  for (int check = 1; check <= 120; ++check) {
    t += (50 - t) / 200;
    if (std::fabs(t - last) + 0.1 >= 3) {
      expected.push_back(check);
      last = t;
    }
    if (CheckAt(check * 0.01)) seen.push_back(check);
  }
  EXPECT_EQ(seen, expected);
  ASSERT_GE(expected.size(), 2u);
  char text[32];
  std::snprintf(text, sizeof text, " %.2f", t);
  EXPECT_EQ(Ask("Calibr:Temperature?"), text);
}

TEST_F(AutocalDemoTest, AChannelRunWithoutDialogAcquiresPollsAndGivesTheSettingsBack) {
  for (const char* line : {"TB:ScaleA 2u", "Ch1:Offset 0.1", "Acq:Ch2:RecLen 512", "Trig:Source Direct"})
    Ask(line);
  const std::vector<std::string> queries = {"TB:ScaleA?", "Ch1:Offset?", "Acq:Ch2:RecLen?", "Trig:Source?"};
  std::vector<std::string> before;
  for (const std::string& q : queries) before.push_back(Ask(q));
  RunFlag = true;
  CalibrationState().AutocalResult->SetValueByProgram(3);
  {
    const TDialogsSuppressed remote;  // as for a remote client: no dialog
    RunCalibration(kCalibrateBoth, kCalReasonNone, false);
  }
  EXPECT_EQ(Num("FLASH:Calibr:AutocalResult"), 0);
  EXPECT_EQ(AutoCalibration().Channels.Polls, 52);  // 51 stages' polls, then 255
  EXPECT_EQ(AutoCalibration().Channels.Progress, 100);
  EXPECT_NEAR(Num("FLASH:Calibr:CoarseTB"), 4.6e-9, 1e-16);  // 30667 x 0.15 ps at 0.25 ps steps
  for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(Ask(queries[i]), before[i]) << queries[i];
  EXPECT_TRUE(RunFlag);
  EXPECT_TRUE(FlashChange().CalibrationChanged);

  // Cancel while the acquisition is awaited: the set-up is undone and nothing waits.
  RunFlag = false;
  AutocalHooks.ShowChannelsDialog.Set([](TChannelRun&) {
    BeginChannelCalibration();
    EXPECT_NEAR(Num("TB:ScaleA"), 1e-7, 1e-20);
    return false;
  });
  RunCalibration(kCalibrateChannels, kCalReasonNone, false);
  for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(Ask(queries[i]), before[i]) << queries[i];
  EXPECT_FALSE(AutoCalibration().InputCheckPending);
  EXPECT_FALSE(SingleFlag);
  EXPECT_EQ(Num("FLASH:Calibr:AutocalResult"), 5);
  // A later acquisition finds no check waiting.
  for (int i = 0; i < 1000; ++i) ShellIdleStep();
  EXPECT_EQ(AutoCalibration().Channels.Phase, TChannelCalPhase::Failed);

  // A failure inside the dialog leaves the same way, and the exception goes on.
  AutocalHooks.ShowChannelsDialog.Set([](TChannelRun&) -> bool {
    BeginChannelCalibration();
    throw EAssertion("lost");
  });
  EXPECT_THROW(RunCalibration(kCalibrateChannels, kCalReasonNone, false), EAssertion);
  for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(Ask(queries[i]), before[i]) << queries[i];
  EXPECT_FALSE(AutoCalibration().InputCheckPending);
  EXPECT_FALSE(CalibrationBusy());
  EXPECT_EQ(Num("FLASH:Calibr:AutocalResult"), 5);
}

}  // namespace
}  // namespace norv::test
