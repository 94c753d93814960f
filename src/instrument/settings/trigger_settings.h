#pragma once
// The trigger settings under "Trig:": source, free-run or triggered mode, level, slope and
// hysteresis of the external direct input, the internal clock rate, a hold-off whose
// minimum follows time base A, an external attenuation for the level display, and the
// pattern lock, which locks the acquisition to a repeating bit pattern so that a chosen
// bit of it is shown.

#include <cstdint>
#include <vector>

#include "instrument/settings/setting_rules.h"

namespace norv {

class TRadioSwHandler;
class TOnOffHandler;
class TDoubleEditHandler;
class TIntEditHandler;
class TRightCommandHandler;

enum TTrigSource : uint8_t {
  TrigSourceDirect = 0,
  TrigSourceExtHF = 1,
  TrigSourceIntClock = 2,
  TrigSourceClockRecov = 3
};
enum TPatternLockMode : uint8_t { plmOff = 0, plmAutoDetect = 1, plmManual = 2 };

// The unit's state: its nodes and what it keeps beside them, held in one place so that it
// is reset as a whole.
struct TTriggerSettingsState {
  TRadioSwHandler* Source = nullptr;
  TRadioSwHandler* HeadPower = nullptr;
  TDoubleEditHandler* ExtLevel = nullptr;
  TDoubleEditHandler* IntRate = nullptr;
  TRadioSwHandler* Mode = nullptr;
  TRadioSwHandler* Slope = nullptr;
  TDoubleEditHandler* Holdoff = nullptr;
  TRadioSwHandler* Hister = nullptr;
  TOnOffHandler* LowJitter = nullptr;
  TDoubleEditHandler* RefFreq = nullptr;
  TIntEditHandler* RefDivider = nullptr;
  TRadioSwHandler* AttenUnit = nullptr;
  TDoubleEditHandler* AttenRatio = nullptr;
  TDoubleEditHandler* AttenDB = nullptr;
  TRadioSwHandler* PatternLockMode = nullptr;
  TDoubleEditHandler* DataRate = nullptr;
  TIntEditHandler* IntDivider = nullptr;
  TIntEditHandler* ExtDivider = nullptr;
  TIntEditHandler* PattLen = nullptr;
  TIntEditHandler* PattDelay = nullptr;
  TOnOffHandler* PattAddDelay = nullptr;
  TRightCommandHandler* ResetPattLock = nullptr;
  TIntEditHandler* PattScanBits = nullptr;
  TOnOffHandler* PattEyeLine = nullptr;

  // The hold-off equals 15 divisions of time base A and follows it.
  bool HoldoffFollowsTimeBase = false;
  // The largest hold-off of the connected model.
  double HoldoffMax = HoldoffMaxOld;
  double PatternClockRate = 0.0;  // Hz, 0 while the lock is off
  bool PatternIsPrbs = false;
  int32_t PatternLength = 127;
  int32_t PatternDivider = 1;
  uint16_t LastPatternDelay = 0;
  bool LowJitterActive = false;
  // The mode the lock was last set up in: a refused change of the mode goes back to it.
  uint8_t PatternLockInForce = 0;
  // The candidate pattern lengths, as the list file was last read (LoadPatternLengthList).
  std::vector<int32_t> PatternLengthList;
};
TTriggerSettingsState& TriggerSettings();
// Back to the start state: no nodes, no pattern lock, an empty pattern-length list.
void ResetTriggerSettingsState();

void RegisterTriggerCommands();
void ApplyTriggerSettings();

int TriggerSourceIndex();
// Runs the source's change: the enabling of the trigger nodes, the source command.
void OnTrigSourceChange();
// Moves the source away and back by program, so that it goes out again with all its
// enabling (after a connection); being the same source, it keeps the low-jitter switch.
void ResendTriggerSource();
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
