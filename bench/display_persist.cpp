// One persistence ageing tick over 300,000 active cells. Baseline: one pass over the same
// cells' ages held in a plain array. Goal: at most 5 times the baseline.

#include <benchmark/benchmark.h>

#include <vector>

#include "display/accum_layers.h"
#include "display_scene.h"
#include "framework/util/numeric_utils.h"
#include "ratio.h"

namespace norv::bench {
namespace {

void AgeingTick(benchmark::State& state) {
  TBenchScene scene;
  TBenchClock clock;
  TPersistenceClock persistence(clock);
  auto layer = scene.AddTrace<TPersistSignalLayer>(8, TTraceId::Ch1, 0xFF80FFFF);
  layer->SetClock(&persistence);
  // Well into the run, with a persistence time the cells have not yet outlived.
  clock.now = 100'000;
  persistence.Refresh();
  layer->SetPersistTime(2);
  // Scatter the points until 300,000 left cells are kept.
  TRandomSource random(5);
  std::vector<uint32_t> ages;
  while (ages.size() < 300'000) {
    layer->SetSignalScale(kPoints, 0, 1);
    for (int i = 0; i < kPoints; ++i) layer->PutSample(i, random.Uniform() * 8 - 4);
    ages.clear();
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kPlotWidth; ++x) {
        if (layer->IsActive(x, y)) ages.push_back(layer->Accum(x, y));
      }
    }
  }
  state.counters["active"] = static_cast<double>(ages.size());
  const uint32_t now = persistence.Hundredths();
  const uint32_t expiry = now - layer->PersistTime();
  // Nothing is old enough: every active cell is visited and kept.
  TRatio::Run(
      state, 5, [&] { layer->AgePoints(); },
      [&] {
        for (uint32_t& age : ages) {
          if (age < expiry) age = 0;
        }
        benchmark::DoNotOptimize(ages.data());
      });
}

BENCHMARK(AgeingTick)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv::bench
