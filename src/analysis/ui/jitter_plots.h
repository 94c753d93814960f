#pragma once
// The pictures of the jitter plot kinds, drawn into a plot window's surface: the single
// histograms (RJ/PJ, DDJ, TJ), the two composite histograms and the per-bit mean edge
// times ("DDJ vs Bit"). The BER bathtub draws nothing.

#include <array>
#include <string>

#include "display/scan_lines.h"

namespace norv {

class TJ_Obj;

// The colours of the plots (0x00BBGGRR).
constexpr TColorRef JitterRGB(int r, int g, int b) {
  return static_cast<TColorRef>(r) | static_cast<TColorRef>(g) << 8 | static_cast<TColorRef>(b) << 16;
}
inline constexpr TColorRef kJitterOrange = JitterRGB(255, 102, 51);
inline constexpr TColorRef kJitterBlue = JitterRGB(102, 102, 255);
inline constexpr TColorRef kJitterGreen = JitterRGB(128, 255, 128);
inline constexpr TColorRef kJitterYellow = JitterRGB(255, 255, 102);
inline constexpr TColorRef kJitterMauve = JitterRGB(204, 102, 153);
inline constexpr TColorRef kEarliestColour = JitterRGB(0, 128, 0);
inline constexpr TColorRef kLatestColour = JitterRGB(0, 0, 255);
inline constexpr TColorRef kUndoZoomColour = JitterRGB(255, 0, 0);

// The three combination buttons of a kind: language keys of their captions and colours
// (empty keys: the kind has none).
struct TJitterLegend {
  std::array<const char*, 3> Keys{};
  std::array<TColorRef, 3> Colours{};
};
TJitterLegend JitterLegend(int kind);

// The plotting area inside a surface of the given size.
TRect JitterPlotArea(int width, int height);

// Draws plot `kind` of the engine into the surface (cleared first). combination: the
// selected buttons of the composite kinds (selection x 16 + previous x 4 + third) or, for
// "DDJ vs Bit", the selected button. The tick labels of a histogram read its time at the
// left edge, the middle and the right edge in ps.
void DrawJitterPlotOn(TScanLinesScreen& screen, const TJ_Obj& engine, int kind, int combination);

// The tick label of a histogram's position 0, 1 or 2 (left, middle, right).
std::string JitterTickLabel(double offset, int position);

}  // namespace norv
