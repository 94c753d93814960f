#pragma once
// The settings of the derived traces: the spectra S1 and S2 under "Spectr1:" and
// "Spectr2:", and the math functions F1-F4 under "F1:".."F4:". Their ":Display" nodes
// switch the traces on and off; every other node is read by the derived-signal passes at
// the next calculation.

#include <array>
#include <string>

#include "framework/traces/trace_names.h"

namespace norv {

class TOnOffHandler;
class TRadioSwHandler;
class TSignalSourceSwHandler;
class TDoubleEditHandler;
class TIntEditHandler;

struct TSpectrumNodes {
  TOnOffHandler* Display = nullptr;
  TSignalSourceSwHandler* Source = nullptr;
  TRadioSwHandler* Window = nullptr;
};

struct TFunctionNodes {
  TOnOffHandler* Display = nullptr;
  TRadioSwHandler* Operat = nullptr;
  TSignalSourceSwHandler* Source1 = nullptr;
  TSignalSourceSwHandler* Source2 = nullptr;
  TDoubleEditHandler* Const = nullptr;
  TIntEditHandler* SmoothLen = nullptr;  // m: the length is 2m + 3
  TRadioSwHandler* TrendMeas = nullptr;
};

struct TDerivedSettingsState {
  TRadioSwHandler* FFTSelect = nullptr;
  TRadioSwHandler* FuncSelect = nullptr;
  std::array<TSpectrumNodes, 2> Spectra{};
  std::array<TFunctionNodes, 4> Functions{};
};
TDerivedSettingsState& DerivedSettings();
void ResetDerivedSettingsState();

void RegisterFFTHandlers();
void RegisterMathHandlers();
// ":Source2", ":Const" and ":SmoothLen" enabled as the operator needs them, and the trend
// of the function started afresh.
void UpdateFunctionMenuEnabling(int function);
void UpdateAllFunctionMenus();

// "Spectr1" or "Spectr2".
std::string SpectrumPrefix(int spectrum);

// One derived trace's definition as its nodes give it now; equal definitions give equal
// results from equal arguments. Arguments above S2 mean "none".
struct TDerivedDefinition {
  int Operator = 0;  // functions: the ":Operat" index; spectra: the window
  TTraceId Source1 = TTraceId::None;
  TTraceId Source2 = TTraceId::None;
  double Constant = 0;
  int SmoothLen = 0;
  int TrendMeas = 0;
  // How the trace is presented (its zoom), as far as the presenting unit tells it.
  std::string Presentation;
  bool operator==(const TDerivedDefinition&) const = default;
};
// For F1-F4 and S1, S2; nullopt-like "None" sources for any other trace.
TDerivedDefinition DerivedDefinition(TTraceId trace);

}  // namespace norv
