// The arithmetic of the general call: the sums with y, the fit of every
// degree from the one factorisation, its statistics and the residuals, and
// the choice of what the report level writes.
#include "regression/polynomial_regression.hpp"

#include <algorithm>
#include <cmath>

#include "regression/regression_arithmetic.hpp"
#include "regression/regression_report.hpp"

namespace mapari {
namespace {

using namespace regression;

constexpr float ss_floor = 2.9e-31f;  // least residual sum of squares, keeps s above 0
constexpr std::int32_t forward_half_only = 1;

bool level_is_one_of(std::int32_t level, std::int32_t a, std::int32_t b) {
    return level == a || level == b;
}

// Power sums S(1..2m), cross sums T(1..m), Sy and Syy, all in 64 bits.
// FixedDegree > 0 is the degree known when compiling (the ARI computation's
// cubic), which lets the compiler keep every sum in a register; 0 takes m.
// Either way each sum is added point by point in ascending order, so the
// results are the same.
template <std::int32_t FixedDegree>
void accumulate_sums_of_degree(RegressionWork& work, OneBased<const float> x,
                               OneBased<const float> y, std::int32_t last, std::int32_t m) {
    const std::int32_t degree = FixedDegree > 0 ? FixedDegree : m;
    const std::int32_t powers_used = 2 * degree;
    double power_sums[2 * largest_degree];
    double cross_sums[largest_degree];
    for (std::int32_t k = 0; k < powers_used; ++k) power_sums[k] = 0.0;
    for (std::int32_t k = 0; k < degree; ++k) cross_sums[k] = 0.0;
    double sum_y = 0.0, sum_yy = 0.0;
    for (std::int32_t i = work.first; i <= last; ++i) {
        const double xi = x(i);
        const double yi = y(i);
        double power = xi;  // x^(k+1), each power formed as x times the one below it
#pragma GCC unroll 6
        for (std::int32_t k = 0; k < powers_used; ++k) {
            if (k > 0) power = xi * power;
            power_sums[k] += power;
            if (k < degree) cross_sums[k] += yi * power;
        }
        sum_y += yi;
        sum_yy += yi * yi;
    }
    work.power_sums.fill(0.0);
    work.cross_sums.fill(0.0);
    for (std::int32_t k = 1; k <= powers_used; ++k) work.power_sums(k) = power_sums[k - 1];
    for (std::int32_t k = 1; k <= degree; ++k) work.cross_sums(k) = cross_sums[k - 1];
    work.sum_y = sum_y;
    work.corrected_yy = sum_yy;
}

void accumulate_sums(RegressionWork& work, OneBased<const float> x, OneBased<const float> y,
                     std::int32_t last, std::int32_t m) {
    constexpr std::int32_t cubic = 3;
    if (m == cubic) return accumulate_sums_of_degree<cubic>(work, x, y, last, m);
    accumulate_sums_of_degree<0>(work, x, y, last, m);
}

// The right-hand side of the normal equations, in column m + 1.
void build_right_hand_side(RegressionWork& work, std::int32_t m) {
    for (std::int32_t i = 1; i <= m; ++i)
        work.matrix(i, m + 1) =
            right_hand_side(work.cross_sums(i), work.sum_y, work.power_sums(i), work.inverse_count);
}

// Syy becomes the corrected sum of squares.
void summarise_ordinates(RegressionWork& work) {
    const OrdinateSummary y = summary_of_ordinates(work.sum_y, work.corrected_yy, work.count,
                                                   work.inverse_count_less_one);
    work.mean_y = y.mean_y;
    work.corrected_yy = y.corrected_yy;
    work.corrected_yy_32 = y.corrected_yy_32;
    work.variance_y = y.variance_y;
}

void store_data_summary(const RegressionWork& work, OneBased<float> summary) {
    summary(1) = work.mean_x;
    summary(2) = work.variance_x;
    summary(3) = work.mean_y;
    summary(4) = work.variance_y;
    summary(5) = work.correlation;
}

// Term k joins the fit: its sum of squares z(k)^2 leaves the residual, and
// column k of R^-1 adds to the coefficients and the variance factors.
template <typename FactorInverse>
void add_term(RegressionWork& work, const FactorInverse& factor_inverse, std::int32_t k,
              OneBased<float> b, OneBased<float> r) {
    const float z = work.forward(k);
    work.term_ss(k) = z * z;
    work.variance_factors(k) = 0.0f;
    work.residual_ss = std::max(work.residual_ss - double(work.term_ss(k)), double(ss_floor));
    // Q is rounded to 32 bits while SSres is not, so with no fit to speak of
    // their ratio can pass 1 by a rounding; R^2 then stays at 0.
    float r_squared = 1.0f;
    if (work.corrected_yy_32 > ss_floor)
        r_squared = static_cast<float>(
            std::max(1.0 - work.residual_ss / double(work.corrected_yy_32), 0.0));
    work.fit.r_squared = r_squared;
    work.fit.multiple_r = std::sqrt(r_squared);
    r(k) = work.fit.multiple_r;
    add_to_coefficients(factor_inverse, k, z, b);
    for (std::int32_t i = 1; i <= k; ++i) {
        const double inverse = factor_inverse(k + 1, i);
        work.variance_factors(i) =
            static_cast<float>(double(work.variance_factors(i)) + inverse * inverse);
    }
}

// Degrees of freedom, standard errors, t values, the intercept and the
// analysis of variance of the degree-k fit.
void degree_statistics(RegressionWork& work, std::int32_t k, OneBased<const float> b,
                       OneBased<float> se, float& intercept) {
    DegreeFit& fit = work.fit;
    fit.residual_df = (work.count - 1) - k + work.dropped_so_far;
    fit.regression_df = k - work.dropped_so_far;
    const float s = static_cast<float>(std::sqrt(work.residual_ss / fit.residual_df));
    fit.estimate_error = s;
    for (std::int32_t i = 1; i <= k; ++i) {
        se(i) = std::sqrt(work.variance_factors(i)) * s;
        work.t_values(i) = b(i) / (ss_floor + se(i));
    }
    intercept = intercept_of(work.sum_y, {work.power_sums.data()}, work.count, k, b);
    fit.sequential_f = work.term_ss(k) / (s * s);
    fit.regression_ss = fit.r_squared * work.corrected_yy_32;
    fit.regression_ms = fit.regression_ss / static_cast<float>(fit.regression_df);
    fit.residual_ms = static_cast<float>(work.residual_ss / fit.residual_df);
    fit.overall_f = fit.regression_ms / fit.residual_ms;
}

// The fits of degree 1 to m, from the one factorisation. A degree whose pivot
// the solver dropped (its reciprocal pivot is 0) adds no term and no degree of
// freedom, and gets no block of its own unless it is degree m. The reciprocal
// pivot is the test, not R^-1(1, k): that entry is 0 for every even degree
// when x is symmetric about 0, although those terms are real.
template <typename FactorInverse>
void fit_degrees(RegressionWork& work, const FactorInverse& factor_inverse, ReportSink& report,
                 std::int32_t m, std::int32_t report_level, CallOutputs& out) {
    work.dropped_so_far = 0;
    work.residual_ss = work.corrected_yy;
    const bool every_degree = level_is_one_of(report_level, 1, 2);
    for (std::int32_t k = 1; k <= m; ++k) {
        add_term(work, factor_inverse, k, out.coefficients, out.multiple_r);
        const bool dropped = factor_inverse(k + 1, k) == 0.0f;
        if (dropped) ++work.dropped_so_far;
        if (k != m && (dropped || !every_degree)) continue;
        const OneBased<const float> b{out.coefficients.first};
        degree_statistics(work, k, b, out.standard_errors, out.intercept);
        if (report_level > 0)
            write_degree_block(report, work, k, m, out.intercept, b,
                               OneBased<const float>{out.standard_errors.first});
    }
}

// The fit summary holds the values of degree m.
void store_fit_summary(const RegressionWork& work, std::int32_t m, OneBased<float> summary) {
    const DegreeFit& fit = work.fit;
    summary(1) = work.determinant;
    summary(2) = fit.estimate_error;
    summary(3) = fit.multiple_r;
    summary(4) = fit.r_squared;
    summary(5) = fit.regression_ss;
    summary(6) = static_cast<float>(m - work.solver_status);
    summary(7) = static_cast<float>(work.residual_ss);
    summary(8) = static_cast<float>(fit.residual_df);
    summary(9) = fit.overall_f;
}

// residual(i) = (y - b0) - p(x), p by Horner's rule without b0.
void compute_residuals(const RegressionWork& work, std::int32_t last, std::int32_t m,
                       float intercept, OneBased<const float> b, OneBased<const float> x,
                       OneBased<const float> y, OneBased<float> residuals) {
    for (std::int32_t i = work.first; i <= last; ++i) {
        float p = 0.0f;
        for (std::int32_t k = m; k >= 1; --k) p = (p + b(k)) * x(i);
        residuals(i) = (y(i) - intercept) - p;
    }
}

// Correlation, data summary and warnings; false when there is no spread.
bool describe_data(RegressionWork& work, ReportSink& report, std::int32_t m,
                   std::int32_t report_level, CallOutputs& out, OneBased<float> data_summary) {
    const double xy_spread = spread(work.variance_x, work.variance_y);
    if (has_no_spread(xy_spread, work.inverse_count_less_one)) {
        set_fit_to_zero(m, out);
        return false;
    }
    // Sxy / sqrt(Sxx Syy), written with the variances: (Sxy / sqrt(var x var y)) / (N - 1).
    work.correlation =
        static_cast<float>(work.matrix(1, m + 1) / xy_spread * double(work.inverse_count_less_one));
    store_data_summary(work, data_summary);
    if (report_level > 0) write_data_summary(report, work);
    write_warnings(report, is_constant(work.variance_x, work.mean_x),
                   is_constant(work.corrected_yy_32, work.mean_y));
    return true;
}

// Sums, matrix, data summary and warnings; false as describe_data.
bool prepare_data(RegressionWork& work, ReportSink& report, std::int32_t last,
                  OneBased<const float> x, OneBased<const float> y, std::int32_t m,
                  std::int32_t report_level, CallOutputs& out, OneBased<float> data_summary) {
    set_inverse_counts(work);
    accumulate_sums(work, x, y, last, m);
    build_matrix(work, m);
    build_right_hand_side(work, m);
    summarise_abscissae(work);
    summarise_ordinates(work);
    return describe_data(work, report, m, report_level, out, data_summary);
}

}  // namespace

void polynomial_regression(RegressionWork& work, const RegressionPoints& points,
                           std::int32_t degree, std::int32_t report_level,
                           RegressionResults& results, ReportSink& report) {
    const std::int32_t m = degree, last = points.last;
    std::int32_t& status = results.status;
    status = 0;
    if (!parameters_accepted(work, points.first, last, m)) {
        write_parameter_error(report, points.first, last, m);
        status = -1;
        return;
    }
    const OneBased<const float> xs{points.x}, ys{points.y};
    CallOutputs out{results.intercept,
                    {results.coefficients.data()},
                    {results.standard_errors.data()},
                    {results.multiple_r.data()}};
    if (!prepare_data(work, report, last, xs, ys, m, report_level, out,
                      {results.data_summary.data()}))
        return;
    tmatrp(report, m, work.matrix, pivot_tolerance, inverse_of_factor_only, forward_half_only,
           work.forward, work.determinant, solver_rows, work.solver_status);
    status = work.solver_status;
    if (status < 0) return;
    fit_degrees(work, work.matrix, report, m, report_level, out);
    store_fit_summary(work, m, {results.fit_summary.data()});
    const OneBased<float> residuals{points.residuals};
    compute_residuals(work, last, m, results.intercept, {results.coefficients.data()}, xs, ys,
                      residuals);
    if (level_is_one_of(report_level, 1, 3))
        write_residual_table(report, work, last, xs, ys, {points.residuals});
}

}  // namespace mapari
