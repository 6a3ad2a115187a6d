#include "beats/lead_quality.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "beats/middle_size.hpp"
#include "beats/selection.hpp"
#include "formats/map_recording.hpp"

namespace mapari {
namespace {

constexpr float flat_swing = 1.0f;   // raw units: less is no signal at all
constexpr float weak_share = 0.1f;   // of the median swing of the leads that move
constexpr float noisy_share = 0.1f;  // median sample-to-sample step over the beat's swing
// An averaged beat's noise this many times the median lead's is a fault of
// its own, once it is above a share of its swing.
constexpr float noisier_than_the_leads = 4.0f;
constexpr float noisier_share = 0.02f;
// Raw units: the least noise a recording of whole numbers can be told to have.
constexpr float least_noise = 1.0f;
constexpr float second_difference_per_rms = 1.652f;
// The levels before and after a jump are the medians of this many samples.
constexpr int step_level_samples = 10;
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

// Leads whose channels lie side by side in 16 bytes of a frame.
constexpr int leads_a_block = 8;
static_assert(lead_count % leads_a_block == 0);

// The steps from sample to sample of a block of leads' recording stretches,
// with what their medians and the search for a jump need of them, taken in
// one pass over the frames: a frame's eight steps lie side by side, as the
// eight samples they come from do, so the pass takes them all at once.
constexpr int steps = samples_per_reading - 1;
struct BlockSteps {
    // Element [t - 2][j]: lead first + j from sample t - 1 to sample t.
    std::array<std::array<std::uint16_t, leads_a_block>, steps> size;
    std::array<std::uint32_t, leads_a_block> sum;  // 3999 steps of at most 65535 each
    std::array<std::uint16_t, leads_a_block> largest;
};

// One lead's steps within its block.
struct LeadSteps {
    const BlockSteps& block;
    std::size_t j;
    std::uint16_t size(std::size_t k) const { return block.size[k][j]; }  // k = t - 2
    std::uint32_t sum() const { return block.sum[j]; }
    std::uint16_t largest() const { return block.largest[j]; }
};

// The frames' samples, the sums and the largest steps are held in arrays of
// their own: for all the compiler knows the block's 16-bit steps could share
// memory with the recording's 16-bit samples, which kept it to a lead at a time.
void take_block_steps(const Recording& recording, int first, BlockSteps& block) {
    std::array<std::uint32_t, leads_a_block> sum{};
    std::array<std::uint16_t, leads_a_block> largest{};
    std::array<std::int16_t, leads_a_block> before{}, after{};
    std::copy_n(&recording.samples(channel_of_lead(first), 1), leads_a_block, after.begin());
    for (std::size_t k = 0; k < steps; ++k) {
        before = after;
        std::copy_n(&recording.samples(channel_of_lead(first), static_cast<int>(k) + 2),
                    leads_a_block, after.begin());
        std::array<std::uint16_t, leads_a_block> sizes{};
        for (std::size_t j = 0; j < leads_a_block; ++j) {
            sizes[j] = static_cast<std::uint16_t>(std::abs(after[j] - before[j]));
            sum[j] += sizes[j];
            largest[j] = std::max(largest[j], sizes[j]);
        }
        block.size[k] = sizes;
    }
    block.sum = sum;
    block.largest = largest;
}

// The median of a lead's steps: of its n steps, the one std::nth_element
// would put at n / 2. The steps are whole numbers from 0 to 65535, many of
// them equal, on which a partitioning selection mispredicts nearly every
// comparison; the median is counted out instead, its high byte first, then
// its low byte among the steps of that high byte. Nearly every lead's median
// is below 256, so the steps below 256 are counted first, by their low byte;
// only a lead whose steps are larger has them counted by their high byte.
float median_step(const LeadSteps& step) {
    int below = steps / 2;  // steps before the median in their order
    std::size_t high = 0, low = 0;
    std::array<int, 256> with_low{};
    for (std::size_t k = 0; k < steps; ++k)
        with_low[step.size(k) & 0xFFu] += step.size(k) >> 8 == 0;
    int under_256 = 0;
    for (int count : with_low) under_256 += count;
    if (below >= under_256) {
        std::array<int, 256> with_high{};
        for (std::size_t k = 0; k < steps; ++k) ++with_high[step.size(k) >> 8];
        for (; below >= with_high[high]; ++high) below -= with_high[high];
        with_low.fill(0);
        for (std::size_t k = 0; k < steps; ++k)
            if (step.size(k) >> 8 == high) ++with_low[step.size(k) & 0xFFu];
    }
    for (; below >= with_low[low]; ++low) below -= with_low[low];
    return static_cast<float>(high << 8 | low);
}

// Whether a lead's median step exceeds the threshold. Of n steps summing to
// S, n odd, the n - n / 2 from the median on would sum to more than S were
// the median 2S / n or more, so the median is at most (2S - 1) / n: when that
// settles it, the steps need not be counted out.
static_assert(steps % 2 == 1);
bool median_step_above(const LeadSteps& step, float threshold) {
    const std::uint32_t bound = step.sum() == 0 ? 0 : (2 * step.sum() - 1) / steps;
    return static_cast<float>(bound) > threshold && median_step(step) > threshold;
}

// Each lead's lowest and highest sample over the stretch, index lead - 1.
struct StretchRange {
    std::array<int, lead_count> lowest{}, highest{};
};

// Read frame after frame: the store holds a frame's channels side by side, the
// map leads one after another, so every lead of a frame is compared at once
// in 16-bit lanes.
StretchRange stretch_range(const Recording& recording) {
    std::array<std::int16_t, lead_count> lowest{}, highest{};
    lowest.fill(highest_sample);
    highest.fill(lowest_sample);
    for (int t = 1; t <= samples_per_reading; ++t) {
        const std::int16_t* leads = &recording.samples(channel_of_lead(1), t);
        for (std::size_t at = 0; at < lead_count; ++at) {
            lowest[at] = leads[at] < lowest[at] ? leads[at] : lowest[at];
            highest[at] = leads[at] > highest[at] ? leads[at] : highest[at];
        }
    }
    StretchRange range;
    std::copy(lowest.begin(), lowest.end(), range.lowest.begin());
    std::copy(highest.begin(), highest.end(), range.highest.begin());
    return range;
}

// The peak-to-peak swing of every lead's recording over the stretch, in raw units.
std::array<int, lead_count> stretch_swings(const StretchRange& range) {
    std::array<int, lead_count> swings{};
    for (std::size_t at = 0; at < lead_count; ++at)
        swings[at] = range.highest[at] - range.lowest[at];
    return swings;
}

// The median of lead l's samples first to first + step_level_samples - 1.
float level_from(const Recording& recording, int lead, int first) {
    const int channel = channel_of_lead(lead);
    std::array<float, step_level_samples> levels{};
    for (int k = 0; k < step_level_samples; ++k)
        levels[static_cast<std::size_t>(k)] = recording.samples(channel, first + k);
    return median(levels.data(), step_level_samples);
}

// True when the stretch jumps by more than `swing` from one sample to the
// next and the median level of the samples from the jump on differs from that
// of the samples before it by more than `swing` as well.
// `step` holds the lead's steps (take_block_steps).
bool holds_a_step(const Recording& recording, int lead, const LeadSteps& step, float swing) {
    if (!(static_cast<float>(step.largest()) > swing)) return false;
    for (int t = step_level_samples + 1; t + step_level_samples - 1 <= samples_per_reading; ++t)
        if (static_cast<float>(step.size(static_cast<std::size_t>(t - 2))) > swing &&
            std::fabs(level_from(recording, lead, t) -
                      level_from(recording, lead, t - step_level_samples)) > swing)
            return true;
    return false;
}

// The RMS of white noise on the averaged beat's rows 1 to 1000, estimated
// from the median second difference, |x(k+1) - 2 x(k) + x(k-1)|: for noise of
// RMS s that is a normal spread of RMS s * sqrt(6), whose median size is
// 0.6745 * sqrt(6) s = 1.652 s; a beat's curves bend on a few rows only.
float beat_noise(const Beat& beat, int lead, std::array<float, samples_per_reading>& scratch) {
    for (int row = 2; row < beat_window_rows; ++row)
        scratch[static_cast<std::size_t>(row - 2)] =
            std::fabs(beat.averaged(row + 1, lead) - 2.0f * beat.averaged(row, lead) +
                      beat.averaged(row - 1, lead));
    return middle_size(scratch.data(), beat_window_rows - 2) / second_difference_per_rms;
}

// The median noise of the leads with a signal; 0 when none has one.
float median_noise(const LeadQualities& qualities, std::array<float, lead_count> noises) {
    int with_signal = 0;
    for (std::size_t at = 0; at < noises.size(); ++at)
        if (!qualities[at].no_signal) noises[static_cast<std::size_t>(with_signal++)] = noises[at];
    return with_signal == 0 ? 0.0f : median(noises.data(), with_signal);
}

}  // namespace

LeadQualities judge_leads(const Beat& beat, const Recording& recording,
                          std::array<float, samples_per_reading>& scratch) {
    LeadQualities qualities{};
    const StretchRange range = stretch_range(recording);
    std::array<float, lead_count> swings{};
    int moving = 0;
    for (int lead = 1; lead <= lead_count; ++lead) {
        const auto at = static_cast<std::size_t>(lead - 1);
        swings[at] = beat_swing(beat, lead);
        LeadQuality& quality = qualities[at];
        quality.no_signal = range.highest[at] == range.lowest[at];
        if (quality.no_signal) continue;
        quality.flat = swings[at] < flat_swing;
        quality.clipped = range.lowest[at] == lowest_sample || range.highest[at] == highest_sample;
        if (!quality.flat) scratch[static_cast<std::size_t>(moving++)] = swings[at];
    }
    const float typical_swing = moving == 0 ? 0.0f : median(scratch.data(), moving);
    std::array<float, lead_count> beat_noises{};
    for (int lead = 1; lead <= lead_count; ++lead)
        if (!qualities[static_cast<std::size_t>(lead - 1)].no_signal)
            beat_noises[static_cast<std::size_t>(lead - 1)] = beat_noise(beat, lead, scratch);
    const float typical_noise = std::max(least_noise, median_noise(qualities, beat_noises));
    auto block = std::make_unique<BlockSteps>();
    int block_taken = 0;  // the first lead of the block whose steps are taken
    for (int lead = 1; lead <= lead_count; ++lead) {
        LeadQuality& quality = qualities[static_cast<std::size_t>(lead - 1)];
        if (quality.no_signal || quality.flat) continue;
        const float swing = swings[static_cast<std::size_t>(lead - 1)];
        const float noise = beat_noises[static_cast<std::size_t>(lead - 1)];
        quality.weak = swing <= weak_share * typical_swing;
        const int first = (lead - 1) / leads_a_block * leads_a_block + 1;
        if (first != block_taken) take_block_steps(recording, block_taken = first, *block);
        const LeadSteps step{*block, static_cast<std::size_t>(lead - first)};
        quality.noisy =
            median_step_above(step, noisy_share * swing) ||
            (noise > noisier_than_the_leads * typical_noise && noise > noisier_share * swing);
        quality.steps = holds_a_step(recording, lead, step, swing);
    }
    return qualities;
}

bool carries_signal(const Recording& recording, int lead) {
    const int channel = channel_of_lead(lead);
    for (int t = 2; t <= samples_per_reading; ++t)
        if (recording.samples(channel, t) != recording.samples(channel, 1)) return true;
    return false;
}

namespace {

// The leads with a signal whose recording moves from sample to sample, on the
// median, by more than four times the median lead's (counted as 1 raw unit
// at least): noise of their own, such as a poor contact's, whose swing is
// the noise's and on which no beat is found.
std::array<bool, lead_count> noisy_recordings(const Recording& recording,
                                              const std::array<int, lead_count>& swings) {
    std::array<float, lead_count> medians{}, with_signal{};
    int count = 0;
    auto block = std::make_unique<BlockSteps>();
    for (int first = 1; first <= lead_count; first += leads_a_block) {
        take_block_steps(recording, first, *block);
        for (std::size_t j = 0; j < leads_a_block; ++j) {
            const std::size_t at = static_cast<std::size_t>(first - 1) + j;
            if (swings[at] == 0) continue;
            medians[at] = median_step({*block, j});
            with_signal[static_cast<std::size_t>(count++)] = medians[at];
        }
    }
    std::array<bool, lead_count> noisy{};
    if (count == 0) return noisy;
    const float typical = std::max(least_noise, median(with_signal.data(), count));
    for (std::size_t at = 0; at < lead_count; ++at)
        noisy[at] = swings[at] > 0 && medians[at] > noisier_than_the_leads * typical;
    return noisy;
}

}  // namespace

DisplayLeads display_leads_with_signal(const Recording& recording, const DisplayLeads& asked) {
    const std::array<int, lead_count> swings = stretch_swings(stretch_range(recording));
    const auto swing_of = [&swings](int lead) {
        return swings[static_cast<std::size_t>(lead - 1)];
    };
    if (std::none_of(asked.begin(), asked.end(), [&](int lead) { return swing_of(lead) == 0; }))
        return asked;
    std::array<int, lead_count> by_swing{};
    std::size_t with_signal = 0;
    for (int lead = 1; lead <= lead_count; ++lead)
        if (swing_of(lead) > 0) by_swing[with_signal++] = lead;
    if (with_signal == 0) return asked;
    const std::array<bool, lead_count> noisy = noisy_recordings(recording, swings);
    const auto noisy_lead = [&noisy](int lead) {
        return noisy[static_cast<std::size_t>(lead - 1)];
    };
    std::stable_sort(by_swing.begin(), by_swing.begin() + static_cast<std::ptrdiff_t>(with_signal),
                     [&](int a, int b) {
                         if (noisy_lead(a) != noisy_lead(b)) return noisy_lead(b);
                         return swing_of(a) > swing_of(b);
                     });
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
