#include "ari/ari_computation.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "formats/messages.hpp"
#include "regression/polynomial_regression.hpp"
#include "regression/shared_abscissae.hpp"
#include "regression/sliding_sums.hpp"

namespace mapari {
namespace {

constexpr int cubic = 3;
constexpr int silent_report = 0;

}  // namespace

std::string broken_limit(const AriWork& work) {
    const std::int32_t P = work.reference_point, J = work.j_point, E = work.t_end;
    const std::int32_t h = work.settings.smoothing_half_width_samples,
                       a = work.settings.activation_offset_samples,
                       r = work.settings.recovery_delay_samples;
    if (h < 2)
        return message("the smoothing half-width h = {1} must be at least 2", {std::to_string(h)});
    if (P + a - 2 < 1)
        return message("P + a - 2 = {1} must be at least 1", {std::to_string(P + a - 2)});
    if (J < 1) return message("the J point {1} must be at least 1", {std::to_string(J)});
    if (J + 2 > averaged_rows)
        return message("J + 2 = {1} must be at most 1024", {std::to_string(J + 2)});
    if (E + h > averaged_rows)
        return message("E + h = {1} must be at most 1024", {std::to_string(E + h)});
    if (J + r - 1 < 1)
        return message("J + r - 1 = {1} must be at least 1", {std::to_string(J + r - 1)});
    // The first recovery test compares with the slope one row before J + r,
    // which this computation has formed only when r is at least 1.
    if (r < 1)
        return message("the minimum recovery delay r = {1} must be at least 1",
                       {std::to_string(r)});
    return {};
}

void find_activation(AriWork& work, int lead) {
    const auto& S = work.lead_samples;
    float steepest = 0.0f;
    std::int32_t activation = work.reference_point;
    for (std::int32_t k = work.reference_point + work.settings.activation_offset_samples;
         k <= work.j_point; ++k) {
        // A .ds value may be as large as 2e9, so the six-fold sum is formed in 64 bits.
        const std::int64_t difference =
            std::int64_t{2} * S(k + 1) + S(k + 2) - std::int64_t{2} * S(k - 1) - S(k - 2);
        if (static_cast<float>(difference) < steepest) {
            steepest = static_cast<float>(difference);
            activation = k;
        }
    }
    work.activation_ms(lead) = static_cast<float>(activation - work.reference_point);
}

namespace {

// The shared part of every window J - h .. J + h to E - h .. E + h, from the abscissae.
void share_window_abscissae(AriWork& work) {
    const std::int32_t h = work.settings.smoothing_half_width_samples;
    for (std::int32_t k = work.j_point; k <= work.t_end; ++k)
        share_abscissae(work.regression, k - h, k + h, work.abscissae.data(), cubic,
                        work.windows(k));
}

// D(k) for k = first_row..E from the cubic fitted over k - h .. k + h. The
// sums with y slide from window to window where that is exact (always, for
// samples below about 2 * 10^5 in magnitude), else each window is fitted on its own.
void fit_slope_curve(AriWork& work, ReportSink& report, int lead, std::int32_t first_row) {
    const std::int32_t h = work.settings.smoothing_half_width_samples;
    const auto& b = work.fit.coefficients;
    SlidingOrdinateSums sums;
    const bool sliding = sums.start(work.abscissae.data(), work.ordinates.data(), first_row - h,
                                    work.t_end + h, 2 * h + 1, cubic);
    for (std::int32_t k = first_row; k <= work.t_end; ++k) {
        const RegressionPoints window{k - h, k + h, work.abscissae.data(), work.ordinates.data(),
                                      work.residuals.data()};
        if (sliding)
            fit_on_shared_abscissae(work.regression, work.windows(k), window,
                                    sums.move_to(k - h, k + h), cubic, work.fit, report);
        else
            polynomial_regression(work.regression, window, cubic, silent_report, work.fit, report);
        const float row = static_cast<float>(k);
        work.slope_curve(k, lead) = b(1) + 2.0f * b(2) * row + 3.0f * b(3) * (row * row);
    }
}

void find_steepest_upstroke(AriWork& work, int lead) {
    float steepest = 0.0f;
    std::int32_t recovery = work.j_point + work.settings.recovery_delay_samples;
    for (std::int32_t k = work.j_point + work.settings.recovery_delay_samples; k <= work.t_end;
         ++k) {
        const float slope = work.slope_curve(k, lead);
        if (slope > steepest && slope > work.slope_curve(k - 1, lead)) {
            steepest = slope;
            recovery = k;
        }
    }
    work.recovery_ms(lead) = static_cast<float>(recovery - work.reference_point);
}

}  // namespace

void find_recovery(AriWork& work, ReportSink& report, int lead) {
    share_window_abscissae(work);
    fit_slope_curve(work, report, lead, work.j_point);
    find_steepest_upstroke(work, lead);
}

namespace {

// Lead l's samples and ordinates up to the last row the computation reads
// (the searches read S up to J + 2, the fits up to E + h).
void take_lead_samples(AriWork& work, int lead) {
    const int last_row_read =
        std::max(work.j_point + 2, work.t_end + work.settings.smoothing_half_width_samples);
    for (int k = 1; k <= last_row_read; ++k) {
        work.lead_samples(k) = work.beat_matrix(k, lead);
        work.ordinates(k) = static_cast<float>(work.lead_samples(k));
    }
}

// AT and RT of every lead, the slope curve formed from first_fitted_row to E.
void compute_leads(AriWork& work, ReportSink& report, std::int32_t first_fitted_row) {
    for (int l = 1; l <= lead_count; ++l) {
        take_lead_samples(work, l);
        find_activation(work, l);
        fit_slope_curve(work, report, l, first_fitted_row);
        find_steepest_upstroke(work, l);
    }
}

static_assert(series_side_by_side == lead_count);

// Whether every window first_row .. E has its shared part (none refused).
bool windows_shared(const AriWork& work, std::int32_t first_row) {
    for (std::int32_t k = first_row; k <= work.t_end; ++k)
        if (work.windows(k).solver_status < 0) return false;
    return true;
}

// Rows first..last of every lead, a row's leads side by side (element
// (k - first) * lead_count + l - 1), and the way back. The beat matrix and the
// slope curve hold a lead's rows one after another, so both are gone through
// a block of rows at a time, each lead's rows of the block together.
constexpr std::int32_t rows_a_block = 16;

std::vector<float> rows_of_leads(const AriWork& work, std::int32_t first, std::int32_t last) {
    std::vector<float> rows(static_cast<std::size_t>(last - first + 1) * lead_count);
    for (std::int32_t block = first; block <= last; block += rows_a_block)
        for (int l = 1; l <= lead_count; ++l)
            for (std::int32_t k = block; k <= std::min(block + rows_a_block - 1, last); ++k)
                rows[static_cast<std::size_t>((k - first) * lead_count + l - 1)] =
                    static_cast<float>(work.beat_matrix(k, l));
    return rows;
}

void set_slope_curves(AriWork& work, std::int32_t first, std::int32_t last,
                      const std::vector<float>& rows) {
    for (std::int32_t block = first; block <= last; block += rows_a_block)
        for (int l = 1; l <= lead_count; ++l)
            for (std::int32_t k = block; k <= std::min(block + rows_a_block - 1, last); ++k)
                work.slope_curve(k, l) =
                    rows[static_cast<std::size_t>((k - first) * lead_count + l - 1)];
}

// The slope curves of every lead, all leads side by side window after window,
// from the rows of every lead first_held .. E + h (rows_of_leads); the leads
// whose fits would write a warning are marked in `alone`.
void fit_slope_curves_side_by_side(AriWork& work, std::int32_t first_row, std::int32_t first_held,
                                   const std::vector<float>& ordinates,
                                   std::array<bool, lead_count>& alone) {
    const std::int32_t h = work.settings.smoothing_half_width_samples;
    const auto ordinates_at = [&ordinates, first = first_held](std::int32_t k) {
        return SeriesOrdinates(ordinates.data() + static_cast<std::size_t>(k - first) * lead_count,
                               lead_count);
    };
    std::vector<float> slopes(static_cast<std::size_t>(work.t_end - first_row + 1) * lead_count);
    SeriesSums sums;
    SeriesCubics cubics;
    // The sums hold rows first_held .. last_held; the windows only move on.
    std::int32_t last_held = first_held - 1;
    for (std::int32_t k = first_row; k <= work.t_end; ++k) {
        for (; first_held < std::max(k - h, 1); ++first_held)
            take_out_of_series(sums, first_held, ordinates_at(first_held));
        while (last_held < k + h) {
            ++last_held;
            add_to_series(sums, last_held, ordinates_at(last_held));
        }
        fit_cubics_on_shared_abscissae(work.windows(k), sums, cubics);
        const float row = static_cast<float>(k);
        float* slope = slopes.data() + static_cast<std::size_t>(k - first_row) * lead_count;
        for (std::size_t at = 0; at < lead_count; ++at) {
            slope[at] =
                cubics.b1[at] + 2.0f * cubics.b2[at] * row + 3.0f * cubics.b3[at] * (row * row);
            alone[at] = alone[at] || cubics.warns[at];
        }
    }
    set_slope_curves(work, first_row, work.t_end, slopes);
}

// What compute_leads gives, with the leads' fits side by side where every
// window is shared: a lead whose sums do not slide exactly, or whose fits
// warn, is fitted again on its own, in the order of the leads, so its slope
// curve and its messages are those of compute_leads. The last lead is always
// fitted again, so that the regression's results (work.fit) are those of its
// last window, as they were.
void compute_leads_side_by_side(AriWork& work, ReportSink& report, std::int32_t first_fitted_row) {
    if (!windows_shared(work, first_fitted_row))
        return compute_leads(work, report, first_fitted_row);
    for (int l = 1; l <= lead_count; ++l) {
        // The search reads S up to J + 2.
        std::copy_n(work.beat_matrix.column(l), work.j_point + 2, work.lead_samples.data());
        find_activation(work, l);
    }
    std::array<bool, lead_count> alone{};
    alone.back() = true;
    if (first_fitted_row <= work.t_end) {
        const std::int32_t h = work.settings.smoothing_half_width_samples;
        const std::int32_t first = std::max(first_fitted_row - h, 1), last = work.t_end + h;
        const std::vector<float> ordinates = rows_of_leads(work, first, last);
        // The rows and the ordinates, each a whole number of the beat matrix, are whole.
        const std::array<bool, lead_count> sliding =
            series_slide_exactly(ordinates, last, 2 * h + 1);
        for (std::size_t at = 0; at < lead_count; ++at) alone[at] = alone[at] || !sliding[at];
        fit_slope_curves_side_by_side(work, first_fitted_row, first, ordinates, alone);
    }
    for (int l = 1; l <= lead_count; ++l) {
        if (alone[static_cast<std::size_t>(l - 1)]) {
            take_lead_samples(work, l);
            fit_slope_curve(work, report, l, first_fitted_row);
        }
        find_steepest_upstroke(work, l);
    }
}

}  // namespace

void share_ari_windows(AriWork& work) {
    for (int k = 1; k <= averaged_rows; ++k) work.abscissae(k) = static_cast<float>(k);
    share_window_abscissae(work);
}

void compute_ari_on_shared_windows(AriWork& work, ReportSink& report) {
    // The search compares D(k) with D(k - 1) from k = J + r to E.
    compute_leads_side_by_side(
        work, report,
        std::min(work.j_point + work.settings.recovery_delay_samples - 1, work.t_end));
}

void compute_ari(AriWork& work, ReportSink& report) {
    share_ari_windows(work);
    compute_leads_side_by_side(work, report, work.j_point);
}

}  // namespace mapari
