// Signal averaging: the beats of the recording, found again with the beat
// finding of the display (searching up to sample 3900), are each aligned to
// the template by the shift of -10 to +10 samples that maximises the
// correlation over 51 samples (ties to the smallest shift), and accepted when
// that correlation reaches the recognition coefficient. The accepted beats of
// all 64 leads are summed row by row over 1024 rows (the beat at row 201) and
// divided by their number.
//
// The whole search runs in 8 passes (labelled with the seconds 0, 4, ..., 28)
// over the same channel store, so each pass accepts the same beats: the
// count is 8 times the beats of one pass and the mean is unchanged.
// Check: averaging identical beats gives the beat back exactly.
#pragma once

#include "dialogue/point.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr int averaging_passes = 8;
inline constexpr int seconds_per_pass = 4;
inline constexpr int largest_shift_samples = 10;
inline constexpr int first_averaged_ms = 201;  // row 1 of a beat at 201 is sample 1
inline constexpr int last_averaged_ms = 3000;

// Aligns the beat at position p to the template; returns the aligned
// position, or 0 when the best correlation misses the coefficient.
std::int32_t align_beat(Store& store, std::int32_t p);
// One pass: beats found, sorted, aligned, and the accepted ones summed.
void run_averaging_pass(Store& store, Runtime& runtime, int pass_second);

// The view menu's "b": returns the correction menu, or the display point when
// no beat has been selected yet to serve as the template.
Point average_beats(Store& store, Runtime& runtime);

}  // namespace mapari
