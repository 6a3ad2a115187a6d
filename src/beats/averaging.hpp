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
// count is 8 times the beats of one pass and the mean is unchanged. What a
// pass finds depends on the recording, the settings and the template alone,
// none of which a pass changes, so the beats are found and aligned once; their
// sums, whole numbers a float holds exactly, are the sums of one pass times 8.
// Check: averaging identical beats gives the beat back exactly.
#pragma once

#include <cstdint>

#include "store/store.hpp"

namespace mapari {

inline constexpr int averaging_passes = 8;
inline constexpr int seconds_per_pass = 4;
inline constexpr int largest_shift_samples = 10;
inline constexpr int first_averaged_ms = 201;  // row 1 of a beat at 201 is sample 1
inline constexpr int last_averaged_ms = 3000;

struct BeatAlignment {
    int shift = 0;             // samples, -10 to 10
    float correlation = 0.0f;  // with the template at that shift; 0 when none is above 0
};
// The shift of the beat at position p that correlates best with the
// template; the smallest shift on ties.
BeatAlignment best_alignment(const Recording& recording, Beat& beat, std::int32_t p);
// Whether a beat aligned so reaches the recognition coefficient.
bool recognised(const Settings& settings, const BeatAlignment& alignment);
// Aligns the beat at position p to the template; returns the aligned
// position, or 0 when the best correlation misses the coefficient.
std::int32_t align_beat(const Settings& settings, const Recording& recording, Beat& beat,
                        std::int32_t p);

// The working beat emptied for a new average.
void start_averaging(Beat& beat);
// The beats of a pass found, sorted and aligned: display.sorted_beats holds
// each one's aligned position, 0 for a beat refused, and beat.accepted_beats
// each beat to be summed (aligned from 201 to 3000), in the list's order.
void find_aligned_beats(const Settings& settings, const Recording& recording, Display& display,
                        Beat& beat);
// The sums of all passes in the working beat emptied by start_averaging: the
// accepted beats added once for each pass.
void sum_averaging_passes(const Recording& recording, Beat& beat);
// The sums divided by the number of beats summed (nothing when none was).
void finish_averaging(Beat& beat);

}  // namespace mapari
