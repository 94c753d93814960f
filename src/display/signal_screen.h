#pragma once
// A waveform screen: up to 32 layers draw cells independently; the screen keeps one
// occupancy word per pixel (bit i = layer i has a cell there), decides which layer is
// seen (lower index in front, the on-top layer before all), and blends translucent
// layers. Only pixels whose cells change are recomposed.

#include <array>
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

  // Layer calls, in layer coordinates; positions outside the picture are ignored.
  void DrawCell(int index, int x, int y);
  void EraseCell(int index, int x, int y);
  void RefreshCell(int index, int x, int y);
  void SetLayerObject(int index, TScreenLayer* layer);
  TScreenLayer* LayerObject(int index) const;
  void SetLayerTranslucent(int index, bool translucent);

  int OnTopLayer() const { return onTop_; }
  void SetOnTopLayer(int index);

  // Delayed-sweep windows in screen units; the windowed traces are redrawn.
  void SetXWindow(double width1, double start1, double start2, double width2);
  bool InXWindow(int x) const;
  // 2 for the second window, 1 for the first, 0 for none, within Tolerance pixels.
  int XWindowHit(int x, int tolerance) const;
  struct TXWindow {
    bool On = false;
    int Start = 0;
    int End = 0;
  };
  const TXWindow& XWindow(int n) const { return windows_[n == 2 ? 1 : 0]; }

  void RecomposeAll();
  TColorRef ComposePixel(uint32_t word, int x, int y) const;
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
  static void CheckIndex(int index);
  void UpdateLayerMasks();
  // The occupancy word of layer position (X, Y), or nullptr outside the picture.
  uint32_t* WordAt(int x, int y, int& column);
  void Paint(int column, int y, TColorRef color);
  // Sets (Present) or clears layer Index's bit at (X, Y) and recomposes the pixel unless a
  // layer in front covers it; an unchanged bit is recomposed only with RepaintUnchanged.
  void ChangeCell(int index, int x, int y, bool present, bool repaintUnchanged);

  bool isXY_ = false;
  int onTop_ = 0;
  uint32_t translucentMask_ = 0;
  std::array<uint32_t, kLayerSlots> cover_{};
  std::array<TScreenLayer*, kLayerSlots> layers_{};
  // Column after column, so that the vertical runs of traces lie together.
  std::vector<uint32_t> occupancy_;
  std::array<TXWindow, 2> windows_{};
};

}  // namespace norv
