#pragma once
// The coupled limit rules of the channel, time-base, trigger and acquisition settings, as
// plain functions of the values they join, so each rule is checked on its own and the
// settings units only wire them to their nodes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/settings/acquisition_settings.h"

namespace norv {

// --- time base (10 divisions across the screen, 4000 screen units) ---

// Largest "TB:ScaleA": 0.05 s per division for an instrument with the new timing logic
// (firmware 3.7.4 and logic 0.3 or later) or with no real instrument; 0.002 s otherwise.
inline constexpr double TimeBaseMaxOld = 0.002;
inline constexpr double TimeBaseMaxNew = 0.05;
inline constexpr double TimeBaseMin = 1e-11;
double TimeBaseModelMaximum(bool realInstrument, bool newTimingLogic);
// The smallest "TB:ScaleB": a ten-thousandth of A, not below 1e-11 s.
double TimeBaseResolution(double scaleA);
// How far (in divisions of A) the B window can be delayed: the rest of the screen.
double DelayMaximum(double scaleA, double scaleB);
// What is left for the second window behind the first.
double DeltaDelayMaximum(double scaleA, double scaleB, double delay);

struct TTimeBaseWindows {
  int Start1 = 0;
  int Start2 = 0;
  int Width = 0;
};
// The B window(s) on the A display in screen units, rounded to whole units.
TTimeBaseWindows TimeBaseWindowMarks(double scaleA, double scaleB, double delay, double deltaDelay);

// The sampler time-base correction table: blank-separated upper-case hexadecimal numbers,
// the count 2..64 first, then that many values 0..FFFF. Anything else is refused.
std::optional<std::vector<uint16_t>> ParseSamplerCalCurve(std::string_view text);
std::string FormatSamplerCalCurve(const std::vector<uint16_t>& values);

// --- trigger ---

inline constexpr double HoldoffMaxOld = 0.03072;
inline constexpr double HoldoffMaxNew = 1.0;
inline constexpr double HoldoffDivisions = 15.0;
// Largest hold-off: 1 s, except a connected real instrument without the new timing logic.
double HoldoffMaximum(bool realInstrument, bool newTimingLogic);
// 5e-6 s; 5e-5 s for firmware below 3.10.2 when fitted to single-valued signals.
double MinimumHoldoff(bool fitToSingle, bool firmwareBefore3_10_2);
// The hold-off minimum that follows time base A.
double HoldoffLimit(double scaleA, double minimumHoldoff);
// After a change of the limit: the hold-off moves to the limit when it lies below it, or
// when it follows the time base and lies above it. Gives the new value when it moves.
std::optional<double> HoldoffAfterLimitChange(double holdoff, double limit, bool follows);
// A hold-off the user sets follows A when it is 15 divisions within 1 % of a division.
bool HoldoffFollowsAfterEdit(double holdoff, double scaleA);
// After a setup recall: follows when it is exactly 15 divisions.
bool HoldoffFollowsExactly(double holdoff, double scaleA);

// Trigger attenuation and channel attenuation: Off 1, Ratio the ratio, DB 10^(dB/20).
double AttenuationFactor(int unitIndex, double ratio, double db);

// The pattern the lock follows.
struct TPatternLimits {
  bool IsPrbs = false;   // 2^k - 1 and below 32768
  int32_t Divider = 1;   // external x internal trigger divider
  int32_t MaxDelay = 0;  // of "Trig:PattDelay"
};
TPatternLimits PatternDelayLimits(int32_t length, int32_t extDivider, int32_t intDivider);
// "Pattern:Length" carries two periods of a pattern up to 32767 bits.
int32_t PatternLengthCommandValue(int32_t length);
// The start bit in the instrument's count: a PRBS pattern runs at a divided clock, so the
// bit is found in the pattern shifted by the divider.
int32_t PatternDelayToInstrument(int32_t delay, int32_t length, int32_t divider, bool isPrbs);
// The next start bit of the eye-line scan.
int32_t NextScanDelay(int32_t lastDelay, int32_t startBit, int32_t scanBits);
// The pattern lock needs a clock of at least 10 MHz.
inline constexpr double MinimumPatternRate = 1e7;
// Trigger-path divider of the measured pattern clock: the instrument's prescaler up to
// 1.004 GHz, else the one measured with (8 on a real instrument, 1 simulated).
int32_t PatternPrescaler(double rate, int32_t measuredPrescaler);
// Divider of the trigger source: Direct 1, ExtHF 32, IntClock 1, ClockRecov 4.
int32_t TriggerSourceFactor(int sourceIndex);

// --- channels and acquisition ---

// Acquired-channel set code: both 4, Ch1 only 2, Ch2 only 3.
int AcquiredSetCode(bool ch1, bool ch2);
// Records per acquisition of an acquisition mode.
inline constexpr int32_t EndlessEnvelope = 1000000;
int32_t AcquisitionCount(TAcqMode mode, int32_t nAvg, int32_t nEnv);

}  // namespace norv
