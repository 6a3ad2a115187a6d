#include "importing/wfdb_signals.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "formats/quoted.hpp"

namespace mapari::importing {
namespace {

// The value of the low `bits` bits of `value` as a two's complement number.
std::int32_t sign_extended(std::uint32_t value, int bits) {
    const std::int32_t sign_bit = std::int32_t{1} << (bits - 1);
    return (static_cast<std::int32_t>(value) ^ sign_bit) - sign_bit;
}

// How many samples `byte_count` bytes hold. A group of packed samples that
// the end of the file cuts short still gives those whose bits are all there.
std::size_t samples_held(int format, std::size_t byte_count) {
    switch (format) {
        case 8:
        case 80:
            return byte_count;
        case 16:
        case 61:
        case 160:
            return byte_count / 2;
        case 212:
            return byte_count / 3 * 2 + (byte_count % 3 == 2 ? 1 : 0);
        case 310:
            return byte_count / 4 * 3 + (byte_count % 4 >= 2 ? 1 : 0);
        case 311:
            return byte_count / 4 * 3 + (byte_count % 4 >= 2 ? byte_count % 4 - 1 : 0);
        default:
            return 0;
    }
}

// Format 212: two 12-bit samples in three bytes. The first is the low 12 bits
// of the first two bytes, low byte first; the second has its high 4 bits in
// the top of the second byte and its low 8 bits in the third.
std::int32_t format_212_sample(const unsigned char* group, std::size_t position) {
    const unsigned value =
        position == 0 ? group[0] | ((group[1] & 0x0Fu) << 8) : group[2] | ((group[1] & 0xF0u) << 4);
    return sign_extended(value, 12);
}

// Format 310: three 10-bit samples in two 16-bit words, low byte first. The
// first and second are bits 1 to 10 of the first and second word (bit 0 is
// unused); the third has its low 5 bits in the top 5 of the first word and
// its high 5 bits in the top 5 of the second.
std::int32_t format_310_sample(const unsigned char* group, std::size_t position) {
    switch (position) {
        case 0:
            return sign_extended(((group[0] | (std::uint32_t{group[1]} << 8)) >> 1) & 0x3FFu, 10);
        case 1:
            return sign_extended(((group[2] | (std::uint32_t{group[3]} << 8)) >> 1) & 0x3FFu, 10);
        default:
            return sign_extended((group[1] >> 3u) | ((std::uint32_t{group[3]} >> 3) << 5), 10);
    }
}

// Format 311: three 10-bit samples in one 32-bit word, low byte first: bits
// 0 to 9, 10 to 19 and 20 to 29 (the top 2 bits are unused). Each sample is
// taken from the bytes that hold it, so a group the file cuts short is never
// read beyond its end.
std::int32_t format_311_sample(const unsigned char* group, std::size_t position) {
    switch (position) {
        case 0:
            return sign_extended(group[0] | ((group[1] & 0x03u) << 8), 10);
        case 1:
            return sign_extended((group[1] >> 2u) | ((group[2] & 0x0Fu) << 6), 10);
        default:
            return sign_extended((group[2] >> 4u) | ((group[3] & 0x3Fu) << 4), 10);
    }
}

// Sample `index` of a file's samples: an amplitude, or in format 8 the
// difference from the sample before of the same signal.
std::int32_t stored_value(int format, const unsigned char* bytes, std::size_t index) {
    switch (format) {
        case 8:
            return static_cast<std::int8_t>(bytes[index]);
        case 80:
            return bytes[index] - 128;
        case 16:
            return static_cast<std::int16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
        case 61:
            return static_cast<std::int16_t>((bytes[2 * index] << 8) | bytes[2 * index + 1]);
        case 160:
            return (bytes[2 * index] | (bytes[2 * index + 1] << 8)) - 32768;
        case 212:
            return format_212_sample(bytes + index / 2 * 3, index % 2);
        case 310:
            return format_310_sample(bytes + index / 3 * 4, index % 3);
        case 311:
            return format_311_sample(bytes + index / 3 * 4, index % 3);
        default:
            return 0;
    }
}

std::string samples_text(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " sample" : " samples");
}

// "signal \"MLII\"" for a file of one signal, "each of its 3 signals" for more.
std::string signals_of(const WfdbFile& file, const WfdbHeader& header) {
    if (file.signals.size() == 1)
        return "signal " + in_quotes(header.signals[file.signals[0]].label);
    return "each of its " + std::to_string(file.signals.size()) + " signals";
}

// The number of samples of each signal: the header's, when every file holds
// that many, or else the one every file holds.
bool record_length(const WfdbHeader& header, const std::vector<std::size_t>& frames_held,
                   std::size_t& frames, std::string& reason) {
    for (std::size_t i = 0; i < header.files.size(); ++i) {
        const WfdbFile& file = header.files[i];
        if (header.samples && frames_held[i] < *header.samples) {
            reason = file.name + ": holds " + samples_text(frames_held[i]) + " of " +
                     signals_of(file, header) + "; the header says " +
                     std::to_string(*header.samples);
            return false;
        }
        if (!header.samples && frames_held[i] != frames_held[0]) {
            reason = file.name + ": holds " + samples_text(frames_held[i]) + " a signal, " +
                     header.files[0].name + " " + std::to_string(frames_held[0]) +
                     ", and the header gives no number of samples";
            return false;
        }
    }
    frames = header.samples.value_or(frames_held[0]);
    if (frames == 0) {
        reason = header.files[0].name + ": holds no samples";
        return false;
    }
    return true;
}

// The signals of one file over `frames` frames, calibrated. False when a
// gain is so small that the values overflow.
bool decode_file(const WfdbHeader& header, const WfdbFile& file, std::string_view samples,
                 std::size_t frames, std::vector<SourceSignal>& signals, std::string& reason) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(samples.data());
    const std::size_t width = file.signals.size();
    for (std::size_t column = 0; column < width; ++column) {
        const WfdbSignal& signal = header.signals[file.signals[column]];
        std::vector<double>& microvolts = signals[file.signals[column]].microvolts;
        microvolts.resize(frames);
        std::int64_t adc_value = signal.initial_value;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const std::int32_t stored = stored_value(file.format, bytes, frame * width + column);
            adc_value = file.format == 8 ? adc_value + stored : stored;
            // Multiplying before dividing keeps values such as -29 * 1000 / 200 exact.
            microvolts[frame] = static_cast<double>(adc_value - signal.baseline) *
                                signal.microvolts_per_unit / signal.adc_units_per_unit;
        }
        if (!std::all_of(microvolts.begin(), microvolts.end(),
                         [](double value) { return std::isfinite(value); })) {
            reason = "signal " + in_quotes(signal.label) +
                     ": its gain is too small for its values to be held";
            return false;
        }
    }
    return true;
}

}  // namespace

bool decode_wfdb_signals(const WfdbHeader& header,
                         const std::map<std::string, std::string>& file_bytes,
                         std::vector<SourceSignal>& signals, std::string& reason) {
    std::vector<std::string_view> samples_of_file;
    std::vector<std::size_t> frames_held;
    for (const WfdbFile& file : header.files) {
        const auto found = file_bytes.find(file.name);
        if (found == file_bytes.end()) {
            reason = file.name + ": not among the signal files";
            return false;
        }
        std::string_view samples = found->second;
        samples.remove_prefix(std::min(file.byte_offset, samples.size()));
        samples_of_file.push_back(samples);
        frames_held.push_back(samples_held(file.format, samples.size()) / file.signals.size());
    }
    std::size_t frames = 0;
    if (!record_length(header, frames_held, frames, reason)) return false;

    std::vector<SourceSignal> decoded(header.signals.size());
    for (std::size_t i = 0; i < decoded.size(); ++i) decoded[i].label = header.signals[i].label;
    for (std::size_t i = 0; i < header.files.size(); ++i)
        if (!decode_file(header, header.files[i], samples_of_file[i], frames, decoded, reason))
            return false;
    signals = std::move(decoded);
    return true;
}

}  // namespace mapari::importing
