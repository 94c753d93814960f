#include "display/ui/scan_lines_widget.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "display/accum_layers.h"
#include "display/signal_layers.h"
#include "display/signal_screen.h"
#include "png_dump.h"
#include "platform/qt_text_rasteriser.h"
#include "support/temp_home.h"

namespace norv {
namespace {

// Colour references are 0x00BBGGRR; Qt reports 0xAARRGGBB.
QRgb AsQRgb(TColorRef c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

TEST(ScanLinesWidget, PresentsThePicture) {
  TScanLinesScreen screen;
  TScanLinesWidget widget(screen);
  widget.SetBounds(0, 0, 30, 20);
  EXPECT_EQ(screen.Width(), 30);
  screen.SetColor(0x000080);  // dark red
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

// A screen as the program shows it: graticule, traces as dots, vectors and persistence,
// and a translucent histogram. Written as PNG when NORV_DISPLAY_PNG_DIR is set.
TEST(ScreenPicture, ComposedScreenCanBeWrittenAsPng) {
  constexpr int kPlotWidth = 501;
  constexpr int kHeight = 321;
  TSignalScreen screen;
  screen.SetBounds(0, 0, kMarkerStripWidth + kPlotWidth, kHeight);
  screen.SetColor(0x1F1F00);
  TGraticLayer gratic("Grig_Scr1", kPlotWidth, kHeight, 30, false);
  gratic.SetSignalScreenAndRegisterSelfInIt(&screen);
  gratic.SetLayerColorAndOpacity(0xFF4F6F00);
  gratic.SetStyle(TGraticStyle::Grid);
  TSimpleSignalLayer dots("Dot_Layer_Ch1", kPlotWidth, kHeight, 8, false);
  TVectorSignalLayer vectors("Vect_Layer_Ch2", kPlotWidth, kHeight, 10, false);
  TPersistSignalLayer persist("Pers.Layer_F1", kPlotWidth, kHeight, 16, false);
  THistLayer hist("Hist Layer", kPlotWidth, kHeight, 6, false);
  TParentSignalLayer* traces[] = {&dots, &vectors, &persist};
  const uint32_t colours[] = {0xFF80FFFF, 0xFFFFFF80, 0xFFD78FE0};
  for (int t = 0; t < 3; ++t) {
    traces[t]->SetTraceId(static_cast<TTraceId>(2 * t));
    traces[t]->SetSignalScreenAndRegisterSelfInIt(&screen);
    traces[t]->SetLayerColorAndOpacity(colours[t]);
  }
  persist.SetPersistTime(100);
  for (int record = 0; record < 5; ++record) {
    for (int t = 0; t < 3; ++t) {
      traces[t]->SetSignalScale(512, 1.5 - t, 1);
      for (int i = 0; i < 512; ++i) traces[t]->PutSample(i, std::sin(i / 40.0 + t + record * 0.2));
    }
  }
  hist.SetSignalScreenAndRegisterSelfInIt(&screen);
  hist.SetLayerColorAndOpacity(0x800000FF);
  std::vector<uint32_t> bins(64);
  for (int i = 0; i < 64; ++i) bins[i] = static_cast<uint32_t>(100 * std::exp(-(i - 32) * (i - 32) / 60.0));
  hist.DrawHistogram(0, 64, bins, false, 0, 0.05, 400);

  test::MaybeWritePng(screen.Image(), "composed_screen");

  const std::string path = (test::MakeTempDir("png") / "screen.png").string();
  ASSERT_TRUE(test::WritePng(screen.Image(), path));
  QImage back(QString::fromStdString(path));
  ASSERT_EQ(back.width(), screen.Width());
  for (auto [x, y] : {std::pair{0, 0}, {30, 160}, {300, 100}, {5, 5}}) {
    EXPECT_EQ(back.pixel(x, y) & 0xFFFFFF, AsQRgb(screen.Image().Pixel(x, y)) & 0xFFFFFF);
  }
}

}  // namespace
}  // namespace norv
