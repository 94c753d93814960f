#pragma once
// The screen places at which the mask test tests a record's points: the trace's own, x
// rounded to a column (-1 for a point left or right of the columns 0..4000, its y then 0)
// and y rounded to a height within 1..1023.

#include <cstdint>

#include "tdr_mask/mask_object.h"

namespace norv {

class TSignalObj;

// Point i, one at a time through the record's own screen mapping.
void MaskScreenPoint(const TSignalObj& r, int i, int32_t& x, int32_t& y);
// Points first .. first + count - 1 at once, the same places as MaskScreenPoint gives. Avx2
// (taken when the processor has it and fused multiply-add) converts four points at a time
// without dividing; Portable one by one.
void MaskScreenPoints(const TSignalObj& r, int first, int count, int32_t* xs, int32_t* ys);
void MaskScreenPoints(const TSignalObj& r, int first, int count, int32_t* xs, int32_t* ys,
                      TMask_Obj::TKernel kernel);

}  // namespace norv
