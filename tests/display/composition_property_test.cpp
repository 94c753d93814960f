// Whatever sequence of cell changes, colour and translucency changes, on-top changes and
// Show / Hide / Redraw the layers go through, the incrementally maintained picture must
// equal a composition from scratch, and the occupancy words must agree with the layers.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "display/accum_layers.h"
#include "display/signal_layers.h"
#include "display/signal_screen.h"
#include "display_test_support.h"
#include "framework/util/numeric_utils.h"
#include "support/fake_clock.h"

namespace norv {
namespace {

using test::TCellLayer;

constexpr int kPlotWidth = 40;
constexpr int kHeight = 24;

class CompositionModel {
 public:
  explicit CompositionModel(uint32_t seed) : random_(seed), clock_(0), persistence_(clock_) {
    screen_.SetBounds(0, 0, kMarkerStripWidth + kPlotWidth, kHeight);
    screen_.SetColor(0x202020);
    auto gratic = std::make_unique<TGraticLayer>("G", kPlotWidth, kHeight, 30, false);
    gratic->SetVertDivisions(4);
    graticule_ = gratic.get();
    Attach(std::move(gratic));
    graticule_->SetStyle(TGraticStyle::Grid);
    for (int index : {1, 3, 12, 27}) {
      auto cells = std::make_unique<TCellLayer>("C", kPlotWidth, kHeight, index, false);
      cellLayers_.push_back(cells.get());
      Attach(std::move(cells));
    }
    auto persist = std::make_unique<TPersistSignalLayer>("P", kPlotWidth, kHeight, 16, false);
    auto grade = std::make_unique<TColorGrSignalLayer>("K", kPlotWidth, kHeight, 20, false);
    persist->SetClock(&persistence_);
    persist->SetPersistTime(0.05);
    grade->SetClock(&persistence_);
    persist_ = persist.get();
    AttachTrace(std::make_unique<TSimpleSignalLayer>("D", kPlotWidth, kHeight, 8, false), TTraceId::Ch1);
    AttachTrace(std::make_unique<TVectorSignalLayer>("V", kPlotWidth, kHeight, 10, false), TTraceId::Ch2);
    AttachTrace(std::move(persist), TTraceId::F2);
    AttachTrace(std::move(grade), TTraceId::S1);
    for (TParentSignalLayer* t : traces_) t->SetSignalScale(64, 0, 1);
  }

  void Step() {
    const int x = random_.UniformInt(kPlotWidth);
    const int y = random_.UniformInt(kHeight);
    switch (random_.UniformInt(14)) {
      case 0:
      case 1:
        Cells().Put(x, y, RandomRgb());
        break;
      case 2:
        Cells().Remove(x, y);
        break;
      case 3: {
        TCellLayer& layer = Cells();
        if (layer.Cell(x, y) != 0) layer.Recolour(x, y, RandomRgb());
        break;
      }
      case 4:
        AnyLayer().SetLayerColorAndOpacity(RandomColour());
        break;
      case 5:
        screen_.SetOnTopLayer(random_.UniformInt(32));
        break;
      case 6:
        AnyLayer().Show();
        break;
      case 7:
        AnyLayer().Hide();
        break;
      case 8:
        AnyLayer().Redraw();
        break;
      case 9:
      case 10:
        for (int i = 0; i < 8; ++i) Trace().PutSample(random_.UniformInt(72), random_.Uniform() * 10 - 5);
        break;
      case 11:
        Trace().SetSignalScale(random_.UniformInt(3) == 0 ? 48 + random_.UniformInt(32) : 64,
                               random_.Uniform() * 2 - 1, 0.5 + random_.Uniform());
        break;
      case 12:
        clock_.Advance(random_.UniformInt(40));
        persistence_.Refresh();
        persist_->AgePoints();
        break;
      default:
        if (random_.UniformInt(2) == 0) {
          screen_.SetXWindow(random_.UniformInt(1500), random_.UniformInt(4000), random_.UniformInt(4000),
                             random_.UniformInt(2) * 300);
        } else if (random_.UniformInt(2) == 0) {
          screen_.SetColor(RandomRgb());
        } else {
          graticule_->SetStyle(static_cast<TGraticStyle>(random_.UniformInt(4)));
        }
        break;
    }
  }

  // From scratch: which layers are present at each pixel, and what is seen there.
  void ExpectConsistent(int step) const {
    for (int y = 0; y < kHeight; ++y) {
      for (int column = 0; column < screen_.Width(); ++column) {
        const int x = column - kMarkerStripWidth;
        uint32_t word = 0;
        for (const auto& layer : layers_)
          if (layer->CellPresent(x, y)) word |= 1u << layer->Index();
        ASSERT_EQ(screen_.Occupancy(column, y), word)
            << "occupancy at " << x << "," << y << " after step " << step;
        const TColorRef expected = word == 0 ? screen_.Color() : Compose(word, x, y);
        ASSERT_EQ(screen_.Image().Pixel(column, y), expected)
            << "pixel at " << x << "," << y << " after step " << step;
      }
    }
  }

 private:
  TColorRef Compose(uint32_t word, int x, int y) const {
    std::vector<int> order{screen_.OnTopLayer()};
    for (int i = 0; i < 32; ++i)
      if (i != screen_.OnTopLayer()) order.push_back(i);
    uint32_t translucent = 0;
    for (int i : order) {
      if (!(word & (1u << i))) continue;
      const TScreenLayer* layer = screen_.LayerObject(i);
      uint32_t colour = layer->PixelColor(x, y);
      if ((i == 8 || i == 10) && screen_.InXWindow(x)) colour = 0xFFFF80FF;
      if (colour == 0) continue;
      // The blend itself is checked by hand in the signal-screen tests.
      if ((colour >> 24) == 0xFF)
        return translucent ? TSignalScreen::BlendColors(colour & 0xFFFFFF, translucent) : colour & 0xFFFFFF;
      translucent = colour;  // the rearmost one before the first opaque layer counts
    }
    return translucent ? TSignalScreen::BlendColors(screen_.Color(), translucent) : 0x0000FF;
  }

  void Attach(std::unique_ptr<TScreenLayer> layer) {
    test::Attach(*layer, screen_, RandomColour());
    layers_.push_back(std::move(layer));
  }
  void AttachTrace(std::unique_ptr<TParentSignalLayer> trace, TTraceId id) {
    trace->SetTraceId(id);
    traces_.push_back(trace.get());
    Attach(std::move(trace));
  }
  TCellLayer& Cells() { return *cellLayers_[random_.UniformInt(4)]; }
  TParentSignalLayer& Trace() { return *traces_[random_.UniformInt(4)]; }
  TScreenLayer& AnyLayer() { return *layers_[random_.UniformInt(static_cast<int>(layers_.size()))]; }
  TColorRef RandomRgb() { return random_.Next() >> 8; }
  uint32_t RandomColour() {
    const uint32_t alpha = random_.UniformInt(3) == 0 ? 1 + random_.UniformInt(254) : 0xFF;
    return (alpha << 24) | (RandomRgb() | 0x010101);
  }

  TRandomSource random_;
  test::FakeClock clock_;
  TPersistenceClock persistence_;
  TSignalScreen screen_;
  std::vector<std::unique_ptr<TScreenLayer>> layers_;
  std::vector<TCellLayer*> cellLayers_;
  std::vector<TParentSignalLayer*> traces_;
  TGraticLayer* graticule_ = nullptr;
  TPersistSignalLayer* persist_ = nullptr;
};

TEST(CompositionProperty, IncrementalPixelsEqualAFreshComposition) {
  for (uint32_t seed : {1u, 7u, 42u, 2024u, 99991u}) {
    SCOPED_TRACE(seed);
    CompositionModel model(seed);
    model.ExpectConsistent(0);
    for (int step = 1; step <= 600; ++step) {
      model.Step();
      model.ExpectConsistent(step);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace norv
