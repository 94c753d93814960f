#include "display/mask_layers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <string>

#include "display/display_hooks.h"
#include "display/signal_screen.h"
#include "framework/util/errors.h"

namespace norv {

// --- TMaskLayer ---

TMaskLayer::TMaskLayer(std::string name, int width, int height, int index, bool isXY,
                       const ITextRasteriser* text)
    : TMarkerLayer(std::move(name), width, height, index, isXY), text_(text) {
  SetGrabbable(false);
}

void TMaskLayer::SetLayerColorAndOpacity(uint32_t colour) {
  const uint32_t rgb = colour & 0xFFFFFFu;
  fillColour_ = rgb | ((((colour >> 24) + 1) / 2) << 24);
  opaqueColour_ = rgb | kOpaque;
  TMarkerLayer::SetLayerColorAndOpacity(colour);
  // The margin areas are always translucent: what lies behind them must keep showing.
  if (GetScreen() != nullptr) GetScreen()->SetLayerTranslucent(Index(), true);
}

uint32_t TMaskLayer::PixelColor(int x, int y) const {
  switch (Cell(x, y)) {
    case 1:
      return Colour();
    case 2:
      return fillColour_;
    default:
      return opaqueColour_;
  }
}

void TMaskLayer::PaintMask() {
  if (!DisplayHooks.MaskLoaded()) return;
  BeginScreenUpdate();
  Hide();
  for (int x = 1; x < MaxX(); ++x) {
    const int maskX = (x * 4000 + MaxX() / 2) / MaxX();
    for (int y = 1; y <= MaxY(); ++y) {
      const int maskY = 32768 - (y * 32768 + CentreRow()) / MaxY();
      const TMaskArea area = DisplayHooks.PointInMask(maskX, maskY);
      if (area == TMaskArea::Outside) continue;
      CellRef(x, y) = area == TMaskArea::Mask ? 1 : 2;
      DrawPixel(x, y);
    }
  }
  for (int n = 1; n <= 8 && text_ != nullptr; ++n) {
    const auto [cx, cy] = DisplayHooks.MaskPolygonCentre(n);
    if (cx == 0 && cy == 0) break;
    const std::string digit(1, static_cast<char>('0' + n));
    const TTextMask mask = text_->RenderMask(digit);
    const int left = std::max(1, UnitsToColumn(cx) - (mask.Width + 1) / 2);
    const int top = std::max(1, UnitsToRow(cy) - (mask.Height + 1) / 2);
    for (int j = 0; j < mask.Height; ++j) {
      for (int i = 0; i < mask.Width; ++i) {
        if (!mask.At(i, j) || !InPlot(left + i, top + j)) continue;
        CellRef(left + i, top + j) = 3;
        RefreshPixel(left + i, top + j);
      }
    }
  }
  EndScreenUpdate();
}

// --- TMaskErrorLayer ---

TMaskErrorLayer::TMaskErrorLayer(std::string name, int width, int height, int index, bool isXY)
    : TMarkerLayer(std::move(name), width, height, index, isXY) {
  SetGrabbable(false);
}

void TMaskErrorLayer::MarkErrorPoint(double x, double y) { SetCell(UnitsToColumn(x), UnitsToRow(y), true); }

// --- TMaskEditLayer ---

TMaskEditLayer::TMaskEditLayer(std::string name, int width, int height, int index, bool isXY)
    : TMarkerLayer(std::move(name), width, height, index, isXY),
      cellKind_(static_cast<size_t>(Width()) * (MaxY() + 1), 0) {}

void TMaskEditLayer::SetLayerColorAndOpacity(uint32_t colour) {
  kindColour_[0] = colour;
  TMarkerLayer::SetLayerColorAndOpacity(colour);
}

uint32_t TMaskEditLayer::PixelColor(int x, int y) const {
  const uint8_t kind = cellKind_[CellIndex(x, y)];
  return kind != 0 ? kindColour_[kind] : Colour();
}

void TMaskEditLayer::SetCellKind(uint16_t bit, int kind, int x, int y) {
  if (!InPlot(x, y)) return;
  cellKind_[CellIndex(x, y)] = static_cast<uint8_t>(kind);
  CellRef(x, y) |= bit;
  RefreshPixel(x, y);
}

void TMaskEditLayer::ClearCellBit(uint16_t bit, bool clearKind, int x, int y) {
  if (!InPlot(x, y)) return;
  uint16_t& cell = CellRef(x, y);
  cell &= static_cast<uint16_t>(~bit);
  if (clearKind) cellKind_[CellIndex(x, y)] = 0;
  if (cell != 0) {
    RefreshPixel(x, y);
  } else {
    ErasePixel(x, y);
  }
}

void TMaskEditLayer::DrawSegment(bool draw, uint16_t bit, int kind, int x1, int y1, int x2, int y2,
                                 bool selected) {
  const int dx = x2 - x1;
  const int dy = y2 - y1;
  const int steps = std::max(std::abs(dx), std::abs(dy));
  const auto put = [&](int x, int y) {
    if (draw) {
      SetCellKind(bit, kind, x, y);
    } else {
      ClearCellBit(bit, selected, x, y);
    }
  };
  if (steps == 0) {
    put(x1, y1);
    return;
  }
  const bool alongX = std::abs(dx) >= std::abs(dy);
  const int step = (alongX ? dx : dy) > 0 ? 1 : -1;
  const double slope = static_cast<double>(alongX ? dy : dx) / steps;
  double minor = alongX ? y1 : x1;
  for (int i = 0; i < steps; ++i, minor += slope) {
    const int m = static_cast<int>(std::nearbyint(minor));
    if (alongX) {
      put(x1 + i * step, m);
    } else {
      put(m, y1 + i * step);
    }
  }
}

void TMaskEditLayer::DrawPolygon(int n, bool draw) {
  const TPolygon& p = polygons_[n];
  const int count = static_cast<int>(p.X.size());
  if (count == 0) return;
  const uint16_t bit = static_cast<uint16_t>(1u << n);
  const bool selected = n == selectedPolygon_;
  BeginScreenUpdate();
  DrawSegment(draw, bit, selected ? 2 : 0, p.X[count - 1], p.Y[count - 1], p.X[0], p.Y[0], selected);
  for (int i = 1; i < count; ++i) {
    DrawSegment(draw, bit, selected ? 1 : 0, p.X[i - 1], p.Y[i - 1], p.X[i], p.Y[i], selected);
  }
  if (selected && selectedVertex_ >= 0) {
    for (int i = 0; i < count; ++i) {
      const int kind = i == selectedVertex_ ? 4 : 3;
      for (int x = std::max(1, p.X[i] - 2); x <= std::min(MaxX() - 1, p.X[i] + 2); ++x) {
        for (int y = std::max(1, p.Y[i] - 2); y <= std::min(MaxY() - 1, p.Y[i] + 2); ++y) {
          if (draw) {
            SetCellKind(bit, kind, x, y);
          } else {
            ClearCellBit(bit, true, x, y);
          }
        }
      }
    }
  }
  EndScreenUpdate();
}

void TMaskEditLayer::SetPolygon(int index, int count, const std::vector<double>& xs,
                                const std::vector<double>& ys, bool select, int vertex) {
  if (index < 0 || index >= kPolygons) throw EAssertion("Mask edit polygon index outside 0..7");
  if (count < 0 || static_cast<size_t>(count) > xs.size() || static_cast<size_t>(count) > ys.size()) {
    throw EAssertion("Mask edit polygon with fewer coordinates than vertexes");
  }
  if (!polygons_[index].X.empty()) ErasePolygon(index, false);
  TPolygon& p = polygons_[index];
  p.X.resize(count);
  p.Y.resize(count);
  for (int i = 0; i < count; ++i) {
    p.X[i] = static_cast<uint16_t>(UnitsToColumn(std::nearbyint(xs[i])));
    p.Y[i] = static_cast<uint16_t>(UnitsToRow(std::nearbyint(ys[i])));
  }
  if (select) {
    selectedPolygon_ = index;
    selectedVertex_ = vertex;
  } else if (selectedPolygon_ == index) {
    selectedPolygon_ = -1;
  }
  DrawPolygon(index, true);
}

void TMaskEditLayer::ErasePolygon(int index, bool remove) {
  if (index < 0 || index >= kPolygons) return;
  DrawPolygon(index, false);
  polygons_[index] = TPolygon{};
  if (!remove) return;
  if (selectedPolygon_ == index) selectedPolygon_ = -1;
  // The polygons after it take the next lower places, and their bits with them.
  BeginScreenUpdate();
  for (int n = index + 1; n < kPolygons; ++n) {
    if (polygons_[n].X.empty()) continue;
    const int selected = selectedPolygon_;
    DrawPolygon(n, false);
    polygons_[n - 1] = std::move(polygons_[n]);
    polygons_[n] = TPolygon{};
    if (selected == n) selectedPolygon_ = n - 1;
    DrawPolygon(n - 1, true);
  }
  EndScreenUpdate();
}

int TMaskEditLayer::HitVertex(int x, int y, int& vertex) const {
  std::array<int, kPolygons> distance;
  distance.fill(1 << 20);
  for (int cx = x - 3; cx <= x + 3; ++cx) {
    for (int cy = y - 3; cy <= y + 3; ++cy) {
      if (!InPlot(cx, cy)) continue;
      const int d = std::min(std::abs(cx - x), std::abs(cy - y));
      for (unsigned bits = Cell(cx, cy); bits != 0; bits &= bits - 1) {
        const int n = std::countr_zero(bits);
        distance[n] = std::min(distance[n], d);
      }
    }
  }
  int polygon = -1;
  for (int n = 0; n < kPolygons; ++n) {
    if (distance[n] < 5 && (polygon < 0 || distance[n] < distance[polygon])) polygon = n;
  }
  vertex = -1;
  if (polygon < 0) return -1;
  const TPolygon& p = polygons_[polygon];
  int best = 255;
  for (size_t i = 0; i < p.X.size(); ++i) {
    const int d = std::max(std::abs(p.X[i] - x), std::abs(p.Y[i] - y));
    if (d < best) {
      best = d;
      vertex = static_cast<int>(i);
    }
  }
  return polygon;
}

}  // namespace norv
