#include "review/electrode_layout.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <vector>

#include "formats/fields.hpp"
#include "formats/quoted.hpp"

namespace mapari::review {
namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t comma; (comma = line.find(',')) != std::string_view::npos;) {
        fields.push_back(trimmed(line.substr(0, comma)));
        line.remove_prefix(comma + 1);
    }
    fields.push_back(trimmed(line));
    return fields;
}

bool is_column_names(const std::vector<std::string_view>& fields) {
    const char* const names[] = {"lead", "x", "y"};
    if (fields.size() != 3) return false;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        std::string lower(fields[k]);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower != names[k]) return false;
    }
    return true;
}

// Reads "lead, x, y" of one line into the layout; says what is wrong otherwise.
class LayoutReader {
  public:
    explicit LayoutReader(ElectrodeLayout& layout) : layout_(layout) {}

    bool read_row(const std::vector<std::string_view>& fields, int line, std::string& reason) {
        if (fields.size() != 3) {
            reason = std::to_string(fields.size()) + " fields where lead, x, y are needed";
            return false;
        }
        std::optional<std::int32_t> lead = read_whole_number(fields[0]);
        if (!lead) return refuse(fields[0], "is not a lead number", reason);
        if (*lead < 1 || *lead > lead_count)
            return refuse(fields[0], "is not a lead number from 1 to 64", reason);
        std::optional<float> x = read_real_number(fields[1]), y = read_real_number(fields[2]);
        if (!x || !std::isfinite(*x)) return refuse(fields[1], "is not a number (x)", reason);
        if (!y || !std::isfinite(*y)) return refuse(fields[2], "is not a number (y)", reason);
        int& first_line = line_of_[static_cast<std::size_t>(*lead - 1)];
        if (first_line != 0) {
            reason = "lead " + std::to_string(*lead) + " is given again (first on line " +
                     std::to_string(first_line) + ")";
            return false;
        }
        first_line = line;
        layout_.positions[static_cast<std::size_t>(*lead - 1)] = {*x, *y};
        return true;
    }

    // The first lead without a line, or 0 when every lead has one.
    int first_missing_lead() const {
        auto missing = std::find(line_of_.begin(), line_of_.end(), 0);
        return missing == line_of_.end() ? 0 : static_cast<int>(missing - line_of_.begin()) + 1;
    }

    // The first pair of leads at one position, as "line a: lead ... line b".
    std::string shared_position() const {
        for (std::size_t a = 0; a < line_of_.size(); ++a)
            for (std::size_t b = a + 1; b < line_of_.size(); ++b) {
                const Position& p = layout_.positions[a];
                const Position& q = layout_.positions[b];
                if (p.x == q.x && p.y == q.y)
                    return "line " + std::to_string(std::max(line_of_[a], line_of_[b])) +
                           ": leads " + std::to_string(a + 1) + " and " + std::to_string(b + 1) +
                           " are at the same position (lines " + std::to_string(line_of_[a]) +
                           " and " + std::to_string(line_of_[b]) + ")";
            }
        return {};
    }

  private:
    static bool refuse(std::string_view field, const char* problem, std::string& reason) {
        reason = quoted_word(field) + " " + problem;
        return false;
    }

    ElectrodeLayout& layout_;
    std::array<int, lead_count> line_of_{};  // line that placed each lead, 0 while none has
};

}  // namespace

ElectrodeLayout grid_layout() {
    ElectrodeLayout layout;
    for (int k = 0; k < lead_count; ++k) {
        const int column = k % grid_columns, row = k / grid_columns;
        layout.positions[static_cast<std::size_t>(k)] = {static_cast<double>(column),
                                                         static_cast<double>(row)};
    }
    layout.is_grid = true;
    return layout;
}

bool parse_layout_csv(std::string_view text, ElectrodeLayout& layout, std::string& reason) {
    ElectrodeLayout read;
    read.is_grid = false;
    LayoutReader reader(read);
    bool first_content = true;
    int line_number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        ++line_number;
        if (line.empty() || line.front() == '#') continue;
        const std::vector<std::string_view> fields = fields_of(line);
        const bool names_columns = first_content && is_column_names(fields);
        first_content = false;
        if (names_columns) continue;
        if (!reader.read_row(fields, line_number, reason)) {
            reason = "line " + std::to_string(line_number) + ": " + reason;
            return false;
        }
    }
    if (int missing = reader.first_missing_lead(); missing != 0) {
        reason = "no line gives lead " + std::to_string(missing) + " (the file has " +
                 std::to_string(line_number) + " lines)";
        return false;
    }
    if (reason = reader.shared_position(); !reason.empty()) return false;
    layout = read;
    return true;
}

double least_spacing(const ElectrodeLayout& layout) {
    double least = INFINITY;
    for (std::size_t a = 0; a < layout.positions.size(); ++a)
        for (std::size_t b = a + 1; b < layout.positions.size(); ++b) {
            const Position& p = layout.positions[a];
            const Position& q = layout.positions[b];
            least = std::min(least, std::max(std::fabs(p.x - q.x), std::fabs(p.y - q.y)));
        }
    return least;
}

}  // namespace mapari::review
