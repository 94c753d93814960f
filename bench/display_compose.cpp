// RecomposeAll of a 1872 x 929 screen with graticule, four traces and one translucent
// layer. Baseline: copying the whole screen buffer once (memcpy). Goal: at most 20 times
// the baseline.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "display/accum_layers.h"
#include "display_scene.h"
#include "ratio.h"

namespace norv::bench {
namespace {

void RecomposeFullScreen(benchmark::State& state) {
  TBenchScene scene;
  auto ch1 = scene.AddTrace<TVectorSignalLayer>(8, TTraceId::Ch1, 0xFF80FFFF);
  auto ch2 = scene.AddTrace<TVectorSignalLayer>(10, TTraceId::Ch2, 0xFFFFFF80);
  auto f1 = scene.AddTrace<TSimpleSignalLayer>(16, TTraceId::F1, 0xFFD78FE0);
  auto m1 = scene.AddTrace<TSimpleSignalLayer>(20, TTraceId::M1, 0xFF8050F0);
  int phase = 0;
  for (TParentSignalLayer* t :
       {static_cast<TParentSignalLayer*>(ch1.get()), static_cast<TParentSignalLayer*>(ch2.get()),
        static_cast<TParentSignalLayer*>(f1.get()), static_cast<TParentSignalLayer*>(m1.get())}) {
    TRecords(phase++).Draw(*t, 0);
  }
  // A translucent histogram over a third of the plot.
  THistLayer hist("Hist Layer", kPlotWidth, kHeight, 6, false);
  hist.SetSignalScreenAndRegisterSelfInIt(&scene.screen);
  hist.SetLayerColorAndOpacity(0x800000FF);
  std::vector<uint32_t> bins(256);
  for (int i = 0; i < 256; ++i) bins[i] = 1000 - (i - 128) * (i - 128) / 17;
  hist.DrawHistogram(0, 256, bins, false, 0, 0.03, 1000);

  const TSLBMP& image = scene.screen.Image();
  const size_t bytes = static_cast<size_t>(image.Width()) * image.Height() * sizeof(uint32_t);
  std::vector<uint32_t> copy(static_cast<size_t>(image.Width()) * image.Height());
  TRatio::Run(
      state, 20, [&] { scene.screen.RecomposeAll(); },
      [&] {
        std::memcpy(copy.data(), image.Data(), bytes);
        benchmark::DoNotOptimize(copy.data());
      });
}

BENCHMARK(RecomposeFullScreen)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norv::bench
