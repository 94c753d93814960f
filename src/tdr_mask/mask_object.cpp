#include "tdr_mask/mask_object.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "framework/util/errors.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NORV_MASK_AVX2 1
#endif

namespace norv {

std::unique_ptr<TMask_Obj> MaskObj;

namespace {

// A vertex that is not on the screen would index past the column tables.
void CheckVertex(double x, double y) {
  if (!(x >= 0 && x <= kMaskColumns - 1 && y >= 0 && y <= 1024))
    throw EAssertion("ERROR in TMask_Obj.AddPolygon - vertex off the screen");
}

}  // namespace

TMask_Obj::TMask_Obj() : columns_(kMaskColumns), spans_(kMaskColumns + 1) {
  for (TColumnTable& table : tables_) table.Start.assign(kMaskColumns + 1, 0);
  BuildSteps();
}

void TMask_Obj::AddPolygon(int kind, const std::vector<double>& xs, const std::vector<double>& ys) {
  if (xs.size() != ys.size()) throw EAssertion("ERROR in TMask_Obj.AddPolygon - coordinate counts differ");
  AddPolygon(kind, static_cast<int>(xs.size()), xs.data(), ys.data());
}

void TMask_Obj::AddPolygon(int kind, int vertexCount, const double* xs, const double* ys) {
  const bool margin = kind == pkMargin;
  // Margin polygon n shares its column table with mask polygon n + 4.
  if (margin ? (marginCount_ >= kMaskMaxMarginPolygons || maskCount_ > kMaskMaxMarginPolygons)
             : (maskCount_ >= kMaskMaxPolygons || (marginCount_ > 0 && maskCount_ >= kMaskMaxMarginPolygons)))
    throw EAssertion("ERROR in TMask_Obj.AddPolygon - too many polygons");
  for (int i = 0; i < vertexCount; ++i) CheckVertex(xs[i], ys[i]);

  const int n = margin ? marginCount_++ : maskCount_++;
  TPolygonRec& rec = entries_[n][kind];
  rec = TPolygonRec{};
  if (vertexCount <= 0) {
    BuildColumnTable(rec, tables_[TableOf(n, kind)]);
    BuildSteps();
    return;
  }
  std::vector<int32_t> px(vertexCount), py(vertexCount);
  for (int i = 0; i < vertexCount; ++i) {
    px[i] = static_cast<int32_t>(std::nearbyint(xs[i]));
    py[i] = static_cast<int32_t>(std::nearbyint(ys[i] * 32));
  }
  rec.EdgeCount = vertexCount;
  rec.X1.resize(vertexCount);
  rec.Y1.resize(vertexCount);
  rec.X2.resize(vertexCount);
  rec.Y2.resize(vertexCount);
  // Edge i joins the previous point to vertex i, walking from the last vertex down to the
  // first with vertex 0 as the first previous point: the outline is closed.
  int32_t prevX = px[0], prevY = py[0];
  for (int i = vertexCount - 1; i >= 0; --i) {
    if (prevX < px[i]) {
      rec.X1[i] = prevX, rec.Y1[i] = prevY, rec.X2[i] = px[i], rec.Y2[i] = py[i];
    } else {
      rec.X1[i] = px[i], rec.Y1[i] = py[i], rec.X2[i] = prevX, rec.Y2[i] = prevY;
    }
    prevX = px[i];
    prevY = py[i];
  }
  rec.MinX = *std::min_element(px.begin(), px.end());
  rec.MaxX = *std::max_element(px.begin(), px.end());
  rec.MinY = *std::min_element(py.begin(), py.end());
  rec.MaxY = *std::max_element(py.begin(), py.end());
  BuildColumnTable(rec, tables_[TableOf(n, kind)]);
  BuildSteps();
}

// Edge e enters every column x with X1 < x <= X2; a vertical edge enters none.
void TMask_Obj::BuildColumnTable(const TPolygonRec& rec, TColumnTable& table) {
  std::vector<int32_t>& start = table.Start;
  std::fill(start.begin(), start.end(), 0);
  for (int e = 0; e < rec.EdgeCount; ++e)
    for (int x = rec.X1[e] + 1; x <= rec.X2[e]; ++x) ++start[x + 1];
  for (int x = 0; x < kMaskColumns; ++x) start[x + 1] += start[x];
  table.Edges.assign(start[kMaskColumns], TEdge{});
  std::vector<int32_t> fill(start.begin(), start.end() - 1);
  for (int e = 0; e < rec.EdgeCount; ++e)
    for (int x = rec.X1[e] + 1; x <= rec.X2[e]; ++x)
      table.Edges[fill[x]++] = {rec.X1[e], rec.Y1[e], rec.X2[e], rec.Y2[e]};
}

namespace {

// The edge's height in column x, the division truncating toward zero as the test has always
// done. A point of the column lies above the edge exactly when its Y32 exceeds this: at or
// below the lower end it does not, above the higher end it does, and between them this is
// the test itself.
int32_t EdgeHeight(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int x) {
  return y1 + ((y2 - y1) * (x - x1)) / (x2 - x1);
}

}  // namespace

void TMask_Obj::BuildSteps() {
  steps_.clear();
  std::vector<std::pair<int32_t, int>> heights;
  for (int x = 0; x < kMaskColumns; ++x) {
    heights.clear();
    for (int t = 0; t < kMaskMaxPolygons; ++t) {
      const TColumnTable& table = tables_[t];
      for (int32_t i = table.Start[x]; i < table.Start[x + 1]; ++i) {
        const TEdge& e = table.Edges[i];
        heights.emplace_back(EdgeHeight(e.X1, e.Y1, e.X2, e.Y2, x), t);
      }
    }
    std::sort(heights.begin(), heights.end());
    columns_[x] = {static_cast<int32_t>(steps_.size()), heights.empty() ? INT32_MAX : heights.front().first};
    uint32_t tables = 0;
    for (size_t i = 0; i < heights.size(); ++i) {
      tables ^= 1u << heights[i].second;
      if (i + 1 < heights.size() && heights[i + 1].first == heights[i].first) continue;
      steps_.push_back({heights[i].first, tables});
    }
    steps_.push_back({INT32_MAX, 0});
    spans_[x] = ColumnSpan(steps_.data() + columns_[x].Start, steps_.data() + steps_.size());
  }
}

// The tables of a step hold from just above its height up to the next step's height.
uint32_t TMask_Obj::ColumnSpan(const TStep* first, const TStep* last) {
  uint32_t tables = 0;
  int32_t low = 0, high = 0;
  bool closed = false;
  for (const TStep* step = first; step != last; ++step) {
    if (step->Tables == 0) {
      if (tables != 0 && !closed) high = step->Y32, closed = true;
    } else if (tables == 0) {
      tables = step->Tables;
      low = step->Y32;
    } else if (closed || step->Tables != tables) {
      return kSpanWalk;
    }
  }
  if (tables == 0) return 0;
  // Screen y is hit when low < y * 32 <= high; every height lies in 0..32768.
  const uint32_t below = static_cast<uint32_t>(low / 32);
  const uint32_t end = static_cast<uint32_t>(std::min(high, 32768) / 32 + 1);
  return below << kSpanBelowShift | end << kSpanEndShift | tables << kSpanTablesShift;
}

bool TMask_Obj::KernelSupported(TKernel kernel) {
#ifdef NORV_MASK_AVX2
  if (kernel == TKernel::Avx2) return __builtin_cpu_supports("avx2");
#endif
  return kernel == TKernel::Portable;
}

void TMask_Obj::MaskHitBits(const int32_t* xs, const int32_t* ys, size_t count, uint8_t* bits) const {
  static const TKernel best = KernelSupported(TKernel::Avx2) ? TKernel::Avx2 : TKernel::Portable;
  MaskHitBits(xs, ys, count, bits, best);
}

void TMask_Obj::MaskHitBits(const int32_t* xs, const int32_t* ys, size_t count, uint8_t* bits,
                            TKernel kernel) const {
  if (kernel == TKernel::Avx2 && KernelSupported(kernel))
    Avx2HitBits(xs, ys, count, bits);
  else
    PortableHitBits(xs, ys, count, bits);
}

void TMask_Obj::PortableHitBits(const int32_t* xs, const int32_t* ys, size_t count, uint8_t* bits) const {
  for (size_t i = 0; i < count; ++i) bits[i] = static_cast<uint8_t>(MaskHitBits(xs[i], ys[i]));
}

#ifdef NORV_MASK_AVX2
__attribute__((target("avx2"))) void TMask_Obj::Avx2HitBits(const int32_t* xs, const int32_t* ys,
                                                            size_t count, uint8_t* bits) const {
  const __m256i spare = _mm256_set1_epi32(kMaskColumns);
  const __m256i yMask = _mm256_set1_epi32(kSpanYMask);
  const __m256i active = _mm256_set1_epi32(static_cast<int>(ActiveTables()));
  // The low byte of each word to the front of its half.
  const __m256i lowBytes = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                            0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const int* spans = reinterpret_cast<const int*>(spans_.data());
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xs + i));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ys + i));
    const __m256i span = _mm256_i32gather_epi32(spans, _mm256_min_epu32(x, spare), 4);
    const __m256i below = _mm256_and_si256(_mm256_srli_epi32(span, kSpanBelowShift), yMask);
    const __m256i end = _mm256_and_si256(_mm256_srli_epi32(span, kSpanEndShift), yMask);
    const __m256i hit = _mm256_and_si256(_mm256_cmpgt_epi32(y, below), _mm256_cmpgt_epi32(end, y));
    const __m256i tables = _mm256_and_si256(_mm256_srli_epi32(span, kSpanTablesShift), active);
    const __m256i packed = _mm256_shuffle_epi8(_mm256_and_si256(hit, tables), lowBytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(bits + i),
                     _mm_unpacklo_epi32(_mm256_castsi256_si128(packed), _mm256_extracti128_si256(packed, 1)));
    for (unsigned walk = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(span))); walk != 0;
         walk &= walk - 1) {
      const size_t k = i + static_cast<size_t>(__builtin_ctz(walk));
      bits[k] = static_cast<uint8_t>(MaskHitBits(xs[k], ys[k]));
    }
  }
  // The compiler leaves it out before a tail call; without it the caller's SSE code slows.
  _mm256_zeroupper();
  PortableHitBits(xs + i, ys + i, count - i, bits + i);
}
#else
void TMask_Obj::Avx2HitBits(const int32_t* xs, const int32_t* ys, size_t count, uint8_t* bits) const {
  PortableHitBits(xs, ys, count, bits);
}
#endif

bool TMask_Obj::PointInPolygon(int n, int kind, int x, int y32) const {
  if (n < 0 || n >= kMaskMaxPolygons || (kind != pkMask && kind != pkMargin)) return false;
  if (n >= (kind == pkMask ? maskCount_ : marginCount_)) return false;
  const TPolygonRec& rec = entries_[n][kind];
  if (x < rec.MinX || x > rec.MaxX || y32 < rec.MinY || y32 > rec.MaxY) return false;
  const TColumnTable& table = tables_[TableOf(n, kind)];
  bool inside = false;
  for (int32_t i = table.Start[x], end = table.Start[x + 1]; i < end; ++i) {
    const TEdge& e = table.Edges[i];
    bool below;
    if ((y32 > e.Y1) != (y32 > e.Y2))
      below = y32 > EdgeHeight(e.X1, e.Y1, e.X2, e.Y2, x);
    else
      below = y32 > e.Y1;
    inside ^= below;
  }
  return inside;
}

int TMask_Obj::PointInMask(int x, int y32) const {
  if (x < 0 || x >= kMaskColumns) return 0;
  const uint32_t tables = TablesContaining(x, y32);
  const bool inMask = (tables & MaskTables()) != 0;
  if (!marginsOn_) return inMask ? 1 : 0;
  const bool inMargin = (tables & MarginTables()) != 0;
  if (!inMask) return inMargin ? 2 : 0;
  return inMargin && marginFirst_ ? 2 : 1;
}

std::pair<int, int> TMask_Obj::GetMaskPolygonCentre(int n) const {
  if (n < 1 || n > maskCount_) return {0, 0};
  const TPolygonRec& rec = entries_[n - 1][pkMask];
  return {(rec.MinX + rec.MaxX) / 2, ((rec.MinY + rec.MaxY) / 2) / 32};
}

}  // namespace norv
