#include "display/screen_layer.h"

#include <algorithm>
#include <utility>

#include "display/signal_screen.h"
#include "framework/util/errors.h"

namespace norv {

TScreenLayer::TScreenLayer(std::string name, int width, int height, int index, bool isXY)
    : name_(std::move(name)),
      isXY_(isXY),
      index_(index),
      width_(std::clamp(width, kMinPlotSide, kMaxPlotWidth)),
      maxX_(width_ - 1),
      maxY_(std::clamp(height, kMinPlotSide, 65535) - 1),
      centreRow_(maxY_ / 2),
      cells_(static_cast<size_t>(width_) * (maxY_ + 1), 0) {
  if (index < 0 || index >= TSignalScreen::kLayerSlots) {
    throw EAssertion("Layer index outside 0..31");
  }
}

TScreenLayer::~TScreenLayer() {
  if (screen_ != nullptr && screen_->LayerObject(index_) == this) {
    // Leaves no occupancy behind that a later layer with this index would inherit.
    EraseFromScreen();
    screen_->SetLayerObject(index_, nullptr);
  }
}

void TScreenLayer::Clear() { std::fill(cells_.begin(), cells_.end(), 0); }

void TScreenLayer::Show() {
  if (screen_ == nullptr) return;
  BeginScreenUpdate();
  for (int x = 0; x <= maxX_; ++x) {
    for (int y = 0; y <= maxY_; ++y) {
      if (cells_[CellIndex(x, y)] != 0) screen_->RefreshCell(index_, x, y);
    }
  }
  EndScreenUpdate();
}

void TScreenLayer::SetLayerColorAndOpacity(uint32_t colour) {
  if (colour == colour_) return;
  // Refused before anything is kept: the same colour given again after registering
  // must still reach the screen.
  if (screen_ == nullptr) {
    throw EAssertion("SetLayerColorAndOpacity Must be after SetSignalScreenAndRegisterSelfInIt");
  }
  colour_ = colour;
  screen_->SetLayerTranslucent(index_, (colour & kOpaque) != kOpaque);
  Show();
}

void TScreenLayer::Hide() {
  BeginScreenUpdate();
  EraseMarked(cells_);
  EndScreenUpdate();
}

void TScreenLayer::PutCell(int x, int y, bool present) {
  cells_[CellIndex(x, y)] = present ? 1 : 0;
  if (present) {
    DrawPixel(x, y);
  } else {
    ErasePixel(x, y);
  }
}

void TScreenLayer::DragTo(int, int) {}

void TScreenLayer::StartDrag(int x, int y) {
  dragStartX_ = x;
  dragStartY_ = y;
}

bool TScreenLayer::CellPresent(int x, int y) const { return InPlot(x, y) && cells_[CellIndex(x, y)] != 0; }

bool TScreenLayer::StripHit(int, int, int) const { return false; }

bool TScreenLayer::HitTest(int radius, int x, int y) const {
  if (x <= 0) return StripHit(radius, x, y);
  for (int j = -radius; j <= radius; ++j) {
    const int row = y + j;
    if (row <= 0 || row >= maxY_) continue;
    // Columns left of the plot would wrap into the row above.
    for (int i = -radius; i <= radius; ++i) {
      const int column = x + i;
      if (column >= 0 && column < maxX_ && CellPresent(column, row)) return true;
    }
  }
  return false;
}

void TScreenLayer::SetSignalScreenAndRegisterSelfInIt(TSignalScreen* screen) {
  if (screen == screen_) return;
  if (screen_ != nullptr) {
    EraseFromScreen();
    screen_->SetLayerObject(index_, nullptr);
  }
  screen_ = screen;
  ForgetPens();
  if (screen_ == nullptr) return;
  screen_->SetLayerObject(index_, this);
  Show();
}

void TScreenLayer::UnregisterFromScreen() {
  if (screen_ == nullptr) throw EAssertion("Screen Undefined???????");
  // The occupancy bits of this index would otherwise show the old cells in the colours of
  // the next layer registered under it. The cells stay, for a later Show.
  if (screen_->LayerObject(index_) == this) {
    EraseFromScreen();
    screen_->SetLayerObject(index_, nullptr);
  }
  // Unbound: later drawing must not reach a screen that no longer asks this layer for
  // colours (and may be freed before it), and registering again must not be a no-op.
  screen_ = nullptr;
  ForgetPens();
}

void TScreenLayer::BeginScreenUpdate() {
  if (screen_ != nullptr) screen_->BeginUpdate();
}

void TScreenLayer::EndScreenUpdate() {
  if (screen_ != nullptr) screen_->EndUpdate();
}

void TScreenLayer::EraseFromScreen() {
  if (screen_ == nullptr) return;
  BeginScreenUpdate();
  const int first = isXY_ ? 0 : -kMarkerStripWidth;
  for (int x = first; x <= maxX_; ++x) {
    for (int y = 0; y <= maxY_; ++y) screen_->EraseCell(index_, x, y);
  }
  EndScreenUpdate();
}

void TScreenLayer::Redraw() {
  EraseFromScreen();
  Show();
}

// --- TGraticLayer ---

uint32_t TGraticLayer::PixelColor(int, int) const { return Colour(); }

void TGraticLayer::SetStyle(TGraticStyle style) {
  if (style == style_) return;
  style_ = style;
  BuildPattern();
  Redraw();
}

void TGraticLayer::Mark(int x, int y) {
  if (InPlot(x, y)) CellRef(x, y) = 1;
}

void TGraticLayer::BuildPattern() {
  const int w = MaxX();
  const int h = MaxY();
  const int centreRow = h / 2;
  const int centreCol = w / 2;
  const int n = divisions_;
  const int longX = h / 50 + 1;
  const int shortX = h / 100 + 1;
  const int longY = w / 80 + 1;
  const int shortY = w / 160 + 1;
  const int stepY = h / (4 * n);
  const bool lines = style_ == TGraticStyle::Grid || style_ == TGraticStyle::Axis;
  const bool axisOnly = style_ == TGraticStyle::Axis;

  Clear();
  for (int x = 0; x <= w; ++x) {
    Mark(x, 0);
    Mark(x, h);
  }
  for (int y = 1; y < h; ++y) {
    Mark(0, y);
    Mark(w, y);
  }
  if (style_ == TGraticStyle::Off || style_ == TGraticStyle::None) return;

  if (!IsXY()) {
    const int stepX = w / 50;
    for (int i = 1; i <= 49; ++i) {
      const int column = i * stepX;
      const int length = i % 5 == 0 ? longX : shortX;
      for (int k = 1; k <= length; ++k) {
        Mark(column, k);
        Mark(column, h - k);
        if (lines) {
          Mark(column, centreRow + k);
          Mark(column, centreRow - k);
        }
      }
    }
  }
  for (int j = 1; j <= 4 * n - 1; ++j) {
    const int row = j * stepY;
    const int length = j % 4 == 0 ? longY : shortY;
    for (int k = 1; k <= length; ++k) {
      Mark(k, row);
      Mark(w - k, row);
      if (lines) {
        Mark(centreCol + k, row);
        Mark(centreCol - k, row);
      }
      if (IsXY()) {
        Mark(row, k);
        Mark(row, w - k);
        if (lines) {
          Mark(row, centreCol + k);
          Mark(row, centreCol - k);
        }
      }
    }
  }
  if (!lines) return;

  if (!IsXY()) {
    const int division = w / 10;
    for (int i = 1; i <= 9; ++i) {
      if (axisOnly && i != 5) continue;
      for (int y = 1; y < h; ++y) Mark(i * division, y);
    }
  }
  for (int j = 1; j <= n - 1; ++j) {
    if (axisOnly && j != n / 2) continue;
    const int at = j * stepY * 4;
    for (int x = 1; x < w; ++x) Mark(x, at);
    if (IsXY()) {
      for (int y = 1; y < w; ++y) Mark(at, y);
    }
  }
}

// --- TFrameLayer ---

uint32_t TFrameLayer::PixelColor(int, int) const { return Colour(); }

void TFrameLayer::Outline(bool draw) {
  const auto put = [&](int x, int y) {
    if (InPlot(x, y)) PutCell(x, y, draw);
  };
  for (int x = std::max(left_, 0); x <= std::min(right_, MaxX()); ++x) {
    put(x, top_);
    put(x, bottom_);
  }
  for (int y = std::max(top_ + 1, 0); y <= std::min(bottom_ - 1, MaxY()); ++y) {
    put(left_, y);
    put(right_, y);
  }
}

void TFrameLayer::SetFrame(int x1, int y1, int x2, int y2) {
  x2 = std::clamp(x2, 1, MaxX() - 1);
  y2 = std::clamp(y2, 1, MaxY() - 1);
  BeginScreenUpdate();
  Outline(false);
  left_ = std::min(x1, x2);
  right_ = std::max(x1, x2);
  top_ = std::min(y1, y2);
  bottom_ = std::max(y1, y2);
  Outline(true);
  EndScreenUpdate();
}

}  // namespace norv
