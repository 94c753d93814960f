#include "analysis/eye_engine.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/eye_settings.h"
#include "framework/language/hint_stack.h"
#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/util/numeric_utils.h"
#include "instrument/record/signal_obj.h"
#include "measure/hist/hist_objects.h"
#include "measure/meas_state.h"

namespace norv {

TEyeHooks EyeHooks;

namespace {

TEyeState State;
const TProgramUnit StateUnit("eye measurement", ResetEyeState);

using K = TEyeKind;
constexpr TEyeKind kXNrz[] = {K::Area,        K::BitRate,     K::BitTime,   K::CrossTime, K::CycleArea,
                              K::DutCycDistP, K::DutCycDistS, K::EyeWidth,  K::EyeWidthP, K::FallTime,
                              K::Freq,        K::JitterPP,    K::JitterRMS, K::Period,    K::RiseTime};
constexpr TEyeKind kXRz[] = {K::Area,        K::BitRate,  K::BitTime,    K::CycleArea,  K::EyeWidth,
                             K::EyeWidthP,   K::FallTime, K::JittPpFall, K::JittPpRise, K::JittRMSFall,
                             K::JittRMSRise, K::NegCross, K::PosCross,   K::PosDutyCyc, K::PulseSymm,
                             K::PulseWidth,  K::RiseTime};
constexpr TEyeKind kYNrz[] = {
    K::AcRMS,    K::AvgPower, K::AvgPowerDBm, K::CrossPerc,   K::CrossLevel,  K::ExtRatioDB,   K::ExtRatioP,
    K::ExtRatio, K::EyeAmpl,  K::EyeHeight,   K::EyeHeightDB, K::Max,         K::Mean,         K::Mid,
    K::Min,      K::NegOver,  K::PPNoiseOne,  K::PPNoiseZero, K::RMSNoiseOne, K::RMSNoiseZero, K::OneLevel,
    K::PeakPeak, K::PosOver,  K::RMS,         K::SNR,         K::SNRdB,       K::ZeroLevel};
constexpr TEyeKind kYRz[] = {
    K::AcRMS,     K::AvgPower, K::AvgPowerDBm, K::Contrast,   K::ContrastDB,  K::ContrastP,   K::ExtRatioDB,
    K::ExtRatioP, K::ExtRatio, K::EyeAmpl,     K::EyeHeight,  K::EyeHeightDB, K::EyeOpenFact, K::Max,
    K::Mean,      K::Mid,      K::Min,         K::PPNoiseOne, K::PPNoiseZero, K::RMSNoiseOne, K::RMSNoiseZero,
    K::OneLevel,  K::PeakPeak, K::RMS,         K::SNR,        K::ZeroLevel};

int Round(double x) { return RoundClamped<int>(x, -1000000, 1000000); }

// The levels over a window, the whole screen when xLeft is 0 (defined with the analyses).
bool EyeFindLevels(int& top, int& base, int xRight, int xLeft);
void SetEyeDisplayWindow(int yLow, int yHigh, int xHigh, int xLow);

// The statistics of FullHist over a window (screen units), along one axis.
struct TWin {
  uint64_t Hits = 0;
  double Mean = 0, Sigma = 0, MinPos = 0, MaxPos = 0;
};

TWin HistIn(bool vertical, int xLeft, int yLow, int xRight, int yHigh) {
  TFullHist& h = FullHist();
  h.CalcInWindow(vertical, xLeft, yHigh, xRight, yLow);
  TWin w;
  w.Hits = h.TotalHits();
  if (w.Hits == 0) return w;
  w.Mean = h.MeanScreen();
  w.Sigma = h.StdDevScreen();
  w.MinPos = h.MinScreenPos();
  w.MaxPos = h.MaxScreenPos();
  return w;
}

const TSignalObj& Source() { return SignalObjs()[State.Config.Source]; }
double V(double y) { return Source().ScreenYToValue(y); }
double T(double x) { return Source().ScreenXToX(x); }
std::string VUnit() { return Source().GetVertUnitTextFull(); }
std::string HUnit() { return Source().GetHorUnit(); }
std::string AreaUnit() { return VUnit() + "\xC2\xB7" + HUnit(); }

// 16 units of screen around a position.
std::pair<int, int> BandAround(double x) {
  const int r = Round(x);
  if (std::abs(x - r) <= 0.2) return {r - 8, r + 8};
  const int t = static_cast<int>(std::trunc(x));
  return {t - 7, t + 8};
}

void EyeWindowFromBounds(double left, double right) {
  const double span = right - left;
  State.EyeWinLeft = Round(span * 0.01 * State.Config.LeftBound + left);
  State.EyeWinRight = Round(span * 0.01 * State.Config.RightBound + left);
}

TEyeCrossing ZoneStats(int zoneStart, int zoneEnd, std::pair<int, int> band) {
  const TWin w = HistIn(false, zoneStart, band.first, zoneEnd, band.second);
  return {w.Mean, w.Sigma, w.MinPos, w.MaxPos};
}

std::pair<int, int> SelectedZone() {
  return State.SelectedCrossing == 2 ? std::pair{State.Zone2Start, State.Zone2End}
                                     : std::pair{State.Zone1Start, State.Zone1End};
}

// The two crossings the band shows most clearly need not be neighbours: with more bits
// on the screen the far one gives way to the crossing next to the tallest on its side.
// Crossings are runs of columns above a quarter of the tallest, runs closer than the
// two-level search's guard taken as one.
void KeepCrossingsAdjacent(TTwoLevels& t) {
  const TFullHist& h = FullHist();
  std::vector<uint32_t> bins;
  const int n = h.GetBars(bins, kHistColumns);
  const bool firstTallest = t.Hits1 >= t.Hits2;
  const int tallest = firstTallest ? t.Pos1 : t.Pos2, other = firstTallest ? t.Pos2 : t.Pos1;
  const uint64_t peak = std::max(t.Hits1, t.Hits2);
  const int guard = std::max(n / 50, 1);
  const auto crossing = [&](int i) { return bins[i] >= 2 && 4 * uint64_t{bins[i]} > peak; };
  const int step = other > tallest ? 1 : -1;
  // Leave the tallest crossing's own run, then look for a run before the other one's.
  int i = tallest, gap = 0;
  for (; i != other && gap <= guard; i += step) gap = crossing(i) ? 0 : gap + 1;
  for (; i != other && !crossing(i); i += step) {
  }
  if (i == other) return;
  int best = i;
  for (gap = 0; i != other && gap <= guard; i += step) {
    if (!crossing(i)) {
      ++gap;
      continue;
    }
    gap = 0;
    if (bins[i] > bins[best]) best = i;
  }
  if (gap <= guard) return;  // the run reaches the other crossing: it is that one
  (firstTallest ? t.Pos2 : t.Pos1) = best;
  (firstTallest ? t.Hits2 : t.Hits1) = bins[best];
  if (t.Pos1 > t.Pos2) {
    std::swap(t.Pos1, t.Pos2);
    std::swap(t.Hits1, t.Hits2);
  }
}

bool EyeFindCrossings() {
  int top = 0, base = 0;
  if (!EyeFindLevels(top, base, 4000, 0)) return false;
  const int y1 = (2 * top + base + 1) / 3, y2 = (2 * top + 3 * base + 1) / 5;
  TFullHist& h = FullHist();
  h.CalcInWindow(false, 0, y1, 4000, y2);
  TTwoLevels t = h.FindTwoLevels();
  if (!t.Found || h.Columns() == 0) return false;
  KeepCrossingsAdjacent(t);
  const auto screenX = [&](int column) { return Round(column * 4096.0 / h.Columns()); };
  const int left = screenX(t.Pos1), right = screenX(t.Pos2);
  State.Crossing[1].X = left;
  State.Crossing[2].X = right;
  const int q = (right - left + 2) / 4;
  State.Zone1Start = std::max(0, left - q);
  State.Zone1End = left + q;
  State.Zone2Start = right - q;
  State.Zone2End = std::min(4000, right + q);
  EyeWindowFromBounds(left, right);
  return EyeFindLevels(top, base, State.EyeWinRight, State.EyeWinLeft);
}

bool EyeRefineCrossings() {
  double best = 10000, bestL = 0, bestR = 0;
  int counted = 0;
  const auto y = [](int k) { return Round((k * State.BandHigh + (11 - k) * State.BandLow) / 11.0); };
  for (int k = 2; k <= 10; ++k) {
    const int low = y(k - 1) + 1, high = y(k);
    const TWin l = HistIn(false, State.Zone1Start, low, State.Zone1End, high);
    if (l.Hits < 30) continue;
    const TWin r = HistIn(false, State.Zone2Start, low, State.Zone2End, high);
    if (r.Hits < 30) continue;
    const double spread = std::sqrt((r.Sigma * r.Sigma + l.Sigma * l.Sigma) / 2);
    if (spread < best) {
      best = spread;
      bestL = l.Mean;
      bestR = r.Mean;
    }
    ++counted;
  }
  if (counted < 5) return false;
  State.Crossing[1].X = bestL;
  State.Crossing[2].X = bestR;
  State.SelectedCrossing = ((bestR - bestL) / 2.5 >= bestL && 4000 - bestR >= bestL) ? 2 : 1;
  RemoveEyeHint();
  EyeWindowFromBounds(bestL, bestR);
  int top = 0, base = 0;
  const bool found = EyeFindLevels(top, base, State.EyeWinRight, State.EyeWinLeft);
  SetEyeDisplayWindow(Round(State.ZeroLevel), Round(State.OneLevel), Round(bestR), Round(bestL));
  return found;
}

double EyeMeasureCrossing() {
  TEyeCrossing& c = State.Crossing[State.SelectedCrossing];
  const auto [start, end] = BandAround(c.X);
  if (start < 1 || end > 4000) return UndefinedValue;
  const TWin v = HistIn(true, start, State.BandLow, end, State.BandHigh);
  if (v.Hits == 0) return UndefinedValue;
  const auto [zs, ze] = SelectedZone();
  const TEyeCrossing z = ZoneStats(zs, ze, BandAround(v.Mean));
  c.Sigma = z.Sigma;
  c.MinX = z.MinX;
  c.MaxX = z.MaxX;
  return v.Mean;
}

// The map in X a..b (kept on the screen) and the band, along X.
TWin XWindow(int a, int b, std::pair<int, int> band) {
  return HistIn(false, std::max(a, 0), band.first, std::min(b, 4000), band.second);
}

// Mean X of the map in X a..b and the band.
double MeanX(int a, int b, std::pair<int, int> band) { return XWindow(a, b, band).Mean; }

// Two positions at a level inside the selected zone: the rising and falling edges there.
void EyeEdgesAtLevel(std::pair<int, int> band, double& first, double& second, double s, double c) {
  const auto [zs, ze] = SelectedZone();
  const TWin w = HistIn(false, zs, band.first, ze, band.second);
  const double m = w.Mean, d = w.Sigma;
  if (2 * s >= d && std::abs(c - m) <= s) {
    const double e = d < s ? 0 : std::sqrt(d * d - s * s);
    first = m - e;
    second = m + e;
    return;
  }
  const int k = static_cast<int>(std::trunc((c + m) / 2));
  first = MeanX(zs, k, band);
  second = MeanX(k, ze, band);
}

double ThresholdLevel(double fraction) {
  return State.ZeroLevel + (State.OneLevel - State.ZeroLevel) * fraction;
}

// Rise (rise true) or fall time: the start and end positions into first and second.
double RiseFallNRZ(bool rise, double& start, double& end) {
  if (State.CrossingLevel == UndefinedValue) return UndefinedValue;
  const double yc = State.CrossingLevel;
  const auto [zs, ze] = SelectedZone();
  const TEyeCrossing cs = ZoneStats(zs, ze, BandAround(yc));
  const auto [lowF, upF] = EyeThresholdFractions();
  const double yu = ThresholdLevel(upF), yl = ThresholdLevel(lowF);
  double u1 = 0, u2 = 0, l1 = 0, l2 = 0;
  EyeEdgesAtLevel(BandAround(yu), u1, u2, cs.Sigma, cs.X);
  EyeEdgesAtLevel(BandAround(yl), l1, l2, cs.Sigma, cs.X);
  // Below the crossing the rising edge comes first, at or above it the falling one.
  const bool upperAbove = yu > yc;  // Yc equal to Yu counts as Yu below it
  const bool lowerAbove = yl >= yc;
  const double riseU = upperAbove ? u2 : u1, fallU = upperAbove ? u1 : u2;
  const double riseL = lowerAbove ? l2 : l1, fallL = lowerAbove ? l1 : l2;
  if (rise) {
    start = riseL;
    end = riseU;
    return T(riseU) - T(riseL);
  }
  start = fallU;
  end = fallL;
  return T(fallL) - T(fallU);
}

double RiseFallRZ(bool rise, double& start, double& end) {
  const int i = rise ? 0 : 1;
  const TEyeCrossing& e = State.Edge[i];
  const double before = i > 0 ? (e.X - State.Edge[i - 1].X) / 2 : (State.Edge[1].X - e.X) / 2;
  const double after = (State.Edge[i + 1].X - e.X) / 2;
  const int a = std::clamp(Round(e.X - before), 1, 4000), b = std::clamp(Round(e.X + after), 1, 4000);
  const auto [lowF, upF] = EyeThresholdFractions();
  const double pu = MeanX(a, b, BandAround(ThresholdLevel(upF)));
  const double pl = MeanX(a, b, BandAround(ThresholdLevel(lowF)));
  start = rise ? pl : pu;
  end = rise ? pu : pl;
  return rise ? T(pu) - T(pl) : T(pl) - T(pu);
}

// The X window W of the parameters and its start and end.
std::pair<double, double> WindowW() {
  if (State.Config.Measure == egRZ) return {State.Edge[0].X, State.Edge[2].X};
  return {State.Crossing[1].X, State.Crossing[2].X};
}

double BitTime() {
  const auto [a, b] = WindowW();
  return T(b) - T(a);
}

bool OpticalUnit() { return VUnit() == "W"; }
double DbOf(double ratio) { return OpticalUnit() ? EyeDb10(ratio) : EyeDb20(ratio); }

double Floored(double v) { return v > 1e-30 ? v : 1e-30; }

double ExtinctionRatio() {
  const double c = EyeHooks.OpticalReadings().ExtRatioCorrDb;
  return V(State.OneLevel) / Floored(V(State.ZeroLevel)) * std::pow(10.0, c / 10);
}

// The contrast ratio of an RZ eye: the one level against the level a pulse leaves in the
// following slot.
double ContrastRatio() {
  const int h = Round((State.Edge[2].X - State.Edge[0].X) / 2);
  const int y = Round(State.CrossingLevel);
  const TWin a = HistIn(true, State.EyeWinLeft, 10, State.EyeWinRight, y);
  const TWin b = HistIn(true, State.EyeWinLeft + h, 10, State.EyeWinRight + h, y);
  const double ha = static_cast<double>(a.Hits), hb = static_cast<double>(b.Hits);
  // Equal counts would divide by zero below.
  if (!(hb > ha) || b.Hits / 20 > b.Hits - a.Hits) return UndefinedValue;
  const double yd = (hb * b.Mean - ha * a.Mean) / (hb - ha);
  return V(State.OneLevel) / Floored(V(yd));
}

struct TResult {
  double Value = UndefinedValue;
  std::string Unit;
};

TResult Amplitude(double v) { return {v, VUnit()}; }
TResult Horizontal(double v) { return {v, HUnit()}; }
TResult Of(double v, std::string unit) { return {v, std::move(unit)}; }

TWin WholeHeight(int xLeft, int xRight) { return HistIn(true, xLeft, 10, xRight, 1014); }

double HistValueMean(int xl, int xr) {
  HistIn(true, xl, 10, xr, 1014);
  return FullHist().TotalHits() ? FullHist().MeanValue() : UndefinedValue;
}

// Rise and fall times give their start and end positions too.
TResult ComputeX(TEyeKind kind, bool rz, double& start, double& end) {
  const auto [wa, wb] = WindowW();
  const TEyeCrossing& s = State.Crossing[State.SelectedCrossing];
  const double c1 = State.Crossing[1].X, c2 = State.Crossing[2].X;
  switch (kind) {
    case K::Area: {
      const double mean = HistValueMean(0, 4000);
      return {mean == UndefinedValue ? mean : mean * (T(4001) - T(0)), AreaUnit()};
    }
    case K::BitRate: {
      const double b = BitTime();
      return std::abs(b) > 1e-30 ? Of(1 / b, "Bit/s") : TResult{};
    }
    case K::BitTime:
      return Horizontal(BitTime());
    case K::CrossTime:
      return Horizontal(T(c1));
    case K::CycleArea: {
      const double mean = HistValueMean(Round(wa), Round(wb));
      return {mean == UndefinedValue ? mean : mean * (T(wb + 1) - T(wa)), AreaUnit()};
    }
    case K::DutCycDistP:
    case K::DutCycDistS: {
      if (State.CrossingLevel == UndefinedValue) return {};
      const auto [zs, ze] = SelectedZone();
      const TEyeCrossing cs = ZoneStats(zs, ze, BandAround(State.CrossingLevel));
      double p1 = 0, p2 = 0;
      EyeEdgesAtLevel(BandAround((State.OneLevel + State.ZeroLevel) / 2), p1, p2, cs.Sigma, cs.X);
      if (kind == K::DutCycDistP) return Of((p2 - p1) * 100 / (c2 - c1), "%");
      return Horizontal(T(p2) - T(p1));
    }
    case K::EyeWidth:
    case K::EyeWidthP:
    case K::PulseWidth:
    case K::PosDutyCyc: {
      if (!rz) {
        const double l = c1 + 3 * s.Sigma, r = c2 - 3 * s.Sigma;
        if (kind == K::EyeWidthP) return Of((r - l) / (c2 - c1) * 100, "%");
        return Horizontal(T(r) - T(l));
      }
      const double f = kind == K::EyeWidth || kind == K::EyeWidthP ? 3 : 0;
      const TEyeCrossing &e0 = State.Edge[0], &e1 = State.Edge[1];
      const double w = T(e1.X - f * e1.Sigma) - T(e0.X + f * e0.Sigma);
      if (kind == K::EyeWidth || kind == K::PulseWidth) return Horizontal(w);
      const double b = BitTime();
      return b != 0 ? Of(w / b * 100, "%") : TResult{};
    }
    case K::FallTime:
    case K::RiseTime: {
      const bool rise = kind == K::RiseTime;
      const double t = rz ? RiseFallRZ(rise, start, end) : RiseFallNRZ(rise, start, end);
      return Horizontal(t);
    }
    case K::Freq: {
      const double b = BitTime();
      return std::abs(b) > 1e-30 ? Of(0.5 / b, "Hz") : TResult{};
    }
    case K::JitterPP:
      return Horizontal(T(s.MaxX) - T(s.MinX));
    case K::JitterRMS:
      return Horizontal(T(s.X + s.Sigma / 2) - T(s.X - s.Sigma / 2));
    case K::Period:
      return Horizontal(BitTime() * 2);
    case K::JittPpFall:
    case K::JittPpRise: {
      const TEyeCrossing& e = State.Edge[kind == K::JittPpRise ? 0 : 1];
      return Horizontal(T(e.MaxX) - T(e.MinX));
    }
    case K::JittRMSFall:
    case K::JittRMSRise: {
      const TEyeCrossing& e = State.Edge[kind == K::JittRMSRise ? 0 : 1];
      return Horizontal(T(e.X + e.Sigma / 2) - T(e.X - e.Sigma / 2));
    }
    case K::NegCross:
      return Horizontal(T(State.Edge[1].X));
    case K::PosCross:
      return Horizontal(T(State.Edge[0].X));
    case K::PulseSymm: {
      const TEyeCrossing &e0 = State.Edge[0], &e1 = State.Edge[1];
      if (WholeHeight(Round(e0.X), Round(e1.X)).Hits == 0 || e1.X == e0.X) return {};
      const double xm = FullHist().TimeOfMax();
      return Of((xm - e0.X) / (e1.X - e0.X) * 100, "%");
    }
    default:
      return {};
  }
}

TResult ComputeY(TEyeKind kind) {
  const double l1 = State.OneLevel, l0 = State.ZeroLevel, s1 = State.OneSigma, s0 = State.ZeroSigma;
  const auto [wa, wb] = WindowW();
  switch (kind) {
    case K::AcRMS:
      WholeHeight(Round(wa), Round(wb));
      return Amplitude(FullHist().AcRmsValue());
    case K::RMS:
      WholeHeight(Round(wa), Round(wb));
      return Amplitude(FullHist().RmsValue());
    case K::Mean:
      return Amplitude(HistValueMean(Round(wa), Round(wb)));
    case K::AvgPower:
    case K::AvgPowerDBm: {
      const double p = EyeAveragePowerWatts(EyeHooks.OpticalReadings());
      if (kind == K::AvgPower) return Of(p, "W");
      return Of(p == UndefinedValue ? p : EyeDb10(p / 0.001), "dBm");
    }
    case K::CrossPerc:
      if (State.CrossingLevel == UndefinedValue || l1 == l0) return {};
      return Of((State.CrossingLevel - l0) * 100 / (l1 - l0), "%");
    case K::CrossLevel:
      if (State.CrossingLevel == UndefinedValue) return {};
      return Amplitude(V(State.CrossingLevel));
    case K::Contrast:
    case K::ContrastDB:
    case K::ContrastP: {
      const double q = ContrastRatio();
      if (q == UndefinedValue) return {};
      if (kind == K::ContrastDB) return Of(EyeDb10(q), "dB");
      return Of(kind == K::Contrast ? q : 100 / q, "");
    }
    case K::ExtRatioDB:
      return Of(EyeDb10(ExtinctionRatio()), "dB");
    case K::ExtRatioP: {
      const double er = ExtinctionRatio();
      return er != 0 ? Of(100 / er, "%") : TResult{};
    }
    case K::ExtRatio:
      return Of(ExtinctionRatio(), "");
    case K::EyeAmpl:
      return Amplitude(V(l1) - V(l0));
    case K::EyeHeight:
      return Amplitude(V(l1 - 3 * s1) - V(l0 + 3 * s0));
    case K::EyeHeightDB: {
      const double ratio = V(l0 + 3 * s0) / V(l1 - 3 * s1);
      const double db = std::isfinite(ratio) ? DbOf(ratio) : UndefinedValue;
      return Of(db == UndefinedValue ? db : -db, "dB");
    }
    case K::EyeOpenFact:
      if (l1 == l0) return {};
      return Of(((l1 - s1) - (l0 + s0)) / (l1 - l0), "");
    case K::Max:
      return Amplitude(V(WholeHeight(0, 4000).MaxPos));
    case K::Min:
      return Amplitude(V(WholeHeight(0, 4000).MinPos));
    case K::Mid: {
      const TWin w = WholeHeight(0, 4000);
      return Amplitude(V((w.MaxPos + w.MinPos) / 2));
    }
    case K::PeakPeak: {
      const TWin w = WholeHeight(0, 4000);
      return Amplitude(V(w.MaxPos) - V(w.MinPos));
    }
    case K::NegOver:
      if (l1 == l0) return {};
      return Of((l0 - WholeHeight(0, 4000).MinPos) / (l1 - l0) * 100, "%");
    case K::PosOver:
      if (l1 == l0) return {};
      return Of((WholeHeight(0, 4000).MaxPos - l1) / (l1 - l0) * 100, "%");
    case K::PPNoiseOne:
      return Amplitude(V(State.OneMaxY) - V(State.OneMinY));
    case K::PPNoiseZero:
      return Amplitude(V(State.ZeroMaxY) - V(State.ZeroMinY));
    case K::RMSNoiseOne:
    case K::RMSNoiseZero: {
      if (State.CrossingLevel == UndefinedValue) return {};
      const int yc = Round(State.CrossingLevel);
      const bool one = kind == K::RMSNoiseOne;
      const TWin w = HistIn(true, State.EyeWinLeft, one ? yc : 10, State.EyeWinRight, one ? 1014 : yc);
      return w.Hits ? Amplitude(FullHist().AcRmsValue()) : TResult{};
    }
    case K::OneLevel:
      return Amplitude(V(l1));
    case K::ZeroLevel:
      return Amplitude(V(l0));
    case K::SNR:
      return Of(EyeSignalToNoise(l1, l0, s1, s0), "");
    case K::SNRdB: {
      const double r = EyeSignalToNoise(l1, l0, s1, s0);
      return Of(r == UndefinedValue ? r : DbOf(r), "dB");
    }
    default:
      return {};
  }
}

bool IsRzPulseWidth(TEyeKind k) {
  return k == K::EyeWidth || k == K::EyeWidthP || k == K::PosDutyCyc || k == K::PulseWidth ||
         k == K::PulseSymm;
}

// The widths of an RZ pulse are marked on its own two edges (the eye width inside their
// spreads), after the crossing pair where that is shown too; the symmetry marks its maximum.
void PlaceRzWidthAnchors(TEyeParam& p, int yc) {
  TAnnSet& a = p.Annotations;
  const TEyeKind k = p.Kind();
  const TEyeCrossing &e0 = State.Edge[0], &e1 = State.Edge[1];
  const double f = k == K::EyeWidth || k == K::EyeWidthP ? 3 : 0;
  const bool withCrossings = k == K::EyeWidth || k == K::EyeWidthP || k == K::PosDutyCyc;
  const auto [wa, wb] = WindowW();
  if (withCrossings) {
    SetAnnAnchor(a, 1, Round(wa), yc);
    SetAnnAnchor(a, 2, Round(wb), yc);
  }
  const int first = withCrossings ? 3 : 1;
  SetAnnAnchor(a, first, Round(e0.X + f * e0.Sigma), yc);
  SetAnnAnchor(a, first + 1, Round(e1.X - f * e1.Sigma), yc);
  if (k == K::PulseSymm && WholeHeight(Round(e0.X), Round(e1.X)).Hits > 0)
    SetAnnAnchor(a, 3, FullHist().TimeOfMax(), Round(FullHist().MaxScreenPos()));
}

// Labels 1 and 2 of the crossing pair, of the levels and so on follow the computation.
void PlaceAnchors(TEyeParam& p, double start, double end) {
  TAnnSet& a = p.Annotations;
  const int yc = Round(State.CrossingLevel == UndefinedValue ? (State.OneLevel + State.ZeroLevel) / 2
                                                             : State.CrossingLevel);
  const auto [wa, wb] = WindowW();
  const TEyeKind k = p.Kind();
  if (p.Axis == eaX) {
    if (k == K::RiseTime || k == K::FallTime) {
      const auto [lowF, upF] = EyeThresholdFractions();
      const bool rise = k == K::RiseTime;
      SetAnnAnchor(a, 1, Round(start), Round(ThresholdLevel(rise ? lowF : upF)));
      SetAnnAnchor(a, 2, Round(end), Round(ThresholdLevel(rise ? upF : lowF)));
    } else if (p.Group == egRZ && IsRzPulseWidth(k)) {
      PlaceRzWidthAnchors(p, yc);
    } else {
      SetAnnAnchor(a, 1, Round(wa), yc);
      SetAnnAnchor(a, 2, Round(wb), yc);
    }
    return;
  }
  SetAnnAnchor(a, 1, State.EyeWinLeft, Round(State.OneLevel));
  SetAnnAnchor(a, 2, State.EyeWinRight, Round(State.OneLevel));
  SetAnnAnchor(a, 3, State.EyeWinLeft, Round(State.ZeroLevel));
  SetAnnAnchor(a, 4, State.EyeWinRight, Round(State.ZeroLevel));
  SetAnnAnchor(a, 5, (State.EyeWinLeft + State.EyeWinRight) / 2, yc);
}

// Every selected parameter of both groups.
template <typename F>
void ForEachEyeParam(F&& f) {
  for (uint8_t g : {egNRZ, egRZ})
    for (int n = 0; n < State.Count(g); ++n) f(*State.Group(g)[n]);
}

// The statistics mode and size the settings ask for.
void SetConfiguredStatMode(TModedStat& stat) {
  const TEyeConfig& c = State.Config;
  const TStatMode mode = c.Statistic ? c.StatMode : TStatMode::Permanent;
  stat.SetMode(mode, mode == TStatMode::Window ? c.Window : c.Weight);
}

}  // namespace

TEyeState& EyeState() { return State; }
void ResetEyeState() { State = TEyeState{}; }

TEyeParamList EyeParamList(uint8_t group, uint8_t axis) {
  const bool rz = group == egRZ;
  if (axis == eaX) return rz ? TEyeParamList{kXRz, std::size(kXRz)} : TEyeParamList{kXNrz, std::size(kXNrz)};
  return rz ? TEyeParamList{kYRz, std::size(kYRz)} : TEyeParamList{kYNrz, std::size(kYNrz)};
}

TEyeKind EyeParamKind(uint8_t group, uint8_t axis, uint8_t index) {
  const TEyeParamList list = EyeParamList(group, axis);
  return list.Kinds[std::min<int>(index, list.Count - 1)];
}

bool IsAveragePower(TEyeKind kind) { return kind == K::AvgPower || kind == K::AvgPowerDBm; }

double EyeDb10(double x) {
  return x != UndefinedValue && x > 0 && std::isfinite(x) ? 10 * std::log10(x) : UndefinedValue;
}
double EyeDb20(double x) {
  return x != UndefinedValue && x > 0 && std::isfinite(x) ? 20 * std::log10(x) : UndefinedValue;
}

double EyeAveragePowerWatts(const TEyeOptics& o) {
  if (o.Factor == 0 || !std::isfinite(o.Factor)) return UndefinedValue;
  return 5 * (o.PowerCode - o.DarkCode) / 65536 / 8.4 / o.Factor;
}

double EyeSignalToNoise(double one, double zero, double oneSigma, double zeroSigma) {
  const double sum = oneSigma + zeroSigma;
  return sum != 0 ? (one - zero) / sum : UndefinedValue;
}

std::pair<double, double> EyeThresholdFractions() {
  switch (State.Config.TreshMode) {
    case 0:
      return {0.1, 0.9};
    case 2:
      return {State.Config.LowTresh / 100, State.Config.UpTresh / 100};
    default:
      return {0.2, 0.8};
  }
}

namespace {

bool EyeFindLevels(int& top, int& base, int xRight, int xLeft) {
  TFullHist& h = FullHist();
  h.SetWeight(0);
  if (xLeft == 0) {
    h.CalcInWindow(true, 0, 1022, 4000, 2);
    const TTwoLevels t = h.TwoLevelScreen();
    if (!t.Found) return false;
    top = t.Pos1;
    base = t.Pos2;
    return top - base >= 16;
  }
  h.CalcInWindow(true, xLeft, 1014, xRight, 10);
  const TTwoLevels t = h.TwoLevelScreen();
  if (!t.Found) return false;
  top = t.Pos1;
  base = t.Pos2;
  const int mid = (top + base + 1) / 2;
  const TWin one = HistIn(true, xLeft, mid, xRight, 1014);
  State.OneLevel = one.Mean;
  State.OneSigma = one.Sigma;
  top = Round(one.Mean);
  State.BandHigh = Round(one.Mean - 3 * one.Sigma) - 10;
  State.OneMaxY = one.MaxPos;
  State.OneMinY = one.MinPos;
  const TWin zero = HistIn(true, xLeft, 10, xRight, mid);
  State.ZeroLevel = zero.Mean;
  State.ZeroSigma = zero.Sigma;
  base = Round(zero.Mean);
  State.BandLow = Round(3 * zero.Sigma + zero.Mean) + 10;
  State.ZeroMaxY = zero.MaxPos;
  State.ZeroMinY = zero.MinPos;
  return true;
}

bool EyeAnalyseNRZ() {
  const bool ok = EyeFindCrossings() && EyeRefineCrossings();
  State.CrossingLevel = ok ? EyeMeasureCrossing() : UndefinedValue;
  return ok;
}

bool EyeAnalyseRZ() {
  int top = 0, base = 0;
  if (!EyeFindLevels(top, base, 4000, 0)) return false;
  const TWin tops = HistIn(false, 0, top, 4000, 1014);
  if (tops.Hits == 0) return false;
  const int a = Round(tops.MinPos), b = Round(tops.MaxPos), m = (a + b + 1) / 2;
  const double p1 = MeanX(a, m, {top, 1014}), p2 = MeanX(m, b, {top, 1014});
  const int h = Round(p2 - p1), P1 = Round(p1);
  if (h <= 0) return false;
  // An edge window without hits holds no edge (pulses longer than the screen): no analysis.
  const auto edges = [&](std::pair<int, int> band) {
    const TWin rising = XWindow(P1 - h / 2, P1, band), falling = XWindow(P1, P1 + h / 2, band);
    if (rising.Hits == 0 || falling.Hits == 0) return false;
    EyeWindowFromBounds(rising.Mean, falling.Mean);
    return EyeFindLevels(top, base, State.EyeWinRight, State.EyeWinLeft);
  };
  const int y1 = (5 * top + 4 * base + 4) / 9, y2 = (4 * top + 5 * base + 4) / 9;
  if (!edges({y2, y1})) return false;
  if (!edges(BandAround((top + base) / 2.0))) return false;
  State.CrossingLevel = (top + base) / 2.0;
  const auto band = BandAround(State.CrossingLevel);
  const std::pair<int, int> windows[3] = {{P1 - h / 2, P1}, {P1, P1 + h / 2}, {Round(p2) - h / 2, Round(p2)}};
  for (int i = 0; i < 3; ++i) {
    const TWin w = XWindow(windows[i].first, windows[i].second, band);
    if (w.Hits == 0) return false;
    State.Edge[static_cast<size_t>(i)] = {w.Mean, w.Sigma, w.MinPos, w.MaxPos};
  }
  SetEyeDisplayWindow(base, top, Round(State.Edge[2].X), Round(State.Edge[0].X));
  RemoveEyeHint();
  return true;
}

// Of the configured mode.
bool EyeAnalyse() { return State.Config.Measure == egRZ ? EyeAnalyseRZ() : EyeAnalyseNRZ(); }

}  // namespace

void ComputeEyeParam(int slot) {
  TEyeParam* p = EyeParam(State.Config.Measure, slot);
  if (!p) return;
  double start = 0, end = 0;
  TResult r = p->Axis == eaY ? ComputeY(p->Kind()) : ComputeX(p->Kind(), p->Group == egRZ, start, end);
  if (!std::isfinite(r.Value)) r.Value = UndefinedValue;
  p->Value = r.Value;
  p->UnitText = r.Value == UndefinedValue ? std::string() : r.Unit;
  if (r.Value != UndefinedValue) p->StatUnit = r.Unit;
  PlaceAnchors(*p, start, end);
  if (MeasState.Ann.SelectedParamLine == slot && EyeAnnotationsOwned()) {
    SetAnnVisible(p->Annotations, p->Value != UndefinedValue);
    ShowAnnotations(p->Annotations);
  }
}

namespace {

// Slot n of the configured group: computed, added to its statistics and shown.
void EvaluateEyeParam(int n) {
  ComputeEyeParam(n);
  TEyeParam& p = *State.Group(State.Config.Measure)[n];
  if (p.Value != UndefinedValue) p.Stat.AddOne(p.Value);
  ShowEyeLine(n);
}

// Every selected parameter but the average power.
void EvaluateEyeParams() {
  const uint8_t g = State.Config.Measure;
  for (int n = 0; n < State.Count(g); ++n)
    if (!IsAveragePower(State.Group(g)[n]->Kind())) EvaluateEyeParam(n);
}

void SetEyeDisplayWindow(int yLow, int yHigh, int xHigh, int xLow) {
  TEyeRect& w = State.DisplayWindow;
  w.XLow = std::clamp(xLow, 0, 3999);
  w.XHigh = std::min(xHigh > w.XLow ? xHigh : w.XLow + 1, 4000);
  w.YLow = std::clamp(yLow, 2, 1022);
  w.YHigh = std::min(yHigh > w.YLow ? yHigh : w.YLow + 1, 1023);
  UpdateEyeMeasureWindow();
}

}  // namespace

void UpdateEyeMeasureWindow() {
  const TEyeRect& d = State.DisplayWindow;
  TEyeRect& m = State.MeasureWindow;
  if (d.XLow == 0 && d.XHigh == 4000) {
    m = TEyeRect{};
  } else {
    const auto [lowF, upF] = EyeThresholdFractions();
    m.YLow = Round(ThresholdLevel(lowF));
    m.YHigh = Round(ThresholdLevel(upF));
    const bool rz = State.Config.Measure == egRZ;
    const double a = rz ? State.Edge[0].X : State.Crossing[1].X,
                 b = rz ? State.Edge[1].X : State.Crossing[2].X;
    m.XLow = Round(a + (b - a) * State.Config.LeftBound / 100);
    m.XHigh = Round(a + (b - a) * State.Config.RightBound / 100);
  }
  RedrawEyeDisplayWindow();
}

// --- the pass ---

namespace {

bool EyeCycleComplete() {
  const uint32_t target =
      State.Config.Statistic ? static_cast<uint32_t>(State.Config.WfmsInCycle) : State.NextEvaluation;
  return State.CycleWaveforms >= target;
}

std::string CounterText(const TEyeParam& p) {
  char buf[48];
  if (!State.Config.Statistic) {
    std::snprintf(buf, sizeof buf, "    %lld", static_cast<long long>(p.Stat.Count()));
  } else {
    std::snprintf(buf, sizeof buf, "%lld / %lld", static_cast<long long>(p.Stat.Count()),
                  static_cast<long long>(EyeWaveformsOf(p)));
  }
  return buf;
}

// The next cycle measures only its own acquisitions.
void StartEyeCycle() {
  FullHist().Clear();
  State.MeasuredWaveforms += State.MapWaveformsMeasured;
  State.MapWaveformsMeasured = 0;
  State.CycleWaveforms = 0;
}

void PassWithDatabase() {
  if (!State.RestartRequested) return;
  UpdateEyeParamMasks();
  RestartEyeStatistics();
  if (!EyeLinesBuilt()) RebuildEyeParamLines();
  const TTraceId kept = State.Config.Source;
  State.Config.Source = TTraceId::Ch1;
  if (EyeAnalyse()) EvaluateEyeParams();
  State.Config.Source = kept;
  State.RestartRequested = false;
}

}  // namespace

void EyeMeasurementPass() {
  ReadEyeConfig();
  if (State.Config.Measure == egNone || !IsRecordTrace(State.Config.Source)) return;
  if (EyeDatabaseShown()) {
    PassWithDatabase();
    return;
  }
  UpdateEyeParamMasks();
  TSignalObj& record = SignalObjs()[State.Config.Source];
  if (!EyeSourceOn() || !record.GetChangedB()) return;
  record.ClearChangedB();
  AccumulateRecordIntoHist(FullHist(), record);
  ++State.CycleWaveforms;
  RedrawEyeDisplayWindow();
  if (!EyeLinesBuilt()) RebuildEyeParamLines();
  const uint8_t g = State.Config.Measure;
  for (int n = 0; n < State.Count(g); ++n) {
    const TEyeParam& p = *State.Group(g)[n];
    if (IsAveragePower(p.Kind())) EvaluateEyeParam(n);
    ShowEyeCounter(n, CounterText(p));
  }
  if (!EyeCycleComplete()) return;
  State.EyeFailed = !EyeAnalyse();
  if (!State.EyeFailed) {
    State.MapWaveformsMeasured = State.CycleWaveforms;
    EvaluateEyeParams();
    if (State.Config.Statistic) {
      StartEyeCycle();
    } else {
      State.NextEvaluation += static_cast<uint32_t>(State.Config.WfmsInCycle / 16);
    }
    return;
  }
  RemoveEyeHint();
  State.EyeHintId = PushHint(GetLangStr("EyeMessage2"), 0, THintKeep::Keep, THintStyle::Normal);
  StartEyeCycle();
  State.NextEvaluation = static_cast<uint32_t>(State.Config.WfmsInCycle);
}

void ClearEyeMeasurement() {
  ReadEyeConfig();
  // While the eye is off the map and the labels belong to the other analyses.
  if (State.Config.Measure != egNone) {
    FullHist().Clear();
    FullHist().SetWeight(0);
    ClearAllAnnotations();
  }
  State.DisplayWindow = TEyeRect{};
  State.Crossing[1].X = 100;
  State.Crossing[2].X = 400;
  State.EyeFailed = false;
  RemoveEyeHint();
  if (State.Config.Measure != egNone)
    State.EyeHintId = PushHint(GetLangStr("EyeMessage1"), 0, THintKeep::Keep, THintStyle::Normal);
  RestartEyeStatistics();
  UpdateEyeMeasureWindow();
}

void RestartEyeStatistics() {
  State.CycleWaveforms = 0;
  State.NextEvaluation = static_cast<uint32_t>(State.Config.WfmsInCycle);
  State.MeasuredWaveforms = 0;
  State.MapWaveformsMeasured = 0;
  // A result belongs to the statistics it went into.
  ForEachEyeParam([](TEyeParam& p) {
    p.Stat.Reset();
    p.Value = UndefinedValue;
    p.UnitText.clear();
  });
}

void ApplyEyeStatMode() {
  ForEachEyeParam([](TEyeParam& p) { SetConfiguredStatMode(p.Stat); });
}

// --- the lists ---

int64_t EyeWaveformsOf(const TEyeParam& p) {
  if (IsAveragePower(p.Kind())) return p.Stat.Count();
  return State.MeasuredWaveforms + State.CycleWaveforms;
}

TEyeParam* EyeParam(uint8_t group, int slot) {
  if (group != egNRZ && group != egRZ) return nullptr;
  if (slot < 0 || slot >= State.Count(group)) return nullptr;
  return State.Group(group)[static_cast<size_t>(slot)].get();
}

namespace {
int FindParam(uint8_t group, uint8_t axis, uint8_t index) {
  if (group != egNRZ && group != egRZ) return -1;
  for (int n = 0; n < State.Count(group); ++n) {
    const TEyeParam& p = *State.Group(group)[n];
    if (p.Axis == axis && p.Index == index) return n;
  }
  return -1;
}
}  // namespace

bool IsEyeParamSelected(uint8_t group, uint8_t axis, uint8_t index) {
  return FindParam(group, axis, index) >= 0;
}

void AddEyeParam(uint8_t group, uint8_t axis, uint8_t index) {
  if (group != egNRZ && group != egRZ) return;
  if (index >= EyeParamList(group, axis).Count || IsEyeParamSelected(group, axis, index)) return;
  if (State.Count(group) >= kEyeParamsPerGroup) {
    const TEyeParam& first = *State.Group(group)[0];
    UncheckEyeParam(first.Group, first.Axis, first.Index);
    // Without a check set to do it, the first one goes here.
    if (State.Count(group) >= kEyeParamsPerGroup) RemoveEyeParam(first.Group, first.Axis, first.Index);
  }
  auto p = std::make_unique<TEyeParam>();
  p->Group = group;
  p->Axis = axis;
  p->Index = index;
  SetConfiguredStatMode(p->Stat);
  State.Group(group)[State.Count(group)] = std::move(p);
  ++State.Count(group);
  DefineEyeLabels(*State.Group(group)[State.Count(group) - 1]);
}

void RemoveEyeParam(uint8_t group, uint8_t axis, uint8_t index) {
  const int n = FindParam(group, axis, index);
  if (n < 0) return;
  auto& list = State.Group(group);
  for (int k = n; k < State.Count(group) - 1; ++k) list[k] = std::move(list[k + 1]);
  list[State.Count(group) - 1].reset();
  --State.Count(group);
  if (group == State.Config.Measure) ReleaseAnnotations(n);
}

}  // namespace norv
