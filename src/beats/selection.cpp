#include "beats/selection.hpp"

#include <algorithm>
#include <cstdlib>

#include "beats/drawing_steps.hpp"
#include "formats/map_recording.hpp"

namespace mapari {
namespace {

constexpr std::int32_t no_beat_closer_than = 4000;

}  // namespace

std::int32_t click_sample(float x_fraction, const Display& display) {
    return steps_from_left_edge(x_fraction, display.left_edge, display.horizontal_scale_per_sample);
}

float first_position_of_sample(std::int32_t sample, const Display& display) {
    return first_position_of_step(sample, display.left_edge, display.horizontal_scale_per_sample);
}

std::int32_t nearest_beat(const Display& display, std::int32_t sample, std::int32_t previous) {
    std::int32_t best_distance = no_beat_closer_than;
    std::int32_t nearest = previous;
    for (int s = 1; s <= beat_slots; ++s) {
        std::int32_t distance = std::abs(display.sorted_beats(s) - sample);
        if (distance < best_distance) {
            best_distance = distance;
            nearest = display.sorted_beats(s);
        }
    }
    return nearest;
}

std::int32_t first_sample_selecting(const Display& display, std::int32_t position) {
    std::int32_t first = position - no_beat_closer_than + 1;
    // The list runs from the latest beat down, so the first entry below the
    // position is its nearest neighbour on the left; half way to it, the
    // later beat wins the tie.
    for (int s = 1; s <= beat_slots; ++s) {
        const std::int32_t before = display.sorted_beats(s);
        if (before < position) return std::max(first, (position + before + 1) / 2);
    }
    return first;
}

void take_selected_beat(const Settings& settings, const Recording& recording, Beat& beat) {
    const std::int32_t q = beat.selected_position;
    const std::int32_t window_start = q - window_rows_before_beat;
    const auto& samples = recording.samples;
    // A lead at a time: the beat's columns are filled in the order they lie in memory.
    for (int j = 1; j <= display_lead_count; ++j)
        for (int i = 1; i <= beat_window_rows; ++i)
            beat.selected_traces(i, j) = samples(settings.lead_channel(j), window_start + i);
    // The map leads a block of rows at a time, each lead's rows of the block
    // together: a row's leads lie side by side in the recording, 144 bytes from
    // the next row's.
    constexpr int rows_a_block = 8;
    static_assert(beat_window_rows % rows_a_block == 0);
    for (int block = 1; block <= beat_window_rows; block += rows_a_block)
        for (int l = 1; l <= lead_count; ++l)
            for (int i = block; i < block + rows_a_block; ++i)
                beat.averaged(i, l) = samples(channel_of_lead(l), window_start + i - 1);
    take_template(settings, recording, beat);
}

void take_template(const Settings& settings, const Recording& recording, Beat& beat) {
    beat.template_channel = settings.lead_channel(1);
    for (int i = 1; i <= template_length; ++i)
        beat.template_samples(i) = recording.samples(
            beat.template_channel, beat.selected_position - template_half_width - 1 + i);
}

}  // namespace mapari
