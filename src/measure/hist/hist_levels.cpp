#include "measure/hist/hist_levels.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "framework/settings/program_objects.h"
#include "framework/util/numeric_utils.h"
#include "measure/hist/hist_objects.h"

namespace norv {

namespace {

struct THistLevelsState {
  THistParams Stored;
};
THistLevelsState State;
const TProgramUnit StateUnit("histogram level finder", [] { State = {}; });

int Nint(double x) { return RoundClamped<int>(x, INT32_MIN, INT32_MAX); }

// Hits of FullHist inside the rectangle.
uint64_t HitsIn(int left, int right, int top, int bottom) {
  FullHist().CalcInWindow(true, left, top, right, bottom);
  return FullHist().TotalHits();
}

double Percent(uint64_t part, uint64_t whole) {
  return whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

// Mean of the hits of a vertical window (the value of code 0 when there are none).
double MeanLevel(int left, int right, int top, int bottom) {
  FullHist().CalcInWindow(true, left, top, right, bottom);
  return FullHist().MeanValue();
}

// Time of the hits of a horizontal window (Earliest: of the first hit, else their
// mean); 0 without hits.
double HitTime(int left, int right, int top, int bottom, bool earliest) {
  TFullHist& h = FullHist();
  h.CalcInWindow(false, left, top, right, bottom);
  if (h.TotalHits() == 0) return 0;
  return earliest ? h.MinValue() : h.MeanValue();
}

constexpr int kSlices = 49;
constexpr int kSliceStep = 80;

// Slices whose band holds at least `threshold` hits, and where runs of them begin (rises)
// and end (falls): the first two of each, a fall counted only after its rise.
struct TBusyRuns {
  int Rises = 0, Falls = 0;
  std::array<int, 2> Rise{}, Fall{};
  int Kind() const { return Rises == 0 ? 0 : Falls >= 2 ? 2 : 1; }
};

TBusyRuns FindBusyRuns(int top, int bottom, uint64_t threshold) {
  std::array<bool, kSlices> busy{};
  THistParams slice;
  for (int k = 0; k < kSlices; ++k) {
    slice.Fill(kSliceStep * k, kSliceStep * k + 160, top, bottom);
    busy[k] = slice.Hits >= threshold;
  }
  TBusyRuns runs;
  for (int k = 1; k < kSlices; ++k) {
    if (!busy[k - 1] && busy[k]) {
      if (runs.Rises < 2) runs.Rise[runs.Rises] = k;
      ++runs.Rises;
    } else if (busy[k - 1] && !busy[k] && runs.Falls < runs.Rises) {
      if (runs.Falls < 2) runs.Fall[runs.Falls] = k;
      ++runs.Falls;
    }
  }
  return runs;
}

// The screen X where slice k's window about an edge begins or ends.
int EdgeX(int k) { return k * kSliceStep + kSliceStep; }

}  // namespace

void THistParams::Fill(int leftX, int rightX, int topY, int bottomY) {
  TFullHist& h = FullHist();
  h.CalcInWindow(true, leftX, topY, rightX, bottomY);
  MeanY = h.MeanScreen();
  StdDevY = h.StdDevScreen();
  MaxY = h.MaxScreenPos();
  MinY = h.MinScreenPos();
  Hits = h.TotalHits();
  const TTwoLevels levels = h.TwoLevelScreen();
  TwoLevels = levels.Found;
  Level1Y = levels.Pos1;
  Level2Y = levels.Pos2;
  if (TwoLevels) {
    const int mid = (Level1Y + Level2Y + 1) / 2;
    h.CalcInWindow(true, leftX, 1023, rightX, mid);
    UpperMeanY = h.MeanScreen();
    UpperStdDevY = h.StdDevScreen();
    UpperHits = h.TotalHits();
    h.CalcInWindow(true, leftX, mid, rightX, 1);
    LowerMeanY = h.MeanScreen();
    LowerStdDevY = h.StdDevScreen();
    LowerHits = h.TotalHits();
    // Levels far apart for their noise get wider bands.
    const double k = (UpperMeanY - LowerMeanY) > 5.0 * (UpperStdDevY + LowerStdDevY) ? 4.0 : 3.5;
    UpperBandEdge = Nint(UpperMeanY - k * UpperStdDevY);
    LowerBandEdge = Nint(LowerMeanY + k * LowerStdDevY);
    if (UpperBandEdge - LowerBandEdge < 32) {
      const int m = (UpperBandEdge + LowerBandEdge + 1) / 2;
      UpperBandEdge = m + 16;
      LowerBandEdge = m - 16;
    }
    PctBetween = Percent(HitsIn(leftX, rightX, UpperBandEdge, LowerBandEdge), Hits);
  }
  PctAbove = PctBelow = 0;
  if (Hits >= 1) {
    PctAbove = Percent(HitsIn(leftX, rightX, 1023, Nint(MeanY + 3.5 * StdDevY)), Hits);
    PctBelow = Percent(HitsIn(leftX, rightX, Nint(MeanY - 3.5 * StdDevY), 1), Hits);
  }
  const bool outliers = PctAbove + PctBelow > 0.5;
  MostlyHigh = TwoLevels ? LowerHits < UpperHits / 7 : outliers && PctBelow > PctAbove;
  MostlyLow = TwoLevels ? UpperHits < LowerHits / 7 : outliers && PctAbove > PctBelow;
  int t = 0;
  if (TwoLevels) {
    const int c = Nint((UpperMeanY + LowerMeanY) / 2);
    t = MostlyHigh ? c - Nint(LowerStdDevY) : c + Nint(UpperStdDevY);
  } else if (!outliers) {
    t = Nint(MeanY + StdDevY);
  } else {
    t = Nint(MostlyHigh ? MeanY - 3.5 * StdDevY : MeanY + 3.5 * StdDevY);
  }
  if (MostlyHigh) {
    RareTop = t;
    RareBottom = 1;
  } else {
    RareTop = 1023;
    RareBottom = t;
  }
  PctRare = Percent(HitsIn(leftX, rightX, RareTop, RareBottom), Hits);
}

bool THistParams::DiffersFrom(const THistParams& b) const {
  const THistParams& a = *this;
  if (std::abs(a.StdDevY) < 1e-30) return true;
  const double ratio = b.StdDevY / a.StdDevY;
  if (ratio > 1.5 || ratio < 0.67) return true;
  const double shift = std::abs(a.MeanY - b.MeanY);
  if (shift > a.StdDevY / 2 || shift > b.StdDevY / 2) return true;
  const auto apart = [](double x, double y) { return x + y > 0.5 && (x > 5 * y || y > 5 * x); };
  return apart(a.PctBelow, b.PctBelow) || apart(a.PctAbove, b.PctAbove);
}

THistParams& StoredHistParams() { return State.Stored; }

void HistParamsFillAll() { State.Stored.Fill(0, 4095, 1023, 1); }

bool HistCheckSignalUniform(uint8_t& kindSet, uint8_t& state) {
  const THistParams& stored = State.Stored;
  THistParams p;
  p.Fill(0, 4095, 1023, 1);
  if (p.DiffersFrom(stored)) {
    state = 0;
    kindSet &= static_cast<uint8_t>(~kKindUniform);
    return kindSet != 0;
  }
  state = 2;
  bool uniform = true;
  if (stored.TwoLevels) {
    const double upperShare = Percent(stored.UpperHits, stored.Hits);
    uniform = upperShare >= 40 && upperShare <= 60;
  }
  if (uniform) {
    std::array<THistParams, 19> slices;
    for (int k = 0; k < 19; ++k) slices[k].Fill(100 * k, 100 * k + 200, 1023, 1);
    for (int i = 0; i < 19 && uniform; ++i)
      for (int j = i + 1; j < 19 && uniform; ++j) uniform = !slices[i].DiffersFrom(slices[j]);
  }
  if (uniform) {
    kindSet &= static_cast<uint8_t>(~(kKindPeriodic | kKindRareHigh | kKindRareLow | kKindRz));
  } else {
    kindSet &= static_cast<uint8_t>(~kKindUniform);
  }
  return kindSet != 0;
}

bool HistFindLevels(TLevelFinding& found) {
  const THistParams& stored = State.Stored;
  if (!stored.TwoLevels) return false;
  THistParams p;
  p.Fill(0, 4095, 1023, 1);
  const uint64_t threshold =
      static_cast<uint64_t>(std::max(Nint(static_cast<double>(p.Hits) * p.PctBetween * 0.01), 0)) / 15;
  const TBusyRuns runs = FindBusyRuns(stored.UpperBandEdge, stored.LowerBandEdge, threshold);
  found.Kind = runs.Kind();
  if (found.Kind != 2) return true;
  const int q = (runs.Rise[1] - runs.Rise[0] + 2) / 4;
  const int top = stored.UpperBandEdge, bottom = stored.LowerBandEdge;
  const double t1 =
      HitTime(std::max(EdgeX(runs.Rise[0] - q), 0), EdgeX(runs.Rise[0] + q), top, bottom, false);
  const double t2 =
      HitTime(EdgeX(runs.Rise[1] - q), std::min(EdgeX(runs.Rise[1] + q), 4000), top, bottom, false);
  if (!(t1 > 1e-13 && t2 > t1 + 5e-11)) return false;
  const int m = (runs.Fall[0] + runs.Rise[1] + 1) / 2;
  found.HighLevel = MeanLevel(m * kSliceStep, m * kSliceStep + 160, 1023, top);
  found.LowLevel = MeanLevel(m * kSliceStep, m * kSliceStep + 160, bottom, 1);
  found.Period = t2 - t1;
  found.FirstEdgeTime = t1;
  return true;
}

bool HistFindPeriod(TLevelFinding& found, uint8_t& kindSet) {
  const THistParams& stored = State.Stored;
  THistParams p;
  p.Fill(0, 4095, 1023, 1);
  found.Kind = 0;
  if (p.DiffersFrom(stored)) return true;
  const uint64_t threshold = static_cast<uint64_t>(
      std::max(Nint(static_cast<double>((p.Hits + 12) / 25) * stored.PctRare / 100), 0));
  const TBusyRuns runs = FindBusyRuns(stored.RareTop, stored.RareBottom, threshold);
  found.Kind = runs.Kind();
  if (found.Kind != 2) return true;
  kindSet = stored.MostlyHigh ? kKindRareLow : stored.MostlyLow ? kKindRareHigh : kKindPeriodic | kKindRz;
  const int period = runs.Rise[1] - runs.Rise[0];
  const int width = runs.Fall[0] - runs.Rise[0];
  const int m = (runs.Fall[0] + runs.Rise[0] + 1) / 2;
  if (kindSet == (kKindPeriodic | kKindRz)) {
    THistParams middle;
    middle.Fill(m * kSliceStep, m * kSliceStep + 160, 1023, 1);
    const double upperShare = Percent(stored.UpperHits, stored.Hits);
    // An RZ pattern's highs share their slot with the zeros' lows: the slot is the most
    // spread part of the screen.
    const bool rz = period / 1.3 > width && period / 3.0 < width && upperShare > 10 && upperShare < 50 &&
                    middle.StdDevY > stored.StdDevY;
    kindSet = rz ? kKindRz : kKindPeriodic;
  }
  const int h = (width + 1) / 2;
  const int left1 = std::max(EdgeX(runs.Rise[0] - h), 0), right1 = EdgeX(runs.Rise[0] + h);
  const int left2 = EdgeX(runs.Rise[1] - h), right2 = std::min(EdgeX(runs.Rise[1] + h), 4000);
  double t1 = 0, t2 = 0;
  if (stored.TwoLevels && stored.PctBetween > 1.0) {
    t1 = HitTime(left1, right1, stored.UpperBandEdge, stored.LowerBandEdge, false);
    t2 = HitTime(left2, right2, stored.UpperBandEdge, stored.LowerBandEdge, false);
  }
  // Without transitions in both windows the edges are where the rare level begins; a
  // period that is still not positive is no period.
  const auto bad = [&] { return t1 < 1e-12 || t2 < t1 + 5e-11; };
  if (bad()) {
    t1 = HitTime(left1, right1, stored.RareTop, stored.RareBottom, true);
    t2 = HitTime(left2, right2, stored.RareTop, stored.RareBottom, true);
    if (bad()) return false;
  }
  if (kindSet == kKindRz) {
    found.HighLevel = MeanLevel(m * kSliceStep, m * kSliceStep + 160, 1023, stored.UpperBandEdge);
    found.LowLevel = MeanLevel(m * kSliceStep, m * kSliceStep + 160, stored.LowerBandEdge, 1);
  } else {
    FullHist().CalcInWindow(true, 0, 1023, 4000, 1);
    found.HighLevel = FullHist().MaxValue();
    found.LowLevel = FullHist().MinValue();
  }
  found.Period = t2 - t1;
  found.FirstEdgeTime = t1;
  return true;
}

}  // namespace norv
