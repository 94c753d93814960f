#pragma once
// The acquisition's values: run control, the per-trace state of the derived signals and
// the requests served between records and cycles.

#include <array>
#include <cstdint>

#include "framework/traces/trace_names.h"

namespace norv {

// Per-trace state of the derived-signal machinery, indexed by trace id Ch1..S2: 0 off,
// 1 on, 2 on with fresh data, 3 drawn.
enum : uint8_t { dssOff = 0, dssOn = 1, dssFresh = 2, dssDrawn = 3 };
// The derived-signal number of the XY pair.
inline constexpr int kXYDerivedIndex = 18;

struct TAcquisitionState {
  // Run control, bound to the "*Run" and "*StopSingle" nodes by the shell.
  bool RunFlag = false;     // continuous acquisition
  bool SingleFlag = false;  // one cycle, then stop
  // Set while a waveform is dragged and at close; the idle step then does nothing.
  bool AcqSuspended = false;
  // A cycle is open (for the main window).
  bool AcqCycleRunning = false;

  // Written here after every record, read by the analysis and display subsystems.
  std::array<uint8_t, kRecordTraceCount> DerivedSignalStates{};
  uint8_t XYSignalState = dssOff;

  // Requests raised by the save page, served while the acquisition is stopped and between
  // two records, and by the automatic-calibration timer, served when stopped and at the end
  // of every cycle.
  bool MemoCopyRequest = false;
  bool DiskSaveRequest = false;
  bool DiskLoadRequest = false;
  bool AutoCalibrationDue = false;

  // A new record arrived for the TDR readout (set per record, served at the end of a
  // cycle).
  bool TDRReadoutFresh = false;
};

extern TAcquisitionState AcquisitionState;

// A memory (0..3) written again, by a copy or a load: what is derived from it is computed
// anew once MoveChangedMemoriesOn has run.
void MarkMemoryChanged(int memory);
// The changed memories count as fresh data; runs after the switching pass of the derived
// signals, in the acquisition's pass as in the stopped one.
void MoveChangedMemoriesOn();
inline constinit bool& RunFlag = AcquisitionState.RunFlag;
inline constinit bool& SingleFlag = AcquisitionState.SingleFlag;
inline constinit bool& AcqSuspended = AcquisitionState.AcqSuspended;
inline constinit bool& AcqCycleRunning = AcquisitionState.AcqCycleRunning;
inline constinit std::array<uint8_t, kRecordTraceCount>& DerivedSignalStates =
    AcquisitionState.DerivedSignalStates;
inline constinit uint8_t& XYSignalState = AcquisitionState.XYSignalState;
inline constinit bool& MemoCopyRequest = AcquisitionState.MemoCopyRequest;
inline constinit bool& DiskSaveRequest = AcquisitionState.DiskSaveRequest;
inline constinit bool& DiskLoadRequest = AcquisitionState.DiskLoadRequest;
inline constinit bool& AutoCalibrationDue = AcquisitionState.AutoCalibrationDue;
inline constinit bool& TDRReadoutFresh = AcquisitionState.TDRReadoutFresh;

}  // namespace norv
