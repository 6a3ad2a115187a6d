// Fiducial point marking: the operator clicks the stimulus artifact, the Q
// onset, the J point and the T end on the drawn working beat. A mark is the
// row of the working beat under the click, (x - left edge) / step cut toward
// zero; no range is imposed here (0 means not marked, and the save step and
// the ARI computation check what they need).
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

enum FiducialMark : int { stimulus_mark = 1, q_onset_mark = 2, j_point_mark = 3, t_end_mark = 4 };

// The row of the working beat under a clicked horizontal position.
std::int32_t beat_row_at(float x_fraction, const Store& store);

// Clicks the four marks, then asks whether to clean the screen.
void mark_fiducial_points(Store& store, Runtime& runtime);

// Clears the trace window and draws the working beat of the display leads again.
void redraw_working_beat(Store& store, Runtime& runtime);

}  // namespace mapari
