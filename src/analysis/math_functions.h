#pragma once
// The operators of the math functions F1-F4 as routines on waveform records.
//
// Values are read as displayed (reflection units converted; complex records as stored)
// and the results hold them as they are (their Raw flag set). Every routine reads all
// of its operands before it writes, so a result may be one of its own operands.

#include <cstdint>
#include <span>
#include <string>

#include "framework/util/hook.h"
#include "instrument/record/signal_obj.h"

namespace norv {

// The ":Operat" list "Add,Sub,Mult,Div,Invert,Abs,Exp_e,Exp_10,Log_e,Log_10,Dif_al,
// Int_al,IFFT,LinInt,SinInt,Smooth,Trend,nnn,mmm".
enum TMathOperator : uint8_t {
  moAdd,
  moSub,
  moMult,
  moDiv,
  moInvert,
  moAbs,
  moExp_e,
  moExp_10,
  moLog_e,
  moLog_10,
  moDif_al,
  moInt_al,
  moIFFT,
  moLinInt,
  moSinInt,
  moSmooth,
  moTrend,
  moNormalize,
  moLowJitter,
};
inline constexpr int kMathOperatorCount = 19;

// Operators 0..3 on two records, or on Arg1 and `constant` when useConstant (Arg2 is then
// not read). Of two records of different lengths the longer one is read at every
// (L1/L2)-th point, and the result has the shorter length and the sample interval that
// goes with it. Divisors are kept at least 1e-50 from 0. Returns true. A record length
// outside 1..4096 throws std::out_of_range, an operator outside 0..3 EAssertion; both
// leave `result` unchanged.
bool MathBinaryOp(const TSignalObj& arg1, const TSignalObj& arg2, TSignalObj& result, double constant,
                  bool useConstant, int op);

// Operators 4..12 on one record (the refusals of complex or real sources are the
// caller's: see MathRefusal). IFFT of a length that cannot be transformed throws
// EFFTLength and changes nothing. Returns true.
bool MathUnaryOp(const TSignalObj& arg, TSignalObj& result, int op);

// Centred moving average of `length` points (an even length is made odd, below 3 is 3);
// beyond the ends the first and last points are repeated. Complex records on both parts.
void SmoothSignal(const TSignalObj& source, TSignalObj& result, int length);
// The same average in place over all of `values`.
void MovingAverage(std::span<double> values, int length);

// Linear or sin(x)/x interpolation of a record of at most 256 points to 512 points (k =
// 512 div L points per source point, dX / k); a longer record is copied unchanged.
void InterpolateSignal(const TSignalObj& source, TSignalObj& result, bool sinc);

// The language text of an operator's name as messages show it.
std::string GetOperatorDisplayName(int op);
// The refusal of a one-operand operator on its source, empty when there is none:
// "FuncErr1" for operators 4..11 on a complex source, "FuncErr2" for IFFT on a real one.
std::string MathRefusal(int op, const TSignalObj& source, const std::string& sourceName);

// The operators built elsewhere. Each does nothing (the function is not computed) until
// its owner fills it in.
struct TMathHooks {
  // Trend of a time measurement of `source` into `result`, whose header already is the
  // source's with its own scale and offset; true when computed.
  THook<bool(int functionIndex, int trendKind, const TSignalObj& source, TSignalObj& result)> BuildTrend{
      "MathHooks.BuildTrend"};
  // The normalized record of the function's channel (only during an acquisition's
  // post-processing); true when computed.
  THook<bool(int functionIndex, TSignalObj& result)> Normalize{"MathHooks.Normalize"};
  // The channel (code 2 or 3) is shown corrected in its function (F1 or F2).
  THook<bool(int channel)> ChannelNormalized{"MathHooks.ChannelNormalized"};
  // The low-jitter corrected record of `source`; true when computed.
  THook<bool(int functionIndex, const TSignalObj& source, TSignalObj& result)> LowJitter{
      "MathHooks.LowJitter"};
  // The function's trend starts afresh (its vertical scaling is found again).
  THook<void(int functionIndex)> ResetTrend{"MathHooks.ResetTrend"};
};
extern TMathHooks MathHooks;

// One function's definition as its settings give it.
struct TMathDefinition {
  int FunctionIndex = 0;  // 0..3 for F1..F4
  int Operator = moAdd;
  const TSignalObj* Source1 = nullptr;
  std::string Source1Name;              // display name, for messages
  const TSignalObj* Source2 = nullptr;  // none: the constant
  double Constant = 0.4;
  int SmoothLen = 2;  // the setting's internal value m: length 2m + 3
  int TrendMeas = 0;
};

struct TMathOutcome {
  bool Computed = false;
  std::string Refusal;  // the refusal message, empty when there is none
};

// Computes a function record by its operator: the routines above, the refusals, and for a
// computed record its largest magnitude (complex results) and change mark. A refused or
// not computed function keeps `result` as it was.
TMathOutcome CalcFunctionRecord(const TMathDefinition& def, TSignalObj& result);

}  // namespace norv
