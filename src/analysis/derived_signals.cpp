#include "analysis/derived_signals.h"

#include "analysis/derived_settings.h"
#include "analysis/fft.h"
#include "analysis/math_functions.h"
#include "analysis/spectrum.h"
#include "analysis/zoom.h"
#include "display/scope_crt.h"
#include "display/settings/display_settings.h"
#include "display/signal_layers.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/record/signal_obj.h"
#include "instrument/settings/acquisition_settings.h"
#include "shell/shell_state.h"

namespace norv {

TDerivedHooks DerivedHooks;

namespace {

TDerivedSignalsState State;
const TProgramUnit StateUnit("derived signals", ResetDerivedSignalsState);

constexpr int kMaxSweeps = 10;
constexpr TTraceId kDerivedOrder[] = {TTraceId::F1, TTraceId::F2, TTraceId::F3,
                                      TTraceId::F4, TTraceId::S1, TTraceId::S2};

uint8_t& StateOf(TTraceId id) { return DerivedSignalStates[TraceIndex(id)]; }
uint8_t StateOrOff(TTraceId id) { return IsRecordTrace(id) ? StateOf(id) : uint8_t{dssOff}; }
bool Ready(TTraceId id) { return StateOrOff(id) >= dssFresh; }

void ShowErrorBox(const std::string& text) { Dialogs().Inform(TMessageKind::Error, text); }

// A refusal is shown when its text differs from the one stored last.
void Remember(std::string& stored, const std::string& message) {
  if (message == stored) return;
  stored = message;
  if (!message.empty()) ShowErrorBox(message);
}

void DeleteLayer(TTraceId id) {
  if (ScopeCRT) ScopeCRT->DeleteSignalLayer(id);
}

}  // namespace

TDerivedSignalsState& DerivedSignals() { return State; }
void ResetDerivedSignalsState() { State = {}; }

TTraceId Argument1Of(TTraceId trace) {
  if (IsFunctionTrace(trace) || IsSpectrumTrace(trace)) {
    const TTraceId a = DerivedDefinition(trace).Source1;
    return IsRecordTrace(a) ? a : TTraceId::None;
  }
  ShowErrorBox("Argument_1_OfFunc  - странный номер функции!");
  return TTraceId::None;
}

TTraceId Argument2Of(TTraceId trace) {
  if (!IsFunctionTrace(trace)) throw EAssertion("Argument_2_OfFunc  - должен вызываться только для функций");
  const TTraceId a = DerivedDefinition(trace).Source2;
  return IsRecordTrace(a) ? a : TTraceId::None;
}

namespace {
TTraceId SecondArgument(TTraceId trace) {
  return IsFunctionTrace(trace) ? Argument2Of(trace) : TTraceId::None;
}
}  // namespace

bool ArgumentOff(TTraceId trace) {
  const TTraceId a2 = SecondArgument(trace);
  return StateOrOff(Argument1Of(trace)) == dssOff || (a2 != TTraceId::None && StateOf(a2) == dssOff);
}

bool ArgumentsReady(TTraceId trace) {
  const TTraceId a2 = SecondArgument(trace);
  return Ready(Argument1Of(trace)) && (a2 == TTraceId::None || Ready(a2));
}

bool NeedsRecalc(TTraceId trace) {
  const TTraceId a1 = Argument1Of(trace), a2 = SecondArgument(trace);
  if (StateOrOff(a1) == dssOn || (a2 != TTraceId::None && StateOf(a2) == dssOn)) return true;
  return State.Calculated[TraceIndex(trace)] != DerivedDefinition(trace);
}

void SostaritjIliOtklFuncSpectrGdeNado() {
  bool changed = true;
  int sweeps = 0;
  for (; changed && sweeps < kMaxSweeps; ++sweeps) {
    changed = false;
    for (TTraceId s : kDerivedOrder) {
      uint8_t& state = StateOf(s);
      if (!SignalsOn.IsOn(s)) {
        if (state != dssOff) DeleteLayer(s);
        state = dssOff;
      } else if (state != dssOff && ArgumentOff(s)) {
        DeleteLayer(s);
        state = dssOff;
        changed = true;
      } else if (state == dssOff && !ArgumentOff(s)) {
        state = dssOn;
        changed = true;
      } else if (state == dssDrawn && NeedsRecalc(s)) {
        state = dssOn;
        changed = true;
      }
    }
  }
  if (changed) ShowErrorBox("SostaritjIliOtklFuncSpectrGdeNado ЗАЦИКЛИЛАСЬ!");
}

void ReCalculateFuncAndSpectrGdeNado() {
  std::array<bool, kRecordTraceCount> failed{};
  bool changed = true;
  int sweeps = 0;
  for (; changed; ++sweeps) {
    if (sweeps == kMaxSweeps) throw EAssertion("ReCalculateFuncAndSpectrGdeNado ЗАЦИКЛИЛАСЬ!");
    changed = false;
    for (TTraceId s : kDerivedOrder) {
      if (!SignalsOn.IsOn(s) || StateOf(s) >= dssFresh || !ArgumentsReady(s)) continue;
      State.Calculated[TraceIndex(s)] = DerivedDefinition(s);
      const bool done = CalcAndDrawFuncOrSpectr(s);
      failed[TraceIndex(s)] = !done;
      if (!done) continue;
      State.Calculated[TraceIndex(s)] = DerivedDefinition(s);
      StateOf(s) = dssFresh;
      changed = true;
    }
  }
  std::string names;
  for (TTraceId s : kDerivedOrder)
    if (SignalsOn.IsOn(s) && StateOf(s) == dssOn && !failed[TraceIndex(s)])
      names += (names.empty() ? "" : ", ") + TraceDisplayName(s);
  Remember(State.ArgumentsMessage, names.empty() ? "" : FormatLangStr("FuncSZacyclilisj", names));
}

void RedrawDerivedSignals() {
  for (int i = 0; i < TraceIndex(TTraceId::F1); ++i)
    if (!SignalsOn.IsOn(static_cast<TTraceId>(i))) DerivedSignalStates[i] = dssOff;
  for (int n = 0; n < 4; ++n)
    if (!SignalsOn.IsOn(MemoryTrace(n))) StateOf(MemoryTrace(n)) = dssOff;
  SostaritjIliOtklFuncSpectrGdeNado();
  MoveChangedMemoriesOn();
  ReCalculateFuncAndSpectrGdeNado();
  // What was calculated now is valid for the next acquisition to check.
  for (TTraceId s : kDerivedOrder)
    if (StateOf(s) == dssFresh) StateOf(s) = dssDrawn;
  if (!ScopeCRT) return;
  for (TTraceId s : kDerivedOrder)
    if (SignalsOn.IsOn(s) && StateOf(s) >= dssFresh && !ScopeCRT->HasSignalLayer(s)) DrawSignalToLayer(s);
}

bool CalcAndDrawFuncOrSpectr(TTraceId trace) {
  if (IsFunctionTrace(trace)) return CalcFunctionSignal(TraceIndex(trace) - TraceIndex(TTraceId::F1));
  if (IsSpectrumTrace(trace)) return CalcSpectrumSignal(TraceIndex(trace) - TraceIndex(TTraceId::S1));
  throw EAssertion("CalcAndDrawFuncOrSpectr - странный аргумент!");
}

namespace {

// Why a spectrum cannot be computed from the length of its source's next record (a
// channel's is the acquisition's record length, whatever the record held last), or "".
std::string LengthRefusal(int spectrum) {
  const TTraceId source = DerivedDefinition(SpectrumTrace(spectrum)).Source1;
  if (!IsRecordTrace(source)) return {};
  const bool channel = TraceIndex(source) <= TraceIndex(TTraceId::Ch2B2);
  // None while the acquisition settings are not registered.
  const int acquired = channel ? GetAcqRecLen(TraceIndex(source) < TraceIndex(TTraceId::Ch2) ? 2 : 3) : 0;
  const int length = acquired > 0 ? acquired : SignalObjs()[source].GetRecLen();
  try {
    CheckRecordFFTLength(length);
  } catch (const EFFTLength& e) {
    return e.what();
  }
  return {};
}

}  // namespace

bool CalcSpectrumSignal(int spectrum) {
  const TTraceId trace = SpectrumTrace(spectrum);
  const TDerivedDefinition d = DerivedDefinition(trace);
  if (!IsRecordTrace(d.Source1)) return false;
  std::string message = LengthRefusal(spectrum);
  try {
    if (message.empty())
      message = CalcSpectrumOf(SignalObjs()[trace], SignalObjs()[d.Source1], TraceDisplayName(d.Source1),
                               d.Operator);
  } catch (const EFFTLength& e) {
    message = e.what();
  }
  std::string& stored = State.SpectrumMessages.at(spectrum);
  if (!message.empty()) {
    Remember(stored, message);
    return false;
  }
  stored.clear();
  ApplyDerivedSignalZoom(trace);
  DrawSignalToLayer(trace);
  return true;
}

namespace {

// What a function is calculated from, or none while an argument is no record.
std::optional<TMathDefinition> MathDefinitionOf(int function) {
  const TDerivedDefinition d = DerivedDefinition(FunctionTrace(function));
  if (!IsRecordTrace(d.Source1)) return std::nullopt;
  TMathDefinition def;
  def.FunctionIndex = function;
  def.Operator = d.Operator;
  def.Source1 = &SignalObjs()[d.Source1];
  def.Source1Name = TraceDisplayName(d.Source1);
  if (d.Operator <= moDiv) {
    if (IsRecordTrace(d.Source2)) {
      def.Source2 = &SignalObjs()[d.Source2];
    } else if (d.Source2 != TTraceId::Const) {
      return std::nullopt;
    }
  }
  def.Constant = d.Constant;
  def.SmoothLen = d.SmoothLen;
  def.TrendMeas = d.TrendMeas;
  return def;
}

}  // namespace

bool CalcFunctionSignal(int function) {
  const TTraceId trace = FunctionTrace(function);
  const std::optional<TMathDefinition> def = MathDefinitionOf(function);
  if (!def) return false;
  TMathOutcome outcome;
  try {
    outcome = CalcFunctionRecord(*def, SignalObjs()[trace]);
  } catch (const EFFTLength& e) {
    outcome.Refusal = e.what();
  }
  if (def->Operator >= moInvert && def->Operator <= moIFFT)
    Remember(State.FunctionMessages.at(function), outcome.Refusal);
  if (!outcome.Computed) return false;
  ApplyDerivedSignalZoom(trace);
  DrawSignalToLayer(trace);
  return true;
}

std::unique_ptr<TSignalObj> PreviewFunctionRecord(int function) {
  const std::optional<TMathDefinition> def = MathDefinitionOf(function);
  // The trend, the normalisation and the low-jitter operator build on states of their own.
  if (!def || def->Operator >= moTrend) return nullptr;
  // Arguments without a record (an empty memory) give none.
  for (const TSignalObj* source : {def->Source1, def->Source2})
    if (source && source->GetRecLen() < 1) return nullptr;
  auto result = std::make_unique<TSignalObj>();
  try {
    if (!CalcFunctionRecord(*def, *result).Computed) return nullptr;
  } catch (const EFFTLength&) {
    return nullptr;
  }
  return result;
}

void DrawSignalToLayer(TTraceId trace) {
  TParentSignalLayer* layer = GetStyledTraceLayer(trace);
  if (!layer) return;
  ApplyZoomToRecord(trace);
  DrawSignal(*layer, SignalObjs()[trace]);
}

void CalcXYSignal() {
  const TDisplaySettingsState& display = DisplaySettings();
  if (!display.XAxis || !display.YAxis) return;
  const std::pair axes(display.XAxis->GetSource(), display.YAxis->GetSource());
  if (State.XYAxes == axes) return;
  State.XYAxes = axes;
  if (ScopeCRT) ScopeCRT->DeleteXYLayer();
}

void ClearSpectrumMessage(int spectrum) { State.SpectrumMessages.at(spectrum).clear(); }

std::vector<std::string> SpectrumRefusals() {
  std::vector<std::string> refusals(State.SpectrumMessages.size());
  for (size_t k = 0; k < refusals.size(); ++k)
    if (SignalsOn.IsOn(SpectrumTrace(static_cast<int>(k)))) refusals[k] = LengthRefusal(static_cast<int>(k));
  return refusals;
}

std::string TellNewSpectrumRefusals(const std::vector<std::string>& before) {
  const std::vector<std::string> now = SpectrumRefusals();
  std::string told;
  for (size_t k = 0; k < now.size(); ++k) {
    const std::string& message = now[k];
    if (message.empty() || message == State.SpectrumMessages[k] ||
        (k < before.size() && message == before[k]))
      continue;
    Remember(State.SpectrumMessages[k], message);
    told += (told.empty() ? "" : "\n") + message;
  }
  return told;
}

namespace {

// Records put back (a procedure's end): the layers took the procedure's points. A channel's
// trace on the screen is drawn afresh, and so is a derived one that is drawn; a derived one
// without a layer waits for the pass that finds it valid.
void RedrawRecordsGivenBack() {
  if (!ScopeCRT) return;
  for (int i = 0; i < kRecordTraceCount; ++i) {
    const auto id = static_cast<TTraceId>(i);
    const bool channel = id <= TTraceId::Ch2B2;
    if (!channel && !IsFunctionTrace(id) && !IsSpectrumTrace(id)) continue;
    if (!SignalsOn.IsOn(id) || !(channel || ScopeCRT->HasSignalLayer(id))) continue;
    ScopeCRT->DeleteSignalLayer(id);
    DrawSignalToLayer(id);
  }
}

}  // namespace

void InstallDerivedSignals() {
  AcqHooks.RedrawRecordsGivenBack.Set(RedrawRecordsGivenBack);
  AcqHooks.SostaritjIliOtklFuncSpectrGdeNado.Set(SostaritjIliOtklFuncSpectrGdeNado);
  AcqHooks.ReCalculateFuncAndSpectrGdeNado.Set([](bool) { ReCalculateFuncAndSpectrGdeNado(); });
  AcqHooks.RedrawDerivedSignals.Set(RedrawDerivedSignals);
  ShellHooks.SpectrumRefusals.Set(SpectrumRefusals);
  ShellHooks.TellNewSpectrumRefusals.Set(TellNewSpectrumRefusals);
  AcqHooks.CalcDerivedSignal.Set([](int index) {
    if (index == kXYDerivedIndex) CalcXYSignal();
  });
}

}  // namespace norv
