// The steps of a data series around the analysis of one recording: the
// series start (settings and the common part of the name), the next
// recording (its variable part), the reading with beat detection, and the
// two questions at the end of a recording.
#pragma once

#include "phases/point.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

// S: the settings and the common part of the name.
Point series_start(Store& store, Runtime& runtime);
// F: the variable part of the name.
Point next_recording(Store& store, Runtime& runtime);
// R: the display second, the reading and the beats; a recording without
// signal waits for the operator and goes back to F.
Point reading(Store& store, Runtime& runtime);
// The questions whether to go on with the next recording or another series.
Point end_of_recording(Store& store, Runtime& runtime);

}  // namespace mapari
