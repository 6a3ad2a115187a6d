#include "beats/beat_preview.hpp"

#include <cmath>

#include "ari/ari_computation.hpp"
#include "beats/baseline.hpp"
#include "beats/selection.hpp"

namespace mapari {
namespace {

void set_marks(AriWork& work, const MarkRowArray& marks, const AriSettings& settings) {
    work.settings = settings;
    work.second_value = marks[0];
    work.reference_point = marks[1];
    work.j_point = marks[2];
    work.t_end = marks[3];
}

}  // namespace

std::string mark_rows_refusal(const MarkRowArray& rows) {
    for (std::size_t k = 0; k < fiducial_count; ++k)
        if (rows[k] < 1 || rows[k] > beat_window_rows)
            return std::string(mark_said_names[k]) + " at row " + std::to_string(rows[k]) +
                   " lies outside the beat (rows 1 to " + std::to_string(beat_window_rows) + ")";
    if (!(rows[0] <= rows[1] && rows[1] < rows[2] && rows[2] < rows[3]))
        return "the marks are out of order: stimulus " + std::to_string(rows[0]) + ", Q onset " +
               std::to_string(rows[1]) + ", J point " + std::to_string(rows[2]) + ", T end " +
               std::to_string(rows[3]) + " (stimulus <= Q onset < J point < T end)";
    return {};
}

BeatPreview preview_beat(const Array2<std::int32_t, averaged_rows, lead_count>& saved,
                         const MarkRowArray& marks, const AriSettings& settings) {
    BeatPreview preview;
    preview.refusal = mark_rows_refusal(marks);
    const auto beat = std::make_unique<Beat>();
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k)
            beat->averaged(k, l) = static_cast<float>(saved(k, l));
    if (preview.refusal.empty()) subtract_two_point_baseline(*beat, marks[1], marks[3]);
    preview.samples.resize(static_cast<std::size_t>(lead_count) * averaged_rows);
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k)
            preview.samples[static_cast<std::size_t>((l - 1) * averaged_rows + (k - 1))] =
                beat->averaged(k, l);
    if (!preview.refusal.empty()) return preview;

    const auto work = std::make_unique<AriWork>();
    set_marks(*work, marks, settings);
    preview.refusal = broken_limit(*work);
    if (!preview.refusal.empty()) return preview;
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k)
            work->beat_matrix(k, l) = whole_number(beat->averaged(k, l));
    // The regression's warnings have no reader here: the values are the preview.
    SilentReport report;
    compute_ari(*work, report);
    for (int l = 1; l <= lead_count; ++l) {
        preview.activation_ms[static_cast<std::size_t>(l - 1)] = work->activation_ms(l);
        preview.recovery_ms[static_cast<std::size_t>(l - 1)] = work->recovery_ms(l);
    }
    return preview;
}

std::vector<float> rms_curve(const BeatPreview& preview,
                             const std::array<bool, lead_count>& with_signal) {
    std::vector<float> curve(averaged_rows, 0.0f);
    int leads = 0;
    for (const bool lead : with_signal) leads += lead;
    if (leads == 0) return curve;
    for (int k = 1; k <= averaged_rows; ++k) {
        double sum = 0.0;
        for (int l = 1; l <= lead_count; ++l)
            if (with_signal[static_cast<std::size_t>(l - 1)])
                sum += static_cast<double>(preview.at(k, l)) * preview.at(k, l);
        curve[static_cast<std::size_t>(k - 1)] = static_cast<float>(std::sqrt(sum / leads));
    }
    return curve;
}

}  // namespace mapari
