#include "importing/biosig_reader.hpp"

#include <biosig.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "formats/fields.hpp"
#include "formats/quoted.hpp"

namespace mapari::importing {
namespace {

// The most samples BioSig is asked to convert at once into a matrix of its
// own, when a file is read whole.
constexpr std::size_t samples_per_read = std::size_t{1} << 24;
constexpr double microvolts_per_volt = 1e6;
constexpr double microvolts_per_millivolt = 1e3;
// Physical units are coded as in ISO/IEEE 11073-10101: a unit's code with its
// decimal prefix in the low five bits.
constexpr std::uint16_t prefix_bits = 0x1f;
constexpr std::uint16_t volt_code = 4256;  // PhysDimCode("V")

struct HeaderDestroyer {
    void operator()(HDRTYPE* header) const { destructHDR(header); }
};
using Header = std::unique_ptr<HDRTYPE, HeaderDestroyer>;

// A channel of the file taken as a signal.
struct TakenChannel {
    std::size_t channel = 0;  // its index among the file's channels
    std::string label;
    double microvolts_per_unit = 1.0;
};

// BioSig's error message without its "ERROR ... SOPEN(read):" lead and
// closing full stop.
std::string biosig_reason(const HDRTYPE& header) {
    if (header.AS.B4C_ERRMSG == nullptr)
        return "BioSig error " + std::to_string(header.AS.B4C_ERRNUM);
    std::string message(trimmed(header.AS.B4C_ERRMSG));
    const auto lead_end = message.find_first_of(":;");
    if (strncasecmp(message.c_str(), "error", 5) == 0 && lead_end != std::string::npos)
        message = std::string(trimmed(std::string_view(message).substr(lead_end + 1)));
    if (message.ends_with('.')) message.pop_back();
    return message;
}

bool has_edf_layout(const HDRTYPE& header) {
    return (header.TYPE == EDF || header.TYPE == BDF) && header.AS.Header != nullptr &&
           header.HeadLen >= 256u * (header.NS + 1u);
}

// A field of an EDF or BDF header as the file holds it.
std::string edf_field(const HDRTYPE& header, std::size_t offset, std::size_t width) {
    return std::string(
        trimmed(std::string_view(reinterpret_cast<const char*>(header.AS.Header) + offset, width)));
}

// The unit text of an EDF or BDF channel: 8 characters after the labels (16)
// and transducers (80) of all channels.
std::string edf_unit_text(const HDRTYPE& header, std::size_t channel) {
    return edf_field(header, 256 + 96 * std::size_t{header.NS} + 8 * channel, 8);
}

// The format as BioSig names it; EDF+ and BDF+ say so in the header's
// reserved field, GDF and SCP-ECG carry a version worth telling.
std::string format_name(const HDRTYPE& header) {
    const char* name = header.TYPE == GDF1 ? "GDF" : GetFileTypeString(header.TYPE);
    std::string format = name != nullptr ? name : "BioSig format " + std::to_string(header.TYPE);
    if (has_edf_layout(header) && edf_field(header, 192, 4).ends_with('+')) format += "+";
    if ((header.TYPE == GDF || header.TYPE == GDF1 || header.TYPE == SCP_ECG) &&
        header.VERSION > 0) {
        char version[32];
        std::snprintf(version, sizeof version, " %g", static_cast<double>(header.VERSION));
        format += version;
    }
    return format;
}

bool is_annotation_channel(const CHANNEL_TYPE& channel) {
    const std::string label(trimmed(channel.Label));
    return label == "EDF Annotations" || label == "BDF Annotations";
}

// The channels that hold signals; BioSig turns off the event, status and
// annotation channels it decodes itself, and this turns off the rest.
std::vector<TakenChannel> take_signal_channels(HDRTYPE& header) {
    std::vector<TakenChannel> taken;
    for (std::size_t index = 0; index < header.NS; ++index) {
        CHANNEL_TYPE& channel = header.CHANNEL[index];
        if (channel.OnOff == 1 && !is_annotation_channel(channel))
            taken.push_back({index, std::string(trimmed(channel.Label)), 1.0});
        else
            channel.OnOff = 0;
    }
    return taken;
}

// A unit text BioSig does not know, with the micro sign written in UTF-8
// (BioSig knows only the Latin-1 one), coded again with the letter u.
std::uint16_t code_of_unit_text(const std::string& text) {
    for (const std::string_view micro : {"\xc2\xb5", "\xce\xbc"})
        if (text.starts_with(micro)) {
            std::string spelled(1, 'u');
            spelled.append(text, micro.size());
            return PhysDimCode(spelled.c_str());
        }
    return PhysDimCode(text.c_str());
}

// How each signal's values become microvolts. A signal with no unit is taken
// as millivolts, as the other readers take unit-less values; the note says so.
bool find_unit_scales(const HDRTYPE& header, std::vector<TakenChannel>& taken,
                      std::string& unit_note, std::string& reason) {
    std::vector<std::string> unitless;
    for (TakenChannel& signal : taken) {
        std::uint16_t code = header.CHANNEL[signal.channel].PhysDimCode;
        const std::string text =
            has_edf_layout(header) ? edf_unit_text(header, signal.channel) : "";
        if (code == 0 && !text.empty()) code = code_of_unit_text(text);
        if (code == 0 && text.empty()) {
            signal.microvolts_per_unit = microvolts_per_millivolt;
            unitless.push_back(in_quotes(signal.label));
            continue;
        }
        if ((code & ~prefix_bits) != volt_code) {
            const char* unit = code != 0 ? PhysDim3(code) : nullptr;
            reason = "has signal " + in_quotes(signal.label) + " in " +
                     (unit != nullptr ? unit : text) + ", not a voltage";
            return false;
        }
        signal.microvolts_per_unit = PhysDimScale(code) * microvolts_per_volt;
    }
    if (unitless.empty()) return true;
    unit_note = unitless.size() == 1 ? "signal " : "signals ";
    for (std::size_t index = 0; index < unitless.size(); ++index)
        unit_note += (index == 0 ? "" : ", ") + unitless[index];
    unit_note += ": no unit; taken as millivolts";
    return true;
}

// Every signal must come at the file's one rate (as many samples a record as
// the record's longest channel): BioSig would repeat the samples of a slower
// one to fill the record.
bool check_one_rate(const HDRTYPE& header, const std::vector<TakenChannel>& taken,
                    std::string& reason) {
    std::vector<std::pair<std::uint32_t, std::string>> samples_per_record;
    for (const TakenChannel& signal : taken) {
        const std::uint32_t per_record = header.CHANNEL[signal.channel].SPR;
        if (std::none_of(samples_per_record.begin(), samples_per_record.end(),
                         [&](const auto& seen) { return seen.first == per_record; }))
            samples_per_record.emplace_back(per_record, signal.label);
    }
    if (samples_per_record.size() == 1 && samples_per_record[0].first == header.SPR) return true;
    reason = "has signals of different rates:";
    for (std::size_t index = 0; index < samples_per_record.size(); ++index) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%g",
                      header.SampleRate * samples_per_record[index].first / header.SPR);
        reason += (index == 0 ? " " : ", ") + in_quotes(samples_per_record[index].second) + " at " +
                  rate + " Hz";
    }
    return false;
}

std::string shorter_than_header(std::uintmax_t records_held, std::uintmax_t records) {
    return "is shorter than its header says: it holds " + std::to_string(records_held) + " of " +
           std::to_string(records) + " data records";
}

// EDF, BDF and GDF keep their data records one after another in the file, so
// a block of records can be read alone; the other formats are read whole.
bool has_plain_records(const HDRTYPE& header) {
    const bool plain_format =
        header.TYPE == EDF || header.TYPE == BDF || header.TYPE == GDF || header.TYPE == GDF1;
    return plain_format && header.FILE.COMPRESSION == 0 && header.AS.bpb != 0;
}

// BioSig reads a short EDF, BDF or GDF file only in part and says so on the
// standard error; its length is checked here first (when it is opened, and
// again before each block, as it may have shrunk since), so that such a file
// is refused before BioSig prints anything.
bool check_file_length(const std::filesystem::path& file, const HDRTYPE& header,
                       std::string& reason) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!has_plain_records(header) || error) return true;
    const std::uintmax_t records = static_cast<std::uintmax_t>(header.NRec);
    if (size >= header.HeadLen + records * header.AS.bpb) return true;
    reason = shorter_than_header(
        size < header.HeadLen ? 0 : (size - header.HeadLen) / header.AS.bpb, records);
    return false;
}

// The column scaled; false when a value is no finite number.
bool scale_column(const double* column, std::size_t length, double scale,
                  std::vector<double>& microvolts) {
    microvolts.resize(length);
    bool finite = true;
    for (std::size_t sample = 0; sample < length; ++sample) {
        microvolts[sample] = column[sample] * scale;
        finite &= std::isfinite(microvolts[sample]);
    }
    return finite;
}

// The signals of an open file, read a block of data records at a time where
// the format keeps its records plainly; a file of another format is one
// block, read a group of channels at a time over all its records, so that
// BioSig's matrix stays small beside the result.
class BiosigStream final : public SourceStream {
  public:
    BiosigStream(Header header, std::vector<TakenChannel> taken, std::filesystem::path file,
                 std::string unit_note)
        : header_(std::move(header)), taken_(std::move(taken)), file_(std::move(file)) {
        description_.format = format_name(*header_);
        description_.unit_note = std::move(unit_note);
        description_.rate_hz = std::isfinite(header_->SampleRate) && header_->SampleRate > 0
                                   ? header_->SampleRate
                                   : 0.0;
        for (const TakenChannel& signal : taken_) description_.labels.push_back(signal.label);
        description_.samples = records() * header_->SPR;
    }

    void restart(const std::vector<std::size_t>& wanted, std::size_t block_samples) override {
        wanted_ = wanted;
        next_record_ = 0;
        const std::size_t signals = std::max<std::size_t>(1, wanted.size());
        if (has_plain_records(*header_)) {
            records_per_block_ = std::max<std::size_t>(1, block_samples / header_->SPR / signals);
            signals_per_read_ = signals;
        } else {
            records_per_block_ = std::max<std::size_t>(1, records());
            signals_per_read_ = std::clamp<std::size_t>(
                samples_per_read / std::max<std::size_t>(1, description_.samples), 1, signals);
        }
    }

    bool next_block(SampleBlock& block, std::string& reason) override {
        block.assign(wanted_.size(), {});
        if (next_record_ >= records() || wanted_.empty()) return true;
        const std::size_t count = std::min(records_per_block_, records() - next_record_);
        for (std::size_t first = 0; first < wanted_.size(); first += signals_per_read_)
            if (!read_group(first, std::min(first + signals_per_read_, wanted_.size()), count,
                            block, reason))
                return false;
        next_record_ += count;
        return true;
    }

  private:
    std::size_t records() const { return static_cast<std::size_t>(header_->NRec); }

    // Turns on the channels of wanted signals first to end, and only those.
    void select(std::size_t first, std::size_t end) {
        for (const TakenChannel& signal : taken_) header_->CHANNEL[signal.channel].OnOff = 0;
        for (std::size_t k = first; k < end; ++k)
            header_->CHANNEL[taken_[wanted_[k]].channel].OnOff = 1;
    }

    // Makes ready to read records from next_record_ of a file of plain records.
    bool prepare_plain_read(std::string& reason) {
        if (!check_file_length(file_, *header_, reason)) return false;
        // BioSig (2.5) converts a read from the records it last kept
        // (AS.first) rather than from those it has just read, misplacing any
        // read that does not start at the first record; told that it keeps
        // none from here on, it reads and converts these.
        header_->AS.first = next_record_;
        header_->AS.length = 0;
        return true;
    }

    // Wanted signals first to end (their channels in ascending order, as
    // BioSig gives its columns) over `count` records from next_record_.
    bool read_group(std::size_t first, std::size_t end, std::size_t count, SampleBlock& block,
                    std::string& reason) {
        select(first, end);
        if (has_plain_records(*header_) && !prepare_plain_read(reason)) return false;
        const std::size_t read = sread(nullptr, next_record_, count, header_.get());
        if (header_->AS.B4C_ERRNUM != 0) {
            reason = "cannot be read: " + biosig_reason(*header_);
            return false;
        }
        if (read != count) {
            reason = shorter_than_header(next_record_ + read, records());
            return false;
        }
        const std::size_t length = count * header_->SPR;
        if (header_->data.size[0] != length || header_->data.size[1] != end - first) {
            reason = "cannot be read: BioSig gave its data in an unexpected shape";
            return false;
        }
        for (std::size_t k = first; k < end; ++k) {
            const TakenChannel& signal = taken_[wanted_[k]];
            if (!scale_column(header_->data.block + (k - first) * length, length,
                              signal.microvolts_per_unit, block[k])) {
                reason =
                    "has signal " + in_quotes(signal.label) + " holding values that are no numbers";
                return false;
            }
        }
        return true;
    }

    Header header_;
    std::vector<TakenChannel> taken_;
    std::filesystem::path file_;
    std::vector<std::size_t> wanted_;
    std::size_t next_record_ = 0;
    std::size_t records_per_block_ = 1;
    std::size_t signals_per_read_ = 1;
};

std::unique_ptr<SourceStream> stream_of_open_file(const std::filesystem::path& file, Header header,
                                                  std::string& reason) {
    std::vector<TakenChannel> taken = take_signal_channels(*header);
    if (taken.empty()) {
        reason = "holds no signals";
        return nullptr;
    }
    if (header->NRec < 0 || header->SPR == 0) {
        reason = "does not say how many samples it holds";
        return nullptr;
    }
    std::string unit_note;
    if (!find_unit_scales(*header, taken, unit_note, reason) ||
        !check_one_rate(*header, taken, reason) || !check_file_length(file, *header, reason))
        return nullptr;
    // BioSig would make samples at either end of the digital range no
    // numbers; they stay values, and the import reports clipping itself.
    header->FLAG.OVERFLOWDETECTION = 0;
    header->FLAG.UCAL = 0;
    header->FLAG.ROW_BASED_CHANNELS = 0;
    return std::make_unique<BiosigStream>(std::move(header), std::move(taken), file, unit_note);
}

}  // namespace

std::unique_ptr<SourceStream> open_biosig_file(const std::filesystem::path& file,
                                               std::string& reason) {
    Header header(sopen(file.c_str(), "r", nullptr));
    if (header == nullptr) {
        reason = "cannot be read: BioSig cannot open it";
        return nullptr;
    }
    if (header->AS.B4C_ERRNUM != 0) {
        reason = "cannot be read: " + biosig_reason(*header);
        return nullptr;
    }
    return stream_of_open_file(file, std::move(header), reason);
}

bool read_biosig_file(const std::filesystem::path& file, SourceRecording& recording,
                      std::string& reason) {
    const std::unique_ptr<SourceStream> stream = open_biosig_file(file, reason);
    return stream && read_whole_source(*stream, recording, reason);
}

}  // namespace mapari::importing
