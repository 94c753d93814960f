// One dual-channel record of 4096 points drawn into a 1851 x 929 plot in each style, inside
// the screen's update bracket as an acquisition draws it.
// Baseline: the same 8192 points mapped to rows (rounded inline, as the layers round) and
// written as single pixels straight into a plain 32-bit buffer of the plot's size; for
// vectors also every pixel of the vertical run joining each point to the one before.
// Goal: at most 10 times the baseline as dots or vectors, 20 times in the accumulating
// styles. The baseline loops' machine code (objdump -d of the release build) holds no
// library call.

#include <benchmark/benchmark.h>

#include <algorithm>

#include "display/accum_layers.h"
#include "display/display_math.h"
#include "display_scene.h"
#include "ratio.h"

namespace norv::bench {
namespace {

// The plain buffer the baseline writes into, with the layers' row mapping.
class TPlainPlot {
 public:
  TPlainPlot() : pixels_(static_cast<size_t>(kPlotWidth) * kHeight, 0) {}
  void Draw(const TParentSignalLayer& layer, const std::vector<double>& values, uint32_t colour) {
    for (int i = 0; i < kPoints; ++i) Pixel(layer.PointColumn(i), Row(layer, values[i])) = colour;
    benchmark::DoNotOptimize(pixels_.data());
  }
  // The points and, in the line colour, the run from each point's row to the one before.
  void DrawJoined(const TParentSignalLayer& layer, const std::vector<double>& values, uint32_t colour,
                  uint32_t lineColour) {
    int previous = Row(layer, values[0]);
    for (int i = 0; i < kPoints; ++i) {
      const int column = layer.PointColumn(i);
      const int row = Row(layer, values[i]);
      for (int y = std::min(row, previous); y <= std::max(row, previous); ++y) Pixel(column, y) = lineColour;
      Pixel(column, row) = colour;
      previous = row;
    }
    benchmark::DoNotOptimize(pixels_.data());
  }

 private:
  static int Row(const TParentSignalLayer& layer, double value) {
    constexpr int kMaxY = kHeight - 1;
    constexpr int kCentre = kMaxY / 2;  // the layers' centre row
    return RoundClampedNonNegative(kCentre - value * layer.Scale(), 1, kMaxY - 1, kMaxY - 1);
  }
  uint32_t& Pixel(int column, int row) { return pixels_[static_cast<size_t>(row) * kPlotWidth + column]; }
  std::vector<uint32_t> pixels_;
};

template <typename Layer>
void DualChannelRecord(benchmark::State& state) {
  constexpr bool kAccumulating = std::is_base_of_v<TComplicatedSignalLayer, Layer>;
  constexpr bool kJoined = std::is_same_v<Layer, TVectorSignalLayer>;
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
        scene.screen.BeginUpdate();
        records1.Draw(*ch1, record);
        records2.Draw(*ch2, record);
        scene.screen.EndUpdate();
        ++record;
        clock.now += 20;
        persistence.Refresh();
      },
      [&] {
        if constexpr (kJoined) {
          plain.DrawJoined(*ch1, records1.Values(plainRecord), 0xFF80FFFF, 0xFF406080);
          plain.DrawJoined(*ch2, records2.Values(plainRecord), 0xFFFFFF80, 0xFF808040);
        } else {
          plain.Draw(*ch1, records1.Values(plainRecord), 0xFF80FFFF);
          plain.Draw(*ch2, records2.Values(plainRecord), 0xFFFFFF80);
        }
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
