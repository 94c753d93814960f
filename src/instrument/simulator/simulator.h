#pragma once
// The simulated instrument. It produces the same sample stream as a real one (per point
// the code of channel 1, then of channel 2, and $8000 at the end of the record), so the
// acquisition cycle reads both alike. Each code is a simulated generator's value at a
// simulated sampling instant, 16000 codes per volt, with noise, averaged over NAvg
// sub-samples. Every random draw comes from the one source it is given, so a seed
// reproduces a record word for word.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

#include "framework/util/numeric_utils.h"
#include "instrument/simulator/psp.h"
#include "instrument/simulator/simulator_hooks.h"
#include "instrument/simulator/simulator_settings.h"
#include "instrument/simulator/simulator_waveforms.h"

namespace norv {

class TSimulator {
 public:
  explicit TSimulator(TRandomSource& random);
  TSimulator(const TSimulator&) = delete;
  TSimulator& operator=(const TSimulator&) = delete;

  TRandomSource& Random() { return random_; }

  // The link's "a record request is running" flag; until bound the simulator keeps its
  // own.
  void BindAcquiringFlag(bool& acquiring) { acquiring_ = &acquiring; }
  bool Acquiring() const { return *acquiring_; }

  // Record geometry, told by the setting senders. Record length and NAvg below 1 count
  // as 1; channel set 2 is channel 1 only, 3 channel 2 only, 4 both (others as 2).
  void SimSetRecLen(int recLen);
  void SimSetNAvg(int nAvg);
  void SimSetTimeDiv(double secondsPerDiv);
  void SimSetDelay(double seconds);
  void SimSetChannels(int channelSet);

  // Pattern position of PRBS generators triggered by the bit clock. The span draws a new
  // random start inside it and reapplies the offset (the pattern delay, in bits).
  void SimSetPatternSpan(int span);
  void SimSetPatternOffset(int offset);
  // Pattern lock: the kept position only moves by whole pattern steps; a new random
  // start is drawn. The span and the lock set the step of both pattern models at once.
  void SimSetPatternOn(bool on);
  // The lock's additional delay: one bit more.
  void SimSetPatternAddDelay(bool on) { patternAddDelay_ = on; }
  // Step delay of the TDR/TDT generator in coarse strobe steps.
  void SimSetStepDly(int steps) { stepDelaySteps_ = steps; }
  // While an autoscale triggers on the internal clock, the clock has no relation to the
  // signal: every point lands at a random instant of the signal's period (or bit).
  void SimSetAutoscaleMode(bool on) { autoscaleMode_ = on; }
  bool SimAutoscaleMode() const { return autoscaleMode_; }
  // Jitter of the trigger (s, sigma): each point's sampling instant moves by the same
  // amount on both channels, as a late or early trigger moves the strobe.
  void SimSetTriggerJitter(double sigma) { triggerJitter_ = std::isfinite(sigma) && sigma > 0 ? sigma : 0; }

  // Generators 1..4 (A..D); other indexes are ignored (reading gives A).
  void SimSetGenerator(int generator, const TSimGenerator& settings);
  const TSimGenerator& SimGenerator(int generator) const;
  // Source of channel 2 or 3: kSimSourceNone, a generator 1..4 or kSimSourceCalibration.
  void SimSetChannelSource(int channel, int source);
  int SimChannelSource(int channel) const;
  // The channel's offset setting (V).
  void SimSetChannelOffset(int channel, double volts);
  void SimSetOpticalInput(int channel, const TSimOpticalInput& input) { optical_[SlotOf(channel)] = input; }
  const TSimOpticalInput& SimOpticalInput(int channel) const { return optical_[SlotOf(channel)]; }
  // The dark level (%) at which the converter's output carries no offset.
  void SimSetOpticalDarkZero(double percent) { opticalDarkZero_ = percent; }
  void SimSetCalibrationSource(const TSimCalibrationSource& source) { calibrationSource_ = source; }

  // Starts one simulated record in place of "ACQ:GO"; raises EAssertion when a record is
  // already being acquired, and sets the acquiring flag.
  void SimStartRecord();
  // Paces the stream: False while the simulated instrument is still "sampling".
  bool SimRecordReady();
  // The next 16-bit stream word; $8000 once the record is complete.
  uint16_t SimNextSample();

  // Reads the channel's source settings for the next record (channel 2 or 3).
  void SimSetupChannel(int channel);
  // Code of one sub-sample of the channel at the current sampling instant; -1 without a
  // source.
  int SimChannelSample(int channel);

  // Pushes the PRBS settings of each channel's generator into its pattern model.
  void BuildPrbsGenerators();
  // The strobe timing of the simulated hardware: its factory values, or the current
  // calibration constants.
  void LoadSimulatorTiming(bool fromSettings);

  // "Frequency" of the generator feeding the channel, or of generator A when none does.
  double SimChannelFrequency(int channel) const;
  // Sets the circuit of the generator feeding the channel (nothing without one) and
  // tells SimGeneratorEditedHook.
  void SetSimTDRCircuit(int channel, TSimTdrCircuit circuit);
  void SetSimTDTCircuit(int channel, TSimTdtCircuit circuit);

  // The pattern model of channel 2 or 3.
  TPSP& PrbsModel(int channel) { return prbs_[SlotOf(channel)]; }

 private:
  struct TTiming {
    double CoarseStep = 4.6e-9;
    int FirstCode = 18333;
    double OddOffset = 1e-12;
    int SecondCode = 36387;
  };
  // Strobe position: coarse count and fine code (units of kFineCodeSeconds).
  struct TStrobe {
    int64_t Coarse = 0;
    int64_t Fine = 0;
  };
  struct TChannelState {
    int Source = kSimSourceNone;
    TSimGenerator Settings;  // of the generator feeding it, as of the record start
    double OffsetCodes = 0;
    double AmplitudeCodes = 0;
    double GeneratorOffsetCodes = 0;
    double NoiseCodes = 0;
    double Period = 1e-8;
    double Phase = 0;         // turns
    double PeriodJitter = 0;  // s
    TPulseShape Pulse{1e-10, 1e-10, 1e-9, 0, 0, 0};
    TStepEdge Edge{10, 5};
    TSimOpticalInput Optical;
  };

  static int SlotOf(int channel) { return channel == 3 ? 1 : 0; }
  static bool IsGenerator(int source) { return source >= 1 && source <= kSimGeneratorCount; }
  TSimGenerator* FedGenerator(int channel);
  bool ChannelActive(int slot) const;
  double GeneratorValue(TChannelState& c, int slot, double t);
  // The converter's output (codes) for the generator's shape value y.
  double OpticalSignal(const TChannelState& c, double y) const;
  double PrbsValue(TChannelState& c, int slot, double t);
  int CalibrationSample(const TChannelState& c, double t);
  TStrobe SplitTime(double seconds) const;
  void Normalize(TStrobe& strobe) const;
  double StrobeSeconds(const TStrobe& strobe) const;
  double FineDelay(int64_t fine) const;
  double SampleInterval() const;
  int PatternStep() const;
  void SetModelPatternSteps();
  void AdvancePhase(TChannelState& c, const TSimGenerator& g) const;
  void PlaceStrobe();

  TRandomSource& random_;
  bool ownAcquiring_ = false;
  bool* acquiring_ = &ownAcquiring_;

  int recLen_ = 512;
  int nAvg_ = 1;
  double timeDiv_ = 1e-9;
  double delay_ = 0;
  int channelSet_ = 4;

  int patternSpan_ = 127;
  int patternStart_ = 0;
  int patternOffset_ = 0;
  int64_t patternPosition_ = 0;
  bool patternOn_ = false;
  bool patternAddDelay_ = false;
  int stepDelaySteps_ = 0;
  bool autoscaleMode_ = false;
  double triggerJitter_ = 0;

  std::array<TSimGenerator, kSimGeneratorCount> generators_;
  std::array<int, 2> channelSource_{1, 2};
  std::array<double, 2> channelOffset_{};
  TSimCalibrationSource calibrationSource_;
  std::array<TSimOpticalInput, 2> optical_{};
  double opticalDarkZero_ = kSimDefaultDarkZero;
  std::array<TChannelState, 2> channels_;
  std::array<TPSP, 2> prbs_;

  TTiming timing_;
  TSimCalibrationNodes calibration_;
  TSimModelFamily family_ = TSimModelFamily::L;
  double stepDelay_ = 0;
  double phaseDrift_ = 0;

  TStrobe strobe_;
  double instant_ = 0;       // s, of the current point
  double strobeJitter_ = 0;  // s, of the current sub-sample
  int pointIndex_ = 1;
  std::optional<uint16_t> pendingWord_;
  int waitCounter_ = 1;
  int waitTarget_ = 1;
};

// The program's simulator, drawing from ProgramRandom(); created on first use and held by
// ProgramObjects.
TSimulator& ProgramSimulator();

}  // namespace norv
