// The FFT of 4096 points. Baseline: FFTW's complex transform of the same size, planned
// for speed (FFTW_MEASURE) on aligned arrays. Each run is a forward and an inverse
// transform on both sides, so the data neither decays nor grows between runs. Goal: at
// most 3 times the baseline.

#include "analysis/fft.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "fftw_baseline.h"
#include "ratio.h"

namespace norv {
namespace {

constexpr int kPoints = 4096;

void BM_FFT4096(benchmark::State& state) {
  std::vector<double> re(kFFTWorkSize), im(kFFTWorkSize);
  const bench::TFftwBaseline fftw(kPoints);
  fftw_complex* const in = fftw.in;
  // A noisy two-tone record, as a spectrum source would be.
  for (int i = 0; i < kPoints; ++i) {
    const auto u = static_cast<size_t>(i);
    re[u] = std::sin(0.05 * i) + 0.3 * std::cos(0.71 * i) + 0.01 * ((i * 7919) % 101 - 50) / 50.0;
    in[i][0] = re[u];
    in[i][1] = im[u];
  }
  bench::TRatio::Run(
      state, 3,
      [&] {
        FFT_Transform(kPoints, false, re, im);
        re[0] *= 2;
        im[0] *= 2;
        FFT_Transform(kPoints, true, re, im);
        benchmark::DoNotOptimize(re.data());
      },
      [&] {
        fftw_execute(fftw.forward);
        fftw_execute(fftw.backward);
        benchmark::DoNotOptimize(fftw.out);
      });
}
BENCHMARK(BM_FFT4096)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv
