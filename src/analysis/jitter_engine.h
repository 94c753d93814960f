#pragma once
// The jitter analysis of a repeating data pattern on one channel. The engine steps the
// pattern trigger's delay ("Trig:PattDelay") so that successive acquisitions show
// successive parts of the pattern: it finds the two levels and the bit centres, learns
// the bit map, measures the mean edge shape of every data-dependent edge context, then
// collects the edge-time deviations of every transition bit into histograms and derives
// the jitter components from them. One step runs after each finished acquisition; the
// instrument settings it drives are given back when the engine ends.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/traces/trace_names.h"
#include "framework/util/statistics.h"

namespace norv {

inline constexpr int kJitterHistBins = 513;
inline constexpr int kJitterResultCount = 8;
inline constexpr int kJitterEdgeFlagCount = 512;
inline constexpr int kJitterEstimateCount = 50;
inline constexpr int kJitterBitsPerRead = 48;
inline constexpr int kJitterEdgeRecordLimit = 1001;
inline constexpr double kNoBitMean = -2.0;

// The seven histograms, in their order in the engine.
enum TJitterHistKind : uint8_t {
  jhDDJ,
  jhRising,
  jhFalling,
  jhRJPJ,
  jhTJ,
  jhCompositeDDJ,
  jhCompositeRandom,
  kJitterHistCount
};

// Result indexes (items of "Jitter:JParam").
enum TJitterResult : uint8_t {
  jrTotal,
  jrPeriodSs,
  jrPeriodRms,
  jrDetermin,
  jrDataDepend,
  jrRandom,
  jrDutyCycle,
  jrInterSymbol
};

// 513 bins of edge times covering -width/2..+width/2 once the scale is set.
class TJitterHist {
 public:
  explicit TJitterHist(std::string name = {}) : Name(std::move(name)) {}

  // Offset width/2, bin width width/513. A width without measurable spread (not above
  // 513e-15 s, or not finite) leaves the scale at zero: every value then lands in the
  // middle bin, and the spread read from it is zero.
  void SetScale(double width);
  // EAssertion Name + " - Time Scale undefined" while no scale was set.
  void Add(double t);
  void Clear();

  bool ZeroScale() const { return scaled_ && BinWidth == 0; }
  int64_t Count() const { return Stat.Count(); }

  std::array<uint32_t, kJitterHistBins> Bins{};
  uint32_t MaxCount = 0;
  double Offset = 0;
  double BinWidth = 0;
  std::string Name;
  TStat Stat;

 private:
  bool scaled_ = false;
};

// --- the pattern and its edges ---

// Flags the edges of one record: each change between a high and a low run marks the
// points between them, or both neighbours when none lies between. Runs between the levels
// that return to the level they left, and those before the first level run or after the
// last, are no edges. Flags beyond the array are ignored.
void JitterFlagEdges(const std::vector<double>& values, double upper, double lower,
                     std::array<bool, kJitterEdgeFlagCount>& flags);
// Centres of consecutive bits (in points) from the edge flags: the midpoints of
// neighbouring runs' centres; kNoBitMean where no further run follows.
std::array<double, kJitterEstimateCount> JitterEdgeEstimates(
    const std::array<bool, kJitterEdgeFlagCount>& flags);

// The learnt pattern, one entry per bit (1 high), indexed modulo its length.
class TJitterPattern {
 public:
  TJitterPattern() = default;
  explicit TJitterPattern(std::vector<uint8_t> bits) : bits_(std::move(bits)) {}
  int32_t Length() const { return static_cast<int32_t>(bits_.size()); }
  int Bit(int32_t i) const;
  // The bit before i, wrapping to the pattern end.
  int32_t Prev(int32_t i) const { return i <= 0 ? Length() - 1 : i - 1; }
  // 16 + bit without a transition; else bit + 2 b(p²) + 4 b(p³) + 8 b(p⁴).
  int EdgeContext(int32_t i) const;
  // First bit at or after `from` that differs from its predecessor; -1 when none.
  int32_t NextTransition(int32_t from) const;
  // First bit of each of the 16 contexts, -1 for one that does not occur.
  std::array<int32_t, 16> FindContexts() const;

 private:
  std::vector<uint8_t> bits_;
};

// Widths of the DDJ-like, the random and the total histograms from the data-dependent
// span a and the random span b.
struct TJitterWidths {
  double DDJ = 0, Random = 0, Total = 0;
};
TJitterWidths JitterHistWidths(double a, double b);

// --- the "DDJ vs Bit" view ---
struct TJitterView {
  int32_t FirstBit = 0, LastBit = 0, Factor = 1;
};
// p: click offset in a plot area of width w.
void JitterZoomIn(TJitterView& view, int32_t pattLen, double p, double w);
void JitterZoomOut(TJitterView& view, int32_t pattLen);

// --- the engine ---

// One data-dependent edge context.
struct TJitterContext {
  int32_t FirstBit = -1;
  std::array<double, 10> SlotMeans{};
  double SamplingTime = 0;  // the mean edge's time at the sampling level
};

// What the engine hands to the units above it.
struct TJitterOutputs {
  std::function<void()> ResultsReady;  // write the selected results, redraw the plots
  std::function<void(const std::string&)> BitMapError;
};

class TJ_Obj {
 public:
  // Reads the pattern settings, starts the acquisition and applies the level settings. The
  // settings it drives are given back by the unit that runs it (its procedure's set-up).
  TJ_Obj(TTraceId source, TJitterOutputs outputs);
  ~TJ_Obj();
  TJ_Obj(const TJ_Obj&) = delete;
  TJ_Obj& operator=(const TJ_Obj&) = delete;

  // Why the engine cannot go on; the unit above acts on it after the step.
  enum class TStop : uint8_t {
    None,
    PatternChanged,   // the pattern settings it learnt from changed: it must learn anew
    EdgesOutOfReach,  // no transition bit lies within the trigger delay's reach
    MapOutOfReach,    // bits of the pattern lie beyond it: their map cannot be read
  };

  // One step per finished acquisition; none once stopped.
  void Step();
  TStop Stopped() const { return stop_; }
  // Value and unit of result 0..7 (false outside).
  bool JitterResult(int index, double& value, std::string& unit) const;

  int Phase() const { return phase_; }
  int32_t PattLen() const { return pattLen_; }
  TTraceId Source() const { return source_; }
  const TJitterPattern& Pattern() const { return pattern_; }
  const std::vector<float>& BitMeans() const { return bitMeans_; }
  // The per-bit means of the last finished round (the plot's; the next round refills
  // BitMeans from nothing).
  const std::vector<float>& ShownBitMeans() const { return shownBitMeans_; }
  const TJitterHist& Hist(int kind) const { return hists_.at(static_cast<size_t>(kind)); }
  double HighLevel() const { return highLevel_; }
  double LowLevel() const { return lowLevel_; }
  double MeanEdgeTime() const { return meanEdgeTime_; }
  int RoundsDone() const { return rounds_; }
  size_t EdgeRecordCount() const { return edgeRecords_.size(); }
  TJitterView& View() { return view_; }
  const TJitterView& View() const { return view_; }

 private:
  void ApplyLevelSettings();
  void ApplyEdgeSettings();
  void SetPatternDelay(int32_t delay);
  int32_t BitDelay(int32_t bit) const;
  void SetBitDelay(int32_t bit);
  int32_t PatternDelay() const;
  // "Trig:PattLen" and the two clock dividers: they set the pattern and the delay's reach.
  static std::array<int32_t, 3> PatternSettings();
  bool TakeFirstTransition();
  int32_t NextReachableTransition(int32_t from) const;
  bool Reachable(int32_t bit) const;
  bool ReadRecord(int expectedLength);

  void PhaseLevels();
  void PhaseBitMap();
  void StartBitMap();
  void FinishBitMap();
  void PhaseContexts();
  void PhaseSpreads();
  void PhaseEdges();
  void PhaseResults();
  void Restart();
  void ScaleHistograms();
  void FillDDJ();
  void ComputeResults();
  double ExpectedEdgeTime(int context, double v, bool absolute) const;
  int SlotOf(double v) const;
  double EdgeTimeOf(int context, size_t point) const;

  TJitterOutputs outputs_;
  std::array<int32_t, 3> patternSettings_{};
  TStop stop_ = TStop::None;
  int32_t pattLen_ = 0;
  double unitInterval_ = 0;
  TTraceId source_ = TTraceId::Ch1;
  bool savedTimerEnabled_ = false;
  int phase_ = 0;
  int rounds_ = 0;

  std::vector<double> values_;  // the record of this step
  std::vector<double> times_;

  double upperDecision_ = 0, lowerDecision_ = 0;
  std::array<bool, kJitterEdgeFlagCount> edgeFlags_{};
  std::array<double, kJitterEstimateCount> edgeEstimates_{};
  int32_t edgeShift_ = 0;  // the window shows the edge of the bit after the delayed one
  std::vector<uint8_t> bitMap_;
  int64_t highestBitRead_ = -1;
  TJitterPattern pattern_;
  double highSum_ = 0, lowSum_ = 0, averageSum_ = 0;
  int64_t highCount_ = 0, lowCount_ = 0, averageCount_ = 0;
  double highLevel_ = 0, lowLevel_ = 0, amplitude_ = 0;
  double lowerThreshold_ = 0, upperThreshold_ = 0, thresholdDistance_ = 0;
  std::array<double, 10> levelSteps_{};
  double samplingLevel_ = 0;

  std::array<TStat, 10> edgeStats_;
  std::array<TJitterContext, 16> contexts_;
  int currentContext_ = 0;
  int64_t contextSamples_ = 0;
  int32_t currentBit_ = 0;
  std::vector<double> edgeRecords_;
  std::vector<float> bitMeans_;
  std::vector<float> shownBitMeans_;

  double meanEdgeTime_ = 0;
  double smallestMean_ = 1e20, largestMean_ = -1e20;
  TStat spreadStat_;  // the per-bit standard deviations
  double largestSpread_ = 0;
  TStat roundOffset_;  // this round's edge times less the mean edge time

  std::array<TJitterHist, kJitterHistCount> hists_;
  std::array<double, kJitterResultCount> results_{};
  std::array<std::string, kJitterResultCount> units_;
  TJitterView view_;
};

}  // namespace norv
