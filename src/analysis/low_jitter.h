#pragma once
// The low-jitter reference: trigger jitter removed from channel 1 with the help of a sine
// on channel 2 sampled at the same instants. Switching "Trig:LowJitter" on measures the
// reference frequency, averages 127 records of the sine, fits an ideal sine to the average
// and turns F4 on with the operator "mmm": each channel-1 sample is then put where the
// channel-2 value of the same sample says it was really taken.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace norv {

class TSignalObj;

// y(t) = Amplitude sin(Omega t + Phase) + Offset, fitted to an averaged reference record.
class TRefSine {
 public:
  // The record's values (point i at firstX + i stepX) and the reference frequency (Hz).
  // Amplitude and offset come from the extremes; the phase from EstimatePhase.
  TRefSine(std::span<const double> values, double stepX, double firstX, double frequency);

  // Moves t to the instant at which the sine takes the value v, on the same half-period
  // as t. Only values within 60 degrees of a zero crossing are used (false otherwise, t
  // unchanged), where the sine is steep enough to tell the time.
  bool CorrectTime(double& t, double v) const;

  double Omega = 0;  // rad/s
  double Amplitude = 0;
  double Phase = 0;  // rad
  double Offset = 0;
  double FirstX = 0;
  double StepX = 0;

 private:
  // Squared deviation of the model with this phase from the record, summed over the
  // points within 60 degrees of a zero crossing (the steep parts).
  double FitError(double phase) const;
  // The phase of least error among from, from + step, ... up to the first one reached
  // from below `to`.
  double ScanPhase(double from, double to, double step) const;
  // Coarse scan over a turn, then two finer ones around the best.
  double EstimatePhase() const;

  std::vector<double> values_;
};

// Channel 1 (data) corrected by channel 2 (reference) of the same acquisition into result:
// the header of data, then each data point at the index of its corrected time (its own
// index when the reference value cannot tell). Points no sample reaches keep their
// contents. False (result untouched) when the two records differ in length. The result
// is a record of its own, neither of the two read.
bool CorrectByReference(const TRefSine& sine, const TSignalObj& data, const TSignalObj& reference,
                        TSignalObj& result);

inline constexpr int kReferencePoints = 1024;
inline constexpr int kReferenceRecords = 127;

struct TLowJitterState {
  std::unique_ptr<TRefSine> RefSineObj;
  std::array<double, kReferencePoints> Accumulator{};
  int32_t Count = 0;
  // From the start of a reference run until its sine is built.
  bool Running = false;
};
TLowJitterState& LowJitterState();

// 2, 4, 8 or 16 for the first of "Div2", "Div4", "Div8", "Div16" on the command line; 1.
int GetPrescalerFromCommandLine();
// "Trig:RefFreq" / "Trig:RefDivider" (Hz).
double GetReferenceFrequency();

// "Trig:LowJitter" on: measures the frequency and starts a reference run. An unreadable
// frequency refuses the run with a message and switches "Trig:LowJitter" off again.
void SetupLowJitterReference();
// "Trig:LowJitter" off: the reference goes; a run still going gives its settings back; F4
// set to "mmm" goes off and back to Add. Every other way out of a run (a Stop, its settings
// set meanwhile, the close) ends it so too.
void CancelLowJitterReference();
// After every acquisition while "Trig:LowJitter" is on: one step of a running reference
// run.
void LowJitterAfterAcquisition();
// The "mmm" operator: F4 from channels 1 and 2 (not computed without a reference sine).
bool LowJitter(int functionIndex, const TSignalObj& source, TSignalObj& result);

// Fills the hooks of the trigger settings, the acquisition cycle and the math functions.
void InstallLowJitter();

}  // namespace norv
