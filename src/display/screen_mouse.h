#pragma once
// The mouse on a signal screen: a press finds the layer under the pointer and starts an
// overlay drag, a trace drag (a ghost of the trace follows the pointer; on release the
// trace's view moves), a drag of the delayed-sweep windows, or a rubber band that becomes
// a zoom frame; a press inside an armed zoom frame zooms the traces of the screen. With
// the mask editor open, presses add, select and drag vertexes. Positions are screen
// pixels; the window side passes them in and shows the ghost and the cursor.

#include <cstdint>
#include <memory>

#include "display/bottom_text.h"
#include "display/signal_layers.h"

namespace norv {

class TScopeCRT;
class TSignalScreen;

// Buttons held and modifier keys at a mouse event.
struct TShiftState {
  bool Left = false;
  bool Right = false;
  bool Middle = false;
  bool Modifier = false;  // shift, control or alt
  bool LeftOnly() const { return Left && !Right && !Middle && !Modifier; }
  bool RightOnly() const { return Right && !Left && !Middle && !Modifier; }
  bool NoButton() const { return !Left && !Right && !Middle; }
};

enum class TScreenCursor : uint8_t { Default, ZoomIn, NotAllowed };

// Drag modes of a trace drag.
enum class TDragMode : uint8_t { Vertical, Free, Windows };

class TScreenMouse {
 public:
  static constexpr int kNoHighlight = 255;

  TScreenMouse(TScopeCRT& crt, TSignalScreen& screen);

  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

  // Screen units of a layer column / a pixel row, as the mouse code converts them.
  int XUnits(int x) const;
  int YUnits(int y) const;

  bool ZoomArmed() const { return zoomArmed_; }
  void SetZoomArmed(bool armed) { zoomArmed_ = armed; }
  void CancelRubberBand() { bandPending_ = false; }
  bool BandPending() const { return bandPending_; }
  bool InsideZoomFrame() const { return insideZoomFrame_; }
  TScreenCursor Cursor() const { return cursor_; }

  // The ghost of a trace or window drag, to be shown inverted at (DragDX, DragDY); nullptr
  // while none runs.
  const TMonoBitmap* DragImage() const { return dragImage_.get(); }
  int DragDX() const { return dragDX_; }
  int DragDY() const { return dragDY_; }
  TDragMode DragMode() const { return dragMode_; }
  bool VerticalDragAllowed() const { return verticalDragAllowed_; }
  TScreenLayer* DragLayer() const { return dragLayer_; }
  int HighlightedLayer() const { return highlighted_; }
  void ClearTraceHighlight();
  // The screen's layers change (a layer is freed): no reference to one is kept.
  void ForgetLayers();

 private:
  // The first grabbable layer within 0..3 pixels (index order per radius), or nullptr.
  TScreenLayer* LayerUnder(int x, int y) const;
  void ChooseDragMode(TTraceId signal, int x);
  void PaintWindows();
  bool Clamp(int& x, int& y) const;

  TScopeCRT& crt_;
  TSignalScreen& screen_;
  int downX_ = 0, downY_ = 0;
  int upX_ = 0, upY_ = 0;
  TScreenLayer* dragLayer_ = nullptr;
  bool bandPending_ = false;
  bool zoomArmed_ = false;
  bool insideZoomFrame_ = false;
  std::unique_ptr<TMonoBitmap> dragImage_;
  int dragX_ = 0, dragY_ = 0, dragDX_ = 0, dragDY_ = 0;
  TTraceId dragSignal_ = TTraceId::Ch1;
  TDragMode dragMode_ = TDragMode::Vertical;
  bool verticalDragAllowed_ = true;
  int dragLeftLimit_ = -1, dragRightLimit_ = -1;
  bool dragSecondWindow_ = false;
  int highlighted_ = kNoHighlight;
  TScreenCursor cursor_ = TScreenCursor::Default;
};

}  // namespace norv
