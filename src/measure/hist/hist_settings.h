#pragma once
// The histogram feature under "Hist:": a displayed trace is accumulated into FullHist
// after every acquisition inside a window of the screen (per axis, vertical for the
// amplitude distribution, horizontal for the time distribution); the bars go to the
// histogram layer of the trace's screen, the window to an overlay, and fifteen statistics
// to the bottom strip, whose texts also answer "Hist:Res". Choosing an axis switches the
// histogram on and the other analyses off.

#include <array>
#include <cstdint>
#include <string>

#include "framework/traces/trace_names.h"

namespace norv {

class TRadioSwHandler;
class TOnOffHandler;
class TSignalSourceSwHandler;
class TIntEditHandler;
class TGpibStringHandler;

// "Hist:Axis" items.
enum class THistAxis : uint8_t { Off, Vert, Horiz };

struct THistWindowNodes {
  TIntEditHandler* Top = nullptr;
  TIntEditHandler* Bottom = nullptr;
  TIntEditHandler* Left = nullptr;
  TIntEditHandler* Right = nullptr;
};

// The fifteen statistics cells, in the order of HistCells (hist_settings.cpp).
inline constexpr int kHistCellCount = 15;

struct THistSettingsState {
  TRadioSwHandler* Axis = nullptr;
  TSignalSourceSwHandler* Source = nullptr;
  TOnOffHandler* Visible = nullptr;
  TRadioSwHandler* RunUntil = nullptr;
  TIntEditHandler* NWfm = nullptr;
  TIntEditHandler* NSample = nullptr;
  TRadioSwHandler* Limits = nullptr;
  THistWindowNodes WVert, WHor;
  TRadioSwHandler* Units = nullptr;
  TOnOffHandler* Display = nullptr;
  TRadioSwHandler* Mode = nullptr;
  TIntEditHandler* Weight = nullptr;
  TRadioSwHandler* ScaleType = nullptr;
  TRadioSwHandler* ScaleMode = nullptr;
  TIntEditHandler *VertScale = nullptr, *VertOffset = nullptr, *VertDBScale = nullptr, *VertDBOffs = nullptr;
  TIntEditHandler *HorScale = nullptr, *HorOffset = nullptr, *HorDBScale = nullptr, *HorDBOffs = nullptr;
  TGpibStringHandler* Data = nullptr;
  TGpibStringHandler* Res = nullptr;

  // Window width and height remembered per axis (vertical, horizontal).
  std::array<int, 2> Width{4000, 2000};
  std::array<int, 2> Height{1022, 16};
  // The value texts of the statistics cells as last written.
  std::array<std::string, kHistCellCount> Values{};
};
THistSettingsState& HistSettings();
void ResetHistSettingsState();

void RegisterHistHandlers();
// After a recall or the default setup: the axis and the mode brought to effect.
void ApplyHistSettings();
// Fills the hooks of the acquisition cycle, the link, the screen and the display settings,
// and the histogram's switch-off among the exclusive analyses.
void InstallHistSettings();

// The pass: with newData the source's new waveform is accumulated first (unless a
// run-until limit is reached).
void UpdateHistogram(bool newData);
// Feeds the trace's record (0..13) into FullHist.
void AccumulateSignalIntoHist(TTraceId source);
TTraceId HistSourceIndex();
// 2 for Horiz, 1 otherwise.
int HistAxisKind();
bool HistAxisOn();
// The window-edge nodes show their texts again (they depend on the source's scales).
void RefreshHistWindowControls(int axis);
// The Hist trace goes to the screens of its source.
void CopySourceStyleToHistTrace();

}  // namespace norv
