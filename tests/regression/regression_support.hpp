// Support for the regression tests: a report sink whose lines can be read back, one call of the
// regression with every output preset to a sentinel, and an independent 64-bit least-squares fit to
// compare with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "regression/polynomial_regression.hpp"

namespace mapari::regression_tests {

// A value no computation here produces, so an untouched output shows.
inline constexpr float sentinel = -777.25f;

// The report of a call, as the text window would show it.
struct TextWindow final : ReportSink {
    void write(std::string_view record) override { written.emplace_back(record); }
    // The records written, in order.
    const std::vector<std::string>& lines() const { return written; }
    std::vector<std::string> written;
};

// One call of polynomial_regression on x(1..last), y(1..last).
struct RegressionCall {
    RegressionCall(std::vector<float> xs, std::vector<float> ys);
    void run(std::int32_t first, std::int32_t last, std::int32_t m, std::int32_t level);
    // True when no output of the call was written (all still hold the sentinel).
    bool outputs_untouched() const;

    std::vector<float> x, y, residuals;
    std::vector<float> coefficients, standard_errors, multiple_r;
    std::vector<float> fit_summary, data_summary;
    float intercept = sentinel;
    std::int32_t status = 12345;
    RegressionWork work;
    TextWindow window;
};

// The data summary and the fit of one degree, by the normal equations in raw
// powers 1, x, ..., x^k, solved by Gauss-Jordan elimination in 64 bits, with
// the residual sum of squares summed from the residuals themselves.
struct ReferenceData {
    int n = 0;
    double mean_x = 0, variance_x = 0, mean_y = 0, variance_y = 0, correlation = 0;
    double total_ss = 0;  // corrected sum of squares of y
};

struct ReferenceFit {
    int degree = 0;
    double intercept = 0;
    std::vector<double> b, standard_errors, t_values;  // index 0 is the term of x^1
    std::vector<double> fitted;
    double residual_ss = 0, regression_ss = 0, multiple_r = 0, estimate_error = 0;
    double sequential_f = 0, regression_ms = 0, residual_ms = 0, overall_f = 0;
    std::vector<double> term_ss;  // SSres(k - 1) - SSres(k) for k = 1 to degree
    int regression_df = 0, residual_df = 0;
};

ReferenceData reference_data(const std::vector<double>& x, const std::vector<double>& y);
ReferenceFit reference_fit(const std::vector<double>& x, const std::vector<double>& y, int degree);

// The values of points first..last of a 1-based float array, widened.
std::vector<double> widened(const std::vector<float>& values, int first, int last);

}  // namespace mapari::regression_tests
