#pragma once
// The mask test: while "Mask:Test" is on and a mask is loaded, every shown point of the
// compared record is tested as the acquisition stores it; after each acquisition the
// counts go to the bottom strip, the run-until rule is checked, and a failed waveform
// beeps and/or is saved. The "Mask:", "Automask:" and "StdMask:" settings, "Mask:Res" and
// the failure file names live here too.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "framework/traces/trace_names.h"

namespace norv {

class TRadioSwHandler;
class TOnOffHandler;
class TCheckSwHandler;
class TIntEditHandler;
class TDoubleEditHandler;
class TGpibStringHandler;
class TRightCommandHandler;
class TComplexObjectHandler;
class TSignalSourceSwHandler;

inline constexpr int kMaskMenuId = 15;

// Counter indexes.
enum TMaskCounter : int { mcAllWfm = 0, mcAllSmpl = 1, mcFailWfm = 2, mcFailSmpl = 3, mcPoly = 4 };
enum TMaskRunUntil : uint8_t { mruStopBtn, mruFailedWfms, mruFailedSmpls, mruWfms, mruSamples };
enum TMaskAction : uint8_t { maBeep, maSave };
enum TMaskFileFormat : uint8_t { mffBinary, mffVerbose, mffYOnly };

struct TMaskState {
  TRightCommandHandler* EraseMask = nullptr;
  TRadioSwHandler* CompareWith = nullptr;
  TOnOffHandler* Test = nullptr;
  TGpibStringHandler* MaskFile = nullptr;
  TRightCommandHandler* SaveUser = nullptr;
  TRightCommandHandler* LoadUser = nullptr;
  TRadioSwHandler* RunUntil = nullptr;
  TIntEditHandler* FailWfms = nullptr;
  TIntEditHandler* FailSmpls = nullptr;
  TIntEditHandler* NWfms = nullptr;
  TIntEditHandler* NSamples = nullptr;
  TCheckSwHandler* Action = nullptr;
  TRadioSwHandler* FileFormat = nullptr;
  TGpibStringHandler* FileName = nullptr;
  TSignalSourceSwHandler* AutoSource = nullptr;
  TRadioSwHandler* AutoUnit = nullptr;
  TDoubleEditHandler* AutoDeltaX = nullptr;
  TDoubleEditHandler* AutoDeltaY = nullptr;
  TRightCommandHandler* BuildAMask = nullptr;
  TOnOffHandler* StdAlign = nullptr;
  TOnOffHandler* StdMarginsOn = nullptr;
  TIntEditHandler* StdMarginsVal = nullptr;
  TIntEditHandler* StdIndex = nullptr;
  TIntEditHandler* StdMaskIndex = nullptr;
  TComplexObjectHandler* MaskObject = nullptr;

  // 64-bit: a 32-bit count of samples passes 2^31 within a day of testing.
  std::array<uint64_t, 12> Counters{};
  bool FailedWaveform = false;
  bool NewData = false;
  // What the results panel was last laid out for; -1: not shown.
  int ShownPolygonCount = -1;
  bool ShownMargins = false;

  // "Mask:MaskFile": folder and name of the user mask, no extension.
  std::string UserMaskStem;
  // Failure files: stem (folder and name, no extension; empty: folder + "Noname") and the
  // number of the next file (0: none yet, so no suffix).
  std::string FileStem;
  uint32_t FileCounter = 0;
  // The folder a name given by command last named, where the plain names after it go;
  // empty: the user-mask folder, the mask-test-files folder.
  std::filesystem::path UserMaskFolder, FileFolder;
};
TMaskState& MaskSettings();
void ResetMaskState();

// --- registration ---
void RegisterMaskHandlers();
void RegisterMaskResultObject();
void ApplyMaskSettings();
// Fills the acquisition's mask hooks.
void InstallMaskTest();

// --- the test ---
bool MaskTestOn();
// 0 (Ch1) or 2 (Ch2) by "Mask:CompareWith".
int GetMaskCompareSignal();
// The trace the mask is tested on, and whose screen shows it.
TTraceId MaskComparedTrace();
void ClearMaskTestCounters();
// Tests points firstIndex .. firstIndex + pointCount - 1 of the record against the mask; each
// hit adds count to the counters and marks the point on the error layer.
void CountMaskHitsInRun(int recordIndex, int firstIndex, int pointCount, uint64_t count = 1);
void MaskTestAfterAcquisition();
void ShowMaskResults();
void UpdateMaskHitTexts();
// Writes the compared record to NextMaskFileName; the counter then grows.
bool SaveFailedWaveform();
std::string MaskFileStem();
std::string NextMaskFileName();
// "Mask:Res": the reply to the parameter.
std::string MaskRemoteCommand(const std::string& param);
// Test, run-until and action enabled only with a mask and the histogram off.
void UpdateMaskMenuEnabling();
// Undo of the mask state, then the change.
void SaveMaskUndo();

// --- automask ---
// The horizontal and vertical margins of the automask from "Automask:DeltaX"/"Deltay".
int AutomaskDX(double deltaX);
int AutomaskDY(double deltaY);
// Builds the two-polygon automask of the record's shown points.
void BuildAutomask(int source, int dX, int dY);
// From the settings' source; a source not shown or without a record is refused.
void BuildAutomaskFromSettings();
// The delta edits follow the source's units in Current mode.
void RefreshAutomaskControls();

}  // namespace norv
