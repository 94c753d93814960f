#include "framework/settings/step_rules.h"

#include <algorithm>
#include <cmath>

namespace norv {

namespace {

// Below this a value counts as zero for the rules that scale by powers of ten or two.
constexpr double kTiny = 1e-30;

// 10^n with exact powers where a double holds them, so that 5e-9 comes out as the
// double nearest to 5e-9.
double ScaleByTen(double v, int n) {
  if (n >= 0) return v * std::pow(10.0, n);
  return v / std::pow(10.0, -n);
}

}  // namespace

double RoundHalfEven(double x) {
  if (!std::isfinite(x)) return x;
  const double fraction = std::fabs(x - std::trunc(x));
  if (fraction == 0.5) return 2.0 * std::round(x / 2.0);
  return std::round(x);
}

double CorrectNewValStep(double q, double v) {
  if (std::fabs(q) < 1e-30 || !(std::fabs(v / q) <= 2147483647.0)) return v;
  return RoundHalfEven(v / q) * q;
}

double CorrectNewVal1_2_5(double v) {
  if (!(v >= kTiny)) return 0;
  if (!std::isfinite(v)) return v;
  // Values above the decade are brought down to at most 15 (m in (1.5, 15]), values
  // below it up to at least 1.5 (m in [1.5, 15)); so 15 gives 10 and 1.5 gives 2.
  int n = 0;
  double m = v;
  if (v > 15) {
    n = static_cast<int>(std::floor(std::log10(v)));
    m = ScaleByTen(v, -n);
    while (m > 15) m = ScaleByTen(v, -(++n));
    while (m <= 1.5) m = ScaleByTen(v, -(--n));
  } else if (v < 1.5) {
    n = static_cast<int>(std::floor(std::log10(v)));
    m = ScaleByTen(v, -n);
    while (m < 1.5) m = ScaleByTen(v, -(--n));
    while (m >= 15) m = ScaleByTen(v, -(++n));
  }
  const double mapped = m < 3.5 ? 2 : m < 7 ? 5 : 10;
  return ScaleByTen(mapped, n);
}

double CorrectNewValPow2(double v) {
  if (!(v > 1e-32)) return 0;
  if (!std::isfinite(v)) return v;
  int e = 0;
  std::frexp(v, &e);  // v = f 2^e, 0.5 <= f < 1
  int k = 0;
  if (v > 3) {
    k = e - 2;  // v / 2^k in [2, 4): halve once more when above 3
    if (std::ldexp(v, -k) > 3) ++k;
  } else if (v < 1.5) {
    k = e - 1;  // v / 2^k in [1, 2): double once more when below 1.5
    if (std::ldexp(v, -k) < 1.5) --k;
  }
  return std::ldexp(2.0, k);
}

double CorrectNewValDb(double v) {
  if (!std::isfinite(v)) return v;
  const double sign = v < 0 ? -1 : 1;
  const double a = std::fabs(v);
  // a = base + rest with base a multiple of 20 and rest in [3, 23) (rest = a below 23).
  // fmod is exact, so this holds at every magnitude; walking down 20 at a time does not,
  // as a huge a minus 20 is a again.
  double rest = std::fmod(a, 20.0);
  double base = a - rest;
  if (rest < 3 && base >= 20) {
    rest += 20;
    base -= 20;
  }
  const double r = rest < 3 ? 0 : rest < 8 ? 6 : rest < 13 ? 10 : rest < 18 ? 15 : 20;
  return sign * (base + r);
}

double StepByRule(TStepRule rule, double step, double v, bool up, double tolerance, double fineStep,
                  bool quantiseToFine) {
  const double t = tolerance;
  switch (rule) {
    case srQuantised: {
      const double r = CorrectNewValStep(step, v);
      if (up) return r >= v + t && !quantiseToFine ? r : r + step;
      return r <= v - t && !quantiseToFine ? r : r - step;
    }
    case srLinear:
      return up ? v + step : v - step;
    case srRelative: {
      double d = CorrectNewVal1_2_5(std::fabs(v) * step);
      if ((up ? v + t : v - t) * step < d) d = CorrectNewVal1_2_5(d / 2);
      if (d < t) d = 2 * t;
      const double r = CorrectNewValStep(d, v);
      if (up) return r > v + t ? r : r + d;
      return r <= v - t ? r : r - d;
    }
    case sr1_2_5: {
      if (!(v >= kTiny)) return v;
      double r = CorrectNewVal1_2_5(v);
      if (up) {
        if (r / v < 1.0050000001) r = CorrectNewVal1_2_5(2 * r);
      } else if (r / v > 0.995) {
        r = CorrectNewVal1_2_5(r / 2);
      }
      return r;
    }
    case srPowerOfTwo: {
      const double f = fineStep;
      if (up) {
        if (!(v >= 0.99 * f)) return v + f;
        double r = CorrectNewValPow2(v);
        if (r <= v + t) r = CorrectNewValPow2(2 * r);
        return r;
      }
      if (!(v >= 1.01 * f)) return v - f;
      // ">=": with a tolerance below the value's resolution v - t is v itself, and the
      // step must still move.
      double r = CorrectNewValPow2(v);
      if (r >= v - t) r = CorrectNewValPow2(r / 2);
      return r;
    }
    case srDoubling:
      if (!(v >= kTiny)) return v;
      return up ? 2 * v : v / 2;
    case srDb: {
      double r = CorrectNewValDb(v);
      if (up) {
        if (r <= v + t) r = CorrectNewValDb(r + 5);
      } else if (r >= v - t) {
        r = CorrectNewValDb(r - 5);
      }
      return r;
    }
    case sr1_2_5OnFineGrid: {
      if (!(v >= kTiny)) return v;
      double r = CorrectNewVal1_2_5(up ? 2 * v : v / 2);
      if (fineStep > 0) r = RoundHalfEven(r / fineStep) * fineStep;
      return up ? r : std::max(r, t);
    }
    case srNone:
      break;
  }
  return v;
}

double RoundByRule(TStepRule rule, double step, double v) {
  switch (rule) {
    case srQuantised:
      return CorrectNewValStep(step, v);
    case sr1_2_5:
      return v >= kTiny ? CorrectNewVal1_2_5(v) : v;
    case srPowerOfTwo:
      return v >= kTiny ? CorrectNewValPow2(v) : v;
    case srDb:
      return CorrectNewValDb(v);
    default:
      return v;
  }
}

}  // namespace norv
