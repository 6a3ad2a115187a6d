#include "review/results_table.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "formats/csv_records.hpp"
#include "formats/quoted.hpp"

namespace mapari::review {
namespace {

constexpr std::string_view header = "recording,lead,AT_ms,RT_ms,ARI_ms,flags";
// The header of tables that go on with each lead's summary over the beats,
// columns the review reads past.
constexpr std::string_view header_with_summaries =
    "recording,lead,AT_ms,RT_ms,ARI_ms,flags,beats_used,ARI_sd_ms,restitution_slope,"
    "restitution_slope_se";
// The header of tables that go on, after the summaries, with the confidence
// of each lead's AT and RT.
constexpr std::string_view header_with_confidence =
    "recording,lead,AT_ms,RT_ms,ARI_ms,flags,beats_used,ARI_sd_ms,restitution_slope,"
    "restitution_slope_se,AT_confidence,RT_confidence";
constexpr std::size_t first_confidence_column = 10;
constexpr std::array<const char*, 2> confidence_columns = {"AT_confidence", "RT_confidence"};
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::array<const char*, 3> value_columns = {"AT_ms", "RT_ms", "ARI_ms"};
// The reasons a batch leaves a bad lead's values empty for, when its neighbours
// cannot fill them in (besides no-signal).
constexpr std::array<std::string_view, 5> bad_lead_reason_words = {"noisy", "clipped", "steps",
                                                                   "outlier", "marked-bad"};

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t end; (end = text.find(separator)) != std::string_view::npos;) {
        parts.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    parts.push_back(text);
    return parts;
}

bool read_lead(std::string_view field, int& lead, std::string& reason) {
    const char* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, lead);
    if (error != std::errc() || stop != end) {
        reason = quoted_word(field) + " is not a lead number";
        return false;
    }
    if (lead < 1 || lead > lead_count) {
        reason = quoted_word(field) + " is not a lead number from 1 to 64";
        return false;
    }
    return true;
}

// A number as %g prints it ("43", "12.5", "-3", "1e+06"); nothing for any other text.
std::optional<float> decimal_number(std::string_view field) {
    float value = 0.0f;
    const char* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

// AT, RT and ARI of a row, all three or none; the flags are read afterwards.
bool read_values(const std::vector<std::string_view>& fields, std::optional<LeadValues>& values,
                 std::string& reason) {
    const std::array<std::string_view, 3> texts = {fields[2], fields[3], fields[4]};
    const auto is_empty = [](std::string_view text) { return text.empty(); };
    values.reset();
    if (std::all_of(texts.begin(), texts.end(), is_empty)) return true;
    std::array<float, 3> numbers{};
    for (std::size_t k = 0; k < texts.size(); ++k) {
        if (texts[k].empty()) {
            reason = std::string(value_columns[k]) +
                     " is empty while other values are given; a row gives all three or none";
            return false;
        }
        const std::optional<float> number = decimal_number(texts[k]);
        if (!number) {
            reason = quoted_word(texts[k]) + " is not a number (" + value_columns[k] + ")";
            return false;
        }
        numbers[k] = *number;
    }
    values =
        LeadValues{.activation_ms = numbers[0], .recovery_ms = numbers[1], .ari_ms = numbers[2]};
    return true;
}

// The two confidences of a row of a table that has them, each empty or a
// number from 0 to 1.
bool read_confidence(const std::vector<std::string_view>& fields, LeadConfidence& confidence,
                     std::string& reason) {
    confidence = {};
    if (fields.size() <= first_confidence_column) return true;
    std::array<std::optional<float>*, 2> read = {&confidence.activation, &confidence.recovery};
    for (std::size_t k = 0; k < read.size(); ++k) {
        const std::string_view text = fields[first_confidence_column + k];
        if (text.empty()) continue;
        const std::optional<float> number = decimal_number(text);
        if (!number || *number < 0.0f || *number > 1.0f) {
            reason = quoted_word(text) + " is not a confidence from 0 to 1 (" +
                     confidence_columns[k] + ")";
            return false;
        }
        *read[k] = number;
    }
    return true;
}

// The flag words of a row: the two defaults go to values (a row without values
// has none to mark), no-signal makes the values those of a lead without a
// signal (a row with values cannot have it unless they are interpolated, when
// it goes to `others`), the others go to `others`; a row without values but
// with a bad lead's reason is a bad lead left empty, shown as a lead without a
// signal.
bool read_flags(std::string_view field, std::optional<LeadValues>& values,
                std::vector<std::string>& others, std::string& reason) {
    others.clear();
    if (field.empty()) return true;
    const std::vector<std::string_view> words = split(field, ';');
    const bool filled_in = std::find(words.begin(), words.end(), "interpolated") != words.end();
    for (std::string_view word : words) {
        if (word == "no-downstroke") {
            if (values) values->no_downstroke = true;
        } else if (word == "no-upstroke") {
            if (values) values->no_upstroke = true;
        } else if (word == "no-signal" && !filled_in) {
            if (values) {
                reason = "a lead flagged no-signal has no values, but this row gives them";
                return false;
            }
            values = without_signal;
        } else if (word == "no-signal" ||
                   std::find(other_flag_words.begin(), other_flag_words.end(), word) !=
                       other_flag_words.end()) {
            others.emplace_back(word);
        } else {
            reason = quoted_word(word) +
                     " is not a flag (no-downstroke, no-upstroke, rt-at-window-edge, weak, flat, "
                     "clipped, noisy, no-signal, steps, outlier, marked-bad, marked-good, "
                     "interpolated)";
            return false;
        }
    }
    const auto is_bad_lead_reason = [](std::string_view word) {
        return std::find(bad_lead_reason_words.begin(), bad_lead_reason_words.end(), word) !=
               bad_lead_reason_words.end();
    };
    if (!values && std::any_of(words.begin(), words.end(), is_bad_lead_reason))
        values = without_signal;
    return true;
}

// Places each row in its recording, and refuses rows out of their place:
// leads out of order, a recording left before its lead 64, a recording whose
// rows come back after another's, values on some rows of a recording only.
class TableReader {
  public:
    explicit TableReader(std::vector<RecordingResults>& recordings) : recordings_(recordings) {}

    // The table's header: the fields every row holds.
    void take_header(std::string_view header_line) {
        header_ = header_line;
        column_count_ = split(header_line, ',').size();
    }

    bool read_row(const std::vector<std::string>& record, int line_number, std::string& reason) {
        const std::vector<std::string_view> fields(record.begin(), record.end());
        if (fields.size() != column_count_) {
            reason = std::to_string(fields.size()) + " fields where " + std::string(header_) +
                     " are " + std::to_string(column_count_);
            return false;
        }
        if (fields[0].empty()) {
            reason = "the recording has no name";
            return false;
        }
        int lead = 0;
        std::optional<LeadValues> values;
        std::vector<std::string> others;
        LeadConfidence confidence;
        if (!read_lead(fields[1], lead, reason) || !read_values(fields, values, reason) ||
            !read_flags(fields[5], values, others, reason) ||
            !read_confidence(fields, confidence, reason))
            return false;
        if (!take_place(fields[0], lead, line_number, reason)) return false;
        if (!store(lead, values, std::move(others), reason)) return false;
        recordings_.back().confidence[static_cast<std::size_t>(lead - 1)] = confidence;
        return true;
    }

    // At the end of the table: the last recording must be whole, and there must be one.
    bool finish(int last_row_line, std::string& reason) const {
        if (recordings_.empty()) {
            reason = "it holds no rows after its header, so no recording to review";
            return false;
        }
        if (next_lead_ > lead_count) return true;
        reason = "the table ends after line " + std::to_string(last_row_line) + ", but " +
                 missing_lead();
        return false;
    }

  private:
    // The row's recording is the current one at its next lead, or a new one at lead 1.
    bool take_place(std::string_view name, int lead, int line_number, std::string& reason) {
        if (!recordings_.empty() && recordings_.back().name == name) {
            if (next_lead_ > lead_count) {
                reason = "lead " + std::to_string(lead) + " of " + quoted_word(name) +
                         " again, after its lead 64";
                return false;
            }
            return expect_lead(name, lead, reason);
        }
        if (!recordings_.empty() && next_lead_ <= lead_count) {
            reason = quoted_word(name) + " begins, but " + missing_lead();
            return false;
        }
        const auto earlier =
            std::find_if(recordings_.begin(), recordings_.end(),
                         [&](const RecordingResults& r) { return r.name == name; });
        if (earlier != recordings_.end()) {
            reason = "rows of " + quoted_word(name) +
                     " again, after another recording's (its rows began on line " +
                     std::to_string(earlier->first_line) + ")";
            return false;
        }
        next_lead_ = 1;
        if (!expect_lead(name, lead, reason)) return false;
        recordings_.push_back({std::string(name), line_number, std::nullopt, {}, {}});
        return true;
    }

    bool expect_lead(std::string_view name, int lead, std::string& reason) {
        if (lead == next_lead_) return true;
        reason = "lead " + std::to_string(lead) + " of " + quoted_word(name) + " where lead " +
                 std::to_string(next_lead_) + " belongs (leads go 1 to 64 in order)";
        return false;
    }

    // Keeps the row's values; lead 1 decides whether the recording has values at all.
    bool store(int lead, const std::optional<LeadValues>& values, std::vector<std::string> others,
               std::string& reason) {
        RecordingResults& recording = recordings_.back();
        if (lead == 1 && values) recording.leads.emplace();
        if (values.has_value() != recording.leads.has_value()) {
            reason = std::string(values ? "values" : "no values") + " where lead 1 of " +
                     quoted_word(recording.name) + " (line " +
                     std::to_string(recording.first_line) + ") has " + (values ? "none" : "them");
            return false;
        }
        const auto k = static_cast<std::size_t>(lead - 1);
        if (values) (*recording.leads)[k] = *values;
        recording.other_flags[k] = std::move(others);
        ++next_lead_;
        return true;
    }

    std::string missing_lead() const {
        return "lead " + std::to_string(next_lead_) + " of " +
               quoted_word(recordings_.back().name) + " is missing";
    }

    std::vector<RecordingResults>& recordings_;
    std::string_view header_ = header;
    std::size_t column_count_ = 6;
    int next_lead_ = lead_count + 1;  // of the last recording; past 64 once it is whole
};

// Filled in, or with a bad lead's reason and not named good.
bool is_bad_lead(const std::vector<std::string>& flags) {
    const auto has = [&flags](std::string_view word) {
        return std::find(flags.begin(), flags.end(), word) != flags.end();
    };
    if (has("interpolated")) return true;
    return !has("marked-good") &&
           std::any_of(bad_lead_reason_words.begin(), bad_lead_reason_words.end(), has);
}

}  // namespace

bool read_results_table(std::string_view text, std::vector<RecordingResults>& recordings,
                        std::string& reason) {
    if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());
    std::vector<RecordingResults> read;
    TableReader reader(read);
    if (text.empty()) {
        reason = "it is empty; its first line must be the header " + std::string(header);
        return false;
    }
    const std::size_t header_end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, header_end);
    text.remove_prefix(std::min(header_end + 1, text.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line != header && line != header_with_summaries && line != header_with_confidence) {
        reason = "line 1: the header must be " + std::string(header) + ", not " + quoted_word(line);
        return false;
    }
    reader.take_header(line);
    // Rows as records: a recording's name in quotes may hold a comma.
    int line_number = 2, last_row_line = 0;
    for (Record record; !text.empty(); line_number += record.lines) {
        const bool taken = next_record(text, record, reason) &&
                           (record.fields == std::vector<std::string>{""} ||
                            reader.read_row(record.fields, line_number, reason));
        if (!taken) {
            reason = "line " + std::to_string(line_number) + ": " + reason;
            return false;
        }
        if (record.fields != std::vector<std::string>{""}) last_row_line = line_number;
    }
    if (!reader.finish(last_row_line, reason)) return false;
    recordings = std::move(read);
    return true;
}

ReviewData recording_review(const RecordingResults& recording, const ElectrodeLayout& layout) {
    ReviewData data;
    data.title = recording.name;
    data.leads = recording.leads;
    data.layout = layout;
    data.confidence = recording.confidence;
    data.lead_flags = recording.other_flags;
    for (std::size_t k = 0; k < lead_count; ++k)
        data.bad_leads[k] = is_bad_lead(recording.other_flags[k]);
    for (std::string_view flag : other_flag_words) {
        FlagCount flagged{std::string(flag), {}};
        for (int l = 1; l <= lead_count; ++l) {
            const std::vector<std::string>& flags =
                recording.other_flags[static_cast<std::size_t>(l - 1)];
            if (std::find(flags.begin(), flags.end(), flag) != flags.end())
                flagged.leads.push_back(l);
        }
        if (!flagged.leads.empty()) data.other_flags.push_back(std::move(flagged));
    }
    return data;
}

}  // namespace mapari::review
