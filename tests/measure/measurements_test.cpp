#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>
#include <utility>

#include "analysis/spectrum.h"
#include "measure/meas_fixture.h"

namespace norv::test {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kU = UndefinedValue;
constexpr auto Ch1 = TTraceId::Ch1, Ch2 = TTraceId::Ch2, S1 = TTraceId::S1;

class MeasurementsTest : public MeasFixture {};

// ---- scenes: the records (and settings) each row measures --------------------------------

// A sine of amplitude 1 around 0.2 V, 100 samples per period.
double Sine(int i) { return 0.2 + std::sin(2 * kPi * i / 100); }
void SineScene(int rightMarker) {
  MeasFixture::Fill(Ch1, Sine);
  MeasFixture::Settings(Ch1).RightMarker = rightMarker;  // margins 0..rightMarker
}

// Square wave of 100 samples, high for 10..59 of each period, with a one-sample spike up
// at 10 and down at 60; Ch2 the same at half the amplitude without spikes.
double Spiky(int i) {
  const int p = i % 100;
  if (p == 10) return MeasFixture::Cell(220);
  if (p == 60) return MeasFixture::Cell(45);
  return MeasFixture::Cell(p > 10 && p < 60 ? 200 : 60);
}
void SquareScene() {
  MeasFixture::Fill(Ch1, Spiky);
  MeasFixture::Fill(Ch2, [](int i) { return MeasFixture::Cell(i % 100 >= 10 && i % 100 < 60 ? 130 : 60); });
}

// 37.3 samples per period, high for the first 30 % of each.
bool PulseHigh(int i) { return std::fmod(i, 37.3) < 0.3 * 37.3; }
void PulseScene() {
  MeasFixture::Fill(Ch1, [](int i) { return MeasFixture::Cell(PulseHigh(i) ? 200 : 60); });
}

// Pulses of 200 samples every 400 with Gaussian (erf) edges of sigma 6 samples.
void ErfScene() {
  MeasFixture::Fill(Ch1, [](int i) {
    const int p = i % 400;
    const double up = 0.5 * std::erfc(-(p - 100) / (6 * std::numbers::sqrt2));
    const double down = 0.5 * std::erfc(-(p - 300) / (6 * std::numbers::sqrt2));
    return MeasFixture::Cell(60) + (MeasFixture::Cell(200) - MeasFixture::Cell(60)) * (up - down);
  });
}

// Ch2 lags Ch1 by 45 degrees (16 of 128 samples); thresholds at fixed screen codes so the
// middle one is exactly 0 V.
void DualScene() {
  MeasFixture::Fill(Ch1, [](int i) { return -std::cos(2 * kPi * i / 128); });
  MeasFixture::Fill(Ch2, [](int i) { return -std::cos(2 * kPi * i / 128 - kPi / 4); });
  for (const TTraceId id : {Ch1, Ch2}) {
    MeasFixture::Settings(id).Thresh = thCustom;
    MeasFixture::Settings(id).Unit = tuVolt;
  }
}

// S1: the spectrum of a 4096-point record of `value` under `window`.
void SpectrumScene(const std::function<double(int)>& value, int window = fwRectang) {
  TSignalObj source;
  source.SetRecLen(4096);
  source.SetDX(MeasFixture::kDx);
  source.SetHorUnit("s");
  source.SetVertUnit("V");
  for (int i = 0; i < 4096; ++i) source.SetY(i, value(i));
  CalcSpectrum(SignalObjs()[S1], source, window);
}
double Tone(double bin, int i) { return std::cos(2 * kPi * bin * i / 4096); }
void HarmonicScene() {
  SpectrumScene([](int i) { return Tone(64, i) + 0.1 * Tone(128, i) + 0.05 * Tone(192, i); });
}

// `count` waveforms whose edges (a single sample on the middle level) move by 0..3
// samples from one waveform to the next; the last one is left in Ch1.
void JitterScene(int count) {
  const auto wave = [](int d) {
    return [d](int i) {
      const int p = i % 400;
      if (p == 100 + d || p == 300 + d) return MeasFixture::Cell(130);
      return MeasFixture::Cell(p > 100 + d && p < 300 + d ? 200 : 60);
    };
  };
  for (int w = 0; w < count - 1; ++w) {
    MeasFixture::Fill(Ch1, wave(w % 4));
    MeasFixture::Measure(mgTime, tmPosJitterPp);
  }
  MeasFixture::Fill(Ch1, wave((count - 1) % 4));
}

struct Row {
  std::function<void()> scene;
  uint8_t group;
  uint8_t index;
  double expected;  // kU: undefined
  double tolerance;
  TTraceId source = Ch1;
};

TEST_F(MeasurementsTest, EveryMeasurementAgainstClosedFormsAndUndefinedWhereNothingIsMeasured) {
  const double dx = kDx, c = std::sqrt(0.2 * 0.2 + 0.5), ac = std::sqrt(0.5);
  // Margins 0..3949: 39.5 periods. Sums of sin and sin^2 over M samples in closed form.
  const double m = 3950, th = 2 * kPi / 100;
  const double s1 = std::sin((m - 1) * th / 2) * std::sin(m * th / 2) / std::sin(th / 2);
  const double s2 = m / 2 - std::sin(m * th) * std::cos((m - 1) * th) / std::sin(th) / 2;
  const double partMean = 0.2 + s1 / m, partDc = std::sqrt(0.04 + 0.4 * s1 / m + s2 / m);
  const double amp = Cell(200) - Cell(60), cellsToV = Cell(1) - Cell(0);
  // The pulse train: first falling edge after 11.5, rising after 37.5; last complete edges
  // before sample 4000.
  const int cycles = static_cast<int>((4000 - 0.3 * 37.3) / 37.3);
  const double lastRising = std::ceil(37.3 * std::floor(4000 / 37.3)) - 0.5;
  const double rise = 2 * 1.2815515655446004 * 6 * dx;
  // Last crossings of Ch2 that complete (reach the upper threshold) before sample 4000.
  const double up = 171 * cellsToV / 4, lead = std::asin(up) / (2 * kPi) * 128;
  const double lastR2 = 48 + 128 * std::floor((4000 - 48 - lead) / 128);
  const double lastF2 = 112 + 128 * std::floor((4000 - 112 - lead) / 128);
  const double bin = 1 / (4096 * dx);
  // Population deviation of the edge offsets 0..3 of 50 waveforms (13, 13, 12, 12 each).
  const double jMean = 73.0 / 50, jRms = std::sqrt(169.0 / 50 - jMean * jMean) * dx;

  const auto sine = [] { SineScene(3999); };
  const auto sinePart = [] { SineScene(3949); };
  const auto jitter = [] { JitterScene(50); };
  const auto flat = [] {
    Fill(Ch1, [](int) { return Cell(100); });
    Fill(Ch2, Spiky);
  };
  const auto step = [] { Fill(Ch1, [](int i) { return Cell(i < 2000 ? 60 : 200); }); };
  const auto collapsed = [] {
    SquareScene();
    Settings(Ch1).LeftMarker = 3000;
    Settings(Ch1).RightMarker = 1000;
  };
  const std::vector<Row> rows = {
      {PulseScene, mgTime, tmPeriod, 37.3 * dx, 4e-4 * 37.3 * dx},
      {PulseScene, mgTime, tmFrequency, 1 / (37.3 * dx), 4e-4 / (37.3 * dx)},
      {PulseScene, mgTime, tmPosWidth, 11.19 * dx, 0.02 * dx},
      {PulseScene, mgTime, tmNegWidth, 26.11 * dx, 0.02 * dx},
      {ErfScene, mgTime, tmRiseTime, rise, 0.05 * dx},
      {ErfScene, mgTime, tmFallTime, rise, 0.05 * dx},
      {PulseScene, mgTime, tmPosDuty, 30, 0.05},
      {PulseScene, mgTime, tmNegDuty, 70, 0.05},
      {PulseScene, mgTime, tmPosCrossing, kX0 + 37.5 * dx, 1e-6 * dx},
      {PulseScene, mgTime, tmNegCrossing, kX0 + 11.5 * dx, 1e-6 * dx},
      {PulseScene, mgTime, tmBurstWidth, (lastRising - 11.5) * dx, 1e-6 * dx},
      {PulseScene, mgTime, tmCycles, double(cycles), 0},
      {SquareScene, mgTime, tmTimeOfMax, kX0 + 10 * dx, 1e-6 * dx},
      {SquareScene, mgTime, tmTimeOfMin, kX0 + 60 * dx, 1e-6 * dx},
      {jitter, mgTime, tmPosJitterPp, 3 * dx, 1e-6 * dx},
      {jitter, mgTime, tmPosJitterRms, jRms, 1e-6 * dx},
      {jitter, mgTime, tmNegJitterPp, 3 * dx, 1e-6 * dx},
      {jitter, mgTime, tmNegJitterRms, jRms, 1e-6 * dx},
      {HarmonicScene, mgSpectrumX, 0, 64 * bin, 1e-6 * bin, S1},
      {HarmonicScene, mgSpectrumX, 1, 128 * bin, 1e-6 * bin, S1},
      {DualScene, mgDualX, 0, 16 * dx, 1e-3 * dx},
      {DualScene, mgDualX, 1, 80 * dx, 1e-3 * dx},
      {DualScene, mgDualX, 2, -48 * dx, 1e-3 * dx},
      {DualScene, mgDualX, 3, 16 * dx, 1e-3 * dx},
      {DualScene, mgDualX, 4, (lastR2 - 32) * dx, 1e-3 * dx},
      {DualScene, mgDualX, 5, (lastF2 - 32) * dx, 1e-3 * dx},
      {DualScene, mgDualX, 6, (lastR2 - 96) * dx, 1e-3 * dx},
      {DualScene, mgDualX, 7, (lastF2 - 96) * dx, 1e-3 * dx},
      {DualScene, mgDualX, dmPhaseDeg, 45, 1e-3},
      {DualScene, mgDualX, dmPhaseRad, kPi / 4, 1e-5},
      {DualScene, mgDualX, dmPhasePerc, 12.5, 1e-4},
      {SquareScene, mgAmplitude, amMaximum, Cell(220), 1e-12},
      {SquareScene, mgAmplitude, amMinimum, Cell(45), 1e-12},
      {SquareScene, mgAmplitude, amPeakPeak, Cell(220) - Cell(45), 1e-12},
      {SquareScene, mgAmplitude, amTop, Cell(200), 1e-12},
      {SquareScene, mgAmplitude, amBase, Cell(60), 1e-12},
      {SquareScene, mgAmplitude, amAmplitude, amp, 1e-12},
      {SquareScene, mgAmplitude, amMiddle, (Cell(220) + Cell(45)) / 2, 1e-12},
      {sine, mgAmplitude, amMean, 0.2, 1e-12},
      {sinePart, mgAmplitude, amMean, partMean, 1e-12},
      {sine, mgAmplitude, amDcRms, c, 1e-12},
      {sinePart, mgAmplitude, amDcRms, partDc, 1e-12},
      {sine, mgAmplitude, amAcRms, ac, 1e-12},
      {sinePart, mgAmplitude, amAcRms, std::sqrt(partDc * partDc - partMean * partMean), 1e-12},
      {sine, mgAmplitude, amArea, 0.2 * 4000 * dx, 1e-9 * dx},
      {sine, mgAmplitude, amCycleMean, 0.2, 1e-4},
      {sine, mgAmplitude, amCycleDcRms, c, 1e-4},
      {sine, mgAmplitude, amCycleAcRms, ac, 1e-4},
      {sine, mgAmplitude, amCycleArea, 0.2 * 100 * dx, 1e-4 * 100 * dx},
      {SquareScene, mgAmplitude, amPosOvershoot, 20.0 / 140 * 100, 1e-9},
      {SquareScene, mgAmplitude, amNegOvershoot, 15.0 / 140 * 100, 1e-9},
      {HarmonicScene, mgSpectrumY, 0, 1, 1e-9, S1},
      {HarmonicScene, mgSpectrumY, 1, 0.95, 1e-9, S1},
      {HarmonicScene, mgSpectrumY, 2, 11.180339887498949, 1e-6, S1},
      {SquareScene, mgDualY, 0, 0.5, 1e-12},
      {SquareScene, mgDualY, 1, 20 * std::log10(0.5), 1e-9},
      // Nothing to measure: a flat record has no edges, levels or amplitude.
      {flat, mgTime, tmPeriod, kU, 0},
      {flat, mgTime, tmFrequency, kU, 0},
      {flat, mgTime, tmRiseTime, kU, 0},
      {flat, mgAmplitude, amCycleMean, kU, 0},
      {flat, mgAmplitude, amPosOvershoot, kU, 0},
      {flat, mgDualY, 0, kU, 0},
      {flat, mgAmplitude, amMean, Cell(100), 1e-12},
      // One edge only: no period, pulse or falling crossing.
      {step, mgTime, tmPeriod, kU, 0},
      {step, mgTime, tmCycles, kU, 0},
      {step, mgTime, tmPosWidth, kU, 0},
      {step, mgTime, tmNegCrossing, kU, 0},
      {step, mgTime, tmBurstWidth, kU, 0},
      {step, mgTime, tmPosCrossing, kX0 + 1999.5 * dx, 1e-6 * dx},
      // Margins collapsed, a record beyond the screen, too few jitter waveforms.
      {collapsed, mgAmplitude, amMean, kU, 0},
      {collapsed, mgTime, tmPosWidth, kU, 0},
      {[] { Fill(Ch1, [](int) { return 5.0; }); }, mgAmplitude, amMaximum, kU, 0},
      {[] { JitterScene(49); }, mgTime, tmPosJitterPp, kU, 0},
      // Spectra: a harmonic beyond the spectrum, no fundamental, no window tables.
      {[] { SpectrumScene([](int i) { return Tone(300, i); }); }, mgSpectrumY, 2, kU, 0, S1},
      {[] { SpectrumScene([](int) { return 0.0; }); }, mgSpectrumY, 2, kU, 0, S1},
      {[] {
         HarmonicScene();
         MeasHooks.WindowCoefficient.Reset();
       },
       mgSpectrumY, 0, kU, 0, S1},
      // Spectrum measurements refuse waveforms and the other way round.
      {HarmonicScene, mgAmplitude, amMean, kU, 0, S1},
      {SquareScene, mgSpectrumY, 0, kU, 0},
  };
  std::set<std::pair<int, int>> covered;
  for (const Row& row : rows) {
    Fresh();
    row.scene();
    const TParameterOfMeas& slot = Measure(row.group, row.index, row.source);
    SCOPED_TRACE(testing::Message() << "group " << int(row.group) << " index " << int(row.index));
    if (row.expected == kU) {
      EXPECT_EQ(slot.Value, kU);
      EXPECT_EQ(slot.UnitText, "");
    } else {
      EXPECT_NEAR(slot.Value, row.expected, row.tolerance);
      covered.emplace(row.group, row.index);
    }
  }
  for (const TMeasEntry& e : MeasCatalogue()) {
    EXPECT_TRUE(covered.count({e.Group, e.Index})) << e.Key << " has no defined case";
  }
}

TEST_F(MeasurementsTest, SpectralPeakOfEveryWindowOnAndOffTheBins) {
  // Magnitude tolerance per window: Hamming's coefficient row (0.54) is not quite the
  // applied window (0.543478); Kaiser-Bessel borrows Blackman-Harris's peak factors.
  const double magnitudeTolerance[] = {1e-3, 1e-2, 1e-6, 3e-3, 1e-3, 2e-2};
  for (int window = 0; window < kWindowKindCount; ++window) {
    for (const double k : {100.0, 100.25, 100.5}) {
      Fresh();
      SpectrumScene([&](int i) { return 0.5 * Tone(k, i); }, window);
      SCOPED_TRACE(testing::Message() << "window " << window << " tone at bin " << k);
      EXPECT_NEAR(Measure(mgSpectrumY, 0, S1).Value, 0.5, 0.5 * magnitudeTolerance[window]);
      // The peak factors are exact half-way between bins.
      if (k == 100.5) {
        EXPECT_NEAR(Measure(mgSpectrumX, 0, S1).Value * 4096 * kDx, k, 2e-3);
      }
      // Peaks above the level: the tone's own bin, not the one below.
      Settings(S1).FFTMethod = fmPeak;
      if (k == 100 && (window == fwRectang || window == fwHanning)) {
        EXPECT_NEAR(Measure(mgSpectrumX, 0, S1).Value * 4096 * kDx, k, 1e-6);
      }
    }
  }
  // A harmonic whose lower bin is empty has no ratio to interpolate with.
  Fresh();
  SpectrumScene([](int) { return 0.0; });
  TSignalObj& s = SignalObjs()[S1];
  s.SetY(10, 1);
  s.SetY(31, 0.2);
  Settings(S1).PeakLeft = 3;
  EXPECT_EQ(Measure(mgSpectrumY, 0, S1).Value, kU);
  Settings(S1).PeakLeft = 1;
  EXPECT_NEAR(Measure(mgSpectrumY, 0, S1).Value, 1, 1e-12);
}

// A change of the time base restarts the jitter histogram and its window: 50 waveforms of a
// jitter-free signal after the change measure no jitter, 49 measure nothing yet. The new
// records are shifted by half a period, so a window kept from before would take in the
// other edge's middle sample.
TEST_F(MeasurementsTest, JitterStartsAgainWhenTheTimeBaseChanges) {
  const auto wave = [](int shift) {
    return [shift](int i) {
      const int p = (i + shift) % 400;
      if (p == 100 || p == 300) return Cell(130);
      return Cell(p > 100 && p < 300 ? 200 : 60);
    };
  };
  struct Case {
    const char* change;
    double dx, x0;
  };
  const Case cases[] = {{"sample interval", 2 * kDx, kX0}, {"origin", kDx, kX0 + 200 * kDx}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    Fresh();
    const auto measure = [&](int shift, double dx, double x0) {
      TSignalObj& r = Fill(Ch1, wave(shift));
      r.SetDX(dx);
      r.SetX0(x0);
      return Measure(mgTime, tmPosJitterPp).Value;
    };
    for (int w = 0; w < 60; ++w) measure(0, kDx, kX0);
    ASSERT_NEAR(measure(0, kDx, kX0), 0, 1e-15) << "no jitter before the change";
    for (int w = 0; w < 48; ++w) measure(200, c.dx, c.x0);
    EXPECT_EQ(measure(200, c.dx, c.x0), kU) << "49 waveforms since the change";
    EXPECT_NEAR(measure(200, c.dx, c.x0), 0, 1e-15) << "50 waveforms since the change";
  }
}

}  // namespace
}  // namespace norv::test
