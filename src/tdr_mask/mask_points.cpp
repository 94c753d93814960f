#include "tdr_mask/mask_points.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "instrument/record/signal_obj.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NORV_MASK_AVX2 1
#endif

namespace norv {

namespace {

constexpr double kCentre = 512, kLowest = 1, kHighest = 1023;

TMaskHeightMap HeightMap(const TSignalObj& r) { return {r.GetEffScale() * 8, r.GetEffOffset()}; }

int32_t RoundedHeight(double sy) {
  return static_cast<int32_t>(std::nearbyint(std::isnan(sy) ? kCentre : std::clamp(sy, kLowest, kHighest)));
}

int32_t Height(const TSignalObj& r, const TMaskHeightMap& map, double v) {
  return RoundedHeight(map.Affine ? std::fma(v, map.Scale, map.Offset) : r.ValueToScreenY(v));
}

void PortableHeights(const TSignalObj& r, const TMaskHeightMap& map, int first, int count, int32_t* ys) {
  for (int k = 0; k < count; ++k) ys[k] = Height(r, map, r.GetY(first + k));
}

#ifdef NORV_MASK_AVX2
// Four heights a step, the last step reading and writing only the points there are; the
// conversion to integers rounds as nearbyint does (both in the current rounding mode).
// The clamps keep a NaN (max and min give their second operand then), which alone
// converts to INT32_MIN: a run that holds one is done again point by point.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128i Avx2Height4(const TMaskHeightMap& map,
                                                                           __m256d values, __m128i& least) {
  const __m256d sy = _mm256_fmadd_pd(values, _mm256_set1_pd(map.Scale), _mm256_set1_pd(map.Offset));
  const __m128i height =
      _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_set1_pd(kHighest), _mm256_max_pd(_mm256_set1_pd(kLowest), sy)));
  least = _mm_min_epi32(least, height);
  return height;
}

[[gnu::target("avx2,fma")]] void Avx2Heights(const TMaskHeightMap& map, const double* v, int count,
                                             int32_t* ys) {
  __m128i least = _mm_set1_epi32(0);
  int k = 0;
  for (; k + 4 <= count; k += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ys + k), Avx2Height4(map, _mm256_loadu_pd(v + k), least));
  if (const int left = count - k; left > 0) {
    const __m128i in = _mm_cmpgt_epi32(_mm_set1_epi32(left), _mm_setr_epi32(0, 1, 2, 3));
    alignas(16) std::array<int32_t, 4> last;
    _mm_store_si128(reinterpret_cast<__m128i*>(last.data()),
                    Avx2Height4(map, _mm256_maskload_pd(v + k, _mm256_cvtepi32_epi64(in)), least));
    std::copy_n(last.data(), left, ys + k);
  }
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(least, _mm_set1_epi32(INT32_MIN))) != 0)
    for (k = 0; k < count; ++k) ys[k] = RoundedHeight(std::fma(v[k], map.Scale, map.Offset));
}
#endif

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

namespace {

const TMask_Obj::TKernel& BestKernel() {
  static const TMask_Obj::TKernel best = TMask_Obj::KernelSupported(TMask_Obj::TKernel::Avx2)
                                             ? TMask_Obj::TKernel::Avx2
                                             : TMask_Obj::TKernel::Portable;
  return best;
}

// The heights of a checked run by a kernel the processor has.
void Heights(const TSignalObj& r, const TMaskHeightMap& map, int first, int count, int32_t* ys,
             TMask_Obj::TKernel kernel) {
  if (count <= 0) return;
#ifdef NORV_MASK_AVX2
  if (map.Affine && kernel == TMask_Obj::TKernel::Avx2) {
    // Plain records are read in place; reflection units are converted first.
    if (r.GetTdrUnitKind() == tukNone || r.GetRaw()) {
      Avx2Heights(map, r.StoredYData() + first, count, ys);
      return;
    }
    constexpr int kChunk = 256;
    std::array<double, kChunk> values;
    for (int done = 0; done < count; done += kChunk) {
      const int n = std::min(kChunk, count - done);
      for (int k = 0; k < n; ++k) values[static_cast<size_t>(k)] = r.GetY(first + done + k);
      Avx2Heights(map, values.data(), n, ys + done);
    }
    return;
  }
#endif
  (void)kernel;
  PortableHeights(r, map, first, count, ys);
}

}  // namespace

TMaskHeightMap::TMaskHeightMap(double span, double offset)
    : Scale(1024 / span), Offset(kCentre - offset * Scale) {
  Affine = std::isfinite(span) && span != 0 && std::isfinite(Scale) && Scale != 0 && std::isfinite(Offset);
}

void MaskScreenHeights(const TSignalObj& r, int first, int count, int32_t* ys, TMask_Obj::TKernel kernel) {
  CheckPointRun(r, first, count);
  Heights(r, HeightMap(r), first, count, ys,
          TMask_Obj::KernelSupported(kernel) ? kernel : TMask_Obj::TKernel::Portable);
}

void MaskScreenHeights(const TSignalObj& r, int first, int count, int32_t* ys) {
  MaskScreenHeights(r, first, count, ys, BestKernel());
}

void TMaskColumns::Heights(const TSignalObj& r, int first, int count, int32_t* ys) const {
  norv::Heights(r, map_, first, count, ys, BestKernel());
}

void CheckPointRun(const TSignalObj& r, int first, int count) {
  if (count <= 0) return;
  // The points' indexes are checked as GetY checks them (the last past the store when the
  // run reaches beyond it).
  (void)r.GetStoredY(first);
  (void)r.GetStoredY(count > kMaxRecLen - first ? kMaxRecLen : first + count - 1);
}

void TMaskColumns::Update(const TSignalObj& r, const TMask_Obj& mask) {
  const double span = r.GetEffScale() * 8, offset = r.GetEffOffset();
  if (span != span_ || offset != offset_) {
    map_ = TMaskHeightMap(span, offset);
    span_ = span, offset_ = offset;
  }
  if (valid_ && recLen_ == r.GetRecLen() && firstShown_ == r.GetFirstShown() &&
      zoomStep_ == r.GetZoomStep() && generation_ == mask.Generation())
    return;
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
  valid_ = true;
  recLen_ = r.GetRecLen(), firstShown_ = r.GetFirstShown(), zoomStep_ = r.GetZoomStep();
  generation_ = mask.Generation();
}

}  // namespace norv
