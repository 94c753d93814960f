#include "tdr_mask/mask_points.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "instrument/record/signal_obj.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NORV_MASK_AVX2 1
#endif

namespace norv {

void MaskScreenPoint(const TSignalObj& r, int i, int32_t& x, int32_t& y) {
  const double sx = std::nearbyint(r.IndexToScreenX(i));
  if (!(sx <= 4000) || sx < 0) {
    x = -1, y = 0;
    return;
  }
  const double sy = std::nearbyint(std::clamp(r.ValueToScreenY(r.GetY(i)), 1.0, 1023.0));
  x = static_cast<int32_t>(sx), y = static_cast<int32_t>(sy);
}

namespace {

void PortableScreenPoints(const TSignalObj& r, int first, int count, int32_t* xs, int32_t* ys) {
  for (int k = 0; k < count; ++k) MaskScreenPoint(r, first + k, xs[k], ys[k]);
}

#ifdef NORV_MASK_AVX2

// a / b rounded as the division rounds it, from Rcp, 1 / b rounded: a * Rcp is within about
// an ulp of it, and each correction by the exact remainder (fused multiply-add) brings it
// closer; after the second it is the rounded quotient. Holds while nothing over- or
// underflows (|a| <= 2^900, 2^-100 <= |b| <= 2^100), or a is so small that the quotient is
// lost when 512 is added.
[[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256d Quotient(__m256d a, __m256d b, __m256d rcp) {
  __m256d q = _mm256_mul_pd(a, rcp);
  for (int k = 0; k < 2; ++k) q = _mm256_fmadd_pd(_mm256_fnmadd_pd(b, q, a), rcp, q);
  return q;
}

constexpr double kQuotientLimit = 0x1p900;
constexpr double kMinSpan = 0x1p-100, kMaxSpan = 0x1p100;

// Four points from index i on (values v): as MaskScreenPoint, the record's mapping in the
// vectors below.
struct TAvx2Mapping {
  __m256d shownBase, recLen, recLenRcp, zoom, offset, span, spanRcp;
};

[[gnu::target("avx2,fma"), gnu::always_inline]] inline void Avx2FourPoints(const TAvx2Mapping& m, int i,
                                                                           const double* v, int32_t* xs,
                                                                           int32_t* ys) {
  // IndexToScreenX: (i - FirstShown) / RecLen * 4096 * ZoomStep, rounded.
  const __m256d shown = _mm256_add_pd(_mm256_set1_pd(i), m.shownBase);
  const __m256d sx = _mm256_round_pd(
      _mm256_mul_pd(_mm256_mul_pd(Quotient(shown, m.recLen, m.recLenRcp), _mm256_set1_pd(4096)), m.zoom),
      _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m256d onScreen = _mm256_and_pd(_mm256_cmp_pd(sx, _mm256_setzero_pd(), _CMP_GE_OQ),
                                         _mm256_cmp_pd(sx, _mm256_set1_pd(4000), _CMP_LE_OQ));
  // ValueToScreenY: (v - offset) * 1024 / span + 512, NaN on the centre line. Beyond the
  // limit the height is off the screen either way; NaN stays NaN through min and max.
  const __m256d scaled = _mm256_mul_pd(_mm256_sub_pd(_mm256_loadu_pd(v), m.offset), _mm256_set1_pd(1024));
  const __m256d a =
      _mm256_max_pd(_mm256_set1_pd(-kQuotientLimit), _mm256_min_pd(_mm256_set1_pd(kQuotientLimit), scaled));
  const __m256d raw = _mm256_add_pd(Quotient(a, m.span, m.spanRcp), _mm256_set1_pd(512));
  const __m256d clamped = _mm256_min_pd(_mm256_max_pd(raw, _mm256_set1_pd(1)), _mm256_set1_pd(1023));
  const __m256d sy = _mm256_blendv_pd(_mm256_round_pd(clamped, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC),
                                      _mm256_set1_pd(512), _mm256_cmp_pd(raw, raw, _CMP_UNORD_Q));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(xs),
                   _mm256_cvtpd_epi32(_mm256_blendv_pd(_mm256_set1_pd(-1), sx, onScreen)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(ys), _mm256_cvtpd_epi32(_mm256_and_pd(sy, onScreen)));
}

[[gnu::target("avx2,fma")]] void Avx2ScreenPoints(const TSignalObj& r, int first, int count, int32_t* xs,
                                                  int32_t* ys) {
  const double span = r.GetEffScale() * 8;
  // A flat or extreme scale, an empty record or points beyond the record's store take the
  // per-point way with its own rules.
  if (r.GetRecLen() == 0 || !(std::fabs(span) >= kMinSpan && std::fabs(span) <= kMaxSpan) || first < 0 ||
      count > kMaxRecLen - first) {
    PortableScreenPoints(r, first, count, xs, ys);
    return;
  }
  const double recLen = r.GetRecLen();
  const TAvx2Mapping m{
      _mm256_setr_pd(-r.GetFirstShown(), 1 - r.GetFirstShown(), 2 - r.GetFirstShown(), 3 - r.GetFirstShown()),
      _mm256_set1_pd(recLen),
      _mm256_set1_pd(1 / recLen),
      _mm256_set1_pd(r.GetZoomStep()),
      _mm256_set1_pd(r.GetEffOffset()),
      _mm256_set1_pd(span),
      _mm256_set1_pd(1 / span)};
  // Plain records are read in place; reflection units are converted first.
  const bool plain = r.GetTdrUnitKind() == tukNone || r.GetRaw();
  constexpr int kChunk = 256;
  std::array<double, kChunk> values;
  for (int done = 0; done < count; done += kChunk) {
    const int n = std::min(kChunk, count - done), start = first + done;
    const double* v = r.StoredYData() + start;
    if (!plain) {
      for (int k = 0; k < n; ++k) values[static_cast<size_t>(k)] = r.GetY(start + k);
      v = values.data();
    }
    int k = 0;
    for (; k + 4 <= n; k += 4) Avx2FourPoints(m, start + k, v + k, xs + done + k, ys + done + k);
    PortableScreenPoints(r, start + k, n - k, xs + done + k, ys + done + k);
  }
}

#endif

}  // namespace

void MaskScreenPoints(const TSignalObj& r, int first, int count, int32_t* xs, int32_t* ys,
                      TMask_Obj::TKernel kernel) {
#ifdef NORV_MASK_AVX2
  if (kernel == TMask_Obj::TKernel::Avx2 && TMask_Obj::KernelSupported(kernel)) {
    Avx2ScreenPoints(r, first, count, xs, ys);
    return;
  }
#endif
  (void)kernel;
  PortableScreenPoints(r, first, count, xs, ys);
}

void MaskScreenPoints(const TSignalObj& r, int first, int count, int32_t* xs, int32_t* ys) {
  static const TMask_Obj::TKernel best = TMask_Obj::KernelSupported(TMask_Obj::TKernel::Avx2)
                                             ? TMask_Obj::TKernel::Avx2
                                             : TMask_Obj::TKernel::Portable;
  MaskScreenPoints(r, first, count, xs, ys, best);
}

}  // namespace norv
