#pragma once
// What the acquisition cycle and the point store need from the units around them: the
// trigger, time-base and channel units beside it, and the display, shell, measurement,
// analysis, TDR/mask and calibration subsystems above it. Every hook does nothing (or
// gives the neutral answer) until its owner fills it in at start-up, so the cycle runs on
// its own and in tests. The wired ones are filled by the instrument layer itself
// (InstallInstrumentSettings).

#include <array>
#include <cstdint>
#include <string>

#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"
#include "instrument/acquisition/acquisition_state.h"

namespace norv {

// The display layer that plots one channel's points as they are stored.
class IAcqLayer {
 public:
  virtual ~IAcqLayer() = default;
  // Once per record, before its points.
  virtual void SetSignalScale(int pointCount, double offset, double unitsPerDiv) = 0;
  virtual void PutSample(int index, double value) = 0;
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
  THook<void()> NotifyRunSwitchers;         // the "*Run" node's controls
  THook<void()> NotifyStopSingleSwitchers;  // the "*StopSingle" node's controls
  THook<void(bool keepAcquisition)> RefreshTriggerStatus{Wired("AcqHooks.RefreshTriggerStatus")};
  THook<void(int pointWords)> UpdateTriggerStatusFromData{Wired("AcqHooks.UpdateTriggerStatusFromData")};
  // The pattern-lock clock check; run between cycles (see TAcquisitionCycle).
  THook<void()> CheckPatternLockRate{Wired("AcqHooks.CheckPatternLockRate")};
  THook<void()> PatternScanStep{Wired("AcqHooks.PatternScanStep")};  // eye-line scan after a cycle
  THook<void()> PatternSearchStep;  // runs when the pattern search has requested it
  THook<void()> RefreshTimeBaseReadouts;
  THook<void()> NotifyChannelScales{Wired("AcqHooks.NotifyChannelScales")};
  THook<void()> SendStateAfterConnect{Wired("AcqHooks.SendStateAfterConnect")};
  THook<void()> ApplyPendingLanguage;  // a language change waiting in "Shadow:Lang"

  // --- display ------------------------------------------------------------------
  THook<std::string(TTraceId)> TraceStyle;  // item text of the trace's style node
  THook<IAcqLayer*(TTraceId, TAcqLayerKind)> TraceLayer;
  THook<void()> SuspendScreenUpdates;
  THook<void()> ResumeScreenUpdates;
  THook<void(int slot, bool stopped)> ShowAcqStatus;
  THook<bool()> DataBaseExist;       // a waveform database is shown
  THook<bool()> DisplayFormatHasXY;  // "Displ:Format" is XY, CombYTXY or Comb2YTXY
  THook<int()> DisplayFormatIndex;
  THook<void()> RedrawXYScreen;

  // --- shell --------------------------------------------------------------------
  THook<bool()> ApplicationActive{[] { return true; }};
  THook<bool()> AutoscaleRunning;  // AutoscaleState is not 0
  THook<void()> AutoscaleStep;
  THook<bool(int record, const std::string& fileName)> SaveWaveformBinary;
  THook<bool(int record, const std::string& fileName, bool yOnly)> SaveWaveformText;
  THook<bool()> DatabaseRecording;
  THook<void()> AccumulateDatabaseRecord;
  THook<void()> SaveDatabaseFile;
  THook<void()> RefreshMemoryTraces;
  THook<void()> CopySelectedSourceToMemory;
  THook<void()> SaveWaveformToDisk;
  THook<void()> LoadWaveformFromDisk;

  // --- measurements, markers, histograms ------------------------------------------
  THook<int()> MarkType;  // "Mark:Type" item, 0 Off
  THook<void(int n)> ShowMarker;
  THook<void()> RefreshMarkerControls;
  THook<void()> UpdateMarkerReadout;
  THook<bool()> HistogramActive;  // "Hist:Axis" not off and its source on
  THook<int()> HistAxis{[] { return 1; }};
  THook<void(int axis)> UpdateHistogram;
  THook<void(int axis)> RefreshHistWindowControls;
  THook<void()> ClearHistSettingsChanged;
  THook<void()> MeasurementPass;

  // --- math, spectra, zoom, eye, jitter -------------------------------------------
  THook<void()> SostaritjIliOtklFuncSpectrGdeNado;
  THook<void(bool force)> ReCalculateFuncAndSpectrGdeNado;
  THook<void(int index)> CalcDerivedSignal;
  THook<void()> RedrawDerivedSignals;
  THook<void()> RefreshZoomControls;
  THook<void()> EyeMeasurementPass;
  THook<void()> LowJitterAfterAcquisition;
  THook<bool()> JitterMeasurementExists;
  THook<void()> JitterMeasurementStep;

  // --- TDR/TDT and mask -----------------------------------------------------------
  THook<TTdrChannelSettings(int channel)> TdrChannelSettings;
  // Record index compared with the mask while the test runs (editor closed, "Mask:Test"
  // on), else -1.
  THook<int()> MaskCompareSignal{[] { return -1; }};
  THook<void()> RaiseMaskNewRecord;
  THook<void(int channel, int pointIndex)> CountMaskHitAtPoint;
  THook<void()> MaskTestAfterAcquisition;
  THook<void()> RefreshMaskDisplay;
  THook<void()> RefreshAutomaskControls;
  THook<void()> ShowTDRExcessLC;
  THook<void()> TDRMeasurePass;
  THook<void()> NormalizationStep;  // runs when the normalization dialog has asked

  // --- calibration and service -----------------------------------------------------
  // Each pending step runs only when its own request flag is set.
  THook<void()> AutocalChannelsCheckInputs;
  THook<void()> TDRChannelCalibrationStep;
  THook<void()> OEAutoCalStep;
  THook<bool()> CalibrationBusy;
  THook<void()> CheckAutoCalibration;
};

extern TAcqHooks AcqHooks;

}  // namespace norv
