// One dual-channel record of 4096 points drawn into a 1851 x 929 plot in each style.
// Goal: under 1 ms as dots or vectors, under 3 ms in the accumulating styles.

#include <benchmark/benchmark.h>

#include "display/accum_layers.h"
#include "display_scene.h"

namespace norv::bench {
namespace {

template <typename Layer>
void DualChannelRecord(benchmark::State& state) {
  TBenchScene scene;
  TBenchClock clock;
  TPersistenceClock persistence(clock);
  auto ch1 = scene.AddTrace<Layer>(8, TTraceId::Ch1, 0xFF80FFFF);
  auto ch2 = scene.AddTrace<Layer>(10, TTraceId::Ch2, 0xFFFFFF80);
  if constexpr (std::is_base_of_v<TComplicatedSignalLayer, Layer>) {
    ch1->SetClock(&persistence);
    ch2->SetClock(&persistence);
  }
  if constexpr (std::is_same_v<Layer, TPersistSignalLayer>) {
    ch1->SetPersistTime(2);
    ch2->SetPersistTime(2);
  }
  const TRecords records1(0);
  const TRecords records2(1.3);
  int record = 0;
  for (int warm = 0; warm < 20; ++warm, ++record) {
    records1.Draw(*ch1, record);
    records2.Draw(*ch2, record);
  }
  for (auto _ : state) {
    records1.Draw(*ch1, record);
    records2.Draw(*ch2, record);
    ++record;
    clock.now += 20;
    persistence.Refresh();
  }
  benchmark::DoNotOptimize(scene.screen.Image().Data());
}

BENCHMARK_TEMPLATE(DualChannelRecord, TSimpleSignalLayer)->Name("Record/Dots")->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(DualChannelRecord, TVectorSignalLayer)->Name("Record/Vectors")->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(DualChannelRecord, TPersistSignalLayer)->Name("Record/Persistence")->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(DualChannelRecord, TColorGrSignalLayer)->Name("Record/ColourGrade")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv::bench
