#include "review/beat_plots.hpp"

#include <charconv>
#include <cmath>

#include "formats/quoted.hpp"

namespace mapari::review {
namespace {

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t end; (end = line.find(',')) != std::string_view::npos;) {
        fields.push_back(line.substr(0, end));
        line.remove_prefix(end + 1);
    }
    fields.push_back(line);
    return fields;
}

template <typename Number>
bool read_number(std::string_view field, Number& value) {
    const char* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    return error == std::errc() && stop == end;
}

// One row into its recording's beats: a new beat at its lead 1.
bool read_row(const std::vector<std::string_view>& fields,
              std::map<std::string, std::vector<TableBeat>, std::less<>>& beats,
              std::string& reason) {
    // A recording's name may hold a comma, quoted; its fields are then the last eight.
    const std::size_t first = fields.size() - 8;
    int beat_number = 0, lead = 0;
    TableBeat row;
    if (!read_number(fields[first], beat_number) || !read_number(fields[first + 1], row.time_ms) ||
        !read_number(fields[first + 3], lead) || lead < 1 || lead > lead_count) {
        reason = "the beat, its time or its lead is not a whole number in range";
        return false;
    }
    if (!fields[first + 2].empty()) {
        std::int32_t rr_ms = 0;
        if (!read_number(fields[first + 2], rr_ms)) {
            reason = quoted_word(fields[first + 2]) + " is not an RR in ms";
            return false;
        }
        row.rr_ms = rr_ms;
    }
    std::string name;
    // Cell by cell: gcc 12 takes "," + a temporary for an overlapping copy.
    for (std::size_t k = 0; k < first; ++k) {
        if (k > 0) name += ',';
        name += fields[k];
    }
    std::vector<TableBeat>& recording = beats[name];
    if (lead == 1) {
        row.flagged = !fields[first + 7].empty();
        recording.push_back(row);
    }
    if (recording.size() != static_cast<std::size_t>(beat_number)) {
        reason = "beat " + std::to_string(beat_number) + " lead " + std::to_string(lead) +
                 " out of its place (beats from 1, each with leads from 1)";
        return false;
    }
    if (fields[first + 6].empty()) return true;
    float ari_ms = 0.0f;
    if (!read_number(fields[first + 6], ari_ms) || !std::isfinite(ari_ms)) {
        reason = quoted_word(fields[first + 6]) + " is not a number (ARI_ms)";
        return false;
    }
    recording.back().ari_ms[static_cast<std::size_t>(lead - 1)] = ari_ms;
    return true;
}

// The leads with a value on every unflagged beat: the first, the middle and the last.
std::vector<int> leads_shown(const std::vector<TableBeat>& beats) {
    std::vector<int> complete;
    for (int l = 1; l <= lead_count; ++l) {
        bool on_every = true;
        for (const TableBeat& beat : beats)
            on_every = on_every && (beat.flagged || beat.ari_ms[static_cast<std::size_t>(l - 1)]);
        if (on_every) complete.push_back(l);
    }
    if (complete.size() <= leads_plotted) return complete;
    return {complete.front(), complete[complete.size() / 2], complete.back()};
}

std::optional<double> mean_ari_ms(const TableBeat& beat) {
    double sum = 0.0;
    int counted = 0;
    for (const std::optional<float>& ari_ms : beat.ari_ms)
        if (ari_ms) sum += *ari_ms, ++counted;
    if (counted == 0) return std::nullopt;
    return sum / counted;
}

void fit_series(PlotSeries& series) {
    std::vector<double> x, y;
    for (const DataPoint& point : series.points) x.push_back(point.x_ms), y.push_back(point.y_ms);
    series.fit = least_squares_line(x, y);
}

}  // namespace

bool read_beats_table(std::string_view text,
                      std::map<std::string, std::vector<TableBeat>, std::less<>>& beats,
                      std::string& reason) {
    std::map<std::string, std::vector<TableBeat>, std::less<>> read;
    int line_number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        ++line_number;
        if (line_number == 1 && line != beats_table_header) {
            reason = "line 1: the header must be " + std::string(beats_table_header);
            return false;
        }
        if (line_number == 1 || line.empty()) continue;
        const std::vector<std::string_view> fields = fields_of(line);
        if (fields.size() < 9) {
            reason = "line " + std::to_string(line_number) + ": " + std::to_string(fields.size()) +
                     " fields where " + beats_table_header + " are 9";
            return false;
        }
        if (!read_row(fields, read, reason)) {
            reason = "line " + std::to_string(line_number) + ": " + reason;
            return false;
        }
    }
    beats = std::move(read);
    return true;
}

std::optional<BeatPlots> beat_plots(const std::vector<TableBeat>& beats) {
    BeatPlots plots;
    for (int lead : leads_shown(beats))
        plots.restitution.push_back({"lead " + std::to_string(lead), {}, {}});
    PlotSeries mean{"mean", {}, {}};
    const std::vector<int> shown = leads_shown(beats);
    for (const TableBeat& beat : beats) {
        const std::optional<double> mean_ms = mean_ari_ms(beat);
        if (beat.flagged || !mean_ms) continue;
        plots.mean_over_time.push_back({static_cast<double>(beat.time_ms), *mean_ms});
        if (!beat.rr_ms) continue;
        mean.points.push_back({static_cast<double>(*beat.rr_ms), *mean_ms});
        for (std::size_t k = 0; k < shown.size(); ++k)
            plots.restitution[k].points.push_back(
                {static_cast<double>(*beat.rr_ms),
                 static_cast<double>(*beat.ari_ms[static_cast<std::size_t>(shown[k] - 1)])});
    }
    if (plots.mean_over_time.empty()) return std::nullopt;
    plots.restitution.push_back(mean);
    for (PlotSeries& series : plots.restitution) fit_series(series);
    return plots;
}

}  // namespace mapari::review
