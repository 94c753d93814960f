#include "measure/meas_routines.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

#include "framework/language/language.h"
#include "measure/meas_frame.h"
#include "measure/meas_state.h"

namespace norv {

namespace {

constexpr double kUndefined = UndefinedValue;
constexpr double kTiny = 1e-30;  // smallest denominator of Overshoot and Gain

int Round(double v) { return static_cast<int>(std::nearbyint(v)); }
int ScreenCode(const TSignalObj& rec, double v) { return Round(rec.ValueToScreenY(v)); }
int ScreenX(const TSignalObj& rec, double shownIndex) { return Round(rec.ShownIndexToScreenX(shownIndex)); }

const std::vector<double>& Values(const TMeasSource& s) { return s.Frame.Values; }
double Sample(const TMeasSource& s, int i) { return s.Frame.Values[static_cast<size_t>(i)]; }

void Place(TAnnSet& set, int n, const TMeasSource& s, const TCrossing& c) {
  SetAnnAnchor(set, n, CrossingScreenX(s, c), CrossingLevelCode(s, c));
}
void PlaceSample(TAnnSet& set, int n, const TMeasSource& s, double position, double value) {
  SetAnnAnchor(set, n, ScreenX(s.Rec, position), ScreenCode(s.Rec, value));
}
void PlaceLevel(TAnnSet& set, int n, const TMeasSource& s, double value) {
  SetAnnAnchorY(set, n, ScreenCode(s.Rec, value));
}

TCrossing Middle(const TMeasSource& s, bool rising, int& position) {
  return rising ? FindCrossingUp(s, position, lcMiddle, false)
                : FindCrossingDown(s, position, lcMiddle, false);
}

// ---- amplitude group ----------------------------------------------------------------

// The first of equal extremes wins. Four interleaved lanes keep the comparisons from
// waiting on each other; the lanes' winners are merged by value, then by position.
double FindMaxMinSample(const TMeasSource& s, bool max, int& position) {
  const int left = s.Frame.LeftMargin, right = s.Frame.RightMargin;
  const double* v = s.Frame.Values.data();
  const double sign = max ? 1.0 : -1.0;
  std::array<double, 4> best;
  std::array<int, 4> at;
  best.fill(sign * v[left]);
  at.fill(left);
  int i = left + 1;
  for (; i + 3 <= right; i += 4) {
    for (int k = 0; k < 4; ++k) {
      const double x = sign * v[i + k];
      if (x > best[static_cast<size_t>(k)]) {
        best[static_cast<size_t>(k)] = x;
        at[static_cast<size_t>(k)] = i + k;
      }
    }
  }
  for (; i <= right; ++i) {
    if (sign * v[i] > best[0]) {
      best[0] = sign * v[i];
      at[0] = i;
    }
  }
  size_t w = 0;
  for (size_t k = 1; k < 4; ++k) {
    if (best[k] > best[w] || (best[k] == best[w] && at[k] < at[w])) w = k;
  }
  position = at[w];
  return v[position];
}

double CalcMaxMin(TAnnSet& set, const TMeasSource& s, bool max, int label) {
  int position = 0;
  const double v = FindMaxMinSample(s, max, position);
  PlaceSample(set, label, s, position, v);
  return v;
}

double CalcMiddle(TAnnSet& set, const TMeasSource& s) {
  int position = 0;
  const double mid = (FindMaxMinSample(s, true, position) + FindMaxMinSample(s, false, position)) / 2;
  PlaceLevel(set, 1, s, mid);
  return mid;
}

// 1 top, 2 base, 3 amplitude.
double CalcTopBaseParam(TAnnSet& set, const TMeasSource& s, int mode) {
  const double top = s.Frame.MarginTop, base = s.Frame.MarginBase;
  if (mode == 1) {
    PlaceLevel(set, 1, s, top);
    return top;
  }
  if (mode == 2) {
    PlaceLevel(set, 1, s, base);
    return base;
  }
  PlaceLevel(set, 1, s, top);
  PlaceLevel(set, 2, s, base);
  return top - base;
}

struct TSums {
  double Sum = 0, SumSq = 0;
  int Count = 0;
};
TSums MarginSums(const TMeasSource& s) {
  TSums r;
  double sum2 = 0, sumSq2 = 0;  // a second chain of additions halves the wait on each
  int i = s.Frame.LeftMargin;
  for (; i + 1 <= s.Frame.RightMargin; i += 2) {
    const double a = Sample(s, i), b = Sample(s, i + 1);
    r.Sum += a;
    r.SumSq += a * a;
    sum2 += b;
    sumSq2 += b * b;
  }
  if (i == s.Frame.RightMargin) {
    r.Sum += Sample(s, i);
    r.SumSq += Sample(s, i) * Sample(s, i);
  }
  r.Sum += sum2;
  r.SumSq += sumSq2;
  r.Count = s.Frame.RightMargin - s.Frame.LeftMargin + 1;
  return r;
}

double CalcMean(TAnnSet& set, const TMeasSource& s) {
  const double mean = MarginSums(s).Sum / (s.Frame.RightMargin - s.Frame.LeftMargin + 1);
  PlaceLevel(set, 1, s, mean);
  return mean;
}

double CalcDcRms(TAnnSet& set, const TMeasSource& s) {
  const TSums sums = MarginSums(s);
  const double rms = std::sqrt(sums.SumSq / sums.Count);
  PlaceLevel(set, 1, s, rms);
  return rms;
}

double CalcAcRms(TAnnSet& set, const TMeasSource& s) {
  const TSums sums = MarginSums(s);
  const double mean = sums.Sum / sums.Count;
  double sq = 0;
  for (int i = s.Frame.LeftMargin; i <= s.Frame.RightMargin; ++i)
    sq += (Sample(s, i) - mean) * (Sample(s, i) - mean);
  const double rms = std::sqrt(sq / sums.Count);
  PlaceLevel(set, 1, s, rms);
  return rms;
}

double CalcArea(const TMeasSource& s) { return MarginSums(s).Sum * s.Rec.GetDX(); }

double CalcOvershoot(TAnnSet& set, const TMeasSource& s, bool positive) {
  const double top = s.Frame.MarginTop, base = s.Frame.MarginBase;
  PlaceLevel(set, 1, s, top);
  PlaceLevel(set, 2, s, base);
  const double d = top - base;
  if (std::fabs(d) < kTiny) return kUndefined;
  const double extreme = CalcMaxMin(set, s, positive, 3);
  return positive ? (extreme - top) * 100 / d : (base - extreme) * 100 / d;
}

double CalcGain(TAnnSet& set, const TMeasSource& s, const TMeasSource& s2, bool dB) {
  const double a2 = CalcTopBaseParam(set, s2, 3);
  CopyAnnAnchor(set, 3, 1);
  CopyAnnAnchor(set, 4, 2);
  const double a1 = CalcTopBaseParam(set, s, 3);
  if (std::fabs(a1) < kTiny) return kUndefined;
  const double ratio = a2 / a1;
  if (!dB) return ratio;
  return ratio <= 1e-200 ? -4000 : 20 * std::log10(ratio);
}

// ---- edges ---------------------------------------------------------------------------

void CountLabels(TAnnSet& set, int n) { SetAnnColorFirst4(set, n == 1 ? 1 : 0); }

double CalcWidth(TAnnSet& set, const TMeasSource& s, bool positive) {
  SetAnnAnchorX(set, 1, kAnnNotPlaced);
  int position = s.Frame.LeftMargin, n = 0;
  double sum = 0;
  TCrossing last;
  for (;;) {
    const TCrossing t1 = Middle(s, positive, position);
    const TCrossing t2 = Middle(s, !positive, position);
    if (t1.Position <= 0 || t2.Position <= 0) break;
    if (GetAnnAnchorX(set, 1) < -100) Place(set, 1, s, t1);
    last = t2;
    sum += t2.Position - t1.Position;
    ++n;
  }
  if (n == 0) return kUndefined;
  Place(set, 2, s, last);
  SetAnnTextCounted(set, 2, GetLangStr("an_R_Cross"), n);
  CountLabels(set, n);
  return sum / n * s.Rec.GetDX();
}

double CalcRiseFall(TAnnSet& set, const TMeasSource& s, bool rising) {
  int position = s.Frame.LeftMargin, n = 0;
  double sum = 0;
  TCrossing last;
  for (;;) {
    int from = position;
    const TCrossing t1 =
        rising ? FindCrossingUp(s, from, lcLower, false) : FindCrossingDown(s, from, lcUpper, false);
    const TCrossing t2 =
        rising ? FindCrossingUp(s, position, lcUpper, false) : FindCrossingDown(s, position, lcLower, false);
    if (t2.Position <= 0 || t1.Position < 0) break;
    if (n == 0) Place(set, 1, s, t1);
    last = t2;
    sum += t2.Position - t1.Position;
    ++n;
  }
  if (n == 0) return kUndefined;
  Place(set, 2, s, last);
  SetAnnText(set, 1, rising ? s.Frame.LowThreshText : s.Frame.UpThreshText);
  SetAnnTextCounted(set, 2, rising ? s.Frame.UpThreshText : s.Frame.LowThreshText, n);
  CountLabels(set, n);
  return sum / n * s.Rec.GetDX();
}

struct TPeriods {
  int Count = 0;  // whole periods
  bool Rising = true;
  TCrossing First, Second, Last;
  double WidthSum = 0;  // pulses of the requested polarity
  TCrossing PulseStart, PulseEnd;

  double Span() const { return Last.Position - First.Position; }
};

// Edges of one direction from the left margin, the direction being that of the earlier
// middle crossing; with `duty` also the opposite edge inside each period.
TPeriods FindPeriods(const TMeasSource& s, bool duty, bool positive) {
  TPeriods r;
  int fromRising = s.Frame.LeftMargin, fromFalling = s.Frame.LeftMargin;
  const TCrossing rising = Middle(s, true, fromRising);
  const TCrossing falling = Middle(s, false, fromFalling);
  if (rising.Position < 0 && falling.Position < 0) return r;
  r.Rising = rising.Position >= 0 && (falling.Position < 0 || rising.Position < falling.Position);
  r.First = r.Last = r.Rising ? rising : falling;
  int position = r.Rising ? fromRising : fromFalling;
  for (;;) {
    TCrossing opposite;
    if (duty) {
      opposite = Middle(s, !r.Rising, position);
      if (opposite.Position < 0) break;
    }
    const TCrossing edge = Middle(s, r.Rising, position);
    if (edge.Position < 0) break;
    if (duty) {
      // Rising edges start positive pulses, falling edges negative ones.
      const bool firstPart = r.Rising == positive;
      r.WidthSum += firstPart ? opposite.Position - r.Last.Position : edge.Position - opposite.Position;
      if (r.Count == 0) {
        r.PulseStart = firstPart ? r.Last : opposite;
        r.PulseEnd = firstPart ? opposite : edge;
      }
    }
    if (r.Count == 0) r.Second = edge;
    r.Last = edge;
    ++r.Count;
  }
  return r;
}

enum class TPeriodKind { Period, Cycles, Duty };

double CalcPeriod(TAnnSet& set, const TMeasSource& s, TPeriodKind kind, bool positive) {
  const TPeriods p = FindPeriods(s, kind == TPeriodKind::Duty, positive);
  if (p.Count == 0) return kUndefined;
  Place(set, 1, s, p.First);
  Place(set, 2, s, p.Last);
  SetAnnTextCounted(set, 2, GetLangStr("an_R_Cross"), p.Count);
  CountLabels(set, p.Count);
  if (kind == TPeriodKind::Cycles) return p.Count;
  if (kind == TPeriodKind::Period) return p.Span() / p.Count * s.Rec.GetDX();
  Place(set, 3, s, p.PulseStart);
  Place(set, 4, s, p.PulseEnd);
  return p.WidthSum / p.Span() * 100;
}

// The first (or last) middle crossing from the left margin at a positive position, label
// 1 on it; Position -1 when there is none.
TCrossing FindCrossingOf(TAnnSet& set, const TMeasSource& s, bool rising, bool last) {
  TCrossing found;
  int position = s.Frame.LeftMargin;
  for (;;) {
    const TCrossing c = Middle(s, rising, position);
    if (c.Position > 0) found = c;
    if (!last || c.Position < 0) break;
  }
  if (found.Position <= 0) return TCrossing{};
  Place(set, 1, s, found);
  return found;
}

double CrossingTime(const TMeasSource& s, const TCrossing& c) {
  return c.Position < 0 ? kUndefined : s.Rec.ShownIndexToX(c.Position);
}

double CalcCrossing(TAnnSet& set, const TMeasSource& s, bool rising, bool last) {
  return CrossingTime(s, FindCrossingOf(set, s, rising, last));
}

double CalcTimeOfMaxMin(TAnnSet& set, const TMeasSource& s, bool max) {
  int position = 0;
  const double v = FindMaxMinSample(s, max, position);
  PlaceSample(set, 1, s, position, v);
  return s.Rec.ShownIndexToX(position);
}

// Index bits: 0 second edge falling, 1 first edge falling, 2 second edge the last one.
double CalcDelay(TAnnSet& set, const TMeasSource& s, const TMeasSource& s2, int index) {
  const double t2 = CalcCrossing(set, s2, (index & 1) == 0, (index & 4) != 0);
  if (t2 == kUndefined) return kUndefined;
  CopyAnnAnchor(set, 2, 1);
  const double t1 = CalcCrossing(set, s, (index & 2) == 0, false);
  if (t1 == kUndefined) return kUndefined;
  return t2 - t1;
}

double CalcPhase(TAnnSet& set, const TMeasSource& s, const TMeasSource& s2, double fullTurn) {
  const TPeriods p = FindPeriods(s, false, true);
  if (p.Count == 0) return kUndefined;
  const double period = p.Span() / p.Count * s.Rec.GetDX();
  const double t2 = CalcCrossing(set, s2, p.Rising, false);
  if (t2 == kUndefined) return kUndefined;
  CopyAnnAnchor(set, 2, 1);
  const double t1 = CalcCrossing(set, s, p.Rising, false);
  if (t1 == kUndefined) return kUndefined;
  Place(set, 3, s, p.Second);
  return (t2 - t1) / period * fullTurn;
}

double CalcBurstWidth(TAnnSet& set, const TMeasSource& s) {
  TAnnSet scratch;
  const TCrossing lastRising = FindCrossingOf(scratch, s, true, true);
  const TCrossing lastFalling = FindCrossingOf(scratch, s, false, true);
  if (lastRising.Position < 0 || lastFalling.Position < 0) return kUndefined;
  const TCrossing& end = lastRising.Position > lastFalling.Position ? lastRising : lastFalling;
  const TCrossing firstRising = FindCrossingOf(scratch, s, true, false);
  const TCrossing firstFalling = FindCrossingOf(scratch, s, false, false);
  const TCrossing& start =
      firstFalling.Position < 0 || (firstRising.Position >= 0 && firstRising.Position < firstFalling.Position)
          ? firstRising
          : firstFalling;
  Place(set, 1, s, start);
  Place(set, 2, s, end);
  return (end.Position - start.Position) * s.Rec.GetDX();
}

// ---- cycles -----------------------------------------------------------------------------

struct TCycle {
  int Count = 0;  // whole periods
  double Start = 0, End = 0;
};

// Whole periods from the first middle crossing, shifted to start on a whole sample.
TCycle FindCycle(TAnnSet& set, const TMeasSource& s) {
  TCycle c;
  int fromRising = s.Frame.LeftMargin, fromFalling = s.Frame.LeftMargin;
  const TCrossing rising = Middle(s, true, fromRising);
  const TCrossing falling = Middle(s, false, fromFalling);
  if (rising.Position < 0 && falling.Position < 0) return c;
  const bool up = rising.Position >= 0 && (falling.Position < 0 || rising.Position < falling.Position);
  const TCrossing& first = up ? rising : falling;
  if (first.Position < 1.0) return c;
  int position = static_cast<int>(first.Position) + 1;
  TCrossing last;
  for (;;) {
    const TCrossing next = Middle(s, up, position);
    if (next.Position < 0) break;
    last = next;
    ++c.Count;
  }
  if (c.Count == 0) return c;
  c.Start = std::nearbyint(first.Position);
  c.End = last.Position + (c.Start - first.Position);
  SetAnnAnchor(set, 1, ScreenX(s.Rec, c.Start), CrossingLevelCode(s, first));
  SetAnnExtent(set, 1, ScreenX(s.Rec, c.End));
  SetAnnAnchor(set, 2, ScreenX(s.Rec, c.End), CrossingLevelCode(s, last));
  return c;
}

enum class TCycleKind { Mean, DcRms, AcRms, Area };

// Trapezoid sums over start..end of the samples joined by straight lines; the last
// stretch ends at the fractional end.
double CalcCycle(TAnnSet& set, const TMeasSource& s, TCycleKind kind) {
  const TCycle c = FindCycle(set, s);
  if (c.Count == 0) return kUndefined;
  const std::vector<double>& v = Values(s);
  const int lastIndex = static_cast<int>(v.size()) - 1;
  const int start = static_cast<int>(c.Start), whole = static_cast<int>(c.End);
  const double span = c.End - c.Start;
  const auto at = [&](int i) { return v[static_cast<size_t>(std::min(i, lastIndex))]; };
  const double frac = c.End - whole;
  const double endValue = at(whole) + frac * (at(whole + 1) - at(whole));
  const auto integrate = [&](auto&& f) {
    double sum = 0;
    for (int i = start; i < whole; ++i) sum += (f(at(i)) + f(at(i + 1))) / 2;
    if (frac > 0) sum += frac * (f(at(whole)) + f(endValue)) / 2;
    return sum;
  };
  const double sum = integrate([](double x) { return x; });
  const double mean = sum / span;
  double result = mean;
  switch (kind) {
    case TCycleKind::Mean:
      break;
    case TCycleKind::DcRms:
      result = std::sqrt(integrate([](double x) { return x * x; }) / span);
      break;
    case TCycleKind::AcRms:
      result = std::sqrt(integrate([&](double x) { return (x - mean) * (x - mean); }) / span);
      break;
    case TCycleKind::Area:
      SetAnnTextCounted(set, 2, GetLangStr("an_R_Cross"), c.Count);
      return sum * s.Rec.GetDX() / c.Count;
  }
  SetAnnAnchorY(set, 1, ScreenCode(s.Rec, result));
  return result;
}

// ---- spectra ------------------------------------------------------------------------------

struct TPeak {
  double Position = -1;  // fractional bin, -1: none
  double Magnitude = 0;
};

class TSpectrumPeaks {
 public:
  TSpectrumPeaks(const TMeasSource& s) : s_(s), rec_(s.Rec), n_(s.Rec.GetRecLen() / 2) {
    const int signal = TraceIndex(s.Id);
    for (int k = 0; k < 3; ++k) f_[static_cast<size_t>(k)] = MeasHooks.WindowMeasFactor(signal, k);
    for (int k = 0; k < 4; ++k) a_[static_cast<size_t>(k)] = MeasHooks.WindowCoefficient(signal, k);
    order_ = Round(MeasHooks.WindowCoefficient(signal, 4));
  }

  double Mag(int b) const { return rec_.GetMagnitude(b); }

  // The largest bin between the two spectrum margins (first of equals), or -1.
  int PeakInRange() const {
    const int left = std::max(Round(rec_.ScreenXToIndex(s_.Settings.FFTLeft)), 1);
    const int right = std::min(Round(rec_.ScreenXToIndex(s_.Settings.FFTRight)), n_);
    if (left > right) return -1;
    int best = left;
    for (int b = left + 1; b <= right; ++b) {
      if (Mag(b) > Mag(best)) best = b;
    }
    return best;
  }

  // The lower bin of the pair that holds the peak near bin b; -1 beyond the spectrum.
  int BinPair(int b) const {
    if (b > n_) return -1;
    if (b == 1) return 1;
    if (b < 2 || b >= n_) return n_ - 1;
    return Mag(b - 1) <= Mag(b + 1) ? b : b - 1;
  }

  // The peak between bins k and k + 1 with the window's scalloping taken out.
  TPeak Interpolated(int k) const {
    TPeak p;
    const double m0 = Mag(k), m1 = Mag(k + 1);
    double delta = 0, m = m0;
    if (m1 != 0) {
      if (m0 == 0) return p;  // no ratio to interpolate with
      const double r = m1 / m0;
      delta = (f_[0] * r - f_[1]) / (f_[2] * r + 1);
      p.Position = k + delta;
      if (m0 <= m1) {
        m = m1;
        if (delta > 0.5) delta = 1 - delta;
      }
    } else {
      p.Position = k;
    }
    if (delta >= 0.01) m = std::numbers::pi * delta * m / std::sin(std::numbers::pi * delta);
    if (order_ > 0) {
      double gain = a_[0];
      for (int j = 1; j <= std::min(order_, 3); ++j)
        gain += delta * delta * a_[static_cast<size_t>(j)] / (delta * delta - j * j);
      if (!(gain > 0)) return TPeak{};
      m /= gain;  // the window's gain at this offset
    }
    p.Magnitude = m;
    if (!std::isfinite(p.Position) || !std::isfinite(p.Magnitude)) return TPeak{};
    return p;
  }

  TPeak Harmonic(int h, double fundamental) const {
    const int b = Round(h * fundamental);
    if (b < 1) return TPeak{};
    const int pair = BinPair(b);
    if (pair < 0) return TPeak{};
    return Interpolated(pair);
  }

  // Peak number `number` of the runs of bins at or above the peak level.
  TPeak NumberedPeak(int number) const {
    const double level = std::pow(10.0, s_.Settings.PeakLevel / 20);
    int run = 0, best = -1;
    bool inRun = false;
    for (int b = 1; b <= n_; ++b) {
      const bool above = Mag(b) >= level;
      if (above && !inRun) ++run;
      inRun = above;
      if (above && run == number && (best < 0 || Mag(b) > Mag(best))) best = b;
    }
    if (best < 0) return TPeak{};
    const int pair = BinPair(best);
    return pair < 0 ? TPeak{} : Interpolated(pair);
  }

  void Place(TAnnSet& set, int n, const TPeak& p) const {
    const double shown = rec_.IsLogView() ? 20 * std::log10(std::max(p.Magnitude, 1e-300)) : p.Magnitude;
    SetAnnAnchor(set, n, Round(rec_.IndexToScreenX(p.Position)), ScreenCode(rec_, shown));
  }

 private:
  const TMeasSource& s_;
  const TSignalObj& rec_;
  int n_;
  std::array<double, 3> f_{};
  std::array<double, 4> a_{};
  int order_ = 0;
};

bool SpectrumReady(const TMeasSource& s) {
  return s.Rec.IsSpectrum() && s.Rec.GetRecLen() >= 4 && MeasHooks.WindowMeasFactor.IsSet() &&
         MeasHooks.WindowCoefficient.IsSet();
}

// The fundamental: the interpolated peak of the largest bin between the margins.
TPeak Fundamental(TAnnSet& set, const TSpectrumPeaks& sp) {
  const int k = sp.PeakInRange();
  if (k < 0) return TPeak{};
  const TPeak f = sp.Harmonic(1, k);
  if (f.Position >= 0) sp.Place(set, 3, f);
  return f;
}

double CalcFftParam(TAnnSet& set, bool xGroup, const TMeasSource& s, bool delta) {
  if (!SpectrumReady(s)) return kUndefined;
  const TSpectrumPeaks sp(s);
  const TMeasSourceSettings& st = s.Settings;
  TPeak p1, p2;
  const auto label = [&](int n, const char* key, int number, const TPeak& p) {
    SetAnnText(set, n, GetLangStr(key) + std::to_string(number));
    SetAnnActive(set, n, p.Position >= 0);
    if (p.Position >= 0) sp.Place(set, n, p);
  };
  if (st.FFTMethod == fmPeak) {
    p1 = sp.NumberedPeak(st.PeakLeft);
    if (delta) p2 = sp.NumberedPeak(st.PeakRight);
    SetAnnActive(set, 3, false);
  } else {
    const TPeak f = Fundamental(set, sp);
    if (f.Position < 0) return kUndefined;
    p1 = sp.Harmonic(st.PeakLeft, f.Position);
    if (delta) p2 = sp.Harmonic(st.PeakRight, f.Position);
  }
  label(1, "anPeak_L_", st.PeakLeft, p1);
  if (delta) label(2, "anPeak_R_", st.PeakRight, p2);
  if (p1.Position < 0 || (delta && p2.Position < 0)) return kUndefined;
  if (xGroup) return (delta ? p2.Position - p1.Position : p1.Position) * s.Rec.GetDX();
  return delta ? p1.Magnitude - p2.Magnitude : p1.Magnitude;
}

double CalcThd(TAnnSet& set, const TMeasSource& s) {
  if (!SpectrumReady(s)) return kUndefined;
  const TSpectrumPeaks sp(s);
  const TPeak f = Fundamental(set, sp);
  if (f.Position < 0 || f.Magnitude == 0) return kUndefined;
  double sumSq = 0;
  for (int h = 2; h <= 10; ++h) {
    const TPeak p = sp.Harmonic(h, f.Position);
    if (p.Position < 0) return kUndefined;  // a harmonic beyond the spectrum
    sumSq += p.Magnitude * p.Magnitude;
  }
  return std::sqrt(sumSq) / f.Magnitude * 100;
}

// ---- jitter -------------------------------------------------------------------------------

double CalcJitter(TAnnSet& set, const TMeasSource& s, bool rising, bool rms) {
  TMeasState& st = MeasState;
  if (st.JitterPassPending) {
    st.JitterPassPending = false;
    st.JitterSpread = 0;
    // Bounds found on another time base would window the wrong columns.
    if (st.JitterHist.AddWaveform(s.Rec, Values(s))) ResetJitterWindowBounds();
  }
  if (st.JitterHist.WaveformCount() < 50) return kUndefined;
  const TCrossing t = FindCrossingOf(set, s, rising, false);
  if (t.Position < 0) return kUndefined;
  const int y = std::clamp(GetAnnAnchorY(set, 1), 5, 1019);
  TAnnSet scratch;
  const double edge = CalcRiseFall(scratch, s, rising);
  const double dx = s.Rec.GetDX();
  double w = edge == kUndefined || dx == 0 ? 0 : edge / dx;
  w = std::max(w, st.JitterSpread);
  const double left = std::max(t.Position - w, static_cast<double>(s.Frame.LeftMargin));
  const double right = std::min(t.Position + w, static_cast<double>(s.Frame.RightMargin));
  const size_t dir = rising ? 0 : 1;
  st.JitterLeft[dir] = std::min(st.JitterLeft[dir], ScreenX(s.Rec, std::floor(left)));
  st.JitterRight[dir] = std::max(st.JitterRight[dir], ScreenX(s.Rec, std::ceil(right)));
  const TJitterHitMap::TStats h =
      st.JitterHist.Window(Round(s.Rec.ScreenXToShownIndex(st.JitterLeft[dir])),
                           Round(s.Rec.ScreenXToShownIndex(st.JitterRight[dir])), y - 4, y + 4);
  if (h.Hits < 10) return kUndefined;
  st.JitterSpread = h.MaxColumn - h.MinColumn;
  if (!rms) {
    SetAnnAnchor(set, 1, ScreenX(s.Rec, h.MinColumn), y);
    SetAnnAnchor(set, 2, ScreenX(s.Rec, h.MaxColumn), y);
    return (h.MaxColumn - h.MinColumn) * dx;
  }
  SetAnnAnchor(set, 1, ScreenX(s.Rec, h.MeanColumn - h.StdDevColumns / 2), y);
  SetAnnAnchor(set, 2, ScreenX(s.Rec, h.MeanColumn + h.StdDevColumns / 2), y);
  return h.StdDevColumns * dx;
}

// ---- dispatch -----------------------------------------------------------------------------

double CalcTime(TAnnSet& set, const TMeasSource& s, uint8_t index) {
  switch (index) {
    case tmPeriod:
      return CalcPeriod(set, s, TPeriodKind::Period, true);
    case tmFrequency: {
      const double period = CalcPeriod(set, s, TPeriodKind::Period, true);
      return period == kUndefined || period == 0 ? kUndefined : 1 / period;
    }
    case tmPosWidth:
    case tmNegWidth:
      return CalcWidth(set, s, index == tmPosWidth);
    case tmRiseTime:
    case tmFallTime:
      return CalcRiseFall(set, s, index == tmRiseTime);
    case tmPosDuty:
    case tmNegDuty:
      return CalcPeriod(set, s, TPeriodKind::Duty, index == tmPosDuty);
    case tmPosCrossing:
    case tmNegCrossing:
      return CalcCrossing(set, s, index == tmPosCrossing, false);
    case tmBurstWidth:
      return CalcBurstWidth(set, s);
    case tmCycles:
      return CalcPeriod(set, s, TPeriodKind::Cycles, true);
    case tmTimeOfMax:
    case tmTimeOfMin:
      return CalcTimeOfMaxMin(set, s, index == tmTimeOfMax);
    case tmPosJitterPp:
    case tmPosJitterRms:
    case tmNegJitterPp:
    case tmNegJitterRms:
      return CalcJitter(set, s, index <= tmPosJitterRms, index == tmPosJitterRms || index == tmNegJitterRms);
    default:
      return kUndefined;
  }
}

double CalcAmplitude(TAnnSet& set, const TMeasSource& s, uint8_t index) {
  switch (index) {
    case amMaximum:
    case amMinimum:
      return CalcMaxMin(set, s, index == amMaximum, 1);
    case amPeakPeak: {
      const double max = CalcMaxMin(set, s, true, 1);
      return max - CalcMaxMin(set, s, false, 2);
    }
    case amTop:
    case amBase:
    case amAmplitude:
      return CalcTopBaseParam(set, s, index - amTop + 1);
    case amMiddle:
      return CalcMiddle(set, s);
    case amMean:
      return CalcMean(set, s);
    case amDcRms:
      return CalcDcRms(set, s);
    case amAcRms:
      return CalcAcRms(set, s);
    case amArea:
      return CalcArea(s);
    case amCycleMean:
      return CalcCycle(set, s, TCycleKind::Mean);
    case amCycleDcRms:
      return CalcCycle(set, s, TCycleKind::DcRms);
    case amCycleAcRms:
      return CalcCycle(set, s, TCycleKind::AcRms);
    case amCycleArea:
      return CalcCycle(set, s, TCycleKind::Area);
    case amPosOvershoot:
    case amNegOvershoot:
      return CalcOvershoot(set, s, index == amPosOvershoot);
    default:
      return kUndefined;
  }
}

bool FrameReady(const TMeasSource& s) {
  return !s.Frame.LevelsInvalid && !s.Frame.InMarginInvalid && !s.Frame.Values.empty();
}

double Dispatch(TParameterOfMeas& p) {
  const TMeasSource s = MeasSourceOf(p.Source);
  if (!FrameReady(s)) return kUndefined;
  TAnnSet& set = p.Annotations;
  // Spectrum measurements take spectra only, the others waveforms only.
  if (IsSpectrumGroup(p.Group) != s.Rec.IsSpectrum()) return kUndefined;
  if (IsDualGroup(p.Group)) {
    const TMeasSource s2 = MeasSourceOf(p.Source2);
    if (!FrameReady(s2) || s2.Rec.IsSpectrum()) return kUndefined;
    if (p.Group == mgDualY) return CalcGain(set, s, s2, p.Index == 1);
    if (p.Index < dmPhaseDeg) return CalcDelay(set, s, s2, p.Index);
    static constexpr double kTurns[] = {360.0, 2 * std::numbers::pi, 100.0};
    if (p.Index > dmPhasePerc) return kUndefined;
    return CalcPhase(set, s, s2, kTurns[p.Index - dmPhaseDeg]);
  }
  switch (p.Group) {
    case mgTime:
      return CalcTime(set, s, p.Index);
    case mgAmplitude:
      return CalcAmplitude(set, s, p.Index);
    case mgSpectrumX:
      return p.Index <= 1 ? CalcFftParam(set, true, s, p.Index == 1) : kUndefined;
    case mgSpectrumY:
      if (p.Index == 2) return CalcThd(set, s);
      return p.Index <= 1 ? CalcFftParam(set, false, s, p.Index == 1) : kUndefined;
    default:
      return kUndefined;
  }
}

bool SlotUsesSource(const TParameterOfMeas& p, TTraceId source) {
  return p.Source == source || (IsDualGroup(p.Group) && p.Source2 == source);
}

}  // namespace

void CalcParameter(int slot, double& value, std::string& unitText) {
  value = kUndefined;
  unitText.clear();
  TParameterOfMeas* p = MeasSlot(slot);
  if (!p) return;
  value = Dispatch(*p);
  if (!std::isfinite(value)) value = kUndefined;
  if (value != kUndefined) unitText = MeasUnitText(*p);
  if (slot == MeasState.Ann.SelectedParamLine) {
    SetAnnVisible(p->Annotations, value != kUndefined);
    ShowAnnotations(p->Annotations);
  }
}

void EvaluateMeasurements(TTraceId source, bool all) {
  MeasState.JitterPassPending = true;
  for (int n = 0; n < MeasState.MeasParamCount; ++n) {
    TParameterOfMeas* p = MeasSlot(n);
    if (!p || (!all && !SlotUsesSource(*p, source))) continue;
    double value = kUndefined;
    std::string unit;
    CalcParameter(n, value, unit);
    SetMeasResult(*p, n, unit, value);
    if (n < kMeasStatSlotCount && !p->ResultsValid && p->Statistics && p->Statistics->Count() == 10) {
      p->ResultsValid = 1;
      MeasHooks.ResultsBecameValid(n);
    }
    MeasHooks.ShowSlotResult(n);
  }
}

}  // namespace norv
