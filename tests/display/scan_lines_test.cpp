#include "display/scan_lines.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "display_test_support.h"
#include "framework/util/errors.h"

namespace norv {
namespace {

using test::TBlockFont;
using test::TPresented;
using test::TRecordingWindow;

TEST(PixelSurface, StoresBlueGreenRedOpaqueAndClipsFills) {
  TSLBMP image;
  EXPECT_THROW(image.Resize(65536, 2), std::out_of_range);
  EXPECT_THROW(image.Resize(2, -1), std::out_of_range);
  image.Resize(4, 3);
  // Blue, green, red, then 0xFF: an opaque 0xAARRGGBB word (the widget test shows it).
  EXPECT_EQ(image.Row(0)[2], 0xFF000000u) << "a new picture is opaque black";
  image.SetPixel(1, 0, 0xAB332211u);  // red 0x11, green 0x22, blue 0x33; top byte ignored
  EXPECT_EQ(image.Row(0)[1], 0xFF112233u);
  EXPECT_EQ(image.Pixel(1, 0), 0x00332211u);
  EXPECT_THROW(image.SetPixel(4, 0, 0), std::out_of_range);
  EXPECT_THROW(image.Pixel(0, -1), std::out_of_range);
  image.FillRect(TRect{-5, 1, 2, 99}, 0x0000FFu);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      if (x == 1 && y == 0) continue;
      EXPECT_EQ(image.Pixel(x, y), (x < 2 && y >= 1) ? 0x0000FFu : 0u) << x << "," << y;
    }
  }
}

class ScanLinesScreenTest : public ::testing::Test {
 protected:
  ScanLinesScreenTest() : screen(&font) {
    screen.SetBounds(0, 0, 40, 12);
    screen.AttachWindow(&window);
  }
  TBlockFont font;
  TRecordingWindow window;
  TScanLinesScreen screen;
};

// The picture from (X0, Y0) to (X1, Y1): '#' white, 'g' green, 'b' blue, '.' black.
std::string Pixels(const TScanLinesScreen& screen, int x0, int y0, int x1, int y1) {
  return test::PixelText(screen.Image(), x0, y0, x1, y1,
                         {{0xFFFFFF, '#'}, {0x00FF00, 'g'}, {0x0000FF, 'b'}, {0, '.'}});
}

TEST_F(ScanLinesScreenTest, NestedBracketsPresentOneBoundingRectangle) {
  screen.BeginUpdate();
  screen.SetPixel(5, 2, 0x112233);
  screen.BeginUpdate();
  screen.SetPixel(9, 7, 0x112233);
  screen.EndUpdate();
  EXPECT_TRUE(window.Calls.empty());
  screen.SetPixel(3, 4, 0x112233);
  screen.EndUpdate();
  ASSERT_EQ(window.Calls.size(), 1u);
  EXPECT_EQ(window.Calls[0], (TPresented{3, 2, 9, 7}));
  EXPECT_EQ(screen.Image().Pixel(9, 7), 0x112233u);

  window.Calls.clear();
  screen.BeginUpdate();
  screen.EndUpdate();
  EXPECT_TRUE(window.Calls.empty()) << "an empty bracket copies nothing";

  screen.SetPixel(1, 1, 0xFF);
  ASSERT_EQ(window.Calls.size(), 1u);
  EXPECT_EQ(window.Calls[0], (TPresented{1, 1, 1, 1})) << "outside a bracket a pixel shows at once";

  EXPECT_THROW(screen.EndUpdate(), EAssertion);

  // PaintRect takes Left, Top, Bottom, Right and clips; a new colour clears and presents.
  window.Calls.clear();
  screen.PaintRect(2, 3, 8, 30);
  screen.PaintRect(5, 5, 4, 9);  // bottom above top: nothing
  screen.SetColor(0x402010);
  ASSERT_EQ(window.Calls.size(), 2u);
  EXPECT_EQ(window.Calls[0], (TPresented{2, 3, 30, 8}));
  EXPECT_EQ(window.Calls[1], (TPresented{0, 0, 39, 11}));
  EXPECT_EQ(screen.Image().Pixel(9, 7), 0x402010u);
}

TEST_F(ScanLinesScreenTest, TextIsClippedToItsCellWhichIsFilled) {
  screen.FillRectangle(TRect{0, 0, 40, 12}, 0x0000FF, false);
  screen.SetFontColor(0xFF00FF00u);  // the top byte is dropped
  EXPECT_EQ(screen.GetFontColor(), 0x00FF00u);
  // Cell 10..17 x 2..9, filled with the background; the text starts 2 columns in (block
  // "A" at 12..15, "B" from 17) and one row down; nothing beyond the cell.
  screen.TextRectOut(TRect{10, 2, 18, 10}, 2, "AB", 1);
  EXPECT_EQ(Pixels(screen, 9, 5, 18, 5), "b..gggg.gb");
  EXPECT_EQ(Pixels(screen, 12, 1, 12, 10), "b.gggggggb");
  EXPECT_EQ(Pixels(screen, 10, 2, 10, 9), "........");
  EXPECT_EQ(window.Calls.back(), (TPresented{10, 2, 18, 10}));
}

TEST_F(ScanLinesScreenTest, AlignedTextStaysInsideTheWidth) {
  screen.FillRectangle(TRect{0, 0, 40, 12}, 0x0000FF, false);
  // Right-aligned at X = 6, narrower than the text (10 wide): starts at column 0, each
  // character followed by its blank column.
  screen.TextOutAligned(6, 0, 0, 2, "XY");
  EXPECT_EQ(Pixels(screen, 0, 0, 10, 0), "####.####.b");
  // Left-aligned near the right edge: moved so that it ends at the edge (30..39); bottom-
  // aligned at Y = 12 (rows 5..11).
  screen.TextOutAligned(35, 12, 2, 0, "XY");
  EXPECT_EQ(Pixels(screen, 29, 8, 39, 8), "b####.####.");
  EXPECT_EQ(Pixels(screen, 35, 4, 35, 11), "b#######");
  // Centred at X = 20: 15..24.
  screen.TextOutAligned(20, 0, 0, 1, "XY");
  EXPECT_EQ(Pixels(screen, 14, 3, 25, 3), "b####.####.b");
}

TEST(ScanLinesScreen, DeferredTextJoinsTheBracket) {
  TBlockFont font;
  TRecordingWindow window;
  TScanLinesTextScreen strip(&font);
  strip.SetBounds(0, 0, 50, 20);
  strip.AttachWindow(&window);
  strip.BeginUpdate();
  strip.TextRectOutDeferred(TRect{2, 1, 12, 9}, 0, "A", 0);
  strip.TextRectOutDeferred(TRect{30, 8, 40, 16}, 0, "B", 0);
  EXPECT_TRUE(window.Calls.empty());
  strip.EndUpdate();
  ASSERT_EQ(window.Calls.size(), 1u);
  EXPECT_EQ(window.Calls[0], (TPresented{2, 1, 40, 16}));
  EXPECT_EQ(strip.Image().Pixel(30, 8), 0xFFFFFFu);

  // Hidden surfaces draw no text.
  window.Calls.clear();
  strip.SetVisible(false);
  strip.TextRectOut(TRect{0, 0, 10, 10}, 0, "A", 0);
  strip.TextOutAligned(0, 0, 0, 0, "A");
  EXPECT_EQ(strip.Image().Pixel(0, 0), 0u);
  EXPECT_TRUE(window.Calls.empty());

  TScanLinesScreen noText;
  noText.SetBounds(0, 0, 10, 10);
  EXPECT_THROW(noText.TextRectOut(TRect{0, 0, 5, 5}, 0, "A", 0), EAssertion)
      << "text without a rasteriser is a design error";
}

}  // namespace
}  // namespace norv
