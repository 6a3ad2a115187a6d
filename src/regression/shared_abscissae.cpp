// The fast path of fits sharing their abscissae: a window's shared part
// formed once from x, then each series' coefficients from it and its sums.
#include "regression/shared_abscissae.hpp"

#include <string_view>

#include "regression/regression_arithmetic.hpp"
#include "regression/regression_report.hpp"
#include "regression/tmatrp.hpp"

namespace mapari {
namespace {

using namespace regression;

constexpr std::int32_t no_inverse = 2;
constexpr std::int32_t no_solve = 2;
constexpr std::int32_t silent_report = 0;

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

void share_abscissae(RegressionWork& scratch, std::int32_t first, std::int32_t last, const float* x,
                     std::int32_t degree, SharedAbscissae& shared) {
    const std::int32_t m = degree;
    // Where the messages of a shared window's own computation go: each series
    // fitted on it writes them as its own call would.
    SilentReport silence;
    shared.solver_status = -1;
    if (m > largest_shared_degree || !parameters_accepted(scratch, first, last, m)) return;
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
