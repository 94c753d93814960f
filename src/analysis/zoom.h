#pragma once
// The view of every derived and stored trace (F1..F4, M1..M4, S1, S2): vertical scale and
// position, horizontal magnification and first shown point, and for spectra the complex
// view, dB view and suppression. The settings live under "Zoom:" + trace name, are copied
// into the record's display fields before each drawing, and change by the zoom page, by
// a rectangle dragged on the screen and by dragging a trace. Channels zoom and pan through
// their own channel and time-base settings.

#include <array>
#include <string>
#include <vector>

#include "framework/traces/trace_names.h"

namespace norv {

class TCheckSwHandler;
class TDoubleEditHandler;
class THandler;
class TIntEditHandler;
class TRadioSwHandler;
class TSignalSourceSwHandler;

// Traces 4..13 have zoom settings.
inline constexpr int kZoomTraceCount = 10;
constexpr bool IsZoomTrace(TTraceId id) { return id >= TTraceId::F1 && id <= TTraceId::S2; }

struct TZoomNodes {
  TRadioSwHandler* ComplexScale = nullptr;
  TCheckSwHandler* Suppress = nullptr;  // bit 0 DC, bit 1 Phase
  TDoubleEditHandler* SupprLevel = nullptr;
  TRadioSwHandler* VScaleType = nullptr;  // Linear, Logaritm
  TDoubleEditHandler* VertScale = nullptr;
  TDoubleEditHandler* VertDBScale = nullptr;
  TDoubleEditHandler* Offset = nullptr;  // divisions of the record's volts per division
  TDoubleEditHandler* OffsInDB = nullptr;
  TDoubleEditHandler* OffsPhase = nullptr;
  TDoubleEditHandler* PhaseScale = nullptr;  // multiples of 45 degrees per division
  TDoubleEditHandler* HorScale = nullptr;    // shown fraction of the record
  TIntEditHandler* HorPosition = nullptr;    // first shown point
};

struct TZoomState {
  TSignalSourceSwHandler* ZoomSource = nullptr;
  std::array<TZoomNodes, kZoomTraceCount> Traces{};
  // F1..F4 whose definition changed since their record was computed: the record does not
  // tell yet whether the function is a spectrum.
  std::array<bool, 4> FunctionAwaitsRecord{};
};
TZoomState& ZoomSettings();
void ResetZoomState();

// The nodes of a zoom trace (EAssertion for any other).
TZoomNodes& ZoomNodes(TTraceId trace);
TTraceId ZoomSourceTrace();

void RegisterZoomHandlers();
// Copies the settings of a zoom trace into its record's display fields.
void ApplyZoomToRecord(TTraceId trace);
// After a function or spectrum is computed: a spectrum shows at most half of its bins.
void ApplyDerivedSignalZoom(TTraceId trace);
// A function's definition changed: until the functions are computed again (one may take
// another as its argument) no record tells whether they are spectra, so their horizontal
// scales take the whole range, and a recall keeps the scale its setup holds.
void OpenFunctionZoomsUntilComputed();
// The points shown on the ten visible divisions, plus one.
int LimitHorizontalZoom(TTraceId trace);
void UpdateHorPositionLimit(TTraceId trace);
void ResetZoomForSource(TTraceId trace);
// The apply pass: every zoom trace's controls and position limit.
void ResetAllZooms();
// A channel source gives the neutral view; otherwise every setting is copied.
void CopyZoomSettings(TTraceId dst, TTraceId src);
void UpdateZoomControls(TTraceId trace);
void UpdateZoomScaleEnabling(TTraceId trace);
// After an acquisition: the zoom source's texts follow a change of its record's scales.
void RefreshZoomControls();
// A rectangle drawn on a screen (fractions of the screen) fills the screen: the time base
// and the channels in it, and the view of each zoom trace in it; a function calculated on
// the channels' time axis follows the zoomed channels and keeps its view.
void ZoomToRectangle(const std::vector<TTraceId>& traces, double left, double width, double bottom,
                     double height);
// A trace dragged by (dx, dy) fractions of the screen.
void ShiftSignalView(TTraceId trace, double dx, double dy);
// The trace whose zoom node this is ("UNKNOWN Handler" otherwise).
TTraceId FindZoomSource(const THandler& node);
// The settings that present a zoom trace, as one comparable text.
std::string ZoomPresentation(TTraceId trace);

// Fills the hooks by which the screen, the acquisition, the derived traces and the
// memories reach the zoom.
void InstallZoom();

}  // namespace norv
