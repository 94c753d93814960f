#include "display/overlay_layers.h"

#include <cmath>
#include <cstdlib>

#include "display/display_hooks.h"
#include "display/signal_layers.h"
#include "display/signal_screen.h"
#include "framework/util/errors.h"
#include "framework/util/numeric_utils.h"

namespace norv {

// --- TMarkerLayer ---

TMarkerLayer::TMarkerLayer(std::string name, int width, int height, int index, bool isXY)
    : TScreenLayer(std::move(name), width, height, index, isXY) {
  if (!isXY) SetGrabbable(true);
}

uint32_t TMarkerLayer::PixelColor(int, int) const { return Colour(); }

int TMarkerLayer::UnitsToColumn(double x) const {
  const double v = MaxX() * x / kScreenUnitsX;
  if (std::isnan(v) || v < 0.5) return 1;
  if (v > MaxX()) return MaxX() - 1;
  return RoundClamped(v, 1, MaxX(), 1);
}

int TMarkerLayer::ColumnToUnits(int x) const {
  if (x < 1) x = 1;
  if (x >= MaxX()) x = MaxX() - 1;
  return RoundClamped(static_cast<double>(x) / MaxX() * kScreenUnitsX, 0, 4000, 0);
}

int TMarkerLayer::UnitsToRow(double y) const {
  const int r = RoundClamped((kScreenUnitsY - y) / kScreenUnitsY * MaxY(), -1, MaxY() + 1, 1);
  if (r <= 0) return 1;
  if (r >= MaxY()) return MaxY() - 1;
  return r;
}

int TMarkerLayer::RowToUnits(int y) const {
  const double u = (1.0 - static_cast<double>(y) / MaxY()) * kScreenUnitsY;
  if (u < 0) return 1;
  if (u >= kScreenUnitsY) return 1023;
  return RoundClamped(u, 0, 1023, 1);
}

void TMarkerLayer::SetCell(int x, int y, bool on) {
  if (InPlot(x, y)) PutCell(x, y, on);
}

void TMarkerLayer::Outline(bool on) {
  for (int x = left_; x <= right_; ++x) {
    SetCell(x, top_, on);
    SetCell(x, bottom_, on);
  }
  for (int y = top_; y <= bottom_; ++y) {
    SetCell(left_, y, on);
    SetCell(right_, y, on);
  }
}

void TMarkerLayer::SetRectangle(int left, int top, int right, int bottom, bool force) {
  if (!force && left == left_ && top == top_ && right == right_ && bottom == bottom_) return;
  BeginScreenUpdate();
  if (left_ != 0) Outline(false);
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom;
  Outline(true);
  EndScreenUpdate();
}

void TMarkerLayer::DottedRowBetween(int row, bool on) {
  for (int x = left_ + 1; x < right_; ++x) {
    if (x % 2 == 1) SetCell(x, row, on);
  }
}

void TMarkerLayer::DottedRow(int row, bool on) {
  for (int x = 1; x < MaxX(); x += 2) SetCell(x, row, on);
}

void TMarkerLayer::DottedColumn(int column, bool on) {
  for (int y = 1; y < MaxY(); y += 2) SetCell(column, y, on);
}

void TMarkerLayer::MarginColumn(int column, bool on) {
  for (int y = 4; y <= MaxY() - 5; ++y) SetCell(column, y, on);
}

void TMarkerLayer::LevelRow(int row, bool on) {
  for (int x = 4; x <= MaxX() - 5; ++x) SetCell(x, row, on);
}

bool TMarkerLayer::GrabRightMargin(int x) const {
  const bool nearLeft = std::abs(left_ - x) <= 4;
  const bool nearRight = std::abs(right_ - x) <= 4;
  if (nearLeft && nearRight) return x < MaxX() / 2;
  return !nearLeft;
}

// --- THistWindowLayer ---

void THistWindowLayer::SetWindow(double leftX, double topY, double rightX, double bottomY) {
  SetRectangle(UnitsToColumn(leftX), UnitsToRow(topY), UnitsToColumn(rightX), UnitsToRow(bottomY), false);
}

void THistWindowLayer::StartDrag(int x, int y) {
  TMarkerLayer::StartDrag(x, y);
  offset_ = {left_ - x, right_ - x, top_ - y, bottom_ - y};
  for (int e = 0; e < 4; ++e) grabbed_[e] = std::abs(offset_[e]) < 10;
  // Of two opposite edges in reach the nearer moves (the right or bottom one on a tie).
  const auto nearer = [&](int a, int b) {
    if (grabbed_[a] && grabbed_[b]) {
      if (std::abs(offset_[a]) < std::abs(offset_[b])) {
        grabbed_[b] = false;
      } else {
        grabbed_[a] = false;
      }
    }
  };
  nearer(0, 1);
  nearer(2, 3);
}

void THistWindowLayer::DragTo(int x, int y) {
  const int axis = DisplayHooks.HistAxisKind();
  if (axis != 1 && axis != 2) return;
  for (int e = 0; e < 4; ++e) {
    if (!grabbed_[e]) continue;
    const int units = e < 2 ? ColumnToUnits(x + offset_[e]) : RowToUnits(y + offset_[e]);
    DisplayHooks.HistWindowEdgeDragged(axis, static_cast<TWindowEdge>(e), units);
  }
}

// --- vertical and horizontal markers ---

// Marker M2 is dashed: 5 pixels on, 3 off.
static bool DashOn(bool first, int n) { return first || n % 8 > 2; }

void T_X_MarkerLayer::MoveColumn(int column) {
  if (column == left_) return;
  BeginScreenUpdate();
  for (int y = 8; y <= MaxY() - 9; ++y) {
    if (!DashOn(IsFirst(), y)) continue;
    SetCell(left_, y, false);
    SetCell(column, y, true);
  }
  left_ = column;
  EndScreenUpdate();
}

void T_X_MarkerLayer::SetPosition(double x) { MoveColumn(UnitsToColumn(x)); }

void T_X_MarkerLayer::DragTo(int x, int) {
  DisplayHooks.MarkerDragged(IsFirst() ? 1 : 2, true, ColumnToUnits(x));
}

void T_Y_MarkerLayer::SetPosition(double y) {
  const int row = UnitsToRow(y);
  if (row == top_) return;
  BeginScreenUpdate();
  for (int x = 8; x <= MaxX() - 9; ++x) {
    if (!DashOn(IsFirst(), x)) continue;
    SetCell(x, top_, false);
    SetCell(x, row, true);
  }
  top_ = row;
  EndScreenUpdate();
}

void T_Y_MarkerLayer::DragTo(int, int y) {
  DisplayHooks.MarkerDragged(IsFirst() ? 1 : 2, false, RowToUnits(y));
}

void T_XY_MarkerLayer::Cross(bool on) {
  for (int k = -10; k <= 10; ++k) {
    const int x = left_ + k;
    if (k == 0 || x < 1 || x > MaxX() - 1) continue;
    for (const int y : {top_ - k, top_ + k}) {
      if (y >= 1 && y <= MaxY() - 1) SetCell(x, y, on);
    }
  }
}

void T_XY_MarkerLayer::SetPointIndex(int index) {
  const auto* trace = dynamic_cast<const TParentSignalLayer*>(LinkedLayer().Get());
  if (trace == nullptr || index < 0 || index >= kMaxRecordPoints) return;
  const auto [column, row] = trace->GetPointCell(index);
  if (column == left_ && row == top_) return;
  BeginScreenUpdate();
  if (left_ != 0) Cross(false);
  top_ = row;
  MoveColumn(column);
  Cross(true);
  EndScreenUpdate();
}

// --- measurement set-up ---

void T_Meas_ParamLayer::Thresholds(bool on) {
  for (const int row : {upper_, middle_, lower_}) {
    if (row != 0) DottedRowBetween(row, on);
  }
}

void T_Meas_ParamLayer::PaintMeas_Params(double leftX, double topY, double rightX, double baseY,
                                         double upperY, double middleY, double lowerY) {
  const int left = UnitsToColumn(leftX);
  const int right = UnitsToColumn(rightX);
  const int top = UnitsToRow(topY);
  const int base = UnitsToRow(baseY);
  const int upper = UnitsToRow(upperY);
  const int middle = UnitsToRow(middleY);
  const int lower = UnitsToRow(lowerY);
  BeginScreenUpdate();
  const bool thresholds =
      upper != upper_ || middle != middle_ || lower != lower_ || left != left_ || right != right_;
  if (thresholds) {
    Thresholds(false);
    upper_ = upper;
    middle_ = middle;
    lower_ = lower;
  }
  if (thresholds || top != top_ || base != bottom_) SetRectangle(left, top, right, base, true);
  if (thresholds) Thresholds(true);
  EndScreenUpdate();
}

void T_Meas_ParamLayer::StartDrag(int x, int y) {
  TMarkerLayer::StartDrag(x, y);
  enum { kTop, kBase, kUpper, kMiddle, kLower, kLeft, kRight };
  bool near[7] = {std::abs(top_ - y) <= 3,    std::abs(bottom_ - y) <= 3, std::abs(upper_ - y) <= 3,
                  std::abs(middle_ - y) <= 3, std::abs(lower_ - y) <= 3,  std::abs(left_ - x) <= 3,
                  std::abs(right_ - x) <= 3};
  const bool lowerHalf = y >= MaxY() / 2;
  // Of two lines in reach, the one that a drag away from the other would separate.
  const auto pick = [&](int a, int b, int inLowerHalf) {
    if (near[a] && near[b]) near[inLowerHalf == a ? b : a] = false;
  };
  pick(kTop, kBase, lowerHalf ? kTop : kBase);
  if (near[kUpper] && near[kLower]) near[kMiddle] = false;
  pick(kUpper, kLower, lowerHalf ? kUpper : kLower);
  pick(kUpper, kMiddle, lowerHalf ? kUpper : kMiddle);
  pick(kMiddle, kLower, lowerHalf ? kMiddle : kLower);
  if (near[kLeft] && near[kRight] && x < MaxX() / 2) near[kLeft] = false;
  grabbed_ = kRight;
  for (int line = kTop; line <= kLeft; ++line) {
    if (near[line]) {
      grabbed_ = line;
      break;
    }
  }
  if (grabbed_ >= kLeft) DisplayHooks.MeasMarginGrabbed();
}

void T_Meas_ParamLayer::DragTo(int x, int y) {
  DisplayHooks.MeasLineDragged(static_cast<TMeasLine>(grabbed_), ColumnToUnits(x), RowToUnits(y));
}

// --- spectrum measurement ---

void T_FFT_Meas_ParamLayer::Lines(bool on) {
  if (mode_ == 1) {
    LevelRow(top_, on);
  } else if (mode_ == 2) {
    MarginColumn(left_, on);
    MarginColumn(right_, on);
  }
}

void T_FFT_Meas_ParamLayer::PaintMeas_Params(double levelY, double leftX, double rightX) {
  if (levelY != -1 && leftX != -1) throw EAssertion("??? T_FFT_Meas_ParamLayer.PaintMeas_Params");
  const int mode = levelY != -1 ? 1 : leftX != -1 ? 2 : 0;
  const int row = mode == 1 ? UnitsToRow(levelY) : top_;
  const int left = mode == 2 ? UnitsToColumn(leftX) : left_;
  const int right = mode == 2 ? UnitsToColumn(rightX) : right_;
  const bool changed =
      mode != mode_ || (mode == 1 && row != top_) || (mode == 2 && (left != left_ || right != right_));
  if (!changed) return;
  BeginScreenUpdate();
  Lines(false);
  mode_ = mode;
  top_ = row;
  left_ = left;
  right_ = right;
  Lines(true);
  EndScreenUpdate();
}

void T_FFT_Meas_ParamLayer::StartDrag(int x, int y) {
  TMarkerLayer::StartDrag(x, y);
  if (mode_ == 1) {
    grabbed_ = static_cast<int>(TFftLine::Level);
  } else {
    grabbed_ = static_cast<int>(GrabRightMargin(x) ? TFftLine::Right : TFftLine::Left);
  }
}

void T_FFT_Meas_ParamLayer::DragTo(int x, int y) {
  DisplayHooks.FftLineDragged(static_cast<TFftLine>(grabbed_), ColumnToUnits(x), RowToUnits(y));
}

// --- eye measurement ---

T_Eye_ParamLayer::T_Eye_ParamLayer(std::string name, int width, int height, int index, bool isXY)
    : TMarkerLayer(std::move(name), width, height, index, isXY) {
  SetGrabbable(false);
}

void T_Eye_ParamLayer::Lines(bool on) {
  if (on) {
    Outline(true);
  } else if (left_ != 0) {
    Outline(false);
  }
  DottedRow(level1_, on);
  DottedRow(level2_, on);
  DottedColumn(line1_, on);
  DottedColumn(line2_, on);
}

void T_Eye_ParamLayer::PaintEye_Params(const TEyeParams& p) {
  const int left = UnitsToColumn(p.WindowLeftX);
  const int top = UnitsToRow(p.WindowTopY);
  const int right = UnitsToColumn(p.WindowRightX);
  const int bottom = UnitsToRow(p.WindowBottomY);
  const int level1 = UnitsToRow(p.Level1Y);
  const int level2 = UnitsToRow(p.Level2Y);
  const int line1 = UnitsToColumn(p.Line1X);
  const int line2 = UnitsToColumn(p.Line2X);
  if (drawn_ && left == left_ && top == top_ && right == right_ && bottom == bottom_ && level1 == level1_ &&
      level2 == level2_ && line1 == line1_ && line2 == line2_) {
    return;
  }
  BeginScreenUpdate();
  if (drawn_) Lines(false);
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom;
  level1_ = level1;
  level2_ = level2;
  line1_ = line1;
  line2_ = line2;
  Lines(true);
  drawn_ = true;
  EndScreenUpdate();
}

// --- TDR margins ---

void T_TDR_MarginsLayer::Lines(bool on) {
  if (!shown_) return;
  MarginColumn(left_, on);
  MarginColumn(right_, on);
}

void T_TDR_MarginsLayer::PaintMargins(double leftX, double rightX) {
  const bool shown = leftX != -1;
  const int left = shown ? UnitsToColumn(leftX) : left_;
  const int right = shown ? UnitsToColumn(rightX) : right_;
  if (shown == shown_ && (!shown || (left == left_ && right == right_))) return;
  BeginScreenUpdate();
  Lines(false);
  shown_ = shown;
  left_ = left;
  right_ = right;
  Lines(true);
  EndScreenUpdate();
}

void T_TDR_MarginsLayer::StartDrag(int x, int y) {
  TMarkerLayer::StartDrag(x, y);
  grabbedRight_ = GrabRightMargin(x);
}

void T_TDR_MarginsLayer::DragTo(int x, int) {
  DisplayHooks.TdrMarginDragged(grabbedRight_, ColumnToUnits(x));
}

}  // namespace norv
