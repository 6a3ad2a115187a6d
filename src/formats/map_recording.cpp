#include "formats/map_recording.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace mapari {

std::string encode_frames(std::span<const std::int16_t> samples) {
    std::string bytes;
    bytes.reserve(samples.size() * bytes_per_sample);
    for (std::int16_t sample : samples) {
        const auto bits = static_cast<std::uint16_t>(sample);
        bytes += static_cast<char>(bits >> 8);
        bytes += static_cast<char>(bits & 0xFFu);
    }
    return bytes;
}

void decode_samples(std::string_view bytes, std::span<std::int16_t> samples) {
    // The words copied as they lie and their bytes then swapped where the
    // machine keeps the low byte first: a loop over the samples alone, which
    // the compiler vectorises, where one reading the text byte by byte must
    // take every store into the samples to possibly change the text.
    const std::span<std::int16_t> decoded =
        samples.first(std::min(samples.size(), bytes.size() / std::size_t{bytes_per_sample}));
    // memcpy may not be handed an empty vector's null data, even for no bytes.
    if (decoded.empty()) return;
    std::memcpy(decoded.data(), bytes.data(), decoded.size() * sizeof(std::int16_t));
    if constexpr (std::endian::native == std::endian::little) {
        for (std::int16_t& sample : decoded) {
            const auto bits = static_cast<std::uint16_t>(sample);
            sample = static_cast<std::int16_t>(static_cast<std::uint16_t>(bits << 8 | bits >> 8));
        }
    }
}

std::vector<std::int16_t> decode_frames(std::string_view bytes) {
    std::vector<std::int16_t> samples;
    decode_frames(bytes, samples);
    return samples;
}

void decode_frames(std::string_view bytes, std::vector<std::int16_t>& samples) {
    samples.resize(bytes.size() / bytes_per_frame * channel_count);
    decode_samples(bytes, samples);
}

void decode_recording(Recording& recording) {
    // Element (c, t) of the channel store lies where channel c of frame t lies
    // in the file, so decoding in file order places every sample in its channel.
    // One loop over both areas of the recording, which the compiler can see do
    // not overlap, is a loop it can vectorise.
    int k = 0;
    for (std::int16_t& sample : recording.samples.values) {
        ++k;
        sample = decode_sample(recording.file_bytes(2 * k - 1), recording.file_bytes(2 * k));
    }
    recording.samples_per_channel = samples_per_reading;
}

}  // namespace mapari
