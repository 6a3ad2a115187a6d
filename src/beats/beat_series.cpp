#include "beats/beat_series.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

#include "ari/ari_computation.hpp"
#include "beats/averaging.hpp"
#include "beats/baseline.hpp"
#include "beats/detection.hpp"
#include "beats/lead_confidence.hpp"
#include "beats/quantile.hpp"
#include "formats/map_recording.hpp"

namespace mapari {
namespace {

// Rows of a beat after its position (row 201): its last row is position + 823.
constexpr int rows_after_position = averaged_rows - first_averaged_ms;

constexpr double correlation_factor = 3.0, correlation_margin = 0.002;
constexpr double scatter_factor = 3.0, scatter_margin_ms = 2.0;

// A beat found: its aligned position when it matches the template, else where it was found.
struct FoundBeat {
    long long frame = 0;
    std::optional<float> correlation;  // none: it does not match
};

// The recording decoded frame after frame, with the work areas the finding
// and the analysis share (a store's: a stretch, its display, a beat, the ARI's).
struct SeriesWork {
    std::span<const std::int16_t> frames;
    long long frame_count = 0;
    Store& store;

    std::int16_t sample(long long frame, int channel) const {
        return frames[static_cast<std::size_t>((frame - 1) * channel_count + channel - 1)];
    }
};

void copy_stretch(SeriesWork& work, long long frames_before) {
    const auto first = work.frames.begin() + frames_before * channel_count;
    std::copy(first, first + std::ptrdiff_t{channel_count} * samples_per_reading,
              work.store.recording.samples.values.begin());
    work.store.recording.samples_per_channel = samples_per_reading;
}

// The beats the stretch after `frames_before` owns (frames own_from to
// own_to), appended. The finding records, last, one position whose slope
// missed the threshold; it is no beat and is left out.
void find_in_stretch(SeriesWork& work, const Settings& settings, long long frames_before,
                     long long own_from, long long own_to, std::vector<FoundBeat>& found) {
    Store& store = work.store;
    copy_stretch(work, frames_before);
    detect_beats(settings, store.recording, store.display, averaging_last_candidate);
    std::vector<std::int32_t> positions;
    for (int j = 1; j <= beat_slots && store.display.beat_list(j) != 0; ++j)
        positions.push_back(store.display.beat_list(j));
    if (!positions.empty()) positions.pop_back();
    std::sort(positions.begin(), positions.end());
    for (std::int32_t position : positions) {
        const long long frame = frames_before + position;
        if (frame < own_from || frame > own_to) continue;
        const BeatAlignment best = best_alignment(store.recording, store.beat, position);
        if (recognised(settings, best))
            found.push_back({frame + best.shift, best.correlation});
        else
            found.push_back({frame, std::nullopt});
    }
}

std::vector<FoundBeat> find_every_beat(SeriesWork& work, const Settings& settings) {
    std::vector<FoundBeat> found;
    long long owned_to = 0;
    for (long long before = 0;; before += stretch_step_frames) {
        before = std::min(before, work.frame_count - samples_per_reading);
        const bool last = before + samples_per_reading >= work.frame_count;
        const long long own_to = last ? work.frame_count : before + last_owned_sample;
        find_in_stretch(work, settings, before, owned_to + 1, own_to, found);
        owned_to = own_to;
        if (last) break;
    }
    return found;
}

void set_ari_marks(AriWork& ari, const AveragedBeat& averaged) {
    const Beat& beat = averaged.beat;
    ari.settings = averaged.ari_settings;
    ari.second_value = beat.fiducial_marks(1);
    ari.reference_point = beat.fiducial_marks(2);
    ari.j_point = beat.fiducial_marks(3);
    ari.t_end = beat.fiducial_marks(4);
}

// The beat at `frame` cut into the working beat, corrected, its noise about
// the averaged beat measured, and handed to the ARI computation as whole numbers.
void analyse_beat(SeriesWork& work, const Beat& averaged, long long frame, BeatResult& result) {
    Beat& beat = work.store.beat;
    AriWork& ari = work.store.ari;
    // A block of rows at a time, each lead's rows of the block together: a
    // row's leads lie side by side in a frame, a lead's rows one after another
    // in the beat.
    constexpr int rows_a_block = 16;
    static_assert(averaged_rows % rows_a_block == 0);
    for (int block = 1; block <= averaged_rows; block += rows_a_block)
        for (int l = 1; l <= lead_count; ++l)
            for (int i = block; i < block + rows_a_block; ++i)
                beat.averaged(i, l) =
                    work.sample(frame - first_averaged_ms + i, channel_of_lead(l));
    subtract_two_point_baseline(beat, ari.reference_point, ari.t_end);
    for (int l = 1; l <= lead_count; ++l)
        result.residual_noise[static_cast<std::size_t>(l - 1)] =
            residual_noise(beat, averaged, l, ari.reference_point, ari.t_end);
    // The computation reads no row after the last its fits take.
    const int last_row_read =
        std::min(averaged_rows,
                 std::max(ari.j_point + 2, ari.t_end + ari.settings.smoothing_half_width_samples));
    for (int l = 1; l <= lead_count; ++l)
        for (int i = 1; i <= last_row_read; ++i)
            ari.beat_matrix(i, l) = whole_number(beat.averaged(i, l));
    // The regression's warnings of a beat have no reader: its rows in the tables say what counts.
    SilentReport report;
    compute_ari_on_shared_windows(ari, report);
    for (int l = 1; l <= lead_count; ++l) {
        result.activation_ms[static_cast<std::size_t>(l - 1)] = ari.activation_ms(l);
        result.recovery_ms[static_cast<std::size_t>(l - 1)] = ari.recovery_ms(l);
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return sorted_quantile(values, 0.5);
}

double interquartile_range(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return sorted_quantile(values, 0.75) - sorted_quantile(values, 0.25);
}

double activation_scatter_ms(const BeatResult& beat,
                             const std::array<float, lead_count>& averaged_activation_ms,
                             const std::array<bool, lead_count>& with_signal) {
    std::vector<double> differences;
    for (std::size_t at = 0; at < lead_count; ++at)
        if (with_signal[at])
            differences.push_back(beat.activation_ms[at] - averaged_activation_ms[at]);
    return differences.empty() ? 0.0 : interquartile_range(differences);
}

}  // namespace

std::vector<BeatResult> analyse_every_beat(std::string_view recording_bytes,
                                           const AveragedBeat& averaged) {
    return analyse_every_beat(decode_frames(recording_bytes), averaged, *new_store());
}

std::vector<BeatResult> analyse_every_beat(std::span<const std::int16_t> frames,
                                           const AveragedBeat& averaged, Store& work_area) {
    // Each stretch is copied whole into the recording before it is read.
    reset_store_but_recording(work_area);
    SeriesWork work{frames, static_cast<long long>(frames.size()) / channel_count, work_area};
    if (work.frame_count < samples_per_reading) return {};
    Beat& beat = work.store.beat;
    beat.template_samples = averaged.beat.template_samples;
    beat.template_channel = averaged.beat.template_channel;
    set_ari_marks(work.store.ari, averaged);
    share_ari_windows(work.store.ari);

    std::vector<BeatResult> beats;
    std::optional<long long> before;
    for (const FoundBeat& found : find_every_beat(work, averaged.settings)) {
        const bool whole = found.frame >= first_averaged_ms &&
                           found.frame + rows_after_position <= work.frame_count;
        if (found.correlation && whole) {
            BeatResult& result = beats.emplace_back();
            result.time_ms = static_cast<std::int32_t>(found.frame);
            if (before) result.rr_ms = static_cast<std::int32_t>(found.frame - *before);
            result.correlation = *found.correlation;
            analyse_beat(work, averaged.beat, found.frame, result);
        }
        before = found.frame;
    }
    return beats;
}

void flag_beats(std::vector<BeatResult>& beats,
                const std::array<float, lead_count>& averaged_activation_ms,
                const std::array<bool, lead_count>& with_signal) {
    if (beats.empty()) return;
    std::vector<double> shortfalls, scatters;
    for (const BeatResult& beat : beats) {
        shortfalls.push_back(1.0 - beat.correlation);
        scatters.push_back(activation_scatter_ms(beat, averaged_activation_ms, with_signal));
    }
    const double largest_shortfall = correlation_factor * median(shortfalls) + correlation_margin;
    const double largest_scatter_ms = scatter_factor * median(scatters) + scatter_margin_ms;
    for (std::size_t k = 0; k < beats.size(); ++k) {
        beats[k].low_correlation = shortfalls[k] > largest_shortfall;
        beats[k].at_scatter = scatters[k] > largest_scatter_ms;
    }
}

std::optional<LineFit> least_squares_line(std::span<const double> x, std::span<const double> y) {
    const std::size_t n = x.size();
    if (n < 3) return std::nullopt;
    double mean_x = 0.0, mean_y = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        mean_x += x[k];
        mean_y += y[k];
    }
    mean_x /= static_cast<double>(n);
    mean_y /= static_cast<double>(n);
    double sxx = 0.0, sxy = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        sxx += (x[k] - mean_x) * (x[k] - mean_x);
        sxy += (x[k] - mean_x) * (y[k] - mean_y);
    }
    if (sxx <= 0.0) return std::nullopt;
    const double slope = sxy / sxx;
    double squared_residuals = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double residual = y[k] - mean_y - slope * (x[k] - mean_x);
        squared_residuals += residual * residual;
    }
    return LineFit{slope, std::sqrt(squared_residuals / static_cast<double>(n - 2) / sxx)};
}

LeadSummary summarise_lead(const std::vector<BeatResult>& beats, int lead) {
    const auto at = static_cast<std::size_t>(lead - 1);
    std::vector<double> intervals_ms, rr_ms, ari_after_rr_ms;
    for (const BeatResult& beat : beats) {
        if (beat.flagged()) continue;
        const double ari_ms = beat.recovery_ms[at] - beat.activation_ms[at];
        intervals_ms.push_back(ari_ms);
        if (!beat.rr_ms) continue;
        rr_ms.push_back(*beat.rr_ms);
        ari_after_rr_ms.push_back(ari_ms);
    }
    LeadSummary summary;
    summary.beats_used = static_cast<int>(intervals_ms.size());
    if (intervals_ms.size() >= 2) {
        double mean = 0.0, squares = 0.0;
        for (double value : intervals_ms) mean += value;
        mean /= static_cast<double>(intervals_ms.size());
        for (double value : intervals_ms) squares += (value - mean) * (value - mean);
        summary.ari_sd_ms = std::sqrt(squares / static_cast<double>(intervals_ms.size() - 1));
    }
    summary.restitution = least_squares_line(rr_ms, ari_after_rr_ms);
    return summary;
}

}  // namespace mapari
