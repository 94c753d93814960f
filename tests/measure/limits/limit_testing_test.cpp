// Limit tests as a user and a remote client meet them: "Limit:" commands set the bands,
// the condition and the actions; every measurement pass judges the first four slots,
// counts into the statistics lines, beeps, writes the failure files and stops the run.

#include "measure/limits/limit_testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/link_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/program_folders.h"
#include "measure/limits/limit_strip.h"
#include "measure/meas_settings.h"
#include "measure/meas_slots.h"
#include "measure/meas_state.h"
#include "support/every_unit.h"
#include "support/fake_dialogs.h"
#include "support/settings_tree_fixture.h"
#include "support/temp_home.h"

namespace norv {
namespace {

namespace fs = std::filesystem;
constexpr auto Ch1 = TTraceId::Ch1, Ch2 = TTraceId::Ch2;

class LimitTestsTest : public test::SettingsTreeTest {
 protected:
  void SetUp() override {
    FreshProgramState();
    test::RegisterEveryUnit();
    test::ApplyEveryUnit();
    InstallLimitTests();
    // A program folder of the test's own, the failure files below it.
    const fs::path home = test::MakeTempDir("limit") / "";
    ProgramFolders.ProgramDir = home;
    ProgramFolders.LimitTestFilesDir = home / "Limit Test Files" / "";
    LinkHooks.SystemBeep.Set([this] { ++beeps; });
    Exec("Header Off");
    if (RootSpider->FindHandler("Meas:Display")) {
      Exec("Meas:Display Statistic");
    } else {
      MeasState.Global.Display = mdStatistic;
    }
    for (TTraceId id : {Ch1, Ch2}) {
      TSignalObj& r = SignalObjs()[id];
      r.SetRecLen(32);
      r.SetVertUnit("V");
      for (int i = 0; i < 32; ++i) r.SetY(i, id == Ch1 ? i : -i);
    }
  }
  // Slots measuring the mean of the given sources.
  static void Slots(std::vector<TTraceId> sources) {
    MeasState.MeasParams = {};
    for (size_t i = 0; i < sources.size(); ++i)
      MeasState.MeasParams[i] = std::make_unique<TParameterOfMeas>(sources[i], amMean, mgAmplitude, Ch2);
    MeasState.MeasParamCount = static_cast<int8_t>(sources.size());
  }
  // One measurement pass: slot i gets values[i] (nothing for NaN: it has not measured).
  static void Pass(std::vector<double> values) {
    for (size_t i = 0; i < values.size(); ++i)
      if (!std::isnan(values[i]))
        SetMeasResult(*MeasSlot(static_cast<int>(i)), static_cast<int>(i), "V", values[i]);
    MeasHooks.RunLimitTest();
  }
  static TParameterOfMeas& Slot(int n) { return *MeasSlot(n); }

  int beeps = 0;
};

TEST_F(LimitTestsTest, FailureOnEveryThirdRecordCountsBeepsSavesAndStops) {
  test::CreateBlockFontScreen();
  Slots({Ch1});
  Exec("Limit1:Activ On;:Limit1:Mode Limit;:Limit1:UpLimit 1.5;:Limit1:LowLimit 0.5");
  Exec("Limit:Action Beep,Save;:Limit:RunUntil Failur;:Limit:Failures 4;:Limit:TestOn On");
  const fs::path folder = DataFolders().LimitTestFilesDir;
  EXPECT_EQ(Exec("Limit:FileName?"), (folder / "Noname.wfm").string());
  RunFlag = true;
  int records = 0;
  while (RunFlag && records < 100) {
    ++records;
    Pass({records % 3 == 0 ? 2.0 : 1.0});
    if (records == 6) {
      EXPECT_EQ(Exec("Limit1:Res? Fail") + " " + Exec("Limit1:Res? TestWfm"), "2 6");
    }
  }
  EXPECT_EQ(records, 12);
  EXPECT_EQ(std::pair(Slot(0).TestedCount, Slot(0).FailCount), std::pair(12u, 4u));
  EXPECT_EQ(beeps, 4);
  EXPECT_EQ(Exec("Limit:TestOn?"), "OFF");
  EXPECT_EQ(Exec("Limit1:Res?"), "LIMIT TEST FOR PARAMETER IS PASSIVE");
  EXPECT_EQ(std::pair(test::StripCharacters(0, 4, Ch1), test::StripCharacters(0, 5, Ch1)),
            std::pair(2, 1));  // "   12", "    4"
  // The first file has no number; each holds the record.
  for (const char* name : {"Noname.wfm", "Noname-00001.wfm", "Noname-00002.wfm", "Noname-00003.wfm"}) {
    std::ifstream in(folder / name, std::ios::binary);
    TSignalObj back;
    ASSERT_TRUE(in && back.LoadFromBinaryFile(in)) << name;
    EXPECT_EQ(back.GetRecLen(), 32) << name;
    EXPECT_EQ(back.GetY(31), 31) << name;
  }
  EXPECT_FALSE(fs::exists(folder / "Noname-00004.wfm"));
  EXPECT_EQ(Exec("Limit:FileName?"), (folder / "Noname-00004.wfm").string());

  // A name of the user's, in the verbose form: its own folder and a fresh count.
  const fs::path own = DataFolders().ProgramDir / "Mine";
  Exec("Limit:FileName " + (own / "run.wfm").string() + ";:Limit:FileFormat Verbose;:Limit:TestOn On");
  RunFlag = true;
  Pass({2.0});
  Pass({2.0});
  EXPECT_TRUE(fs::exists(own / "run.txt") && fs::exists(own / "run-00001.txt"));
  Exec("Limit:FileName next");
  EXPECT_EQ(Exec("Limit:FileName?"), (own / "next.txt").string());
  // Refused, the name before kept: a control character would cut the name where the system
  // calls read it; the others lie outside the program's folders, where no failure goes.
  const fs::path outside = test::MakeTempDir("outside");
  for (const std::string& name : {std::string("next\0.x", 6), (outside / "run").string(),
                                  std::string("../../../run"), std::string("sub/../../../run")}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(Exec("Limit:FileName " + name), EAssertion);
    EXPECT_EQ(Exec("Limit:FileName?"), (own / "next.txt").string());
  }
  Pass({2.0});
  EXPECT_TRUE(fs::exists(own / "next.txt"));
  EXPECT_TRUE(fs::is_empty(outside));
  // A relative folder starts in the limit files' folder, not in the one named before.
  Exec("Limit:FileName sub/a");
  Exec("Limit:FileName sub/b");
  EXPECT_EQ(Exec("Limit:FileName?"), (folder / "sub" / "b.txt").string());
}

TEST_F(LimitTestsTest, CountsAreWideAndSlotsWithoutStatisticsOrJudgementDoNotBlockOrTrigger) {
  // A slot that has not measured yet does not end the pass for the slot behind it.
  Slots({Ch1, Ch2});
  Exec("Limit2:Activ On;:Limit2:FailWhen Always;:Limit:Action Beep;:Limit:TestOn On");
  Pass({NAN, 1.0});
  EXPECT_EQ(std::pair(Slot(1).TestedCount, Slot(1).FailCount), std::pair(1u, 1u));
  EXPECT_EQ(beeps, 1);

  // "All" conditions never fire when every test is ignored (not found); "Fail" judges.
  for (const auto& [condition, notFound, expected] : {std::tuple{"AllPass", "Ignore", 0},
                                                      {"AllFail", "Ignore", 0},
                                                      {"AllFail", "Fail", 1},
                                                      {"AnyPass", "Pass", 1}}) {
    Exec(std::string("Limit:TestOn Off;:Limit2:FailWhen Outside;:Limit:If ") + condition +
         ";:Limit2:NotFound " + notFound + ";:Limit:TestOn On");
    beeps = 0;
    Pass({NAN, UndefinedValue});
    EXPECT_EQ(beeps, expected) << condition << " " << notFound;
  }

  // More tested waveforms than 16 bits hold: the run stops at the count set.
  Exec("Limit:TestOn Off;:Limit:Action ClearAll;:Limit:RunUntil Wfm;:Limit:NWfms 65537;:Limit:TestOn On");
  RunFlag = true;
  int passes = 0;
  while (RunFlag && passes < 70000) {
    ++passes;
    MeasHooks.RunLimitTest();
  }
  EXPECT_EQ(passes, 65537);
  EXPECT_EQ(LimitSettings().TestedCount, 65537u);
}

// While the test is on, the statistics header names its columns and a slot it does not test
// shows "N / A" there; switched off, the header turns back; leaving Statistic display ends
// the test and every test's activity.
TEST_F(LimitTestsTest, StatisticsLinesShowTheTestWhileItIsOnAndOtherDisplaysEndIt) {
  test::CreateBlockFontScreen();
  Slots({Ch1, Ch2});
  Exec("Limit1:Activ On;:Limit:TestOn On");
  // Three passes as the evaluator runs them: each slot's line, then the test.
  for (int pass = 0; pass < 3; ++pass) {
    for (int i = 0; i < 2; ++i) {
      SetMeasResult(Slot(i), i, "V", 1.0);
      ShowSlotResult(i);
    }
    MeasHooks.RunLimitTest();
  }
  const auto header = [] {
    const uint32_t white = 0xFFFFFF;
    return std::pair(test::StripCharacters(-1, 4, white), test::StripCharacters(-1, 5, white));
  };
  // "Tested Wfms", "Failures"; slot 1 "    3", "    0"; slot 2 "N / A" twice.
  EXPECT_EQ(header(), std::pair(10, 8));
  EXPECT_EQ(std::pair(test::StripCharacters(0, 4, Ch1), test::StripCharacters(0, 5, Ch1)), std::pair(1, 1));
  EXPECT_EQ(std::pair(test::StripCharacters(1, 4, Ch2), test::StripCharacters(1, 5, Ch2)), std::pair(3, 3));
  // Ended by the program (run until) the counts stay until the next run turns the lines
  // back to "Minimum", "Maximum"; switched off by a command they turn back at once.
  LimitSettings().TestOn->SetOnByProgram(false);
  EXPECT_EQ(header(), std::pair(10, 8));
  RestoreMeasurementLines();
  EXPECT_EQ(header(), std::pair(7, 7));
  Exec("Limit:TestOn On");
  EXPECT_EQ(header(), std::pair(10, 8));
  Exec("Limit:TestOn Off");
  EXPECT_EQ(header(), std::pair(7, 7));

  Exec("Limit:TestOn On;:Meas:Display Param");
  EXPECT_EQ(Exec("Limit:TestOn?") + " " + Exec("Limit1:Activ?"), "OFF OFF");
  Exec("Meas:Display Statistic");
  EXPECT_EQ(Exec("Limit:TestOn?") + " " + Exec("Limit1:Activ?"), "OFF OFF");
}

// A removed slot takes its test along: the slots behind it bring theirs down, and a
// measurement new to a slot finds its test as a fresh one.
TEST_F(LimitTestsTest, TestsMoveWithTheirSlotsAndANewSlotStartsAfresh) {
  Exec("Meas:Ch1:YParam Mean;:Meas:Ch2:YParam Mean");
  ASSERT_EQ(MeasState.MeasParamCount, 2);
  Exec("Limit1:FailWhen Inside");
  Exec("Limit2:Activ On;:Limit2:Mode Limit;:Limit2:UpLimit 4;:Limit2:LowLimit 3;:Limit2:FailWhen Always");
  Exec("Limit2:NotFound Fail;:Limit2:Delta UserDef;:Limit2:UserPerc 30");
  const auto settings = [&](int test) {
    std::string all;
    for (const char* key : {"Activ", "Mode", "UpLimit", "LowLimit", "CenterMode", "Delta", "StdDev",
                            "UserDef", "UserPerc", "FailWhen", "NotFound"})
      all += Exec("Limit" + std::to_string(test) + ":" + key + "?") + ";";
    return all;
  };
  const std::string second = settings(2), fresh = settings(4);
  ASSERT_NE(second, fresh);

  Exec("Meas:Ch1:YParam ClearAll");
  ASSERT_EQ(MeasState.MeasParamCount, 1);
  EXPECT_EQ(settings(1), second);
  Exec("Meas:Ch1:YParam Max");
  ASSERT_EQ(MeasState.MeasParamCount, 2);
  EXPECT_EQ(settings(1), second);
  EXPECT_EQ(settings(2), fresh);
}

TEST_F(LimitTestsTest, BandsConditionsAndReplies) {
  Slots({Ch1, Ch2});
  // Center mode: the band around the statistics' mean, by a percentage of it.
  Exec("Limit1:Activ On;:Limit1:Delta UserPerc;:Limit1:UserPerc 20");
  Pass({-5.0, 1.0});
  const TLimitBand band = LimitBand(0);
  EXPECT_NEAR(band.Low, -6, 1e-12);
  EXPECT_NEAR(band.High, -4, 1e-12);
  // Standard deviations of the statistics: values 1 and 3 have mean 2 and deviation sqrt 2.
  Exec("Limit2:Activ On;:Limit2:Delta StdDev;:Limit2:StdDev 2");
  Pass({-5.0, 3.0});
  EXPECT_NEAR(LimitBand(1).High, 2 + 2 * std::sqrt(2.0), 1e-9);

  // A value on the upper limit is inside: it fails only with FailWhen Inside.
  Exec("Limit1:Mode Limit;:Limit1:UpLimit 2;:Limit1:LowLimit 1");
  for (const auto& [failWhen, value, expected] : {std::tuple{"Outside", 2.0, TLimitResult::Pass},
                                                  {"Inside", 2.0, TLimitResult::Fail},
                                                  {"Outside", 2.5, TLimitResult::Fail},
                                                  {"Always", 1.5, TLimitResult::Fail}}) {
    Exec(std::string("Limit1:FailWhen ") + failWhen);
    EXPECT_EQ(JudgeLimitValue(0, value, LimitBand(0)), expected) << failWhen << " " << value;
  }

  // All Pass acts only when both pass and saves both sources; Any Fail saves the failing one.
  Exec("Limit1:FailWhen Outside;:Limit2:Mode Limit;:Limit2:UpLimit 2;:Limit2:LowLimit 1");
  Exec("Limit:Action Beep,Save;:Limit:TestOn On");
  struct Row {
    const char* condition;
    double first, second;
    int beeps;
    std::vector<const char*> files;
  };
  const fs::path folder = DataFolders().LimitTestFilesDir;
  for (const Row& row : {Row{"AllPass", 1.5, 3.0, 0, {}}, Row{"AllPass", 1.5, 1.2, 1, {"Ch1", "Ch2"}},
                         Row{"AnyFail", 1.5, 3.0, 1, {"Ch2"}}, Row{"AnyPass", 0.0, 3.0, 0, {}}}) {
    SCOPED_TRACE(row.condition);
    fs::remove_all(folder);
    Exec(std::string("Limit:If ") + row.condition + ";:Limit:FileName " + (folder / "x").string());
    beeps = 0;
    Pass({row.first, row.second});
    EXPECT_EQ(beeps, row.beeps);
    std::vector<double> lastPoints;
    for (const char* name : {"x.wfm", "x-00001.wfm", "x-00002.wfm"}) {
      std::ifstream in(folder / name, std::ios::binary);
      TSignalObj back;
      if (in && back.LoadFromBinaryFile(in)) lastPoints.push_back(back.GetY(31));
    }
    std::vector<double> expected;
    for (const char* source : row.files) expected.push_back(std::string(source) == "Ch1" ? 31 : -31);
    EXPECT_EQ(lastPoints, expected);
  }

  // The percentage has three digits.
  Exec("Header Off;:Limit2:UserPerc 12.34");
  EXPECT_EQ(Exec("Limit2:UserPerc?"), "12.3 %");
  // Replies: passive while off; with the header the parameter follows the path.
  Exec("Header On");
  EXPECT_EQ(Exec("Limit2:Res? Fail"), "LIMIT2:RES:Fail 3");
  EXPECT_EQ(Exec("Limit3:Res? Fail"), "LIMIT3:RES:Fail LIMIT TEST FOR PARAMETER IS PASSIVE");
  EXPECT_EQ(Exec("Limit2:Res? Foo"), "LIMIT2:RES:Foo BAD STATISTIC PARAMETER");
  Exec("Limit:TestOn Off");
  EXPECT_EQ(Exec("Limit2:Res? Fail"), "LIMIT2:RES:Fail LIMIT TEST FOR PARAMETER IS PASSIVE");
  EXPECT_EQ(LimitTestOfHandler(*RootSpider->FindHandler("Limit3:NotFound")), 2);
  EXPECT_EQ(test::AssertionText([] { LimitTestOfHandler(*RootSpider->FindHandler("Limit:If")); }),
            "UNKNOWN Handler");
}

TEST_F(LimitTestsTest, SwitchingOnRangesTheEditorsAndTheSaveActionAsksForAFile) {
  Slots({Ch1});
  for (double v : {0.9, 1.1, 1.0, 1.0}) Pass({v});
  Exec("Limit1:Activ On");
  // Mean 1, deviation sqrt(0.02 / 3): limits at three deviations either side.
  const double s = std::sqrt(0.02 / 3);
  const auto value = [](const char* path) {
    return dynamic_cast<TDoubleEditHandler*>(RootSpider->FindHandler(path))->Value();
  };
  EXPECT_NEAR(value("Limit1:UpLimit"), 1 + 3 * s, 1e-3);
  EXPECT_NEAR(value("Limit1:LowLimit"), 1 - 3 * s, 1e-3);
  // Tests beyond the used slots cannot be switched on; the page's choice is lowered.
  LimitSettings().NPar->SetIndexByProgram(2);
  UpdateLimitTestSlots();
  EXPECT_TRUE(RootSpider->FindHandler("Limit2:Activ")->IsDisabled());
  EXPECT_EQ(GetIndex(LimitSettings().NPar), 0);

  // Save from the page: the file dialog names the stem; cancelling takes Save back.
  test::FakeDialogs dialogs;
  TCheckSwHandler& action = *LimitSettings().Action;
  dialogs.files.push_back(std::nullopt);
  action.SetButtonBySwitcher(laSave, true);
  EXPECT_EQ(action.GetMask(), 0u);
  const fs::path own = test::MakeTempDir("chosen");
  dialogs.files.push_back(TFileChoice{(own / "shot.txty").string(), own.string(), 2});
  action.SetButtonBySwitcher(laSave, true);
  EXPECT_EQ(action.GetMask(), 1u << laSave);
  EXPECT_EQ(Exec("Limit:FileName?"), (own / "shot.txty").string());
  EXPECT_EQ(beeps, 1);
  EXPECT_FALSE(RootSpider->FindHandler("Limit:FileFormat")->IsDisabled());
}

}  // namespace
}  // namespace norv
