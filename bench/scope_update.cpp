// One complete update of the screen area for a new dual-channel record of 4096 points:
// format 4YT on a 1900 x 1000 panel with graticules, Ch1 (vectors) and Ch2 (dots) on
// screens 1 and 2, the status line's acquisition cells and a bottom-strip readout.
// Every surface is shown by its widget in an offscreen window, and the update ends when the
// window has painted what changed, as in the program.
// Baseline: copying every surface of the screen area once (memcpy). Goal: at most 30
// times the baseline.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/scope_crt.h"
#include "display/ui/scan_lines_widget.h"
#include "display_scene.h"
#include "ratio.h"

namespace norv::bench {
namespace {

// A fixed 6 x 11 cell font: the cost of a text cell without a platform renderer.
class TBenchFont final : public ITextRasteriser {
 public:
  TTextExtent Measure(std::string_view text) const override {
    return {static_cast<int>(text.size()) * 6, 11};
  }
  int CharAdvance(char32_t) const override { return 6; }
  TTextMask RenderMask(std::string_view text) const override {
    TTextMask mask;
    mask.Width = static_cast<int>(text.size()) * 6;
    mask.Height = 11;
    mask.Bits.assign(static_cast<size_t>(mask.Width) * mask.Height, 0);
    for (size_t i = 0; i < text.size(); ++i) {
      for (int y = 2; y < 10; ++y) {
        for (int x = 0; x < 4; ++x) mask.Bits[y * mask.Width + i * 6 + x] = (text[i] + x + y) & 1;
      }
    }
    return mask;
  }
};

class TCountingSource final : public ITopTextSource {
 public:
  TAcqModeKind AcqMode(int) const override { return TAcqModeKind::AvgStab; }
  double AveragedSoFar(int) const override { return count; }
  double count = 0;
};

// Kept to the process's end: destroyed among the static objects at exit, it would crash.
QApplication& OffscreenApplication() {
  static int argc = 1;
  static char name[] = "bench_scope_update";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

void ScopeScreenUpdate(benchmark::State& state) {
  OffscreenApplication();
  TBenchClock clock;
  TBenchFont font;
  TCountingSource source;
  TScopeCRT crt(&font, nullptr, clock);
  crt.PlaceScreen(0, 0, 1004, 1904);
  crt.SetFormat(TScreenFormat::YT4);
  crt.SetSignalScreen(TTraceId::Ch2, 2);
  crt.TopText().SetSource(&source);
  crt.TopText().RefreshTopText();
  const TRecords ch1(0);
  const TRecords ch2(1.3);
  int record = 0;

  std::vector<TScanLinesScreen*> surfaces = {&crt.TopText(), &crt.BottomText()};
  for (int n = 1; n <= 4; ++n) surfaces.push_back(crt.Screen(n));
  size_t pixels = 0;
  for (const TScanLinesScreen* s : surfaces) pixels += static_cast<size_t>(s->Width()) * s->Height();
  std::vector<uint32_t> copy(pixels);

  QWidget window;
  window.resize(1904, 1004);
  std::vector<std::unique_ptr<TScanLinesWidget>> widgets;
  for (TScanLinesScreen* s : surfaces) {
    widgets.push_back(std::make_unique<TScanLinesWidget>(*s, &window));
    widgets.back()->setGeometry(s->Left(), s->Top(), s->Width(), s->Height());
  }
  window.show();
  QApplication::processEvents();

  const auto update = [&] {
    ++record;
    for (const auto& [signal, records] : {std::pair(TTraceId::Ch1, &ch1), std::pair(TTraceId::Ch2, &ch2)}) {
      TParentSignalLayer* layer =
          crt.GetStyledLayer(signal, signal == TTraceId::Ch1 ? TDisplayStyle::Vectors : TDisplayStyle::Dots);
      TSignalScreen& screen = *layer->GetScreen();
      screen.BeginUpdate();
      records->Draw(*layer, record);
      screen.EndUpdate();
    }
    source.count = record;
    crt.TopText().ShowAllChannelStatus();
    crt.BottomText().WriteLine("dT " + std::to_string(record) + " ps", TNizText::GetMarkCellRect(1, 1, false),
                               -1, 0xFFFFFF);
    QApplication::processEvents();
  };
  TRatio::Run(state, 30, update, [&] {
    uint32_t* to = copy.data();
    for (const TScanLinesScreen* s : surfaces) {
      const size_t n = static_cast<size_t>(s->Width()) * s->Height();
      std::memcpy(to, s->Image().Data(), n * sizeof(uint32_t));
      to += n;
    }
    benchmark::DoNotOptimize(copy.data());
  });
  widgets.clear();
}

BENCHMARK(ScopeScreenUpdate)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norv::bench
