#include "measure/meas_slots.h"

#include <algorithm>

#include "framework/language/language.h"
#include "framework/traces/display_sources.h"
#include "instrument/record/signal_obj.h"
#include "measure/meas_state.h"

namespace norv {

namespace {

using U = TMeasUnit;

// clang-format off
constexpr TMeasEntry kCatalogue[kMeasCatalogueSize] = {
    {0, 0, "Period", U::Horizontal, 1},        {0, 1, "Frequency", U::Hz, 1},
    {0, 2, "PosWidth", U::Horizontal, 1},      {0, 3, "NegWidth", U::Horizontal, 1},
    {0, 4, "RiseTime", U::Horizontal, 1},      {0, 5, "FallTime", U::Horizontal, 1},
    {0, 6, "PosDutyCycle", U::Percent, 2},     {0, 7, "NegDutyCycle", U::Percent, 2},
    {0, 8, "PosCrossing", U::Horizontal, 1},   {0, 9, "NegCrossing", U::Horizontal, 1},
    {0, 10, "BurstWidth", U::Horizontal, 1},   {0, 11, "Cycles", U::None, 1},
    {0, 12, "Time_Maximum", U::Horizontal, 1}, {0, 13, "Time_Minimum", U::Horizontal, 1},
    {0, 14, "PosJitterPp", U::Horizontal, 1},  {0, 15, "PosJitterRMS", U::Horizontal, 1},
    {0, 16, "NegJitterPp", U::Horizontal, 1},  {0, 17, "NegJitterRMS", U::Horizontal, 1},
    {1, 0, "FFT_Freq", U::Hz, 1},              {1, 1, "FFT_dFreq", U::Hz, 1},
    {2, 0, "Delay1R1R", U::Horizontal, 0},     {2, 1, "Delay1R1F", U::Horizontal, 0},
    {2, 2, "Delay1F1R", U::Horizontal, 0},     {2, 3, "Delay1F1F", U::Horizontal, 0},
    {2, 4, "Delay1RnR", U::Horizontal, 0},     {2, 5, "Delay1RnF", U::Horizontal, 0},
    {2, 6, "Delay1FnR", U::Horizontal, 0},     {2, 7, "Delay1FnF", U::Horizontal, 0},
    {2, 8, "PhaseDeg", U::Degree, 0},          {2, 9, "PhaseRad", U::Rad, 0},
    {2, 10, "PhasePerc", U::Percent, 0},
    {3, 0, "Maximum", U::Vertical, 0},         {3, 1, "Minimum", U::Vertical, 0},
    {3, 2, "PeakPeak", U::Vertical, 1},        {3, 3, "Top", U::Vertical, 0},
    {3, 4, "Base", U::Vertical, 0},            {3, 5, "Amplitude", U::Vertical, 1},
    {3, 6, "Middle", U::Vertical, 0},          {3, 7, "Mean", U::Vertical, 0},
    {3, 8, "dcRMS", U::Vertical, 1},           {3, 9, "acRMS", U::Vertical, 1},
    {3, 10, "Area", U::VerticalHorizontal, 0}, {3, 11, "CycleMean", U::Vertical, 0},
    {3, 12, "CycleDcRMS", U::Vertical, 0},     {3, 13, "CycleAcRMS", U::Vertical, 1},
    {3, 14, "CycleArea", U::VerticalHorizontal, 1},
    {3, 15, "PosOvershoot", U::Percent, 0},    {3, 16, "NegOvershoot", U::Percent, 1},
    {4, 0, "FFT_Magnit", U::Vertical, 1},      {4, 1, "FFT_dMagnit", U::Vertical, 0},
    {4, 2, "THD", U::Percent, 1},
    {5, 0, "Gain", U::None, 1},                {5, 1, "Gain_dB", U::DB, 0},
};
// clang-format on

const TSignalObj& RecordOf(TTraceId id) { return SignalObjs()[id]; }

}  // namespace

std::span<const TMeasEntry> MeasCatalogue() { return kCatalogue; }

const TMeasEntry* FindMeasEntry(uint8_t group, uint8_t index) {
  for (const TMeasEntry& e : kCatalogue) {
    if (e.Group == group && e.Index == index) return &e;
  }
  return nullptr;
}

TParameterOfMeas::TParameterOfMeas(TTraceId source, uint8_t index, uint8_t group, TTraceId source2)
    : Group(group), Source(source), Index(index), Source2(source2) {}

std::optional<std::string> MeasName(const TParameterOfMeas& slot) {
  const TMeasEntry* e = FindMeasEntry(slot.Group, slot.Index);
  if (!e) return std::nullopt;
  return GetLangStr(e->Key);
}

std::string MeasCaption(const TParameterOfMeas& slot) {
  const std::string name = MeasName(slot).value_or("");
  const std::string& source = TraceNames[static_cast<size_t>(slot.Source)];
  const std::string& source2 = TraceNames[static_cast<size_t>(slot.Source2)];
  if (slot.Group == mgDualX) return name + "  " + source + "-" + source2;
  if (slot.Group == mgDualY) return name + "  " + source2 + " / " + source;
  return name + " (" + source + ")";
}

std::string MeasUnitText(const TParameterOfMeas& slot) {
  const TMeasEntry* e = FindMeasEntry(slot.Group, slot.Index);
  if (!e) return "";
  const TSignalObj& rec = RecordOf(slot.Source);
  switch (e->Unit) {
    case U::Horizontal:
      return rec.GetHorUnit();
    case U::Hz:
      return "Hz";
    case U::Percent:
      return "%";
    case U::None:
      return "";
    case U::DB:
      return "dB";
    case U::Degree:
      return "\u00B0";
    case U::Rad:
      return "rad";
    case U::Vertical:
      return rec.GetVertUnitTextFull();
    case U::VerticalHorizontal:
      return rec.GetVertUnitTextFull() + rec.GetHorUnit();
  }
  return "";
}

uint8_t MeasRangeKind(const TParameterOfMeas& slot) {
  const TMeasEntry* e = FindMeasEntry(slot.Group, slot.Index);
  return e ? e->RangeKind : 0;
}

void SetMeasResult(TParameterOfMeas& slot, int slotNumber, const std::string& unitText, double value) {
  slot.Value = value;
  slot.UnitText = unitText;
  if (slotNumber >= kMeasStatSlotCount) return;
  if (!slot.Statistics) CreateMeasStatistics(slot, slotNumber);
  if (value > UndefinedValue) slot.Statistics->Add(1, value);
}

void CreateMeasStatistics(TParameterOfMeas& slot, int slotNumber) {
  slot.Statistics = std::make_unique<TStatH>();
  TStatH& st = *slot.Statistics;
  st.SetName(MeasCaption(slot));
  ApplyStatMode(slot);
  st.CreateIcon(slotNumber, MeasCaption(slot), GetDisplaySourceRGB(slot.Source));
  MeasHooks.AttachHisticon(st.Icon());
  st.SetIconVisible(slot.HisticonVisible && MeasState.Global.Display == mdStatistic);
}

void ApplyStatMode(TParameterOfMeas& slot) {
  if (!slot.Statistics) return;
  const TMeasGlobalSettings& g = MeasState.Global;
  const uint8_t mode = std::min<uint8_t>(g.StatMode, 2);
  const int depth = mode == 1 ? g.Window : std::min(g.Weight, 65535);
  slot.Statistics->SetMode(mode, depth);
}

void SetHisticonVisible(TParameterOfMeas& slot, bool visible) { slot.HisticonVisible = visible ? 1 : 0; }
void SetMeasResultValid(TParameterOfMeas& slot, bool valid) { slot.ResultsValid = valid ? 1 : 0; }
void SetLimitMark(TParameterOfMeas& slot, uint8_t mark) { slot.LimitMark = mark; }

void ResetMeasStatistics() {
  bool jitter = false;
  for (int n = 0; n < MeasState.MeasParamCount; ++n) {
    const TParameterOfMeas* p = MeasSlot(n);
    jitter = jitter || (p && p->Group == mgTime && p->Index >= tmPosJitterPp);
  }
  if (jitter) {
    ClearJitterHistogram();
  }
  for (int n = 0; n < kMeasStatSlotCount; ++n) {
    TParameterOfMeas* p = MeasSlot(n);
    if (!p) continue;
    p->ResultsValid = 0;
    if (p->Statistics) p->Statistics->Reset();
  }
}

}  // namespace norv
