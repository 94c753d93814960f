#pragma once
// Hit histograms of waveform samples. TAxisHist counts along one axis: by amplitude code
// (vertical, 1024 codes, 128 per division, code 0 at the top of the screen) or by record
// column (horizontal, up to 4096 columns), over the whole axis and inside a rectangular
// window. TFullHist keeps the full hit map of columns by codes besides, so any window can
// be counted again without the waveforms, and offers an exponentially weighted mode in
// which new waveforms dominate. The one TFullHist of the program (FullHist) serves the
// histogram display, the level finder, and the eye and jitter measurements.
//
// Counters are 32 bits; a count that would pass 4294967295 stays there.

#include <array>
#include <cstdint>
#include <vector>

#include "framework/settings/program_objects.h"

namespace norv {

class TSignalObj;

inline constexpr int kHistCodes = 1024;
inline constexpr int kHistColumns = 4096;
inline constexpr uint32_t kHitLimit = UINT32_MAX;

// The two levels of a bimodal histogram: positions in bins (screen Y for a vertical
// histogram, pos1 <= pos2) and their hit counts.
struct TTwoLevels {
  bool Found = false;
  int Pos1 = 0, Pos2 = 0;
  uint32_t Hits1 = 0, Hits2 = 0;
};

class TAxisHist {
 public:
  explicit TAxisHist(bool vertical);
  virtual ~TAxisHist() = default;
  TAxisHist(const TAxisHist&) = delete;
  TAxisHist& operator=(const TAxisHist&) = delete;

  // --- set-up ---
  void SetVertical(bool vertical);
  void SetMapEnabled(bool enabled);
  // Fixes the scaling of the samples that follow; a change of any of them (or of the
  // column count) starts the histogram afresh. Counts the waveform.
  void StartWaveform(int columns, double timeOrigin, double timePerColumn, double origin, double voltsPerDiv);
  // Window in screen units (X 0..4000, Y 0..1024 bottom to top), clamped: left 0..4000,
  // right left..4000, bottom 2..1022, top bottom..1022.
  void SetWindow(int left, int top, int right, int bottom);
  // Window given as columns and screen Y directly (each code must fit 0..65535).
  void SetWindowRaw(int colLeft, int topY, int colRight, int bottomY);
  // The common entry of the level finder and the eye and jitter measurements: map
  // projection off, the axis, the window, then the window statistics.
  void CalcInWindow(bool vertical, int left, int top, int right, int bottom);

  // --- accumulation and statistics ---
  virtual void RecountWindow();
  virtual void Clear();
  // Count hits of the sample value at the column (dropped outside codes 0..1023 and
  // columns 0..4095).
  virtual void AddSample(int column, double value, uint32_t count = 1);
  virtual void CalcStatistics(bool overWindow);

  // --- results of the last statistics ---
  uint32_t PeakHits() const { return peakHits_; }
  uint32_t PeakBin() const { return peakBin_; }
  uint64_t TotalHits() const { return totalHits_; }
  uint32_t WaveformCount() const { return waveformCount_; }
  uint64_t SampleCount() const { return sampleCount_; }
  double MeanBin() const { return meanBin_; }
  double StdDevBins() const { return stdDevBins_; }
  uint32_t FirstBin() const { return firstBin_; }
  uint32_t LastBin() const { return lastBin_; }
  bool OverWindow() const { return overWindow_; }

  double BinToValue(double bin) const;
  double SpanToValue(double bins) const;
  double MaxValue() const;
  double MinValue() const;
  double MaxScreenPos() const;
  double MinScreenPos() const;
  double MiddleValue() const;
  double PeakToPeak() const { return MaxValue() - MinValue(); }
  double MeanValue() const { return BinToValue(meanBin_); }
  double StdDevValue() const { return SpanToValue(stdDevBins_); }
  double MeanScreen() const;
  double StdDevScreen() const;
  // Percent of the hits within n standard deviations of the mean.
  double PercentWithinSigmas(int n) const;
  // Vertical only (EAssertion otherwise): RMS of the window's values, and about the mean.
  double RmsValue() const;
  double AcRmsValue() const;
  // The window bins: vertical 1024 (none while no waveform set the columns), horizontal
  // Columns entries; at most maxCount. Gives the count.
  int GetBars(std::vector<uint32_t>& bars, int maxCount) const;

  TTwoLevels FindTwoLevels() const;
  double LevelDistance() const;
  // Distance; upper and lower level as values.
  double TwoLevelValues(double& upper, double& lower) const;
  // FindTwoLevels with horizontal positions turned into screen X.
  TTwoLevels TwoLevelScreen() const;

  // --- state ---
  bool Vertical() const { return vertical_; }
  bool MapEnabled() const { return mapEnabled_; }
  int Columns() const { return columns_; }
  double Origin() const { return origin_; }
  double Scale() const { return scale_; }
  double TimeOrigin() const { return timeOrigin_; }
  double TimePerColumn() const { return timePerColumn_; }
  int ZeroCode() const { return zeroCode_; }
  int WinLeftX() const { return winLeftX_; }
  int WinRightX() const { return winRightX_; }
  int WinColLeft() const { return winColLeft_; }
  int WinColRight() const { return winColRight_; }
  int WinCodeLow() const { return winCodeLow_; }
  int WinCodeHigh() const { return winCodeHigh_; }
  uint32_t FullBin(int index) const { return fullBins_.at(static_cast<size_t>(index)); }
  uint32_t WindowBin(int index) const { return windowBins_.at(static_cast<size_t>(index)); }

  // The amplitude code of a value, or -1 outside 0..1023.
  int CodeOf(double value) const;

 protected:
  // Bins of the axis: 1024 when vertical, else Columns.
  int AxisBins() const { return vertical_ ? kHistCodes : columns_; }
  bool InWindow(int column, int code) const {
    return column >= winColLeft_ && column <= winColRight_ && code >= winCodeLow_ && code <= winCodeHigh_;
  }
  void UpdateWindowColumns();
  const std::array<uint32_t, kHistColumns>& StatBins() const { return overWindow_ ? windowBins_ : fullBins_; }

  std::array<uint32_t, kHistColumns> fullBins_{};
  std::array<uint32_t, kHistColumns> windowBins_{};
  double origin_ = 0;
  double scale_ = 1000.0;
  double timeOrigin_ = 0;
  double timePerColumn_ = 0;
  int zeroCode_ = 512;
  int winLeftX_ = 0, winRightX_ = 0;
  int winColLeft_ = 0, winColRight_ = 0;
  int winCodeLow_ = 0, winCodeHigh_ = 0;
  bool vertical_ = false;
  bool mapEnabled_ = false;
  int columns_ = 0;
  bool overWindow_ = false;
  uint32_t waveformCount_ = 0;
  uint64_t totalHits_ = 0;
  uint64_t sampleCount_ = 0;
  uint32_t peakHits_ = 0;
  uint32_t peakBin_ = 0;
  double meanBin_ = 0;
  double stdDevBins_ = 0;
  uint32_t firstBin_ = 0, lastBin_ = 0;
};

class TFullHist final : public TAxisHist {
 public:
  // Horizontal, map projection off, normal accumulation.
  TFullHist();

  // 0: normal accumulation; else the weight of the exponential mode.
  void SetWeight(int weight);
  int Weight() const { return weight_; }

  void RecountWindow() override;
  void Clear() override;
  void AddSample(int column, double value, uint32_t count = 1) override;
  void CalcStatistics(bool overWindow) override;

  uint32_t MapCell(int column, int code) const { return map_.at(Cell(column, code)); }
  // Screen X of the first window column hit at the highest (TimeOfMax) or lowest level,
  // for a vertical histogram; for a horizontal one the first window code hit in the last
  // (max) or first column. EAssertion when there is none.
  int TimeOfMax() const;
  int TimeOfMin() const;

 private:
  static size_t Cell(int column, int code) {
    return static_cast<size_t>(column) * kHistCodes + static_cast<size_t>(code);
  }
  int FirstHitColumn(uint32_t code, const char* failure) const;
  int FirstHitCode(uint32_t column, const char* failure) const;

  static constexpr int kBlock = 8;
  static constexpr int kBlockColumns = kHistColumns / kBlock;
  static constexpr int kBlockCodes = kHistCodes / kBlock;

  std::array<double, kHistColumns> weightAcc_{};
  int weight_ = 0;
  std::vector<uint32_t> map_;
  // A block of 8 columns by 8 codes has been hit since the last clear.
  std::vector<uint8_t> blockMap_;
};

// Feeds one waveform: its shown points at their columns, scaled as the record is shown.
void AccumulateRecordIntoHist(TAxisHist& hist, const TSignalObj& record);

// The program's one full histogram, made on first use.
TFullHist& FullHist();
extern TOwned<TFullHist> ProgramFullHist;

}  // namespace norv
