#include "review/recordings_table.hpp"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "formats/csv_records.hpp"
#include "formats/quoted.hpp"

namespace mapari::review {
namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::array<std::string_view, 3> required_columns = {"recording", "status", "reason"};

std::optional<int> whole_number_of(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The columns of numbers the review shows, and where each goes.
using NumberField = std::optional<int> RecordingSummary::*;
const std::array<std::pair<std::string_view, NumberField>, 8> number_columns = {{
    {"beats_accepted", &RecordingSummary::beats_accepted},
    {"stimulus", &RecordingSummary::stimulus},
    {"q_onset", &RecordingSummary::q_onset},
    {"j_point", &RecordingSummary::j_point},
    {"t_end", &RecordingSummary::t_end},
    {"rr_ms", &RecordingSummary::rr_ms},
    {"qt_ms", &RecordingSummary::qt_ms},
    {"recovery_delay", &RecordingSummary::recovery_delay_samples},
}};

class RecordingsReader {
  public:
    bool take_header(const std::vector<std::string>& header, std::string& reason) {
        column_count_ = header.size();
        for (std::size_t k = 0; k < header.size(); ++k) column_[header[k]] = k;
        for (std::string_view name : required_columns)
            if (!column_.contains(std::string(name))) {
                reason = "the header names no column " + std::string(name) +
                         " (it must name recording, status and reason)";
                return false;
            }
        return true;
    }

    bool read_row(const std::vector<std::string>& fields, int line, RecordingSummary& summary,
                  std::string& reason) {
        if (fields.size() != column_count_) {
            reason = std::to_string(fields.size()) + " fields where the header has " +
                     std::to_string(column_count_);
            return false;
        }
        summary = {};
        summary.name = field(fields, "recording");
        summary.status = field(fields, "status");
        summary.reason = field(fields, "reason");
        summary.line = line;
        return read_name(summary, reason) && read_status(summary, reason) &&
               read_numbers(fields, summary, reason);
    }

  private:
    const std::string& field(const std::vector<std::string>& fields, std::string_view name) const {
        return fields[column_.find(name)->second];
    }

    bool read_name(const RecordingSummary& summary, std::string& reason) {
        if (summary.name.empty()) {
            reason = "the recording has no name";
            return false;
        }
        if (names_.insert(summary.name).second) return true;
        reason = quoted_word(summary.name) + " is named a second time";
        return false;
    }

    static bool read_status(const RecordingSummary& summary, std::string& reason) {
        if (std::find(recording_statuses.begin(), recording_statuses.end(), summary.status) !=
            recording_statuses.end())
            return true;
        reason = quoted_word(summary.status) +
                 " is not a status (ok, check, corrected, stopped, failed)";
        return false;
    }

    bool read_numbers(const std::vector<std::string>& fields, RecordingSummary& summary,
                      std::string& reason) const {
        for (const auto& [name, member] : number_columns) {
            const auto column = column_.find(name);
            if (column == column_.end() || fields[column->second].empty()) continue;
            const std::string& text = fields[column->second];
            summary.*member = whole_number_of(text);
            if (!(summary.*member)) {
                reason = quoted_word(text) + " is not a whole number (" + std::string(name) + ")";
                return false;
            }
        }
        return true;
    }

    std::size_t column_count_ = 0;
    std::map<std::string, std::size_t, std::less<>> column_;
    std::set<std::string> names_;
};

}  // namespace

bool read_recordings_table(std::string_view text, std::vector<RecordingSummary>& recordings,
                           std::string& reason) {
    if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());
    if (text.empty()) {
        reason = "it is empty; its first line must be the header";
        return false;
    }
    RecordingsReader reader;
    std::vector<RecordingSummary> read;
    Record record;
    int line = 1;
    for (bool header = true; !text.empty(); header = false) {
        const int first_line = line;
        const bool taken =
            next_record(text, record, reason) &&
            (header ? reader.take_header(record.fields, reason)
                    : record.fields == std::vector<std::string>{""} ||
                          reader.read_row(record.fields, first_line, read.emplace_back(), reason));
        if (!taken) {
            reason = "line " + std::to_string(first_line) + ": " + reason;
            return false;
        }
        line += record.lines;
    }
    recordings = std::move(read);
    return true;
}

}  // namespace mapari::review
