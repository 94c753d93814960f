#include "display/screen_layer.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "display/signal_layers.h"
#include "display/signal_screen.h"
#include "display_test_support.h"
#include "framework/util/errors.h"

namespace norv {
namespace {

using test::PixelAt;
using test::ScreenEmpty;
using test::TCellLayer;
using test::TRecordingWindow;

constexpr TColorRef kBackground = 0x000000;
constexpr uint32_t kGraticule = 0xFF4F6F00;

int CountCells(const TScreenLayer& layer) {
  int n = 0;
  for (int y = 0; y <= layer.MaxY(); ++y) {
    for (int x = 0; x <= layer.MaxX(); ++x) n += layer.Cell(x, y) != 0;
  }
  return n;
}

// Plot 101 x 33 (MaxX 100, MaxY 32), 2 vertical divisions: centre row 16, centre column
// 50; X ticks every 2 columns, 1 long; Y ticks every 4 rows, 2 long at row 16, else 1;
// vertical lines every 10 columns.
class GraticuleTest : public ::testing::Test {
 protected:
  GraticuleTest() : gratic("Grig_Scr1", 101, 33, 30, false) {
    screen.SetBounds(0, 0, kMarkerStripWidth + 101, 33);
    screen.SetColor(kBackground);
    test::Attach(gratic, screen, kGraticule);
    gratic.SetVertDivisions(2);
  }
  bool Lit(int x, int y) const {
    const bool cell = gratic.Cell(x, y) != 0;
    EXPECT_EQ(cell, PixelAt(screen, x, y) == (kGraticule & 0xFFFFFF)) << x << "," << y;
    return cell;
  }
  TRecordingWindow window;  // outlives the screen's layers
  TSignalScreen screen;
  TGraticLayer gratic;
};

TEST_F(GraticuleTest, EachStyleDrawsItsPattern) {
  using P = std::pair<int, int>;
  const struct {
    TGraticStyle style;
    std::vector<P> lit, dark;
  } patterns[] = {
      // The border only.
      {TGraticStyle::Off, {{0, 0}, {100, 32}, {0, 16}, {100, 16}}, {{2, 1}, {50, 5}}},
      // Edge ticks: short X ticks, short and long (at the division) Y ticks; no lines.
      {TGraticStyle::Frame,
       {{2, 1}, {2, 31}, {98, 1}, {1, 4}, {2, 16}, {98, 16}, {99, 28}},
       {{3, 1}, {2, 2}, {2, 4}, {2, 17}, {51, 4}, {10, 5}, {30, 16}}},
      // Centre ticks and the two centre lines.
      {TGraticStyle::Axis,
       {{2, 17}, {2, 15}, {51, 4}, {49, 4}, {50, 5}, {50, 31}, {30, 16}},
       {{3, 17}, {52, 4}, {10, 5}, {37, 8}}},
      // Nine vertical lines, divisions - 1 horizontal ones.
      {TGraticStyle::Grid,
       {{10, 7}, {20, 7}, {30, 7}, {40, 7}, {60, 7}, {70, 7}, {80, 7}, {90, 7}, {33, 16}},
       {{15, 7}, {33, 8}}},
  };
  // Each style replaces the previous one's pattern: one copy to the window to erase the
  // old pattern, one to draw the new, never one per pixel.
  screen.AttachWindow(&window);
  for (const auto& p : patterns) {
    window.Calls.clear();
    gratic.SetStyle(p.style);
    EXPECT_LE(window.Calls.size(), 2u);
    for (auto [x, y] : p.lit) EXPECT_TRUE(Lit(x, y)) << int(p.style) << " at " << x << "," << y;
    for (auto [x, y] : p.dark) EXPECT_FALSE(Lit(x, y)) << int(p.style) << " at " << x << "," << y;
  }
  window.Calls.clear();
  gratic.SetStyle(TGraticStyle::Grid);
  EXPECT_TRUE(window.Calls.empty()) << "the same style again draws nothing";
  gratic.SetStyle(TGraticStyle::Off);
  EXPECT_EQ(CountCells(gratic), 2 * 101 + 2 * 31);

  gratic.SetVertDivisions(1);
  gratic.SetStyle(TGraticStyle::Grid);
  EXPECT_FALSE(Lit(33, 16)) << "one division: no horizontal line";
  EXPECT_TRUE(Lit(20, 16));
}

TEST(GraticuleXY, SquareXYGraticuleRepeatsTheTicksTransposed) {
  // 41 x 41, 2 divisions: ticks every 5 rows and columns, centre 20.
  test::TXYFixture<TGraticLayer> xy(kGraticule);
  TGraticLayer& gratic = xy.layer;
  gratic.SetVertDivisions(2);
  gratic.SetStyle(TGraticStyle::Grid);
  for (auto [x, y] : {std::pair{1, 5}, {39, 35}, {5, 1}, {35, 39}, {21, 10}, {10, 19}, {7, 20}, {20, 7}}) {
    EXPECT_NE(gratic.Cell(x, y), 0) << x << "," << y;
    EXPECT_EQ(xy.screen.Image().Pixel(x, y), 0x4F6F00u);
  }
  for (auto [x, y] : {std::pair{4, 1}, {10, 12}, {2, 5}, {22, 10}})
    EXPECT_EQ(gratic.Cell(x, y), 0) << x << "," << y;
}

TEST(FrameLayer, SecondCornerIsKeptInsideAndTheOldFrameGoes) {
  TSignalScreen screen;
  screen.SetBounds(0, 0, kMarkerStripWidth + 30, 20);
  TFrameLayer frame("Frame_Layer", 30, 20, 0, false);
  test::Attach(frame, screen, 0xFFFFFFFF);
  frame.SetFrame(5, 4, 10, 8);
  EXPECT_EQ(PixelAt(screen, 5, 4), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(screen, 10, 6), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(screen, 7, 6), 0u);
  frame.SetFrame(-50, 2, 100, -7);  // the first corner is taken as given
  EXPECT_EQ((std::array{frame.FrameLeft(), frame.FrameRight(), frame.FrameTop(), frame.FrameBottom()}),
            (std::array{-50, 28, 1, 2}));
  EXPECT_EQ(PixelAt(screen, 5, 4), 0u) << "old frame erased";
  EXPECT_EQ(PixelAt(screen, 10, 6), 0u);
  EXPECT_EQ(PixelAt(screen, 0, 1), 0xFFFFFFu) << "drawn where it is inside";
  EXPECT_EQ(PixelAt(screen, 28, 2), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(screen, 29, 1), 0u);
}

TEST(LayerBinding, RegistrationColourAndRebinding) {
  TRecordingWindow window;
  TSignalScreen first, second;
  for (TSignalScreen* screen : {&first, &second}) screen->SetBounds(0, 0, kMarkerStripWidth + 30, 20);
  TSimpleSignalLayer trace("Dot_Layer_Ch1", 30, 20, 8, false);
  EXPECT_THROW(trace.SetLayerColorAndOpacity(0x8000FF00), EAssertion);
  EXPECT_THROW(trace.UnregisterFromScreen(), EAssertion);

  trace.SetSignalScreenAndRegisterSelfInIt(&first);
  trace.SetLayerColorAndOpacity(0x8000FF00);  // the refused colour was not kept
  EXPECT_EQ(first.CoverMask(9) & (1u << 8), 0u) << "the layer is translucent on its screen";
  trace.SetLayerColorAndOpacity(0xFF00FF00);
  trace.SetSignalScale(512, 0, 1);  // draws the level marker
  trace.PutSample(100, 0);
  const auto [column, row] = trace.GetPointCell(100);
  ASSERT_GT(row, 0);
  EXPECT_EQ(PixelAt(first, column, row), 0x00FF00u);
  EXPECT_NE(first.Occupancy(20, trace.CentreRow()), 0u) << "marker arrow next to the plot";

  first.AttachWindow(&window);
  test::Attach(trace, first, 0xFF00FF00);
  EXPECT_TRUE(window.Calls.empty()) << "same screen and same colour change nothing";

  trace.SetSignalScreenAndRegisterSelfInIt(&second);
  EXPECT_EQ(first.LayerObject(8), nullptr);
  EXPECT_EQ(second.LayerObject(8), &trace);
  EXPECT_TRUE(ScreenEmpty(first)) << "strip and plot cleared";
  EXPECT_EQ(PixelAt(second, column, row), 0x00FF00u);
  EXPECT_NE(second.Occupancy(20, trace.CentreRow()), 0u);
}

TEST(LayerBinding, UnregisteringErasesTheLayerAndUnbindsIt) {
  auto screen = std::make_unique<TSignalScreen>();
  screen->SetBounds(0, 0, kMarkerStripWidth + 30, 20);
  TCellLayer old("Old", 30, 20, 5, false);
  test::Attach(old, *screen, 0xFF0000FF);
  old.Put(3, 4, 0x0000FF);
  old.Put(7, 9, 0x0000FF);
  old.UnregisterFromScreen();  // without Hide
  EXPECT_EQ(old.GetScreen(), nullptr);
  EXPECT_EQ(screen->LayerObject(5), nullptr);
  EXPECT_EQ(old.Cell(3, 4), 1) << "the layer keeps its cells";
  EXPECT_TRUE(ScreenEmpty(*screen));

  // The next layer under that index shows its own cells only, also when all is recomposed.
  TCellLayer next("Next", 30, 20, 5, false);
  test::Attach(next, *screen, 0xFF00FF00);
  next.Put(10, 10, 0x00FF00);
  screen->RecomposeAll();
  EXPECT_EQ(PixelAt(*screen, 3, 4), 0u);
  EXPECT_EQ(PixelAt(*screen, 7, 9), 0u);
  EXPECT_EQ(PixelAt(*screen, 10, 10), 0x00FF00u);

  // Registered again on the same screen, the kept cells come back.
  next.UnregisterFromScreen();
  old.SetSignalScreenAndRegisterSelfInIt(screen.get());
  EXPECT_EQ(screen->LayerObject(5), &old);
  EXPECT_EQ(PixelAt(*screen, 3, 4), 0x0000FFu);
  EXPECT_EQ(PixelAt(*screen, 10, 10), 0u);

  // Unregistered, a layer may outlive its former screen and draw without reaching it.
  old.UnregisterFromScreen();
  screen.reset();
  old.Put(1, 1, 0x0000FF);
}

TEST(LayerHitTest, SearchesARadiusWithoutWrappingAndPlotSizesAreClamped) {
  TSignalScreen screen;
  screen.SetBounds(0, 0, kMarkerStripWidth + 30, 20);
  TCellLayer layer("L", 30, 20, 4, false);
  test::Attach(layer, screen, 0xFF00FF00);
  layer.Put(28, 5, 0x00FF00);  // the last column before the right border
  // Column -2 of row 6 is the memory right after column 28 of row 5; left of the plot
  // only traces can be hit.
  for (const auto& [radius, x, y, hit] :
       {std::tuple{0, 28, 5, true}, {2, 26, 7, true}, {1, 26, 7, false}, {3, 1, 6, false}, {3, 0, 5, false}})
    EXPECT_EQ(layer.HitTest(radius, x, y), hit) << radius << " at " << x << "," << y;

  EXPECT_EQ(TCellLayer("W", 5000, 20, 1, false).Width(), kMaxPlotWidth);
  TCellLayer narrow("N", 3, 0, 1, false);
  EXPECT_EQ(narrow.Width(), kMinPlotSide);
  EXPECT_EQ(narrow.MaxY(), kMinPlotSide - 1);
  EXPECT_THROW(TCellLayer("bad", 30, 20, 32, false), EAssertion);
}

}  // namespace
}  // namespace norv
