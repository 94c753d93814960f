#include "framework/traces/scale_change_flags.h"

#include <gtest/gtest.h>

namespace norv {
namespace {

class FakeTraces : public ITraceScaleSource {
 public:
  FakeTraces() {
    on.fill(false);
    for (auto& s : scales) s = {0, 5e-8, "s", 0, 0.1, "V", 512};
  }
  int DisplayFormatIndex() const override { return format; }
  bool IsTraceOn(TTraceId id) const override { return on[TraceIndex(id)]; }
  TTraceScales ReadScales(TTraceId id) const override { return scales[TraceIndex(id)]; }

  int format = 0;
  std::array<bool, kTraceIdCount> on;
  std::array<TTraceScales, kRecordTraceCount> scales;
};

TEST(FlagOfScalesChange, MarksShownTracesWhoseAxesChanged) {
  TFlagOfScalesChange flags;
  FakeTraces traces;
  traces.on[0] = traces.on[2] = true;
  flags.Check(traces);  // first look: everything differs from the empty records
  EXPECT_TRUE(flags.ScaleChanged(TTraceId::Ch1));
  EXPECT_FALSE(flags.ScaleChanged(TTraceId::F1));
  flags.Check(traces);
  EXPECT_FALSE(flags.AnyChanged());
  EXPECT_FALSE(flags.ScaleChanged(TTraceId::Ch1));

  traces.scales[2].YUnit = "mV";
  flags.Check(traces);
  EXPECT_TRUE(flags.AnyChanged());
  EXPECT_TRUE(flags.ScaleChanged(TTraceId::Ch2));
  EXPECT_FALSE(flags.ScaleChanged(TTraceId::Ch1));
  EXPECT_FALSE(flags.Record(TTraceId::Ch2).ShownCountChanged);

  traces.scales[0].ShownCount = 1024;
  flags.Check(traces);
  EXPECT_TRUE(flags.Record(TTraceId::Ch1).ShownCountChanged);
  EXPECT_EQ(flags.Record(TTraceId::Ch1).PrevShownCount, 512);
  EXPECT_EQ(flags.Record(TTraceId::Ch1).Last.ShownCount, 1024);
  flags.Check(traces);
  EXPECT_FALSE(flags.Record(TTraceId::Ch1).ShownCountChanged);

  // A switched-off trace keeps its flag; back on, a change made while it was off is seen.
  traces.on[4] = true;
  flags.Check(traces);
  ASSERT_TRUE(flags.ScaleChanged(TTraceId::F1));
  traces.on[4] = false;
  traces.scales[4].Scale = 2;
  flags.Check(traces);
  EXPECT_TRUE(flags.ScaleChanged(TTraceId::F1));
  EXPECT_FALSE(flags.AnyChanged());
  traces.on[4] = true;
  flags.Check(traces);
  EXPECT_TRUE(flags.ScaleChanged(TTraceId::F1));
  flags.Check(traces);
  EXPECT_FALSE(flags.ScaleChanged(TTraceId::F1));
}

TEST(FlagOfScalesChange, NewDisplayFormatMarksEveryShownTrace) {
  TFlagOfScalesChange flags;
  FakeTraces traces;
  traces.on[0] = traces.on[12] = true;
  flags.Check(traces);
  flags.Check(traces);
  traces.format = 3;
  flags.Check(traces);
  EXPECT_TRUE(flags.FormatChanged());
  EXPECT_TRUE(flags.ScaleChanged(TTraceId::Ch1));
  EXPECT_TRUE(flags.ScaleChanged(TTraceId::S1));
  EXPECT_FALSE(flags.ScaleChanged(TTraceId::Ch2));
  flags.Check(traces);
  EXPECT_FALSE(flags.FormatChanged());
  EXPECT_FALSE(flags.ScaleChanged(TTraceId::S1));
  // Ids without a record read as unchanged.
  EXPECT_FALSE(flags.ScaleChanged(TTraceId::XY));
  EXPECT_FALSE(flags.ScaleChanged(static_cast<TTraceId>(99)));
}

}  // namespace
}  // namespace norv
