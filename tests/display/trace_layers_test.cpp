#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "display/accum_layers.h"
#include "display/signal_layers.h"
#include "display/signal_screen.h"
#include "display_test_support.h"
#include "framework/util/numeric_utils.h"
#include "instrument/record/signal_obj.h"

namespace norv {
namespace {

using test::PixelAt;
using test::TRecordingWindow;

template <typename Layer>
using TraceFixture = test::TTraceFixture<Layer>;
constexpr uint32_t kTrace = TraceFixture<TSimpleSignalLayer>::kColour;
constexpr TColorRef kTraceRgb = 0xAA5511;
constexpr TColorRef kLineRgb = 0x64320A;  // each byte / 1.7: 100, 50, 10

// Plot column X from row Top down to row Bottom: 'o' a point, '|' a line, '.' nothing.
std::string Column(const TSignalScreen& screen, int x, int top, int bottom) {
  const int column = x + screen.PlotLeft();
  return test::PixelText(screen.Image(), column, top, column, bottom,
                         {{kTraceRgb, 'o'}, {kLineRgb, '|'}, {0, '.'}});
}

TEST(DotLayer, ColumnsRowsAndOddValues) {
  TraceFixture<TSimpleSignalLayer> wide(1001);  // MaxX 1000: two columns per point
  for (int i = 0; i < 512; ++i) wide.layer.PutSample(i, 0);
  EXPECT_EQ(wide.layer.GetPointCell(0), (std::pair{1, 20}));
  EXPECT_EQ(wide.layer.GetPointCell(250), (std::pair{500, 20}));
  EXPECT_EQ(wide.layer.GetPointCell(500), (std::pair{999, 20})) << "the last column inside";
  EXPECT_EQ(wide.Row(501), 0) << "points beyond the right edge are not drawn";
  EXPECT_EQ(PixelAt(wide.screen, 999, 20), kTraceRgb);
  EXPECT_EQ(PixelAt(wide.screen, 1000, 20), 0u);

  TraceFixture<TSimpleSignalLayer> f;
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, int> cases[] = {{1, 15},   {-2, 30}, {10, 1},    {-10, 39},          {0.1, 20},
                                          {0.3, 18}, {inf, 1}, {-inf, 39}, {std::nan(""), 39}, {1e300, 1}};
  int index = 10;
  for (auto [value, row] : cases) {
    f.layer.PutSample(index, value);
    EXPECT_EQ(f.Row(index++), row) << value;
  }
  f.layer.SetSignalScale(512, 2, 0.5);  // 10 rows per unit, value 2 on the centre row
  f.layer.PutSample(10, 2.5);
  EXPECT_EQ(f.Row(10), 15);
  // Zero scales, NaN offsets, empty and oversized records never break the mapping.
  f.layer.SetSignalScale(512, 0, 0);  // no vertical scale: a flat trace
  f.layer.PutSample(3, 7);
  EXPECT_EQ(f.Row(3), 20);
  f.layer.SetSignalScale(512, std::nan(""), 1);
  EXPECT_EQ(f.layer.MarkerRow(), kNoMarker);
  f.layer.SetSignalScale(0, 1e308, 1);
  f.layer.PutSample(0, 1);
  EXPECT_EQ(f.Row(0), 0) << "no points in an empty record";
  EXPECT_EQ(f.layer.MarkerRow(), kMarkerBelow);
  f.layer.SetSignalScale(100000, 0, 1);
  EXPECT_EQ(f.layer.PointCount(), kMaxRecordPoints);
  f.layer.PutSample(4095, 0);
  EXPECT_EQ(f.Row(4095), 0) << "column right of the plot";
}

TEST(DotLayer, ACellGoesOnlyWhenItsLastPointLeaves) {
  TraceFixture<TSimpleSignalLayer> f;
  f.layer.SetSignalScale(4096, 0, 1);  // eight points per column: 0..15 in column 1
  f.layer.PutSample(0, 0);
  f.layer.PutSample(1, 0);
  f.layer.PutSample(0, 1);
  EXPECT_EQ(PixelAt(f.screen, 1, 20), kTraceRgb);
  EXPECT_EQ(PixelAt(f.screen, 1, 15), kTraceRgb);
  f.layer.PutSample(1, 1);
  EXPECT_EQ(PixelAt(f.screen, 1, 20), 0u);
  EXPECT_EQ(f.layer.Cell(1, 15), 2);

  TRecordingWindow window;
  f.screen.AttachWindow(&window);
  f.layer.PutSample(1, 1);
  EXPECT_TRUE(window.Calls.empty()) << "the same value again touches nothing";
  f.screen.AttachWindow(nullptr);
}

TEST(LevelMarker, GlyphsArrowsAndHighlight) {
  TraceFixture<TSimpleSignalLayer> f;
  f.layer.SetTraceId(TTraceId::Ch1);
  ASSERT_EQ(f.layer.MarkerRow(), 20);
  // C1 and the right arrow are 18 columns: strip columns 3..20, base row 24; the arrow's
  // shaft runs from column 15 on row 20.
  for (auto [c, r] : {std::pair{6, 24}, {6, 17}, {13, 17}, {13, 24}, {15, 20}, {20, 20}, {17, 22}, {18, 19}})
    EXPECT_EQ(f.screen.Image().Pixel(c, r), kTraceRgb) << c << "," << r;
  for (auto [c, r] : {std::pair{14, 20}, {6, 20}, {16, 22}, {2, 20}, {13, 25}})
    EXPECT_EQ(f.screen.Image().Pixel(c, r), 0u) << c << "," << r;
  EXPECT_TRUE(f.layer.HitTest(0, 13 - kMarkerStripWidth, 20));
  EXPECT_FALSE(f.layer.HitTest(0, 14 - kMarkerStripWidth, 20));

  // Highlighted: a lit block of rows 16..25 with the glyphs cut out.
  f.layer.SetLevelMarker(20, true);
  EXPECT_TRUE(f.layer.StripCell(0, 16) && f.layer.StripCell(0, 25) && f.layer.StripCell(14, 20));
  EXPECT_FALSE(f.layer.StripCell(0, 15) || f.layer.StripCell(0, 26) || f.layer.StripCell(15, 20));
  f.layer.SetLevelMarker(20, false);
  EXPECT_FALSE(f.layer.StripCell(0, 16));

  // Levels off the plot: an up arrow at the top, a down arrow at the bottom, the old
  // marker erased; rows far beyond count as above or below.
  f.layer.SetSignalScale(512, -5, 1);  // zero 25 rows above the centre
  EXPECT_EQ(f.layer.MarkerRow(), kMarkerAbove);
  for (int r = 1; r <= 8; ++r) EXPECT_TRUE(f.layer.StripCell(18, r)) << r;  // shaft
  EXPECT_FALSE(f.layer.StripCell(18, 0) || f.layer.StripCell(18, 9) || f.layer.StripCell(15, 20));
  EXPECT_TRUE(f.layer.StripCell(17, 3) && f.layer.StripCell(16, 4));
  f.layer.SetSignalScale(512, 5, 1);
  EXPECT_EQ(f.layer.MarkerRow(), kMarkerBelow);
  for (int r = 1; r <= 8; ++r) EXPECT_FALSE(f.layer.StripCell(18, r)) << r;
  for (int r = 32; r <= 39; ++r) EXPECT_TRUE(f.layer.StripCell(18, r)) << r;
  EXPECT_TRUE(f.layer.StripCell(16, 36) && f.layer.StripCell(17, 37));
  f.layer.SetLevelMarker(std::numeric_limits<int>::max(), false);
  EXPECT_EQ(f.layer.MarkerRow(), kMarkerBelow);
  f.layer.SetLevelMarker(std::numeric_limits<int>::min(), false);
  EXPECT_EQ(f.layer.MarkerRow(), kMarkerAbove);
}

TEST(LevelMarker, LettersAndDigitsOfTheTraces) {
  TSimpleSignalLayer layer("T", 30, 20, 8, false);
  // C1 C1 C2 C2, F1..F4, M1..M4, S1 S2
  const int expected[14] = {11, 11, 12, 12, 21, 22, 23, 24, 31, 32, 33, 34, 41, 42};
  for (int id = 0; id < 14; ++id) {
    layer.SetTraceId(static_cast<TTraceId>(id));
    EXPECT_EQ(layer.MarkerLetter() * 10 + layer.MarkerDigit(), expected[id]) << id;
  }
  layer.SetTraceId(TTraceId::DB);
  EXPECT_EQ(layer.GetTraceId(), TTraceId::DB);
  EXPECT_EQ(layer.MarkerLetter(), 4) << "ids beyond the records keep the glyph";
}

// Points 0..4 at value 0 (row 20), 5..9 at value 2 (row 10): a steep edge between
// columns 4 and 5.
template <typename Layer>
void PutStep(Layer& layer) {
  for (int i = 0; i < 10; ++i) layer.PutSample(i, i < 5 ? 0 : 2);
}

TEST(VectorLayer, SteepEdgeIsTwoHalfRunsRedrawnIncrementally) {
  TraceFixture<TVectorSignalLayer> f;
  EXPECT_EQ(f.layer.LineColour(), 0xFF000000u | kLineRgb);
  PutStep(f.layer);
  // Rows 10 to 20.
  EXPECT_EQ(Column(f.screen, 4, 10, 20), ".....|||||o");
  EXPECT_EQ(Column(f.screen, 5, 10, 20), "o|||||.....");
  EXPECT_EQ(PixelAt(f.screen, 9, 11), 0u) << "the last column is drawn when the next starts";

  f.layer.SetSignalScale(512, 0, 1);
  for (int i = 0; i < 10; ++i) f.layer.PutSample(i, 0);  // flat now
  for (int x : {4, 5}) EXPECT_EQ(Column(f.screen, x, 10, 20), "..........o") << x;
}

TEST(VectorLayer, LineLeavingThePlotEndsOnTheEdge) {
  TraceFixture<TVectorSignalLayer> f;
  for (int i = 495; i <= 500; ++i) f.layer.PutSample(i, 0);
  f.layer.PutSample(501, -2);  // row 30, column 501: edge row 20 + 10 / 2 = 25
  // Column 499 covers half a column towards the edge: 20 + 2.5 -> 22.
  EXPECT_EQ(Column(f.screen, 499, 20, 23), "o||.");
  EXPECT_EQ(PixelAt(f.screen, 500, 25), 0u) << "the border column is not drawn";
  f.layer.PutSample(502, 3);  // the chain has ended: nothing more
  EXPECT_EQ(Column(f.screen, 499, 20, 23), "o||.");
}

TEST(VectorLayer, InterleavedTracesKeepTheirOwnLastPoints) {
  const auto feed = [](TVectorSignalLayer& layer, int i, bool second) {
    layer.PutSample(i, second ? (i <= 500 ? 3 : 1) : (i <= 500 ? 0 : -2));
  };
  TraceFixture<TVectorSignalLayer> shared;
  TVectorSignalLayer b("B", 501, 41, kWindowedLayerB, false);
  test::Attach(b, shared.screen, kTrace);
  b.SetSignalScale(512, 0, 1);
  TraceFixture<TVectorSignalLayer> aloneA;
  TraceFixture<TVectorSignalLayer> aloneB;
  for (int i = 490; i <= 505; ++i) {
    feed(shared.layer, i, false);
    feed(b, i, true);
    feed(aloneA.layer, i, false);
    feed(aloneB.layer, i, true);
  }
  for (int x = 485; x <= 500; ++x) {
    for (int y = 0; y <= 40; ++y) {
      ASSERT_EQ(shared.layer.LineCell(x, y), aloneA.layer.LineCell(x, y)) << x << "," << y;
      ASSERT_EQ(b.LineCell(x, y), aloneB.layer.LineCell(x, y)) << x << "," << y;
    }
  }
}

TEST(VectorLayer, ShowRedrawRecolourAndGhostKeepTheLines) {
  TraceFixture<TVectorSignalLayer> f;
  f.layer.SetTraceId(TTraceId::Ch1);
  PutStep(f.layer);
  f.layer.Redraw();
  EXPECT_EQ(PixelAt(f.screen, 4, 17), kLineRgb);
  f.screen.SetXWindow(0, 0, 0, 0);  // redraws the channel traces
  EXPECT_EQ(PixelAt(f.screen, 4, 17), kLineRgb);
  f.layer.SetLayerColorAndOpacity(0xFF8888FF);  // lines: 0x50, 0x50, 0x96
  EXPECT_EQ(PixelAt(f.screen, 4, 17), 0x505096u);
  EXPECT_EQ(PixelAt(f.screen, 4, 20), 0x8888FFu);

  TMonoBitmap ghost;
  ghost.Resize(f.screen.Width(), f.screen.Height());
  f.layer.PaintToBitmap(ghost, true);
  EXPECT_TRUE(ghost.At(4 + kMarkerStripWidth, 20));
  EXPECT_TRUE(ghost.At(4 + kMarkerStripWidth, 17)) << "line cells too";
  EXPECT_FALSE(ghost.At(4 + kMarkerStripWidth, 14));
  EXPECT_TRUE(ghost.At(13, 20)) << "the marker";
  f.layer.PaintToBitmap(ghost, false);
  EXPECT_FALSE(ghost.At(13, 20));

  f.layer.Hide();
  EXPECT_TRUE(test::ScreenEmpty(f.screen));
}

TEST(TraceLayers, RecordsAreDrawnWithTheirOwnScale) {
  // Offset 1, 0.5 per division, 512 points: value v on row 20 - 10 (v - 1).
  TSignalObj record;
  record.SetVertOffset(1);
  record.SetVertScale(0.5);
  for (int i = 0; i < 512; ++i) record.SetY(i, i < 5 ? 1 : 2);
  TraceFixture<TVectorSignalLayer> f;
  DrawSignal(f.layer, record);
  EXPECT_EQ(f.layer.GetPointCell(4), (std::pair{4, 20}));
  EXPECT_EQ(f.layer.GetPointCell(5), (std::pair{5, 10}));
  EXPECT_EQ(PixelAt(f.screen, 4, 17), kLineRgb);
  EXPECT_EQ(f.layer.MarkerRow(), 30) << "zero lies 10 rows below the centre";

  // XY: X from one record, Y from another, as many pairs as the shorter one shows.
  test::TXYFixture<TSimpleSignalLayer> xy(kTrace);
  TSignalObj x, y;
  x.SetRecLen(64);
  x.SetVertScale(1);
  y.SetVertScale(1);
  for (int i = 0; i < 512; ++i) {
    x.SetY(i, 2);
    y.SetY(i, -1);
  }
  DrawXYSignal(xy.layer, x, y);
  EXPECT_EQ(xy.layer.GetPointCell(63), (std::pair{30, 25}));
  EXPECT_EQ(xy.layer.GetPointCell(64), (std::pair{0, 0}));
  EXPECT_EQ(xy.screen.Image().Pixel(30, 25), kTraceRgb);
}

// Runs of points drawn in one call leave the same picture, occupancy and point cells as the
// same points put one by one, in every style: runs cut anywhere, starting before point 0,
// reaching past the point count, empty; values off the plot and not numbers.
template <typename Layer>
class PointRuns : public ::testing::Test {};
using TraceStyles =
    ::testing::Types<TSimpleSignalLayer, TVectorSignalLayer, TPersistSignalLayer, TColorGrSignalLayer>;
TYPED_TEST_SUITE(PointRuns, TraceStyles);

TYPED_TEST(PointRuns, DrawAsPointsPutOneByOne) {
  TraceFixture<TypeParam> single;
  TraceFixture<TypeParam> runs;
  TRandomSource random(17);
  std::vector<double> values(600);
  for (int record = 0; record < 12; ++record) {
    // Smooth traces that move between records, with a few wild points.
    for (size_t i = 0; i < values.size(); ++i) {
      values[i] = 2.2 * std::sin(static_cast<double>(i) / (20.0 + record) + record) + random.Uniform() * 0.3;
      if (random.UniformInt(40) == 0) values[i] = random.Uniform() * 40 - 20;
    }
    values[static_cast<size_t>(random.UniformInt(600))] = std::numeric_limits<double>::quiet_NaN();
    values[static_cast<size_t>(random.UniformInt(600))] = std::numeric_limits<double>::infinity();
    const int count = record % 3 == 2 ? 300 : 512;
    const int first = record % 4 == 1 ? -7 : 0;  // values[k] is point first + k
    for (auto* f : {&single, &runs}) f->layer.SetSignalScale(count, 0.1 * record, 1);
    for (size_t k = 0; k < values.size(); ++k) single.layer.PutSample(first + static_cast<int>(k), values[k]);
    for (size_t k = 0; k < values.size();) {
      const size_t n = std::min(values.size() - k, static_cast<size_t>(random.UniformInt(90)));
      runs.layer.PutSamples(first + static_cast<int>(k), std::span<const double>(values).subspan(k, n));
      k += n;
    }
    for (int i = 0; i < kMaxRecordPoints; ++i) {
      ASSERT_EQ(runs.layer.GetPointCell(i), single.layer.GetPointCell(i))
          << "record " << record << " point " << i;
    }
    for (int y = 0; y < single.screen.Height(); ++y) {
      for (int x = 0; x < single.screen.Width(); ++x) {
        ASSERT_EQ(runs.screen.Image().Pixel(x, y), single.screen.Image().Pixel(x, y))
            << "record " << record << " at " << x << ", " << y;
        ASSERT_EQ(runs.screen.Occupancy(x, y), single.screen.Occupancy(x, y));
      }
    }
  }
}

}  // namespace
}  // namespace norv
