#pragma once
// The screen the display benchmarks draw on: a 1872 x 929 YT screen (plot 1851 columns)
// with its graticule, as on a large main window.

#include <cmath>
#include <memory>
#include <vector>

#include "display/screen_layer.h"
#include "display/signal_layers.h"
#include "display/signal_screen.h"
#include "framework/util/clock.h"

namespace norv::bench {

inline constexpr int kPlotWidth = 1851;
inline constexpr int kHeight = 929;
inline constexpr int kPoints = 4096;

struct TBenchScene {
  TBenchScene() : gratic("Grig_Scr1", kPlotWidth, kHeight, 30, false) {
    screen.SetBounds(0, 0, kMarkerStripWidth + kPlotWidth, kHeight);
    screen.SetColor(0x1F1F00);
    gratic.SetSignalScreenAndRegisterSelfInIt(&screen);
    gratic.SetLayerColorAndOpacity(0xFF4F6F00);
    gratic.SetVertDivisions(8);
    gratic.SetStyle(TGraticStyle::Grid);
  }
  template <typename Layer>
  std::unique_ptr<Layer> AddTrace(int index, TTraceId traceId, uint32_t colour) {
    auto layer = std::make_unique<Layer>("Trace", kPlotWidth, kHeight, index, false);
    layer->SetTraceId(traceId);
    layer->SetSignalScreenAndRegisterSelfInIt(&screen);
    layer->SetLayerColorAndOpacity(colour);
    return layer;
  }
  TSignalScreen screen;
  TGraticLayer gratic;
};

// Records of a trace, computed before timing: a sum of sines whose phase moves with
// every record, so that every record moves the whole trace.
class TRecords {
 public:
  static constexpr int kCount = 16;
  explicit TRecords(double phase) : values_(kCount, std::vector<double>(kPoints)) {
    for (int r = 0; r < kCount; ++r) {
      for (int i = 0; i < kPoints; ++i) {
        const double t = i / 300.0 + phase + r * 0.37;
        values_[r][i] = 3 * std::sin(t) + 0.4 * std::sin(t * 17.3 + r);
      }
    }
  }
  const std::vector<double>& Values(int record) const { return values_[record % kCount]; }
  void Draw(TParentSignalLayer& layer, int record) const {
    const std::vector<double>& values = Values(record);
    layer.SetSignalScale(kPoints, 0, 1);
    layer.PutSamples(0, values);
  }

 private:
  std::vector<std::vector<double>> values_;
};

// A clock the benchmarks move by hand.
class TBenchClock final : public IClock {
 public:
  int64_t NowMs() const override { return now; }
  void SleepMs(int64_t ms) override { now += ms; }
  int64_t now = 0;
};

}  // namespace norv::bench
