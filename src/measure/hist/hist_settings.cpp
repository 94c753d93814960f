#include "measure/hist/hist_settings.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/dispatchers.h"
#include "measure/hist/hist_objects.h"

namespace norv {

namespace {

THistSettingsState State;
const TProgramUnit StateUnit("histogram settings", ResetHistSettingsState);

constexpr uint8_t kHistMenu = 13;
constexpr const char* kSourceList = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";
enum TRunUntil : uint8_t { ruStopSingle, ruWfms, ruSamples };

// A statistics cell: its place, caption key, and the "Hist:Res" key of its value.
struct THistCell {
  int Column, Row;
  const char* Caption;
  int Sigmas;  // the caption is "MeanNStdDev" formatted with it (0: none)
  const char* ResKey;
};
// In the order the "Hist:Res" keys are tried; the three cells without a key last.
constexpr std::array<THistCell, kHistCellCount> HistCells = {{
    {1, 3, "HitsInBox", 0, "InBox"},
    {1, 4, "Waveforms", 0, "Wfm"},
    {2, 1, "PeakHits", 0, "Peak"},
    {2, 2, "PkPk", 0, "PP"},
    {2, 3, "Median", 0, "Median"},
    {3, 2, "", 1, "Mean1S"},
    {3, 3, "", 2, "Mean2S"},
    {3, 4, "", 3, "Mean3S"},
    {2, 4, "Mean", 0, "Mean"},
    {3, 1, "StdDeviation", 0, "StdDev"},
    {1, 5, "Min", 0, "Min"},
    {2, 5, "MaxMax", 0, "Max-Max"},
    {3, 5, "Max", 0, "Max"},
    {1, 1, "Scale", 0, nullptr},
    {1, 2, "Offset", 0, nullptr},
}};

THistAxis Axis() { return static_cast<THistAxis>(GetIndex(State.Axis)); }
bool Horizontal() { return Axis() == THistAxis::Horiz; }
THistWindowNodes& WindowOf(int axis) { return axis == 2 ? State.WHor : State.WVert; }
THistWindowNodes& CurrentWindow() { return WindowOf(HistAxisKind()); }
bool Paired() { return GetIndex(State.Limits) == 0; }
bool Logarithmic() { return GetIndex(State.ScaleType) == 1; }
bool ManualScale() { return GetIndex(State.ScaleMode) == 1; }

TScopeCRT* Crt() { return ScopeCRT.get(); }
const TSignalObj* SourceRecord() {
  const TTraceId id = HistSourceIndex();
  return IsRecordTrace(id) ? &SignalObjs()[id] : nullptr;
}

std::array<TIntEditHandler*, 4> Edges(THistWindowNodes& w) { return {w.Left, w.Right, w.Top, w.Bottom}; }

// --- drawing ---

void RemoveWindowLayer() {
  TScopeCRT* crt = Crt();
  if (crt && dynamic_cast<THistWindowLayer*>(crt->OverlayLayer(1))) crt->DeleteMarkerLayer(1);
}

void RemoveLayers() {
  if (TScopeCRT* crt = Crt()) crt->DeleteHistLayer();
  RemoveWindowLayer();
}

void ClearStrip() {
  if (TScopeCRT* crt = Crt()) crt->BottomText().Clear();
}

void DrawWindow() {
  TScopeCRT* crt = Crt();
  if (!crt || !IsOn(State.Display) || !IsOn(State.Visible) || !HistAxisOn()) return;
  const THistWindowNodes& w = CurrentWindow();
  if (THistWindowLayer* layer = crt->CreateHistWindowLayer(HistSourceIndex()))
    layer->SetWindow(w.Left->Value(), w.Top->Value(), w.Right->Value(), w.Bottom->Value());
}

// Scale and offset handed to the bar layer: fractions of the peak (linear) or dB.
std::pair<double, double> BarScale() {
  const bool h = Horizontal(), log = Logarithmic();
  if (!ManualScale()) {
    if (log) return {h ? 15.0 : 12.0, -60.0};
    return {h ? 0.25 : 0.20, 0.0};
  }
  if (log)
    return {static_cast<double>(GetIntValue(h ? State.HorDBScale : State.VertDBScale)),
            static_cast<double>(GetIntValue(h ? State.HorDBOffs : State.VertDBOffs))};
  return {GetIntValue(h ? State.HorScale : State.VertScale) / 100.0,
          GetIntValue(h ? State.HorOffset : State.VertOffset) / 100.0};
}

// --- statistics texts ---

std::string Number(double value, uint8_t digits, bool isInt = false) {
  return FloatToEngStr(vfEngineering, digits, isInt, value, false);
}

void ComputeTexts() {
  const TFullHist& h = FullHist();
  const TSignalObj* record = SourceRecord();
  std::string unit;
  if (record) unit = Horizontal() ? record->GetHorUnit() : record->GetVertUnitTextFull();
  const std::string hits = GetLangStr("Hits");
  const auto [scale, offset] = BarScale();
  // A window without a hit has no values: they read as any undefined measurement does.
  const bool empty = h.TotalHits() == 0;
  const std::string undefined = Number(UndefinedValue, 5);
  const auto value = [&](double v) { return empty ? undefined : Number(v, 5) + unit; };
  const auto percent = [&](int n) { return empty ? undefined : Number(h.PercentWithinSigmas(n), 5) + "%"; };
  std::array<std::string, kHistCellCount>& v = State.Values;
  v[0] = Number(static_cast<double>(h.TotalHits()), 6, true) + hits;
  v[1] = Number(h.WaveformCount(), 6, true) + GetLangStr("Wfms");
  v[2] = Number(h.PeakHits(), 6, true) + hits;
  v[3] = value(h.PeakToPeak());
  v[4] = value(h.MiddleValue());
  v[5] = percent(1);
  v[6] = percent(2);
  v[7] = percent(3);
  v[8] = value(h.MeanValue());
  v[9] = value(h.StdDevValue());
  v[10] = value(h.MinValue());
  v[11] = value(h.LevelDistance());
  v[12] = value(h.MaxValue());
  // The scale per division, as the scale edits show it.
  const std::string byDiv = GetLangStr("ByDiv");
  if (Logarithmic()) {
    v[13] = Number(scale, 3) + "dB" + byDiv;
    v[14] = Number(offset, 3) + "dB";
  } else {
    v[13] = Number(h.PeakHits() * scale, 3) + hits + byDiv;
    v[14] = Number(h.PeakHits() * offset, 3) + hits;
  }
}

void WriteTexts() {
  TScopeCRT* crt = Crt();
  if (!crt) return;
  TNizText& strip = crt->BottomText();
  const TColorRef colour = GetDisplaySourceRGB(HistSourceIndex());
  if (!strip.GetCaptionsShown(1)) {
    for (const THistCell& c : HistCells) {
      const std::string caption = c.Sigmas ? FormatLangStr("MeanNStdDev", c.Sigmas) : GetLangStr(c.Caption);
      strip.WriteLine(caption, TNizText::GetHistCellRect(c.Column, c.Row, true), -1, colour);
    }
    strip.SetCaptionsShown(1, true);
  }
  for (int i = 0; i < kHistCellCount; ++i) {
    const THistCell& c = HistCells[i];
    strip.WriteLine("= " + State.Values[i], TNizText::GetHistCellRect(c.Column, c.Row, false), i, colour);
  }
}

// --- node follow-ups ---

void UpdateRunUntilControls() {
  const bool on = HistAxisOn();
  const auto until = GetIndex(State.RunUntil);
  State.NWfm->SetDisabled(!on || until != ruWfms);
  State.NSample->SetDisabled(!on || until != ruSamples);
}

void UpdateHistScaleControls() {
  const bool on = HistAxisOn() && ManualScale();
  const bool h = Horizontal(), log = Logarithmic();
  const auto enable = [&](TIntEditHandler* node, bool horizontal, bool db) {
    node->SetDisabled(!(on && horizontal == h && db == log));
  };
  enable(State.VertScale, false, false);
  enable(State.VertOffset, false, false);
  enable(State.VertDBScale, false, true);
  enable(State.VertDBOffs, false, true);
  enable(State.HorScale, true, false);
  enable(State.HorOffset, true, false);
  enable(State.HorDBScale, true, true);
  enable(State.HorDBOffs, true, true);
}

void ApplyWindowLimits(int axis) {
  THistWindowNodes& w = WindowOf(axis);
  if (Paired()) {
    w.Left->SetMax(4000);
    w.Top->SetMin(1);
  } else {
    w.Left->SetMax(w.Right->Value());
    w.Top->SetMin(w.Bottom->Value());
  }
  w.Right->SetMin(w.Left->Value());
  w.Bottom->SetMax(w.Top->Value());
}

void RememberWindowSize(int axis) {
  THistWindowNodes& w = WindowOf(axis);
  State.Width[axis - 1] = w.Right->Value() - w.Left->Value();
  State.Height[axis - 1] = w.Top->Value() - w.Bottom->Value();
}

void HistWindowEdgeChanged(int axis, TWindowEdge edge, THandler& h) {
  THistWindowNodes& w = WindowOf(axis);
  if (h.GetWhoChangedRaw() != wcvProgram) {
    if (Paired() && (edge == TWindowEdge::Left || edge == TWindowEdge::Top)) {
      // The window moves whole.
      w.Left->SetMax(4000);
      w.Top->SetMin(1);
      w.Right->SetMin(1);
      w.Bottom->SetMax(1023);
      w.Right->SetValueByProgram(w.Left->Value() + State.Width[axis - 1]);
      w.Bottom->SetValueByProgram(w.Top->Value() - State.Height[axis - 1]);
    } else {
      RememberWindowSize(axis);
    }
  }
  // The edited window's own limits, whichever axis is shown: an edge set while the other
  // axis is shown stays in order, and a recall that shows this axis first brings it back.
  ApplyWindowLimits(axis);
  UpdateHistogram(false);
  DrawWindow();
}

void HistSourceChanged() {
  CopySourceStyleToHistTrace();
  // While the histogram is off the strip is another readout's.
  if (HistAxisOn() && SignalsOn.IsOn(HistSourceIndex())) ClearStrip();
  const auto colour = static_cast<uint8_t>(HistSourceIndex());
  for (TIntEditHandler* node :
       {State.NWfm, State.NSample, State.WVert.Top, State.WVert.Bottom, State.WVert.Left, State.WVert.Right,
        State.WHor.Top, State.WHor.Bottom, State.WHor.Left, State.WHor.Right, State.Weight, State.VertScale,
        State.VertOffset, State.VertDBScale, State.VertDBOffs, State.HorScale, State.HorOffset,
        State.HorDBScale, State.HorDBOffs})
    node->SetColorSource(colour);
}

// The 16 MB map is made only once a histogram is wanted.
void SwitchOff() {
  RemoveLayers();
  ClearStrip();
  if (ProgramFullHist) ProgramFullHist->Clear();
}

void SetFullHistWeight(int weight) {
  if (ProgramFullHist || weight != 0) FullHist().SetWeight(weight);
}

void UpdateNodeEnables() {
  const bool on = HistAxisOn();
  State.Source->SetDisabled(!on || DisplaySettings().DataBaseExist.Exists);
  for (THandler* node : std::initializer_list<THandler*>{
           State.Visible, State.RunUntil, State.Limits, State.WVert.Top, State.WVert.Bottom, State.WVert.Left,
           State.WVert.Right, State.WHor.Top, State.WHor.Bottom, State.WHor.Left, State.WHor.Right,
           State.Units, State.Display, State.Mode, State.ScaleType, State.ScaleMode})
    node->SetDisabled(!on);
  UpdateRunUntilControls();
  State.Weight->SetDisabled(!on || GetIndex(State.Mode) != 1);
  UpdateHistScaleControls();
}

void HistAxisChanged() {
  const bool on = HistAxisOn();
  if (on) {
    SwitchOffOtherAnalyses(kHistMenu);
    FullHist().SetVertical(Axis() == THistAxis::Vert);
  }
  UpdateNodeEnables();
  HistSourceChanged();
  if (on) {
    UpdateHistogram(false);
  } else {
    SwitchOff();
  }
}

void ApplyHistMode() {
  const bool exponent = GetIndex(State.Mode) == 1;
  State.Weight->SetDisabled(!HistAxisOn() || !exponent);
  SetFullHistWeight(exponent ? State.Weight->Value() : 0);
  if (HistAxisOn()) UpdateHistogram(false);
}

void RedrawWithoutNewData() {
  if (HistAxisOn()) UpdateHistogram(false);
}

// --- window edges as text ---

bool Percent() { return GetIndex(State.Units) == 1; }

void HorizontalEdgeText(const TEditHandler&, std::string& text, double value) {
  const TSignalObj* record = SourceRecord();
  if (Percent() || !record) {
    text = Number(value / 40, 3) + "%";
  } else {
    text = Number(record->ScreenXToX(value), 5) + record->GetHorUnit();
  }
}

void HorizontalEdgeTyped(double& value, TEditHandler&) {
  const TSignalObj* record = SourceRecord();
  if (Percent() || !record) {
    value *= 40;
  } else {
    value = record->ShownIndexToScreenX(record->XToShownIndex(value));
  }
}

double UnitsPerCode(const TSignalObj& record) { return 1024 / (8 * record.GetEffScale()); }

void VerticalEdgeText(const TEditHandler&, std::string& text, double value) {
  const TSignalObj* record = SourceRecord();
  if (Percent() || !record) {
    text = Number(value / 1024 * 100, 3) + "%";
  } else {
    text = Number(record->GetEffOffset() + (value - 512) / UnitsPerCode(*record), 5) +
           record->GetVertUnitTextFull();
  }
}

void VerticalEdgeTyped(double& value, TEditHandler&) {
  const TSignalObj* record = SourceRecord();
  if (Percent() || !record) {
    value = value / 100 * 1024;
  } else {
    value = (value - record->GetEffOffset()) * UnitsPerCode(*record) + 512;
  }
}

// --- remote queries ---

void ResReply(const std::string& rawParam, bool isQuery, uint8_t, std::string& reply) {
  if (!isQuery) return;
  const std::string param(TrimBlanks(rawParam));
  const std::string upper = UpperAscii(param);
  std::string text = "BAD PARAMETER";
  for (int i = 0; i < kHistCellCount; ++i) {
    const char* key = HistCells[i].ResKey;
    if (key && upper.starts_with(UpperAscii(key))) {
      text = State.Values[i];
      break;
    }
  }
  if (HeaderOn()) reply += ":" + EchoedInput(param) + " ";
  reply += text;
}

void DataReply(const std::string& rawParam, bool isQuery, uint8_t, std::string& reply) {
  if (!isQuery) return;
  const std::string upper = UpperAscii(TrimBlanks(rawParam));
  if (!upper.starts_with("VERT") && !upper.starts_with("HOR")) reply = " ERROR";
}

// --- registration ---

struct TEdgeSpec {
  const char* Name;
  int32_t Vert, Hor;
  double Min, Mid, Max, Coarse;
  bool Horizontal;
  TWindowEdge Edge;
};

TIntEditHandler* AddEdit(TIntEditFields fields) {
  fields.CoarseRule = fields.CoarseRule == srNone ? srLinear : fields.CoarseRule;
  fields.FineRule = srLinear;
  fields.FineStep = 1;
  return RootSpider->AddIntEdit(std::move(fields));
}

}  // namespace

THistSettingsState& HistSettings() { return State; }
void ResetHistSettingsState() { State = {}; }

TTraceId HistSourceIndex() {
  const TTraceId id = State.Source ? State.Source->GetSource() : TTraceId::Ch1;
  return IsRecordTrace(id) ? id : TTraceId::Ch1;
}

int HistAxisKind() { return Horizontal() ? 2 : 1; }
bool HistAxisOn() { return Axis() != THistAxis::Off; }

void AccumulateSignalIntoHist(TTraceId source) {
  if (IsRecordTrace(source)) AccumulateRecordIntoHist(FullHist(), SignalObjs()[source]);
}

void UpdateHistogram(bool newData) {
  TFullHist& h = FullHist();
  const THistWindowNodes& w = CurrentWindow();
  if (HistAxisOn()) h.SetVertical(Axis() == THistAxis::Vert);
  h.SetWindow(w.Left->Value(), w.Top->Value(), w.Right->Value(), w.Bottom->Value());
  if (newData) {
    const auto until = GetIndex(State.RunUntil);
    const bool enough =
        (until == ruWfms && h.WaveformCount() >= static_cast<uint32_t>(State.NWfm->Value())) ||
        (until == ruSamples && h.TotalHits() >= static_cast<uint64_t>(State.NSample->Value()));
    if (!enough) AccumulateSignalIntoHist(HistSourceIndex());
  }
  h.CalcStatistics(true);
  if (!HistAxisOn()) {
    SwitchOff();
    return;
  }
  TScopeCRT* crt = Crt();
  if (crt && IsOn(State.Visible)) {
    if (THistLayer* layer = crt->GetHistLayer()) {
      std::vector<uint32_t> bars;
      const int count = h.GetBars(bars, kHistColumns);
      if (count == 0) return;
      const auto [scale, offset] = BarScale();
      layer->DrawHistogram(Horizontal() ? 1 : 0, count, bars, Logarithmic(), offset, scale, h.PeakHits());
    }
    DrawWindow();
  }
  ComputeTexts();
  WriteTexts();
}

void RefreshHistWindowControls(int axis) {
  if (!HistAxisOn()) return;
  for (TIntEditHandler* node : Edges(WindowOf(axis))) node->NotifySwitchers();
}

void CopySourceStyleToHistTrace() {
  TDisplaySettingsState& d = DisplaySettings();
  const size_t hist = TraceIndex(TTraceId::Hist), source = TraceIndex(HistSourceIndex());
  if (d.Screen2[hist] && d.Screen2[source]) d.Screen2[hist]->SetIndexByProgram(d.Screen2[source]->GetIndex());
  if (d.Screen4[hist] && d.Screen4[source]) d.Screen4[hist]->SetIndexByProgram(d.Screen4[source]->GetIndex());
}

void RegisterHistHandlers() {
  TSpider& root = *RootSpider;
  State.Width = {4000, 2000};
  State.Height = {1022, 16};
  State.Values = {};
  State.Axis = root.AddRadioSw(0, "Hist:Axis", "Off,Vert,Horiz", [](THandler&) { HistAxisChanged(); });
  uint32_t excluded = 0;
  for (int id = TraceIndex(TTraceId::XY); id < kTraceIdCount; ++id) excluded |= 1u << id;
  State.Source =
      root.AddSignalSourceSw(0, "Hist:Source", kSourceList, excluded, [](THandler&) { HistSourceChanged(); });
  State.Visible = root.AddOnOff(true, "Hist:Visible", [](THandler&) {
    if (!IsOn(State.Visible)) RemoveLayers();
  });
  State.RunUntil = root.AddRadioSw(0, "Hist:RunUntil", "StopSingle,Wfms,Samples",
                                   [](THandler&) { UpdateRunUntilControls(); });
  State.NWfm = AddEdit({.Path = "Hist:NWfm",
                        .Value = 10,
                        .Unit = "wfm",
                        .Min = 1,
                        .Mid = 1000,
                        .Max = 1000000,
                        .CoarseStep = 10});
  State.NSample = AddEdit({.Path = "Hist:NSample",
                           .Value = 10000,
                           .Min = 500,
                           .Mid = 10000,
                           .Max = 10000000,
                           .CoarseStep = 5000});
  State.Limits = root.AddRadioSw(0, "Hist:Limits", "Paried,Independ", [](THandler&) {
    for (int axis : {1, 2}) {
      RememberWindowSize(axis);
      ApplyWindowLimits(axis);
    }
  });
  const TEdgeSpec edges[] = {
      {"Top", 1023, 520, 1, 512, 1023, 32, false, TWindowEdge::Top},
      {"Bottom", 1, 504, 1, 512, 1023, 32, false, TWindowEdge::Bottom},
      {"Left", 0, 1000, 0, 2000, 4000, 200, true, TWindowEdge::Left},
      {"Right", 4000, 3000, 0, 2000, 4000, 200, true, TWindowEdge::Right},
  };
  for (int axis : {1, 2}) {
    THistWindowNodes& w = WindowOf(axis);
    for (const TEdgeSpec& e : edges) {
      TIntEditHandler* node = AddEdit({
          .Path = std::string(axis == 1 ? "Hist:WVert:" : "Hist:WHor:") + e.Name,
          .Value = axis == 1 ? e.Vert : e.Hor,
          .Min = e.Min,
          .Mid = e.Mid,
          .Max = e.Max,
          .CoarseStep = e.Coarse,
          .OnChange = [axis, edge = e.Edge](THandler& h) { HistWindowEdgeChanged(axis, edge, h); },
          .OnGetText = e.Horizontal ? TEditGetText(HorizontalEdgeText) : TEditGetText(VerticalEdgeText),
          .OnBeforeSet =
              e.Horizontal ? TEditBeforeSet(HorizontalEdgeTyped) : TEditBeforeSet(VerticalEdgeTyped),
      });
      switch (e.Edge) {
        case TWindowEdge::Top:
          w.Top = node;
          break;
        case TWindowEdge::Bottom:
          w.Bottom = node;
          break;
        case TWindowEdge::Left:
          w.Left = node;
          break;
        case TWindowEdge::Right:
          w.Right = node;
          break;
      }
    }
  }
  State.Units = root.AddRadioSw(0, "Hist:Units", "Absolute,Percent", [](THandler&) {
    for (TIntEditHandler* node : Edges(CurrentWindow())) node->NotifySwitchers();
  });
  State.Display = root.AddOnOff(true, "Hist:Display", [](THandler&) {
    if (IsOn(State.Display)) {
      DrawWindow();
    } else {
      RemoveWindowLayer();
    }
  });
  State.Mode = root.AddRadioSw(0, "Hist:Mode", "Normal,Exponent", [](THandler&) { ApplyHistMode(); });
  State.Weight = AddEdit({.Path = "Hist:Weight",
                          .Value = 32,
                          .Min = 8,
                          .Mid = 256,
                          .Max = 8192,
                          .CoarseRule = srPowerOfTwo,
                          .CoarseStep = 2,
                          .OnChange = [](THandler&) {
                            if (GetIndex(State.Mode) == 1) FullHist().SetWeight(State.Weight->Value());
                            RedrawWithoutNewData();
                          }});
  const auto scaleChanged = [](THandler&) {
    UpdateHistScaleControls();
    RedrawWithoutNewData();
  };
  State.ScaleType = root.AddRadioSw(0, "Hist:ScaleType", "Linear,Logarith", scaleChanged);
  State.ScaleMode = root.AddRadioSw(0, "Hist:ScaleMode", "Auto,Manual", scaleChanged);
  const std::string perDiv = "%" + GetLangStr("ByDiv");
  const std::string dbPerDiv = "dB" + GetLangStr("ByDiv");
  const auto redraw = [](THandler&) { RedrawWithoutNewData(); };
  const auto linear = [&](const char* path, int32_t value, bool scale) {
    return AddEdit({.Path = path,
                    .Value = value,
                    .Unit = scale ? std::string_view(perDiv) : "%",
                    .Min = scale ? 10.0 : 0.0,
                    .Mid = 50,
                    .Max = 100,
                    .CoarseStep = 10,
                    .OnChange = redraw});
  };
  const auto db = [&](const char* path, int32_t value, bool scale) {
    return AddEdit({.Path = path,
                    .Value = value,
                    .Unit = scale ? std::string_view(dbPerDiv) : "dB",
                    .Min = scale ? 6.0 : -60.0,
                    .Mid = scale ? 20.0 : -30.0,
                    .Max = scale ? 60.0 : 0.0,
                    .CoarseRule = srDb,
                    .CoarseStep = 1,
                    .OnChange = redraw});
  };
  State.VertScale = linear("Hist:VertScale", 20, true);
  State.VertOffset = linear("Hist:VertOffset", 0, false);
  State.VertDBScale = db("Hist:VertDBScale", 12, true);
  State.VertDBOffs = db("Hist:VertDBOffs", -60, false);
  State.HorScale = linear("Hist:HorScale", 25, true);
  State.HorOffset = linear("Hist:HorOffset", 0, false);
  State.HorDBScale = db("Hist:HorDBScale", 15, true);
  State.HorDBOffs = db("Hist:HorDBOffs", -60, false);
  State.Data = root.AddGpibString("Hist:Data", DataReply);
  State.Res = root.AddGpibString("Hist:Res", ResReply);
  // Everything but the axis waits for the histogram to be switched on.
  UpdateNodeEnables();
}

void ApplyHistSettings() {
  HistAxisChanged();
  ApplyHistMode();
}

void InstallHistSettings() {
  AcqHooks.HistogramActive.Set([] { return HistAxisOn() && SignalsOn.IsOn(HistSourceIndex()); });
  AcqHooks.HistAxis.Set(HistAxisKind);
  AcqHooks.UpdateHistogram.Set([](int) { UpdateHistogram(true); });
  AcqHooks.RefreshHistWindowControls.Set(RefreshHistWindowControls);
  DisplayHooks.HistAxisKind.Set([] { return HistAxisOn() ? HistAxisKind() : 0; });
  DisplayHooks.HistWindowEdgeDragged.Set([](int axis, TWindowEdge edge, int units) {
    THistWindowNodes& w = WindowOf(axis);
    TIntEditHandler* node = edge == TWindowEdge::Left    ? w.Left
                            : edge == TWindowEdge::Right ? w.Right
                            : edge == TWindowEdge::Top   ? w.Top
                                                         : w.Bottom;
    node->SetValueByProgram(units);
  });
  DisplaySettingsHooks.HistogramSource.Set(HistSourceIndex);
  DisplaySettingsHooks.RestyleHistogram.Set(CopySourceStyleToHistTrace);
  SetAnalysisSwitchOff(kHistMenu, [] {
    if (State.Axis && HistAxisOn()) State.Axis->SetIndexByProgram(0);
  });
}

}  // namespace norv
