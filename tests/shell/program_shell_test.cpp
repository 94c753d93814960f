#include "shell/program_shell.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <tuple>

#include "analysis/jitter_engine.h"
#include "analysis/jitter_settings.h"
#include "analysis/low_jitter.h"
#include "app/program_units.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/util/close_signal.h"
#include "framework/util/errors.h"
#include "framework/util/file_io.h"
#include "framework/util/idle_pass.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/pattern_search_run.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/startup/instrument_list.h"
#include "measure/autoscale/autoscale.h"
#include "service/auto_calibration.h"
#include "service/oe_converter.h"
#include "service/tdr_channel_calibration.h"
#include "shell/main_layout.h"
#include "shell/remote/remote_control.h"
#include "shell/save/save_recall.h"
#include "shell/setup_files.h"
#include "shell/shell_fixture.h"
#include "support/assertion_text.h"
#include "support/fake_dialogs.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

class CloseQueryTest : public test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ASSERT_TRUE(StartWithInstrument(true));
    ShellHooks.AdjustmentChanged.Set([this] { return adjustmentChanged; });
    ShellHooks.AdjustAccessGranted.Set([this] { return accessGranted; });
    ShellHooks.CalibrationChanged.Set([this] { return calibrationChanged; });
    ShellHooks.StoreFlashConstants.Set([this](bool adjustment) {
      stored.push_back(adjustment ? 'A' : 'C');
      return storeWorks;
    });
  }
  bool adjustmentChanged = false, accessGranted = false, calibrationChanged = false, storeWorks = true;
  std::string stored;
};

TEST_F(CloseQueryTest, QuestionsStoresAndTheOutcome) {
  const std::string adj = SuppressedLogLine(TMessageKind::Confirmation, GetLangStr("QueSaveAdjusting"));
  const std::string cal = SuppressedLogLine(TMessageKind::Confirmation, GetLangStr("QueSaveCalibration"));
  struct Case {
    const char* name;
    bool adjustment, access, calibration, storeWorks;
    std::deque<TAnswer> answers;
    std::vector<std::string> shown;
    std::string stored;
    bool allowed;
  };
  const Case cases[] = {
      {"nothing changed", false, false, false, true, {}, {}, "", true},
      // Yes to the adjustments stores the changed calibration too.
      {"adjustment stored", true, true, true, true, {TAnswer::Yes}, {adj}, "AC", true},
      {"adjustment alone stored", true, true, false, true, {TAnswer::Yes}, {adj}, "A", true},
      {"No still asks the calibration",
       true,
       true,
       true,
       true,
       {TAnswer::No, TAnswer::Yes},
       {adj, cal},
       "C",
       true},
      {"adjustment without access", true, false, true, true, {TAnswer::No}, {cal}, "", true},
      {"Cancel keeps the program", true, true, false, true, {TAnswer::Cancel}, {adj}, "", false},
      {"calibration Cancel", false, false, true, true, {TAnswer::Cancel}, {cal}, "", false},
      {"a failed store keeps the program", false, false, true, false, {TAnswer::Yes}, {cal}, "C", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(SetupFilePath(TSetupKind::PowerOff));
    ExecCommand("*Run");
    adjustmentChanged = c.adjustment;
    accessGranted = c.access;
    calibrationChanged = c.calibration;
    storeWorks = c.storeWorks;
    dialogs.answers = c.answers;
    dialogs.shown.clear();
    stored.clear();
    AcqSuspended = false;

    EXPECT_EQ(CloseQuery(), c.allowed);
    // A failed store is said after the questions, not swallowed.
    ASSERT_EQ(dialogs.shown.size(), c.shown.size() + (c.storeWorks ? 0 : 1));
    dialogs.shown.resize(c.shown.size());
    EXPECT_EQ(dialogs.shown, c.shown);
    EXPECT_EQ(stored, c.stored);
    EXPECT_FALSE(RunFlag) << "the acquisition stops in every case";
    EXPECT_EQ(ClosingFlag, c.allowed);
    EXPECT_EQ(fs::exists(SetupFilePath(TSetupKind::PowerOff)), c.allowed);
    EXPECT_EQ(AcqSuspended, c.allowed);
  }
}

// Nobody can answer: the constants are stored without a question, and a store that fails
// cannot keep the program open (only a kill would end it), so it is logged and the close
// goes on.
TEST_F(CloseQueryTest, SuppressedDialogsAskNothingAndLoseNothing) {
  adjustmentChanged = accessGranted = calibrationChanged = true;
  const TDialogsSuppressed quiet;
  for (const bool works : {true, false}) {
    SCOPED_TRACE(works);
    storeWorks = works;
    stored.clear();
    DialogState.SuppressedLog.clear();
    fs::remove(SetupFilePath(TSetupKind::PowerOff));
    AcqSuspended = false;
    EXPECT_TRUE(CloseQuery());
    EXPECT_TRUE(dialogs.shown.empty());
    ASSERT_EQ(DialogState.SuppressedLog.size(), works ? 1u : 2u) << "the question goes to the log";
    if (!works) {
      EXPECT_NE(DialogState.SuppressedLog[1].find("[error] The constants could not be stored"),
                std::string::npos);
    }
    EXPECT_EQ(stored, works ? "AC" : "A");
    EXPECT_TRUE(fs::exists(SetupFilePath(TSetupKind::PowerOff)));
    EXPECT_TRUE(AcqSuspended);
  }
}

TEST_F(CloseQueryTest, DeferredStartRunsOnceAndAFailedIdentityReadLeavesTheProgramNotReady) {
  FreshProgramState();
  ShellTest::SetUp();
  std::vector<bool> visible;
  ShellHooks.SetMainControlsVisible.Set([&](bool v) { visible.push_back(v); });
  ShellHooks.ReadIndivData.Set([] { return false; });
  dialogs.answers = {TAnswer::Yes};
  RunDeferredStartup();
  RunDeferredStartup();
  EXPECT_EQ(ShellState.DeferredStartRuns, 1);
  EXPECT_FALSE(GuiReady);
  EXPECT_FALSE(RunFlag);
  EXPECT_FALSE(ShellState.InstrumentWorkStarted);
  ASSERT_FALSE(visible.empty());
  EXPECT_FALSE(visible.back()) << "the main controls stay hidden";
  EXPECT_EQ(dialogs.shown.size(), 1u) << "the user is told";
}

// The whole program's units, on the fake clock.
class StartCloseTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void TearDown() override {
    ScopeCRT.reset();
    ShellTest::TearDown();
  }
};

// The system's close while a box of the start is open (its event loop runs the close)
// finds the factory settings, or a setup half recalled: the user's power-off setup stays
// byte for byte, whichever box it is. After the start it is written, unless the identity
// could not be read (the start recalled nothing).
TEST_F(StartCloseTest, ACloseInEachBoxOfTheStartKeepsThePowerOffSetup) {
  struct Case {
    const char* name;
    std::function<void()> arrange;  // makes the start show its boxes
    std::deque<TAnswer> answers;
    bool writtenAfterStart;
  };
  const Case cases[] = {
      {"constants file unreadable",
       [] { fs::create_directories(ProgramDir() / "CalibrImit.ini" / "inside"); },
       {},
       true},
      {"identity unreadable",
       [] { ShellHooks.ReadIndivData.Set([] { return false; }); },
       {TAnswer::Yes},
       false},
      {"default setup with a skipped line",
       [] {
         WriteFileAtomically(SetupFilePath(TSetupKind::Default),
                             SetupFileTextFromLines({"TB:ScaleA 50N", "*Run"}), false);
       },
       {},
       true},
  };
  const std::string userSetup = SetupFileTextFromLines({"TB:ScaleA 50N", "Ch1:Scale 50M"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The first run counts the boxes and closes in none; the last closes after the start.
    size_t boxes = 0;
    for (size_t closeAt = 0; closeAt == 0 || closeAt <= boxes + 1; ++closeAt) {
      SCOPED_TRACE(closeAt);
      Restart();
      c.arrange();
      ASSERT_TRUE(WriteFileAtomically(SetupFilePath(TSetupKind::PowerOff), userSetup, false));
      dialogs.answers = c.answers;
      dialogs.shown.clear();
      dialogs.whileShown = [&] {
        if (dialogs.shown.size() == closeAt) {
          EXPECT_TRUE(CloseQuery(TCloseKind::BySystem));
        }
      };
      RunDeferredStartup();
      dialogs.whileShown = nullptr;
      if (closeAt == 0) boxes = dialogs.shown.size();
      ASSERT_GT(boxes, 0u) << "the start showed no box";
      const bool afterStart = closeAt == boxes + 1;
      if (afterStart) {
        EXPECT_TRUE(CloseQuery(TCloseKind::BySystem));
      }
      const bool kept = ReadRegularFile(SetupFilePath(TSetupKind::PowerOff)).Bytes == userSetup;
      EXPECT_EQ(kept, !(afterStart && c.writtenAfterStart)) << "the power-off setup after the close";
      fs::remove_all(ProgramDir() / "CalibrImit.ini");
    }
  }
}

// An instrument that is never triggered: each record starts and no word of it ever comes,
// while every read waits as the link's reads do.
class UntriggeredRecords final : public IRecordSimSource {
 public:
  explicit UntriggeredRecords(IClock& clock) : clock_(clock) {}
  void SimStartRecord() override {}
  size_t SimReadBlock(std::span<uint16_t>) override {
    clock_.SleepMs(20);
    return 0;
  }

 private:
  IClock& clock_;
};

class ProcedureTimeLimitTest : public test::ShellTest {
 protected:
  void InstallUnits() override { InstallProgramUnits(); }
  void SetUp() override {
    ShellTest::SetUp();
    WriteDemoUnit(std::string(DefaultDemoName), 1, 2, 255 - OptPatSyncTrig - OptGenerators - OptOptics, 12,
                  77, true);
    ShellState.IdleHandlerInstalled = true;
    ASSERT_TRUE(StartWithInstrument(true));
    ExecCommand("Header Off");
    // What the calibration's window does, without the window's layer: at the screen it asks
    // first and is accepted once it ends.
    TdrHooks.RunChannelCalibration.Set([](int channel, TTraceId, bool tdr, bool fromCommand) {
      if (fromCommand || DialogsSuppressed()) return RunTdrChannelCalibrationWithoutWindow(channel, tdr);
      TTdrChannelCalibration calibration(channel, tdr, false);
      if (!calibration.Start()) return false;
      IdleStepsUntil([&] { return calibration.Outcome() != TTdrCalibrationOutcome::Running; });
      return calibration.Conclude(true);
    });
  }
  void TearDown() override {
    ScopeCRT.reset();
    ShellTest::TearDown();
  }
};

// Each procedure a remote client starts waits for records; when none ever comes it ends
// as failed after five minutes, tells so, and its command answers.
TEST_F(ProcedureTimeLimitTest, AProcedureWhoseRecordsNeverComeEndsAfterTheLimitAndAnswers) {
  struct Case {
    const char* name;
    std::vector<std::string> setup;
    std::string command;
    bool refused;               // the command answers with an error
    std::string query, answer;  // what tells the outcome afterwards
  };
  const Case cases[] = {
      {"autoscale", {}, "*Autoscale Auto", true, "", ""},
      {"channel calibration", {}, "FLASH:Calibr:AutocalCh", false, "FLASH:Calibr:AutocalResult?", "5"},
      {"TDR channel calibration",
       {"TDR:Mode TDR", "TDR:Ch1:Destination G1"},
       "TDR:Ch1:DoVertCalibr",
       true,
       "",
       ""},
      {"TDR correction", {}, "TDR:Ch1:Normalize On", true, "TDR:Ch1:Normalize?", "OFF"},
      {"dark level", {"TDR:Mode Off", "OEConv:Dest Ch1"}, "FLASH:OECalibr:AutoDarkLvl", true, "", ""},
      {"waveform save", {"Save:Disk:FileName late"}, "Save:Disk:Save", true, "", ""},
      // The analysis it ended as it started runs again on the lock it gives back.
      {"autoscale over the jitter analysis",
       {"GSS:A:Waweform PRBS;:GSS:A:PrbsLength 7;:GSS:Ch1 A;:TB:ScaleA 20N;:Trig:PattLen 127;"
        ":Trig:PatternLockMode Manual",
        "Jitter:JitterOn On"},
       "*Autoscale Auto",
       true,
       "Jitter:JitterOn?",
       "ON"},
  };
  UntriggeredRecords untriggered(clock);
  AcquisitionCycle().SetSimSource(&untriggered);
  const int64_t limitMs = 5 * 60 * 1000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TDialogsSuppressed remote;
    for (const std::string& line : c.setup) ExecCommand(line);
    DialogState.SuppressedLog.clear();
    const int64_t start = clock.NowMs();
    if (c.refused) {
      EXPECT_THROW(ExecCommand(c.command), EAssertion);
    } else {
      EXPECT_NO_THROW(ExecCommand(c.command));
    }
    const int64_t elapsed = clock.NowMs() - start;
    EXPECT_GE(elapsed, limitMs);
    EXPECT_LT(elapsed, limitMs + 1000);
    const auto& log = DialogState.SuppressedLog;
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "[error] The procedure did not end within 5 minutes and was stopped."),
              1);
    if (!c.query.empty()) {
      EXPECT_EQ(TrimBlanks(ExecCommand(c.query)), c.answer);
    }
    // A close the system asked for ends the wait at once, without the time-out's message,
    // and the client hears that the close cut the procedure short.
    DialogState.SuppressedLog.clear();
    CloseSignalled = 1;
    const int64_t closing = clock.NowMs();
    std::string answer = "OK";
    try {
      ExecCommand(c.command);
    } catch (const EAssertion& e) {
      answer = e.what();
    }
    CloseSignalled = 0;
    EXPECT_EQ(answer, "The program is closing: the rest of the line did not run");
    EXPECT_LT(clock.NowMs() - closing, 1000);
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "[error] The procedure did not end within 5 minutes and was stopped."),
              0);
  }
  // The save that failed is not written later, when the acquisition stops.
  ExecCommand("*StopSingle Stop");
  ShellIdleStep();
  EXPECT_FALSE(fs::exists(DataFolders().WaveformFilesDir / "late.wfm"));
}

// A clock that moves on each time it is read, so that a wait on acquisitions that never
// come runs out instead of hanging the test.
class TickingClock final : public IClock {
 public:
  explicit TickingClock(test::FakeClock& clock) : clock_(clock) {}
  int64_t NowMs() const override {
    clock_.SleepMs(1);
    return clock_.NowMs();
  }
  void SleepMs(int64_t ms) override { clock_.SleepMs(ms); }

 private:
  test::FakeClock& clock_;
};

// Every procedure that acquires ends by itself, and answers a client as it ends, whatever the
// user's run is set to stop at: a count, counted averages, the mask and limit tests end the
// user's run, not the acquisitions of a procedure, nor the run it gives back as it ends.
// Those that go on after their command are awaited. What the run keeps (its automatic save,
// the tests' failure files, a recording) takes none of a procedure's acquisitions. A
// procedure that cuts into a counted run that saves gives it back where it stood: it counts
// on to its end, and no file it wrote is written again. The jitter analysis is no procedure
// that takes the run: under a counted run that saves, the run keeps its files and its count.
// Stopped, a procedure's end shows again the records the user stopped on, and what is
// computed from them; a copy then takes them.
TEST_F(ProcedureTimeLimitTest, AProcedureEndsUnderEveryStopConditionOfTheRun) {
  struct Case {
    const char* name;
    std::vector<std::string> setup;
    std::string command;
    std::function<bool()> ended;  // once the command has answered OK, before the limit
  };
  const auto answers = [](std::string query, std::string answer) {
    return [=] { return TrimBlanks(ExecCommand(query)) == answer; };
  };
  bool userRun = false;
  const auto running = [&] { return RunFlag == userRun; };  // the user's run, as it was before
  const Case cases[] = {
      {"autoscale",
       {"Trig:LowJitter Off", "GSS:Ch2 B", "Trig:PatternLockMode Off"},
       "*Autoscale Auto",
       [] { return RunFlag; }},  // it ends running
      {"channel calibration", {}, "FLASH:Calibr:AutocalCh", answers("FLASH:Calibr:AutocalResult?", "0")},
      {"TDR channel calibration",
       {"TDR:Mode TDR", "TDR:Ch1:Destination G1", "GSS:A:Waweform TDR", "TB:ScaleA 2n"},
       "TDR:Ch1:DoVertCalibr",
       running},
      // Its reference goes to M4 on the calibration's own axis (10 ns/div, 1024 points).
      {"TDT channel calibration",
       {"TDR:Mode TDT", "TDR:Ch1:Destination G1", "GSS:A:Waweform TDR", "TB:ScaleA 2n",
        "Save:Memo:Source Ch1;:Save:Memo:ToMemo M4;:Save:Memo:Save"},
       "TDR:Ch1:DoVertCalibr",
       answers("Wfm:Source M4;:Wfm:Preamb?", "1024, 1E-10, 0, s, V")},
      {"TDR correction",
       {"TDR:Ch1:Normalize Off"},
       "TDR:Ch1:Normalize On",
       answers("TDR:Ch1:Normalize?", "ON")},
      {"dark level",
       {"TDR:Ch1:Normalize Off", "TDR:Mode Off", "GSS:A:Waweform Sinewave", "OEConv:Dest Ch1"},
       "FLASH:OECalibr:AutoDarkLvl",
       running},
      {"gain", {"Shadow:OECalibr1:Wavelength 1.31e-6"}, "FLASH:OECalibr:AutoCalGain", running},
      {"pattern search",
       {"OEConv:Dest OEConv", "GSS:A:Waweform PRBS", "GSS:A:PrbsLength 7", "TB:ScaleA 20n"},
       "Trig:PatternLockMode AutoDetect",
       answers("Trig:PatternLockMode?", "OFF")},  // none of the lengths tried
      {"low-jitter reference",
       {"Trig:PatternLockMode Off", "GSS:A:Waweform Sinewave", "GSS:Ch2 A", "*Run"},
       "Trig:LowJitter On",  // taken from the user's run
       answers("F4:Operat?", "MMM")},
  };
  struct Stop {
    const char* setup;
    int cutAfter = 0;       // a counted run that saves, cut into after this many of its cycles
    bool computed = false;  // stopped on a record acquired: a function and markers read on it
  };
  const Stop stops[] = {
      {"Acq:RunUntil StopBtn;:F1:Display On;:Mark:Type MX;:*StopSingle Single", 0, true},
      {"Acq:RunUntil StopBtn"},
      {"Acq:RunUntil NAcq;:Acq:NAcq 1"},
      {"Acq:RunUntil NAcq;:Acq:NAcq 3"},
      {"Acq:RunUntil NAcq;:Acq:NAcq 1;:Acq:Ch1:Mode AvgStab;:Acq:Ch1:NAvg 4;:Acq:Ch2:Mode AvgStab;"
       ":Acq:Ch2:NAvg 4"},
      {"Acq:Ch1:Mode Sample;:Acq:Ch2:Mode Sample;:Acq:RunUntil StopBtn;:Automask:BuildAMask;"
       ":Mask:RunUntil Wfms;:Mask:NWfms 1;:Mask:Test On"},
      // The run's reactions, stopped: the files and the recording could be only the procedure's.
      {"*StopSingle Stop;:Mask:RunUntil StopBtn;:Mask:Action Save;:Automask:BuildAMask;:Mask:Test On"},
      {"Mask:EraseMask;:Meas:Display Param;:Meas:Ch1:YParam Max;:Limit1:Activ On;:Limit1:FailWhen Always;"
       ":Limit:Action Stop;:Limit:RunUntil Wfm;:Limit:NWfms 1;:Limit:TestOn On"},
      {"*StopSingle Stop;:Acq:RunUntil NAcq;:Acq:NAcq 5;:Acq:React Save;:Meas:Display Param;:Limit1:Activ On;"
       ":Limit:Action Save;:Limit:RunUntil StopBtn;:Limit:TestOn On;:Save:Disk:FileType Db;"
       ":Save:Disk:FileName rec;:Save:Disk:Save"},
      {"*StopSingle Stop;:Limit:TestOn Off;:Acq:Ch1:Mode Sample;:Acq:Ch2:Mode Sample;:Acq:RunUntil NAcq;"
       ":Acq:NAcq 5;:Acq:React Save",
       2},
  };
  const auto files = [] {
    return std::distance(fs::recursive_directory_iterator(DataFolders().BaseDir),
                         fs::recursive_directory_iterator());
  };
  // The waveform files (a recording of the row before may end in a row's run).
  const auto contents = [] {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(DataFolders().BaseDir))
      if (entry.path().extension() == ".wfm") files[entry.path()] = ReadRegularFile(entry.path()).Bytes;
    return files;
  };
  const auto shownChannels = [] {
    return (TrimBlanks(ExecCommand("Ch1:Display?")) == "ON") +
           (TrimBlanks(ExecCommand("Ch2:Display?")) == "ON");
  };
  // What the records shown tell: each one's axes and points, and the markers' readout.
  const auto points = [](const std::string& trace) {
    return std::hash<std::string>{}(ExecCommand("Wfm:Source " + trace + ";:Wfm:Data?"));
  };
  const auto shownRecords = [&](bool computed) {
    std::vector<std::string> told;
    for (const std::string trace : {"Ch1", "Ch2", "F1"})
      if (computed || trace != "F1")
        told.push_back(ExecCommand("Wfm:Source " + trace + ";:Wfm:Preamb?") + std::to_string(points(trace)));
    if (computed) told.push_back(ExecCommand("Mark:M1:XPos?"));
    return told;
  };
  TriggerSettings().PatternLengthList = {31, 63};
  TickingClock ticking(clock);
  SetProgramClock(ticking);
  const auto idleUntil = [&](const std::function<bool()>& done) {
    const int64_t start = clock.NowMs();
    while (!done() && ticking.NowMs() - start < kProcedureTimeLimitMs) ShellIdleStep();
  };
  for (const Stop& stop : stops) {
    SCOPED_TRACE(stop.setup);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const TDialogsSuppressed remote;
      ExecCommand("*Run");
      ExecCommand(stop.setup);
      for (const std::string& line : c.setup) ExecCommand(line);
      if (stop.cutAfter > 0) ExecCommand("*Run");
      idleUntil([] { return !SingleFlag; });
      userRun = RunFlag;
      const std::vector<std::string> shownBefore = shownRecords(stop.computed);
      const std::map<fs::path, std::string> before = contents();
      const ptrdiff_t written = files();
      const int channels = shownChannels();
      if (stop.cutAfter > 0)
        idleUntil([&] {
          return contents().size() >= before.size() + static_cast<size_t>(stop.cutAfter * channels);
        });
      const std::map<fs::path, std::string> cutAt = contents();
      const int64_t start = clock.NowMs();
      EXPECT_NO_THROW(ExecCommand(c.command));
      idleUntil(c.ended);
      EXPECT_TRUE(c.ended());
      EXPECT_LT(clock.NowMs() - start, kProcedureTimeLimitMs);
      const bool stopped = !RunFlag && !userRun;
      // Stopped, the screen shows again the records it stopped on.
      if (stopped) {
        EXPECT_EQ(shownRecords(stop.computed), shownBefore);
      }
      if (stop.cutAfter == 0) {
        EXPECT_EQ(files(), written);
      } else {
        // The run goes on to its count: no file of it written again, none missing.
        idleUntil([] { return !RunFlag; });
        EXPECT_FALSE(RunFlag);
        const std::map<fs::path, std::string> after = contents();
        EXPECT_EQ(after.size(), before.size() + 5 * static_cast<size_t>(channels));
        EXPECT_EQ(cutAt.size(), before.size() + 2 * static_cast<size_t>(channels));
        for (const auto& [file, bytes] : cutAt)
          if (!before.contains(file)) {
            EXPECT_EQ(after.at(file), bytes) << file;
          }
        for (const auto& [file, bytes] : after)
          if (!before.contains(file)) fs::remove(file);
      }
      // A recording made before takes the user's run.
      if (stop.cutAfter == 0) {
        EXPECT_EQ(ShownDatabaseHeader().WaveformCount, 0);
      }
      EXPECT_EQ(ExecCommand("Mask:Res? FailSmpl"), "0");
      if (stopped) {
        // And a copy keeps them.
        ExecCommand("Save:Memo:Source Ch1;:Save:Memo:ToMemo M1;:Save:Memo:Save");
        EXPECT_EQ(ExecCommand("Wfm:Source M1;:Wfm:Preamb?") + std::to_string(points("M1")), shownBefore[0]);
      }
    }
  }
  // A counted run that saves numbers its files from one, whatever was counted before a
  // client's line starts it: the jitter analysis's first cycle, open as the Run breaks it
  // (the analysis stays on); a free run stopped in the Run's own line, with a recall and the
  // default setup; the user's search that held the acquisitions. Likewise a run that becomes
  // a counted one while it runs: in one line, line by line, at the screen, by a recall.
  const std::string counted = "Acq:RunUntil NAcq;:Acq:NAcq 4;:Acq:FileName cj;:Acq:React Save";
  const std::string prbs = "GSS:A:Waweform PRBS;:GSS:A:PrbsLength 7";
  const std::string freeRun = "Acq:RunUntil StopBtn;:Acq:React Beep;:*Run";
  const std::pair<std::string, std::vector<std::string>> starts[] = {
      // the user's line, then the client's lines a cycle apart ("": Run Until at the screen)
      {"*StopSingle Stop;:" + prbs + ";:Trig:PattLen 127;:Trig:PatternLockMode Manual;:" + counted +
           ";:Jitter:JitterOn On",
       {"*Run"}},
      {"Jitter:JitterOn Off;:Acq:RunUntil StopBtn;:*Run;:Save:Setup:FileName cnt;:Save:Setup:Save",
       {"*StopSingle Stop;:Save:Setup:Recall;:*DefSetup Default;:" + counted + ";:*Run"}},
      {"*StopSingle Stop;:" + prbs + ";:TB:ScaleA 20n;:Trig:PatternLockMode AutoDetect",
       {counted + ";:*Run"}},
      {freeRun, {counted + ";:*Run"}},
      {freeRun, {"Acq:RunUntil NAcq", "Acq:NAcq 4", "Acq:FileName cj", "Acq:React Save", "*Run"}},
      {"Acq:RunUntil StopBtn;:*Run", {""}},
      {"*StopSingle Stop;:" + counted +
           ";:Save:Setup:FileName cnt4;:Save:Setup:Save;:Acq:NAcq 999;:Acq:React Beep;:*Run",
       {"Save:Setup:Recall"}},
  };
  for (const auto& [user, lines] : starts) {
    SCOPED_TRACE(user);
    const std::map<fs::path, std::string> before = contents();
    ExecCommand(user);
    idleUntil([] { return AcqCycleRunning && (!RunFlag || AcquisitionCycle().AcqCycleCount(2) >= 3); });
    for (const std::string& line : lines) {
      const int cycles = AcquisitionCycle().AcqCycleCount(2);
      idleUntil([&] { return AcquisitionCycle().AcqCycleCount(2) != cycles; });
      const TDialogsSuppressed remote;
      line.empty()
          ? dynamic_cast<TRadioSwHandler&>(*RootSpider->FindHandler("Acq:RunUntil")).SetIndexBySwitcher(1)
          : void(ExecCommand(line));
    }
    idleUntil([] { return !RunFlag && !PatternSearchRun().SearchActive; });
    EXPECT_FALSE(RunFlag);
    EXPECT_EQ(JitterObj() != nullptr, lines == std::vector<std::string>{"*Run"});
    std::set<std::string> numbers;
    size_t saved = 0;
    for (const auto& [file, bytes] : contents()) {
      if (before.contains(file)) continue;
      numbers.insert(file.filename().string().substr(0, 8));
      fs::remove(file);
      ++saved;
    }
    EXPECT_EQ(numbers, (std::set<std::string>{"cj_00001", "cj_00002", "cj_00003", "cj_00004"}));
    EXPECT_EQ(saved, 4 * static_cast<size_t>(shownChannels()));
  }
  SetProgramClock(clock);
}

// A procedure asked for beside another does not start: it answers at once, naming the one
// that runs, which goes on to its own end: a client's search, the user's O/E calibration.
TEST_F(ProcedureTimeLimitTest, AProcedureAskedForBesideAnotherIsRefusedNamingIt) {
  struct Request {
    std::string name, command, query;  // the query of a setting that asked for it: taken back
  };
  const Request requests[] = {
      {"the autoscale", "*Autoscale Auto", ""},
      {"the auto-calibration", "FLASH:Calibr:AutocalCh", ""},
      {"the TDR/TDT channel calibration", "TDR:Ch1:DoVertCalibr", ""},
      {"the TDR/TDT correction", "TDR:Ch1:Normalize On", "TDR:Ch1:Normalize?"},
      {"the O/E dark level calibration", "FLASH:OECalibr:AutoDarkLvl", ""},
      {"the O/E gain calibration", "FLASH:OECalibr:AutoCalGain", ""},
      {"the pattern search", "Trig:PatternLockMode AutoDetect", "Trig:PatternLockMode?"},
      {"the low-jitter reference", "Trig:LowJitter On", "Trig:LowJitter?"},
      {"the jitter analysis", "Jitter:JitterOn On", "Jitter:JitterOn?"},
  };
  TickingClock ticking(clock);
  SetProgramClock(ticking);
  TriggerSettings().PatternLengthList = {31, 63};
  OEConvHooks.OpenCalibrationWindow.Set([] { return true; });
  const TOECalibrationRun& oe = OEConvState().Run;
  // What runs: a client's search, the user's O/E dark level in its window, a client's
  // low-jitter reference, the user's jitter analysis. Each goes on to its end (the search
  // finds none of the lengths, the user accepts the calibration, the reference is built, the
  // analysis is switched off).
  struct Running {
    std::string name;
    std::function<void()> start;
    std::function<bool()> runs;
    std::function<bool()> end;  // true when it ended as it would have alone
    // Requests it does not refuse: its own (on already), one that ends it (a change of the lock).
    std::vector<std::string> free = {};
    // One that holds the screen while it runs (its window): it starts, runs `asked`
    // meanwhile and ends (start and end unused). Its first question: see
    // AnAnswerAfterAWayOutStartsNothing.
    std::function<void(const std::function<void()>& asked)> around = {};
  };
  const auto client = [](const char* line) {
    return [line] {
      const TDialogsSuppressed remote;
      ExecCommand(line);
    };
  };
  const auto idle = [&](const std::function<bool()>& running) {
    const int64_t start = clock.NowMs();
    while (running() && clock.NowMs() - start < kProcedureTimeLimitMs) ShellIdleStep();
  };
  const Running runnings[] = {
      {"the pattern search",
       client("GSS:A:Waweform PRBS;:GSS:A:PrbsLength 7;:GSS:Ch1 A;:TB:ScaleA 20n;:Trig:PatternLockMode "
              "AutoDetect"),
       [] { return PatternSearchRun().SearchActive; },
       [&] {
         idle([] { return PatternSearchRun().SearchActive; });
         return TrimBlanks(ExecCommand("Trig:PatternLockMode?")) == "OFF";
       },
       {"the pattern search"}},
      {"the O/E dark level calibration",
       [&] {
         client("Trig:PatternLockMode Off;:OEConv:Dest Ch1")();
         dialogs.answers = {TAnswer::OK};  // to the calibration's question
         StartOECalibration(false, true);
       },
       [&] { return oe.State != TOECalState::Idle; },
       [&] {
         idle([&] { return oe.State != TOECalState::Idle && oe.State != TOECalState::Finish; });
         EndOECalibration(true);
         return OEConvState().LastRunSucceeded;
       }},
      {"the low-jitter reference",
       client(
           "Trig:LowJitter Off;:OEConv:Dest OEConv;:GSS:A:Waweform Sinewave;:GSS:Ch2 A;:Trig:LowJitter On"),
       [] { return LowJitterState().Running; },
       [&] {
         idle([] { return LowJitterState().Running; });
         return TrimBlanks(ExecCommand("F4:Operat?")) == "MMM";
       },
       {"the low-jitter reference"}},
      {"the jitter analysis",
       [&] {
         client(
             "Trig:LowJitter Off;:GSS:A:Waweform PRBS;:GSS:Ch1 A;:TB:ScaleA 20n;:Trig:PattLen 127;"
             ":Trig:PatternLockMode Manual")();
         ExecCommand("Jitter:JitterOn On");
       },
       [] { return JitterObj() != nullptr; },
       [] {
         ExecCommand("Jitter:JitterOn Off");
         return JitterObj() == nullptr;
       },
       {"the autoscale", "the pattern search", "the jitter analysis"}},
      {"the autoscale",
       {},
       [] { return RunningProcedure() == TProcedure::Autoscale; },
       {},
       {"the pattern search"},  // the lock is its ground: its change ends it
       [](const std::function<void()>& asked) {
         ExecCommand("GSS:Ch1 A;:Trig:PatternLockMode Off");
         AutoscaleHooks.ShowProgressWindow.Set([&] {
           asked();
           return false;  // its Cancel
         });
         ExecCommand("*Autoscale Auto");
         AutoscaleHooks.ShowProgressWindow.Reset();
       }},
  };
  for (const Running& running : runnings) {
    for (const Request& r : requests) {
      if (std::ranges::find(running.free, r.name) != running.free.end()) continue;
      SCOPED_TRACE(running.name + " / " + r.name);
      bool asked = false;
      const auto ask = [&] {
        asked = true;
        ASSERT_TRUE(running.runs());
        const std::string refusal = "Cannot start " + r.name + ": " + running.name + " is running";
        const int64_t start = clock.NowMs();
        EXPECT_EQ(test::AssertionText([&] {
                    const TDialogsSuppressed remote;
                    ExecCommand(r.command);
                  }),
                  refusal);
        EXPECT_LT(clock.NowMs() - start, 100);
        if (!r.query.empty()) {
          EXPECT_EQ(TrimBlanks(ExecCommand(r.query)), "OFF");
        }
        dialogs.shown.clear();
        ExecCommand(r.command);  // at the screen: a box
        EXPECT_EQ(dialogs.shown, std::vector<std::string>{SuppressedLogLine(TMessageKind::Error, refusal)});
        EXPECT_TRUE(running.runs());
      };
      if (running.around) {
        running.around(ask);
        EXPECT_EQ(RunningProcedure(), TProcedure::None);
      } else {
        running.start();
        ask();
        EXPECT_TRUE(running.end());
      }
      EXPECT_TRUE(asked);
    }
  }
  // Without a pattern lock to run on, the analysis is refused too: the client hears why.
  ExecCommand("Trig:PatternLockMode Off");
  EXPECT_EQ(test::AssertionText([] {
              const TDialogsSuppressed remote;
              ExecCommand("Jitter:JitterOn On");
            }),
            GetLangStr("ToMkJitterMeas"));
  EXPECT_EQ(TrimBlanks(ExecCommand("Jitter:JitterOn?")), "OFF");
  SetProgramClock(clock);
}

// The jitter analysis an autoscale ends as it starts (it switches the pattern lock off) runs
// again on the lock given back, after a client's autoscale that succeeds and the user's
// Cancel in its window; a lock whose clock has slowed meanwhile cannot come back: the
// analysis stays off and its starter is told why.
TEST_F(ProcedureTimeLimitTest, TheJitterAnalysisAnAutoscaleEndsRunsAgainAfterIt) {
  const std::tuple<const char*, bool, const char*, bool> cases[] = {
      {"success", false, "", true},
      {"Cancel", true, "", true},
      {"Cancel, the clock slowed", true, "GSS:A:StdFreq Custom;:GSS:A:Frequency 1M", false}};
  const std::string why = SuppressedLogLine(TMessageKind::Error, GetLangStr("ToMkJitterMeas"));
  ExecCommand("GSS:A:Waweform PRBS;:GSS:A:PrbsLength 7;:GSS:Ch1 A;:TB:ScaleA 20N;:Trig:PattLen 127");
  for (const auto& [name, window, meanwhile, runs] : cases) {
    SCOPED_TRACE(name);
    ExecCommand("Trig:PatternLockMode Manual;:Jitter:JitterOn On");
    AutoscaleHooks.ShowProgressWindow.Set([meanwhile] {
      for (int i = 0; i < 20; ++i) ShellIdleStep();
      if (*meanwhile) ExecCommand(meanwhile);
      return false;
    });
    dialogs.shown.clear();
    const TDialogsSuppressed remote(!window);
    EXPECT_NO_THROW(ExecCommand("*Autoscale Auto"));
    EXPECT_EQ(TrimBlanks(ExecCommand("Jitter:JitterOn?")), runs ? "ON" : "OFF");
    EXPECT_EQ(JitterObj() != nullptr, runs);
    EXPECT_EQ(std::count(dialogs.shown.begin(), dialogs.shown.end(), why), runs ? 0 : 1);
  }
  AutoscaleHooks.ShowProgressWindow.Reset();
}

// The user's procedure asks the user, whatever lines a client sends meanwhile: its steps
// wait out each line (a save there waits for its record), and its question comes at the
// screen once the lines stop, never answered in the log by the client's line, nor inside
// the idle pass whose step asks it.
TEST_F(ProcedureTimeLimitTest, AUsersProcedureAsksTheUserWhateverLinesAClientSends) {
  struct Case {
    const char* name;
    std::function<void()> start;  // at the screen
    std::string asked;            // the first line of what it asks or tells
    std::function<bool()> ended;
  };
  std::unique_ptr<TTdrChannelCalibration> calibration;
  bool closed = false;
  const Case cases[] = {
      {"TDR channel calibration",
       [&] {
         ExecCommand("TDR:Mode TDR;:TDR:Ch1:Destination G1;:GSS:A:Waweform TDR;:TB:ScaleA 2n");
         calibration = std::make_unique<TTdrChannelCalibration>(2, true, true);
         calibration->OnClose = [&](bool) { closed = true; };
         ASSERT_TRUE(calibration->Start());
       },
       "[question] Disconnect the 50-Ohm Termination from the reference plane.", [&] { return closed; }},
      {"pattern search",
       [] {
         ExecCommand("TDR:Mode Off;:GSS:A:Waweform PRBS;:GSS:A:PrbsLength 7;:GSS:Ch1 A;:TB:ScaleA 20n");
         ExecCommand("Trig:PatternLockMode AutoDetect");
       },
       "[information] " + GetLangStr("PatternNOTFound"), [] { return !PatternSearchRun().SearchActive; }},
  };
  TriggerSettings().PatternLengthList = {31, 63};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExecCommand("Save:Memo:ToMemo M4;:*Run");
    c.start();
    dialogs.shown.clear();
    DialogState.SuppressedLog.clear();
    // Each acquisition starts at the screen and ends in a client's save, which waits for it.
    for (int n = 0; n < 200 && !c.ended(); ++n) {
      for (int i = 0; i < 1000 && !AcqCycleRunning; ++i) RunIdlePass(ShellIdleStep);
      ASSERT_TRUE(AcqCycleRunning);
      const TDialogsSuppressed client;
      ExecCommand("Save:Memo:Save");
    }
    EXPECT_FALSE(c.ended());
    EXPECT_TRUE(dialogs.shown.empty());
    for (const std::string& line : DialogState.SuppressedLog) EXPECT_NE(line, c.asked);
    dialogs.answers = {TAnswer::OK};
    for (int i = 0; i < 200000 && !c.ended(); ++i) RunIdlePass(ShellIdleStep);
    EXPECT_TRUE(c.ended());
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.front().substr(0, c.asked.size()), c.asked);
  }
  calibration.reset();
}

// Each procedure's first question stands while the user's run goes on, and is asked for
// the procedure's life: a way out while it stands (its Cancel, a Stop, the close, an
// instrument switch, its own switch off, its ground set) ends it, tells why, and an OK
// answered afterwards starts nothing and leaves every setting as it was; a client's request
// for it or for another procedure meanwhile is refused naming it.
TEST_F(ProcedureTimeLimitTest, AnAnswerAfterAWayOutStartsNothing) {
  struct Question {
    const char* name;
    std::string setup;                     // a client's lines first
    std::function<void()> ask;             // at the screen
    std::string procedure;                 // what stands, as refusals name it
    std::string own = {}, ground = {};     // a client's lines: its switch off, its ground set (a set
                                           // to the value it holds is a set)
    std::string movedTold = {};            // what the ground set tells
    std::string same = {}, sameName = {};  // a client's request for it (or one on its ground)
    bool endsOnStop = true;
    bool standsAfterStop = false;  // its question stays open after a Stop, refusing `same`
  };
  const std::string tdr =
      "OEConv:Dest OEConv;:TDR:Ch1:Normalize Off;:TDR:Mode TDR;:TDR:Ch1:Destination G1;:GSS:A:Waweform TDR;"
      ":*Run";
  const std::string oe = "TDR:Ch1:Normalize Off;:TDR:Mode Off;:OEConv:Dest Ch1;:*Run";
  const Question questions[] = {
      // A result no run leaves.
      {"channel calibration",
       "TDR:Mode Off;:OEConv:Dest OEConv;:TB:ScaleA 5n;:Acq:Ch1:RecLen 512;:FLASH:Calibr:AutocalResult "
       "7;:*Run",
       [] { RunCalibration(kCalibrateChannels, kCalReasonNone, true); }, "the auto-calibration", "", "", "",
       "FLASH:Calibr:AutocalCh", "the auto-calibration", true, true},
      {"time-base calibration", "TDR:Mode Off;:OEConv:Dest OEConv;:FLASH:Calibr:AutocalResult 7;:*Run",
       [] { RunCalibration(kCalibrateTimeBase, kCalReasonNone, true); }, "the auto-calibration", "", "", "",
       "FLASH:Calibr:AutocalTB", "the auto-calibration", true, true},
      {"TDR correction", tdr, [] { ExecCommand("TDR:Ch1:Normalize On"); }, "the TDR/TDT correction",
       "TDR:Ch1:Normalize Off", "TDR:Mode TDR", "TDR:MODE", "TDR:Ch2:Normalize On", "the TDR/TDT correction"},
      {"TDR channel calibration", tdr,
       [] { RootSpider->FindHandler("TDR:Ch1:DoVertCalibr")->ExecuteBySwitcher(); },
       "the TDR/TDT channel calibration", "", "TDR:Ch1:Polar Positive", "TDR:CH1:POLAR",
       "TDR:Ch1:DoVertCalibr", "the TDR/TDT channel calibration"},
      {"O/E dark level", oe, [] { StartOECalibration(false, true); }, "the O/E dark level calibration", "",
       "OEConv:Dest Ch1", "OECONV:DEST", "FLASH:OECalibr:AutoCalGain", "the O/E gain calibration"},
      // Its ground set: the client's change stands, and the answer builds on nothing.
      {"O/E destination", "TDR:Ch1:Normalize Off;:TDR:Mode Off;:OEConv:Dest OEConv;:*Run",
       [] { ExecCommand("OEConv:Dest Ch1"); }, "the O/E converter's cable question", "", "OEConv:Dest OEConv",
       "", "FLASH:OECalibr:AutoDarkLvl", "the O/E dark level calibration", false},
  };
  enum class Way { Cancel, Stop, Close, Switch, Own, Ground, Same, Other };
  const char* const kWays[] = {"Cancel", "Stop", "close", "switch", "own switch", "ground", "same", "other"};
  const auto client = [](const std::string& line) {
    const TDialogsSuppressed remote;
    return test::AssertionText([&] { ExecCommand(line); });
  };
  const auto settings = [] {
    std::vector<std::string> lines;
    RootSpider->DumpSettings(lines);
    std::string text = ExecCommand("FLASH:Calibr:AutocalResult?");
    // The demo's circuit stands for the cables the user is asked to connect.
    for (const std::string& line : lines)
      if (!line.starts_with("GSS:A:TDRCIRCUIT")) text += "\n" + line;
    return text;
  };
  const auto acquisitions = [] { return AcquisitionCycle().EndedCycleCounts()[0]; };
  dialogs.idlePass = ShellIdleStep;
  dialogs.idlePasses = 40;
  for (const Question& q : questions) {
    for (const Way way :
         {Way::Cancel, Way::Stop, Way::Close, Way::Switch, Way::Own, Way::Ground, Way::Same, Way::Other}) {
      if ((way == Way::Stop && !q.endsOnStop) || (way == Way::Own && q.own.empty()) ||
          (way == Way::Ground && q.ground.empty()) || (way == Way::Same && q.same.empty()))
        continue;
      SCOPED_TRACE(std::string(q.name) + " / " + kWays[static_cast<size_t>(way)]);
      client(q.setup);
      const std::string before = settings();
      const int acquired = acquisitions();
      std::string told, refusal;
      const bool asks = way == Way::Cancel || way == Way::Same || way == Way::Other;
      dialogs.answers = {asks ? TAnswer::Cancel : TAnswer::OK};
      dialogs.shown.clear();
      dialogs.whileShown = [&, sent = false]() mutable {
        if (std::exchange(sent, true)) return;
        EXPECT_GT(acquisitions(), acquired);
        const std::string stopped = GetLangStr("ProcStopped"), other = GetLangStr("ProcInstrumentSwitch");
        switch (way) {
          case Way::Cancel:
            break;
          case Way::Stop:
            client("*StopSingle Stop");
            told = stopped;
            if (q.standsAfterStop) refusal = client(q.same);
            break;
          case Way::Close:
            CancelAllProcedures({});
            break;
          case Way::Switch:
            CancelAllProcedures(other);
            told = other;
            break;
          case Way::Own:
            client(q.own);
            told = "TDR:CH1:NORMALIZE was set meanwhile";
            break;
          case Way::Ground:
            client(q.ground);
            if (!q.movedTold.empty()) told = q.movedTold + " was set meanwhile";
            break;
          case Way::Same:
            refusal = client(q.same);
            break;
          case Way::Other:
            refusal = client("*Autoscale Auto");
            break;
        }
      };
      q.ask();
      dialogs.whileShown = nullptr;
      EXPECT_EQ(RunningProcedure(), TProcedure::None);
      EXPECT_EQ(settings(), before);
      ASSERT_FALSE(dialogs.shown.empty());
      EXPECT_EQ(dialogs.shown[0].substr(0, 10), "[question]");
      const std::vector<std::string> after(dialogs.shown.begin() + 1, dialogs.shown.end());
      std::vector<std::string> expected;
      if (!told.empty()) expected.push_back("[warning] Cancelled " + q.procedure + ": " + told);
      EXPECT_EQ(after, expected);
      if (way == Way::Same || way == Way::Other || (way == Way::Stop && q.standsAfterStop)) {
        const std::string asked = way == Way::Other ? "the autoscale" : q.sameName;
        EXPECT_EQ(refusal, "Cannot start " + asked + ": " + q.procedure + " is running");
      }
    }
  }
}

// A write interrupted by the end of its process leaves its temporary file; the next write
// of the same target removes it, and nothing of a live writer or another target.
TEST(SetupFileTest, TemporaryFilesOfGoneWritersGoAtTheNextWrite) {
  const pid_t gone = fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) _exit(0);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
  const fs::path dir = test::MakeTempDir("stale");
  const auto temporary = [&](const std::string& target, const std::string& id) {
    return dir / ("." + target + "." + id + ".tmp");
  };
  const std::string goneId = std::to_string(gone), liveId = std::to_string(getppid());
  const fs::path stale = temporary("a.set", goneId);
  const std::vector<fs::path> kept = {temporary("a.set", liveId), temporary("b.set", goneId),
                                      temporary("a.set", "x" + goneId), temporary("a.set.bak", goneId)};
  for (const fs::path& p : kept) std::ofstream(p) << "x";
  std::ofstream(stale) << "x";
  ASSERT_TRUE(WriteFileAtomically(dir / "a.set", "new\n"));
  EXPECT_FALSE(fs::exists(stale));
  for (const fs::path& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
}

// Each button of the start-up question leads to its own answer; buttons not offered are
// not there to be chosen.
TEST(SetupFileTest, AFailedWriteLeavesTheTargetAndNoTemporaryFile) {
  const fs::path dir = test::MakeTempDir("atomic");
  const fs::path file = dir / "a.set";
  ASSERT_TRUE(WriteFileAtomically(file, "old\n"));
  ASSERT_TRUE(WriteFileAtomically(file, "new\n"));
  // A folder in the target's place cannot be replaced by the rename.
  const fs::path blocked = dir / "b.set";
  fs::create_directories(blocked / "inside");
  EXPECT_FALSE(WriteFileAtomically(blocked, "x\n"));
  EXPECT_TRUE(fs::is_directory(blocked / "inside"));
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1) << "a temporary file was left behind";
  std::ifstream in(file);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "new\n");
  EXPECT_EQ(InstrumentFileName("My Unit: 2/3"), "My_Unit__2_3");
}

// Client sizes at the thresholds: each part goes as the window gets one pixel smaller.
TEST(MainLayoutTest, PartsShrinkAwayAtTheirThresholds) {
  struct Case {
    int w, h;
    bool menu, permanent, left, right;
  };
  const Case cases[] = {
      {792, 575, true, true, true, true},   {792, 301, true, true, true, true},
      {792, 300, false, true, true, true},  {792, 251, false, true, true, true},
      {792, 250, false, false, true, true}, {641, 575, true, true, true, true},
      {640, 575, true, true, true, false},  {251, 575, true, true, true, false},
      {250, 575, true, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const TMainLayout l = ComputeMainLayout(c.w, c.h, 62);
    EXPECT_EQ(l.MainMenuVisible, c.menu);
    EXPECT_EQ(l.PermanentVisible, c.permanent);
    EXPECT_EQ(l.LeftPanelVisible, c.left);
    EXPECT_EQ(l.RightPanelVisible, c.right);
  }
  // The default size by hand: top 24, 575 - 24 - 49 = 502 available; panels at 24 + 30.
  const TMainLayout d = ComputeMainLayout(792, 575, 62);
  EXPECT_EQ(d.CommandRow, (TRectI{70, 0, 722, 20}));
  EXPECT_EQ(d.MainMenu, (TRectI{0, 526, 792, 49}));
  EXPECT_EQ(d.Scope, (TRectI{124, 24, 548, 450}));
  EXPECT_EQ(d.Permanent, (TRectI{124, 476, 548, 50}));
  EXPECT_EQ(d.LeftPanel, (TRectI{6, 54, 111, 460}));
  EXPECT_EQ(d.RightPanel, (TRectI{675, 54, 111, 460}));
  EXPECT_EQ(d.LeftCaption, (TRectI{6, 29, 111, 21}));
  // Wide: the main menu is centred; small: the panels slide down to keep 410 pixels.
  EXPECT_EQ(ComputeMainLayout(1000, 575, 62).MainMenu.Left, 104);
  // 400 - 24 - 49 = 327 available: the caption at the top, the page below it.
  EXPECT_EQ(ComputeMainLayout(792, 400, 62).LeftCaption.Top, 24);
  EXPECT_EQ(ComputeMainLayout(792, 400, 62).LeftPanel, (TRectI{6, 46, 111, 305}));
  EXPECT_EQ(ComputeMainLayout(792, 30, 62).Scope, (TRectI{124, 4, 548, 32}));
}

TEST(MainLayoutTest, DefaultPlaceStaysOnTheScreen) {
  EXPECT_EQ(DefaultWindowPlace(100, 100, 892, 675, 1920, 1080).Left, 150);
  EXPECT_EQ(DefaultWindowPlace(100, 100, 892, 675, 1920, 1080).Top, 150);
  EXPECT_EQ(DefaultWindowPlace(1500, 900, 792, 575, 1920, 1080).Left, 1128);
  EXPECT_EQ(DefaultWindowPlace(1500, 900, 792, 575, 1920, 1080).Top, 455);
  EXPECT_EQ(DefaultWindowPlace(0, 0, 100, 100, 640, 480).Left, 0);
}

}  // namespace
}  // namespace norv
