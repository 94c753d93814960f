#pragma once
// Reflection (TDR: minimum and maximum reflection) and transmission (TDT: propagation
// delay, gain, gain in dB) measurements of Ch1, Ch2 and their corrected traces, between
// the margins of each source, with running statistics, one bottom-strip line per
// parameter, annotation labels and the pop-up menu of a line. Lines are added and removed
// by the "TdrParams" / "TdtParams" check sets; every acquisition measures them.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "display/popup_menu.h"
#include "framework/traces/trace_names.h"
#include "framework/util/statistics.h"
#include "measure/meas_labels.h"

namespace norv {

class TSignalObj;
class THandler;

enum TReflectMode : uint8_t { rmTDR = 1, rmTDT = 2 };
enum TTdrParamIndex : uint8_t { tpMinReflect = 0, tpMaxReflect = 1 };
enum TTdtParamIndex : uint8_t { tpPropDelay = 0, tpGain = 1, tpDbGain = 2 };
inline constexpr int kReflectSlots = 10;
inline constexpr int kReflectLinesPerMode = 4;

// One measurement line.
struct TReflectParam {
  TReflectParam(uint8_t mode, uint8_t source, uint8_t param);
  uint8_t Mode;
  double Value;
  TModedStat Stat;
  std::string ValueText;
  TTraceId Trace;  // Ch1, Ch2, F1 or F2
  uint8_t Source;  // 0..3: Ch1, Ch2, NormCh1, NormCh2
  uint8_t Param;
  TAnnSet Annotations;
};

// --- the measurement routines, on one record ---

// The record indices between two screen X margins, clamped to the record; none when the
// window holds no point of it.
struct TIndexWindow {
  int First = 0;
  int Last = 0;
};
std::optional<TIndexWindow> MarginWindow(const TSignalObj& rec, double leftX, double rightX);

// A result and the record index it was found at.
struct TFoundValue {
  double Value;
  int Index;
};
// Reflection in percent of refAmpl: the extreme of s x Y (s -1 for a negative step) over
// the window, from the base line; the first point of the extreme value wins.
TFoundValue MeasureReflection(const TSignalObj& rec, TIndexWindow w, double baseLine, double refAmpl,
                              bool negative, bool maximum);
// Gain: the maximum of s x Y over the window against the record's TDT base and amplitude.
TFoundValue MeasureGain(const TSignalObj& rec, TIndexWindow w);
// Propagation delay: the time of the steepest point of the smoothed edge, minus the
// reference plane. `work` is scratch.
TFoundValue MeasurePropDelay(const TSignalObj& rec, TIndexWindow w, double refPlane, TSignalObj& work);

// --- the lines ---

int ReflectLineCount(uint8_t mode);
TReflectParam* ReflectLine(uint8_t mode, int line);
// "TDR:Mode" as a line mode (0 while TDR/TDT is off).
uint8_t CurrentReflectMode();
void AddReflectParam(uint8_t mode, uint8_t source, uint8_t param);
void RemoveReflectParam(uint8_t mode, uint8_t source, uint8_t param);
// The caption of a line: the parameter's name and the source's.
std::string ReflectParamTitle(const TReflectParam& p);

// After every acquisition, and in the stopped state's idle step.
void TDRMeasurePass();
// The labels must be placed again ("*ClrDispl").
void InvalidateReflectParamLabels();
// The strip after it was blanked: the header and the lines of the current mode.
void ShowReflectParamLines();
// "TDR:Measure" and the check sets of the sources.
void TdrMeasureChanged();
void TdrParamsChanged(THandler& h);
// "TDR:ViewMargins": the margins of the source measured are drawn, or their layer goes.
void TdrViewMarginsChanged();

TPopupMenu BuildReflectParamPopupMenu(int line);
void ReflectParamPopupCommand(const std::string& item, int line);

// Fills the acquisition and screen hooks of the measurements.
void InstallTdrMeasure();
void ResetTdrMeasureState();

}  // namespace norv
