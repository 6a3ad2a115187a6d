// The arithmetic steps that polynomial_regression and the fit on shared
// abscissae both take: the parameter check, the matrix of the normal
// equations and its right-hand side, the summaries of x and y, the test for
// data with no spread, the coefficients from R^-1 and the intercept. Both
// paths run these very operations on the same types, which is what keeps
// their coefficients equal bit for bit; they are inline so that each path is
// compiled as one piece, its loops over the terms unrolled.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "store/regression_work.hpp"

namespace mapari::regression {

inline constexpr float pivot_tolerance = 1e-6f;
inline constexpr float constancy_fraction =
    1e-6f;  // spread below this part of mean^2 is "constant"
inline constexpr std::int32_t solver_rows = regression_rows;
inline constexpr std::int32_t inverse_of_factor_only = 1;

// A caller's array seen from its element 1.
template <typename T>
struct OneBased {
    T* first;
    T& operator()(std::int32_t i) const { return first[i - 1]; }
};

// The degree must be 1 to 20, with at least m + 2 points to leave a residual
// degree of freedom. Sets the first point (at least 1) and the count either way.
inline bool parameters_accepted(RegressionWork& work, std::int32_t first, std::int32_t last,
                                std::int32_t m) {
    work.first = std::max(first, 1);
    work.count = last - work.first + 1;
    return m < regression_rows && m > 0 && work.count > m + 1;
}

inline void set_inverse_counts(RegressionWork& work) {
    work.inverse_count = 1.0 / work.count;
    work.inverse_count_less_one = 1.0f / static_cast<float>(work.count - 1);
}

// The upper triangle of the normal equations about the means.
inline void build_matrix(RegressionWork& work, std::int32_t m) {
    const double inverse_n = work.inverse_count;
    const auto& s = work.power_sums;
    for (std::int32_t i = 1; i <= m; ++i)
        for (std::int32_t j = i; j <= m; ++j)
            work.matrix(i, j) = static_cast<float>(s(i + j) - s(i) * s(j) * inverse_n);
}

// Entry i of the right-hand side of the normal equations: T(i) - Sy S(i) / N.
inline float right_hand_side(double cross_sum, double sum_y, double power_sum, double inverse_n) {
    return static_cast<float>(cross_sum - sum_y * power_sum * inverse_n);
}

// Mean and variance of x.
inline void summarise_abscissae(RegressionWork& work) {
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

inline OrdinateSummary summary_of_ordinates(double sum_y, double sum_yy, std::int32_t count,
                                            float inverse_count_less_one) {
    const double n = count;
    OrdinateSummary y;
    y.mean_y = static_cast<float>(sum_y / n);
    y.corrected_yy = sum_yy - sum_y * sum_y / n;
    y.corrected_yy_32 = std::max(static_cast<float>(y.corrected_yy), 0.0f);
    y.variance_y = y.corrected_yy_32 * inverse_count_less_one;
    return y;
}

// sqrt(var x * var y): whether there is anything to fit at all, and the
// divisor of the correlation. The product is formed in 64 bits so that two
// small variances cannot underflow to a false zero, nor two large ones overflow.
inline double spread(float variance_x, float variance_y) {
    return std::sqrt(double(variance_x) * double(variance_y));
}

// When x or y has no spread at all, the coefficients and the intercept are 0
// and the call ends.
inline bool has_no_spread(double xy_spread, float inverse_count_less_one) {
    return xy_spread * double(inverse_count_less_one) == 0.0;
}

// Near-constant data is warned of but still fitted: x is judged on its
// variance, y on its corrected sum of squares.
inline bool is_constant(float spread_measure, float mean) {
    return spread_measure <= mean * mean * constancy_fraction;
}

// Where a call writes its intercept and coefficients (and, in the general
// call, their standard errors and R after each term).
struct CallOutputs {
    float& intercept;
    OneBased<float> coefficients, standard_errors, multiple_r;
};

inline void set_fit_to_zero(std::int32_t m, CallOutputs& out) {
    for (std::int32_t k = 1; k <= m; ++k) out.coefficients(k) = 0.0f;
    out.intercept = 0.0f;
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

// b0 = (Sy - sum of b(i) S(i)) / N.
inline float intercept_of(double sum_y, OneBased<const double> power_sums, std::int32_t count,
                          std::int32_t k, OneBased<const float> b) {
    double centred_sum = sum_y;
    for (std::int32_t i = 1; i <= k; ++i) centred_sum -= double(b(i)) * power_sums(i);
    return static_cast<float>(centred_sum / count);
}

}  // namespace mapari::regression
