// Trace display: the three display leads as traces, beats found from the
// slope of the three-lead magnitude, the peak amplitude `potmax` that sets the
// vertical scale, and the drawing of the recording with a marker per beat.
//
// Beat finding: the magnitude m = t1² + t2² + t3² is differentiated with the
// five-point slope 2·m(i+1) + m(i+2) − 2·m(i−1) − m(i−2). The most negative
// slope in samples 100 to the last candidate sample is a beat; its
// neighbourhood (100 samples before, 200 after) is blanked and the search
// repeats while the previous minimum stays below 0.6 × the smallest slope.
// The pass whose minimum first misses that threshold still records its
// position, so the list ends with one position that is not a beat.
// All arithmetic is in 32-bit reals, in sample order, earliest sample winning
// ties. Check a result by planting beats in a synthetic recording (tools/).
#pragma once

#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr int display_last_candidate = samples_per_reading - 200;    // 3800
inline constexpr int averaging_last_candidate = samples_per_reading - 100;  // 3900
inline constexpr int first_candidate_sample = 100;
inline constexpr int blank_before_samples = 100;
inline constexpr int blank_after_samples = 200;
inline constexpr float beat_threshold_fraction = 0.6f;
inline constexpr float no_minimum_yet = 9999.0f;

// Time axis, traces, magnitude; the slope set to 0.
void form_traces(Store& store);
// The five-point slope of the magnitude over samples 3 to 3997.
void form_slope(Store& store);
// Smallest slope, then the beat list, searching samples 100 to last_candidate.
void find_beats(Store& store, int last_candidate);
// All of the above, in order.
void detect_beats(Store& store, int last_candidate);
// Sorted beat list, largest position first, empty slots last.
void sort_beats(Store& store);

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
