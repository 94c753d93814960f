#include "analysis/zoom.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "analysis/derived_settings.h"
#include "analysis/derived_signals.h"
#include "analysis/math_functions.h"
#include "display/display_hooks.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/step_rules.h"
#include "framework/settings/undo_ring.h"
#include "framework/settings/value_text.h"
#include "framework/traces/scale_change_flags.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "shell/shell_state.h"

namespace norv {

namespace {

TZoomState State;
const TProgramUnit StateUnit("zoom", ResetZoomState);

constexpr const char* kSourceList = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";
constexpr double kMinHorScale = 1.0 / 128;
constexpr double kSpectrumHorScale = 0.5;
// The screen: 4000 units over ten divisions, 4096 over the whole shown window; eight
// divisions high.
constexpr double kScreenUnitsX = 4000;
constexpr double kDivisionsY = 8;
constexpr double kHorDivisions = 10;
constexpr double kDegreesPerPhaseStep = 45;
// A rectangle this low zooms vertically by the largest factor only.
constexpr double kFlatRectangle = 0.02;
constexpr double kFlatFactor = 50;
constexpr double kMaxHorFactor = 10;
constexpr double kPanPositionMax = 1e6;
// The digits of the shown values: what the page's edits hold with the unit.
constexpr uint8_t kShownDigits = 4;

enum TSuppressBit : uint32_t { sbDC = 1, sbPhase = 2 };

int ZoomIndex(TTraceId trace) {
  if (!IsZoomTrace(trace)) throw EAssertion("UNKNOWN Handler");
  return TraceIndex(trace) - TraceIndex(TTraceId::F1);
}
TTraceId ZoomTrace(int index) { return static_cast<TTraceId>(TraceIndex(TTraceId::F1) + index); }

TSignalObj& Record(TTraceId trace) { return SignalObjs()[trace]; }
bool Complex(TTraceId trace) { return Record(trace).IsSpectrum(); }

// A record not there yet (a function before its first calculation at a start) limits the
// position as the longest record would: the position a setup holds is kept until the
// record that limits it is there.
int LimitingLength(const TSignalObj& r) { return r.HasLength() ? r.GetRecLen() : kMaxRecLen; }

// The last first point that still fills the window, in a record of `length` points.
int HorPositionLimit(TTraceId trace, int length, bool complex);

bool Registered() { return State.Traces[0].HorScale != nullptr; }

// A spectrum shows at most half of its bins; a function whose record is still that of its
// definition before may take the whole range, so a recall keeps the scale its setup holds.
double HorScaleLimit(TTraceId trace) {
  if (IsFunctionTrace(trace) && State.FunctionAwaitsRecord[static_cast<size_t>(ZoomIndex(trace))]) return 1.0;
  return Complex(trace) ? kSpectrumHorScale : 1.0;
}

// The value text of a node in its own format and digits (the setup form keeps every
// digit of the stored factor).
std::string Number(const TEditHandler& node, double value) {
  return FloatToEngStr(node.GetFormatMode(), node.GetDigits(), false, value, false);
}
std::string PerDiv() { return GetLangStr("ByDiv"); }
int Split() { return GetGraticuleSplit(); }

TTraceId TraceOfNode(const TEditHandler& node) { return FindZoomSource(node); }

bool PhaseView(TTraceId trace) {
  return Complex(trace) && GetIndex(ZoomNodes(trace).ComplexScale) == cvPhase;
}
bool DbView(TTraceId trace) {
  const TZoomNodes& n = ZoomNodes(trace);
  return Complex(trace) && GetIndex(n.ComplexScale) == cvMagnitude && GetIndex(n.VScaleType) == 1;
}

// The axes that values are shown and typed on, of a record that has them.
struct THorAxis {
  double TimePerDiv;
  double DX;
  std::string Unit;
  int Length;  // what limits the position
  bool Complex;
};
std::optional<THorAxis> HorAxisOf(const TSignalObj& r) {
  const double t = r.GetTimePerDiv(), dx = r.GetDX();
  if (t == 0 || !std::isfinite(t) || dx == 0 || !std::isfinite(dx)) return std::nullopt;
  return THorAxis{t, dx, r.GetHorUnit(), LimitingLength(r), r.IsSpectrum()};
}
struct TVertAxis {
  double PerDiv;
  double Offset;
  std::string Unit;
};
// A record without its time axis is none yet, whatever scale it was made with.
std::optional<TVertAxis> VertAxisOf(const TSignalObj& r) {
  const double v = r.GetVertScale(), offset = r.GetVertOffset();
  if (!HorAxisOf(r) || v == 0 || !std::isfinite(v) || !std::isfinite(offset)) return std::nullopt;
  return TVertAxis{v, offset, r.GetVertUnitText()};
}
template <typename TAxis>
using TAxisOf = std::optional<TAxis> (*)(const TSignalObj&);

// The trace's record; for a function before its record, or with that of its definition
// before, the record it is about to be calculated into. None while there is neither.
template <typename TAxis>
std::optional<TAxis> AxisOfTrace(TTraceId trace, TAxisOf<TAxis> of) {
  if (IsFunctionTrace(trace)) {
    const int f = ZoomIndex(trace);
    if (State.FunctionAwaitsRecord[static_cast<size_t>(f)] || !of(Record(trace)))
      if (const auto preview = PreviewFunctionRecord(f))
        if (auto axis = of(*preview)) return axis;
  }
  return of(Record(trace));
}
// Without an axis a typed value would be kept as another value: it is refused (a box for
// the user, a client's error), and the value left to set is none.
constexpr double kRefused = std::numeric_limits<double>::quiet_NaN();
template <typename TAxis>
std::optional<TAxis> TypedAxis(const TEditHandler& h, TAxisOf<TAxis> of) {
  const TTraceId trace = TraceOfNode(h);
  if (auto axis = AxisOfTrace(trace, of)) return axis;
  FailCommand(FormatLangStr("ZoomNoRecord", TraceDisplayName(trace)));
  return std::nullopt;
}
// Without one the texts show the stored value itself.
THorAxis ShownHorAxis(TTraceId trace) {
  return AxisOfTrace(trace, HorAxisOf).value_or(THorAxis{1.0, 1.0, Record(trace).GetHorUnit(), 0, false});
}
TVertAxis ShownVertAxis(TTraceId trace) {
  return AxisOfTrace(trace, VertAxisOf).value_or(TVertAxis{1.0, 0.0, Record(trace).GetVertUnitText()});
}

// --- value texts and typed values ---

void VertScaleText(const TEditHandler& h, std::string& text, double value) {
  const TVertAxis axis = ShownVertAxis(TraceOfNode(h));
  text = Number(h, value * Split() * axis.PerDiv) + axis.Unit + PerDiv();
}
void VertScaleTyped(double& value, TEditHandler& h) {
  const auto axis = TypedAxis(h, VertAxisOf);
  value = axis ? value / (Split() * axis->PerDiv) : kRefused;
}

void DbScaleText(const TEditHandler& h, std::string& text, double value) {
  text = Number(h, value * Split()) + "dB" + PerDiv();
}

void OffsetText(const TEditHandler& h, std::string& text, double value) {
  const TVertAxis axis = ShownVertAxis(TraceOfNode(h));
  text = Number(h, axis.Offset - value * axis.PerDiv) + axis.Unit;
}
void OffsetTyped(double& value, TEditHandler& h) {
  const auto axis = TypedAxis(h, VertAxisOf);
  value = axis ? -(value - axis->Offset) / axis->PerDiv : kRefused;
}

void InvertedText(const TEditHandler& h, std::string& text, double value, const char* unit) {
  text = Number(h, -value) + unit;
}
void Invert(double& value, TEditHandler&) { value = -value; }

void PhaseScaleText(const TEditHandler& h, std::string& text, double value) {
  text = Number(h, value * kDegreesPerPhaseStep * Split()) + "\u00B0" + PerDiv();
}
// Typed as shown, like the other scales.
void PhaseScaleTyped(double& value, TEditHandler&) { value /= kDegreesPerPhaseStep * Split(); }

// The record shows every step-th point: 1 / the scale, rounded, then up to a power of two.
int HorZoomStep(double horScale) {
  const double points = std::clamp(1 / horScale, 1.0, 1.0 / kMinHorScale);
  return static_cast<int>(std::bit_ceil(static_cast<unsigned>(std::lround(points))));
}
// The scale drawn, also for a stored scale between two powers of two.
void HorScaleText(const TEditHandler& h, std::string& text, double value) {
  const THorAxis axis = ShownHorAxis(TraceOfNode(h));
  text = Number(h, axis.TimePerDiv / HorZoomStep(value)) + axis.Unit + PerDiv();
}
// A typed scale becomes the nearest power of two, as the page's entry and arrows make it.
void HorScaleTyped(double& value, TEditHandler& h) {
  const auto axis = TypedAxis(h, HorAxisOf);
  value = axis ? CorrectNewValPow2(value / axis->TimePerDiv) : kRefused;
}

void HorPositionText(const TEditHandler& h, std::string& text, double value) {
  const THorAxis axis = ShownHorAxis(TraceOfNode(h));
  text = Number(h, value * axis.DX) + axis.Unit;
}
void HorPositionTyped(double& value, TEditHandler& h) {
  const auto axis = TypedAxis(h, HorAxisOf);
  if (!axis) {
    value = kRefused;
    return;
  }
  value /= axis->DX;
  if (!std::isfinite(value)) value = 0;
  // Held to the record the axis is of, which for a function before its record is the one it is
  // about to be calculated into: the stand-in's limit would let the record take the value back.
  value = std::min(value, static_cast<double>(HorPositionLimit(TraceOfNode(h), axis->Length, axis->Complex)));
}

// --- change reactions ---

// A memory is drawn again from its record when its layer is missing; the derived traces
// see the change in their presentation and are calculated and drawn again.
void Redraw(TTraceId trace) {
  if (!IsFunctionTrace(trace) && !IsSpectrumTrace(trace) && ScopeCRT) ScopeCRT->DeleteSignalLayer(trace);
}

void NodeChanged(THandler& node) { Redraw(FindZoomSource(node)); }

void SuppressChanged(THandler& node) {
  const TTraceId trace = FindZoomSource(node);
  TZoomNodes& n = ZoomNodes(trace);
  n.SupprLevel->SetDisabled(n.Suppress->IsDisabled() || !(n.Suppress->GetMask() & sbPhase));
  if (ScopeCRT) ScopeCRT->DeleteSignalLayer(trace);
}

void SetDouble(TDoubleEditHandler* node, double value) {
  node->SetValueByProgram(std::clamp(value, node->GetMin(), node->GetMax()));
}

// The vertical move of a drag by dy of the screen height, in the record's view.
void ShiftVertically(TTraceId trace, double dy) {
  TZoomNodes& n = ZoomNodes(trace);
  if (PhaseView(trace)) {
    SetDouble(n.OffsPhase,
              n.OffsPhase->Value() - n.PhaseScale->Value() * kDegreesPerPhaseStep * dy * kDivisionsY);
  } else if (DbView(trace)) {
    SetDouble(n.OffsInDB, n.OffsInDB->Value() + n.VertDBScale->Value() * dy * kDivisionsY);
  } else {
    SetDouble(n.Offset, n.Offset->Value() + n.VertScale->Value() * dy * kDivisionsY);
  }
}

// The horizontal move of a drag by dx of the screen width, in shown points.
void ShiftHorizontally(TTraceId trace, double dx) {
  ApplyZoomToRecord(trace);
  const TSignalObj& r = Record(trace);
  const double d = r.ScreenXToShownIndex(dx * kScreenUnitsX) - r.ScreenXToShownIndex(0);
  TIntEditHandler* position = ZoomNodes(trace).HorPosition;
  const double moved =
      std::clamp(position->Value() - std::nearbyint(d), position->GetMin(), position->GetMax());
  position->SetValueByProgram(static_cast<int32_t>(moved));
}

// The vertical scale of the record's view divided by factor (a power of two; the dB
// scale to its step table).
void ScaleVertically(TTraceId trace, double factor) {
  TZoomNodes& n = ZoomNodes(trace);
  const double f = CorrectNewValPow2(factor);
  if (PhaseView(trace)) {
    SetDouble(n.PhaseScale, n.PhaseScale->Value() / f);
  } else if (DbView(trace)) {
    SetDouble(n.VertDBScale, CorrectNewValDb(n.VertDBScale->Value() / factor));
  } else {
    SetDouble(n.VertScale, n.VertScale->Value() / f);
  }
}

// --- channels ---

int ChannelCode(TTraceId trace) { return trace == TTraceId::Ch1 || trace == TTraceId::Ch1B2 ? 2 : 3; }
int VertUnit(int channel) { return std::clamp(SettingsHooks.TDRVertUnit(channel), 0, 3); }
TDoubleEditHandler* ChannelScale(int channel) {
  return ChannelSettings()
      .Nodes[static_cast<size_t>(channel - 2)]
      .Scale[static_cast<size_t>(VertUnit(channel))];
}
TDoubleEditHandler* ChannelOffset(int channel) {
  return ChannelSettings()
      .Nodes[static_cast<size_t>(channel - 2)]
      .Offset[static_cast<size_t>(VertUnit(channel))];
}

void ShiftChannel(TTraceId trace, double dx, double dy) {
  const int channel = ChannelCode(trace);
  if (TDoubleEditHandler* offset = ChannelOffset(channel); offset && dy != 0)
    SetDouble(offset, offset->Value() + ChannelScale(channel)->Value() * dy * kDivisionsY);
  TTimeBaseSettingsState& tb = TimeBaseSettings();
  const bool second = trace == TTraceId::Ch1B2 || trace == TTraceId::Ch2B2;
  TDoubleEditHandler* delay = second ? tb.DeltaDel : tb.Delay;
  if (delay && dx != 0 && GetTimeScaleA() != 0) {
    SetDouble(delay, std::max(0.0, delay->Value() - GetTimeScaleB() * kHorDivisions * dx / GetTimeScaleA()));
    BreakAcquisition(true);
  }
}

void ZoomTimeBase(double width, double left) {
  TTimeBaseSettingsState& tb = TimeBaseSettings();
  if (!tb.Mode || !tb.Delay) return;
  const double leftDivisions = kHorDivisions * left;
  double scale = 0;
  double delay = 0;
  if (GetTimeBaseMode() == tbmB) {
    scale = width * GetTimeScaleB();
    delay = tb.Delay->Value() + GetTimeScaleB() * leftDivisions / GetTimeScaleA();
  } else {
    scale = width * GetTimeScaleA();
    delay = leftDivisions;
  }
  scale = std::max(scale, GetTimeBaseResolution());
  tb.Mode->SetIndexByProgram(tbmB);
  SetTimeBaseScale(true, scale);
  SetDouble(tb.Delay, delay);
}

void ZoomChannel(int channel, double factor, double centre) {
  TDoubleEditHandler* scale = ChannelScale(channel);
  TDoubleEditHandler* offset = ChannelOffset(channel);
  if (!scale || !offset) return;
  static constexpr double kLowest[] = {0.001, 0.1, 5.0, 0.0};
  const double s = scale->Value();
  SetDouble(offset, offset->Value() - s * centre);
  double next = s / factor;
  if (const double low = kLowest[VertUnit(channel)]; low > 0) next = std::max(next, low);
  SetDouble(scale, next);
}

// Whether a trace is calculated on the channels' time axis: a function takes the axis of
// its first operand (a trend has one of its own), an inverse FFT that of its spectrum's
// source. Such a trace follows the channels when the time base and they are zoomed.
bool OnChannelTimeAxis(TTraceId trace) {
  // Functions that use each other end the search.
  for (int depth = 0; depth <= kZoomTraceCount; ++depth) {
    if (!IsRecordTrace(trace)) return false;
    if (!IsZoomTrace(trace)) return true;
    if (!IsFunctionTrace(trace)) return false;
    const TDerivedDefinition d = DerivedDefinition(trace);
    if (d.Operator == moTrend) return false;
    if (d.Operator == moNormalize) return true;
    trace = d.Source1;
    if (d.Operator == moIFFT) {
      if (!IsSpectrumTrace(trace)) return false;
      trace = DerivedDefinition(trace).Source1;
    }
  }
  return false;
}

std::string ValueKey(double v) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr) + ";";
}

}  // namespace

TZoomState& ZoomSettings() { return State; }
void ResetZoomState() { State = {}; }

TZoomNodes& ZoomNodes(TTraceId trace) { return State.Traces.at(static_cast<size_t>(ZoomIndex(trace))); }

TTraceId ZoomSourceTrace() { return State.ZoomSource ? State.ZoomSource->GetSource() : TTraceId::F1; }

TTraceId FindZoomSource(const THandler& node) {
  for (int i = 0; i < kZoomTraceCount; ++i) {
    const TZoomNodes& n = State.Traces[static_cast<size_t>(i)];
    const THandler* nodes[] = {n.ComplexScale, n.Suppress,    n.SupprLevel, n.VScaleType,
                               n.VertScale,    n.VertDBScale, n.Offset,     n.OffsInDB,
                               n.OffsPhase,    n.PhaseScale,  n.HorScale,   n.HorPosition};
    for (const THandler* h : nodes)
      if (h == &node) return ZoomTrace(i);
  }
  throw EAssertion("UNKNOWN Handler");
}

void RegisterZoomHandlers() {
  TSpider& root = *RootSpider;
  uint32_t excluded = 0;
  for (int id = 0; id < kTraceIdCount; ++id)
    if (!IsZoomTrace(static_cast<TTraceId>(id))) excluded |= 1u << id;
  State.ZoomSource =
      root.AddSignalSourceSw(TraceIndex(TTraceId::F1), "Shadow:ZoomSource", kSourceList, excluded,
                             [](THandler&) { ResetZoomForSource(ZoomSourceTrace()); });
  for (int i = 0; i < kZoomTraceCount; ++i) {
    const TTraceId trace = ZoomTrace(i);
    const auto colour = static_cast<uint8_t>(TraceIndex(trace));
    const std::string base = "Zoom:" + GetTraceShortName(trace) + ":";
    const auto path = [&base](const char* suffix) { return base + suffix; };
    TZoomNodes& n = State.Traces[static_cast<size_t>(i)];
    n.ComplexScale =
        root.AddRadioSw(0, path("ComplexScale"), "Magnitude,Phase,Real,Imaginary", [](THandler& h) {
          const TTraceId s = FindZoomSource(h);
          UpdateZoomControls(s);
          Redraw(s);
        });
    n.Suppress = root.AddCheckSw(0, path("Suppress"), "DC,Phase", SuppressChanged);
    n.SupprLevel = root.AddDoubleEdit({.Path = path("SupprLevel"),
                                       .Value = -50,
                                       .Unit = "dB",
                                       .Min = -120,
                                       .Mid = -50,
                                       .Max = -10,
                                       .CoarseRule = srDb,
                                       .CoarseStep = 1,
                                       .FineRule = srQuantised,
                                       .FineStep = 1,
                                       .OnChange = NodeChanged});
    n.VScaleType = root.AddRadioSw(0, path("VScaleType"), "Linear,Logaritm", [](THandler& h) {
      const TTraceId s = FindZoomSource(h);
      UpdateZoomScaleEnabling(s);
      Redraw(s);
    });
    n.VertScale = root.AddDoubleEdit({.Path = path("VertScale"),
                                      .Value = 1,
                                      .Digits = kShownDigits,
                                      .ColourSource = colour,
                                      .Min = 1e-6,
                                      .Mid = 1,
                                      .Max = 1e6,
                                      .CoarseRule = sr1_2_5,
                                      .CoarseStep = 1,
                                      .Tolerance = 1e-12,
                                      .OnChange = NodeChanged,
                                      .OnGetText = VertScaleText,
                                      .OnBeforeSet = VertScaleTyped});
    n.VertDBScale = root.AddDoubleEdit({.Path = path("VertDBScale"),
                                        .Value = 20,
                                        .Digits = kShownDigits,
                                        .Min = 1,
                                        .Mid = 20,
                                        .Max = 120,
                                        .CoarseRule = srDb,
                                        .CoarseStep = 1,
                                        .FineRule = srQuantised,
                                        .FineStep = 1,
                                        .OnChange = NodeChanged,
                                        .OnGetText = DbScaleText});
    n.Offset = root.AddDoubleEdit({.Path = path("Offset"),
                                   .Value = 0,
                                   .Digits = kShownDigits,
                                   .ColourSource = colour,
                                   .Min = -10,
                                   .Mid = 0,
                                   .Max = 10,
                                   .CoarseRule = srLinear,
                                   .CoarseStep = 0.25,
                                   .FineRule = srLinear,
                                   .FineStep = 0.03125,
                                   .Tolerance = 1e-9,
                                   .OnChange = NodeChanged,
                                   .OnGetText = OffsetText,
                                   .OnBeforeSet = OffsetTyped});
    n.OffsInDB = root.AddDoubleEdit({.Path = path("OffsInDB"),
                                     .Value = 0,
                                     .Digits = kShownDigits,
                                     .Min = -200,
                                     .Mid = 0,
                                     .Max = 200,
                                     .CoarseRule = srDb,
                                     .CoarseStep = 1,
                                     .FineRule = srQuantised,
                                     .FineStep = 1,
                                     .OnChange = NodeChanged,
                                     .OnGetText = [](const TEditHandler& h, std::string& text,
                                                     double v) { InvertedText(h, text, v, "dB"); },
                                     .OnBeforeSet = Invert});
    n.OffsPhase = root.AddDoubleEdit({.Path = path("OffsPhase"),
                                      .Value = 0,
                                      .Digits = kShownDigits,
                                      .Min = -360,
                                      .Mid = 0,
                                      .Max = 360,
                                      .CoarseRule = srLinear,
                                      .CoarseStep = 22.5,
                                      .FineRule = srLinear,
                                      .FineStep = 0.5,
                                      .Tolerance = 1e-9,
                                      .OnChange = NodeChanged,
                                      .OnGetText = [](const TEditHandler& h, std::string& text,
                                                      double v) { InvertedText(h, text, v, "\u00B0"); },
                                      .OnBeforeSet = Invert});
    for (TEditHandler* shownFalling : {n.Offset, n.OffsInDB, n.OffsPhase})
      shownFalling->SetShownReversed(true);
    n.PhaseScale = root.AddDoubleEdit({.Path = path("PhaseScale"),
                                       .Value = 1,
                                       .Digits = kShownDigits,
                                       .Min = 0.1,
                                       .Mid = 1,
                                       .Max = 2,
                                       .CoarseRule = sr1_2_5,
                                       .CoarseStep = 1,
                                       .FineRule = srQuantised,
                                       .FineStep = 0.1,
                                       .Tolerance = 1e-9,
                                       .OnChange = NodeChanged,
                                       .OnGetText = PhaseScaleText,
                                       .OnBeforeSet = PhaseScaleTyped});
    const double horMax = IsSpectrumTrace(trace) ? kSpectrumHorScale : 1.0;
    n.HorScale = root.AddDoubleEdit({.Path = path("HorScale"),
                                     .Value = horMax,
                                     .Digits = kShownDigits,
                                     .ColourSource = colour,
                                     .Min = kMinHorScale,
                                     .Mid = horMax,
                                     .Max = horMax,
                                     .CoarseRule = srPowerOfTwo,
                                     .CoarseStep = 2,
                                     .Tolerance = 1e-9,
                                     .OnChange =
                                         [](THandler& h) {
                                           const TTraceId s = FindZoomSource(h);
                                           UpdateHorPositionLimit(s);
                                           Redraw(s);
                                         },
                                     .OnGetText = HorScaleText,
                                     .OnBeforeSet = HorScaleTyped});
    n.HorPosition = root.AddIntEdit({.Path = path("HorPosition"),
                                     .Value = 0,
                                     // of the time shown; the setup form keeps the count
                                     .FormatMode = vfEngineering,
                                     .Digits = kShownDigits,
                                     .ColourSource = colour,
                                     .Min = 0,
                                     .Mid = 0,
                                     .Max = 1,
                                     .CoarseRule = srLinear,
                                     .CoarseStep = 1,
                                     .FineRule = srLinear,
                                     .FineStep = 1,
                                     .OnChange = NodeChanged,
                                     .OnGetText = HorPositionText,
                                     .OnBeforeSet = HorPositionTyped});
  }
}

void ApplyZoomToRecord(TTraceId trace) {
  if (!Registered() || !IsZoomTrace(trace)) return;
  const TZoomNodes& n = ZoomNodes(trace);
  TSignalObj& r = Record(trace);
  // The position is limited where its maximum is set; here it only has to name a point.
  r.SetFirstShown(
      static_cast<uint16_t>(std::clamp<int32_t>(n.HorPosition->Value(), 0, std::max(0, r.GetRecLen() - 1))));
  r.SetZoomStep(HorZoomStep(n.HorScale->Value()));
  r.SetDisplayOffset(-n.Offset->Value() * r.GetVertScale());
  r.SetDisplayScale(n.VertScale->Value());
  if (!r.IsSpectrum()) return;
  const uint32_t suppress = n.Suppress->GetMask();
  r.SetComplexView(GetIndex(n.ComplexScale));
  r.SetSuppressDC(suppress & sbDC);
  r.SetSuppressPhase(suppress & sbPhase);
  r.SetSuppressLevel(n.SupprLevel->Value());
  r.SetLogView(GetIndex(n.VScaleType) == 1);
  r.SetLogScale(n.VertDBScale->Value());
  r.SetLogOffset(-n.OffsInDB->Value());
  r.SetPhaseScale(n.PhaseScale->Value());
  r.SetPhaseOffset(n.OffsPhase->Value());
}

void ApplyDerivedSignalZoom(TTraceId trace) {
  if (!Registered() || !IsZoomTrace(trace)) return;
  TZoomNodes& n = ZoomNodes(trace);
  // The scale's limit follows the record computed now, so no value the next calculation
  // would take back can be set; a value above a spectrum's half is lowered with it.
  if (IsFunctionTrace(trace)) State.FunctionAwaitsRecord[static_cast<size_t>(ZoomIndex(trace))] = false;
  n.HorScale->SetMax(HorScaleLimit(trace));
  // The record's length may have changed since the limit was set.
  UpdateHorPositionLimit(trace);
}

namespace {
int LimitHorizontalZoom(TTraceId trace, int length) {
  // The step the record is drawn with.
  int f = HorZoomStep(ZoomNodes(trace).HorScale->Value());
  if (length / f < 8) f = length / 8;
  f = std::max(f, 1);
  const int shown = length / f;
  // Halves round upwards.
  return static_cast<int>(std::floor(500.0 * shown / 512 + 0.5)) + 1;
}

int HorPositionLimit(TTraceId trace, int length, bool complex) {
  return std::max(0, (complex ? length / 2 : length) - LimitHorizontalZoom(trace, length));
}
}  // namespace

int LimitHorizontalZoom(TTraceId trace) { return LimitHorizontalZoom(trace, LimitingLength(Record(trace))); }

void UpdateHorPositionLimit(TTraceId trace) {
  TIntEditHandler* position = ZoomNodes(trace).HorPosition;
  position->SetMin(0);
  position->SetMax(HorPositionLimit(trace, LimitingLength(Record(trace)), Complex(trace)));
}

void ResetZoomForSource(TTraceId trace) {
  if (!IsZoomTrace(trace) || !Registered()) return;
  TZoomNodes& n = ZoomNodes(trace);
  n.ComplexScale->SetDisabled(!Complex(trace));
  UpdateZoomControls(trace);
  n.HorScale->SetMax(HorScaleLimit(trace));
  UpdateZoomControls(trace);
}

void OpenFunctionZoomsUntilComputed() {
  if (!Registered()) return;
  State.FunctionAwaitsRecord.fill(true);
  for (int f = 0; f < 4; ++f) ZoomNodes(FunctionTrace(f)).HorScale->SetMax(HorScaleLimit(FunctionTrace(f)));
}

void ResetAllZooms() {
  for (int i = 0; i < kZoomTraceCount; ++i) {
    ResetZoomForSource(ZoomTrace(i));
    UpdateHorPositionLimit(ZoomTrace(i));
  }
}

void CopyZoomSettings(TTraceId dst, TTraceId src) {
  if (!Registered() || !IsZoomTrace(dst)) return;
  TZoomNodes& d = ZoomNodes(dst);
  if (!IsZoomTrace(src)) {
    d.VertScale->SetValueByProgram(1.0);
    d.Offset->SetValueByProgram(0);
    d.HorScale->SetMax(1.0);
    d.HorScale->SetValueByProgram(1.0);
    d.HorPosition->SetValueByProgram(0);
    return;
  }
  const TZoomNodes& s = ZoomNodes(src);
  d.ComplexScale->SetIndexByProgram(GetIndex(s.ComplexScale));
  d.Suppress->SetMaskByProgram(s.Suppress->GetMask());
  d.VScaleType->SetIndexByProgram(GetIndex(s.VScaleType));
  for (auto field :
       {&TZoomNodes::SupprLevel, &TZoomNodes::VertScale, &TZoomNodes::VertDBScale, &TZoomNodes::Offset,
        &TZoomNodes::OffsInDB, &TZoomNodes::OffsPhase, &TZoomNodes::PhaseScale})
    (d.*field)->SetValueByProgram((s.*field)->Value());
  d.HorScale->SetMax(s.HorScale->GetMax());
  d.HorScale->SetValueByProgram(s.HorScale->Value());
  d.HorPosition->SetMax(std::max(d.HorPosition->GetMax(), s.HorPosition->GetMax()));
  d.HorPosition->SetValueByProgram(s.HorPosition->Value());
}

void UpdateZoomControls(TTraceId trace) {
  if (!Registered()) return;
  TZoomNodes& n = ZoomNodes(trace);
  const bool complex = SignalsOn.IsOn(trace) && Complex(trace);
  n.Suppress->SetDisabled(!complex);
  n.SupprLevel->SetDisabled(!complex || !(n.Suppress->GetMask() & sbPhase));
  n.VScaleType->SetDisabled(!complex || GetIndex(n.ComplexScale) != cvMagnitude);
  UpdateZoomScaleEnabling(trace);
  const bool phase = complex && GetIndex(n.ComplexScale) == cvPhase;
  n.OffsPhase->SetDisabled(!phase);
  n.PhaseScale->SetDisabled(!phase);
}

void UpdateZoomScaleEnabling(TTraceId trace) {
  if (!Registered()) return;
  TZoomNodes& n = ZoomNodes(trace);
  const bool complex = Complex(trace);
  const uint8_t view = GetIndex(n.ComplexScale);
  const bool linear = SignalsOn.IsOn(trace) && (!complex || view != cvPhase);
  const bool log = complex && view == cvMagnitude && GetIndex(n.VScaleType) == 1;
  n.VertDBScale->SetDisabled(!(linear && log));
  n.OffsInDB->SetDisabled(!(linear && log));
  n.VertScale->SetDisabled(!(linear && !log));
  n.Offset->SetDisabled(!(linear && !log));
}

void RefreshZoomControls() {
  if (!Registered()) return;
  const TTraceId source = ZoomSourceTrace();
  if (!IsZoomTrace(source) || !SignalsOn.IsOn(source) || !FlagOfScalesChange.ScaleChanged(source)) return;
  TZoomNodes& n = ZoomNodes(source);
  for (THandler* node :
       std::initializer_list<THandler*>{n.VertScale, n.VertDBScale, n.Offset, n.OffsInDB, n.OffsPhase,
                                        n.PhaseScale, n.HorScale, n.HorPosition})
    node->NotifySwitchers();
}

void ShiftSignalView(TTraceId trace, double dx, double dy) {
  if (dx == 0 && dy == 0) return;
  if (!IsRecordTrace(trace)) return;
  // A drag of the mouse, made by program: a step of its own, as a zoom's.
  if (UndoBuffer) UndoBuffer->BeginStep();
  if (!IsZoomTrace(trace)) {
    ShiftChannel(trace, dx, dy);
    return;
  }
  if (!Registered()) return;
  if (dy != 0) ShiftVertically(trace, dy);
  if (dx != 0) ShiftHorizontally(trace, dx);
}

void ZoomToRectangle(const std::vector<TTraceId>& traces, double left, double width, double bottom,
                     double height) {
  if (traces.empty()) return;
  // Its changes are made by program: without a step of its own they would join the last
  // step, and an undo of the zoom would take that step's changes back with it.
  if (UndoBuffer) UndoBuffer->BeginStep();
  const bool tall = height > kFlatRectangle;
  const double factor = tall ? 1 / height : kFlatFactor;
  const double centre = (height / 2 + bottom - 0.5) * kDivisionsY;
  const auto contains = [&traces](TTraceId t) {
    return std::find(traces.begin(), traces.end(), t) != traces.end();
  };
  const bool timeBase = tall && width > 0;
  if (timeBase) {
    ZoomTimeBase(width, left);
    if (contains(TTraceId::Ch1)) ZoomChannel(2, factor, centre);
    if (contains(TTraceId::Ch2)) ZoomChannel(3, factor, centre);
    BreakAcquisition(true);
  }
  if (!Registered()) return;
  const double horFactor = width > 0 ? std::min(1 / width, kMaxHorFactor) : 1.0;
  for (TTraceId trace : traces) {
    if (!IsZoomTrace(trace)) continue;
    // Calculated from the zoomed channels, it already shows the rectangle.
    if (timeBase && OnChannelTimeAxis(trace)) continue;
    TZoomNodes& n = ZoomNodes(trace);
    ShiftVertically(trace, -centre / kDivisionsY);
    ScaleVertically(trace, factor);
    n.HorPosition->SetMax(kPanPositionMax);
    ShiftHorizontally(trace, -left);
    if (const double f = CorrectNewValPow2(horFactor); f > 1)
      SetDouble(n.HorScale, std::max(n.HorScale->Value() / f, n.HorScale->GetMin()));
    // The position's maximum follows the record again, also when the scale stayed.
    UpdateHorPositionLimit(trace);
  }
}

std::string ZoomPresentation(TTraceId trace) {
  if (!Registered() || !IsZoomTrace(trace)) return {};
  const TZoomNodes& n = ZoomNodes(trace);
  std::string text = ValueKey(GetIndex(n.ComplexScale)) + ValueKey(n.Suppress->GetMask()) +
                     ValueKey(GetIndex(n.VScaleType)) + ValueKey(n.HorPosition->Value());
  for (const TDoubleEditHandler* node : {n.SupprLevel, n.VertScale, n.VertDBScale, n.Offset, n.OffsInDB,
                                         n.OffsPhase, n.PhaseScale, n.HorScale})
    text += ValueKey(node->Value());
  return text;
}

void InstallZoom() {
  DisplayHooks.ZoomToRectangle.Set(ZoomToRectangle);
  DisplayHooks.ShiftSignalView.Set(ShiftSignalView);
  DisplayHooks.TraceHorScale.Set([](TTraceId trace) {
    return Registered() && IsZoomTrace(trace) ? ZoomNodes(trace).HorScale->Value() : 1.0;
  });
  AcqHooks.RefreshZoomControls.Set(RefreshZoomControls);
  DerivedHooks.Presentation.Set(ZoomPresentation);
  ShellHooks.ResetMemoryZoom.Set([](int memory) {
    const TTraceId trace = MemoryTrace(memory);
    if (!Registered() || !IsZoomTrace(trace)) return;
    TZoomNodes& n = ZoomNodes(trace);
    n.HorScale->SetMax(1.0);
    n.HorScale->SetValueByProgram(1.0);
    n.HorPosition->SetValueByProgram(0);
    ResetZoomForSource(trace);
    ApplyDerivedSignalZoom(trace);
    ApplyZoomToRecord(trace);
  });
  ShellHooks.CopyZoomToMemory.Set([](int memory, TTraceId source) {
    const TTraceId trace = MemoryTrace(memory);
    CopyZoomSettings(trace, source);
    ResetZoomForSource(trace);
    ApplyDerivedSignalZoom(trace);
    ApplyZoomToRecord(trace);
  });
  ShellHooks.ApplyZoomToRecord.Set(ApplyZoomToRecord);
}

}  // namespace norv
