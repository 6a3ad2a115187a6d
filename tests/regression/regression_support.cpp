#include "regression_support.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace mapari::regression_tests {

RegressionCall::RegressionCall(std::vector<float> xs, std::vector<float> ys)
    : x(std::move(xs)),
      y(std::move(ys)),
      residuals(x.size(), sentinel),
      coefficients(largest_degree, sentinel),
      standard_errors(largest_degree, sentinel),
      multiple_r(largest_degree, sentinel),
      fit_summary(9, sentinel),
      data_summary(5, sentinel) {}

void RegressionCall::run(std::int32_t first, std::int32_t last, std::int32_t m,
                         std::int32_t level) {
    // The results start as the outputs stand, so that an output the call does not reach keeps them.
    RegressionResults results;
    results.intercept = intercept;
    std::copy(coefficients.begin(), coefficients.end(), results.coefficients.values.begin());
    std::copy(standard_errors.begin(), standard_errors.end(),
              results.standard_errors.values.begin());
    std::copy(multiple_r.begin(), multiple_r.end(), results.multiple_r.values.begin());
    std::copy(fit_summary.begin(), fit_summary.end(), results.fit_summary.values.begin());
    std::copy(data_summary.begin(), data_summary.end(), results.data_summary.values.begin());
    const RegressionPoints points{first, last, x.data(), y.data(), residuals.data()};
    polynomial_regression(work, points, m, level, results, window);
    intercept = results.intercept;
    coefficients.assign(results.coefficients.values.begin(), results.coefficients.values.end());
    standard_errors.assign(results.standard_errors.values.begin(),
                           results.standard_errors.values.end());
    multiple_r.assign(results.multiple_r.values.begin(), results.multiple_r.values.end());
    fit_summary.assign(results.fit_summary.values.begin(), results.fit_summary.values.end());
    data_summary.assign(results.data_summary.values.begin(), results.data_summary.values.end());
    status = results.status;
}

bool RegressionCall::outputs_untouched() const {
    auto all_sentinel = [](const std::vector<float>& values) {
        for (float v : values)
            if (v != sentinel) return false;
        return true;
    };
    return intercept == sentinel && all_sentinel(residuals) && all_sentinel(coefficients) &&
           all_sentinel(standard_errors) && all_sentinel(multiple_r) && all_sentinel(fit_summary) &&
           all_sentinel(data_summary);
}

std::vector<double> widened(const std::vector<float>& values, int first, int last) {
    return std::vector<double>(values.begin() + (first - 1), values.begin() + last);
}

ReferenceData reference_data(const std::vector<double>& x, const std::vector<double>& y) {
    ReferenceData d;
    d.n = static_cast<int>(x.size());
    for (int i = 0; i < d.n; ++i) {
        d.mean_x += x[i] / d.n;
        d.mean_y += y[i] / d.n;
    }
    double sxx = 0, syy = 0, sxy = 0;
    for (int i = 0; i < d.n; ++i) {
        sxx += (x[i] - d.mean_x) * (x[i] - d.mean_x);
        syy += (y[i] - d.mean_y) * (y[i] - d.mean_y);
        sxy += (x[i] - d.mean_x) * (y[i] - d.mean_y);
    }
    d.variance_x = sxx / (d.n - 1);
    d.variance_y = syy / (d.n - 1);
    d.correlation = sxy / std::sqrt(sxx * syy);
    d.total_ss = syy;
    return d;
}

namespace {

using Matrix = std::vector<std::vector<double>>;

// Inverts m in place by Gauss-Jordan elimination with partial pivoting.
Matrix inverse(Matrix m) {
    const std::size_t size = m.size();
    Matrix inv(size, std::vector<double>(size, 0.0));
    for (std::size_t i = 0; i < size; ++i) inv[i][i] = 1.0;
    for (std::size_t col = 0; col < size; ++col) {
        std::size_t pivot = col;
        for (std::size_t r = col + 1; r < size; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        std::swap(m[col], m[pivot]);
        std::swap(inv[col], inv[pivot]);
        const double p = m[col][col];
        for (std::size_t c = 0; c < size; ++c) {
            m[col][c] /= p;
            inv[col][c] /= p;
        }
        for (std::size_t r = 0; r < size; ++r) {
            if (r == col) continue;
            const double f = m[r][col];
            for (std::size_t c = 0; c < size; ++c) {
                m[r][c] -= f * m[col][c];
                inv[r][c] -= f * inv[col][c];
            }
        }
    }
    return inv;
}

// Coefficients c0..ck, the inverse of the normal matrix, and the residual sum of squares.
struct RawFit {
    std::vector<double> c;
    Matrix normal_inverse;
    std::vector<double> fitted;
    double residual_ss = 0;
};

RawFit raw_fit(const std::vector<double>& x, const std::vector<double>& y, int degree) {
    const std::size_t size = degree + 1;
    Matrix normal(size, std::vector<double>(size, 0.0));
    std::vector<double> rhs(size, 0.0);
    for (std::size_t p = 0; p < x.size(); ++p)
        for (std::size_t i = 0; i < size; ++i) {
            rhs[i] += y[p] * std::pow(x[p], double(i));
            for (std::size_t j = 0; j < size; ++j) normal[i][j] += std::pow(x[p], double(i + j));
        }
    RawFit fit;
    fit.normal_inverse = inverse(normal);
    fit.c.assign(size, 0.0);
    for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = 0; j < size; ++j) fit.c[i] += fit.normal_inverse[i][j] * rhs[j];
    for (std::size_t p = 0; p < x.size(); ++p) {
        double value = 0;
        for (std::size_t i = 0; i < size; ++i) value += fit.c[i] * std::pow(x[p], double(i));
        fit.fitted.push_back(value);
        fit.residual_ss += (y[p] - value) * (y[p] - value);
    }
    return fit;
}

}  // namespace

ReferenceFit reference_fit(const std::vector<double>& x, const std::vector<double>& y, int degree) {
    const ReferenceData data = reference_data(x, y);
    ReferenceFit f;
    f.degree = degree;
    double previous_ss = data.total_ss;
    RawFit raw;
    for (int k = 1; k <= degree; ++k) {
        raw = raw_fit(x, y, k);
        f.term_ss.push_back(previous_ss - raw.residual_ss);
        previous_ss = raw.residual_ss;
    }
    f.intercept = raw.c[0];
    f.fitted = raw.fitted;
    f.residual_ss = raw.residual_ss;
    f.residual_df = data.n - 1 - degree;
    f.regression_df = degree;
    f.estimate_error = std::sqrt(f.residual_ss / f.residual_df);
    for (int i = 1; i <= degree; ++i) {
        f.b.push_back(raw.c[i]);
        f.standard_errors.push_back(f.estimate_error * std::sqrt(raw.normal_inverse[i][i]));
        f.t_values.push_back(f.b.back() / f.standard_errors.back());
    }
    f.regression_ss = data.total_ss - f.residual_ss;
    f.multiple_r = std::sqrt(f.regression_ss / data.total_ss);
    f.sequential_f = f.term_ss.back() / (f.estimate_error * f.estimate_error);
    f.regression_ms = f.regression_ss / f.regression_df;
    f.residual_ms = f.residual_ss / f.residual_df;
    f.overall_f = f.regression_ms / f.residual_ms;
    return f;
}

}  // namespace mapari::regression_tests
