#pragma once
// The derived traces F1-F4 (records 4..7) and S1, S2 (12, 13): which of them are on,
// which must be recalculated and in which order, after every acquisition and while the
// acquisition is stopped, and their drawing. Channels (0..3) and memories (8..11) are
// their possible arguments.
//
// The per-trace state lives in DerivedSignalStates (0 off, 1 waiting, 2 fresh in this
// cycle, 3 valid from an earlier cycle). Beside it this unit keeps each derived trace's
// definition as of its last calculation; a trace is recalculated when its definition
// differs in any setting, not when a checksum of the settings does (two definitions can
// share a checksum).

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/derived_settings.h"
#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"

namespace norv {

class TSignalObj;

constexpr bool IsFunctionTrace(TTraceId id) { return id >= TTraceId::F1 && id <= TTraceId::F4; }
constexpr bool IsSpectrumTrace(TTraceId id) { return id == TTraceId::S1 || id == TTraceId::S2; }
constexpr TTraceId FunctionTrace(int n) { return static_cast<TTraceId>(TraceIndex(TTraceId::F1) + n); }
constexpr TTraceId SpectrumTrace(int n) { return static_cast<TTraceId>(TraceIndex(TTraceId::S1) + n); }
constexpr TTraceId MemoryTrace(int n) { return static_cast<TTraceId>(TraceIndex(TTraceId::M1) + n); }

struct TDerivedHooks {
  // The text of the settings that present a derived trace (its zoom); a change of it
  // redraws the trace as a change of its definition does.
  THook<std::string(TTraceId)> Presentation{"DerivedHooks.Presentation"};
};
extern TDerivedHooks DerivedHooks;

struct TDerivedSignalsState {
  // The definition each derived trace was last calculated with (none: never).
  std::array<std::optional<TDerivedDefinition>, kRecordTraceCount> Calculated{};
  // The last refusal of each spectrum and function, and the last list of traces whose
  // arguments never became ready: each message box shows only when its text changes.
  std::array<std::string, 2> SpectrumMessages{};
  std::array<std::string, 4> FunctionMessages{};
  std::string ArgumentsMessage;
  // The records the XY figure was last drawn from ("Displ:XAxis", "Displ:YAxis").
  std::optional<std::pair<TTraceId, TTraceId>> XYAxes;
};
TDerivedSignalsState& DerivedSignals();
void ResetDerivedSignalsState();

// The traces a derived trace is computed from; None for "no argument" (a constant).
TTraceId Argument1Of(TTraceId trace);
TTraceId Argument2Of(TTraceId trace);
bool ArgumentOff(TTraceId trace);
bool ArgumentsReady(TTraceId trace);
bool NeedsRecalc(TTraceId trace);

// Switches derived traces on (state 1) and off (state 0, layer deleted) as their traces
// and arguments are shown, and sends valid ones whose definition or arguments changed
// back to state 1; at most 10 sweeps.
void SostaritjIliOtklFuncSpectrGdeNado();
// Calculates every waiting derived trace whose arguments are ready, one dependency link
// per sweep, at most 10 sweeps; then names the ones left waiting in a message.
void ReCalculateFuncAndSpectrGdeNado();
// While stopped: the channels and memories switched off leave their dependants, changed
// definitions are recalculated, and derived traces without a layer are drawn again.
void RedrawDerivedSignals();

bool CalcAndDrawFuncOrSpectr(TTraceId trace);
bool CalcSpectrumSignal(int spectrum);
bool CalcFunctionSignal(int function);
// The record a function would be calculated into now from its arguments' records, aside
// from its own; none where it cannot be calculated or its operator keeps a state of its own.
std::unique_ptr<TSignalObj> PreviewFunctionRecord(int function);
// Draws a record into the layer of its trace's style; nothing without a layer.
void DrawSignalToLayer(TTraceId trace);
// The XY pair before it is drawn: other axes start the figure afresh.
void CalcXYSignal();
void ClearSpectrumMessage(int spectrum);
// Why each shown spectrum has no transform from the length of its source's next record
// ("" for one that has), one per spectrum.
std::vector<std::string> SpectrumRefusals();
// After a client's line: the refusals of SpectrumRefusals that the line brought, those not
// there `before` it. Each is told (to the log, while dialogs are suppressed) and kept, so
// that no later pass shows it again; their texts, a line each, or "" when none is new. One
// there before is not the line's: the pass that computes its spectrum tells it.
std::string TellNewSpectrumRefusals(const std::vector<std::string>& before);

// The passes in the acquisition cycle's hooks.
void InstallDerivedSignals();

}  // namespace norv
