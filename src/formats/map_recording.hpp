// The map recording's file layout, written and read only here.
//
// A recording is a headerless file of frames, one a millisecond. A frame holds
// channel_count samples, channel 1 first, each a signed 16-bit number stored
// big-endian (high byte first). The auxiliary channels aux1 to aux8 come first
// (aux N is channel N) and the map leads follow them (lead L is channel L + 8),
// so a frame is 144 bytes and a 4000-frame reading 576,000.
//
// The counts the store is sized by (channel_count, lead_count,
// samples_per_reading) are the store's own capacities; everything else about
// the layout is built on them here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/store.hpp"

namespace mapari {

inline constexpr int frames_per_second = 1000;
inline constexpr int auxiliary_channel_count = channel_count - lead_count;
inline constexpr int bytes_per_sample = sizeof(std::int16_t);
inline constexpr int bytes_per_frame = bytes_per_sample * channel_count;
inline constexpr int bytes_per_reading = bytes_per_frame * samples_per_reading;
static_assert(decltype(Recording::file_bytes)::capacity == bytes_per_reading,
              "the store's byte area holds exactly one reading");

// The channel of map lead `lead` (1 to lead_count).
constexpr int channel_of_lead(int lead) {
    return auxiliary_channel_count + lead;
}
// The map lead on `channel`: 1 to lead_count for a lead's channel, 0 or less
// for an auxiliary one.
constexpr int lead_of_channel(int channel) {
    return channel - auxiliary_channel_count;
}
// The channel of auxiliary channel aux`auxiliary` (1 to auxiliary_channel_count).
constexpr int channel_of_auxiliary(int auxiliary) {
    return auxiliary;
}

// Where in a file the two bytes of channel `channel` of frame `frame` (both
// counted from 1) begin.
constexpr std::size_t sample_offset(long long frame, int channel) {
    return static_cast<std::size_t>((frame - 1) * bytes_per_frame +
                                    static_cast<long long>(channel - 1) * bytes_per_sample);
}

// The sample stored as the bytes high, low.
constexpr std::int16_t decode_sample(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(high << 8 | low));
}

// The byte at offset (from 0) of a file's bytes, as the unsigned number it holds.
constexpr std::uint8_t file_byte(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint8_t>(bytes[offset]);
}

// Channel `channel` of frame `frame` (both from 1) of a file's bytes, which
// hold that frame whole. Inline: readers call it for every sample.
inline std::int16_t frame_sample(std::string_view bytes, long long frame, int channel) {
    const std::size_t at = sample_offset(frame, channel);
    return decode_sample(file_byte(bytes, at), file_byte(bytes, at + 1));
}
// The same two bytes read low byte first: the sample as it was before a
// writer that swapped every sample's bytes.
inline std::int16_t swapped_frame_sample(std::string_view bytes, long long frame, int channel) {
    const std::size_t at = sample_offset(frame, channel);
    return decode_sample(file_byte(bytes, at + 1), file_byte(bytes, at));
}

// The file bytes of samples in file order: frame after frame, channel 1 first
// within a frame.
std::string encode_frames(std::span<const std::int16_t> samples);

// Every whole frame of a file's bytes decoded, in file order: element
// (frame - 1) * channel_count + channel - 1 is that channel of that frame,
// the order of the channel store's elements. A part frame at the end is left out.
std::vector<std::int16_t> decode_frames(std::string_view bytes);
// The same into `samples`, made the size the frames need: a caller decoding
// one file after another keeps one vector, whose memory is then neither asked
// for nor zeroed again.
void decode_frames(std::string_view bytes, std::vector<std::int16_t>& samples);
// The samples of the bytes, in file order, decoded into samples from their
// first on, as many as both hold; any samples beyond the bytes keep their values.
void decode_samples(std::string_view bytes, std::span<std::int16_t> samples);

// Decodes the reading's bytes into the channel store: file_bytes -> samples,
// every channel samples_per_reading long.
void decode_recording(Recording& recording);

}  // namespace mapari
