#include "formats/csv_records.hpp"

#include <algorithm>

namespace mapari {
namespace {

// Reads a quoted field from just after its opening quote; false when the
// text ends before its closing quote.
bool read_quoted(std::string_view& text, std::string& field, int& lines) {
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\n') ++lines;
        if (text[k] != '"') {
            field += text[k];
            continue;
        }
        if (k + 1 < text.size() && text[k + 1] == '"') {
            field += '"';
            ++k;
            continue;
        }
        text.remove_prefix(k + 1);
        return true;
    }
    return false;
}

}  // namespace

bool next_record(std::string_view& text, Record& record, std::string& reason) {
    record = {};
    std::string field;
    while (true) {
        if (text.starts_with('"')) {
            text.remove_prefix(1);
            if (!read_quoted(text, field, record.lines)) {
                reason = "a quoted field is not closed before the table ends";
                return false;
            }
        }
        const std::size_t end = std::min(text.find_first_of(",\n"), text.size());
        field += text.substr(0, end);
        const bool more = end < text.size() && text[end] == ',';
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!more && field.ends_with('\r')) field.pop_back();
        record.fields.push_back(std::move(field));
        field.clear();
        if (!more) return true;
    }
}

}  // namespace mapari
