#pragma once
// The "Gen:" settings of the two-output generator: their nodes, the enabling and limits
// that follow the mode, the commands they send (the senders send nothing without the
// generators option), the link to the trigger and the per-output zero constants.

#include <array>
#include <cstdint>
#include <string>

#include "framework/util/hook.h"

namespace norv {

class TRadioSwHandler;
class TIntEditHandler;
class TDoubleEditHandler;

enum TGenMode : uint8_t { gmOff = 0, gmStep = 1, gmCoarseTB = 2, gmPulse = 3, gmNRZ = 4, gmRZ = 5 };

// The generator's time step: periods, clocks, delays and widths are sent as counts of it.
inline constexpr double kGenTimeStep = 8e-9;

struct TGenOutputNodes {
  TRadioSwHandler* Polarity = nullptr;
  TIntEditHandler* Deskew = nullptr;
  TRadioSwHandler* ModeOffset = nullptr;
  TIntEditHandler* Offset = nullptr;
  TIntEditHandler* PositiveZero = nullptr;  // under "FLASH:"
  TIntEditHandler* NegativeZero = nullptr;
};

struct TGeneratorSettingsState {
  TRadioSwHandler* Mode = nullptr;
  TDoubleEditHandler* PulsePeriod = nullptr;
  TDoubleEditHandler* NrzClock = nullptr;
  TDoubleEditHandler* RzClock = nullptr;
  TIntEditHandler* StepsDelay = nullptr;
  TDoubleEditHandler* Delay = nullptr;
  TDoubleEditHandler* PulseWidth = nullptr;
  TRadioSwHandler* Length = nullptr;
  TRadioSwHandler* TrigPRBS = nullptr;
  std::array<TGenOutputNodes, 2> Outputs{};
};
TGeneratorSettingsState& GeneratorSettings();
void ResetGeneratorSettingsState();

// What the generator asks of the calibration unit above it.
struct TGeneratorHooks {
  // A zero constant changed: the flash constants differ from the stored ones.
  THook<void()> SetCalibrationChanged{"GeneratorHooks.SetCalibrationChanged"};
};
inline TGeneratorHooks GeneratorHooks;

// Creates the nodes once (nothing when "Gen:Mode" exists).
void RegisterGeneratorHandlers();
// The apply pass: the mode sequence, then every setting's command.
void SendAllGeneratorSettings();
// "Gen:Out1:" for output 0, "Gen:Out2:" for output 1.
std::string GetGenOutPrefix(int output);
// The "Gen:Mode" index with the generators option, else Off.
TGenMode GetGeneratorMode();
bool IsGeneratorPulseOrPattern();
// The step count of the current mode's period or clock (0 in the other modes).
int32_t GeneratorPeriodCount();

// The zero constants as the flash keeps them: output 1 positive and negative, then output 2.
using TGenZeroConstants = std::array<int32_t, 4>;
TGenZeroConstants GeneratorZeroConstants();
// Sets them from a recall (clamped into the nodes' range); the instrument is not asked.
void SetGeneratorZeroConstants(const TGenZeroConstants& zeros);

// Fills the settings hook the trigger asks.
void InstallGenerators();

}  // namespace norv
