#pragma once
// Trace layers: a record's points mapped to columns and rows, a count of points per cell
// (a pixel goes only when its last point leaves), and the trace's level marker in the
// strip left of the plot. Dots show the current points; vectors also join successive
// points with one vertical run per column. Traces are redrawn incrementally: only cells
// whose content changes reach the screen.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "display/display_math.h"
#include "display/screen_layer.h"
#include "display/signal_screen.h"
#include "framework/traces/trace_names.h"

namespace norv {

inline constexpr int kMaxRecordPoints = 4096;

// A one-bit picture (the ghost of a dragged trace), 1 = white.
struct TMonoBitmap {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Bits;
  void Resize(int width, int height) {
    Width = width;
    Height = height;
    Bits.assign(static_cast<size_t>(width) * height, 0);
  }
  void Set(int x, int y) {
    if (x >= 0 && y >= 0 && x < Width && y < Height) Bits[static_cast<size_t>(y) * Width + x] = 1;
  }
  bool At(int x, int y) const { return Bits[static_cast<size_t>(y) * Width + x] != 0; }
};

// Level-marker rows: the row of the signal's zero, or one of these.
inline constexpr int kNoMarker = -1;
inline constexpr int kMarkerAbove = -2;
inline constexpr int kMarkerBelow = -3;

class TParentSignalLayer : public TScreenLayer {
 public:
  TParentSignalLayer(std::string name, int width, int height, int index, bool isXY);

  // Once per record on YT layers, before its points. Counts above 4096 are taken as 4096.
  void SetSignalScale(int pointCount, double offset, double unitsPerDiv);
  // Once per pass on the XY layer.
  void SetXYScale(int pointCount, int secondPointCount, double offset, double unitsPerDiv, double xOffset,
                  double xUnitsPerDiv);
  // One point of a YT record; indexes at or beyond the point count are ignored.
  virtual void PutSample(int index, double value);
  // Points First, First + 1, ... of a YT record: the same as PutSample for each in turn.
  virtual void PutSamples(int first, std::span<const double> values) = 0;
  // One (X, Y) pair on the XY layer.
  virtual void PutSampleAt(int index, double y, double x);
  // White on black: the layer's cells at (column + 21, row), with the marker strip.
  virtual void PaintToBitmap(TMonoBitmap& bitmap, bool withMarker) const;

  // Ch1..S2 give the marker's letter and digit; other ids keep them.
  void SetTraceId(TTraceId id);
  TTraceId GetTraceId() const { return traceId_; }
  int MarkerLetter() const { return markerLetter_; }
  int MarkerDigit() const { return markerDigit_; }
  // Row of the signal's zero (rows beyond the plot count as above or below it), or one
  // of kNoMarker, kMarkerAbove, kMarkerBelow.
  void SetLevelMarker(int row, bool highlight);
  int MarkerRow() const { return markerRow_; }
  bool MarkerHighlighted() const { return markerHighlighted_; }
  bool StripCell(int stripColumn, int row) const;

  int PointCount() const { return pointCount_; }
  double Offset() const { return offset_; }
  double Scale() const { return scale_; }
  // (column, row) of a point; row 0 = not drawn.
  std::pair<int, int> GetPointCell(int index) const;
  int PointColumn(int index) const { return pointColumn_[index]; }

  void Show() override;
  void Hide() override;
  uint32_t PixelColor(int x, int y) const override;
  bool CellPresent(int x, int y) const override;

 protected:
  // A cell that holds a point shows Colour() (PixelColor overrides keep to that). When
  // the last point leaves one, CellVacated tells whether it still shows, and then its
  // PixelColor.
  virtual bool CellVacated(int x, int y, size_t cellIndex, uint32_t& colour) = 0;
  virtual void CellOccupied(int x, int y) = 0;
  virtual void PointHit(int, int) {}
  virtual void GeometryChanged(bool xyMapping);
  virtual void BeforeSignal();

  bool StripHit(int radius, int x, int y) const override;
  int RowOf(double value) const {
    return RoundClampedNonNegative(centreRow_ - (value - offset_) * scale_, 1, MaxY() - 1, MaxY() - 1);
  }
  // The per-point work below calls the cell hooks through Layer: a final class's own
  // PutSample passes itself, so that they are called directly, without a virtual call.
  // Moves one point's dot; OldRow 0 = it was not drawn.
  template <typename Layer>
  void MovePoint(Layer& layer, int oldX, int oldRow, int newX, int newRow) {
    TColumnPen* pen = nullptr;
    if (oldRow != 0) {
      const size_t cell = CellIndex(oldX, oldRow);
      uint16_t& count = CellAt(cell);
      if (count == 0) ThrowCountOverflow(false);
      if (--count == 0) {
        uint32_t colour = 0;
        const bool shows = layer.CellVacated(oldX, oldRow, cell, colour);
        pen = &PointPen(oldX);
        if (shows) {
          pen->Show(oldRow, colour);
        } else {
          pen->Erase(oldRow);
        }
      }
    }
    uint16_t& count = CellRef(newX, newRow);
    if (count >= 65534) ThrowCountOverflow(true);
    if (++count == 1) {
      // A YT point stays in its column: the pen just used is aimed there.
      if (pen == nullptr || oldX != newX) pen = &PointPen(newX);
      pen->Show(newRow, Colour());
      layer.CellOccupied(newX, newRow);
    }
  }
  // Puts point Index of a YT record at Row in its column (already known to be inside).
  template <typename Layer>
  void PlaceDot(Layer& layer, int index, int column, int row) {
    const int old = pointRow_[index];
    pointRow_[index] = static_cast<uint16_t>(row);
    if (old != row) MovePoint(layer, column, old, column, row);
  }
  // PutSample of a YT layer that shows dots alone.
  template <typename Layer>
  void PutDot(Layer& layer, int index, double value) {
    if (index < 0 || index >= pointCount_) return;
    const int column = pointColumn_[index];
    if (column >= MaxX()) return;
    const int row = RowOf(value);
    layer.PointHit(column, row);
    PlaceDot(layer, index, column, row);
  }
  // Calls Put(index, column, row) for the points of PutSamples that lie inside the record,
  // in order. The cells a record changes lie all over buffers larger than the caches: in
  // short runs, the rows are found first and the cells the run's points leave and enter
  // are asked for from memory (Layer::PrefetchCell), so that the run's misses overlap.
  template <typename Layer, typename Put>
  void ForEachPlacedPoint(Layer& layer, int first, std::span<const double> values, Put&& put) {
    constexpr int kRun = 32;
    const int begin = std::max(first, 0);
    const int end = static_cast<int>(
        std::min<int64_t>(int64_t{first} + static_cast<int64_t>(values.size()), pointCount_));
    std::array<int, kRun> rows;
    for (int start = begin; start < end; start += kRun) {
      const int count = std::min(kRun, end - start);
      for (int k = 0; k < count; ++k) {
        const int i = start + k;
        const int column = pointColumn_[i];
        const int row = RowOf(values[static_cast<size_t>(i - first)]);
        rows[static_cast<size_t>(k)] = row;
        if (column >= MaxX() || row == pointRow_[i]) continue;
        layer.PrefetchCell(column, row);
        if (pointRow_[i] != 0) layer.PrefetchCell(column, pointRow_[i]);
      }
      for (int k = 0; k < count; ++k) put(start + k, pointColumn_[start + k], rows[static_cast<size_t>(k)]);
    }
  }
  // PutSamples of a YT layer that shows dots alone.
  template <typename Layer>
  void PutDots(Layer& layer, int first, std::span<const double> values) {
    ForEachPlacedPoint(layer, first, values, [&](int index, int column, int row) {
      if (column >= MaxX()) return;
      layer.PointHit(column, row);
      PlaceDot(layer, index, column, row);
    });
  }
  const std::vector<uint16_t>& PointColumns() const { return pointColumn_; }
  int PointRow(int index) const { return pointRow_[index]; }
  // Sets the bitmap pixel of every inner plot cell for which Lit(x, y) holds.
  template <typename Lit>
  void PaintInner(TMonoBitmap& bitmap, Lit&& lit) const {
    const int left = IsXY() ? 0 : kMarkerStripWidth;
    for (int x = 1; x < MaxX(); ++x) {
      for (int y = 1; y < MaxY(); ++y) {
        if (lit(x, y)) bitmap.Set(x + left, y);
      }
    }
  }

 private:
  [[noreturn]] static void ThrowCountOverflow(bool up);
  void RebuildColumns();
  void PaintStrip(int fromRow, int toRow, bool set);
  void SetStripCell(int stripColumn, int row, bool set);
  uint8_t& Strip(int stripColumn, int row) {
    return strip_[static_cast<size_t>(row) * kMarkerStripWidth + stripColumn];
  }

  const double centreRow_ = CentreRow();
  std::vector<uint8_t> strip_;  // YT layers: [row][strip column]
  int pointCount_ = 0;
  double offset_ = 0;
  double scale_ = 0;
  std::vector<uint16_t> pointRow_;
  std::vector<uint16_t> pointColumn_;
  int secondPointCount_ = 0;
  double xOffset_ = 0;
  double xScale_ = 0;
  std::vector<uint16_t> pointXColumn_;
  TTraceId traceId_ = TTraceId::Ch1;
  int markerLetter_ = 1;
  int markerDigit_ = 1;
  bool markerHighlighted_ = false;
  int markerRow_ = kNoMarker;
};

// Display style Dots.
class TSimpleSignalLayer final : public TParentSignalLayer {
 public:
  using TParentSignalLayer::TParentSignalLayer;
  void PutSample(int index, double value) override;
  void PutSamples(int first, std::span<const double> values) override;
  bool SameColourEverywhere() const override { return true; }

 protected:
  friend class TParentSignalLayer;
  bool CellVacated(int x, int y, size_t cellIndex, uint32_t& colour) override;
  void CellOccupied(int x, int y) override;
};

// Display style Vectors: lines in a dimmer colour join the points.
class TVectorSignalLayer final : public TParentSignalLayer {
 public:
  TVectorSignalLayer(std::string name, int width, int height, int index, bool isXY);

  void PutSample(int index, double value) override;
  void PutSamples(int first, std::span<const double> values) override;
  void SetLayerColorAndOpacity(uint32_t colour) override;
  uint32_t PixelColor(int x, int y) const override;
  void Show() override;
  void Hide() override;
  void PaintToBitmap(TMonoBitmap& bitmap, bool withMarker) const override;
  bool CellPresent(int x, int y) const override;
  bool LineCell(int x, int y) const {
    const TColumnRun& run = runs_[x];
    return run.DrawnMin != 0 && run.DrawnMin <= y && y <= run.DrawnMax;
  }
  uint32_t LineColour() const { return lineColour_; }

 protected:
  friend class TParentSignalLayer;
  bool CellVacated(int x, int y, size_t cellIndex, uint32_t& colour) override;
  void CellOccupied(int x, int y) override;
  void BeforeSignal() override;

 private:
  struct TColumnRun {
    uint16_t Entry = 0;
    uint16_t Exit = 0;
    uint16_t Max = 0;
    uint16_t Min = 0;
    // The column's line cells: rows DrawnMin..DrawnMax (DrawnMin 0 = none).
    uint16_t DrawnMax = 0;
    uint16_t DrawnMin = 0;
  };
  // PutSample with the point's place found.
  void PutPoint(int index, int column, int row);
  void StartColumn(int column, int row);
  void ExtendColumn(int column, int row);
  void ConnectColumns(int column);
  void DrawColumnSpan(int column, int newMin, int newMax);

  uint32_t lineColour_ = 0;
  std::vector<TColumnRun> runs_;
  int prevColumn_ = 0;  // 0 = no chain
  // The last point put into this layer (each trace keeps its own).
  int lastColumn_ = 0;
  int lastRow_ = 0;
};

class TSignalObj;

// A record's shown points into a YT trace layer: its scale, then every point.
void DrawSignal(TParentSignalLayer& layer, const TSignalObj& record);
// The pairs (point i of XRecord, point i of YRecord) into the XY layer, as many as the
// shorter record shows.
void DrawXYSignal(TParentSignalLayer& layer, const TSignalObj& xRecord, const TSignalObj& yRecord);

// The built-in level-marker glyphs: columns left to right, bit b lights the pixel b rows
// above the base row.
enum class TMarkerGlyph { C, F, M, S, Digit1, Digit2, Digit3, Digit4, Right, Up, Down };
const std::vector<uint8_t>& MarkerGlyphColumns(TMarkerGlyph glyph);

}  // namespace norv
