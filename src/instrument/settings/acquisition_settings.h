#pragma once
// The acquisition settings under "Acq:": fitted to multi- or single-valued signals, both
// channels sampled together or alternately, the mode of each channel (samples, averages,
// envelopes, peak detection) with its count or interval and record length, when a run
// ends and what happens then, and the auto-save file format and name. The acquisition
// cycle reads them through the getters below (channel code 2 Ch1, 3 Ch2; with common
// settings Ch1's answer for both).

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "framework/util/dialog_service.h"

namespace norv {

class TRadioSwHandler;
class TCheckSwHandler;
class TIntEditHandler;
class TDoubleEditHandler;
class TGpibStringHandler;

// "Acq:ChN:Mode" items.
enum class TAcqMode : uint8_t {
  Sample,
  AvgStab,    // averaged by the program over NAvg acquisitions
  AvgMult,    // averaged by the instrument
  AvgMedian,  // likewise
  EnvMinMax,
  EnvMax,
  EnvMin,
  Peak,
};
// "Acq:FileFormat" items.
enum class TAcqFileFormat : uint8_t { Binary, Verbose, YOnly };

struct TAcqChannelNodes {
  TRadioSwHandler* Mode = nullptr;
  TIntEditHandler* NAvg = nullptr;
  TIntEditHandler* NEnv = nullptr;
  TDoubleEditHandler* PkInterval = nullptr;
  TIntEditHandler* RecLen = nullptr;
};

// The unit's state: its nodes and what it remembers, held in one place so that it is
// reset as a whole.
struct TAcquisitionSettingsState {
  TRadioSwHandler* MenuSel = nullptr;
  TIntEditHandler* LNonChanged = nullptr;
  TRadioSwHandler* FitTo = nullptr;
  TRadioSwHandler* Sampl = nullptr;
  TRadioSwHandler* RunUntil = nullptr;
  TIntEditHandler* NAcq = nullptr;
  TCheckSwHandler* React = nullptr;
  TRadioSwHandler* FileFormat = nullptr;
  TGpibStringHandler* FileName = nullptr;
  // Per channel, index 0 Ch1 and 1 Ch2.
  std::array<TAcqChannelNodes, 2> ChannelNodes{};

  // AvgMult is the mode of Ch1.
  bool AvgMultSelected = false;
  // Folder and base name of auto-saved waveforms; no folder yet: the program's folder of
  // acquisition files.
  std::filesystem::path AutoSaveFolder;
  std::string AutoSaveBaseName;
  // "Acq:React" before its change, so that a change sees which reactions were added.
  uint32_t ReactBefore = 0;
  // The command that last asked for the auto-save.
  TRequestOrigin ReactSaveOrigin;
};
TAcquisitionSettingsState& AcquisitionSettings();
// Back to the start state: no nodes, no auto-save name.
void ResetAcquisitionSettingsState();

void RegisterAcquisitionCommands();
void ApplyAcquisitionSettings();

// The channel is fed by a simulator generator ("GSS:Ch1" or "GSS:Ch2" not Off).
bool IsSimulatorAssigned(int channel);
bool BothChannelsEqual();
bool UseCommonAcqSettings();
TAcqMode GetAcqMode(int channel);
int32_t GetAcqNAvg(int channel);
double GetAcqPkInterval(int channel);
int32_t GetAcqRecLen(int channel);
int32_t GetAcqCount(int channel);
double PeakIntervalRatio(int channel);
bool IsAcqFitToMulti();
bool IsAcqFitToSingle();
bool AcqReactBeep();
bool AcqReactSave();
int GetAcqMenuChannel();
// Sends "Acq:SmplMode" when the fit-to choice differs from the mode last sent.
void ApplyAcqFitTo();
void ApplySamplingOrderRule();
// The auto-save folder and base name ("Noname" in the folder until one is given).
std::string AutoSaveBase();
// The auto-save name as the query answers it: base name, "*" and the format's extension.
std::string AutoSaveNamePattern();

}  // namespace norv
