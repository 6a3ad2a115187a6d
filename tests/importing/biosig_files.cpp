#include "biosig_files.hpp"

#include <biosig.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

namespace mapari::importing_tests {
namespace {

constexpr double spike_half_width_ms = 10.0;
constexpr long annotation_samples_per_record = 30;
constexpr int edf_bits = 16;
constexpr int bdf_bits = 24;

enum class Flavour { edf, edf_plus, bdf };

// How the signals fill the 1-s data records.
struct RecordPlan {
    long records = 0;
    std::vector<long> samples_per_record;  // one a signal
    std::vector<Calibration> calibrations;
};

bool is_whole_and_positive(double value) {
    return value > 0 && value == std::floor(value);
}

// The shortest fixed-point text that reads back as exactly `value`; for a
// value made by widened_to_eight_characters, at most 8 characters.
std::string eight_characters(double value) {
    char text[64];
    int decimals = 0;
    do std::snprintf(text, sizeof text, "%.*f", decimals, value);
    while (std::strtod(text, nullptr) != value && ++decimals <= 7);
    return text;
}

// `value` moved up (or down) to the nearest number an 8-character field
// holds, so that the range written still holds every value.
std::optional<double> widened_to_eight_characters(double value, bool upward) {
    char text[64];
    for (int decimals = 7; decimals >= 0; --decimals) {
        const double scale = std::pow(10.0, decimals);
        const double scaled = value * scale;
        const double rounded = (upward ? std::ceil(scaled) : std::floor(scaled)) / scale;
        std::snprintf(text, sizeof text, "%.*f", decimals, rounded);
        if (std::strlen(text) <= 8) return std::strtod(text, nullptr);
    }
    return std::nullopt;
}

bool plan_records(double rate_hz, const std::vector<TestSignal>& signals, int bits,
                  RecordPlan& plan, std::string& reason) {
    if (signals.empty()) {
        reason = "there are no signals to write";
        return false;
    }
    plan = {};
    for (const TestSignal& signal : signals) {
        const double signal_rate_hz = signal.rate_hz > 0 ? signal.rate_hz : rate_hz;
        if (!is_whole_and_positive(signal_rate_hz)) {
            reason = "signal " + signal.label + ": the rate is not a whole number of hertz";
            return false;
        }
        const auto per_record = static_cast<long>(signal_rate_hz);
        const auto samples = static_cast<long>(signal.values.size());
        const long records = samples / per_record;
        if (records == 0 || samples % per_record != 0) {
            reason = "signal " + signal.label + " does not fill whole 1-s records";
            return false;
        }
        if (plan.records != 0 && records != plan.records) {
            reason = "signal " + signal.label + " lasts " + std::to_string(records) + " s, not " +
                     std::to_string(plan.records) + " s like the others";
            return false;
        }
        const std::optional<Calibration> calibration = calibration_for(signal.values, bits);
        if (!calibration) {
            reason = "signal " + signal.label + " has values beyond 8-character numbers";
            return false;
        }
        plan.records = records;
        plan.samples_per_record.push_back(per_record);
        plan.calibrations.push_back(*calibration);
    }
    return true;
}

// `text` left-aligned in a field of `width` ASCII characters.
bool append_field(std::string& header, const std::string& text, std::size_t width,
                  std::string& reason) {
    if (text.size() > width) {
        reason =
            "\"" + text + "\" is longer than its " + std::to_string(width) + "-character field";
        return false;
    }
    header += text;
    header.append(width - text.size(), ' ');
    return true;
}

struct ChannelFields {
    std::string label, unit, physical_minimum, physical_maximum, digital_minimum, digital_maximum;
    long samples_per_record = 0;
};

std::vector<ChannelFields> channel_fields(const std::vector<TestSignal>& signals,
                                          const RecordPlan& plan, Flavour flavour) {
    std::vector<ChannelFields> channels;
    for (std::size_t index = 0; index < signals.size(); ++index) {
        const Calibration& calibration = plan.calibrations[index];
        channels.push_back({signals[index].label, signals[index].unit,
                            eight_characters(calibration.physical_minimum),
                            eight_characters(calibration.physical_maximum),
                            eight_characters(calibration.digital_minimum),
                            eight_characters(calibration.digital_maximum),
                            plan.samples_per_record[index]});
    }
    if (flavour == Flavour::edf_plus)
        channels.push_back(
            {"EDF Annotations", "", "-1", "1", "-32768", "32767", annotation_samples_per_record});
    return channels;
}

// The fields that tell the three kinds apart, and the patient and recording
// fields EDF+ gives a structure.
struct Identity {
    std::string version, patient, recording, reserved;
};

Identity identity_of(Flavour flavour) {
    switch (flavour) {
        case Flavour::edf_plus:
            return {"0", "X X X X", "Startdate 01-JAN-2024 X X X", "EDF+C"};
        case Flavour::bdf:
            return {std::string(1, '\xff') + "BIOSEMI", "mapari test", "mapari test", "24BIT"};
        case Flavour::edf:
            break;
    }
    return {"0", "mapari test", "mapari test", ""};
}

bool edf_header(const std::vector<ChannelFields>& channels, long records, Flavour flavour,
                std::string& header, std::string& reason) {
    const Identity identity = identity_of(flavour);
    header.clear();
    bool fits = append_field(header, identity.version, 8, reason) &&
                append_field(header, identity.patient, 80, reason) &&
                append_field(header, identity.recording, 80, reason) &&
                append_field(header, "01.01.24", 8, reason) &&
                append_field(header, "00.00.00", 8, reason) &&
                append_field(header, std::to_string(256 * (channels.size() + 1)), 8, reason) &&
                append_field(header, identity.reserved, 44, reason) &&
                append_field(header, std::to_string(records), 8, reason) &&
                append_field(header, "1", 8, reason) &&
                append_field(header, std::to_string(channels.size()), 4, reason);
    const auto each = [&](std::size_t width, auto field_of) {
        for (const ChannelFields& channel : channels)
            fits = fits && append_field(header, field_of(channel), width, reason);
    };
    each(16, [](const ChannelFields& channel) { return channel.label; });
    each(80, [](const ChannelFields&) { return std::string(); });
    each(8, [](const ChannelFields& channel) { return channel.unit; });
    each(8, [](const ChannelFields& channel) { return channel.physical_minimum; });
    each(8, [](const ChannelFields& channel) { return channel.physical_maximum; });
    each(8, [](const ChannelFields& channel) { return channel.digital_minimum; });
    each(8, [](const ChannelFields& channel) { return channel.digital_maximum; });
    each(80, [](const ChannelFields&) { return std::string(); });
    each(8,
         [](const ChannelFields& channel) { return std::to_string(channel.samples_per_record); });
    each(32, [](const ChannelFields&) { return std::string(); });
    return fits;
}

void append_little_endian(std::string& bytes, long value, int byte_count) {
    const auto bits = static_cast<unsigned long>(value);
    for (int byte = 0; byte < byte_count; ++byte)
        bytes += static_cast<char>((bits >> (8 * byte)) & 0xff);
}

// The record's time-keeping annotation (its onset in seconds) and a "mark"
// half a second into it, then zeros.
std::string record_annotations(long record) {
    const std::string onset = "+" + std::to_string(record);
    const char separator = '\x14';
    std::string annotations = onset + separator + separator + '\0';
    annotations += onset + ".5" + separator + "mark" + separator + '\0';
    annotations.resize(static_cast<std::size_t>(2 * annotation_samples_per_record), '\0');
    return annotations;
}

bool write_edf_family(const std::filesystem::path& file, double rate_hz,
                      const std::vector<TestSignal>& signals, Flavour flavour,
                      std::string& reason) {
    const int bits = flavour == Flavour::bdf ? bdf_bits : edf_bits;
    RecordPlan plan;
    std::string header;
    if (!plan_records(rate_hz, signals, bits, plan, reason) ||
        !edf_header(channel_fields(signals, plan, flavour), plan.records, flavour, header, reason))
        return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << header;
    std::string record_bytes;
    for (long record = 0; record < plan.records; ++record) {
        record_bytes.clear();
        for (std::size_t index = 0; index < signals.size(); ++index) {
            const long per_record = plan.samples_per_record[index];
            const double* values = signals[index].values.data() + record * per_record;
            for (long sample = 0; sample < per_record; ++sample)
                append_little_endian(
                    record_bytes, plan.calibrations[index].digital_value(values[sample]), bits / 8);
        }
        if (flavour == Flavour::edf_plus) record_bytes += record_annotations(record);
        out.write(record_bytes.data(), static_cast<std::streamsize>(record_bytes.size()));
    }
    out.close();
    if (!out) reason = "cannot write " + file.string();
    return static_cast<bool>(out);
}

// The samples as BioSig's writer takes them: one column a channel, each at
// the file's common rate (a slower channel's sample repeated to fill it).
std::vector<double> gdf_columns(const std::vector<TestSignal>& signals, const RecordPlan& plan,
                                std::size_t common_per_record) {
    const std::size_t column_length = common_per_record * static_cast<std::size_t>(plan.records);
    std::vector<double> columns(column_length * signals.size());
    for (std::size_t index = 0; index < signals.size(); ++index) {
        const auto repeat =
            common_per_record / static_cast<std::size_t>(plan.samples_per_record[index]);
        double* column = columns.data() + index * column_length;
        for (std::size_t at = 0; at < column_length; ++at)
            column[at] = static_cast<double>(
                plan.calibrations[index].digital_value(signals[index].values[at / repeat]));
    }
    return columns;
}

void describe_gdf_channels(HDRTYPE& header, const std::vector<TestSignal>& signals,
                           const RecordPlan& plan) {
    for (std::size_t index = 0; index < signals.size(); ++index) {
        CHANNEL_TYPE& channel = header.CHANNEL[index];
        const Calibration& calibration = plan.calibrations[index];
        std::snprintf(channel.Label, sizeof channel.Label, "%s", signals[index].label.c_str());
        channel.PhysDimCode = PhysDimCode(signals[index].unit.c_str());
        channel.PhysMin = calibration.physical_minimum;
        channel.PhysMax = calibration.physical_maximum;
        channel.DigMin = calibration.digital_minimum;
        channel.DigMax = calibration.digital_maximum;
        channel.Cal = calibration.step();
        channel.Off = calibration.physical_minimum - calibration.digital_minimum * channel.Cal;
        channel.GDFTYP = 3;  // int16
        channel.OnOff = 1;
        channel.SPR = static_cast<std::uint32_t>(plan.samples_per_record[index]);
    }
}

// A triangular spike of `peak` centred on `centre_ms`, 20 ms wide at its base.
void add_spike(std::vector<double>& values, double rate_hz, double centre_ms, double peak) {
    const double from =
        std::max(0.0, std::ceil((centre_ms - spike_half_width_ms) * rate_hz / 1000));
    const double to = std::floor((centre_ms + spike_half_width_ms) * rate_hz / 1000);
    for (auto sample = static_cast<std::size_t>(from);
         sample < values.size() && static_cast<double>(sample) <= to; ++sample) {
        const double distance_ms =
            std::abs(static_cast<double>(sample) * 1000 / rate_hz - centre_ms);
        values[sample] += peak * std::max(0.0, 1.0 - distance_ms / spike_half_width_ms);
    }
}

}  // namespace

double Calibration::step() const {
    return (physical_maximum - physical_minimum) / (digital_maximum - digital_minimum);
}

long Calibration::digital_value(double physical) const {
    const double digital = std::round((physical - physical_minimum) / step() + digital_minimum);
    return static_cast<long>(std::clamp(digital, digital_minimum, digital_maximum));
}

std::optional<Calibration> calibration_for(const std::vector<double>& values, int bits) {
    const auto [smallest, largest] = std::minmax_element(values.begin(), values.end());
    const double lowest = values.empty() ? 0.0 : *smallest;
    double highest = values.empty() ? 0.0 : *largest;
    if (highest == lowest) highest = lowest + 1.0;
    const std::optional<double> minimum = widened_to_eight_characters(lowest, false);
    const std::optional<double> maximum = widened_to_eight_characters(highest, true);
    if (!minimum || !maximum) return std::nullopt;
    const double half_range = std::ldexp(1.0, bits - 1);
    return Calibration{*minimum, *maximum, -half_range, half_range - 1.0};
}

bool write_edf(const std::filesystem::path& file, double rate_hz,
               const std::vector<TestSignal>& signals, std::string& reason) {
    return write_edf_family(file, rate_hz, signals, Flavour::edf, reason);
}

bool write_edf_plus(const std::filesystem::path& file, double rate_hz,
                    const std::vector<TestSignal>& signals, std::string& reason) {
    return write_edf_family(file, rate_hz, signals, Flavour::edf_plus, reason);
}

bool write_bdf(const std::filesystem::path& file, double rate_hz,
               const std::vector<TestSignal>& signals, std::string& reason) {
    return write_edf_family(file, rate_hz, signals, Flavour::bdf, reason);
}

bool write_gdf(const std::filesystem::path& file, double rate_hz,
               const std::vector<TestSignal>& signals, std::string& reason) {
    RecordPlan plan;
    if (!plan_records(rate_hz, signals, edf_bits, plan, reason)) return false;
    const std::unique_ptr<HDRTYPE, void (*)(HDRTYPE*)> header(
        constructHDR(static_cast<unsigned>(signals.size()), 0), destructHDR);
    header->TYPE = GDF;
    header->SampleRate = rate_hz;
    header->SPR = static_cast<std::uint32_t>(rate_hz);
    header->NRec = plan.records;
    header->FLAG.UCAL = 1;  // the samples handed over are digital values already
    describe_gdf_channels(*header, signals, plan);
    if (sopen(file.c_str(), "w", header.get()) == nullptr || header->AS.B4C_ERRNUM != 0) {
        reason = "BioSig cannot write " + file.string();
        return false;
    }
    const std::vector<double> columns = gdf_columns(signals, plan, header->SPR);
    const std::size_t written =
        swrite(columns.data(), static_cast<std::size_t>(plan.records), header.get());
    const bool whole =
        written == static_cast<std::size_t>(plan.records) && header->AS.B4C_ERRNUM == 0;
    sclose(header.get());
    if (!whole) reason = "BioSig wrote " + file.string() + " only in part";
    return whole;
}

std::vector<double> beat_train(double rate_hz, double seconds, double first_ms, double period_ms,
                               double peak_microvolts) {
    const auto samples = static_cast<std::size_t>(std::llround(rate_hz * seconds));
    std::vector<double> values(samples, 0.0);
    const double last_ms = seconds * 1000.0 + spike_half_width_ms;
    for (double beat_ms = first_ms; beat_ms <= last_ms; beat_ms += period_ms) {
        add_spike(values, rate_hz, beat_ms, peak_microvolts);
        if (period_ms <= 0) break;
    }
    return values;
}

std::vector<double> ramp(double rate_hz, double seconds, double first, double last) {
    const auto samples = static_cast<std::size_t>(std::llround(rate_hz * seconds));
    std::vector<double> values(samples, first);
    for (std::size_t sample = 1; sample < samples; ++sample)
        values[sample] =
            first + (last - first) * static_cast<double>(sample) / static_cast<double>(samples - 1);
    return values;
}

}  // namespace mapari::importing_tests
