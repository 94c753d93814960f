#pragma once
// Measurement labels on a signal screen: up to eight boxed texts, each with a leader line
// and arrowhead pointing at the measured place, or a level line across the plot. A label
// covers every label with a higher number. Only what changed is redrawn.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "display/overlay_layers.h"
#include "display/text_rasteriser.h"

namespace norv {

struct TAnnLabelParam {
  uint8_t Kind = 0;  // 1 vertical (X) label, 2 horizontal (Y) label
  bool Active = false;
  uint8_t Style = 0;  // the measurement feature's own
  int AnchorX = 0;    // screen units
  int AnchorY = 0;
  int SecondX = 0;
  bool LineColour = false;  // lines in the highlight colour
  std::string Text;
  uint8_t LeaderStyle = 0;  // 0..7
  bool TextHighlight = false;
};

class TAnnotationLayer : public TMarkerLayer {
 public:
  static constexpr int kLabels = 8;
  static constexpr int kBoxWidth = 151;
  static constexpr int kBoxHeight = 19;
  // Colour indexes: box background, highlighted lines, highlighted text, normal lines/text.
  static constexpr std::array<uint32_t, 4> kColours = {0xFF000000u, 0xFFB080FFu, 0xFF00FFFFu, 0xFFFFFFFFu};

  TAnnotationLayer(std::string name, int width, int height, int index, bool isXY,
                   const ITextRasteriser* text = nullptr);
  void SetTextRasteriser(const ITextRasteriser* text) { text_ = text; }

  // Label 1..8; others are ignored.
  void SetLabel(int n, const TAnnLabelParam& param);
  void EraseLabel(int n);
  bool LabelActive(int n) const { return n >= 1 && n <= kLabels && places_[n - 1].Drawn; }
  // The text box of label N: its size and its top-left cell.
  int BoxWidth(int n) const { return glyphs_[n - 1].Width; }
  int BoxHeight(int n) const { return glyphs_[n - 1].Height; }
  int BoxLeft(int n) const { return places_[n - 1].BoxLeft; }
  int BoxTop(int n) const { return places_[n - 1].BoxTop; }
  // How often a text box was rendered (a move reuses it).
  int Renders() const { return renders_; }

  uint32_t PixelColor(int x, int y) const override;
  void Hide() override;

 private:
  struct TGlyph {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Bits;
    bool At(int x, int y) const { return Bits[static_cast<size_t>(y) * Width + x] != 0; }
  };
  struct TPlace {
    bool Drawn = false;
    int X = 0, Y = 0, X2 = 0;
    int Style = 0;
    bool LineColour = false;
    bool Highlight = false;
    int BoxLeft = 0, BoxTop = 0;
  };

  void Render(int n, const std::string& text);
  void NewLabel(int n, const TAnnLabelParam& param);
  void MoveLabel(int n, const TAnnLabelParam& param);
  // Plots (or removes) label N's figures at Place; the box position is stored in Place.
  void Figure(int n, TPlace& place, bool on);
  void PlotCell(int n, int x, int y, int colourIndex);
  void UnplotCell(int n, int x, int y);

  const ITextRasteriser* text_;
  std::vector<uint16_t> plane_;  // two bits per label: its colour index at the cell
  std::array<TAnnLabelParam, kLabels> labels_;
  std::array<TGlyph, kLabels> glyphs_;
  std::array<TPlace, kLabels> places_;
  int renders_ = 0;
};

}  // namespace norv
