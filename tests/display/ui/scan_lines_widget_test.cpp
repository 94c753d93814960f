#include "display/ui/scan_lines_widget.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

#include "platform/qt_text_rasteriser.h"

namespace norv {
namespace {

// Colour references are 0x00BBGGRR; Qt reports 0xAARRGGBB.
QRgb AsQRgb(TColorRef c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

TEST(ScanLinesWidget, PresentsThePicture) {
  TScanLinesScreen screen;
  TScanLinesWidget widget(screen);
  widget.SetBounds(0, 0, 30, 20);
  EXPECT_EQ(screen.Width(), 30);
  screen.SetColor(0x000080);        // dark red
  screen.SetPixel(5, 6, 0xFF0000);  // blue
  const QImage shown = widget.grab().toImage();
  ASSERT_EQ(shown.width(), 30);
  EXPECT_EQ(shown.pixel(5, 6) & 0xFFFFFF, AsQRgb(0xFF0000) & 0xFFFFFF);
  EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, AsQRgb(0x000080) & 0xFFFFFF);

  widget.setVisible(false);
  EXPECT_FALSE(screen.Visible());
}

TEST(QtTextRasteriser, ElevenPixelFaceWithoutAntialiasing) {
  TQtTextRasteriser text;
  EXPECT_EQ(text.Font().pixelSize(), 11);
  const TTextExtent size = text.Measure("Ch1 1.00 GHz");
  EXPECT_GE(size.Height, 11);
  EXPECT_LE(size.Height, 16);
  EXPECT_GT(size.Width, 40);
  EXPECT_GT(text.CharAdvance(U'W'), text.CharAdvance(U'i'));
  EXPECT_EQ(text.Measure("").Width, 0);
  // Without antialiasing the mask holds only set and clear pixels.
  const TTextMask mask = text.RenderMask("Ch1");
  EXPECT_EQ(mask.Width, text.Measure("Ch1").Width);
  EXPECT_TRUE(std::all_of(mask.Bits.begin(), mask.Bits.end(), [](uint8_t b) { return b <= 1; }));
  EXPECT_GT(std::count(mask.Bits.begin(), mask.Bits.end(), 1), 10);
}

}  // namespace
}  // namespace norv
