#include "display/scan_lines.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>

#include "framework/util/errors.h"

namespace norv {

TRect Intersect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

void ITextRasteriser::DrawClipped(TSLBMP& image, TRect clip, int x, int y, std::string_view text,
                                  TColorRef ink, TColorRef fill) const {
  clip = Intersect(clip, TRect{0, 0, image.Width(), image.Height()});
  if (clip.IsEmpty()) return;
  image.FillRect(clip, fill);
  const TTextMask mask = RenderMask(text);
  const int fromRow = std::max(0, clip.Top - y);
  const int toRow = std::min(mask.Height, clip.Bottom - y);
  const int fromCol = std::max(0, clip.Left - x);
  const int toCol = std::min(mask.Width, clip.Right - x);
  for (int my = fromRow; my < toRow; ++my) {
    uint32_t* row = image.Row(y + my);
    for (int mx = fromCol; mx < toCol; ++mx) {
      if (mask.At(mx, my)) TSLBMP::Store(row[x + mx], ink);
    }
  }
}

// --- TSLBMP ---

void TSLBMP::Resize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide) {
    throw std::out_of_range("picture size " + std::to_string(width) + " x " + std::to_string(height) +
                            " outside 0..65535");
  }
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * height, 0xFF000000u);
}

void TSLBMP::CheckInside(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) {
    throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                            ") outside the picture");
  }
}

void TSLBMP::SetPixel(int x, int y, TColorRef color) {
  CheckInside(x, y);
  Store(Row(y)[x], color);
}

TColorRef TSLBMP::Pixel(int x, int y) const {
  CheckInside(x, y);
  return ColorOf(Row(y)[x]);
}

void TSLBMP::FillRect(TRect r, TColorRef color) {
  r = Intersect(r, TRect{0, 0, width_, height_});
  if (r.IsEmpty()) return;
  for (int y = r.Top; y < r.Bottom; ++y) {
    uint32_t* row = Row(y);
    for (int x = r.Left; x < r.Right; ++x) Store(row[x], color);
  }
}

// --- TScanLinesScreen ---

TScanLinesScreen::TScanLinesScreen(const ITextRasteriser* text) : text_(text) { ResetDirty(); }

void TScanLinesScreen::SetBounds(int left, int top, int width, int height) {
  image_.Resize(width, height);
  left_ = left;
  top_ = top;
  image_.FillRect(TRect{0, 0, width, height}, color_);
}

void TScanLinesScreen::SetColor(TColorRef color) {
  color &= 0x00FFFFFFu;
  if (color == color_) return;
  color_ = color;
  ColorChanged();
}

void TScanLinesScreen::ColorChanged() { Clear(); }

void TScanLinesScreen::Clear() {
  image_.FillRect(TRect{0, 0, Width(), Height()}, color_);
  PaintAll();
}

void TScanLinesScreen::PaintAll() { PaintRect(0, 0, Height() - 1, Width() - 1); }

void TScanLinesScreen::PaintRect(int left, int top, int bottom, int right) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, Width() - 1);
  bottom = std::min(bottom, Height() - 1);
  if (right < left || bottom < top || window_ == nullptr) return;
  window_->PresentRect(left, top, right, bottom);
}

void TScanLinesScreen::SetPixel(int x, int y, TColorRef color) {
  image_.SetPixel(x, y, color);
  PixelChanged(x, y);
}

void TScanLinesScreen::FillRectangle(TRect rect, TColorRef color, bool show) {
  image_.FillRect(rect, color);
  if (show) PaintRect(rect.Left, rect.Top, rect.Bottom, rect.Right);
}

void TScanLinesScreen::ResetDirty() {
  dirtyLeft_ = dirtyTop_ = INT_MAX;
  dirtyRight_ = dirtyBottom_ = -INT_MAX;
}

void TScanLinesScreen::BeginUpdate() {
  if (updateCount_ == 0) ResetDirty();
  ++updateCount_;
}

void TScanLinesScreen::EndUpdate() {
  if (updateCount_ < 1) throw EAssertion("Assertion failure: EndUpdate without BeginUpdate");
  --updateCount_;
  if (updateCount_ == 0 && dirtyLeft_ != INT_MAX) {
    PaintRect(dirtyLeft_, dirtyTop_, dirtyBottom_, dirtyRight_);
  }
}

const ITextRasteriser& TScanLinesScreen::Text() const {
  if (text_ == nullptr) throw EAssertion("Text drawn on a surface without a text rasteriser");
  return *text_;
}

int TScanLinesScreen::TextWidth(std::string_view text) const { return Text().Measure(text).Width; }

void TScanLinesScreen::DrawText(TRect rect, int dx, std::string_view text, int dy) {
  Text().DrawClipped(image_, rect, rect.Left + dx, rect.Top + dy, text, fontColor_, color_);
}

void TScanLinesScreen::TextRectOut(TRect rect, int dx, std::string_view text, int dy) {
  if (!visible_) return;
  DrawText(rect, dx, text, dy);
  PaintRect(rect.Left, rect.Top, rect.Bottom, rect.Right);
}

void TScanLinesScreen::TextRectOutDeferred(TRect rect, int dx, std::string_view text, int dy) {
  if (!visible_) return;
  DrawText(rect, dx, text, dy);
  GrowDirty(rect.Left, rect.Top, rect.Right, rect.Bottom);
}

void TScanLinesScreen::TextOutAligned(int x, int y, int vAlign, int hAlign, std::string_view text) {
  if (!visible_) return;
  const TTextExtent size = Text().Measure(text);
  int left = x;
  if (hAlign == 1) left = x - size.Width / 2;
  if (hAlign == 2) left = x - size.Width;
  left = std::max(left, 0);
  int right = left + size.Width;
  if (right > Width()) {
    right = Width();
    left = right - size.Width;
  }
  int top = y;
  if (vAlign == 1) top = y - size.Height / 2;
  if (vAlign == 2) top = y - size.Height;
  TextRectOut(TRect{left, top, right, top + size.Height}, 0, text, 0);
}

}  // namespace norv
