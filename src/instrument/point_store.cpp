#include "instrument/point_store.h"

#include <algorithm>

namespace norv {

void TPointStore::ClearLayers() {
  for (TChannelTarget& t : targets_) t.Layer = nullptr;
}

double TPointStore::CodeToVolts(int channel, double code) const {
  const TChannelTarget& t = Target(channel);
  return code * t.Gain + t.Offset;
}

void TPointStore::AdvanceAverageCount(int recordIndex, int limit) {
  uint16_t& count = averageCount_.at(recordIndex);
  const int cap = std::clamp(limit, 1, 65535);
  count = static_cast<uint16_t>(std::min(count + 1, cap));
}

void TPointStore::StoreAcquiredPoint(int channel, int16_t code) {
  const int i = AcqPointIndex;
  TChannelTarget& t = Target(channel);
  if (i >= kMaxRecLen || !t.Record) return;
  TSignalObj& r = *t.Record;
  const double v = CodeToVolts(channel, code);
  // Stored values are read as volts, whatever reflection unit the record shows.
  switch (AcqStoreMode) {
    case asmAverage: {
      uint16_t& count = averageCount_[t.RecordIndex];
      if (count == 0) count = 1;
      const double old = r.GetStoredY(i);
      r.SetY(i, old + (v - old) / count);
      break;
    }
    case asmEnvStart:
    case asmEnvWiden:
      StoreEnvelopePoint(r, i, v, AcqStoreMode == asmEnvStart);
      // A pair is published once its odd point has been seen.
      if (i % 2 == 1) {
        Publish(channel, t, i - 1);
        Publish(channel, t, i);
      }
      return;
    case asmKeepMax:
      if (r.GetStoredY(i) < v) r.SetY(i, v);
      break;
    case asmKeepMin:
      if (v < r.GetStoredY(i)) r.SetY(i, v);
      break;
    default: r.SetY(i, v); break;
  }
  Publish(channel, t, i);
}

// Each pair (2k, 2k + 1) holds the minimum and the maximum of its samples.
void TPointStore::StoreEnvelopePoint(TSignalObj& r, int i, double v, bool start) {
  if (i % 2 == 0) {
    if (start) {
      r.SetY(i, v);
      r.SetY(i + 1, v);
    } else if (r.GetStoredY(i) > v) {
      r.SetY(i, v);
    } else if (r.GetStoredY(i + 1) < v) {
      r.SetY(i + 1, v);
    }
    return;
  }
  if (r.GetStoredY(i - 1) <= v) {
    if (r.GetStoredY(i) < v) r.SetY(i, v);
  } else {
    r.SetY(i - 1, v);
  }
}

void TPointStore::Publish(int channel, const TChannelTarget& t, int i) {
  if (t.Layer) t.Layer->PutSample(i, t.Record->GetY(i));
  if (t.MaskCompare) AcqHooks.CountMaskHitAtPoint(channel, i);
}

}  // namespace norv
