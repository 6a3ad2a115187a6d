#include "regression/polynomial_regression.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "regression/report_format.hpp"

namespace mapari {
namespace {

constexpr float pivot_tolerance = 1e-6f;
constexpr float ss_floor = 2.9e-31f;         // least residual sum of squares, keeps s above 0
constexpr float constancy_fraction = 1e-6f;  // spread below this part of mean^2 is "constant"
constexpr std::int32_t solver_rows = regression_rows;
constexpr std::int32_t inverse_of_factor_only = 1;
constexpr std::int32_t no_inverse = 2;
constexpr std::int32_t forward_half_only = 1;
constexpr std::int32_t no_solve = 2;
constexpr std::int32_t silent_report = 0;

// Where the messages of a shared window's own computation go: each series
// fitted on it writes them as its own call would.
struct Silence final : ReportSink {
    void write(std::string_view) override {}
};

// A caller's array seen from its element 1.
template <typename T>
struct OneBased {
    T* first;
    T& operator()(std::int32_t i) const { return first[i - 1]; }
};

bool level_is_one_of(std::int32_t level, std::int32_t a, std::int32_t b) {
    return level == a || level == b;
}

// The degree must be 1 to 20, with at least m + 2 points to leave a residual
// degree of freedom; a refusal is reported with the numbers as passed.
bool parameters_accepted(RegressionWork& work, ReportSink& report, std::int32_t first,
                         std::int32_t last, std::int32_t m) {
    work.first = std::max(first, 1);
    work.count = last - work.first + 1;
    if (m < regression_rows && m > 0 && work.count > m + 1) return true;
    ReportLine line(control_skip_line);
    line.text("*** parameter error m1 =").integer(first, 4).blanks(3).text("m =").integer(last, 4);
    line.blanks(3).text("  =,").integer(m, 4).text(" .lt.  ").integer(regression_rows, 3);
    write_record(report, line);
    return false;
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

// The power sums S(1..2m) alone, each added point by point in ascending
// order with its powers formed as accumulate_sums forms them, so a shared
// window holds the very sums a call of its own would.
void accumulate_power_sums(RegressionWork& work, OneBased<const float> x, std::int32_t last,
                           std::int32_t m) {
    const std::int32_t powers_used = 2 * m;
    double power_sums[2 * largest_degree];
    for (std::int32_t k = 0; k < powers_used; ++k) power_sums[k] = 0.0;
    for (std::int32_t i = work.first; i <= last; ++i) {
        const double xi = x(i);
        double power = xi;
        for (std::int32_t k = 0; k < powers_used; ++k) {
            if (k > 0) power = xi * power;
            power_sums[k] += power;
        }
    }
    for (std::int32_t k = 1; k <= powers_used; ++k) work.power_sums(k) = power_sums[k - 1];
}

// The upper triangle of the normal equations about the means.
void build_matrix(RegressionWork& work, std::int32_t m) {
    const double inverse_n = work.inverse_count;
    const auto& s = work.power_sums;
    for (std::int32_t i = 1; i <= m; ++i)
        for (std::int32_t j = i; j <= m; ++j)
            work.matrix(i, j) = static_cast<float>(s(i + j) - s(i) * s(j) * inverse_n);
}

// Entry i of the right-hand side of the normal equations: T(i) - Sy S(i) / N.
float right_hand_side(double cross_sum, double sum_y, double power_sum, double inverse_n) {
    return static_cast<float>(cross_sum - sum_y * power_sum * inverse_n);
}

// The right-hand side of the normal equations, in column m + 1.
void build_right_hand_side(RegressionWork& work, std::int32_t m) {
    for (std::int32_t i = 1; i <= m; ++i)
        work.matrix(i, m + 1) =
            right_hand_side(work.cross_sums(i), work.sum_y, work.power_sums(i), work.inverse_count);
}

// Mean and variance of x.
void summarise_abscissae(RegressionWork& work) {
    const double n = work.count;
    work.mean_x = static_cast<float>(work.power_sums(1) / n);
    work.variance_x = std::max(work.matrix(1, 1) * work.inverse_count_less_one, 0.0f);
}

// Mean and variance of y from Sy and the uncorrected Syy.
struct OrdinateSummary {
    float mean_y = 0.0f;
    double corrected_yy = 0.0;  // Syy corrected for the mean
    float corrected_yy_32 = 0.0f;
    float variance_y = 0.0f;
};

OrdinateSummary summary_of_ordinates(double sum_y, double sum_yy, std::int32_t count,
                                     float inverse_count_less_one) {
    const double n = count;
    OrdinateSummary y;
    y.mean_y = static_cast<float>(sum_y / n);
    y.corrected_yy = sum_yy - sum_y * sum_y / n;
    y.corrected_yy_32 = std::max(static_cast<float>(y.corrected_yy), 0.0f);
    y.variance_y = y.corrected_yy_32 * inverse_count_less_one;
    return y;
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

// sqrt(var x * var y): whether there is anything to fit at all, and the
// divisor of the correlation. The product is formed in 64 bits so that two
// small variances cannot underflow to a false zero, nor two large ones overflow.
double spread(float variance_x, float variance_y) {
    return std::sqrt(double(variance_x) * double(variance_y));
}

void store_data_summary(const RegressionWork& work, OneBased<float> summary) {
    summary(1) = work.mean_x;
    summary(2) = work.variance_x;
    summary(3) = work.mean_y;
    summary(4) = work.variance_y;
    summary(5) = work.correlation;
}

void write_data_summary(ReportSink& report, const RegressionWork& work) {
    write_record(report, ReportLine(control_new_page));
    write_record(report, ReportLine(control_skip_line).text(" *** polynomial regression ***"));
    write_record(report, ReportLine(control_skip_line)
                             .text("number of datas")
                             .blanks(19)
                             .text("= ")
                             .integer(work.count, 10));
    write_record(report, ReportLine(control_skip_line)
                             .text("independent variable  x      mean =")
                             .fixed(work.mean_x, 25, 8));
    write_record(
        report,
        ReportLine(control_none).blanks(25).text("variance =").fixed(work.variance_x, 25, 8));
    write_record(report, ReportLine(control_skip_line)
                             .text("dependent variable    y      mean =")
                             .fixed(work.mean_y, 25, 8));
    write_record(
        report,
        ReportLine(control_none).blanks(25).text("variance =").fixed(work.variance_y, 25, 8));
    write_record(report, ReportLine(control_skip_line)
                             .text("          correlation coefficient =")
                             .fixed(work.correlation, 25, 8));
}

// Near-constant data is warned of but still fitted: x is judged on its
// variance, y on its corrected sum of squares.
bool is_constant(float spread_measure, float mean) {
    return spread_measure <= mean * mean * constancy_fraction;
}

void write_warning(ReportSink& report, std::string_view warning) {
    write_record(report, ReportLine(control_skip_line).text(warning));
}

void write_warnings(ReportSink& report, bool x_constant, bool y_constant) {
    if (x_constant) write_warning(report, "*** warning : variable x is constant.");
    if (y_constant) write_warning(report, "*** warning : dependent variable y is constant.");
}

// Term k joins the coefficients: column k of R^-1 times z(k). The factor
// inverse is the solver's matrix or a shared window's copy of it; R^-1(i, k)
// is at (k + 1, i) in either.
template <typename FactorInverse>
[[gnu::always_inline]] inline void add_to_coefficients(const FactorInverse& factor_inverse,
                                                       std::int32_t k, float z, OneBased<float> b) {
    b(k) = 0.0f;
#pragma GCC unroll 3
    for (std::int32_t i = 1; i <= k; ++i) {
        const double inverse = factor_inverse(k + 1, i);
        b(i) = static_cast<float>(double(b(i)) + inverse * double(z));
    }
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

// b0 = (Sy - sum of b(i) S(i)) / N.
float intercept_of(double sum_y, OneBased<const double> power_sums, std::int32_t count,
                   std::int32_t k, OneBased<const float> b) {
    double centred_sum = sum_y;
    for (std::int32_t i = 1; i <= k; ++i) centred_sum -= double(b(i)) * power_sums(i);
    return static_cast<float>(centred_sum / count);
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

void write_coefficient_table(ReportSink& report, const RegressionWork& work, std::int32_t k,
                             OneBased<const float> b, OneBased<const float> se) {
    write_record(report, ReportLine(control_skip_line)
                             .text("order term")
                             .blanks(10)
                             .text("  regression")
                             .blanks(8)
                             .text("standard error")
                             .blanks(11)
                             .text("t"));
    write_record(report, ReportLine(control_none)
                             .blanks(20)
                             .text(" coefficient")
                             .blanks(8)
                             .text(" of reg. coef.")
                             .blanks(11)
                             .text("value"));
    for (std::int32_t i = 1; i <= k; ++i)
        write_record(report, ReportLine(control_none)
                                 .integer(i, 10)
                                 .fixed(b(i), 22, 8)
                                 .fixed(se(i), 22, 8)
                                 .fixed(work.t_values(i), 16, 4));
}

void write_variance_table(ReportSink& report, const RegressionWork& work, std::int32_t k,
                          std::int32_t m) {
    const DegreeFit& fit = work.fit;
    write_record(report, ReportLine(control_skip_line)
                             .blanks(10)
                             .text("analysis of variance  for")
                             .integer(k, 4)
                             .text(" degree polynomial  "));
    write_record(report, ReportLine(control_skip_line)
                             .text("     source of      degrees of")
                             .blanks(4)
                             .text("sum of")
                             .blanks(10)
                             .text("mean")
                             .blanks(9)
                             .text("f"));
    write_record(report, ReportLine(control_none)
                             .blanks(5)
                             .text("variation ")
                             .blanks(8)
                             .text("freedom")
                             .text("   squares")
                             .blanks(7)
                             .text("squares")
                             .blanks(9)
                             .text("value"));
    write_record(report, ReportLine(control_none));
    if (k == m) {
        for (std::int32_t i = 1; i <= m; ++i)
            write_record(report, ReportLine(control_none)
                                     .integer(i, 5)
                                     .text(" order term .......    1 ")
                                     .general(work.term_ss(i), 14)
                                     .general(work.term_ss(i), 14));
    }
    write_record(report, ReportLine(control_none)
                             .text("due to regression  .....")
                             .integer(fit.regression_df, 5)
                             .blanks(1)
                             .general(fit.regression_ss, 14)
                             .general(fit.regression_ms, 14)
                             .general(fit.overall_f, 14));
    write_record(report, ReportLine(control_none)
                             .text("residual about reg. ....")
                             .integer(fit.residual_df, 5)
                             .blanks(1)
                             .general(work.residual_ss, 14)
                             .general(fit.residual_ms, 14));
    write_record(report, ReportLine(control_none)
                             .text("total     ..............")
                             .integer(work.count - 1, 5)
                             .blanks(1)
                             .general(work.corrected_yy_32, 14));
}

void write_degree_block(ReportSink& report, const RegressionWork& work, std::int32_t k,
                        std::int32_t m, float intercept, OneBased<const float> b,
                        OneBased<const float> se) {
    const DegreeFit& fit = work.fit;
    write_record(report, ReportLine(control_skip_line)
                             .text(" *** polynomial regression of degree ")
                             .integer(k, 2)
                             .text(" ***"));
    write_record(report, ReportLine(control_skip_line)
                             .text("multiple regression coeffcient    =")
                             .fixed(fit.multiple_r, 20, 8));
    write_record(report, ReportLine(control_none)
                             .text("standard error of estimate        =")
                             .fixed(fit.estimate_error, 20, 8));
    write_record(report, ReportLine(control_none)
                             .text("f-value ( sequential f-test )     =")
                             .fixed(fit.sequential_f, 20, 8));
    write_record(report, ReportLine(control_skip_line)
                             .text("intercept constant                =")
                             .fixed(intercept, 20, 8));
    write_coefficient_table(report, work, k, b, se);
    write_variance_table(report, work, k, m);
}

struct CallOutputs {
    float& intercept;
    OneBased<float> coefficients, standard_errors, multiple_r;
};

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

void write_residual_table(ReportSink& report, const RegressionWork& work, std::int32_t last,
                          OneBased<const float> x, OneBased<const float> y,
                          OneBased<const float> residuals) {
    write_record(report, ReportLine(control_new_page));
    write_record(report, ReportLine(control_skip_line).blanks(10).text("table of residuals  "));
    write_record(report, ReportLine(control_skip_line)
                             .text("  no.")
                             .blanks(9)
                             .text("x value")
                             .blanks(9)
                             .text("y value")
                             .blanks(5)
                             .text("y predicted")
                             .blanks(8)
                             .text("residual"));
    for (std::int32_t i = work.first; i <= last; ++i)
        write_record(report, ReportLine(control_none)
                                 .integer(i, 5)
                                 .fixed(x(i), 16, 5)
                                 .fixed(y(i), 16, 5)
                                 .fixed(y(i) - residuals(i), 16, 5)
                                 .fixed(residuals(i), 16, 5));
}

void set_inverse_counts(RegressionWork& work) {
    work.inverse_count = 1.0 / work.count;
    work.inverse_count_less_one = 1.0f / static_cast<float>(work.count - 1);
}

// When x or y has no spread at all, the coefficients and the intercept are 0
// and the call ends.
bool has_no_spread(double xy_spread, float inverse_count_less_one) {
    return xy_spread * double(inverse_count_less_one) == 0.0;
}

void set_fit_to_zero(std::int32_t m, CallOutputs& out) {
    for (std::int32_t k = 1; k <= m; ++k) out.coefficients(k) = 0.0f;
    out.intercept = 0.0f;
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

// tmatrp's results (i, j), i <= j <= m, as it left them in its matrix.
void keep_results(const SolverMatrix& matrix, std::int32_t m, SharedFactor& kept) {
    for (std::int32_t i = 1; i <= m; ++i)
        for (std::int32_t j = i; j <= m; ++j) kept(j + 1, i) = matrix(j + 1, i);
}

// A fit from a shared window and one series' sums, by the arithmetic of
// polynomial_regression's own steps (right_hand_side, summary_of_ordinates,
// the spread, the warnings, the forward half, add_to_coefficients,
// intercept_of) on values kept at hand. FixedDegree > 0 is the degree known
// when compiling (the ARI computation's cubic), which lets the compiler unroll
// every loop over the terms; 0 takes the degree passed. The operations are the
// same either way.
template <std::int32_t FixedDegree>
void fit_shared_of_degree(const SharedAbscissae& shared, const OrdinateSums& sums,
                          std::int32_t degree, RegressionResults& results, ReportSink& report) {
    const std::int32_t m = FixedDegree > 0 ? FixedDegree : degree;
    CallOutputs out{results.intercept,
                    {results.coefficients.data()},
                    {results.standard_errors.data()},
                    {results.multiple_r.data()}};
    results.status = 0;
    float right_hand_sides[largest_shared_degree];
#pragma GCC unroll 3
    for (std::int32_t i = 1; i <= m; ++i)
        right_hand_sides[i - 1] = right_hand_side(sums.cross_sums(i), sums.sum_y,
                                                  shared.power_sums(i), shared.inverse_count);
    const OrdinateSummary y =
        summary_of_ordinates(sums.sum_y, sums.sum_yy, shared.count, shared.inverse_count_less_one);
    if (has_no_spread(spread(shared.variance_x, y.variance_y), shared.inverse_count_less_one))
        return set_fit_to_zero(m, out);
    write_warnings(report, is_constant(shared.variance_x, shared.mean_x),
                   is_constant(y.corrected_yy_32, y.mean_y));
    float forward[largest_shared_degree];
    forward_substitution(shared.factor, m, right_hand_sides, forward);
    results.status = shared.solver_status;
    // Formed apart from the results, which the compiler must otherwise take
    // to overlap the factor.
    float formed[largest_shared_degree];
    const OneBased<float> b{formed};
#pragma GCC unroll 3
    for (std::int32_t k = 1; k <= m; ++k)
        add_to_coefficients(shared.factor_inverse, k, forward[k - 1], b);
#pragma GCC unroll 3
    for (std::int32_t i = 1; i <= m; ++i) out.coefficients(i) = b(i);
    out.intercept = intercept_of(sums.sum_y, {shared.power_sums.data()}, shared.count, m, {formed});
}

}  // namespace

void polynomial_regression(RegressionWork& work, const RegressionPoints& points,
                           std::int32_t degree, std::int32_t report_level,
                           RegressionResults& results, ReportSink& report) {
    const std::int32_t m = degree, last = points.last;
    std::int32_t& status = results.status;
    status = 0;
    if (!parameters_accepted(work, report, points.first, last, m)) {
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

void share_abscissae(RegressionWork& scratch, std::int32_t first, std::int32_t last, const float* x,
                     std::int32_t degree, SharedAbscissae& shared) {
    const std::int32_t m = degree;
    Silence silence;
    shared.solver_status = -1;
    if (m > largest_shared_degree || !parameters_accepted(scratch, silence, first, last, m)) return;
    set_inverse_counts(scratch);
    accumulate_power_sums(scratch, {x}, last, m);
    build_matrix(scratch, m);
    summarise_abscissae(scratch);
    std::int32_t status = 0;
    tmatrp(silence, m, scratch.matrix, pivot_tolerance, no_inverse, no_solve, scratch.forward,
           scratch.determinant, solver_rows, status);
    if (status < 0) return;
    keep_results(scratch.matrix, m, shared.factor);
    // The same factorisation again, now going on to R^-1; the upper triangle it
    // starts from is never written, so it is the factor kept above.
    tmatrp(silence, m, scratch.matrix, pivot_tolerance, inverse_of_factor_only, no_solve,
           scratch.forward, scratch.determinant, solver_rows, status);
    keep_results(scratch.matrix, m, shared.factor_inverse);
    shared.count = scratch.count;
    shared.inverse_count = scratch.inverse_count;
    shared.inverse_count_less_one = scratch.inverse_count_less_one;
    for (std::int32_t k = 1; k <= m; ++k) shared.power_sums(k) = scratch.power_sums(k);
    shared.mean_x = scratch.mean_x;
    shared.variance_x = scratch.variance_x;
    shared.solver_status = status;
}

void fit_on_shared_abscissae(RegressionWork& work, const SharedAbscissae& shared,
                             const RegressionPoints& points, const OrdinateSums& sums,
                             std::int32_t degree, RegressionResults& results, ReportSink& report) {
    constexpr std::int32_t cubic = 3;
    if (shared.solver_status < 0)
        return polynomial_regression(work, points, degree, silent_report, results, report);
    if (degree == cubic) return fit_shared_of_degree<cubic>(shared, sums, degree, results, report);
    fit_shared_of_degree<0>(shared, sums, degree, results, report);
}

}  // namespace mapari
