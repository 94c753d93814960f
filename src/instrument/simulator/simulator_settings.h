#pragma once
// Settings of the simulated instrument's four signal generators A..D and of its
// calibration source, in the units the settings show (volts, seconds, hertz, degrees,
// percent). The settings nodes push them into the simulator through its setters.

#include <cstdint>

namespace norv {

enum class TSimWaveform : uint8_t { Sinewave, Pulse, Prbs, Tdr, Tdt };
// Item order of the circuit choices; Off means no circuit is attached.
enum class TSimTdrCircuit : uint8_t { Off, Open, Short, R50, Rx, RR5015050, Lx, Cx };
enum class TSimTdtCircuit : uint8_t { Off, Stimul, DB6NS3, RR5015050, Lx, Cx };
// Takt: the scope triggers on the bit clock; Kadr: on the pattern start.
enum class TSimPrbsTrigger : uint8_t { Takt, Kadr };

// What feeds a channel: nothing, one of the generators A..D (1..4) or the calibration
// source.
inline constexpr int kSimSourceNone = 0;
inline constexpr int kSimGeneratorCount = 4;
inline constexpr int kSimSourceCalibration = 5;

struct TSimGenerator {
  TSimWaveform Waveform = TSimWaveform::Sinewave;
  double Amplitude = 0.5;  // V peak to peak
  double Frequency = 1e8;  // Hz; the bit rate of a PRBS generator
  int TDROvershot = 10;    // %
  int TDRSkol = 5;         // % of slow settling tail
  TSimTdrCircuit TDRCircuit = TSimTdrCircuit::Open;
  TSimTdtCircuit TDTCircuit = TSimTdtCircuit::Stimul;
  double Jitter = 2e-12;     // s, sigma
  double PulseWidth = 1e-9;  // s
  double RiseTime = 1e-10;   // s, 10-90 %
  double FallTime = 1e-10;   // s, 90-10 %
  double Phase = 0;          // degrees
  double DeltaPhase = 0;     // degrees added at every record
  double Offset = 0;         // V
  double Noise = 0.002;      // V, sigma
  double PosOvershot = 0;    // %
  double NegOvershot = 0;    // %
  double Droop = 0;          // %
  bool PrbsRz = false;
  TSimPrbsTrigger PrbsTrigger = TSimPrbsTrigger::Takt;
  int PrbsLength = 0;           // index 0..3 of the orders 5, 7, 11, 15
  bool PrbsPowerOfTwo = false;  // length 2^N instead of 2^N - 1
  double PeriodJitter = 0;      // % of the period
  double InterSymbIJ = 0;       // % of the bit period
  double DutyCycleDist = 0;     // % of the bit period
  double SubRateJit = 0;        // % of the bit period
  int SubRateDiv = 2;
};

// The factory settings of generator 1..4 (A..D): A a sine, B a pulse, C and D PRBS (D in
// RZ coding) with more noise and jitter and a negative offset.
TSimGenerator DefaultSimGenerator(int generator);

// Pattern order of a ":PrbsLength" index 0..3 (5, 7, 11, 15); other indexes give 5.
int PrbsOrderFromIndex(int index);

// The instrument's internal calibration source as the simulator models it: a DC level or
// a square wave (between 0 and Volt, or between -Volt and +Volt) of the given period.
enum class TSimCalMode : uint8_t { Off, DC, UniMeander, BiMeander };
struct TSimCalibrationSource {
  TSimCalMode Mode = TSimCalMode::Off;
  double Volt = 0;       // V
  double Period = 8e-8;  // s
};

// The O/E converter of the optics option feeding a channel: the generator's swing, from
// its waveform's lowest level up, is read as optical power (kSimOpticalWattsPerVolt; a
// positive generator offset adds steady light, and light never goes below none) and comes
// out times the selected gain (V/W), plus an offset of kSimDarkVoltsPerPercent for every
// percent the dark level lies below the converter's own zero (a higher dark level pulls
// the output down).
inline constexpr double kSimOpticalWattsPerVolt = 1e-3;
inline constexpr double kSimDarkVoltsPerPercent = 0.002;
inline constexpr double kSimDefaultDarkZero = 47.3;  // %
struct TSimOpticalInput {
  bool On = false;
  bool LightConnected = true;  // off while a dark-level calibration has the light taken away
  double Gain = 1;             // V/W
  double DarkLevel = 0;        // %
};

}  // namespace norv
