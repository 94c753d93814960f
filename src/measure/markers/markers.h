#pragma once
// The two markers M1 and M2 under "Mark:": vertical lines at a time (MX), horizontal lines
// at a level (MY) or crosses on the waveform (XY), each on its own source trace. They are
// drawn as overlay layers of the screen control and dragged there, and their readout
// (values, differences, reciprocal, slope and the ratios to a stored reference) goes to
// the bottom strip and answers "Mark:Result".

#include <array>
#include <bitset>
#include <cstdint>
#include <string>

#include "framework/settings/value_text.h"
#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

class TRadioSwHandler;
class TSignalSourceSwHandler;
class TIntEditHandler;
class TOnOffHandler;
class TRightCommandHandler;
class TGpibStringHandler;

// Items of "Mark:Type".
enum TMarkType : uint8_t { mtOff = 0, mtMX = 1, mtMY = 2, mtXY = 3 };
// The side-menu code of the markers among the exclusive analyses.
inline constexpr uint8_t kMarkersMenuCode = 7;

// The readout's view of one marker.
struct TParamOfMarker {
  TTraceId Source = TTraceId::Ch1;
  bool SourceShown = false;
  uint32_t Color = 0;  // 0x00BBGGRR, opaque
  std::string HorUnit;
  std::string VertUnit;
};

struct TParamOfBothMarkers {
  TMarkType MarkType = mtOff;
  std::array<TParamOfMarker, 2> Markers{};
};

// The results of the readout, each the undefined value while cleared.
enum TMarkResult : uint8_t { mrXM1, mrXM2, mrYM1, mrYM2, mrDX, mrDY, mrSlope, mrRefX, mrRefY, mrCount };

// The cells of the readout, whose last texts "Mark:Result" answers.
enum TMarkCell : uint8_t {
  mcXM1,
  mcXM2,
  mcYM1,
  mcYM2,
  mcDX,
  mcInvDX,
  mcDY,
  mcSlope,
  mcRefXPercent,
  mcRefXDegrees,
  mcRefYPercent,
  mcRefYDb,
  mcCount
};

struct TMarkerNodes {
  TSignalSourceSwHandler* Source = nullptr;
  TIntEditHandler* XPos = nullptr;
  TIntEditHandler* YPos = nullptr;
};

// What the markers need from the units above them; each does nothing until filled.
struct TMarkHooks {
  // The TDR excess readout decides its units again (marker type or source changed).
  THook<void()> UpdateTDRMarkerUnits{"MarkHooks.UpdateTDRMarkerUnits"};
  // The TDR excess readout is redrawn (a marker moved).
  THook<void()> ShowTDRExcessLC{"MarkHooks.ShowTDRExcessLC"};
};
extern TMarkHooks MarkHooks;

struct TMarkState {
  TRadioSwHandler* Type = nullptr;
  std::array<TMarkerNodes, 2> Markers{};
  TRadioSwHandler* Motion = nullptr;
  TOnOffHandler* Refer = nullptr;
  TRightCommandHandler* SetRef = nullptr;
  TGpibStringHandler* Result = nullptr;

  std::array<double, mrCount> Values = [] {
    std::array<double, mrCount> values{};
    values.fill(UndefinedValue);
    return values;
  }();
  double RefDX = UndefinedValue;
  double RefDY = UndefinedValue;
  // The texts last given to the strip's cells, and which of them the strip shows now.
  std::array<std::string, mcCount> Texts{};
  std::bitset<mcCount> Drawn;
  bool DifferenceCaptionsDrawn = false;

  // The X position before the change in progress, per marker (for the XY steps).
  std::array<int, 2> OldX{};
  // The distances kept by paired motion, in screen units.
  int PairDX = 2000;
  int PairDY = 300;
  bool Stepping = false;  // inside the XY step of a position change
  bool Dragging = false;  // a drag on the screen is writing a position
};
TMarkState& MarkSettings();
void ResetMarkState();

// --- registration and start-up ---
void RegisterMarkHandlers();
// "Mark:Type" as if it had just changed (after a recall or the default setup).
void ApplyMarkSettings();
// Fills the hooks of the acquisition cycle, the screen's drags, the display settings and
// the markers' switch-off among the exclusive analyses.
void InstallMarkers();

// --- queries ---
TMarkType GetMarkType();
TTraceId MarkerSource(int n);
// The source's time at XPos, its value at YPos, and its shown value at the point under
// XPos.
double MarkerXValue(int n);
double MarkerYValue(int n);
double MarkerYAtX(int n);
// The index in its source's record of the point under marker n's XPos.
int MarkerPointIndex(int n);
// What the marker page binds its position edit of marker n (1 or 2) to, relative to
// "Mark": "M1:YPos" for type MY, else "M1:XPos".
std::string MarkPositionMnemonics(int n);

// --- actions ---
// Creates or moves overlay layer n for the type; "??? Bad marker Number !!!" for n
// outside 1..2.
void ShowMarker(int n);
void RemoveMarkerLayer(int n);
// Every result undefined and the bottom strip cleared (the display was cleared).
void ClearMarkerValues();
// Enables and colours the marker nodes for the type and sources.
void ApplyMarkerType();
// The position controls of markers whose source's scales changed show their texts again.
void RefreshMarkerControls();
// Captions and values of the readout in the bottom strip.
void UpdateMarkerReadout();
// Option XY of "Mark:Type" only while no waveform database is shown.
void UpdateMarkTypeOptions();

}  // namespace norv
