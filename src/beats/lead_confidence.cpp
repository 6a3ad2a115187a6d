#include "beats/lead_confidence.hpp"

#include <algorithm>
#include <cmath>

#include "beats/quantile.hpp"

namespace mapari {
namespace {

constexpr double normal_iqr_per_sd = 1.349;

// A lead's mark on each unflagged beat, less what the preceding RR explains
// of it: with a least-squares line of the mark against the RR (three beats
// with an RR or more, and RR with a spread), mark - slope x RR on the beats
// with an RR, a constant apart from the residual about the line; else the
// marks themselves.
std::vector<double> marks_apart_from_rr(const std::vector<BeatResult>& beats, std::size_t at,
                                        bool recovery) {
    std::vector<double> marks_ms, rr_ms, marks_after_rr_ms;
    for (const BeatResult& beat : beats) {
        if (beat.flagged()) continue;
        marks_ms.push_back(recovery ? beat.recovery_ms[at] : beat.activation_ms[at]);
        if (!beat.rr_ms) continue;
        rr_ms.push_back(*beat.rr_ms);
        marks_after_rr_ms.push_back(marks_ms.back());
    }
    const std::optional<LineFit> fit = least_squares_line(rr_ms, marks_after_rr_ms);
    if (!fit) return marks_ms;
    for (std::size_t k = 0; k < rr_ms.size(); ++k) marks_after_rr_ms[k] -= fit->slope * rr_ms[k];
    return marks_after_rr_ms;
}

// The spread of a lead's mark over the unflagged beats apart from the RR's
// part, as an SD taken robustly (interquartile range / 1.349, the SD of a
// normal distribution with that range: a beat whose mark jumps to another
// wave does not swamp it), divided by sqrt(beats averaged); 0 below two beats.
double spread_ms(const std::vector<BeatResult>& beats, std::size_t at, bool recovery,
                 int beats_averaged) {
    std::vector<double> marks_ms = marks_apart_from_rr(beats, at, recovery);
    if (marks_ms.size() < 2) return 0.0;
    std::sort(marks_ms.begin(), marks_ms.end());
    const double robust_sd =
        (sorted_quantile(marks_ms, 0.75) - sorted_quantile(marks_ms, 0.25)) / normal_iqr_per_sd;
    return robust_sd / std::sqrt(beats_averaged);
}

// The RMS of the lead's beat noise over the unflagged beats; none below two:
// a lone beat is all of its average, and its residual of 0 measures nothing.
std::optional<double> beat_noise(const std::vector<BeatResult>& beats, std::size_t at) {
    double squares = 0.0;
    int counted = 0;
    for (const BeatResult& beat : beats) {
        if (beat.flagged()) continue;
        squares += static_cast<double>(beat.residual_noise[at]) * beat.residual_noise[at];
        ++counted;
    }
    if (counted < 2) return std::nullopt;
    return std::sqrt(squares / counted);
}

// The five-point difference the activation search takes, as weights of
// S(k - 2) .. S(k + 2).
std::vector<double> five_point_weights() {
    return {-1.0, -2.0, 0.0, 2.0, 1.0};
}

// Half the width of a Gaussian at half its height over its standard
// deviation: sqrt(2 ln 2).
constexpr double half_height_per_sd = 1.1774100225154747;

// The filtered curve at row k, rows beyond the averaged beat taken as its first or last.
double filtered(const Beat& averaged, int lead, int row, const std::vector<double>& weights) {
    const int reach = static_cast<int>(weights.size() / 2);
    double sum = 0.0;
    for (int j = -reach; j <= reach; ++j)
        sum += weights[static_cast<std::size_t>(j + reach)] *
               averaged.averaged(std::clamp(row + j, 1, averaged_rows), lead);
    return sum;
}

// Where the filtered curve falls to half the peak's height walking from the
// peak in steps of `step` (+1 or -1), in rows from it, between rows by a
// straight line; the whole averaged beat when it never does.
double half_height_distance(const Beat& averaged, int lead, int peak_row,
                            const std::vector<double>& weights, int step) {
    const double peak = filtered(averaged, lead, peak_row, weights);
    double before = peak;
    for (int distance = 1; distance < averaged_rows; ++distance) {
        const double value = filtered(averaged, lead, peak_row + step * distance, weights);
        if (std::fabs(value) <= std::fabs(peak) / 2.0 || value * peak < 0.0) {
            const double fall = (before - value) / (before - peak / 2.0);
            return distance - 1.0 + 1.0 / fall;
        }
        before = value;
    }
    return averaged_rows;
}

}  // namespace

std::vector<double> cubic_slope_weights(int half_width) {
    double s2 = 0.0, s4 = 0.0, s6 = 0.0;
    for (int j = -half_width; j <= half_width; ++j) {
        const double j2 = static_cast<double>(j) * j;
        s2 += j2;
        s4 += j2 * j2;
        s6 += j2 * j2 * j2;
    }
    std::vector<double> weights;
    for (int j = -half_width; j <= half_width; ++j)
        weights.push_back((s6 * j - s4 * j * j * j) / (s2 * s6 - s4 * s4));
    return weights;
}

double shift_noise_gain(const std::vector<double>& weights) {
    const auto weight = [&](std::size_t k) { return k < weights.size() ? weights[k] : 0.0; };
    double squares = 0.0;
    for (std::size_t k = 0; k < weights.size() + 2; ++k) {
        const double half_difference = (weight(k - 2) - weight(k)) / 2.0;
        squares += half_difference * half_difference;
    }
    return std::sqrt(squares);
}

double extremum_uncertainty_ms(const Beat& averaged, int lead, int row,
                               const std::vector<double>& weights, double averaged_noise) {
    const double peak = filtered(averaged, lead, row, weights);
    if (peak == 0.0) return HUGE_VAL;
    const double half_height_width = half_height_distance(averaged, lead, row, weights, -1) +
                                     half_height_distance(averaged, lead, row, weights, 1);
    const double width = half_height_width / (2.0 * half_height_per_sd);
    return shift_noise_gain(weights) * averaged_noise * width * width / std::fabs(peak);
}

double MarkUncertainty::combined_ms() const {
    return std::hypot(extremum_ms, spread_ms);
}

double MarkUncertainty::confidence() const {
    const double ratio = combined_ms() / confidence_scale_ms;
    return 1.0 / (1.0 + ratio * ratio);
}

float residual_noise(const Beat& beat, const Beat& averaged, int lead, int first_row,
                     int last_row) {
    double squares = 0.0;
    float before = beat.averaged(first_row, lead) - averaged.averaged(first_row, lead);
    for (int i = first_row + 1; i <= last_row; ++i) {
        const float residual = beat.averaged(i, lead) - averaged.averaged(i, lead);
        squares += static_cast<double>(residual - before) * (residual - before);
        before = residual;
    }
    return static_cast<float>(std::sqrt(squares / (2.0 * (last_row - first_row))));
}

std::array<LeadConfidence, lead_count> lead_confidences(
    const Beat& averaged, int beats_averaged, const std::array<float, lead_count>& activation_ms,
    const std::array<float, lead_count>& recovery_ms, const std::vector<BeatResult>& beats,
    const std::array<bool, lead_count>& with_signal, int smoothing_half_width) {
    std::array<LeadConfidence, lead_count> confidences{};
    const int q_onset = averaged.fiducial_marks(2);
    const std::vector<double> recovery_weights = cubic_slope_weights(smoothing_half_width);
    for (int l = 1; l <= lead_count; ++l) {
        const auto at = static_cast<std::size_t>(l - 1);
        const std::optional<double> noise = beat_noise(beats, at);
        if (!with_signal[at] || !noise || beats_averaged < 1) continue;
        const double averaged_noise = *noise / std::sqrt(beats_averaged);
        const auto row = [&](float ms) { return q_onset + static_cast<int>(std::lround(ms)); };
        confidences[at].activation =
            MarkUncertainty{extremum_uncertainty_ms(averaged, l, row(activation_ms[at]),
                                                    five_point_weights(), averaged_noise),
                            spread_ms(beats, at, false, beats_averaged)}
                .confidence();
        confidences[at].recovery =
            MarkUncertainty{extremum_uncertainty_ms(averaged, l, row(recovery_ms[at]),
                                                    recovery_weights, averaged_noise),
                            spread_ms(beats, at, true, beats_averaged)}
                .confidence();
    }
    return confidences;
}

}  // namespace mapari
