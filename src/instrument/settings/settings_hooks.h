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
  THook<void(const std::string& path, const std::string& caption)> BindMainHorizontalScale{
      "SettingsHooks.BindMainHorizontalScale"};
  THook<void(const std::string& path)> BindMainDelay{"SettingsHooks.BindMainDelay"};
  THook<void(const std::string& path)> BindMainTriggerLevel{"SettingsHooks.BindMainTriggerLevel"};
  THook<void(int channel, const std::string& scalePath, const std::string& offsetPath)>
      BindMainChannelControls{"SettingsHooks.BindMainChannelControls"};
  // Autoscale: whether it runs, and the position of its progress bar.
  THook<bool()> AutoscaleRunning{"SettingsHooks.AutoscaleRunning"};
  THook<void(int position)> AutoscaleProgress{"SettingsHooks.AutoscaleProgress"};
  // Stops the acquisition's run: clears the Run and Single flags and tells their controls.
  THook<void()> StopRunAndSingle{Wired("SettingsHooks.StopRunAndSingle")};
  // Run or Single is on.
  THook<bool()> AcquisitionRunning{Wired("SettingsHooks.AcquisitionRunning")};
  // The save dialog of the auto-save reaction: in the folder and base name, the filter
  // index 0..2; true on OK with the chosen file and filter.
  THook<bool(std::string& fileName, int& filterIndex)> AskAutoSaveFile{"SettingsHooks.AskAutoSaveFile"};

  // --- display ---
  THook<void()> RefreshTriggerCell{"SettingsHooks.RefreshTriggerCell"};
  THook<void(int state)> ShowTriggerState{
      "SettingsHooks.ShowTriggerState"};  // 0 none, 1 triggered, 2 not triggered, 3 free run
  THook<void()> RefreshChannelStatus{"SettingsHooks.RefreshChannelStatus"};
  THook<void()> RefreshSamplingRateCells{"SettingsHooks.RefreshSamplingRateCells"};
  THook<void()> RedrawFitToIcon{"SettingsHooks.RedrawFitToIcon"};
  // Number of graticules stacked on the signal screen; 1 without a screen.
  THook<int()> GraticuleSplit{"SettingsHooks.GraticuleSplit", [] { return 1; }};
  // The B windows on the A display in screen units (0..4000); width 0 removes them.
  THook<void(int start1, int start2, int width, bool dual)> ShowTimeBaseWindows{
      "SettingsHooks.ShowTimeBaseWindows"};
  THook<void(int channel)> DeleteChannelLayers{"SettingsHooks.DeleteChannelLayers"};
  // Open side-menu pages follow the settings.
  THook<void()> RefreshChannelPages{"SettingsHooks.RefreshChannelPages"};
  THook<void()> RefreshTimeBasePages{"SettingsHooks.RefreshTimeBasePages"};
  THook<void()> RefreshAcquisitionPages{"SettingsHooks.RefreshAcquisitionPages"};

  // --- TDR/TDT ---
  // Vertical unit of a channel: 0 Volt, 1 Rho, 2 Ohm, 3 Gain.
  THook<int(int channel)> TDRVertUnit{"SettingsHooks.TDRVertUnit"};
  // TDR/TDT is active; then the horizontal unit is its "TDR:HorScale" index (0 time,
  // 1 metre, 2 foot, 3 inch).
  THook<bool()> TDRActive{"SettingsHooks.TDRActive"};
  THook<int()> TDRHorizontalScale{"SettingsHooks.TDRHorizontalScale"};
  // Velocity factor and path divisor of the line (vacuum, reflection path until set).
  THook<double()> TDRPropagationFactor{"SettingsHooks.TDRPropagationFactor", [] { return 1.0; }};
  THook<double()> TDRPathDivisor{"SettingsHooks.TDRPathDivisor", [] { return 2.0; }};
  THook<bool()> GeneratorPulseOrPattern{"SettingsHooks.GeneratorPulseOrPattern"};
  THook<void()> UpdateTDRChannelSelect{"SettingsHooks.UpdateTDRChannelSelect"};

  // --- calibration ---
  THook<bool(int channel)> OEOutputOnChannel{"SettingsHooks.OEOutputOnChannel"};

  // --- analysis ---
  THook<void()> SetupLowJitterReference{"SettingsHooks.SetupLowJitterReference"};
  THook<void()> CancelLowJitterReference{"SettingsHooks.CancelLowJitterReference"};
  // The automatic pattern search, from the measured pattern clock.
  THook<void(double rate)> StartPatternSearch{"SettingsHooks.StartPatternSearch"};
  // The search's progress bar, 0..100; -1 when the search has ended.
  THook<void(int position)> PatternSearchProgress{"SettingsHooks.PatternSearchProgress"};

  // --- simulator settings ---
  THook<void()> SimulatorFollowIntRate{Wired("SettingsHooks.SimulatorFollowIntRate")};
};

inline TSettingsHooks SettingsHooks;

}  // namespace norv
