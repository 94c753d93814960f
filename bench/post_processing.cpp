// The derived traces of one acquisition on 4096-point records: S1 and S2 (Hanning and
// Blackman-Harris windows) of Ch1 and Ch2, F1 = Ch1 + Ch2, F2 = Ch1 * constant, F3 = Ch1
// smoothed over 7 points, F4 = the inverse FFT of S1. Baseline: the three transforms of
// 4096 points among them alone (two forward, one inverse) by FFTW, planned for speed
// (FFTW_MEASURE) on aligned arrays, each source copied in first. Goal: at most 3 times
// the baseline.

#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/math_functions.h"
#include "analysis/spectrum.h"
#include "fftw_baseline.h"
#include "instrument/record/signal_obj.h"
#include "ratio.h"

namespace norv {
namespace {

constexpr int kPoints = 4096;

TSignalObj Source(double f, double phase) {
  TSignalObj r;
  r.SetRecLen(kPoints);
  r.SetDX(1e-11);
  r.SetHorUnit("s");
  r.SetVertUnit("V");
  r.SetVertScale(0.1);
  for (int i = 0; i < kPoints; ++i)
    r.SetY(i, 0.3 * std::sin(f * i + phase) + 0.01 * ((i * 7919) % 101 - 50) / 50.0);
  return r;
}

void BM_PostProcessing4096(benchmark::State& state) {
  const TSignalObj ch1 = Source(0.05, 0), ch2 = Source(0.031, 1);
  TSignalObj s1, s2, f1, f2, f3, f4;
  const auto function = [](int index, int op, const TSignalObj& a, const TSignalObj* b) {
    TMathDefinition d;
    d.FunctionIndex = index;
    d.Operator = op;
    d.Source1 = &a;
    d.Source1Name = "Ch1";
    d.Source2 = b;
    d.Constant = 2.5;
    d.SmoothLen = 2;
    return d;
  };
  const TMathDefinition d1 = function(0, moAdd, ch1, &ch2), d2 = function(1, moMult, ch1, nullptr),
                        d3 = function(2, moSmooth, ch1, nullptr), d4 = function(3, moIFFT, s1, nullptr);
  const bench::TFftwBaseline fftw(kPoints);
  fftw_complex* const in = fftw.in;
  const auto copyIn = [&](const TSignalObj& source) {
    for (int i = 0; i < kPoints; ++i) {
      in[i][0] = source.GetY(i);
      in[i][1] = 0;
    }
  };
  bench::TRatio::Run(
      state, 3,
      [&] {
        CalcSpectrumOf(s1, ch1, "Ch1", 2);
        CalcSpectrumOf(s2, ch2, "Ch2", 4);
        CalcFunctionRecord(d1, f1);
        CalcFunctionRecord(d2, f2);
        CalcFunctionRecord(d3, f3);
        CalcFunctionRecord(d4, f4);
        benchmark::DoNotOptimize(f4.GetY(1));
      },
      [&] {
        copyIn(ch1);
        fftw_execute(fftw.forward);
        fftw_execute(fftw.backward);
        copyIn(ch2);
        fftw_execute(fftw.forward);
        benchmark::DoNotOptimize(fftw.mid);
        benchmark::DoNotOptimize(fftw.out);
      });
}
BENCHMARK(BM_PostProcessing4096)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv
