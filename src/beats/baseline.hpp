// Baseline correction of the working beat, in place, on all 64 leads and all
// 1024 rows; corrections accumulate.
//
// One point (i1): every lead has its value at i1 subtracted, so it is 0 there.
// Two points (i1 < i2): every lead has the straight line through its values
// at i1 and i2 subtracted, over the whole beat (the line extended beyond
// i1..i2), so it is 0 at both.
// Reference rows come from clicks on the drawn beat; rows outside 1 to 1024,
// and two equal rows, are said and the clicks asked again.
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

void subtract_one_point_baseline(Beat& beat, std::int32_t i1);
// Needs 1 <= i1 < i2 <= 1024.
void subtract_two_point_baseline(Beat& beat, std::int32_t i1, std::int32_t i2);

// The correction menu's "z" and "t": clicks, confirmation, correction, redraw.
void correct_one_point(Store& store, Runtime& runtime);
void correct_two_points(Store& store, Runtime& runtime);

}  // namespace mapari
