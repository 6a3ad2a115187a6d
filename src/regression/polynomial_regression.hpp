// Polynomial regression: fits y = b0 + b1 x + ... + bm x^m by least squares to
// the points first..last, through the normal equations in deviations from the
// means, factored once by tmatrp (R^T R) with the forward half z = R^-T c and
// R^-1. Because R is triangular, the fit of every degree k <= m follows from
// the first k columns: b = R^-1 z over those columns, and z(k)^2 is the sum of
// squares that term k adds, which gives the sequential F-test of each degree.
//
// Arithmetic: power sums, cross sums and the sums of y are accumulated in 64
// bits; the matrix, coefficients and statistics are stored as 32-bit reals.
// The power table holds 2m entries, so every degree the parameter check admits
// (1 to 20) is fitted.
//
// Limits: 1 <= m <= 20 and at least m + 2 points, else status -1 and a
// message. A first point number below 1 is taken as 1. A term whose pivot
// falls below 1e-6 of its diagonal is dropped (coefficient 0, no degree of
// freedom; status counts them). When x or y has no spread at all, the
// coefficients and the intercept are set to 0 and nothing else is done. A
// residual sum of squares is never below 2.9e-31, so s, F and t stay finite
// on an exact fit; R^2 is never below 0, so R is 0 (not undefined) when the
// terms explain nothing.
//
// Report levels: 0 or less nothing but warnings and errors; 1 data summary,
// the block of every fitted degree and the residuals; 2 as 1 without the
// residuals; 3 data summary, degree m and the residuals; 4 or more as 3
// without the residuals.
//
// Check a result: the residuals sum to about 0 and are orthogonal to every
// power of x; the fit summary's SSR + SSres equals the corrected sum of
// squares of y; an exact polynomial gives R = 1 and its own coefficients.
#pragma once

#include <cstdint>

#include "regression/tmatrp.hpp"
#include "store/arrays.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr int largest_degree = 20;

// Statistics of the fit of one degree, as the report and the fit summary show them.
struct DegreeFit {
    float r_squared = 0.0f;
    float multiple_r = 0.0f;
    float estimate_error = 0.0f;  // s, the standard error of estimate
    float sequential_f = 0.0f;    // F of the term this degree adds
    float regression_ss = 0.0f;
    float regression_ms = 0.0f;
    float residual_ms = 0.0f;
    float overall_f = 0.0f;
    std::int32_t regression_df = 0;
    std::int32_t residual_df = 0;
};

// The routine's working store, owned by the caller (it lives in the program store).
struct RegressionWork {
    Array1<double, 2 * largest_degree> power_sums;  // S(k)
    Array1<double, largest_degree> cross_sums;      // T(k)
    SolverMatrix matrix;
    Array1<float, regression_rows> forward;  // z
    Array1<float, largest_degree> term_ss, variance_factors, t_values;

    std::int32_t first = 1;               // first point used, at least 1
    std::int32_t count = 0;               // N
    double inverse_count = 0.0;           // 1/N
    float inverse_count_less_one = 0.0f;  // 1/(N - 1)
    double sum_y = 0.0;                   // Sy
    double corrected_yy = 0.0;            // Syy, corrected for the mean after the data summary
    float corrected_yy_32 = 0.0f;         // Q
    float mean_x = 0.0f, variance_x = 0.0f, mean_y = 0.0f, variance_y = 0.0f;
    float correlation = 0.0f;
    float determinant = 0.0f;
    std::int32_t solver_status = 0;
    std::int32_t dropped_so_far = 0;  // d
    double residual_ss = 0.0;         // SSres of the degree in hand
    DegreeFit fit;
};

// The outputs of one call in one place, for a caller that keeps them together.
struct RegressionResults {
    float intercept = 0.0f;
    Array1<float, largest_degree> coefficients, standard_errors, multiple_r;
    Array1<float, 9> fit_summary;
    Array1<float, 5> data_summary;
};

// x, y and residuals point at element 1 of arrays of at least last values
// (x[i - 1] is x(i)); coefficients, standard_errors and multiple_r at m
// values; fit_summary at 9 and data_summary at 5. Outputs a call does not
// reach keep their contents. status: 0 fit made, k > 0 terms dropped, -1
// parameters refused, -2 matrix not positive definite.
void polynomial_regression(RegressionWork& work, Runtime& runtime, const std::int32_t& first,
                           const std::int32_t& last, const float* x, const float* y,
                           const std::int32_t& m, const std::int32_t& report_level,
                           float& intercept, float* coefficients, float* standard_errors,
                           float* residuals, float* fit_summary, float* data_summary,
                           float* multiple_r, std::int32_t& status);

}  // namespace mapari
