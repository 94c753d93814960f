#include "display/settings/display_settings.h"

#include <algorithm>
#include <utility>

#include "display/display_hooks.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/traces/display_sources.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"

namespace norv {

TDisplaySettingsHooks DisplaySettingsHooks;

namespace {

TDisplaySettingsState State;
const TProgramUnit StateUnit("display settings", ResetDisplaySettingsState);
const TProgramUnit HooksUnit("display settings hooks", [] { DisplaySettingsHooks = {}; });

constexpr const char* kSourceList = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";
constexpr const char* kStyleList =
    "Dots,Vectors,VarPersist,InfinPers,VarGrayScal,InfGrayScal,VColorGrad,IColorGrad";
constexpr std::array<const char*, 8> kStyleNames = {"Dots",        "Vectors",     "VarPersist", "InfinPers",
                                                    "VarGrayScal", "InfGrayScal", "VColorGrad", "IColorGrad"};
constexpr const char* kFormatList = "YT,2YT,4YT,XY,CombYTXY,Comb2YTXY";
// Persistence that never ends (the layer takes 160000 s and more as infinite).
constexpr double kInfinitePersistence = 1e6;
// Styles 2..7 are not offered for the memory traces.
constexpr uint32_t kMemoryStyleMask = 0xFC;
// The database style offers InfinPers, InfGrayScal and IColorGrad.
constexpr uint32_t kDatabaseStyleMask = 0xFF & ~(1u << 3 | 1u << 5 | 1u << 7);
// "Displ:GradeClr1" .. "Displ:GradeClr5" at the start.
constexpr std::array<int32_t, 5> kGradeDefaults = {0xFFFFFF, 0x00CCFF, 0x4A4AFF, 0xFF3131, 0x00AE00};
constexpr int kScreenSource = 21;

// The ids above `last` (up to None) are not selectable.
constexpr uint32_t ExcludedAbove(TTraceId last) {
  uint32_t mask = 0;
  for (int id = TraceIndex(last) + 1; id < kTraceIdCount; ++id) mask |= 1u << id;
  return mask;
}

TTraceId Trace(int t) { return static_cast<TTraceId>(t); }
bool IsMemoryTrace(int t) { return t >= TraceIndex(TTraceId::M1) && t <= TraceIndex(TTraceId::M4); }
bool IsGradeStyle(TDisplayStyle s) { return s >= TDisplayStyle::VarGrayScal; }
TDisplayStyle StyleOf(int t) { return static_cast<TDisplayStyle>(GetIndex(State.Traces[t].Style)); }
bool Locked() { return GetIndex(State.TraceMode) == 0; }
int SelectedIndex() {
  const int t = State.TraceSel ? TraceIndex(State.TraceSel->GetSource()) : 0;
  return t < kStyledTraceCount ? t : 0;
}

// A source choice that refuses the items it does not offer: a command naming one is
// answered with an error and changes nothing.
class TSelectableSourceHandler final : public TSignalSourceSwHandler {
 public:
  using TSignalSourceSwHandler::TSignalSourceSwHandler;
  void SetSourceIndex(int index) override {
    if (!Offered(index)) return;
    TSignalSourceSwHandler::SetSourceIndex(index);
  }

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override {
    if (!isQuery && !Offered(FindItem(Items(), param))) return "ERROR";
    return TSignalSourceSwHandler::Execute(param, isQuery, replay);
  }

 private:
  bool Offered(int index) const { return index < 0 || index >= 32 || !(GetExcludedMask() & (1u << index)); }
};

TSignalSourceSwHandler* AddSelectableSource(TTraceId source, const std::string& path, uint32_t excluded,
                                            THandlerEvent onChange = {}) {
  return static_cast<TSignalSourceSwHandler*>(RootSpider->AddItem(
      path, std::make_unique<TSelectableSourceHandler>(source, kSourceList, excluded, std::move(onChange))));
}

TScopeCRT* Crt() { return ScopeCRT.get(); }

void RedrawStyleCell() {
  if (TScopeCRT* crt = Crt()) crt->TopText().ShowDisplayStyle();
}

// --- styles and times ---

void UpdateStyleControls() {
  const int t = SelectedIndex();
  const TDisplayStyle s = StyleOf(t);
  const bool grades = s == TDisplayStyle::VColorGrad || s == TDisplayStyle::IColorGrad;
  if (State.GradeDefCol) State.GradeDefCol->SetDisabled(!grades);
  if (!State.DataBaseExist.Exists) {
    TDisplayTraceNodes& n = State.Traces[t];
    if (n.PersistTime) n.PersistTime->SetDisabled(s != TDisplayStyle::VarPersist);
    if (n.RefreshTime)
      n.RefreshTime->SetDisabled(s != TDisplayStyle::VarGrayScal && s != TDisplayStyle::VColorGrad);
  }
  DisplaySettingsHooks.PageStyleChanged();
}

// The persistence time the screen gets: infinite for InfinPers whatever the node holds.
double PersistTimeFor(int t) {
  if (StyleOf(t) == TDisplayStyle::InfinPers) return kInfinitePersistence;
  return GetFloatValue(State.Traces[t].PersistTime);
}

// The refresh time the screen gets: 0 (never) for the infinite grade styles.
double RefreshTimeFor(int t) {
  const TDisplayStyle s = StyleOf(t);
  if (s == TDisplayStyle::InfGrayScal || s == TDisplayStyle::IColorGrad) return 0;
  return GetFloatValue(State.Traces[t].RefreshTime);
}

// The screen control's parameters of trace t from its nodes.
void InitSignalParameters(int t) {
  TScopeCRT* crt = Crt();
  if (!crt) return;
  const TDisplayStyle s = StyleOf(t);
  if (s == TDisplayStyle::VarPersist || s == TDisplayStyle::InfinPers)
    crt->SetPersistTime(Trace(t), PersistTimeFor(t));
  if (IsGradeStyle(s)) {
    crt->SetRefreshTime(Trace(t), RefreshTimeFor(t));
    const bool grey = s == TDisplayStyle::VarGrayScal || s == TDisplayStyle::InfGrayScal;
    crt->SetGradeKind(Trace(t), grey ? 1 : 0);
  }
}

void TraceModeChanged(int source);

// A change from a control or a command spreads in the locked mode. A setup or undo line
// brings every node's own value, so it spreads nothing. The memory traces follow the
// others only as dots, so a change of theirs stays their own.
void Spread(int t, THandler& h) {
  const TWhoChanged who = h.GetWhoChangedRaw();
  if (DisplaySettingsHooks.StartingUp() || who == wcvProgram || who == wcvReplay) return;
  TraceModeChanged(IsMemoryTrace(t) ? -1 : t);
}

void StyleChanged(int t, THandler& h) {
  if (IsMemoryTrace(t) && StyleOf(t) >= TDisplayStyle::VarPersist) {
    State.Traces[t].Style->SetIndexByProgram(0);
    return;  // that change has done the rest
  }
  // Start-up and setup recall: the screen still takes the trace's times and grade kind,
  // and the controls follow the style (every change is forced while no link runs).
  if (ForceNotify) {
    if (t == SelectedIndex()) UpdateStyleControls();
    InitSignalParameters(t);
    return;
  }
  UpdateStyleControls();
  if (TScopeCRT* crt = Crt()) {
    // The next draw makes the layer in the new style.
    if (IsRecordTrace(Trace(t))) crt->DeleteSignalLayer(Trace(t));
    if (Trace(t) == TTraceId::XY) crt->DeleteXYLayer();
  }
  InitSignalParameters(t);
  // An undo or a procedure's replay spreads nothing, and is shown all the same.
  RedrawStyleCell();
  Spread(t, h);
}

void PersistTimeChanged(int t, THandler& h) {
  if (TScopeCRT* crt = Crt()) crt->SetPersistTime(Trace(t), PersistTimeFor(t));
  if (!ForceNotify) Spread(t, h);
}

void RefreshTimeChanged(int t, THandler& h) {
  if (TScopeCRT* crt = Crt()) crt->SetRefreshTime(Trace(t), RefreshTimeFor(t));
  if (!ForceNotify) Spread(t, h);
}

void CopyStyleToAll(int source) {
  const auto s = static_cast<uint8_t>(StyleOf(source));
  for (int t = 0; t < kStyledTraceCount; ++t) {
    if (t == source) continue;
    const bool dots = IsMemoryTrace(t) && s >= static_cast<uint8_t>(TDisplayStyle::VarPersist);
    State.Traces[t].Style->SetIndexByProgram(dots ? 0 : s);
  }
}

void CopyTimesToAll(int source) {
  const TDisplayStyle s = StyleOf(source);
  TDoubleEditHandler* TDisplayTraceNodes::*node = nullptr;
  if (s == TDisplayStyle::VarPersist) node = &TDisplayTraceNodes::PersistTime;
  if (s == TDisplayStyle::VarGrayScal || s == TDisplayStyle::VColorGrad)
    node = &TDisplayTraceNodes::RefreshTime;
  if (!node) return;
  const double value = (State.Traces[source].*node)->GetFloatValue();
  for (int t = 0; t < kStyledTraceCount; ++t)
    if (t != source) (State.Traces[t].*node)->SetValueByProgram(value);
}

// Source: the trace whose style and times the locked mode spreads (the selected one when
// the mode itself changed), -1 for none.
void TraceModeChanged(int source) {
  const bool locked = Locked();
  if (locked) {
    if (IsMemoryTrace(SelectedIndex())) State.TraceSel->SetSourceByProgram(TTraceId::Ch1);
    if (source >= 0) {
      CopyStyleToAll(source);
      CopyTimesToAll(source);
    }
  }
  State.TraceSel->SetDisabled(locked);
  RedrawStyleCell();
}

void TraceSelChanged(THandler&) {
  if (Locked() && IsMemoryTrace(SelectedIndex())) State.TraceSel->SetSourceByProgram(TTraceId::Ch1);
  UpdateStyleControls();
  RedrawStyleCell();
}

void ResetAllStyles(THandler&) {
  const int t = SelectedIndex();
  State.Traces[t].Style->SetIndexByProgram(static_cast<uint8_t>(TDisplayStyle::VarPersist));
  State.Traces[t].PersistTime->SetValueByProgram(2);
  // The command is the user's: a locked mode resets every trace.
  if (Locked()) TraceModeChanged(t);
}

// A shown database is drawn again in the new style.
void DBStyleChanged(THandler&) {
  if (TScopeCRT* crt = Crt()) crt->SetDatabaseStyle(static_cast<TDisplayStyle>(GetIndex(State.DBStyle)));
}

// --- format and screens ---

int ScreenFor(int t) {
  switch (GetNumberOfYTScreens()) {
    case 1:
      return 1;
    case 2:
      return GetIndex(State.Screen2[t]) + 1;
    case 4:
      return GetIndex(State.Screen4[t]) + 1;
    default:
      return 0;
  }
}

void AssignTracesToScreens() {
  TScopeCRT* crt = Crt();
  if (!crt) return;
  for (int t = 0; t < kDisplaySignalCount; ++t) crt->SetSignalScreen(Trace(t), ScreenFor(t));
}

void UpdateScreenNodeEnables() {
  const TScreenFormat f = GetDisplayFormat();
  const bool two = f == TScreenFormat::YT2 || f == TScreenFormat::Comb2YTXY;
  const bool four = f == TScreenFormat::YT4;
  for (int t = 0; t < kDisplaySignalCount; ++t) {
    const bool on = SignalsOn.IsOn(Trace(t));
    if (State.Screen2[t]) State.Screen2[t]->SetDisabled(!on || !two);
    if (State.Screen4[t]) State.Screen4[t]->SetDisabled(!on || !four);
  }
}

void FormatChanged(THandler&) {
  const TScreenFormat f = GetDisplayFormat();
  const bool xy = DisplayFormatHasXY();
  if (SignalsOn.IsOn(TTraceId::XY) != xy) SignalsOn.SetOn(TTraceId::XY, xy);
  DisplaySettingsHooks.RestyleHistogram();
  State.Wfm->SetDisabled(f == TScreenFormat::YT || f == TScreenFormat::XY || f == TScreenFormat::CombYTXY);
  UpdateScreenNodeEnables();
  const bool ytOnly = f == TScreenFormat::YT || f == TScreenFormat::YT2 || f == TScreenFormat::YT4;
  State.XAxis->SetDisabled(ytOnly);
  State.YAxis->SetDisabled(ytOnly);
  if (TScopeCRT* crt = Crt()) crt->SetFormat(f);
  AssignTracesToScreens();
}

// A screen node of the present layout moves its trace; the other one is only kept.
void ScreenNodeChanged(int t) {
  DisplayHooks.BreakAcquisition();
  if (DisplaySettingsHooks.HistogramSource() == Trace(t)) DisplaySettingsHooks.RestyleHistogram();
  if (TScopeCRT* crt = Crt()) crt->SetSignalScreen(Trace(t), ScreenFor(t));
}

void GraticChanged(THandler&) {
  TScopeCRT* crt = Crt();
  if (!crt) return;
  for (int n = 1; n <= kMaxScreens; ++n)
    crt->SetGraticuleStyle(n, static_cast<TGraticStyle>(GetIndex(State.Gratic)));
}

// --- colours ---

int SelectedColorItem() { return std::min<int>(GetIndex(State.ColorItem), kDisplaySourceCount - 1); }

void ColorItemChanged(THandler&) {
  const uint32_t c = static_cast<uint32_t>(GetIntValue(State.ColorNodes[SelectedColorItem()]));
  const uint32_t p = std::min<uint32_t>(c >> 24, 100);
  State.Transpar->SetDisabled(p == 0);
  State.Transpar->SetValueByProgram(p == 0 ? 0 : static_cast<int32_t>(100 - p));
}

void TransparencyChanged(THandler& h) {
  if (State.Transpar->IsDisabled() || h.GetWhoChanged() != wcvSwitcher) return;
  TIntEditHandler* node = State.ColorNodes[SelectedColorItem()];
  const auto rgb = static_cast<uint32_t>(node->Value()) & 0xFFFFFFu;
  const auto opacity = static_cast<uint32_t>(100 - State.Transpar->Value());
  node->SetValueByProgram(static_cast<int32_t>(opacity << 24 | rgb));
}

void BringItemToTop(THandler&) {
  const int item = SelectedColorItem();
  if (item == kScreenSource) return;
  if (TScopeCRT* crt = Crt()) crt->SetOnTopLayer(DisplaySources[item].LayerIndex);
}

void RecolorHisticonsIfReady() {
  if (CommandsRegistered) DisplaySettingsHooks.RecolorHisticons();
}

void ColorsChanged() {
  if (SettingsBatchActive) {
    SettingsBatchDeferred = true;
  } else {
    RecolorHisticonsIfReady();
  }
}

void RestoreDefaultColors(bool all) {
  TSettingsBatch batch;
  for (int i = 0; i < kDisplaySourceCount; ++i)
    if (all || i == SelectedColorItem())
      State.ColorNodes[i]->SetValueByProgram(static_cast<int32_t>(DefaultDisplayColor(i)));
}

void RestoreGradeColors(THandler&) {
  TSettingsBatch batch;
  for (int n = 0; n < 5; ++n) State.GradeClr[n]->SetValueByProgram(kGradeDefaults[n]);
}

void DisplayColorChanged(int i) {
  if (TScopeCRT* crt = Crt()) {
    crt->ApplyDisplaySourceColor(i);
    crt->TopText().RefreshTopText();
    crt->TopText().ShowDisplayStyle();
    crt->BottomText().Clear();
    DisplaySettingsHooks.RedrawBottomStrip();
    // They are made again in the new colour.
    crt->DeleteMarkerLayer(1);
    crt->DeleteMarkerLayer(2);
  }
  ColorsChanged();
}

// Node N is grade 6 - N.
void GradeColorChanged(int n) {
  if (TScopeCRT* crt = Crt())
    crt->SetGradeColor(6 - n, static_cast<TColorRef>(State.GradeClr[n - 1]->Value()));
  DisplaySettingsHooks.PageGradeColorsChanged();
}

// --- acquisition ---

// The layer of a trace's style, as the point store reaches it for one record. A layer
// replaced or freed meanwhile (a style change during the record) takes nothing more.
class TStyledAcqLayer final : public IAcqLayer {
 public:
  void Use(TTraceId id) {
    id_ = id;
    crt_ = Crt();
    layer_ = GetStyledTraceLayer(id);
    serial_ = layer_ ? crt_->LayersOfSignals().Serial(id) : 0;
  }
  void SetSignalScale(int pointCount, double offset, double unitsPerDiv) override {
    if (Live()) layer_->SetSignalScale(pointCount, offset, unitsPerDiv);
  }
  void PutSample(int index, double value) override {
    if (Live()) layer_->PutSample(index, value);
  }
  void PutSamples(int first, std::span<const double> values) override {
    if (Live()) layer_->PutSamples(first, values);
  }

 private:
  bool Live() const {
    return layer_ && ScopeCRT.get() == crt_ && crt_->LayersOfSignals().Serial(id_) == serial_;
  }

  TTraceId id_ = TTraceId::None;
  TScopeCRT* crt_ = nullptr;
  TParentSignalLayer* layer_ = nullptr;
  uint64_t serial_ = 0;
};

}  // namespace

// --- names and queries ---

std::string DisplayNodeName(TTraceId id) { return id == TTraceId::XY ? "XY" : GetTraceShortName(id); }

std::string TDataBaseExist::GetNameText() const { return Exists ? Name : "NONEDATABASEATTHESCREEN"; }

TDisplaySettingsState& DisplaySettings() { return State; }
void ResetDisplaySettingsState() { State = {}; }

TDisplayStyle GetTraceStyle(TTraceId id) {
  const int t = TraceIndex(id);
  return t < kStyledTraceCount ? StyleOf(t) : TDisplayStyle::Dots;
}

const char* DisplayStyleName(TDisplayStyle style) { return kStyleNames[static_cast<size_t>(style) & 7]; }

TScreenFormat GetDisplayFormat() { return static_cast<TScreenFormat>(GetIndex(State.Format)); }

bool DisplayFormatHasXY() {
  const TScreenFormat f = GetDisplayFormat();
  return f == TScreenFormat::XY || f == TScreenFormat::CombYTXY || f == TScreenFormat::Comb2YTXY;
}

int GetScreenOfTraceIn2YT(TTraceId id) { return GetIndex(State.Screen2[TraceIndex(id)]) + 1; }
int GetScreenOfTraceIn4YT(TTraceId id) { return GetIndex(State.Screen4[TraceIndex(id)]) + 1; }

int GetNumberOfYTScreens() {
  if (DisplaySettingsHooks.MaskEditing()) return 1;
  switch (GetDisplayFormat()) {
    case TScreenFormat::YT:
    case TScreenFormat::CombYTXY:
      return 1;
    case TScreenFormat::YT2:
    case TScreenFormat::Comb2YTXY:
      return 2;
    case TScreenFormat::YT4:
      return 4;
    default:
      return 0;
  }
}

bool AllTracesLocked() { return Locked(); }
TTraceId SelectedDisplayTrace() { return Trace(SelectedIndex()); }

std::string DisplayPanelGroup() { return "Displ:" + DisplayNodeName(SelectedDisplayTrace()); }

std::string StyleControlMnemonics() { return State.DataBaseExist.Exists ? ":Displ:DBStyle" : "Style"; }

std::string TimeControlMnemonics() {
  const TDisplayStyle s = StyleOf(SelectedIndex());
  return s == TDisplayStyle::VarPersist || s == TDisplayStyle::InfinPers ? "PersistTime" : "RefreshTime";
}

// --- registration ---

void RegisterDisplayColorCommands() {
  BuildDisplaySources([](const std::string& key) { return GetLangStr(key); });
  TSpider& root = *RootSpider;
  for (int i = 0; i < kDisplaySourceCount; ++i) {
    // clang-format off
    State.ColorNodes[i] = root.AddIntEdit({
        .Path = "Displ:Color:" + GetDisplaySourceIdent(i), .Value = static_cast<int32_t>(DefaultDisplayColor(i)),
        .Min = 0, .Mid = 5592405, .Max = 1694498815,
        .CoarseRule = srLinear, .CoarseStep = 4095, .FineRule = srLinear, .FineStep = 1,
        .OnChange = [i](THandler&) { DisplayColorChanged(i); }});
    // clang-format on
    DisplayColorNodes[i] = State.ColorNodes[i];
  }
  DisplayColorNodeValue.Set([](int index) {
    const auto* node = dynamic_cast<const TIntEditHandler*>(DisplayColorNodes[static_cast<size_t>(index)]);
    return node ? static_cast<uint32_t>(node->Value()) : DefaultDisplayColor(index);
  });
  ColorsReady = true;
  OnSettingsBatchEnd.Set(RecolorHisticonsIfReady);
}

void RegisterDisplayCommands() {
  TSpider& root = *RootSpider;
  State.DataBaseExist = {};
  State.TraceMode = root.AddRadioSw(0, "Displ:TraceMode", "AllLocked,PerTrace",
                                    [](THandler&) { TraceModeChanged(SelectedIndex()); });
  State.TraceSel =
      AddSelectableSource(TTraceId::Ch1, "Displ:TraceSel", ExcludedAbove(TTraceId::XY), TraceSelChanged);
  for (int t = 0; t < kStyledTraceCount; ++t) {
    // The database trace's nodes are the program's own: "Displ:DB" would read as the
    // beginning of "Displ:DBStyle" and take its commands and setup lines.
    const std::string base =
        (Trace(t) == TTraceId::DB ? "SHADOW:Displ:" : "Displ:") + DisplayNodeName(Trace(t)) + ":";
    TDisplayTraceNodes& n = State.Traces[t];
    // The memory traces can show only dots and vectors.
    const auto style = IsMemoryTrace(t) ? TDisplayStyle::Dots : TDisplayStyle::VarPersist;
    n.Style = root.AddRadioSw(
        static_cast<uint8_t>(style), base + "Style", kStyleList, [t](THandler& h) { StyleChanged(t, h); }, {},
        false, IsMemoryTrace(t) ? kMemoryStyleMask : 0);
    // clang-format off
    n.PersistTime = root.AddDoubleEdit({
        .Path = base + "PersistTime", .Value = 2, .Unit = "s", .Digits = 3,
        .Min = 0.1, .Mid = 2, .Max = 20,
        .CoarseRule = sr1_2_5, .FineRule = srLinear, .FineStep = 0.1, .Tolerance = 1e-3,
        .OnChange = [t](THandler& h) { PersistTimeChanged(t, h); }});
    n.RefreshTime = root.AddDoubleEdit({
        .Path = base + "RefreshTime", .Value = 20, .Unit = "s", .Digits = 3,
        .Min = 1, .Mid = 20, .Max = 200,
        .CoarseRule = sr1_2_5, .FineRule = srLinear, .FineStep = 1, .Tolerance = 1e-2,
        .OnChange = [t](THandler& h) { RefreshTimeChanged(t, h); }});
    // clang-format on
  }
  State.DBStyle = root.AddRadioSw(static_cast<uint8_t>(TDisplayStyle::InfGrayScal), "Displ:DBStyle",
                                  kStyleList, DBStyleChanged, {}, false, kDatabaseStyleMask);
  State.ResetAll = root.AddRightCommand("Displ:ResetAll", ResetAllStyles);
  State.Format = root.AddRadioSw(0, "Displ:Format", kFormatList, FormatChanged);
  State.Wfm = AddSelectableSource(
      TTraceId::Ch1, "SHADOW:Displ:Wfm",
      ExcludedAbove(TTraceId::Hist) | 1u << TraceIndex(TTraceId::XY) | 1u << TraceIndex(TTraceId::DB));
  for (int t = 0; t < kDisplaySignalCount; ++t) {
    const std::string name = DisplayNodeName(Trace(t));
    const auto screen = [t](THandler&) { ScreenNodeChanged(t); };
    State.Screen4[t] =
        root.AddRadioSw(static_cast<uint8_t>((t / 2) % 4), "Displ:Screen4:" + name, "1,2,3,4", screen);
    State.Screen2[t] = root.AddRadioSw(static_cast<uint8_t>((t / 2) % 2), "Displ:Screen2:" + name, "1,2,3,4",
                                       screen, {}, false, 0xC);
  }
  State.XAxis = AddSelectableSource(TTraceId::Ch1, "Displ:XAxis", ExcludedAbove(TTraceId::S2));
  State.YAxis = AddSelectableSource(TTraceId::Ch2, "Displ:YAxis", ExcludedAbove(TTraceId::S2));
  State.Gratic = root.AddRadioSw(0, "Displ:Gratic", "Grid,Frame,Axis,Off", GraticChanged);

  std::string items;
  for (int i = 0; i < kDisplaySourceCount; ++i) items += (i ? "," : "") + GetDisplaySourceIdent(i);
  State.ColorItem = root.AddRadioSw(0, "SHADOW:ColorItem", items, ColorItemChanged);
  State.SetOnTop = root.AddRightCommand("Shadow:SetOnTop", BringItemToTop);
  // clang-format off
  State.Transpar = root.AddIntEdit({
      .Path = "SHADOW:Transpar", .Digits = 4,
      .Min = 0, .Mid = 50, .Max = 99,
      .CoarseRule = srLinear, .CoarseStep = 10, .FineRule = srLinear, .FineStep = 1,
      .OnChange = TransparencyChanged});
  // clang-format on
  State.DefaultClrCurrent =
      root.AddRightCommand("Displ:DefaultClr:Current", [](THandler&) { RestoreDefaultColors(false); });
  State.DefaultClrAll =
      root.AddRightCommand("Displ:DefaultClr:All", [](THandler&) { RestoreDefaultColors(true); });
  for (int n = 1; n <= 5; ++n) {
    // clang-format off
    State.GradeClr[n - 1] = root.AddIntEdit({
        .Path = "Displ:GradeClr" + std::to_string(n), .Value = kGradeDefaults[n - 1], .Digits = 6,
        .Min = 0, .Mid = 8421504, .Max = 16777215,
        .CoarseRule = srLinear, .CoarseStep = 1, .FineRule = srLinear, .FineStep = 1,
        .OnChange = [n](THandler&) { GradeColorChanged(n); }});
    // clang-format on
  }
  State.GradeDefCol = root.AddRightCommand("Displ:GradeDefCol", RestoreGradeColors);

  // Setups and clients of older versions name the XY trace "???".
  const TDisplayTraceNodes& xy = State.Traces[TraceIndex(TTraceId::XY)];
  RootSpider->AddAlias("Displ:???:Style", xy.Style);
  RootSpider->AddAlias("Displ:???:PersistTime", xy.PersistTime);
  RootSpider->AddAlias("Displ:???:RefreshTime", xy.RefreshTime);
  RootSpider->AddAlias("Displ:Screen4:???", State.Screen4[TraceIndex(TTraceId::XY)]);
  RootSpider->AddAlias("Displ:Screen2:???", State.Screen2[TraceIndex(TTraceId::XY)]);

  State.EnablityLink = std::make_unique<TSwitcherLink>(UpdateScreenNodeEnables);
  State.EnablityLink->Bind(HandlerSignalEnablity.get());
}

void ApplyDisplaySettings() {
  // Every change action runs in full, as the shell's apply does it.
  struct TForced {
    bool saved = std::exchange(ForceNotify, true);
    ~TForced() { ForceNotify = saved; }
  } forced;
  for (int t = 0; t < kStyledTraceCount; ++t) StyleChanged(t, *State.Traces[t].Style);
  TraceModeChanged(SelectedIndex());
  DBStyleChanged(*State.DBStyle);
  FormatChanged(*State.Format);
  GraticChanged(*State.Gratic);
  ColorItemChanged(*State.ColorItem);
  ColorsChanged();
  for (int n = 5; n >= 1; --n) GradeColorChanged(n);
}

void InstallDisplaySettings() {
  AcqHooks.TraceStyle.Set([](TTraceId id) { return std::string(DisplayStyleName(GetTraceStyle(id))); });
  AcqHooks.DisplayFormatHasXY.Set(DisplayFormatHasXY);
  AcqHooks.DisplayFormatIndex.Set([] { return static_cast<int>(GetDisplayFormat()); });
  AcqHooks.RedrawXYScreen.Set(RedrawXYScreen);
  AcqHooks.DataBaseExist.Set([] { return State.DataBaseExist.Exists; });
  AcqHooks.TraceLayer.Set([](TTraceId id, TAcqLayerKind) -> IAcqLayer* {
    // One per channel record; the layer is looked up again for every record.
    static std::array<TStyledAcqLayer, kRecordTraceCount> layers;
    if (!IsRecordTrace(id)) return nullptr;
    TStyledAcqLayer& layer = layers[static_cast<size_t>(TraceIndex(id))];
    layer.Use(id);
    return &layer;
  });
}

// --- actions ---

void SetDatabase(bool exists, const std::string& name) {
  TDataBaseExist& db = State.DataBaseExist;
  if (!exists && !db.Exists) return;
  if (exists && db.Exists && name == db.Name) return;
  // A load records the database it replaces. A removal that can be undone comes through the
  // database node, which records it; one by a Run, Stop or Single is not undone, as the
  // acquisition it starts is not.
  if (exists) DisplaySettingsHooks.SaveDatabaseUndo();
  db.Name = exists ? name : std::string();
  db.Exists = exists;
  if (!State.Traces[0].Style) return;
  UpdateStyleControls();
  DisplaySettingsHooks.PageDatabaseChanged();
  DisplaySettingsHooks.RefreshMarkerTypes();
}

TParentSignalLayer* GetStyledTraceLayer(TTraceId id) {
  TScopeCRT* crt = Crt();
  if (!crt || !IsRecordTrace(id)) return nullptr;
  return crt->GetStyledLayer(id, GetTraceStyle(id));
}

void RedrawXYScreen() {
  TScopeCRT* crt = Crt();
  if (!crt || crt->XYScreenNo() == 0 || !crt->Screen(crt->XYScreenNo())) return;
  const TTraceId x = State.XAxis ? State.XAxis->GetSource() : TTraceId::None;
  const TTraceId y = State.YAxis ? State.YAxis->GetSource() : TTraceId::None;
  if (!IsRecordTrace(x) || !IsRecordTrace(y)) return;
  const TSignalObj& xRecord = SignalObjs()[x];
  const TSignalObj& yRecord = SignalObjs()[y];
  if (xRecord.GetShownCount() <= 0 || yRecord.GetShownCount() <= 0) return;
  TParentSignalLayer* layer = nullptr;
  switch (GetTraceStyle(TTraceId::XY)) {
    case TDisplayStyle::Dots:
    case TDisplayStyle::Vectors:
      layer = crt->GetDotXYLayer();
      break;
    case TDisplayStyle::VarPersist:
    case TDisplayStyle::InfinPers:
      layer = crt->GetPersistXYLayer();
      break;
    default:
      layer = crt->GetColorGradeXYLayer();
      break;
  }
  // One copy to the window for the whole pass, also when drawing fails.
  struct TUpdate {
    TSignalScreen& screen;
    explicit TUpdate(TSignalScreen& s) : screen(s) { screen.BeginUpdate(); }
    ~TUpdate() { screen.EndUpdate(); }
  } update(*crt->Screen(crt->XYScreenNo()));
  DrawXYSignal(*layer, xRecord, yRecord);
}

}  // namespace norv
