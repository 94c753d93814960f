#include "display/signal_screen.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "display/signal_layers.h"
#include "display_test_support.h"

namespace norv {
namespace {

using test::PixelAt;
using test::TCellLayer;
using test::TRecordingWindow;

constexpr TColorRef kBackground = 0x101010;

// A YT screen 21 + 30 columns wide and 20 rows high.
class SignalScreenTest : public ::testing::Test {
 protected:
  SignalScreenTest() {
    screen.SetBounds(0, 0, kMarkerStripWidth + 30, 20);
    screen.SetColor(kBackground);
    screen.AttachWindow(&window);
  }
  TCellLayer& AddLayer(int index, uint32_t colour) {
    auto& layer = layers.emplace_back(std::make_unique<TCellLayer>("L", 30, 20, index, false));
    test::Attach(*layer, screen, colour);
    return *layer;
  }
  TSignalScreen screen;
  TRecordingWindow window;
  std::vector<std::unique_ptr<TCellLayer>> layers;
};

// Priority, on-top, erasing and blending over random sequences are checked against a
// fresh composition in the composition property test; these are the cases it leaves out.
TEST_F(SignalScreenTest, CoveredAndBlankCellsAndPositionsOutsideThePicture) {
  TCellLayer& l3 = AddLayer(3, 0xFF0000AA);
  TCellLayer& l5 = AddLayer(5, 0xFF00BB00);
  l5.Put(4, 6, 0x00BB00);
  l3.Put(4, 6, 0x0000AA);
  window.Calls.clear();
  l5.Recolour(4, 6, 0x00CC00);
  EXPECT_TRUE(window.Calls.empty()) << "a covered cell leaves the pixel alone";
  EXPECT_EQ(PixelAt(screen, 4, 6), 0x0000AAu);
  l3.PutBlank(2, 2);
  EXPECT_EQ(PixelAt(screen, 2, 2), 0x0000FFu) << "a pixel with nothing to show is red";
  // Positions outside the picture are ignored; the first strip column is inside.
  screen.DrawCell(3, 40, 2);
  screen.DrawCell(3, -22, 2);
  screen.EraseCell(3, 2, 20);
  screen.RefreshCell(3, 2, -1);
  screen.DrawCell(3, -21, 0);
  EXPECT_EQ(screen.Image().Pixel(0, 0), 0x0000AAu);
  EXPECT_THROW(screen.DrawCell(32, 0, 0), std::out_of_range);
}

TEST_F(SignalScreenTest, TranslucentLayersBlendWithWhatLiesBehind) {
  // Alpha 0x33 = 0.2: each byte is 0.2 * top + 0.8 * below, to the nearest.
  TCellLayer& glass = AddLayer(2, 0x33000000);
  TCellLayer& solid = AddLayer(9, 0xFF000000);
  glass.Put(0, 0, 0xC86432);  // blue 200, green 100, red 50
  // Alone over the background (16 each): 0.2 * 200 + 0.8 * 16 = 52.8 -> 53 and so on.
  EXPECT_EQ(PixelAt(screen, 0, 0), (53u << 16) | (33u << 8) | 23u);
  solid.Put(0, 0, 0x6464C8);  // blue 100, green 100, red 200
  EXPECT_EQ(PixelAt(screen, 0, 0), (120u << 16) | (100u << 8) | 170u);
  // Rounding: a = 128/255, 255 over 0 gives 128 exactly, 1 over 0 gives 0.502 -> 1;
  // a = 0.2: 0.2 * 10 + 0.8 * 15 = 14, 0.2 * 3 + 0.8 * 1 = 1.4 -> 1.
  EXPECT_EQ(TSignalScreen::BlendColors(0x000000, 0x80FF0001), 0x800001u);
  EXPECT_EQ(TSignalScreen::BlendColors(0x0F0F01, 0x330A0A03), 0x0E0E01u);
  EXPECT_EQ(TSignalScreen::BlendColors(0x123456, 0x00ABCDEF), 0x123456u) << "alpha 0";
}

TEST(SignalScreenWindows, DelayedSweepWindowsColourChannelTraces) {
  TSignalScreen screen;
  screen.SetBounds(0, 0, 22 + 400, 20);  // 400 plot columns: 10 units per column
  // A 512-point record on 400 columns (MaxX 399): point i lies in column
  // trunc(i * 399 / 500); the trace's zero is on row 9.
  TSimpleSignalLayer ch1("Ch1", 400, 20, kWindowedLayerA, false);
  TCellLayer other("F1", 400, 20, 16, false);
  test::Attach(ch1, screen, 0xFF00FF00);
  test::Attach(other, screen, 0xFF00FF00);
  ch1.SetSignalScale(512, 0, 1);
  for (int i : {125, 126, 188, 190}) ch1.PutSample(i, 0);
  for (int x : {99, 100, 150, 151}) other.Put(x, 6, 0x00FF00);
  ASSERT_EQ(PixelAt(screen, 100, 9), 0x00FF00u);
  screen.SetXWindow(500, 1000, 0, 0);  // columns 100..150
  EXPECT_FALSE(screen.XWindow(2).On);
  for (auto [x, colour] : {std::pair{99, 0x00FF00u}, {100, 0xFF80FFu}, {150, 0xFF80FFu}, {151, 0x00FF00u}})
    EXPECT_EQ(PixelAt(screen, x, 9), colour) << x;
  EXPECT_EQ(PixelAt(screen, 100, 6), 0x00FF00u) << "other traces keep their colour";
  EXPECT_EQ((std::array{screen.XWindowHit(96, 5), screen.XWindowHit(94, 5)}), (std::array{1, 0}));

  screen.SetXWindow(0, 1000, 0, 0);
  EXPECT_FALSE(screen.XWindow(1).On);
  EXPECT_EQ(PixelAt(screen, 100, 9), 0x00FF00u);
  // Limits stay inside the plot: never below column 1, never at or beyond Width - 22.
  screen.SetXWindow(100000, -500, 3990, 1e9);
  EXPECT_EQ((std::array{screen.XWindow(1).Start, screen.XWindow(1).End, screen.XWindow(2).Start,
                        screen.XWindow(2).End}),
            (std::array{1, 399, 399, 399}));
  EXPECT_EQ(screen.XWindowHit(399, 0), 2);
}

TEST(SignalScreenLifetime, FreedLayersAndScreensForgetEachOther) {
  auto screen = std::make_unique<TSignalScreen>();
  screen->SetBounds(0, 0, 60, 20);
  {
    TCellLayer layer("L", 39, 20, 3, false);
    test::Attach(layer, *screen, 0xFF00FF00);
    layer.Put(1, 1, 0x00FF00);
  }
  EXPECT_EQ(screen->LayerObject(3), nullptr);
  EXPECT_EQ(screen->Occupancy(kMarkerStripWidth + 1, 1), 0u);
  EXPECT_EQ(screen->Image().Pixel(kMarkerStripWidth + 1, 1), 0u);
  TCellLayer successor("L2", 39, 20, 3, false);
  test::Attach(successor, *screen, 0xFF0000FF);
  screen->RecomposeAll();
  EXPECT_EQ(screen->Image().Pixel(kMarkerStripWidth + 1, 1), 0u) << "no ghost of the old cells";
  TCellLayer survivor("S", 39, 20, 4, false);
  survivor.SetSignalScreenAndRegisterSelfInIt(screen.get());
  screen.reset();
  EXPECT_EQ(survivor.GetScreen(), nullptr);
}

}  // namespace
}  // namespace norv
