#include "instrument/acquisition/point_store.h"

#include <algorithm>

namespace norv {

void TPointStore::ClearLayers() {
  for (TChannelTarget& t : targets_) t.Layer = nullptr;
}

double TPointStore::CodeToVolts(int channel, double code) const { return Volts(Target(channel), code); }

void TPointStore::AdvanceAverageCount(int recordIndex, int limit) {
  uint16_t& count = averageCount_.at(recordIndex);
  const int cap = std::clamp(limit, 1, 65535);
  count = static_cast<uint16_t>(std::min(count + 1, cap));
}

void TPointStore::StoreAcquiredPoint(int channel, int16_t code) { StoreAcquiredPoints(channel, {&code, 1}); }

void TPointStore::StoreAcquiredPoints(int channel, std::span<const int16_t> codes) {
  TChannelTarget& t = Target(channel);
  if (!t.Record) return;
  const int first = AcqPointIndex;
  const int end = std::min(first + static_cast<int>(codes.size()), kMaxRecLen);
  if (first >= end) return;
  // Records in the running average, the new one included.
  uint16_t& count = averageCount_[t.RecordIndex];
  if (AcqStoreMode == asmAverage && count == 0) count = 1;
  publishedCount_ = 0;
  maskCount_ = 0;
  for (int i = first; i < end; ++i) StorePoint(channel, t, i, codes[i - first], count);
  PlotPublished(t);
  MaskTestPublished(channel);
}

void TPointStore::PlotPublished(const TChannelTarget& t) {
  if (publishedCount_ > 0 && t.Layer) {
    t.Layer->PutSamples(publishedFirst_, std::span<const double>(published_.data(), publishedCount_));
  }
  publishedCount_ = 0;
}

void TPointStore::MaskTestPublished(int channel) {
  if (maskCount_ > 0) AcqHooks.CountMaskHitsInRun(channel, maskFirst_, maskCount_);
  maskCount_ = 0;
}

inline void TPointStore::StorePoint(int channel, TChannelTarget& t, int i, int16_t code, int averaged) {
  TSignalObj& r = *t.Record;
  double v = Volts(t, code);
  // Stored values are read as volts, whatever reflection unit the record shows.
  switch (AcqStoreMode) {
    case asmAverage: {
      const double old = r.GetStoredY(i);
      v = old + (v - old) / averaged;
      break;
    }
    case asmEnvStart:
    case asmEnvWiden:
      StoreEnvelopePoint(channel, t, i, v);
      return;
    case asmKeepMax:
      v = std::max(r.GetStoredY(i), v);
      break;
    case asmKeepMin:
      v = std::min(r.GetStoredY(i), v);
      break;
    default:
      break;
  }
  r.SetY(i, v);
  Publish(channel, t, i, v);
}

// Each pair (2k, 2k + 1) holds the minimum and the maximum of its samples; the pair is
// published once its odd point has been seen.
void TPointStore::StoreEnvelopePoint(int channel, const TChannelTarget& t, int i, double v) {
  TSignalObj& r = *t.Record;
  const int even = i - i % 2;
  double lo = v, hi = v;
  if (i % 2 == 1 || AcqStoreMode == asmEnvWiden) {
    lo = std::min(r.GetStoredY(even), v);
    hi = std::max(r.GetStoredY(even + 1), v);
  }
  r.SetY(even, lo);
  r.SetY(even + 1, hi);
  if (i % 2 == 1) {
    Publish(channel, t, even, lo);
    Publish(channel, t, i, hi);
  }
}

inline void TPointStore::Publish(int channel, const TChannelTarget& t, int i, double stored) {
  if (t.Layer) {
    const TSignalObj& r = *t.Record;
    // Plain records show their stored volts; only reflection units need converting.
    const bool plain = r.GetTdrUnitKind() == tukNone || r.GetRaw();
    if (publishedCount_ == kPlotRun || (publishedCount_ > 0 && i != publishedFirst_ + publishedCount_)) {
      PlotPublished(t);
    }
    if (publishedCount_ == 0) publishedFirst_ = i;
    published_[static_cast<size_t>(publishedCount_++)] = plain ? stored : r.GetY(i);
  }
  if (t.MaskCompare) {
    if (maskCount_ > 0 && i != maskFirst_ + maskCount_) MaskTestPublished(channel);
    if (maskCount_ == 0) maskFirst_ = i;
    ++maskCount_;
  }
}

}  // namespace norv
