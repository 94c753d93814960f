#include "measure/meas_frame.h"

#include <algorithm>
#include <cmath>

#include "framework/language/language.h"
#include "framework/settings/value_text.h"
#include "framework/text/dot_number.h"
#include "framework/traces/scale_change_flags.h"
#include "measure/meas_routines.h"
#include "measure/meas_state.h"

namespace norv {

namespace {

// Cells 2..254 of four codes each: codes 8..1019.
constexpr double kFirstCountedCode = 8, kLastCountedCode = 1019;

int Round(double v) { return static_cast<int>(std::nearbyint(v)); }

// std::nearbyint in the default rounding mode for |y| below 2^51, without a library call:
// adding and taking away 1.5 * 2^52 leaves no fraction bits (strict IEEE arithmetic keeps
// the pair).
double RoundHalfEven(double y) {
  constexpr double kShift = 6755399441055744.0;
  return (y + kShift) - kShift;
}

int ScreenCode(const TSignalObj& rec, double v) { return Round(rec.ValueToScreenY(v)); }

int LastIndex(const TMeasFrame& f) { return static_cast<int>(f.Values.size()) - 1; }

double Level(const TMeasFrame& f, uint8_t choice) {
  return choice == lcUpper ? f.UpThresh : (choice == lcMiddle ? f.MidThresh : f.LowThresh);
}

// The threshold band is too narrow for edges below this part of a division. An upper
// threshold not above the lower one gives no edges either (and would let a walk stand
// still).
bool BandTooNarrow(const TMeasSource& s, double divisions) {
  const double band = s.Frame.UpThresh - s.Frame.LowThresh;
  return !(band > 0) || band < s.Rec.GetEffScale() * divisions;
}

}  // namespace

TMeasSource MeasSourceOf(TTraceId id) {
  const auto i = static_cast<size_t>(TraceIndex(id));
  return {id, SignalObjs()[id], MeasState.Frames.at(i), MeasState.Settings.at(i)};
}

int LevelHistogram(std::array<uint32_t, kLevelHistCells>& cells, const TSignalObj& rec,
                   std::span<const double> values, bool ranged, int last, int first) {
  cells.fill(0);
  int from = 0, to = static_cast<int>(values.size()) - 1;
  if (ranged) {
    from = std::max(first, 0);
    to = std::min(last, to);
  }
  const double offset = rec.GetEffOffset();
  const double span = rec.GetEffScale() * 8;
  const double codesPerUnit = span != 0 ? 1024 / span : 0;
  // Neighbouring samples mostly fall into the same cell; counting them into four tables in
  // turn keeps each increment from waiting for the one before.
  std::array<std::array<uint32_t, kLevelHistCells>, 4> part{};
  const auto count = [&](size_t lane, double y) {
    // Codes 8..1019 after rounding half to even; NaN fails the test too.
    if (!(y >= kFirstCountedCode - 0.5 && y <= kLastCountedCode + 0.5)) return;
    const auto code = static_cast<uint32_t>(RoundHalfEven(y));
    if (code >= kFirstCountedCode && code <= kLastCountedCode) ++part[lane][code / 4];
  };
  if (span != 0) {
    for (int i = from; i <= to; ++i) {
      count(static_cast<size_t>(i) & 3, (values[static_cast<size_t>(i)] - offset) * codesPerUnit + 512);
    }
  } else {
    for (int i = from; i <= to; ++i) count(0, rec.ValueToScreenY(values[static_cast<size_t>(i)]));
  }
  int counted = 0;
  for (size_t c = 0; c < cells.size(); ++c) {
    cells[c] = part[0][c] + part[1][c] + part[2][c] + part[3][c];
    counted += static_cast<int>(cells[c]);
  }
  return counted;
}

namespace {

// The histogram of the values between the margins. Margins most often leave out a little
// of the record: then the values outside are taken away from the whole record's histogram.
int CountInMargins(const TMeasSource& s) {
  TMeasFrame& f = s.Frame;
  const int left = std::max(f.LeftMargin, 0);
  const int right = std::min(f.RightMargin, LastIndex(f));
  const int inside = std::max(right - left + 1, 0);
  if (inside <= static_cast<int>(f.Values.size()) - inside) {
    return LevelHistogram(f.InMarginHist, s.Rec, f.Values, true, f.RightMargin, f.LeftMargin);
  }
  std::array<uint32_t, kLevelHistCells> before, after;
  LevelHistogram(before, s.Rec, f.Values, true, left - 1, 0);
  LevelHistogram(after, s.Rec, f.Values, true, LastIndex(f), right + 1);
  int counted = 0;
  for (size_t c = 0; c < kLevelHistCells; ++c) {
    f.InMarginHist[c] = f.LevelHist[c] - before[c] - after[c];
    counted += static_cast<int>(f.InMarginHist[c]);
  }
  return counted;
}

}  // namespace

void BuildLevelHistogram(const TMeasSource& s) {
  const int first = s.Rec.GetFirstShown();
  const int n = std::clamp(s.Rec.GetShownCount(), 0, kMaxRecLen - first);
  std::vector<double>& values = s.Frame.Values;
  values.resize(static_cast<size_t>(n));
  if (!s.Rec.IsSpectrum() && (s.Rec.GetTdrUnitKind() == tukNone || s.Rec.GetRaw())) {
    for (int i = 0; i < n; ++i)
      values[static_cast<size_t>(i)] = s.Rec.GetStoredY(first + i);  // shown as stored
  } else {
    for (int i = 0; i < n; ++i) values[static_cast<size_t>(i)] = s.Rec.GetDisplayValue(i);
  }
  s.Frame.LevelsInvalid = LevelHistogram(s.Frame.LevelHist, s.Rec, s.Frame.Values, false, 0, 0) == 0;
}

void TopBaseCodes(const std::array<uint32_t, kLevelHistCells>& h, bool minMax, double& topCode,
                  double& baseCode) {
  int lo = 2, hi = 254;
  while (lo < 254 && h[static_cast<size_t>(lo)] == 0) ++lo;
  if (h[static_cast<size_t>(lo)] == 0) lo = 2;
  while (hi > 2 && h[static_cast<size_t>(hi)] == 0) --hi;
  if (h[static_cast<size_t>(hi)] == 0) hi = 254;
  if (minMax || hi - lo <= 2) {
    topCode = 4.0 * hi + 1.5;
    baseCode = 4.0 * lo + 1.5;
    return;
  }
  const auto at = [&](int i) { return static_cast<double>(h[static_cast<size_t>(i)]); };
  const auto smoothed = [&](int i) {
    return 10 * at(i) + 5 * (at(i - 1) + at(i + 1)) + 2 * (at(i - 2) + at(i + 2));
  };
  const auto meanCell = [&](int c) {
    double sum = 0, weighted = 0;
    for (int i = c - 2; i <= c + 2; ++i) {
      sum += at(i);
      weighted += at(i) * i;
    }
    return sum > 0 ? weighted / sum : c;
  };
  const int mid = (hi + lo) / 2;
  int top = hi;
  for (int i = hi - 1; i >= mid; --i) {
    if (smoothed(i) > smoothed(top)) top = i;
  }
  int base = lo;
  for (int i = lo + 1; i <= mid; ++i) {
    if (smoothed(i) > smoothed(base)) base = i;
  }
  topCode = 4 * meanCell(top) + 1.5;
  baseCode = 4 * meanCell(base) + 1.5;
}

void CalcTopBase(const TMeasSource& s) {
  if (s.Settings.Method == tbMarker) {
    s.Frame.Top = s.Rec.ScreenYToValue(s.Settings.Top);
    s.Frame.Base = s.Rec.ScreenYToValue(s.Settings.Base);
    return;
  }
  double top = 0, base = 0;
  TopBaseCodes(s.Frame.LevelHist, s.Settings.Method == tbMinMax, top, base);
  s.Frame.Top = s.Rec.ScreenYToValue(top);
  s.Frame.Base = s.Rec.ScreenYToValue(base);
}

void CalcThresholds(const TMeasSource& s) {
  TMeasFrame& f = s.Frame;
  const TMeasSourceSettings& set = s.Settings;
  const auto byFractions = [&](double up, double mid, double low) {
    f.UpThresh = f.Base + (f.Top - f.Base) * up;
    f.MidThresh = f.Base + (f.Top - f.Base) * mid;
    f.LowThresh = f.Base + (f.Top - f.Base) * low;
  };
  if (set.Thresh == th10_90) {
    byFractions(0.9, 0.5, 0.1);
    f.UpThreshText = "90%";
    f.LowThreshText = "10%";
  } else if (set.Thresh == th20_80) {
    byFractions(0.8, 0.5, 0.2);
    f.UpThreshText = "80%";
    f.LowThreshText = "20%";
  } else if (set.Unit == tuPercent) {
    byFractions(set.UpThPerc / 100, set.MidThPerc / 100, set.LowThPerc / 100);
    f.UpThreshText = Format_Dot("%4.1f%%", set.UpThPerc);
    f.LowThreshText = Format_Dot("%4.1f%%", set.LowThPerc);
  } else {
    f.UpThresh = s.Rec.ScreenYToValue(set.UpThresh);
    f.MidThresh = s.Rec.ScreenYToValue(set.MidThresh);
    f.LowThresh = s.Rec.ScreenYToValue(set.LowThresh);
    const auto text = [&](int code, double level) {
      if (set.Unit == tuVolt)
        return FloatToEngStr(vfEngineering, 4, false, level, false) + s.Rec.GetVertUnitText();
      return FloatToStrF_Dot(code / 1024.0 * 8 - 4, TFloatFormat::ffGeneral, 4, 0) + GetLangStr("div");
    };
    f.UpThreshText = text(set.UpThresh, f.UpThresh);
    f.LowThreshText = text(set.LowThresh, f.LowThresh);
  }
}

double InterpolateCrossingBefore(std::span<const double> values, int i, double level) {
  if (i < 0 || i >= static_cast<int>(values.size())) return -1.0;
  // Nothing lies before the first sample: it is the crossing only when it sits on the level.
  if (i == 0) return values[0] == level ? 0.0 : -1.0;
  const double a = values[static_cast<size_t>(i - 1)], b = values[static_cast<size_t>(i)];
  return a != b ? i - (b - level) / (b - a) : i - 0.5;
}

namespace {

// The common part of both searches: the end of the range, the band check and the level.
bool StartSearch(const TMeasSource& s, int& position, uint8_t choice, bool wholeRecord, int& end,
                 double& level, TCrossing& c) {
  end = wholeRecord ? LastIndex(s.Frame) : std::min(s.Frame.RightMargin, LastIndex(s.Frame));
  position = std::max(position, 0);
  if (position > end || BandTooNarrow(s, 0.1)) return false;
  level = Level(s.Frame, choice);
  c.Level = level;
  return true;
}

void FinishSearch(const TMeasSource& s, int candidate, double level, TCrossing& c) {
  c.Position = InterpolateCrossingBefore(s.Frame.Values, candidate, level);
}

}  // namespace

int CrossingLevelCode(const TMeasSource& s, const TCrossing& c) { return ScreenCode(s.Rec, c.Level); }
int CrossingScreenX(const TMeasSource& s, const TCrossing& c) {
  return c.Position < 0 ? 0 : Round(s.Rec.ShownIndexToScreenX(c.Position));
}

TCrossing FindCrossingUp(const TMeasSource& s, int& position, uint8_t choice, bool wholeRecord) {
  TCrossing c;
  int end = 0;
  double level = 0;
  if (!StartSearch(s, position, choice, wholeRecord, end, level, c)) return c;
  const std::vector<double>& v = s.Frame.Values;
  const double up = s.Frame.UpThresh, low = s.Frame.LowThresh;
  while (position <= end && v[static_cast<size_t>(position)] > low) ++position;
  bool armed = false;
  int candidate = -1;
  for (; position <= end; ++position) {
    const double x = v[static_cast<size_t>(position)];
    if (x < low) {  // the common case: nothing but disarming
      armed = false;
      continue;
    }
    if (x <= low) armed = false;
    if (!armed && x >= level) {
      candidate = position;
      armed = true;
    }
    if (x >= up) break;
  }
  if (position <= end) FinishSearch(s, candidate, level, c);
  return c;
}

TCrossing FindCrossingDown(const TMeasSource& s, int& position, uint8_t choice, bool wholeRecord) {
  TCrossing c;
  int end = 0;
  double level = 0;
  if (!StartSearch(s, position, choice, wholeRecord, end, level, c)) return c;
  const std::vector<double>& v = s.Frame.Values;
  const double up = s.Frame.UpThresh, low = s.Frame.LowThresh;
  while (position <= end && v[static_cast<size_t>(position)] < up) ++position;
  if (position > end) return c;
  ++position;
  bool armed = false;
  int candidate = -1;
  for (; position <= end; ++position) {
    const double x = v[static_cast<size_t>(position)];
    if (x > up) {
      armed = false;
      continue;
    }
    if (x >= up) armed = false;
    if (!armed && x <= level) {
      candidate = position;
      armed = true;
    }
    if (x <= low) break;
  }
  if (position <= end) FinishSearch(s, candidate, level, c);
  return c;
}

int FindSlopeMargin(const TMeasSource& s, int slope, int mode) {
  // A table from an earlier record must not outlive a search that finds nothing.
  if (mode == 0) s.Frame.CrossingPositions[0] = kCrossingTableEnd;
  if (slope < 0 || BandTooNarrow(s, 0.05)) return -1;
  const std::vector<double>& v = s.Frame.Values;
  int position = 0;
  while (position <= LastIndex(s.Frame) && v[static_cast<size_t>(position)] > s.Frame.LowThresh) ++position;
  if (position > LastIndex(s.Frame)) return -1;
  if (mode == 0) {
    auto& table = s.Frame.CrossingPositions;
    for (size_t k = 0; k + 1 < table.size(); k += 2) {
      const double rising = FindCrossingUp(s, position, lcMiddle, true).Position;
      if (rising < 0) {
        table[k] = kCrossingTableEnd;
        return 0;
      }
      table[k] = static_cast<uint16_t>(Round(rising));
      const double falling = FindCrossingDown(s, position, lcMiddle, true).Position;
      if (falling < 0) {
        table[k + 1] = kCrossingTableEnd;
        return 0;
      }
      table[k + 1] = static_cast<uint16_t>(Round(falling));
    }
    return 0;
  }
  const uint8_t level = mode == 1 ? s.Settings.LeftTresh : s.Settings.RightTresh;
  const bool rising = slope % 2 == 0;
  double found = -1;
  for (int k = 0; k <= slope / 2; ++k) {
    found = (rising ? FindCrossingUp(s, position, level, true) : FindCrossingDown(s, position, level, true))
                .Position;
    if (found < 0) return -1;
  }
  return Round(found);
}

int NearestCrossingIndex(const TMeasFrame& f, int position, bool isLeft) {
  int best = -1, bestDistance = 0;
  for (int i = 0; i < kTrendTableSize && f.CrossingPositions[static_cast<size_t>(i)] != kCrossingTableEnd;
       ++i) {
    const int d = std::abs(f.CrossingPositions[static_cast<size_t>(i)] - position);
    if (best < 0 || d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  if (best < 0) return isLeft ? 1000 : 0;
  return best;
}

void CalcMargins(const TMeasSource& s) {
  TMeasFrame& f = s.Frame;
  const int last = LastIndex(f);
  if (s.Settings.MargMode == mmSlope) {
    f.LeftMargin = 0;
    f.RightMargin = last;
    const int l = FindSlopeMargin(s, s.Settings.LeftSlope, 1);
    const int r = FindSlopeMargin(s, s.Settings.RightSlope, 2);
    if (l > 0) f.LeftMargin = l - 1;
    if (f.LeftMargin <= r) f.RightMargin = r;
  } else {
    f.LeftMargin = Round(s.Rec.ScreenXToShownIndex(s.Settings.LeftMarker));
    f.RightMargin = Round(s.Rec.ScreenXToShownIndex(s.Settings.RightMarker));
  }
  f.LeftMargin = std::clamp(f.LeftMargin, 0, std::max(last, 0));
  f.RightMargin = std::clamp(f.RightMargin, 0, std::max(last, 0));
}

namespace {

bool SlotUsesSource(const TParameterOfMeas& p, TTraceId source) {
  return p.Source == source || (IsDualGroup(p.Group) && p.Source2 == source);
}

void ClearSourceFlags(TTraceId source) {
  TMeasFrame& f = MeasState.Frames.at(static_cast<size_t>(TraceIndex(source)));
  SignalObjs()[source].ClearChangedA();
  f.MarginsChanged = f.TopBaseChanged = f.ThresholdsChanged = false;
}

}  // namespace

void MeasureSource(TTraceId source, uint8_t reason) {
  const TMeasSource s = MeasSourceOf(source);
  TMeasFrame& f = s.Frame;
  if (FlagOfScalesChange.ScaleChanged(source)) MeasHooks.RefreshLevelControls(source);
  if (!MeasHooks.SourceShown(source)) {
    ClearSourceFlags(source);
    return;
  }
  if (reason == mrNewData) f.LevelsInvalid = true;
  if (f.LevelsInvalid) reason = mrNewData;
  if (reason == mrNewData) BuildLevelHistogram(s);
  if (f.LevelsInvalid) {
    ClearSourceFlags(source);
    return;
  }
  if (reason <= mrTopBase) CalcTopBase(s);
  if (reason <= mrThresholds) CalcThresholds(s);
  if (s.Rec.IsSpectrum()) {
    f.InMarginInvalid = false;  // spectra have no margins
  } else {
    CalcMargins(s);
    f.InMarginInvalid = CountInMargins(s) == 0;
    if (!f.InMarginInvalid) {
      double top = 0, base = 0;
      TopBaseCodes(f.InMarginHist, false, top, base);
      f.MarginTop = s.Rec.ScreenYToValue(top);
      f.MarginBase = s.Rec.ScreenYToValue(base);
    }
  }
  if (source == MeasState.Global.DisplSrc) MeasHooks.RefreshSetupLayer(source);
  for (int n = 0; n < MeasState.MeasParamCount; ++n) {
    const TParameterOfMeas* p = MeasSlot(n);
    if (p && SlotUsesSource(*p, source)) {
      EvaluateMeasurements(source, false);
      break;
    }
  }
  ClearSourceFlags(source);
}

void MeasurementPass() {
  const TMeasGlobalSettings& g = MeasState.Global;
  if (g.Display == mdOff) return;
  bool measured = false;
  const auto each = [&](auto&& test, uint8_t reason) {
    for (int i = 0; i < kSignalObjCount; ++i) {
      const auto id = static_cast<TTraceId>(i);
      // A record never acquired (or computed, or read) has no values to measure.
      if (!test(id) || !MeasHooks.SourceShown(id) || !SignalObjs()[id].HasLength()) continue;
      MeasureSource(id, reason);
      measured = true;
    }
  };
  const auto frame = [](TTraceId id) -> TMeasFrame& { return MeasState.Frames.at(static_cast<size_t>(id)); };
  if (MeasState.NewDataForAll) {
    each([](TTraceId) { return true; }, mrNewData);
    MeasState.NewDataForAll = false;
  }
  if (g.Mode == mmPermanent) each([](TTraceId id) { return SignalObjs()[id].GetChangedA(); }, mrNewData);
  each([&](TTraceId id) { return frame(id).MarginsChanged; }, mrMargins);
  each([&](TTraceId id) { return frame(id).TopBaseChanged; }, mrTopBase);
  each([&](TTraceId id) { return frame(id).ThresholdsChanged; }, mrThresholds);
  if (g.View) MeasHooks.RefreshSetupLayer(g.DisplSrc);
  if (measured) MeasHooks.RunLimitTest();
}

void MeasureChangesNow() {
  if (MeasState.Global.Display == mdOff) return;
  bool pending = MeasState.NewDataForAll;
  for (int i = 0; i < kSignalObjCount && !pending; ++i) {
    const auto id = static_cast<TTraceId>(i);
    const TMeasFrame& f = MeasState.Frames.at(static_cast<size_t>(i));
    pending = (f.MarginsChanged || f.TopBaseChanged || f.ThresholdsChanged) && MeasHooks.SourceShown(id);
  }
  if (pending) MeasurementPass();
}

std::vector<TTrendCrossings> BuildCrossingTable(const TMeasSource& s) {
  std::vector<TTrendCrossings> table;
  const auto up = [&](int from, uint8_t level, int* stop = nullptr) {
    const double p = FindCrossingUp(s, from, level, true).Position;
    if (stop) *stop = from;
    return static_cast<float>(p);
  };
  const auto down = [&](int from, uint8_t level, int* stop = nullptr) {
    const double p = FindCrossingDown(s, from, level, true).Position;
    if (stop) *stop = from;
    return static_cast<float>(p);
  };
  // Edge indices 0..2 rising at lower, middle, upper; 3..5 falling at upper, middle, lower.
  int start = 0;
  const float firstRising = up(0, lcMiddle), firstFalling = down(0, lcMiddle);
  bool more = true;
  if (firstFalling >= 0 && (firstRising < 0 || firstFalling < firstRising)) {
    TTrendCrossings r;
    r.At[3] = down(0, lcUpper);
    r.At[4] = down(0, lcMiddle);
    r.At[5] = down(0, lcLower, &start);
    table.push_back(r);
    more = r.At[5] >= 0;
  }
  while (more && static_cast<int>(table.size()) < kTrendTableSize - 1) {
    TTrendCrossings r;
    int afterRise = start;
    r.At[0] = up(start, lcLower);
    r.At[1] = up(start, lcMiddle);
    r.At[2] = up(start, lcUpper, &afterRise);
    r.At[3] = down(afterRise, lcUpper);
    r.At[4] = down(afterRise, lcMiddle);
    r.At[5] = down(afterRise, lcLower, &start);
    table.push_back(r);
    more = r.At[5] >= 0;
  }
  table.push_back(TTrendCrossings{});
  return table;
}

}  // namespace norv
