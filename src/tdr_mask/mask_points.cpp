#include "tdr_mask/mask_points.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "instrument/record/signal_obj.h"

namespace norv {

namespace {

TMaskHeightMap HeightMap(const TSignalObj& r) { return {r.GetEffScale() * 8, r.GetEffOffset()}; }

int32_t Height(const TSignalObj& r, const TMaskHeightMap& map, double v) {
  return map.Affine ? map.Height(v) : TMaskHeightMap::Rounded(r.ValueToScreenY(v));
}

double RoundedX(const TSignalObj& r, int i) { return std::nearbyint(r.IndexToScreenX(i)); }

int32_t Column(const TSignalObj& r, int i) {
  const double sx = RoundedX(r, i);
  return sx >= 0 && sx <= kMaskColumns - 1 ? static_cast<int32_t>(sx) : -1;
}

}  // namespace

void MaskScreenPoint(const TSignalObj& r, int i, int32_t& x, int32_t& y) {
  x = Column(r, i);
  y = x < 0 ? 0 : Height(r, HeightMap(r), r.GetY(i));
}

void TMaskColumns::Test(const TSignalObj& r, const TMask_Obj& mask, int first, int count, int32_t* ys,
                        uint8_t* bits, uint64_t* hits, TMask_Obj::TKernel kernel) const {
  if (count <= 0) return;
  constexpr int kPadding = TMask_Obj::kBatchPadding;
  if (!map_.Affine) {
    // A flat or unbounded scale: the trace's own mapping, point by point.
    for (int k = 0; k < count; ++k) ys[k] = Height(r, map_, r.GetY(first + k));
    std::fill_n(ys + count, kPadding, 0);
    mask.MaskHitBits(Words(first), Stride(), Xs(first), ys, static_cast<size_t>(count), bits, hits, kernel);
    return;
  }
  // Plain records are read in place, with the padding the test reads past the run.
  if ((r.GetTdrUnitKind() == tukNone || r.GetRaw()) && count <= kMaxRecLen - kPadding - first) {
    mask.MaskHitBits(Words(first), Stride(), Xs(first), r.StoredYData() + first, map_,
                     static_cast<size_t>(count), ys, bits, hits, kernel);
    return;
  }
  // Reflection units are converted first, and the points at the end of the store copied
  // beside padding, in runs of whole hit words.
  constexpr int kChunk = 256;
  std::array<double, kChunk + kPadding> values{};
  for (int done = 0; done < count; done += kChunk) {
    const int from = first + done, n = std::min(kChunk, count - done);
    for (int k = 0; k < n; ++k) values[static_cast<size_t>(k)] = r.GetY(from + k);
    mask.MaskHitBits(Words(from), Stride(), Xs(from), values.data(), map_, static_cast<size_t>(n), ys + done,
                     bits + done, hits + done / 64, kernel);
  }
}

void TMaskColumns::Remap(double span, double offset) {
  map_ = TMaskHeightMap(span, offset);
  span_ = span, offset_ = offset;
}

void TMaskColumns::Gather(const TSignalObj& r, const TMask_Obj& mask) {
  // The points' columns grow with their index, so those on the screen are one run.
  // A plain binary search: the fuzz build's compiler lacks the ranges of this library.
  const auto firstWhere = [](auto before) {
    int low = 0, high = kMaxRecLen;
    while (low < high) {
      const int middle = low + (high - low) / 2;
      if (before(middle))
        low = middle + 1;
      else
        high = middle;
    }
    return low;
  };
  first_ = firstWhere([&](int i) { return RoundedX(r, i) < 0; });
  end_ = firstWhere([&](int i) { return RoundedX(r, i) <= kMaskColumns - 1; });
  // The padding the batch test reads past the last point lies off the screen.
  xs_.assign(static_cast<size_t>(end_ - first_) + TMask_Obj::kBatchPadding, -1);
  for (int i = first_; i < end_; ++i) xs_[static_cast<size_t>(i - first_)] = Column(r, i);
  words_.resize(mask.ColumnWordRows() * Stride());
  mask.GatherColumnWords(xs_.data(), xs_.size(), words_.data(), Stride());
  recLen_ = r.GetRecLen(), firstShown_ = r.GetFirstShown(), zoomStep_ = r.GetZoomStep();
  generation_ = mask.Generation();
}

}  // namespace norv
