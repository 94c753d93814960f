#include "analysis/ui/jitter_plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis/jitter_engine.h"
#include "analysis/jitter_settings.h"
#include "framework/language/language.h"

namespace norv {

namespace {

constexpr TColorRef kWhite = 0xFFFFFF;
constexpr TColorRef kBlack = 0x000000;
constexpr TColorRef kGrid = JitterRGB(192, 192, 192);
constexpr int kMargin = 8;
constexpr int kLabelRow = 22;

int ToPixel(double x) { return static_cast<int>(std::lround(x)); }

void Frame(TScanLinesScreen& screen, TRect a) {
  TSLBMP& image = screen.Image();
  for (int x : {a.Left, (a.Left + a.Right) / 2, a.Right - 1})
    image.FillRect({x, a.Top, x + 1, a.Bottom}, kGrid);
  image.FillRect({a.Left, a.Bottom - 1, a.Right, a.Bottom}, kBlack);
}

// One histogram's bars over the area, heights against `maxCount`; a bar `spread` pixels to
// each side, so that a layer drawn over it leaves its edges seen.
void Bars(TScanLinesScreen& screen, TRect a, const TJitterHist& h, uint32_t maxCount, TColorRef colour,
          int spread = 0) {
  if (maxCount == 0) return;
  const double step = (a.Right - a.Left - 1) / (kJitterHistBins - 1.0), height = a.Bottom - a.Top - 1;
  for (int bin = 0; bin < kJitterHistBins; ++bin) {
    const uint32_t count = h.Bins[static_cast<size_t>(bin)];
    if (count == 0) continue;
    // A bar is as wide as its bin, at least a pixel: a wide plot shows no gaps between bins.
    const int x = a.Left + ToPixel(bin * step);
    const int left = std::min(x, a.Left + ToPixel((bin - 0.5) * step));
    const int right = std::max(x + 1, a.Left + ToPixel((bin + 0.5) * step));
    const int top = a.Bottom - 1 - std::max(1, ToPixel(count * height / maxCount));
    screen.Image().FillRect(
        {std::max(a.Left, left - spread), top, std::min(a.Right, right + spread), a.Bottom - 1}, colour);
  }
}

void TickLabels(TScanLinesScreen& screen, TRect a, const TJitterHist& h) {
  const int xs[3] = {a.Left, (a.Left + a.Right) / 2, a.Right};
  for (int i = 0; i < 3; ++i) screen.TextOutAligned(xs[i], a.Bottom + 3, 0, i, JitterTickLabel(h.Offset, i));
}

// Drawing order of three layers from the combination: the third, the previous, the
// selected one on top; any that is missing in the order 0, 1, 2 first.
std::vector<int> LayerOrder(int combination) {
  const int wanted[3] = {combination & 3, (combination >> 2) & 3, (combination >> 4) & 3};
  std::vector<int> order;
  for (int layer : wanted)
    if (layer < 3 && std::find(order.begin(), order.end(), layer) == order.end()) order.push_back(layer);
  for (int layer = 2; layer >= 0; --layer)
    if (std::find(order.begin(), order.end(), layer) == order.end()) order.insert(order.begin(), layer);
  return order;
}

void Composite(TScanLinesScreen& screen, TRect a, const TJ_Obj& engine, const std::array<int, 3>& hists,
               const std::array<TColorRef, 3>& colours, int combination) {
  // Each layer to its own height: the few per-bit means beside thousands of edges.
  const std::vector<int> order = LayerOrder(combination);
  for (size_t n = 0; n < order.size(); ++n) {
    const auto layer = static_cast<size_t>(order[n]);
    const TJitterHist& h = engine.Hist(hists[layer]);
    Bars(screen, a, h, h.MaxCount, colours[layer], static_cast<int>(order.size() - 1 - n));
  }
  TickLabels(screen, a, engine.Hist(hists[0]));
}

void DDJvsBit(TScanLinesScreen& screen, TRect a, const TJ_Obj& engine, int selection) {
  const std::vector<float>& means = engine.ShownBitMeans();
  const TJitterView& view = engine.View();
  const int32_t first = std::clamp<int32_t>(view.FirstBit, 0, engine.PattLen() - 1);
  const int32_t last = std::clamp<int32_t>(view.LastBit, first, engine.PattLen() - 1);
  const double m = engine.MeanEdgeTime();
  double largest = 0;
  int32_t earliest = -1, latest = -1;
  for (int32_t bit = first; bit <= last; ++bit) {
    const float mean = means[static_cast<size_t>(bit)];
    if (mean == static_cast<float>(kNoBitMean)) continue;
    largest = std::max(largest, std::fabs(mean - m));
    if (earliest < 0 || mean < means[static_cast<size_t>(earliest)]) earliest = bit;
    if (latest < 0 || mean > means[static_cast<size_t>(latest)]) latest = bit;
  }
  const int middle = (a.Top + a.Bottom) / 2;
  screen.Image().FillRect({a.Left, middle, a.Right, middle + 1}, kGrid);
  const double columns = static_cast<double>(last - first + 1);
  const double width = a.Right - a.Left, half = (a.Bottom - a.Top) / 2.0 - 1;
  const auto column = [&](int32_t bit) { return a.Left + ToPixel((bit - first + 0.5) * width / columns); };
  for (int32_t bit = first; bit <= last && largest > 0; ++bit) {
    const float mean = means[static_cast<size_t>(bit)];
    if (mean == static_cast<float>(kNoBitMean)) continue;
    const int y = middle - ToPixel((mean - m) / largest * half);
    const int x = column(bit);
    screen.Image().FillRect({x - 1, std::min(y, middle), x + 2, std::max(y, middle) + 1}, kJitterBlue);
  }
  if (selection == 0 && earliest >= 0)
    screen.Image().FillRect({column(earliest), a.Top, column(earliest) + 1, a.Bottom}, kEarliestColour);
  if (selection == 1 && latest >= 0)
    screen.Image().FillRect({column(latest), a.Top, column(latest) + 1, a.Bottom}, kLatestColour);
  screen.TextOutAligned(a.Left, a.Bottom + 3, 0, 0, FormatLangStr("n_bit", first));
  screen.TextOutAligned(a.Right, a.Bottom + 3, 0, 2, FormatLangStr("n_bit", last));
}

}  // namespace

TJitterLegend JitterLegend(int kind) {
  switch (kind) {
    case jpCompHist:
      return {{"TJ", "RJ_PJ", "DDJ"}, {kJitterGreen, kJitterOrange, kJitterBlue}};
    case jpCompDDJHist:
      return {{"All Edges", "Rising Edges", "Falling Edges"}, {kJitterBlue, kJitterYellow, kJitterMauve}};
    case jpDDJvsBit:
      return {{"EarlestEdge", "LatestEdge", "UNDO_ZOOM"}, {kEarliestColour, kLatestColour, kUndoZoomColour}};
    default:
      return {};
  }
}

TRect JitterPlotArea(int width, int height) {
  return {kMargin, kMargin, std::max(kMargin + 1, width - kMargin),
          std::max(kMargin + 1, height - kLabelRow)};
}

std::string JitterTickLabel(double offset, int position) {
  char text[48];
  // + 0.0: the left label of a histogram of width 0 reads "0 ps", not "-0 ps".
  std::snprintf(text, sizeof text, "%.6g ps", (position - 1) * offset * 1e12 + 0.0);
  return text;
}

void DrawJitterPlotOn(TScanLinesScreen& screen, const TJ_Obj& engine, int kind, int combination) {
  screen.SetFontColor(kBlack);
  screen.Image().FillRect({0, 0, screen.Width(), screen.Height()}, kWhite);
  const TRect a = JitterPlotArea(screen.Width(), screen.Height());
  if (kind < jpBERBathtub) Frame(screen, a);
  switch (kind) {
    case jpRJPJHist:
    case jpDDJHist:
    case jpTJHist: {
      static constexpr int kHists[] = {jhRJPJ, jhDDJ, jhTJ};
      static constexpr TColorRef kColours[] = {kJitterOrange, kJitterBlue, kJitterGreen};
      const TJitterHist& h = engine.Hist(kHists[kind]);
      if (h.Count() == 0) break;
      Bars(screen, a, h, h.MaxCount, kColours[kind]);
      TickLabels(screen, a, h);
      break;
    }
    case jpCompHist:
      Composite(screen, a, engine, {jhTJ, jhCompositeRandom, jhCompositeDDJ}, JitterLegend(kind).Colours,
                combination);
      break;
    case jpCompDDJHist:
      Composite(screen, a, engine, {jhDDJ, jhRising, jhFalling}, JitterLegend(kind).Colours, combination);
      break;
    case jpDDJvsBit:
      DDJvsBit(screen, a, engine, combination);
      break;
    default:
      break;
  }
  screen.PaintAll();
}

}  // namespace norv
