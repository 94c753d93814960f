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

}  // namespace
}  // namespace norv::test
