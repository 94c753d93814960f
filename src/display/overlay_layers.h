#pragma once
// Overlay layers: the lines and rectangles a user reads and drags on a signal screen
// (markers, histogram window, measurement, spectrum, eye and TDR set-ups). Positions come
// in screen units (X 0..4000 across the plot, Y 0..1024 bottom to top) from the features
// that own them; a drag converts the pointer back to units and hands it to the owning
// feature (DisplayHooks), whose setting then moves the line.

#include <array>
#include <cstdint>
#include <string>

#include "display/layers_of_signals.h"
#include "display/screen_layer.h"

namespace norv {

class TMarkerLayer : public TScreenLayer {
 public:
  // YT overlays can be grabbed.
  TMarkerLayer(std::string name, int width, int height, int index, bool isXY);

  uint32_t PixelColor(int x, int y) const override;

  // Unit conversions, each pulling positions one pixel inside the border.
  int UnitsToColumn(double x) const;
  int ColumnToUnits(int x) const;
  int UnitsToRow(double y) const;
  int RowToUnits(int y) const;

  // Marker M1 (true) or M2; also the first-slot flag of the other overlays.
  void SetIsFirst(bool first) { isFirst_ = first; }
  bool IsFirst() const { return isFirst_; }
  void SetLinkedLayer(const TLinkedLayer& link) { linked_ = link; }
  const TLinkedLayer& LinkedLayer() const { return linked_; }

  int Left() const { return left_; }
  int Right() const { return right_; }
  int Top() const { return top_; }
  int Bottom() const { return bottom_; }

 protected:
  // Sets (On) or clears a cell inside the plot; outside positions are skipped.
  void SetCell(int x, int y, bool on);
  // Solid outline of the stored rectangle.
  void Outline(bool on);
  // Erases the stored rectangle (nothing while Left is 0), stores the new one and draws it;
  // nothing when unchanged and not forced.
  void SetRectangle(int left, int top, int right, int bottom, bool force);
  void DottedRowBetween(int row, bool on);
  void DottedRow(int row, bool on);
  void DottedColumn(int column, bool on);
  // Solid column over rows 4..MaxY-5, solid row over columns 4..MaxX-5.
  void MarginColumn(int column, bool on);
  void LevelRow(int row, bool on);
  // Left (false) or right (true) margin for a press at X: the one within 4 pixels, the
  // right one when both are and X lies in the left half.
  bool GrabRightMargin(int x) const;

  int left_ = 0;
  int right_ = 0;
  int top_ = 0;
  int bottom_ = 0;

 private:
  bool isFirst_ = true;
  TLinkedLayer linked_;
};

class THistWindowLayer : public TMarkerLayer {
 public:
  using TMarkerLayer::TMarkerLayer;
  void SetWindow(double leftX, double topY, double rightX, double bottomY);
  void StartDrag(int x, int y) override;
  void DragTo(int x, int y) override;
  bool EdgeGrabbed(int edge) const { return grabbed_[edge]; }

 private:
  std::array<int, 4> offset_{};
  std::array<bool, 4> grabbed_{};
};

class T_X_MarkerLayer : public TMarkerLayer {
 public:
  using TMarkerLayer::TMarkerLayer;
  void SetPosition(double x);
  void DragTo(int x, int y) override;

 protected:
  // Moves the line to column C.
  void MoveColumn(int column);
};

class T_Y_MarkerLayer : public TMarkerLayer {
 public:
  using TMarkerLayer::TMarkerLayer;
  void SetPosition(double y);
  void DragTo(int x, int y) override;
};

// A vertical line through a point of the linked trace with a diagonal cross on it.
class T_XY_MarkerLayer : public T_X_MarkerLayer {
 public:
  using T_X_MarkerLayer::T_X_MarkerLayer;
  // Nothing while the linked trace layer is gone.
  void SetPointIndex(int index);

 private:
  void Cross(bool on);
};

class T_Meas_ParamLayer : public TMarkerLayer {
 public:
  using TMarkerLayer::TMarkerLayer;
  void PaintMeas_Params(double leftX, double topY, double rightX, double baseY, double upperY, double middleY,
                        double lowerY);
  void StartDrag(int x, int y) override;
  void DragTo(int x, int y) override;
  int GrabbedLine() const { return grabbed_; }
  int UpperRow() const { return upper_; }
  int MiddleRow() const { return middle_; }
  int LowerRow() const { return lower_; }

 private:
  void Thresholds(bool on);
  int upper_ = 0;
  int middle_ = 0;
  int lower_ = 0;
  int grabbed_ = 0;
};

class T_FFT_Meas_ParamLayer : public TMarkerLayer {
 public:
  using TMarkerLayer::TMarkerLayer;
  // -1 = not given: a level draws a row, else margins draw two columns, else nothing.
  // Throws EAssertion when both a level and a margin are given.
  void PaintMeas_Params(double levelY, double leftX, double rightX);
  void StartDrag(int x, int y) override;
  void DragTo(int x, int y) override;
  int Mode() const { return mode_; }

 private:
  void Lines(bool on);
  int mode_ = 0;
  int grabbed_ = 0;
};

struct TEyeParams {
  int WindowLeftX = 0, WindowTopY = 0, WindowRightX = 0, WindowBottomY = 0;
  int Level2Y = 0, Level1Y = 0, Line1X = 0, Line2X = 0;
};

class T_Eye_ParamLayer : public TMarkerLayer {
 public:
  T_Eye_ParamLayer(std::string name, int width, int height, int index, bool isXY);
  void PaintEye_Params(const TEyeParams& params);

 private:
  void Lines(bool on);
  int level1_ = 0, level2_ = 0, line1_ = 0, line2_ = 0;
  bool drawn_ = false;
};

class T_TDR_MarginsLayer : public TMarkerLayer {
 public:
  using TMarkerLayer::TMarkerLayer;
  // Left -1: no margins.
  void PaintMargins(double leftX, double rightX);
  void StartDrag(int x, int y) override;
  void DragTo(int x, int y) override;
  bool Shown() const { return shown_; }

 private:
  void Lines(bool on);
  bool shown_ = false;
  bool grabbedRight_ = false;
};

}  // namespace norv
