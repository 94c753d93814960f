#pragma once
// The mask in the form the test needs: up to eight closed polygons, each with an optional
// margin polygon, their edges sorted into per-column lists of the screen grid, so that a
// point is tested against the few edges that cross its column, in integers only.
//
// X is a screen column 0..4000; heights are kept in 1/32 screen unit ("Y32", screen Y x 32).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace norv {

inline constexpr int kMaskColumns = 4001;
inline constexpr int kMaskMaxPolygons = 8;
inline constexpr int kMaskMaxMarginPolygons = 4;

// One polygon's edges, each stored with its left end first (X1 <= X2).
struct TPolygonRec {
  int32_t EdgeCount = 0;
  std::vector<int32_t> X1, Y1, X2, Y2;
  int32_t MinX = 0, MinY = 0, MaxX = -1, MaxY = -1;
};

// A record's stored values as the screen heights the test takes: Scale * v + Offset (a
// fused multiply-add, so that a block converts at once with no division per point),
// clamped to 1..1023 and rounded in the current rounding mode; a NaN at the centre row.
// Not Affine where the span is flat or not finite: the trace's own mapping then gives them.
struct TMaskHeightMap {
  static constexpr double kCentre = 512, kLowest = 1, kHighest = 1023;
  TMaskHeightMap() = default;
  TMaskHeightMap(double span, double offset);
  static int32_t Rounded(double sy) {
    return static_cast<int32_t>(std::nearbyint(std::isnan(sy) ? kCentre : std::clamp(sy, kLowest, kHighest)));
  }
  int32_t Height(double v) const { return Rounded(std::fma(v, Scale, Offset)); }
  double Scale = 0, Offset = 0;
  bool Affine = false;
};

class TMask_Obj {
 public:
  enum TPolygonKind : int { pkMask = 0, pkMargin = 1 };

  TMask_Obj();

  // Starts the next polygon of that kind from vertexes in screen units (X 0..4000, Y
  // 0..1024). Throws EAssertion beyond 8 mask or 4 margin polygons, when margins and mask
  // polygons 5..8 would share a column table, or for a vertex off the screen.
  void AddPolygon(int kind, int vertexCount, const double* xs, const double* ys);
  void AddPolygon(int kind, const std::vector<double>& xs, const std::vector<double>& ys);

  // n 0..7; a missing polygon contains nothing.
  bool PointInPolygon(int n, int kind, int x, int y32) const;
  // 0 outside, 1 in the mask, 2 in a margin.
  int PointInMask(int x, int y32) const;
  // Bit n-1 for mask polygon n, bit n+3 for margin polygon n; y in screen units. Inline:
  // it runs for every shown point while the mask test is on.
  uint32_t MaskHitBits(int x, int y) const {
    // Nothing off the screen lies in a polygon (and y * 32 stays in range). Table t holds
    // mask polygon t + 1 or margin polygon t - 3: its bit is the polygon's bit.
    if (x < 0 || x >= kMaskColumns || y < 0 || y > 1024) return 0;
    return TablesContaining(x, y * 32) & ActiveTables();
  }
  // The same for a run of points at once: bits[i] for (xs[i], ys[i]), and bit i % 64 of
  // hits[i / 64] set where bits[i] is not 0 ((count + 63) / 64 words). The batch test reads
  // the mask's words of each point's column gathered beforehand (a record's points keep
  // their columns from one acquisition to the next): ColumnWordRows() rows of words, row r of
  // point i at words[r * stride + i]. Avx2 tests sixteen points at a time from them and is
  // taken when the processor has it; Portable tests the points one by one. The last
  // sixteen may reach past the count: xs, ys and every row are read, and bits written, up
  // to kBatchPadding entries beyond it (what is read there does not count).
  enum class TKernel { Portable, Avx2 };
  static constexpr size_t kBatchPadding = 15;
  static bool KernelSupported(TKernel kernel) {
    return kernel == TKernel::Portable || (kernel == TKernel::Avx2 && avx2Supported_);
  }
  static TKernel BestKernel() { return avx2Supported_ ? TKernel::Avx2 : TKernel::Portable; }
  static constexpr size_t kGapRows = 2;
  size_t ColumnWordRows() const { return kGapRows + static_cast<size_t>(runCount_) + 1; }
  void GatherColumnWords(const int32_t* xs, size_t count, uint32_t* words, size_t stride) const;
  void MaskHitBits(const uint32_t* words, size_t stride, const int32_t* xs, const int32_t* ys, size_t count,
                   uint8_t* bits, uint64_t* hits) const;
  void MaskHitBits(const uint32_t* words, size_t stride, const int32_t* xs, const int32_t* ys, size_t count,
                   uint8_t* bits, uint64_t* hits, TKernel kernel) const;
  // The same from stored values, their heights made by an Affine map on the way and
  // written to ys; values are read, and ys written, up to kBatchPadding entries past the
  // count, as xs and the bits.
  void MaskHitBits(const uint32_t* words, size_t stride, const int32_t* xs, const double* values,
                   const TMaskHeightMap& map, size_t count, int32_t* ys, uint8_t* bits, uint64_t* hits,
                   TKernel kernel = BestKernel()) const;
  // Changes whenever the packed words do, and differs between masks (never 0): words
  // gathered under another generation must be gathered again.
  uint64_t Generation() const { return generation_; }
  // The centre of mask polygon n (1-based) in screen units; (0, 0) beyond the count.
  std::pair<int, int> GetMaskPolygonCentre(int n) const;

  void SetMarginsOn(bool on) { marginsOn_ = on; }
  void SetMarginFirst(bool on) { marginFirst_ = on; }
  bool MarginsOn() const { return marginsOn_; }
  bool MarginFirst() const { return marginFirst_; }
  int MaskPolygonCount() const { return maskCount_; }
  int MarginPolygonCount() const { return marginCount_; }
  const TPolygonRec& Polygon(int n, int kind) const { return entries_[n][kind]; }

 private:
  struct TEdge {
    int32_t X1, Y1, X2, Y2;
  };
  // The edges crossing each column in one flat list, copied so that a walk reads them in a
  // row: column x holds Edges[Start[x] .. Start[x + 1]).
  struct TColumnTable {
    std::vector<int32_t> Start;
    std::vector<TEdge> Edges;
  };
  // Every edge lies below a point of its column exactly when the point is above the edge's
  // height there, so the polygons containing a point change only at those heights: per
  // column, the heights in ascending order, each with the polygons containing the points
  // just above it (bit t for table t); each column ends with a step at INT32_MAX.
  struct TStep {
    int32_t Y32;
    uint32_t Tables;
  };
  static int TableOf(int n, int kind) { return kind == pkMask ? n : n + 4; }
  void BuildColumnTable(const TPolygonRec& rec, TColumnTable& table);
  void BuildSteps();
  uint32_t TablesContaining(int x, int y32) const {
    const TColumnSteps& column = columns_[x];
    if (y32 <= column.FirstY32) return 0;
    uint32_t tables = 0;
    for (const TStep* step = steps_.data() + column.Start; y32 > step->Y32; ++step) tables = step->Tables;
    return tables;
  }
  // For the batch test each column is also packed as its runs of screen Y that one set of
  // tables holds (mask_object.cpp describes the layout).
  struct TRun {
    int32_t Below, Last;
    uint32_t Tables;
  };
  static void ColumnRuns(const TStep* first, const TStep* last, std::vector<TRun>& runs);
  void PackRuns(const std::vector<std::vector<TRun>>& columnRuns);
  void PackGaps(const std::vector<std::vector<TRun>>& columnRuns);
  // MaskHitBits by a kernel the processor has.
  void HitBits(const uint32_t* words, size_t stride, const int32_t* xs, const int32_t* ys, size_t count,
               uint8_t* bits, uint64_t* hits, TKernel kernel) const;
  void PortableHitBits(const int32_t* xs, const int32_t* ys, size_t count, uint8_t* bits,
                       uint64_t* hits) const;
  // The batch test by the AVX2 instructions; THeights gives each block's heights, as they
  // stand or made from values (mask_object.cpp).
  template <class THeights>
  void Avx2HitBits(const uint32_t* words, size_t stride, const int32_t* xs, const THeights& heights,
                   size_t count, uint8_t* bits, uint64_t* hits) const;
  uint32_t ActiveTables() const { return MaskTables() | MarginTables(); }
  uint32_t MaskTables() const { return (1u << maskCount_) - 1; }
  uint32_t MarginTables() const { return marginsOn_ ? ((1u << marginCount_) - 1) << 4 : 0; }

  // Whether the processor has the instructions of the Avx2 kernel (AVX2 and FMA).
  static const bool avx2Supported_;
  uint8_t maskCount_ = 0;
  uint8_t marginCount_ = 0;
  std::array<std::array<TPolygonRec, 2>, kMaskMaxPolygons> entries_;
  std::array<TColumnTable, kMaskMaxPolygons> tables_;
  // Where each column's steps begin, and the first step's height (below it nothing is hit).
  struct TColumnSteps {
    int32_t Start, FirstY32;
  };
  std::vector<TColumnSteps> columns_;
  std::vector<TStep> steps_;
  // The packed runs: runCount_ words of runs and a word of their palette indexes per
  // column, the palette of their tables, and whether any column takes the step walk.
  int runCount_ = 0;
  bool anyWalk_ = false;
  std::vector<uint32_t> runWords_;
  std::vector<uint32_t> indexWords_;
  // The widest stretches of each column where nothing is hit, packed as the runs (kGapRows
  // rows): the batch test reads the runs only for points outside them.
  std::vector<uint32_t> gapWords_;
  std::array<uint8_t, 16> palette_{};
  uint64_t generation_ = 0;
  bool marginsOn_ = false;
  bool marginFirst_ = false;
};

// The mask loaded for testing; none means that mask testing is impossible.
extern std::unique_ptr<TMask_Obj> MaskObj;

}  // namespace norv
