#pragma once
// The mask in the form the test needs: up to eight closed polygons, each with an optional
// margin polygon, their edges sorted into per-column lists of the screen grid, so that a
// point is tested against the few edges that cross its column, in integers only.
//
// X is a screen column 0..4000; heights are kept in 1/32 screen unit ("Y32", screen Y x 32).

#include <array>
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
  // Bit n-1 for mask polygon n, bit n+3 for margin polygon n; y in screen units.
  uint32_t MaskHitBits(int x, int y) const;
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
  // Edge indices per column in one flat list: column x holds edges[start[x] .. start[x+1]).
  struct TColumnTable {
    std::vector<int32_t> Start;
    std::vector<int32_t> Edges;
  };
  static int TableOf(int n, int kind) { return kind == pkMask ? n : n + 4; }
  void BuildColumnTable(const TPolygonRec& rec, TColumnTable& table);

  uint8_t maskCount_ = 0;
  uint8_t marginCount_ = 0;
  std::array<std::array<TPolygonRec, 2>, kMaskMaxPolygons> entries_;
  std::array<TColumnTable, kMaskMaxPolygons> tables_;
  bool marginsOn_ = false;
  bool marginFirst_ = false;
};

// The mask loaded for testing; none means that mask testing is impossible.
extern std::unique_ptr<TMask_Obj> MaskObj;

}  // namespace norv
