#pragma once
// Running statistics of measurement readouts: count, mean, extremes, RMS and standard
// deviation, over all values (TStat) or in one of three modes (TModedStat).

#include <cstdint>
#include <string>
#include <vector>

namespace norv {

class TStat {
 public:
  TStat() { TStat::Reset(); }
  virtual ~TStat() = default;

  // Count, mean, extremes, sum of squares and StdDev start again; Rms and StdDevN keep
  // their last values.
  virtual void Reset();
  // Adds n copies of x; n = 0 does nothing.
  virtual void Add(uint32_t n, double x);

  void SetName(std::string name) { name_ = std::move(name); }
  const std::string& Name() const { return name_; }

  double Rms() const { return rms_; }
  double Mean() const { return mean_; }
  // Divisor n - 1.
  double StdDev() const { return stdDev_; }
  // Divisor n.
  double StdDevN() const { return stdDevN_; }
  double Min() const { return min_; }
  double Max() const { return max_; }
  double SumSq() const { return sumSq_; }
  int64_t Count() const { return count_; }

 protected:
  // Both deviations from the sum of squared deviations from the mean (m2_) over n values.
  // The deviations are kept about the mean rather than derived from the sum of squares,
  // which cancels to nothing when the mean is large against the spread.
  void SetDeviations(int64_t n);
  // The moments of a window of values held in [first, last): x joins a window that is not
  // full yet (count_ already counts it), or x takes the place of old in a full one, whose
  // extremes are found again when old was one of them.
  void JoinWindowMoments(double x);
  void ReplaceInWindowMoments(double old, double x, const double* first, const double* last);

  double rms_ = 0;
  std::string name_;
  double mean_ = 0;
  double stdDev_ = 0;
  double stdDevN_ = 0;
  double min_ = 0;
  double max_ = 0;
  double sumSq_ = 0;
  int64_t count_ = 0;
  double m2_ = 0;  // sum of squared deviations from the mean
};

// The item order of the statistics-mode settings "Permanent,Window,Weight".
enum class TStatMode : uint8_t { Permanent, Window, Weight };

class TModedStat : public TStat {
 public:
  static constexpr int kMinSize = 8;
  static constexpr int kMaxSize = 8192;
  static constexpr int kDefaultSize = 128;

  TModedStat();

  void Reset() override;
  void Add(uint32_t n, double x) override;
  void AddOne(double x);

  // Window length (Window) or weight (Weight), clamped to 8..8192; Permanent always uses
  // 128. Resets only when the mode or the resulting size changes.
  void SetMode(TStatMode mode, int size);

  TStatMode Mode() const { return mode_; }
  int Size() const { return size_; }

 protected:
  // The values in the window (Window mode), Count() of them from the first.
  const double* WindowValues() const { return values_.data(); }
  // A value about to leave the full window (Window mode).
  virtual void LeavingWindow(double /*old*/) {}

 private:
  void AddToWindow(double x);
  void ResumWindow();

  TStatMode mode_ = TStatMode::Permanent;
  uint16_t size_ = kDefaultSize;
  // The last size_ values (Window mode).
  std::vector<double> values_;
  uint16_t pos_ = 0;
};

}  // namespace norv
