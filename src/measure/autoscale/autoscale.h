#pragma once
// Autoscale: sets the vertical scale and offset of the shown channels, finds a trigger
// level and sets the time base so that a few periods (or bits) fill the screen. It runs
// while the acquisition keeps going: each finished acquisition cycle runs one step of the
// phase machine (AutoscaleStep) in place of the cycle's other work. Everything it changes
// is its set-up, which a success keeps as one undo step; Cancel, a failure or an exception
// gives it back.
//
// With a progress window (AutoscaleHooks) StartAutoscale returns when the window closes;
// without one (dialogs suppressed, as for a remote client) it drives the acquisition
// itself until the phase machine ends. A failure is raised as EAssertion with its
// language text after everything has been restored.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/util/hook.h"
#include "measure/hist/hist_levels.h"

namespace norv {

class TAxisHist;

// The items of "*Autoscale".
enum : int32_t { kAutoscaleAuto, kAutoscaleSingleVal, kAutoscaleNRZ, kAutoscaleRZ };

// Phases of the machine.
enum : uint8_t { kAutoscaleIdle, kAutoscaleAmplitude, kAutoscaleTrigger, kAutoscalePeriod, kAutoscaleFinish };

// Searches that the phases give up after (cycles without an end).
inline constexpr int kAmplitudeCycleLimit = 60;
inline constexpr int kPeriodCycleLimit = 600;

struct TAutoscaleHooks {
  // Shows the progress window modally; returns when it closes: true when the phase
  // machine closed it, false on Cancel. Empty: the autoscale runs without a window.
  THook<bool()> ShowProgressWindow{"AutoscaleHooks.ShowProgressWindow"};
  // The phase machine has ended: the window closes.
  THook<void()> CloseProgressWindow{"AutoscaleHooks.CloseProgressWindow"};
  // Position of the progress bar, 0..100.
  THook<void(int position)> ShowProgress{"AutoscaleHooks.ShowProgress"};
  // The jitter analysis the autoscale ended as it started (it runs on the pattern lock)
  // starts again on the lock given back, as the user had it; where it cannot, its starter
  // is told why.
  THook<void()> RestartJitterAnalysis{"AutoscaleHooks.RestartJitterAnalysis"};
};
extern TAutoscaleHooks AutoscaleHooks;

struct TAutoscaleRunState {
  uint8_t AutoscaleState = kAutoscaleIdle;
  uint8_t KindMask = 31;
  int TriggerChannel = 2;  // channel code 2 (Ch1) or 3 (Ch2)
  std::array<bool, 2> Done{};
  std::array<bool, 2> Flat{};  // no spread at all: never the trigger channel
  std::array<std::unique_ptr<TAxisHist>, 2> ChannelHist;
  int PeriodSubStep = 0;
  uint32_t RequiredWaveforms = 16;
  double TestScale = 5e-7;  // s/div
  int Progress = 0;
  int CyclesInPhase = 0;
  TLevelFinding Finding;
  // The machine has ended (Failure empty: successfully).
  bool Ended = false;
  std::string Failure;

  // Restored at the end.
  std::array<double, 2> SavedScale{}, SavedOffset{};  // what a flat channel keeps
  std::array<int, 2> SavedAttenUnit{}, SavedStyle{}, SavedAcqMode{};
  int SavedTrigSource = 0, SavedTrigMode = 0, SavedMeasDisplay = 0, SavedPatternLock = 0;
  int SavedHistWeight = 0;
  bool JitterEnded = false;  // it ended the jitter analysis as it started
};
TAutoscaleRunState& AutoscaleRun();

// "*Autoscale" with its item. Refused (a box, a client's error) when neither channel is
// shown or another procedure runs.
void StartAutoscale(int item);
// One step of the phase machine after a finished acquisition.
void AutoscaleStep();
bool AutoscaleRunning();

// Fills the hooks of the acquisition, the settings and the shell that lead here.
void InstallAutoscale();

}  // namespace norv
