// The printed report at levels 1 to 4, byte for byte against committed text
// (expected/): the report of a degree-2 fit to a noisy parabola, generated
// once from the routine and checked then against an independent 64-bit
// least-squares fit (normal equations in raw powers, solved by Gauss-Jordan
// elimination), field by field within 1e-4 of each value. The values the
// report shows are checked against that fit here too (OutputsAgreeWithReference).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "regression_support.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::regression_tests {
namespace {

// The data of the full-report tests: a noisy parabola at x = 1..7.
const std::vector<float> bent_x = {1, 2, 3, 4, 5, 6, 7};
const std::vector<float> bent_y = {4.1f, 7.6f, 8.2f, 12.5f, 12.1f, 15.9f, 17.0f};

// The committed report of a file in expected/.
std::string expected_report(const std::string& file) {
    return test_support::read_bytes(std::string(MAPARI_REGRESSION_EXPECTED_DIR) + "/" + file);
}

// The records of a call as the file holds them: one line each.
std::string as_text(const std::vector<std::string>& records) {
    std::string text;
    for (const std::string& record : records) text += record + "\n";
    return text;
}

TEST(RegressionReport, FullReportAtLevelsOneToFour) {
    for (std::int32_t level : {1, 2, 3, 4}) {
        SCOPED_TRACE("report level " + std::to_string(level));
        RegressionCall call(bent_x, bent_y);
        call.run(1, 7, 2, level);
        EXPECT_EQ(call.status, 0);
        EXPECT_EQ(as_text(call.window.lines()),
                  expected_report("bent_parabola_level_" + std::to_string(level) + ".txt"));
    }
}

// Levels above 4 report as 4 does, and the results never depend on the level.
TEST(RegressionReport, LevelAboveFourAsFourAndResultsAlike) {
    RegressionCall quiet(bent_x, bent_y);
    quiet.run(1, 7, 2, 0);
    RegressionCall loud(bent_x, bent_y);
    loud.run(1, 7, 2, 9);
    EXPECT_EQ(as_text(loud.window.lines()), expected_report("bent_parabola_level_4.txt"));
    EXPECT_EQ(loud.intercept, quiet.intercept);
    EXPECT_EQ(loud.coefficients, quiet.coefficients);
    EXPECT_EQ(loud.standard_errors, quiet.standard_errors);
    EXPECT_EQ(loud.residuals, quiet.residuals);
    EXPECT_EQ(loud.fit_summary, quiet.fit_summary);
}

// The outputs hold what the report shows: checked against the same reference.
TEST(RegressionReport, OutputsAgreeWithReference) {
    RegressionCall call(bent_x, bent_y);
    call.run(1, 7, 2, 0);
    const std::vector<double> x = widened(bent_x, 1, 7), y = widened(bent_y, 1, 7);
    const auto d = reference_data(x, y);
    const auto f = reference_fit(x, y, 2);
    const double data[] = {d.mean_x, d.variance_x, d.mean_y, d.variance_y, d.correlation};
    for (int k = 0; k < 5; ++k)
        EXPECT_NEAR(call.data_summary[k], data[k], 1e-5 * std::fabs(data[k]));
    const double summary[] = {0,
                              f.estimate_error,
                              f.multiple_r,
                              f.multiple_r * f.multiple_r,
                              f.regression_ss,
                              2,
                              f.residual_ss,
                              double(f.residual_df),
                              f.overall_f};
    for (int k = 1; k < 9; ++k)
        EXPECT_NEAR(call.fit_summary[k], summary[k], 1e-4 * std::fabs(summary[k])) << k + 1;
    // The determinant of the corrected matrix [[Sxx, Sxx2], [Sxx2, Sx2x2]].
    double sxx = 0, sxq = 0, sqq = 0;
    const double mean_q = (1 + 4 + 9 + 16 + 25 + 36 + 49) / 7.0;
    for (double v : x) {
        sxx += (v - d.mean_x) * (v - d.mean_x);
        sxq += (v - d.mean_x) * (v * v - mean_q);
        sqq += (v * v - mean_q) * (v * v - mean_q);
    }
    EXPECT_NEAR(call.fit_summary[0], sxx * sqq - sxq * sxq, 1e-4 * (sxx * sqq - sxq * sxq));
    EXPECT_NEAR(call.multiple_r[0], reference_fit(x, y, 1).multiple_r, 1e-6);
    EXPECT_NEAR(call.multiple_r[1], f.multiple_r, 1e-6);
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(call.residuals[i], y[i] - f.fitted[i], 1e-4);
}

// Points 11 to 17 of longer arrays: the residual rows carry 11..17 and the
// points before 11 are neither used nor written.
TEST(RegressionReport, ResidualRowsCarryCallersPointNumbers) {
    std::vector<float> x(10, 99.0f), y(10, -3.0f);
    x.insert(x.end(), bent_x.begin(), bent_x.end());
    y.insert(y.end(), bent_y.begin(), bent_y.end());
    RegressionCall call(x, y);
    call.run(11, 17, 2, 3);
    EXPECT_EQ(as_text(call.window.lines()), expected_report("bent_parabola_points_11_to_17.txt"));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(call.residuals[i], sentinel);
    EXPECT_EQ(call.window.lines().back().substr(0, 6), "    17");
}

// Point numbers from 99998 to 100003: the five-column number field of the
// residual rows cannot hold 100000 and shows asterisks.
TEST(RegressionReport, NumberTooWideForItsFieldShowsAsterisks) {
    const int first = 99998, last = 100003;
    std::vector<float> x(last, 0.0f), y(last, 0.0f);
    const float points[][2] = {{1, 1.5f}, {2, 1.9f}, {3, 3.2f}, {4, 3.8f}, {5, 5.4f}, {6, 5.9f}};
    for (int p = 0; p < 6; ++p) {
        x[first - 1 + p] = points[p][0];
        y[first - 1 + p] = points[p][1];
    }
    RegressionCall call(x, y);
    call.run(first, last, 1, 3);
    const std::vector<std::string> lines = call.window.lines();
    ASSERT_GE(lines.size(), 6u);
    const std::vector<std::string> numbers = {" 99998", " 99999", " *****",
                                              " *****", " *****", " *****"};
    for (int p = 0; p < 6; ++p) EXPECT_EQ(lines[lines.size() - 6 + p].substr(0, 6), numbers[p]);
}

}  // namespace
}  // namespace mapari::regression_tests
