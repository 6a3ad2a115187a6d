#include "beats/beat_choice.hpp"

#include <limits>
#include <memory>

#include "beats/averaging.hpp"
#include "beats/correlation.hpp"
#include "beats/detection.hpp"
#include "beats/selection.hpp"

namespace mapari {
namespace {

// The candidate at an aligned position: 51 samples of the template's channel,
// the position at sample 26, as averaging lays out each shift.
void take_candidate(const Recording& recording, std::int32_t position, Beat& scratch) {
    for (int i = 1; i <= template_length; ++i)
        scratch.candidate(i) =
            recording.samples(scratch.template_channel, position - template_half_width - 1 + i);
}

// The position the beat finder records last: the pass that missed its
// threshold, which is not a beat (0 for an empty list).
std::int32_t position_found_last(const Display& display) {
    std::int32_t last = 0;
    for (int j = 1; j <= beat_slots && display.beat_list(j) != 0; ++j) last = display.beat_list(j);
    return last;
}

bool takes_part(std::int32_t position, std::int32_t not_a_beat) {
    return is_selectable(position) && position != not_a_beat;
}

// The mean correlation with the template in `scratch` of every other beat
// that takes part, each at its best shift.
double mean_match(const Settings& any_match, const Recording& recording, const Display& display,
                  Beat& scratch, std::int32_t template_position, std::int32_t not_a_beat) {
    double sum = 0.0;
    int compared = 0;
    const int found = count_sorted_beats(display);
    for (int s = 1; s <= found; ++s) {
        const std::int32_t position = display.sorted_beats(s);
        if (!takes_part(position, not_a_beat) || position == template_position) continue;
        const std::int32_t aligned = align_beat(any_match, recording, scratch, position);
        take_candidate(recording, aligned, scratch);
        sum += sequence_correlation(scratch.template_samples.data(), scratch.candidate.data(),
                                    template_length);
        ++compared;
    }
    return compared == 0 ? 0.0 : sum / compared;
}

}  // namespace

std::int32_t choose_template_beat(const Settings& settings, const Recording& recording,
                                  const Display& display, double& mean_correlation) {
    // Every beat gets its best shift, whatever correlation that shift reaches.
    Settings any_match = settings;
    any_match.recognition_coefficient = std::numeric_limits<float>::lowest();
    auto scratch = std::make_unique<Beat>();

    const std::int32_t not_a_beat = position_found_last(display);
    std::int32_t chosen = 0;
    mean_correlation = 0.0;
    const int found = count_sorted_beats(display);
    for (int s = 1; s <= found; ++s) {
        const std::int32_t position = display.sorted_beats(s);
        if (!takes_part(position, not_a_beat)) continue;
        scratch->selected_position = position;
        take_template(settings, recording, *scratch);
        const double mean =
            mean_match(any_match, recording, display, *scratch, position, not_a_beat);
        // The list runs from the latest beat to the earliest: on a tie the earlier beat wins.
        if (chosen == 0 || mean >= mean_correlation) {
            chosen = position;
            mean_correlation = mean;
        }
    }
    return chosen;
}

}  // namespace mapari
