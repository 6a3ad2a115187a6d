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

// The RMS of the lead's beat noise over the unflagged beats; none without one.
std::optional<double> beat_noise(const std::vector<BeatResult>& beats, std::size_t at) {
    double squares = 0.0;
    int counted = 0;
    for (const BeatResult& beat : beats) {
        if (beat.flagged()) continue;
        squares += static_cast<double>(beat.residual_noise[at]) * beat.residual_noise[at];
        ++counted;
    }
    if (counted == 0) return std::nullopt;
    return std::sqrt(squares / counted);
}

MarkUncertainty uncertainty(double averaged_noise, double slope, double spread) {
    const double steepness = slope == 0.0 ? HUGE_VAL : averaged_noise / std::fabs(slope);
    return {steepness, spread};
}

}  // namespace

double MarkUncertainty::combined_ms() const {
    return std::hypot(steepness_ms, spread_ms);
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

double slope_per_ms(const Beat& averaged, int lead, int row) {
    const int k = std::clamp(row, 3, averaged_rows - 2);
    const auto s = [&](int i) { return static_cast<double>(averaged.averaged(i, lead)); };
    return (2.0 * s(k + 1) + s(k + 2) - 2.0 * s(k - 1) - s(k - 2)) / 10.0;
}

std::array<LeadConfidence, lead_count> lead_confidences(
    const Beat& averaged, int beats_averaged, const std::array<float, lead_count>& activation_ms,
    const std::array<float, lead_count>& recovery_ms, const std::vector<BeatResult>& beats,
    const std::array<bool, lead_count>& with_signal) {
    std::array<LeadConfidence, lead_count> confidences{};
    const int q_onset = averaged.fiducial_marks(2);
    for (int l = 1; l <= lead_count; ++l) {
        const auto at = static_cast<std::size_t>(l - 1);
        const std::optional<double> noise = beat_noise(beats, at);
        if (!with_signal[at] || !noise || beats_averaged < 1) continue;
        const double averaged_noise = *noise / std::sqrt(beats_averaged);
        const auto row = [&](float ms) { return q_onset + static_cast<int>(std::lround(ms)); };
        confidences[at].activation =
            uncertainty(averaged_noise, slope_per_ms(averaged, l, row(activation_ms[at])),
                        spread_ms(beats, at, false, beats_averaged))
                .confidence();
        confidences[at].recovery =
            uncertainty(averaged_noise, slope_per_ms(averaged, l, row(recovery_ms[at])),
                        spread_ms(beats, at, true, beats_averaged))
                .confidence();
    }
    return confidences;
}

}  // namespace mapari
