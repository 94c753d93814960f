#include "instrument/settings/trigger_level_search.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include "framework/settings/program_objects.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/trigger_settings.h"

namespace norv {

namespace {

constexpr int32_t CoarseLimitMv = 1000;
constexpr int32_t CoarseFirstStepMv = 1024;
constexpr int32_t CoarseFinestHalfMv = 32;
constexpr int32_t ZeroProbeMv = 32;
constexpr int64_t StatusIntervalMs = 1000;
constexpr int64_t ProbeSettleMs = 100;
constexpr double SimulatedWindowLow = 0.125;
constexpr double SimulatedWindowHigh = 0.375;

constinit TTriggerStatusState State;
const TProgramUnit StateUnit("trigger status", ResetTriggerStatusState);

TTriggerStatus& Status() {
  if (!State.StatusIndicator || State.StatusClock != &ProgramClock()) {
    State.StatusClock = &ProgramClock();
    State.StatusIndicator = std::make_unique<TTriggerStatus>(*State.StatusClock);
  }
  return *State.StatusIndicator;
}

void Progress(int position) { SettingsHooks.AutoscaleProgress(position); }

int WholeSqrt(int32_t n) { return static_cast<int>(std::sqrt(static_cast<double>(n))); }

}  // namespace

TTriggerStatusState& TriggerStatusState() { return State; }
void ResetTriggerStatusState() { State = {}; }

bool CoarseLevelSearch(const TLevelProbe& probe, const TProgress& progress, int32_t& found, int32_t& step) {
  int32_t passStep = CoarseFirstStepMv;
  for (;;) {
    const int32_t half = passStep / 2;
    for (int32_t v = half; v <= CoarseLimitMv; v += half) {
      if (v % passStep == 0) continue;  // tried in an earlier pass
      for (int32_t level : {-v, v}) {
        if (probe(level)) {
          found = level;
          step = passStep;
          return true;
        }
      }
    }
    passStep = half;
    progress(25 + 18 / WholeSqrt(half));
    if (half == CoarseFinestHalfMv) return false;
  }
}

int32_t BisectLevelEdge(const TLevelProbe& probe, const TProgress& progress, int32_t inside, int32_t outside,
                        int base) {
  int32_t current = inside;
  const int32_t direction = outside < inside ? -1 : 1;
  int32_t distance = std::abs(outside - inside);
  while (distance > 5) {
    distance /= 2;
    const int32_t candidate = current + direction * distance;
    if (probe(candidate)) current = candidate;
    progress(base + 16 / WholeSqrt(distance));
  }
  return current;
}

bool FindTriggerLevel(const TLevelProbe& probe, const TProgress& progress, double& level) {
  if (probe(-ZeroProbeMv) && probe(ZeroProbeMv)) {
    level = 0.0;
    return true;
  }
  int32_t found = 0;
  int32_t step = 0;
  if (!CoarseLevelSearch(probe, progress, found, step)) return false;
  progress(34);
  const int32_t low = BisectLevelEdge(probe, progress, found, found - step, 34);
  const int32_t high = BisectLevelEdge(probe, progress, found, found + step, 42);
  level = (low + high) * 0.0005;
  return true;
}

void TTriggerStatus::Refresh(bool directSource, bool triggeredMode,
                             const std::function<bool()>& pollTrigger) {
  const int64_t now = clock_.NowMs();
  if (!polled_ || now - lastPollMs_ >= StatusIntervalMs) {
    polled_ = true;
    lastPollMs_ = now;
    lastReply_ = pollTrigger();
  }
  TTriggerState state = tsNone;
  if (directSource) state = lastReply_ ? tsTriggered : triggeredMode ? tsNotTriggered : tsFreeRun;
  SettingsHooks.ShowTriggerState(state);
}

void TTriggerStatus::FromData(int pointsRead) {
  const int64_t now = clock_.NowMs();
  if (pointsRead > 0) {
    hadData_ = true;
    lastDataMs_ = now;
    SettingsHooks.ShowTriggerState(tsTriggered);
  } else if (!hadData_ || now - lastDataMs_ > StatusIntervalMs) {
    SettingsHooks.ShowTriggerState(tsNotTriggered);
  }
}

bool TryTriggerLevel(double volts) {
  SetTriggerLevel(volts);
  ProgramClock().SleepMs(ProbeSettleMs);
  const bool real = IsRealInstrument();
  if (real) QueryTrigOn(false);
  ProgramClock().SleepMs(ProbeSettleMs);
  if (real) return QueryTrigOn(false);
  return volts > SimulatedWindowLow && volts < SimulatedWindowHigh;
}

bool TriggerLevelSearch(double& level) {
  if (TriggerSourceIndex() != TrigSourceDirect) {
    Progress(50);
    return true;
  }
  SetTriggerModeByProgram(true);
  SettingsHooks.StopRunAndSingle();
  BreakAcquisition(true);
  double found = 0;
  if (!FindTriggerLevel([](int32_t mv) { return TryTriggerLevel(mv * 0.001); }, Progress, found))
    return false;
  level = found;
  SetTriggerLevel(level);
  Progress(50);
  return true;
}

void RefreshTriggerStatus(bool keepAcquisition) {
  Status().Refresh(TriggerSourceIndex() == TrigSourceDirect, TriggerModeIsTriggered(),
                   [keepAcquisition] { return QueryTrigOn(keepAcquisition); });
}

void UpdateTriggerStatusFromData(int pointsRead) { Status().FromData(pointsRead); }

}  // namespace norv
