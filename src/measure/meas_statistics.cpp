#include "measure/meas_statistics.h"

#include <algorithm>
#include <cmath>

#include "display/bottom_text.h"
#include "framework/settings/value_text.h"
#include "framework/util/errors.h"

namespace norv {

namespace {

constexpr const char* kWaitText = "Wait__";

}  // namespace

// --- THisticon ---

void THisticon::SetRect(TRect rect) {
  IconRect = rect;
  OriginX = rect.Left + kHalfColumns + 1;
  BaseY = rect.Bottom - 1;
}

void THisticon::SetVisible(bool visible) {
  Visible = visible;
  if (!visible) Drawn = false;
}

void THisticon::Line(int x0, int y0, int x1, int y1) {
  for (int x = std::min(x0, x1); x <= std::max(x0, x1); ++x) {
    for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y) Strip->SetPixel(x, y, GridColor);
  }
}

void THisticon::DrawFrame(const std::string& text) {
  Drawn = true;
  CaptionShown = !text.empty();
  // The fill below wipes the columns as well.
  ColumnHeights = {};
  if (!Strip) return;
  Strip->SetFontColor(IconColor);
  Strip->TextRectOut(IconRect, kCaptionWidth, text, 2);
  const int left = OriginX - kHalfColumns - 1, right = OriginX + kHalfColumns + 1;
  Line(left, BaseY - 5, left, BaseY);
  Line(left, BaseY, right, BaseY);
  Line(right, BaseY - 6, right, BaseY);
}

void THisticon::SetColumn(int c, int h) {
  if (c < -kHalfColumns || c > kHalfColumns) return;
  uint8_t& stored = ColumnHeights[static_cast<size_t>(c + kHalfColumns)];
  h = std::clamp(h, 0, kMaxHeight);
  if (!Visible || h == stored) return;
  if (Strip) {
    const int x = OriginX + c;
    // Height k covers the k pixels above the base line.
    if (h > stored) {
      for (int k = stored + 1; k <= h; ++k) Strip->SetPixel(x, BaseY - k, IconColor);
    } else {
      for (int k = h + 1; k <= stored; ++k) Strip->SetPixel(x, BaseY - k, Strip->Color());
    }
  }
  stored = static_cast<uint8_t>(h);
}

// --- TStatH ---

TStatH::TStatH() : lastMean_(UndefinedValue) { TStatH::Reset(); }

void TStatH::Reset() {
  if (Count() > 0) lastMean_ = Mean();
  TModedStat::Reset();
  histStarted_ = false;
  histMax_ = 1e-5;
  maxCell_ = 0;
  cells_ = {};
  icon_.ColumnHeights = {};
}

void TStatH::SetMode(uint8_t mode, int window) {
  const TStatMode before = TModedStat::Mode();
  const int size = Size();
  TModedStat::SetMode(mode == 1   ? TStatMode::Window
                      : mode == 2 ? TStatMode::Weight
                                  : TStatMode::Permanent,
                      window);
  if ((TModedStat::Mode() != before || Size() != size) && icon_.Visible) icon_.DrawFrame(kWaitText);
}

void TStatH::Add(uint32_t n, double x) {
  if (n == 0) return;
  if (Mode() != 0 || n == 1) {
    for (uint32_t i = 0; i < n; ++i) AddValue(x);
    return;
  }
  // Permanent: the copies before the histogram starts enter one by one (the start takes
  // the mean and spread of exactly the first WindowSize values), the rest at once.
  while (n > 0 && !histStarted_) {
    AddValue(x);
    --n;
  }
  if (n == 0) return;
  TStat::Add(n, x);
  const int c = CellOf(x);
  if (c < -kHalfCells || c > kHalfCells) return;
  lastCell_ = c;
  double& cell = CellRef(c);
  cell = std::min(cell + n, kCellLimit);
  if (cell > histMax_) {
    maxCell_ = c;
    histMax_ = cell + 1e-5;
  }
  RedrawIcon();
}

int TStatH::CellOf(double v) const {
  const double c = std::clamp((v - histCenter_) / histScale_ * 5, -200.0, 200.0);
  return static_cast<int>(std::lround(c));
}

void TStatH::AddValue(double x) {
  AddOne(x);
  if (!histStarted_) {
    if (Count() >= WindowSize()) {
      StartHistogram();
      if (Mode() == 1) {
        for (int64_t i = 0; i < Count(); ++i) AddToHist(WindowValues()[i]);
      } else {
        AddToHist(x);
      }
    }
  } else {
    AddToHist(x);
  }
  RedrawIcon();
}

void TStatH::LeavingWindow(double old) {
  if (histStarted_) RemoveFromHist(old);
}

void TStatH::StartHistogram() {
  histStarted_ = true;
  histCenter_ = Mean();
  histScale_ = std::max({StdDev(), 1e-8 * std::abs(histCenter_), 1e-30});
}

int TStatH::HeightOf(int c) const {
  return static_cast<int>(std::lround(cells_[static_cast<size_t>(c + kHalfCells)] / histMax_ * 14));
}

void TStatH::DrawColumn(int c) {
  if (icon_.Visible && icon_.Drawn && !icon_.CaptionShown) icon_.SetColumn(c, HeightOf(c));
}

void TStatH::DrawAllColumns() {
  for (int c = -THisticon::kHalfColumns; c <= THisticon::kHalfColumns; ++c) DrawColumn(c);
}

void TStatH::AddToHist(double v) {
  const int c = CellOf(v);
  if (c < -kHalfCells || c > kHalfCells) return;
  lastCell_ = c;
  double& cell = CellRef(c);
  cell = std::min(cell + 1, kCellLimit);
  if (cell > histMax_) {
    maxCell_ = c;
    histMax_ = cell + 1e-5;
    if (Mode() == 2 && WindowSize() + 0.3 < histMax_) {
      const double k = WindowSize() / cell;
      for (double& h : cells_) h *= k;
      histMax_ = cells_[static_cast<size_t>(maxCell_ + kHalfCells)] + 1e-5;
    }
    DrawAllColumns();
  } else {
    DrawColumn(c);
  }
}

void TStatH::RemoveFromHist(double v) {
  const int c = CellOf(v);
  if (c < -kHalfCells || c > kHalfCells) return;
  removedCell_ = c;
  double& cell = CellRef(c);
  if (cell > 0.9) cell -= 1;
  if (c == maxCell_) {
    double tallest = 0;
    maxCell_ = -kHalfCells;
    for (int i = -kHalfCells; i <= kHalfCells; ++i) {
      if (Cell(i) > tallest) {
        tallest = Cell(i);
        maxCell_ = i;
      }
    }
    histMax_ = tallest + 1e-5;
    DrawAllColumns();
  } else {
    DrawColumn(c);
  }
}

void TStatH::SetIconVisible(bool visible) {
  icon_.SetVisible(visible);
  RedrawIcon();
}

void TStatH::PlaceIcon(int slot) { icon_.SetRect(TNizText::GetLineCellRect(slot, TNizText::kMergedColumn)); }

void TStatH::CreateIcon(int slot, const std::string& caption, TColorRef color) {
  if (slot < 0 || slot > 3) throw EAssertion("??? Histicon of slot " + std::to_string(slot) + " !!!");
  slot_ = slot;
  icon_.SetCaption(caption);
  icon_.SetColor(color);
  PlaceIcon(slot);
}

void TStatH::RedrawIcon() {
  if (!icon_.Visible) return;
  if (Count() < WindowSize() || !histStarted_) {
    if (!icon_.Drawn || !icon_.CaptionShown) icon_.DrawFrame(kWaitText);
    return;
  }
  if (!icon_.Drawn || icon_.CaptionShown) icon_.DrawFrame("");
  DrawAllColumns();
}

}  // namespace norv
