// The program's close with changed constants (offline, through the shell's close query)
// and the sampler settings sent at the end with an instrument.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <optional>

#include "framework/language/language.h"
#include "framework/text/ini_file.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "service/adjust_access.h"
#include "service/calibration_fixture.h"
#include "service/exit_sampler_settings.h"
#include "shell/shell_fixture.h"

namespace norv::test {
namespace {

namespace fs = std::filesystem;

TEST_F(CalibrationOnInstrumentTest, TheExitSettingsDependOnFirmwareAndLogic) {
  struct Case {
    const char* firmware;
    int logic;
    bool sent;
  };
  const Case cases[] = {{"3.7.3", 3, false}, {"3.7.4", 2, false}, {"3.7.4", 3, true}, {"3.12.1", 17, true}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.firmware);
    InstrumentIdentity.SWVer.Text = k.firmware;
    ParseVersionText(InstrumentIdentity.SWVer);
    InstrumentIdentity.FPGAVer.Text = "0." + std::to_string(k.logic);
    ParseVersionText(InstrumentIdentity.FPGAVer);
    instrument.ClearCommands();
    ApplyExitSamplerSettings();
    EXPECT_TRUE(ClosingFlag);
    Sync();
    std::vector<std::string> commands = instrument.Commands();
    commands.pop_back();  // the sync query
    const std::vector<std::string> expected = {"STENDSAMPL:WITHOUTSTROBE On", "STENDSAMPL:SMPLTBON Off",
                                               "STENDSAMPL:WITHOUTLINEAR On", "STENDSAMPL:SMPLTBJTR 0"};
    EXPECT_EQ(commands, k.sent ? expected : std::vector<std::string>{});
  }
  // The demo instrument gets nothing (the link stays open only to prove it).
  instrument.ClearCommands();
  LinkKind = TLinkKind::Demo;
  ApplyExitSamplerSettings();
  LinkKind = TLinkKind::LAN;
  Sync();
  EXPECT_EQ(instrument.Commands(), std::vector<std::string>{"Sync?"});
}

class CloseWithConstantsTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    Start();
  }
  void Start() {
    FillCalibrationSlots();
    InstallCalibration();
    InstallAdjustAccess();
    RegisterCalibrationCommands();  // the registration pass has run already
    ASSERT_TRUE(StartWithInstrument(true));
    // The start read the constants and left nothing to store.
    ASSERT_FALSE(FlashChange().CalibrationChanged);
    ASSERT_FALSE(FlashChange().AdjustmentChanged);
  }
  // The program started anew on the same folder.
  void Restart() {
    ShellTest::Restart();
    Start();
  }
  static std::string Ask(const std::string& query) { return RootSpider->ExecCommandLine(query, false); }
};

// What the close stored is what the next start shows: Yes to the adjustments stores the
// calibration set as well, which the start recalls.
TEST_F(CloseWithConstantsTest, ConstantsConfirmedAtCloseComeBackAtTheNextStart) {
  struct Case {
    const char* name;
    bool suppressed;
    std::vector<const char*> lines;
  };
  const Case cases[] = {
      {"both changed, Yes", false, {"FLASH:Calibr:Ch1Full:BridgeVolt 2.2", "FLASH:Calibr:CoarseDelay 7"}},
      {"both changed, closed without dialogs",
       true,
       {"FLASH:Calibr:Ch1Full:BridgeVolt 2.3", "FLASH:Calibr:LevelZero 12"}},
      {"only adjustments, Yes", false, {"FLASH:Calibr:CoarseDelay 9", "FLASH:Calibr:LevelZero -20"}},
  };
  Ask("Header Off");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ASSERT_TRUE(SubmitAdjustAccessCode("KR4-62M"));
    for (const char* line : k.lines) Ask(line);
    std::vector<std::pair<std::string, std::string>> confirmed;
    for (const char* node :
         {"FLASH:Calibr:Ch1Full:BridgeVolt", "FLASH:Calibr:CoarseDelay", "FLASH:Calibr:LevelZero"})
      confirmed.emplace_back(node, Ask(std::string(node) + "?"));
    dialogs.answers = {TAnswer::Yes};
    {
      std::optional<TDialogsSuppressed> quiet;
      if (k.suppressed) quiet.emplace();
      ASSERT_TRUE(CloseQuery());
    }
    Restart();
    Ask("Header Off");
    for (const auto& [node, answer] : confirmed) EXPECT_EQ(Ask(node + "?"), answer) << node;
  }
}

TEST_F(CloseWithConstantsTest, ChangedCalibrationIsStoredOnYesKeptOnNoAndCancelKeepsTheProgramOpen) {
  const std::string question =
      SuppressedLogLine(TMessageKind::Confirmation, GetLangStr("QueSaveCalibration"));
  const fs::path file = ProgramDir() / "CalibrImit.ini";
  struct Case {
    const char* name;
    TAnswer answer;
    bool allowed, stored;
  };
  const Case cases[] = {{"Cancel", TAnswer::Cancel, false, false},
                        {"No", TAnswer::No, true, false},
                        {"Yes", TAnswer::Yes, true, true}};
  int fineTB = 20000;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    fs::remove(file);
    RootSpider->ExecCommandLine("FLASH:Calibr:FineTB " + std::to_string(++fineTB), false);
    ASSERT_TRUE(FlashChange().CalibrationChanged);
    dialogs.shown.clear();
    dialogs.answers = {k.answer};
    EXPECT_EQ(CloseQuery(), k.allowed);
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{question});
    EXPECT_EQ(fs::exists(file), k.stored);
    EXPECT_EQ(FlashChange().CalibrationChanged, !k.stored);
    if (k.stored) {
      TMemIniFile_Dot ini(file);
      EXPECT_EQ(ini.ReadInteger(CalibrImitSectionPrefix(false) + "Calibr:TB:", "GainDAC", 0), fineTB);
    }
    ClosingFlag = false;
  }
}

TEST_F(CloseWithConstantsTest, WithDialogsSuppressedTheConstantsAreStoredWithoutAQuestion) {
  RootSpider->ExecCommandLine("FLASH:Calibr:FineTB 20000", false);
  {
    const TDialogsSuppressed quiet;
    EXPECT_TRUE(CloseQuery());
  }
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(FlashChange().CalibrationChanged);
  EXPECT_TRUE(fs::exists(ProgramDir() / "CalibrImit.ini"));
}

}  // namespace
}  // namespace norv::test

namespace norv::test {
namespace {

// The shell's close query against the fake instrument: the questions, the store in its
// flash and the sampler's exit settings.
class CloseOnInstrumentTest : public CalibrationOnInstrumentTest {
 protected:
  void SetUp() override {
    CalibrationOnInstrumentTest::SetUp();
    InitDataFolders();
    CreateAcquisitionCycle(clock, timers);
    InstallCalibration();
    InstallAdjustAccess();
    ShellHooks.ApplyExitSamplerSettings.Set(ApplyExitSamplerSettings);
    instrument.SetDelayedReply("Calibr:Store?", "3", clock, kFlashStoreWaitMs);
    instrument.SetDelayedReply("Calibr:AdjStore?", "3", clock, kFlashStoreWaitMs);
  }

  bool Received(const std::string& line) {
    Sync();
    const std::vector<std::string> commands = instrument.Commands();
    return std::find(commands.begin(), commands.end(), line) != commands.end();
  }

  FakeClock timers;
};

TEST_F(CloseOnInstrumentTest, TheAnswersToTheCloseQuestions) {
  const std::string adj = SuppressedLogLine(TMessageKind::Confirmation, GetLangStr("QueSaveAdjusting"));
  const std::string cal = SuppressedLogLine(TMessageKind::Confirmation, GetLangStr("QueSaveCalibration"));
  struct Case {
    const char* name;
    std::deque<TAnswer> answers;
    std::vector<std::string> shown;
    bool allowed, adjustStored, calibrStored;
  };
  const Case cases[] = {
      {"Cancel", {TAnswer::Cancel}, {adj}, false, false, false},
      {"No, then Cancel", {TAnswer::No, TAnswer::Cancel}, {adj, cal}, false, false, false},
      {"No, No", {TAnswer::No, TAnswer::No}, {adj, cal}, true, false, false},
      {"No, Yes", {TAnswer::No, TAnswer::Yes}, {adj, cal}, true, false, true},
      {"Yes stores the adjustment set and the changed calibration", {TAnswer::Yes}, {adj}, true, true, true},
  };
  int value = 100;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    RootSpider->ExecCommandLine("FLASH:Calibr:FineDelay " + std::to_string(++value), false);
    RootSpider->ExecCommandLine("FLASH:Calibr:FineTB " + std::to_string(20000 + value), false);
    Sync();
    instrument.ClearCommands();
    dialogs.shown.clear();
    dialogs.answers = k.answers;
    EXPECT_EQ(CloseQuery(), k.allowed);
    EXPECT_EQ(dialogs.shown, k.shown);
    EXPECT_EQ(Received("Calibr:AdjStore?"), k.adjustStored);
    EXPECT_EQ(Received("Calibr:Store?"), k.calibrStored);
    EXPECT_EQ(Received("STENDSAMPL:WITHOUTSTROBE On"), k.allowed);
    EXPECT_EQ(FlashChange().AdjustmentChanged, !k.adjustStored);
    EXPECT_EQ(FlashChange().CalibrationChanged, !k.adjustStored && !k.calibrStored);
    ClosingFlag = false;
  }
}

TEST_F(CloseOnInstrumentTest, AStoreOnlyIntoFATKeepsTheProgramOpen) {
  instrument.SetDelayedReply("Calibr:Store?", "1", clock, kFlashStoreWaitMs);
  RootSpider->ExecCommandLine("FLASH:Calibr:FineTB 20000", false);
  dialogs.answers = {TAnswer::Yes};
  EXPECT_FALSE(CloseQuery());
  EXPECT_TRUE(FlashChange().CalibrationChanged);
  EXPECT_FALSE(Received("STENDSAMPL:WITHOUTSTROBE On"));
}

TEST_F(CloseOnInstrumentTest, AdjustmentsReachTheCloseQuestionOnlyBehindTheAccessCode) {
  const std::string adj = SuppressedLogLine(TMessageKind::Confirmation, GetLangStr("QueSaveAdjusting"));
  ResetAdjustAccess();
  // The command sets the constant, but without access the close asks nothing about it.
  RootSpider->ExecCommandLine("FLASH:Calibr:FineDelay 101", false);
  EXPECT_TRUE(FlashChange().AdjustmentChanged);
  dialogs.shown.clear();
  EXPECT_TRUE(CloseQuery());
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(Received("Calibr:AdjStore?"));
  ClosingFlag = false;

  ASSERT_TRUE(SubmitAdjustAccessCode("KR4-62M"));
  RootSpider->ExecCommandLine("FLASH:Calibr:FineDelay 102", false);
  dialogs.answers = {TAnswer::Yes};
  EXPECT_TRUE(CloseQuery());
  EXPECT_EQ(dialogs.shown, std::vector<std::string>{adj});
  EXPECT_TRUE(Received("Calibr:AdjStore?"));
  EXPECT_FALSE(Received("Calibr:Store?")) << "the instrument's calibration set did not change";
}

}  // namespace
}  // namespace norv::test
