// The delimiter and the header are found from the first lines; then every
// line is split in place and its numbers appended to the signals, so that a
// long table costs no allocation beyond the signals themselves.
#include "importing/delimited_text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <vector>

#include "formats/fields.hpp"
#include "formats/quoted.hpp"

namespace mapari::importing {
namespace {

enum class Delimiter { comma, semicolon, tab, blanks };

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr double microvolts_per_millivolt = 1000.0;

struct VoltageUnit {
    std::string_view name;
    double microvolts;
};
// "µ" both as the micro sign and as the Greek letter mu.
constexpr VoltageUnit voltage_units[] = {
    {"mV", 1e3}, {"uV", 1.0}, {"\xC2\xB5V", 1.0}, {"\xCE\xBCV", 1.0}, {"V", 1e6}};

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The blanks of is_blank, around a field or making a line empty.
constexpr std::string_view field_blanks = " \t";

// A tab wins over a semicolon and a semicolon over a comma: a table whose
// numbers carry decimal commas then splits where its columns part, and its
// first number says what is wrong.
Delimiter delimiter_of(std::string_view line) {
    if (line.find('\t') != std::string_view::npos) return Delimiter::tab;
    if (line.find(';') != std::string_view::npos) return Delimiter::semicolon;
    if (line.find(',') != std::string_view::npos) return Delimiter::comma;
    return Delimiter::blanks;
}

std::string format_of(Delimiter delimiter) {
    switch (delimiter) {
        case Delimiter::comma:
            return "CSV";
        case Delimiter::tab:
            return "TSV";
        case Delimiter::semicolon:
            return "text (semicolons)";
        case Delimiter::blanks:
            break;
    }
    return "text (blanks)";
}

// The lines of a text with their 1-based numbers, passing over lines that
// hold only blanks; a CR before the LF is dropped.
class Lines {
  public:
    explicit Lines(std::string_view text) : rest_(text) {}

    bool next_filled(std::string_view& line) {
        while (!rest_.empty()) {
            const std::size_t end = std::min(rest_.find('\n'), rest_.size());
            line = rest_.substr(0, end);
            rest_.remove_prefix(std::min(end + 1, rest_.size()));
            ++number_;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (!trimmed(line, field_blanks).empty()) return true;
        }
        return false;
    }
    std::size_t number() const { return number_; }

  private:
    std::string_view rest_;
    std::size_t number_ = 0;
};

// The fields of one line, taken one at a time without copying. Blanks around
// a field are not part of it; with blanks as the delimiter a run of them is
// one delimiter.
class Fields {
  public:
    Fields(std::string_view line, Delimiter delimiter)
        : rest_(line), delimiter_(delimiter), separator_(separator_of(delimiter)) {}

    bool next(std::string_view& field) {
        if (delimiter_ == Delimiter::blanks) {
            rest_ = trimmed(rest_, field_blanks);
            if (rest_.empty()) return false;
            const auto end = static_cast<std::size_t>(
                std::find_if(rest_.begin(), rest_.end(), is_blank) - rest_.begin());
            field = rest_.substr(0, end);
            rest_.remove_prefix(end);
            return true;
        }
        if (finished_) return false;
        const std::size_t end = rest_.find(separator_);
        finished_ = end == std::string_view::npos;
        field = trimmed(rest_.substr(0, end), field_blanks);
        rest_.remove_prefix(finished_ ? rest_.size() : end + 1);
        return true;
    }

  private:
    static char separator_of(Delimiter delimiter) {
        return delimiter == Delimiter::tab ? '\t' : delimiter == Delimiter::semicolon ? ';' : ',';
    }

    std::string_view rest_;
    Delimiter delimiter_;
    char separator_;
    bool finished_ = false;
};

std::size_t count_fields(std::string_view line, Delimiter delimiter) {
    Fields fields(line, delimiter);
    std::size_t count = 0;
    for (std::string_view field; fields.next(field);) ++count;
    return count;
}

enum class Reading { number, not_a_number, not_finite, out_of_range };

// A decimal number with an optional sign and exponent, read without regard
// to the locale.
Reading read_number(std::string_view field, double& value) {
    if (field.starts_with('+') && !field.substr(1).starts_with('-')) field.remove_prefix(1);
    const char* const end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    if (error == std::errc::invalid_argument || stop != end) return Reading::not_a_number;
    if (error == std::errc::result_out_of_range) return Reading::out_of_range;
    return std::isfinite(value) ? Reading::number : Reading::not_finite;
}

bool holds_only_numbers(std::string_view line) {
    Fields fields(line, delimiter_of(line));
    double value = 0.0;
    for (std::string_view field; fields.next(field);)
        if (read_number(field, value) == Reading::not_a_number) return false;
    return true;
}

// The header's fields; with blanks as the delimiter a unit in brackets
// belongs to the label before it ("V1 [uV]"), not to a column of its own.
std::vector<std::string_view> header_fields(std::string_view line, Delimiter delimiter) {
    std::vector<std::string_view> fields;
    Fields cursor(line, delimiter);
    for (std::string_view field; cursor.next(field);) {
        const bool unit_alone = delimiter == Delimiter::blanks && !fields.empty() &&
                                (field.starts_with('[') || field.starts_with('('));
        if (!unit_alone) {
            fields.push_back(field);
            continue;
        }
        const char* label = fields.back().data();
        fields.back() = {label, static_cast<std::size_t>(field.data() + field.size() - label)};
    }
    return fields;
}

// One column: its signal, and what a value of it is in microvolts.
struct Column {
    SourceSignal signal;
    double microvolts_per_value = microvolts_per_millivolt;
    bool unit_stated = false;
};

// A header field as label and unit, "V1 [uV]" or "V1 (mV)"; quotes around
// the whole field are dropped. False, with the problem, when the brackets
// hold no unit of voltage.
bool read_column_name(std::string_view field, Column& column, std::string& problem) {
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = trimmed(field.substr(1, field.size() - 2), field_blanks);
    column.signal.label = std::string(field);
    if (!field.ends_with(']') && !field.ends_with(')')) return true;
    const std::size_t open = field.rfind(field.back() == ']' ? '[' : '(');
    if (open == std::string_view::npos) return true;
    const std::string_view unit =
        trimmed(field.substr(open + 1, field.size() - open - 2), field_blanks);
    const auto* known = std::find_if(std::begin(voltage_units), std::end(voltage_units),
                                     [unit](const VoltageUnit& each) { return each.name == unit; });
    if (known == std::end(voltage_units)) {
        problem = quoted_word(unit) + " is not a unit of voltage (mV, uV, \xC2\xB5V, V)";
        return false;
    }
    column.signal.label = std::string(trimmed(field.substr(0, open), field_blanks));
    column.microvolts_per_value = known->microvolts;
    column.unit_stated = true;
    return true;
}

std::string plural_fields(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " field" : " fields");
}

// Reads the table line by line into its columns; each refusal names the
// line, and the field where one is at fault.
class TableReader {
  public:
    explicit TableReader(std::string_view text)
        : lines_(text),
          text_bytes_(text.size()),
          line_count_(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1) {}

    bool read(SourceRecording& recording, std::string& reason) {
        std::string_view first;
        if (!lines_.next_filled(first)) return refuse_empty(reason);
        first_line_ = lines_.number();
        const bool has_header = !holds_only_numbers(first);
        std::string_view line = first;
        if (has_header && !lines_.next_filled(line)) return refuse_empty(reason);
        delimiter_ = delimiter_of(line);
        if (!take_columns(first, has_header, reason)) return false;
        do {
            if (!read_row(line, reason)) return false;
        } while (lines_.next_filled(line));
        recording = finished_recording();
        return true;
    }

  private:
    static bool refuse_empty(std::string& reason) {
        reason = "holds no samples";
        return false;
    }

    bool take_columns(std::string_view first, bool has_header, std::string& reason) {
        if (!has_header) {
            columns_.resize(count_fields(first, delimiter_));
            for (std::size_t k = 0; k < columns_.size(); ++k)
                columns_[k].signal.label = std::to_string(k + 1);
        } else {
            std::string problem;
            for (std::string_view field : header_fields(first, delimiter_)) {
                if (!read_column_name(field, columns_.emplace_back(), problem)) {
                    reason = "line " + std::to_string(first_line_) + ", field " +
                             std::to_string(columns_.size()) + ": " + problem;
                    return false;
                }
            }
        }
        // A row takes at least a byte a value and one between values: the bound
        // keeps a wide first line over many blank ones from reserving more
        // than the text could hold.
        const std::size_t row_bytes = 2 * columns_.size() - 1;
        const std::size_t most_rows = std::min(line_count_, text_bytes_ / row_bytes + 1);
        for (Column& column : columns_) column.signal.microvolts.reserve(most_rows);
        return true;
    }

    bool read_row(std::string_view line, std::string& reason) {
        Fields fields(line, delimiter_);
        std::size_t index = 0;
        for (std::string_view field; fields.next(field); ++index) {
            if (index == columns_.size()) return refuse_field_count(line, reason);
            Column& column = columns_[index];
            double value = 0.0;
            const Reading reading = read_number(field, value);
            const double microvolts = value * column.microvolts_per_value;
            if (reading != Reading::number || !std::isfinite(microvolts)) {
                // A ragged line says so before the field that the raggedness made wrong.
                if (count_fields(line, delimiter_) != columns_.size())
                    return refuse_field_count(line, reason);
                return refuse_field(index, field, reading, reason);
            }
            column.signal.microvolts.push_back(microvolts);
        }
        if (index != columns_.size()) return refuse_field_count(line, reason);
        return true;
    }

    bool refuse_field(std::size_t index, std::string_view field, Reading reading,
                      std::string& reason) const {
        const char* problem = reading == Reading::not_a_number ? "is not a number"
                              : reading == Reading::not_finite ? "is not a finite number"
                                                               : "is out of range";
        reason = "line " + std::to_string(lines_.number()) + ", field " +
                 std::to_string(index + 1) + ": " + quoted_word(field) + " " + problem;
        return false;
    }

    bool refuse_field_count(std::string_view line, std::string& reason) const {
        reason = "line " + std::to_string(lines_.number()) + " has " +
                 plural_fields(count_fields(line, delimiter_)) + "; line " +
                 std::to_string(first_line_) + " has " + std::to_string(columns_.size());
        return false;
    }

    SourceRecording finished_recording() {
        SourceRecording recording;
        recording.format = format_of(delimiter_);
        const auto stated = std::count_if(columns_.begin(), columns_.end(),
                                          [](const Column& column) { return column.unit_stated; });
        if (stated == 0)
            recording.unit_note = "values taken as millivolts";
        else if (static_cast<std::size_t>(stated) < columns_.size())
            recording.unit_note = "values of columns without a unit taken as millivolts";
        for (Column& column : columns_) recording.signals.push_back(std::move(column.signal));
        return recording;
    }

    Lines lines_;
    std::size_t text_bytes_;
    std::size_t line_count_;
    std::size_t first_line_ = 0;  // the header's number, or the first data line's
    Delimiter delimiter_ = Delimiter::comma;
    std::vector<Column> columns_;
};

}  // namespace

bool read_delimited_text(std::string_view text, SourceRecording& recording, std::string& reason) {
    if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());
    return TableReader(text).read(recording, reason);
}

}  // namespace mapari::importing
