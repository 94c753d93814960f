#pragma once
// The off-screen pictures of every drawing surface: a 32-bit pixel buffer with direct row
// access (TSLBMP), the surface that owns it and collects changes into one dirty rectangle
// per update bracket (TScanLinesScreen), and the base of the text strips
// (TScanLinesTextScreen). A window (Qt widget in display/ui) only presents rectangles of
// the picture; drawing code never talks to it directly.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "display/large_buffer.h"
#include "display/text_rasteriser.h"

namespace norv {

// A 32-bit picture stored top row first. Each pixel is the bytes blue, green, red and a
// fourth byte that carries no colour: it is always 0xFF, so the buffer is also an opaque
// 0xAARRGGBB image, and a pixel is written without reading it first.
class TSLBMP {
 public:
  static constexpr int kMaxSide = 65535;

  // Throws std::out_of_range for a side outside 0..65535; the picture is then unchanged.
  void Resize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }

  uint32_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const uint32_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const uint32_t* Data() const { return pixels_.data(); }

  // Bounds-checked single pixels (std::out_of_range); colours are 0x00BBGGRR.
  void SetPixel(int x, int y, TColorRef color);
  TColorRef Pixel(int x, int y) const;
  // Fills R (Right and Bottom exclusive), clipped to the picture.
  void FillRect(TRect r, TColorRef color);

  // The pixel word of colour C (its top byte ignored), and C stored into one.
  static constexpr uint32_t WordOf(TColorRef c) { return 0xFF000000u | (__builtin_bswap32(c) >> 8); }
  static void Store(uint32_t& word, TColorRef c) { word = WordOf(c); }
  static TColorRef ColorOf(uint32_t word) {
    return ((word >> 16) & 0xFFu) | (word & 0xFF00u) | ((word & 0xFFu) << 16);
  }

 private:
  void CheckInside(int x, int y) const;

  int width_ = 0;
  int height_ = 0;
  TLargeBuffer<uint32_t> pixels_;
};

// The window side of a surface: shows a rectangle of the picture (inclusive edges).
class IScreenWindow {
 public:
  virtual ~IScreenWindow() = default;
  virtual void PresentRect(int left, int top, int right, int bottom) = 0;
};

class TScanLinesScreen {
 public:
  explicit TScanLinesScreen(const ITextRasteriser* text = nullptr);
  virtual ~TScanLinesScreen() = default;
  TScanLinesScreen(const TScanLinesScreen&) = delete;
  TScanLinesScreen& operator=(const TScanLinesScreen&) = delete;

  TSLBMP& Image() { return image_; }
  const TSLBMP& Image() const { return image_; }

  // Places the surface and resizes its picture (new pixels in the background colour).
  virtual void SetBounds(int left, int top, int width, int height);
  // Places the surface without touching its picture.
  void MoveTo(int left, int top) {
    left_ = left;
    top_ = top;
  }
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return image_.Width(); }
  int Height() const { return image_.Height(); }

  // The background colour; a change clears the picture to it.
  TColorRef Color() const { return color_; }
  void SetColor(TColorRef color);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }

  void AttachWindow(IScreenWindow* window) { window_ = window; }
  void SetTextRasteriser(const ITextRasteriser* text) { text_ = text; }

  // Fills the picture with the background colour and presents it.
  virtual void Clear();
  void PaintAll();
  // Note the argument order (Left, Top, Bottom, Right), all inclusive; clipped.
  void PaintRect(int left, int top, int bottom, int right);

  // Inside an update bracket the pixel joins the dirty rectangle; outside, it is shown.
  void SetPixel(int x, int y, TColorRef color);
  void FillRectangle(TRect rect, TColorRef color, bool show);

  void BeginUpdate();
  // Throws EAssertion without a matching BeginUpdate.
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  void SetFontColor(TColorRef color) { fontColor_ = color & 0x00FFFFFFu; }
  TColorRef GetFontColor() const { return fontColor_; }

  // Text with its top-left corner at (Rect.Left + DX, Rect.Top + DY), clipped to Rect,
  // the cell filled with the background colour; drawn only while visible.
  void TextRectOut(TRect rect, int dx, std::string_view text, int dy);
  // The same, collected into the dirty rectangle instead of shown.
  void TextRectOutDeferred(TRect rect, int dx, std::string_view text, int dy);
  // VAlign / HAlign: 0 top / left, 1 centred, 2 bottom / right at (X, Y); kept inside
  // the width.
  void TextOutAligned(int x, int y, int vAlign, int hAlign, std::string_view text);
  // The width the text takes in this surface's face.
  int TextWidth(std::string_view text) const;

 protected:
  // Called after the background colour changed.
  virtual void ColorChanged();
  void GrowDirty(int left, int top, int right, int bottom) {
    dirtyLeft_ = std::min(dirtyLeft_, left);
    dirtyTop_ = std::min(dirtyTop_, top);
    dirtyRight_ = std::max(dirtyRight_, right);
    dirtyBottom_ = std::max(dirtyBottom_, bottom);
  }
  bool InUpdate() const { return updateCount_ > 0; }
  bool HasWindow() const { return window_ != nullptr; }
  // A pixel written straight into the picture: joins the dirty rectangle inside a
  // bracket, else is shown at once.
  void PixelChanged(int x, int y) {
    if (InUpdate()) {
      GrowDirty(x, y, x, y);
    } else if (window_ != nullptr) {
      PaintRect(x, y, y, x);
    }
  }

 private:
  const ITextRasteriser& Text() const;
  void DrawText(TRect rect, int dx, std::string_view text, int dy);
  void ResetDirty();

  TSLBMP image_;
  const ITextRasteriser* text_;
  IScreenWindow* window_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  TColorRef color_ = 0;
  TColorRef fontColor_ = 0xFFFFFF;
  bool visible_ = true;
  int updateCount_ = 0;
  int dirtyLeft_ = 0;
  int dirtyTop_ = 0;
  int dirtyRight_ = 0;
  int dirtyBottom_ = 0;
};

// The base of the text strips (status line, bottom strip, hint window).
class TScanLinesTextScreen : public TScanLinesScreen {
 public:
  using TScanLinesScreen::TScanLinesScreen;
};

}  // namespace norv
