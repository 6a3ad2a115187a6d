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

// A format's samples come in groups of `samples` samples packed into `bytes`
// bytes; a block is read from the start of the group that holds its first sample.
struct Packing {
    std::size_t samples = 1;
    std::size_t bytes = 1;
};

Packing packing_of(int format) {
    switch (format) {
        case 8:
        case 80:
            return {1, 1};
        case 16:
        case 61:
        case 160:
            return {1, 2};
        case 212:
            return {2, 3};
        default:  // 310, 311
            return {3, 4};
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

// How many frames each file holds, its preamble left out.
bool frames_of_files(const WfdbHeader& header, WfdbFiles& files,
                     std::vector<std::size_t>& frames_held, std::string& reason) {
    for (const WfdbFile& file : header.files) {
        std::size_t bytes = 0;
        if (!files.size(file.name, bytes, reason)) {
            reason = file.name + ": " + reason;
            return false;
        }
        const std::size_t samples = bytes > file.byte_offset ? bytes - file.byte_offset : 0;
        frames_held.push_back(samples_held(file.format, samples) / file.signals.size());
    }
    return true;
}

class WfdbSignalStream final : public SourceStream {
  public:
    WfdbSignalStream(const WfdbHeader& header, std::unique_ptr<WfdbFiles> files,
                     SourceDescription description)
        : header_(header),
          files_(std::move(files)),
          file_of_signal_(header.signals.size()),
          column_of_signal_(header.signals.size()),
          adc_values_(header.signals.size()) {
        description_ = std::move(description);
        for (const WfdbSignal& signal : header.signals) description_.labels.push_back(signal.label);
        for (std::size_t f = 0; f < header.files.size(); ++f)
            for (std::size_t column = 0; column < header.files[f].signals.size(); ++column) {
                file_of_signal_[header.files[f].signals[column]] = f;
                column_of_signal_[header.files[f].signals[column]] = column;
            }
    }

    void restart(const std::vector<std::size_t>& wanted, std::size_t block_samples) override {
        wanted_ = wanted;
        next_frame_ = 0;
        frames_per_block_ =
            std::max<std::size_t>(1, block_samples / std::max<std::size_t>(1, wanted.size()));
        wanted_of_file_.assign(header_.files.size(), {});
        for (std::size_t k = 0; k < wanted.size(); ++k)
            wanted_of_file_[file_of_signal_[wanted[k]]].push_back(k);
        for (std::size_t s = 0; s < header_.signals.size(); ++s)
            adc_values_[s] = header_.signals[s].initial_value;
    }

    bool next_block(SampleBlock& block, std::string& reason) override {
        block.assign(wanted_.size(), {});
        if (next_frame_ >= description_.samples) return true;
        const std::size_t count = std::min(frames_per_block_, description_.samples - next_frame_);
        for (std::size_t f = 0; f < header_.files.size(); ++f)
            if (!wanted_of_file_[f].empty() && !read_file_block(f, count, block, reason))
                return false;
        next_frame_ += count;
        return true;
    }

  private:
    // The wanted signals of file f over `count` frames from next_frame_.
    bool read_file_block(std::size_t f, std::size_t count, SampleBlock& block,
                         std::string& reason) {
        const WfdbFile& file = header_.files[f];
        const std::size_t width = file.signals.size();
        const Packing packing = packing_of(file.format);
        const std::size_t first_sample = next_frame_ * width / packing.samples * packing.samples;
        const std::size_t end_sample = (next_frame_ + count) * width;
        const std::size_t groups =
            (end_sample - first_sample + packing.samples - 1) / packing.samples;
        if (!files_->read(file.name,
                          file.byte_offset + first_sample / packing.samples * packing.bytes,
                          groups * packing.bytes, bytes_, reason)) {
            reason = file.name + ": " + reason;
            return false;
        }
        const std::size_t held = first_sample + samples_held(file.format, bytes_.size());
        if (held < end_sample) {
            reason = file.name + ": holds only " + samples_text(held / width) + " of " +
                     signals_of(file, header_) + " now; it held " +
                     std::to_string(description_.samples) + " when it was opened";
            return false;
        }
        for (std::size_t k : wanted_of_file_[f])
            if (!decode_column(file, first_sample, count, k, block[k], reason)) return false;
        return true;
    }

    // Wanted signal k of `file` from the bytes read, whose first sample is
    // `first_sample` of the file. False when a gain is so small that the
    // values overflow.
    bool decode_column(const WfdbFile& file, std::size_t first_sample, std::size_t count,
                       std::size_t k, std::vector<double>& microvolts, std::string& reason) {
        const std::size_t signal_index = wanted_[k];
        const WfdbSignal& signal = header_.signals[signal_index];
        const std::size_t width = file.signals.size();
        const std::size_t column = column_of_signal_[signal_index];
        const auto* bytes = reinterpret_cast<const unsigned char*>(bytes_.data());
        std::int64_t& adc_value = adc_values_[signal_index];
        microvolts.resize(count);
        for (std::size_t t = 0; t < count; ++t) {
            const std::size_t sample = (next_frame_ + t) * width + column - first_sample;
            const std::int32_t stored = stored_value(file.format, bytes, sample);
            adc_value = file.format == 8 ? adc_value + stored : stored;
            // Multiplying before dividing keeps values such as -29 * 1000 / 200 exact.
            microvolts[t] = static_cast<double>(adc_value - signal.baseline) *
                            signal.microvolts_per_unit / signal.adc_units_per_unit;
        }
        if (std::all_of(microvolts.begin(), microvolts.end(),
                        [](double value) { return std::isfinite(value); }))
            return true;
        reason = "signal " + in_quotes(signal.label) +
                 ": its gain is too small for its values to be held";
        return false;
    }

    WfdbHeader header_;
    std::unique_ptr<WfdbFiles> files_;
    std::vector<std::size_t> file_of_signal_;    // the file that holds each signal
    std::vector<std::size_t> column_of_signal_;  // its place among that file's signals
    std::vector<std::int64_t> adc_values_;       // each signal's last ADC value
    std::vector<std::size_t> wanted_;
    std::vector<std::vector<std::size_t>> wanted_of_file_;  // indices into wanted_
    std::size_t next_frame_ = 0;
    std::size_t frames_per_block_ = 1;
    std::string bytes_;  // the bytes of the block being decoded
};

}  // namespace

std::unique_ptr<SourceStream> open_wfdb_signals(const WfdbHeader& header,
                                                std::unique_ptr<WfdbFiles> files,
                                                SourceDescription description,
                                                std::string& reason) {
    std::vector<std::size_t> frames_held;
    if (!frames_of_files(header, *files, frames_held, reason) ||
        !record_length(header, frames_held, description.samples, reason))
        return nullptr;
    return std::make_unique<WfdbSignalStream>(header, std::move(files), std::move(description));
}

}  // namespace mapari::importing
