// One dual-channel record of 4096 points drawn into a 1851 x 929 plot in each style.
// Baseline: the same 8192 points mapped to rows and written as single pixels straight
// into a plain 32-bit buffer of the plot's size. Goal: at most 10 times the baseline as
// dots or vectors, 20 times in the accumulating styles.

#include <benchmark/benchmark.h>

#include "display/accum_layers.h"
#include "display_scene.h"
#include "framework/util/numeric_utils.h"
#include "ratio.h"

namespace norv::bench {
namespace {

// The plain buffer the baseline writes into, with the layers' row mapping.
class TPlainPlot {
 public:
  TPlainPlot() : pixels_(static_cast<size_t>(kPlotWidth) * kHeight, 0) {}
  void Draw(const TParentSignalLayer& layer, const std::vector<double>& values, uint32_t colour) {
    const int maxY = kHeight - 1;
    const int centre = maxY / 2;  // the layers' centre row
    const double scale = layer.Scale();
    for (int i = 0; i < kPoints; ++i) {
      const int row = RoundClamped(centre - values[i] * scale, 1, maxY - 1, maxY - 1);
      pixels_[static_cast<size_t>(row) * kPlotWidth + layer.PointColumn(i)] = colour;
    }
    benchmark::DoNotOptimize(pixels_.data());
  }

 private:
  std::vector<uint32_t> pixels_;
};

template <typename Layer>
void DualChannelRecord(benchmark::State& state) {
  constexpr bool kAccumulating = std::is_base_of_v<TComplicatedSignalLayer, Layer>;
  TBenchScene scene;
  TBenchClock clock;
  TPersistenceClock persistence(clock);
  auto ch1 = scene.AddTrace<Layer>(8, TTraceId::Ch1, 0xFF80FFFF);
  auto ch2 = scene.AddTrace<Layer>(10, TTraceId::Ch2, 0xFFFFFF80);
  if constexpr (kAccumulating) {
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
  TPlainPlot plain;
  int plainRecord = 0;
  TRatio::Run(
      state, kAccumulating ? 20 : 10,
      [&] {
        records1.Draw(*ch1, record);
        records2.Draw(*ch2, record);
        ++record;
        clock.now += 20;
        persistence.Refresh();
      },
      [&] {
        plain.Draw(*ch1, records1.Values(plainRecord), 0xFF80FFFF);
        plain.Draw(*ch2, records2.Values(plainRecord), 0xFFFFFF80);
        ++plainRecord;
      });
  benchmark::DoNotOptimize(scene.screen.Image().Data());
}

BENCHMARK_TEMPLATE(DualChannelRecord, TSimpleSignalLayer)
    ->Name("Record/Dots")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(DualChannelRecord, TVectorSignalLayer)
    ->Name("Record/Vectors")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(DualChannelRecord, TPersistSignalLayer)
    ->Name("Record/Persistence")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(DualChannelRecord, TColorGrSignalLayer)
    ->Name("Record/ColourGrade")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv::bench
