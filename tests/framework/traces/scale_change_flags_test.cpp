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

// Checks again and names the traces marked changed.
std::string Check(TFlagOfScalesChange& flags, const FakeTraces& traces) {
  flags.Check(traces);
  std::string changed;
  for (int i = 0; i < kTraceIdCount; ++i)
    if (flags.ScaleChanged(static_cast<TTraceId>(i)))
      changed += GetTraceShortName(static_cast<TTraceId>(i)) + " ";
  return changed;
}

TEST(FlagOfScalesChange, MarksShownTracesWhoseAxesChanged) {
  TFlagOfScalesChange flags;
  FakeTraces traces;
  traces.on[0] = traces.on[2] = true;
  EXPECT_EQ(Check(flags, traces), "Ch1 Ch2 ");  // first look: everything differs from the empty records
  EXPECT_EQ(Check(flags, traces), "");
  EXPECT_FALSE(flags.AnyChanged());
  traces.scales[2].YUnit = "mV";
  EXPECT_EQ(Check(flags, traces), "Ch2 ");
  EXPECT_TRUE(flags.AnyChanged());
  EXPECT_FALSE(flags.Record(TTraceId::Ch2).ShownCountChanged);

  traces.scales[0].ShownCount = 1024;
  EXPECT_EQ(Check(flags, traces), "Ch1 ");
  EXPECT_TRUE(flags.Record(TTraceId::Ch1).ShownCountChanged);
  EXPECT_EQ(flags.Record(TTraceId::Ch1).PrevShownCount, 512);
  Check(flags, traces);
  EXPECT_FALSE(flags.Record(TTraceId::Ch1).ShownCountChanged);

  // A switched-off trace keeps its flag; back on, a change made while it was off is seen.
  traces.on[4] = true;
  EXPECT_EQ(Check(flags, traces), "F1 ");
  traces.on[4] = false;
  traces.scales[4].Scale = 2;
  EXPECT_EQ(Check(flags, traces), "F1 ");
  EXPECT_FALSE(flags.AnyChanged());
  traces.on[4] = true;
  EXPECT_EQ(Check(flags, traces), "F1 ");
  EXPECT_EQ(Check(flags, traces), "");

  // A new display format marks every shown trace; ids without a record read unchanged.
  traces.on[12] = true;
  Check(flags, traces);
  traces.format = 3;
  EXPECT_EQ(Check(flags, traces), "Ch1 Ch2 F1 S1 ");
  EXPECT_TRUE(flags.FormatChanged());
  EXPECT_EQ(Check(flags, traces), "");
  EXPECT_FALSE(flags.FormatChanged());
  EXPECT_FALSE(flags.ScaleChanged(static_cast<TTraceId>(99)));
}

}  // namespace
}  // namespace norv
