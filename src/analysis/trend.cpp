#include "analysis/trend.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "framework/settings/program_objects.h"
#include "framework/settings/step_rules.h"

namespace norv {

namespace {

// The scale is found over this many evaluations.
constexpr int kScalingEvaluations = 11;

struct TTrendScaling {
  int Evaluations = 0;
  double SumMin = 0, SumMax = 0;
};
struct TTrendState {
  std::array<TTrendScaling, kTrendFunctionCount> Functions{};
};
TTrendState State;
void ResetTrendState() { State = {}; }
const TProgramUnit StateUnit("trend", ResetTrendState);

// Fields of a crossing-table record.
enum : int { kRiseLow, kRiseMid, kRiseUp, kFallUp, kFallMid, kFallLow };

bool Positive(float a, float b) { return a > 0 && b > 0; }

// The value of record k, or none.
std::optional<double> ValueAt(int kind, const TTrendCrossings& r, const TTrendCrossings& next, double dX) {
  const auto& a = r.At;
  const float nextRise = next.At[kRiseMid];
  switch (kind) {
    case tkPeriod:
    case tkFreq: {
      if (!Positive(nextRise, a[kRiseMid])) return std::nullopt;
      const double period = (nextRise - a[kRiseMid]) * dX;
      return kind == tkPeriod ? period : 1.0 / period;
    }
    case tkPosWidth:
      if (!Positive(a[kFallMid], a[kRiseMid])) return std::nullopt;
      return (a[kFallMid] - a[kRiseMid]) * dX;
    case tkNegWidth:
      if (!Positive(nextRise, a[kFallMid])) return std::nullopt;
      return (nextRise - a[kFallMid]) * dX;
    case tkRise:
      if (!Positive(a[kRiseUp], a[kRiseLow])) return std::nullopt;
      return (a[kRiseUp] - a[kRiseLow]) * dX;
    case tkFall:
      if (!Positive(a[kFallLow], a[kFallUp])) return std::nullopt;
      return (a[kFallLow] - a[kFallUp]) * dX;
    default: {
      if (!Positive(nextRise, a[kRiseMid]) || a[kFallMid] <= 0) return std::nullopt;
      const double period = nextRise - a[kRiseMid];
      const double width = kind == tkPosDuty ? a[kFallMid] - a[kRiseMid] : nextRise - a[kFallMid];
      return width / period * 100;
    }
  }
}

}  // namespace

void ResetTrend(int function) { State.Functions.at(function) = {}; }

bool BuildTrendWaveform(int function, int kind, std::span<const TTrendCrossings> table, double dX,
                        TSignalObj& result) {
  if (kind < tkPeriod || kind > tkNegDuty || table.empty()) return false;
  const int n = result.GetRecLen();
  const TTrendCrossings none;
  const bool duty = kind >= tkPosDuty;
  int next = 0;  // the first sample not written yet
  std::optional<double> last;
  double low = 0, high = 0;
  for (size_t k = 0; k < table.size() && next < n; ++k) {
    const TTrendCrossings& r = table[k];
    const TTrendCrossings& following = k + 1 < table.size() ? table[k + 1] : none;
    const std::optional<double> value = ValueAt(kind, r, following, dX);
    const float stop = kind == tkRise ? r.At[kFallMid] : following.At[kRiseMid];
    if (!value) {
      // A source that starts high has only falling crossings in its first record: that
      // record gives no value but does not end the walk.
      const bool skip = duty || (k == 0 && r.At[kRiseMid] < 0);
      if (!skip || following.At[kRiseMid] < 0) break;
      continue;
    }
    const int end = stop < 0 ? n - 1 : std::min(n - 1, static_cast<int>(stop));
    for (; next <= end; ++next) result.SetY(next, *value);
    low = last ? std::min(low, *value) : *value;
    high = last ? std::max(high, *value) : *value;
    last = value;
    if (stop < 0) break;
  }
  if (!last) return false;
  for (; next < n; ++next) result.SetY(next, *last);
  result.SetVertUnit(kind == tkFreq ? "Hz" : duty ? "%" : "s");
  TTrendScaling& s = State.Functions.at(function);
  if (s.Evaluations >= kScalingEvaluations) return true;
  if (high == low) return false;
  ++s.Evaluations;
  s.SumMin += low;
  s.SumMax += high;
  const double meanMin = s.SumMin / s.Evaluations, meanMax = s.SumMax / s.Evaluations;
  result.SetVertScale(CorrectNewVal1_2_5((meanMax - meanMin) / 3));
  result.SetVertOffset((meanMax + meanMin) / 2);
  return true;
}

}  // namespace norv
