#include "beats/averaging.hpp"

#include "beats/correlation.hpp"
#include "beats/detection.hpp"
#include "beats/selection.hpp"
#include "formats/map_recording.hpp"

namespace mapari {
namespace {

// A block of rows at a time, each lead's rows of the block together: a row's
// leads lie side by side in the recording, a lead's rows one after another in
// the beat.
void add_beat(const Recording& recording, Beat& beat, std::int32_t q) {
    constexpr int rows_a_block = 16;
    static_assert(averaged_rows % rows_a_block == 0);
    ++beat.averaging_count;
    for (int block = 1; block <= averaged_rows; block += rows_a_block)
        for (int l = 1; l <= lead_count; ++l)
            for (int i = block; i < block + rows_a_block; ++i)
                beat.averaged(i, l) +=
                    recording.samples(channel_of_lead(l), q - first_averaged_ms + i);
}

// A pass finds at most beat_slots beats, so the list never fills; were it
// full, a further beat would be left out of the list and of the sums alike.
void record_accepted(Beat& beat, const AcceptedBeat& accepted) {
    if (beat.accepted_count == accepted_beat_capacity) return;
    beat.accepted_beats(++beat.accepted_count) = accepted;
}

// Every partial sum of the passes is a whole number of raw units below 2^24,
// which a float holds exactly, so every addition is exact and one pass's sum
// times the passes is the very float that adding the beats pass after pass
// gives. Beats found lie more than 100 samples apart (each blanks 100 samples
// before it and 200 after), so with shifts of at most 10 samples at most 29
// positions of a pass, the last one that is not a beat included, fall on
// samples 201 to 3000.
constexpr long most_positions_a_pass = 30;
constexpr long largest_sample_magnitude = 32768;
static_assert(most_positions_a_pass * averaging_passes * largest_sample_magnitude < (1L << 24));

}  // namespace

BeatAlignment best_alignment(const Recording& recording, Beat& beat, std::int32_t p) {
    // With a coefficient of 0 or below, a beat no shift lifts above 0 is taken as it lies.
    BeatAlignment best;
    for (int s = -largest_shift_samples; s <= largest_shift_samples; ++s) {
        for (int i = 1; i <= template_length; ++i)
            beat.candidate(i) =
                recording.samples(beat.template_channel, p + s - template_half_width - 1 + i);
        float r = sequence_correlation(beat.template_samples.data(), beat.candidate.data(),
                                       template_length);
        if (r > best.correlation) best = {s, r};
    }
    return best;
}

bool recognised(const Settings& settings, const BeatAlignment& alignment) {
    return alignment.correlation >= settings.recognition_coefficient;
}

std::int32_t align_beat(const Settings& settings, const Recording& recording, Beat& beat,
                        std::int32_t p) {
    const BeatAlignment best = best_alignment(recording, beat, p);
    if (recognised(settings, best)) return p + best.shift;
    return 0;
}

void start_averaging(Beat& beat) {
    beat.averaged.fill(0.0f);
    beat.averaging_count = 0;
    beat.accepted_count = 0;
}

void find_aligned_beats(const Settings& settings, const Recording& recording, Display& display,
                        Beat& beat) {
    detect_beats(settings, recording, display, averaging_last_candidate);
    sort_beats(display);
    const int found = count_sorted_beats(display);
    for (int s = 1; s <= found; ++s) {
        const std::int32_t position = display.sorted_beats(s);
        const BeatAlignment best = best_alignment(recording, beat, position);
        const bool accepted = recognised(settings, best);
        const std::int32_t aligned = accepted ? position + best.shift : 0;
        display.sorted_beats(s) = static_cast<std::int16_t>(aligned);
        // A beat at 200 would need sample 0 for its first row; it is left out.
        if (accepted && aligned >= first_averaged_ms && aligned <= last_averaged_ms)
            record_accepted(beat, {position, best.shift, best.correlation});
    }
}

void sum_averaging_passes(const Recording& recording, Beat& beat) {
    for (int k = 1; k <= beat.accepted_count; ++k) {
        const AcceptedBeat& accepted = beat.accepted_beats(k);
        add_beat(recording, beat, accepted.position_ms + accepted.shift_samples);
    }
    beat.averaging_count *= averaging_passes;
    for (float& sum : beat.averaged.values) sum *= static_cast<float>(averaging_passes);
}

void finish_averaging(Beat& beat) {
    if (beat.averaging_count == 0) return;
    const float count = static_cast<float>(beat.averaging_count);
    for (float& value : beat.averaged.values) value /= count;
}

}  // namespace mapari
