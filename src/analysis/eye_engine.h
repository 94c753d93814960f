#pragma once
// The eye measurement: every acquisition of the source goes into the full hit map
// (FullHist); after a cycle of acquisitions the map is analysed for the one and zero
// levels, the two crossings (NRZ) or the pulse edges (RZ) and the eye window, and the
// selected parameters are computed from it and fed into their running statistics.
// Positions are screen units of the source's screen: X 0..4000 across, Y 0..1024 from
// bottom to top; values and times come from the source's record.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/settings/value_text.h"
#include "framework/traces/trace_names.h"
#include "framework/util/hook.h"
#include "framework/util/statistics.h"
#include "measure/meas_labels.h"

namespace norv {

class TSignalObj;

enum TEyeGroup : uint8_t { egNone = 0, egNRZ = 1, egRZ = 2 };
enum TEyeAxis : uint8_t { eaX = 0, eaY = 1 };
inline constexpr int kEyeParamsPerGroup = 4;

// What every eye parameter is, whatever its place in the lists of its group.
enum class TEyeKind : uint8_t {
  // X
  Area,
  BitRate,
  BitTime,
  CrossTime,
  CycleArea,
  DutCycDistP,
  DutCycDistS,
  EyeWidth,
  EyeWidthP,
  FallTime,
  Freq,
  JitterPP,
  JitterRMS,
  Period,
  RiseTime,
  JittPpFall,
  JittPpRise,
  JittRMSFall,
  JittRMSRise,
  NegCross,
  PosCross,
  PosDutyCyc,
  PulseSymm,
  PulseWidth,
  // Y
  AcRMS,
  AvgPower,
  AvgPowerDBm,
  CrossPerc,
  CrossLevel,
  Contrast,
  ContrastDB,
  ContrastP,
  ExtRatioDB,
  ExtRatioP,
  ExtRatio,
  EyeAmpl,
  EyeHeight,
  EyeHeightDB,
  EyeOpenFact,
  Max,
  Mean,
  Mid,
  Min,
  NegOver,
  PPNoiseOne,
  PPNoiseZero,
  RMSNoiseOne,
  RMSNoiseZero,
  OneLevel,
  PeakPeak,
  PosOver,
  RMS,
  SNR,
  SNRdB,
  ZeroLevel,
};

// The parameters of a list ("Eye:XNRZParam" and the like) in item order.
struct TEyeParamList {
  const TEyeKind* Kinds;
  int Count;
};
TEyeParamList EyeParamList(uint8_t group, uint8_t axis);
TEyeKind EyeParamKind(uint8_t group, uint8_t axis, uint8_t index);
// Average power (either unit) is measured at every acquisition, not from the map.
bool IsAveragePower(TEyeKind kind);

struct TEyeParam {
  uint8_t Group = egNone;
  uint8_t Axis = eaX;
  uint8_t Index = 0;
  double Value = UndefinedValue;
  std::string UnitText;
  // The unit of the statistics: that of the last defined result.
  std::string StatUnit;
  TModedStat Stat;
  TAnnSet Annotations;
  TEyeKind Kind() const { return EyeParamKind(Group, Axis, Index); }
};

struct TEyeCrossing {
  double X = 0, Sigma = 0, MinX = 0, MaxX = 0;
};

// Screen rectangle, X low..high and Y low..high.
struct TEyeRect {
  int XLow = 0, XHigh = 4000, YLow = 1, YHigh = 1023;
};

// The settings the engine works with, kept up to date by the "Eye:" nodes.
struct TEyeConfig {
  uint8_t Measure = egNone;  // Off, NRZ, RZ
  TTraceId Source = TTraceId::Ch1;
  int WfmsInCycle = 64;
  bool Statistic = false;
  TStatMode StatMode = TStatMode::Permanent;
  int Window = 8, Weight = 8;
  double LeftBound = 40, RightBound = 60;
  uint8_t TreshMode = 1;  // 10-90, 20-80, Custom
  double UpTresh = 80, LowTresh = 20;
};

// The optical readings average power and the extinction ratio need.
struct TEyeOptics {
  double PowerCode = 0;  // the converter's average-power reading
  double DarkCode = 0;   // its dark-level code
  double Factor = 0;     // conversion factor of the selected calibration point
  double ExtRatioCorrDb = 0;
};

struct TEyeHooks {
  THook<TEyeOptics()> OpticalReadings{"EyeHooks.OpticalReadings"};
};
extern TEyeHooks EyeHooks;

struct TEyeState {
  TEyeConfig Config;
  std::array<std::array<std::unique_ptr<TEyeParam>, kEyeParamsPerGroup>, 2> Params;
  std::array<uint8_t, 2> ParamCount{};
  uint32_t CycleWaveforms = 0;
  uint32_t NextEvaluation = 64;
  // The waveforms behind the statistics besides those of the map being gathered, and of
  // those the map's last analysis measured.
  int64_t MeasuredWaveforms = 0;
  uint32_t MapWaveformsMeasured = 0;
  bool EyeFailed = false;
  uint32_t EyeHintId = 0;
  bool RestartRequested = false;

  double OneLevel = 0, OneSigma = 0, ZeroLevel = 0, ZeroSigma = 0;
  int BandLow = 0, BandHigh = 0;
  double OneMaxY = 0, OneMinY = 0, ZeroMaxY = 0, ZeroMinY = 0;
  double CrossingLevel = UndefinedValue;
  std::array<TEyeCrossing, 3> Crossing{};  // [1] left, [2] right
  int SelectedCrossing = 1;
  int Zone1Start = 0, Zone1End = 0, Zone2Start = 0, Zone2End = 0;
  int EyeWinLeft = 0, EyeWinRight = 0;
  std::array<TEyeCrossing, 3> Edge{};  // RZ: 0 rising, 1 falling, 2 the next rising
  TEyeRect DisplayWindow;
  TEyeRect MeasureWindow;

  // The list of a group (1 NRZ, 2 RZ).
  auto& Group(uint8_t group) { return Params.at(group - 1); }
  uint8_t& Count(uint8_t group) { return ParamCount.at(group - 1); }
};
TEyeState& EyeState();
void ResetEyeState();

// --- analysis ---
// Value and unit of slot n (0-based) of the configured group.
void ComputeEyeParam(int slot);
// The measurement window follows the bounds and thresholds.
void UpdateEyeMeasureWindow();
// Threshold fractions of the configured mode (lower, upper).
std::pair<double, double> EyeThresholdFractions();

// --- the pass and its state ---
void EyeMeasurementPass();
void ClearEyeMeasurement();
void RestartEyeStatistics();
void ApplyEyeStatMode();

// --- the parameter lists ---
bool IsEyeParamSelected(uint8_t group, uint8_t axis, uint8_t index);
void AddEyeParam(uint8_t group, uint8_t axis, uint8_t index);
void RemoveEyeParam(uint8_t group, uint8_t axis, uint8_t index);
// Slot n (0-based) of a group, or nullptr.
TEyeParam* EyeParam(uint8_t group, int slot);
// The waveforms behind a parameter's statistics, with those of the map being gathered;
// the average power counts the acquisitions it measured.
int64_t EyeWaveformsOf(const TEyeParam& p);

// The computations alone, for the parameters' formulas.
// 10 log10(x), undefined for x <= 0 or an undefined x.
double EyeDb10(double x);
double EyeDb20(double x);
// P = 5 (C - D) / 65536 / 8.4 / R; undefined without a factor.
double EyeAveragePowerWatts(const TEyeOptics& optics);
// (L1 - L0) / (s1 + s0); undefined when the sigmas add up to nothing.
double EyeSignalToNoise(double one, double zero, double oneSigma, double zeroSigma);

}  // namespace norv
