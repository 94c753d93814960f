#pragma once
// The screen places at which the mask test tests a record's points: x the point's column
// (-1 left or right of the columns 0..4000, its y then 0) and y its height rounded within
// 1..1023. The heights come from one scale and offset for the whole record (a fused
// multiply-add, no division per point), so that a block of points converts at once.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "tdr_mask/mask_object.h"

namespace norv {

class TSignalObj;

// Point i, one at a time.
void MaskScreenPoint(const TSignalObj& r, int i, int32_t& x, int32_t& y);
// The heights of points first .. first + count - 1, as MaskScreenPoint gives them for a
// point on the screen. Avx2 converts four at a time; Portable one by one.
void MaskScreenHeights(const TSignalObj& r, int first, int count, int32_t* ys);
void MaskScreenHeights(const TSignalObj& r, int first, int count, int32_t* ys, TMask_Obj::TKernel kernel);

// A record's heights as Scale * v + Offset where its span is finite and not zero;
// otherwise (Affine false) the trace's own mapping gives them point by point.
struct TMaskHeightMap {
  TMaskHeightMap() = default;
  TMaskHeightMap(double span, double offset);
  double Scale = 0, Offset = 0;
  bool Affine = false;
};

// Refuses (std::out_of_range) a run of points that reaches outside the record's store.
void CheckPointRun(const TSignalObj& r, int first, int count);

// The columns of a record's points on the screen and the mask's words of those columns,
// kept while the record's time base and the mask stay the same: the points of every
// acquisition fall in the same columns. The record's height scale is kept beside them while
// its vertical scale and offset stay the same.
class TMaskColumns {
 public:
  void Update(const TSignalObj& r, const TMask_Obj& mask);
  // As MaskScreenHeights, by the processor's kernel, for a run CheckPointRun has taken.
  void Heights(const TSignalObj& r, int first, int count, int32_t* ys) const;
  // The points on the screen are First() .. End() - 1; the others hit nothing.
  int First() const { return first_; }
  int End() const { return end_; }
  // Of point i on (First() <= i < End()), for TMask_Obj::MaskHitBits (padding included).
  const int32_t* Xs(int i) const { return xs_.data() + (i - first_); }
  const uint32_t* Words(int i) const { return words_.data() + (i - first_); }
  size_t Stride() const { return xs_.size(); }

 private:
  bool valid_ = false;
  uint16_t recLen_ = 0, firstShown_ = 0, zoomStep_ = 0;
  uint64_t generation_ = 0;
  int first_ = 0, end_ = 0;
  // NaN: no scale kept yet (and a NaN span or offset never matches, so it maps anew).
  double span_ = std::numeric_limits<double>::quiet_NaN(), offset_ = span_;
  TMaskHeightMap map_;
  std::vector<int32_t> xs_;
  std::vector<uint32_t> words_;
};

}  // namespace norv
