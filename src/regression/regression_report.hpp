// The report of the polynomial regression, record by record to the caller's
// sink: the refusal of the parameters, the data summary, the warnings of
// near-constant data, the block of one degree's fit (its coefficients and its
// analysis of variance) and the table of residuals. The writers only lay out
// what the arithmetic has formed; which of them a call writes is the report
// level's choice (polynomial_regression.hpp).
#pragma once

#include <cstdint>
#include <string_view>

#include "regression/regression_arithmetic.hpp"
#include "regression/report_format.hpp"
#include "store/regression_work.hpp"

namespace mapari::regression {

// The refusal of a degree or a point range, with the numbers as passed.
void write_parameter_error(ReportSink& report, std::int32_t first, std::int32_t last,
                           std::int32_t m);

// Count, means, variances and correlation of the points.
void write_data_summary(ReportSink& report, const RegressionWork& work);

void write_warning(ReportSink& report, std::string_view warning);

inline void write_warnings(ReportSink& report, bool x_constant, bool y_constant) {
    if (x_constant) write_warning(report, "*** warning : variable x is constant.");
    if (y_constant) write_warning(report, "*** warning : dependent variable y is constant.");
}

// The fit of degree k of a call of degree m: its statistics, intercept,
// coefficients b(1..k) with their standard errors se(1..k), and its analysis
// of variance, with the sum of squares of every term when k is m.
void write_degree_block(ReportSink& report, const RegressionWork& work, std::int32_t k,
                        std::int32_t m, float intercept, OneBased<const float> b,
                        OneBased<const float> se);

// Points first..last (work.first on): x, y, the fitted y and the residual.
void write_residual_table(ReportSink& report, const RegressionWork& work, std::int32_t last,
                          OneBased<const float> x, OneBased<const float> y,
                          OneBased<const float> residuals);

}  // namespace mapari::regression
