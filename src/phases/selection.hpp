// Waveform selection, the view menu's "s": the operator clicks near a beat of
// the recording; the click is marked, confirmed and snapped to the nearest
// beat found, which becomes the working beat and the template.
#pragma once

#include "phases/point.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

// Returns the correction menu after a selection, or the display point when
// the click is refused or out of range.
Point select_waveform(Store& store, Runtime& runtime);
// Makes the beat at the selected position the working beat and the template,
// and draws it.
void take_and_draw_beat(Store& store, Runtime& runtime);

}  // namespace mapari
