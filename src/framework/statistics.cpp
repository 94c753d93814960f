#include "framework/statistics.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace norv {

void TStat::Reset() {
  mean_ = 0;
  stdDev_ = 1e101;
  count_ = 0;
  min_ = 1e101;
  max_ = -1e101;
  sumSq_ = 0;
}

void TStat::SetDeviations(int64_t n) {
  const double d = sumSq_ - mean_ * mean_ * static_cast<double>(n);
  // Rounding can make the difference slightly negative for equal values.
  if (n <= 1 || !(d >= 0)) {
    stdDev_ = 0;
    stdDevN_ = 0;
    return;
  }
  stdDev_ = std::sqrt(d / static_cast<double>(n - 1));
  stdDevN_ = std::sqrt(d / static_cast<double>(n));
}

void TStat::Add(uint32_t n, double x) {
  if (n == 0) return;
  const int64_t old = count_;
  count_ += n;
  mean_ = (static_cast<double>(old) * mean_ + n * x) / static_cast<double>(count_);
  if (old > 0) {
    min_ = std::min(min_, x);
    max_ = std::max(max_, x);
    sumSq_ += x * x * n;
  } else {
    min_ = x;
    max_ = x;
    sumSq_ = x * x * n;
  }
  rms_ = std::sqrt(sumSq_ / static_cast<double>(count_));
  // n copies of the first value have no spread.
  SetDeviations(old > 0 ? count_ : 1);
}

TModedStat::TModedStat() : values_(kDefaultSize) { TModedStat::Reset(); }

void TModedStat::Reset() {
  TStat::Reset();
  sum_ = 0;
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
  values_.assign(size_, 0.0f);
  Reset();
}

namespace {

// The window keeps single precision; values beyond its range are kept at its limits.
float WindowValue(double x) {
  if (std::isnan(x)) return static_cast<float>(x);
  return static_cast<float>(std::clamp(x, -double{FLT_MAX}, double{FLT_MAX}));
}

}  // namespace

void TModedStat::AddOne(double x) {
  // In Window mode everything works on the value as the ring keeps it, so what enters the
  // sums and extremes is exactly what later leaves them.
  const double value = mode_ == TStatMode::Window ? WindowValue(x) : x;
  min_ = std::min(min_, value);
  max_ = std::max(max_, value);
  int64_t n = 1;
  switch (mode_) {
    case TStatMode::Permanent:
      ++count_;
      mean_ = (static_cast<double>(count_ - 1) * mean_ + value) / static_cast<double>(count_);
      sumSq_ += value * value;
      n = count_;
      break;
    case TStatMode::Window:
      AddToWindow(static_cast<float>(value));
      n = count_;
      break;
    case TStatMode::Weight:
      ++count_;
      if (count_ <= size_) {
        n = count_;
        sumSq_ += value * value;
      } else {
        n = size_;
        sumSq_ = value * value + static_cast<double>(n - 1) * sumSq_ / static_cast<double>(n);
      }
      mean_ = (static_cast<double>(n - 1) * mean_ + value) / static_cast<double>(n);
      break;
    default:  // an unknown mode keeps only the extremes
      break;
  }
  SetDeviations(n);
}

void TModedStat::AddToWindow(float stored) {
  const double value = stored;
  if (count_ < size_) {
    ++count_;
    sum_ += value;
    sumSq_ += value * value;
    values_[pos_] = stored;
  } else {
    const double old = values_[pos_];
    values_[pos_] = stored;
    sum_ += value - old;
    sumSq_ += value * value - old * old;
    // Only a leaving extreme needs a scan; "within tolerance" includes equality, also when
    // the mean and so the tolerance are 0.
    const double tolerance = std::abs(mean_) * 1e-7;
    const auto window = values_.begin() + size_;
    if (old <= min_ + tolerance) min_ = *std::min_element(values_.begin(), window);
    if (old >= max_ - tolerance) max_ = *std::max_element(values_.begin(), window);
  }
  if (++pos_ == size_) {
    pos_ = 0;
    // Once per round the sums start afresh, so rounding cannot pile up.
    ResumWindow();
  }
  mean_ = sum_ / static_cast<double>(count_);
}

void TModedStat::ResumWindow() {
  sum_ = 0;
  sumSq_ = 0;
  for (int i = 0; i < count_; ++i) {
    const double v = values_[i];
    sum_ += v;
    sumSq_ += v * v;
  }
}

}  // namespace norv
