// Recall and store of the calibration and adjustment constants, with the instrument's
// answers and without an instrument ("CalibrImit.ini").

#include "service/flash_constants.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "framework/settings/choice_handlers.h"
#include "framework/text/ini_file.h"
#include "framework/util/file_io.h"
#include "service/calibration_fixture.h"
#include "service/oe_converter.h"
#include "shell/shell_state.h"
#include "tdr_mask/generator_settings.h"

namespace norv::test {
namespace {

namespace fs = std::filesystem;

TEST(FlashCodes, RawCodesAndValuesConvertBothWays) {
  // Bridge: P = 40000 x 6.25e-5 = 2.5 V, M = -(24000 x 6.25e-5) = -1.5 V.
  const TBridgeValues v = BridgeFromCodes({40000, 24000});
  EXPECT_DOUBLE_EQ(v.BridgeVolt, 2.0);
  EXPECT_DOUBLE_EQ(v.Balance, 0.5);
  const TBridgeCodes c = CodesFromBridge({2.0, 0.5});
  EXPECT_EQ(c.PlusD, 40000);
  EXPECT_EQ(c.MinusD, 24000);
  struct Case {
    const char* name;
    double (*toValue)(int32_t);
    int32_t (*toCode)(double);
    int32_t code;
    double value;
  };
  const Case cases[] = {
      {"SRD", SrdFromCode, CodeFromSrd, 8192 + 28672, 0.015},  // half of 57344 codes per 0.03 A
      {"SRD below zero", SrdFromCode, CodeFromSrd, 0, -8192.0 / 57344 * 0.03},
      {"strobe amplitude", StrobeAmplitudeFromCode, CodeFromStrobeAmplitude, 65535, 100},
      {"strobe delay", StrobeDelayFromCode, CodeFromStrobeDelay, 5460 + 12015, 1e-9},
      {"coarse TB", CoarseTBFromCode, CodeFromCoarseTB, 30000, 4.5e-9},
      {"level zero", LevelZeroFromCode, CodeFromLevelZero, 32768 + 1311, 100},  // 1311 / 13.1072 = 100.02
      {"level zero below", LevelZeroFromCode, CodeFromLevelZero, 32768 - 1311, -100},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_NEAR(k.toValue(k.code), k.value, std::abs(k.value) * 1e-9);
    EXPECT_EQ(k.toCode(k.value), k.code);
  }
  EXPECT_EQ(NearestCode(1e300), INT32_MAX);
  EXPECT_EQ(NearestCode(std::nan("")), 0);
  // Values far outside every node's range stay in int32 (no overflow past the offset).
  EXPECT_EQ(CodeFromSrd(1e300), INT32_MAX);
  EXPECT_EQ(CodeFromLevelZero(-1e300), INT32_MIN + 32768);
  EXPECT_EQ(CodesFromBridge({0, 1e300}).MinusD, -INT32_MAX);
  EXPECT_EQ(NearestCode(-2.5), -3);
}

TEST_F(CalibrationTest, AFirstRunWithoutInstrumentReadsTheDefaults) {
  ASSERT_TRUE(RecallFlashConstants(0));
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:BridgeVolt"), 2.048);  // (32768 + 32768) x 6.25e-5 / 2
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch2Narrow:Balance"), 0);
  EXPECT_EQ(Value("FLASH:Calibr:Ch1Narrow:PromBrNBW"), 800);
  EXPECT_NEAR(Value("Flash:Calibr:Strobe:SRD1"), 0.0128571, 2.5e-5);  // on the node's 5e-5 A grid
  EXPECT_NEAR(Value("Flash:Calibr:Strobe:Amplitude"), 100, 1e-9);
  EXPECT_NEAR(Value("Flash:Calibr:Strobe:Delay"), 5e-9, 1e-15);
  EXPECT_EQ(Value("Flash:Calibr:Strobe:MinSRD1"), 0);  // below the range: clamped
  EXPECT_NEAR(Value("FLASH:Calibr:CoarseTB"), 4.6e-9, 2.5e-13);
  EXPECT_EQ(Value("FLASH:Calibr:FineTB"), 18333);
  EXPECT_EQ(Value("FLASH:Calibr:LevelZero"), -250);  // nearest((192 - 32768) / 13.1072) = -2485, clamped
  EXPECT_EQ(SamplerTimeBaseCal().CalIntrvlA, 68267);
  EXPECT_EQ(SamplerTimeBaseCal().Curve, (std::vector<uint16_t>{0, 65535}));
  EXPECT_FALSE(FlashChange().CalibrationChanged);
  EXPECT_FALSE(FlashChange().AdjustmentChanged);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CalibrationTest, StoredConstantsComeBackAfterARestart) {
  ASSERT_TRUE(RecallFlashConstants(0));
  Run({"FLASH:Calibr:Ch1Full:BridgeVolt 2.5", "FLASH:Calibr:Ch1Full:Balance -0.25",
       "FLASH:Calibr:CoarseTB 4.5n", "Flash:Calibr:Strobe:SRD2 0.02", "FLASH:Calibr:Ch2Narrow:PromBrNBW 65",
       "FLASH:Calibr:LevelZero 37"});
  EXPECT_TRUE(FlashChange().CalibrationChanged);
  EXPECT_TRUE(FlashChange().AdjustmentChanged);
  ASSERT_TRUE(StoreCalibrationConstants());
  EXPECT_FALSE(FlashChange().CalibrationChanged);

  // The codes in the file, by hand: TGUN 4.5e-9 / 1.5e-13 = 30000; LevelZero 37 x 13.1072
  // = 484.97 -> 485 + 32768; PlusD (2.5 - 0.25) / 4.096 x 65536 = 36000, MinusD
  // -(-0.25 - 2.5) / 4.096 x 65536 = 44000.
  TMemIniFile_Dot ini(home_ / "CalibrImit.ini");
  const std::string prefix = "Vexilor_Norv-Lxx.Calibr.";
  EXPECT_EQ(ini.ReadInteger(prefix + "Calibr:TB:", "TGUN", 0), 30000);
  EXPECT_EQ(ini.ReadInteger(prefix + "Calibr:Trig:", "LvlZero", 0), 33253);
  EXPECT_EQ(ini.ReadInteger(prefix + "Calibr:Sampler:Ch1:FullBW:", "PlusD", 0), 36000);
  EXPECT_EQ(ini.ReadInteger(prefix + "Calibr:Sampler:Ch1:FullBW:", "MinusD", 0), 44000);
  EXPECT_EQ(ini.ReadInteger(prefix + "Calibr:Sampler:Ch2:NarrowBW:", "PromBrNBW", 0), 650);
  EXPECT_FALSE(fs::exists(home_ / "CalibrImit.ini.tmp"));

  Restart();
  ASSERT_TRUE(RecallFlashConstants(0));
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:BridgeVolt"), 2.5);
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:Balance"), -0.25);
  EXPECT_NEAR(Value("FLASH:Calibr:CoarseTB"), 4.5e-9, 1e-15);
  EXPECT_DOUBLE_EQ(Value("Flash:Calibr:Strobe:SRD2"), 0.02);
  EXPECT_EQ(Value("FLASH:Calibr:Ch2Narrow:PromBrNBW"), 650);
  EXPECT_EQ(Value("FLASH:Calibr:LevelZero"), 37);

  // The adjustment set has its own sections: recalled before any store, it has defaults.
  ASSERT_TRUE(RecallFlashConstants(1));
  EXPECT_EQ(Value("FLASH:Calibr:LevelZero"), -250);
}

// Without an instrument a store as factory values is what the next start shows: the start
// recalls the calibration set, which the store leaves clean.
TEST_F(CalibrationTest, ConstantsStoredAsFactoryValuesComeBackAtTheNextStart) {
  ASSERT_TRUE(RecallFlashConstants(0));
  Run({"FLASH:Calibr:CoarseDelay 7", "FLASH:Calibr:Ch1Full:BridgeVolt 2.2"});
  ASSERT_TRUE(StoreAdjustmentConstants());
  ASSERT_FALSE(FlashChange().CalibrationChanged);
  for (const uint8_t mode : {0, 1}) {
    SCOPED_TRACE(mode == 0 ? "calibration set" : "factory set");
    Restart();
    ASSERT_TRUE(RecallFlashConstants(mode));
    EXPECT_EQ(Value("FLASH:Calibr:CoarseDelay"), 7);
    EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:BridgeVolt"), 2.2);
  }
}

// Every key of a file as text, by section.
std::vector<std::pair<std::string, std::string>> FileKeys(const fs::path& file) {
  TMemIniFile_Dot ini(file);
  std::vector<std::pair<std::string, std::string>> keys;
  for (const std::string& section : ini.ReadSections())
    for (const auto& [key, value] : ini.ReadSectionValues(section))
      keys.emplace_back(section + "/" + key, value);
  return keys;
}

TEST_F(CalibrationTest, ADamagedKeyTakesItsDefaultAndTheNextStoreKeepsEveryOtherKey) {
  const fs::path file = home_ / "CalibrImit.ini";
  const std::string prefix = "Vexilor_Norv-Lxx.Calibr.";
  // Codes between the nodes' steps: PlusD 45000 with MinusD 32768 is 2.43025 V / 0.38225 V
  // on a 0.1 mV grid, SRD1 33000 is 0.0129786 A on a 50 uA grid, StrbAmpl 50000 is 76.295 %
  // on a 0.5 % grid. Untouched, they are stored as they were read.
  const std::tuple<const char*, const char*, const char*> read[] = {
      {"Calibr:SmplTB:", "CalCurve", "3 0 8000 FFFF"},
      {"Calibr:Sampler:Ch2:FullBW:", "PlusD", "45000"},
      {"Calibr:Sampler:", "SRD1", "33000"},
      {"Calibr:Sampler:", "StrbAmpl", "50000"}};
  {
    TMemIniFile_Dot ini(file);
    for (const auto& [section, key, value] : read) ini.WriteString(prefix + section, key, value);
    ini.UpdateFile();
  }
  ASSERT_TRUE(RecallFlashConstants(0));
  Run({"FLASH:Calibr:Ch1Full:BridgeVolt 2.5", "FLASH:Calibr:Ch1Full:Balance -0.25",
       "FLASH:Calibr:CoarseTB 4.5n", "FLASH:Calibr:FineTB 20000", "FLASH:Calibr:CoarseDelay 7",
       "FLASH:Calibr:LevelZero 37"});
  ASSERT_TRUE(StoreCalibrationConstants());
  const auto good = FileKeys(file);
  for (const auto& [section, key, value] : read) {
    const std::pair<std::string, std::string> line(prefix + section + "/" + key, value);
    EXPECT_NE(std::find(good.begin(), good.end(), line), good.end()) << key << " " << value;
  }

  struct Case {
    const char* section;
    const char* key;
    const char* damaged;
    const char* command;  // as the user is told
    const char* stored;   // the default the next store writes in its place
  };
  const Case cases[] = {
      {"Calibr:SmplTB:", "CalCurve", "2 0 ZZZZ", "Calibr:SmplTB:CalCurve", "2 0 FFFF"},
      {"Calibr:SmplTB:", "CalCurve", "1 0", "Calibr:SmplTB:CalCurve", "2 0 FFFF"},
      // TGUN 30667 x 1.5e-13 = 4.6 ns, and back.
      {"Calibr:TB:", "TGUN", "3O000", "Calibr:TB:TGUN", "30667"},
      {"Calibr:Sampler:Ch1:FullBW:", "PlusD", "", "Calibr:Sampler:Ch1:FullBW:PlusD", "32768"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.key) + "=" + k.damaged);
    fs::remove(file);
    {
      TMemIniFile_Dot ini(file);
      for (const auto& [path, value] : good) {
        const size_t slash = path.find('/');
        ini.WriteString(path.substr(0, slash), path.substr(slash + 1), value);
      }
      ini.WriteString(prefix + k.section, k.key, k.damaged);
      ini.UpdateFile();
    }
    Restart();
    dialogs.shown.clear();
    ASSERT_TRUE(RecallFlashConstants(0));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].find(std::string("\"") + k.command + "\""), std::string::npos)
        << dialogs.shown[0];
    ASSERT_TRUE(StoreCalibrationConstants());
    for (const auto& [path, value] : FileKeys(file)) {
      if (path == prefix + k.section + "/" + k.key) {
        EXPECT_EQ(value, k.stored);
        continue;
      }
      const auto was = std::find_if(good.begin(), good.end(), [&](const auto& g) { return g.first == path; });
      ASSERT_NE(was, good.end()) << path;
      EXPECT_EQ(value, was->second) << path;
    }
  }
}

TEST_F(CalibrationTest, TheFilesGainFixIsReadInAnyLetterCase) {
  const fs::path file = home_ / "CalibrImit.ini";
  const std::string section = "Vexilor_Norv-Lxx.Calibr.Calibr:Sampler:Ch2:NarrowBW:";
  struct Case {
    const char* text;
    uint8_t index;  // 0 High, 1 Low
    const char* stored;
  };
  const Case cases[] = {{"HIGH", 0, "HIGH"}, {"high", 0, "HIGH"}, {"hIgH", 0, "HIGH"},
                        {"low", 1, "LOW"},   {"Low", 1, "LOW"},   {"higher", 1, "LOW"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    Restart();
    {
      TMemIniFile_Dot ini(file);
      ini.WriteString(section, "GainFix", k.text);
      ini.UpdateFile();
    }
    ASSERT_TRUE(RecallFlashConstants(0));
    EXPECT_EQ(
        GetIndex(dynamic_cast<TRadioSwHandler*>(RootSpider->FindHandler("FLASH:Calibr:Ch2Narrow:GainFix"))),
        k.index);
    Run({"FLASH:Calibr:FineTB 20000"});
    ASSERT_TRUE(StoreCalibrationConstants());
    EXPECT_EQ(TMemIniFile_Dot(file).ReadString(section, "GainFix", ""), k.stored);
  }
}

TEST_F(CalibrationTest, AModelOfNeitherFamilyUsesSectionsWithoutFamilyWord) {
  Restart(0);
  Run({"FLASH:Calibr:CoarseTB 4.5n"});
  ASSERT_TRUE(StoreFlashConstants(false));
  TMemIniFile_Dot ini(home_ / "CalibrImit.ini");
  EXPECT_EQ(ini.ReadInteger("Calibr.Calibr:TB:", "TGUN", 0), 30000);
  EXPECT_EQ(CalibrImitSectionPrefix(true), "Adjust.");
}

TEST_F(CalibrationTest, AFileThatCannotBeWrittenIsAFailureThatKeepsTheChangedFlag) {
  const fs::path file = home_ / "CalibrImit.ini";
  Run({"FLASH:Calibr:CoarseTB 4.5n"});
  // A folder in the way of the file, then a file the user made read-only: it stays as it
  // was, read-only, and the user is told why.
  fs::create_directory(file);
  EXPECT_FALSE(StoreCalibrationConstants());
  EXPECT_EQ(dialogs.shown.size(), 1u);
  fs::remove(file);
  std::ofstream(file, std::ios::binary) << "[Calibr.Calibr:TB:]\r\nTGUN=31333\r\n";
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(file, readOnly);
  dialogs.shown.clear();
  EXPECT_FALSE(StoreCalibrationConstants());
  EXPECT_EQ(ReadRegularFile(file).Bytes, "[Calibr.Calibr:TB:]\r\nTGUN=31333\r\n");
  EXPECT_EQ(fs::status(file).permissions(), readOnly);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].find("read-only"), std::string::npos) << dialogs.shown[0];
  EXPECT_TRUE(FlashChange().CalibrationChanged);
  EXPECT_FALSE(Disabled("FLASH:Calibr:StoreAll"));
}

TEST_F(CalibrationOnInstrumentTest, ARecallReadsEveryGroupInOrderAndSetsTheNodes) {
  instrument.SetConstant("Calibr:Sampler:Ch1:FullBW:PlusD", 40000);
  instrument.SetConstant("Calibr:Sampler:Ch1:FullBW:MinusD", 24000);
  instrument.SetConstant("Calibr:TB:TGUN", 30000);
  instrument.SetConstant("Calibr:Trig:LvlZero", 32768 + 1311);
  instrument.SetReply("Calibr:Sampler:Ch2:FullBW:GainFix?", "low");
  Run({"FLASH:Calibr:Ch1Full:ADC200mV 5000"});
  Sync();
  instrument.SetConstant("Calibr:Sampler:Ch1:FullBW:ADC200mV", 4096);
  instrument.ClearCommands();

  ASSERT_TRUE(RecallCalibrationConstants());
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:BridgeVolt"), 2.0);
  EXPECT_DOUBLE_EQ(Value("FLASH:Calibr:Ch1Full:Balance"), 0.5);
  EXPECT_EQ(Value("FLASH:Calibr:Ch1Full:ADC200mV"), 4096);
  EXPECT_NEAR(Value("FLASH:Calibr:CoarseTB"), 4.5e-9, 1e-15);
  EXPECT_EQ(Value("FLASH:Calibr:LevelZero"), 100);
  EXPECT_NEAR(Value("Flash:Calibr:Strobe:Delay"), 1e-9, 1e-15);
  EXPECT_EQ(GetIndex(dynamic_cast<TRadioSwHandler*>(RootSpider->FindHandler("FLASH:Calibr:Ch2Full:GainFix"))),
            1);
  EXPECT_EQ(SamplerTimeBaseCal().CalIntrvlA, 70000);
  EXPECT_EQ(SamplerTimeBaseCal().Curve, (std::vector<uint16_t>{0, 0x8000, 0xFFFF}));
  EXPECT_FALSE(FlashChange().CalibrationChanged);
  EXPECT_TRUE(Disabled("FLASH:Calibr:StoreAll"));

  const std::string ch1 = "Calibr:Sampler:Ch1:FullBW:", ch1n = "Calibr:Sampler:Ch1:NarrowBW:";
  const std::string s = "Calibr:Sampler:";
  const std::vector<std::string> expected = {"Calibr:ReRead?",   ch1 + "PlusD?",    ch1 + "MinusD?",
                                             ch1 + "LfComp?",    ch1 + "ADC200mV?", ch1 + "GainFix?",
                                             ch1n + "PlusD?",    ch1n + "MinusD?",  ch1n + "LfComp?",
                                             ch1n + "ADC200mV?", ch1n + "GainFix?", ch1n + "PromBrNBW?"};
  const std::vector<std::string> commands = instrument.Commands();
  ASSERT_GE(commands.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + expected.size()), expected);
  const std::vector<std::string> tail = {s + "SRD1?",
                                         s + "SRD2?",
                                         s + "StrbAmpl?",
                                         s + "StrbDel?",
                                         s + "ChFndSRD?",
                                         s + "MINSRD1?",
                                         s + "MAXSRD1?",
                                         s + "MINSRD2?",
                                         s + "MAXSRD2?",
                                         "Calibr:TB:TGUN?",
                                         "Calibr:TB:Digit0?",
                                         "Calibr:TB:GainDAC?",
                                         "Calibr:TB:MinDAC?",
                                         "Calibr:Trig:LvlZero?",
                                         "Calibr:SmplTB:CalIntrvlA?",
                                         "Calibr:SmplTB:CalCurve?"};
  EXPECT_EQ(std::vector<std::string>(commands.end() - tail.size(), commands.end()), tail);
  EXPECT_TRUE(Sends().empty());  // what the instrument just loaded is not sent back
}

TEST_F(CalibrationOnInstrumentTest, TheAnswersOfTheRecallQuery) {
  struct Case {
    const char* name;
    const char* answer;
    std::deque<TAnswer> dialogAnswers;
    std::vector<std::string> shown;
    bool initialValuesSent;
  };
  const std::string question =
      SuppressedLogLine(TMessageKind::Confirmation,
                        "The calibration Values is absent!\r\r\nDo you want to set INITIAL VALUES?");
  const Case cases[] = {
      {"present", "1", {}, {}, false},
      {"only from FAT2",
       "2",
       {},
       {SuppressedLogLine(TMessageKind::Information, "Read only from FAT2")},
       false},
      {"any other", "7", {}, {}, false},
      {"absent, Cancel", "0", {TAnswer::Cancel}, {question}, false},
      {"absent, OK", "0", {TAnswer::OK}, {question}, true},
  };
  instrument.SetDelayedReply("Calibr:AdjStore?", "3", clock, kFlashStoreWaitMs);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    instrument.SetReply("Calibr:ReRead?", k.answer);
    instrument.ClearCommands();
    dialogs.shown.clear();
    dialogs.answers = k.dialogAnswers;
    EXPECT_TRUE(RecallFlashConstants(0));
    EXPECT_EQ(dialogs.shown, k.shown);
    const std::vector<std::string> commands = instrument.Commands();
    const auto sent = [&](const char* line) {
      return std::find(commands.begin(), commands.end(), line) != commands.end();
    };
    EXPECT_EQ(sent("Calibr:SetInitialVal?"), k.initialValuesSent);
    EXPECT_EQ(sent("Calibr:AdjStore?"), k.initialValuesSent);
    EXPECT_EQ(sent("Calibr:AdjRecall?"), k.initialValuesSent);
    EXPECT_TRUE(sent("Calibr:TB:TGUN?"));  // the groups are read whatever the answer
  }
}

TEST_F(CalibrationOnInstrumentTest, ARecallWithoutUsableRepliesLeavesTheNodesAndSendsNothing) {
  struct Case {
    const char* name;
    std::function<void(FakeInstrument&)> fault;
  };
  const Case cases[] = {
      {"unparsable group reply", [](FakeInstrument& i) { i.SetReply("Calibr:TB:GainDAC?", "12x"); }},
      {"unparsable curve", [](FakeInstrument& i) { i.SetReply("Calibr:SmplTB:CalCurve?", "1 0"); }},
      {"unparsable recall answer", [](FakeInstrument& i) { i.SetReply("Calibr:ReRead?", "yes"); }},
      {"timed-out group reply", [](FakeInstrument& i) { i.RemoveConstant("Calibr:Trig:LvlZero"); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    LoadRegisters();
    instrument.RemoveReply("Calibr:TB:GainDAC?");
    instrument.SetConstant("Calibr:TB:TGUN", 20000);  // would be clamped to 3e-9 s
    Run({"FLASH:Calibr:CoarseTB 4.5n", "FLASH:Calibr:Ch1Full:ADC200mV 5000"});
    Sync();
    k.fault(instrument);
    instrument.ClearCommands();
    dialogs.shown.clear();
    EXPECT_FALSE(RecallCalibrationConstants());
    EXPECT_NEAR(Value("FLASH:Calibr:CoarseTB"), 4.5e-9, 1e-15);
    EXPECT_EQ(Value("FLASH:Calibr:Ch1Full:ADC200mV"), 5000);
    EXPECT_TRUE(FlashChange().CalibrationChanged);
    EXPECT_FALSE(Disabled("FLASH:Calibr:StoreAll"));
    EXPECT_TRUE(Sends().empty());
    EXPECT_EQ(dialogs.shown.size(), 1u);
  }
}

TEST_F(CalibrationOnInstrumentTest, AStoreSucceedsOnlyOnAnswerThreeAfterItsWait) {
  struct Case {
    const char* name;
    std::optional<std::string> answer;  // none: silence
    bool stored;
    std::vector<std::string> shown;
  };
  const std::string noAnswer = SuppressedLogLine(
      TMessageKind::Error,
      "The instrument gave no valid answer to \"Calibr:Store\". The constants are left as they were.");
  const Case cases[] = {
      {"stored in flash", "3", true, {}},
      {"only into FAT", "1", false, {SuppressedLogLine(TMessageKind::Warning, "Stored only into FAT1")}},
      {"answer 0", "0", false, {SuppressedLogLine(TMessageKind::Warning, "Stored only into FAT0")}},
      {"unparsable", "3x", false, {noAnswer}},
      {"time-out", std::nullopt, false, {noAnswer}},
  };
  int fineTB = 20000;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    RootSpider->ExecCommandLine("FLASH:Calibr:FineTB " + std::to_string(++fineTB), false);
    if (k.answer)
      instrument.SetDelayedReply("Calibr:Store?", *k.answer, clock, kFlashStoreWaitMs);
    else
      instrument.RemoveReply("Calibr:Store?");
    dialogs.shown.clear();
    const int64_t waitedBefore = clock.CountedMs();
    EXPECT_EQ(StoreCalibrationConstants(), k.stored);
    EXPECT_GE(clock.CountedMs() - waitedBefore, kFlashStoreWaitMs);
    EXPECT_EQ(FlashChange().CalibrationChanged, !k.stored);
    EXPECT_EQ(Disabled("FLASH:Calibr:StoreAll"), k.stored);
    EXPECT_EQ(dialogs.shown, k.shown);
  }
  // The adjustment store clears both flags.
  Run({"FLASH:Calibr:FineTB 20001", "FLASH:Calibr:FineDelay 100"});
  instrument.SetDelayedReply("Calibr:AdjStore?", "3", clock, kFlashStoreWaitMs);
  EXPECT_TRUE(StoreAdjustmentConstants());
  EXPECT_FALSE(FlashChange().CalibrationChanged);
  EXPECT_FALSE(FlashChange().AdjustmentChanged);
}

// --- the O/E and generator groups ---

// The converter's and the generator's constant nodes beside the calibration nodes, on an
// instrument with both options.
void RegisterOptionGroups() {
  InstrumentIdentity.Options = OptOptics | OptGenerators;
  RegisterOEConvCommands();
  RegisterGeneratorHandlers();
}

void SetShadow(const std::string& node, double value) {
  dynamic_cast<TDoubleEditHandler&>(*RootSpider->FindHandler(node)).SetValueByProgram(value);
}

class OptionGroupsTest : public CalibrationTest {
 protected:
  void SetUp() override {
    CalibrationTest::SetUp();
    RegisterOptionGroups();
  }
  void TearDown() override {
    InstrumentIdentity.Options = 0;
    CalibrationTest::TearDown();
  }
};

TEST_F(OptionGroupsTest, TheConverterAndGeneratorConstantsGoThroughTheFileAndComeBack) {
  // No file yet: the dark level's default, every point 0 (clamped: an invalid user point).
  ASSERT_TRUE(RecallFlashConstants(0));
  EXPECT_EQ(Value("FLASH:OECalibr:DarkLvl"), 50);
  EXPECT_EQ(Value("Shadow:OECalibr1:Wavelength"), 7.795e-7);
  EXPECT_EQ(OEConvState().Ranking.Count, 0);
  EXPECT_EQ(GeneratorZeroConstants(), (TGenZeroConstants{0, 0, 0, 0}));

  // Values that a six-digit writer would round; the nodes hold them on their own grids.
  Run({"FLASH:OECalibr:DarkLvl 42.125", "FLASH:Gen:Out1:PositiveZero 1234",
       "FLASH:Gen:Out2:NegativeZero 65000"});
  SetShadow("Shadow:Adjust:OEWaveLen2", 1.3103e-6);
  SetShadow("Shadow:Adjust:OEGain2", 123.4567);
  SetShadow("Shadow:OECalibr4:Wavelength", 1.55e-6);
  SetShadow("Shadow:OECalibr4:Gain", 0.00123);
  EXPECT_TRUE(FlashChange().CalibrationChanged);
  const TOEFlashConstants stored = OEFlashConstants();
  ASSERT_TRUE(StoreCalibrationConstants());

  // The file's layout: the dark level in "OE" itself, the points and zeros under the prefix.
  {
    TMemIniFile_Dot ini(home_ / "CalibrImit.ini");
    const std::string prefix = "Vexilor_Norv-Lxx.Calibr.";
    EXPECT_EQ(ini.ReadFloat("OE", "DarkLevel", 0), 42.125);
    EXPECT_NEAR(ini.ReadFloat(prefix + "OE", "FP2WLEN", 0), 1.3103e-6, 1e-18);
    EXPECT_NEAR(ini.ReadFloat(prefix + "OE", "FP2Gain", 0), 123.4567, 1e-9);
    EXPECT_NEAR(ini.ReadFloat(prefix + "OE", "UP4Gain", 0), 0.00123, 1e-15);
    EXPECT_EQ(ini.ReadInteger(prefix + "Gen", "Out1:PosZero", -1), 1234);
    EXPECT_EQ(ini.ReadInteger(prefix + "Gen", "Out2:NegZero", -1), 65000);
    EXPECT_EQ(ini.ReadInteger(prefix + "Gen", "Out2:PosZero", -1), 0);
  }

  Restart();
  RegisterOptionGroups();
  ASSERT_TRUE(RecallFlashConstants(0));
  // Every number back to the very same double.
  const TOEFlashConstants recalled = OEFlashConstants();
  EXPECT_EQ(recalled.DarkLevel, stored.DarkLevel);
  for (int i = 0; i < kOEFactoryPoints; ++i) {
    EXPECT_EQ(recalled.Factory[i].Wavelength, stored.Factory[i].Wavelength) << i;
    EXPECT_EQ(recalled.Factory[i].Gain, stored.Factory[i].Gain) << i;
  }
  for (int i = 0; i < kOEUserPoints; ++i) {
    EXPECT_EQ(recalled.User[i].Wavelength, stored.User[i].Wavelength) << i;
    EXPECT_EQ(recalled.User[i].Gain, stored.User[i].Gain) << i;
  }
  ASSERT_EQ(OEConvState().Ranking.Count, 1);
  EXPECT_EQ(OEConvState().Ranking.Table[0], 3);
  EXPECT_EQ(GeneratorZeroConstants(), (TGenZeroConstants{1234, 0, 0, 65000}));
  EXPECT_FALSE(FlashChange().CalibrationChanged);

  // Without the options neither group is read: the nodes keep what they hold.
  InstrumentIdentity.Options = 0;
  Run({"FLASH:OECalibr:DarkLvl 7"});
  ASSERT_TRUE(RecallFlashConstants(0));
  EXPECT_EQ(Value("FLASH:OECalibr:DarkLvl"), 7);
}

// The simulator stands for a converter with factory points at 850, 1310 and 1550 nm: a file
// without them gets them, written at once; a point the file holds stays its own.
TEST_F(OptionGroupsTest, WithoutInstrumentMissingFactoryPointsAreTheSimulatedConvertersAndGoIntoTheFile) {
  const fs::path file = home_ / "CalibrImit.ini";
  const std::string section = "Vexilor_Norv-Lxx.Calibr.OE";
  struct Point {
    double wavelength, gain;
  };
  const Point simulated[] = {{8.5e-7, 200}, {1.31e-6, 450}, {1.55e-6, 500}};
  for (const bool ownSecond : {false, true}) {
    SCOPED_TRACE(ownSecond ? "the file holds point 2" : "no file");
    fs::remove(file);
    Point expected[] = {simulated[0], simulated[1], simulated[2]};
    if (ownSecond) {
      expected[1] = {1.3e-6, 321.5};
      TMemIniFile_Dot ini(file);
      ini.WriteFloat(section, "FP2WLEN", 1.3e-6);
      ini.WriteFloat(section, "FP2Gain", 321.5);
      ini.UpdateFile();
    }
    ASSERT_TRUE(RecallFlashConstants(0));
    const TOEFlashConstants recalled = OEFlashConstants();
    TMemIniFile_Dot ini(file);
    for (int i = 0; i < kOEFactoryPoints; ++i) {
      const std::string n = std::to_string(i + 1);
      EXPECT_NEAR(recalled.Factory[i].Wavelength, expected[i].wavelength, 1e-15) << n;
      EXPECT_NEAR(recalled.Factory[i].Gain, expected[i].gain, 1e-9) << n;
      EXPECT_EQ(ini.ReadFloat(section, "FP" + n + "WLEN", 0), expected[i].wavelength) << n;
      EXPECT_EQ(ini.ReadFloat(section, "FP" + n + "Gain", 0), expected[i].gain) << n;
    }
    EXPECT_EQ(GetOEConversionGain(), 200) << "WL1";
    EXPECT_FALSE(FlashChange().CalibrationChanged);
  }
}

// A file that could not be read at start leaves the nodes at their registration values.
// Once it can be read, a store reads it first: the keys changed since keep their new
// values and every other key stays as the file has it.
TEST_F(OptionGroupsTest, AStoreOverAFileThatCouldNotBeReadKeepsWhatWasNotChanged) {
  const fs::path file = home_ / "CalibrImit.ini";
  const std::string p = "Vexilor_Norv-Lxx.Calibr.";
  // Several between the nodes' steps or outside their ranges, so that only the codes read
  // can give them back.
  const std::vector<std::pair<std::string, std::string>> held = {
      {p + "Calibr:Sampler:Ch2:FullBW:/PlusD", "45000"},
      {p + "Calibr:Sampler:Ch1:FullBW:/GainFix", "LOW"},
      {p + "Calibr:Sampler:/SRD1", "33000"},
      {p + "Calibr:Sampler:/StrbAmpl", "50000"},
      {p + "Calibr:TB:/TGUN", "31333"},
      {p + "Calibr:TB:/GainDAC", "24000"},
      {p + "Calibr:TB:/Digit0", "9"},
      {p + "Calibr:Trig:/LvlZero", "192"},
      {p + "Calibr:SmplTB:/CalIntrvlA", "70000"},
      {p + "Calibr:SmplTB:/CalCurve", "3 0 8000 FFFF"},
      {"OE/DarkLevel", "33.5"},
      {p + "OE/UP3WLEN", "1.31E-6"},
      {p + "OE/UP3Gain", "0.3"},
      {p + "Gen/Out1:PosZero", "500"},
      {p + "Gen/Out2:NegZero", "4000"},
  };
  // What the user changes meanwhile, and the keys' new text.
  const auto lines = {"FLASH:Calibr:FineTB 20000", "FLASH:Calibr:CoarseDelay 7",
                      "FLASH:OECalibr:DarkLvl 42.5", "FLASH:Gen:Out1:PositiveZero 1234"};
  const std::map<std::string, std::string> changed = {{p + "Calibr:TB:/GainDAC", "20000"},
                                                      {p + "Calibr:TB:/Digit0", "7"},
                                                      {"OE/DarkLevel", "42.5"},
                                                      {p + "Gen/Out1:PosZero", "1234"}};
  struct Case {
    const char* name;
    bool fifo;  // else a folder in the file's place
    std::function<bool()> store;
  };
  const Case cases[] = {
      {"folder, calibration store", false, [] { return StoreCalibrationConstants(); }},
      {"FIFO, adjustment store", true, [] { return StoreAdjustmentConstants(); }},
      {"FIFO, the close's store", true, [] { return ShellHooks.StoreFlashConstants(false); }},
  };
  const fs::path aside = home_ / "aside.ini";
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Restart();
    RegisterOptionGroups();
    InstallCalibration();
    fs::remove(file);
    {
      TMemIniFile_Dot ini(file);
      for (const auto& [path, value] : held) {
        const size_t slash = path.find('/');
        ini.WriteString(path.substr(0, slash), path.substr(slash + 1), value);
      }
      ini.UpdateFile();
    }
    fs::rename(file, aside);
    if (k.fifo)
      ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    else
      fs::create_directory(file);
    dialogs.shown.clear();
    EXPECT_FALSE(RecallFlashConstants(0));
    Run(lines);

    // Still unreadable: nothing is stored, and the user hears why.
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_FALSE(k.store());
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_NE(dialogs.shown[1].find("not stored"), std::string::npos) << dialogs.shown[1];
    EXPECT_FALSE(fs::is_regular_file(file));
    EXPECT_TRUE(FlashChange().CalibrationChanged);

    fs::remove(file);
    fs::rename(aside, file);
    ASSERT_TRUE(k.store());
    std::map<std::string, std::string> stored;
    for (const auto& [path, value] : FileKeys(file)) stored[path] = value;
    for (const auto& [path, value] : held) {
      const auto now = changed.find(path);
      EXPECT_EQ(stored[path], now == changed.end() ? value : now->second) << path;
    }
    // The nodes show the file's constants, and the user's.
    EXPECT_NEAR(Value("FLASH:Calibr:CoarseTB"), 31333 * 1.5e-13, 2.5e-13);
    EXPECT_EQ(Value("FLASH:Calibr:FineTB"), 20000);
    EXPECT_EQ(Value("FLASH:Gen:Out2:NegativeZero"), 4000);
    EXPECT_EQ(
        GetIndex(dynamic_cast<TRadioSwHandler*>(RootSpider->FindHandler("FLASH:Calibr:Ch1Full:GainFix"))), 1);
    EXPECT_FALSE(FlashChange().CalibrationChanged);
  }
}

TEST_F(CalibrationTest, TheGeneratorsZeroChangeMarksTheCalibrationChanged) {
  InstallCalibration();
  InstrumentIdentity.Options = OptGenerators;
  RegisterGeneratorHandlers();
  ASSERT_FALSE(FlashChange().CalibrationChanged);
  Run({"FLASH:Gen:Out1:NegativeZero 300"});
  EXPECT_TRUE(FlashChange().CalibrationChanged);
  EXPECT_FALSE(Disabled("FLASH:Calibr:StoreAll"));
  InstrumentIdentity.Options = 0;
}

class OptionGroupsOnInstrumentTest : public CalibrationOnInstrumentTest {
 protected:
  void SetUp() override {
    CalibrationOnInstrumentTest::SetUp();
    RegisterOptionGroups();
    LoadOptionRegisters();
    instrument.ClearCommands();
  }
  void TearDown() override {
    InstrumentIdentity.Options = 0;
    CalibrationOnInstrumentTest::TearDown();
  }
  void LoadOptionRegisters() {
    instrument.SetReply("OE:DarkLevel?", "37.5");
    instrument.SetArgReply("OE:DarkLevel", FakeInstrument::EchoArg());
    for (int n = 1; n <= 8; ++n) {
      const std::string p = std::to_string(n);
      const bool factory = n <= 3;
      if (factory) {
        instrument.SetReply("OE:FP" + p + "WLEN?", n == 1 ? "8.5e-7" : "1.31e-6");
        instrument.SetReply("OE:FP" + p + "Gain?", std::to_string(100 * n));
      }
      // User point 2 at 1.55 um, point 6 at 1.31 um; the others empty.
      instrument.SetReply("OE:UP" + p + "WLEN?", n == 2 ? "1.55e-6" : n == 6 ? "1.31e-6" : "0");
      instrument.SetReply("OE:UP" + p + "Gain?", n == 2 ? "55.5" : n == 6 ? "66.25" : "0");
    }
    instrument.SetConstant("Gen:Out1:PosZero", 1000);
    instrument.SetConstant("Gen:Out1:NegZero", 2000);
    instrument.SetConstant("Gen:Out2:PosZero", 3000);
    instrument.SetConstant("Gen:Out2:NegZero", 4000);
  }
};

TEST_F(OptionGroupsOnInstrumentTest, TheGroupsAreReadAfterTheOthersAndSetOnlyWhenAllAnswered) {
  ASSERT_TRUE(RecallCalibrationConstants());
  EXPECT_EQ(Value("FLASH:OECalibr:DarkLvl"), 37.5);
  EXPECT_EQ(Value("Shadow:Adjust:OEWaveLen1"), 8.5e-7);
  EXPECT_EQ(Value("Shadow:Adjust:OEGain3"), 300);
  ASSERT_EQ(OEConvState().Ranking.Count, 2);
  EXPECT_EQ(OEConvState().Ranking.Table[0], 5);  // point 6, the shorter wavelength
  EXPECT_EQ(OEConvState().Ranking.Table[1], 1);
  EXPECT_EQ(GeneratorZeroConstants(), (TGenZeroConstants{1000, 2000, 3000, 4000}));
  EXPECT_FALSE(FlashChange().CalibrationChanged);
  EXPECT_TRUE(Sends().empty());  // nothing the instrument just gave is sent back
  std::vector<std::string> tail = {"Calibr:SmplTB:CalCurve?", "OE:DarkLevel?"};
  for (const char* kind : {"FP", "UP"})
    for (int n = 1; n <= (kind[0] == 'F' ? 3 : 8); ++n)
      for (const char* what : {"WLEN?", "Gain?"})
        tail.push_back(std::string("OE:") + kind + std::to_string(n) + what);
  for (const char* zero : {"Out1:PosZero?", "Out1:NegZero?", "Out2:PosZero?", "Out2:NegZero?"})
    tail.push_back(std::string("Gen:") + zero);
  const std::vector<std::string> commands = instrument.Commands();
  ASSERT_GE(commands.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(commands.end() - tail.size(), commands.end()), tail);

  // One group without a usable answer: no node of any group moves.
  struct Case {
    const char* name;
    std::function<void(FakeInstrument&)> fault;
  };
  const Case cases[] = {
      {"dark level timed out", [](FakeInstrument& i) { i.RemoveReply("OE:DarkLevel?"); }},
      {"user gain no number", [](FakeInstrument& i) { i.SetReply("OE:UP8Gain?", "n/a"); }},
      {"factory wavelength the failure value",
       [](FakeInstrument& i) { i.SetReply("OE:FP2WLEN?", "-2147483647"); }},
      {"user wavelength not finite", [](FakeInstrument& i) { i.SetReply("OE:UP1WLEN?", "1e999"); }},
      {"generator zero timed out", [](FakeInstrument& i) { i.RemoveConstant("Gen:Out2:NegZero"); }},
      {"generator zero the failure value",
       [](FakeInstrument& i) { i.SetReply("Gen:Out1:PosZero?", "-2147483647"); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    LoadOptionRegisters();
    instrument.RemoveReply("Gen:Out1:PosZero?");
    instrument.SetReply("OE:DarkLevel?", "12.5");  // would move the dark level
    instrument.SetConstant("Gen:Out1:NegZero", 777);
    instrument.SetConstant("Calibr:TB:GainDAC", 20000);
    Run({"FLASH:OECalibr:DarkLvl 42.5", "FLASH:Calibr:FineTB 19000"});
    Sync();
    k.fault(instrument);
    instrument.ClearCommands();
    dialogs.shown.clear();
    EXPECT_FALSE(RecallCalibrationConstants());
    EXPECT_EQ(Value("FLASH:OECalibr:DarkLvl"), 42.5);
    EXPECT_EQ(Value("FLASH:Calibr:FineTB"), 19000);
    EXPECT_EQ(GeneratorZeroConstants()[1], 2000);
    EXPECT_TRUE(FlashChange().CalibrationChanged);
    EXPECT_TRUE(Sends().empty());
    EXPECT_EQ(dialogs.shown.size(), 1u);
  }
}

// The generator's zero node asks the instrument; the failure value is no answer.
TEST_F(OptionGroupsOnInstrumentTest, AZeroEditKeepsItsValueWhenTheAnswerIsTheFailureValue) {
  instrument.RemoveConstant("Gen:Out2:PosZero");
  instrument.SetArgReply("Gen:Out2:PosZero", [](const std::string&) { return "-2147483647"; });
  Run({"FLASH:Gen:Out2:PositiveZero 1500"});
  Sync();
  EXPECT_EQ(GeneratorZeroConstants()[2], 1500);
  instrument.SetArgReply("Gen:Out2:PosZero", FakeInstrument::ClampArg(0, 1200));
  Run({"FLASH:Gen:Out2:PositiveZero 1400"});
  Sync();
  EXPECT_EQ(GeneratorZeroConstants()[2], 1200);
}

}  // namespace
}  // namespace norv::test
