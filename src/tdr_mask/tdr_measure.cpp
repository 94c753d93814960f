#include "tdr_mask/tdr_measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/math_functions.h"
#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/value_text.h"
#include "framework/traces/display_sources.h"
#include "framework/traces/scale_change_flags.h"
#include "framework/util/dialog_service.h"
#include "framework/util/numeric_utils.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/startup/dispatchers.h"
#include "measure/meas_settings.h"
#include "measure/meas_state.h"
#include "tdr_mask/tdr_settings.h"

namespace norv {

namespace {

struct TTdrMeasureState {
  // [0] the TDR lines, [1] the TDT lines.
  std::array<std::array<std::unique_ptr<TReflectParam>, kReflectSlots>, 2> Lines;
  std::array<int, 2> Counts{};
  // Scratch of the propagation delay's derivative.
  std::unique_ptr<TSignalObj> Work;
  // The strip holds the header and the captions of the lines.
  bool LinesShown = false;
  // The strip is ours: the measurements were on when it was last written.
  bool StripHeld = false;
};

TTdrMeasureState State;
const TProgramUnit StateUnit("TDR measurements", ResetTdrMeasureState);

constexpr int kPropDelaySmoothing = 5;

size_t ModeSlot(uint8_t mode) { return mode == rmTDT ? 1 : 0; }

bool MeasureOn() {
  const TTdrSettingsState& s = TdrSettings();
  return s.Measure && s.Measure->IsOn() && IsTDRActive();
}

TCheckSwHandler* ParamSet(uint8_t mode, int source) {
  const TTdrSourceNodes& n = TdrSettings().Sources[static_cast<size_t>(source)];
  return mode == rmTDT ? n.TdtParams : n.TdrParams;
}

int ChannelOfSource(int source) { return source == 0 || source == 2 ? 2 : 3; }

TNizText* Strip() { return ScopeCRT ? &ScopeCRT->BottomText() : nullptr; }

std::string ParamUnit(const TReflectParam& p) {
  if (p.Mode == rmTDR) return "%";
  switch (p.Param) {
    case tpPropDelay:
      return "s";
    case tpDbGain:
      return "dB";
    default:
      return "";
  }
}

std::string ValueText(const TReflectParam& p, double v) { return StatValueText(v, ParamUnit(p)); }

// A screen position of a label; what cannot be placed stays unplaced.
int32_t ScreenPos(double v) {
  if (!std::isfinite(v)) return kAnnNotPlaced;
  return static_cast<int32_t>(std::lround(std::clamp(v, -1e6, 1e6)));
}

int32_t ScreenXOfTime(const TSignalObj& rec, double t) {
  return ScreenPos(rec.IndexToScreenX(rec.XToIndex(t)));
}

// --- annotations ---

void DefineLineLabels(TReflectParam& p) {
  TAnnSet& s = p.Annotations;
  s.Clear();
  DefineAnnLabel(s, 1, 1, p.Trace, 0, GetLangStr("an_RefPlane"), 0);
  if (p.Mode == rmTDR) {
    DefineAnnLabel(s, 2, 1, p.Trace, 0, GetLangStr("an_Lvl50Ohm"), 4);
    DefineAnnLabel(s, 3, 1, p.Trace, 0, GetLangStr(p.Param == tpMaxReflect ? "anPlusPeak" : "anMinusPeak"),
                   1);
  } else if (p.Param == tpPropDelay) {
    DefineAnnLabel(s, 2, 1, p.Trace, 0, GetLangStr("an_Edge"), 1);
  } else {
    DefineAnnLabel(s, 2, 1, p.Trace, 0, GetLangStr("an_Stimulus"), 4);
    DefineAnnLabel(s, 3, 1, p.Trace, 0, GetLangStr("an_Gain"), 1);
  }
}

// The line takes the labels unless it holds them.
void SetupLineAnnotations(int line) {
  TReflectParam* p = ReflectLine(CurrentReflectMode(), line);
  if (!p || MeasState.Ann.SelectedParamLine == line) return;
  ClearAllAnnotations();
  MeasState.Ann.SelectedParamLine = line;
  MeasState.Ann.AnnotationsShown = true;
  DefineLineLabels(*p);
}

// --- one line ---

void AnchorLabels(TReflectParam& p, const TSignalObj& rec, const TTdrChannelNodes& c,
                  const TFoundValue& found, TIndexWindow w) {
  TAnnSet& s = p.Annotations;
  double level;
  if (p.Mode == rmTDR) {
    level = rec.GetTdrUnitKind() == tukRho   ? 0.0
            : rec.GetTdrUnitKind() == tukOhm ? 50.0
                                             : c.BaseLine->GetValue();
  } else {
    level = rec.GetTdrUnitKind() == tukNoUnit ? 1.0 : rec.GetTdrBase() + rec.GetTdrAmplitude();
  }
  const int32_t levelY = ScreenPos(rec.ValueToScreenY(level));
  SetAnnAnchor(s, 1, ScreenXOfTime(rec, c.RefPlane->GetValue()), levelY);
  const int32_t foundX = ScreenPos(rec.IndexToScreenX(found.Index));
  const int32_t foundY = ScreenPos(rec.ValueToScreenY(rec.GetY(found.Index)));
  if (p.Mode == rmTDT && p.Param == tpPropDelay) {
    SetAnnAnchor(s, 2, foundX, foundY);
    return;
  }
  SetAnnAnchor(s, 2, ScreenPos(rec.IndexToScreenX(w.First)), levelY);
  SetAnnAnchor(s, 3, foundX, foundY);
}

// Measures line p of source record rec; false when the warning took this pass.
bool ComputeLine(TReflectParam& p, const TSignalObj& rec) {
  const int channel = ChannelOfSource(p.Source);
  TTdrChannelNodes& c = TdrChannel(channel);
  if (!c.Calibrated && !c.Warned) {
    c.Warned = true;
    const std::string mode = p.Mode == rmTDR ? "TDR" : "TDT";
    Dialogs().Inform(TMessageKind::Warning, FormatLangStr("CalCorBeforeMeas", mode, mode, channel - 1));
    return false;
  }
  const TTdrSourceNodes& n = TdrSettings().Sources[p.Source];
  const std::optional<TIndexWindow> w =
      MarginWindow(rec, n.LeftMargins->GetIntValue(), n.RightMargins->GetIntValue());
  TFoundValue found{UndefinedValue, 0};
  if (w) {
    if (p.Mode == rmTDR) {
      found = MeasureReflection(rec, *w, c.BaseLine->GetValue(), c.RefAmpl->GetValue(),
                                c.Polar->GetIndex() == 1, p.Param == tpMaxReflect);
    } else if (p.Param == tpPropDelay) {
      if (!State.Work) State.Work = std::make_unique<TSignalObj>();
      found = MeasurePropDelay(rec, *w, c.RefPlane->GetValue(), *State.Work);
    } else {
      found = MeasureGain(rec, *w);
      if (p.Param == tpDbGain && !IsUndefined(found.Value)) found.Value = RatioToDb(found.Value);
    }
  }
  p.Value = found.Value;
  p.ValueText = ValueText(p, p.Value);
  // An undefined result says nothing about the spread of the defined ones.
  if (!IsUndefined(p.Value)) p.Stat.AddOne(p.Value);
  if (w) AnchorLabels(p, rec, c, found, *w);
  return true;
}

TColorRef LineColour(const TReflectParam& p) { return GetDisplaySourceRGB(p.Trace); }

void ShowLineValues(int line) {
  const TReflectParam* p = ReflectLine(CurrentReflectMode(), line);
  TNizText* strip = Strip();
  if (!p || !strip || line >= kReflectLinesPerMode) return;
  const TColorRef colour = LineColour(*p);
  const auto put = [&](int column, const std::string& text) {
    strip->WriteLine(text, TNizText::GetLineCellRect(line, column), column == 2 ? line : -1, colour);
  };
  const TModedStat& st = p->Stat;
  char count[24];
  std::snprintf(count, sizeof count, "%5lld", static_cast<long long>(st.Count()));
  put(2, p->ValueText);
  put(3, count);
  const auto stat = [&](double v) { return st.Count() > 0 ? ValueText(*p, v) : std::string(); };
  put(4, stat(st.Min()));
  put(5, stat(st.Max()));
  put(6, stat(st.Mean()));
  put(7, st.Count() == 1 ? GetLangStr("Undefined") : stat(st.StdDev()));
}

// --- the pass ---

void SourcePass(int source) {
  const TTraceId trace = TdrSourceTrace(source);
  TSignalObj& rec = SignalObjs()[trace];
  if (FlagOfScalesChange.ScaleChanged(trace)) {
    const TTdrSourceNodes& n = TdrSettings().Sources[static_cast<size_t>(source)];
    n.LeftMargins->NotifySwitchers();
    n.RightMargins->NotifySwitchers();
  }
  if (Strip()) {
    if (!State.LinesShown) ShowReflectParamLines();
    const uint8_t mode = CurrentReflectMode();
    for (int line = 0; line < ReflectLineCount(mode); ++line) {
      TReflectParam& p = *ReflectLine(mode, line);
      if (p.Source != source || !ComputeLine(p, rec)) continue;
      if (MeasState.Ann.SelectedParamLine == line) {
        SetAnnVisible(p.Annotations, !IsUndefined(p.Value));
        ShowAnnotations(p.Annotations);
      }
      ShowLineValues(line);
    }
  }
  // The measurement unit keeps the other flag.
  rec.ClearChangedB();
}

void PaintMargins() {
  const TTdrSettingsState& s = TdrSettings();
  if (!ScopeCRT || !s.ViewMargins->IsOn()) return;
  const int source = s.Source->GetIndex();
  const TTraceId trace = TdrSourceTrace(source);
  if (!SignalsOn.IsOn(trace)) return;
  if (T_TDR_MarginsLayer* layer = ScopeCRT->CreateTDRMarginsLayer(trace)) {
    const TTdrSourceNodes& n = s.Sources[static_cast<size_t>(source)];
    layer->PaintMargins(n.LeftMargins->GetIntValue(), n.RightMargins->GetIntValue());
  }
}

void RemoveOverlays() {
  if (!ScopeCRT) return;
  ScopeCRT->DeleteMarkerLayer(1);
  ScopeCRT->DeleteMarkerLayer(2);
}

void SetMeasureNodesDisabled(bool disabled) {
  TTdrSettingsState& s = TdrSettings();
  s.Source->SetDisabled(disabled);
  s.ViewMargins->SetDisabled(disabled);
  for (const TTdrSourceNodes& n : s.Sources)
    for (THandler* h : {static_cast<THandler*>(n.TdrParams), static_cast<THandler*>(n.TdtParams),
                        static_cast<THandler*>(n.LeftMargins), static_cast<THandler*>(n.RightMargins)})
      h->SetDisabled(disabled);
}

void SwitchMeasureOff() {
  TOnOffHandler* measure = TdrSettings().Measure;
  if (measure && measure->IsOn()) measure->SetOnByProgram(false);
}

}  // namespace

TReflectParam::TReflectParam(uint8_t mode, uint8_t source, uint8_t param)
    : Mode(mode), Value(UndefinedValue), Trace(TdrSourceTrace(source)), Source(source), Param(param) {
  Stat.Reset();
  Annotations.Clear();
}

// --- the routines ---

std::optional<TIndexWindow> MarginWindow(const TSignalObj& rec, double leftX, double rightX) {
  const int n = rec.GetRecLen();
  const double first = std::ceil(rec.ScreenXToIndex(leftX) - 1e-9);
  const double last = std::floor(rec.ScreenXToIndex(rightX) + 1e-9);
  // A window beside the record, or one narrower than a point, holds nothing of it.
  if (n <= 0 || !(first <= last) || last < 0 || first > n - 1) return std::nullopt;
  return TIndexWindow{static_cast<int>(std::max(first, 0.0)),
                      static_cast<int>(std::min<double>(last, n - 1))};
}

TFoundValue MeasureReflection(const TSignalObj& rec, TIndexWindow w, double baseLine, double refAmpl,
                              bool negative, bool maximum) {
  if (refAmpl == 0) return {UndefinedValue, w.First};
  const double s = negative ? -1 : 1;
  int found = w.First;
  double extreme = s * rec.GetStoredY(w.First);
  for (int i = w.First + 1; i <= w.Last; ++i) {
    const double v = s * rec.GetStoredY(i);
    if (maximum ? v > extreme : v < extreme) {
      extreme = v;
      found = i;
    }
  }
  return {(extreme - s * baseLine) / refAmpl * 100, found};
}

TFoundValue MeasureGain(const TSignalObj& rec, TIndexWindow w) {
  const double amp = rec.GetTdrAmplitude();
  if (amp == 0) return {UndefinedValue, w.First};
  const double s = amp < 0 ? -1 : 1;
  int found = w.First;
  for (int i = w.First + 1; i <= w.Last; ++i)
    if (s * rec.GetStoredY(i) > s * rec.GetStoredY(found)) found = i;
  return {(rec.GetStoredY(found) - rec.GetTdrBase()) / amp, found};
}

TFoundValue MeasurePropDelay(const TSignalObj& rec, TIndexWindow w, double refPlane, TSignalObj& work) {
  if (rec.GetDX() == 0) return {UndefinedValue, w.First};
  const double s = rec.GetTdrAmplitude() < 0 ? -1 : 1;
  // The edge in volts, whatever unit the record shows.
  work.Assign(rec);
  work.SetRaw(true);
  MathUnaryOp(work, work, moDif_al);
  MathBinaryOp(work, work, work, s * 1e-9, true, moMult);
  SmoothSignal(work, work, kPropDelaySmoothing);
  int found = w.First;
  for (int i = w.First + 1; i <= w.Last; ++i)
    if (work.GetStoredY(i) > work.GetStoredY(found)) found = i;
  return {rec.IndexToX(found) - refPlane, found};
}

// --- the lines ---

int ReflectLineCount(uint8_t mode) {
  if (mode != rmTDR && mode != rmTDT) return 0;
  return State.Counts[ModeSlot(mode)];
}

TReflectParam* ReflectLine(uint8_t mode, int line) {
  if (line < 0 || line >= ReflectLineCount(mode)) return nullptr;
  return State.Lines[ModeSlot(mode)][static_cast<size_t>(line)].get();
}

uint8_t CurrentReflectMode() {
  if (!IsTDRActive()) return 0;
  return IsTDRMode() ? rmTDR : rmTDT;
}

std::string ReflectParamTitle(const TReflectParam& p) {
  static constexpr const char* kTdrKeys[] = {"MinReflect", "MaxReflect"};
  static constexpr const char* kTdtKeys[] = {"tdtPropDelay", "tdtpGain", "tdtpGainDb"};
  const char* key =
      p.Mode == rmTDR ? kTdrKeys[std::min<int>(p.Param, 1)] : kTdtKeys[std::min<int>(p.Param, 2)];
  return GetLangStr(key) + " (" + TraceDisplayName(p.Trace) + ")";
}

void AddReflectParam(uint8_t mode, uint8_t source, uint8_t param) {
  if (mode != rmTDR && mode != rmTDT) return;
  const size_t m = ModeSlot(mode);
  for (int line = 0; line < State.Counts[m]; ++line) {
    const TReflectParam& p = *State.Lines[m][static_cast<size_t>(line)];
    if (p.Source == source && p.Param == param) return;
  }
  if (State.Counts[m] >= kReflectLinesPerMode) {
    // Through its check item, so that the control follows.
    const TReflectParam& first = *State.Lines[m][0];
    ParamSet(mode, first.Source)->SetButtonByProgram(first.Param, false);
  }
  const int line = State.Counts[m]++;
  State.Lines[m][static_cast<size_t>(line)] = std::make_unique<TReflectParam>(mode, source, param);
  State.LinesShown = false;
  if (mode == CurrentReflectMode()) SetupLineAnnotations(line);
}

void RemoveReflectParam(uint8_t mode, uint8_t source, uint8_t param) {
  if (mode != rmTDR && mode != rmTDT) return;
  const size_t m = ModeSlot(mode);
  auto& lines = State.Lines[m];
  for (int line = 0; line < State.Counts[m]; ++line) {
    const TReflectParam& p = *lines[static_cast<size_t>(line)];
    if (p.Source != source || p.Param != param) continue;
    for (int k = line; k + 1 < State.Counts[m]; ++k)
      lines[static_cast<size_t>(k)] = std::move(lines[static_cast<size_t>(k + 1)]);
    lines[static_cast<size_t>(--State.Counts[m])].reset();
    State.LinesShown = false;
    if (mode == CurrentReflectMode()) ReleaseAnnotations(line);
    return;
  }
}

void TDRMeasurePass() {
  if (!MeasureOn()) return;
  for (int source = 0; source < kTdrSourceCount; ++source) {
    const TTraceId trace = TdrSourceTrace(source);
    if (SignalsOn.IsOn(trace) && SignalObjs()[trace].GetChangedB()) SourcePass(source);
  }
  PaintMargins();
}

void InvalidateReflectParamLabels() {
  for (auto& mode : State.Lines)
    for (auto& p : mode) {
      if (!p) continue;
      for (int n = 1; n <= kAnnLabelCount; ++n) p->Annotations[n].AnchorX = kAnnNotPlaced;
    }
}

void ShowReflectParamLines() {
  State.LinesShown = true;
  TNizText* strip = Strip();
  const bool on = MeasureOn();
  // The strip of another readout stays as it is.
  if (!strip || (!on && !State.StripHeld)) return;
  strip->Clear();
  State.StripHeld = on;
  if (!on) return;
  ShowStatisticsHeader(0);
  const uint8_t mode = CurrentReflectMode();
  for (int line = 0; line < std::min(ReflectLineCount(mode), kReflectLinesPerMode); ++line) {
    const TReflectParam& p = *ReflectLine(mode, line);
    strip->WriteLine(ReflectParamTitle(p), TNizText::GetLineCellRect(line, 1), -1, LineColour(p));
    if (p.Stat.Count() > 0) ShowLineValues(line);
  }
}

void TdrMeasureChanged() {
  TTdrSettingsState& s = TdrSettings();
  if (!s.Measure) return;
  const bool on = s.Measure->IsOn();
  if (on) SwitchOffOtherAnalyses(kTdrMenuId);
  SetMeasureNodesDisabled(!on);
  InvalidateReflectParamLabels();
  // A mode change with the measurements off leaves the other readouts alone.
  if (!MeasureOn() && !State.StripHeld) return;
  ClearAllAnnotations();
  MeasState.Ann.SelectedParamLine = -1;
  RemoveOverlays();
  ShowReflectParamLines();
}

void TdrViewMarginsChanged() {
  if (TdrSettings().ViewMargins->IsOn()) {
    if (MeasureOn()) PaintMargins();
  } else if (ScopeCRT) {
    ScopeCRT->DeleteMarkerLayer(1);
  }
}

void TdrParamsChanged(THandler& h) {
  const TTdrSettingsState& s = TdrSettings();
  auto& set = static_cast<TCheckSwHandler&>(h);
  for (int source = 0; source < kTdrSourceCount; ++source) {
    const TTdrSourceNodes& n = s.Sources[static_cast<size_t>(source)];
    if (&h != n.TdrParams && &h != n.TdtParams) continue;
    const uint8_t mode = &h == n.TdrParams ? rmTDR : rmTDT;
    const auto source8 = static_cast<uint8_t>(source);
    if (set.GetLastState())
      AddReflectParam(mode, source8, set.GetLastButton());
    else
      RemoveReflectParam(mode, source8, set.GetLastButton());
  }
  ShowReflectParamLines();
}

TPopupMenu BuildReflectParamPopupMenu(int line) {
  TPopupMenu menu;
  const TReflectParam* p = ReflectLine(CurrentReflectMode(), line);
  if (!p) return menu;
  const bool shown = MeasState.Ann.SelectedParamLine == line;
  const bool margins = TdrSettings().ViewMargins->IsOn();
  menu.Items.push_back({"AllVisible", ReflectParamTitle(*p), margins && shown, true});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"Annot", GetLangStr("pumpSetAnnotation"), shown, true});
  menu.Items.push_back(
      {"DelAnnot", GetLangStr("pumpDelAnnotations"), false, MeasState.Ann.SelectedParamLine >= 0});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"DefParam", GetLangStr("pumpViewDefParams"), margins, !margins});
  menu.Items.push_back({"DelDefParam", GetLangStr("pumpUnViewDefPars"), false, margins});
  menu.Items.push_back({"-", "", false, true});
  menu.Items.push_back({"Remove", GetLangStr("pumpRemoveParam"), false, true});
  menu.Items.push_back({"RemoveAll", GetLangStr("pumpRemoveAll"), false, true});
  return menu;
}

void ReflectParamPopupCommand(const std::string& item, int line) {
  const uint8_t mode = CurrentReflectMode();
  const TReflectParam* p = ReflectLine(mode, line);
  if (!p) return;
  TOnOffHandler* margins = TdrSettings().ViewMargins;
  const auto uncheck = [&](const TReflectParam& q) {
    ParamSet(mode, q.Source)->SetButtonByProgram(q.Param, false);
  };
  if (item == "AllVisible") {
    margins->SetOnByProgram(true);
    SetupLineAnnotations(line);
  } else if (item == "Annot") {
    SetupLineAnnotations(line);
  } else if (item == "DelAnnot") {
    ReleaseAnnotations(MeasState.Ann.SelectedParamLine);
  } else if (item == "DefParam" || item == "DelDefParam") {
    margins->SetOnByProgram(item == "DefParam");
  } else if (item == "Remove") {
    uncheck(*p);
  } else if (item == "RemoveAll") {
    for (int k = ReflectLineCount(mode) - 1; k >= 0; --k) uncheck(*ReflectLine(mode, k));
  }
}

void ResetTdrMeasureState() { State = {}; }

void InstallTdrMeasure() {
  AcqHooks.TDRMeasurePass.Set(TDRMeasurePass);
  DisplayHooks.TdrMeasureOn.Set(MeasureOn);
  DisplayHooks.TdrMeasureLineCount.Set([] { return ReflectLineCount(CurrentReflectMode()); });
  DisplayHooks.BuildReflectParamPopupMenu.Set(BuildReflectParamPopupMenu);
  DisplayHooks.ReflectParamPopupCommand.Set(ReflectParamPopupCommand);
  // A margin dragged on the screen moves the margin of the source measured.
  DisplayHooks.TdrMarginDragged.Set([](bool right, int units) {
    const TTdrSettingsState& s = TdrSettings();
    if (!s.Source) return;
    const TTdrSourceNodes& n = s.Sources[s.Source->GetIndex()];
    (right ? n.RightMargins : n.LeftMargins)->SetValueByProgram(units);
  });
  SetAnalysisSwitchOff(kTdrMenuId, SwitchMeasureOff);
}

}  // namespace norv
