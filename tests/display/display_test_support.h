#pragma once
// Helpers for the display tests: a fixed block font, a window that records what it was
// asked to present, and a layer whose cells the test places one by one.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "display/scan_lines.h"
#include "display/screen_layer.h"
#include "display/signal_screen.h"

namespace norv::test {

// Every character is a 4 x 7 block followed by one blank column; a blank is empty.
class TBlockFont final : public ITextRasteriser {
 public:
  static constexpr int kAdvance = 5;
  static constexpr int kHeight = 7;
  TTextExtent Measure(std::string_view text) const override {
    return {static_cast<int>(text.size()) * kAdvance, kHeight};
  }
  int CharAdvance(char32_t) const override { return kAdvance; }
  TTextMask RenderMask(std::string_view text) const override {
    TTextMask mask;
    mask.Width = static_cast<int>(text.size()) * kAdvance;
    mask.Height = kHeight;
    mask.Bits.assign(static_cast<size_t>(mask.Width) * mask.Height, 0);
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == ' ') continue;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < 4; ++x) mask.Bits[y * mask.Width + i * kAdvance + x] = 1;
      }
    }
    return mask;
  }
};

// A font whose pictures read back as text: each byte of the text is one column, its top
// pixel always set and the byte's bits (lowest first) below it, then one blank column.
class TReadableFont final : public ITextRasteriser {
 public:
  static constexpr int kHeight = 9;
  TTextExtent Measure(std::string_view text) const override {
    return {static_cast<int>(text.size()) * 2, kHeight};
  }
  int CharAdvance(char32_t) const override { return 2; }
  TTextMask RenderMask(std::string_view text) const override {
    TTextMask mask;
    mask.Width = static_cast<int>(text.size()) * 2;
    mask.Height = kHeight;
    mask.Bits.assign(static_cast<size_t>(mask.Width) * mask.Height, 0);
    for (size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<uint8_t>(text[i]);
      for (int y = 0; y < kHeight; ++y) mask.Bits[y * mask.Width + 2 * i] = y == 0 || (byte >> (y - 1)) & 1;
    }
    return mask;
  }
};

// The text a TReadableFont left in Cell of the surface, and the colour it is drawn in
// (the background's when the cell is empty).
struct TCellText {
  std::string Text;
  TColorRef Ink = 0;
};
inline TCellText ReadCell(const TScanLinesScreen& s, TRect cell) {
  TCellText read{{}, s.Color()};
  const TSLBMP& image = s.Image();
  for (int x = cell.Left; x < cell.Right; ++x) {
    if (image.Pixel(x, cell.Top) == s.Color()) continue;
    read.Ink = image.Pixel(x, cell.Top);
    uint8_t byte = 0;
    for (int bit = 0; bit < 8; ++bit)
      if (image.Pixel(x, cell.Top + 1 + bit) != s.Color()) byte |= static_cast<uint8_t>(1u << bit);
    read.Text += static_cast<char>(byte);
  }
  return read;
}

// Whether `text`, as `font` renders it, is on the surface whole with its top-left corner at
// (left, top): every pixel of it there in `ink`.
inline bool ShowsWhole(const TScanLinesScreen& s, const ITextRasteriser& font, std::string_view text,
                       int left, int top, TColorRef ink) {
  const TTextMask mask = font.RenderMask(text);
  const TSLBMP& image = s.Image();
  for (int y = 0; y < mask.Height; ++y)
    for (int x = 0; x < mask.Width; ++x) {
      if (!mask.At(x, y)) continue;
      if (left + x >= image.Width() || top + y >= image.Height()) return false;
      if ((image.Pixel(left + x, top + y) & 0xFFFFFF) != (ink & 0xFFFFFF)) return false;
    }
  return true;
}

struct TPresented {
  int Left, Top, Right, Bottom;
  friend bool operator==(const TPresented&, const TPresented&) = default;
};

class TRecordingWindow final : public IScreenWindow {
 public:
  void PresentRect(int left, int top, int right, int bottom) override {
    Calls.push_back({left, top, right, bottom});
  }
  std::vector<TPresented> Calls;
};

// A layer with freely placed cells, each with its own RGB (the layer's opacity byte).
class TCellLayer final : public TScreenLayer {
 public:
  using TScreenLayer::TScreenLayer;
  void Put(int x, int y, uint32_t rgb) {
    rgb_[{x, y}] = rgb;
    PutCell(x, y, true);
  }
  void Recolour(int x, int y, uint32_t rgb) {
    rgb_[{x, y}] = rgb;
    RefreshPixel(x, y);
  }
  void Remove(int x, int y) { PutCell(x, y, false); }
  // A cell that is present but shows nothing.
  void PutBlank(int x, int y) { Put(x, y, kBlank); }
  uint32_t PixelColor(int x, int y) const override {
    const auto it = rgb_.find({x, y});
    if (it == rgb_.end()) return Colour();
    if (it->second == kBlank) return 0;
    return (it->second & 0xFFFFFFu) | (Colour() & 0xFF000000u);
  }

 private:
  static constexpr uint32_t kBlank = 0xFFFFFFFFu;
  std::map<std::pair<int, int>, uint32_t> rgb_;
};

// Registers the layer on the screen and gives it its colour.
inline void Attach(TScreenLayer& layer, TSignalScreen& screen, uint32_t colour) {
  layer.SetSignalScreenAndRegisterSelfInIt(&screen);
  layer.SetLayerColorAndOpacity(colour);
}

// Nothing of any layer anywhere on the screen, strip included.
inline bool ScreenEmpty(const TSignalScreen& screen) {
  for (int y = 0; y < screen.Height(); ++y)
    for (int x = 0; x < screen.Width(); ++x)
      if (screen.Occupancy(x, y) != 0 || screen.Image().Pixel(x, y) != 0) return false;
  return true;
}

// The pixels of the picture from (X0, Y0) to (X1, Y1) along a row or a column, one
// character each: the legend's for its colour, '?' for any other.
inline std::string PixelText(const TSLBMP& image, int x0, int y0, int x1, int y1,
                             const std::map<TColorRef, char>& legend) {
  std::string text;
  const int dx = (x1 > x0) - (x1 < x0), dy = (y1 > y0) - (y1 < y0);
  for (int x = x0, y = y0;; x += dx, y += dy) {
    const auto it = legend.find(image.Pixel(x, y));
    text += it == legend.end() ? '?' : it->second;
    if (x == x1 && y == y1) return text;
  }
}

// The RGB of a composed pixel at layer position (X, Y).
inline TColorRef PixelAt(const TSignalScreen& screen, int x, int y) {
  return screen.Image().Pixel(x + screen.PlotLeft(), y);
}

// A YT trace layer alone on a screen. Plot 501 x 41: MaxX 500, MaxY 40, centre row 20.
// With 512 points and one unit per division point i lies in column i (point 0 in column
// 1, point 500 in 499) and value v on row 20 - 5 v.
template <typename Layer>
class TTraceFixture {
 public:
  static constexpr uint32_t kColour = 0xFFAA5511;  // blue 0xAA, green 0x55, red 0x11
  explicit TTraceFixture(int width = 501) : layer("Trace", width, 41, kWindowedLayerA, false) {
    screen.SetBounds(0, 0, kMarkerStripWidth + width, 41);
    Attach(layer, screen, kColour);
    layer.SetSignalScale(512, 0, 1);
  }
  // Fixtures are derived from; a virtual destructor keeps GCC 12 at -O2 from
  // devirtualising the layer's calls in Attach to unreachable code.
  virtual ~TTraceFixture() = default;
  int Row(int index) const { return layer.GetPointCell(index).second; }
  // Nothing of any layer at (X, Y).
  bool Empty(int x, int y) const {
    return screen.Occupancy(x + kMarkerStripWidth, y) == 0 && PixelAt(screen, x, y) == 0;
  }
  TSignalScreen screen;
  Layer layer;
};

// A layer alone on a 41 x 41 XY screen (no marker strip).
template <typename Layer>
struct TXYFixture {
  explicit TXYFixture(uint32_t colour) : layer("XY", 41, 41, 8, true) {
    screen.SetXYScreen(true);
    screen.SetBounds(0, 0, 41, 41);
    Attach(layer, screen, colour);
  }
  virtual ~TXYFixture() = default;  // as in TTraceFixture
  TSignalScreen screen;
  Layer layer;
};

}  // namespace norv::test
