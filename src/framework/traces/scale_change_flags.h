#pragma once
// Tells screens and readouts when a trace's axes changed, so they relabel only then. Checked
// once at the end of every acquisition cycle.

#include <array>
#include <cstdint>
#include <string>

#include "framework/traces/trace_names.h"

namespace norv {

// What a waveform record shows of its axes.
struct TTraceScales {
  double FirstShownX = 0;  // horizontal position of the first shown point
  double SpanX = 0;        // record length times sample interval
  std::string XUnit;
  double Offset = 0;  // effective vertical offset
  double Scale = 0;   // effective vertical scale
  std::string YUnit;  // vertical unit as shown
  uint16_t ShownCount = 512;

  bool operator==(const TTraceScales&) const = default;
};

// Where Check reads the present state (filled by the acquisition cycle's owner).
class ITraceScaleSource {
 public:
  virtual ~ITraceScaleSource() = default;
  // Item index of the display format setting ("Displ:Format").
  virtual int DisplayFormatIndex() const = 0;
  virtual bool IsTraceOn(TTraceId id) const = 0;
  // Called only for shown traces with a waveform record.
  virtual TTraceScales ReadScales(TTraceId id) const = 0;
};

class TFlagOfScalesChange {
 public:
  struct TTraceRecord {
    TTraceScales Last;
    uint16_t PrevShownCount = 512;  // the shown count before its last change
    bool Changed = false;
    bool ShownCountChanged = false;
  };

  // Compares every shown trace with what was stored at its last check; a change of the
  // display format marks every shown trace changed. Traces that are off keep their flags.
  void Check(const ITraceScaleSource& source);

  bool ScaleChanged(TTraceId id) const { return Record(id).Changed; }
  bool FormatChanged() const { return formatChanged_; }
  bool AnyChanged() const { return anyChanged_; }
  // Records exist for Ch1..S2 only; any other id reads an unchanged empty record.
  const TTraceRecord& Record(TTraceId id) const;

 private:
  int displayFormat_ = 0;
  bool formatChanged_ = false;
  bool anyChanged_ = false;
  std::array<TTraceRecord, kRecordTraceCount> traces_;
};

// The one instance for the whole run.
extern TFlagOfScalesChange FlagOfScalesChange;

}  // namespace norv
