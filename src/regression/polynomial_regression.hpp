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
// Many series fitted on the same abscissae take the fast path of
// shared_abscissae.hpp, which gives the same coefficients.
//
// Check a result: the residuals sum to about 0 and are orthogonal to every
// power of x; the fit summary's SSR + SSres equals the corrected sum of
// squares of y; an exact polynomial gives R = 1 and its own coefficients.
#pragma once

#include <cstdint>

#include "regression/report_format.hpp"
#include "regression/tmatrp.hpp"
#include "store/regression_work.hpp"

namespace mapari {

// The points of one call, x(i) and y(i) for i = first..last, seen through
// pointers at element 1 of the caller's arrays (x[i - 1] is x(i)); the
// residuals are written to the same places of `residuals`.
struct RegressionPoints {
    std::int32_t first = 1;
    std::int32_t last = 0;
    const float* x = nullptr;
    const float* y = nullptr;
    float* residuals = nullptr;
};

// Fits the polynomial of the given degree (m) to the points; the report of
// the given level goes to the sink, and results.status says how the call went.
void polynomial_regression(RegressionWork& work, const RegressionPoints& points,
                           std::int32_t degree, std::int32_t report_level,
                           RegressionResults& results, ReportSink& report);

}  // namespace mapari
