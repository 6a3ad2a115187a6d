#include "beats/detection.hpp"

#include <cmath>

namespace mapari {
namespace {

constexpr int potmax_first_sample = 100;
constexpr int potmax_last_sample = 1000;

// The earliest sample of the smallest slope in samples first..last.
int steepest_fall(const Display& display, int last_candidate, float& minimum) {
    int position = 0;
    minimum = no_minimum_yet;
    for (int i = first_candidate_sample; i <= last_candidate; ++i) {
        if (display.slope(i) < minimum) {
            minimum = display.slope(i);
            position = i;
        }
    }
    return position;
}

void blank_around(Display& display, int position) {
    for (int i = position - blank_before_samples; i <= position + blank_after_samples; ++i)
        if (i >= 1 && i <= samples_per_reading) display.slope(i) = 0.0f;
}

}  // namespace

void form_traces(const Settings& settings, const Recording& recording, Display& display) {
    for (int i = 1; i <= samples_per_reading; ++i) {
        display.time_axis_ms(i) = static_cast<float>(i);
        for (int k = 1; k <= display_lead_count; ++k)
            display.traces(i, k) = recording.samples(settings.lead_channel(k), i);
        display.magnitude(i) = display.traces(i, 1) * display.traces(i, 1) +
                               display.traces(i, 2) * display.traces(i, 2) +
                               display.traces(i, 3) * display.traces(i, 3);
        display.slope(i) = 0.0f;
    }
}

void form_slope(Display& display) {
    const auto& m = display.magnitude;
    for (int i = 3; i <= samples_per_reading - 3; ++i)
        display.slope(i) = 2.0f * m(i + 1) + m(i + 2) - 2.0f * m(i - 1) - m(i - 2);
}

void find_beats(Display& display, int last_candidate) {
    display.smallest_slope = no_minimum_yet;
    for (int i = 2; i <= samples_per_reading - 2; ++i)
        if (display.slope(i) < display.smallest_slope) display.smallest_slope = display.slope(i);

    display.beat_list.fill(0);
    float current_minimum = display.smallest_slope;
    for (int j = 1; j < beat_slots; ++j) {
        if (!(beat_threshold_fraction * display.smallest_slope > current_minimum)) break;
        int position = steepest_fall(display, last_candidate, current_minimum);
        // A pass that finds no slope below 9999 has no position to record.
        if (position == 0) break;
        display.beat_list(j) = static_cast<std::int16_t>(position);
        blank_around(display, position);
    }
}

void detect_beats(const Settings& settings, const Recording& recording, Display& display,
                  int last_candidate) {
    form_traces(settings, recording, display);
    form_slope(display);
    find_beats(display, last_candidate);
}

void sort_beats(Display& display) {
    display.work_list = display.beat_list;
    for (int s = 1; s <= beat_slots; ++s) {
        std::int16_t best = 0;
        int place = 1;
        for (int j = 1; j <= beat_slots; ++j) {
            if (display.work_list(j) >= best) {
                best = display.work_list(j);
                place = j;
            }
        }
        display.sorted_beats(s) = best;
        display.work_list(place) = 0;
        // Once no position is left, every further pass only writes zeros: the
        // rest of the list is cleared at once.
        if (best == 0) {
            for (int rest = s + 1; rest <= beat_slots; ++rest) display.sorted_beats(rest) = 0;
            return;
        }
    }
}

int count_sorted_beats(const Display& display) {
    int count = 0;
    while (count < beat_slots && display.sorted_beats(count + 1) != 0) ++count;
    return count;
}

float find_potmax(const Display& display) {
    float potmax = -9999.0f;
    for (int i = potmax_first_sample; i <= potmax_last_sample; ++i)
        potmax = std::fmax(potmax, std::fabs(display.traces(i, 1)));
    return potmax;
}

}  // namespace mapari
