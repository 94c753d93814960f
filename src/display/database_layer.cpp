#include "display/database_layer.h"

#include <algorithm>
#include <cmath>

#include "display/display_math.h"
#include "display/signal_screen.h"

namespace norv {

namespace {
constexpr int kUnitsX = 4000, kFirstRow = 1, kLastRow = 1023;
}  // namespace

TDatabaseLayer::TDatabaseLayer(std::string name, int width, int height, int index)
    : TScreenLayer(std::move(name), width, height, index, false),
      hits_(static_cast<size_t>(Width()) * (MaxY() + 1), 0) {
  SetGrabbable(false);
}

void TDatabaseLayer::DrawDatabase(const std::function<uint32_t(int x, int y)>& hits) {
  Hide();
  std::fill(hits_.begin(), hits_.end(), 0);
  uint32_t top = 0;
  // Each screen unit to its nearest pixel; Y counts upward from the bottom.
  std::vector<int> rows(kLastRow + 1);
  for (int y = kFirstRow; y <= kLastRow; ++y)
    rows[static_cast<size_t>(y)] =
        static_cast<int>(std::lround((kScreenUnitsY - y) * MaxY() / kScreenUnitsY));
  for (int x = 0; x <= kUnitsX; ++x) {
    const int column = static_cast<int>(std::lround(static_cast<double>(x) * MaxX() / kUnitsX));
    for (int y = kFirstRow; y <= kLastRow; ++y) {
      const uint32_t n = hits(x, y);
      if (n == 0) continue;
      const size_t at = CellIndex(column, rows[static_cast<size_t>(y)]);
      hits_[at] = std::max(hits_[at], n);
      top = std::max(top, n);
      CellAt(at) = 1;
    }
  }
  thresholds_ = GradeThresholds(top);
  Show();
}

void TDatabaseLayer::SetGraded(bool graded) {
  if (graded == graded_) return;
  graded_ = graded;
  Show();
}

void TDatabaseLayer::SetGradeColours(const std::array<uint32_t, kGrades + 1>& rgb) {
  for (int g = 1; g <= kGrades; ++g) gradeColour_[g] = (rgb[g] & 0xFFFFFFu) | kOpaque;
  if (graded_) Show();
}

void TDatabaseLayer::SetLayerColorAndOpacity(uint32_t colour) {
  if (colour == Colour()) return;
  fadedColour_ = DimmedLayerColour(colour, kPersistFadeDivisor);
  TScreenLayer::SetLayerColorAndOpacity(colour);
}

int TDatabaseLayer::PixelGrade(int x, int y) const {
  const uint32_t n = PixelHits(x, y);
  return n == 0 ? 0 : GradeOfValue(thresholds_, n);
}

uint32_t TDatabaseLayer::PixelColor(int x, int y) const {
  if (!graded_) return fadedColour_;
  const int grade = PixelGrade(x, y);
  return grade == 0 ? Colour() : gradeColour_[grade];
}

}  // namespace norv
