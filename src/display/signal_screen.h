#pragma once
// A waveform screen: up to 32 layers draw cells independently; the screen keeps one
// occupancy word per pixel (bit i = layer i has a cell there), decides which layer is
// seen (lower index in front, the on-top layer before all), and blends translucent
// layers. Only pixels whose cells change are recomposed.

#include <array>
#include <bit>
#include <cstdint>
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
  void SetXYScreen(bool isXY) { isXY_ = isXY; }
  // Pixel column of layer column 0.
  int PlotLeft() const { return isXY_ ? 0 : kMarkerStripWidth; }

  // Layer calls, in layer coordinates; positions outside the picture are ignored. Inline:
  // they run for every pixel a trace changes.
  void DrawCell(int index, int x, int y) { ChangeCell(index, x, y, true, false); }
  void EraseCell(int index, int x, int y) { ChangeCell(index, x, y, false, false); }
  void RefreshCell(int index, int x, int y) { ChangeCell(index, x, y, true, true); }
  // RefreshCell (Present) or EraseCell for rows From..To of column X in turn, skipping
  // the rows whose entry in Skip (the entry of row From first) is not 0.
  void ChangeRun(int index, int x, int from, int to, bool present, const uint16_t* skip);
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

  // The registered layer at Index when it is shown and has a cell within Radius of (X, Y).
  TScreenLayer* HitLayer(int index, int radius, int y, int x) const;

 protected:
  void ColorChanged() override;

 private:
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
  std::vector<uint32_t> occupancy_;
  std::array<TXWindow, 2> windows_{};
};

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
inline void TScreenLayer::ChangeRun(int x, int from, int to, bool present, const uint16_t* skip) {
  if (screen_ != nullptr) screen_->ChangeRun(index_, x, from, to, present, skip);
}

}  // namespace norv
