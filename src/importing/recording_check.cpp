#include "importing/recording_check.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/map_recording.hpp"
#include "importing/lead_map.hpp"

namespace mapari::importing {
namespace {

// The stretch the signal tests look at: enough beats, little time.
constexpr long long frames_examined = 20000;
// A map lead at 1000 Hz moves little from one sample to the next compared with
// its spread; noise, packed or swapped bytes move as much as they spread.
constexpr double rough_ratio = 0.6;
constexpr double swapped_smoothness = 3.0;
constexpr double text_share = 0.95;

using ChannelValues = std::array<double, channel_count>;  // element channel - 1

constexpr int channel_at(std::size_t at) {
    return static_cast<int>(at) + 1;
}

// A sample as written, and read with its two bytes the other way round;
// each its own type, so that the reading is compiled into the loops.
constexpr auto as_written = [](std::int16_t sample) { return sample; };
constexpr auto bytes_swapped = [](std::int16_t sample) {
    const auto bits = static_cast<std::uint16_t>(sample);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bits << 8 | bits >> 8));
};

// Each channel's sum and sum of steps fit 32 bits over the frames examined:
// 20000 samples of at most 2^15, and steps of at most 2^16 - 1.
static_assert(frames_examined * 65535 < (1LL << 31));

// Each channel's mean step from sample to sample over its mean distance from
// its mean (0 for a flat channel), over at most frames_examined whole frames
// of samples, each taken as `read` gives it. The frames are read in file
// order, every channel at once; each channel's sums run over its samples in
// time order. The sums of whole numbers are taken in 32-bit whole numbers,
// which is exact (above), as summing them as reals is below 2^53.
template <typename Read>
ChannelValues roughness(std::span<const std::int16_t> samples, Read read) {
    const std::size_t whole_frames = samples.size() / channel_count;
    const auto frames = static_cast<double>(whole_frames);
    std::array<std::int32_t, channel_count> total{}, total_steps{};
    if (!samples.empty())
        for (std::size_t at = 0; at < channel_count; ++at) total[at] = read(samples[at]);
    for (std::size_t k = channel_count; k < samples.size(); k += channel_count) {
        const std::int16_t* frame = samples.data() + k;
        const std::int16_t* before = frame - channel_count;
        for (std::size_t at = 0; at < channel_count; ++at) {
            total[at] += read(frame[at]);
            total_steps[at] += std::abs(read(frame[at]) - read(before[at]));
        }
    }
    ChannelValues mean{}, spread{}, rough{};
    for (std::size_t at = 0; at < channel_count; ++at)
        mean[at] = static_cast<double>(total[at]) / frames;
    for (std::size_t k = 0; k < samples.size(); k += channel_count) {
        const std::int16_t* frame = samples.data() + k;
        for (std::size_t at = 0; at < channel_count; ++at)
            spread[at] += std::fabs(read(frame[at]) - mean[at]);
    }
    for (std::size_t at = 0; at < channel_count; ++at)
        rough[at] = spread[at] == 0.0 ? 0.0
                                      : (static_cast<double>(total_steps[at]) / (frames - 1.0)) /
                                            (spread[at] / frames);
    return rough;
}

bool looks_like_text(std::string_view bytes) {
    const std::string_view start = bytes.substr(0, 4096);
    const auto printable = std::count_if(start.begin(), start.end(), [](char c) {
        return (c >= 0x20 && c < 0x7f) || c == '\n' || c == '\r' || c == '\t';
    });
    return !start.empty() &&
           static_cast<double>(printable) >= text_share * static_cast<double>(start.size());
}

// A channel is flat when its lowest sample is its highest, clipped when
// either reaches an end of the 16-bit range.
void find_flat_and_clipped(std::span<const std::int16_t> samples, RecordingCheck& check) {
    std::array<std::int16_t, channel_count> lowest{}, highest{};
    std::copy_n(samples.begin(), channel_count, lowest.begin());
    highest = lowest;
    // A frame through its own pointer: the compiler then compares all its
    // channels at once in 16-bit lanes.
    for (std::size_t k = 0; k < samples.size(); k += channel_count) {
        const std::int16_t* frame = samples.data() + k;
        for (std::size_t at = 0; at < channel_count; ++at) {
            lowest[at] = frame[at] < lowest[at] ? frame[at] : lowest[at];
            highest[at] = frame[at] > highest[at] ? frame[at] : highest[at];
        }
    }
    for (std::size_t at = 0; at < channel_count; ++at) {
        if (lowest[at] == highest[at]) check.flat_channels.push_back(channel_at(at));
        if (lowest[at] == -32768 || highest[at] == 32767)
            check.clipped_channels.push_back(channel_at(at));
    }
}

// Judges the moving channels by how rough they are read as written, and with
// each sample's bytes swapped: swapped bytes are far smoother the other way round.
void judge_signals(std::span<const std::int16_t> samples, RecordingCheck& check) {
    const long long frames = std::min(check.frames, frames_examined);
    const std::span<const std::int16_t> examined(samples.data(),
                                                 static_cast<std::size_t>(frames) * channel_count);
    const ChannelValues written = roughness(examined, as_written);
    const ChannelValues read_swapped = roughness(examined, bytes_swapped);
    int moving = 0, rough = 0, swapped = 0;
    for (std::size_t at = 0; at < channel_count; ++at) {
        if (std::find(check.flat_channels.begin(), check.flat_channels.end(), channel_at(at)) !=
            check.flat_channels.end())
            continue;
        ++moving;
        if (read_swapped[at] * swapped_smoothness < written[at])
            ++swapped;
        else if (written[at] > rough_ratio)
            ++rough;
    }
    if (moving == 0)
        check.problems.emplace_back("every channel is flat");
    else if (2 * swapped > moving)
        check.problems.emplace_back(
            "the bytes look swapped: the samples are smooth read little-endian");
    else if (2 * rough > moving)
        check.problems.push_back("the samples jump from frame to frame like noise: not " +
                                 std::to_string(channel_count) + " big-endian channels at " +
                                 std::to_string(frames_per_second) +
                                 " Hz (a WFDB signal file, or another format?)");
}

}  // namespace

RecordingCheck check_recording_bytes(std::string_view bytes) {
    return check_recording_bytes(bytes, decode_frames(bytes));
}

RecordingCheck check_recording_bytes(std::string_view bytes, std::span<const std::int16_t> frames) {
    RecordingCheck check;
    check.frames = static_cast<long long>(bytes.size()) / bytes_per_frame;
    check.extra_bytes = static_cast<long long>(bytes.size()) % bytes_per_frame;
    if (looks_like_text(bytes)) check.problems.emplace_back("it is text, not binary frames");
    if (check.extra_bytes != 0)
        check.problems.push_back("its size is not a whole number of " +
                                 std::to_string(bytes_per_frame) + "-byte frames");
    if (check.frames < 2) {
        check.problems.emplace_back("it holds no frames to look at");
        return check;
    }
    if (check.frames < samples_per_reading)
        check.problems.push_back("it holds " + std::to_string(check.frames) +
                                 " frames; a display needs " + std::to_string(samples_per_reading));
    find_flat_and_clipped(frames, check);
    if (!looks_like_text(bytes)) judge_signals(frames, check);
    return check;
}

std::string check_report(const RecordingCheck& check) {
    const auto or_none = [](const std::vector<int>& channels) {
        return channels.empty() ? std::string("none") : number_ranges(channels);
    };
    std::string report = std::to_string(check.frames) + " frames (" +
                         std::to_string(check.frames / frames_per_second) + " s)";
    if (check.extra_bytes != 0) report += " and " + std::to_string(check.extra_bytes) + " bytes";
    report += "\nflat channels: " + or_none(check.flat_channels) +
              "\nclipped channels: " + or_none(check.clipped_channels) + "\n";
    for (const std::string& problem : check.problems)
        report += "not a recording: " + problem + "\n";
    if (check.plausible()) report += "it looks like a map recording\n";
    return report;
}

}  // namespace mapari::importing
