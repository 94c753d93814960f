#pragma once
// A waveform screen: up to 32 layers draw cells independently; the screen keeps one
// occupancy word per pixel (bit i = layer i has a cell there), decides which layer is
// seen (lower index in front, the on-top layer before all), and blends translucent
// layers. Only pixels whose cells change are recomposed.

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "display/scan_lines.h"
#include "display/screen_layer.h"

namespace norv {

// Positions on a screen in units: X 0..4000 across the plot, Y 0..1024 bottom to top.
inline constexpr double kScreenUnitsX = 4000.0;
inline constexpr double kScreenUnitsY = 1024.0;
// Colour word of a layer at a pixel: 0 nothing; top byte 0xFF opaque, else translucent.
inline constexpr uint32_t kOpaque = 0xFF000000u;
// Traces coloured inside the delayed-sweep windows (Ch1 and Ch2 layers) and that colour.
inline constexpr int kWindowedLayerA = 8;
inline constexpr int kWindowedLayerB = 10;
inline constexpr uint32_t kXWindowColour = 0xFFFF80FFu;

class TSignalScreen : public TScanLinesScreen {
 public:
  static constexpr int kLayerSlots = 32;

  explicit TSignalScreen(const ITextRasteriser* text = nullptr);
  ~TSignalScreen() override;

  // Resizing empties the occupancy; the owner rebuilds the layers afterwards.
  void SetBounds(int left, int top, int width, int height) override;

  bool IsXYScreen() const { return isXY_; }
  void SetXYScreen(bool isXY) {
    isXY_ = isXY;
    ++generation_;
  }
  // Pixel column of layer column 0.
  int PlotLeft() const { return isXY_ ? 0 : kMarkerStripWidth; }

  // Layer calls, in layer coordinates; positions outside the picture are ignored. Inline:
  // they run for every pixel a trace changes.
  void DrawCell(int index, int x, int y) { ChangeCell(index, x, y, true, false); }
  void EraseCell(int index, int x, int y) { ChangeCell(index, x, y, false, false); }
  void RefreshCell(int index, int x, int y) { ChangeCell(index, x, y, true, true); }
  void SetLayerObject(int index, TScreenLayer* layer);
  TScreenLayer* LayerObject(int index) const;
  void SetLayerTranslucent(int index, bool translucent);

  int OnTopLayer() const { return onTop_; }
  void SetOnTopLayer(int index);

  // Delayed-sweep windows in screen units; the windowed traces are redrawn.
  void SetXWindow(double width1, double start1, double start2, double width2);
  bool InXWindow(int x) const {
    for (const TXWindow& w : windows_) {
      if (w.On && w.Start <= x && x <= w.End) return true;
    }
    return false;
  }
  // 2 for the second window, 1 for the first, 0 for none, within Tolerance pixels.
  int XWindowHit(int x, int tolerance) const;
  struct TXWindow {
    bool On = false;
    int Start = 0;
    int End = 0;
  };
  const TXWindow& XWindow(int n) const { return windows_[n == 2 ? 1 : 0]; }

  void RecomposeAll();
  TColorRef ComposePixel(uint32_t word, int x, int y) const {
    // Most pixels show one layer alone.
    if ((word & (word - 1)) == 0) return ComposeOne(std::countr_zero(word), x, y);
    return ComposeMany(word, x, y);
  }
  static TColorRef BlendColors(TColorRef below, uint32_t top);

  uint32_t Occupancy(int column, int row) const {
    return occupancy_[static_cast<size_t>(column) * Height() + row];
  }
  uint32_t CoverMask(int index) const { return cover_[index]; }

  // Starts loading the occupancy word and the pixel of layer cell (X, Y). Always inlined:
  // the compiler takes a call whose only effect is a prefetch for one without effect and drops it.
  [[gnu::always_inline]] void PrefetchCell(int x, int y) const {
    const int column = x + PlotLeft();
    if (column < 0 || y < 0 || column >= Width() || y >= Height()) return;
    __builtin_prefetch(&occupancy_[static_cast<size_t>(column) * Height() + y], 1);
    __builtin_prefetch(Image().Row(y) + column, 1);
  }

  // The registered layer at Index when it is shown and has a cell within Radius of (X, Y).
  TScreenLayer* HitLayer(int index, int radius, int y, int x) const;

 protected:
  void ColorChanged() override;

 private:
  friend class TColumnPen;
  static void CheckIndex(int index) {
    if (index < 0 || index >= kLayerSlots) ThrowIndex(index);
  }
  [[noreturn]] static void ThrowIndex(int index);
  void UpdateLayerMasks();
  // The colour of layer Index where it alone has a cell, and of several layers.
  TColorRef ComposeOne(int index, int x, int y) const {
    const TScreenLayer* layer = layers_[index];
    if (layer == nullptr) return kNoColour;
    const uint32_t colour = (index == kWindowedLayerA || index == kWindowedLayerB) && InXWindow(x)
                                ? kXWindowColour
                                : layer->PixelColor(x, y);
    if (colour == 0) return kNoColour;
    if ((colour & kOpaque) == kOpaque) return colour & 0xFFFFFFu;
    return BlendColors(Color(), colour);
  }
  TColorRef ComposeMany(uint32_t word, int x, int y) const;
  // The pixel word of ComposePixel, out of line for the loops that seldom need it.
  uint32_t ComposedWord(uint32_t word, int x, int y) const;
  // Sets (Present) or clears layer Index's bit at (X, Y) and recomposes the pixel unless a
  // layer in front covers it; an unchanged bit is recomposed only with RepaintUnchanged.
  void ChangeCell(int index, int x, int y, bool present, bool repaintUnchanged) {
    CheckIndex(index);
    const int column = x + PlotLeft();
    if (column < 0 || y < 0 || column >= Width() || y >= Height()) return;
    uint32_t& word = occupancy_[static_cast<size_t>(column) * Height() + y];
    const uint32_t bit = 1u << index;
    const uint32_t old = word;
    word = present ? old | bit : old & ~bit;
    if (word == old && !repaintUnchanged) return;
    // A layer in front hides whatever this one does here.
    if (old & cover_[index]) return;
    TSLBMP::Store(Image().Row(y)[column], word != 0 ? ComposePixel(word, x, y) : Color());
    PixelChanged(column, y);
  }

  // Shown where no layer gives a colour.
  static constexpr TColorRef kNoColour = 0x0000FFu;

  bool isXY_ = false;
  int onTop_ = 0;
  uint32_t translucentMask_ = 0;
  std::array<uint32_t, kLayerSlots> cover_{};
  std::array<TScreenLayer*, kLayerSlots> layers_{};
  // Column after column, so that the vertical runs of traces lie together.
  TLargeBuffer<uint32_t> occupancy_;
  std::array<TXWindow, 2> windows_{};
  // Moves on with every change a TColumnPen takes into account: the picture's size, the
  // plot's left edge, the background, the masks, the registered layers and the windows.
  uint64_t generation_ = 1;
};

inline TColumnPen::TColumnPen(TSignalScreen* screen, const TScreenLayer* layer, int index, int x)
    : screen_(screen), x_(x) {
  if (screen == nullptr) return;
  TSignalScreen::CheckIndex(index);
  generation_ = screen->generation_;
  column_ = x + screen->PlotLeft();
  if (column_ < 0 || column_ >= screen->Width()) return;
  height_ = static_cast<unsigned>(screen->Height());
  words_ = &screen->occupancy_[static_cast<size_t>(column_) * height_];
  pixels_ = screen->Image().Row(0) + column_;
  stride_ = static_cast<size_t>(screen->Width());
  bit_ = 1u << index;
  cover_ = screen->cover_[index];
  // Another layer registered at the index answers for its own colours.
  alone_ = screen->layers_[index] == layer ? bit_ : 0;
  background_ = TSLBMP::WordOf(screen->Color());
  windowed_ = index == kWindowedLayerA || index == kWindowedLayerB;
  inWindow_ = windowed_ && screen->InXWindow(x);
}

inline bool TColumnPen::Current(const TSignalScreen* screen) const {
  return screen_ == screen && (screen == nullptr || generation_ == screen->generation_);
}

inline bool TColumnPen::StepTo(int x) {
  if (words_ == nullptr || x != x_ + 1 || column_ + 1 >= screen_->Width()) return false;
  x_ = x;
  ++column_;
  words_ += height_;
  ++pixels_;
  inWindow_ = windowed_ && screen_->InXWindow(x);
  return true;
}

inline uint32_t TColumnPen::AloneWord(uint32_t colour) const {
  if (inWindow_) return TSLBMP::WordOf(kXWindowColour);
  if (colour == 0) return TSLBMP::WordOf(TSignalScreen::kNoColour);
  if ((colour & kOpaque) == kOpaque) return TSLBMP::WordOf(colour);
  return TSLBMP::WordOf(TSignalScreen::BlendColors(screen_->Color(), colour));
}

inline uint32_t TColumnPen::ComposedWord(uint32_t word, int y) const {
  return screen_->ComposedWord(word, x_, y);
}

inline void TColumnPen::Put(int y, uint32_t pixel) {
  pixels_[static_cast<size_t>(y) * stride_] = pixel;
  screen_->PixelChanged(column_, y);
}

inline void TColumnPen::Erase(int y) {
  if (words_ == nullptr || static_cast<unsigned>(y) >= height_) return;
  const uint32_t old = words_[y];
  if ((old & bit_) == 0) return;
  const uint32_t now = old & ~bit_;
  words_[y] = now;
  // A layer in front hides whatever this one does here.
  if (old & cover_) return;
  Put(y, now != 0 ? ComposedWord(now, y) : background_);
}

inline void TColumnPen::Show(int y, uint32_t colour) {
  if (words_ == nullptr || static_cast<unsigned>(y) >= height_) return;
  const uint32_t old = words_[y];
  const uint32_t now = old | bit_;
  words_[y] = now;
  if (old & cover_) return;
  Put(y, now == alone_ ? AloneWord(colour) : ComposedWord(now, y));
}

inline void TColumnPen::MoveRun(int oldFirst, int oldLast, int newFirst, int newLast, const uint16_t* skip,
                                uint32_t colour) {
  if (words_ == nullptr) return;
  if (screen_->InUpdate()) {
    MoveRunRows(std::true_type(), oldFirst, oldLast, newFirst, newLast, skip, colour);
  } else if (screen_->HasWindow()) {
    MoveRunShowingEach(oldFirst, oldLast, newFirst, newLast, skip, colour);
  } else {
    MoveRunRows(std::false_type(), oldFirst, oldLast, newFirst, newLast, skip, colour);
  }
}

template <typename Deferred>
inline void TColumnPen::MoveRunRows(Deferred deferred, int oldFirst, int oldLast, int newFirst, int newLast,
                                    const uint16_t* skip, uint32_t colour) {
  // Kept in locals: the stores below would otherwise make the compiler load them again
  // for every row.
  uint32_t* const words = words_;
  uint32_t* const pixels = pixels_;
  const size_t stride = stride_;
  const uint32_t bit = bit_;
  const uint32_t cover = cover_;
  const int lastRow = static_cast<int>(height_) - 1;
  int first = INT_MAX;
  int last = -1;
  // Rows From..To, erased or shown; Plain is the word (the layer alone, or, erasing, none)
  // shown as PlainWord without composing.
  const auto rows = [&](int from, int to, auto show, uint32_t plain, uint32_t plainWord) {
    to = std::min(to, lastRow);
    if (from > to) return;
    uint32_t* pixel = pixels + static_cast<size_t>(from) * stride;
    for (int y = from; y <= to; ++y, pixel += stride) {
      const uint32_t old = words[y];
      if ((!show && (old & bit) == 0) || skip[y] != 0) continue;
      const uint32_t now = show ? old | bit : old & ~bit;
      words[y] = now;
      if (old & cover) continue;
      *pixel = now == plain ? plainWord : ComposedWord(now, y);
      if (deferred) {
        first = std::min(first, y);
        last = y;
      }
    }
  };
  if (oldFirst == 0) {
    rows(std::max(newFirst, 0), newLast, std::true_type(), alone_, AloneWord(colour));
  } else {
    if (oldFirst < newFirst) {
      rows(std::max(oldFirst, 0), std::min(newFirst - 1, oldLast), std::false_type(), 0, background_);
    }
    if (oldLast > newLast) rows(std::max(newLast + 1, oldFirst), oldLast, std::false_type(), 0, background_);
    if (newFirst < oldFirst || newLast > oldLast) {
      const uint32_t lineWord = AloneWord(colour);
      if (newFirst < oldFirst) {
        rows(std::max(newFirst, 0), std::min(oldFirst - 1, newLast), std::true_type(), alone_, lineWord);
      }
      if (newLast > oldLast) {
        rows(std::max(oldLast + 1, newFirst), newLast, std::true_type(), alone_, lineWord);
      }
    }
  }
  // Inside an update bracket the rows changed join the dirty rectangle.
  if (deferred && last >= 0) screen_->GrowDirty(column_, first, column_, last);
}

// The layers' pixel calls (declared with TScreenLayer).
inline void TScreenLayer::DrawPixel(int x, int y) {
  if (screen_ != nullptr) screen_->DrawCell(index_, x, y);
}
inline void TScreenLayer::RefreshPixel(int x, int y) {
  if (screen_ != nullptr) screen_->RefreshCell(index_, x, y);
}
inline void TScreenLayer::ErasePixel(int x, int y) {
  if (screen_ != nullptr) screen_->EraseCell(index_, x, y);
}
[[gnu::always_inline]] inline void TScreenLayer::PrefetchCell(int x, int y) const {
  if (!InPlot(x, y)) return;
  __builtin_prefetch(&cells_[CellIndex(x, y)], 1);
  if (screen_ != nullptr) screen_->PrefetchCell(x, y);
}
inline void TScreenLayer::ShowPixel(int x, int y, uint32_t colour) { PointPen(x).Show(y, colour); }
inline TColumnPen& TScreenLayer::PointPen(int x) {
  const bool current = pointPen_.Current(screen_);
  if (current && pointPen_.X() == x) return pointPen_;
  // The next vertical run drawn lies most often in the column left behind, and a trace's
  // points most often go on to the next column.
  runPen_ = pointPen_;
  if (!current || !pointPen_.StepTo(x)) pointPen_ = TColumnPen(screen_, this, index_, x);
  return pointPen_;
}
inline TColumnPen& TScreenLayer::RunPen(int x) {
  if (!runPen_.AimedAt(screen_, x)) runPen_ = TColumnPen(screen_, this, index_, x);
  return runPen_;
}

}  // namespace norv
