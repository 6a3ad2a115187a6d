#include "importing/recording_check.hpp"

#include <algorithm>
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

// Channel `channel` of frame `frame` (from 1) as written, or with its bytes swapped.
int sample_at(std::string_view bytes, long long frame, int channel, bool as_written) {
    return as_written ? frame_sample(bytes, frame, channel)
                      : swapped_frame_sample(bytes, frame, channel);
}

// Mean step from sample to sample over the mean distance from the mean; 0 for
// a flat channel.
double roughness(std::string_view bytes, long long frames, int channel, bool as_written) {
    double sum = 0.0;
    for (long long t = 1; t <= frames; ++t) sum += sample_at(bytes, t, channel, as_written);
    const double mean = sum / static_cast<double>(frames);
    double spread = 0.0, steps = 0.0;
    for (long long t = 1; t <= frames; ++t) {
        const int value = sample_at(bytes, t, channel, as_written);
        spread += std::fabs(value - mean);
        if (t > 1) steps += std::abs(value - sample_at(bytes, t - 1, channel, as_written));
    }
    return spread == 0.0
               ? 0.0
               : (steps / static_cast<double>(frames - 1)) / (spread / static_cast<double>(frames));
}

bool looks_like_text(std::string_view bytes) {
    const std::string_view start = bytes.substr(0, 4096);
    const auto printable = std::count_if(start.begin(), start.end(), [](char c) {
        return (c >= 0x20 && c < 0x7f) || c == '\n' || c == '\r' || c == '\t';
    });
    return !start.empty() &&
           static_cast<double>(printable) >= text_share * static_cast<double>(start.size());
}

void find_flat_and_clipped(std::string_view bytes, RecordingCheck& check) {
    for (int channel = 1; channel <= channel_count; ++channel) {
        const int first = frame_sample(bytes, 1, channel);
        bool flat = true, clipped = false;
        for (long long t = 1; t <= check.frames; ++t) {
            const int value = frame_sample(bytes, t, channel);
            flat = flat && value == first;
            clipped = clipped || value == -32768 || value == 32767;
        }
        if (flat) check.flat_channels.push_back(channel);
        if (clipped) check.clipped_channels.push_back(channel);
    }
}

// Judges the moving channels by how rough they are read as written, and with
// each sample's bytes swapped: swapped bytes are far smoother the other way round.
void judge_signals(std::string_view bytes, RecordingCheck& check) {
    const long long frames = std::min(check.frames, frames_examined);
    int moving = 0, rough = 0, swapped = 0;
    for (int channel = 1; channel <= channel_count; ++channel) {
        if (std::find(check.flat_channels.begin(), check.flat_channels.end(), channel) !=
            check.flat_channels.end())
            continue;
        ++moving;
        const double as_written = roughness(bytes, frames, channel, true);
        if (roughness(bytes, frames, channel, false) * swapped_smoothness < as_written)
            ++swapped;
        else if (as_written > rough_ratio)
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
