#include "measure/meas_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "framework/text/text_encoding.h"
#include "framework/traces/display_sources.h"
#include "framework/util/errors.h"
#include "framework/util/numeric_utils.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/link/link_hooks.h"
#include "instrument/startup/dispatchers.h"
#include "measure/meas_frame.h"
#include "measure/meas_routines.h"
#include "measure/meas_state.h"
#include "shell/shell_state.h"

namespace norv {

TMeasSettingsHooks MeasSettingsHooks;

namespace {

TMeasSettingsState State;
const TProgramUnit StateUnit("measurement settings", [] { State = {}; });
const TProgramUnit HooksUnit("measurement settings hooks", [] { MeasSettingsHooks = {}; });

constexpr const char* kSourceList = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";
constexpr int kMeasurePage = 8;
// The items of the check sets by group (their index is the measurement index).
constexpr std::array<const char*, 6> kSetKeys = {"XParam", "XFFTPar", "XDualPar",
                                                 "YParam", "YFFTPar", "YDualPar"};
constexpr std::array<const char*, 6> kSetItems = {
    "Period,Freq,PosWidth,NegWidth,Rise,Fall,PosDuty,NegDuty,PosCross,NegCross,BurstWidth,Cycles,TimeOfMax,"
    "TimeOfMin,PosJitterPp,PosJitterRMS,NegJitterPp,NegJitterRMS",
    "Freq,DFreq",
    "Del1R1R,Del1R1F,Del1F1R,Del1F1F,Del1RnR,Del1RnF,Del1FnR,Del1FnF,PhaseDeg,PhaseRad,PhasePerc",
    "Max,Min,PP,Top,Base,Ampl,Middle,Mean,dcRMS,acRMS,Area,CycMean,CycDcRMS,CycAcRMS,CycArea,PosOver,NegOver",
    "Magn,DMagn,TDH",
    "Gain,DBGain"};
constexpr std::array<const char*, 3> kThreshKeys = {"UpThresh", "MidThresh", "LowThresh"};
constexpr std::array<const char*, 3> kPercentKeys = {"UpThPerc", "MidThPerc", "LowThPerc"};

TTraceId Source(int i) { return static_cast<TTraceId>(i); }
bool HasSpectrumNodes(int i) { return i >= TraceIndex(TTraceId::F1); }
bool HasDualNodes(int i) { return i <= TraceIndex(TTraceId::M4); }
bool IsJitter(uint8_t group, uint8_t index) { return group == mgTime && index >= tmPosJitterPp; }
uint8_t Display() { return GetIndex(State.Display); }
bool Statistic() { return Display() == mdStatistic; }
TSignalObj& Record(TTraceId id) { return SignalObjs()[id]; }
TTraceId DisplSrc() { return State.DisplSrc ? State.DisplSrc->GetSource() : TTraceId::Ch1; }

uint32_t ExcludedAboveS2() {
  uint32_t mask = 0;
  for (int id = kSignalObjCount; id < kTraceIdCount; ++id) mask |= 1u << id;
  return mask;
}

// A record without a time step has no time to show: its markers read as screen X.
bool HasTimeAxis(const TSignalObj& rec) { return rec.GetDX() != 0 && rec.GetShownCount() > 1; }

std::string EngText(double value) { return FloatToEngStr(vfEngineering, 4, false, value, false); }

TMeasSourceSettings& Settings(int i) { return MeasState.Settings.at(static_cast<size_t>(i)); }
TMeasFrame& Frame(int i) { return MeasState.Frames.at(static_cast<size_t>(i)); }

// --- the engine's copy of the settings ---

void SyncGlobal() {
  TMeasGlobalSettings& g = MeasState.Global;
  g.Display = Display();
  g.DisplSrc = DisplSrc();
  g.View = IsOn(State.View);
  g.Mode = GetIndex(State.Mode);
  g.StatMode = GetIndex(State.StatMode);
  g.Window = GetIntValue(State.Window);
  g.Weight = GetIntValue(State.Weight);
}

void SyncSource(int i) {
  const TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  TMeasSourceSettings& s = Settings(i);
  s.Method = GetIndex(n.Method);
  s.Top = GetIntValue(n.Top);
  s.Base = GetIntValue(n.Base);
  s.Thresh = GetIndex(n.Thresh);
  s.Unit = GetIndex(n.Unit);
  s.UpThresh = GetIntValue(n.Thresholds[0]);
  s.MidThresh = GetIntValue(n.Thresholds[1]);
  s.LowThresh = GetIntValue(n.Thresholds[2]);
  s.UpThPerc = GetFloatValue(n.Percents[0]);
  s.MidThPerc = GetFloatValue(n.Percents[1]);
  s.LowThPerc = GetFloatValue(n.Percents[2]);
  s.MargMode = GetIndex(n.MargMode);
  s.LeftSlope = GetIntValue(n.LeftSlope);
  s.RightSlope = GetIntValue(n.RightSlope);
  s.LeftTresh = GetIndex(n.LeftTresh);
  s.RightTresh = GetIndex(n.RightTresh);
  s.LeftMarker = GetIntValue(n.LeftMarker);
  s.RightMarker = GetIntValue(n.RightMarker);
  if (n.FFTMethod) {
    s.FFTMethod = GetIndex(n.FFTMethod);
    s.FFTLeft = GetIntValue(n.FFTLeft);
    s.FFTRight = GetIntValue(n.FFTRight);
    s.PeakLevel = GetFloatValue(n.PeakLevel);
    s.PeakLeft = GetIntValue(n.PeakLeft);
    s.PeakRight = GetIntValue(n.PeakRight);
  }
  if (n.Source2) s.Source2 = n.Source2->GetSource();
}

// --- the screen ---

TNizText* Strip() { return ScopeCRT ? &ScopeCRT->BottomText() : nullptr; }

void RemoveOverlays() {
  if (!ScopeCRT) return;
  ScopeCRT->DeleteMarkerLayer(1);
  ScopeCRT->DeleteMarkerLayer(2);
}

void RefreshSetupLayer(TTraceId source) {
  if (!ScopeCRT || !IsOn(State.View) || Display() == mdOff || source != DisplSrc() ||
      !MeasHooks.SourceShown(source))
    return;
  const TSignalObj& rec = Record(source);
  const TMeasFrame& f = Frame(TraceIndex(source));
  const TMeasSourceSettings& s = Settings(TraceIndex(source));
  if (rec.IsSpectrum()) {
    T_FFT_Meas_ParamLayer* layer = ScopeCRT->CreateFFTMeasParamLayer(source);
    if (!layer) return;
    if (s.FFTMethod == fmPeak) {
      const double level = rec.IsLogView() ? s.PeakLevel : std::pow(10.0, s.PeakLevel / 20);
      layer->PaintMeas_Params(rec.ValueToScreenY(level), -1, -1);
    } else {
      layer->PaintMeas_Params(-1, s.FFTLeft, s.FFTRight);
    }
    return;
  }
  if (f.LevelsInvalid) return;
  T_Meas_ParamLayer* layer = ScopeCRT->CreateMeasParamLayer(source);
  if (!layer) return;
  layer->PaintMeas_Params(rec.ShownIndexToScreenX(f.LeftMargin), rec.ValueToScreenY(f.Top),
                          rec.ShownIndexToScreenX(f.RightMargin), rec.ValueToScreenY(f.Base),
                          rec.ValueToScreenY(f.UpThresh), rec.ValueToScreenY(f.MidThresh),
                          rec.ValueToScreenY(f.LowThresh));
}

// --- enables ---

void SetDisabled(THandler* h, bool disabled) {
  if (h) h->SetDisabled(disabled);
}

void UpdateSourceEnables(int i) {
  const TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  const bool on = Display() != mdOff && MeasHooks.SourceShown(Source(i));
  const bool spectrum = Record(Source(i)).IsSpectrum();
  const bool wave = on && !spectrum, spectral = on && spectrum;
  const bool marker = GetIndex(n.Method) == tbMarker, custom = GetIndex(n.Thresh) == thCustom;
  const bool percent = GetIndex(n.Unit) == tuPercent, slope = GetIndex(n.MargMode) == mmSlope;
  SetDisabled(n.Method, !wave);
  SetDisabled(n.Top, !(wave && marker));
  SetDisabled(n.Base, !(wave && marker));
  SetDisabled(n.Thresh, !wave);
  SetDisabled(n.Unit, !(wave && custom));
  for (THandler* h : n.Thresholds) SetDisabled(h, !(wave && custom && !percent));
  for (THandler* h : n.Percents) SetDisabled(h, !(wave && custom && percent));
  SetDisabled(n.MargMode, !wave);
  SetDisabled(n.LeftSlope, !(wave && slope));
  SetDisabled(n.RightSlope, !(wave && slope));
  SetDisabled(n.LeftTresh, !(wave && slope));
  SetDisabled(n.RightTresh, !(wave && slope));
  SetDisabled(n.LeftMarker, !(wave && !slope));
  SetDisabled(n.RightMarker, !(wave && !slope));
  const bool peak = GetIndex(n.FFTMethod) == fmPeak;
  SetDisabled(n.FFTMethod, !spectral);
  SetDisabled(n.FFTLeft, !(spectral && !peak));
  SetDisabled(n.FFTRight, !(spectral && !peak));
  SetDisabled(n.PeakLevel, !(spectral && peak));
  SetDisabled(n.PeakLeft, !spectral);
  SetDisabled(n.PeakRight, !spectral);
  SetDisabled(n.Source2, !wave);
  for (int g = 0; g < 6; ++g)
    SetDisabled(n.Sets[static_cast<size_t>(g)], IsSpectrumGroup(g) ? !spectral : !wave);
}

void UpdateAllSourceEnables() {
  for (int i = 0; i < kSignalObjCount; ++i) UpdateSourceEnables(i);
}

void UpdateGlobalEnables() {
  const bool off = Display() == mdOff;
  SetDisabled(State.View, off);
  SetDisabled(State.Mode, off);
  SetDisabled(State.SingleMeas, off || GetIndex(State.Mode) != mmSingle);
  SetDisabled(State.StatMode, !Statistic());
  SetDisabled(State.Window, !(Statistic() && GetIndex(State.StatMode) == 1));
  SetDisabled(State.Weight, !(Statistic() && GetIndex(State.StatMode) == 2));
}

void ApplyStatModeToSlots() {
  for (int n = 0; n < kMeasStatSlotCount; ++n)
    if (TParameterOfMeas* p = MeasSlot(n)) ApplyStatMode(*p);
}

// A trace was switched on or off.
void SignalsChanged() { UpdateAllSourceEnables(); }

// The labels stand on screens whose traces have just changed.
void ClearAnnotationsOfShownMeasurements(TTraceId) {
  if (Display() != mdOff) ClearAllAnnotations();
}

// The texts of the source's level, threshold and margin nodes follow its new scales.
void RefreshLevelControls(TTraceId source) {
  const int i = TraceIndex(source);
  if (i < 0 || i >= kSignalObjCount) return;
  const TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  const std::array<THandler*, 9> shown = {n.Top,           n.Base,          n.Thresholds[0],
                                          n.Thresholds[1], n.Thresholds[2], n.LeftMarker,
                                          n.RightMarker,   n.FFTLeft,       n.FFTRight};
  for (THandler* h : shown)
    if (h) h->NotifySwitchers();
}

// --- the global nodes ---

void OnDisplayChange(THandler&) {
  SyncGlobal();
  ClearAllAnnotations();
  ResetHisticons();
  MeasSettingsHooks.PageToFirst();
  if (Statistic()) {
    for (int n = MeasState.MeasParamCount - 1; n >= kMeasStatSlotCount; --n) UncheckSlot(n);
  }
  if (Display() != mdOff) SwitchOffOtherAnalyses(kMeasurePage);
  for (int n = 0; n < kMeasStatSlotCount; ++n) {
    if (TParameterOfMeas* p = MeasSlot(n); p && p->Statistics)
      p->Statistics->SetIconVisible(Statistic() && p->HisticonVisible);
  }
  ShowMeasurementLines();
  RemoveOverlays();
  MeasState.NewDataForAll = true;
  if (Display() == mdOff) ResetMeasStatistics();
  if (State.DisplSrc) State.DisplSrc->NotifySwitchers();
  UpdateGlobalEnables();
  UpdateAllSourceEnables();
  if (!Statistic()) MeasSettingsHooks.SwitchOffLimitTests();
}

void OnDisplSrcChange(THandler&) {
  SyncGlobal();
  RemoveOverlays();
}

void OnViewChange(THandler&) {
  SyncGlobal();
  RemoveOverlays();
}

void OnModeChange(THandler&) {
  SyncGlobal();
  UpdateGlobalEnables();
}

void OnStatModeChange(THandler&) {
  SyncGlobal();
  UpdateGlobalEnables();
  ApplyStatModeToSlots();
}

// --- per-source nodes ---

TEditGetText LevelText(int i) {
  return [i](const TEditHandler&, std::string& text, double code) {
    const TSignalObj& rec = Record(Source(i));
    text = EngText(rec.ScreenYToValue(code)) + rec.GetVertUnitTextFull();
  };
}

TEditGetText ThresholdText(int i) {
  return [i](const TEditHandler& h, std::string& text, double code) {
    if (GetIndex(State.Sources[static_cast<size_t>(i)].Unit) == tuDivision) {
      text = FloatToEngStr(vfGeneral, 4, false, (code - 512) / 1024 * 8, false) + GetLangStr("div");
    } else {
      LevelText(i)(h, text, code);
    }
  };
}

// Commands and controls enter a level as its value (volts, or divisions for a threshold
// shown in divisions), a marker as its time; setups and undo carry the codes.
TEditBeforeSet LevelEntry(int i, bool threshold) {
  return [i, threshold](double& value, TEditHandler&) {
    if (threshold && GetIndex(State.Sources[static_cast<size_t>(i)].Unit) == tuDivision) {
      value = value / 8 * 1024 + 512;
    } else {
      value = Record(Source(i)).ValueToScreenY(value);
    }
  };
}

TEditBeforeSet MarkerTimeEntry(int i) {
  return [i](double& value, TEditHandler&) {
    const TSignalObj& rec = Record(Source(i));
    if (HasTimeAxis(rec)) value = std::clamp(rec.IndexToScreenX(rec.XToIndex(value)), -1e6, 1e6);
  };
}

TEditGetText SlopeText() {
  return [](const TEditHandler&, std::string& text, double value) {
    const int n = static_cast<int>(value);
    text = GetLangStr(n % 2 == 0 ? "Rising" : "Falling") + "  " + std::to_string(n / 2 + 1);
  };
}

TEditGetText MarkerTimeText(int i) {
  return [i](const TEditHandler&, std::string& text, double x) {
    const TSignalObj& rec = Record(Source(i));
    text = HasTimeAxis(rec) ? EngText(rec.ScreenXToX(x)) + rec.GetHorUnit() : std::to_string(std::lround(x));
  };
}

// Keeps two edits one step apart: the lower one's maximum and the upper one's minimum.
void KeepOrder(TEditHandler* low, TEditHandler* high, double step) {
  if (!low || !high) return;
  low->SetMax(high->GetValue() - step);
  high->SetMin(low->GetValue() + step);
}

// The three thresholds keep Up > Mid > Low by one step as the limits of each, so that every
// way in (typed, Min/Mid/Max, the arrows, a command, a setup, an undo) holds it. A hair
// less than a step: a value on the 0.1 grid may lie that much beyond the limit it was set to.
template <class Handler>
void KeepThresholdOrder(const std::array<Handler*, 3>& chain, double step) {
  KeepOrder(chain[1], chain[0], step * (1 - 1e-9));
  KeepOrder(chain[2], chain[1], step * (1 - 1e-9));
}

// Sets the three thresholds so that none is held back by a neighbour still to move: the
// rising ones from the top down, then the falling ones from the bottom up.
template <class Handler, class Value>
void SetThresholdsByProgram(const std::array<Handler*, 3>& chain, const std::array<Value, 3>& values) {
  for (size_t k = 0; k < 3; ++k)
    if (values[k] > chain[k]->GetValue()) chain[k]->SetValueByProgram(values[k]);
  for (size_t k = 3; k-- > 0;)
    if (values[k] < chain[k]->GetValue()) chain[k]->SetValueByProgram(values[k]);
}

// The right peak follows the left one up; the left one keeps its whole range, so that a
// script may raise both in either order.
void KeepPeaksApart(TMeasSourceNodes& n) { n.PeakRight->SetMin(n.PeakLeft->GetValue() + 1); }

void MarkChanged(int i, bool TMeasFrame::*flag) { Frame(i).*flag = true; }

THandlerEvent SourceChange(int i, bool TMeasFrame::*flag = nullptr) {
  return [i, flag](THandler&) {
    SyncSource(i);
    if (flag) MarkChanged(i, flag);
  };
}

int Code(double v) { return static_cast<int>(std::lround(std::clamp(v, -1e6, 1e6))); }

// The top and base in use become the "Top" and "Base" codes.
void TopBaseToControls(int i) {
  TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  if (!Frame(i).LevelsInvalid) {
    const TSignalObj& rec = Record(Source(i));
    n.Top->SetMin(2);
    n.Base->SetMax(1022);
    n.Top->SetValueByProgram(std::clamp(Code(rec.ValueToScreenY(Frame(i).Top)), 2, 1023));
    n.Base->SetValueByProgram(std::clamp(Code(rec.ValueToScreenY(Frame(i).Base)), 1, n.Top->Value() - 1));
    KeepOrder(n.Base, n.Top, 1);
  }
}

void OnMethodChange(int i) {
  if (GetIndex(State.Sources[static_cast<size_t>(i)].Method) == tbMarker) TopBaseToControls(i);
  SyncSource(i);
  MarkChanged(i, &TMeasFrame::TopBaseChanged);
  UpdateSourceEnables(i);
}

// The thresholds in use become the custom ones, in both forms.
void ThresholdsToControls(int i) {
  TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  const TMeasFrame& f = Frame(i);
  if (!f.LevelsInvalid) {
    const TSignalObj& rec = Record(Source(i));
    const std::array<double, 3> levels = {f.UpThresh, f.MidThresh, f.LowThresh};
    std::array<int, 3> codes{};
    std::array<double, 3> percents{};
    const double span = f.Top - f.Base;
    for (size_t k = 0; k < 3; ++k) {
      codes[k] = Code(rec.ValueToScreenY(levels[k]));
      percents[k] = span != 0 ? (levels[k] - f.Base) / span * 100 : 0;
    }
    SetThresholdsByProgram(n.Thresholds, codes);
    if (span != 0) SetThresholdsByProgram(n.Percents, percents);
  }
}

void OnThreshChange(int i) {
  if (GetIndex(State.Sources[static_cast<size_t>(i)].Thresh) == thCustom) ThresholdsToControls(i);
  SyncSource(i);
  MarkChanged(i, &TMeasFrame::ThresholdsChanged);
  UpdateSourceEnables(i);
}

void OnMargModeChange(int i) {
  TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  const TMeasFrame& f = Frame(i);
  if (!f.LevelsInvalid && !Record(Source(i)).IsSpectrum()) {
    if (GetIndex(n.MargMode) == mmMarker) {
      const TSignalObj& rec = Record(Source(i));
      n.LeftMarker->SetMax(3999);
      n.RightMarker->SetMin(1);
      n.LeftMarker->SetValueByProgram(std::clamp(Code(rec.ShownIndexToScreenX(f.LeftMargin)), 0, 3999));
      n.RightMarker->SetValueByProgram(
          std::clamp(Code(rec.ShownIndexToScreenX(f.RightMargin)), n.LeftMarker->Value() + 1, 4000));
      KeepOrder(n.LeftMarker, n.RightMarker, 1);
    } else {
      const int left = std::min(NearestCrossingIndex(f, f.LeftMargin, true), 126);
      const int right = std::max(NearestCrossingIndex(f, f.RightMargin, false), left + 1);
      n.LeftSlope->SetMax(126);
      n.RightSlope->SetMin(1);
      n.LeftSlope->SetValueByProgram(left);
      n.RightSlope->SetValueByProgram(std::min(right, 127));
      KeepOrder(n.LeftSlope, n.RightSlope, 1);
    }
  }
  SyncSource(i);
  MarkChanged(i, &TMeasFrame::MarginsChanged);
  UpdateSourceEnables(i);
}

int FindSlot(TTraceId source, uint8_t group, uint8_t index);  // the slot list, below

void OnCheckSetChange(int i, uint8_t group, THandler& h) {
  const auto& set = static_cast<TCheckSwHandler&>(h);
  if (set.GetLastState()) {
    AddMeasParameter(Source(i), group, set.GetLastButton());
  } else if (ForceNotify && FindSlot(Source(i), group, set.GetLastButton()) < 0) {
    // A forced notification (a setup recalled whole) repeats buttons that are off already.
    return;
  } else {
    RemoveMeasParameter(Source(i), group, set.GetLastButton());
  }
  ShowMeasurementLines();
  MeasState.NewDataForAll = true;
}

void RegisterSource(int i) {
  const std::string p = "Meas:" + MeasSourceName(Source(i)) + ":";
  const auto path = [&p](const char* key) { return p + key; };
  TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  TSpider& tree = *RootSpider;
  const auto colour = static_cast<uint8_t>(i);
  n.Method =
      tree.AddRadioSw(tbHist, path("Method"), "Hist,MinMax,Marker", [i](THandler&) { OnMethodChange(i); });
  const auto topBase = [i](THandler&) {
    TMeasSourceNodes& s = State.Sources[static_cast<size_t>(i)];
    KeepOrder(s.Base, s.Top, 1);
    SyncSource(i);
    MarkChanged(i, &TMeasFrame::TopBaseChanged);
  };
  n.Top = tree.AddIntEdit({.Path = path("Top"),
                           .Value = 768,
                           .ColourSource = colour,
                           .Min = 2,
                           .Mid = 512,
                           .Max = 1023,
                           .CoarseRule = srLinear,
                           .CoarseStep = 1,
                           .OnChange = topBase,
                           .OnGetText = LevelText(i),
                           .OnBeforeSet = LevelEntry(i, false)});
  n.Base = tree.AddIntEdit({.Path = path("Base"),
                            .Value = 256,
                            .ColourSource = colour,
                            .Min = 1,
                            .Mid = 512,
                            .Max = 1022,
                            .CoarseRule = srLinear,
                            .CoarseStep = 1,
                            .OnChange = topBase,
                            .OnGetText = LevelText(i),
                            .OnBeforeSet = LevelEntry(i, false)});
  n.Thresh =
      tree.AddRadioSw(th10_90, path("Thresh"), "10-90,20-80,Custom", [i](THandler&) { OnThreshChange(i); });
  n.Unit = tree.AddRadioSw(tuPercent, path("Unit"), "Percent,Volt,Division", [i](THandler&) {
    SyncSource(i);
    UpdateSourceEnables(i);
    for (THandler* h : State.Sources[static_cast<size_t>(i)].Thresholds) h->NotifySwitchers();
  });
  const auto thresholds = [i](THandler&) {
    TMeasSourceNodes& s = State.Sources[static_cast<size_t>(i)];
    KeepThresholdOrder(s.Thresholds, 1);
    KeepThresholdOrder(s.Percents, 0.1);
    SyncSource(i);
    MarkChanged(i, &TMeasFrame::ThresholdsChanged);
  };
  constexpr std::array<int, 3> kCodes = {683, 512, 341};
  constexpr std::array<double, 3> kPercents = {80, 50, 20};
  for (size_t k = 0; k < 3; ++k) {
    n.Thresholds[k] = tree.AddIntEdit({.Path = path(kThreshKeys[k]),
                                       .Value = kCodes[k],
                                       .ColourSource = colour,
                                       .Min = 5 - static_cast<double>(k),
                                       .Mid = 512,
                                       .Max = 1022 - static_cast<double>(k),
                                       .CoarseRule = srLinear,
                                       .CoarseStep = 1,
                                       .OnChange = thresholds,
                                       .OnGetText = ThresholdText(i),
                                       .OnBeforeSet = LevelEntry(i, true)});
  }
  for (size_t k = 0; k < 3; ++k) {
    n.Percents[k] = tree.AddDoubleEdit({.Path = path(kPercentKeys[k]),
                                        .Value = kPercents[k],
                                        .Unit = "%",
                                        .FormatMode = vfGeneral,
                                        .Digits = 4,
                                        .ColourSource = colour,
                                        .Min = -100 + 0.1 * static_cast<double>(2 - k),
                                        .Mid = 50,
                                        .Max = 200 - 0.1 * static_cast<double>(k),
                                        .CoarseRule = srLinear,
                                        .CoarseStep = 0.1,
                                        .Tolerance = 0.1,
                                        .OnChange = thresholds});
  }
  KeepThresholdOrder(n.Thresholds, 1);
  KeepThresholdOrder(n.Percents, 0.1);
  n.MargMode =
      tree.AddRadioSw(mmMarker, path("MargMode"), "Slope,Marker", [i](THandler&) { OnMargModeChange(i); });
  const auto margins = [i](THandler&) {
    TMeasSourceNodes& s = State.Sources[static_cast<size_t>(i)];
    KeepOrder(s.LeftSlope, s.RightSlope, 1);
    KeepOrder(s.LeftMarker, s.RightMarker, 1);
    SyncSource(i);
    MarkChanged(i, &TMeasFrame::MarginsChanged);
  };
  const auto slope = [&](const char* key, int value) {
    return tree.AddIntEdit({.Path = path(key),
                            .Value = value,
                            .Min = 0,
                            .Max = 127,
                            .CoarseRule = srLinear,
                            .CoarseStep = 1,
                            .OnChange = margins,
                            .OnGetText = SlopeText()});
  };
  n.LeftSlope = slope("LeftSlope", 0);
  n.RightSlope = slope("RightSlope", 5);
  n.LeftTresh = tree.AddRadioSw(lcMiddle, path("LeftTresh"), "Upper,Middle,Lower", SourceChange(i));
  n.RightTresh = tree.AddRadioSw(lcMiddle, path("RightTresh"), "Upper,Middle,Lower",
                                 SourceChange(i, &TMeasFrame::MarginsChanged));
  const auto marker = [&](const char* key, int value, double min, double max) {
    return tree.AddIntEdit({.Path = path(key),
                            .Value = value,
                            .ColourSource = colour,
                            .Min = min,
                            .Mid = 2000,
                            .Max = max,
                            .CoarseRule = srLinear,
                            .CoarseStep = 10,
                            .OnChange = margins,
                            .OnGetText = MarkerTimeText(i),
                            .OnBeforeSet = MarkerTimeEntry(i)});
  };
  n.LeftMarker = marker("LeftMarker", 0, 0, 3999);
  n.RightMarker = marker("RightMarker", 4000, 1, 4000);
  KeepOrder(n.LeftSlope, n.RightSlope, 1);
  KeepOrder(n.LeftMarker, n.RightMarker, 1);
  if (HasSpectrumNodes(i)) {
    n.FFTMethod = tree.AddRadioSw(fmHarmonic, path("FFTMethod"), "Harmonic,Peak", [i](THandler&) {
      SyncSource(i);
      MarkChanged(i, &TMeasFrame::MarginsChanged);
      UpdateSourceEnables(i);
    });
    const auto fftMargins = [i](THandler&) {
      TMeasSourceNodes& s = State.Sources[static_cast<size_t>(i)];
      KeepOrder(s.FFTLeft, s.FFTRight, 1);
      KeepPeaksApart(s);
      SyncSource(i);
      MarkChanged(i, &TMeasFrame::MarginsChanged);
    };
    n.FFTLeft = tree.AddIntEdit({.Path = path("FFTLeft"),
                                 .Value = 0,
                                 .Min = 1,
                                 .Max = 3999,
                                 .CoarseRule = srLinear,
                                 .CoarseStep = 10,
                                 .OnChange = fftMargins});
    n.FFTRight = tree.AddIntEdit({.Path = path("FFTRight"),
                                  .Value = 4000,
                                  .Min = 1,
                                  .Max = 4000,
                                  .CoarseRule = srLinear,
                                  .CoarseStep = 10,
                                  .OnChange = fftMargins});
    n.PeakLevel = tree.AddDoubleEdit({.Path = path("PeakLevel"),
                                      .Value = -20,
                                      .Unit = "dB",
                                      .FormatMode = vfGeneral,
                                      .Digits = 4,
                                      .Min = -100,
                                      .Mid = -20,
                                      .Max = 80,
                                      .CoarseRule = srLinear,
                                      .CoarseStep = 0.1,
                                      .Tolerance = 0.1,
                                      .OnChange = SourceChange(i)});
    n.PeakLeft = tree.AddIntEdit({.Path = path("PeakLeft"),
                                  .Value = 1,
                                  .Min = 1,
                                  .Max = 40,
                                  .CoarseRule = srLinear,
                                  .CoarseStep = 1,
                                  .OnChange = fftMargins});
    n.PeakRight = tree.AddIntEdit({.Path = path("PeakRight"),
                                   .Value = 3,
                                   .Min = 2,
                                   .Max = 41,
                                   .CoarseRule = srLinear,
                                   .CoarseStep = 1,
                                   .OnChange = fftMargins});
    KeepOrder(n.FFTLeft, n.FFTRight, 1);
    KeepPeaksApart(n);
  }
  // Check sets in the order of the table: XParam, YParam, XFFTPar, YFFTPar, then the dual
  // ones after Source2.
  const auto set = [&](uint8_t group) {
    n.Sets[group] = tree.AddCheckSw(0, path(kSetKeys[group]), kSetItems[group],
                                    [i, group](THandler& h) { OnCheckSetChange(i, group, h); });
  };
  set(mgTime);
  set(mgAmplitude);
  if (HasSpectrumNodes(i)) {
    set(mgSpectrumX);
    set(mgSpectrumY);
  }
  if (HasDualNodes(i)) {
    n.Source2 = tree.AddSignalSourceSw(static_cast<uint8_t>(TTraceId::Ch2), path("Source2"), kSourceList,
                                       ExcludedAboveS2(), SourceChange(i));
    set(mgDualX);
    set(mgDualY);
  }
  SyncSource(i);
}

// --- "Meas:Res" ---

bool StartsWithNoCase(const std::string& text, std::string_view key) {
  if (text.size() < key.size()) return false;
  for (size_t k = 0; k < key.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(text[k])) != std::toupper(static_cast<unsigned char>(key[k])))
      return false;
  return true;
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

void ClearAllMeasurements() {
  for (TMeasSourceNodes& n : State.Sources)
    for (TCheckSwHandler* set : n.Sets)
      if (set) set->SetMaskByProgram(0);
}

void ResReply(const std::string& param, bool isQuery, uint8_t, std::string& reply) {
  if (!isQuery) return;
  const std::string argument = Trim(param);
  reply = HeaderOn() ? ":" + EchoedInput(argument) + " " : "";
  if (StartsWithNoCase(argument, "LIST")) {
    reply += "\r\n";
    for (int n = 0; n < MeasState.MeasParamCount; ++n)
      reply += std::to_string(n + 1) + "  " + MeasCaption(*MeasSlot(n)) + "\r\n";
    return;
  }
  reply += SlotResultText(argument);
}

}  // namespace

TMeasSettingsState& MeasSettings() { return State; }

std::string MeasSourceName(TTraceId id) {
  static const TItemList names = CommaTextToStrings(kSourceList, false);
  return names.at(static_cast<size_t>(id));
}

void RegisterMeasHandlers() {
  TSpider& tree = *RootSpider;
  State.Display = tree.AddRadioSw(mdOff, "Meas:Display", "Off,Param,Statistic", OnDisplayChange);
  State.DisplSrc = tree.AddSignalSourceSw(static_cast<uint8_t>(TTraceId::Ch1), "Meas:DisplSrc", kSourceList,
                                          ExcludedAboveS2(), OnDisplSrcChange);
  State.View = tree.AddOnOff(true, "Meas:View", OnViewChange);
  State.Mode = tree.AddRadioSw(mmPermanent, "Meas:Mode", "Permanent,Single", OnModeChange);
  State.SingleMeas =
      tree.AddRightCommand("Meas:SingleMeas", [](THandler&) { MeasState.NewDataForAll = true; });
  State.StatMode = tree.AddRadioSw(0, "Meas:StatMode", "Permanent,Window,Weight", OnStatModeChange);
  const auto depth = [](const char* p) {
    return RootSpider->AddIntEdit({.Path = p,
                                   .Value = 8,
                                   .Min = 8,
                                   .Mid = 128,
                                   .Max = 8192,
                                   .CoarseRule = sr1_2_5,
                                   .CoarseStep = 1,
                                   .FineRule = srLinear,
                                   .FineStep = 1,
                                   .OnChange = [](THandler&) {
                                     SyncGlobal();
                                     ApplyStatModeToSlots();
                                   }});
  };
  State.Window = depth("Meas:Window");
  State.Weight = depth("Meas:Weight");
  for (int i = 0; i < kSignalObjCount; ++i) RegisterSource(i);
  State.ClearAll = tree.AddRightCommand("Meas:ClearAll", [](THandler&) { ClearAllMeasurements(); });
  State.Res = tree.AddGpibString("Meas:Res", ResReply);
  SyncGlobal();
  UpdateGlobalEnables();
  UpdateAllSourceEnables();
}

void ApplyMeasSettings() {
  for (int i = 0; i < kSignalObjCount; ++i) {
    TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
    KeepOrder(n.Base, n.Top, 1);
    SyncSource(i);
  }
  if (State.Display) OnDisplayChange(*State.Display);
  if (State.DisplSrc) OnDisplSrcChange(*State.DisplSrc);
  if (!State.EnablityLink) {
    State.EnablityLink = std::make_unique<TSwitcherLink>(SignalsChanged);
    State.EnablityLink->Bind(HandlerSignalEnablity.get());
  }
}

namespace {

// --- drags of the set-up lines on the screen: they belong to the "Meas:DisplSrc" source ---

void MeasLineDragged(TMeasLine line, int ux, int uy) {
  const int i = TraceIndex(DisplSrc());
  if (i >= kSignalObjCount) return;
  TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  if (!n.Method) return;
  switch (line) {
    case TMeasLine::Top:
    case TMeasLine::Base:
      // Switched to Marker, the levels in use become the nodes; already on Marker they are
      // the levels in use, and the last frame may not have seen the drag so far.
      n.Method->SetIndexByProgram(tbMarker);
      (line == TMeasLine::Top ? n.Top : n.Base)->SetValueByProgram(uy);
      return;
    case TMeasLine::Upper:
    case TMeasLine::Middle:
    case TMeasLine::Lower: {
      n.Thresh->SetIndexByProgram(thCustom);
      const size_t k = static_cast<size_t>(line) - static_cast<size_t>(TMeasLine::Upper);
      // A threshold stays between its neighbours.
      const int above = k == 0 ? 1023 : n.Thresholds[k - 1]->Value();
      const int below = k == 2 ? 2 : n.Thresholds[k + 1]->Value();
      const int code = std::clamp(uy, below + 1, std::max(below + 1, above - 1));
      n.Thresholds[k]->SetValueByProgram(code);
      const int top = n.Top->Value(), base = n.Base->Value();
      if (top != base) n.Percents[k]->SetValueByProgram((code - base) * 100.0 / (top - base));
      return;
    }
    case TMeasLine::Left:
    case TMeasLine::Right: {
      const TMeasFrame& f = Frame(i);
      if (f.LevelsInvalid) return;
      const bool left = line == TMeasLine::Left;
      const int point = Code(Record(Source(i)).ScreenXToShownIndex(ux));
      // A margin never passes the other one.
      if (left ? point >= f.RightMargin : point <= f.LeftMargin) return;
      if (GetIndex(n.MargMode) == mmSlope) {
        (left ? n.LeftSlope : n.RightSlope)->SetValueByProgram(NearestCrossingIndex(f, point, left));
      } else {
        (left ? n.LeftMarker : n.RightMarker)->SetValueByProgram(ux);
      }
      return;
    }
  }
}

// A grabbed margin is placed among the crossings as they are now.
void MeasMarginGrabbed() {
  const TTraceId source = DisplSrc();
  if (TraceIndex(source) >= kSignalObjCount || Frame(TraceIndex(source)).LevelsInvalid) return;
  FindSlopeMargin(MeasSourceOf(source), 2048, 0);
}

void FftLineDragged(TFftLine line, int ux, int uy) {
  const int i = TraceIndex(DisplSrc());
  if (i >= kSignalObjCount) return;
  TMeasSourceNodes& n = State.Sources[static_cast<size_t>(i)];
  if (!n.FFTMethod) return;
  switch (line) {
    case TFftLine::Left:
      n.FFTLeft->SetValueByProgram(std::min(ux, n.FFTRight->Value() - 4));
      return;
    case TFftLine::Right:
      n.FFTRight->SetValueByProgram(std::max(ux, n.FFTLeft->Value() + 4));
      return;
    case TFftLine::Level: {
      // The level is kept in dB whatever the view.
      const TSignalObj& rec = Record(Source(i));
      double level = rec.ScreenYToValue(uy);
      if (!rec.IsLogView()) level = RatioToDb(level);
      if (std::isfinite(level)) n.PeakLevel->SetValueByProgram(level);
      return;
    }
  }
}

}  // namespace

void InstallMeasurements() {
  SetRegistrationRoutine(TRegistrationStep::Meas, RegisterMeasHandlers);
  SetApplyRoutine(TApplyStep::Meas, ApplyMeasSettings);
  SetAnalysisSwitchOff(kMeasurePage, [] {
    if (State.Display && GetIndex(State.Display) != mdOff) State.Display->SetIndexByProgram(mdOff);
  });
  AcqHooks.MeasurementPass.Set(MeasurementPass);
  ShellHooks.MeasureChangesNow.Set(MeasureChangesNow);
  LinkHooks.MeasDisplayOn.Set([] { return Display() != mdOff; });
  LinkHooks.ResetHisticons.Set(ResetHisticons);
  LinkHooks.ResetMeasStatistics.Set(ResetMeasStatistics);
  MeasHooks.ShowSlotResult.Set(ShowSlotResult);
  MeasHooks.RefreshSetupLayer.Set(RefreshSetupLayer);
  MeasHooks.RefreshLevelControls.Set(RefreshLevelControls);
  DisplaySettingsHooks.RecolorHisticons.Set(RecolorHisticons);
  OnSignalOnChanged.Set(ClearAnnotationsOfShownMeasurements);
  MeasHooks.AttachHisticon.Set([](THisticon& icon) {
    if (ScopeCRT) icon.SetSurface(&ScopeCRT->BottomText(), ScopeCRT->GraticuleColor());
  });
  MeasHooks.DrawAnnotation.Set([](int layer, TTraceId signal, int n, const TAnnLabelParam& label) {
    if (!ScopeCRT) return;
    if (TAnnotationLayer* l = ScopeCRT->GetAnnotationLayer(layer, signal)) l->SetLabel(n, label);
  });
  MeasHooks.DeleteAnnotationLayers.Set([] {
    if (!ScopeCRT) return;
    ScopeCRT->DeleteAnnotationLayer(1);
    ScopeCRT->DeleteAnnotationLayer(2);
  });
  DisplayHooks.MeasDisplay.Set([] { return static_cast<int>(Display()); });
  DisplayHooks.MeasParamCount.Set([] { return static_cast<int>(MeasState.MeasParamCount); });
  DisplayHooks.HisticonsAvailable.Set([] { return true; });
  DisplayHooks.ToggleHisticon.Set([](int slot) {
    if (TParameterOfMeas* p = MeasSlot(slot)) {
      SetHisticonVisible(*p, !p->HisticonVisible);
      RedrawHisticon(slot);
    }
  });
  DisplayHooks.BuildMeasPopupMenu.Set(BuildMeasPopupMenu);
  DisplayHooks.MeasPopupItemClick.Set(MeasPopupItemClick);
  DisplayHooks.MeasLineDragged.Set(MeasLineDragged);
  DisplayHooks.MeasMarginGrabbed.Set(MeasMarginGrabbed);
  DisplayHooks.FftLineDragged.Set(FftLineDragged);
}

// --- the slot list ---

namespace {

int FindSlot(TTraceId source, uint8_t group, uint8_t index) {
  for (int n = 0; n < MeasState.MeasParamCount; ++n) {
    const TParameterOfMeas* p = MeasSlot(n);
    if (p && p->Source == source && p->Group == group && p->Index == index) return n;
  }
  return -1;
}

}  // namespace

void UncheckSlot(int slot) {
  const TParameterOfMeas* p = MeasSlot(slot);
  if (!p) return;
  TCheckSwHandler* set = State.Sources.at(static_cast<size_t>(TraceIndex(p->Source))).Sets.at(p->Group);
  if (set && (set->GetMask() & GetMaskForButtinNr(p->Index))) {
    set->SetButtonByProgram(p->Index, false);
  } else {
    RemoveSlot(slot);
  }
}

void AddMeasParameter(TTraceId source, uint8_t group, uint8_t index) {
  if (FindSlot(source, group, index) >= 0) return;
  const int bound = Statistic() ? kMeasStatSlotCount : kMeasSlotCount;
  if (MeasState.MeasParamCount >= bound) UncheckSlot(0);
  if (MeasState.MeasParamCount >= bound) throw EAssertion("ERROR!  Parameters OVERFLOW");
  if (IsJitter(group, index)) {
    bool removed = false, had = false;
    for (int n = MeasState.MeasParamCount - 1; n >= 0; --n) {
      const TParameterOfMeas* p = MeasSlot(n);
      if (!p || !IsJitter(p->Group, p->Index)) continue;
      if (p->Source == source) {
        had = true;
      } else {
        UncheckSlot(n);
        removed = true;
      }
    }
    if (removed || !had) {
      ClearJitterHistogram();
    }
  }
  const int slot = MeasState.MeasParamCount;
  const int i = TraceIndex(source);
  const TTraceId source2 = HasDualNodes(i) ? Settings(i).Source2 : TTraceId::Ch1;
  MeasState.MeasParams[static_cast<size_t>(slot)] =
      std::make_unique<TParameterOfMeas>(source, index, group, source2);
  ++MeasState.MeasParamCount;
  if (slot < kMeasStatSlotCount) MeasSettingsHooks.ResetLimitTest(slot);
  State.LinesPrepared = false;
  SetupSlotAnnotations(slot);
}

void RemoveMeasParameter(TTraceId source, uint8_t group, uint8_t index) {
  const int slot = FindSlot(source, group, index);
  if (slot < 0) {
    if (State.Closing) return;
    throw EAssertion("ERROR!  Parameter is ABSENT");
  }
  RemoveSlot(slot);
}

void RemoveSlot(int slot) {
  if (!MeasSlot(slot)) return;
  auto& slots = MeasState.MeasParams;
  const int count = MeasState.MeasParamCount;
  for (int n = slot; n < count - 1; ++n) {
    slots[static_cast<size_t>(n)] = std::move(slots[static_cast<size_t>(n + 1)]);
    if (TStatH* st = slots[static_cast<size_t>(n)]->Statistics.get()) {
      if (n < kMeasStatSlotCount) {
        st->CreateIcon(n, MeasCaption(*slots[static_cast<size_t>(n)]),
                       GetDisplaySourceRGB(slots[static_cast<size_t>(n)]->Source));
      }
    }
  }
  slots[static_cast<size_t>(count - 1)].reset();
  --MeasState.MeasParamCount;
  MeasSettingsHooks.LimitSlotRemoved(slot);
  State.LinesPrepared = false;
  ReleaseAnnotations(slot);
}

// --- the strip ---

namespace {

TColorRef SlotColour(const TParameterOfMeas& p) { return GetDisplaySourceRGB(p.Source); }

std::string CountText(int64_t count) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%5lld", static_cast<long long>(count));
  return buf;
}

}  // namespace

void ResetHisticons() {
  for (int n = 0; n < kMeasStatSlotCount; ++n)
    if (TParameterOfMeas* p = MeasSlot(n); p && p->Statistics) p->Statistics->Icon().Drawn = false;
}

void RecolorHisticons() {
  for (int n = 0; n < kMeasStatSlotCount; ++n) {
    TParameterOfMeas* p = MeasSlot(n);
    if (!p || !p->Statistics) continue;
    p->Statistics->Icon().SetColor(SlotColour(*p));
    p->Statistics->Icon().Drawn = false;
    RedrawHisticon(n);
  }
}

void RedrawHisticon(int slot) {
  TParameterOfMeas* p = MeasSlot(slot);
  if (!p || !p->Statistics || slot >= kMeasStatSlotCount) return;
  TStatH& st = *p->Statistics;
  st.SetIconVisible(Statistic() && p->HisticonVisible);
  if (!st.Icon().Visible) ShowSlotStatistics(slot);
}

void HideHisticons() {
  for (int n = 0; n < kMeasStatSlotCount; ++n) {
    TParameterOfMeas* p = MeasSlot(n);
    if (!p || !p->Statistics) continue;
    p->Statistics->SetIconVisible(false);
    ShowSlotStatistics(n);
  }
}

std::string StatValueText(double value, const std::string& unit) {
  if (IsUndefined(value)) return EngText(value);
  return FloatToEngStr(unit == "dB" ? vfGeneral : vfEngineering, 4, false, value, false) + unit;
}

void ShowStatisticsHeader(int kind) {
  TNizText* strip = Strip();
  if (!strip) return;
  const auto put = [&](int column, const char* key) {
    strip->WriteLine(GetLangStr(key), TNizText::GetLineCellRect(-1, column), -1, 0xFFFFFF);
  };
  put(2, "SpCurrent");
  put(3, kind == 2 ? "TotalMeas" : "TotalWfms");
  put(4, kind == 1 ? "TestedWfms" : "SpMinimum");
  put(5, kind == 1 ? "Failures" : "SpMaximum");
  put(6, "SpMean");
  put(7, "StdDeviation");
}

void ShowMeasurementLines() {
  ResetHisticons();
  State.LinesPrepared = true;
  TNizText* strip = Strip();
  if (!strip) return;
  strip->Clear();
  if (Display() == mdOff) return;
  if (Statistic()) {
    ShowStatisticsHeader(MeasSettingsHooks.LimitTestOn() ? 1 : 0);
    for (int n = 0; n < std::min<int>(MeasState.MeasParamCount, kMeasStatSlotCount); ++n) {
      const TParameterOfMeas& p = *MeasSlot(n);
      strip->WriteLine(MeasCaption(p), TNizText::GetLineCellRect(n, 1), -1, SlotColour(p));
    }
  } else {
    for (int n = 0; n < MeasState.MeasParamCount; ++n) {
      const TParameterOfMeas& p = *MeasSlot(n);
      strip->WriteLine(MeasCaption(p), TNizText::GetMeasCellRect(n, true), -1, SlotColour(p));
    }
  }
}

void RedrawMeasurementLines() {
  if (!Strip() || Display() == mdOff) return;
  ShowMeasurementLines();
  for (int n = 0; n < MeasState.MeasParamCount; ++n) ShowSlotResult(n);
}

void ShowSlotResult(int slot) {
  if (!State.LinesPrepared) ShowMeasurementLines();
  const TParameterOfMeas* p = MeasSlot(slot);
  TNizText* strip = Strip();
  if (!p || !strip || Display() == mdOff) return;
  const std::string text = EngText(p->Value) + p->UnitText;
  if (Statistic()) {
    if (slot >= kMeasStatSlotCount) return;
    strip->WriteLine(text, TNizText::GetLineCellRect(slot, 2), slot, SlotColour(*p));
    if (!IsUndefined(p->Value)) ShowSlotStatistics(slot);
  } else {
    strip->WriteLine(text, TNizText::GetMeasCellRect(slot, false), slot, SlotColour(*p));
  }
}

void ShowSlotStatistics(int slot) {
  const TParameterOfMeas* p = MeasSlot(slot);
  TNizText* strip = Strip();
  if (!p || !p->Statistics || !strip || !Statistic() || slot >= kMeasStatSlotCount) return;
  TStatH& st = *p->Statistics;
  const TColorRef colour = SlotColour(*p);
  const auto put = [&](int column, const std::string& text) {
    strip->WriteLine(text, TNizText::GetLineCellRect(slot, column), -1, colour);
  };
  // As "Meas:Res" answers them: an empty statistic has no extremes nor mean, one value no
  // deviation.
  put(3, CountText(st.Count()));
  if (MeasSettingsHooks.LimitTestOn()) {
    if (!MeasSettingsHooks.LimitActive(slot)) {
      put(4, "N / A");
      put(5, "N / A");
    }
  } else if (!st.Icon().Visible) {
    put(4, SlotResultText(*p, "Min"));
    put(5, SlotResultText(*p, "Max"));
  } else {
    st.RedrawIcon();
  }
  put(6, SlotResultText(*p, "Mean"));
  put(7, SlotResultText(*p, "StdDev"));
}

// --- queries ---

std::string SlotResultText(const std::string& argument) {
  if (Display() == mdOff || MeasState.MeasParamCount == 0) return "Measure OFF";
  const size_t colon = argument.find(':');
  const std::string number = Trim(argument.substr(0, colon));
  int n = 0;
  const bool digits = !number.empty() && number.size() < 4 &&
                      std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) n = std::stoi(number);
  if (!digits || n < 1 || n > MeasState.MeasParamCount) return "INVALID NUMBER OF PARAMETER";
  return SlotResultText(*MeasSlot(n - 1), colon == std::string::npos ? "" : argument.substr(colon + 1));
}

std::string SlotResultText(const TParameterOfMeas& p, std::string_view parameter) {
  if (parameter.empty()) return EngText(p.Value) + p.UnitText;
  if (!Statistic() || !p.Statistics) return "NO STATISTIC OF MEASUREMENTS";
  const std::string param = Trim(std::string(parameter));
  const TStatH& st = *p.Statistics;
  const bool empty = st.Count() == 0;
  // The latest result's unit is empty when that result is undefined, so the statistics
  // take the measurement's own.
  const std::string unit = MeasUnitText(p);
  const auto value = [&](double v) {
    return empty || IsUndefined(v) ? EngText(UndefinedValue) : EngText(v) + unit;
  };
  if (StartsWithNoCase(param, "Wfm")) return std::to_string(st.Count());
  if (StartsWithNoCase(param, "TestWfm")) return std::to_string(p.TestedCount);
  if (StartsWithNoCase(param, "Fail")) return std::to_string(p.FailCount);
  if (StartsWithNoCase(param, "Min")) return value(st.Min());
  if (StartsWithNoCase(param, "Max")) return value(st.Max());
  if (StartsWithNoCase(param, "Mean")) return value(st.Mean());
  if (StartsWithNoCase(param, "StdDev")) return value(st.Count() < 2 ? UndefinedValue : st.StdDev());
  return "BAD STATISTIC PARAMETER";
}

int StatLineCount() {
  return Display() == mdOff ? 0 : std::min<int>(MeasState.MeasParamCount, kMeasStatSlotCount);
}

int ActiveLimitCount() {
  int count = 0;
  for (int n = 0; n < StatLineCount(); ++n) count += MeasSettingsHooks.LimitActive(n) ? 1 : 0;
  return count;
}

// --- the pop-up menu of a measurement line ---

TPopupMenu BuildMeasPopupMenu(int slot) {
  TPopupMenu menu;
  const TParameterOfMeas* p = MeasSlot(slot);
  if (!p) return menu;
  const bool owner = MeasState.Ann.SelectedParamLine == slot;
  const bool view = IsOn(State.View);
  const bool shownSetup = view && DisplSrc() == p->Source;
  menu.Items.push_back({"AllVisible", MeasCaption(*p), owner && shownSetup, true});
  menu.Items.push_back({"-", "", false, true});
  if (Statistic() && slot < kMeasStatSlotCount) {
    menu.Items.push_back({"Histic", GetLangStr("pumpHisticon"), p->HisticonVisible != 0, true});
    menu.Items.push_back({"-", "", false, true});
  }
  menu.Items.push_back({"Annot", GetLangStr("pumpSetAnnotation"), owner, !owner});
  menu.Items.push_back(
      {"DelAnnot", GetLangStr("pumpDelAnnotations"), false, MeasState.Ann.SelectedParamLine >= 0});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"DefParam", GetLangStr("pumpViewDefParams"), shownSetup, !shownSetup});
  menu.Items.push_back({"DelDefParam", GetLangStr("pumpUnViewDefPars"), false, view});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"Remove", GetLangStr("pumpRemoveParam"), false, true});
  menu.Items.push_back({"RemoveAll", GetLangStr("pumpRemoveAll"), false, true});
  return menu;
}

void MeasPopupItemClick(const std::string& item, int slot) {
  const TParameterOfMeas* p = MeasSlot(slot);
  if (!p) return;
  const auto showSetup = [&] {
    State.View->SetOnByProgram(true);
    State.DisplSrc->SetSourceByProgram(p->Source);
  };
  if (item == "AllVisible") {
    SetupSlotAnnotations(slot);
    showSetup();
  } else if (item == "Histic") {
    DisplayHooks.ToggleHisticon(slot);
  } else if (item == "Annot") {
    SetupSlotAnnotations(slot);
  } else if (item == "DelAnnot") {
    ReleaseAnnotations(MeasState.Ann.SelectedParamLine);
  } else if (item == "DefParam") {
    showSetup();
  } else if (item == "DelDefParam") {
    State.View->SetOnByProgram(false);
  } else if (item == "Remove") {
    UncheckSlot(slot);
  } else if (item == "RemoveAll") {
    ClearAllMeasurements();
  }
  MeasState.NewDataForAll = true;
}

}  // namespace norv
