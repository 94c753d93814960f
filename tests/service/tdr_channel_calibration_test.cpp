// The evaluations of the TDR channel calibration on averaged traces built by hand (levels,
// edge and reference plane worked out from the trace), their three failures, and the
// averaging stepped per record on records of other lengths than 1024 points.

#include "service/tdr_channel_calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/settings/numeric_handlers.h"
#include "instrument/acquisition/acquisition_state.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/record/signal_obj.h"
#include "support/fake_dialogs.h"
#include "support/program_units_fixture.h"
#include "support/settings_tree_fixture.h"
#include "tdr_mask/tdr_settings.h"

namespace norv::test {
namespace {

constexpr double kDx = 1e-10, kX0 = 2e-9;

TSignalObj Axis(int n) {
  TSignalObj r;
  r.SetRecLen(static_cast<uint16_t>(n));
  r.SetDX(kDx);
  r.SetX0(kX0);
  return r;
}

// n points: `before` up to point edge - 1, `after` from there on.
std::vector<double> Step(int n, int edge, double before, double after) {
  std::vector<double> t(static_cast<size_t>(n), before);
  for (int i = edge; i < n; ++i) t[static_cast<size_t>(i)] = after;
  return t;
}

TEST(TdrCalibrationEvaluation, LevelsEdgeAndReferencePlane) {
  // The mean level takes points 400..600 of 1024 (200..300 of 512).
  std::vector<double> t(1024, 0);
  for (int i = 400; i <= 600; ++i) t[static_cast<size_t>(i)] = 1;
  EXPECT_DOUBLE_EQ(CalibrationMeanLevel(t), 1);
  t[399] = t[601] = 100;
  EXPECT_DOUBLE_EQ(CalibrationMeanLevel(t), 1);
  EXPECT_NEAR(CalibrationMeanLevel(Step(512, 250, 0, 0.3)), 0.3 * 51 / 101, 1e-15);

  // Static: -0.2 V with the termination, -0.35 V without it from point 300 on.
  const TTdrCalibrationValues s = StaticCalibrationEvaluation(-0.2, Step(1024, 300, -0.2, -0.35), Axis(1024));
  EXPECT_EQ(s.Code, tccSuccess);
  EXPECT_NEAR(s.RefAmpl, 0.15, 1e-12);
  EXPECT_DOUBLE_EQ(s.BaseLine, -0.2);
  EXPECT_NEAR(s.RefPlane, kX0 + 299.5 * kDx, 1e-18);
  EXPECT_EQ(StaticCalibrationEvaluation(-0.2, Step(1024, 300, -0.2, -0.24), Axis(1024)).Code,
            tccNoTermination);

  // Normal: a step from 0.1 to 0.5 V at point 100 (the zero window of 2 ns is 20 points);
  // with the negative polarity the trace falls and is turned over first.
  for (const bool negative : {false, true}) {
    const double sign = negative ? -1 : 1;
    const TTdrCalibrationValues n =
        NormalCalibrationEvaluation(Step(1024, 100, sign * 0.1, sign * 0.5), negative, Axis(1024));
    EXPECT_EQ(n.Code, tccSuccess);
    EXPECT_NEAR(n.TdtAmpl, 0.4, 1e-12);
    EXPECT_NEAR(n.TdtZero, sign * 0.1, 1e-12);
    EXPECT_NEAR(n.RefPlane, kX0 + 99.5 * kDx, 1e-18);
  }
  EXPECT_EQ(NormalCalibrationEvaluation(std::vector<double>(1024, 0.3), false, Axis(1024)).Code,
            tccSmallAmplitude);
  EXPECT_EQ(NormalCalibrationEvaluation(Step(1024, 100, 0.5, 0.1), false, Axis(1024)).Code, tccBadSlope);
  EXPECT_EQ(NormalCalibrationEvaluation(Step(1024, 100, 0.1, 0.5), true, Axis(1024)).Code, tccBadSlope);
}

// The top level is taken at points 400..600: a step must have risen by then, and by more
// than 50 mV over the level before it (2 ns = 20 points before its middle).
TEST(TdrCalibrationEvaluation, AStepAfterTheTopWindowOrWithoutTopIsTooSmall) {
  // 0.1 V, 0.5 V from point 100 to 299, 0.12 V to point 799, 0.5 V to the end: the middle
  // is crossed at 100, but the top (0.12 V) is 20 mV over the level before (0.1 V).
  std::vector<double> dip = Step(1024, 100, 0.1, 0.5);
  for (int i = 300; i < 800; ++i) dip[static_cast<size_t>(i)] = 0.12;
  struct Case {
    const char* name;
    std::vector<double> trace;
    int code;
    double refPlaneIndex;
  };
  const Case cases[] = {
      {"edge at point 400", Step(1024, 400, 0.1, 0.5), tccSuccess, 399.5},
      {"edge at point 401", Step(1024, 401, 0.1, 0.5), tccSmallAmplitude, 0},
      {"edge at point 700", Step(1024, 700, 0.1, 0.5), tccSmallAmplitude, 0},
      {"edge at point 201 of 512", Step(512, 201, 0.1, 0.5), tccSmallAmplitude, 0},
      {"no top", dip, tccSmallAmplitude, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const TTdrCalibrationValues v =
        NormalCalibrationEvaluation(k.trace, false, Axis(static_cast<int>(k.trace.size())));
    EXPECT_EQ(v.Code, k.code);
    if (k.code != tccSuccess) continue;
    EXPECT_NEAR(v.TdtAmpl, 0.4, 1e-12);
    EXPECT_NEAR(v.RefPlane, kX0 + k.refPlaneIndex * kDx, 1e-18);
  }
}

class TdrCalibrationStepTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    StartProgramUnits(1, OptGenerators);
    SetDialogs(&dialogs_);
    Exec("Header Off");
  }
  void TearDown() override {
    InstrumentIdentity = {};
    SettingsTreeTest::TearDown();
  }
  FakeDialogs dialogs_;
};

// The top level of a 2048-point record lies at its points 800..1200, beyond the first 1024:
// it is found only when the sums take the whole record; a record of another length starts
// the average over.
TEST_F(TdrCalibrationStepTest, TheAverageTakesTheRecordsOwnLength) {
  TTdrChannelCalibration calibration(2, false, true);
  bool closed = false, closedOk = false;
  calibration.OnClose = [&](bool ok) {
    closed = true;
    closedOk = ok;
  };
  TSignalObj& r = SignalObjs()[TTraceId::Ch1];
  const auto acquire = [&](int n, int edge) {
    r = Axis(n);
    const std::vector<double> t = Step(n, edge, 0.05, 0.45);
    for (int i = 0; i < n; ++i) r.SetY(i, t[static_cast<size_t>(i)]);
    SingleFlag = false;
    calibration.Step();
  };
  for (int i = 0; i < 10; ++i) acquire(512, 100);
  EXPECT_EQ(calibration.Progress(), 31);
  EXPECT_TRUE(SingleFlag);  // one more record asked for
  for (int i = 0; i < 31; ++i) acquire(2048, 700);
  EXPECT_FALSE(closed);
  EXPECT_EQ(calibration.Progress(), 97);
  acquire(2048, 700);
  ASSERT_TRUE(closed);
  EXPECT_TRUE(closedOk);
  EXPECT_EQ(calibration.Progress(), 100);
  EXPECT_NEAR(calibration.Values().TdtAmpl, 0.4, 1e-12);
  EXPECT_NEAR(calibration.Values().RefPlane, kX0 + 699.5 * kDx, 1e-18);
  // OK stores the levels and the reference plane.
  calibration.Finish(true);
  EXPECT_NEAR(TdrChannel(2).RefTDTAmpl->GetValue(), 0.4, 1e-4);
  EXPECT_NEAR(TdrChannel(2).RefPlane->GetValue(), kX0 + 699.5 * kDx, 1e-13);
}

// A failed or cancelled calibration keeps every reference value of the channel.
TEST_F(TdrCalibrationStepTest, NothingIsStoredWithoutASuccessfulOk) {
  for (const bool ok : {false, true}) {
    TTdrChannelCalibration calibration(3, false, false);
    TSignalObj& r = SignalObjs()[TTraceId::Ch2];
    for (int i = 0; i < TTdrChannelCalibration::kAverages; ++i) {
      r = Axis(1024);  // flat: an amplitude below 50 mV
      calibration.Step();
    }
    EXPECT_EQ(calibration.Outcome(), TTdrCalibrationOutcome::Failed);
    EXPECT_EQ(calibration.ErrorText(), "Amplitude of signal is less than 50 mV");
    calibration.Finish(ok);
    EXPECT_DOUBLE_EQ(TdrChannel(3).RefPlane->GetValue(), 2e-9);
    EXPECT_DOUBLE_EQ(TdrChannel(3).RefTDTZero->GetValue(), 0);
  }
}

}  // namespace
}  // namespace norv::test
