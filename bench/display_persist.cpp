// One persistence ageing tick over 300,000 active cells. Goal: under 2 ms.

#include <benchmark/benchmark.h>

#include "display/accum_layers.h"
#include "display_scene.h"
#include "framework/util/numeric_utils.h"

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
  int active = 0;
  while (active < 300'000) {
    layer->SetSignalScale(kPoints, 0, 1);
    for (int i = 0; i < kPoints; ++i) layer->PutSample(i, random.Uniform() * 8 - 4);
    active = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kPlotWidth; ++x) active += layer->IsActive(x, y);
    }
  }
  state.counters["active"] = active;
  for (auto _ : state) {
    layer->AgePoints();  // nothing is old enough: every active cell is visited and kept
  }
}

BENCHMARK(AgeingTick)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv::bench
