// The reflection and transmission measurements on records built by hand: the window
// between the margins on zoomed, shifted and short records, the extremes, gain and edge
// found in it, and the lines the check sets keep (at most four a mode, the oldest giving
// way), with the warning of an uncalibrated channel and the statistics of each line.

#include "tdr_mask/tdr_measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "display/display_hooks.h"
#include "display/display_test_support.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/value_text.h"
#include "framework/traces/trace_names.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "measure/meas_state.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/program_units_fixture.h"
#include "support/settings_tree_fixture.h"
#include "tdr_mask/tdr_settings.h"

namespace norv::test {
namespace {

// A record of n points, 10 ps apart, starting at x0, every point `level`.
TSignalObj Flat(int n, double level, double x0 = 0) {
  TSignalObj r;
  r.SetRecLen(static_cast<uint16_t>(n));
  r.SetDX(1e-11);
  r.SetX0(x0);
  for (int i = 0; i < n; ++i) r.SetY(i, level);
  return r;
}

TEST(TdrMeasureRoutines, TheWindowHoldsOnlyPointsOfTheRecord) {
  struct Case {
    int recLen, zoomStep, firstShown;
    double left, right;
    std::optional<std::pair<int, int>> window;
  };
  // Record index of screen X: X / zoom / 4096 x RecLen + first shown point; the window
  // holds the points inside [left, right].
  for (const Case& c : {
           Case{512, 1, 0, 1, 4000, std::pair{1, 500}}, Case{512, 4, 384, 2000, 4000, std::pair{447, 509}},
           Case{512, 4, 480, 100, 4000, std::pair{484, 511}},  // past the record's end
           Case{512, 4, 480, 2000, 4000, std::nullopt},        // all of it past the end
           Case{32, 1, 0, 1, 4000, std::pair{1, 31}}, Case{512, 1, 0, 2000, 2001, std::pair{250, 250}},
           Case{512, 1, 0, 2001, 2003, std::nullopt},  // between two points
       }) {
    SCOPED_TRACE(testing::Message() << c.recLen << " " << c.zoomStep << " " << c.firstShown << " " << c.left);
    TSignalObj r = Flat(c.recLen, 0);
    r.SetZoomStep(c.zoomStep);
    r.SetFirstShown(static_cast<uint16_t>(c.firstShown));
    const std::optional<TIndexWindow> w = MarginWindow(r, c.left, c.right);
    ASSERT_EQ(w.has_value(), c.window.has_value());
    if (w) {
      EXPECT_EQ(std::pair(w->First, w->Last), *c.window);
    }
  }
}

TEST(TdrMeasureRoutines, ReflectionGainAndDelayOfHandMadeSteps) {
  const double b = -0.2, a = 0.1;
  // Reflection: the extreme of s x Y over [10, 60], from the base line, in % of A.
  struct Case {
    bool negative, maximum;
    std::vector<std::pair<int, double>> points;  // on the base line elsewhere
    double percent;
    int index;
  };
  for (const Case& c : {
           Case{false, true, {{30, b + a}}, 100, 30},
           Case{false, true, {{5, b + 2 * a}, {30, b + a / 2}}, 50, 30},  // 5 is outside
           Case{true, true, {{30, b - a}}, 100, 30},                      // Neg: the samples inverted
           Case{true, false, {{30, b + a / 4}}, -25, 30},
           Case{false, false, {{20, b - a}, {40, b - a}}, -100, 20},  // the first of two wins
           Case{false, true, {}, 0, 10},
       }) {
    TSignalObj r = Flat(100, b);
    for (const auto& [i, v] : c.points) r.SetY(i, v);
    const TFoundValue f = MeasureReflection(r, {10, 60}, b, a, c.negative, c.maximum);
    EXPECT_NEAR(f.Value, c.percent, 1e-9);
    EXPECT_EQ(f.Index, c.index);
  }
  EXPECT_TRUE(IsUndefined(MeasureReflection(Flat(100, b), {10, 60}, b, 0, false, true).Value));

  // A negative step of 0.4 V from -0.02 V (its TDT amplitude negative): through a 6 dB pad
  // it reaches -0.22 V.
  TSignalObj step = Flat(400, -0.02, 1e-9);
  step.SetTdrBase(-0.02);
  step.SetTdrAmplitude(-0.4);
  // An edge centred on point 200 (steepest there), 0.2 V deep.
  for (int i = 0; i < 400; ++i) step.SetY(i, -0.02 - 0.1 * (1 + std::tanh((i - 200) / 6.0)));
  const TFoundValue gain = MeasureGain(step, {0, 399});
  EXPECT_NEAR(gain.Value, 0.5, 1e-6);
  TSignalObj work;
  const double refPlane = 0.5e-9;
  const TFoundValue delay = MeasurePropDelay(step, {0, 399}, refPlane, work);
  EXPECT_EQ(delay.Index, 200);
  EXPECT_NEAR(delay.Value, 1e-9 + 200 * 1e-11 - refPlane, 1e-15);
  // A window that ends before the edge finds its steepest point at its end.
  EXPECT_EQ(MeasurePropDelay(step, {0, 150}, refPlane, work).Index, 150);
  // Shown in gain units, the edge is still found on the volts.
  step.SetTdrUnitKind(tukNoUnit);
  EXPECT_EQ(MeasurePropDelay(step, {0, 399}, refPlane, work).Index, 200);
}

class TdrMeasureTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    StartProgramUnits(1, OptGenerators);
    ScopeCRT = std::make_unique<TScopeCRT>(&font_, nullptr, clock_);
    SetDialogs(&dialogs_);
    BuildTraceNames([](const std::string& key) { return GetLangStr(key); });
    Exec("Header Off");
    SignalsOn.SetOn(TTraceId::Ch1, true);
    SignalsOn.SetOn(TTraceId::Ch2, true);
    UpdateTDRChannelSelect();
  }
  void TearDown() override {
    InstrumentIdentity = {};
    SettingsTreeTest::TearDown();
  }
  static uint32_t Mask(const std::string& path) {
    return dynamic_cast<TCheckSwHandler&>(*RootSpider->FindHandler(path)).GetMask();
  }
  // Ch1's record afresh: on the base line with one point at `level`.
  static void Acquire(double level) {
    TSignalObj& r = SignalObjs()[TTraceId::Ch1];
    r = Flat(512, -0.2);
    r.SetY(300, level);
    r.MarkChanged();
    TDRMeasurePass();
  }

  FakeClock clock_;
  TBlockFont font_;
  FakeDialogs dialogs_;
};

TEST_F(TdrMeasureTest, AFifthParameterPushesTheOldestOutAndItsCheckItemGoesOff) {
  Exec("TDR:Mode TDR;:TDR:Measure On");
  Exec("TDR:Ch1:TdrParams MinReflect,MaxReflect");
  Exec("TDR:Ch2:TdrParams MinReflect,MaxReflect");
  ASSERT_EQ(ReflectLineCount(rmTDR), 4);
  Exec("TDR:NormCh1:TdrParams MaxReflect");
  ASSERT_EQ(ReflectLineCount(rmTDR), 4);
  EXPECT_EQ(Mask("TDR:Ch1:TdrParams"), 0b10u);  // MinReflect of Ch1 went
  std::vector<std::tuple<int, int>> lines;
  for (int i = 0; i < 4; ++i) lines.emplace_back(ReflectLine(rmTDR, i)->Source, ReflectLine(rmTDR, i)->Param);
  EXPECT_EQ(lines, (std::vector<std::tuple<int, int>>{{0, 1}, {1, 0}, {1, 1}, {2, 1}}));
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 3);  // the newest shows its labels
  EXPECT_EQ(ReflectParamTitle(*ReflectLine(rmTDR, 3)), "Max Reflect (F1)");
  // TDT keeps lines of its own; removing one moves the later ones down.
  Exec("TDR:Ch1:TdtParams PropDelay,DbGain");
  Exec("TDR:Ch1:TdtParams DbGain");
  ASSERT_EQ(ReflectLineCount(rmTDT), 1);
  EXPECT_EQ(ReflectLine(rmTDT, 0)->Param, tpDbGain);
  Exec("TDR:Ch2:TdrParams MaxReflect");
  EXPECT_EQ(ReflectLine(rmTDR, 1)->Source, 1);
  EXPECT_EQ(ReflectLine(rmTDR, 1)->Param, 1);
  // The menu of a line: margins shown, so only their removal is offered.
  const auto items = [](int line) {
    std::string text;
    for (const TPopupItem& i : BuildReflectParamPopupMenu(line).Items)
      if (i.Name != "-") text += i.Name + (i.Checked ? "+" : "") + (i.Enabled ? "" : "~") + " ";
    return text;
  };
  EXPECT_EQ(items(2),
            "AllVisible+ Annot+ DelAnnot DefParam+~ DelDefParam Remove RemoveAll ");  // it moved down
  ReflectParamPopupCommand("DelDefParam", 0);
  ReflectParamPopupCommand("Annot", 0);
  EXPECT_EQ(items(2), "AllVisible Annot DelAnnot DefParam DelDefParam~ Remove RemoveAll ");
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, 0);
  ReflectParamPopupCommand("DelAnnot", 2);
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, -1);
  EXPECT_EQ(items(0), "AllVisible Annot DelAnnot~ DefParam DelDefParam~ Remove RemoveAll ");
  // The menu's Remove All takes every line of the mode off its check set.
  ReflectParamPopupCommand("RemoveAll", 0);
  EXPECT_EQ(ReflectLineCount(rmTDR), 0);
  EXPECT_EQ(Mask("TDR:Ch2:TdrParams") | Mask("TDR:NormCh1:TdrParams") | Mask("TDR:Ch1:TdrParams"), 0u);
}

TEST_F(TdrMeasureTest, AnUncalibratedChannelWarnsOnceAModeAndIsMeasuredFromTheNextRecordOn) {
  Exec("TDR:Mode TDR;:TDR:Ch1:Destination External");
  Exec("TDR:Ch1:BaseLine -0.2;:TDR:Ch1:RefAmpl 0.1");
  Exec("TDR:Ch1:TdrParams MaxReflect");
  Exec("TDR:Measure On");
  EXPECT_FALSE(RootSpider->FindHandler("TDR:Source")->IsDisabled());
  const TReflectParam& line = *ReflectLine(rmTDR, 0);
  Acquire(-0.1);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].find("correct TDR measurements"), std::string::npos);
  EXPECT_EQ(line.Stat.Count(), 0);
  Acquire(-0.1);  // b + A
  EXPECT_NEAR(line.Value, 100, 1e-9);
  EXPECT_EQ(line.ValueText, "100 %");
  // The labels of the line: the reference plane (2 ns, point 200) on the base line, the
  // peak at point 300; X runs 4096 over the 512 points.
  EXPECT_EQ(MeasState.Ann.SelectedParamLine, -1);  // switching the measurements on cleared them
  ReflectParamPopupCommand("Annot", 0);
  Acquire(-0.1);
  EXPECT_EQ(std::pair(line.Annotations[1].AnchorX, line.Annotations[3].AnchorX), std::pair(1600, 2400));
  InvalidateReflectParamLabels();  // "*ClrDispl": placed again by the next record
  EXPECT_LT(line.Annotations[3].AnchorX, -100);
  Acquire(-0.15);
  EXPECT_EQ(line.Annotations[3].AnchorX, 2400);
  EXPECT_EQ(line.Stat.Count(), 3);
  EXPECT_NEAR(line.Stat.Mean(), 250.0 / 3, 1e-9);
  EXPECT_EQ(dialogs_.shown.size(), 1u);
  // A mode change forgets the warning.
  Exec("TDR:Mode TDT;:TDR:Mode TDR");
  Acquire(-0.1);
  EXPECT_EQ(dialogs_.shown.size(), 2u);
  // Measure off: no pass, and the nodes of the window wait.
  Exec("TDR:Measure Off");
  EXPECT_TRUE(RootSpider->FindHandler("TDR:Ch1:LeftMargins")->IsDisabled());
  const int64_t count = line.Stat.Count();
  Acquire(-0.1);
  EXPECT_EQ(line.Stat.Count(), count);
}

// The reflection measurements and the amplitude measurements share the screen one at a time.
TEST_F(TdrMeasureTest, TheMeasurementsOfTheTwoUnitsTakeTurns) {
  Exec("TDR:Mode TDR;:Meas:Display Param");
  Exec("TDR:Measure On");
  EXPECT_EQ(Exec("Meas:Display?"), "OFF");
  Exec("Meas:Display Statistic");
  EXPECT_EQ(Exec("TDR:Measure?"), "OFF");
  EXPECT_TRUE(RootSpider->FindHandler("TDR:Ch1:TdrParams")->IsDisabled());
}

TEST_F(TdrMeasureTest, AWindowBesideTheRecordGivesTheUndefinedValueAndNoStatistics) {
  Exec("TDR:Mode TDR;:TDR:Ch1:Destination External;:TDR:Measure On");
  TdrChannel(2).Calibrated = true;
  Exec("TDR:Ch1:TdrParams MinReflect");
  TSignalObj& r = SignalObjs()[TTraceId::Ch1];
  r = Flat(512, -0.2);
  // Zoomed in 8 times and shifted to the last points: the right half of the screen lies
  // beyond the record.
  r.SetZoomStep(8);
  r.SetFirstShown(500);
  TdrSettings().Sources[0].LeftMargins->SetValueByProgram(3000);
  r.MarkChanged();
  ASSERT_NO_THROW(TDRMeasurePass());
  const TReflectParam& line = *ReflectLine(rmTDR, 0);
  EXPECT_TRUE(IsUndefined(line.Value));
  EXPECT_EQ(line.Stat.Count(), 0);
  // A margin dragged back into the record measures again.
  DisplayHooks.TdrMarginDragged(false, 100);
  EXPECT_EQ(TdrSettings().Sources[0].LeftMargins->GetIntValue(), 100);
  r.MarkChanged();
  TDRMeasurePass();
  EXPECT_NEAR(line.Value, 0, 1e-9);
  EXPECT_EQ(line.Stat.Count(), 1);
}

}  // namespace
}  // namespace norv::test
