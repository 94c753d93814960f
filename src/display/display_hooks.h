#pragma once
// What the screen needs from the units above it: the settings a drag on the screen writes
// (markers, histogram window, measurement, spectrum and TDR margins), the zoom and view
// shifts of a mouse drag, the acquisition pause around a trace drag, the mask feature the
// mask layers draw and the mask editor the mouse drives, and the pop-up menus of the
// bottom strip. Each hook does nothing (or gives the neutral answer) until its owner
// fills it in at start-up.

#include <string>
#include <utility>
#include <vector>

#include "display/popup_menu.h"
#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

// Lines of the measurement set-up overlay, in the order a press tries them.
enum class TMeasLine : uint8_t { Top, Base, Upper, Middle, Lower, Left, Right };
// Lines of the spectrum measurement overlay.
enum class TFftLine : uint8_t { Level, Left, Right };
// Edges of the histogram window.
enum class TWindowEdge : uint8_t { Left, Right, Top, Bottom };
// What a mask point lies in.
enum class TMaskArea : uint8_t { Outside, Mask, Margin };

struct TDisplayHooks {
  // --- drags of overlay lines (screen units; written by program) ---
  // Marker 1 or 2 moved to X (vertical line) or Y (horizontal line).
  THook<void(int marker, bool vertical, int units)> MarkerDragged{"DisplayHooks.MarkerDragged"};
  // 1 vertical, 2 horizontal histogram axis (0 while no histogram is set up).
  THook<int()> HistAxisKind{"DisplayHooks.HistAxisKind"};
  THook<void(int axis, TWindowEdge edge, int units)> HistWindowEdgeDragged{
      "DisplayHooks.HistWindowEdgeDragged"};
  THook<void(TMeasLine line, int ux, int uy)> MeasLineDragged{"DisplayHooks.MeasLineDragged"};
  // Asked when a measurement margin is grabbed: the crossings are found again.
  THook<void()> MeasMarginGrabbed{"DisplayHooks.MeasMarginGrabbed"};
  THook<void(TFftLine line, int ux, int uy)> FftLineDragged{"DisplayHooks.FftLineDragged"};
  THook<void(bool right, int units)> TdrMarginDragged{"DisplayHooks.TdrMarginDragged"};

  // --- mouse on a signal screen ---
  THook<void(const std::vector<TTraceId>& traces, double left, double width, double bottom, double height)>
      ZoomToRectangle{"DisplayHooks.ZoomToRectangle"};
  THook<void(TTraceId trace, double fx, double fy)> ShiftSignalView{"DisplayHooks.ShiftSignalView"};
  THook<void(bool secondWindow, double fx)> ShiftTimeBaseDelay{"DisplayHooks.ShiftTimeBaseDelay"};
  THook<void()> SuspendAcquisition{"DisplayHooks.SuspendAcquisition"};
  THook<void()> ResumeAcquisition{"DisplayHooks.ResumeAcquisition"};
  THook<void()> BreakAcquisition{"DisplayHooks.BreakAcquisition"};
  // "TB:Mode": 0 A, 1 B, 2 AB.
  THook<int()> TimeBaseMode{"DisplayHooks.TimeBaseMode"};
  // A trace's horizontal zoom scale ("Zoom:" HorScale) and whether its record is a spectrum.
  THook<double(TTraceId)> TraceHorScale{"DisplayHooks.TraceHorScale", [](TTraceId) { return 1.0; }};
  THook<bool(TTraceId)> TraceIsSpectrum{"DisplayHooks.TraceIsSpectrum"};

  // --- mask feature ---
  THook<bool()> MaskLoaded{"DisplayHooks.MaskLoaded"};
  THook<TMaskArea(int maskX, int maskY)> PointInMask{"DisplayHooks.PointInMask"};
  // Centre of polygon 1..8 in screen units; (0, 0) for a missing polygon.
  THook<std::pair<double, double>(int polygon)> MaskPolygonCentre{"DisplayHooks.MaskPolygonCentre"};
  // The current mask's kind (0 none, 1 eye, 2 pulse, 3 automask, 4 user) and name.
  THook<int()> MaskKind{"DisplayHooks.MaskKind"};
  THook<std::string()> MaskName{"DisplayHooks.MaskName"};
  THook<bool()> MaskEditorActive{"DisplayHooks.MaskEditorActive"};
  THook<bool()> MaskEditDrawing{"DisplayHooks.MaskEditDrawing"};    // the editor is drawing a polygon
  THook<bool()> MaskEditDragging{"DisplayHooks.MaskEditDragging"};  // a vertex or polygon is being dragged
  THook<void(int ux, int uy)> MaskEditAddVertexAt{"DisplayHooks.MaskEditAddVertexAt"};
  THook<void(int ux, int uy, int polygon, int vertex)> MaskEditSelectAt{"DisplayHooks.MaskEditSelectAt"};
  THook<void()> MaskEditFinishPolygon{"DisplayHooks.MaskEditFinishPolygon"};
  THook<void(int ux, int uy)> MaskEditDragTo{"DisplayHooks.MaskEditDragTo"};
  THook<void(bool)> MaskEditEndDrag{"DisplayHooks.MaskEditEndDrag"};

  // --- bottom strip ---
  // "Meas:Display": 0 Off, 1 Param, 2 Statistic.
  THook<int()> MeasDisplay{"DisplayHooks.MeasDisplay"};
  THook<int()> MeasParamCount{"DisplayHooks.MeasParamCount"};
  THook<bool()> HisticonsAvailable{"DisplayHooks.HisticonsAvailable"};
  THook<void(int slot)> ToggleHisticon{"DisplayHooks.ToggleHisticon"};
  THook<TPopupMenu(int slot)> BuildMeasPopupMenu{"DisplayHooks.BuildMeasPopupMenu"};
  THook<void(const std::string& item, int slot)> MeasPopupItemClick{"DisplayHooks.MeasPopupItemClick"};
  THook<bool()> EyeMeasureOn{"DisplayHooks.EyeMeasureOn"};
  THook<int()> EyeParamLineCount{"DisplayHooks.EyeParamLineCount"};
  THook<TPopupMenu(int line)> BuildEyeParamPopupMenu{"DisplayHooks.BuildEyeParamPopupMenu"};
  THook<void(const std::string& item, int line)> EyeParamPopupCommand{"DisplayHooks.EyeParamPopupCommand"};
  // "TDR:Mode" is not Off and "TDR:Measure" is on.
  THook<bool()> TdrMeasureOn{"DisplayHooks.TdrMeasureOn"};
  THook<int()> TdrMeasureLineCount{"DisplayHooks.TdrMeasureLineCount"};
  THook<TPopupMenu(int line)> BuildReflectParamPopupMenu{"DisplayHooks.BuildReflectParamPopupMenu"};
  THook<void(const std::string& item, int line)> ReflectParamPopupCommand{
      "DisplayHooks.ReflectParamPopupCommand"};
};

extern TDisplayHooks DisplayHooks;

}  // namespace norv
