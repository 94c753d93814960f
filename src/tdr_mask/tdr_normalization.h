#pragma once
// The correction ("normalization") of a TDR/TDT channel: a guided procedure measures the
// real step at the reference plane, builds a per-channel filter that turns it into an ideal
// step of the channel's "NormTime", and from then on every acquisition of the channel is
// passed through the filter into its function trace (Ch1 into F1, Ch2 into F2).
//
// The procedure runs while its modal dialog is open and moves one stage per acquisition;
// started for a remote client it runs without the dialog and ends by itself.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "framework/util/hook.h"
#include "instrument/record/signal_obj.h"

namespace norv {

class THandler;

// Acquisitions averaged into a reference.
inline constexpr int kNormAverageCount = 128;
// The filter works on twice the record, so a corrected record holds at most this.
inline constexpr int kNormMaxRecLen = 2048;

// --- the procedure's measurements on a record's values (volts) ---

// Rounds half away from zero.
int RoundToInt(double x);
// The reflection of the short end on a TDR record: the highest index of the level between
// the incident step and the reflection. -2 no stimulus, -3 a step of the other polarity,
// -4 no short end seen, -1 none found. sign is -1 for a negative step; shortestRun the
// runs (points) shorter than which a level is taken for noise.
int FindTdrStimulus(std::span<const double> y, double sign, int shortestRun);
// The point before the transient of a TDT record (-1 when the first point already is past
// it); -2 and -3 as above.
int FindTdtEdge(std::span<const double> y, double sign);
// Mean over the divisions [start, start + length) of a record spanning 10.24 divisions.
// EAssertion unless start > 0, length >= 0 and start + length <= 10.01.
double MeanLevel(std::span<const double> y, double start, double length);
// Start and end levels of a step and where it crosses their middle (fractional index).
struct TStepLevels {
  bool Found = false;
  double Start = 0, End = 0, Edge = 0;
};
TStepLevels FindStep(std::span<const double> y, bool wantEdge);
// A Gaussian edge from lo to hi whose 10 %-90 % span is `width` points, centred on point
// edge - 1.
void IdealEdge(std::span<double> y, double lo, double hi, double edge, double width);
// The progress bar's position (percent) in a stage after `count` averaged acquisitions.
int NormalizationProgress(bool tdr, int stage, int count);

// --- the unit's data ---

struct TNormChannelData {
  TSignalObj Spectrum;   // of the measured corrected step
  TSignalObj Reference;  // the average of 128 acquisitions
  TSignalObj Filter;     // ideal spectrum / measured spectrum
  double TdrLow = 0, TdrHigh = 0, Edge = 0, TdtLow = 0, TdtHigh = 0;
  bool Negative = false;
  // The filter fits records of this length and sample interval only.
  bool FilterValid = false;
  int FilterRecLen = 0;
  double FilterDX = 0;  // seconds per point
  // What the function showed before it was given the corrected trace.
  bool FunctionSetUp = false;
  bool SavedDisplay = false;
  uint8_t SavedOperat = 0;
  uint8_t SavedSource1 = 0;
  // The record length maximum this channel lowered (0: none).
  double SavedMaxRecLen = 0;
  bool WasOn = false;  // "Normalize" before its change
};

// The open dialog's procedure.
enum class TNormResult : uint8_t { None, OK, Cancel };
struct TNormalizationDialog {
  int Channel = 2;
  bool Tdr = true;
  int Count = 0;
  int TdrStage = 0;
  int TdtStage = 0;
  int Trace = 0;
  double S0 = 0, SA = 0;
  uint8_t TbModeAtShow = 0;
  double L1 = 0, L2 = 0, Amplitude = 0;
  int Retry = 0;
  double D = 0, SW = 0, SB = 0;
  bool External = false, Negative = false;
  double Z = 0, H = 0, P = 0;
  // What the window shows.
  std::string Caption;
  std::string Status;
  bool StatusReady = false;  // green "Calibration is Ready"
  bool OKEnabled = false;
  int Progress = 0;
  TNormResult Result = TNormResult::None;
};

struct TNormalizationState {
  TSignalObj WorkA, WorkB;
  std::array<TNormChannelData, 2> Channels;  // [0] Ch1, [1] Ch2
  bool Running = false;
  bool Busy = false;
  bool Pending = false;  // a replay switched "Normalize" on: switched off afterwards
  std::unique_ptr<TNormalizationDialog> Dialog;
};
TNormalizationState& NormalizationState();
void ResetNormalizationState();

// What the procedure asks of its window.
struct TNormalizationHooks {
  // Shows the dialog modally (its texts in NormalizationState().Dialog); true when it was
  // closed with OK.
  THook<bool()> ShowDialog{"NormalizationHooks.ShowDialog"};
  // Closes the open dialog with that result.
  THook<void(bool ok)> CloseDialog{"NormalizationHooks.CloseDialog"};
  // The dialog's texts, progress or OK button changed.
  THook<void()> DialogChanged{"NormalizationHooks.DialogChanged"};
};
extern TNormalizationHooks NormalizationHooks;

// --- operations; channel is the channel code 2 (Ch1) or 3 (Ch2) ---

void StartNormalization(int channel);
// After each acquisition: one stage step of the open dialog; without one, a correction that
// no longer fits its channel's record ends.
void NormalizationAfterAcquisition();
// The dialog's OK or Cancel.
void EndNormalizationDialog(bool ok);
// The channel's corrected record into `result`; false when there is no valid filter.
bool NormalizeChannel(int channel, TSignalObj& result);
bool IsChannelNormalized(int channel);
// The channel code whose dialog is open, 0 when none.
int NormalizationDialogChannel();
// Rebuilds the channel's filter for its current "NormTime".
void BuildNormalizationFilter(int channel);
void SwitchOffNormalization();
void SwitchOffNormalizationIfPending();

// The "Normalize" and "NormTime" changes of a channel (installed on the nodes).
void NormalizeBeforeChange(int channel);
void NormalizeChanged(int channel, THandler& normalize);
void NormTimeChanged(int channel);

// Fills the acquisition, math, settings-tree and shell hooks of the correction.
void InstallTdrNormalization();

}  // namespace norv
