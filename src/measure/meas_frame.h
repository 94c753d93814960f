#pragma once
// The measurement frame of a source: level histogram, top and base, the three threshold
// levels, the margins (the sample range the measurements look at) and the levels inside
// the margins, plus the crossing searches every time measurement walks with. Recomputed
// per source only as far as a reason requires. The math Trend function uses the same
// primitives (BuildLevelHistogram, CalcTopBase, CalcThresholds, BuildCrossingTable).
//
// Positions are fractional indices of the shown record; levels are in the source's
// vertical units; screen codes are 0..1024 (bottom to top), screen X 0..4096 over the
// shown window.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "framework/traces/trace_names.h"
#include "instrument/record/signal_obj.h"

namespace norv {

inline constexpr int kLevelHistCells = 257;
inline constexpr int kCrossingTableSize = 2050;
inline constexpr uint16_t kCrossingTableEnd = 55555;
inline constexpr int kTrendTableSize = 2049;

enum TTopBaseMethod : uint8_t { tbHist = 0, tbMinMax = 1, tbMarker = 2 };
enum TThresholdKind : uint8_t { th10_90 = 0, th20_80 = 1, thCustom = 2 };
enum TThresholdUnit : uint8_t { tuPercent = 0, tuVolt = 1, tuDivision = 2 };
enum TMarginMode : uint8_t { mmSlope = 0, mmMarker = 1 };
enum TLevelChoice : uint8_t { lcUpper = 0, lcMiddle = 1, lcLower = 2 };
enum TFFTMethod : uint8_t { fmHarmonic = 0, fmPeak = 1 };
enum TMeasReason : uint8_t { mrNewData = 1, mrTopBase = 2, mrThresholds = 3, mrMargins = 4 };

// The per-source settings the frame and the routines read (the "Meas:<source>:" nodes).
struct TMeasSourceSettings {
  uint8_t Method = tbHist;
  int Top = 768;  // screen codes of the Marker method
  int Base = 256;
  uint8_t Thresh = th10_90;
  uint8_t Unit = tuPercent;
  int UpThresh = 683, MidThresh = 512, LowThresh = 341;  // screen codes
  double UpThPerc = 80, MidThPerc = 50, LowThPerc = 20;
  uint8_t MargMode = mmMarker;
  int LeftSlope = 0, RightSlope = 5;
  uint8_t LeftTresh = lcMiddle, RightTresh = lcMiddle;
  int LeftMarker = 0, RightMarker = 4000;  // screen X
  uint8_t FFTMethod = fmHarmonic;
  int FFTLeft = 0, FFTRight = 4000;  // screen X
  double PeakLevel = -20;            // dB
  int PeakLeft = 1, PeakRight = 3;
  TTraceId Source2 = TTraceId::Ch2;
};

struct TMeasFrame {
  double Top = 0, Base = 0;
  double UpThresh = 0, MidThresh = 0, LowThresh = 0;
  std::string UpThreshText, LowThreshText;
  int LeftMargin = 0, RightMargin = 0;
  std::array<uint32_t, kLevelHistCells> LevelHist{};
  std::array<uint32_t, kLevelHistCells> InMarginHist{};
  double MarginTop = 0, MarginBase = 0;
  // No frame until the first build.
  bool LevelsInvalid = true;
  bool InMarginInvalid = true;
  bool MarginsChanged = false, TopBaseChanged = false, ThresholdsChanged = false;
  std::array<uint16_t, kCrossingTableSize> CrossingPositions{};
  // The shown values as of the last build with new data; every search and routine reads
  // these.
  std::vector<double> Values;
};

// One source as the routines see it.
struct TMeasSource {
  TTraceId Id;
  const TSignalObj& Rec;
  TMeasFrame& Frame;
  const TMeasSourceSettings& Settings;
};
// The program's record, frame and settings of a source (0..13).
TMeasSource MeasSourceOf(TTraceId id);

// Counts the shown samples (first..last when ranged, else all) into 257 cells of four
// screen codes; only cells 2..254 count. Gives the number counted.
int LevelHistogram(std::array<uint32_t, kLevelHistCells>& cells, const TSignalObj& rec,
                   std::span<const double> values, bool ranged, int last, int first);
// Takes the record's shown values into the frame and counts them into LevelHist.
void BuildLevelHistogram(const TMeasSource& s);
// Top and base screen codes of a histogram by the Hist or MinMax method.
void TopBaseCodes(const std::array<uint32_t, kLevelHistCells>& hist, bool minMax, double& topCode,
                  double& baseCode);
void CalcTopBase(const TMeasSource& s);
void CalcThresholds(const TMeasSource& s);

// The crossing of `level` between shown samples i - 1 and i, linearly interpolated; i - 0.5
// between equal samples. At i = 0 the sample itself is the crossing when it equals the
// level, else there is none (-1).
double InterpolateCrossingBefore(std::span<const double> values, int i, double level);
struct TCrossing {
  double Position = -1.0;  // -1: none
  double Level = 0;        // the level searched for
};
// Where a crossing shows: the screen code of its level and its screen X (computed only
// for the labels, not for every edge walked over).
int CrossingLevelCode(const TMeasSource& s, const TCrossing& c);
int CrossingScreenX(const TMeasSource& s, const TCrossing& c);
// Searches the next rising (falling) crossing of the chosen level from `position`, which
// is left where the search stopped, so repeated calls walk edge by edge. Up to the right
// margin, or the last sample when wholeRecord.
TCrossing FindCrossingUp(const TMeasSource& s, int& position, uint8_t level, bool wholeRecord);
TCrossing FindCrossingDown(const TMeasSource& s, int& position, uint8_t level, bool wholeRecord);

// Mode 0 fills CrossingPositions; modes 1 (left) and 2 (right) give the rounded position
// of slope `slope` (even: rising, odd: falling; n div 2 + 1-th) at the left or right
// threshold choice, or -1.
int FindSlopeMargin(const TMeasSource& s, int slope, int mode);
// The slope number of the crossing-table entry nearest to a position; 1000 (left) or 0
// (right) when the table is empty.
int NearestCrossingIndex(const TMeasFrame& f, int position, bool isLeft);
void CalcMargins(const TMeasSource& s);

// Rebuilds the frame of a source as far as the reason requires and evaluates the slots
// that use it.
void MeasureSource(TTraceId source, uint8_t reason);
// The per-acquisition pass.
void MeasurementPass();
// The pass, when a change of what is measured (a slot, thresholds, levels, margins) waits
// for it: called between two records of a running acquisition, so the records shown are
// measured again at once, as when stopped, not after a long average.
void MeasureChangesNow();

// Crossings of one edge pair of the Trend table: rising at lower, middle, upper and
// falling at upper, middle, lower threshold; -1 for absent.
struct TTrendCrossings {
  std::array<float, 6> At{-1, -1, -1, -1, -1, -1};
};
// The Trend table of a source whose frame is built; ends with a record of all -1.
std::vector<TTrendCrossings> BuildCrossingTable(const TMeasSource& s);

}  // namespace norv
