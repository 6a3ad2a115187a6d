// Recording files of any content and length, read for several display
// seconds. The first five bytes shape the file and the reading: byte 0
// chooses between the rest of the input as the whole file and a file of a
// chosen length that repeats the rest; bytes 1 to 3 give that length as whole
// seconds, a frame offset and a part frame; byte 4 is one display second. Each reading must give
// the outcome the length calls for, the samples of the stretch exactly as the file holds them when
// it reads, and an untouched channel store when it does not.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "formats/map_recording.hpp"
#include "fuzz/fuzz_support.hpp"
#include "recording/recording.hpp"

namespace {

using namespace mapari;
using fuzz::check;

constexpr std::size_t header_bytes = 5;
constexpr int longest_file_seconds = 34;

std::string file_for(const std::uint8_t* data, std::size_t size) {
    const std::string rest(reinterpret_cast<const char*>(data + header_bytes), size - header_bytes);
    if ((data[0] & 1u) == 0) return rest;
    const long long frames =
        std::max(0LL, static_cast<long long>(data[1] % longest_file_seconds) * frames_per_second +
                          static_cast<std::int8_t>(data[2]));
    const std::size_t length =
        static_cast<std::size_t>(frames) * bytes_per_frame + data[3] % bytes_per_frame;
    std::string file = rest.empty() ? std::string(1, '\0') : rest;
    // Doubling, so a long file takes few copies.
    while (file.size() < length) file.append(file, 0, std::min(file.size(), length - file.size()));
    file.resize(length);
    return file;
}

// A few whole frames of the channel store, to tell whether it changed.
std::vector<std::int16_t> frames_sample(const Store& store) {
    std::vector<std::int16_t> kept;
    for (int t : {1, 2, samples_per_reading / 2, samples_per_reading})
        for (int c = 1; c <= channel_count; ++c) kept.push_back(store.recording.samples(c, t));
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < header_bytes) return 0;
    static const auto store = [] {
        auto made = std::make_unique<Store>();
        const std::string& folder = fuzz::ProcessFolder::path();
        folder.copy(made->naming.data_directory.data(), data_directory_capacity - 1);
        TextField<6> common, variable;
        common.assign("fz");
        variable.assign("01");
        made->naming.recording_path = build_recording_path(common, variable);
        return made;
    }();
    const std::string file = file_for(data, size);
    const std::string path = host_path(store->naming, store->naming.recording_path.stem());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        check(static_cast<bool>(out));
    }

    const long long file_frames = static_cast<long long>(file.size()) / bytes_per_frame;
    const long long last_second_held =
        std::min<long long>(last_display_second, file_frames / frames_per_second - 4);
    // Each reading that succeeds costs the decoding of a whole stretch, so
    // the fixed seconds are the edges: before the first, the last held, the
    // first not held, and past the last the program allows.
    const std::array<int, 6> seconds{static_cast<std::int8_t>(data[4]),
                                     -1,
                                     0,
                                     static_cast<int>(last_second_held),
                                     static_cast<int>(last_second_held) + 1,
                                     last_display_second + 1};
    for (int second : seconds) {
        store->naming.display_second = second;
        store->recording.samples(1, 1) = static_cast<std::int16_t>(second);
        const std::vector<std::int16_t> before = frames_sample(*store);
        std::string message;
        const ReadOutcome outcome = read_recording(store->naming, store->recording, message);
        if (file_frames < samples_per_reading) {
            check(outcome == ReadOutcome::too_short);
        } else if (second < 0 || second > last_second_held) {
            check(outcome == ReadOutcome::second_not_held);
        } else {
            check(outcome == ReadOutcome::read);
        }
        if (outcome != ReadOutcome::read) {
            check(!message.empty());
            check(frames_sample(*store) == before);
            continue;
        }
        check(store->recording.samples_per_channel == samples_per_reading);
        const long long first_frame = static_cast<long long>(second) * frames_per_second;
        for (int t : {1, 2, 1000, 2999, samples_per_reading - 1, samples_per_reading})
            for (int c = 1; c <= channel_count; ++c)
                check(store->recording.samples(c, t) == frame_sample(file, first_frame + t, c));
    }
    return 0;
}
