// The polynomial regression's results and messages: refusals, the first
// point number, exact fits, constant data, warnings, dropped and symmetric
// terms, a matrix that is not positive definite, and the power table of the
// higher degrees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "regression_support.hpp"

namespace mapari::regression_tests {
namespace {

std::vector<float> counting(int from, int to) {
    std::vector<float> values;
    for (int v = from; v <= to; ++v) values.push_back(static_cast<float>(v));
    return values;
}

const std::string x_warning = "0*** warning : variable x is constant.";
const std::string y_warning = "0*** warning : dependent variable y is constant.";

TEST(PolynomialRegression, ParametersRefusedWithMessageAndNothingTouched) {
    struct Case {
        std::int32_t first, last, m;
        const char* message;
    };
    const Case cases[] = {
        // Degree 3 needs 5 points; 1..4 has 4.
        {1, 4, 3, "0*** parameter error m1 =   1   m =   4     =,   3 .lt.   21"},
        // A first point of -2 counts from 1, leaving 2 points for degree 1; the
        // message shows the number as passed.
        {-2, 2, 1, "0*** parameter error m1 =  -2   m =   2     =,   1 .lt.   21"},
        {1, 30, 0, "0*** parameter error m1 =   1   m =  30     =,   0 .lt.   21"},
        {1, 30, 21, "0*** parameter error m1 =   1   m =  30     =,  21 .lt.   21"},
        {1, 30, -4, "0*** parameter error m1 =   1   m =  30     =,  -4 .lt.   21"},
        {9, 5, 1, "0*** parameter error m1 =   9   m =   5     =,   1 .lt.   21"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        RegressionCall call(counting(1, 30), counting(31, 60));
        call.run(c.first, c.last, c.m, 1);
        EXPECT_EQ(call.status, -1);
        EXPECT_EQ(call.window.lines(), std::vector<std::string>{c.message});
        EXPECT_TRUE(call.outputs_untouched());
    }
}

// y = 1 + x - 0.5 x^2 + 0.25 x^3 at x = 1..5: the least number of points for
// degree 3 gives back the cubic.
TEST(PolynomialRegression, DegreeThreeWithFivePointsIsAccepted) {
    std::vector<float> x = counting(1, 5), y;
    for (float v : x) y.push_back(1 + v - 0.5f * v * v + 0.25f * v * v * v);
    RegressionCall call(x, y);
    call.run(1, 5, 3, 0);
    EXPECT_EQ(call.status, 0);
    EXPECT_NEAR(call.intercept, 1.0, 2e-3);
    EXPECT_NEAR(call.coefficients[0], 1.0, 2e-3);
    EXPECT_NEAR(call.coefficients[1], -0.5, 2e-4);
    EXPECT_NEAR(call.coefficients[2], 0.25, 2e-5);
    EXPECT_EQ(call.fit_summary[7], 1.0f);  // 5 - 1 - 3 residual degrees of freedom
    EXPECT_TRUE(call.window.lines().empty());
}

// y = 3 + 2x at x = 1..4. With first point 0 or below the fit starts at point
// 1: four points, mean of x 2.5, and the exact line back.
TEST(PolynomialRegression, FirstPointBelowOneFitsFromPointOne) {
    for (std::int32_t first : {0, -3}) {
        SCOPED_TRACE(first);
        RegressionCall call(counting(1, 4), {5, 7, 9, 11});
        call.run(first, 4, 1, 4);
        EXPECT_EQ(call.status, 0);
        EXPECT_EQ(call.data_summary[0], 2.5f);
        EXPECT_FLOAT_EQ(call.coefficients[0], 2.0f);
        EXPECT_FLOAT_EQ(call.intercept, 3.0f);
        for (float r : call.residuals) EXPECT_NEAR(r, 0.0f, 1e-5f);
        ASSERT_GE(call.window.lines().size(), 3u);
        EXPECT_EQ(call.window.lines()[2], "0number of datas                   =          4");
    }
}

// x = (-1, -1, 1, 1), y = 3 + 2x = (1, 1, 5, 5), N = 4. By hand: S(1) = 0,
// S(2) = 4, so a(1,1) = 4; T(1) = 8, Sy = 12, a(1,2) = 8. Pivot 4, reciprocal
// 1/2, z = 4, ss = 16; corrected Syy = 52 - 144/4 = 16, so SSres = 0 and is
// held at 2.9e-31. b1 = 2, b0 = 12/4 = 3, f = 2, s = sqrt(2.9e-31 / 2),
// standard error s/2, R = 1.
TEST(PolynomialRegression, ExactFitHoldsResidualSumOfSquaresAtFloor) {
    RegressionCall call({-1, -1, 1, 1}, {1, 1, 5, 5});
    call.run(1, 4, 1, 0);
    EXPECT_EQ(call.status, 0);
    EXPECT_EQ(call.fit_summary[6], 2.9e-31f);
    const float s = static_cast<float>(std::sqrt(double(2.9e-31f) / 2));
    EXPECT_EQ(call.fit_summary[1], s);
    EXPECT_EQ(call.coefficients[0], 2.0f);
    EXPECT_EQ(call.intercept, 3.0f);
    EXPECT_EQ(call.standard_errors[0], 0.5f * s);
    EXPECT_EQ(call.multiple_r[0], 1.0f);
    EXPECT_EQ(call.fit_summary[2], 1.0f);
    EXPECT_EQ(call.fit_summary[3], 1.0f);
    EXPECT_EQ(call.fit_summary[4], 16.0f);  // SSR = R^2 Q
    EXPECT_TRUE(std::isfinite(call.fit_summary[8]));
    EXPECT_GT(call.fit_summary[8], 1e30f);  // 16 / 1.45e-31
    EXPECT_TRUE(std::isfinite(call.work.t_values(1)));
    EXPECT_TRUE(std::isfinite(call.work.fit.sequential_f));
    for (float r : call.residuals) EXPECT_EQ(r, 0.0f);
}

// All y equal, or all x equal: no spread, so coefficients and intercept are 0
// and the call ends silently at every report level.
TEST(PolynomialRegression, NoSpreadGivesZeroCoefficientsSilently) {
    struct Case {
        std::vector<float> x, y;
    };
    const Case cases[] = {{counting(1, 6), std::vector<float>(6, 5.0f)},
                          {std::vector<float>(6, 2.5f), counting(1, 6)}};
    for (const Case& c : cases) {
        for (std::int32_t level : {0, 1, 3}) {
            RegressionCall call(c.x, c.y);
            call.run(1, 6, 2, level);
            EXPECT_EQ(call.status, 0);
            EXPECT_EQ(call.intercept, 0.0f);
            EXPECT_EQ(call.coefficients[0], 0.0f);
            EXPECT_EQ(call.coefficients[1], 0.0f);
            EXPECT_EQ(call.coefficients[2], sentinel);  // only m coefficients
            EXPECT_TRUE(call.window.lines().empty());
            call.intercept = sentinel;
            call.coefficients[0] = call.coefficients[1] = sentinel;
            EXPECT_TRUE(call.outputs_untouched());
        }
    }
}

TEST(PolynomialRegression, LevelZeroPrintsNothingForOrdinaryData) {
    RegressionCall call(counting(1, 7), {2.4f, 5.1f, 9.7f, 15.95f, 23.4f, 32.75f, 43.8f});
    call.run(1, 7, 2, 0);
    EXPECT_EQ(call.status, 0);
    EXPECT_TRUE(call.window.lines().empty());
    EXPECT_NE(call.fit_summary[0], sentinel);
}

// x = 1000 .. 1001 by 0.25: variance 0.15625 <= 1000.5^2 * 1e-6. y = 1000 four
// times and 1000.5: corrected sum of squares 0.2 <= 1000.1^2 * 1e-6.
TEST(PolynomialRegression, ConstantWarningsAtEveryLevel) {
    const std::vector<float> flat_x = {1000, 1000.25f, 1000.5f, 1000.75f, 1001};
    const std::vector<float> flat_y = {1000, 1000, 1000, 1000, 1000.5f};
    const std::vector<float> varied = {1, 2, 4, 3, 5};
    struct Case {
        std::vector<float> x, y;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {{flat_x, varied, {x_warning}},
                          {varied, flat_y, {y_warning}},
                          {flat_x, flat_y, {x_warning, y_warning}}};
    for (const Case& c : cases) {
        RegressionCall quiet(c.x, c.y);
        quiet.run(1, 5, 1, 0);
        EXPECT_EQ(quiet.status, 0);
        EXPECT_EQ(quiet.window.lines(), c.warnings);

        // In a report the warnings follow the 8 data summary lines.
        RegressionCall loud(c.x, c.y);
        loud.run(1, 5, 1, 4);
        const std::vector<std::string> lines = loud.window.lines();
        ASSERT_GT(lines.size(), 8 + c.warnings.size());
        EXPECT_EQ(lines[8], c.warnings[0]);
        EXPECT_EQ(lines[7].substr(0, 11), "0          ");  // the correlation line
        EXPECT_EQ(lines[8 + c.warnings.size()], "0 *** polynomial regression of degree  1 ***");
    }
}

// x = y = (999, 1000, 1001, 1000, 1000): variance 0.5 and sum of squares 2
// about the mean 1000, whose square times 1e-6 is 1. The x test takes the
// variance (0.5 <= 1, warned), the y test the sum of squares (2 > 1, silent).
TEST(PolynomialRegression, WarningTestsUseVarianceOfXAndSumOfSquaresOfY) {
    const std::vector<float> values = {999, 1000, 1001, 1000, 1000};
    RegressionCall call(values, values);
    call.run(1, 5, 1, 0);
    EXPECT_EQ(call.window.lines(), std::vector<std::string>{x_warning});
}

// x = -3..3 is symmetric, so R^-1(1, 2) is 0 although no pivot was dropped:
// the degree-2 term is a real term, with its degree of freedom.
TEST(PolynomialRegression, SymmetricAbscissaeKeepEveryTerm) {
    const std::vector<float> x = counting(-3, 3);
    const std::vector<float> y = {5.9f, 2.7f, 1.4f, 0.95f, 2.3f, 4.4f, 8.1f};
    RegressionCall call(x, y);
    call.run(1, 7, 2, 2);
    EXPECT_EQ(call.status, 0);
    EXPECT_EQ(call.fit_summary[5], 2.0f);
    EXPECT_EQ(call.fit_summary[7], 4.0f);  // 7 - 1 - 2
    const auto reference = reference_fit(widened(x, 1, 7), widened(y, 1, 7), 2);
    EXPECT_NEAR(call.coefficients[1], reference.b[1], 1e-5);
    EXPECT_NEAR(call.fit_summary[1], reference.estimate_error, 1e-5);
    std::vector<std::string> regression_lines;
    for (const std::string& line : call.window.lines()) {
        if (line.starts_with(" due to regression")) regression_lines.push_back(line.substr(0, 30));
    }
    EXPECT_EQ(regression_lines, (std::vector<std::string>{" due to regression  .....    1",
                                                          " due to regression  .....    2"}));
}

// x only 0 or 1, so x^2 = x^3 = x: terms 2 and 3 are dropped. By hand the line
// through the group means, y = 1.5 at x = 0 ((1 + 2 + 1.5)/3) and 3.5 at x = 1
// ((3 + 4 + 3.5)/3): b1 = 2, b0 = 1.5, one regression degree of freedom and
// 6 - 1 - 3 + 2 = 4 residual ones. Degree 2's block is skipped, degree 3's shown.
TEST(PolynomialRegression, LinearlyDependentTermsAreDropped) {
    RegressionCall call({0, 0, 1, 1, 0, 1}, {1, 2, 3, 4, 1.5f, 3.5f});
    call.run(1, 6, 3, 1);
    EXPECT_EQ(call.status, 2);
    EXPECT_NEAR(call.coefficients[0], 2.0, 1e-5);
    EXPECT_EQ(call.coefficients[1], 0.0f);
    EXPECT_EQ(call.coefficients[2], 0.0f);
    EXPECT_EQ(call.standard_errors[1], 0.0f);
    EXPECT_EQ(call.standard_errors[2], 0.0f);
    EXPECT_NEAR(call.intercept, 1.5, 1e-5);
    EXPECT_EQ(call.fit_summary[5], 1.0f);
    EXPECT_EQ(call.fit_summary[7], 4.0f);
    std::vector<std::string> headings, degrees_of_freedom;
    for (const std::string& line : call.window.lines()) {
        if (line.starts_with("0 *** polynomial regression of degree")) headings.push_back(line);
        if (line.starts_with(" due to regression") || line.starts_with(" residual about"))
            degrees_of_freedom.push_back(line.substr(0, 30));
    }
    EXPECT_EQ(headings, (std::vector<std::string>{"0 *** polynomial regression of degree  1 ***",
                                                  "0 *** polynomial regression of degree  3 ***"}));
    EXPECT_EQ(degrees_of_freedom,
              (std::vector<std::string>{
                  " due to regression  .....    1", " residual about reg. ....    4",
                  " due to regression  .....    1", " residual about reg. ....    4"}));
}

// A degree-5 fit to 11 points at x = 10..20 loses so much to the 32-bit
// corrected sums that a pivot comes out negative. The data summary is made
// and shown; the fit outputs keep their contents.
TEST(PolynomialRegression, MatrixNotPositiveDefiniteStopsAfterDataSummary) {
    std::vector<float> y;
    for (int i = 0; i < 11; ++i) y.push_back(static_cast<float>(i % 2));
    RegressionCall call(counting(10, 20), y);
    call.run(1, 11, 5, 1);
    EXPECT_EQ(call.status, -2);
    const std::vector<std::string> lines = call.window.lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "1");
    EXPECT_EQ(lines[8], "0*** matrix a is not positive definite   ");
    EXPECT_EQ(call.data_summary[0], 15.0f);
    EXPECT_EQ(call.data_summary[1], 11.0f);
    EXPECT_EQ(call.intercept, sentinel);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(call.coefficients[k], sentinel);
        EXPECT_EQ(call.standard_errors[k], sentinel);
        EXPECT_EQ(call.multiple_r[k], sentinel);
    }
    for (float v : call.fit_summary) EXPECT_EQ(v, sentinel);
    for (float v : call.residuals) EXPECT_EQ(v, sentinel);
}

// x = (-1, 0, 1), y = (0.1, 0, 0.1): y has no linear part, z(1) = 0, and the
// 64-bit SSres stays a rounding above the 32-bit Q. R is 0, not the root of
// a negative number.
TEST(PolynomialRegression, NoFitGivesZeroCorrelationNotNaN) {
    RegressionCall call({-1, 0, 1}, {0.1f, 0, 0.1f});
    call.run(1, 3, 1, 0);
    EXPECT_EQ(call.status, 0);
    EXPECT_GT(call.work.residual_ss, double(call.work.corrected_yy_32));
    EXPECT_EQ(call.multiple_r[0], 0.0f);
    EXPECT_EQ(call.fit_summary[3], 0.0f);
    EXPECT_EQ(call.fit_summary[4], 0.0f);
}

// Degrees 11 to 20 need powers up to x^(2m). The sums of x^1 .. x^2m are
// checked against std::pow, summed here independently, for degree 20 (which
// this data takes beyond 32-bit precision, but the call is accepted) and for
// degree 12 on [-1, 1], where sin 3x is fitted to within 1e-3 (its degree-11
// Taylor remainder alone is below 3e-4).
TEST(PolynomialRegression, HighDegreesSumEveryPower) {
    std::vector<float> x, y;
    for (int i = 0; i <= 40; ++i) {
        x.push_back(-1.0f + 0.05f * static_cast<float>(i));
        y.push_back(std::sin(3.0f * x.back()));
    }
    for (std::int32_t m : {20, 12}) {
        SCOPED_TRACE(m);
        RegressionCall call(x, y);
        call.run(1, 41, m, 0);
        EXPECT_NE(call.status, -1);
        for (int k = 1; k <= 2 * m; ++k) {
            double sum = 0;
            for (float v : x) sum += std::pow(double(v), k);
            EXPECT_NEAR(call.work.power_sums(k), sum, 1e-12) << k;
        }
        for (int k = 1; k <= m; ++k) {
            double sum = 0;
            for (std::size_t i = 0; i < x.size(); ++i)
                sum += double(y[i]) * std::pow(double(x[i]), k);
            EXPECT_NEAR(call.work.cross_sums(k), sum, 1e-12) << k;
        }
        if (m == 12) {
            EXPECT_EQ(call.status, 0);
            for (float r : call.residuals) EXPECT_LT(std::fabs(r), 1e-3f);
        }
    }
}

// The same data through a work area that held another fit gives the same results.
TEST(PolynomialRegression, EachCallStartsAfresh) {
    const std::vector<float> x = counting(1, 7);
    const std::vector<float> y = {2.4f, 5.1f, 9.7f, 15.95f, 23.4f, 32.75f, 43.8f};
    RegressionCall fresh(x, y);
    fresh.run(1, 7, 2, 0);
    RegressionCall reused(counting(3, 12), {9, 1, 4, 4, 7, 0, 2, 8, 5, 3});
    reused.run(1, 10, 4, 0);
    reused.x = x;
    reused.y = y;
    reused.run(1, 7, 2, 0);
    EXPECT_EQ(reused.intercept, fresh.intercept);
    EXPECT_EQ(reused.coefficients[0], fresh.coefficients[0]);
    EXPECT_EQ(reused.coefficients[1], fresh.coefficients[1]);
    for (int k = 0; k < 9; ++k) EXPECT_EQ(reused.fit_summary[k], fresh.fit_summary[k]) << k;
}

}  // namespace
}  // namespace mapari::regression_tests
