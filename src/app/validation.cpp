#include "app/validation.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "beats/averaging.hpp"
#include "recording/recording.hpp"

namespace mapari {
namespace {

constexpr long long ms_per_second = 1000;
constexpr long long stretch_ms = samples_per_reading;
constexpr long long largest_display_ms = last_display_second * ms_per_second;

// The piece that holds the stretch from source ms `start` whole, the latest
// when two do; none when none does.
std::optional<StretchPlace> place_of(long long start, const std::vector<PieceSpan>& pieces) {
    for (std::size_t k = pieces.size(); k-- > 0;) {
        const long long offset = start - pieces[k].first_frame;
        if (offset < 0 || offset > largest_display_ms || offset + stretch_ms > pieces[k].frames)
            continue;
        return StretchPlace{k, pieces[k].first_frame, static_cast<int>(offset / ms_per_second)};
    }
    return {};
}

std::optional<std::int64_t> mark_of(const importing::ExpertBeat& beat, MarkKind kind) {
    switch (kind) {
        case MarkKind::q_onset:
            return beat.qrs_onset_sample;
        case MarkKind::j_point:
            return beat.j_point_sample;
        case MarkKind::t_end:
            return beat.t_end_sample;
    }
    return {};
}

// The cardiologists' beat nearest to source ms `at`, when within beat_match_ms.
const importing::ExpertBeat* beat_near(const std::vector<importing::ExpertBeat>& beats,
                                       double rate_hz, double at) {
    const importing::ExpertBeat* nearest = nullptr;
    double nearest_ms = beat_match_ms;
    for (const importing::ExpertBeat& beat : beats) {
        const double distance =
            std::fabs(static_cast<double>(beat.qrs_sample) * ms_per_second / rate_hz - at);
        if (distance > nearest_ms) continue;
        nearest = &beat;
        nearest_ms = distance;
    }
    return nearest;
}

// WFDB's codes of beats (its other annotations mark rhythms, noise, comments).
bool is_beat_label(int type) {
    constexpr std::array<int, 19> beat_codes = {1,  2,  3,  4,  5,  6,  7,  8,  9, 10,
                                                11, 12, 13, 16, 25, 30, 34, 35, 38};
    return std::find(beat_codes.begin(), beat_codes.end(), type) != beat_codes.end();
}

constexpr int premature_ventricular_code = 5;  // `V`

}  // namespace

int premature_ventricular_beats(const std::vector<importing::Annotation>& labels, double rate_hz,
                                const StretchPlace& place,
                                const std::vector<AcceptedBeat>& accepted) {
    int count = 0;
    for (const AcceptedBeat& beat : accepted) {
        const double at = beat_source_ms(place, beat);
        const importing::Annotation* nearest = nullptr;
        double nearest_ms = beat_match_ms;
        for (const importing::Annotation& label : labels) {
            const double distance =
                std::fabs(static_cast<double>(label.sample) * ms_per_second / rate_hz - at);
            if (!is_beat_label(label.type) || distance > nearest_ms) continue;
            nearest = &label;
            nearest_ms = distance;
        }
        count += nearest != nullptr && nearest->type == premature_ventricular_code ? 1 : 0;
    }
    return count;
}

std::vector<StretchPlace> stretches_within(const std::vector<double>& beats_ms,
                                           const std::vector<PieceSpan>& pieces) {
    // Source ms of the first and last sample averaging takes beats at, from a stretch's start.
    constexpr long long beats_from = first_averaged_ms - 1;
    constexpr long long beats_to = last_averaged_ms - 1;
    std::vector<StretchPlace> places;
    if (beats_ms.empty()) return places;
    const auto first_second = static_cast<long long>(
        std::ceil((beats_ms.front() - beat_match_ms - beats_from) / ms_per_second));
    for (long long start = std::max(0LL, first_second) * ms_per_second;
         static_cast<double>(start + beats_to) <= beats_ms.back() + beat_match_ms;
         start += stretch_ms) {
        const double from = static_cast<double>(start + beats_from) - beat_match_ms;
        const double to = static_cast<double>(start + beats_to) + beat_match_ms;
        const auto beat = std::lower_bound(beats_ms.begin(), beats_ms.end(), from);
        if (beat == beats_ms.end() || *beat > to) continue;
        if (const std::optional<StretchPlace> place = place_of(start, pieces))
            places.push_back(*place);
    }
    return places;
}

double beat_source_ms(const StretchPlace& place, const AcceptedBeat& beat) {
    // Stretch sample k (from 1) is piece frame k + 1000 s, source ms first_frame + that - 1.
    return static_cast<double>(place.piece_first_frame + ms_per_second * place.display_second +
                               beat.position_ms - 1);
}

double row_of(double source_ms, const StretchPlace& place, const AcceptedBeat& beat) {
    const double stretch_sample = source_ms - static_cast<double>(place.piece_first_frame) + 1.0 -
                                  static_cast<double>(ms_per_second * place.display_second);
    return stretch_sample - (beat.position_ms + beat.shift_samples) + first_averaged_ms;
}

const char* mark_name(MarkKind kind) {
    switch (kind) {
        case MarkKind::q_onset:
            return "Q onset";
        case MarkKind::j_point:
            return "J point";
        case MarkKind::t_end:
            return "T end";
    }
    return "";
}

ExpertRows expert_rows(const std::vector<importing::ExpertBeat>& beats, double rate_hz,
                       const StretchPlace& place, const std::vector<AcceptedBeat>& accepted) {
    ExpertRows expert;
    for (const AcceptedBeat& beat : accepted) {
        const importing::ExpertBeat* marked =
            beat_near(beats, rate_hz, beat_source_ms(place, beat));
        if (marked == nullptr) continue;
        ++expert.marked_beats;
        for (std::size_t m = 0; m < mark_kinds.size(); ++m)
            if (const std::optional<std::int64_t> sample = mark_of(*marked, mark_kinds[m]))
                expert.beat_rows[m].push_back(
                    row_of(static_cast<double>(*sample) * ms_per_second / rate_hz, place, beat));
    }
    for (std::size_t m = 0; m < mark_kinds.size(); ++m)
        if (!expert.beat_rows[m].empty()) expert.rows[m] = median(expert.beat_rows[m]);
    return expert;
}

std::optional<double> reference_error_ms(const ExpertRows& reference, const ExpertRows& annotator,
                                         std::size_t m) {
    if (!reference.rows[m] || !annotator.rows[m]) return std::nullopt;
    return *reference.rows[m] - *annotator.rows[m];
}

MarkSpread pooled_spread(const std::vector<const ExpertRows*>& stretches, std::size_t m) {
    MarkSpread spread;
    double squares = 0.0;
    for (const ExpertRows* stretch : stretches) {
        const std::vector<double>& rows = stretch->beat_rows[m];
        if (rows.size() < 2) continue;
        double mean = 0.0;
        for (double row : rows) mean += row / static_cast<double>(rows.size());
        for (double row : rows) squares += (row - mean) * (row - mean);
        ++spread.stretches;
        spread.beats += rows.size();
    }
    if (spread.stretches > 0)
        spread.sd_ms = std::sqrt(squares / static_cast<double>(spread.beats - spread.stretches));
    return spread;
}

double spread_floor_ms(const MarkSpread& spread,
                       const std::vector<std::size_t>& marks_per_stretch) {
    if (marks_per_stretch.empty()) return 0.0;
    double shares = 0.0;
    for (std::size_t marks : marks_per_stretch) shares += 1.0 / static_cast<double>(marks);
    return spread.sd_ms * std::sqrt(shares / static_cast<double>(marks_per_stretch.size()));
}

ErrorSummary summarise_errors(const std::vector<double>& errors_ms) {
    ErrorSummary summary;
    summary.count = errors_ms.size();
    if (errors_ms.empty()) return summary;
    const auto count = static_cast<double>(errors_ms.size());
    for (double error : errors_ms) {
        summary.mean_ms += error / count;
        summary.mean_absolute_ms += std::fabs(error) / count;
    }
    if (errors_ms.size() < 2) return summary;
    double squares = 0.0;
    for (double error : errors_ms) squares += (error - summary.mean_ms) * (error - summary.mean_ms);
    summary.sd_ms = std::sqrt(squares / (count - 1.0));
    return summary;
}

}  // namespace mapari
