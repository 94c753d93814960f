#include "instrument/record/signal_obj.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <stdexcept>
#include <tuple>

#include "support/assertion_text.h"

namespace norv {
namespace {

constexpr double kDeg = 180.0 / 3.14159265358979323846;

TEST(SignalObjs, FourteenRecordsWithTheirStartUpValuesAndTitles) {
  TSignalObjs records;
  EXPECT_FALSE(records[TTraceId::M4].IsSpectrum());
  EXPECT_TRUE(records[TTraceId::S1].IsSpectrum());
  EXPECT_EQ(records[TTraceId::Ch2B2].GetVertScale(), 0.1);
  EXPECT_EQ(records[TTraceId::Ch2B2].GetDX(), 1e-10);
  EXPECT_EQ(records[TTraceId::F1].GetVertScale(), 0.5);  // the defaults of a new record
  EXPECT_THROW(records[TTraceId::XY], std::out_of_range);
  EXPECT_THROW(records.At(-1), std::out_of_range);

  CreateSignalObjects();
  BuildTraceNames([](const std::string& key) { return key == "Fn" ? "F%d" : key; });
  EXPECT_EQ(SignalObjs()[TTraceId::Ch2B2].GetTitle(), "Channel 2 B2");
  EXPECT_EQ(SignalObjs()[TTraceId::M3].GetTitle(), "MemoryZona 3");
}

TEST(SignalObjZoom, PowersOfTwoKeepingEightPointsShown) {
  // (record length, asked step, step kept): 1024 would leave four of 512 points.
  const int cases[][3] = {{512, 0, 1},        {512, 3, 4},     {512, 64, 64}, {512, 1000, 64},
                          {512, INT_MAX, 64}, {100, 1000, 12}, {4, 16, 1},    {0, 2, 1}};
  for (const auto& c : cases) {
    TSignalObj r;
    r.SetRecLen(static_cast<uint16_t>(c[0]));
    r.SetZoomStep(c[1]);
    EXPECT_EQ(r.GetZoomStep(), c[2]) << c[0] << " " << c[1];
    EXPECT_EQ(r.GetShownCount(), c[0] / c[2]);
  }
}

TEST(SignalObjAxes, IndexTimeAndScreenX) {
  TSignalObj r;
  r.SetX0(1e-9);
  r.SetDX(1e-11);
  EXPECT_DOUBLE_EQ(r.XToIndex(2e-9), 100);
  EXPECT_DOUBLE_EQ(r.ShownIndexToScreenX(256), 2048);
  EXPECT_DOUBLE_EQ(r.ScreenXToShownIndex(4096), 512);
  EXPECT_DOUBLE_EQ(r.GetTimePerDiv(), 50e-11);  // 50 points per division at 512

  // A window of 128 points from point 128: four times the zoom.
  r.SetFirstShown(128);
  r.SetZoomStep(4);
  EXPECT_DOUBLE_EQ(r.GetFirstShownX(), r.IndexToX(128));
  EXPECT_DOUBLE_EQ(r.IndexToScreenX(192), 2048);
  EXPECT_DOUBLE_EQ(r.ScreenXToIndex(2048), 192);
  EXPECT_DOUBLE_EQ(r.XToShownIndex(r.IndexToX(200)), 72);
  EXPECT_DOUBLE_EQ(r.ScreenXToX(4096), 1e-9 + 256 * 1e-11);
  EXPECT_EQ(r.XToScreenX(r.IndexToX(192)), 2048);

  // Rounded half to even; out of range or NaN refused; no division by zero.
  r = TSignalObj();
  r.SetRecLen(4096);  // one screen unit per point
  r.SetDX(1);
  EXPECT_EQ(r.XToScreenX(2.5), 2);
  EXPECT_EQ(r.XToScreenX(3.5), 4);
  EXPECT_THROW(r.XToScreenX(3e9), std::out_of_range);
  EXPECT_THROW(r.XToScreenX(NAN), std::out_of_range);
  r.SetDX(0);
  EXPECT_EQ(r.XToScreenX(5), 0);
  r.SetRecLen(0);
  EXPECT_EQ(r.ShownIndexToScreenX(3), 0);
}

TEST(SignalObjVertical, ValuesAndScreenY) {
  TSignalObj r;  // 0.5 per division, offsets 0
  EXPECT_DOUBLE_EQ(r.ValueToScreenY(2.0), 1024);
  EXPECT_DOUBLE_EQ(r.ScreenYToValue(256), -1.0);
  r.SetDisplayScale(2);
  r.SetDisplayOffset(1);
  r.SetVertOffset(0.5);  // one per division around 1.5
  EXPECT_DOUBLE_EQ(r.ValueToScreenY(5.5), 1024);
  EXPECT_NEAR(r.ScreenYToValue(r.ValueToScreenY(0.123)), 0.123, 1e-12);
  EXPECT_EQ(r.ValueToScreenY(1e300), 2147483647.0);
  EXPECT_EQ(r.ValueToScreenY(-INFINITY), -2147483647.0);
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
  r.SetTdrAmplitude(0.4);  // 0.3 V is rho 0.5
  r.SetTdrUnitKind(tukRho);
  EXPECT_DOUBLE_EQ(r.GetY(0), 0.5);
  EXPECT_EQ(r.GetVertUnitText(), "Rho");
  r.SetTdrUnitKind(tukOhm);
  EXPECT_DOUBLE_EQ(r.GetDisplayValue(0), 150);  // 50 * 1.5 / 0.5
  EXPECT_EQ(r.GetVertUnitText(), "\u2126");
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
    const double re[] = {100, 3, -3, -3, -3, 1e-61, 0.3, 0};  // a DC term far above the rest
    const double im[] = {0, 4, 4, -4, 0, 5, 0.4, 0};
    for (int i = 0; i < 8; ++i) {
      s.SetY(i, re[i]);
      s.SetIm(i, im[i]);
    }
  }
  TSignalObj s;
};

TEST_F(SpectrumViews, MagnitudeLinearAndInDecibels) {
  EXPECT_DOUBLE_EQ(s.GetDisplayValue(1), 5);
  s.SetSuppressDC(true);
  EXPECT_EQ(s.GetDisplayValue(0), 0);
  s.SetLogView(true);
  EXPECT_NEAR(s.GetDisplayValue(1), 20 * std::log10(5.0), 1e-6);
  s.SetVertUnit("W");
  EXPECT_NEAR(s.GetDisplayValue(1), 10 * std::log10(5.0), 1e-6);
  s.SetLogScale(10);
  EXPECT_EQ(s.GetEffScale(), 10);
  s.SetTdrUnitKind(tukRho);
  s.SetTdrAmplitude(1);
  EXPECT_EQ(s.GetDisplayUnitShort(), "dBRho");
  EXPECT_EQ(s.GetVertUnitTextFull(), "dBW");

  TSignalObj wave;
  wave.SetLogView(true);
  EXPECT_FALSE(wave.IsLogView());
  EXPECT_EQ(test::AssertionText([&] { wave.GetMagnitude(0); }), "??????  Non-Spectr   !!!");
}

TEST_F(SpectrumViews, PhaseInDegreesAcrossTheQuadrants) {
  s.SetComplexView(cvPhase);
  EXPECT_NEAR(s.GetDisplayValue(1), std::atan2(4, 3) * kDeg, 1e-9);
  EXPECT_NEAR(s.GetDisplayValue(2), std::atan2(4, -3) * kDeg, 1e-9);
  EXPECT_NEAR(s.GetDisplayValue(3), std::atan2(-4, -3) * kDeg, 1e-9);
  EXPECT_EQ(s.GetDisplayValue(4), 0);  // on the negative real axis: 0, not 180
  EXPECT_EQ(s.GetDisplayValue(5), 0);  // a vanishing real part counts as no angle
  EXPECT_EQ(s.GetDisplayUnitShort(), "\u00B0");
  s.SetPhaseScale(2);
  EXPECT_EQ(s.GetEffScale(), 90);

  // The largest magnitude leaves out the DC term: 5. Point 6 (magnitude 0.5) is hidden
  // below -19 dB of it, shown below -21 dB.
  s.SetSuppressPhase(true);
  s.UpdateMaxMagnitude();
  EXPECT_DOUBLE_EQ(s.GetMaxMagnitude(), 5);
  s.SetSuppressLevel(-19);
  EXPECT_EQ(s.GetDisplayValue(6), 0);
  s.SetSuppressLevel(-21);
  EXPECT_NEAR(s.GetDisplayValue(6), std::atan2(0.4, 0.3) * kDeg, 1e-9);

  s.SetRecLen(1);
  s.UpdateMaxMagnitude();
  EXPECT_EQ(s.GetMaxMagnitude(), 0);
}

TEST(SignalObjAssign, HeaderAndPointsButNotTheViewOrTitle) {
  TSignalObj src;
  src.SetRecLen(64);
  src.SetSpectrum(true);
  src.SetHorUnit("Hz");
  src.SetTdrBase(8);
  src.SetRaw(true);
  src.SetTitle("source");
  src.SetLogView(true);
  for (int i = 0; i < 65; ++i) {
    src.SetY(i, i + 0.5);
    src.SetIm(i, -i);
  }
  TSignalObj dst;
  dst.SetTitle("kept");
  dst.SetZoomStep(2);
  dst.SetY(64, -1);
  dst.Assign(src);
  // Beyond the record length nothing is copied.
  EXPECT_EQ(std::tuple(dst.GetRecLen(), dst.GetHorUnit(), dst.GetTdrBase(), dst.GetRaw(), dst.GetStoredY(63),
                       dst.GetIm(63), dst.GetStoredY(64)),
            std::tuple(64, "Hz", 8.0, true, 63.5, -63.0, -1.0));
  EXPECT_EQ(std::tuple(dst.GetTitle(), dst.GetZoomStep(), dst.GetLogView()), std::tuple("kept", 2, false));

  src.SetRecLen(0);
  EXPECT_THROW(dst.Assign(src), std::out_of_range);
  EXPECT_EQ(dst.GetRecLen(), 64);

  // Points exist for indexes 0..4095 only.
  EXPECT_THROW(dst.SetY(4096, 0), std::out_of_range);
  EXPECT_THROW(dst.GetIm(-1), std::out_of_range);
  dst.SetFirstShown(4000);
  EXPECT_THROW(dst.GetDisplayValue(96), std::out_of_range);
}

}  // namespace
}  // namespace norv
