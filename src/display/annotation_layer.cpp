#include "display/annotation_layer.h"

#include <algorithm>
#include <bit>

#include "display/signal_screen.h"
#include "framework/util/errors.h"

namespace norv {

TAnnotationLayer::TAnnotationLayer(std::string name, int width, int height, int index, bool isXY,
                                   const ITextRasteriser* text)
    : TMarkerLayer(std::move(name), width, height, index, isXY),
      text_(text),
      plane_(static_cast<size_t>(Width()) * (MaxY() + 1), 0) {}

static uint16_t LabelBit(int n) { return static_cast<uint16_t>(1u << (n - 1)); }
// The bits of the labels numbered below N.
static uint16_t LowerLabels(int n) { return static_cast<uint16_t>(LabelBit(n) - 1); }

uint32_t TAnnotationLayer::PixelColor(int x, int y) const {
  const uint16_t labels = Cell(x, y);
  if (labels == 0) throw EAssertion("???? Label Layer ERROR - Must be point !!!!!");
  const int n = std::countr_zero(labels) + 1;
  return kColours[(plane_[CellIndex(x, y)] >> (2 * (n - 1))) & 3];
}

void TAnnotationLayer::PlotCell(int n, int x, int y, int colourIndex) {
  if (x <= 0 || x >= MaxX() || y <= 0 || y >= MaxY()) return;
  const size_t i = CellIndex(x, y);
  uint16_t& cell = CellRef(x, y);
  cell |= LabelBit(n);
  const int shift = 2 * (n - 1);
  plane_[i] =
      static_cast<uint16_t>((plane_[i] & ~(3u << shift)) | (static_cast<unsigned>(colourIndex) << shift));
  if ((cell & LowerLabels(n)) == 0) RefreshPixel(x, y);
}

void TAnnotationLayer::UnplotCell(int n, int x, int y) {
  if (x <= 0 || x >= MaxX() || y <= 0 || y >= MaxY()) return;
  uint16_t& cell = CellRef(x, y);
  if ((cell & LabelBit(n)) == 0) return;
  cell &= static_cast<uint16_t>(~LabelBit(n));
  if ((cell & LowerLabels(n)) != 0) return;
  if (cell == 0) {
    ErasePixel(x, y);
  } else {
    RefreshPixel(x, y);
  }
}

void TAnnotationLayer::Render(int n, const std::string& text) {
  ++renders_;
  TGlyph& g = glyphs_[n - 1];
  const std::string boxed = " " + text + " ";
  const TTextExtent size = text_ != nullptr ? text_->Measure(boxed) : TTextExtent{0, 0};
  // A text too large for the box is cut at the box's frame.
  g.Width = std::min(size.Width + 2, kBoxWidth);
  g.Height = std::min(size.Height + 3, kBoxHeight);
  g.Bits.assign(static_cast<size_t>(g.Width) * g.Height, 0);
  for (int x = 0; x < g.Width; ++x) {
    g.Bits[x] = 1;
    g.Bits[static_cast<size_t>(g.Height - 1) * g.Width + x] = 1;
  }
  for (int y = 0; y < g.Height; ++y) {
    g.Bits[static_cast<size_t>(y) * g.Width] = 1;
    g.Bits[static_cast<size_t>(y) * g.Width + g.Width - 1] = 1;
  }
  if (text_ == nullptr) return;
  const TTextMask mask = text_->RenderMask(boxed);
  const int rows = std::min(mask.Height, g.Height - 2);
  const int columns = std::min(mask.Width, g.Width - 2);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      if (mask.At(x, y)) g.Bits[static_cast<size_t>(y + 1) * g.Width + x + 1] = 1;
    }
  }
}

void TAnnotationLayer::Figure(int n, TPlace& p, bool on) {
  const int lines = p.LineColour ? 1 : 3;
  const auto cell = [&](int x, int y, int colourIndex) {
    if (on) {
      PlotCell(n, x, y, colourIndex);
    } else {
      UnplotCell(n, x, y);
    }
  };
  const auto column = [&](int x, int from, int to) {
    for (int y = from; y <= to; ++y) cell(x, y, lines);
  };
  const auto row = [&](int y, int from, int to) {
    for (int x = std::min(from, to); x <= std::max(from, to); ++x) cell(x, y, lines);
  };
  const auto arrow = [&](int x, int y, int d) {
    for (int k = 1; k <= 5; ++k) {
      for (int j = 2 * k; j <= k + 6; ++j) {
        cell(x + d * j, y - k, lines);
        cell(x + d * j, y + k, lines);
      }
    }
  };
  const TGlyph& g = glyphs_[n - 1];
  const int x = p.X;
  const int y = p.Y;
  int top = y > 25 ? y - 22 : y + 5;
  int left = 0;
  if (p.Style >= 5) {
    column(x, y - 10, y + 10);
    if (p.Style == 5) column(p.X2, y - 10, y + 10);
  }
  if (p.Style == 2 || p.Style == 3) {
    if (y > 55) {
      column(x, y - 36, y + 8);
    } else {
      column(x, y - 8, y + 48);
    }
  }
  // The side of the anchor a box goes to (-1 left), unless it would leave the plot there.
  const auto side = [&](int d) {
    if (d < 0 && x - 17 - g.Width < 0) return 1;
    if (d > 0 && x + 17 + g.Width > MaxX()) return -1;
    return d;
  };
  switch (p.Style) {
    case 0:
    case 6:
    case 1:
    case 7: {
      const int d = side(p.Style == 0 || p.Style == 6 ? -1 : 1);
      row(y, x, x + 75 * d);
      arrow(x, y, d);
      left = d < 0 ? x - 17 - g.Width : x + 17;
      break;
    }
    case 2:
    case 3: {
      const int r = y > 55 ? y - 28 : y + 40;
      const int d = side(p.Style == 2 ? -1 : 1);
      row(r, x, x + 75 * d);
      arrow(x, r, d);
      left = d < 0 ? x - 17 - g.Width : x + 17;
      top = r - 22;
      break;
    }
    case 4:
      for (int c = 1; c < MaxX(); ++c) cell(c, y, 1);
      left = 10;
      break;
    default:  // 5: a span between X and X2
      row(y, x - 75, p.X2 + 75);
      arrow(x, y, -1);
      arrow(p.X2, y, 1);
      left = x + 7;
      break;
  }
  p.BoxLeft = left;
  p.BoxTop = top;
  const int ink = p.Highlight ? 2 : 3;
  for (int j = 0; j < g.Height; ++j) {
    for (int i = 0; i < g.Width; ++i) cell(left + i, top + j, g.At(i, j) ? ink : 0);
  }
}

void TAnnotationLayer::NewLabel(int n, const TAnnLabelParam& param) {
  labels_[n - 1] = param;
  Render(n, param.Text);
  TPlace& p = places_[n - 1];
  p = TPlace{true,
             UnitsToColumn(param.AnchorX),
             UnitsToRow(param.AnchorY),
             UnitsToColumn(param.SecondX),
             param.LeaderStyle,
             param.LineColour,
             param.TextHighlight};
  Figure(n, p, true);
}

void TAnnotationLayer::MoveLabel(int n, const TAnnLabelParam& param) {
  labels_[n - 1] = param;
  TPlace& p = places_[n - 1];
  const int x = UnitsToColumn(param.AnchorX);
  const int y = UnitsToRow(param.AnchorY);
  const int x2 = UnitsToColumn(param.SecondX);
  if (x == p.X && y == p.Y && x2 == p.X2 && param.LineColour == p.LineColour) return;
  Figure(n, p, false);
  p.X = x;
  p.Y = y;
  p.X2 = x2;
  p.LineColour = param.LineColour;
  Figure(n, p, true);
}

void TAnnotationLayer::SetLabel(int n, const TAnnLabelParam& param) {
  if (n < 1 || n > kLabels) return;
  BeginScreenUpdate();
  const TAnnLabelParam& old = labels_[n - 1];
  const bool same = param.Active && old.LeaderStyle == param.LeaderStyle && old.Text == param.Text &&
                    old.TextHighlight == param.TextHighlight;
  if (!same) EraseLabel(n);
  if (param.Active) {
    if (places_[n - 1].Drawn) {
      MoveLabel(n, param);
    } else {
      NewLabel(n, param);
    }
  }
  EndScreenUpdate();
}

void TAnnotationLayer::EraseLabel(int n) {
  if (n < 1 || n > kLabels) return;
  TPlace& p = places_[n - 1];
  if (p.Drawn) {
    BeginScreenUpdate();
    Figure(n, p, false);
    EndScreenUpdate();
  }
  p.Drawn = false;
  labels_[n - 1].Active = false;
}

void TAnnotationLayer::Hide() {
  TMarkerLayer::Hide();
  for (int n = 1; n <= kLabels; ++n) {
    places_[n - 1].Drawn = false;
    labels_[n - 1].Active = false;
  }
}

}  // namespace norv
