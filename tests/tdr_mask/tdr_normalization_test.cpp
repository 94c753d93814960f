// The correction procedure's measurements on made-up records (levels and indexes worked
// out by hand), its progress, and the "Normalize" switch through the settings: a setup or
// an undo that turns it on leaves it off, and the F1/F2 menus offer and fix the corrected
// trace only while their channel is corrected.

#include "tdr_mask/tdr_normalization.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/derived_settings.h"
#include "framework/settings/choice_handlers.h"
#include "framework/util/errors.h"
#include "instrument/link/instrument_identity.h"
#include "shell/shell_state.h"
#include "support/program_units_fixture.h"
#include "support/settings_tree_fixture.h"
#include "tdr_mask/tdr_settings.h"

namespace norv::test {
namespace {

// Levels by index: [0, a) first, [a, b) second, from b third.
std::vector<double> Levels(int n, int a, int b, double first, double second, double third) {
  std::vector<double> y(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) y[static_cast<size_t>(i)] = i < a ? first : i < b ? second : third;
  return y;
}
std::vector<double> Negated(std::vector<double> y) {
  for (double& v : y) v = -v;
  return y;
}

TEST(NormalizationMeasures, TheShortEndsReflectionIsFound) {
  // Incident step at 100 to 0.2 V, the short's reflection back to 0.1 V at 300.
  const std::vector<double> tdr = Levels(1000, 100, 300, 0, 0.2, 0.1);
  std::vector<double> spike = tdr;  // three noisy points near the end, below half the level
  spike[950] = spike[951] = spike[952] = 0;
  struct Case {
    const char* name;
    std::vector<double> y;
    double sign;
    int run;
    int expected;
  };
  for (const Case& c : {Case{"short end", tdr, 1, 10, 299}, Case{"negative step", Negated(tdr), -1, 10, 299},
                        Case{"noise merged", spike, 1, 10, 299}, Case{"noise kept", spike, 1, 1, -4},
                        Case{"other polarity", Negated(tdr), 1, 10, -3},
                        Case{"no stimulus", Levels(1000, 0, 0, 0, 0, 0.04), 1, 10, -2},
                        Case{"no short end", Levels(1000, 100, 100, 0, 0, 0.2), 1, 10, -4},
                        Case{"no edge at all", Levels(1000, 0, 0, 0, 0, 0.2), 1, 10, -1}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindTdrStimulus(c.y, c.sign, c.run), c.expected);
  }
  // The transmitted step: the point before the first one past half its level.
  EXPECT_EQ(FindTdtEdge(Levels(500, 50, 50, 0, 0, 0.4), 1), 49);
  EXPECT_EQ(FindTdtEdge(Negated(Levels(500, 50, 50, 0, 0, 0.4)), -1), 49);
  EXPECT_EQ(FindTdtEdge(Levels(500, 0, 0, 0, 0, 0.4), 1), -1);
  EXPECT_EQ(FindTdtEdge(Levels(500, 50, 50, 0, 0, 0.4), -1), -3);
  EXPECT_EQ(FindTdtEdge(Levels(500, 50, 50, 0, 0, 0.01), 1), -2);
}

TEST(NormalizationMeasures, MeanLevelsStepsAndIdealEdges) {
  std::vector<double> ramp(1024);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i);
  EXPECT_DOUBLE_EQ(MeanLevel(ramp, 2, 8), 600);  // points 200..1000
  EXPECT_DOUBLE_EQ(MeanLevel(ramp, 0.5, 0), 50);
  EXPECT_DOUBLE_EQ(MeanLevel(ramp, 9, 1.01), (1001 + 900) / 2.0);
  const std::vector<double> ten(ramp.begin(), ramp.begin() + 10);
  EXPECT_DOUBLE_EQ(MeanLevel(ten, 9, 1.01), 9);  // points 9..10, the end clipped
  for (const auto& [start, length] : {std::pair{0.0, 1.0}, std::pair{2.0, 8.02}, std::pair{1.0, -1.0}})
    EXPECT_THROW(MeanLevel(ramp, start, length), EAssertion);

  // "NormTime" 5e-11 on 1e-12 s/point: 50 points from 10 % to 90 %; the middle one point
  // before the edge position.
  for (const auto& [lo, hi] : {std::pair{0.0, 1.0}, std::pair{0.3, -0.2}}) {
    std::vector<double> y(2048);
    IdealEdge(y, lo, hi, 601, 5e-11 / 1e-12);
    const auto crossing = [&](double fraction) {
      const double level = lo + fraction * (hi - lo);
      size_t i = 1;
      while ((y[i] - level) * (hi - lo) < 0) ++i;
      return static_cast<double>(i - 1) + (level - y[i - 1]) / (y[i] - y[i - 1]);
    };
    EXPECT_NEAR(crossing(0.9) - crossing(0.1), 50, 0.1);
    EXPECT_NEAR(crossing(0.5), 600, 0.01);
    const TStepLevels step = FindStep(y, true);
    ASSERT_TRUE(step.Found);
    EXPECT_NEAR(step.Start, lo, 1e-9);
    EXPECT_NEAR(step.End, hi, 1e-9);
    EXPECT_NEAR(step.Edge, 600, 0.5);
  }
  // An edge outside the searched band is found by the first point past the middle.
  const TStepLevels late = FindStep(Levels(1000, 800, 800, 0, 0, 1), true);
  ASSERT_TRUE(late.Found);
  EXPECT_DOUBLE_EQ(late.Edge, 799.5);
  EXPECT_FALSE(FindStep(Levels(1000, 400, 400, 0, 0, 0.004), true).Found);
  EXPECT_TRUE(FindStep(Levels(1000, 400, 400, 0, 0, 0.004), false).Found);
}

TEST(NormalizationMeasures, ProgressRunsThroughBothAverages) {
  struct Case {
    bool tdr;
    int stage, count, percent;
  };
  for (const Case& c :
       {Case{true, 0, 0, 5}, Case{true, 1, 0, 10}, Case{true, 2, 1, 10}, Case{true, 2, 64, 33},
        Case{true, 2, 128, 55}, Case{true, 3, 0, 55}, Case{true, 4, 0, 55}, Case{true, 5, 64, 78},
        Case{true, 5, 128, 100}, Case{false, 0, 0, 10}, Case{false, 2, 32, 25}, Case{false, 2, 128, 100}}) {
    SCOPED_TRACE(std::to_string(c.stage) + " " + std::to_string(c.count));
    EXPECT_EQ(NormalizationProgress(c.tdr, c.stage, c.count), c.percent);
  }
}

class NormalizationSettingsTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    StartProgramUnits(1, OptGenerators);
    Exec("Header Off");
    Exec("TDR:Mode TDR;:TDR:Ch1:Destination External;:TDR:Ch2:Destination External");
  }
  void TearDown() override {
    InstrumentIdentity = {};
    SettingsTreeTest::TearDown();
  }
  static THandler& Node(const std::string& path) { return *RootSpider->FindHandler(path); }
  static bool On(const std::string& path) { return dynamic_cast<TOnOffHandler&>(Node(path)).IsOn(); }
};

TEST_F(NormalizationSettingsTest, ASetupOrAnUndoThatSwitchesItOnLeavesItOff) {
  // The setup saved while corrected: F1 showed the corrected trace.
  const std::vector<std::string> refused =
      RootSpider->LoadSettings({"F1:DISPLAY ON", "F1:OPERAT NNN", "TDR:CH1:NORMALIZE ON"});
  EXPECT_TRUE(refused.empty());
  EXPECT_FALSE(On("TDR:Ch1:Normalize"));
  EXPECT_FALSE(On("F1:Display"));
  EXPECT_EQ(DerivedSettings().Functions[0].Operat->GetIndex(), 4);  // Invert
  EXPECT_EQ(NormalizationState().Dialog, nullptr);

  // A replay (undo or redo) that switches it on: on until the replay has ended.
  Node("TDR:Ch2:Normalize").ExecCmd("ON", false, true);
  EXPECT_TRUE(On("TDR:Ch2:Normalize"));
  ShellHooks.AfterUndoReplay();
  EXPECT_FALSE(On("TDR:Ch2:Normalize"));
  ShellHooks.AfterUndoReplay();  // nothing pending any more
  EXPECT_FALSE(On("TDR:Ch2:Normalize"));
}

TEST_F(NormalizationSettingsTest, TheFunctionMenusOfferTheCorrectionOnlyWhileItIsOn) {
  Node("TDR:Ch1:Normalize").ExecCmd("ON", false, true);  // on without its procedure
  UpdateAllFunctionMenus();
  for (int function = 0; function < 4; ++function) {
    SCOPED_TRACE(function);
    const TFunctionNodes& f = DerivedSettings().Functions[static_cast<size_t>(function)];
    const bool corrected = function == 0;
    EXPECT_EQ((f.Operat->GetDisabledMask() >> 17) & 1, corrected ? 0u : 1u);
    EXPECT_EQ(f.Operat->IsDisabled(), corrected);
    EXPECT_EQ(f.Display->IsDisabled(), corrected);
    EXPECT_EQ(f.Source1->IsDisabled(), corrected);
  }
  Exec("TDR:Mode Off");  // no longer corrected, though the switch stays
  EXPECT_FALSE(DerivedSettings().Functions[0].Operat->IsDisabled());  // F1 is free at once
  EXPECT_FALSE(DerivedSettings().Functions[0].Display->IsDisabled());
  UpdateAllFunctionMenus();
  EXPECT_EQ((DerivedSettings().Functions[0].Operat->GetDisabledMask() >> 17) & 1, 1u);
  EXPECT_FALSE(DerivedSettings().Functions[0].Operat->IsDisabled());
}

}  // namespace
}  // namespace norv::test
