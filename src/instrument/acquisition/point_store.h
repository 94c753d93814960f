#pragma once
// The point store turns each sample code of the stream into volts and writes it into the
// channel's target record by the acquisition mode: plainly, as a running average over
// records, as minimum/maximum pairs, or keeping the larger or smaller value. The stored
// points of a run are plotted by the channel's layer in one call and, when the mask test
// compares this channel, passed to the mask hit test in one call.
//
// The acquisition cycle sets the per-record fields (PrepareRecord) before the first point.
// Channel codes: 2 = Ch1, 3 = Ch2.

#include <array>
#include <cstdint>
#include <span>

#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/record/signal_obj.h"

namespace norv {

// How a record's points are stored.
enum TAcqStoreMode : uint8_t {
  asmPlain = 0,      // Sample
  asmAverage = 1,    // AvgStab: running average over records
  asmAvgMult = 2,    // averaged by the instrument, stored plainly
  asmAvgMedian = 3,  // likewise
  asmEnvStart = 4,   // first EnvMinMax record: both points of a pair take the sample
  asmEnvWiden = 5,   // later EnvMinMax records widen each (min, max) pair
  asmKeepMax = 6,    // EnvMax after its first record
  asmKeepMin = 7,    // EnvMin after its first record
  asmPeak = 8,       // stored plainly
};

// Volts per code at attenuation 1.
inline constexpr double kVoltsPerCode = 6.25e-05;
// Channel target records: Ch1, Ch1B2, Ch2, Ch2B2.
inline constexpr int kChannelRecordCount = 4;
// Before the first record is prepared nothing is stored.
inline constexpr uint16_t kNoPointIndex = 5555;

class TPointStore {
 public:
  // Where one channel's points go during a record.
  struct TChannelTarget {
    double Gain = kVoltsPerCode;  // volts per code
    double Offset = 0;            // volts added
    TSignalObj* Record = nullptr;
    int RecordIndex = 0;  // 0..3, the average count it uses
    IAcqLayer* Layer = nullptr;
    bool MaskCompare = false;
  };

  TChannelTarget& Target(int channel) { return targets_[Slot(channel)]; }
  const TChannelTarget& Target(int channel) const { return targets_[Slot(channel)]; }
  void ClearLayers();

  // The same index serves both channels of a point.
  uint16_t AcqPointIndex = kNoPointIndex;
  TAcqStoreMode AcqStoreMode = asmPlain;

  double CodeToVolts(int channel, double code) const;
  // Stores one code at AcqPointIndex; nothing beyond the 4096-point record or without a
  // target record.
  void StoreAcquiredPoint(int channel, int16_t code);
  // Stores successive codes from AcqPointIndex on (a run of points of one block).
  void StoreAcquiredPoints(int channel, std::span<const int16_t> codes);

  // Records averaged so far into a target record (the divisor of its running average).
  // Each record keeps its own, so the A and B records of a dual-delay pass average alike.
  uint16_t AcqAverageCount(int recordIndex) const { return averageCount_.at(recordIndex); }
  // Before a new averaged record: one more, within 1..limit.
  void AdvanceAverageCount(int recordIndex, int limit);
  void ResetAverages() { averageCount_.fill(0); }
  // Back to a count held before (a record cut short averaged nothing in).
  void SetAverageCount(int recordIndex, uint16_t count) { averageCount_.at(recordIndex) = count; }

 private:
  static int Slot(int channel) { return channel == 3 ? 1 : 0; }
  static double Volts(const TChannelTarget& t, double code) { return code * t.Gain + t.Offset; }
  void StorePoint(int channel, TChannelTarget& t, int i, int16_t code, int averaged);
  void StoreEnvelopePoint(int channel, const TChannelTarget& t, int i, double v);
  void Publish(int channel, const TChannelTarget& t, int i, double stored);
  // Plots the points published since the last call.
  void PlotPublished(const TChannelTarget& t);
  // Passes the points published since the last call to the mask test.
  void MaskTestPublished(int channel);

  std::array<TChannelTarget, 2> targets_;
  std::array<uint16_t, kChannelRecordCount> averageCount_{};
  // Published points waiting for the layer: successive ones from publishedFirst_.
  static constexpr int kPlotRun = 256;
  std::array<double, kPlotRun> published_{};
  int publishedFirst_ = 0;
  int publishedCount_ = 0;
  // Published points waiting for the mask test: successive ones from maskFirst_.
  int maskFirst_ = 0;
  int maskCount_ = 0;
};

}  // namespace norv
