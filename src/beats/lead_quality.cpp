#include "beats/lead_quality.hpp"

#include <algorithm>
#include <cmath>

#include "beats/selection.hpp"
#include "formats/map_recording.hpp"

namespace mapari {
namespace {

constexpr float flat_swing = 1.0f;   // raw units: less is no signal at all
constexpr float weak_share = 0.1f;   // of the median swing of the leads that move
constexpr float noisy_share = 0.1f;  // median sample-to-sample step over the beat's swing
constexpr std::int16_t lowest_sample = -32768;
constexpr std::int16_t highest_sample = 32767;

float beat_swing(const Beat& beat, int lead) {
    float lowest = beat.averaged(1, lead), highest = lowest;
    for (int row = 2; row <= beat_window_rows; ++row) {
        lowest = std::min(lowest, beat.averaged(row, lead));
        highest = std::max(highest, beat.averaged(row, lead));
    }
    return highest - lowest;
}

float median(float* values, int count) {
    std::nth_element(values, values + count / 2, values + count);
    return values[count / 2];
}

// The median step from sample to sample of the lead's recording stretch.
float median_step(const Recording& recording, int lead,
                  std::array<float, samples_per_reading>& scratch) {
    const int channel = channel_of_lead(lead);
    for (int t = 2; t <= samples_per_reading; ++t)
        scratch[static_cast<std::size_t>(t - 2)] = static_cast<float>(
            std::abs(recording.samples(channel, t) - recording.samples(channel, t - 1)));
    return median(scratch.data(), samples_per_reading - 1);
}

// The peak-to-peak swing of lead l's recording over the stretch, in raw units.
int stretch_swing(const Recording& recording, int lead) {
    const int channel = channel_of_lead(lead);
    int lowest = recording.samples(channel, 1), highest = lowest;
    for (int t = 2; t <= samples_per_reading; ++t) {
        lowest = std::min<int>(lowest, recording.samples(channel, t));
        highest = std::max<int>(highest, recording.samples(channel, t));
    }
    return highest - lowest;
}

bool reaches_the_ends(const Recording& recording, int lead) {
    const int channel = channel_of_lead(lead);
    for (int t = 1; t <= samples_per_reading; ++t) {
        const std::int16_t value = recording.samples(channel, t);
        if (value == lowest_sample || value == highest_sample) return true;
    }
    return false;
}

}  // namespace

LeadQualities judge_leads(const Beat& beat, const Recording& recording,
                          std::array<float, samples_per_reading>& scratch) {
    LeadQualities qualities{};
    std::array<float, lead_count> swings{};
    int moving = 0;
    for (int lead = 1; lead <= lead_count; ++lead) {
        swings[static_cast<std::size_t>(lead - 1)] = beat_swing(beat, lead);
        LeadQuality& quality = qualities[static_cast<std::size_t>(lead - 1)];
        quality.no_signal = !carries_signal(recording, lead);
        if (quality.no_signal) continue;
        quality.flat = swings[static_cast<std::size_t>(lead - 1)] < flat_swing;
        quality.clipped = reaches_the_ends(recording, lead);
        if (!quality.flat)
            scratch[static_cast<std::size_t>(moving++)] =
                swings[static_cast<std::size_t>(lead - 1)];
    }
    const float typical_swing = moving == 0 ? 0.0f : median(scratch.data(), moving);
    for (int lead = 1; lead <= lead_count; ++lead) {
        LeadQuality& quality = qualities[static_cast<std::size_t>(lead - 1)];
        if (quality.no_signal || quality.flat) continue;
        const float swing = swings[static_cast<std::size_t>(lead - 1)];
        quality.weak = swing <= weak_share * typical_swing;
        quality.noisy = median_step(recording, lead, scratch) > noisy_share * swing;
    }
    return qualities;
}

bool carries_signal(const Recording& recording, int lead) {
    return stretch_swing(recording, lead) > 0;
}

DisplayLeads display_leads_with_signal(const Recording& recording, const DisplayLeads& asked) {
    std::array<int, lead_count> swings{}, by_swing{};
    std::size_t with_signal = 0;
    for (int lead = 1; lead <= lead_count; ++lead) {
        swings[static_cast<std::size_t>(lead - 1)] = stretch_swing(recording, lead);
        if (swings[static_cast<std::size_t>(lead - 1)] > 0) by_swing[with_signal++] = lead;
    }
    if (with_signal == 0) return asked;
    const auto swing_of = [&swings](int lead) {
        return swings[static_cast<std::size_t>(lead - 1)];
    };
    std::stable_sort(by_swing.begin(), by_swing.begin() + static_cast<std::ptrdiff_t>(with_signal),
                     [&](int a, int b) { return swing_of(a) > swing_of(b); });
    DisplayLeads chosen = asked;
    std::size_t next = 0, again = 0;
    for (int& lead : chosen) {
        if (swing_of(lead) > 0) continue;
        while (next < with_signal &&
               std::find(chosen.begin(), chosen.end(), by_swing[next]) != chosen.end())
            ++next;
        lead = next < with_signal ? by_swing[next++] : by_swing[again++ % with_signal];
    }
    return chosen;
}

}  // namespace mapari
