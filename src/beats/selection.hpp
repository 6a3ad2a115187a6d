// The selection rule: a click on the recording drawing is snapped to the
// nearest beat found. A beat from 201 to 3000 ms becomes the working beat
// (rows 1 to 1000 of the averaged beat, the beat at row 201) and the template
// that averaging aligns beats to (51 samples of the first display lead, the
// beat at sample 26).
#pragma once

#include <cstdint>

#include "store/store.hpp"

namespace mapari {

inline constexpr int first_selectable_ms = 201;
inline constexpr int last_selectable_ms = 3000;
inline constexpr int template_length = 51;
inline constexpr int template_half_width = 25;
inline constexpr int beat_window_rows = 1000;        // rows of the working beat taken and drawn
inline constexpr int window_rows_before_beat = 200;  // the window starts 200 samples before it

// The sample under a clicked horizontal position of the recording drawing.
std::int32_t click_sample(float x_fraction, const Display& display);
// Its inverse: the leftmost position whose sample is `sample` or a later one.
float first_position_of_sample(std::int32_t sample, const Display& display);
// The entry of the sorted beat list nearest to the sample; ties go to the
// entry met first (the later beat). Keeps `previous` when no entry lies
// closer than 4000 samples.
std::int32_t nearest_beat(const Display& display, std::int32_t sample, std::int32_t previous);
// The first sample whose nearest entry is `position`, when it is an entry of
// the sorted list (nearest_beat tells whether that sample selects it).
std::int32_t first_sample_selecting(const Display& display, std::int32_t position);
// Whether a beat at this sample can be selected.
constexpr bool is_selectable(std::int32_t position) {
    return position >= first_selectable_ms && position <= last_selectable_ms;
}

// Makes the beat at beat.selected_position the working beat: the display
// leads' rows to draw, rows 1 to 1000 of every lead, and the template.
void take_selected_beat(const Settings& settings, const Recording& recording, Beat& beat);
// The template alone of the beat at beat.selected_position: 51 samples of the
// first display lead's channel, the beat at sample 26.
void take_template(const Settings& settings, const Recording& recording, Beat& beat);

}  // namespace mapari
