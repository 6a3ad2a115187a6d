// Beat detection: the three display leads as traces, beats found from the
// slope of the three-lead magnitude, and the peak amplitude `potmax` that sets
// the vertical scale of the drawing.
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

namespace mapari {

inline constexpr int display_last_candidate = samples_per_reading - 200;    // 3800
inline constexpr int averaging_last_candidate = samples_per_reading - 100;  // 3900
inline constexpr int first_candidate_sample = 100;
inline constexpr int blank_before_samples = 100;
inline constexpr int blank_after_samples = 200;
inline constexpr float beat_threshold_fraction = 0.6f;
inline constexpr float no_minimum_yet = 9999.0f;

// Time axis, traces of the display leads, magnitude; the slope set to 0.
void form_traces(const Settings& settings, const Recording& recording, Display& display);
// The five-point slope of the magnitude over samples 3 to 3997.
void form_slope(Display& display);
// Smallest slope, then the beat list, searching samples 100 to last_candidate.
void find_beats(Display& display, int last_candidate);
// All of the above, in order.
void detect_beats(const Settings& settings, const Recording& recording, Display& display,
                  int last_candidate);
// Sorted beat list, largest position first, empty slots last.
void sort_beats(Display& display);
// The number of beats in the sorted list.
int count_sorted_beats(const Display& display);
// The largest |trace 1| over samples 100 to 1000, in raw units.
float find_potmax(const Display& display);

}  // namespace mapari
