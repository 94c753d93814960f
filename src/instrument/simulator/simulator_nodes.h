#pragma once
// The settings nodes of the simulated instrument's four generators A..D ("GSS:"), of the
// channels' generator choice, and of the instrument's calibrator outputs and automatic
// calibration schedule ("Util:"). Every change is pushed into the program's simulator at
// once, so demo mode shows it in the next record.

#include <array>
#include <cstdint>

#include "framework/util/hook.h"

namespace norv {

class TRadioSwHandler;
class TCheckSwHandler;
class TIntEditHandler;
class TDoubleEditHandler;

// Waveform items of ":Waweform".
enum TGssWaveform : uint8_t { gwSinewave = 0, gwPulse = 1, gwPrbs = 2, gwTdr = 3, gwTdt = 4 };
// Items of "Util:VCalMode", "Util:HCalMode" and "Util:CalibrWhen".
enum TVCalMode : uint8_t { vcmOff = 0, vcmDC = 1, vcmUniMeander = 2, vcmBiMeander = 3 };
enum THCalMode : uint8_t { hcmOff = 0, hcmClock = 1, hcmIntChan = 2, hcmIntChShift = 3 };
inline constexpr uint32_t CalibrWhenPowerOn = 1, CalibrWhenPeriod = 2, CalibrWhenTemperat = 4;

struct TGssGeneratorNodes {
  TRadioSwHandler* Waveform = nullptr;
  TDoubleEditHandler* Amplitude = nullptr;
  TDoubleEditHandler* Frequency = nullptr;
  TIntEditHandler* TDROvershot = nullptr;
  TIntEditHandler* TDRSkol = nullptr;
  TRadioSwHandler* TDRCircuit = nullptr;
  TRadioSwHandler* TDTCircuit = nullptr;
  TDoubleEditHandler* Jitter = nullptr;
  TDoubleEditHandler* PulseWidth = nullptr;
  TDoubleEditHandler* RiseTime = nullptr;
  TDoubleEditHandler* FallTime = nullptr;
  TDoubleEditHandler* Phase = nullptr;
  TDoubleEditHandler* DeltaPhase = nullptr;
  TDoubleEditHandler* Offset = nullptr;
  TDoubleEditHandler* Noise = nullptr;
  TDoubleEditHandler* PosOvershot = nullptr;
  TDoubleEditHandler* NegOvershot = nullptr;
  TDoubleEditHandler* Droop = nullptr;
  TRadioSwHandler* StdFreq = nullptr;
  TRadioSwHandler* PrbsMode = nullptr;
  TRadioSwHandler* PrbsTrigger = nullptr;
  TRadioSwHandler* PrbsLength = nullptr;
  TRadioSwHandler* PrbsLenMode = nullptr;
  TDoubleEditHandler* PeriodJitter = nullptr;
  TDoubleEditHandler* InterSymbIJ = nullptr;
  TDoubleEditHandler* DutyCycleDist = nullptr;
  TDoubleEditHandler* SubRateJit = nullptr;
  TIntEditHandler* SubRateDiv = nullptr;
};

struct TSimulatorNodesState {
  TRadioSwHandler* Lang = nullptr;
  TRadioSwHandler* VCalMode = nullptr;
  TDoubleEditHandler* VCalVolt = nullptr;
  TRadioSwHandler* HCalMode = nullptr;
  TDoubleEditHandler* ClcPeriod = nullptr;
  TCheckSwHandler* CalibrWhen = nullptr;
  TDoubleEditHandler* CalPeriod = nullptr;
  TDoubleEditHandler* TempChange = nullptr;
  std::array<TRadioSwHandler*, 2> Channel{};  // "GSS:Ch1", "GSS:Ch2"
  TRadioSwHandler* GssSelect = nullptr;
  TDoubleEditHandler* TrigJitter = nullptr;  // "GSS:TrigJitter"
  std::array<TGssGeneratorNodes, 4> Generators{};
  // "Shadow:Lang" changed; the stopped-state idle step switches the language.
  bool LanguageChangePending = false;
  // Open generator pages follow the waveform of the generator shown.
  THook<void()> RefreshGssWaveformPage{"SimulatorNodes.RefreshGssWaveformPage"};
};
TSimulatorNodesState& SimulatorNodes();

void RegisterSimulatorCommands();
void ApplySimulatorSettings();
// Without a real instrument the channels are fed by A and B and no automatic calibration
// runs; with one the channels are fed by nothing.
void AssignSimulatorGenerators();
// TDR mode 1 turns TDT generators into TDR and disables TDT; 2 the reverse; 0 enables
// both (TDR only with its option).
void SyncSimulatorWithTdrMode(int mode);
// The waveform of the generator chosen by "SHADOW:GssSelect".
int GetSelectedGeneratorWaveform();
// The calibrator's clock period follows the trigger source (hooked to its change).
void OnHCalModeChange();

}  // namespace norv
