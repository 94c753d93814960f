#pragma once
// Mask testing on a signal screen: the mask's polygons (margins at half opacity, polygon
// numbers opaque), the points that failed it, and the polygons of the mask being edited
// with their vertex handles. The mask itself and the editor belong to the mask feature
// (DisplayHooks); these layers only draw what it gives them.

#include <array>
#include <cstdint>
#include <vector>

#include "display/overlay_layers.h"
#include "display/text_rasteriser.h"

namespace norv {

class TMaskLayer : public TMarkerLayer {
 public:
  TMaskLayer(std::string name, int width, int height, int index, bool isXY,
             const ITextRasteriser* text = nullptr);
  void SetTextRasteriser(const ITextRasteriser* text) { text_ = text; }
  // Repaints the mask from the mask feature; nothing while no mask is loaded.
  void PaintMask();
  void SetLayerColorAndOpacity(uint32_t colour) override;
  uint32_t PixelColor(int x, int y) const override;
  uint32_t FillColour() const { return fillColour_; }
  uint32_t OpaqueColour() const { return opaqueColour_; }

 private:
  const ITextRasteriser* text_;
  uint32_t fillColour_ = 0;
  uint32_t opaqueColour_ = 0;
};

class TMaskErrorLayer : public TMarkerLayer {
 public:
  TMaskErrorLayer(std::string name, int width, int height, int index, bool isXY);
  void MarkErrorPoint(double x, double y);
};

class TMaskEditLayer : public TMarkerLayer {
 public:
  static constexpr int kPolygons = 8;
  static constexpr std::array<uint32_t, 5> kKindColours = {0, 0xFFFFFF00u, 0xFF7F7F00u, 0xFFFF0000u,
                                                           0xFF00FFFFu};
  TMaskEditLayer(std::string name, int width, int height, int index, bool isXY);

  // Polygon 0..7 from vertexes in screen units; Select makes it the selected polygon with
  // Vertex selected. Throws EAssertion for an index beyond 7 or fewer coordinates than
  // Count.
  void SetPolygon(int index, int count, const std::vector<double>& xs, const std::vector<double>& ys,
                  bool select, int vertex);
  // With Remove the polygons after it move down one place.
  void ErasePolygon(int index, bool remove);
  // The polygon whose line passes nearest (X, Y) and, in Vertex, its nearest vertex.
  int HitVertex(int x, int y, int& vertex) const;
  int VertexCount(int index) const { return static_cast<int>(polygons_[index].X.size()); }
  int SelectedPolygon() const { return selectedPolygon_; }

  uint32_t PixelColor(int x, int y) const override;
  void SetLayerColorAndOpacity(uint32_t colour) override;

 private:
  struct TPolygon {
    std::vector<uint16_t> X;
    std::vector<uint16_t> Y;
  };
  void DrawPolygon(int n, bool draw);
  void DrawSegment(bool draw, uint16_t bit, int kind, int x1, int y1, int x2, int y2, bool selected);
  void SetCellKind(uint16_t bit, int kind, int x, int y);
  void ClearCellBit(uint16_t bit, bool clearKind, int x, int y);

  std::array<TPolygon, kPolygons> polygons_;
  int selectedPolygon_ = -1;
  int selectedVertex_ = -1;
  std::array<uint32_t, 5> kindColour_ = kKindColours;
  std::vector<uint8_t> cellKind_;
};

}  // namespace norv
