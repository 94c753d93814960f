#pragma once
// The instrument's two self-calibrations: the time base (it measures the codes of its
// coarse and fine time-base generators) and the channels (a sampler calibration of both
// channels, which needs both inputs free of signal). The user starts them from the
// calibration page or by command; the program starts both by itself at points of the
// warm-up schedule, after a period or on a change of temperature ("Util:CalibrWhen").
//
// Each run shows a modal dialog (AutocalHooks) with its progress and outcome; without one
// (dialogs suppressed, as for a remote client) the run drives itself to its end. A run
// that fails or is cancelled gives back what it changed: the time-base run its two
// constants, the channel run its settings and, in the instrument, the constants its
// calibration may have moved. The channel run's status poll has a limit: a status that
// stalls fails the run.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/util/hook.h"
#include "service/flash_constants.h"

namespace norv {

// Kinds and reasons of RunCalibration.
enum : uint8_t { kCalibrateChannels = 1, kCalibrateTimeBase = 2, kCalibrateBoth = 5 };
enum : uint8_t { kCalReasonNone = 0, kCalReasonPowerOn = 1, kCalReasonTemperature = 2, kCalReasonPeriod = 3 };

// "FLASH:Calibr:AutocalResult": -1 while a run is under way, 0 success, 1 a signal on Ch1,
// 2 on Ch2, 3 on both, 5 failed or cancelled.
inline constexpr int kAutocalRunning = -1, kAutocalSucceeded = 0, kAutocalFailed = 5;

// The channel calibration's status word: the stage in the low 16 bits (negative: failed),
// the sub-step above; 255 is done.
inline constexpr int32_t kChannelCalDone = 255;
inline constexpr int kChannelStatusPollMs = 50;
// A status word that stays the same this many polls in a row (a minute) fails the run, and
// so does a run that polls this long (ten minutes).
inline constexpr int kChannelStatusStallPolls = 1200;
inline constexpr int kChannelCalibrationMaxPolls = 12000;

struct TChannelCalStatus {
  int Stage = 0;  // with the sign of the status word
  int Sub = 0;
};
TChannelCalStatus DecodeChannelCalStatus(int32_t status);
// The progress bar's position 0..100 and the status text ("OK" when done, else "-" or
// " " and "stage.sub").
int ChannelCalProgress(int32_t status);
std::string ChannelCalStatusText(int32_t status);

// The channel calibration of an instrument that is not there: its stages one after the
// other, each as long as the stage table says.
class TSimulatedChannelCal {
 public:
  void Reset() { *this = {}; }
  // The status before this tick's step.
  int32_t Poll();

 private:
  size_t stage_ = 0;
  int counter_ = 0;
};

// The time-base run as its dialog shows it.
struct TTimeBaseRun {
  bool AutoClose = false;
  // Measured codes; -1 when the reply was no number.
  int32_t Coarse = 0, Fine = 0;
  // Fine replies that were "Timeout" (the dialog widens its progress shape by each).
  int FineTimeouts = 0;
  bool Measured = false;
  bool Success = false;
};

enum class TChannelCalPhase : uint8_t { Idle, WaitingForAcquisition, Polling, Succeeded, Failed };

// The channel run as its dialog shows it, and what it gives back.
struct TChannelRun {
  bool AutoClose = false;
  TChannelCalPhase Phase = TChannelCalPhase::Idle;
  int32_t Status = 0;
  int Progress = 0;
  std::string StatusText;
  // The instrument's calibration has been started (the set-up went back before it).
  bool Started = false;
  int Polls = 0;
  int UnchangedPolls = 0;
  // Ch1 1 + Ch2 2 when a signal was found on the input.
  int Busy = 0;
  // An auto-closing run has ended (or a signal was found): the dialog closes with OK or
  // Cancel.
  bool CloseRequested = false;
  bool CloseOk = false;
  // SRD1, SRD2 and the four bridge pairs (Ch1 full, Ch1 narrow, Ch2 full, Ch2 narrow)
  // before the run: the nodes' values, and the codes the instrument held (its commands and
  // codes, in that order).
  std::array<double, 2> RememberedSrd{};
  std::array<TBridgeValues, 4> RememberedBridge{};
  std::vector<std::pair<std::string, int32_t>> RememberedCodes;
  bool Ended() const { return Phase == TChannelCalPhase::Succeeded || Phase == TChannelCalPhase::Failed; }
};

struct TAutoCalibrationState {
  bool Started = false;
  int64_t StartMs = 0;
  std::array<bool, 4> WarmUpDone{};
  double LastCalibrationMinutes = -1000000;
  double LastCalibrationTemperature = -1000000.0;
  double CurrentTemperature = 0;
  double SimulatedTemperature = 20.0;
  bool CalibrationBusy = false;
  // The automatic check has found an occasion; its run waits for the idle pass to end.
  bool AutoRunQueued = false;
  bool InputCheckPending = false;
  TTimeBaseRun TimeBase;
  TChannelRun Channels;
  TSimulatedChannelCal Simulated;
};
TAutoCalibrationState& AutoCalibration();
void ResetAutoCalibration();

struct TAutocalHooks {
  // The time-base dialog, modal; on show it calls MeasureTimeBase. True when it closed
  // with OK.
  THook<bool(TTimeBaseRun& run)> ShowTimeBaseDialog{"AutocalHooks.ShowTimeBaseDialog"};
  // The channel dialog, modal; on show it calls BeginChannelCalibration, polls with
  // ChannelCalibrationTick while the run is polling, and closes itself when an auto-closing
  // run ends. True when it closed with OK.
  THook<bool(TChannelRun& run)> ShowChannelsDialog{"AutocalHooks.ShowChannelsDialog"};
  // The channel run changed its phase (the poll starts, the run ended).
  THook<void()> ChannelRunChanged{"AutocalHooks.ChannelRunChanged"};
  // The main window is the active window (the automatic check runs only then).
  THook<bool()> MainWindowActive{"AutocalHooks.MainWindowActive"};
  // Runs the work once the present idle pass has ended: the automatic check finds its
  // occasion inside the idle work, but a dialog's run needs the idle passes for its
  // acquisition. Empty: at once.
  THook<void(std::function<void()> work)> AfterIdlePass{"AutocalHooks.AfterIdlePass",
                                                        [](std::function<void()> work) { work(); }};
};
extern TAutocalHooks AutocalHooks;

// Kind 1 channels, 2 time base, 5 both (time base first); Reason 0 a user's command, 1 a
// warm-up point, 2 temperature, 3 period. Ask shows the confirmation first and keeps the
// dialog open at the end.
void RunCalibration(uint8_t kind, uint8_t reason, bool ask);
bool CalibrationBusy();
// The automatic check of the stopped-state idle work.
void CheckAutoCalibration();
// Consumes every point of the warm-up schedule {0, 5, 15, 30} min that is due.
bool WarmUpCalibrationDue(double minutes);
// The first line of the confirmation: why the run started.
std::string CalibrationReasonText(uint8_t reason);

// The time-base dialog's work: measures both codes and sets the constants from them;
// `onFineTimeout` runs after each fine reply that was "Timeout".
void MeasureTimeBase(TTimeBaseRun& run, const std::function<void()>& onFineTimeout = {});
// The channel dialog's work: the set-up and one acquisition; after it the input check
// (run by the acquisition cycle) starts the instrument's calibration; then one status
// poll per tick, true while the poll goes on.
void BeginChannelCalibration();
void AutocalChannelsCheckInputs();
bool ChannelCalibrationTick();
// The text of the message about a signal left on an input (Busy 1, 2 or 3).
std::string SignalLeftText(int busy);

// Pauses the automatic check (the calibration status dialog) and lets it go on.
void SetAutoCalibrationTimerEnabled(bool enabled);

// The acquisition's hooks.
void InstallAutoCalibration();

}  // namespace norv
