#include "display/database_layer.h"

#include <algorithm>
#include <cmath>

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
  top_ = 0;
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
      top_ = std::max(top_, n);
      CellAt(at) = 1;
    }
  }
  Show();
}

uint32_t TDatabaseLayer::PixelColor(int x, int y) const {
  const uint32_t n = PixelHits(x, y);
  if (n == 0 || top_ == 0) return Colour();
  // A quarter of the colour for a single hit, the whole of it at the top count.
  const double level = 0.25 + 0.75 * static_cast<double>(n) / top_;
  uint32_t out = Colour() & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t c = (Colour() >> shift) & 0xFFu;
    out |= static_cast<uint32_t>(std::lround(c * level)) << shift;
  }
  return out;
}

}  // namespace norv
