#include "formats/result_files.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "formats/fields.hpp"
#include "formats/free_form.hpp"
#include "formats/messages.hpp"

namespace mapari {

std::string ds_file_text(const Beat& beat) {
    FreeFormWriter writer;
    constexpr std::size_t lines_per_record = (lead_count + values_per_line - 1) / values_per_line;
    writer.reserve(averaged_rows * (lead_count * free_real_width + lines_per_record));
    for (int k = 1; k <= averaged_rows; ++k) {
        for (int l = 1; l <= lead_count; ++l) writer.add(beat.averaged(k, l));
        writer.end_record();
    }
    return writer.take();
}

bool read_ds_text(const std::string& text, Array2<std::int32_t, averaged_rows, lead_count>& matrix,
                  std::string& reason) {
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    for (int k = 1; k <= averaged_rows; ++k) {
        for (int l = 1; l <= lead_count; ++l) {
            while (cursor != end && std::isspace(static_cast<unsigned char>(*cursor))) ++cursor;
            if (cursor + 1 < end && *cursor == '+' && *(cursor + 1) != '-') ++cursor;
            double value = 0.0;
            auto [after, status] = std::from_chars(cursor, end, value);
            if (cursor == end ||
                (status != std::errc() && status != std::errc::result_out_of_range)) {
                reason = message("record {1} holds {2} of its 64 numbers",
                                 {std::to_string(k), std::to_string(l - 1)});
                return false;
            }
            if (status != std::errc() || !std::isfinite(value) || std::fabs(value) > 2.0e9) {
                reason = message("record {1} holds a value out of range", {std::to_string(k)});
                return false;
            }
            matrix(k, l) = static_cast<std::int32_t>(std::lround(value));
            cursor = after;
        }
    }
    return true;
}

std::string se_file_text(const Array1<std::int32_t, fiducial_count>& marks) {
    const int order[fiducial_count] = {2, 1, 3, 4};  // Q onset, stimulus, J point, T end
    std::string text;
    for (int mark : order) {
        char field[32];
        int written = std::snprintf(field, sizeof field, "%*d", se_column_width,
                                    static_cast<int>(marks(static_cast<std::size_t>(mark))));
        if (written > se_column_width) return {};
        text += field;
    }
    return text + '\n';
}

bool read_se_text(const std::string& text, AriWork& work, std::string& reason) {
    if (text.empty()) {
        reason = message("the file holds no record");
        return false;
    }
    std::string_view record(text);
    record = record.substr(0, record.find('\n'));
    std::int32_t* targets[fiducial_count] = {&work.reference_point, &work.second_value,
                                             &work.j_point, &work.t_end};
    for (int field = 0; field < fiducial_count; ++field) {
        std::string_view columns =
            field * se_column_width < static_cast<int>(record.size())
                ? record.substr(static_cast<std::size_t>(field * se_column_width), se_column_width)
                : std::string_view();
        std::optional<std::int32_t> value = read_integer_field(columns, se_column_width);
        if (!value) {
            reason = message("columns {1} to {2} hold no whole number",
                             {std::to_string(field * se_column_width + 1),
                              std::to_string((field + 1) * se_column_width)});
            return false;
        }
        *targets[field] = *value;
    }
    return true;
}

}  // namespace mapari
