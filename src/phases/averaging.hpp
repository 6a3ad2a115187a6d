// Signal averaging, the view menu's "b": the matching beats of the recording
// are averaged into the working beat (beats/averaging.hpp), with a progress
// line per pass and the count, and the averaged beat is drawn.
#pragma once

#include "phases/point.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

// Returns the correction menu, or the display point when no beat has been
// selected yet to serve as the template.
Point average_beats(Store& store, Runtime& runtime);

}  // namespace mapari
