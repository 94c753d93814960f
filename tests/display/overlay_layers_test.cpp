#include "display/overlay_layers.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "display/annotation_layer.h"
#include "display/display_hooks.h"
#include "display/mask_layers.h"
#include "display_test_support.h"
#include "framework/settings/program_objects.h"
#include "support/settings_tree_fixture.h"

namespace norv {
namespace {

using test::PixelAt;

// A layer alone on a YT screen: plot 501 x Height (MaxX 500).
template <typename Layer>
struct TOverlayFixture {
  explicit TOverlayFixture(int height = 41, uint32_t colour = 0xFF00FF00u)
      : layer("L", 501, height, 4, false) {
    screen.SetBounds(0, 0, kMarkerStripWidth + 501, height);
    test::Attach(layer, screen, colour);
  }
  virtual ~TOverlayFixture() { FreshProgramState(); }
  bool Lit(int x, int y) const { return layer.Cell(x, y) != 0; }
  TSignalScreen screen;
  Layer layer;
};

// What the drags hand to the owning features.
using TWrites = std::vector<std::tuple<int, int, int>>;

TEST(OverlayLayers, MarkersDrawDashedAndDragIntoUnits) {
  TWrites writes;
  TOverlayFixture<T_X_MarkerLayer> m1;
  TOverlayFixture<T_X_MarkerLayer> m2;
  DisplayHooks.MarkerDragged.Set([&](int m, bool vertical, int u) { writes.emplace_back(m, vertical, u); });
  m2.layer.SetIsFirst(false);
  m1.layer.SetPosition(2000);
  m2.layer.SetPosition(2000);
  // Column 500 * 2000 / 4000; rows 8 .. MaxY - 9; M2 leaves out rows 0, 1, 2 of every 8.
  for (int y = 0; y <= 40; ++y) {
    const bool inside = y >= 8 && y <= 31;
    EXPECT_EQ(m1.Lit(250, y), inside) << y;
    EXPECT_EQ(m2.Lit(250, y), inside && y % 8 > 2) << y;
  }
  m1.layer.SetPosition(4100);  // beyond the plot: one column inside the border
  EXPECT_EQ(m1.layer.Left(), 499);
  EXPECT_FALSE(m1.Lit(250, 12));
  m1.layer.DragTo(123, 0);
  m2.layer.DragTo(-7, 0);
  EXPECT_EQ(writes, (TWrites{{1, true, 984}, {2, true, 8}}));  // 123 / 500 * 4000; column 1

  TOverlayFixture<T_Y_MarkerLayer> y1;
  y1.layer.SetPosition(768);  // row (1024 - 768) / 1024 * 40
  EXPECT_EQ(y1.layer.Top(), 10);
  EXPECT_TRUE(y1.Lit(8, 10) && y1.Lit(491, 10) && !y1.Lit(7, 10));
  writes.clear();
  for (int row : {10, 0, 45}) y1.layer.DragTo(0, row);
  EXPECT_EQ(writes, (TWrites{{1, false, 768}, {1, false, 1023}, {1, false, 1}}));
}

TEST(OverlayLayers, HistogramWindowMovesTheGrabbedEdges) {
  TOverlayFixture<THistWindowLayer> f;
  TWrites writes;
  DisplayHooks.HistAxisKind.Set([] { return 2; });
  DisplayHooks.HistWindowEdgeDragged.Set(
      [&](int axis, TWindowEdge e, int u) { writes.emplace_back(axis, static_cast<int>(e), u); });
  f.layer.SetWindow(800, 768, 2400, 256);  // columns 100..300, rows 10..30
  EXPECT_TRUE(f.Lit(100, 20) && f.Lit(200, 10) && f.Lit(300, 30) && !f.Lit(200, 20));
  // A corner moves two edges, each by the pointer plus its grab offset.
  f.layer.StartDrag(103, 28);
  f.layer.DragTo(150, 35);
  EXPECT_EQ(writes, (TWrites{{2, 0, 1176}, {2, 3, 77}}));  // column 147, row 37
  // Of two edges in reach only the nearer moves.
  f.layer.SetWindow(800, 768, 848, 256);  // columns 100..106
  f.layer.StartDrag(104, 20);
  EXPECT_FALSE(f.layer.EdgeGrabbed(0));
  EXPECT_TRUE(f.layer.EdgeGrabbed(1));
  // Without a histogram axis nothing is written.
  DisplayHooks.HistAxisKind.Set([] { return 0; });
  writes.clear();
  f.layer.DragTo(110, 20);
  EXPECT_TRUE(writes.empty());
}

TEST(OverlayLayers, MeasurementAndSpectrumLinesGrabbed) {
  TOverlayFixture<T_Meas_ParamLayer> f;
  std::vector<TMeasLine> grabbed;
  DisplayHooks.MeasLineDragged.Set([&](TMeasLine line, int, int) { grabbed.push_back(line); });
  // Top and base on one row: the lower half takes the top, the upper half the base.
  struct Case {
    int topY, baseY, upperY, middleY, lowerY, x, y;
    TMeasLine expected;
  };
  const Case cases[] = {
      {256, 256, 1000, 1000, 1000, 200, 30, TMeasLine::Top},   // rows 30 (lower half)
      {768, 768, 1000, 1000, 1000, 200, 10, TMeasLine::Base},  // rows 10 (upper half)
      {1000, 0, 512, 512, 512, 200, 20, TMeasLine::Upper},     // three thresholds on row 20
      {1000, 0, 1000, 563, 512, 200, 19, TMeasLine::Lower},    // middle 18, lower 20: upper half
      {1000, 0, 1000, 1000, 1000, 100, 25, TMeasLine::Left},   // margin column 100
  };
  for (const Case& c : cases) {
    f.layer.PaintMeas_Params(800, c.topY, 2400, c.baseY, c.upperY, c.middleY, c.lowerY);
    f.layer.StartDrag(c.x, c.y);
    f.layer.DragTo(c.x, c.y);
  }
  std::vector<TMeasLine> expected;
  for (const Case& c : cases) expected.push_back(c.expected);
  EXPECT_EQ(grabbed, expected);
  // Thresholds dotted between the margins, on odd columns.
  f.layer.PaintMeas_Params(800, 1000, 2400, 0, 768, 512, 256);
  EXPECT_TRUE(f.Lit(101, 10) && !f.Lit(102, 10) && !f.Lit(301, 10));

  TOverlayFixture<T_FFT_Meas_ParamLayer> fft;
  std::vector<TFftLine> lines;
  DisplayHooks.FftLineDragged.Set([&](TFftLine line, int, int) { lines.push_back(line); });
  fft.layer.PaintMeas_Params(-1, 800, 832);  // columns 100 and 104
  EXPECT_TRUE(fft.Lit(100, 4) && fft.Lit(104, 35) && !fft.Lit(100, 3) && !fft.Lit(104, 36));
  for (int x : {101, 97, 250}) {
    fft.layer.StartDrag(x, 20);
    fft.layer.DragTo(x, 20);
  }
  // Both within 4 pixels in the left half: the right margin; neither: the right one too.
  EXPECT_EQ(lines, (std::vector<TFftLine>{TFftLine::Right, TFftLine::Left, TFftLine::Right}));
  fft.layer.PaintMeas_Params(512, -1, -1);
  EXPECT_FALSE(fft.Lit(100, 30));
  EXPECT_TRUE(fft.Lit(4, 20) && fft.Lit(495, 20));
  EXPECT_EQ(test::AssertionText([&] { fft.layer.PaintMeas_Params(512, 800, 900); }),
            "??? T_FFT_Meas_ParamLayer.PaintMeas_Params");
}

class AnnotationTest : public ::testing::Test {
 protected:
  // Plot 501 x 101: MaxY 100, so Y units u give row (1024 - u) / 1024 * 100.
  AnnotationTest() : f(101) { f.layer.SetTextRasteriser(&font); }
  static TAnnLabelParam Label(std::string text, int x, int y, int style, bool lineColour = false) {
    TAnnLabelParam p;
    p.Active = true;
    p.Text = std::move(text);
    p.AnchorX = x;
    p.AnchorY = y;
    p.LeaderStyle = static_cast<uint8_t>(style);
    p.LineColour = lineColour;
    return p;
  }
  test::TBlockFont font;
  TOverlayFixture<TAnnotationLayer> f;
};

TEST_F(AnnotationTest, LowerNumberCoversAndBoxesFollowTheAnchor) {
  // Both leaders run right from column 250 on row 50.
  f.layer.SetLabel(1, Label("A", 2000, 512, 1, true));
  f.layer.SetLabel(2, Label("B", 2000, 512, 1));
  EXPECT_EQ(PixelAt(f.screen, 300, 50), 0xB080FFu);
  f.layer.EraseLabel(1);
  EXPECT_EQ(PixelAt(f.screen, 300, 50), 0xFFFFFFu);
  f.layer.EraseLabel(2);
  EXPECT_EQ(f.screen.Occupancy(kMarkerStripWidth + 300, 50), 0u);

  // " A " is 15 pixels wide and 7 high in the block font: the box is 17 x 10.
  f.layer.SetLabel(3, Label("A", 2000, 512, 1));
  EXPECT_EQ(f.layer.BoxWidth(3), 17);
  EXPECT_EQ(f.layer.BoxHeight(3), 10);
  EXPECT_EQ(f.layer.BoxLeft(3), 267);
  EXPECT_EQ(f.layer.BoxTop(3), 28);               // above the anchor
  f.layer.SetLabel(3, Label("A", 2000, 850, 1));  // row 17: the box goes below it
  EXPECT_EQ(f.layer.BoxTop(3), 22);
  EXPECT_EQ(f.layer.Renders(), 3);  // moved, not rendered again
  f.layer.SetLabel(3, Label("AB", 2000, 850, 1));
  EXPECT_EQ(f.layer.Renders(), 4);
  EXPECT_EQ(f.layer.BoxWidth(3), 22);
}

// A box that would leave the plot goes to the other side of its anchor: column 25 has no
// room on its left, column 475 none on its right (the plot is 501 wide).
TEST_F(AnnotationTest, BoxesStayOnThePlot) {
  for (const auto& [x, style] : {std::pair{200, 0}, {200, 2}, {3800, 1}, {3800, 3}}) {
    f.layer.SetLabel(1, Label("L Width", x, 512, style));
    EXPECT_GE(f.layer.BoxLeft(1), 0) << x << " " << style;
    EXPECT_LE(f.layer.BoxLeft(1) + f.layer.BoxWidth(1), 501) << x << " " << style;
    f.layer.EraseLabel(1);
  }
}

TEST_F(AnnotationTest, TextLargerThanTheBoxIsClipped) {
  f.layer.SetLabel(1, Label(std::string(40, 'W'), 800, 512, 1));
  EXPECT_EQ(f.layer.BoxWidth(1), TAnnotationLayer::kBoxWidth);
  // The frame's right column closes the box; the glyph column before it is text.
  const int left = f.layer.BoxLeft(1);
  const int top = f.layer.BoxTop(1);
  EXPECT_EQ(PixelAt(f.screen, left + 150, top + 5), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(f.screen, left + 151, top + 5), f.screen.Color());
}

TEST(MaskLayers, MaskMarginsNumbersAndErrors) {
  TOverlayFixture<TMaskLayer> f(41, 0x800000FFu);
  test::TBlockFont font;
  f.layer.SetTextRasteriser(&font);
  DisplayHooks.MaskLoaded.Set([] { return true; });
  DisplayHooks.PointInMask.Set([](int x, int) {
    return x < 1000 ? TMaskArea::Mask : x < 2000 ? TMaskArea::Margin : TMaskArea::Outside;
  });
  DisplayHooks.MaskPolygonCentre.Set(
      [](int n) { return n == 1 ? std::pair(3000.0, 512.0) : std::pair(0.0, 0.0); });
  f.layer.PaintMask();
  EXPECT_EQ(f.layer.FillColour(), 0x400000FFu);
  const TColorRef back = f.screen.Color();
  EXPECT_EQ(PixelAt(f.screen, 50, 20), TSignalScreen::BlendColors(back, 0x800000FF));
  EXPECT_EQ(PixelAt(f.screen, 200, 20), TSignalScreen::BlendColors(back, 0x400000FF));
  EXPECT_EQ(f.layer.Cell(300, 20), 0);
  // The number "1" (a 5 x 7 cell of the block font) centred on column 375, row 20: opaque.
  EXPECT_EQ(PixelAt(f.screen, 372, 17), 0x0000FFu);
  EXPECT_EQ(f.layer.Cell(371, 17), 0);

  TOverlayFixture<TMaskErrorLayer> errors;
  errors.layer.MarkErrorPoint(2000, 512);
  EXPECT_TRUE(errors.Lit(250, 20));
}

TEST(MaskLayers, EditedPolygonsShareCellsAndMoveDown) {
  TOverlayFixture<TMaskEditLayer> f(41, 0xFF0000FFu);
  // Polygon 0 a horizontal line on row 20, polygon 1 a vertical one on column 250: they
  // cross at (250, 20).
  f.layer.SetPolygon(0, 2, {400, 3600}, {512, 512}, false, -1);
  f.layer.SetPolygon(1, 2, {2000, 2000}, {1000, 24}, false, -1);
  ASSERT_NE(f.layer.Cell(250, 20), 0);
  f.layer.ErasePolygon(1, false);
  EXPECT_EQ(PixelAt(f.screen, 250, 20), 0x0000FFu);
  EXPECT_EQ(f.layer.Cell(250, 30), 0);
  int vertex = 0;
  EXPECT_EQ(f.layer.HitVertex(52, 21, vertex), 0);
  EXPECT_EQ(vertex, 0);  // (50, 20)
  EXPECT_EQ(f.layer.HitVertex(250, 35, vertex), -1);

  for (int n = 0; n < 5; ++n)
    f.layer.SetPolygon(n, n + 1, std::vector<double>(5, 400.0 * (n + 1)), std::vector<double>(5, 512), false,
                       -1);
  f.layer.ErasePolygon(2, true);
  EXPECT_EQ(f.layer.VertexCount(2), 4);
  EXPECT_EQ(f.layer.VertexCount(3), 5);
  EXPECT_EQ(f.layer.VertexCount(4), 0);
  // The moved polygon's cells now carry its new bit.
  EXPECT_EQ(f.layer.Cell(150, 20), 0);
  EXPECT_EQ(f.layer.Cell(200, 20), 1u << 2);
  EXPECT_EQ(f.layer.Cell(100, 20), 1u << 1);
}

}  // namespace
}  // namespace norv
