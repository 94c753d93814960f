#pragma once
// The Trend operator of F1-F4: one time measurement per edge pair of the source, written
// as a staircase into the function's record, which finds its own vertical scale over the
// first evaluations after the function was (re)defined.

#include <span>

#include "instrument/record/signal_obj.h"
#include "measure/meas_frame.h"

namespace norv {

// ":TrendMeas" items.
enum TTrendKind : uint8_t { tkPeriod, tkFreq, tkPosWidth, tkNegWidth, tkRise, tkFall, tkPosDuty, tkNegDuty };

// Fills `result` (whose header is the source's) from the crossing table of a source
// sampled every dX: its points, unit, and during the first evaluations its scale and
// offset. True when at least one value was written and, while the scale is being found,
// the trend is not flat. A kind outside 0..7 writes nothing.
bool BuildTrendWaveform(int function, int kind, std::span<const TTrendCrossings> table, double dX,
                        TSignalObj& result);
// The functions F1-F4 (0..3) that can show a trend.
inline constexpr int kTrendFunctionCount = 4;

// The function's scale is found again from its next evaluations.
void ResetTrend(int function);

}  // namespace norv
