#include "instrument/settings/pattern_search.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace norv {

namespace {

constexpr size_t kMaxAnalysedPoints = 1024;
constexpr int kNoRun = 1000000;
constexpr int kHistogramBins = 256;

// The most frequent value of a sorted-out group of points, on a histogram of the range.
double Mode(std::span<const double> record, double lo, double hi, bool above, double mean) {
  std::array<int, kHistogramBins> bins{};
  const double width = (hi - lo) / kHistogramBins;
  for (double v : record) {
    if ((v >= mean) != above) continue;
    const int bin = width > 0 ? std::clamp(static_cast<int>((v - lo) / width), 0, kHistogramBins - 1) : 0;
    ++bins[static_cast<size_t>(bin)];
  }
  const auto peak = std::max_element(bins.begin(), bins.end());
  return lo + (static_cast<double>(peak - bins.begin()) + 0.5) * width;
}

struct TTransitions {
  int Edges = 0;
  int ShortestHigh = kNoRun;
  int ShortestLow = kNoRun;
};

// Points classed above thrHigh, below thrLow or between; an edge is a change between the
// outer classes, and a run the distance between two edges of opposite kinds.
TTransitions AnalyseTransitions(const std::vector<double>& record, double thrLow, double thrHigh) {
  TTransitions t;
  const size_t n = std::min(record.size(), kMaxAnalysedPoints);
  auto classOf = [&](double v) { return v > thrHigh ? 2 : v < thrLow ? 0 : 1; };
  int last = n > 0 ? classOf(record[0]) : 1;
  int lastEdge = -1;
  for (size_t i = 1; i < n; ++i) {
    const int c = classOf(record[i]);
    if (c == 1) continue;
    if (last != 1 && c != last) {
      ++t.Edges;
      const int at = static_cast<int>(i);
      if (lastEdge >= 0) {
        int& shortest = c == 0 ? t.ShortestHigh : t.ShortestLow;  // a falling edge ends a high run
        shortest = std::min(shortest, at - lastEdge);
      }
      lastEdge = at;
    }
    last = c;
  }
  return t;
}

}  // namespace

double TwoLevelDistance(std::span<const double> record) {
  if (record.size() < 2) return 0;
  const auto [lo, hi] = std::minmax_element(record.begin(), record.end());
  double sum = 0;
  for (double v : record) sum += v;
  const double mean = sum / static_cast<double>(record.size());
  return Mode(record, *lo, *hi, true, mean) - Mode(record, *lo, *hi, false, mean);
}

TPatternSearch::TPatternSearch(IPatternSearchTarget& target, std::vector<int32_t> lengths, double rate)
    : target_(target), lengths_(std::move(lengths)), rate_(rate) {
  if (lengths_.empty() || !(rate_ > 0)) {
    state_ = TPatternSearchState::NotFound;
    return;
  }
  target_.SetTimeScales(32 / rate_, 3.2 / rate_);
}

void TPatternSearch::ProgressStep() {
  ++steps_;
  progress_ = static_cast<int>(std::lround(steps_ * 60.0 / static_cast<double>(lengths_.size() + 2)));
}

void TPatternSearch::Step() {
  if (Finished()) return;
  const std::vector<double> record = target_.Record();
  switch (state_) {
    case TPatternSearchState::MeanLevel:
      return MeanLevelStep(record);
    case TPatternSearchState::Levels:
      return LevelsStep(record);
    case TPatternSearchState::LengthTest:
      return LengthTestStep(record);
    case TPatternSearchState::AddDelayTest:
      return AddDelayStep(record);
    case TPatternSearchState::DividerChoice:
      return DividerChoiceStep(record);
    case TPatternSearchState::DividerCheck:
      return DividerCheckStep(record);
    case TPatternSearchState::NotFound:
    case TPatternSearchState::Found:
      return;
  }
}

void TPatternSearch::MeanLevelStep(const std::vector<double>& record) {
  for (double v : record) a_.Add(1, v);
  if (a_.Count() <= 10000) return;
  mean0_ = a_.Mean();
  a_.Reset();
  state_ = TPatternSearchState::Levels;
  steps_ = 0;
  ProgressStep();
}

void TPatternSearch::LevelsStep(const std::vector<double>& record) {
  for (double v : record) (v >= mean0_ ? a_ : b_).Add(1, v);
  if (a_.Count() <= 5000) return;
  high_ = a_.Mean();
  low_ = b_.Count() > 0 ? b_.Mean() : mean0_;
  thrHigh_ = (2 * high_ + low_) / 3;
  thrLow_ = (2 * low_ + high_) / 3;
  index_ = 0;
  target_.StartPatternLock();
  length_ = lengths_[0];
  addDelay_ = false;
  a_.Reset();
  b_.Reset();
  target_.SetPatternLength(length_);
  target_.SetAddDelay(false);
  state_ = TPatternSearchState::LengthTest;
  ProgressStep();
}

void TPatternSearch::LengthTestStep(const std::vector<double>& record) {
  const double distance = TwoLevelDistance(record);
  ProgressStep();
  if (distance <= (high_ - low_) * 0.6) {
    if (index_ + 1 >= lengths_.size()) {
      state_ = TPatternSearchState::NotFound;
      return;
    }
    length_ = lengths_[++index_];
    target_.SetPatternLength(length_);
    return;
  }
  progress_ = 60;
  target_.SetAddDelay(false);
  target_.ShowLockedStyle();
  state_ = TPatternSearchState::AddDelayTest;
  divider_ = 1;
}

void TPatternSearch::AddDelayStep(const std::vector<double>& record) {
  const int middle = static_cast<int>(
      std::count_if(record.begin(), record.end(), [&](double v) { return v > thrLow_ && v < thrHigh_; }));
  if (!addDelay_) {
    progress_ = 65;
    middleWithoutDelay_ = middle;
    addDelay_ = true;
    target_.SetAddDelay(true);
    return;
  }
  progress_ = 70;
  // The setting with fewer points between the levels wins.
  if (middleWithoutDelay_ < middle) {
    addDelay_ = false;
    target_.SetAddDelay(false);
  }
  state_ = TPatternSearchState::DividerChoice;
  divider_ = 1;
}

void TPatternSearch::SetDividerScales() {
  target_.SetTimeScales(32 / rate_ / divider_, 3.2 / rate_ / divider_);
}

void TPatternSearch::DividerChoiceStep(const std::vector<double>& record) {
  const int edges = AnalyseTransitions(record, thrLow_, thrHigh_).Edges;
  divider_ = edges >= 201 ? 8 : edges >= 101 ? 4 : edges > 50 ? 2 : 1;
  state_ = TPatternSearchState::DividerCheck;
  progress_ = 80;
  if (divider_ >= 2) {
    SetDividerScales();
  } else {
    DividerCheckStep(record);
  }
}

void TPatternSearch::DividerCheckStep(const std::vector<double>& record) {
  const TTransitions t = AnalyseTransitions(record, thrLow_, thrHigh_);
  if (t.ShortestHigh + t.ShortestLow >= 40) {
    progress_ = 100;
    state_ = TPatternSearchState::Found;
    return;
  }
  progress_ = 90;
  // A picture whose bits never grow long enough is given up rather than halved forever.
  if (doublings_ == kMaxDoublings) {
    state_ = TPatternSearchState::NotFound;
    return;
  }
  ++doublings_;
  divider_ *= 2;
  SetDividerScales();
}

}  // namespace norv
