// The clicks of a session without an operator: the column of the drawing
// whose click selects a beat or marks a row, found through the inverse of the
// mappings a click goes through (column to position, position to sample or
// row, sample to the nearest beat), each written beside its forward mapping.
// A click is made where an operator's would first give the same result.
#pragma once

#include <cstdint>

#include "store/store.hpp"

namespace mapari {

// The first column whose click selects the beat at `position`, an entry of
// the sorted beat list; -1 when no column does. A click far from every beat
// keeps the `previous` selection; such clicks are not looked for.
int column_selecting_beat(const Display& display, std::int32_t position, std::int32_t previous);

// The first of the columns whose click marks the row of the beat drawing
// nearest to `row` (the drawing has fewer columns than the beat has rows).
int column_marking_row(const Display& display, const Beat& beat, std::int32_t row);

// The row that column marks: the row nearest to `row` that a click can mark.
std::int32_t row_marked_nearest(const Display& display, const Beat& beat, std::int32_t row);

}  // namespace mapari
