#pragma once
// The trigger settings under "Trig:": source, free-run or triggered mode, level, slope and
// hysteresis of the external direct input, the internal clock rate, a hold-off whose
// minimum follows time base A, an external attenuation for the level display, and the
// pattern lock, which locks the acquisition to a repeating bit pattern so that a chosen
// bit of it is shown.

#include <cstdint>

namespace norv {

class TRadioSwHandler;
class TOnOffHandler;
class TDoubleEditHandler;
class TIntEditHandler;
class TRightCommandHandler;

enum TTrigSource : uint8_t { TrigSourceDirect = 0, TrigSourceExtHF = 1, TrigSourceIntClock = 2, TrigSourceClockRecov = 3 };
enum TPatternLockMode : uint8_t { plmOff = 0, plmAutoDetect = 1, plmManual = 2 };

inline TRadioSwHandler* hTrigSource = nullptr;
inline TRadioSwHandler* hTrigHeadPower = nullptr;
inline TDoubleEditHandler* hTrigExtLevel = nullptr;
inline TDoubleEditHandler* hTrigIntRate = nullptr;
inline TRadioSwHandler* hTrigMode = nullptr;
inline TRadioSwHandler* hTrigSlope = nullptr;
inline TDoubleEditHandler* hTrigHoldoff = nullptr;
inline TRadioSwHandler* hTrigHister = nullptr;
inline TOnOffHandler* hTrigLowJitter = nullptr;
inline TDoubleEditHandler* hTrigRefFreq = nullptr;
inline TIntEditHandler* hTrigRefDivider = nullptr;
inline TRadioSwHandler* hTrigAttenUnit = nullptr;
inline TDoubleEditHandler* hTrigAttenRatio = nullptr;
inline TDoubleEditHandler* hTrigAttenDB = nullptr;
inline TRadioSwHandler* hTrigPatternLockMode = nullptr;
inline TDoubleEditHandler* hTrigDataRate = nullptr;
inline TIntEditHandler* hTrigIntDivider = nullptr;
inline TIntEditHandler* hTrigExtDivider = nullptr;
inline TIntEditHandler* hTrigPattLen = nullptr;
inline TIntEditHandler* hTrigPattDelay = nullptr;
inline TOnOffHandler* hTrigPattAddDelay = nullptr;
inline TRightCommandHandler* hTrigResetPattLock = nullptr;
inline TIntEditHandler* hTrigPattScanBits = nullptr;
inline TOnOffHandler* hTrigPattEyeLine = nullptr;

// Unit state.
inline bool HoldoffFollowsTimeBase = false;
inline double PatternClockRate = 0.0;  // Hz, 0 while the lock is off
inline bool PatternIsPrbs = false;
inline int32_t PatternLength = 127;
inline int32_t PatternDivider = 1;
inline uint16_t LastPatternDelay = 0;
inline bool LowJitterActive = false;

void RegisterTriggerCommands();
void ApplyTriggerSettings();

int TriggerSourceIndex();
bool TriggerModeIsTriggered();
void SetTriggerModeByProgram(bool triggered);
// Sets "Trig:ExtLevel" (instrument volts) by program.
void SetTriggerLevel(double volts);
double TriggerAttenuation();

double GetMinHoldoff();
void UpdateHoldoffLimit();
void CheckHoldoffFollowsTimeBase();
void UpdateHoldoffMax();
void SetTriggerIntClockDefault();
void ScaleTriggerIntRate();

// Pattern lock.
void SetPatternLength(int32_t length);
// Measures the pattern clock and sets the dividers and the data rate from it; the rate.
// keepAcquisition as for QueryPatternTrigFreq.
double MeasurePatternRate(bool keepAcquisition);
// The periodic check: drops the lock when its clock has gone. Leaves the acquisition
// running unless a record is being streamed.
void CheckPatternLockRate();
void PatternScanStep();
bool PatternLockOn();

}  // namespace norv
