#include "measure/meas_state.h"

#include <algorithm>
#include <cmath>

#include "framework/settings/program_objects.h"
#include "instrument/settings/channel_settings.h"

namespace norv {

TMeasState MeasState;
TMeasHooks MeasHooks;

namespace {
const TProgramUnit MeasUnit("measurements", [] { MeasState = {}; });
const TProgramUnit MeasHooksUnit("measurement hooks", [] { MeasHooks = {}; });
}  // namespace

void ResetJitterWindowBounds() {
  MeasState.JitterLeft = {4000, 4000};
  MeasState.JitterRight = {0, 0};
}

void ClearJitterHistogram() {
  MeasState.JitterHist.Clear();
  ResetJitterWindowBounds();
}

bool DefaultSourceShown(TTraceId id) { return IsSourceShown(TraceIndex(id)); }

TParameterOfMeas* MeasSlot(int n) {
  if (n < 0 || n >= MeasState.MeasParamCount || n >= kMeasSlotCount) return nullptr;
  return MeasState.MeasParams[static_cast<size_t>(n)].get();
}

void TJitterHitMap::Clear() {
  map_.clear();
  columns_ = 0;
  waveforms_ = 0;
}

bool TJitterHitMap::AddWaveform(const TSignalObj& rec, std::span<const double> values) {
  const int columns = static_cast<int>(values.size());
  const double offset = rec.GetEffOffset(), scale = rec.GetEffScale();
  const double origin = rec.GetFirstShownX(), interval = rec.GetDX();
  const bool restart = columns != columns_ || offset != offset_ || scale != scale_ || origin != origin_ ||
                       interval != interval_;
  if (restart) {
    Clear();
    columns_ = columns;
    offset_ = offset;
    scale_ = scale;
    origin_ = origin;
    interval_ = interval;
  }
  if (map_.empty()) map_.assign(static_cast<size_t>(columns_) * kCodes, 0);
  for (int i = 0; i < columns_; ++i) {
    const double code = std::nearbyint(rec.ValueToScreenY(values[static_cast<size_t>(i)]));
    if (code < 0 || code >= kCodes) continue;
    ++map_[static_cast<size_t>(i) * kCodes + static_cast<size_t>(code)];
  }
  ++waveforms_;
  return restart;
}

TJitterHitMap::TStats TJitterHitMap::Window(int colLeft, int colRight, int codeLow, int codeHigh) const {
  TStats st;
  if (map_.empty()) return st;
  colLeft = std::max(colLeft, 0);
  colRight = std::min(colRight, columns_ - 1);
  codeLow = std::max(codeLow, 0);
  codeHigh = std::min(codeHigh, kCodes - 1);
  double sum = 0, sumSq = 0;
  bool first = true;
  for (int c = colLeft; c <= colRight; ++c) {
    uint64_t hits = 0;
    for (int code = codeLow; code <= codeHigh; ++code) hits += map_[static_cast<size_t>(c) * kCodes + code];
    if (hits == 0) continue;
    if (first) st.MinColumn = c;
    first = false;
    st.MaxColumn = c;
    st.Hits += hits;
    sum += static_cast<double>(hits) * c;
    sumSq += static_cast<double>(hits) * c * c;
  }
  if (st.Hits == 0) return st;
  const double n = static_cast<double>(st.Hits);
  st.MeanColumn = sum / n;
  st.StdDevColumns = std::sqrt(std::max(0.0, sumSq / n - st.MeanColumn * st.MeanColumn));
  return st;
}

}  // namespace norv
