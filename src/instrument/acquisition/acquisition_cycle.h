#pragma once
// The acquisition cycle fills the channel records from the instrument or the simulator
// and then runs the per-acquisition work of every other subsystem. It has no thread: the
// main window's idle handler calls AcquisitionIdleStep once per idle pass, and each call
// does one small step (read one block of the stream, advance the phase machine, or do the
// stopped-state work).
//
// A cycle reads, for every acquired channel, as many records as its mode needs (one, or
// the number of averages or envelopes), a second one per pass in dual-delay mode, and
// ends with FinishAcqCycle. Any command sent without KeepAcquisition stops the running
// record and clears AcqStarted, so a setting change starts a new cycle.
//
// Clock, sleeps and timers are injected; the settings come through IAcqSettings and the
// rest of the program through AcqHooks.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "framework/util/clock.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/cycle_settings.h"
#include "instrument/acquisition/point_store.h"

namespace norv {

class TSimulator;

// Run control (RunFlag, SingleFlag, AcqSuspended, AcqCycleRunning) is in
// acquisition_state.h.

// Idle passes after a link failure before the link is probed.
inline constexpr int kRecoveryWaitPasses = 200;
inline constexpr int kFlagRegisterIntervalMs = 1500;
inline constexpr int kAutoCalIntervalMs = 5000;
// Slots taken from the simulator per idle pass.
inline constexpr int kSimulatorBlockSlots = 125;
// A block larger than this is a fault of the stream reader.
inline constexpr size_t kMaxBlockWords = 26000;

// The simulated stream as the cycle reads it.
class IRecordSimSource {
 public:
  virtual ~IRecordSimSource() = default;
  virtual void SimStartRecord() = 0;
  // The words of the next out.size() slots (a slot brings a word only when the simulated
  // instrument has one ready); stops after the end word. Returns the words written.
  virtual size_t SimReadBlock(std::span<uint16_t> out) = 0;
};

// The program's simulator as the stream source; it shares the link's Acquiring flag.
class TSimulatorRecordSource final : public IRecordSimSource {
 public:
  explicit TSimulatorRecordSource(TSimulator& simulator);
  void SimStartRecord() override;
  size_t SimReadBlock(std::span<uint16_t> out) override;

 private:
  TSimulator& sim_;
};

class TAcquisitionCycle {
 public:
  TAcquisitionCycle(IClock& clock, ITimerFactory& timers);
  ~TAcquisitionCycle();
  TAcquisitionCycle(const TAcquisitionCycle&) = delete;
  TAcquisitionCycle& operator=(const TAcquisitionCycle&) = delete;

  // The settings units replace the stand-in defaults; the reference must outlive the
  // cycle (or be replaced).
  void SetSettings(IAcqSettings& settings) { settings_ = &settings; }
  IAcqSettings& Settings() const { return *settings_; }
  TDefaultAcqSettings& DefaultSettings() { return defaults_; }
  void SetSimSource(IRecordSimSource* source) { sim_ = source; }

  // Fills the link's hooks that lead here: the start of a simulated record, the restart
  // after a stop, the point-store reset and the flag-register timer.
  void ConnectToLink();

  // One idle pass. Does nothing while AcqSuspended or before GuiReady. True while the
  // idle handler should keep calling (Run or Single on, no link failure pending).
  bool AcquisitionIdleStep();

  // Stops any running record for a mouse drag or the close of the window.
  void SuspendAcquisition();
  void ResumeAcquisition();
  // Averages and records-read counts start again (every stop of the acquisition), and
  // the next phase step starts a new cycle; neither while a record is being started.
  void ResetPointStore();
  void ClearAcqStarted();

  TPointStore& PointStore() { return store_; }
  ITimer& FlagRegisterReadingTimer() { return *flagRegisterTimer_; }
  ITimer& AutoCalTimer() { return *autoCalTimer_; }

  // Observers.
  bool AcqStarted() const { return acqStarted_; }
  bool CycleOpen() const { return cycleOpen_; }
  int AcqCycleCount(int channel) const { return cycleCount_[Slot(channel)]; }
  // The counts of the user's run without the cycle open now (none once the run has
  // stopped), and the counts it goes on from: a procedure that cut into the run gives them
  // back at its end.
  std::array<int, 2> EndedCycleCounts() const;
  void SetCycleCounts(const std::array<int, 2>& counts);
  // The next cycle counts from one: the run stopped (also when the next starts before an
  // idle pass has cleared the counts: a Run in the Stop's line, a switch of instruments),
  // was started (again, or while a procedure held the acquisitions), or became a counted
  // one (CountRunAfresh). The counts read on until then.
  void RestartCounts() { countsRestart_ = true; }
  int RecoveryWait() const { return recoveryWait_; }
  bool AutoscalePending() const { return autoscalePending_; }

 private:
  static int Slot(int channel) { return channel == 3 ? 1 : 0; }

  void AcquisitionPhaseStep();
  void StartAcqCycle();
  bool HasChannelsToRead() const;
  void SetAcqDataReady();
  void SelectRecordToRead();
  void ReadNextRecord();
  void CountReadPass();
  void EndAcqCycle();
  void PrepareRecord(int channel, int step);
  void PrepareVertical(int channel, TSignalObj& record, IAcqLayer* layer);
  void PrepareHorizontal(int channel, int step, TSignalObj& record);
  void ChooseStoreMode(int channel, int settingsChannel, int recordIndex);
  // A record cut short (stopped, broken, failed) is not published: each channel record it
  // was read into gets back what it held before, on the screen too.
  void KeepRecord(int channel, int recordIndex, int recLen, IAcqLayer* layer, TAcqLayerKind layerKind);
  void GiveBackCutRecords();
  void StartRecord(uint8_t kind);
  int RecordStartWaitMs() const;
  bool ReadRecordBlock();
  // Acquiring: the cycle ran for Run or for a Single (cleared just before).
  void FinishAcqCycle(bool acquiring);
  void StopWhenCountReached();
  void CloseCycle();
  void UpdateDerivedSignals();
  void AutoSaveRecord();
  void ResetAcqCounters();
  void IdleWhenStopped();
  // The memory copy, disk save and disk load asked for; true when any was.
  bool ServeRequests();
  void RecoverLink();

  IClock& clock_;
  IAcqSettings* settings_;
  TDefaultAcqSettings defaults_;
  IRecordSimSource* sim_ = nullptr;
  bool linked_ = false;
  std::unique_ptr<ITimer> flagRegisterTimer_;
  std::unique_ptr<ITimer> autoCalTimer_;
  TPointStore store_;

  // Phase flags.
  bool acqStarted_ = false;
  bool acqDataReady_ = false;
  bool acqRecordRead_ = false;
  bool cycleOpen_ = false;
  bool startingRecord_ = false;
  bool autoscalePending_ = false;

  // Per-cycle bookkeeping by channel slot (0 = Ch1, 1 = Ch2).
  bool commonSettings_ = false;
  bool commonToRead_ = false;
  std::array<bool, 2> channelToRead_{};
  std::array<int, 2> readCount_{};
  std::array<int, 2> readTarget_{};
  std::array<int, 2> cycleCount_{};
  std::array<int, 2> openCycleCounted_{};  // what the open cycle added to cycleCount_
  bool countsRestart_ = false;             // see RestartCounts
  int interleaveStep_ = 2;
  int recordSubStep_ = 0;
  uint8_t readKind_ = 2;

  // Per-record state.
  bool useInstrument_ = false;
  std::array<bool, kChannelRecordCount> freshRecord_{};
  uint16_t recLen_ = 0;
  uint16_t nAvg_ = 1;
  double tbDelay_ = 0;
  int firstCode_ = 2;
  int lastCode_ = 2;
  int currentCode_ = 2;
  std::array<int16_t, 2> pointWords_{};
  bool overrunBeeped_ = false;  // the record has brought more points than it holds
  bool recordWhole_ = true;     // no record was started and left unfinished
  std::array<uint16_t, kSimulatorBlockSlots> simBlock_{};
  std::array<std::array<int16_t, kMaxRecLen>, 2> runCodes_{};  // per channel slot

  // What a channel record held before the record being read was prepared into it.
  struct TKeptRecord {
    bool Held = false;
    int Index = 0;
    TSignalObj Header;
    std::vector<double> Points;  // those the new record may write
    bool ChangedA = false;
    bool ChangedB = false;
    bool Fresh = false;
    uint16_t AverageCount = 0;
    IAcqLayer* Layer = nullptr;
    TAcqLayerKind LayerKind = TAcqLayerKind::Dots;
  };
  std::array<TKeptRecord, 2> kept_;  // per channel slot

  int recoveryWait_ = 0;
};

// The program's cycle: created at start-up with the program's clock and timer factory,
// connected to the link and reading the settings nodes (ProgramAcqSettings); freed at exit.
TAcquisitionCycle& CreateAcquisitionCycle(IClock& clock, ITimerFactory& timers);
void DestroyAcquisitionCycle();
// EAssertion before CreateAcquisitionCycle.
TAcquisitionCycle& AcquisitionCycle();
bool AcquisitionCycleExists();

// Run control: clear the flags and tell the "*Run" (and "*StopSingle") controls. They need
// no cycle, so the settings can stop a run before one exists.
void StopRun();
void StopRunAndSingle();
// A procedure that takes the acquisitions runs (autoscale, a calibration, a search, the
// low-jitter reference; not the jitter analysis, a mode of the user's run), or the cycle
// being finished ran for one. Its acquisitions are not the user's run's: the
// run's stop conditions (the count, the mask and limit tests) wait until then, and what the
// run keeps (its automatic save, the tests' counts and files, a recording) takes none of them.
bool ProcedureRunning();
// The run counts its cycles from here when it is a counted one: switched to a count, or a
// setup recalled while it runs. The cycle open now is dropped; the next counts from one.
void CountRunAfresh();
// Sets RunFlag; the "*Run" controls are told only of a change.
void SetRunFlag(bool on);

// The records' shown axes against those of the last check (FlagOfScalesChange), and the
// controls that read them relabelled where they changed: after each cycle, and when records
// are put back outside one. RefreshScaleReadouts is its second half, for a check made.
void CheckRecordScales();
void RefreshScaleReadouts();

// The program-wide entry points on the program's cycle.
bool AcquisitionIdleStep();
void SuspendAcquisition();
void ResumeAcquisition();

}  // namespace norv
