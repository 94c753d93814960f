#pragma once
// What the acquisition cycle and the point store need from the units around them: the
// trigger, time-base and channel units beside it, and the display, shell, measurement,
// analysis, TDR/mask and calibration subsystems above it. Every hook does nothing (or
// gives the neutral answer) until its owner fills it in at start-up, so the cycle runs on
// its own and in tests. The wired ones are filled by the instrument layer itself
// (InstallInstrumentSettings).

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <span>
#include <string>

#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/acquisition/procedures.h"

namespace norv {

// The display layer that plots one channel's points as they are stored.
class IAcqLayer {
 public:
  virtual ~IAcqLayer() = default;
  // Once per record, before its points.
  virtual void SetSignalScale(int pointCount, double offset, double unitsPerDiv) = 0;
  virtual void PutSample(int index, double value) = 0;
  // Points First, First + 1, ...: the same as PutSample for each in turn.
  virtual void PutSamples(int first, std::span<const double> values) {
    // Indexes beyond INT_MAX could not be passed on.
    const size_t count = std::min<size_t>(values.size(), static_cast<size_t>(int64_t{INT_MAX} - first) + 1);
    for (size_t k = 0; k < count; ++k) PutSample(first + static_cast<int>(k), values[k]);
  }
};

// The layer kind a trace's display style asks for.
enum class TAcqLayerKind : uint8_t { Dots, Vectors, Persistence, ColourGrade };

// The TDR/TDT settings of one channel that shape its record ("TDR:" nodes). The distance
// units of the time axis come through the time-base settings.
enum class TTdrMode : uint8_t { Off, TDR, TDT };
struct TTdrChannelSettings {
  TTdrMode Mode = TTdrMode::Off;
  bool PolarPositive = true;  // "Polar" is Pos
  double RefAmpl = 0;
  double RefTDTAmpl = 0;
  double RefTDTZero = 0;
  double BaseLine = 0;
};

struct TAcqHooks {
  // --- run control and instrument units beside the cycle -------------------------
  THook<void()> NotifyRunSwitchers{"AcqHooks.NotifyRunSwitchers"};  // the "*Run" node's controls
  THook<void()> NotifyStopSingleSwitchers{
      "AcqHooks.NotifyStopSingleSwitchers"};  // the "*StopSingle" node's controls
  THook<void(bool keepAcquisition)> RefreshTriggerStatus{Wired("AcqHooks.RefreshTriggerStatus")};
  THook<void(int pointWords)> UpdateTriggerStatusFromData{Wired("AcqHooks.UpdateTriggerStatusFromData")};
  // The pattern-lock clock check; run between cycles (see TAcquisitionCycle).
  THook<void()> CheckPatternLockRate{Wired("AcqHooks.CheckPatternLockRate")};
  THook<void()> PatternScanStep{Wired("AcqHooks.PatternScanStep")};  // eye-line scan after a cycle
  THook<void()> PatternSearchStep{
      "AcqHooks.PatternSearchStep"};  // runs when the pattern search has requested it
  THook<void()> RefreshTimeBaseReadouts{"AcqHooks.RefreshTimeBaseReadouts"};
  THook<void()> NotifyChannelScales{Wired("AcqHooks.NotifyChannelScales")};
  THook<void()> SendStateAfterConnect{Wired("AcqHooks.SendStateAfterConnect")};
  THook<void()> ApplyPendingLanguage{
      "AcqHooks.ApplyPendingLanguage"};  // a language change waiting in "Shadow:Lang"

  // --- display ------------------------------------------------------------------
  THook<std::string(TTraceId)> TraceStyle{"AcqHooks.TraceStyle"};  // item text of the trace's style node
  THook<IAcqLayer*(TTraceId, TAcqLayerKind)> TraceLayer{"AcqHooks.TraceLayer"};
  THook<void()> SuspendScreenUpdates{"AcqHooks.SuspendScreenUpdates"};
  THook<void()> ResumeScreenUpdates{"AcqHooks.ResumeScreenUpdates"};
  THook<void(int slot, bool stopped)> ShowAcqStatus{"AcqHooks.ShowAcqStatus"};
  THook<bool()> DataBaseExist{"AcqHooks.DataBaseExist"};  // a waveform database is shown
  THook<bool()> DisplayFormatHasXY{
      "AcqHooks.DisplayFormatHasXY"};  // "Displ:Format" is XY, CombYTXY or Comb2YTXY
  THook<int()> DisplayFormatIndex{"AcqHooks.DisplayFormatIndex"};
  THook<void()> RedrawXYScreen{"AcqHooks.RedrawXYScreen"};

  // --- shell --------------------------------------------------------------------
  THook<bool()> ApplicationActive{"AcqHooks.ApplicationActive", [] { return true; }};
  THook<bool()> AutoscaleRunning{"AcqHooks.AutoscaleRunning"};  // AutoscaleState is not 0
  THook<void()> AutoscaleStep{"AcqHooks.AutoscaleStep"};
  THook<bool(int record, const std::string& fileName)> SaveWaveformBinary{"AcqHooks.SaveWaveformBinary"};
  THook<bool(int record, const std::string& fileName, bool yOnly)> SaveWaveformText{
      "AcqHooks.SaveWaveformText"};
  THook<bool()> DatabaseRecording{"AcqHooks.DatabaseRecording"};
  THook<void()> AccumulateDatabaseRecord{"AcqHooks.AccumulateDatabaseRecord"};
  THook<void()> SaveDatabaseFile{"AcqHooks.SaveDatabaseFile"};
  THook<void()> RefreshMemoryTraces{"AcqHooks.RefreshMemoryTraces"};
  THook<void()> CopySelectedSourceToMemory{"AcqHooks.CopySelectedSourceToMemory"};
  THook<void()> SaveWaveformToDisk{"AcqHooks.SaveWaveformToDisk"};
  THook<void()> LoadWaveformFromDisk{"AcqHooks.LoadWaveformFromDisk"};

  // --- measurements, markers, histograms ------------------------------------------
  THook<int()> MarkType{"AcqHooks.MarkType"};  // "Mark:Type" item, 0 Off
  THook<void(int n)> ShowMarker{"AcqHooks.ShowMarker"};
  THook<void()> RefreshMarkerControls{"AcqHooks.RefreshMarkerControls"};
  THook<void()> UpdateMarkerReadout{"AcqHooks.UpdateMarkerReadout"};
  THook<bool()> HistogramActive{"AcqHooks.HistogramActive"};  // "Hist:Axis" not off and its source on
  THook<int()> HistAxis{"AcqHooks.HistAxis", [] { return 1; }};
  THook<void(int axis)> UpdateHistogram{"AcqHooks.UpdateHistogram"};
  THook<void(int axis)> RefreshHistWindowControls{"AcqHooks.RefreshHistWindowControls"};
  THook<void()> MeasurementPass{"AcqHooks.MeasurementPass"};

  // --- math, spectra, zoom, eye, jitter -------------------------------------------
  THook<void()> SostaritjIliOtklFuncSpectrGdeNado{"AcqHooks.SostaritjIliOtklFuncSpectrGdeNado"};
  THook<void(bool force)> ReCalculateFuncAndSpectrGdeNado{"AcqHooks.ReCalculateFuncAndSpectrGdeNado"};
  THook<void(int index)> CalcDerivedSignal{"AcqHooks.CalcDerivedSignal"};
  THook<void()> RedrawDerivedSignals{"AcqHooks.RedrawDerivedSignals"};
  // The channels' records and those computed from them were put back (a procedure's end):
  // the traces that show them are drawn from them afresh.
  THook<void()> RedrawRecordsGivenBack{"AcqHooks.RedrawRecordsGivenBack"};
  THook<void()> RefreshZoomControls{"AcqHooks.RefreshZoomControls"};
  THook<void()> EyeMeasurementPass{"AcqHooks.EyeMeasurementPass"};
  THook<void()> LowJitterAfterAcquisition{"AcqHooks.LowJitterAfterAcquisition"};
  THook<bool()> JitterMeasurementExists{"AcqHooks.JitterMeasurementExists"};
  THook<void()> JitterMeasurementStep{"AcqHooks.JitterMeasurementStep"};

  // --- TDR/TDT and mask -----------------------------------------------------------
  THook<TTdrChannelSettings(int channel)> TdrChannelSettings{"AcqHooks.TdrChannelSettings"};
  // Record index compared with the mask while the test runs (editor closed, "Mask:Test"
  // on), else -1.
  THook<int()> MaskCompareSignal{"AcqHooks.MaskCompareSignal", [] { return -1; }};
  THook<void()> RaiseMaskNewRecord{"AcqHooks.RaiseMaskNewRecord"};
  // Points firstIndex .. firstIndex + count - 1 of the channel's record were just stored.
  THook<void(int channel, int firstIndex, int count)> CountMaskHitsInRun{"AcqHooks.CountMaskHitsInRun"};
  THook<void()> MaskTestAfterAcquisition{"AcqHooks.MaskTestAfterAcquisition"};
  THook<void()> RefreshMaskDisplay{"AcqHooks.RefreshMaskDisplay"};
  THook<void()> RefreshAutomaskControls{"AcqHooks.RefreshAutomaskControls"};
  THook<void()> ShowTDRExcessLC{"AcqHooks.ShowTDRExcessLC"};
  THook<void()> TDRMeasurePass{"AcqHooks.TDRMeasurePass"};
  THook<void()> NormalizationStep{
      "AcqHooks.NormalizationStep"};  // runs when the normalization dialog has asked

  // --- calibration and service -----------------------------------------------------
  // Each pending step runs only when its own request flag is set.
  THook<void()> AutocalChannelsCheckInputs{"AcqHooks.AutocalChannelsCheckInputs"};
  THook<void()> TDRChannelCalibrationStep{"AcqHooks.TDRChannelCalibrationStep"};
  THook<void()> OEAutoCalStep{"AcqHooks.OEAutoCalStep"};
  THook<void()> CheckAutoCalibration{"AcqHooks.CheckAutoCalibration"};
};

extern TAcqHooks AcqHooks;

}  // namespace norv
