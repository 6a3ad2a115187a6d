// What a file that claims to be a map recording holds, and whether its bytes
// look like one: frames in the layout of formats/map_recording.hpp, 1000 a second.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mapari::importing {

struct RecordingCheck {
    long long frames = 0;               // whole frames the file holds
    long long extra_bytes = 0;          // bytes after the last whole frame
    std::vector<int> flat_channels;     // channels (from 1) that never change
    std::vector<int> clipped_channels;  // channels that reach -32768 or 32767
    std::vector<std::string> problems;  // why the bytes do not look like a recording
    bool plausible() const { return problems.empty(); }
};

RecordingCheck check_recording_bytes(std::string_view bytes);
// The same with the bytes' whole frames already decoded (decode_frames).
RecordingCheck check_recording_bytes(std::string_view bytes, std::span<const std::int16_t> frames);

// The check as lines for a person: frames, flat and clipped channels, problems.
std::string check_report(const RecordingCheck& check);

}  // namespace mapari::importing
