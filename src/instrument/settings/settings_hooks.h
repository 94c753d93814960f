#pragma once
// Call-outs of the channel, time-base, trigger and acquisition settings to the parts of
// the program above them (shell, display, analysis, TDR/TDT, calibration) and to the
// acquisition cycle and pages built on them. Each does nothing (or gives the neutral
// answer) until its owner fills it in at start-up, so the settings work on their own and
// in tests. The wired ones are filled by the instrument layer itself
// (InstallInstrumentSettings).

#include <cstdint>
#include <string>

#include "framework/util/hook.h"

namespace norv {

struct TSettingsHooks {
  // --- shell and main window ---
  // Binds the main window's permanent controls (nothing while there is no main window).
  THook<void(const std::string& path, const std::string& caption)> BindMainHorizontalScale;
  THook<void(const std::string& path)> BindMainDelay;
  THook<void(const std::string& path)> BindMainTriggerLevel;
  THook<void(int channel, const std::string& scalePath, const std::string& offsetPath)>
      BindMainChannelControls;
  // Autoscale: whether it runs, and the position of its progress bar.
  THook<bool()> AutoscaleRunning;
  THook<void(int position)> AutoscaleProgress;
  // Stops the acquisition's run: clears the Run and Single flags and tells their controls.
  THook<void()> StopRunAndSingle{Wired("SettingsHooks.StopRunAndSingle")};
  // Run or Single is on.
  THook<bool()> AcquisitionRunning{Wired("SettingsHooks.AcquisitionRunning")};
  // The save dialog of the auto-save reaction: in the folder and base name, the filter
  // index 0..2; true on OK with the chosen file and filter.
  THook<bool(std::string& fileName, int& filterIndex)> AskAutoSaveFile;

  // --- display ---
  THook<void()> RefreshTriggerCell;
  THook<void(int state)> ShowTriggerState;  // 0 none, 1 triggered, 2 not triggered, 3 free run
  THook<void()> RefreshChannelStatus;
  THook<void()> RefreshSamplingRateCells;
  THook<void()> RedrawFitToIcon;
  // Number of graticules stacked on the signal screen; 1 without a screen.
  THook<int()> GraticuleSplit{[] { return 1; }};
  // The B windows on the A display in screen units (0..4000); width 0 removes them.
  THook<void(int start1, int start2, int width, bool dual)> ShowTimeBaseWindows;
  THook<void(int channel)> DeleteChannelLayers;
  // Open side-menu pages follow the settings.
  THook<void()> RefreshChannelPages;
  THook<void()> RefreshTimeBasePages;
  THook<void()> RefreshAcquisitionPages;

  // --- TDR/TDT ---
  // Vertical unit of a channel: 0 Volt, 1 Rho, 2 Ohm, 3 Gain.
  THook<int(int channel)> TDRVertUnit;
  // TDR/TDT is active; then the horizontal unit is its "TDR:HorScale" index (0 time,
  // 1 metre, 2 foot, 3 inch).
  THook<bool()> TDRActive;
  THook<int()> TDRHorizontalScale;
  // Velocity factor and path divisor of the line (vacuum, reflection path until set).
  THook<double()> TDRPropagationFactor{[] { return 1.0; }};
  THook<double()> TDRPathDivisor{[] { return 2.0; }};
  THook<bool()> GeneratorPulseOrPattern;
  THook<void()> UpdateTDRChannelSelect;

  // --- calibration ---
  THook<bool(int channel)> OEOutputOnChannel;

  // --- analysis ---
  THook<void()> SetupLowJitterReference;
  THook<void()> CancelLowJitterReference;
  // The automatic pattern search, from the measured pattern clock.
  THook<void(double rate)> StartPatternSearch;
  // The search's progress bar, 0..100; -1 when the search has ended.
  THook<void(int position)> PatternSearchProgress;

  // --- simulator settings ---
  THook<void()> SimulatorFollowIntRate{Wired("SettingsHooks.SimulatorFollowIntRate")};
};

inline TSettingsHooks SettingsHooks;

}  // namespace norv
