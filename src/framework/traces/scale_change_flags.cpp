#include "framework/traces/scale_change_flags.h"

#include "framework/settings/program_objects.h"

namespace norv {

TFlagOfScalesChange FlagOfScalesChange;
const TProgramUnit ScaleChangeUnit("scale change flags", [] { FlagOfScalesChange = {}; });

void TFlagOfScalesChange::Check(const ITraceScaleSource& source) {
  const int format = source.DisplayFormatIndex();
  formatChanged_ = format != displayFormat_;
  displayFormat_ = format;
  anyChanged_ = formatChanged_;
  for (int i = 0; i < kRecordTraceCount; ++i) {
    const auto id = static_cast<TTraceId>(i);
    if (!source.IsTraceOn(id)) continue;
    TTraceRecord& trace = traces_[i];
    const TTraceScales now = source.ReadScales(id);
    trace.Changed = formatChanged_ || now != trace.Last;
    if (!trace.Changed) {
      trace.ShownCountChanged = false;
      continue;
    }
    anyChanged_ = true;
    trace.ShownCountChanged = now.ShownCount != trace.Last.ShownCount;
    if (trace.ShownCountChanged) trace.PrevShownCount = trace.Last.ShownCount;
    trace.Last = now;
  }
}

const TFlagOfScalesChange::TTraceRecord& TFlagOfScalesChange::Record(TTraceId id) const {
  static const TTraceRecord kNoRecord;
  return IsRecordTrace(id) ? traces_[TraceIndex(id)] : kNoRecord;
}

}  // namespace norv
