#include "importing/recording_check.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

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

using FrameValues = std::array<int, channel_count>;  // element channel - 1

// Every channel of frame `frame` (from 1), as written or with each sample's bytes swapped.
void read_frame(std::string_view bytes, long long frame, bool as_written, FrameValues& values) {
    for (std::size_t at = 0; at < channel_count; ++at)
        values[at] = as_written ? frame_sample(bytes, frame, channel_at(at))
                                : swapped_frame_sample(bytes, frame, channel_at(at));
}

// Each channel's mean step from sample to sample over its mean distance from
// its mean (0 for a flat channel), over the first `frames` frames. The frames
// are read in file order, every channel at once, and each channel's sums run
// over its samples in time order.
ChannelValues roughness(std::string_view bytes, long long frames, bool as_written) {
    FrameValues values{}, previous{};
    ChannelValues mean{}, spread{}, steps{}, rough{};
    for (long long t = 1; t <= frames; ++t) {
        read_frame(bytes, t, as_written, values);
        for (std::size_t at = 0; at < channel_count; ++at) mean[at] += values[at];
    }
    for (double& value : mean) value /= static_cast<double>(frames);
    for (long long t = 1; t <= frames; ++t) {
        read_frame(bytes, t, as_written, values);
        for (std::size_t at = 0; at < channel_count; ++at)
            spread[at] += std::fabs(values[at] - mean[at]);
        if (t > 1)
            for (std::size_t at = 0; at < channel_count; ++at)
                steps[at] += std::abs(values[at] - previous[at]);
        previous = values;
    }
    for (std::size_t at = 0; at < channel_count; ++at)
        rough[at] = spread[at] == 0.0 ? 0.0
                                      : (steps[at] / static_cast<double>(frames - 1)) /
                                            (spread[at] / static_cast<double>(frames));
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

// Read frame after frame, every channel at once.
void find_flat_and_clipped(std::string_view bytes, RecordingCheck& check) {
    FrameValues first{}, values{};
    std::array<bool, channel_count> flat{}, clipped{};
    read_frame(bytes, 1, true, first);
    flat.fill(true);
    for (long long t = 1; t <= check.frames; ++t) {
        read_frame(bytes, t, true, values);
        for (std::size_t at = 0; at < channel_count; ++at) {
            flat[at] = flat[at] && values[at] == first[at];
            clipped[at] = clipped[at] || values[at] == -32768 || values[at] == 32767;
        }
    }
    for (std::size_t at = 0; at < channel_count; ++at) {
        if (flat[at]) check.flat_channels.push_back(channel_at(at));
        if (clipped[at]) check.clipped_channels.push_back(channel_at(at));
    }
}

// Judges the moving channels by how rough they are read as written, and with
// each sample's bytes swapped: swapped bytes are far smoother the other way round.
void judge_signals(std::string_view bytes, RecordingCheck& check) {
    const long long frames = std::min(check.frames, frames_examined);
    const ChannelValues as_written = roughness(bytes, frames, true);
    const ChannelValues swapped_bytes = roughness(bytes, frames, false);
    int moving = 0, rough = 0, swapped = 0;
    for (std::size_t at = 0; at < channel_count; ++at) {
        if (std::find(check.flat_channels.begin(), check.flat_channels.end(), channel_at(at)) !=
            check.flat_channels.end())
            continue;
        ++moving;
        if (swapped_bytes[at] * swapped_smoothness < as_written[at])
            ++swapped;
        else if (as_written[at] > rough_ratio)
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
    find_flat_and_clipped(bytes, check);
    if (!looks_like_text(bytes)) judge_signals(bytes, check);
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
