#include "importing/wfdb_header.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>

#include "formats/fields.hpp"
#include "formats/quoted.hpp"

namespace mapari::importing {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The fields of a line, which blanks separate.
class Fields {
  public:
    explicit Fields(std::string_view line) : rest_(line) {}

    // The next field; empty when the line holds no more.
    std::string_view next() {
        skip_blanks();
        std::size_t end = 0;
        while (end < rest_.size() && !is_blank(rest_[end])) ++end;
        const std::string_view field = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return field;
    }

    // What is left of the line, without blanks at either end.
    std::string_view rest() {
        skip_blanks();
        std::string_view text = rest_;
        while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
        return text;
    }

  private:
    void skip_blanks() {
        while (!rest_.empty() && is_blank(rest_.front())) rest_.remove_prefix(1);
    }
    std::string_view rest_;
};

// Sets the reason for a fault of one header line.
class LineFault {
  public:
    LineFault(int line, std::string& reason) : line_(line), reason_(reason) {}

    // "line 3: what"; false, so that a check can end with `return fault(...)`.
    bool operator()(const std::string& what) const {
        reason_ = "line " + std::to_string(line_) + ": " + what;
        return false;
    }

  private:
    int line_;
    std::string& reason_;
};

// A real number as the header writes it ("360", "360.", "3.6e2"); nothing
// when the text is not one whole finite number.
std::optional<double> read_real(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return {};
    }
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return {};
    return value;
}

// ---- the record line ----

// "1000" or "1000(0)": a counter frequency with its optional base counter
// value. Only time stamps use them, and the import has none, but they must
// still be numbers.
bool is_counter(std::string_view text) {
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos) return read_real(text).has_value();
    return text.back() == ')' && read_real(text.substr(0, open)) &&
           read_real(text.substr(open + 1, text.size() - open - 2));
}

// "360", "360/1000" or "360/1000(0)".
bool read_frequencies(std::string_view field, WfdbHeader& header, const LineFault& fault) {
    const std::size_t slash = field.find('/');
    const std::optional<double> rate_hz = read_real(field.substr(0, slash));
    if (!rate_hz || *rate_hz <= 0.0 ||
        (slash != std::string_view::npos && !is_counter(field.substr(slash + 1))))
        return fault(in_quotes(field) + " is not a sampling frequency");
    header.rate_hz = *rate_hz;
    return true;
}

// The record name, the number of signals, the sampling frequency and the
// number of samples. The base time and date that may follow place the
// record in the day, which the import does not use.
bool read_record_line(std::string_view line, std::size_t& signal_count, WfdbHeader& header,
                      const LineFault& fault) {
    Fields fields(line);
    const std::string_view name = fields.next();
    if (name.find('/') != std::string_view::npos)
        return fault("records of several segments (" + in_quotes(name) + ") are not read");
    const std::string_view count_field = fields.next();
    if (count_field.empty()) return fault("the record line gives no number of signals");
    const std::optional<std::int32_t> count = read_whole_number(count_field);
    if (!count || *count < 0) return fault(in_quotes(count_field) + " is not a number of signals");
    if (*count == 0) return fault("the record has no signals");
    signal_count = static_cast<std::size_t>(*count);

    const std::string_view frequency_field = fields.next();
    if (!frequency_field.empty() && !read_frequencies(frequency_field, header, fault)) return false;
    const std::string_view samples_field = fields.next();
    if (samples_field.empty()) return true;
    const std::optional<std::int32_t> samples = read_whole_number(samples_field);
    if (!samples || *samples < 0)
        return fault(in_quotes(samples_field) + " is not a number of samples");
    // 0 leaves the count to the files, as no count does.
    if (*samples > 0) header.samples = static_cast<std::size_t>(*samples);
    return true;
}

// ---- the format field ----

struct Storage {
    int format = 0;
    std::size_t byte_offset = 0;
};

std::string formats_read() {
    std::string list;
    for (int format : wfdb_formats) list += (list.empty() ? "" : ", ") + std::to_string(format);
    return list;
}

// Takes the modifier that `mark` begins from the front of `modifiers`, when
// it is there. False when its number is not a whole number.
bool take_modifier(std::string_view& modifiers, char mark, std::optional<std::int32_t>& value) {
    if (modifiers.empty() || modifiers.front() != mark) return true;
    const std::size_t end = std::min(modifiers.find_first_of("x:+", 1), modifiers.size());
    value = read_whole_number(modifiers.substr(1, end - 1));
    modifiers.remove_prefix(end);
    return value.has_value();
}

// "212", then optionally, in this order, "x1" (samples a frame), ":0" (skew)
// and "+512" (byte offset).
bool read_format_field(std::string_view field, Storage& storage, const LineFault& fault) {
    const std::size_t first_modifier = std::min(field.find_first_of("x:+"), field.size());
    const std::optional<std::int32_t> format = read_whole_number(field.substr(0, first_modifier));
    std::string_view modifiers = field.substr(first_modifier);
    std::optional<std::int32_t> per_frame, skew, offset;
    if (!format || !take_modifier(modifiers, 'x', per_frame) ||
        !take_modifier(modifiers, ':', skew) || !take_modifier(modifiers, '+', offset) ||
        !modifiers.empty() || per_frame.value_or(1) < 1 || offset.value_or(0) < 0)
        return fault(in_quotes(field) + " is not a signal format");
    if (std::find(std::begin(wfdb_formats), std::end(wfdb_formats), *format) ==
        std::end(wfdb_formats))
        return fault("format " + std::to_string(*format) +
                     " is not read (formats read: " + formats_read() + ")");
    if (per_frame.value_or(1) > 1)
        return fault(in_quotes(field) + ": signals of several samples a frame are not read");
    if (skew.value_or(0) != 0) return fault(in_quotes(field) + ": skewed signals are not read");
    storage.format = *format;
    storage.byte_offset = static_cast<std::size_t>(offset.value_or(0));
    return true;
}

// ---- the gain field ----

struct VoltageUnit {
    std::string_view name;
    double microvolts;
};
// Micro is written "u", or in UTF-8 as the micro sign or the Greek small mu.
constexpr VoltageUnit voltage_units[] = {
    {"V", 1.0e6},       {"mV", 1000.0},     {"uV", 1.0},
    {"\xC2\xB5V", 1.0}, {"\xCE\xBCV", 1.0}, {"nV", 0.001},
};

bool read_unit(std::string_view field, std::string_view unit, WfdbSignal& signal,
               const LineFault& fault) {
    if (unit.empty()) return fault(in_quotes(field) + " names no unit after its \"/\"");
    const auto* found =
        std::find_if(std::begin(voltage_units), std::end(voltage_units),
                     [unit](const VoltageUnit& known) { return known.name == unit; });
    if (found == std::end(voltage_units))
        return fault("signal " + in_quotes(signal.label) + " is in " + std::string(unit) +
                     ", not a voltage");
    signal.microvolts_per_unit = found->microvolts;
    signal.unit_given = true;
    return true;
}

// "200", "200(1024)", "200/mV" or "200(0)/uV": the gain, the baseline in
// parentheses and the unit after "/".
bool read_gain_field(std::string_view field, WfdbSignal& signal,
                     std::optional<std::int32_t>& baseline, const LineFault& fault) {
    std::string_view gain_text = field.substr(0, field.find('/'));
    if (gain_text.size() < field.size() &&
        !read_unit(field, field.substr(gain_text.size() + 1), signal, fault))
        return false;
    const std::size_t open = gain_text.find('(');
    if (open != std::string_view::npos) {
        if (gain_text.back() != ')') return fault(in_quotes(field) + " is not a gain");
        const std::string_view baseline_text =
            gain_text.substr(open + 1, gain_text.size() - open - 2);
        baseline = read_whole_number(baseline_text);
        if (!baseline)
            return fault(in_quotes(field) + ": " + in_quotes(baseline_text) + " is not a baseline");
        gain_text = gain_text.substr(0, open);
    }
    const std::optional<double> gain = read_real(gain_text);
    if (!gain) return fault(in_quotes(field) + " is not a gain");
    // A gain of 0 marks an uncalibrated signal, which keeps the assumed gain.
    signal.gain_given = *gain != 0.0;
    if (signal.gain_given) signal.adc_units_per_unit = *gain;
    return true;
}

// ---- the signal lines ----

// Puts the signal among the signals of its file. The signals of one file
// are on consecutive lines and share its format and byte offset.
bool add_to_file(std::string_view file_name, const Storage& storage, WfdbHeader& header,
                 const LineFault& fault) {
    const std::size_t index = header.signals.size() - 1;
    if (!header.files.empty() && header.files.back().name == file_name) {
        WfdbFile& file = header.files.back();
        if (file.format != storage.format || file.byte_offset != storage.byte_offset)
            return fault("the signals of " + file.name + " differ in their format or byte offset");
        file.signals.push_back(index);
        return true;
    }
    if (std::any_of(header.files.begin(), header.files.end(),
                    [file_name](const WfdbFile& file) { return file.name == file_name; }))
        return fault("the signals of " + std::string(file_name) + " are not on consecutive lines");
    header.files.push_back({std::string(file_name), storage.format, storage.byte_offset, {index}});
    return true;
}

// File name, format, gain, ADC resolution, ADC zero, initial value,
// checksum, block size and description; every field after the format may
// be left out, from the right.
bool read_signal_line(std::string_view line, WfdbHeader& header, const LineFault& fault) {
    Fields fields(line);
    const std::string_view file_name = fields.next();
    const std::string_view format_field = fields.next();
    const std::string_view gain_field = fields.next();
    constexpr std::array<const char*, 5> whole_field_names = {
        "an ADC resolution", "an ADC zero", "an initial value", "a checksum", "a block size"};
    std::array<std::optional<std::int32_t>, whole_field_names.size()> whole_fields;
    for (std::size_t i = 0; i < whole_fields.size(); ++i) {
        const std::string_view text = fields.next();
        if (text.empty()) continue;
        whole_fields[i] = read_whole_number(text);
        if (!whole_fields[i]) return fault(in_quotes(text) + " is not " + whole_field_names[i]);
    }
    const std::string_view description = fields.rest();

    WfdbSignal signal;
    signal.label = description.empty() ? "signal " + std::to_string(header.signals.size() + 1)
                                       : std::string(description);
    if (file_name == "~") return fault("signal " + in_quotes(signal.label) + " is kept in no file");
    if (format_field.empty()) return fault("no signal format follows the file name");
    Storage storage;
    std::optional<std::int32_t> baseline;
    if (!read_format_field(format_field, storage, fault) ||
        (!gain_field.empty() && !read_gain_field(gain_field, signal, baseline, fault)))
        return false;
    // The ADC resolution, checksum and block size say nothing the decoding needs.
    const std::int32_t adc_zero = whole_fields[1].value_or(0);
    signal.initial_value = whole_fields[2].value_or(adc_zero);
    signal.baseline = baseline.value_or(adc_zero);
    header.signals.push_back(std::move(signal));
    return add_to_file(file_name, storage, header, fault);
}

// Comment lines begin with "#", after blanks, if any.
bool is_empty_or_comment(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == '#';
}

}  // namespace

bool parse_wfdb_header(std::string_view text, WfdbHeader& header, std::string& reason) {
    header = WfdbHeader{};
    std::size_t signal_count = 0;
    bool record_line_read = false;
    int line_number = 0;
    // Signal lines beyond the count of the record line are left unread, as
    // the format has it.
    while (!text.empty() && (!record_line_read || header.signals.size() < signal_count)) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (is_empty_or_comment(line)) continue;
        const LineFault fault(line_number, reason);
        if (record_line_read) {
            if (!read_signal_line(line, header, fault)) return false;
        } else {
            if (!read_record_line(line, signal_count, header, fault)) return false;
            record_line_read = true;
        }
    }
    if (!record_line_read) {
        reason = "no record line, only comments and empty lines";
        return false;
    }
    if (header.signals.size() < signal_count) {
        reason = "the record line counts " + std::to_string(signal_count) +
                 " signals; the lines after it describe " + std::to_string(header.signals.size());
        return false;
    }
    return true;
}

}  // namespace mapari::importing
