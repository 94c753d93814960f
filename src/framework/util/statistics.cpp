#include "framework/util/statistics.h"

#include <algorithm>
#include <cmath>

namespace norv {

void TStat::Reset() {
  mean_ = 0;
  stdDev_ = 1e101;
  count_ = 0;
  min_ = 1e101;
  max_ = -1e101;
  sumSq_ = 0;
  m2_ = 0;
}

void TStat::SetDeviations(int64_t n) {
  // Rounding in the removal of a window value can leave m2_ a hair below 0.
  if (n <= 1 || !(m2_ > 0)) {
    stdDev_ = 0;
    stdDevN_ = 0;
    return;
  }
  stdDev_ = std::sqrt(m2_ / static_cast<double>(n - 1));
  stdDevN_ = std::sqrt(m2_ / static_cast<double>(n));
}

void TStat::Add(uint32_t n, double x) {
  if (n == 0) return;
  const int64_t old = count_;
  count_ += n;
  if (old > 0) {
    min_ = std::min(min_, x);
    max_ = std::max(max_, x);
    sumSq_ += x * x * n;
    // Weighted Welford step: n copies of x at once.
    const double delta = x - mean_;
    mean_ += delta * n / static_cast<double>(count_);
    m2_ += delta * (x - mean_) * n;
  } else {
    min_ = x;
    max_ = x;
    sumSq_ = x * x * n;
    mean_ = x;
    m2_ = 0;  // n copies of the first value have no spread
  }
  rms_ = std::sqrt(sumSq_ / static_cast<double>(count_));
  SetDeviations(count_);
}

TModedStat::TModedStat() : values_(kDefaultSize) { TModedStat::Reset(); }

void TModedStat::Reset() {
  TStat::Reset();
  pos_ = 0;
}

void TModedStat::Add(uint32_t n, double x) {
  for (uint32_t i = 0; i < n; ++i) AddOne(x);
}

void TModedStat::SetMode(TStatMode mode, int size) {
  const int requested = mode == TStatMode::Permanent ? kDefaultSize : size;
  const int clamped = std::clamp(requested, kMinSize, kMaxSize);
  if (mode == mode_ && clamped == size_) return;
  mode_ = mode;
  size_ = static_cast<uint16_t>(clamped);
  values_.assign(size_, 0.0);
  Reset();
}

void TModedStat::AddOne(double x) {
  min_ = std::min(min_, x);
  max_ = std::max(max_, x);
  int64_t n = 1;
  switch (mode_) {
    case TStatMode::Permanent: {
      ++count_;
      n = count_;
      sumSq_ += x * x;
      const double delta = x - mean_;
      mean_ += delta / static_cast<double>(n);
      m2_ += delta * (x - mean_);
      break;
    }
    case TStatMode::Window:
      AddToWindow(x);
      n = count_;
      break;
    case TStatMode::Weight: {
      ++count_;
      const double delta = x - mean_;
      if (count_ <= size_) {
        n = count_;
        sumSq_ += x * x;
        mean_ += delta / static_cast<double>(n);
        m2_ += delta * (x - mean_);
      } else {
        // Each new value enters with weight 1/n, the earlier ones fade by (n-1)/n; for the
        // deviations about the mean that is m2 := (n-1)/n * (m2 + delta^2).
        n = size_;
        const double keep = static_cast<double>(n - 1) / static_cast<double>(n);
        sumSq_ = x * x + keep * sumSq_;
        mean_ += delta / static_cast<double>(n);
        m2_ = keep * (m2_ + delta * delta);
      }
      break;
    }
    default:  // an unknown mode keeps only the extremes
      break;
  }
  rms_ = std::sqrt(sumSq_ / static_cast<double>(n));
  SetDeviations(n);
}

void TStat::JoinWindowMoments(double x) {
  const double delta = x - mean_;
  mean_ += delta / static_cast<double>(count_);
  m2_ += delta * (x - mean_);
}

void TStat::ReplaceInWindowMoments(double old, double x, const double* first, const double* last) {
  sumSq_ += x * x - old * old;
  // Both differences are taken about the means.
  const double oldMean = mean_;
  mean_ += (x - old) / static_cast<double>(count_);
  m2_ += (x - old) * ((x - mean_) + (old - oldMean));
  // Only a leaving extreme needs a scan; "within tolerance" includes equality, also when
  // the mean and so the tolerance are 0.
  const double tolerance = std::abs(oldMean) * 1e-7;
  if (old <= min_ + tolerance) min_ = *std::min_element(first, last);
  if (old >= max_ - tolerance) max_ = *std::max_element(first, last);
}

void TModedStat::AddToWindow(double x) {
  if (count_ < size_) {
    ++count_;
    sumSq_ += x * x;
    values_[pos_] = x;
    JoinWindowMoments(x);
  } else {
    const double old = values_[pos_];
    LeavingWindow(old);
    values_[pos_] = x;
    ReplaceInWindowMoments(old, x, values_.data(), values_.data() + size_);
  }
  if (++pos_ == size_) {
    pos_ = 0;
    // Once per round the sums start afresh, so rounding cannot pile up.
    ResumWindow();
  }
}

void TModedStat::ResumWindow() {
  double sum = 0;
  sumSq_ = 0;
  for (int i = 0; i < count_; ++i) {
    sum += values_[i];
    sumSq_ += values_[i] * values_[i];
  }
  mean_ = sum / static_cast<double>(count_);
  m2_ = 0;
  for (int i = 0; i < count_; ++i) m2_ += (values_[i] - mean_) * (values_[i] - mean_);
}

}  // namespace norv
