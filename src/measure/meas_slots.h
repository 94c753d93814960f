#pragma once
// The measurement slots: at most ten chosen measurements, each of one source (and a
// second source for the dual groups) with its last value, unit text, running statistics
// (slots 0..3 only) and annotation labels; the catalogue of the 53 measurements; and the
// one writer of results.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "framework/settings/value_text.h"
#include "framework/traces/trace_names.h"
#include "measure/meas_labels.h"
#include "measure/meas_statistics.h"

namespace norv {

inline constexpr int kMeasSlotCount = 10;
inline constexpr int kMeasStatSlotCount = 4;
inline constexpr int kMeasCatalogueSize = 53;

// Every measurement result is this when nothing could be measured; compared exactly.
inline bool IsUndefined(double v) { return v == UndefinedValue; }

enum TMeasGroup : uint8_t {
  mgTime = 0,
  mgSpectrumX = 1,
  mgDualX = 2,
  mgAmplitude = 3,
  mgSpectrumY = 4,
  mgDualY = 5,
};

// Indices within the groups.
enum TTimeMeas : uint8_t {
  tmPeriod,
  tmFrequency,
  tmPosWidth,
  tmNegWidth,
  tmRiseTime,
  tmFallTime,
  tmPosDuty,
  tmNegDuty,
  tmPosCrossing,
  tmNegCrossing,
  tmBurstWidth,
  tmCycles,
  tmTimeOfMax,
  tmTimeOfMin,
  tmPosJitterPp,
  tmPosJitterRms,
  tmNegJitterPp,
  tmNegJitterRms,
};
enum TAmplMeas : uint8_t {
  amMaximum,
  amMinimum,
  amPeakPeak,
  amTop,
  amBase,
  amAmplitude,
  amMiddle,
  amMean,
  amDcRms,
  amAcRms,
  amArea,
  amCycleMean,
  amCycleDcRms,
  amCycleAcRms,
  amCycleArea,
  amPosOvershoot,
  amNegOvershoot,
};
enum TDualXMeas : uint8_t { dmPhaseDeg = 8, dmPhaseRad = 9, dmPhasePerc = 10 };

// What a result's unit text is made of.
enum class TMeasUnit : uint8_t {
  Horizontal,
  Hz,
  Percent,
  None,
  DB,
  Degree,
  Rad,
  Vertical,
  VerticalHorizontal
};

struct TMeasEntry {
  uint8_t Group;
  uint8_t Index;
  const char* Key;  // language key of the name
  TMeasUnit Unit;
  uint8_t RangeKind;  // 0 signed, 1 not negative, 2 0..100 %
};

// The 53 measurements in group and index order.
std::span<const TMeasEntry> MeasCatalogue();
const TMeasEntry* FindMeasEntry(uint8_t group, uint8_t index);
// Dual measurements have a second source.
constexpr bool IsDualGroup(uint8_t group) { return group == mgDualX || group == mgDualY; }
constexpr bool IsSpectrumGroup(uint8_t group) { return group == mgSpectrumX || group == mgSpectrumY; }

class TParameterOfMeas {
 public:
  TParameterOfMeas(TTraceId source, uint8_t index, uint8_t group, TTraceId source2);

  uint8_t Group;
  double Value = UndefinedValue;
  TTraceId Source;
  uint8_t LimitMark = 0;
  uint8_t HisticonVisible = 0;
  uint8_t ResultsValid = 0;
  uint8_t Index;
  std::unique_ptr<TStatH> Statistics;  // slots 0..3, made with the first result
  std::string UnitText;
  TTraceId Source2;
  uint32_t TestedCount = 0;
  uint32_t FailCount = 0;
  TAnnSet Annotations;
};

// The language text of the measurement's name; nothing outside the catalogue.
std::optional<std::string> MeasName(const TParameterOfMeas& slot);
// Name + " (" + source + ")"; dual X: name + "  " + source + "-" + source 2; dual Y:
// name + "  " + source 2 + " / " + source.
std::string MeasCaption(const TParameterOfMeas& slot);
// The unit text of the slot's result, from its source record's units.
std::string MeasUnitText(const TParameterOfMeas& slot);
// 0 signed, 1 not negative, 2 0..100 % (the limit tests' default limits).
uint8_t MeasRangeKind(const TParameterOfMeas& slot);

// Stores a result; slots 0..3 also feed their statistics with defined values.
void SetMeasResult(TParameterOfMeas& slot, int slotNumber, const std::string& unitText, double value);
// A fresh TStatH named after the slot's caption, with the mode of the settings and its
// picture in the slot's strip line.
void CreateMeasStatistics(TParameterOfMeas& slot, int slotNumber);
// Mode and depth of the statistics from the global settings.
void ApplyStatMode(TParameterOfMeas& slot);
void SetHisticonVisible(TParameterOfMeas& slot, bool visible);
void SetMeasResultValid(TParameterOfMeas& slot, bool valid);
void SetLimitMark(TParameterOfMeas& slot, uint8_t mark);
// Clears the jitter histogram when a jitter measurement exists, then the statistics of
// slots 0..3.
void ResetMeasStatistics();

}  // namespace norv
