#pragma once
// The bridge between the instrument's calibration and adjustment constants (raw codes in
// its flash) and the settings nodes that mirror them: the raw-code conversions, recall and
// store with an instrument, and "CalibrImit.ini" in the program folder without one.
//
// A recall from the instrument reads every group first and sets the nodes only when all of
// them answered, so a time-out or a reply that is no number never reaches a node (nor,
// through its change handler, the instrument). A recall from the file sets every node: a
// key that holds no value gives its default and the user is told which. A store succeeds
// only on the instrument's answer 3 or a file that was written whole.
//
// A store into the file while no recall has set the nodes (the file could not be read)
// reads the file first: a node the user changed since keeps its value, every other takes
// the file's. A file that still cannot be read is left alone and the store fails.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/node_access.h"

namespace norv {

inline constexpr const char* kCalibrImitFileName = "CalibrImit.ini";
inline constexpr int kFlashStoreWaitMs = 1500;
inline constexpr int32_t kFlashStoredAnswer = 3;

// --- raw codes and values ---

struct TBridgeCodes {
  int32_t PlusD = 0, MinusD = 0;
};
struct TBridgeValues {
  double BridgeVolt = 0, Balance = 0;
};
TBridgeValues BridgeFromCodes(TBridgeCodes codes);
TBridgeCodes CodesFromBridge(TBridgeValues values);

double SrdFromCode(int32_t raw);  // amperes
int32_t CodeFromSrd(double amperes);
double StrobeAmplitudeFromCode(int32_t raw);  // %
int32_t CodeFromStrobeAmplitude(double percent);
double StrobeDelayFromCode(int32_t raw);  // s
int32_t CodeFromStrobeDelay(double seconds);
double CoarseTBFromCode(int32_t raw);  // s
int32_t CodeFromCoarseTB(double seconds);
double LevelZeroFromCode(int32_t raw);  // mV, whole
int32_t CodeFromLevelZero(double millivolts);

// --- the change record ---
struct TFlashChange {
  bool CalibrationChanged = false;
  bool AdjustmentChanged = false;
  // A change of either flag enables or disables its store command.
  void SetCalibrationChanged(bool value);
  void SetAdjustmentChanged(bool value);
};
TFlashChange& FlashChange();

// The section prefix of "CalibrImit.ini": family word + "Adjust." or "Calibr.".
std::string CalibrImitSectionPrefix(bool adjustmentSet);

// Recall modes: 0 the calibration set ("Calibr:ReRead"), 1 the adjustment set
// ("Calibr:AdjRecall"), 2 the initial values ("Calibr:SetInitialVal"). False when the
// nodes were left as they were (a failure the user has been told of, or a refused
// initial-values question); both changed flags are cleared only on success.
bool RecallFlashConstants(uint8_t mode);
// Stores the adjustment or the calibration set (into the file, the adjustment set goes into
// both). False when the instrument did not confirm the store into flash or the file could
// not be written (the user is told).
bool StoreFlashConstants(bool adjustment);

// The sampler time-base correction kept beside the nodes: the interval and the curve
// (count 2..64 values 0..65535).
struct TSamplerTimeBaseCal {
  int32_t CalIntrvlA = 68267;
  std::vector<uint16_t> Curve{0, 65535};
};
const TSamplerTimeBaseCal& SamplerTimeBaseCal();

// What the constant nodes hold, each value under the name of its node (or of its
// instrument command, for the groups kept outside these nodes).
using TFlashNodeValues = std::map<std::string, double>;

// A read-only view of both constant sets as they stand now, for reports: each constant's
// node path, its value text as a query answers it, and its raw code.
struct TFlashConstantEntry {
  std::string Node;
  std::string ValueText;
  std::string Raw;
};
struct TFlashConstantsSnapshot {
  std::vector<TFlashConstantEntry> Calibration;
  std::vector<TFlashConstantEntry> Adjustment;
  TSamplerTimeBaseCal SamplerTimeBase;
  bool CalibrationChanged = false;
  bool AdjustmentChanged = false;
};
TFlashConstantsSnapshot FlashConstantsSnapshot();

}  // namespace norv
