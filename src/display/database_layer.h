#pragma once
// A colour-grade database on a screen: the hit count of every screen cell (X 0..4000,
// Y 1..1023 in screen units). Drawn either flat in the faded database colour, as an
// infinitely persisting trace looks, or in five grades against the busiest pixel, as a
// colour-grade trace looks.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/screen_layer.h"

namespace norv {

class TDatabaseLayer final : public TScreenLayer {
 public:
  static constexpr int kGrades = 5;
  TDatabaseLayer(std::string name, int width, int height, int index);

  // Replaces the picture by the counters Hits(X, Y); a pixel takes the largest count of
  // the screen cells it covers.
  void DrawDatabase(const std::function<uint32_t(int x, int y)>& hits);
  // Graded: by the grade colours; otherwise every hit pixel in the faded colour.
  void SetGraded(bool graded);
  bool Graded() const { return graded_; }
  // Grades 1..5 (entry 0 unused); the colours are made opaque.
  void SetGradeColours(const std::array<uint32_t, kGrades + 1>& rgb);
  uint32_t PixelHits(int x, int y) const { return InPlot(x, y) ? hits_[CellIndex(x, y)] : 0; }
  // 1..5 for a hit pixel, 0 for an empty one.
  int PixelGrade(int x, int y) const;
  void SetLayerColorAndOpacity(uint32_t colour) override;
  uint32_t PixelColor(int x, int y) const override;

 private:
  std::vector<uint32_t> hits_;
  std::array<uint32_t, kGrades + 1> thresholds_{};
  std::array<uint32_t, kGrades + 1> gradeColour_{};
  uint32_t fadedColour_ = 0;
  bool graded_ = true;
};

}  // namespace norv
