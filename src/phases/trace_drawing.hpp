// Trace drawing: after a reading, the beats are found, `potmax` sets the
// vertical scale, and the recording is drawn with a marker per beat.
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

// Preparation after a reading: traces, `potmax`, the progress lines on the
// trace channel, beats, and (when there is signal) the display constants and
// the lines that name the recording and `potmax`. Returns false when
// `potmax` is 0: the recording has no signal on its first display lead.
bool prepare_display(Store& store, Runtime& runtime);

// Draws the recording: "display", clearing, the three traces, the beat markers.
void draw_recording(Store& store, Runtime& runtime);

// Vertical position of a value, held inside the window (0.001 to 0.999).
float held_vertical(float value, const Display& display);

}  // namespace mapari
