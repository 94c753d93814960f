// The pattern search as the program runs it: one step per acquisition, the settings it
// turned for itself given back afterwards, and only what it found kept.

#include "instrument/settings/pattern_search_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "framework/settings/undo_ring.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings_fixture.h"
#include "support/every_unit.h"
#include "support/fake_dialogs.h"

namespace norv::test {
namespace {

class PatternSearchRunTest : public InstrumentSettingsTest {
 protected:
  void SetUp() override {
    InstrumentSettingsTest::SetUp();
    InstallPatternSearch();
    SettingsHooks.PatternSearchProgress.Set([this](int p) { progress.push_back(p); });
    StartUndo();
    dialogs = std::make_unique<FakeDialogs>();  // after the fresh state, which uninstalls it
  }

  // Acquisitions until the search ends: single shots show the bits (0/1 V, 32 points a
  // level); once it averages, the picture stands only at the pattern length `standing`
  // and is the flat mean otherwise.
  void Acquire(int32_t standing) {
    for (int n = 0; n < 500 && PatternSearchRun().SearchActive; ++n) {
      TSignalObj& record = SignalObjs()[TTraceId::Ch1];
      const bool still = PatternSearchRun().Search->State() < TPatternSearchState::LengthTest ||
                         Edit("Trig:PattLen")->GetIntValue() == standing;
      for (int i = 0; i < record.GetRecLen(); ++i) record.SetY(i, still ? (i / 32 % 2 ? 1.0 : 0.0) : 0.5);
      AcqHooks.PatternSearchStep();
    }
    ASSERT_FALSE(PatternSearchRun().SearchActive);
  }

  std::vector<int> progress;
  std::unique_ptr<FakeDialogs> dialogs;
};

TEST_F(PatternSearchRunTest, GivesBackItsSettingsAndKeepsWhatItFound) {
  struct Case {
    int32_t standing;  // 0: never
    int32_t length;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {200, 200, {}},
      {0, 255, {"[information] Pattern not found"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.standing);
    Exec("TB:Mode A");
    Exec("TB:ScaleA 1E-8");
    Exec("Acq:Ch1:Mode AvgStab");
    Exec("Trig:PattLen 255");
    TriggerSettings().PatternLengthList = {100, 200, 300};
    const std::string before =
        Exec("TB:Mode?") + Exec("TB:ScaleA?") + Exec("Acq:Ch1:Mode?") + Exec("Acq:Ch1:RecLen?");
    progress.clear();
    dialogs->shown.clear();
    SettingsHooks.StartPatternSearch(2.5e9);
    ASSERT_TRUE(PatternSearchRun().SearchActive);
    EXPECT_EQ(Exec("TB:Mode?"), "TB:MODE B");
    Acquire(c.standing);
    EXPECT_EQ(Exec("TB:Mode?") + Exec("TB:ScaleA?") + Exec("Acq:Ch1:Mode?") + Exec("Acq:Ch1:RecLen?"),
              before);
    EXPECT_EQ(Edit("Trig:PattLen")->GetIntValue(), c.length);
    EXPECT_EQ(Exec("Trig:PatternLockMode?"), "TRIG:PATTERNLOCKMODE OFF");
    EXPECT_EQ(dialogs->shown, c.shown);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), -1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1));
  }
}

// With every unit's nodes: the spectra, functions, memories and display styles are switched
// for the search and come back afterwards.
class PatternSearchProgramTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    RegisterEveryUnit();
    InstallPatternSearch();
    SettingsHooks.PatternSearchProgress.Set([](int) {});
    StartUndo();
    dialogs = std::make_unique<FakeDialogs>();
  }
  std::unique_ptr<FakeDialogs> dialogs;
};

TEST_F(PatternSearchProgramTest, SwitchesOffWhatWouldDisturbThePictureAndGivesItBack) {
  const char* const setup[] = {"Spectr1:Display ON",
                               "Spectr2:Display ON",
                               "F1:Display ON",
                               "F4:Display ON",
                               "Save:Memo:On M1,M3",
                               "Displ:TraceMode AllLocked",
                               "Displ:Ch1:Style VarGrayScal",
                               "Displ:Ch2:Style InfinPers",
                               "Displ:Format XY"};
  for (const char* line : setup) Exec(line);
  const char* const queries[] = {"Spectr1:Display?", "Spectr2:Display?", "F1:Display?",
                                 "F4:Display?",      "Save:Memo:On?",    "Displ:TraceMode?",
                                 "Displ:Ch1:Style?", "Displ:Ch2:Style?", "Displ:Format?"};
  const auto answers = [&] {
    std::vector<std::string> texts;
    for (const char* query : queries) texts.push_back(Exec(query));
    return texts;
  };
  const std::vector<std::string> before = answers();
  TriggerSettings().PatternLengthList = {100};
  SettingsHooks.StartPatternSearch(2.5e9);
  ASSERT_TRUE(PatternSearchRun().SearchActive);
  const std::vector<std::string> during = {
      "SPECTR1:DISPLAY OFF",  "SPECTR2:DISPLAY OFF",   "F1:DISPLAY OFF",
      "F4:DISPLAY OFF",       "SAVE:MEMO:ON ClearALL", "DISPL:TRACEMODE PERTRACE",
      "DISPL:CH1:STYLE DOTS", "DISPL:CH2:STYLE DOTS",  "DISPL:FORMAT YT"};
  EXPECT_EQ(answers(), during);
  for (int n = 0; n < 500 && PatternSearchRun().SearchActive; ++n) AcqHooks.PatternSearchStep();
  ASSERT_FALSE(PatternSearchRun().SearchActive);
  EXPECT_EQ(answers(), before);
}

}  // namespace
}  // namespace norv::test
