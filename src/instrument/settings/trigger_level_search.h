#pragma once
// The trigger level search and the trigger status indicator. The search finds, on the
// external direct trigger input, a level at which the instrument reports triggers: it
// probes levels over +-1 V in halving steps, narrows the triggering window from both
// sides and takes the window's middle.

#include <cstdint>
#include <functional>
#include <memory>

#include "framework/util/clock.h"

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

// States of the status line's trigger cell.
enum TTriggerState : uint8_t { tsNone = 0, tsTriggered = 1, tsNotTriggered = 2, tsFreeRun = 3 };

// The trigger status indicator: while stopped it polls the instrument's trigger flag at
// most once a second; while acquiring it judges from the arrival of data. The state goes
// to SettingsHooks.ShowTriggerState.
class TTriggerStatus {
 public:
  explicit TTriggerStatus(IClock& clock) : clock_(clock) {}
  // pollTrigger asks the instrument (true: "TRIG_ON"); it is called at most once a second
  // and the last answer stands in between.
  void Refresh(bool directSource, bool triggeredMode, const std::function<bool()>& pollTrigger);
  // After each block read while acquiring with source Direct and mode Trig.
  void FromData(int pointsRead);

 private:
  IClock& clock_;
  bool polled_ = false;
  bool lastReply_ = false;
  int64_t lastPollMs_ = 0;
  bool hadData_ = false;
  int64_t lastDataMs_ = 0;
};

// The unit's state: the program's status indicator, made on first use with the program's
// clock and made again when another clock has taken its place.
struct TTriggerStatusState {
  std::unique_ptr<TTriggerStatus> StatusIndicator;
  IClock* StatusClock = nullptr;  // the clock the indicator was made with
};
TTriggerStatusState& TriggerStatusState();
// Back to the start state: no indicator (nothing polled, no data seen).
void ResetTriggerStatusState();

// Sets "Trig:ExtLevel", waits, and with a real instrument asks twice whether it triggers
// (the first answer may still be about the old level). Without one the simulated window
// 0.125..0.375 V answers.
bool TryTriggerLevel(double volts);
// The whole search: with a source other than Direct nothing is searched (true). Otherwise
// the mode goes to Trig, the run stops and the level found is set; false when nothing
// triggers (the level stays at the last one tried).
bool TriggerLevelSearch(double& level);

// The program's status indicator on the trigger settings.
void RefreshTriggerStatus(bool keepAcquisition);
void UpdateTriggerStatusFromData(int pointsRead);

}  // namespace norv
