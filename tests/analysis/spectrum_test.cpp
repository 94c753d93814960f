#include "analysis/spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "analysis/fft.h"
#include "framework/settings/program_objects.h"

namespace norv {
namespace {

constexpr double kPi = std::numbers::pi;

class SpectrumTest : public testing::Test {
 protected:
  void TearDown() override { FreshProgramState(); }

  static TSignalObj Source(int n, const std::function<double(int)>& value, double dx = 1e-9,
                           const std::string& horUnit = "s") {
    TSignalObj r;
    r.SetRecLen(static_cast<uint16_t>(n));
    r.SetDX(dx);
    r.SetX0(5e-9);
    r.SetHorUnit(horUnit);
    r.SetVertUnit("V");
    r.SetVertOffset(0.3);
    for (int i = 0; i < n; ++i) r.SetY(i, value(i));
    return r;
  }
  static double Magnitude(const TSignalObj& s, int k) { return std::hypot(s.GetStoredY(k), s.GetIm(k)); }
};

TEST_F(SpectrumTest, AxesAndUnitsFollowTheSource) {
  for (const auto& [horUnit, expected] :
       {std::pair{"s", "Hz"}, {"m", "1/m"}, {"ft", "1/ft"}, {"in", "1/ft"}, {"Bit", ""}}) {
    TSignalObj s;
    CalcSpectrum(s,
                 Source(
                     512, [](int) { return 0.0; }, 1e-9, horUnit),
                 fwHanning);
    EXPECT_EQ(s.GetHorUnit(), expected) << horUnit;
    EXPECT_EQ(s.GetRecLen(), 512);
    EXPECT_NEAR(s.GetDX(), 1.953125e6, 1e-6);  // 1 / (512 ns)
    EXPECT_EQ(s.GetX0(), 0);
    EXPECT_TRUE(s.IsSpectrum());
    EXPECT_EQ(s.GetFFTWindow(), fwHanning);
    EXPECT_EQ(s.GetVertOffset(), 0);
    EXPECT_EQ(s.GetTitle(), "Spectrum");
    EXPECT_EQ(s.GetVertUnitText(), "V");
  }
  // A source in reflection units is transformed as shown: 0.35 V over a 0.5 V step from
  // 0.1 V is a constant reflection of 0.5.
  TSignalObj tdr = Source(64, [](int) { return 0.35; });
  tdr.SetTdrUnitKind(tukRho);
  tdr.SetTdrAmplitude(0.5);
  tdr.SetTdrBase(0.1);
  TSignalObj s;
  CalcSpectrum(s, tdr, fwRectang);
  EXPECT_NEAR(s.GetY(0), 0.5, 1e-12);
  EXPECT_EQ(s.GetVertUnitText(), "Rho");
}

TEST_F(SpectrumTest, WindowGainAndTheSpectralPeakOfOnAndOffBinTones) {
  constexpr int n = 1024, k = 256;
  struct Row {
    TFFTWindowKind window;
    double gain;             // coherent gain: the mean of the window
    double offBinPeak;       // peak of a tone half-way between two bins (0: not checked)
    double offsetTolerance;  // of a quarter-bin tone (0: not checked)
  };
  // Rectangular: 2 / pi; Hanning: 0.5 * 8 / (3 pi), its 1.42 dB scalloping loss. The
  // peak factors of Flattop, and of Kaiser-Bessel (which shares Blackman-Harris's row),
  // are exact only half-way between bins.
  for (const Row& row : {Row{fwRectang, 1.0, 2 / kPi, 0.002}, Row{fwHamming, 0.543478, 0, 0.005},
                         Row{fwHanning, 0.5, 0.5 * 8 / (3 * kPi), 1e-3}, Row{fwFlattop, 0.281, 0, 0},
                         Row{fwBlackHarr, 0.35875, 0, 1e-3}, Row{fwKaiserBess, 0.40243, 0, 0}}) {
    TSignalObj& s = SignalObjs()[TTraceId::S1];
    CalcSpectrum(s, Source(n, [](int) { return 1.0; }), row.window);
    EXPECT_NEAR(s.GetY(0), row.gain, 1e-9) << int(row.window);

    // On a bin, a tone of amplitude 2 shows 2 * gain, its neighbour bins no more than the
    // first side coefficient allows.
    CalcSpectrum(s, Source(n, [](int i) { return 2 * std::cos(2 * kPi * k * i / n); }), row.window);
    EXPECT_NEAR(Magnitude(s, k), 2 * row.gain, 1e-9) << int(row.window);
    EXPECT_NEAR(Magnitude(s, n - k), 2 * row.gain, 1e-9) << int(row.window);

    // Off the bins, the peak factors of the window give the tone's place back.
    for (const double delta : {0.25, 0.5}) {
      CalcSpectrum(s, Source(n, [&](int i) { return std::cos(2 * kPi * (k + delta) * i / n); }), row.window);
      const double r = Magnitude(s, k + 1) / Magnitude(s, k);
      const int signal = TraceIndex(TTraceId::S1);
      const double d = (GetWindowMeasFactor(signal, 0) * r - GetWindowMeasFactor(signal, 1)) /
                       (GetWindowMeasFactor(signal, 2) * r + 1);
      if (delta == 0.5) {
        EXPECT_NEAR(d, delta, 1e-4) << int(row.window);
        if (row.offBinPeak != 0) {
          EXPECT_NEAR(Magnitude(s, k), row.offBinPeak, 2e-3) << int(row.window);
        }
      } else if (row.offsetTolerance != 0) {
        EXPECT_NEAR(d, delta, row.offsetTolerance) << int(row.window);
      }
    }
  }
  // The tables end where their rows end.
  EXPECT_THROW(GetWindowMeasFactor(TraceIndex(TTraceId::S1), 3), std::out_of_range);
  EXPECT_THROW(GetWindowCoefficient(TraceIndex(TTraceId::S1), 5), std::out_of_range);
  EXPECT_EQ(GetWindowCoefficient(TraceIndex(TTraceId::S1), 4), 3);  // Kaiser-Bessel's order
  SignalObjs()[TTraceId::S1].SetFFTWindow(6);
  EXPECT_THROW(GetWindowCoefficient(TraceIndex(TTraceId::S1), 0), std::out_of_range);
}

TEST_F(SpectrumTest, RefusalsLeaveTheSpectrumAsItWas) {
  TSignalObj s;
  CalcSpectrum(s, Source(32, [](int i) { return i; }), fwRectang);
  const TSignalObj before = s;
  EXPECT_EQ(CalcSpectrumOf(s, before, "F1", fwRectang),
            "F1 is a complex function. You can't use it as an argument for FFT");
  // Lengths the transform cannot take, more points than a record holds, an unknown window.
  for (const int n : {0, 1, 48, 8192}) {
    TSignalObj odd = Source(16, [](int) { return 1.0; });
    odd.SetRecLen(static_cast<uint16_t>(n));
    EXPECT_THROW(CalcSpectrum(s, odd, fwRectang), EFFTLength) << n;
  }
  EXPECT_THROW(CalcSpectrum(s, Source(32, [](int) { return 1.0; }), 6), std::out_of_range);
  EXPECT_EQ(s.GetRecLen(), 32);
  EXPECT_EQ(s.GetDX(), before.GetDX());
  EXPECT_EQ(s.GetStoredY(1), before.GetStoredY(1));
}

}  // namespace
}  // namespace norv
