#pragma once
// The "TDR:" settings: the mode, the per-channel destination, polarity, vertical unit and
// reference levels, the horizontal distance unit with the line's propagation, and the
// measurement sources' margins; the rules that keep them consistent with each other and
// with the generator; the mode and unit queries the rest of the program asks.

#include <array>
#include <cstdint>
#include <string>

#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"
#include "units/tdr_units.h"

namespace norv {

class TRadioSwHandler;
class TCheckSwHandler;
class TOnOffHandler;
class TIntEditHandler;
class TDoubleEditHandler;
class TRightCommandHandler;

enum TTdrModeIndex : uint8_t { tmOff = 0, tmTDR = 1, tmTDT = 2 };
enum TTdrDestination : uint8_t { tdOff = 0, tdG1 = 1, tdG2 = 2, tdExternal = 3 };
enum TTdrHorScale : uint8_t { thTime = 0, thMeter = 1, thFoot = 2, thInch = 3 };
inline constexpr int kTdrSourceCount = 4;  // Ch1, Ch2, NormCh1, NormCh2
inline constexpr int kTdrMenuId = 17;

struct TTdrChannelNodes {
  TRadioSwHandler* Destination = nullptr;
  TRadioSwHandler* Polar = nullptr;
  TRadioSwHandler* VertScale = nullptr;
  TRadioSwHandler* VertTDTScale = nullptr;
  TRightCommandHandler* DoVertCalibr = nullptr;
  TDoubleEditHandler* RefAmpl = nullptr;
  TDoubleEditHandler* RefTDTAmpl = nullptr;
  TDoubleEditHandler* RefTDTZero = nullptr;
  TDoubleEditHandler* BaseLine = nullptr;
  TDoubleEditHandler* RefPlane = nullptr;
  TDoubleEditHandler* NormTime = nullptr;
  TOnOffHandler* Normalize = nullptr;
  bool Calibrated = false;         // a calibration or normalization was accepted
  bool Warned = false;             // the measurement warning was shown
  bool InternalGenerator = false;  // G1 or G2 feeds the channel

  // The reference values a channel calibration finds and stores (TDR or TDT).
  std::array<TDoubleEditHandler*, 3> References(bool tdr) const {
    if (tdr) return {RefAmpl, BaseLine, RefPlane};
    return {RefTDTAmpl, RefTDTZero, RefPlane};
  }
};

struct TTdrSourceNodes {
  TCheckSwHandler* TdrParams = nullptr;
  TCheckSwHandler* TdtParams = nullptr;
  TIntEditHandler* LeftMargins = nullptr;
  TIntEditHandler* RightMargins = nullptr;
};

struct TTdrSettingsState {
  TRadioSwHandler* Mode = nullptr;
  TRadioSwHandler* ChSelect = nullptr;  // "Shadow:TDRChSelect"
  TRadioSwHandler* HorScale = nullptr;
  TRadioSwHandler* Unit = nullptr;
  TDoubleEditHandler* Velos = nullptr;
  TDoubleEditHandler* DielConst = nullptr;
  TOnOffHandler* Measure = nullptr;
  TRadioSwHandler* Source = nullptr;
  TOnOffHandler* ViewMargins = nullptr;
  std::array<TTdrChannelNodes, 2> Channels{};  // [0] Ch1 (code 2), [1] Ch2 (code 3)
  std::array<TTdrSourceNodes, kTdrSourceCount> Sources{};
};
TTdrSettingsState& TdrSettings();
void ResetTdrSettingsState();

// What the TDR settings ask of the pages and the calibration unit above them.
struct TTdrHooks {
  // The TDR side menu goes back to its first page.
  THook<void()> ResetTdrMenuPage{"TdrHooks.ResetTdrMenuPage"};
  // The channel calibration dialog, shown modally; true when it ended with OK (in TDT
  // mode it has then saved its reference to M4).
  THook<bool(int channel, TTraceId trace, bool tdr, bool fromCommand)> RunChannelCalibration{
      "TdrHooks.RunChannelCalibration"};
};
inline TTdrHooks TdrHooks;

// Creates the nodes once (nothing when "TDR:Mode" exists).
void RegisterTDRHandlers();
// The apply pass (only with the TDR option).
void ApplyTDRSettings();
// Disables the channels whose traces are off in "Shadow:TDRChSelect" and moves the choice
// to one that is on; then the destination rules.
void UpdateTDRChannelSelect();

// --- queries; channel is the channel code 2 or 3 ---
bool IsTDRActive(int channel = 2);
bool IsTDRMode(int channel = 2);
double GetTDRDivisor(int channel = 2);
std::string GetTDRModeText();
double GetPropagationFactor();
// 0 Volt, 1 Rho, 2 Ohm, 3 Gain.
TTdrVertUnit GetTDRVertUnit(int channel, bool raw);
TTdrChannelNodes& TdrChannel(int channel);
// The trace of a measurement source 0..3: Ch1, Ch2, F1, F2.
TTraceId TdrSourceTrace(int source);
std::string TdrSourceName(int source);

// Fills the settings, acquisition and marker hooks the TDR unit answers.
void InstallTdr();

}  // namespace norv
