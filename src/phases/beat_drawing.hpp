// Drawing of the working beat: 1000 rows of each display lead across the
// width that 4000 samples of the recording fill, on the recording's vertical
// scale and centre line.
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

// Draws rows 1 to 1000 of one column (element 1 first) as a trace polyline.
void draw_beat_column(Store& store, Runtime& runtime, const float* column);
// Draws the averaged beat of the three display leads, first to third.
void draw_averaged_beat(Store& store, Runtime& runtime);
// Clears the trace window and draws the working beat of the display leads again.
void redraw_working_beat(Store& store, Runtime& runtime);

}  // namespace mapari
