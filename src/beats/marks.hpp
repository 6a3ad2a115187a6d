// Mark arithmetic on the drawn working beat. A mark is the row of the working
// beat under a click, (x - left edge) / step cut toward zero; no range is
// imposed here (0 means not marked, and the save step and the ARI computation
// check what they need).
#pragma once

#include <cstdint>

#include "store/store.hpp"

namespace mapari {

enum FiducialMark : int { stimulus_mark = 1, q_onset_mark = 2, j_point_mark = 3, t_end_mark = 4 };

// The horizontal step of the beat drawings: the traces' width over 1000 rows.
float beat_step(const Display& display);
// The row of the working beat under a clicked horizontal position.
std::int32_t beat_row_at(float x_fraction, const Display& display, const Beat& beat);
// Its inverse: the leftmost position whose row is `row` or a later one.
float first_position_of_row(std::int32_t row, const Display& display, const Beat& beat);
// Whether every one of the four marks is set.
bool all_marks_set(const Beat& beat);

}  // namespace mapari
