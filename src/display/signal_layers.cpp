#include "display/signal_layers.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "display/display_math.h"
#include "display/signal_screen.h"
#include "framework/util/numeric_utils.h"
#include "instrument/record/signal_obj.h"

namespace norv {

const std::vector<uint8_t>& MarkerGlyphColumns(TMarkerGlyph glyph) {
  static const std::vector<uint8_t> kGlyphs[] = {
      {0x00, 0x3C, 0x42, 0x81, 0x81, 0x81, 0x42},        // C
      {0x00, 0xFF, 0x90, 0x90, 0x90, 0x80},              // F
      {0x00, 0xFF, 0x60, 0x1C, 0x03, 0x1C, 0x60, 0xFF},  // M
      {0x00, 0x62, 0x91, 0x91, 0x89, 0x89, 0x43},        // S
      {0x00, 0x20, 0x40, 0xFF},                          // 1
      {0x00, 0x41, 0x83, 0x85, 0x89, 0x71},              // 2
      {0x00, 0x42, 0x81, 0x91, 0x91, 0x6E},              // 3
      {0x00, 0x0C, 0x34, 0x44, 0xFF, 0x04},              // 4
      {0x00, 0x10, 0x10, 0x54, 0x38, 0x10, 0x10},        // arrow right
      {0x00, 0x00, 0x10, 0x20, 0xFF, 0x20, 0x10},        // arrow up
      {0x00, 0x00, 0x08, 0x04, 0xFF, 0x04, 0x08},        // arrow down
  };
  return kGlyphs[static_cast<int>(glyph)];
}

// --- TParentSignalLayer ---

TParentSignalLayer::TParentSignalLayer(std::string name, int width, int height, int index, bool isXY)
    : TScreenLayer(std::move(name), width, height, index, isXY),
      pointRow_(kMaxRecordPoints, 0),
      pointColumn_(kMaxRecordPoints, 0),
      pointXColumn_(kMaxRecordPoints, 0) {
  if (!isXY) {
    SetGrabbable(true);
    strip_.assign(static_cast<size_t>(kMarkerStripWidth) * (MaxY() + 1), 0);
  }
}

void TParentSignalLayer::GeometryChanged(bool) {}
void TParentSignalLayer::BeforeSignal() {}

void TParentSignalLayer::ThrowCountOverflow(bool up) {
  throw std::overflow_error(up ? "trace cell count overflow" : "trace cell count below zero");
}

// Rows per unit for 8 divisions over the height; a zero, NaN or infinite division
// gives a flat trace rather than a meaningless mapping.
static double RowsPerUnit(int maxY, double unitsPerDiv) {
  const double scale = maxY / (8 * unitsPerDiv);
  return std::isfinite(scale) ? scale : 0.0;
}

void TParentSignalLayer::RebuildColumns() {
  if (pointCount_ == 0) return;
  const int half = pointCount_ / 2;
  for (int i = 0; i < pointCount_; ++i) {
    int column = TruncClamped(ShownPointPlotX(i, pointCount_, MaxX()) + 0.0001, 0, 65535, 0);
    if (i <= half) {
      column = std::max(column, 1);
    } else if (column == MaxX()) {
      column = MaxX() - 1;
    }
    pointColumn_[i] = static_cast<uint16_t>(column);
  }
}

void TParentSignalLayer::SetSignalScale(int pointCount, double offset, double unitsPerDiv) {
  BeforeSignal();
  pointCount = std::clamp(pointCount, 0, kMaxRecordPoints);
  if (pointCount != pointCount_) {
    Hide();
    pointCount_ = pointCount;
    RebuildColumns();
    GeometryChanged(false);
  }
  offset_ = offset;
  scale_ = RowsPerUnit(MaxY(), unitsPerDiv);
  if (IsXY()) return;
  const double shift = offset_ * scale_;
  int row = kNoMarker;
  if (!std::isnan(shift)) {
    row = CentreRow() + RoundClamped(shift, -(MaxY() + 2), MaxY() + 2, 0);
    if (row < 0) row = kMarkerAbove;
    if (row > MaxY()) row = kMarkerBelow;
  }
  SetLevelMarker(row, markerHighlighted_);
}

void TParentSignalLayer::SetXYScale(int pointCount, int secondPointCount, double offset, double unitsPerDiv,
                                    double xOffset, double xUnitsPerDiv) {
  BeforeSignal();
  pointCount = std::clamp(pointCount, 0, kMaxRecordPoints);
  secondPointCount = std::clamp(secondPointCount, 0, kMaxRecordPoints);
  if (pointCount != pointCount_ || secondPointCount != secondPointCount_) {
    Hide();
    pointCount_ = pointCount;
    secondPointCount_ = secondPointCount;
  }
  offset_ = offset;
  scale_ = RowsPerUnit(MaxY(), unitsPerDiv);
  xOffset_ = xOffset;
  xScale_ = RowsPerUnit(MaxY(), xUnitsPerDiv);
  GeometryChanged(true);
}

void TParentSignalLayer::PutSample(int index, double value) { PutDot(*this, index, value); }

void TParentSignalLayer::PutSampleAt(int index, double y, double x) {
  if (index < 0 || index >= pointCount_) return;
  const int row = RowOf(y);
  // The XY plot is square; the column is also kept inside a plot that is not.
  const int maxColumn = std::min(MaxY(), MaxX()) - 1;
  const int shift = RoundClamped((x - xOffset_) * xScale_, -(MaxY() + 2), MaxY() + 2, MaxY());
  const int column = std::clamp(CentreRow() + shift, 1, maxColumn);
  const int oldRow = pointRow_[index];
  const int oldColumn = pointXColumn_[index];
  if (oldRow == row && oldColumn == column) return;
  pointRow_[index] = static_cast<uint16_t>(row);
  pointXColumn_[index] = static_cast<uint16_t>(column);
  PointHit(column, row);
  MovePoint(*this, oldColumn, oldRow, column, row);
}

std::pair<int, int> TParentSignalLayer::GetPointCell(int index) const {
  if (index < 0 || index >= kMaxRecordPoints) return {0, 0};
  return {IsXY() ? pointXColumn_[index] : pointColumn_[index], pointRow_[index]};
}

void TParentSignalLayer::Hide() {
  BeginScreenUpdate();
  for (int i = 0; i < kMaxRecordPoints; ++i) {
    const int column = IsXY() ? pointXColumn_[i] : pointColumn_[i];
    if (column >= MaxX()) continue;
    const int row = pointRow_[i];
    CellRef(column, row) = 0;
    ErasePixel(column, row);
  }
  std::fill(pointRow_.begin(), pointRow_.end(), 0);
  std::fill(pointXColumn_.begin(), pointXColumn_.end(), 0);
  if (!IsXY()) SetLevelMarker(kNoMarker, false);
  EndScreenUpdate();
}

void TParentSignalLayer::Show() {
  BeginScreenUpdate();
  if (!IsXY()) {
    for (int row = 0; row <= MaxY(); ++row) {
      for (int c = 0; c < kMarkerStripWidth; ++c) {
        if (Strip(c, row)) RefreshPixel(c - kMarkerStripWidth, row);
      }
    }
  }
  TScreenLayer::Show();
  EndScreenUpdate();
}

uint32_t TParentSignalLayer::PixelColor(int, int) const { return Colour(); }

bool TParentSignalLayer::StripCell(int stripColumn, int row) const {
  if (IsXY() || stripColumn < 0 || stripColumn >= kMarkerStripWidth || row < 0 || row > MaxY()) {
    return false;
  }
  return strip_[static_cast<size_t>(row) * kMarkerStripWidth + stripColumn] != 0;
}

bool TParentSignalLayer::CellPresent(int x, int y) const {
  if (x < 0) return StripCell(x + kMarkerStripWidth, y);
  return TScreenLayer::CellPresent(x, y);
}

bool TParentSignalLayer::StripHit(int radius, int x, int y) const {
  for (int j = -radius; j <= radius; ++j) {
    for (int i = -radius; i <= radius; ++i) {
      if (StripCell(x + kMarkerStripWidth + i, y + j)) return true;
    }
  }
  return false;
}

void TParentSignalLayer::SetTraceId(TTraceId traceId) {
  traceId_ = traceId;
  if (!IsRecordTrace(traceId)) return;
  const int id = TraceIndex(traceId);
  if (id <= 3) {
    markerLetter_ = 1;
    markerDigit_ = id / 2 + 1;
  } else if (id <= 7) {
    markerLetter_ = 2;
    markerDigit_ = id - 3;
  } else if (id <= 11) {
    markerLetter_ = 3;
    markerDigit_ = id - 7;
  } else {
    markerLetter_ = 4;
    markerDigit_ = id - 11;
  }
}

void TParentSignalLayer::SetStripCell(int stripColumn, int row, bool set) {
  Strip(stripColumn, row) = set ? 1 : 0;
  if (set) {
    DrawPixel(stripColumn - kMarkerStripWidth, row);
  } else {
    ErasePixel(stripColumn - kMarkerStripWidth, row);
  }
}

void TParentSignalLayer::PaintStrip(int fromRow, int toRow, bool set) {
  for (int row = std::max(fromRow, 0); row <= std::min(toRow, MaxY()); ++row) {
    for (int c = 0; c < kMarkerStripWidth; ++c) SetStripCell(c, row, set);
  }
}

void TParentSignalLayer::SetLevelMarker(int row, bool highlight) {
  if (IsXY()) return;
  if (row < kMarkerBelow) row = kMarkerAbove;
  if (row > MaxY()) row = kMarkerBelow;
  if (row == markerRow_ && highlight == markerHighlighted_) return;
  BeginScreenUpdate();
  if (markerRow_ != kNoMarker) {
    int r = markerRow_;
    if (r == kMarkerAbove) r = 4;
    if (r == kMarkerBelow) r = MaxY() - 5;
    PaintStrip(r - 4, r + 5, false);
  }
  markerRow_ = row;
  markerHighlighted_ = highlight;
  if (row != kNoMarker) {
    int base = row + 4;
    TMarkerGlyph arrow = TMarkerGlyph::Right;
    if (row == kMarkerAbove) {
      base = 8;
      arrow = TMarkerGlyph::Up;
    } else if (row == kMarkerBelow) {
      base = MaxY() - 1;
      arrow = TMarkerGlyph::Down;
    }
    if (highlight) PaintStrip(base - 8, base + 1, true);
    std::vector<uint8_t> glyph = MarkerGlyphColumns(static_cast<TMarkerGlyph>(markerLetter_ - 1));
    const auto& digit =
        MarkerGlyphColumns(static_cast<TMarkerGlyph>(int(TMarkerGlyph::Digit1) + markerDigit_ - 1));
    const auto& arrowColumns = MarkerGlyphColumns(arrow);
    glyph.insert(glyph.end(), digit.begin(), digit.end());
    glyph.insert(glyph.end(), arrowColumns.begin(), arrowColumns.end());
    const int start = std::max(0, kMarkerStripWidth - static_cast<int>(glyph.size()));
    for (int b = 0; b < 8; ++b) {
      const int r = base - b;
      if (r < 0 || r > MaxY()) continue;
      for (size_t j = 0; j < glyph.size() && start + static_cast<int>(j) < kMarkerStripWidth; ++j) {
        // A highlighted marker is a lit block with the glyphs cut out.
        if (glyph[j] & (1u << b)) SetStripCell(start + static_cast<int>(j), r, !highlight);
      }
    }
  }
  EndScreenUpdate();
}

void TParentSignalLayer::PaintToBitmap(TMonoBitmap& bitmap, bool withMarker) const {
  std::fill(bitmap.Bits.begin(), bitmap.Bits.end(), 0);
  PaintInner(bitmap, [this](int x, int y) { return Cell(x, y) > 0; });
  if (!withMarker || IsXY()) return;
  for (int y = 0; y <= MaxY(); ++y) {
    for (int c = 0; c < kMarkerStripWidth; ++c) {
      if (StripCell(c, y)) bitmap.Set(c, y);
    }
  }
}

// --- TSimpleSignalLayer ---

void TSimpleSignalLayer::PutSample(int index, double value) { PutDot(*this, index, value); }
void TSimpleSignalLayer::PutSamples(int first, std::span<const double> values) {
  PutDots(*this, first, values);
}

bool TSimpleSignalLayer::CellVacated(int, int, size_t, uint32_t&) { return false; }
void TSimpleSignalLayer::CellOccupied(int, int) {}

// --- TVectorSignalLayer ---

TVectorSignalLayer::TVectorSignalLayer(std::string name, int width, int height, int index, bool isXY)
    : TParentSignalLayer(std::move(name), width, height, index, isXY),
      runs_(static_cast<size_t>(Width()) + 1) {}

void TVectorSignalLayer::BeforeSignal() { prevColumn_ = 0; }

void TVectorSignalLayer::PutSample(int index, double value) {
  if (index < 0 || index >= PointCount()) return;
  PutPoint(index, PointColumns()[index], RowOf(value));
}

void TVectorSignalLayer::PutSamples(int first, std::span<const double> values) {
  ForEachPlacedPoint(*this, first, values,
                     [this](int index, int column, int row) { PutPoint(index, column, row); });
}

void TVectorSignalLayer::PutPoint(int index, int column, int row) {
  if (column < MaxX()) {
    PointHit(column, row);
    PlaceDot(*this, index, column, row);
    if (column != prevColumn_) {
      StartColumn(column, row);
    } else {
      ExtendColumn(column, row);
    }
    lastColumn_ = column;
    lastRow_ = row;
    if (index == PointCount() - 1) StartColumn(column + 1, row);
  } else if (prevColumn_ != 0) {
    // The first point beyond the right edge: the line ends on the edge.
    const double slope = static_cast<double>(row - lastRow_) / (column - lastColumn_);
    const int edgeRow = lastRow_ + RoundClamped(slope * (MaxX() - lastColumn_), -MaxY(), MaxY(), 0);
    StartColumn(MaxX(), std::clamp(edgeRow, 1, MaxY() - 1));
    prevColumn_ = 0;
  }
}

void TVectorSignalLayer::StartColumn(int column, int row) {
  TColumnRun& run = runs_[column];
  run.Entry = run.Exit = run.Max = run.Min = static_cast<uint16_t>(row);
  if (prevColumn_ != 0) ConnectColumns(column);
  prevColumn_ = column;
}

// Without branches: where the trace goes next is no pattern to predict.
static void Widen(uint16_t& min, uint16_t& max, int row) {
  min = static_cast<uint16_t>(std::min<int>(min, row));
  max = static_cast<uint16_t>(std::max<int>(max, row));
}

void TVectorSignalLayer::ExtendColumn(int column, int row) {
  TColumnRun& run = runs_[column];
  run.Exit = static_cast<uint16_t>(row);
  Widen(run.Min, run.Max, row);
}

void TVectorSignalLayer::ConnectColumns(int column) {
  const int prev = prevColumn_;
  if (column == prev) return;
  if (column == prev + 1) {
    // Next columns, the common case: halfway between their rows, halves to even as the
    // rounding below takes them, without a division.
    const int twice = runs_[column].Entry + runs_[prev].Exit;
    const int row = std::clamp((twice >> 1) + (twice & (twice >> 1) & 1), 1, MaxY() - 1);
    Widen(runs_[prev].Min, runs_[prev].Max, row);
    DrawColumnSpan(prev, runs_[prev].Min, runs_[prev].Max);
    Widen(runs_[column].Min, runs_[column].Max, row);
    return;
  }
  const double slope = (runs_[column].Entry - runs_[prev].Exit) / static_cast<double>(column - prev);
  double y = runs_[prev].Exit + slope / 2;
  int row = RoundClampedNonNegative(y, 1, MaxY() - 1, 1);
  Widen(runs_[prev].Min, runs_[prev].Max, row);
  DrawColumnSpan(prev, runs_[prev].Min, runs_[prev].Max);
  for (int k = prev + 1; k < column; ++k) {
    runs_[k].Min = runs_[k].Max = static_cast<uint16_t>(row);
    y += slope;
    row = RoundClampedNonNegative(y, 1, MaxY() - 1, 1);
    Widen(runs_[k].Min, runs_[k].Max, row);
    DrawColumnSpan(k, runs_[k].Min, runs_[k].Max);
  }
  Widen(runs_[column].Min, runs_[column].Max, row);
}

// Only the rows that leave or join the run reach the screen, those that leave first;
// cells holding a point keep their pixel, the others of the run show the line colour.
void TVectorSignalLayer::DrawColumnSpan(int column, int newMin, int newMax) {
  TColumnRun& run = runs_[column];
  const int oldMin = run.DrawnMin;
  const int oldMax = run.DrawnMax;
  run.DrawnMin = static_cast<uint16_t>(newMin);
  run.DrawnMax = static_cast<uint16_t>(newMax);
  if ((oldMin == newMin && oldMax == newMax) || column > MaxX()) return;
  RunPen(column).MoveRun(oldMin, oldMax, newMin, newMax, &CellRef(column, 0), lineColour_);
}

bool TVectorSignalLayer::CellVacated(int x, int y, size_t, uint32_t& colour) {
  colour = lineColour_;
  return LineCell(x, y);
}

void TVectorSignalLayer::CellOccupied(int, int) {}

uint32_t TVectorSignalLayer::PixelColor(int x, int y) const {
  if (x < 0 || Cell(x, y) > 0) return Colour();
  return lineColour_;
}

void TVectorSignalLayer::SetLayerColorAndOpacity(uint32_t colour) {
  if (colour == Colour()) return;
  lineColour_ = DimmedLayerColour(colour, 1.7);
  TParentSignalLayer::SetLayerColorAndOpacity(colour);
}

void TVectorSignalLayer::Show() {
  BeginScreenUpdate();
  TParentSignalLayer::Show();
  // The lines are part of the picture too.
  for (int x = 0; x <= MaxX(); ++x) {
    const TColumnRun& run = runs_[x];
    if (run.DrawnMin == 0) continue;
    for (int y = run.DrawnMin; y <= run.DrawnMax; ++y) {
      if (Cell(x, y) == 0) RefreshPixel(x, y);
    }
  }
  EndScreenUpdate();
}

void TVectorSignalLayer::Hide() {
  BeginScreenUpdate();
  for (int x = 0; x <= MaxX(); ++x) {
    const TColumnRun& run = runs_[x];
    if (run.DrawnMin == 0) continue;
    for (int y = run.DrawnMin; y <= run.DrawnMax; ++y) ErasePixel(x, y);
  }
  TParentSignalLayer::Hide();
  for (TColumnRun& run : runs_) run.DrawnMax = run.DrawnMin = 0;
  EndScreenUpdate();
}

bool TVectorSignalLayer::CellPresent(int x, int y) const {
  if (TParentSignalLayer::CellPresent(x, y)) return true;
  return InPlot(x, y) && LineCell(x, y);
}

void TVectorSignalLayer::PaintToBitmap(TMonoBitmap& bitmap, bool withMarker) const {
  TParentSignalLayer::PaintToBitmap(bitmap, withMarker);
  PaintInner(bitmap, [this](int x, int y) { return LineCell(x, y); });
}

// --- drawing records ---

void DrawSignal(TParentSignalLayer& layer, const TSignalObj& record) {
  const int count = record.GetShownCount();
  layer.SetSignalScale(count, record.GetEffOffset(), record.GetEffScale());
  // A window moved towards the end shows past the last point only beyond the ten
  // divisions; those points do not exist.
  const int available = std::min(count, record.GetRecLen() - record.GetFirstShown());
  std::array<double, 256> values;
  for (int first = 0; first < available; first += static_cast<int>(values.size())) {
    const int n = std::min(available - first, static_cast<int>(values.size()));
    for (int k = 0; k < n; ++k) values[static_cast<size_t>(k)] = record.GetDisplayValue(first + k);
    layer.PutSamples(first, std::span<const double>(values.data(), static_cast<size_t>(n)));
  }
}

void DrawXYSignal(TParentSignalLayer& layer, const TSignalObj& xRecord, const TSignalObj& yRecord) {
  const int xCount = xRecord.GetShownCount();
  const int yCount = yRecord.GetShownCount();
  layer.SetXYScale(yCount, xCount, yRecord.GetEffOffset(), yRecord.GetEffScale(), xRecord.GetEffOffset(),
                   xRecord.GetEffScale());
  const int pairs = std::min(xCount, yCount);
  for (int i = 0; i < pairs; ++i) {
    layer.PutSampleAt(i, yRecord.GetDisplayValue(i), xRecord.GetDisplayValue(i));
  }
}

}  // namespace norv
