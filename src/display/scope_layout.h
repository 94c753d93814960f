#pragma once
// Where the screens of each format lie on the screen area: heights in eighths of the
// height for the format's screens, a square centred XY screen, plot widths in multiples of
// 50 pixels, the status line above when there is room and the bottom strip below.

#include <array>
#include <cstdint>

namespace norv {

// "Displ:Format" in option order.
enum class TScreenFormat : uint8_t { YT, YT2, YT4, XY, CombYTXY, Comb2YTXY };
inline constexpr int kScreenFormatCount = 6;
inline constexpr int kMaxScreens = 4;

struct TScreenRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int Eighths = 0;
  friend bool operator==(const TScreenRect&, const TScreenRect&) = default;
};

struct TScreenLayout {
  int Count = 0;
  int XYScreenNo = 0;                              // 0 = none
  std::array<TScreenRect, kMaxScreens> Screens{};  // 1..Count at [0..Count-1]
  bool TopTextVisible = false;
  bool BottomStripVisible = true;
  int BottomStripTop = 0;
  int YTScreenCount() const { return Count - (XYScreenNo != 0 ? 1 : 0); }
};

// The layout of a screen area PanelWidth x PanelHeight pixels (the panel less its border).
TScreenLayout ComputeLayout(TScreenFormat format, int panelWidth, int panelHeight);

// Stacked graticules of the format (1, 2 or 4) and the alternative split (1 or 2).
int GraticuleSplitOf(TScreenFormat format);
int GraticuleSplitAltOf(TScreenFormat format);

}  // namespace norv
