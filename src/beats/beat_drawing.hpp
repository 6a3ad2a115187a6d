// Drawing of the working beat: 1000 rows of each display lead across the
// width that 4000 samples of the recording fill, on the recording's vertical
// scale and centre line.
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr int beat_window_rows = 1000;

// The horizontal step of the beat drawings: the traces' width over 1000 rows.
float beat_step(const Display& display);
// Draws rows 1 to 1000 of one column (element 1 first) as a trace polyline.
void draw_beat_column(Store& store, Runtime& runtime, const float* column);
// Draws the averaged beat of the three display leads, first to third.
void draw_averaged_beat(Store& store, Runtime& runtime);

}  // namespace mapari
