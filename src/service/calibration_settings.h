#pragma once
// The settings nodes that mirror the instrument's calibration and adjustment constants,
// the commands that recall and store them, and the record of unsaved changes.
//
// Every constant node sends its raw code to a connected instrument as soon as it changes
// and takes back the code the instrument answers. A time-out or a reply that is no number
// is no answer: the node keeps its value, nothing is sent back and the user is told.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/flash_constants.h"

namespace norv {

class THandler;
class TDoubleEditHandler;
class TIntEditHandler;
class TRadioSwHandler;
class TRightCommandHandler;

enum class TConstantSet : uint8_t { Calibration, Adjustment };
// How a raw code becomes the node's value.
enum class TCodeKind : uint8_t { Raw, Srd, StrobeAmplitude, StrobeDelay, ChoiceIndex, CoarseTB, LevelZero };

double ValueFromCode(TCodeKind kind, int32_t raw);
int32_t CodeFromValue(TCodeKind kind, double value);

// One constant held in one node: the instrument command is Group + Name, and Name is the
// key in the section prefix + Group of "CalibrImit.ini".
struct TConstantNode {
  std::string Node;
  std::string Group;
  std::string Name;
  TConstantSet Set = TConstantSet::Calibration;
  TCodeKind Kind = TCodeKind::Raw;
  int32_t IniDefault = 0;
  THandler* Handler = nullptr;
  // The code the last recall read and the value the node took from it. The node holds a
  // code only to its resolution, so while it keeps that value its code is the one read:
  // a store gives back what it did not change.
  std::optional<int32_t> ReadCode = std::nullopt;
  double ReadValue = 0;

  std::string Command() const { return Group + Name; }
  double Value() const;
  int32_t Code() const { return ReadCode && Value() == ReadValue ? *ReadCode : CodeFromValue(Kind, Value()); }
  void SetByProgram(double value) const;
  // Sets the node from a code read, and remembers the code.
  void SetFromReadCode(int32_t raw);
};

// One channel and band: its bridge voltages (sent as the codes PlusD and MinusD) and its
// gain fix (a text); the other constants of the group are TConstantNodes.
struct TChannelBandGroup {
  std::string Prefix;      // "Calibr:Sampler:Ch1:FullBW:"
  std::string NodePrefix;  // "FLASH:Calibr:Ch1Full:"
  bool Narrow = false;
  TDoubleEditHandler* BridgeVolt = nullptr;
  TDoubleEditHandler* Balance = nullptr;
  TRadioSwHandler* GainFix = nullptr;
  // As TConstantNode::ReadCode, for the pair.
  std::optional<TBridgeCodes> ReadCodes = std::nullopt;
  TBridgeValues ReadValues = {};

  TBridgeCodes Codes() const;
  void SetFromReadCodes(TBridgeCodes codes);
};

struct TCalibrationState {
  TFlashChange FlashChange;
  std::vector<TConstantNode> Constants;  // in registration order
  // Ch1 full, Ch1 narrow, Ch2 full, Ch2 narrow.
  std::array<TChannelBandGroup, 4> Groups;
  TRightCommandHandler* CalibrStoreAll = nullptr;
  TRightCommandHandler* AdjustStoreAll = nullptr;
  TIntEditHandler* AutocalResult = nullptr;
  TRadioSwHandler* ChannelsBW = nullptr;
  TSamplerTimeBaseCal SamplerTimeBase;
  // The adjustment page is open: a calibration change marks the adjustment set as well.
  bool AdjustmentPageOpen = false;
  // The last instrument temperature (degrees C), answered by "Calibr:Temperature".
  double Temperature = 0.0;
  // Nesting of answers set back into nodes; the node change of an answer sends once more.
  int AnswerDepth = 0;
  // While a recall or an answer sets several nodes at once, their handlers send nothing.
  bool Quiet = false;
  // A recall has set the nodes; before it they hold registration values, not constants.
  bool ConstantsRead = false;
  // What the nodes held when a recall failed before any had set them, so that a later
  // store tells the user's changes from registration values.
  std::optional<TFlashNodeValues> UnreadValues = std::nullopt;
};
TCalibrationState& CalibrationState();
void ResetCalibrationState();

const TConstantNode* FindConstant(std::string_view node);
TConstantNode* FindConstantByCommand(std::string_view group, std::string_view name);

void RegisterCalibrationCommands();
void AdaptCalibrationNodesToModel();
void ApplyCalibrationSettings();
bool RecallCalibrationConstants();
bool RecallAdjustmentConstants();
// The commands "FLASH:Calibr:StoreAll" and "FLASH:Adjust:StoreAll": the store, and the
// changed flags cleared when it succeeded.
bool StoreCalibrationConstants();
bool StoreAdjustmentConstants();

// Sends a channel group's bridge codes and takes the instrument's answer back.
void SendBridgeCodes(TChannelBandGroup& group);

// The registration, apply and model-limits slots.
void FillCalibrationSlots();
// The shell's and the simulator's hooks.
void InstallCalibration();

// The user is told that the instrument gave no usable answer to `command`.
void ReportNoAnswer(const std::string& command);

// Sends a constant's code to a connected instrument once more and takes its answer back.
void ResendConstant(std::string_view node);

}  // namespace norv
