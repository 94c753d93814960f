#include "instrument/signal_obj.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <stdexcept>

#include "framework/errors.h"

namespace norv {
namespace {

constexpr double kDeg = 180.0 / 3.14159265358979323846;

TEST(SignalObjs, FourteenRecordsWithTheirStartUpValues) {
  TSignalObjs records;
  for (int id = 0; id < kSignalObjCount; ++id) {
    EXPECT_EQ(records.At(id).IsSpectrum(), id == 12 || id == 13) << id;
    EXPECT_EQ(records.At(id).GetRecLen(), 512);
    EXPECT_EQ(records.At(id).GetZoomStep(), 1);
  }
  EXPECT_EQ(&records[TTraceId::S2], &records.At(13));
  for (TTraceId id : {TTraceId::Ch1, TTraceId::Ch1B2, TTraceId::Ch2, TTraceId::Ch2B2}) {
    EXPECT_EQ(records[id].GetVertUnit(), "V");
    EXPECT_EQ(records[id].GetHorUnit(), "s");
    EXPECT_EQ(records[id].GetVertScale(), 0.1);
    EXPECT_EQ(records[id].GetDX(), 1e-10);
  }
  // The other records keep the defaults of a new record.
  EXPECT_EQ(records[TTraceId::F1].GetVertScale(), 0.5);
  EXPECT_EQ(records[TTraceId::F1].GetVertUnit(), "");
  EXPECT_EQ(records[TTraceId::S1].GetLogScale(), 6.0);
  EXPECT_THROW(records[TTraceId::XY], std::out_of_range);
  EXPECT_THROW(records.At(14), std::out_of_range);
  EXPECT_THROW(records.At(-1), std::out_of_range);
}

TEST(SignalObjs, TheProgramsRecordsTakeTheirTitlesFromTheTraceNames) {
  CreateSignalObjects();
  BuildTraceNames([](const std::string& key) { return key == "Fn" ? "F%d" : key; });
  EXPECT_EQ(SignalObjs()[TTraceId::Ch2B2].GetTitle(), "Channel 2 B2");
  EXPECT_EQ(SignalObjs()[TTraceId::M3].GetTitle(), "MemoryZona 3");
  EXPECT_EQ(&SignalObjs()[TTraceId::F1], &SignalObjs()[TTraceId::F1]);
}

TEST(SignalObj, PointAccessIsRangeChecked) {
  TSignalObj r;
  r.SetY(4095, 1.5);
  r.SetIm(0, -2);
  EXPECT_EQ(r.GetY(4095), 1.5);
  EXPECT_EQ(r.GetIm(0), -2);
  EXPECT_THROW(r.SetY(4096, 0), std::out_of_range);
  EXPECT_THROW(r.GetY(-1), std::out_of_range);
  EXPECT_THROW(r.GetIm(4096), std::out_of_range);
  r.SetFirstShown(4000);
  EXPECT_THROW(r.GetDisplayValue(96), std::out_of_range);
}

TEST(SignalObjZoom, PowersOfTwoKeepingEightPointsShown) {
  TSignalObj r;
  const auto step = [&](int n) {
    r.SetZoomStep(n);
    return r.GetZoomStep();
  };
  EXPECT_EQ(step(0), 1);
  EXPECT_EQ(step(-5), 1);
  EXPECT_EQ(step(1), 1);
  EXPECT_EQ(step(3), 4);
  EXPECT_EQ(step(5), 8);
  EXPECT_EQ(step(64), 64);
  EXPECT_EQ(r.GetShownCount(), 8);
  EXPECT_EQ(step(1000), 64);  // 1024 would leave four points: 512 div 8
  EXPECT_EQ(step(INT_MAX), 64);
  r.SetRecLen(100);
  EXPECT_EQ(step(1000), 12);
  // Below eight points there is nothing to zoom, and the step never becomes 0.
  r.SetRecLen(4);
  EXPECT_EQ(step(16), 1);
  EXPECT_EQ(r.GetShownCount(), 4);
  r.SetRecLen(0);
  EXPECT_EQ(step(2), 1);
  EXPECT_EQ(r.GetShownCount(), 0);
}

TEST(SignalObjAxes, IndexTimeAndScreenX) {
  TSignalObj r;
  r.SetX0(1e-9);
  r.SetDX(1e-11);
  EXPECT_DOUBLE_EQ(r.IndexToX(100), 2e-9);
  EXPECT_DOUBLE_EQ(r.XToIndex(2e-9), 100);
  EXPECT_NEAR(r.XToIndex(r.IndexToX(37.5)), 37.5, 1e-9);
  EXPECT_DOUBLE_EQ(r.ShownIndexToScreenX(256), 2048);
  EXPECT_DOUBLE_EQ(r.ScreenXToShownIndex(4096), 512);
  EXPECT_DOUBLE_EQ(r.GetTimePerDiv(), 50e-11);  // 50 points per division at 512

  // A window of 128 points from point 128: four times the zoom.
  r.SetFirstShown(128);
  r.SetZoomStep(4);
  EXPECT_DOUBLE_EQ(r.GetFirstShownX(), 1e-9 + 128 * 1e-11);
  EXPECT_DOUBLE_EQ(r.ShownIndexToX(10), r.IndexToX(138));
  EXPECT_DOUBLE_EQ(r.IndexToScreenX(192), 2048);
  EXPECT_DOUBLE_EQ(r.ScreenXToIndex(2048), 192);
  EXPECT_DOUBLE_EQ(r.XToShownIndex(r.IndexToX(200)), 72);
  EXPECT_DOUBLE_EQ(r.ScreenXToX(4096), r.IndexToX(256));
  EXPECT_EQ(r.XToScreenX(r.IndexToX(192)), 2048);

  r.SetRecLen(1024);
  EXPECT_DOUBLE_EQ(r.GetTimePerDiv(), 2 * 50e-11);
}

TEST(SignalObjAxes, ScreenXRoundsHalfToEvenAndRefusesWhatNoIntegerHolds) {
  TSignalObj r;
  r.SetRecLen(4096);  // one screen unit per point
  r.SetDX(1);
  EXPECT_EQ(r.XToScreenX(2.5), 2);
  EXPECT_EQ(r.XToScreenX(3.5), 4);
  EXPECT_EQ(r.XToScreenX(-2.6), -3);
  EXPECT_THROW(r.XToScreenX(3e9), std::out_of_range);
  EXPECT_THROW(r.XToScreenX(NAN), std::out_of_range);
  // No sample interval, no record length: defined positions, no division by zero.
  r.SetDX(0);
  EXPECT_EQ(r.XToIndex(5), 0);
  EXPECT_EQ(r.XToScreenX(5), 0);
  r.SetRecLen(0);
  EXPECT_EQ(r.ShownIndexToScreenX(3), 0);
}

TEST(SignalObjVertical, ValuesAndScreenY) {
  TSignalObj r;  // 0.5 per division, offsets 0
  EXPECT_DOUBLE_EQ(r.ValueToScreenY(2.0), 1024);
  EXPECT_DOUBLE_EQ(r.ValueToScreenY(-2.0), 0);
  EXPECT_DOUBLE_EQ(r.ScreenYToValue(1024), 2.0);
  EXPECT_DOUBLE_EQ(r.ScreenYToValue(256), -1.0);
  r.SetDisplayScale(2);
  r.SetDisplayOffset(1);
  r.SetVertOffset(0.5);
  EXPECT_DOUBLE_EQ(r.GetEffScale(), 1.0);
  EXPECT_DOUBLE_EQ(r.GetEffOffset(), 1.5);
  EXPECT_DOUBLE_EQ(r.ValueToScreenY(1.5), 512);
  EXPECT_DOUBLE_EQ(r.ValueToScreenY(5.5), 1024);
  EXPECT_NEAR(r.ScreenYToValue(r.ValueToScreenY(0.123)), 0.123, 1e-12);

  EXPECT_EQ(r.ValueToScreenY(1e300), 2147483647.0);
  EXPECT_EQ(r.ValueToScreenY(-1e300), -2147483647.0);
  EXPECT_EQ(r.ValueToScreenY(INFINITY), 2147483647.0);
  EXPECT_EQ(r.ValueToScreenY(NAN), 512);
  // A flat scale: above, below and on the offset.
  r.SetVertScale(0);
  EXPECT_EQ(r.ValueToScreenY(2), 2147483647.0);
  EXPECT_EQ(r.ValueToScreenY(1), -2147483647.0);
  EXPECT_EQ(r.ValueToScreenY(1.5), 512);
  EXPECT_EQ(r.ScreenYToValue(900), 1.5);
}

TEST(SignalObjTdr, ReflectionUnitsAndTheirTexts) {
  TSignalObj r;
  r.SetVertUnit("V");
  r.SetY(0, 0.3);
  r.SetTdrBase(0.1);
  r.SetTdrAmplitude(0.4);
  EXPECT_EQ(r.GetY(0), 0.3);  // plain values until a unit is set
  EXPECT_EQ(r.GetVertUnitText(), "V");

  r.SetTdrUnitKind(tukRho);
  EXPECT_DOUBLE_EQ(r.GetY(0), 0.5);
  EXPECT_EQ(r.GetVertUnitText(), "Rho");
  r.SetTdrUnitKind(tukOhm);
  EXPECT_DOUBLE_EQ(r.GetY(0), 150);  // 50 * 1.5 / 0.5
  EXPECT_EQ(r.GetVertUnitText(), "\u2126");
  EXPECT_EQ(r.GetDisplayValue(0), r.GetY(0));
  r.SetTdrUnitKind(tukNoUnit);
  EXPECT_DOUBLE_EQ(r.GetY(0), 0.5);
  EXPECT_EQ(r.GetVertUnitText(), "");
  r.SetTdrUnitKind(7);
  EXPECT_EQ(r.GetVertUnitText(), "?");

  r.SetTdrUnitKind(tukOhm);
  r.SetRaw(true);
  EXPECT_EQ(r.GetY(0), 0.3);
  EXPECT_EQ(r.GetVertUnitText(), "V");
  r.SetRaw(false);
  // Without a step amplitude there is no reflection to show: coefficient 0, a matched line.
  r.SetTdrAmplitude(0);
  EXPECT_DOUBLE_EQ(r.GetY(0), 50);
}

class SpectrumViews : public ::testing::Test {
 protected:
  void SetUp() override {
    s.SetSpectrum(true);
    s.SetRecLen(8);
    s.SetVertUnit("V");
    s.SetY(0, 100);  // a DC term far above the rest
    const double re[] = {100, 3, -3, -3, -3, 1e-61, 0.3, 0};
    const double im[] = {0, 4, 4, -4, 0, 5, 0.4, 0};
    for (int i = 0; i < 8; ++i) {
      s.SetY(i, re[i]);
      s.SetIm(i, im[i]);
    }
  }
  TSignalObj s;
};

TEST_F(SpectrumViews, MagnitudeLinearAndInDecibels) {
  EXPECT_DOUBLE_EQ(s.GetMagnitude(1), 5);
  EXPECT_DOUBLE_EQ(s.GetDisplayValue(1), 5);
  s.SetSuppressDC(true);
  EXPECT_EQ(s.GetDisplayValue(0), 0);
  s.SetFirstShown(1);  // the DC rule looks at the record's point 0 only
  EXPECT_DOUBLE_EQ(s.GetDisplayValue(0), 5);
  s.SetFirstShown(0);

  s.SetLogView(true);
  EXPECT_TRUE(s.IsLogView());
  EXPECT_NEAR(s.GetDisplayValue(1), 20 * std::log10(5.0), 1e-6);
  s.SetVertUnit("W");
  EXPECT_NEAR(s.GetDisplayValue(1), 10 * std::log10(5.0), 1e-6);
  s.SetLogScale(10);
  s.SetLogOffset(-20);
  EXPECT_EQ(s.GetEffScale(), 10);
  EXPECT_EQ(s.GetEffOffset(), -20);
  EXPECT_EQ(s.GetDisplayUnitShort(), "dBW");
  s.SetTdrUnitKind(tukRho);
  s.SetTdrAmplitude(1);
  EXPECT_EQ(s.GetDisplayUnitShort(), "dBRho");
  EXPECT_EQ(s.GetVertUnitTextFull(), "dBW");

  TSignalObj wave;
  EXPECT_THROW(wave.GetMagnitude(0), EAssertion);
  try {
    wave.GetMagnitude(0);
  } catch (const EAssertion& e) {
    EXPECT_STREQ(e.what(), "??????  Non-Spectr   !!!");
  }
  wave.SetLogView(true);
  EXPECT_FALSE(wave.IsLogView());
}

TEST_F(SpectrumViews, PhaseInDegreesAcrossTheQuadrants) {
  s.SetComplexView(cvPhase);
  s.SetLogView(true);  // log view does not apply to the phase
  EXPECT_FALSE(s.IsLogView());
  EXPECT_NEAR(s.GetDisplayValue(1), std::atan2(4, 3) * kDeg, 1e-9);
  EXPECT_NEAR(s.GetDisplayValue(2), std::atan2(4, -3) * kDeg, 1e-9);
  EXPECT_NEAR(s.GetDisplayValue(3), std::atan2(-4, -3) * kDeg, 1e-9);
  EXPECT_EQ(s.GetDisplayValue(4), 0);  // on the negative real axis: 0, not 180
  EXPECT_EQ(s.GetDisplayValue(5), 0);  // a vanishing real part counts as no angle
  EXPECT_EQ(s.GetDisplayUnitShort(), "\u00B0");
  s.SetPhaseScale(2);
  s.SetPhaseOffset(30);
  EXPECT_EQ(s.GetEffScale(), 90);
  EXPECT_EQ(s.GetEffOffset(), 30);

  // -20 dB under the largest magnitude (5, the DC term left out) hides point 6 (0.5).
  s.SetSuppressPhase(true);
  s.UpdateMaxMagnitude();
  s.SetSuppressLevel(-20);
  EXPECT_DOUBLE_EQ(s.GetMaxMagnitude(), 5);
  EXPECT_NEAR(s.GetSuppressThreshold(), 0.5, 1e-6);
  EXPECT_NEAR(s.GetDisplayValue(1), std::atan2(4, 3) * kDeg, 1e-9);
  s.SetSuppressLevel(-19);
  EXPECT_EQ(s.GetDisplayValue(6), 0);
  s.SetSuppressLevel(-21);
  EXPECT_NEAR(s.GetDisplayValue(6), std::atan2(0.4, 0.3) * kDeg, 1e-9);
}

TEST_F(SpectrumViews, RealAndImaginaryParts) {
  s.SetComplexView(cvReal);
  EXPECT_EQ(s.GetDisplayValue(3), -3);
  s.SetComplexView(cvImaginary);
  EXPECT_EQ(s.GetDisplayValue(3), -4);
  EXPECT_EQ(s.GetDisplayUnitShort(), "V");
  EXPECT_EQ(s.GetEffScale(), 0.5);
}

TEST_F(SpectrumViews, MaxMagnitudeLeavesOutTheDcTerm) {
  s.UpdateMaxMagnitude();
  EXPECT_DOUBLE_EQ(s.GetMaxMagnitude(), 5);
  s.SetRecLen(1);
  s.UpdateMaxMagnitude();
  EXPECT_EQ(s.GetMaxMagnitude(), 0);
  EXPECT_EQ(s.GetSuppressThreshold(), 0);

  TSignalObj wave;
  wave.SetY(1, 7);
  wave.UpdateMaxMagnitude();
  EXPECT_EQ(wave.GetMaxMagnitude(), 0);
}

TEST(SignalObjAssign, HeaderAndPointsButNotTheViewOrTitle) {
  TSignalObj src;
  src.SetRecLen(64);
  src.SetSpectrum(true);
  src.SetHorUnit("Hz");
  src.SetX0(1);
  src.SetDX(2);
  src.SetVertUnit("W");
  src.SetVertOffset(3);
  src.SetVertScale(4);
  src.SetFFTWindow(5);
  src.SetPropagation(6);
  src.SetTdrUnitKind(tukRho);
  src.SetTdrAmplitude(7);
  src.SetTdrBase(8);
  src.SetRaw(true);
  src.SetTitle("source");
  src.SetLogView(true);
  src.SetDisplayScale(9);
  for (int i = 0; i < 65; ++i) {
    src.SetY(i, i + 0.5);
    src.SetIm(i, -i);
  }

  TSignalObj dst;
  dst.SetTitle("kept");
  dst.SetFirstShown(16);
  dst.SetZoomStep(2);
  dst.SetY(64, -1);
  dst.AssignHeader(src);
  EXPECT_EQ(dst.GetRecLen(), 64);
  EXPECT_TRUE(dst.IsSpectrum());
  EXPECT_EQ(dst.GetHorUnit(), "Hz");
  EXPECT_EQ(dst.GetX0(), 1);
  EXPECT_EQ(dst.GetDX(), 2);
  EXPECT_EQ(dst.GetVertUnit(), "W");
  EXPECT_EQ(dst.GetVertOffset(), 3);
  EXPECT_EQ(dst.GetVertScale(), 4);
  EXPECT_EQ(dst.GetFFTWindow(), 5);
  EXPECT_EQ(dst.GetPropagation(), 6);
  EXPECT_EQ(dst.GetTdrUnitKind(), tukRho);
  EXPECT_EQ(dst.GetTdrAmplitude(), 7);
  EXPECT_EQ(dst.GetTdrBase(), 8);
  EXPECT_TRUE(dst.GetRaw());
  EXPECT_EQ(dst.GetTitle(), "kept");
  EXPECT_EQ(dst.GetFirstShown(), 16);
  EXPECT_EQ(dst.GetZoomStep(), 2);
  EXPECT_FALSE(dst.GetLogView());
  EXPECT_EQ(dst.GetDisplayScale(), 1);
  EXPECT_EQ(dst.GetStoredY(0), 0);

  dst.Assign(src);
  EXPECT_EQ(dst.GetStoredY(63), 63.5);
  EXPECT_EQ(dst.GetIm(63), -63);
  EXPECT_EQ(dst.GetStoredY(64), -1);  // beyond the record length nothing is copied

  TSignalObj wave;
  wave.Assign(src);
  src.SetSpectrum(false);
  TSignalObj plain;
  plain.Assign(src);
  EXPECT_EQ(plain.GetIm(5), 0);

  src.SetRecLen(0);
  EXPECT_THROW(dst.Assign(src), std::out_of_range);
  EXPECT_EQ(dst.GetRecLen(), 64);
  EXPECT_TRUE(dst.IsSpectrum());
}

TEST(SignalObj, ChangeFlagsAreRaisedTogetherAndClearedApart) {
  TSignalObj r;
  EXPECT_FALSE(r.GetChangedA());
  r.MarkChanged();
  EXPECT_TRUE(r.GetChangedA());
  EXPECT_TRUE(r.GetChangedB());
  r.ClearChangedA();
  EXPECT_FALSE(r.GetChangedA());
  EXPECT_TRUE(r.GetChangedB());
}

}  // namespace
}  // namespace norv
