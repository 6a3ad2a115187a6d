// Baseline correction of the working beat, in place, on all 64 leads and all
// 1024 rows; corrections accumulate.
//
// One point (i1): every lead has its value at i1 subtracted, so it is 0 there.
// Two points (i1 < i2): every lead has the straight line through its values
// at i1 and i2 subtracted, over the whole beat (the line extended beyond
// i1..i2), so it is 0 at both.
// Check: after a correction every lead is exactly 0 at its reference rows.
#pragma once

#include <cmath>
#include <cstdint>

#include "store/store.hpp"

namespace mapari {

constexpr bool is_beat_row(std::int32_t row) {
    return row >= 1 && row <= averaged_rows;
}

// The value rounded to the nearest whole number, halves away from zero, as
// the save step's .ds file rounds it: a float plus or minus 0.5 is exact in a
// double, so cutting off the fraction rounds it right. The half takes the
// value's sign by copysign, which needs no branch: a beat's samples cross zero
// too often for a branch on the sign to be foreseen. (-0.0 takes -0.5, which
// cuts off to 0 as well.)
inline std::int32_t whole_number(float value) {
    const double exact = value;
    return static_cast<std::int32_t>(exact + std::copysign(0.5, exact));
}

// Needs 1 <= i1 <= 1024.
void subtract_one_point_baseline(Beat& beat, std::int32_t i1);
// Needs 1 <= i1 < i2 <= 1024.
void subtract_two_point_baseline(Beat& beat, std::int32_t i1, std::int32_t i2);

}  // namespace mapari
