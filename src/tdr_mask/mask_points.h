#pragma once
// The screen places at which the mask test tests a record's points: x the point's column
// (-1 left or right of the columns 0..4000, its y then 0) and y its height as the record's
// TMaskHeightMap gives it.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "instrument/record/signal_obj.h"
#include "tdr_mask/mask_object.h"

namespace norv {

// Point i, one at a time.
void MaskScreenPoint(const TSignalObj& r, int i, int32_t& x, int32_t& y);

// Refuses (std::out_of_range) a run of points that reaches outside the record's store.
// Inline, as TMaskColumns::Update: both run with every block the acquisition stores.
inline void CheckPointRun(const TSignalObj& r, int first, int count) {
  if (count <= 0) return;
  // The points' indexes are checked as GetY checks them (the last past the store when the
  // run reaches beyond it).
  (void)r.GetStoredY(first);
  (void)r.GetStoredY(count > kMaxRecLen - first ? kMaxRecLen : first + count - 1);
}

// The columns of a record's points on the screen and the mask's words of those columns,
// kept while the record's time base and the mask stay the same: the points of every
// acquisition fall in the same columns. The record's height scale is kept beside them while
// its vertical scale and offset stay the same.
class TMaskColumns {
 public:
  void Update(const TSignalObj& r, const TMask_Obj& mask) {
    const double span = r.GetEffScale() * 8, offset = r.GetEffOffset();
    if (span != span_ || offset != offset_) Remap(span, offset);
    if (recLen_ != r.GetRecLen() || firstShown_ != r.GetFirstShown() || zoomStep_ != r.GetZoomStep() ||
        generation_ != mask.Generation())
      Gather(r, mask);
  }
  // The batch test (TMask_Obj::MaskHitBits) of a run of points on the screen that
  // CheckPointRun has taken, with the mask Update was given: their heights as
  // MaskScreenPoint gives them in ys, their bits and hit words; ys and bits are written up
  // to kBatchPadding entries past the run.
  void Test(const TSignalObj& r, const TMask_Obj& mask, int first, int count, int32_t* ys, uint8_t* bits,
            uint64_t* hits, TMask_Obj::TKernel kernel = TMask_Obj::BestKernel()) const;
  // The points on the screen are First() .. End() - 1; the others hit nothing.
  int First() const { return first_; }
  int End() const { return end_; }
  // Of point i on (First() <= i < End()), for TMask_Obj::MaskHitBits (padding included).
  const int32_t* Xs(int i) const { return xs_.data() + (i - first_); }
  const uint32_t* Words(int i) const { return words_.data() + (i - first_); }
  size_t Stride() const { return xs_.size(); }

 private:
  void Remap(double span, double offset);
  void Gather(const TSignalObj& r, const TMask_Obj& mask);

  uint16_t recLen_ = 0, firstShown_ = 0, zoomStep_ = 0;
  // 0: nothing gathered yet (every mask's generation is above it).
  uint64_t generation_ = 0;
  int first_ = 0, end_ = 0;
  // NaN: no scale kept yet (and a NaN span or offset never matches, so it maps anew).
  double span_ = std::numeric_limits<double>::quiet_NaN(), offset_ = span_;
  TMaskHeightMap map_;
  std::vector<int32_t> xs_;
  std::vector<uint32_t> words_;
};

}  // namespace norv
