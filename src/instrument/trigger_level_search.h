#pragma once
// The trigger level search: it finds, on the external direct trigger input, a level at
// which the instrument reports triggers. It probes levels over +-1 V in halving steps,
// narrows the triggering window from both sides and takes the window's middle.

#include <cstdint>
#include <functional>

namespace norv {

// A trial level in whole millivolts: true when the instrument triggers there.
using TLevelProbe = std::function<bool(int32_t millivolts)>;
using TProgress = std::function<void(int position)>;

// Tries +-512 mV, then +-256 and +-768, and so on down to the odd multiples of 32 mV,
// negative before positive; the first triggering level ends the search. step is the
// distance of that pass's grid.
bool CoarseLevelSearch(const TLevelProbe& probe, const TProgress& progress, int32_t& found, int32_t& step);
// Bisects from a triggering level towards a level outside; gives the last triggering
// level next to the edge of the window (within 5 mV).
int32_t BisectLevelEdge(const TLevelProbe& probe, const TProgress& progress, int32_t inside, int32_t outside,
                        int base);

// The search proper: a signal that triggers at -32 mV and +32 mV gives 0 V; otherwise the
// coarse search and both edges of the window around the level found give its middle
// (volts). False when nothing triggers.
bool FindTriggerLevel(const TLevelProbe& probe, const TProgress& progress, double& level);

}  // namespace norv
