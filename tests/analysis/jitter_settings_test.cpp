// The "Jitter:" nodes on their own: the result list follows the checked results in the
// order they were checked, disabled items are not taken even by command and leave the
// strip to the other analyses while the analysis is off, the plot set opens and frees
// windows, and the level edits are enabled by the sampling-level choice.

#include "analysis/jitter_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/settings/handler.h"
#include "framework/util/errors.h"
#include "support/fake_clock.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

class JitterSettingsTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    RegisterJitterHandlers();
    Exec("Header Off");
  }
  static std::string Names() {
    std::string names;
    for (const TParameterOfJtrMeas& p : JitterSettings().JitterResults)
      names += (names.empty() ? "" : "|") + std::to_string(p.Index);
    return names;
  }
};

TEST_F(JitterSettingsTest, TheResultListFollowsTheCheckedResults) {
  struct Step {
    const char* command;
    const char* list;  // result indexes in list order
    const char* answer;
  };
  const Step steps[] = {
      {"Jitter:JParam Random", "5", "RANDOM"},
      {"Jitter:JParam Random,InterSymbol", "5|7", "RANDOM,INTERSYMBOL"},
      {"Jitter:JParam DataDepend,Random,InterSymbol", "5|7|4", "DATADEPEND,RANDOM,INTERSYMBOL"},
      // The disabled results are not taken, not even by command.
      {"Jitter:JParam Total,DataDepend,Random,InterSymbol", "5|7|4", "DATADEPEND,RANDOM,INTERSYMBOL"},
      {"Jitter:JParam DataDepend,InterSymbol", "7|4", "DATADEPEND,INTERSYMBOL"},
      {"Jitter:JParam ClearAll", "", "ClearALL"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.command);
    Exec(s.command);
    EXPECT_EQ(Names(), s.list);
    EXPECT_EQ(Exec("Jitter:JParam?"), s.answer);
  }
  // Every entry of a fresh list has no value yet and the name of its result.
  Exec("Jitter:JParam DutyCycleDist");
  ASSERT_EQ(JitterSettings().JitterResults.size(), 1u);
  EXPECT_EQ(JitterSettings().JitterResults[0].Name, "Duty Cycle Distortions (DCD)");
  EXPECT_EQ(JitterSettings().JitterResults[0].Value, -static_cast<double>(std::numeric_limits<float>::max()));

  // A result that is not listed cannot be removed, except while every setter notifies.
  EXPECT_THROW(RemoveJitterResult(4), EAssertion);
  ForceNotify = true;
  EXPECT_NO_THROW(RemoveJitterResult(4));
  ForceNotify = false;
  // The list holds ten at most.
  for (int n = 0; n < 12; ++n) AddJitterResult(n % 8, "x");
  EXPECT_EQ(JitterSettings().JitterResults.size(), static_cast<size_t>(kJitterResultLines));
}

TEST_F(JitterSettingsTest, ResultsChosenWhileTheAnalysisIsOffLeaveTheStripAsItIs) {
  FakeClock clock;
  TReadableFont font;
  ScopeCRT = std::make_unique<TScopeCRT>(&font, &clock, clock);
  ScopeCRT->PlaceScreen(0, 0, 504, 804);
  const TRect cell = TNizText::GetMeasCellRect(0, true);
  ScopeCRT->BottomText().WriteLine("Maximum (Ch1)", cell, -1, 0x00FFFF);
  Exec("Jitter:JParam Random,DataDepend");
  EXPECT_EQ(ReadCell(ScopeCRT->BottomText(), cell).Text, "Maximum (Ch1)");
  ScopeCRT.reset();
}

TEST_F(JitterSettingsTest, PlotsOpenAndFreeTheirWindowsAndTheLevelEditsFollowTheChoice) {
  std::vector<std::string> calls;
  JitterHooks.ShowJitterPlot.Set([&calls](int kind) { calls.push_back("show " + std::to_string(kind)); });
  JitterHooks.FreeJitterPlot.Set([&calls](int kind) { calls.push_back("free " + std::to_string(kind)); });
  Exec("Jitter:JPlots DDJvsBit,BERBathtub");
  EXPECT_EQ(Exec("Jitter:JPlots?"), "DDJVSBIT");
  EXPECT_EQ(CheckedJitterPlots(), 1u << jpDDJvsBit);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), "free 6");
  EXPECT_NE(std::find(calls.begin(), calls.end(), "show 5"), calls.end());
  EXPECT_EQ(std::find(calls.begin(), calls.end(), "show 6"), calls.end());
  calls.clear();
  JitterPlotHidden(jpDDJvsBit);
  EXPECT_EQ(Exec("Jitter:JPlots?"), "ClearALL");
  EXPECT_NE(std::find(calls.begin(), calls.end(), "free 5"), calls.end());

  struct Case {
    const char* item;
    bool percent, level;
  };
  const Case cases[] = {{"Level", false, true}, {"Average", false, false}, {"AmplPerc", true, false}};
  for (const Case& c : cases) {
    Exec(std::string("Jitter:SmplLvl ") + c.item);
    EXPECT_EQ(!RootSpider->FindHandler("Jitter:PercAmpl")->IsDisabled(), c.percent) << c.item;
    EXPECT_EQ(!RootSpider->FindHandler("Jitter:CustLevel")->IsDisabled(), c.level) << c.item;
  }
  // A second registration keeps the nodes as they are.
  RegisterJitterHandlers();
  EXPECT_EQ(Exec("Jitter:SmplLvl?"), "AMPLPERC");
}

}  // namespace
}  // namespace norv::test
