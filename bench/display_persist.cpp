// One persistence ageing tick over 300,000 active cells. Baseline: one pass over the same
// cells' ages held in a plain array, four at a time (as the layer compares them), the old
// ones cleared. Goal: at most 5 times the baseline. The baseline loop's machine code
// (objdump -d of the release build) holds no library call.

#include <benchmark/benchmark.h>

#include <cstring>
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
  while (ages.size() % 4 != 0) ages.push_back(now);  // whole lanes for the baseline
  // Nothing is old enough: every active cell is kept (the layer may know so without
  // visiting each).
  TRatio::Run(
      state, 5, [&] { layer->AgePoints(); },
      [&] {
        using TLanes = uint32_t __attribute__((vector_size(16)));
        const TLanes limit = TLanes{} + expiry;
        for (size_t i = 0; i < ages.size(); i += 4) {
          TLanes lanes;
          std::memcpy(&lanes, &ages[i], sizeof lanes);
          lanes &= ~TLanes(lanes < limit);
          std::memcpy(&ages[i], &lanes, sizeof lanes);
        }
        benchmark::DoNotOptimize(ages.data());
      });
}

BENCHMARK(AgeingTick)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv::bench
