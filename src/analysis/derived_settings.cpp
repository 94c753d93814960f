#include "analysis/derived_settings.h"

#include <cmath>
#include <memory>
#include <string>

#include "analysis/derived_signals.h"
#include "analysis/math_functions.h"
#include "analysis/zoom.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/value_text.h"
#include "framework/util/errors.h"

namespace norv {

namespace {

TDerivedSettingsState State;
const TProgramUnit StateUnit("derived-trace settings", ResetDerivedSettingsState);

constexpr const char* kSourceList = "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None";
constexpr const char* kOperators =
    "Add,Sub,Mult,Div,Invert,Abs,Exp_e,Exp_10,Log_e,Log_10,Dif_al,Int_al,IFFT,LinInt,SinInt,Smooth,Trend,nnn,"
    "mmm";
constexpr const char* kTrendKinds = "Period,Freq,PosWidth,NegWidth,RiseTime,FallTime,PosDuty,NegDuty";
constexpr const char* kWindows = "Rectang,Hamming,Hanning,Flattop,BlackHarr,KaiserBess";
constexpr int kSmoothLenMax = 24;

uint32_t ExcludedFrom(TTraceId first, TTraceId keep = TTraceId::None) {
  uint32_t mask = 0;
  for (int id = TraceIndex(first); id < kTraceIdCount; ++id)
    if (id != TraceIndex(keep)) mask |= 1u << id;
  return mask;
}

TTraceId SourceOf(const TSignalSourceSwHandler* node) { return node ? node->GetSource() : TTraceId::None; }

// The low-jitter operator is the reference run's to choose (by program): a command naming
// it changes nothing, while a setup or an undo step may put back what the run had chosen.
// The correction's "nnn", disabled on the page as well, stays open to commands.
class TOperatorHandler final : public TRadioSwHandler {
 public:
  using TRadioSwHandler::TRadioSwHandler;

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override {
    const bool reserved = !replay && FindItem(Items(), param) == moLowJitter;
    return TRadioSwHandler::Execute(reserved ? std::string() : param, isQuery, replay);
  }
};

// The function whose node this is; every node of F1..F4 is found.
int FunctionOfNode(const THandler& node) {
  for (int n = 0; n < 4; ++n) {
    const TFunctionNodes& f = State.Functions[n];
    const THandler* nodes[] = {f.Display, f.Operat, f.Source1, f.Source2, f.Const, f.SmoothLen, f.TrendMeas};
    for (const THandler* h : nodes)
      if (h == &node) return n;
  }
  throw EAssertion("UNKNOWN Handler");
}

void SmoothLenText(const TEditHandler&, std::string& text, double value) {
  text = std::to_string(2 * static_cast<int>(value) + 3);
}
// A typed length v is stored as (v - 3) / 2; the limits of the node keep it in range.
void SmoothLenEntry(double& value, TEditHandler&) {
  if (std::isfinite(value)) value = std::floor((value - 3) / 2);
}

}  // namespace

TDerivedSettingsState& DerivedSettings() { return State; }
void ResetDerivedSettingsState() { State = {}; }

std::string SpectrumPrefix(int spectrum) { return spectrum == 0 ? "Spectr1" : "Spectr2"; }

void RegisterFFTHandlers() {
  TSpider& root = *RootSpider;
  State.FFTSelect = root.AddRadioSw(0, "SHADOW:FFTSelect", "Spectr1,Spectr2");
  for (int k = 0; k < 2; ++k) {
    const std::string base = SpectrumPrefix(k) + ":";
    const TTraceId trace = SpectrumTrace(k);
    TSpectrumNodes& n = State.Spectra[k];
    n.Display = root.AddOnOff(false, base + "Display", [k, trace](THandler&) {
      SignalsOn.SetOn(trace, IsOn(State.Spectra[k].Display));
      ClearSpectrumMessage(k);
    });
    n.Source = root.AddSignalSourceSw(0, base + "Source", kSourceList, ExcludedFrom(TTraceId::S1));
    n.Window = root.AddRadioSw(0, base + "Window", kWindows);
  }
}

void RegisterMathHandlers() {
  TSpider& root = *RootSpider;
  State.FuncSelect = root.AddRadioSw(0, "SHADOW:FuncSelect", "F1,F2,F3,F4");
  const auto menus = [](THandler& node) { UpdateFunctionMenuEnabling(FunctionOfNode(node)); };
  // What the operator and its arguments are decides whether the result is a spectrum.
  const auto definition = [menus](THandler& node) {
    OpenFunctionZoomsUntilComputed();
    menus(node);
  };
  for (int n = 0; n < 4; ++n) {
    const std::string base = "F" + std::to_string(n + 1) + ":";
    const TTraceId trace = FunctionTrace(n);
    TFunctionNodes& f = State.Functions[n];
    f.Display = root.AddOnOff(false, base + "Display", [n, trace](THandler&) {
      SignalsOn.SetOn(trace, IsOn(State.Functions[n].Display));
    });
    auto operat = std::make_unique<TOperatorHandler>(static_cast<uint8_t>(n), kOperators, definition);
    operat->SetDisabledMask((1u << moNormalize) | (1u << moLowJitter));
    f.Operat = operat.get();
    root.AddItem(base + "Operat", std::move(operat));
    f.Source1 = root.AddSignalSourceSw(0, base + "Source1", kSourceList, ExcludedFrom(TTraceId::XY),
                                       [](THandler&) { OpenFunctionZoomsUntilComputed(); });
    f.Source2 = root.AddSignalSourceSw(TraceIndex(TTraceId::Ch2), base + "Source2", kSourceList,
                                       ExcludedFrom(TTraceId::XY, TTraceId::Const), definition);
    f.Const = root.AddDoubleEdit({.Path = base + "Const",
                                  .Value = 0.4,
                                  .FormatMode = vfGeneral,
                                  .Min = -1e8,
                                  .Mid = 0,
                                  .Max = 1e8,
                                  .CoarseRule = srQuantised,
                                  .CoarseStep = 0.1,
                                  .FineRule = srQuantised,
                                  .FineStep = 0.001,
                                  .Tolerance = 1e-15});
    f.SmoothLen = root.AddIntEdit({.Path = base + "SmoothLen",
                                   .Value = 2,
                                   .Min = 0,
                                   .Mid = 2,
                                   .Max = kSmoothLenMax,
                                   .CoarseRule = srLinear,
                                   .CoarseStep = 1,
                                   .OnGetText = SmoothLenText,
                                   .OnBeforeSet = SmoothLenEntry});
    f.TrendMeas = root.AddRadioSw(0, base + "TrendMeas", kTrendKinds, menus);
  }
}

void UpdateFunctionMenuEnabling(int function) {
  TFunctionNodes& f = State.Functions.at(function);
  if (!f.Operat) return;
  // F1 and F2 show the corrected Ch1 and Ch2: offered, and fixed, only while it is on.
  if (function < 2) {
    const bool normalized = MathHooks.ChannelNormalized(function + 2);
    f.Display->SetDisabled(normalized);
    f.Operat->SetDisabled(normalized);
    f.Source1->SetDisabled(normalized);
    const uint32_t mask = f.Operat->GetDisabledMask();
    f.Operat->SetDisabledMask(normalized ? mask & ~(1u << moNormalize) : mask | (1u << moNormalize));
  }
  const bool twoOperands = GetIndex(f.Operat) <= moDiv;
  f.Source2->SetDisabled(!twoOperands);
  f.Const->SetDisabled(!twoOperands || f.Source2->GetSource() != TTraceId::Const);
  f.SmoothLen->SetDisabled(GetIndex(f.Operat) != moSmooth);
  MathHooks.ResetTrend(function);
}

void UpdateAllFunctionMenus() {
  for (int n = 0; n < 4; ++n) UpdateFunctionMenuEnabling(n);
}

TDerivedDefinition DerivedDefinition(TTraceId trace) {
  TDerivedDefinition d;
  if (IsFunctionTrace(trace)) {
    const TFunctionNodes& f = State.Functions[TraceIndex(trace) - TraceIndex(TTraceId::F1)];
    if (!f.Operat) return d;
    d.Operator = GetIndex(f.Operat);
    d.Source1 = SourceOf(f.Source1);
    if (d.Operator <= moDiv) {
      d.Source2 = SourceOf(f.Source2);
      if (d.Source2 == TTraceId::Const) d.Constant = f.Const->Value();
    }
    // The low-jitter correction reads channel 1 at the times channel 2 gives.
    if (d.Operator == moLowJitter) {
      d.Source1 = TTraceId::Ch1;
      d.Source2 = TTraceId::Ch2;
    }
    d.SmoothLen = d.Operator == moSmooth ? f.SmoothLen->Value() : 0;
    d.TrendMeas = d.Operator == moTrend ? GetIndex(f.TrendMeas) : 0;
  } else if (IsSpectrumTrace(trace)) {
    const TSpectrumNodes& s = State.Spectra[TraceIndex(trace) - TraceIndex(TTraceId::S1)];
    if (!s.Source) return d;
    d.Operator = GetIndex(s.Window);
    d.Source1 = SourceOf(s.Source);
  } else {
    return d;
  }
  d.Presentation = DerivedHooks.Presentation(trace);
  return d;
}

}  // namespace norv
