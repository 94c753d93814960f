#pragma once
// The automatic search behind the pattern lock's AutoDetect mode: from the measured
// pattern clock it finds which length of the pattern-length list makes the picture stand
// still, whether the additional pattern delay gives fewer points between the two levels,
// and a trigger divider that shows enough of each bit. It runs one step per finished
// acquisition while the acquisition keeps running.
//
//   TPatternSearch search(target, lengths, rate);
//   while (!search.Finished()) { ...acquire...; search.Step(); }
//   if (search.Found()) use search.Length(), search.AddDelay(), search.Divider();

#include <cstdint>
#include <span>
#include <vector>

#include "framework/util/statistics.h"

namespace norv {

// What the search works on: the searched channel's record and the settings it changes.
class IPatternSearchTarget {
 public:
  virtual ~IPatternSearchTarget() = default;
  // The searched channel's last record (at most the first 1024 points are used), volts.
  virtual std::vector<double> Record() = 0;
  // The lock on, and the records averaged from now on (32 acquisitions).
  virtual void StartPatternLock() = 0;
  virtual void SetPatternLength(int32_t length) = 0;
  virtual void SetAddDelay(bool on) = 0;
  // Time base A and B (s/div); the search looks through B.
  virtual void SetTimeScales(double scaleA, double scaleB) = 0;
  // The standing picture is shown in the channels' second display style.
  virtual void ShowLockedStyle() {}
};

enum class TPatternSearchState : uint8_t {
  MeanLevel = 0,
  Levels = 1,
  LengthTest = 2,
  AddDelayTest = 3,
  DividerChoice = 4,
  DividerCheck = 5,
  NotFound = 7,
  Found = 10,
};

// The distance between the two levels a record mostly sits on: the most frequent value
// above its mean less the most frequent one below (0 for fewer than two points).
double TwoLevelDistance(std::span<const double> record);

class TPatternSearch {
 public:
  static constexpr int kMaxDoublings = 16;

  // Preparation: both time scales for the clock rate (Hz). An empty list, or a rate that
  // is not positive, is not found at once.
  TPatternSearch(IPatternSearchTarget& target, std::vector<int32_t> lengths, double rate);

  // One step, after a finished acquisition.
  void Step();

  TPatternSearchState State() const { return state_; }
  bool Finished() const {
    return state_ == TPatternSearchState::NotFound || state_ == TPatternSearchState::Found;
  }
  bool Found() const { return state_ == TPatternSearchState::Found; }
  // The progress bar, 0..100.
  int Progress() const { return progress_; }
  int32_t Length() const { return length_; }
  bool AddDelay() const { return addDelay_; }
  int Divider() const { return divider_; }
  double High() const { return high_; }
  double Low() const { return low_; }

 private:
  void MeanLevelStep(const std::vector<double>& record);
  void LevelsStep(const std::vector<double>& record);
  void LengthTestStep(const std::vector<double>& record);
  void AddDelayStep(const std::vector<double>& record);
  void DividerChoiceStep(const std::vector<double>& record);
  void DividerCheckStep(const std::vector<double>& record);
  void SetDividerScales();
  void ProgressStep();

  IPatternSearchTarget& target_;
  std::vector<int32_t> lengths_;
  double rate_;
  TPatternSearchState state_ = TPatternSearchState::MeanLevel;
  TStat a_, b_;
  double mean0_ = 0, high_ = 0, low_ = 0, thrHigh_ = 0, thrLow_ = 0;
  size_t index_ = 0;
  int32_t length_ = 0;
  bool addDelay_ = false;
  int middleWithoutDelay_ = 0;
  int divider_ = 1;
  int doublings_ = 0;
  int steps_ = 0;
  int progress_ = 0;
};

}  // namespace norv
