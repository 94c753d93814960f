#pragma once
// The level finder: what autoscale asks of the full hit map after it has accumulated its
// source into FullHist. A THistParams sums the map up over a screen rectangle (spread of
// the hits, the two levels and the bands around them, which level is the rare one);
// comparing such summaries tells whether a look holds the signal as the stored summary
// does and whether it is uniform along the record (narrow slices of the screen), and the
// slices crossed by transitions or by the rare level give its period and levels.
// Positions are screen units (X 0..4000, Y 1..1023 bottom to top); levels come out in
// the source's vertical unit, times in seconds.

#include <cstdint>

namespace norv {

// Bits of autoscale's set of signal kinds that the finder narrows.
inline constexpr uint8_t kKindPeriodic = 1;
inline constexpr uint8_t kKindRareHigh = 2;  // mostly low with rare excursions up
inline constexpr uint8_t kKindRareLow = 4;   // mostly high with rare excursions down
inline constexpr uint8_t kKindUniform = 8;   // an NRZ eye: the same all along the record
inline constexpr uint8_t kKindRz = 16;       // an RZ pattern: highs in part of each bit slot

struct THistParams {
  double MeanY = 0, StdDevY = 0;
  double MaxY = 0, MinY = 0;
  uint64_t Hits = 0;
  double PctAbove = 0, PctBelow = 0;  // beyond 3.5 deviations from the mean
  bool TwoLevels = false;
  int Level1Y = 0, Level2Y = 0;  // upper, lower
  double UpperMeanY = 0, UpperStdDevY = 0;
  uint64_t UpperHits = 0;
  double LowerMeanY = 0, LowerStdDevY = 0;
  uint64_t LowerHits = 0;
  int UpperBandEdge = 0;  // lower edge of the upper level's band
  int LowerBandEdge = 0;  // upper edge of the lower level's band
  double PctBetween = 0;  // hits between the bands: the transitions
  bool MostlyHigh = false, MostlyLow = false;
  int RareTop = 0, RareBottom = 0;
  double PctRare = 0;

  // Sums up FullHist over the rectangle (leaves FullHist with its last window).
  void Fill(int leftX, int rightX, int topY, int bottomY);
  // Whether the two summaries describe different signals.
  bool DiffersFrom(const THistParams& other) const;
};

// What a look found: Kind 0 nothing periodic, 1 something but no two clean edges, 2 the
// outputs hold.
struct TLevelFinding {
  int Kind = 0;
  double Period = 0, FirstEdgeTime = 0, LowLevel = 0, HighLevel = 0;
};

// The summary the looks are compared with (autoscale's is of the whole signal, taken
// while the trigger has no relation to it); refreshed by HistParamsFillAll only.
THistParams& StoredHistParams();
void HistParamsFillAll();

// Narrows the kind set: a look unlike the stored summary (state 0) loses the
// uniform kind; otherwise (state 2) a uniform one loses the periodic kinds, a non-uniform
// one the uniform kind. Whether any kind is left.
bool HistCheckSignalUniform(uint8_t& kindSet, uint8_t& state);
// Period and levels of a signal with two levels from its transitions (an eye pattern).
bool HistFindLevels(TLevelFinding& found);
// Period and levels from the rare level; sets the kind set to the kind of the signal. A
// period that comes out zero or negative is refused.
bool HistFindPeriod(TLevelFinding& found, uint8_t& kindSet);

}  // namespace norv
