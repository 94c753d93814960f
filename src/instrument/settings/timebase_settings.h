#pragma once
// The horizontal settings under "TB:": the main time base A, the delayed time base B with
// the modes A, AB and B, the delay of B in divisions of A, a second delayed window, and
// the horizontal unit in which scales are edited (time, bit periods of a standard rate,
// or metres, feet and inches while TDR/TDT measures distance). The time scales are the
// masters; the other unit scales follow them by conversion.

#include <array>
#include <cstdint>
#include <string>

namespace norv {

class TRadioSwHandler;
class TOnOffHandler;
class TDoubleEditHandler;
class TIntEditHandler;

// The standard serial data rates.
class TBitRateValue {
 public:
  static constexpr int Capacity = 64;
  TBitRateValue();
  int Count() const { return count_; }
  // The rate (b/s) of entry 0..63; 0 for an entry not filled.
  double GetRate(int index) const;
  // "51M84" and "51.84 Mb/s" for 51.84e6 b/s.
  const std::string& Mnemonic(int index) const;
  const std::string& DisplayText(int index) const;
  // The mnemonics joined by "," (the items of "TB:BitRate").
  std::string MnemonicList() const;
  // The display texts, each in double quotes, joined by ",".
  std::string DisplayList() const;

 private:
  struct TEntry {
    double Rate = 0;
    std::string Mnemonic;
    std::string Display;
  };
  int count_ = 0;
  std::array<TEntry, Capacity> entries_;
};

const TBitRateValue& BitRateValue();

// Horizontal unit kinds.
enum THorizontalUnit : uint8_t { huTime = 0, huBit = 1, huMetre = 2, huFoot = 3, huInch = 4, huNone = 5 };
// "TB:Mode".
enum TTimeBaseMode : uint8_t { tbmA = 0, tbmAB = 1, tbmB = 2 };

// The unit's state: its nodes and what it remembers between changes, held in one place so
// that it is reset as a whole.
struct TTimeBaseSettingsState {
  TRadioSwHandler* Units = nullptr;
  TRadioSwHandler* BitRate = nullptr;
  TDoubleEditHandler* CustomBit = nullptr;
  TRadioSwHandler* Mode = nullptr;
  // Scales of A and B per unit kind (time, bit, metre, foot, inch).
  std::array<TDoubleEditHandler*, 5> ScaleA{};
  std::array<TDoubleEditHandler*, 5> ScaleB{};
  TDoubleEditHandler* Delay = nullptr;
  TDoubleEditHandler* BitDelay = nullptr;
  TOnOffHandler* DualDel = nullptr;
  TDoubleEditHandler* DeltaDel = nullptr;
  TIntEditHandler* StartBit = nullptr;
  TIntEditHandler* StopBit = nullptr;

  // The largest "TB:ScaleA" of the connected model (0.002 s until the first check).
  double TimeBaseMaximum = 0.002;
  // The maximum of "TB:ScaleA" in force: the model's, or the narrower one of the pattern lock.
  double ScaleAMax = 0.002;
  // The unit whose scale was edited: it is converted into time, the others from it.
  THorizontalUnit EditedUnit = huNone;
  // "TB:Units" before its change.
  uint8_t UnitsBefore = 0;
  // A scale set by program counts as the user's edit (SetTimeBaseScale).
  bool ProgramCountsAsUser = false;
  // Both time scales are being set together: their follow-ups wait until both are stored.
  bool BothScalesPending = false;
};
TTimeBaseSettingsState& TimeBaseSettings();
// Back to the start state: no nodes, the maximum of a model not yet checked.
void ResetTimeBaseSettingsState();

void RegisterTimeBaseCommands();
void ApplyTimeBaseSettings();
// After the identity is read: the model maximum and the limits of A.
void AdaptTimeBaseToModel();
void UpdateTimeBaseMax();

THorizontalUnit GetHorizontalUnitKind();
// "Scale", "BitScale", "ScaleMetre", "ScaleFoot" or "ScaleInch".
const char* ScaleMnemonic(THorizontalUnit kind);
// Time (s or s/div) into the unit and back.
double TimeToUnit(THorizontalUnit kind, double seconds);
double UnitToTime(THorizontalUnit kind, double value);

double GetTimeScaleA();
double GetTimeScaleB();
double GetActiveTimeScale();
bool IsTimeBaseModeAB();
TTimeBaseMode GetTimeBaseMode();
double GetTimeBaseResolution();
// Start of a channel's record (s): in mode B the delay of the (second) window plus the
// channel's deskew, otherwise the deskew.
double GetRecordStartTime(int channel, bool secondWindow);
// Sets the time scale of A or B by program as if the user had edited it.
void SetTimeBaseScale(bool scaleB, double seconds);
// A drag on the screen: adds 10 x fraction divisions to the delay or the delta delay.
void ShiftTimeBaseDelay(bool delta, double fraction);
// Recomputes the time scales from the unit scales (after a bit-rate change).
void RecalcTimeBaseScales();
// Binds the main window's horizontal controls and refreshes the enabling.
void ApplyHorizontalUnits(bool rebind);
// Sends "TB:TIMEDIV" and "TB:DELAY" through the caching senders.
void SendTimeBase();
// Sets the maximum of "TB:ScaleA" (the pattern lock narrows it) and runs the limit rule.
void SetTimeBaseScaleAMax(double max);

}  // namespace norv
