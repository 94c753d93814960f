#pragma once
// A colour-grade database on a screen: the hit count of every screen cell (X 0..4000,
// Y 1..1023 in screen units) drawn in grey scale of the database colour, brighter where
// the trace passed more often.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/screen_layer.h"

namespace norv {

class TDatabaseLayer final : public TScreenLayer {
 public:
  TDatabaseLayer(std::string name, int width, int height, int index);

  // Replaces the picture by the counters Hits(X, Y); a pixel takes the largest count of
  // the screen cells it covers.
  void DrawDatabase(const std::function<uint32_t(int x, int y)>& hits);
  uint32_t PixelHits(int x, int y) const { return InPlot(x, y) ? hits_[CellIndex(x, y)] : 0; }
  uint32_t PixelColor(int x, int y) const override;

 private:
  std::vector<uint32_t> hits_;
  uint32_t top_ = 0;
};

}  // namespace norv
