// Waveform selection: the operator clicks near a beat of the recording; the
// click is marked, confirmed and snapped to the nearest beat found. A beat
// from 201 to 3000 ms becomes the working beat (rows 1 to 1000 of the
// averaged beat, the beat at row 201) and the template that averaging aligns
// beats to (51 samples of the first display lead, the beat at sample 26).
#pragma once

#include "dialogue/point.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr int first_selectable_ms = 201;
inline constexpr int last_selectable_ms = 3000;
inline constexpr int template_length = 51;
inline constexpr int template_half_width = 25;

// The sample under a clicked horizontal position of the recording drawing.
std::int32_t click_sample(float x_fraction, const Display& display);
// The entry of the sorted beat list nearest to the sample; ties go to the
// entry met first (the later beat). Keeps `previous` when no entry lies
// closer than 4000 samples.
std::int32_t nearest_beat(const Display& display, std::int32_t sample, std::int32_t previous);

// The view menu's "s": returns the correction menu after a selection, or the
// display point when the click is refused or out of range.
Point select_waveform(Store& store, Runtime& runtime);
// Makes the beat at the selected position the working beat and the template.
void take_selected_beat(Store& store, Runtime& runtime);

}  // namespace mapari
