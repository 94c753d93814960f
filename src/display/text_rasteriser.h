#pragma once
// The one way text reaches a picture: the program renders with Qt (Liberation Sans,
// 11-pixel face, no antialiasing; src/platform), tests with a small fixed font.

#include <cstdint>
#include <string_view>
#include <vector>

namespace norv {

class TSLBMP;

// Platform colour reference 0x00BBGGRR (red in the low byte).
using TColorRef = uint32_t;

// Platform rectangle: Right and Bottom are exclusive.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

TRect Intersect(const TRect& a, const TRect& b);

struct TTextExtent {
  int Width = 0;
  int Height = 0;
};

// One byte per pixel, 1 where the text sets the pixel.
struct TTextMask {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Bits;
  bool At(int x, int y) const { return Bits[static_cast<size_t>(y) * Width + x] != 0; }
};

class ITextRasteriser {
 public:
  virtual ~ITextRasteriser() = default;
  // Texts are UTF-8.
  virtual TTextExtent Measure(std::string_view text) const = 0;
  virtual int CharAdvance(char32_t c) const = 0;
  // The text's pixels with its top-left corner at (0, 0), Measure's size.
  virtual TTextMask RenderMask(std::string_view text) const = 0;

  // Fills Clip (clipped to the picture) with Fill, then sets the text's pixels in Ink
  // with its top-left corner at (X, Y), never outside Clip.
  void DrawClipped(TSLBMP& image, TRect clip, int x, int y, std::string_view text, TColorRef ink,
                   TColorRef fill) const;
};

}  // namespace norv
