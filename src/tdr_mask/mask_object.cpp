#include "tdr_mask/mask_object.h"

#include <algorithm>
#include <atomic>
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

// The batch test's packing of a column. Run r of column x is hit when Below < y <= Last;
// its word, at r * kRunColumns + x, holds Below in the low and Last in the high 16 bits.
// Runs ascend and do not overlap; the words a column does not use hold kNoRun, which no Y
// lies above. Nibble r of the column's index word names the tables of run r in the
// mask's palette of at most 15 sets (0 for none). A column of more runs than kMaxRuns, or
// with a set the full palette lacks, has kWalkRun first and takes the step walk. The
// column past the screen (x 4001) is empty and stands for every x off it.
constexpr int kMaxRuns = 8;
constexpr int kRunColumns = kMaskColumns + 1;
constexpr uint32_t kNoRun = 0x7FFF7FFF, kWalkRun = 0x7FFE7FFF;

// A vertex that is not on the screen would index past the column tables.
void CheckVertex(double x, double y) {
  if (!(x >= 0 && x <= kMaskColumns - 1 && y >= 0 && y <= 1024))
    throw EAssertion("ERROR in TMask_Obj.AddPolygon - vertex off the screen");
}

}  // namespace

TMask_Obj::TMask_Obj() : columns_(kMaskColumns) {
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
  std::vector<std::vector<TRun>> columnRuns(kMaskColumns);
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
    ColumnRuns(steps_.data() + columns_[x].Start, steps_.data() + steps_.size() - 1, columnRuns[x]);
  }
  PackRuns(columnRuns);
}

// The runs of screen y that the steps give: a step's tables hold for y32 above its height,
// that is for y above its height / 32 rounded down, until the next step's.
void TMask_Obj::ColumnRuns(const TStep* first, const TStep* last, std::vector<TRun>& runs) {
  runs.clear();
  uint32_t tables = 0;
  for (const TStep* step = first; step != last; ++step) {
    const int32_t y = step->Y32 >> 5;
    // Of the steps that round to one screen height the last decides.
    if (step + 1 != last && (step + 1)->Y32 >> 5 == y) continue;
    if (step->Tables == tables) continue;
    if (tables != 0) runs.back().Last = y;
    if (step->Tables != 0) runs.push_back({y, 0, step->Tables});
    tables = step->Tables;
  }
  // Closed outlines leave no tables above their top; the screen ends at 1024 in any case.
  if (tables != 0) runs.back().Last = 1024;
}

void TMask_Obj::PackRuns(const std::vector<std::vector<TRun>>& columnRuns) {
  static std::atomic<uint64_t> generations{0};
  generation_ = ++generations;
  palette_.fill(0);
  int paletteSize = 1;
  // The palette index of each run of the column; false when the palette has no room.
  const auto indexes = [&](const std::vector<TRun>& runs, uint32_t& word) {
    word = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
      int k = 1;
      while (k < paletteSize && palette_[k] != runs[r].Tables) ++k;
      if (k == paletteSize) {
        if (paletteSize == static_cast<int>(palette_.size())) return false;
        palette_[paletteSize++] = static_cast<uint8_t>(runs[r].Tables);
      }
      word |= static_cast<uint32_t>(k) << (4 * r);
    }
    return true;
  };
  std::vector<uint32_t> words(kMaskColumns);
  std::vector<bool> walks(kMaskColumns);
  runCount_ = 0;
  anyWalk_ = false;
  for (int x = 0; x < kMaskColumns; ++x) {
    const std::vector<TRun>& runs = columnRuns[x];
    walks[x] = runs.size() > static_cast<size_t>(kMaxRuns) || !indexes(runs, words[x]);
    anyWalk_ = anyWalk_ || walks[x];
    if (!walks[x]) runCount_ = std::max(runCount_, static_cast<int>(runs.size()));
  }
  if (anyWalk_) runCount_ = std::max(runCount_, 1);
  runWords_.assign(static_cast<size_t>(runCount_) * kRunColumns, kNoRun);
  indexWords_.assign(kRunColumns, 0);
  PackGaps(columnRuns);
  for (int x = 0; x < kMaskColumns; ++x) {
    if (walks[x]) {
      runWords_[x] = kWalkRun;
      continue;
    }
    const std::vector<TRun>& runs = columnRuns[x];
    // Both heights lie in 0..1024, so each fits its half as a signed 16-bit number.
    for (size_t r = 0; r < runs.size(); ++r)
      runWords_[r * kRunColumns + x] =
          (static_cast<uint32_t>(runs[r].Below) & 0xFFFF) | static_cast<uint32_t>(runs[r].Last) << 16;
    indexWords_[x] = words[x];
  }
}

// The widest kGapRows stretches of each column between its runs (where nothing is hit),
// as (Below, Last) pairs like the runs, those below and above the screen reaching as far
// as 16 bits do; the columns past the screen are one gap.
void TMask_Obj::PackGaps(const std::vector<std::vector<TRun>>& columnRuns) {
  gapWords_.assign(kGapRows * kRunColumns, kNoRun);
  std::vector<TRun> gaps;
  for (int x = 0; x < kRunColumns; ++x) {
    gaps.clear();
    int32_t below = INT16_MIN;
    if (x < kMaskColumns)
      for (const TRun& run : columnRuns[x]) {
        if (run.Below > below) gaps.push_back({below, run.Below, 0});
        below = run.Last;
      }
    if (below < INT16_MAX) gaps.push_back({below, INT16_MAX, 0});
    const size_t kept = std::min(gaps.size(), kGapRows);
    // Widest on the screen, where the points are.
    const auto width = [](const TRun& gap) { return std::min(gap.Last, 1024) - std::max(gap.Below, 0); };
    std::partial_sort(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(kept), gaps.end(),
                      [&](const TRun& a, const TRun& b) { return width(a) > width(b); });
    for (size_t g = 0; g < kept; ++g)
      gapWords_[g * kRunColumns + static_cast<size_t>(x)] =
          (static_cast<uint32_t>(gaps[g].Below) & 0xFFFF) | static_cast<uint32_t>(gaps[g].Last) << 16;
  }
}

namespace {

bool CpuHasAvx2Kernel() {
#ifdef NORV_MASK_AVX2
  // The screen heights of the points the kernel tests are converted with fused multiply-add.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

}  // namespace

// Read on every call of the test: known before main, so that no call asks again. A test
// run from another unit's start-up, before this is set, takes the portable kernel.
const bool TMask_Obj::avx2Supported_ = CpuHasAvx2Kernel();

void TMask_Obj::GatherColumnWords(const int32_t* xs, size_t count, uint32_t* words, size_t stride) const {
  const size_t runs = static_cast<size_t>(runCount_);
  for (size_t i = 0; i < count; ++i) {
    // Every point off the screen reads the first empty column past it.
    const size_t x = xs[i] >= 0 && xs[i] < kMaskColumns ? static_cast<size_t>(xs[i]) : kMaskColumns;
    size_t row = 0;
    for (size_t g = 0; g < kGapRows; ++g) words[row++ * stride + i] = gapWords_[g * kRunColumns + x];
    for (size_t r = 0; r < runs; ++r) words[row++ * stride + i] = runWords_[r * kRunColumns + x];
    words[row * stride + i] = indexWords_[x];
  }
}

TMaskHeightMap::TMaskHeightMap(double span, double offset)
    : Scale(1024 / span), Offset(kCentre - offset * Scale) {
  Affine = std::isfinite(span) && span != 0 && std::isfinite(Scale) && Scale != 0 && std::isfinite(Offset);
}

void TMask_Obj::MaskHitBits(const uint32_t* words, size_t stride, const int32_t* xs, const int32_t* ys,
                            size_t count, uint8_t* bits, uint64_t* hits) const {
  HitBits(words, stride, xs, ys, count, bits, hits, BestKernel());
}

void TMask_Obj::MaskHitBits(const uint32_t* words, size_t stride, const int32_t* xs, const int32_t* ys,
                            size_t count, uint8_t* bits, uint64_t* hits, TKernel kernel) const {
  HitBits(words, stride, xs, ys, count, bits, hits, KernelSupported(kernel) ? kernel : TKernel::Portable);
}

void TMask_Obj::PortableHitBits(const int32_t* xs, const int32_t* ys, size_t count, uint8_t* bits,
                                uint64_t* hits) const {
  std::fill(hits, hits + (count + 63) / 64, uint64_t{0});
  for (size_t i = 0; i < count; ++i) {
    bits[i] = static_cast<uint8_t>(MaskHitBits(xs[i], ys[i]));
    hits[i / 64] |= uint64_t{bits[i] != 0} << (i % 64);
  }
}

#ifdef NORV_MASK_AVX2
namespace {

// Y of eight points from Ys, saturated to 16 bits (off the screen either way stays off
// it), in both halves of its lane.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i SpreadHeights(const int32_t* ys) {
  const __m256i y32 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ys));
  const __m256i y16 = _mm256_packs_epi32(y32, y32);
  return _mm256_unpacklo_epi16(y16, y16);
}

// The heights of a block of sixteen points as they stand.
struct TGivenHeights {
  const int32_t* Ys;
  [[gnu::target("avx2"), gnu::always_inline]] inline void Block(size_t i, __m256i& low, __m256i& high) const {
    low = SpreadHeights(Ys + i);
    high = SpreadHeights(Ys + i + 8);
  }
};

// The heights of a block of sixteen points made from their values by the map, written to
// Ys and spread as SpreadHeights spreads them.
struct TMadeHeights {
  const double* Values;
  int32_t* Ys;
  double Scale, Offset;

  // Four heights; the conversion to integers rounds as nearbyint does (both in the current
  // mode). The clamps keep a NaN (max and min give their second operand then), which alone
  // converts to INT32_MIN.
  [[gnu::target("avx2,fma"), gnu::always_inline]] inline __m128i Four(const double* v) const {
    const __m256d sy = _mm256_fmadd_pd(_mm256_loadu_pd(v), _mm256_set1_pd(Scale), _mm256_set1_pd(Offset));
    return _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_set1_pd(TMaskHeightMap::kHighest),
                                            _mm256_max_pd(_mm256_set1_pd(TMaskHeightMap::kLowest), sy)));
  }
  // Eight heights, a NaN's put at the centre.
  [[gnu::target("avx2,fma"), gnu::always_inline]] inline __m256i Eight(size_t i) const {
    __m256i y = _mm256_set_m128i(Four(Values + i + 4), Four(Values + i));
    y = _mm256_blendv_epi8(y, _mm256_set1_epi32(static_cast<int>(TMaskHeightMap::kCentre)),
                           _mm256_cmpeq_epi32(y, _mm256_set1_epi32(INT32_MIN)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Ys + i), y);
    // Heights lie in 1..1023: both halves of a lane at once.
    return _mm256_or_si256(y, _mm256_slli_epi32(y, 16));
  }
  [[gnu::target("avx2,fma"), gnu::always_inline]] inline void Block(size_t i, __m256i& low,
                                                                    __m256i& high) const {
    low = Eight(i);
    high = Eight(i + 8);
  }
};

// A height pair (Below, Last) compared with Y in both halves at once: -1 (0xFFFFFFFF) when
// Y is above it, 0x0000FFFF when in it (Below < Y <= Last), 0 below.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Compare(const uint32_t* words, __m256i y) {
  return _mm256_cmpgt_epi16(y, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words)));
}

// All ones in the lanes whose point lies in one of the gaps of its column.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i InGaps(const uint32_t* words, size_t stride,
                                                                  __m256i y) {
  const __m256i in = _mm256_set1_epi32(0xFFFF);
  __m256i gaps = _mm256_setzero_si256();
  for (size_t g = 0; g < TMask_Obj::kGapRows; ++g)
    gaps = _mm256_or_si256(gaps, _mm256_cmpeq_epi32(Compare(words + g * stride, y), in));
  return gaps;
}

// The palette indexes of the eight points of heights Y, one a lane, from the kRuns rows of
// run words and the row of index words gathered for them, and in Walk the lanes whose
// column takes the step walk.
template <int kRuns, bool kAnyWalk>
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i BlockIndexes(const uint32_t* words, size_t stride,
                                                                        __m256i y, unsigned& walk) {
  // Runs ascend, so in run j the runs' answers add up to 0xFFFF - j, and 0xFFFF less them
  // is j; in none it is 0xFFFF or more, which shifts the whole index word out.
  __m256i run = _mm256_set1_epi32(0xFFFF);
  for (int r = 0; r < kRuns; ++r) {
    if (r == 0 && kAnyWalk)
      walk = static_cast<unsigned>(_mm256_movemask_ps(
          _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(words)),
                                                 _mm256_set1_epi32(static_cast<int>(kWalkRun))))));
    run = _mm256_sub_epi32(run, Compare(words + r * stride, y));
  }
  const __m256i indexes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + kRuns * stride));
  return _mm256_and_si256(_mm256_srlv_epi32(indexes, _mm256_slli_epi32(run, 2)), _mm256_set1_epi32(0xF));
}

// The batch test in blocks of sixteen points, the tables taken from the palette; the last
// block reaches into the padding, and the bits of its points past the count are dropped
// from the hit words, which are written whole. Sixteen points in gaps (most of an eye's)
// hit nothing and read no run words.
template <int kRuns, bool kAnyWalk, class THeights>
[[gnu::target("avx2,fma")]] void Avx2Blocks(const TMask_Obj& mask, const uint32_t* words, size_t stride,
                                            __m128i palette, const int32_t* xs, const THeights& source,
                                            size_t count, uint8_t* bits, uint64_t* hits) {
  // A copy of its own, which the stores of bits and heights cannot change.
  const THeights heights = source;
  const uint32_t* const runWords = words + TMask_Obj::kGapRows * stride;
  const size_t padded = (count + TMask_Obj::kBatchPadding) / 16 * 16;
  uint64_t word = 0;
  for (size_t i = 0; i < padded; i += 16) {
    __m256i yLow, yHigh;
    heights.Block(i, yLow, yHigh);
    const __m256i inGaps =
        _mm256_and_si256(InGaps(words + i, stride, yLow), InGaps(words + i + 8, stride, yHigh));
    if (_mm256_movemask_epi8(inGaps) == -1) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(bits + i), _mm_setzero_si128());
    } else {
      unsigned walkLow = 0, walkHigh = 0;
      const __m256i low = BlockIndexes<kRuns, kAnyWalk>(runWords + i, stride, yLow, walkLow);
      const __m256i high = BlockIndexes<kRuns, kAnyWalk>(runWords + i + 8, stride, yHigh, walkHigh);
      // The sixteen indexes as bytes, in order (the packs work in halves), then their tables.
      const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(low, high), _mm256_setzero_si256());
      const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0));
      __m128i tables = _mm_shuffle_epi8(palette, _mm256_castsi256_si128(ordered));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(bits + i), tables);
      if constexpr (kAnyWalk) {
        const unsigned walk = walkLow | walkHigh << 8;
        for (unsigned left = walk; left != 0; left &= left - 1) {
          const size_t k = i + static_cast<size_t>(__builtin_ctz(left));
          bits[k] = static_cast<uint8_t>(mask.MaskHitBits(xs[k], heights.Ys[k]));
        }
        if (walk != 0) tables = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bits + i));
      }
      const auto hit = static_cast<uint16_t>(~_mm_movemask_epi8(_mm_cmpeq_epi8(tables, _mm_setzero_si128())));
      word |= uint64_t{hit} << (i % 64);
    }
    if (i + 16 == padded) {
      if (count % 64 != 0) word &= (uint64_t{1} << (count % 64)) - 1;
      hits[i / 64] = word;
    } else if (i % 64 == 48) {
      hits[i / 64] = word;
      word = 0;
    }
  }
  // The compiler leaves it out before a return; without it the caller's SSE code slows.
  _mm256_zeroupper();
}

template <class THeights, bool kAnyWalk, int... kRuns>
constexpr auto kAvx2Blocks = std::array{&Avx2Blocks<kRuns, kAnyWalk, THeights>...};

}  // namespace

// Plain SSE2 code, which any caller can take in: the blocks alone need AVX2.
template <class THeights>
inline void TMask_Obj::Avx2HitBits(const uint32_t* words, size_t stride, const int32_t* xs,
                                   const THeights& heights, size_t count, uint8_t* bits,
                                   uint64_t* hits) const {
  static constexpr auto blocks = kAvx2Blocks<THeights, false, 0, 1, 2, 3, 4, 5, 6, 7, 8>;
  static constexpr auto walkingBlocks = kAvx2Blocks<THeights, true, 0, 1, 2, 3, 4, 5, 6, 7, 8>;
  static_assert(blocks.size() == kMaxRuns + 1);
  // The palette with the tables that take part.
  const __m128i palette = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(palette_.data())),
                                        _mm_set1_epi8(static_cast<char>(ActiveTables())));
  (anyWalk_ ? walkingBlocks : blocks)[static_cast<size_t>(runCount_)](*this, words, stride, palette, xs,
                                                                      heights, count, bits, hits);
}
#endif

void TMask_Obj::HitBits(const uint32_t* words, size_t stride, const int32_t* xs, const int32_t* ys,
                        size_t count, uint8_t* bits, uint64_t* hits, TKernel kernel) const {
#ifdef NORV_MASK_AVX2
  if (kernel == TKernel::Avx2) return Avx2HitBits(words, stride, xs, TGivenHeights{ys}, count, bits, hits);
#endif
  (void)words, (void)stride, (void)kernel;
  PortableHitBits(xs, ys, count, bits, hits);
}

void TMask_Obj::MaskHitBits(const uint32_t* words, size_t stride, const int32_t* xs, const double* values,
                            const TMaskHeightMap& map, size_t count, int32_t* ys, uint8_t* bits,
                            uint64_t* hits, TKernel kernel) const {
#ifdef NORV_MASK_AVX2
  if (kernel == TKernel::Avx2 && KernelSupported(kernel))
    return Avx2HitBits(words, stride, xs, TMadeHeights{values, ys, map.Scale, map.Offset}, count, bits, hits);
#endif
  (void)words, (void)stride, (void)kernel;
  for (size_t i = 0; i < count; ++i) ys[i] = map.Height(values[i]);
  PortableHitBits(xs, ys, count, bits, hits);
}

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
