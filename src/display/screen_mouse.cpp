#include "display/screen_mouse.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "display/signal_screen.h"
#include "framework/util/numeric_utils.h"

namespace norv {

TScreenMouse::TScreenMouse(TScopeCRT& crt, TSignalScreen& screen) : crt_(crt), screen_(screen) {}

int TScreenMouse::XUnits(int x) const {
  return RoundClamped(static_cast<double>(x) / (screen_.Width() - 22) * kScreenUnitsX, -(1 << 20), 1 << 20,
                      0);
}

int TScreenMouse::YUnits(int y) const {
  return RoundClamped((1.0 - static_cast<double>(y) / (screen_.Height() - 1)) * kScreenUnitsY, -(1 << 20),
                      1 << 20, 0);
}

bool TScreenMouse::Clamp(int& x, int& y) const {
  if (screen_.Width() < 3 || screen_.Height() < 3) return false;
  if (x >= screen_.Width() - 1) x = screen_.Width() - 2;
  y = std::clamp(y, 1, screen_.Height() - 2);
  x -= kMarkerStripWidth;
  return true;
}

void TScreenMouse::ForgetLayers() { dragLayer_ = nullptr; }

TScreenLayer* TScreenMouse::LayerUnder(int x, int y) const {
  for (int radius = 0; radius <= 3; ++radius) {
    for (int index = 0; index < TSignalScreen::kLayerSlots - 1; ++index) {
      if (TScreenLayer* layer = screen_.HitLayer(index, radius, y, x)) return layer;
    }
  }
  return nullptr;
}

void TScreenMouse::ClearTraceHighlight() {
  if (highlighted_ != kNoHighlight) {
    if (auto* trace = dynamic_cast<TParentSignalLayer*>(screen_.LayerObject(highlighted_))) {
      trace->SetLevelMarker(trace->MarkerRow(), false);
    }
  }
  highlighted_ = kNoHighlight;
}

void TScreenMouse::ChooseDragMode(TTraceId signal, int x) {
  const int id = TraceIndex(signal);
  const int hit = screen_.XWindowHit(x, 5);
  const bool windowDrag = x >= 0 && (signal == TTraceId::Ch1 || signal == TTraceId::Ch2) &&
                          DisplayHooks.TimeBaseMode() == 2 && hit > 0;
  verticalDragAllowed_ = !windowDrag;
  dragMode_ = TDragMode::Vertical;
  dragLeftLimit_ = dragRightLimit_ = -1;
  if (x < 0) return;
  const int plot = screen_.Width() - 22;
  const TSignalScreen::TXWindow& w1 = screen_.XWindow(1);
  const TSignalScreen::TXWindow& w2 = screen_.XWindow(2);
  if (id <= 3) {
    if (windowDrag) {
      dragMode_ = TDragMode::Windows;
      dragSecondWindow_ = hit == 2;
      if (w2.On) {
        dragRightLimit_ = plot - w2.End - 1;
        dragLeftLimit_ = dragSecondWindow_ ? w2.Start - w1.Start : w1.Start - 1;
      } else {
        dragRightLimit_ = plot - w1.End - 1;
        dragLeftLimit_ = w1.Start - 1;
      }
    } else if (DisplayHooks.TimeBaseMode() == 1) {
      dragMode_ = TDragMode::Free;
    }
    return;
  }
  const double limit = DisplayHooks.TraceIsSpectrum(signal) ? 0.45 : 0.9;
  if (DisplayHooks.TraceHorScale(signal) < limit) dragMode_ = TDragMode::Free;
}

void TScreenMouse::PaintWindows() {
  const int plot = screen_.Width() - 22;
  const auto window = [&](const TSignalScreen::TXWindow& w) {
    const int first = std::max(w.Start, 1) + kMarkerStripWidth;
    const int last = std::min(w.End, plot - 1) + kMarkerStripWidth;
    for (int x = first; x <= last; ++x) {
      for (int y = 1; y <= screen_.Height() - 2; ++y) dragImage_->Set(x, y);
    }
  };
  if (dragSecondWindow_) {
    window(screen_.XWindow(2));
  } else {
    window(screen_.XWindow(1));
    if (screen_.XWindow(2).On) window(screen_.XWindow(2));
  }
}

void TScreenMouse::MouseDown(TMouseButton button, TShiftState shift, int xPixel, int yPixel) {
  if (screen_.IsXYScreen()) return;
  int x = xPixel;
  int y = yPixel;
  if (!Clamp(x, y)) return;
  (void)button;

  if (zoomArmed_) {
    cursor_ = TScreenCursor::Default;
    crt_.DeleteZoomFrame(true);
    if (shift.LeftOnly() && insideZoomFrame_) {
      const double left = XUnits(std::min(downX_, upX_));
      const double right = XUnits(std::max(downX_, upX_));
      const double top = YUnits(std::min(downY_, upY_));
      const double bottom = YUnits(std::max(downY_, upY_));
      DisplayHooks.ZoomToRectangle(crt_.ZoomableTracesOn(crt_.ScreenNumber(&screen_)), left / kScreenUnitsX,
                                   (right - left) / kScreenUnitsX, bottom / kScreenUnitsY,
                                   (top - bottom) / kScreenUnitsY);
    }
    return;
  }
  downX_ = x;
  downY_ = y;

  if (DisplayHooks.MaskEditorActive()) {
    TMaskEditLayer* edit = crt_.MaskEditLayer();
    if (shift.LeftOnly() && edit != nullptr && edit->GetScreen() == &screen_) {
      const int ux = edit->ColumnToUnits(x);
      const int uy = edit->RowToUnits(y);
      if (DisplayHooks.MaskEditDrawing()) {
        DisplayHooks.MaskEditAddVertexAt(ux, uy);
      } else if (screen_.HitLayer(kMaskEditLayerIndex, 3, y, x) != nullptr) {
        dragLayer_ = edit;
        edit->StartDrag(x, y);
        int vertex = -1;
        const int polygon = edit->HitVertex(x, y, vertex);
        DisplayHooks.MaskEditSelectAt(ux, uy, polygon, vertex);
      } else {
        DisplayHooks.MaskEditSelectAt(ux, uy, -1, -1);
      }
    } else if (shift.RightOnly()) {
      DisplayHooks.MaskEditFinishPolygon();
    }
    return;
  }

  TScreenLayer* layer = LayerUnder(x, y);
  if (layer == nullptr) {
    if (shift.LeftOnly() && x >= 1) bandPending_ = true;
    return;
  }
  auto* trace = dynamic_cast<TParentSignalLayer*>(layer);
  if (x < 0 && (trace == nullptr || highlighted_ == kNoHighlight)) return;
  dragLayer_ = layer;
  layer->StartDrag(x, y);
  if (!shift.LeftOnly() || trace == nullptr) return;

  DisplayHooks.SuspendAcquisition();
  dragSignal_ = trace->GetTraceId();
  dragImage_ = std::make_unique<TMonoBitmap>();
  dragImage_->Resize(screen_.Width(), screen_.Height());
  ChooseDragMode(dragSignal_, x);
  if (dragMode_ == TDragMode::Windows) {
    PaintWindows();
  } else {
    trace->PaintToBitmap(*dragImage_, dragMode_ == TDragMode::Vertical);
  }
  dragX_ = x;
  dragY_ = y;
  dragDX_ = dragDY_ = 0;
}

void TScreenMouse::MouseMove(TShiftState shift, int xPixel, int yPixel) {
  if (screen_.IsXYScreen()) return;
  int x = xPixel;
  int y = yPixel;
  if (!Clamp(x, y)) return;
  if (shift.LeftOnly()) {
    TMaskEditLayer* edit = crt_.MaskEditLayer();
    if (DisplayHooks.MaskEditDragging() && edit != nullptr) {
      DisplayHooks.MaskEditDragTo(edit->ColumnToUnits(x), edit->RowToUnits(y));
    } else if (dragLayer_ != nullptr && !dragImage_) {
      dragLayer_->DragTo(x, y);
    } else if (dragImage_) {
      if (dragMode_ == TDragMode::Vertical) x = downX_;
      if (!verticalDragAllowed_) y = downY_;
      if (dragRightLimit_ >= 0) x = std::min(x, downX_ + dragRightLimit_);
      if (dragLeftLimit_ >= 0) x = std::max(x, downX_ - dragLeftLimit_);
      if (x != dragX_ || y != dragY_) {
        dragX_ = x;
        dragY_ = y;
        dragDX_ = x - downX_;
        dragDY_ = y - downY_;
      }
    } else if (bandPending_) {
      if (std::abs(x - downX_) > 10 && std::abs(y - downY_) > 10) {
        crt_.GetZoomFrameLayer(&screen_)->SetFrame(downX_, downY_, x, y);
      } else {
        crt_.DeleteZoomFrame(false);
      }
    }
    return;
  }
  if (!shift.NoButton()) return;
  if (zoomArmed_) {
    const TFrameLayer* frame = crt_.ZoomFrameLayer();
    insideZoomFrame_ = frame != nullptr && frame->FrameLeft() <= x && x <= frame->FrameRight() &&
                       frame->FrameTop() <= y && y <= frame->FrameBottom();
    cursor_ = insideZoomFrame_ ? TScreenCursor::ZoomIn : TScreenCursor::NotAllowed;
  }
  if (DisplayHooks.MaskEditorActive()) {
    TMaskEditLayer* edit = crt_.MaskEditLayer();
    if (DisplayHooks.MaskEditDrawing() && edit != nullptr) {
      DisplayHooks.MaskEditDragTo(edit->ColumnToUnits(x), edit->RowToUnits(y));
    }
    return;
  }
  if (x >= 0) {
    ClearTraceHighlight();
    return;
  }
  TParentSignalLayer* found = nullptr;
  for (int radius = 0; radius <= 3 && found == nullptr; ++radius) {
    for (int index = 0; index < TSignalScreen::kLayerSlots - 1 && found == nullptr; ++index) {
      found = dynamic_cast<TParentSignalLayer*>(screen_.HitLayer(index, radius, y, x));
    }
  }
  if (found == nullptr) {
    ClearTraceHighlight();
    return;
  }
  if (found->Index() == highlighted_) return;
  ClearTraceHighlight();
  found->SetLevelMarker(found->MarkerRow(), true);
  highlighted_ = found->Index();
}

void TScreenMouse::MouseUp(TMouseButton, TShiftState, int xPixel, int yPixel) {
  DisplayHooks.MaskEditEndDrag(false);
  if (screen_.IsXYScreen()) return;
  int x = xPixel;
  int y = yPixel;
  if (!Clamp(x, y)) return;
  upX_ = x;
  upY_ = y;
  dragLayer_ = nullptr;
  bandPending_ = false;
  if (zoomArmed_) cursor_ = TScreenCursor::ZoomIn;
  if (!dragImage_) return;
  dragImage_.reset();
  const double fx = XUnits(dragDX_) / kScreenUnitsX;
  const double fy = (YUnits(dragDY_) - YUnits(0)) / kScreenUnitsY;
  if (dragMode_ == TDragMode::Windows) {
    DisplayHooks.ShiftTimeBaseDelay(dragSecondWindow_, fx);
  } else {
    DisplayHooks.ShiftSignalView(dragSignal_, fx, fy);
  }
  DisplayHooks.ResumeAcquisition();
}

}  // namespace norv
