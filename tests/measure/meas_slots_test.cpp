#include "measure/meas_slots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "framework/language/language.h"
#include "measure/meas_fixture.h"

namespace norv::test {
namespace {

constexpr auto Ch1 = TTraceId::Ch1, Ch2 = TTraceId::Ch2;

class MeasSlotsTest : public MeasFixture {};

TEST_F(MeasSlotsTest, CatalogueNamesUnitsAndValueClasses) {
  std::set<std::pair<int, int>> seen;
  for (const TMeasEntry& e : MeasCatalogue()) {
    EXPECT_TRUE(seen.emplace(e.Group, e.Index).second) << e.Key;
    const TParameterOfMeas slot(Ch1, e.Index, e.Group, Ch2);
    // Every name is a text of the language table.
    EXPECT_EQ(MeasName(slot), LanguageStrings.EnglishText(e.Key)) << e.Key;
    EXPECT_FALSE(LanguageStrings.EnglishText(e.Key).empty()) << e.Key;
  }
  EXPECT_EQ(seen.size(), 53u);
  EXPECT_FALSE(MeasName(TParameterOfMeas(Ch1, 18, mgTime, Ch2)));

  TSignalObj& r = Fill(
      Ch1, [](int) { return 0.0; }, 32);
  r.SetHorUnit("m");
  r.SetVertUnit("A");
  struct Row {
    uint8_t group, index;
    std::string unit;
    uint8_t rangeKind;
  };
  for (const Row& row :
       {Row{mgTime, tmPeriod, "m", 1}, Row{mgTime, tmFrequency, "Hz", 1}, Row{mgTime, tmNegDuty, "%", 2},
        Row{mgTime, tmCycles, "", 1}, Row{mgSpectrumX, 1, "Hz", 1}, Row{mgDualX, 5, "m", 0},
        Row{mgDualX, dmPhaseDeg, "\u00B0", 0}, Row{mgDualX, dmPhaseRad, "rad", 0},
        Row{mgDualX, dmPhasePerc, "%", 0}, Row{mgAmplitude, amMaximum, "A", 0},
        Row{mgAmplitude, amAcRms, "A", 1}, Row{mgAmplitude, amArea, "Am", 0},
        Row{mgAmplitude, amCycleArea, "Am", 1}, Row{mgAmplitude, amPosOvershoot, "%", 0},
        Row{mgAmplitude, amNegOvershoot, "%", 1}, Row{mgSpectrumY, 1, "A", 0}, Row{mgSpectrumY, 2, "%", 1},
        Row{mgDualY, 0, "", 1}, Row{mgDualY, 1, "dB", 0}}) {
    const TParameterOfMeas slot(Ch1, row.index, row.group, Ch2);
    EXPECT_EQ(MeasUnitText(slot), row.unit) << int(row.group) << "/" << int(row.index);
    EXPECT_EQ(MeasRangeKind(slot), row.rangeKind) << int(row.group) << "/" << int(row.index);
  }
}

TEST_F(MeasSlotsTest, ResultsFeedTheStatisticsOfTheFirstFourSlotsOnly) {
  TParameterOfMeas first(Ch1, amMean, mgAmplitude, Ch2), fifth(Ch1, amMean, mgAmplitude, Ch2);
  MeasState.Global.StatMode = 1;
  MeasState.Global.Window = 16;
  SetMeasResult(first, 0, "", UndefinedValue);
  ASSERT_TRUE(first.Statistics);
  EXPECT_EQ(first.Statistics->Count(), 0);
  EXPECT_EQ(first.Statistics->Mode(), 1);
  EXPECT_EQ(first.Statistics->WindowSize(), 16);
  SetMeasResult(first, 0, "V", 1.5);
  EXPECT_EQ(first.Statistics->Count(), 1);
  EXPECT_EQ(first.Statistics->Mean(), 1.5);
  SetMeasResult(fifth, 4, "V", 2.5);
  EXPECT_EQ(fifth.Value, 2.5);
  EXPECT_EQ(fifth.UnitText, "V");
  EXPECT_FALSE(fifth.Statistics);

  // Through the evaluation: the tenth defined value makes the results valid, once.
  Fill(Ch1, [](int i) { return std::sin(i / 10.0); });
  int valid = 0;
  MeasHooks.ResultsBecameValid.Set([&](int slot) { valid += slot + 1; });
  Measure(mgAmplitude, amMean);
  for (int k = 0; k < 10; ++k) EvaluateMeasurements(Ch1, false);
  EXPECT_EQ(MeasSlot(0)->Statistics->Count(), 11);
  EXPECT_EQ(MeasSlot(0)->ResultsValid, 1);
  EXPECT_EQ(valid, 1);
  ResetMeasStatistics();
  EXPECT_EQ(MeasSlot(0)->ResultsValid, 0);
  EXPECT_EQ(MeasSlot(0)->Statistics->Count(), 0);
}

TEST_F(MeasSlotsTest, OwnerLabelsFollowTheResultAndCountTheEdges) {
  // One pulse, then five; a flat record has none.
  const auto pulses = [](int count) {
    return [count](int i) { return Cell(i % 400 >= 100 && i % 400 < 300 && i < 400 * count ? 200 : 60); };
  };
  std::vector<std::pair<int, TAnnLabelParam>> drawn;
  struct Row {
    int pulses;
    std::string text;  // of label 2
    uint8_t colour;    // of labels 1..4
    bool active;
  };
  const std::string cross = GetLangStr("an_R_Cross");
  for (const Row& row : {Row{1, cross, 1, true}, Row{5, cross + " (5)", 0, true}, Row{0, cross, 0, false}}) {
    Fresh();
    MeasHooks.DrawAnnotation.Set([&](int layer, TTraceId, int n, const TAnnLabelParam& l) {
      EXPECT_EQ(layer, 1);
      drawn.emplace_back(n, l);
    });
    Fill(Ch1, pulses(row.pulses));
    Measure(mgTime, tmPosWidth);
    SetupSlotAnnotations(0);
    drawn.clear();
    double value = 0;
    std::string unit;
    CalcParameter(0, value, unit);
    SCOPED_TRACE(row.pulses);
    const TAnnSet& set = MeasSlot(0)->Annotations;
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].first, 1);
    EXPECT_EQ(drawn[1].second.Text, row.text);
    EXPECT_EQ(drawn[1].second.Active, row.active);
    EXPECT_EQ(set[1].Text, GetLangStr("an_L_Cross"));
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(set[n].LineColour, row.colour == 1) << n;
    if (row.active) {
      // Label 1 on the first rising edge, label 2 on the last falling one, middle level.
      EXPECT_EQ(set[1].AnchorX, 100);
      EXPECT_EQ(set[2].AnchorX, 400 * (row.pulses - 1) + 300);
      EXPECT_EQ(set[2].AnchorY, std::lround(SignalObjs()[Ch1].ValueToScreenY(Cell(130))));
    }
  }
}

}  // namespace
}  // namespace norv::test
