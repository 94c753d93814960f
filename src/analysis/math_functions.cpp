#include "analysis/math_functions.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>
#include <stdexcept>
#include <vector>

#include "analysis/fft.h"
#include "analysis/spectrum.h"
#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"

namespace norv {

TMathHooks MathHooks;
const TProgramUnit MathHooksUnit("math hooks", [] { MathHooks = {}; });

namespace {

constexpr double kMinDivisor = 1e-50;
constexpr double kMinLogArgument = 1e-7;
constexpr double kLogFloor = -1e10;
constexpr double kExpLimit = 200;
constexpr int kInterpolatedLength = 512;
constexpr int kMaxInterpolatedSource = 256;

// A record's points and the header values the operators combine, read before the result
// is written.
struct TOperand {
  int n = 0;
  bool complex = false;
  std::vector<double> re;
  std::vector<double> im;  // zeros for a real record
  double scale = 0;
  double offset = 0;
  double dx = 0;
  std::string unit;
  std::string horUnit;
};

int CheckedLength(const TSignalObj& r) {
  const int n = r.GetRecLen();
  if (n < 1 || n > kMaxRecLen)
    throw std::out_of_range("record length " + std::to_string(n) + " outside 1..4096");
  return n;
}

TOperand Read(const TSignalObj& r) {
  TOperand a;
  a.n = CheckedLength(r);
  a.complex = r.IsSpectrum();
  const auto n = static_cast<size_t>(a.n);
  if (a.complex) {
    // Spectra hold display values already; their Im has no reflection conversion.
    a.re.assign(r.StoredYData(), r.StoredYData() + n);
    a.im.assign(r.StoredImData(), r.StoredImData() + n);
  } else {
    a.re.resize(n);
    r.GetYs(a.re);
    a.im.assign(n, 0.0);
  }
  a.scale = r.GetVertScale();
  a.offset = r.GetVertOffset();
  a.dx = r.GetDX();
  a.unit = r.GetVertUnitText();
  a.horUnit = r.GetHorUnit();
  return a;
}

// The header of `source` with its displayed unit, values taken as they are.
void StartResult(TSignalObj& result, const TSignalObj& source, const TOperand& a) {
  result.AssignHeader(source);
  result.SetRaw(true);
  result.SetVertUnit(a.unit);
}

// The imaginary parts a result keeps: those of a complex one, none of a real one.
std::span<const double> ImIf(bool complex, const std::vector<double>& im) {
  return complex ? std::span<const double>(im) : std::span<const double>();
}

// Away from 0 by at least 1e-50, keeping the sign (0 counts as positive).
double Guarded(double x) {
  if (std::fabs(x) <= kMinDivisor) return x >= 0 ? kMinDivisor : -kMinDivisor;
  return x;
}

// In place on the operand's points.
void CombineConstant(TOperand& a, TSignalObj& result, double c, int op) {
  if (op == moDiv && std::fabs(c) < kMinDivisor) c = c >= 0 ? kMinDivisor : -kMinDivisor;
  std::vector<double>& re = a.re;
  std::vector<double>& im = a.im;
  switch (op) {
    case moAdd:  // a real constant leaves the imaginary part alone
      for (double& v : re) v += c;
      break;
    case moSub:
      for (double& v : re) v -= c;
      break;
    case moMult:
      for (double& v : re) v *= c;
      for (double& v : im) v *= c;
      break;
    default:
      for (double& v : re) v /= c;
      for (double& v : im) v /= c;
      break;
  }
  result.SetPoints(re, ImIf(a.complex, im));
}

struct TComplexValue {
  double re, im;
};

template <int Op>
TComplexValue Combine(TComplexValue a, bool aComplex, TComplexValue b, bool bComplex) {
  if constexpr (Op == moAdd) {
    return {a.re + b.re, a.im + b.im};
  } else if constexpr (Op == moSub) {
    return {a.re - b.re, a.im - b.im};
  } else if constexpr (Op == moMult) {
    if (aComplex && bComplex) return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
    if (aComplex) return {a.re * b.re, a.im * b.re};
    if (bComplex) return {a.re * b.re, a.re * b.im};
    return {a.re * b.re, 0};
  } else {
    if (!aComplex && !bComplex) return {a.re / Guarded(b.re), 0};
    if (aComplex && !bComplex) {
      const double inv = 1 / Guarded(b.re);
      return {a.re * inv, a.im * inv};
    }
    const double norm = Guarded(b.re * b.re + b.im * b.im);
    return {(a.re * b.re + a.im * b.im) / norm, (a.im * b.re - a.re * b.im) / norm};
  }
}

// Points i * StepA of A with points i * StepB of B into Re and Im, the operator chosen
// once for the whole record.
template <int Op>
void CombineEach(const TOperand& a, int stepA, const TOperand& b, int stepB, std::vector<double>& re,
                 std::vector<double>& im) {
  for (size_t i = 0; i < re.size(); ++i) {
    const size_t p = i * static_cast<size_t>(stepA);
    const size_t q = i * static_cast<size_t>(stepB);
    const TComplexValue v = Combine<Op>({a.re[p], a.im[p]}, a.complex, {b.re[q], b.im[q]}, b.complex);
    re[i] = v.re;
    im[i] = v.im;
  }
}

double DivisionScale(const TOperand& a, const TOperand& b) {
  const double top = std::max(std::fabs(a.offset + 4 * a.scale), std::fabs(a.offset - 4 * a.scale));
  int best = 4;
  for (int k = 3; k >= -4; --k) {
    if (std::fabs(k * b.scale + b.offset) < std::fabs(best * b.scale + b.offset)) best = k;
  }
  const int next = best == 4 ? 3 : best + 1;
  const double bottom = std::fabs(next * b.scale + b.offset);
  // A flat divisor scale has no level to divide by; keep the dividend's scale.
  return bottom > 0 ? top / bottom : a.scale;
}

void CombineRecords(const TOperand& a, const TOperand& b, TSignalObj& result, int op) {
  const int n = std::min(a.n, b.n);
  const int step1 = a.n / n;
  const int step2 = b.n / n;
  const bool complex = a.complex || b.complex;
  std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
  switch (op) {
    case moAdd:
      CombineEach<moAdd>(a, step1, b, step2, re, im);
      break;
    case moSub:
      CombineEach<moSub>(a, step1, b, step2, re, im);
      break;
    case moMult:
      CombineEach<moMult>(a, step1, b, step2, re, im);
      break;
    default:
      CombineEach<moDiv>(a, step1, b, step2, re, im);
      break;
  }
  result.SetRecLen(static_cast<uint16_t>(n));
  result.SetSpectrum(complex);
  // Reading every step1-th point of Arg1 widens its sample interval as much.
  result.SetDX(a.dx * step1);
  result.SetPoints(re, ImIf(complex, im));

  switch (op) {
    case moAdd:
    case moSub:
      result.SetVertScale(std::max(a.scale, b.scale));
      result.SetVertOffset(op == moAdd ? a.offset + b.offset : a.offset - b.offset);
      result.SetVertUnit(a.unit == b.unit ? a.unit : "?");
      break;
    case moMult:
      result.SetVertScale(std::max({a.scale * b.scale, a.scale * b.offset, b.scale * a.offset}));
      result.SetVertOffset(a.offset * b.offset);
      result.SetVertUnit(a.unit.empty() ? b.unit : b.unit.empty() ? a.unit : a.unit + "*" + b.unit);
      break;
    default:
      result.SetVertScale(DivisionScale(a, b));
      result.SetVertOffset(0);
      result.SetVertUnit(a.unit == b.unit ? "" : a.unit + "/ " + b.unit);
      break;
  }
  if (a.horUnit != b.horUnit) result.SetHorUnit("?");
}

// Operators 4..11, point by point or along the record.
std::vector<double> RealOperator(const TOperand& a, int op) {
  const std::vector<double>& x = a.re;
  const size_t n = x.size();
  std::vector<double> y(n);
  switch (op) {
    case moInvert:
      for (size_t i = 0; i < n; ++i) y[i] = -x[i];
      break;
    case moAbs:
      for (size_t i = 0; i < n; ++i) y[i] = std::fabs(x[i]);
      break;
    case moExp_e:
    case moExp_10: {
      const double factor = op == moExp_e ? 1.0 : std::numbers::ln10;
      for (size_t i = 0; i < n; ++i) y[i] = std::exp(std::clamp(x[i] * factor, -kExpLimit, kExpLimit));
      break;
    }
    case moLog_e:
    case moLog_10: {
      const double divisor = op == moLog_e ? 1.0 : std::numbers::ln10;
      for (size_t i = 0; i < n; ++i) y[i] = (x[i] <= kMinLogArgument ? kLogFloor : std::log(x[i])) / divisor;
      break;
    }
    case moDif_al:
      // One-sided at the ends, centred inside.
      if (n < 2) break;
      y[0] = (x[1] - x[0]) / a.dx;
      for (size_t i = 1; i + 1 < n; ++i) y[i] = (x[i + 1] - x[i - 1]) / (2 * a.dx);
      y[n - 1] = (x[n - 1] - x[n - 2]) / a.dx;
      break;
    default:  // moInt_al, trapezoids
      y[0] = 0;
      for (size_t i = 1; i < n; ++i) y[i] = y[i - 1] + (x[i] + x[i - 1]) * a.dx / 2;
      break;
  }
  return y;
}

// In place on the operand's points.
void InverseFFT(TOperand& a, TSignalObj& result, const TSignalObj& source) {
  CheckRecordFFTLength(a.n);
  std::vector<double>& re = a.re;
  std::vector<double>& im = a.im;
  re[0] *= 2;
  im[0] *= 2;
  FFT_Transform(a.n, true, re, im);
  StartResult(result, source, a);
  result.SetSpectrum(false);
  result.SetPoints(re, im);
  result.SetHorUnit("s");
  result.SetDX(a.dx != 0 ? 1 / (a.n * a.dx) : 0);
  result.SetX0(0);
}

// sum over j of x[j] sin(pi (t - j)) / (pi (t - j)), with sin(pi (t - j)) = (-1)^j sin(pi t).
double SincAt(const std::vector<double>& x, double t) {
  double sum = 0;
  for (size_t j = 0; j < x.size(); ++j) {
    const double term = x[j] / (t - static_cast<double>(j));
    sum += j % 2 == 0 ? term : -term;
  }
  return std::sin(std::numbers::pi * t) / std::numbers::pi * sum;
}

std::vector<double> Interpolated(const std::vector<double>& x, int k, bool sinc) {
  const int n = static_cast<int>(x.size());
  std::vector<double> y(static_cast<size_t>(n * k));
  for (int j = 0; j < n; ++j) {
    const auto u = static_cast<size_t>(j);
    const double slope = j + 1 < n ? (x[u + 1] - x[u]) / k : 0.0;
    for (int m = 0; m < k; ++m) {
      const auto p = static_cast<size_t>(j * k + m);
      if (m == 0) {
        y[p] = x[u];
      } else if (sinc) {
        y[p] = SincAt(x, static_cast<double>(p) / k);
      } else {
        y[p] = x[u] + m * slope;
      }
    }
  }
  return y;
}

}  // namespace

bool MathBinaryOp(const TSignalObj& arg1, const TSignalObj& arg2, TSignalObj& result, double constant,
                  bool useConstant, int op) {
  if (op < moAdd || op > moDiv)
    throw EAssertion("MathBinaryOp: operator " + std::to_string(op) + " is not 0..3");
  TOperand a = Read(arg1);
  if (useConstant) {
    StartResult(result, arg1, a);
    CombineConstant(a, result, constant, op);
    return true;
  }
  const TOperand b = Read(arg2);
  StartResult(result, arg1, a);
  CombineRecords(a, b, result, op);
  return true;
}

bool MathUnaryOp(const TSignalObj& arg, TSignalObj& result, int op) {
  if (op < moInvert || op > moIFFT)
    throw EAssertion("MathUnaryOp: operator " + std::to_string(op) + " is not 4..12");
  TOperand a = Read(arg);
  if (op == moIFFT) {
    InverseFFT(a, result, arg);
    return true;
  }
  const std::vector<double> y = RealOperator(a, op);
  StartResult(result, arg, a);
  result.SetPoints(y);
  switch (op) {
    case moInvert:
      result.SetVertOffset(-a.offset);
      break;
    case moAbs:
      result.SetVertOffset(std::fabs(a.offset));
      break;
    case moExp_e:
    case moExp_10:
      result.SetVertScale(1.0);
      result.SetVertUnit("");
      result.SetVertOffset(4.0);
      break;
    case moLog_e:
    case moLog_10:
      result.SetVertScale(1.0);
      result.SetVertUnit("");
      result.SetVertOffset(0);
      break;
    case moDif_al:
      result.SetVertScale(a.scale / (10 * a.dx));
      result.SetVertUnit(a.unit + "/ " + a.horUnit);
      result.SetVertOffset(0);
      break;
    default:  // moInt_al
      result.SetVertScale(100 * a.scale * a.dx);
      result.SetVertUnit(a.unit + "*" + a.horUnit);
      result.SetVertOffset(0);
      break;
  }
  return true;
}

void MovingAverage(std::span<double> values, int length) {
  if (values.empty()) return;
  if (length % 2 == 0) --length;
  length = std::max(length, 3);
  const int h = length / 2;
  const int last = static_cast<int>(values.size()) - 1;
  const std::vector<double> x(values.begin(), values.end());
  const auto at = [&](int i) { return x[static_cast<size_t>(std::clamp(i, 0, last))]; };
  double sum = 0;
  for (int m = -h; m <= h; ++m) sum += at(m);
  for (int i = 0; i <= last; ++i) {
    values[static_cast<size_t>(i)] = sum / length;
    sum += at(i + h + 1) - at(i - h);
  }
}

void SmoothSignal(const TSignalObj& source, TSignalObj& result, int length) {
  TOperand a = Read(source);
  MovingAverage(a.re, length);
  if (a.complex) MovingAverage(a.im, length);
  StartResult(result, source, a);
  result.SetPoints(a.re, ImIf(a.complex, a.im));
}

void InterpolateSignal(const TSignalObj& source, TSignalObj& result, bool sinc) {
  const TOperand a = Read(source);
  if (a.n > kMaxInterpolatedSource) {
    result.Assign(source);
    return;
  }
  const int k = kInterpolatedLength / a.n;
  const std::vector<double> re = Interpolated(a.re, k, sinc);
  const std::vector<double> im = a.complex ? Interpolated(a.im, k, sinc) : std::vector<double>{};
  StartResult(result, source, a);
  result.SetRecLen(static_cast<uint16_t>(re.size()));
  result.SetDX(a.dx / k);
  result.SetPoints(re, ImIf(a.complex, im));
}

std::string GetOperatorDisplayName(int op) {
  static constexpr const char* kKeys[kMathOperatorCount] = {
      "Add",        "Subtract",    "Multiply",    "Divide",        "Invert",    "Absolute",   "Exponent_e",
      "Exponent10", "Logarithm_e", "Logarithm10", "Differentiate", "Integrate", "InverseFFT", "IntLinear",
      "IntSinx_x",  "Smoothing",   "Trend",       "Normalize",     "LowJitter"};
  if (op < 0 || op >= kMathOperatorCount) throw std::out_of_range("math operator " + std::to_string(op));
  const char* key = kKeys[op];
  // The low-jitter operator has no text in the table; its key is its name.
  return LanguageStrings.Contains(key) ? GetLangStr(key) : key;
}

std::string MathRefusal(int op, const TSignalObj& source, const std::string& sourceName) {
  if (op >= moInvert && op <= moInt_al && source.IsSpectrum()) {
    return FormatLangStr("FuncErr1", GetOperatorDisplayName(op));
  }
  if (op == moIFFT && !source.IsSpectrum())
    return FormatLangStr("FuncErr2", GetOperatorDisplayName(op), sourceName);
  return "";
}

TMathOutcome CalcFunctionRecord(const TMathDefinition& def, TSignalObj& result) {
  TMathOutcome outcome;
  if (!def.Source1) return outcome;
  const TSignalObj& source = *def.Source1;
  const int op = def.Operator;
  switch (op) {
    case moAdd:
    case moSub:
    case moMult:
    case moDiv:
      outcome.Computed = MathBinaryOp(source, def.Source2 ? *def.Source2 : source, result, def.Constant,
                                      def.Source2 == nullptr, op);
      if (result.IsSpectrum()) result.UpdateMaxMagnitude();
      break;
    case moLinInt:
    case moSinInt:
      InterpolateSignal(source, result, op == moSinInt);
      outcome.Computed = true;
      break;
    case moSmooth:
      SmoothSignal(source, result, 2 * def.SmoothLen + 3);
      outcome.Computed = true;
      break;
    case moTrend: {
      if (!MathHooks.BuildTrend.IsSet()) break;
      // The trend keeps the function's own vertical scale and offset.
      const double scale = result.GetVertScale();
      const double offset = result.GetVertOffset();
      result.AssignHeader(source);
      result.SetVertScale(scale);
      result.SetVertOffset(offset);
      outcome.Computed = MathHooks.BuildTrend(def.FunctionIndex, def.TrendMeas, source, result);
      break;
    }
    case moNormalize:
      outcome.Computed = MathHooks.Normalize(def.FunctionIndex, result);
      break;
    case moLowJitter:
      outcome.Computed = MathHooks.LowJitter(def.FunctionIndex, source, result);
      break;
    default:
      if (op < moInvert || op > moIFFT) throw EAssertion("math operator " + std::to_string(op) + " unknown");
      outcome.Refusal = MathRefusal(op, source, def.Source1Name);
      if (!outcome.Refusal.empty()) break;
      outcome.Computed = MathUnaryOp(source, result, op);
      break;
  }
  if (outcome.Computed) result.MarkChanged();
  return outcome;
}

}  // namespace norv
