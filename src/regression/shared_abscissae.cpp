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

namespace {

// Each series' coefficients as if it had spread, and the parts of its
// summary of y that take no branch.
struct FormedCubics {
    SeriesCubics::Values b1, b2, b3, mean_y, corrected_yy;
};

// A loop the compiler takes several series at a time: what it writes is its
// own, so no store can change the sums it reads.
FormedCubics form_cubics(const SharedAbscissae& shared, const SeriesSums& sums) {
    FormedCubics formed;
    const auto& r = shared.factor;
    const auto& inverse = shared.factor_inverse;
    const double n = shared.count;
    for (std::size_t s = 0; s < series_side_by_side; ++s) {
        const float rhs_1 = right_hand_side(sums.cross_1[s], sums.sum_y[s], shared.power_sums(1),
                                            shared.inverse_count);
        const float rhs_2 = right_hand_side(sums.cross_2[s], sums.sum_y[s], shared.power_sums(2),
                                            shared.inverse_count);
        const float rhs_3 = right_hand_side(sums.cross_3[s], sums.sum_y[s], shared.power_sums(3),
                                            shared.inverse_count);
        // summary_of_ordinates up to its clamp at 0.
        formed.mean_y[s] = static_cast<float>(sums.sum_y[s] / n);
        formed.corrected_yy[s] =
            static_cast<float>(sums.sum_yy[s] - sums.sum_y[s] * sums.sum_y[s] / n);
        // forward_substitution, unrolled.
        const auto z_1 = static_cast<float>(double(rhs_1) * double(r(2, 1)));
        double partial = double(rhs_2);
        partial -= double(z_1) * double(r(3, 1));
        const auto z_2 = static_cast<float>(partial * double(r(3, 2)));
        partial = double(rhs_3);
        partial -= double(z_1) * double(r(4, 1));
        partial -= double(z_2) * double(r(4, 2));
        const auto z_3 = static_cast<float>(partial * double(r(4, 3)));
        // add_to_coefficients for terms 1, 2 and 3, unrolled.
        auto b_1 = static_cast<float>(double(0.0f) + double(inverse(2, 1)) * double(z_1));
        b_1 = static_cast<float>(double(b_1) + double(inverse(3, 1)) * double(z_2));
        auto b_2 = static_cast<float>(double(0.0f) + double(inverse(3, 2)) * double(z_2));
        b_1 = static_cast<float>(double(b_1) + double(inverse(4, 1)) * double(z_3));
        b_2 = static_cast<float>(double(b_2) + double(inverse(4, 2)) * double(z_3));
        formed.b1[s] = b_1;
        formed.b2[s] = b_2;
        formed.b3[s] = static_cast<float>(double(0.0f) + double(inverse(4, 3)) * double(z_3));
    }
    return formed;
}

}  // namespace

void fit_cubics_on_shared_abscissae(const SharedAbscissae& shared, const SeriesSums& sums,
                                    SeriesCubics& cubics) {
    const FormedCubics formed = form_cubics(shared, sums);
    cubics.b1 = formed.b1;
    cubics.b2 = formed.b2;
    cubics.b3 = formed.b3;
    const bool x_constant = is_constant(shared.variance_x, shared.mean_x);
    for (std::size_t s = 0; s < series_side_by_side; ++s) {
        const float corrected_yy_32 = std::max(formed.corrected_yy[s], 0.0f);
        const float variance_y = corrected_yy_32 * shared.inverse_count_less_one;
        const bool no_spread =
            has_no_spread(spread(shared.variance_x, variance_y), shared.inverse_count_less_one);
        if (no_spread) cubics.b1[s] = cubics.b2[s] = cubics.b3[s] = 0.0f;
        cubics.warns[s] =
            !no_spread && (x_constant || is_constant(corrected_yy_32, formed.mean_y[s]));
    }
}

}  // namespace mapari
