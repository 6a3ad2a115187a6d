// Fiducial point marking, the correction menu's "s": the operator clicks the
// stimulus artifact, the Q onset, the J point and the T end on the drawn
// working beat (beats/marks.hpp turns a click into a row).
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

// Clicks the four marks, then asks whether to clean the screen.
void mark_fiducial_points(Store& store, Runtime& runtime);

}  // namespace mapari
