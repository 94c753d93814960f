// The Trend staircase from a hand-made crossing table: a source that starts high (first
// record with falling crossings only), three rising edges, the last one without a
// falling edge. Fields: rising lower, middle, upper; falling upper, middle, lower.

#include "analysis/trend.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace norv {
namespace {

TEST(TrendTest, StaircaseOfEachKind) {
  const std::vector<TTrendCrossings> table = {
      {{-1, -1, -1, 3, 4, 5}},    {{9, 10, 11, 19, 20, 21}},  {{28, 30, 32, 35, 36, 37}},
      {{59, 60, 61, -1, -1, -1}}, {{-1, -1, -1, -1, -1, -1}},
  };
  struct Row {
    TTrendKind kind;
    std::vector<std::pair<int, double>> steps;  // (last sample, value), in order
    std::string unit;
    double scale, offset;  // 1-2-5 of (max - min) / 3, (max + min) / 2
  };
  const Row rows[] = {
      // Periods 10..30 and 30..60; after the last edge the last value holds.
      {tkPeriod, {{30, 20e-9}, {63, 30e-9}}, "s", 2e-9, 25e-9},
      {tkFreq, {{30, 1 / 20e-9}, {63, 1 / 30e-9}}, "Hz", 5e6, (1 / 20e-9 + 1 / 30e-9) / 2},
      {tkPosWidth, {{30, 10e-9}, {60, 6e-9}, {63, 6e-9}}, "s", 1e-9, 8e-9},
      // The first record has a falling edge and the next rising one: a negative width.
      {tkNegWidth, {{10, 6e-9}, {30, 10e-9}, {63, 24e-9}}, "s", 5e-9, 15e-9},
      // Up to this record's falling edge; the last edge has no falling edge: to the end.
      {tkRise, {{20, 2e-9}, {36, 4e-9}, {63, 2e-9}}, "s", 0.5e-9, 3e-9},
      {tkFall, {{63, 2e-9}}, "s", 0, 0},
      {tkPosDuty, {{30, 50}, {63, 20}}, "%", 10, 35},
      {tkNegDuty, {{30, 50}, {63, 80}}, "%", 10, 65},
  };
  for (const Row& row : rows) {
    ResetTrend(0);
    TSignalObj f;
    f.SetRecLen(64);
    f.SetVertScale(7);
    f.SetVertOffset(3);
    const bool flat = row.scale == 0;
    EXPECT_EQ(BuildTrendWaveform(0, row.kind, table, 1e-9, f), !flat) << row.kind;
    int first = 0;
    for (const auto& [last, value] : row.steps) {
      for (int i = first; i <= last; ++i)
        ASSERT_NEAR(f.GetY(i), value, std::abs(value) * 1e-6) << row.kind << " " << i;
      first = last + 1;
    }
    EXPECT_EQ(f.GetVertUnitText(), row.unit) << row.kind;
    // A flat trend leaves the function's scale alone.
    EXPECT_NEAR(f.GetVertScale(), flat ? 7 : row.scale, std::abs(row.scale) * 1e-9) << row.kind;
    EXPECT_NEAR(f.GetVertOffset(), flat ? 3 : row.offset, std::abs(row.offset) * 1e-9) << row.kind;
  }
  // A table without any edge writes nothing.
  TSignalObj f;
  f.SetRecLen(64);
  EXPECT_FALSE(BuildTrendWaveform(0, tkPeriod, std::vector<TTrendCrossings>(1), 1e-9, f));
}

}  // namespace
}  // namespace norv
