#include "measure/meas_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>

#include "measure/meas_fixture.h"

namespace norv::test {
namespace {

constexpr auto Ch1 = TTraceId::Ch1;

class MeasFrameTest : public MeasFixture {
 public:
  // 100-sample periods: low, a 10-sample ramp up from 10, high, a ramp down from 60.
  static double Ramped(int i) {
    const int p = i % 100;
    const double lo = Cell(60), hi = Cell(200);
    if (p < 10) return lo;
    if (p < 20) return lo + (hi - lo) * (p - 10) / 10;
    if (p < 60) return hi;
    if (p < 70) return hi - (hi - lo) * (p - 60) / 10;
    return lo;
  }
  static double Code(int code) { return (code - 512) * kScale * 8 / 1024; }
  static const TMeasFrame& Built() {
    MeasureSource(Ch1, mrNewData);
    return Frame(Ch1);
  }
};

TEST_F(MeasFrameTest, LevelsByEachMethodAndThresholdsOfEachKind) {
  // Square wave between cells 60 and 200 with one sample per period at 220 and one at 45.
  const auto spiky = [](int i) {
    const int p = i % 100;
    return Cell(p == 10 ? 220 : p == 60 ? 45 : (p > 10 && p < 60 ? 200 : 60));
  };
  struct Row {
    uint8_t method;
    double top, base;
  };
  for (const Row& row : {Row{tbHist, Cell(200), Cell(60)}, Row{tbMinMax, Cell(220), Cell(45)},
                         Row{tbMarker, Code(700), Code(300)}}) {
    Fresh();
    Fill(Ch1, spiky);
    Settings(Ch1).Method = row.method;
    Settings(Ch1).Top = 700;
    Settings(Ch1).Base = 300;
    const TMeasFrame& f = Built();
    EXPECT_NEAR(f.Top, row.top, 1e-12) << int(row.method);
    EXPECT_NEAR(f.Base, row.base, 1e-12) << int(row.method);
    // The in-margin levels always use the histogram.
    EXPECT_NEAR(f.MarginTop, Cell(200), 1e-12);
  }
  // A flat record: both levels at the one cell's centre.
  Fresh();
  Fill(Ch1, [](int) { return Cell(100) + 0.001; });
  EXPECT_NEAR(Built().Top, Cell(100), 1e-12);
  EXPECT_NEAR(Frame(Ch1).Base, Cell(100), 1e-12);

  struct Thresholds {
    uint8_t kind, unit;
    double up, mid, low;  // fractions of the amplitude, or screen codes when unit != Percent
    std::string upText, lowText;
  };
  const double lo = Cell(60), amp = Cell(200) - Cell(60);
  for (const Thresholds& t : {Thresholds{th10_90, tuPercent, 0.9, 0.5, 0.1, "90%", "10%"},
                              Thresholds{th20_80, tuVolt, 0.8, 0.5, 0.2, "80%", "20%"},
                              Thresholds{thCustom, tuPercent, 0.75, 0.5, 0.25, "75.0%", "25.0%"},
                              Thresholds{thCustom, tuDivision, 768, 512, 256, "2div", "-2div"}}) {
    Fresh();
    Fill(Ch1, Ramped);
    TMeasSourceSettings& s = Settings(Ch1);
    s.Thresh = t.kind;
    s.Unit = t.unit;
    s.UpThPerc = 75, s.MidThPerc = 50, s.LowThPerc = 25;
    s.UpThresh = 768, s.MidThresh = 512, s.LowThresh = 256;
    const TMeasFrame& f = Built();
    const bool codes = t.kind == thCustom && t.unit != tuPercent;
    const auto level = [&](double v) { return codes ? Code(static_cast<int>(v)) : lo + amp * v; };
    EXPECT_NEAR(f.UpThresh, level(t.up), 1e-12) << t.upText;
    EXPECT_NEAR(f.MidThresh, level(t.mid), 1e-12) << t.upText;
    EXPECT_NEAR(f.LowThresh, level(t.low), 1e-12) << t.upText;
    EXPECT_EQ(f.UpThreshText, t.upText);
    EXPECT_EQ(f.LowThreshText, t.lowText);
  }
}

TEST_F(MeasFrameTest, HistogramCountsOnlyOnScreenCells) {
  // Codes 7 and 1020 lie in cells 1 and 255, codes 8 and 1019 in cells 2 and 254.
  const TSignalObj& r = Fill(
      Ch1, [](int) { return 0.0; }, 32);
  std::array<uint32_t, kLevelHistCells> cells{};
  const std::vector<double> values = {Code(7), Code(8), Code(1019), Code(1020)};
  EXPECT_EQ(LevelHistogram(cells, r, values, false, 0, 0), 2);
  EXPECT_EQ(cells[2], 1u);
  EXPECT_EQ(cells[254], 1u);
  EXPECT_EQ(LevelHistogram(cells, r, values, true, 3, 2), 1);
  EXPECT_EQ(LevelHistogram(cells, r, values, true, 1, 2), 0);
}

// The in-margin histogram against a count of the codes between the margins, for margins
// around all of the record, most of it, half of it, one sample and none (swapped).
TEST_F(MeasFrameTest, InMarginHistogramCountsTheValuesBetweenTheMargins) {
  // Whole codes (plus 0.2, away from any rounding tie) spread over and beyond the screen.
  Fill(Ch1, [](int i) { return Code((i * 7919) % 1100 - 40) + 0.2 * kScale * 8 / 1024; });
  const std::pair<int, int> markers[] = {{0, 4000}, {3, 3990}, {1000, 3000}, {2000, 2000}, {3000, 1000}};
  for (const auto& [left, right] : markers) {
    Settings(Ch1).LeftMarker = left;
    Settings(Ch1).RightMarker = right;
    const TMeasFrame& f = Built();
    std::array<uint32_t, kLevelHistCells> expected{};
    int counted = 0;
    for (int i = f.LeftMargin; i <= f.RightMargin; ++i) {
      const int code =
          static_cast<int>(std::lround((f.Values[static_cast<size_t>(i)] / (kScale * 8)) * 1024 - 0.2)) + 512;
      if (code < 8 || code > 1019) continue;
      ++expected[static_cast<size_t>(code / 4)];
      ++counted;
    }
    EXPECT_EQ(f.InMarginHist, expected) << left << ".." << right;
    EXPECT_EQ(f.InMarginInvalid, counted == 0) << left << ".." << right;
  }
}

TEST_F(MeasFrameTest, CrossingSearchNeedsATenthOfADivisionAndStartsAtTheFirstSample) {
  // A ramp of 0.1 V per sample from exactly the lower threshold: the first rising
  // crossing lies on sample 0.
  Fill(Ch1, [](int i) { return std::min(Code(341) + 0.1 * i, 1.0); });
  Settings(Ch1).Thresh = thCustom;
  Settings(Ch1).Unit = tuVolt;
  EXPECT_NEAR(Measure(mgTime, tmRiseTime).Value, (Code(683) - Code(341)) / 0.1 * kDx, 1e-9 * kDx);
  // A tenth of a division is 12.8 screen codes.
  Fill(Ch1, Ramped);
  for (const auto& [band, defined] : {std::pair{12, false}, {13, true}}) {
    Settings(Ch1).UpThresh = 512 + band / 2 + band % 2;
    Settings(Ch1).LowThresh = 512 - band / 2;
    EXPECT_EQ(Measure(mgTime, tmRiseTime).Value != UndefinedValue, defined) << band;
  }
}

TEST_F(MeasFrameTest, SlopeMarginsAndTheCrossingTable) {
  // Edges of the ramped wave at 15 + 100 k (rising) and 65 + 100 k (falling), middle level.
  Fill(Ch1, Ramped);
  TMeasSourceSettings& s = Settings(Ch1);
  s.MargMode = mmSlope;
  struct Row {
    int leftSlope, rightSlope;
    uint8_t leftTresh;
    int left, right;
  };
  // Slope n is edge n div 2 + 1, rising for even n; the left margin stops a sample early.
  for (const Row& r :
       {Row{2, 5, lcMiddle, 114, 265}, Row{0, 1, lcLower, 10, 65}, Row{1, 127, lcUpper, 60, 4095}}) {
    s.LeftSlope = r.leftSlope;
    s.RightSlope = r.rightSlope;
    s.LeftTresh = r.leftTresh;
    const TMeasFrame& f = Built();
    EXPECT_EQ(f.LeftMargin, r.left) << r.leftSlope;
    EXPECT_EQ(f.RightMargin, r.right) << r.rightSlope;
  }
  // An edge on the first samples leaves the left margin at 0.
  Fill(Ch1, [](int i) { return Cell(i % 100 >= 1 && i % 100 < 50 ? 200 : 60); });
  s.LeftSlope = 0;
  EXPECT_EQ(Built().LeftMargin, 0);

  const TMeasSource src = MeasSourceOf(Ch1);
  FindSlopeMargin(src, 0, 0);
  const auto& table = Frame(Ch1).CrossingPositions;
  EXPECT_EQ(table[0], 0);  // 0.5 rounds to even
  EXPECT_EQ(table[1], 50);
  EXPECT_EQ(table[2], 100);
  EXPECT_EQ(NearestCrossingIndex(Frame(Ch1), 140, true), 3);
  EXPECT_EQ(NearestCrossingIndex(Frame(Ch1), 75, true), 1);  // 50 and 100 tie: the first
  Fill(Ch1, [](int) { return Cell(100); });
  Built();
  FindSlopeMargin(src, 0, 0);
  EXPECT_EQ(NearestCrossingIndex(Frame(Ch1), 10, true), 1000);
  EXPECT_EQ(NearestCrossingIndex(Frame(Ch1), 10, false), 0);
}

TEST_F(MeasFrameTest, RecomputedOnlyAsFarAsTheReasonRequires) {
  Fill(Ch1, Ramped);
  // A frame that was never built is built whatever the reason.
  MeasureSource(Ch1, mrMargins);
  EXPECT_NEAR(Frame(Ch1).Top, Cell(200), 1e-12);
  Settings(Ch1).Method = tbMarker;
  Settings(Ch1).Top = 700;
  Settings(Ch1).Thresh = th20_80;
  MeasureSource(Ch1, mrThresholds);
  EXPECT_NEAR(Frame(Ch1).Top, Cell(200), 1e-12);
  EXPECT_NEAR(Frame(Ch1).UpThresh, Cell(60) + 0.8 * (Cell(200) - Cell(60)), 1e-12);
  MeasureSource(Ch1, mrTopBase);
  EXPECT_NEAR(Frame(Ch1).Top, Code(700), 1e-12);
  // New samples count only with new data.
  Fill(Ch1, [](int i) { return Ramped(i) / 2; });
  Settings(Ch1).Method = tbHist;
  MeasureSource(Ch1, mrTopBase);
  EXPECT_NEAR(Frame(Ch1).Top, Cell(200), 1e-12);

  // The pass: nothing while the display is off; then new data (none of Ch2, never acquired)
  // and each change flag.
  MeasState.MeasParams[0] = std::make_unique<TParameterOfMeas>(Ch1, amTop, mgAmplitude, TTraceId::Ch2);
  MeasState.MeasParams[1] =
      std::make_unique<TParameterOfMeas>(TTraceId::Ch2, amTop, mgAmplitude, TTraceId::Ch1);
  MeasState.MeasParamCount = 2;
  Fill(Ch1, Ramped);
  MeasurementPass();
  EXPECT_EQ(MeasSlot(0)->Value, UndefinedValue);
  MeasState.Global.Display = mdParam;
  MeasState.NewDataForAll = true;
  MeasurementPass();
  EXPECT_NEAR(MeasSlot(0)->Value, Frame(Ch1).MarginTop, 1e-12);
  EXPECT_EQ(MeasSlot(1)->Value, UndefinedValue);
  EXPECT_FALSE(SignalObjs()[Ch1].GetChangedA());
  Settings(Ch1).RightMarker = 50;  // the high part of the first period only
  Frame(Ch1).MarginsChanged = true;
  MeasurementPass();
  EXPECT_FALSE(Frame(Ch1).MarginsChanged);
  EXPECT_EQ(Frame(Ch1).RightMargin, 50);
}

TEST_F(MeasFrameTest, TrendTableOfEdgeCrossings) {
  for (const int shift : {0, 50}) {
    Fill(Ch1, [shift](int i) { return Ramped(i + shift); });
    Built();
    const std::vector<TTrendCrossings> t = BuildCrossingTable(MeasSourceOf(Ch1));
    SCOPED_TRACE(shift);
    // Rising at 10 %, 50 %, 90 % of the ramp from 10, falling likewise from 60.
    const std::array<float, 6> first{11, 15, 19, 61, 65, 69};
    size_t k = 0;
    if (shift != 0) {  // starts high: the first record holds the falling edge only
      EXPECT_EQ(t[0].At, (std::array<float, 6>{-1, -1, -1, 11, 15, 19}));
      k = 1;
    }
    for (size_t j = 0; j < 6; ++j) EXPECT_FLOAT_EQ(t[k].At[j], first[j] + (shift ? 50 : 0)) << j;
    // Edges up to sample 4095, one record without a falling edge, the end record.
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t.back().At, TTrendCrossings{}.At);
    EXPECT_LT(t[t.size() - 2].At[5], 0);
    EXPECT_EQ(t.size(), 43u);
  }
}

}  // namespace
}  // namespace norv::test
