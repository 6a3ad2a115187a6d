// The map recording's layout: where each channel of each frame stands in the
// file, which channel each lead is on, and the samples' bytes both ways,
// against bytes made by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/map_recording.hpp"

namespace mapari::unit_tests {
namespace {

std::string two_bytes(unsigned char high, unsigned char low) {
    return {static_cast<char>(high), static_cast<char>(low)};
}

TEST(MapRecordingLayout, FramesOf72ChannelsTwoBytesEachAThousandASecond) {
    EXPECT_EQ(auxiliary_channel_count, 8);  // 72 channels - 64 leads
    EXPECT_EQ(bytes_per_frame, 144);        // 72 x 2
    EXPECT_EQ(bytes_per_reading, 576'000);  // 144 x 4000
    EXPECT_EQ(frames_per_second, 1000);
}

TEST(MapRecordingLayout, LeadLIsChannelLPlusEightAndAuxNIsChannelN) {
    const struct { int lead, channel; } leads[] = {{1, 9}, {2, 10}, {13, 21}, {63, 71}, {64, 72}};
    for (const auto& c : leads) {
        EXPECT_EQ(channel_of_lead(c.lead), c.channel) << "lead " << c.lead;
        EXPECT_EQ(lead_of_channel(c.channel), c.lead) << "channel " << c.channel;
    }
    const struct { int auxiliary, channel; } auxiliaries[] = {{1, 1}, {2, 2}, {8, 8}};
    for (const auto& c : auxiliaries) {
        EXPECT_EQ(channel_of_auxiliary(c.auxiliary), c.channel) << "aux" << c.auxiliary;
        EXPECT_LT(lead_of_channel(c.channel), 1) << "channel " << c.channel << " is no lead";
    }
}

TEST(MapRecordingLayout, EveryLeadHasAChannelOfItsOwnAfterTheAuxiliaryChannels) {
    for (int lead = 1; lead <= lead_count; ++lead) {
        const int channel = channel_of_lead(lead);
        EXPECT_GT(channel, auxiliary_channel_count) << "lead " << lead;
        EXPECT_LE(channel, channel_count) << "lead " << lead;
        EXPECT_EQ(lead_of_channel(channel), lead);
    }
}

TEST(MapRecordingLayout, ASampleStandsAt144BytesAFrameAndTwoAChannel) {
    const struct {
        long long frame;
        int channel;
        std::size_t offset;
    } cases[] = {
        {1, 1, 0},            // aux1, the first byte of the file
        {1, 2, 2},            // aux2
        {1, 9, 16},           // lead 1: 8 x 2
        {1, 72, 142},         // lead 64, the last of the first frame: 71 x 2
        {2, 1, 144},          // the next frame
        {2, 72, 286},         // 144 + 142
        {4000, 72, 575'998},  // 3999 x 144 + 142: the last of a reading
    };
    for (const auto& c : cases)
        EXPECT_EQ(sample_offset(c.frame, c.channel), c.offset)
            << "frame " << c.frame << " channel " << c.channel;
}

// Each sample, its two bytes high byte first, and what the same bytes give
// read low byte first.
struct SampleBytes {
    std::int16_t sample;
    unsigned char high, low;
    std::int16_t swapped;
};
constexpr SampleBytes sample_bytes[] = {
    {0, 0x00, 0x00, 0},         // 0x0000 -> 0x0000
    {1, 0x00, 0x01, 256},       // 0x0001 -> 0x0100
    {-1, 0xFF, 0xFF, -1},       // 0xFFFF -> 0xFFFF
    {255, 0x00, 0xFF, -256},    // 0x00FF -> 0xFF00
    {256, 0x01, 0x00, 1},       // 0x0100 -> 0x0001
    {-256, 0xFF, 0x00, 255},    // 0xFF00 -> 0x00FF
    {4660, 0x12, 0x34, 13330},  // 0x1234 -> 0x3412
    {32767, 0x7F, 0xFF, -129},  // 0x7FFF -> 0xFF7F
    {-32768, 0x80, 0x00, 128},  // 0x8000 -> 0x0080
    {-32767, 0x80, 0x01, 384},  // 0x8001 -> 0x0180
    {-2, 0xFF, 0xFE, -257},     // 0xFFFE -> 0xFEFF
};

TEST(MapRecordingSamples, EachIsTwoBytesHighByteFirst) {
    for (const SampleBytes& c : sample_bytes) {
        SCOPED_TRACE(c.sample);
        const std::string bytes = two_bytes(c.high, c.low);
        EXPECT_EQ(encode_frames(std::vector<std::int16_t>{c.sample}), bytes);
        EXPECT_EQ(decode_sample(c.high, c.low), c.sample);
        EXPECT_EQ(frame_sample(bytes, 1, 1), c.sample);
        EXPECT_EQ(swapped_frame_sample(bytes, 1, 1), c.swapped);
    }
}

TEST(MapRecordingSamples, AreWrittenInTheOrderGiven) {
    const std::string bytes =
        encode_frames(std::vector<std::int16_t>{1, -1, 32767, -32768, 256, -256});
    EXPECT_EQ(bytes, std::string("\x00\x01\xFF\xFF\x7F\xFF\x80\x00\x01\x00\xFF\x00", 12));
}

TEST(MapRecordingSamples, AreReadFromTheirFrameAndChannel) {
    // Two frames of zeros but for three samples placed by hand.
    std::string bytes(std::size_t{2} * 144, '\0');
    bytes.replace(16, 2, two_bytes(0x12, 0x34));   // frame 1, channel 9 (lead 1)
    bytes.replace(142, 2, two_bytes(0xFF, 0xFE));  // frame 1, channel 72 (lead 64)
    bytes.replace(144, 2, two_bytes(0x80, 0x00));  // frame 2, channel 1 (aux1)
    const struct {
        long long frame;
        int channel;
        std::int16_t sample;
    } cases[] = {{1, 9, 4660}, {1, 72, -2}, {2, 1, -32768}, {1, 1, 0},
                 {1, 8, 0},    {2, 9, 0},   {2, 72, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(frame_sample(bytes, c.frame, c.channel), c.sample)
            << "frame " << c.frame << " channel " << c.channel;
}

TEST(MapRecordingFrames, DecodeEachSampleHighByteFirst) {
    // One frame: the table's samples on its first channels, zeros after them.
    std::string bytes(std::size_t{bytes_per_frame}, '\0');
    std::size_t at = 0;
    for (const SampleBytes& c : sample_bytes) {
        bytes.replace(at, 2, two_bytes(c.high, c.low));
        at += 2;
    }
    const std::vector<std::int16_t> samples = decode_frames(bytes);
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(channel_count));
    std::size_t k = 0;
    for (const SampleBytes& c : sample_bytes) EXPECT_EQ(samples[k++], c.sample) << c.sample;
    for (; k < samples.size(); ++k) EXPECT_EQ(samples[k], 0) << "channel " << k + 1;
}

TEST(MapRecordingFrames, LeaveOutAPartFrameAtTheEnd) {
    const struct {
        std::size_t bytes, samples;
    } cases[] = {{0, 0}, {143, 0}, {144, 72}, {145, 72}, {287, 72}, {288, 144}};
    for (const auto& c : cases)
        EXPECT_EQ(decode_frames(std::string(c.bytes, '\x01')).size(), c.samples) << c.bytes;
}

TEST(MapRecordingFrames, DecodeAsEachSampleIsReadFromItsFrame) {
    // Three frames whose bytes run through every value of a byte, high and low.
    std::string bytes;
    for (int k = 0; k < 3 * bytes_per_frame; ++k)
        bytes += static_cast<char>((k * 37 + k / 256) % 256);
    const std::vector<std::int16_t> samples = decode_frames(bytes);
    ASSERT_EQ(samples.size(), std::size_t{3} * channel_count);
    std::size_t k = 0;
    for (int t = 1; t <= 3; ++t)
        for (int c = 1; c <= channel_count; ++c, ++k)
            ASSERT_EQ(samples[k], frame_sample(bytes, t, c)) << "channel " << c << " frame " << t;
}

// A vector kept from one file to the next holds, after each decoding, what a
// new decoding of that file gives, whether it held more samples before or fewer.
TEST(MapRecordingFrames, DecodeIntoAKeptVectorAsIntoANewOne) {
    std::string three_frames;
    for (int k = 0; k < 3 * bytes_per_frame; ++k)
        three_frames += static_cast<char>((k * 53 + 11) % 256);
    const struct {
        std::size_t bytes;
        const char* what;
    } files[] = {{std::size_t{3} * bytes_per_frame, "three frames into an empty vector"},
                 {bytes_per_frame + 7, "one frame and a part after three"},
                 {0, "no byte after one frame"},
                 {std::size_t{2} * bytes_per_frame, "two frames after none"},
                 {std::size_t{3} * bytes_per_frame - 1, "two frames and a part after two"}};
    std::vector<std::int16_t> kept;
    for (const auto& c : files) {
        const std::string_view bytes = std::string_view(three_frames).substr(0, c.bytes);
        decode_frames(bytes, kept);
        EXPECT_EQ(kept, decode_frames(bytes)) << c.what;
    }
}

// As many samples as both the bytes and the samples hold, from the first on;
// a byte left over is no sample, and the samples beyond the bytes keep theirs.
TEST(MapRecordingFrames, DecodeSamplesAsFarAsBothGo) {
    const std::string bytes = two_bytes(0x12, 0x34) + two_bytes(0xFF, 0xFE) + two_bytes(0x80, 0x00);
    const struct {
        std::size_t bytes, samples;
        std::vector<std::int16_t> decoded;
    } cases[] = {
        {6, 3, {4660, -2, -32768}},
        {6, 2, {4660, -2}},
        {5, 3, {4660, -2, 7}},
        {4, 4, {4660, -2, 7, 7}},
        {1, 2, {7, 7}},
        {0, 1, {7}},
        {6, 0, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::int16_t> samples(c.samples, 7);
        decode_samples(std::string_view(bytes).substr(0, c.bytes), samples);
        EXPECT_EQ(samples, c.decoded) << c.bytes << " bytes into " << c.samples;
    }
}

TEST(MapRecordingReading, DecodesHandMadeBytesIntoTheirChannelAndFrame) {
    auto recording = std::make_unique<Recording>();
    recording->file_bytes.fill(0);
    recording->samples.fill(-12345);
    recording->samples_per_channel = 0;
    // Byte k of the file is element k + 1 of the store's bytes.
    const auto place = [&recording](int offset, unsigned char high, unsigned char low) {
        recording->file_bytes(offset + 1) = high;
        recording->file_bytes(offset + 2) = low;
    };
    place(16, 0x12, 0x34);       // frame 1, channel 9
    place(144, 0x80, 0x01);      // frame 2, channel 1
    place(575'998, 0x7F, 0xFE);  // frame 4000, channel 72
    decode_recording(*recording);
    const auto& samples = recording->samples;
    const struct {
        int channel, frame;
        std::int16_t sample;
    } cases[] = {{9, 1, 4660}, {1, 2, -32767}, {72, 4000, 32766}, {1, 1, 0},     {8, 1, 0},
                 {10, 1, 0},   {72, 1, 0},     {2, 2, 0},         {71, 4000, 0}, {72, 3999, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(samples(c.channel, c.frame), c.sample)
            << "channel " << c.channel << " frame " << c.frame;
    EXPECT_EQ(recording->samples_per_channel, samples_per_reading);
}

TEST(MapRecordingReading, DecodesWhatTheEncoderWroteSampleForSample) {
    // Samples that vary with channel and frame over the whole 16-bit range.
    std::vector<std::int16_t> frames;
    for (int t = 1; t <= samples_per_reading; ++t)
        for (int c = 1; c <= channel_count; ++c)
            frames.push_back(static_cast<std::int16_t>((c * 911 + t * 7919) % 65536 - 32768));
    const std::string encoded = encode_frames(frames);
    ASSERT_EQ(encoded.size(), static_cast<std::size_t>(bytes_per_reading));
    auto recording = std::make_unique<Recording>();
    for (int k = 1; k <= bytes_per_reading; ++k)
        recording->file_bytes(k) =
            static_cast<std::uint8_t>(encoded[static_cast<std::size_t>(k - 1)]);
    decode_recording(*recording);
    std::size_t k = 0;
    for (int t = 1; t <= samples_per_reading; ++t)
        for (int c = 1; c <= channel_count; ++c, ++k) {
            ASSERT_EQ(recording->samples(c, t), frames[k]) << "channel " << c << " frame " << t;
            ASSERT_EQ(frame_sample(encoded, t, c), frames[k]) << "channel " << c << " frame " << t;
        }
}

}  // namespace
}  // namespace mapari::unit_tests
