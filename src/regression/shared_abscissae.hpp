// Fits sharing their abscissae: the fast path of the ARI computation, which
// fits a cubic to every series of ordinates over the same windows of x.
// Series of ordinates fitted on the same points share everything that depends
// on x alone: the power sums, the matrix of the normal equations without its
// right-hand side, its factor R and R^-1. share_abscissae forms those once for
// a window (degree at most 3; the scratch store is overwritten);
// fit_on_shared_abscissae then fits one series from them and its sums with y.
// It gives the status, the coefficients and the intercept, and writes the
// messages, of polynomial_regression at report level 0, by the same
// operations in the same order on the same types; it forms none of the
// statistics (standard errors, R, the fit and data summaries) and no
// residuals, which the slope of a fitted curve does not need, and those
// results keep what they held. A window whose parameters or whose matrix are
// refused (status below 0 in the shared window) is fitted by
// polynomial_regression itself, residuals and statistics included. The shared
// window must be the one formed from the points' x, first and last, and the
// sums those of their y (SlidingOrdinateSums).
//
// Check a result: the coefficients, intercept and status equal those of
// polynomial_regression on the same points bit for bit
// (tests/ari/test_fast_paths.cpp).
#pragma once

#include <array>
#include <cstdint>

#include "regression/polynomial_regression.hpp"
#include "regression/report_format.hpp"
#include "regression/sliding_sums.hpp"
#include "store/regression_work.hpp"

namespace mapari {

// The cubics of many series fitted on one shared window: series s at element s.
struct SeriesCubics {
    using Values = std::array<float, series_side_by_side>;
    Values b1{}, b2{}, b3{};  // the coefficients of x, x^2 and x^3
    // Whether the series' own fit writes a warning (x or y near constant).
    std::array<bool, series_side_by_side> warns{};
};

void share_abscissae(RegressionWork& scratch, std::int32_t first, std::int32_t last, const float* x,
                     std::int32_t degree, SharedAbscissae& shared);
void fit_on_shared_abscissae(RegressionWork& work, const SharedAbscissae& shared,
                             const RegressionPoints& points, const OrdinateSums& sums,
                             std::int32_t degree, RegressionResults& results, ReportSink& report);
// The coefficients fit_on_shared_abscissae gives a cubic of every series,
// side by side, the same operations in the same order on the same types as
// each series' own call; no messages, which `warns` tells of. The shared
// window must be accepted (solver_status 0 or more) and of degree 3.
void fit_cubics_on_shared_abscissae(const SharedAbscissae& shared, const SeriesSums& sums,
                                    SeriesCubics& cubics);

}  // namespace mapari
