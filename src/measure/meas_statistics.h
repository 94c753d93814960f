#pragma once
// Running statistics of a measurement slot (slots 0..3): the framework's TModedStat
// (modes Permanent, Window and Weight) with a 241-cell histogram of the values around their mean, which
// THisticon draws as a small picture (121 columns, up to 14 pixels high) in the slot's line of the bottom
// strip.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "display/scan_lines.h"
#include "framework/util/statistics.h"

namespace norv {

// The picture of a slot's histogram in the bottom strip; draws nothing without a strip.
class THisticon {
 public:
  static constexpr int kHalfColumns = 60;
  static constexpr int kMaxHeight = 14;
  static constexpr int kCaptionWidth = 45;

  void SetSurface(TScanLinesScreen* strip, TColorRef gridColor) {
    Strip = strip;
    GridColor = gridColor;
  }
  // A cell of the strip; the picture's base line lies on its last row.
  void SetRect(TRect rect);
  void SetColor(TColorRef color) { IconColor = color; }
  void SetCaption(const std::string& caption) { Caption = caption; }
  // Hiding marks it not drawn.
  void SetVisible(bool visible);
  // Clears the picture, writes the text in it (none: the bare frame) and draws the base
  // line; the columns start from nothing again.
  void DrawFrame(const std::string& text);
  // Column c (-60..60) to height h (0..14), drawing only the difference.
  void SetColumn(int c, int h);
  int ColumnHeight(int c) const { return ColumnHeights.at(static_cast<size_t>(c + kHalfColumns)); }

  std::string Caption;
  bool Drawn = false;
  bool CaptionShown = false;
  TRect IconRect;
  TColorRef IconColor = 0xFFFFFF;
  std::array<uint8_t, 2 * kHalfColumns + 1> ColumnHeights{};
  int OriginX = 0;
  int BaseY = 0;
  bool Visible = false;
  TScanLinesScreen* Strip = nullptr;
  TColorRef GridColor = 0x808080;

 private:
  void Line(int x0, int y0, int x1, int y1);
};

class TStatH : public TModedStat {
 public:
  static constexpr int kHalfCells = 120;
  // The most a histogram cell counts; it stays there rather than wrapping.
  static constexpr double kCellLimit = 4294967295.0;

  TStatH();

  void Reset() override;
  // n copies of x. In Permanent mode the copies enter at once.
  void Add(uint32_t n, double x) override;
  void AddValue(double x);

  // Mode 0 Permanent, 1 Window, 2 Weight (another: Permanent); the window 8..8192 (128 for
  // Permanent). A change resets the statistics.
  void SetMode(uint8_t mode, int window);
  uint8_t Mode() const { return static_cast<uint8_t>(TModedStat::Mode()); }
  int WindowSize() const { return Size(); }

  // The picture: visibility, its place in the strip line of a slot, caption and colour.
  void SetIconVisible(bool visible);
  void PlaceIcon(int slot);
  void CreateIcon(int slot, const std::string& caption, TColorRef color);
  // Draws the picture as it should be now ("Wait__" until the histogram has started).
  void RedrawIcon();
  THisticon& Icon() { return icon_; }
  const THisticon& Icon() const { return icon_; }

  double LastMean() const { return lastMean_; }
  bool HistStarted() const { return histStarted_; }
  double HistCenter() const { return histCenter_; }
  double HistScale() const { return histScale_; }
  // Cell -120..120.
  double Cell(int c) const { return cells_.at(static_cast<size_t>(c + kHalfCells)); }
  // Height of the tallest cell plus 1e-5.
  double HistMax() const { return histMax_; }
  int MaxCell() const { return maxCell_; }
  int LastCell() const { return lastCell_; }
  int RemovedCell() const { return removedCell_; }
  // The cell a value falls in (before the -120..120 test).
  int CellOf(double v) const;
  int Slot() const { return slot_; }

 private:
  void LeavingWindow(double old) override;
  void StartHistogram();
  void AddToHist(double v);
  void RemoveFromHist(double v);
  int HeightOf(int c) const;
  void DrawColumn(int c);
  void DrawAllColumns();
  double& CellRef(int c) { return cells_[static_cast<size_t>(c + kHalfCells)]; }

  double lastMean_;
  bool histStarted_ = false;
  double histCenter_ = 0;
  double histScale_ = 1;
  std::array<double, 2 * kHalfCells + 1> cells_{};
  int lastCell_ = 0;
  int removedCell_ = 0;
  double histMax_ = 1e-5;
  int maxCell_ = 0;
  THisticon icon_;
  int slot_ = 0;
};

}  // namespace norv
