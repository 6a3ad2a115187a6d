// The storage of the polynomial regression and its solver: the working store
// a call fills, and the results it hands back. Both live in the program store
// (the ARI computation's area), so a call allocates nothing.
#pragma once

#include <cstdint>

#include "store/arrays.hpp"

namespace mapari {

inline constexpr int largest_degree = 20;   // highest polynomial degree a call fits
inline constexpr int regression_rows = 21;  // row count of the normal-equation matrix
using SolverMatrix = Array2<float, regression_rows, regression_rows + 1>;  // a(i,j), 1-based

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

// A fit that shares its abscissae (see regression/shared_abscissae.hpp) keeps its
// degree at most 3, the ARI computation's cubic, so that a table of one such
// window a row stays small.
inline constexpr int largest_shared_degree = 3;
// tmatrp's results for an order of at most 3, laid out as tmatrp leaves them
// in its matrix: entry (i, j), i <= j, at (j + 1, i).
using SharedFactor = Array2<float, largest_shared_degree + 1, largest_shared_degree>;

// The part of one window's fit that depends on the abscissae alone, the same
// for every series of ordinates fitted on the same points.
struct SharedAbscissae {
    std::int32_t count = 0;                            // N
    float inverse_count_less_one = 0.0f;               // 1/(N - 1)
    double inverse_count = 0.0;                        // 1/N
    Array1<double, largest_shared_degree> power_sums;  // S(1..m), the sums of x, x^2, x^3
    float mean_x = 0.0f, variance_x = 0.0f;
    SharedFactor factor;          // R, its diagonal as 1 / R(i, i): the forward half reads it
    SharedFactor factor_inverse;  // R^-1, the same diagonal: the coefficients are formed from it
    // tmatrp's status; below 0 (and for a window whose parameters are refused) each series
    // is fitted by the general call, which writes the messages.
    std::int32_t solver_status = -1;
};

// The sums with y of one window: T(k) = sum of y x^k for k = 1..m, Sy and the
// uncorrected sum of y^2.
struct OrdinateSums {
    Array1<double, largest_shared_degree> cross_sums;
    double sum_y = 0.0;
    double sum_yy = 0.0;
};

// The regression's working store, written by every call.
struct RegressionWork {
    Array1<double, 2 * std::size_t{largest_degree}> power_sums;  // S(k)
    Array1<double, largest_degree> cross_sums;                   // T(k)
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

// What a call hands back. Outputs a call does not reach keep their contents,
// so a refused window leaves the last coefficients in place.
struct RegressionResults {
    float intercept = 0.0f;                           // b0
    Array1<float, largest_degree> coefficients{};     // b1 .. bm
    Array1<float, largest_degree> standard_errors{};  // of b1 .. bm
    Array1<float, largest_degree> multiple_r{};       // R after each term joins
    // det, s, R, R^2, SSR, terms kept, SSres, residual df, F of degree m.
    Array1<float, 9> fit_summary{};
    Array1<float, 5> data_summary{};  // mean x, var x, mean y, var y, correlation
    // 0 fit made, k > 0 terms dropped, -1 parameters refused, -2 not positive definite.
    std::int32_t status = 0;
};

}  // namespace mapari
