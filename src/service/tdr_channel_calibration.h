#pragma once
// The TDR / TDT channel calibration: 32 acquisitions of the channel's step are averaged
// and its levels and edge give the reference values of the channel's "TDR:" nodes. TDR
// (static) calibrates twice, with the 50 Ohm termination at the reference plane and then
// without it; TDT once, on the generator's step. One step runs after each acquisition while
// the calibration exists; the settings it changes for its own use (its set-up) go back when
// it ends, and only an OK stores the reference values.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "framework/traces/trace_names.h"
#include "instrument/acquisition/procedures.h"

namespace norv {

class TSignalObj;

// Result codes of the evaluations.
enum TTdrCalibrationCode : int {
  tccSuccess = 0,
  tccSmallAmplitude = -1,  // "TDR_Ch_Cal_Er_1"
  tccBadSlope = -2,        // "TDR_Ch_Cal_Er_2"
  tccNoTermination = -3,   // "TDR_Ch_Cal_Er_3"
};

struct TTdrCalibrationValues {
  int Code = tccSuccess;
  double RefAmpl = 0;
  double BaseLine = 0;
  double TdtAmpl = 0;
  double TdtZero = 0;
  double RefPlane = 0;
};

// The mean of the points 400..600 of a 1024-point trace (the same share of a longer or
// shorter one).
double CalibrationMeanLevel(std::span<const double> trace);
// With the termination (first level m1) and without it (trace); rec gives the time axis.
TTdrCalibrationValues StaticCalibrationEvaluation(double m1, std::span<const double> trace,
                                                  const TSignalObj& rec);
// A step that must rise across the trace (negated first for a negative polarity), cross its
// middle by point 400 (of 1024) and rise more than 50 mV from the level before it to the
// top level; otherwise tccSmallAmplitude.
TTdrCalibrationValues NormalCalibrationEvaluation(std::vector<double> trace, bool negative,
                                                  const TSignalObj& rec);

enum class TTdrCalibrationOutcome : uint8_t { Running, Succeeded, Failed, Cancelled };

class TTdrChannelCalibration {
 public:
  static constexpr int kAverages = 32;

  // channel 2 (Ch1) or 3 (Ch2); tdr: the static two-phase calibration; autoClose: the
  // procedure closes itself at its end (started by a command).
  TTdrChannelCalibration(int channel, bool tdr, bool autoClose);
  ~TTdrChannelCalibration();
  TTdrChannelCalibration(const TTdrChannelCalibration&) = delete;
  TTdrChannelCalibration& operator=(const TTdrChannelCalibration&) = delete;

  // Asks the user at the screen (unless autoClose) whether to go on, then sets the channel
  // and time base up for the calibration (its set-up) and asks for the first acquisition;
  // from now on the acquisition cycle steps it. False when another procedure runs (the
  // refusal is told), or when it ended before (the user's Cancel, any way out meanwhile).
  bool Start();
  // One step after an acquisition.
  void Step();
  // The end: the settings of the calibration go back; with ok the reference values are
  // stored (only a successful calibration has them).
  void Finish(bool ok);
  // The end as its window's OK (accepted) or Cancel: a TDT reference goes into M4 when
  // the values are taken. True when they were.
  bool Conclude(bool accepted);
  // The averaged trace into the channel's record and from there into M4.
  void SaveReferenceToMemory();

  int Channel() const { return channel_; }
  bool Tdr() const { return tdr_; }
  int Progress() const { return progress_; }
  TTdrCalibrationOutcome Outcome() const { return outcome_; }
  const TTdrCalibrationValues& Values() const { return values_; }
  // The error line of a failure ("" otherwise).
  std::string ErrorText() const;

  // The view follows the progress and the outcome; Close(ok) ends the dialog.
  std::function<void()> OnUpdate;
  std::function<void(bool ok)> OnClose;

 private:
  void Update() const;
  void Close(bool ok);
  void Evaluate(const TSignalObj& rec);

  int channel_;
  bool tdr_;
  bool autoClose_;
  bool secondPhase_ = false;
  int counter_ = 0;
  int progress_ = 0;
  std::vector<double> sum_;
  double firstLevel_ = 0;
  TTdrCalibrationValues values_;
  TTdrCalibrationOutcome outcome_ = TTdrCalibrationOutcome::Running;
  bool finished_ = false;
  // Its life: what it set for itself and the run it stopped come back at its end; the TDR
  // mode, the channel's destination and polarity and the references it stores are its
  // ground too.
  TProcedureLife life_{TProcedure::TdrChannelCalibration};
};

// The calibration of a remote client, without its window: it runs to its end before the
// command answers, takes its values when it succeeded and tells its outcome as a message
// (logged: dialogs are suppressed for the client). True when it succeeded.
bool RunTdrChannelCalibrationWithoutWindow(int channel, bool tdr);

// Fills AcqHooks.TDRChannelCalibrationStep.
void InstallTdrChannelCalibration();

}  // namespace norv
