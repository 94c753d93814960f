// The mask test of a dual-channel record: 2 x 4096 shown points, each tested against an
// eight-polygon mask (hit bits of every polygon) in one batch call, as while mask testing runs.
// Baseline: one plain pass over the same points (summing their screen positions).
// Goal: at most 5 times it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "ratio.h"
#include "tdr_mask/mask_object.h"

namespace norv {
namespace {

constexpr int kPointsPerChannel = 4096;

void BM_MaskTestDualRecord(benchmark::State& state) {
  TMask_Obj mask;
  // Eight hexagons side by side across the screen, half of them reaching the trace.
  for (int n = 0; n < 8; ++n) {
    const double left = 50 + 500 * n, top = n % 2 ? 900 : 700;
    mask.AddPolygon(TMask_Obj::pkMask, {left, left + 100, left + 300, left + 400, left + 300, left + 100},
                    {top - 150, top, top, top - 150, top - 300, top - 300});
  }
  std::vector<int32_t> xs, ys;
  std::vector<uint8_t> bits(2 * kPointsPerChannel);
  for (int channel = 0; channel < 2; ++channel) {
    for (int i = 0; i < kPointsPerChannel; ++i) {
      xs.push_back(static_cast<int32_t>(std::lround(i * 4000.0 / (kPointsPerChannel - 1))));
      ys.push_back(static_cast<int32_t>(std::lround(512 + 380 * std::sin(i * 0.013 + channel))));
    }
  }
  bench::TRatio::Run(
      state, 5,
      [&] {
        mask.MaskHitBits(xs.data(), ys.data(), xs.size(), bits.data());
        benchmark::DoNotOptimize(bits.data());
      },
      [&] {
        int64_t sum = 0;
        for (size_t i = 0; i < xs.size(); ++i) sum += xs[i] + ys[i];
        benchmark::DoNotOptimize(sum);
      });
}
BENCHMARK(BM_MaskTestDualRecord)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv
