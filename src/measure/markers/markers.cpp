#include "measure/markers/markers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/traces/display_sources.h"
#include "framework/traces/scale_change_flags.h"
#include "framework/util/errors.h"
#include "framework/util/numeric_utils.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/startup/dispatchers.h"

namespace norv {

TMarkHooks MarkHooks;

namespace {

TMarkState State;
const TProgramUnit StateUnit("markers", ResetMarkState);
const TProgramUnit HooksUnit("marker hooks", [] { MarkHooks = {}; });

constexpr const char* kSourceList = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";
// Stands for a ratio whose reference or divisor is 0.
constexpr double kNoRatio = 1.234567e95;
constexpr TColorRef kGrey = 0x808080;
constexpr const char* kMicro = "\xC2\xB5";
constexpr const char* kDegree = "\xC2\xB0";
// Readout columns of the bottom strip.
constexpr int kColumnX = 1;
constexpr int kColumnY = 2;
constexpr int kColumnRef = 4;
// Screen X spans 0..4096 over a record's shown points; a marker lies within 0..4000.
constexpr int kShownWidth = 4096;
constexpr int kMaxXPos = 4000;

struct TCellPlace {
  int Column, Row;
};
constexpr std::array<TCellPlace, mcCount> kCellPlaces = {{{kColumnX, 1},
                                                          {kColumnX, 2},
                                                          {kColumnY, 1},
                                                          {kColumnY, 2},
                                                          {kColumnX, 3},
                                                          {kColumnX, 4},
                                                          {kColumnY, 3},
                                                          {kColumnY, 4},
                                                          {kColumnRef, 1},
                                                          {kColumnRef, 2},
                                                          {kColumnRef, 3},
                                                          {kColumnRef, 4}}};

// Only traces with a waveform record can carry a marker: a command naming another is
// refused.
class TMarkSourceHandler final : public TSignalSourceSwHandler {
 public:
  using TSignalSourceSwHandler::TSignalSourceSwHandler;
  void SetSourceIndex(int index) override {
    if (index >= 0 && index < kRecordTraceCount) TSignalSourceSwHandler::SetSourceIndex(index);
  }

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override {
    if (!isQuery && !SameTextAscii(param, "ENABLED")) {
      const int index = FindItem(Items(), param);
      if (index >= kRecordTraceCount) return "ERROR";
    }
    return TSignalSourceSwHandler::Execute(param, isQuery, replay);
  }
};

// Sets a flag for a scope, also when a callback raises.
class TFlagScope {
 public:
  TFlagScope(bool& flag, bool value) : flag_(flag), saved_(std::exchange(flag, value)) {}
  ~TFlagScope() { flag_ = saved_; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

TMarkerNodes& Nodes(int n) { return State.Markers.at(static_cast<size_t>(n - 1)); }
int XPos(int n) { return GetIntValue(Nodes(n).XPos); }
int YPos(int n) { return GetIntValue(Nodes(n).YPos); }
const TSignalObj& Record(int n) { return SignalObjs()[MarkerSource(n)]; }
bool SourceShown(int n) { return IsSourceShown(TraceIndex(MarkerSource(n))); }
bool DatabaseShown() { return DisplaySettings().DataBaseExist.Exists; }
TScopeCRT* Crt() { return ScopeCRT.get(); }
bool HasX(TMarkType type) { return type == mtMX || type == mtXY; }
bool HasY(TMarkType type) { return type == mtMY || type == mtXY; }

int ShownCount(const TSignalObj& record) { return std::max(1, record.GetShownCount()); }
// Screen units between two points of the source, at least 1.
int PointStep(int n) { return std::max(1, kShownWidth / ShownCount(Record(n))); }
// The shown point under XPos.
int ShownPointIndex(int n) {
  const int shown = ShownCount(Record(n));
  return RoundClamped(XPos(n) / static_cast<double>(kShownWidth) * shown, 0, shown - 1);
}

std::string Eng(double value, int digits) {
  return FloatToEngStr(vfEngineering, digits, false, value, false);
}
std::string General(double value) { return FloatToEngStr(vfGeneral, 3, false, value, false); }
std::string UndefinedText() { return FloatToEngStr(vfEngineering, 6, false, UndefinedValue, false); }
// A ratio, or kNoRatio when there is none (a zero or undefined divisor).
double Ratio(double numerator, double denominator) {
  if (denominator == 0 || numerator <= UndefinedValue || denominator <= UndefinedValue) return kNoRatio;
  return numerator / denominator;
}

// --- layers ---

bool IsMarkerLayer(const TMarkerLayer* layer) {
  return dynamic_cast<const T_X_MarkerLayer*>(layer) != nullptr ||
         dynamic_cast<const T_Y_MarkerLayer*>(layer) != nullptr;
}

// Frees slot n only when a marker holds it, so that switching the markers off leaves the
// overlay of another analysis alone.
void RemoveOwnLayer(int n) {
  if (TScopeCRT* crt = Crt(); crt && IsMarkerLayer(crt->OverlayLayer(n))) crt->DeleteMarkerLayer(n);
}

// --- readout ---

TParamOfBothMarkers FillParams() {
  TParamOfBothMarkers p;
  p.MarkType = GetMarkType();
  for (int n = 1; n <= 2; ++n) {
    TParamOfMarker& m = p.Markers[n - 1];
    m.Source = MarkerSource(n);
    m.SourceShown = SourceShown(n);
    m.Color = GetDisplaySourceRGB(m.Source);
    m.HorUnit = Record(n).GetHorUnit();
    m.VertUnit = Record(n).GetVertUnitTextFull();
  }
  return p;
}

bool MarkersCompatible(const TParamOfBothMarkers& p) {
  const TParamOfMarker& a = p.Markers[0];
  const TParamOfMarker& b = p.Markers[1];
  if (!a.SourceShown || !b.SourceShown) return false;
  if (HasX(p.MarkType) && a.HorUnit != b.HorUnit) return false;
  return !HasY(p.MarkType) || a.VertUnit == b.VertUnit;
}

bool ReciprocalOffered(const TParamOfBothMarkers& p) {
  const std::string& unit = p.Markers[0].HorUnit;
  return unit == "s" || unit == "Hz";
}

// The caption of a readout cell, by column and row 1..4.
const char* CellCaption(int column, int row) {
  static constexpr const char* kX[] = {"XM1 =", "XM2 =", "dXM =", "1 / dXM ="};
  static constexpr const char* kY[] = {"YM1 =", "YM2 =", "dYM =", "dYM / dXM ="};
  static constexpr const char* kRef[] = {"dXM = ", "dXM = ", "dYM = ", "dYM = "};
  const auto r = static_cast<size_t>(row - 1);
  return column == kColumnX ? kX[r] : column == kColumnY ? kY[r] : kRef[r];
}

void DrawCell(TNizText& strip, int column, int row, bool caption, const std::string& text, TColorRef color) {
  const char* cellCaption = CellCaption(column, row);
  TRect r = caption ? strip.MarkCaptionRect(row, column, cellCaption)
                    : strip.MarkValueRect(row, column, cellCaption);
  // The third column of the table stays empty: a Y value may run on to the reference one.
  if (!caption && column == kColumnY) r.Right = TNizText::GetMarkCellRect(row, kColumnRef, true).Left - 1;
  strip.WriteLine(text, r, -1, color);
}

void DrawCaption(TNizText& strip, int column, int row, TColorRef color) {
  DrawCell(strip, column, row, true, CellCaption(column, row), color);
}

// Keeps the cell's text and draws it when the strip does not show it yet.
void PutCell(TNizText* strip, TMarkCell cell, const std::string& text, TColorRef color) {
  if (text != State.Texts[cell]) {
    State.Texts[cell] = text;
    State.Drawn.reset(cell);
  }
  if (strip == nullptr || State.Drawn.test(cell)) return;
  DrawCell(*strip, kCellPlaces[cell].Column, kCellPlaces[cell].Row, false, text, color);
  State.Drawn.set(cell);
}

std::string SlopeText(double slope, const TParamOfBothMarkers& p) {
  if (slope == kNoRatio) return UndefinedText();
  const std::string& hor = p.Markers[0].HorUnit;
  const std::string& vert = p.Markers[0].VertUnit;
  if (hor == "Hz") return Eng(slope * 1e9, 5) + vert + " / GHz";
  if (hor == "s") return Eng(slope / 1e6, 5) + vert + " / " + kMicro + "s";
  return Eng(slope, 5) + vert + " / " + hor;
}

// Computes every result and the texts of their cells; draws those that changed when a
// strip is given.
void BuildMarkerReadout(TNizText* strip) {
  const TParamOfBothMarkers p = FillParams();
  if (p.MarkType == mtOff) return;
  auto& v = State.Values;
  for (int n = 1; n <= 2; ++n) {
    const TParamOfMarker& m = p.Markers[n - 1];
    if (!m.SourceShown) continue;
    if (HasX(p.MarkType)) {
      v[mrXM1 + n - 1] = MarkerXValue(n);
      PutCell(strip, static_cast<TMarkCell>(mcXM1 + n - 1), Eng(v[mrXM1 + n - 1], 6) + m.HorUnit, m.Color);
    }
    if (HasY(p.MarkType)) {
      v[mrYM1 + n - 1] = p.MarkType == mtMY ? MarkerYValue(n) : MarkerYAtX(n);
      PutCell(strip, static_cast<TMarkCell>(mcYM1 + n - 1), Eng(v[mrYM1 + n - 1], 6) + m.VertUnit, m.Color);
    }
  }
  if (!MarkersCompatible(p)) return;
  const TParamOfMarker& m1 = p.Markers[0];
  const TColorRef color = m1.Source == p.Markers[1].Source ? m1.Color : kGrey;
  if (HasX(p.MarkType)) {
    v[mrDX] = v[mrXM2] - v[mrXM1];
    PutCell(strip, mcDX, Eng(v[mrDX], 6) + m1.HorUnit, color);
    if (ReciprocalOffered(p)) {
      const std::string inverse = m1.HorUnit == "s" ? "Hz" : "s";
      PutCell(strip, mcInvDX, v[mrDX] == 0 ? UndefinedText() : Eng(std::abs(1 / v[mrDX]), 6) + inverse,
              color);
    }
  }
  if (HasY(p.MarkType)) {
    v[mrDY] = v[mrYM2] - v[mrYM1];
    PutCell(strip, mcDY, Eng(v[mrDY], 6) + m1.VertUnit, color);
  }
  if (p.MarkType == mtXY) {
    v[mrSlope] = Ratio(v[mrDY], v[mrDX]);
    PutCell(strip, mcSlope, SlopeText(v[mrSlope], p), color);
  }
  if (!IsOn(State.Refer)) return;
  if (HasX(p.MarkType)) {
    const double r = v[mrRefX] = Ratio(v[mrDX], State.RefDX);
    PutCell(strip, mcRefXPercent, r == kNoRatio ? UndefinedText() : General(r * 100) + "%", color);
    PutCell(strip, mcRefXDegrees, r == kNoRatio ? UndefinedText() : General(r * 360) + kDegree, color);
  }
  if (HasY(p.MarkType)) {
    const double r = v[mrRefY] = Ratio(v[mrDY], State.RefDY);
    PutCell(strip, mcRefYPercent, r == kNoRatio ? UndefinedText() : General(r * 100) + "%", color);
    // A difference of 0 has no level either.
    const std::optional<double> dB = r == kNoRatio ? std::nullopt : QuotientToDb(v[mrDY], State.RefDY);
    PutCell(strip, mcRefYDb, dB ? General(*dB) + "dB" : UndefinedText(), color);
  }
}

void WriteMarkerCaptions(TNizText& strip, const TParamOfBothMarkers& p) {
  for (int n = 1; n <= 2; ++n) {
    const TParamOfMarker& m = p.Markers[n - 1];
    if (strip.GetCaptionsShown(n) || !m.SourceShown) continue;
    if (HasX(p.MarkType)) DrawCaption(strip, kColumnX, n, m.Color);
    if (HasY(p.MarkType)) DrawCaption(strip, kColumnY, n, m.Color);
    strip.SetCaptionsShown(n, true);
  }
  if (MarkersCompatible(p) && !State.DifferenceCaptionsDrawn) {
    const TParamOfMarker& m1 = p.Markers[0];
    const TColorRef color = m1.Source == p.Markers[1].Source ? m1.Color : kGrey;
    if (HasX(p.MarkType)) {
      DrawCaption(strip, kColumnX, 3, color);
      if (ReciprocalOffered(p)) DrawCaption(strip, kColumnX, 4, color);
    }
    if (HasY(p.MarkType)) DrawCaption(strip, kColumnY, 3, color);
    if (p.MarkType == mtXY) DrawCaption(strip, kColumnY, 4, color);
    if (IsOn(State.Refer)) {
      for (int row = 1; row <= 2 && HasX(p.MarkType); ++row) DrawCaption(strip, kColumnRef, row, color);
      for (int row = 3; row <= 4 && HasY(p.MarkType); ++row) DrawCaption(strip, kColumnRef, row, color);
    }
    State.DifferenceCaptionsDrawn = true;
  }
  strip.SetReadoutsShown(true);
}

// --- "Mark:Result" ---

std::string Kept(TMarkCell cell) { return State.Texts[cell].empty() ? UndefinedText() : State.Texts[cell]; }

std::string ResultText(const std::string& arg) {
  const TMarkType type = GetMarkType();
  if (type == mtOff) return "Markers OFF";
  std::string text;
  const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
  if (arg == "M1" || arg == "M2") {
    const int i = arg == "M1" ? 0 : 1;
    if (HasX(type)) add("XM" + arg.substr(1) + " = " + Kept(static_cast<TMarkCell>(mcXM1 + i)));
    if (HasY(type)) add("YM" + arg.substr(1) + " = " + Kept(static_cast<TMarkCell>(mcYM1 + i)));
  } else if (arg == "DM") {
    if (HasX(type)) add("dXM = " + Kept(mcDX) + "; 1/dXM = " + Kept(mcInvDX));
    if (HasY(type)) add("dYM = " + Kept(mcDY));
    if (type == mtXY) add("dYM/dXM = " + Kept(mcSlope));
  } else if (arg == "REF") {
    if (!IsOn(State.Refer)) return "Reference OFF";
    if (HasX(type)) add("dXM = " + Kept(mcRefXPercent) + "; dXM = " + Kept(mcRefXDegrees));
    if (HasY(type)) add("dYM = " + Kept(mcRefYPercent) + "; dYM = " + Kept(mcRefYDb));
  } else {
    return "Argument Error";
  }
  return text;
}

void ResultCommand(const std::string& param, bool isQuery, uint8_t, std::string& reply) {
  if (!isQuery) return;
  std::string arg = UpperAscii(TrimBlanks(param));
  if (arg.empty()) arg = "M1";
  reply = (HeaderOn() ? ":" + EchoedInput(arg) + "  " : std::string()) + ResultText(arg);
}

// --- node callbacks ---

void MarkTypeChanged() {
  const TMarkType type = GetMarkType();
  if (type == mtXY && DatabaseShown()) {
    State.Type->SetIndexByProgram(mtMX);
    return;  // that change has done the rest
  }
  if (type != mtOff) SwitchOffOtherAnalyses(kMarkersMenuCode);
  ApplyMarkerType();
  ClearMarkerValues();
  RemoveOwnLayer(1);
  RemoveOwnLayer(2);
  if (type == mtXY) {
    const TFlagScope stepping(State.Stepping, true);
    for (int n = 1; n <= 2; ++n) {
      const int step = PointStep(n);
      Nodes(n).XPos->SetValueByProgram(RoundClamped(XPos(n) / static_cast<double>(step), 0, kShownWidth) *
                                       step);
    }
  }
  MarkHooks.UpdateTDRMarkerUnits();
}

// Paired motion: marker 2 follows a move of marker 1 by the user (a drag counts as the
// user's); any other move of the user's sets the distances anew. A setup or undo line
// brings every node's own value.
void FollowPairedMotion(int n, TWhoChanged who) {
  if (who == wcvReplay || (who == wcvProgram && !State.Dragging)) return;
  if (GetIndex(State.Motion) == 1 && n == 1) {
    const TFlagScope notDragging(State.Dragging, false);
    Nodes(2).XPos->SetValueByProgram(XPos(1) + State.PairDX);
    Nodes(2).YPos->SetValueByProgram(YPos(1) + State.PairDY);
  } else {
    State.PairDX = XPos(2) - XPos(1);
    State.PairDY = YPos(2) - YPos(1);
  }
}

void MarkerXChanged(int n, THandler& h) {
  const TWhoChanged who = h.GetWhoChangedRaw();
  const int old = State.OldX[n - 1];
  const int now = XPos(n);
  // A cross moves by whole points of its source, at least one per change.
  if (GetMarkType() == mtXY && !State.Stepping && who != wcvReplay && now != old) {
    const int step = PointStep(n);
    int d = std::abs(now - old);
    d = d >= step ? (d + step / 2) / step * step : step;
    const TFlagScope stepping(State.Stepping, true);
    Nodes(n).XPos->SetValueByProgram(now > old ? old + d : old - d);
  }
  State.OldX[n - 1] = XPos(n);
  ShowMarker(n);
  FollowPairedMotion(n, who);
  MarkHooks.ShowTDRExcessLC();
}

void MarkerYChanged(int n, THandler& h) {
  ShowMarker(n);
  FollowPairedMotion(n, h.GetWhoChangedRaw());
  MarkHooks.ShowTDRExcessLC();
}

void MarkSourceChanged(int n) {
  if (GetMarkType() != mtOff) {
    ApplyMarkerType();
    if (SourceShown(n)) ClearMarkerValues();
    RemoveOwnLayer(n);
    ShowMarker(n);
  }
  // The position texts are the new source's time and value.
  Nodes(n).XPos->NotifySwitchers();
  Nodes(n).YPos->NotifySwitchers();
  MarkHooks.UpdateTDRMarkerUnits();
}

void TakeReference() {
  // From the present positions, also when no readout has run since they moved.
  BuildMarkerReadout(nullptr);
  State.RefDX = State.Values[mrDX];
  State.RefDY = State.Values[mrDY];
}

void MarkReferChanged() {
  TakeReference();
  ClearMarkerValues();
  if (State.SetRef) State.SetRef->SetDisabled(!(GetMarkType() != mtOff && IsOn(State.Refer)));
  UpdateMarkerReadout();
}

void SetMarkerReference() {
  TakeReference();
  UpdateMarkerReadout();
}

void MarkerDragged(int marker, bool vertical, int units) {
  if (marker != 1 && marker != 2) return;
  TIntEditHandler* node = vertical ? Nodes(marker).XPos : Nodes(marker).YPos;
  if (node == nullptr) return;
  const TFlagScope dragging(State.Dragging, true);
  node->SetValueByProgram(units);
}

// The position edits show the source's time and value and take them typed.
void MarkerXText(int n, std::string& text, double value) {
  const TSignalObj& r = Record(n);
  text = Eng(r.ScreenXToX(value), 6) + r.GetHorUnit();
}
void MarkerYText(int n, std::string& text, double value) {
  const TSignalObj& r = Record(n);
  text = Eng(r.ScreenYToValue(value), 6) + r.GetVertUnitTextFull();
}
void TimeToScreenX(int n, double& value) {
  const TSignalObj& r = Record(n);
  value = r.IndexToScreenX(r.XToIndex(value));
}
void ValueToScreenY(int n, double& value) { value = Record(n).ValueToScreenY(value); }

}  // namespace

TMarkState& MarkSettings() { return State; }
void ResetMarkState() { State = {}; }

// --- registration ---

void RegisterMarkHandlers() {
  TSpider& root = *RootSpider;
  State.Type = root.AddRadioSw(mtOff, "Mark:Type", "Off,MX,MY,XY", [](THandler&) { MarkTypeChanged(); });
  uint32_t excluded = 0;
  for (int id = kRecordTraceCount; id < kTraceIdCount; ++id) excluded |= 1u << id;
  for (int n = 1; n <= 2; ++n) {
    const std::string path = "Mark:M" + std::to_string(n) + ":Source";
    Nodes(n).Source = static_cast<TSignalSourceSwHandler*>(
        root.AddItem(path, std::make_unique<TMarkSourceHandler>(TTraceId::Ch1, kSourceList, excluded,
                                                                [n](THandler&) { MarkSourceChanged(n); })));
  }
  const auto colour = static_cast<uint8_t>(TTraceId::Ch1);
  for (int n = 1; n <= 2; ++n) {
    const std::string path = "Mark:M" + std::to_string(n) + ":XPos";
    // clang-format off
    Nodes(n).XPos = root.AddIntEdit({
        .Path = path, .Value = n == 1 ? 1000 : 3000, .Digits = 6, .ColourSource = colour,
        .Min = 0, .Mid = 2000, .Max = kMaxXPos,
        .CoarseRule = srLinear, .CoarseStep = 40, .FineRule = srLinear, .FineStep = 1,
        .OnChange = [n](THandler& h) { MarkerXChanged(n, h); },
        .OnGetText = [n](const TEditHandler&, std::string& text, double value) { MarkerXText(n, text, value); },
        .OnBeforeSet = [n](double& value, TEditHandler&) { TimeToScreenX(n, value); },
        .OnBeforeChange = [n](THandler&) { State.OldX[n - 1] = XPos(n); }});
    // clang-format on
  }
  for (int n = 1; n <= 2; ++n) {
    const std::string path = "Mark:M" + std::to_string(n) + ":YPos";
    // clang-format off
    Nodes(n).YPos = root.AddIntEdit({
        .Path = path, .Value = n == 1 ? 300 : 600, .Digits = 6, .ColourSource = colour,
        .Min = 1, .Mid = 512, .Max = 1023,
        .CoarseRule = srLinear, .CoarseStep = 16, .FineRule = srLinear, .FineStep = 1,
        .OnChange = [n](THandler& h) { MarkerYChanged(n, h); },
        .OnGetText = [n](const TEditHandler&, std::string& text, double value) { MarkerYText(n, text, value); },
        .OnBeforeSet = [n](double& value, TEditHandler&) { ValueToScreenY(n, value); }});
    // clang-format on
  }
  for (int n = 1; n <= 2; ++n) State.OldX[n - 1] = XPos(n);
  State.Motion = root.AddRadioSw(0, "Mark:Motion", "Independ,Paired");
  State.Refer = root.AddOnOff(false, "Mark:Refer", [](THandler&) { MarkReferChanged(); });
  State.SetRef = root.AddRightCommand("Mark:SetRef", [](THandler&) { SetMarkerReference(); });
  State.Result = root.AddGpibString("Mark:Result", ResultCommand);
}

void ApplyMarkSettings() {
  if (State.Type) MarkTypeChanged();
}

void InstallMarkers() {
  AcqHooks.MarkType.Set([] { return static_cast<int>(GetMarkType()); });
  AcqHooks.ShowMarker.Set(ShowMarker);
  AcqHooks.RefreshMarkerControls.Set(RefreshMarkerControls);
  AcqHooks.UpdateMarkerReadout.Set(UpdateMarkerReadout);
  DisplayHooks.MarkerDragged.Set(MarkerDragged);
  DisplaySettingsHooks.RefreshMarkerTypes.Set(UpdateMarkTypeOptions);
  SetAnalysisSwitchOff(kMarkersMenuCode, [] {
    if (State.Type) State.Type->SetIndexByProgram(mtOff);
  });
}

// --- queries ---

TMarkType GetMarkType() { return static_cast<TMarkType>(GetIndex(State.Type)); }

TTraceId MarkerSource(int n) {
  const TSignalSourceSwHandler* source = Nodes(n).Source;
  return source && IsRecordTrace(source->GetSource()) ? source->GetSource() : TTraceId::Ch1;
}

double MarkerXValue(int n) { return Record(n).ScreenXToX(XPos(n)); }
double MarkerYValue(int n) { return Record(n).ScreenYToValue(YPos(n)); }
double MarkerYAtX(int n) {
  const TSignalObj& r = Record(n);
  const int i = ShownPointIndex(n);
  // A view that reaches past the record has no point there.
  if (r.GetFirstShown() + i >= kMaxRecLen) return UndefinedValue;
  return r.GetDisplayValue(i);
}

int MarkerPointIndex(int n) { return Record(n).GetFirstShown() + ShownPointIndex(n); }

std::string MarkPositionMnemonics(int n) {
  return "M" + std::to_string(n) + (GetMarkType() == mtMY ? ":YPos" : ":XPos");
}

// --- actions ---

void ShowMarker(int n) {
  if (n != 1 && n != 2) throw EAssertion("??? Bad marker Number !!!");
  TScopeCRT* crt = Crt();
  const TMarkType type = GetMarkType();
  if (crt == nullptr || type == mtOff) return;
  if (!SourceShown(n)) {
    RemoveOwnLayer(n);
    return;
  }
  const TTraceId source = MarkerSource(n);
  if (type == mtMX) {
    if (T_X_MarkerLayer* layer = crt->CreateXMarkerLayer(n, source)) layer->SetPosition(XPos(n));
  } else if (type == mtMY) {
    if (T_Y_MarkerLayer* layer = crt->CreateYMarkerLayer(n, source)) layer->SetPosition(YPos(n));
  } else if (T_XY_MarkerLayer* layer = crt->CreateXYMarkerLayer(n, source)) {
    layer->SetPointIndex(ShownPointIndex(n));
  }
}

void RemoveMarkerLayer(int n) {
  if (TScopeCRT* crt = Crt()) crt->DeleteMarkerLayer(n);
}

void ClearMarkerValues() {
  State.Values.fill(UndefinedValue);
  State.Texts.fill(std::string());
  State.Drawn.reset();
  State.DifferenceCaptionsDrawn = false;
  if (TScopeCRT* crt = Crt()) crt->BottomText().Clear();
}

void ApplyMarkerType() {
  if (!State.Type) return;
  const TMarkType type = GetMarkType();
  const bool on = type != mtOff;
  for (int n = 1; n <= 2; ++n) Nodes(n).Source->SetDisabled(!on || DatabaseShown());
  State.Motion->SetDisabled(!on);
  State.Refer->SetDisabled(!on);
  State.Result->SetDisabled(!on);
  for (int n = 1; n <= 2; ++n) {
    const bool shown = SourceShown(n);
    const auto colour = static_cast<uint8_t>(MarkerSource(n));
    Nodes(n).XPos->SetDisabled(!shown || type == mtMY);
    Nodes(n).YPos->SetDisabled(!shown || type != mtMY);
    Nodes(n).XPos->SetColorSource(colour);
    Nodes(n).YPos->SetColorSource(colour);
  }
  State.SetRef->SetDisabled(!on || !IsOn(State.Refer));
}

void RefreshMarkerControls() {
  if (!State.Type) return;
  ApplyMarkerType();
  for (int n = 1; n <= 2; ++n) {
    if (!FlagOfScalesChange.ScaleChanged(MarkerSource(n))) continue;
    Nodes(n).XPos->NotifySwitchers();
    Nodes(n).YPos->NotifySwitchers();
  }
}

void UpdateMarkerReadout() {
  TScopeCRT* crt = Crt();
  if (crt == nullptr || GetMarkType() == mtOff) return;
  TNizText& strip = crt->BottomText();
  // A strip cleared by someone else shows none of the cells.
  if (!strip.ReadoutsShown()) {
    State.Drawn.reset();
    State.DifferenceCaptionsDrawn = false;
  }
  WriteMarkerCaptions(strip, FillParams());
  BuildMarkerReadout(&strip);
}

void UpdateMarkTypeOptions() {
  if (!State.Type) return;
  const bool database = DatabaseShown();
  State.Type->SetDisabledMask(database ? 1u << mtXY : 0);
  if (database && GetMarkType() == mtXY) {
    State.Type->SetIndexByProgram(mtMX);
  } else if (GetMarkType() != mtOff) {
    ApplyMarkerType();
  }
}

}  // namespace norv
