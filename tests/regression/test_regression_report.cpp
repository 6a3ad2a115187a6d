// The printed report at levels 1 to 4, line by line against an expectation
// built from an independent 64-bit least-squares fit (normal equations in raw
// powers, solved by Gauss-Jordan elimination, residuals summed directly).
//
// The routine stores its results as 32-bit reals, so the last printed digits
// of a field may differ from the 64-bit reference. Each line is therefore
// compared piece by piece: every text piece and every integer field byte for
// byte, every real field for its layout (width, decimals, fixed or exponent
// form) and for its value within a tolerance far below any error of method
// (a wrong divisor, degree of freedom or term changes a value by percents).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "regression_support.hpp"

namespace mapari::regression_tests {
namespace {

// A real field may differ from the reference by this part of its value (the
// 32-bit results of this data differ by up to 2e-5), plus half a unit of its
// last printed digit for the rounding of the print itself.
constexpr double relative_tolerance = 1e-4;

struct Piece {
    enum class Kind { text, integer, fixed, general } kind;
    std::string text;  // the text piece, or the integer as it must appear
    double value = 0;
    int width = 0;
    int decimals = 0;
};

class ExpectedLine {
  public:
    explicit ExpectedLine(char control) { text(std::string(1, control)); }
    ExpectedLine& text(const std::string& piece) {
        pieces_.push_back({Piece::Kind::text, piece});
        return *this;
    }
    ExpectedLine& blanks(int count) { return text(std::string(count, ' ')); }
    ExpectedLine& integer(long value, int width) {
        char printed[32];
        std::snprintf(printed, sizeof printed, "%*ld", width, value);
        pieces_.push_back({Piece::Kind::integer, printed, 0, width});
        return *this;
    }
    ExpectedLine& fixed(double value, int width, int decimals) {
        pieces_.push_back({Piece::Kind::fixed, "", value, width, decimals});
        return *this;
    }
    ExpectedLine& general(double value, int width) {
        pieces_.push_back({Piece::Kind::general, "", value, width});
        return *this;
    }

    // The expectation printed for a failure message, reals with printf.
    std::string shown() const {
        std::string line;
        for (const Piece& p : pieces_) {
            char printed[64];
            if (p.kind == Piece::Kind::fixed)
                std::snprintf(printed, sizeof printed, "%*.*f", p.width, p.decimals, p.value);
            else if (p.kind == Piece::Kind::general)
                std::snprintf(printed, sizeof printed, "%*.6e", p.width, p.value);
            line +=
                (p.kind == Piece::Kind::fixed || p.kind == Piece::Kind::general) ? printed : p.text;
        }
        return line;
    }

    testing::AssertionResult matches(const std::string& actual) const {
        std::size_t at = 0;
        for (const Piece& p : pieces_) {
            const std::size_t width = p.kind == Piece::Kind::text ? p.text.size() : p.width;
            const std::string part = actual.substr(std::min(at, actual.size()), width);
            std::string fault = check(p, part);
            if (!fault.empty())
                return testing::AssertionFailure()
                       << fault << " at column " << at << "\n  actual:   \"" << actual
                       << "\"\n  expected: \"" << shown() << "\"";
            at += width;
        }
        if (at != actual.size())
            return testing::AssertionFailure()
                   << "length " << actual.size() << ", expected " << at << ": \"" << actual << "\"";
        return testing::AssertionSuccess();
    }

  private:
    static bool close(double actual, double expected, double last_digit) {
        return std::fabs(actual - expected) <=
               relative_tolerance * std::fabs(expected) + 0.5 * last_digit;
    }

    // Empty when the part is right, else what is wrong with it.
    static std::string check(const Piece& p, const std::string& part) {
        if (p.kind == Piece::Kind::text || p.kind == Piece::Kind::integer)
            return part == p.text ? "" : "\"" + part + "\" where \"" + p.text + "\" belongs";
        if (p.kind == Piece::Kind::fixed) {
            const std::regex layout(" *-?[0-9]+\\.[0-9]{" + std::to_string(p.decimals) + "}");
            if (!std::regex_match(part, layout)) return "fixed field \"" + part + "\" misshapen";
        } else if (std::string fault = check_general_layout(p.value, part); !fault.empty()) {
            return fault;
        }
        const double value = std::strtod(part.c_str(), nullptr);
        const double last_digit = p.kind == Piece::Kind::fixed ? std::pow(10.0, -p.decimals) : 0.0;
        return close(value, p.value, last_digit)
                   ? ""
                   : "\"" + part + "\" is not " + std::to_string(p.value);
    }

    // Fixed form (7 significant digits in 10 columns, then 4 blanks) for
    // 0.1 <= |v| < 1e7, exponent form 0.dddddddE+xx otherwise.
    static std::string check_general_layout(double expected, const std::string& part) {
        static const std::regex fixed_form(" *-?([0-9]+)\\.([0-9]*)    ");
        static const std::regex exponent_form(" *-?0\\.[0-9]{7}E[-+][0-9]{2}");
        const double magnitude = std::fabs(expected);
        const bool wants_fixed = magnitude >= 0.1 && magnitude < 1e7;
        std::smatch digits;
        if (wants_fixed) {
            if (!std::regex_match(part, digits, fixed_form))
                return "general field \"" + part + "\" not in fixed form";
            const std::size_t integer_digits = digits[1].str() == "0" ? 0 : digits[1].length();
            if (integer_digits + digits[2].length() != 7)
                return "general field \"" + part + "\" without 7 significant digits";
            return "";
        }
        return std::regex_match(part, exponent_form)
                   ? ""
                   : "general field \"" + part + "\" not in exponent form";
    }

    std::vector<Piece> pieces_;
};

// The data of the full-report tests: a noisy parabola at x = 1..7.
const std::vector<float> bent_x = {1, 2, 3, 4, 5, 6, 7};
const std::vector<float> bent_y = {4.1f, 7.6f, 8.2f, 12.5f, 12.1f, 15.9f, 17.0f};

void add_data_summary(std::vector<ExpectedLine>& lines, const std::vector<double>& x,
                      const std::vector<double>& y) {
    const auto d = reference_data(x, y);
    lines.push_back(ExpectedLine('1'));
    lines.push_back(ExpectedLine('0').text(" *** polynomial regression ***"));
    lines.push_back(
        ExpectedLine('0').text("number of datas").blanks(19).text("= ").integer(d.n, 10));
    lines.push_back(
        ExpectedLine('0').text("independent variable  x      mean =").fixed(d.mean_x, 25, 8));
    lines.push_back(ExpectedLine(' ').blanks(25).text("variance =").fixed(d.variance_x, 25, 8));
    lines.push_back(
        ExpectedLine('0').text("dependent variable    y      mean =").fixed(d.mean_y, 25, 8));
    lines.push_back(ExpectedLine(' ').blanks(25).text("variance =").fixed(d.variance_y, 25, 8));
    lines.push_back(
        ExpectedLine('0').text("          correlation coefficient =").fixed(d.correlation, 25, 8));
}

void add_degree_block(std::vector<ExpectedLine>& lines, const ReferenceFit& f, int m, int n) {
    const int k = f.degree;
    lines.push_back(
        ExpectedLine('0').text(" *** polynomial regression of degree ").integer(k, 2).text(" ***"));
    lines.push_back(
        ExpectedLine('0').text("multiple regression coeffcient    =").fixed(f.multiple_r, 20, 8));
    lines.push_back(ExpectedLine(' ')
                        .text("standard error of estimate        =")
                        .fixed(f.estimate_error, 20, 8));
    lines.push_back(
        ExpectedLine(' ').text("f-value ( sequential f-test )     =").fixed(f.sequential_f, 20, 8));
    lines.push_back(
        ExpectedLine('0').text("intercept constant                =").fixed(f.intercept, 20, 8));
    lines.push_back(ExpectedLine('0')
                        .text("order term")
                        .blanks(10)
                        .text("  regression")
                        .blanks(8)
                        .text("standard error")
                        .blanks(11)
                        .text("t"));
    lines.push_back(ExpectedLine(' ')
                        .blanks(20)
                        .text(" coefficient")
                        .blanks(8)
                        .text(" of reg. coef.")
                        .blanks(11)
                        .text("value"));
    for (int i = 1; i <= k; ++i)
        lines.push_back(ExpectedLine(' ')
                            .integer(i, 10)
                            .fixed(f.b[i - 1], 22, 8)
                            .fixed(f.standard_errors[i - 1], 22, 8)
                            .fixed(f.t_values[i - 1], 16, 4));
    lines.push_back(ExpectedLine('0')
                        .blanks(10)
                        .text("analysis of variance  for")
                        .integer(k, 4)
                        .text(" degree polynomial  "));
    lines.push_back(ExpectedLine('0')
                        .text("     source of      degrees of")
                        .blanks(4)
                        .text("sum of")
                        .blanks(10)
                        .text("mean")
                        .blanks(9)
                        .text("f"));
    lines.push_back(ExpectedLine(' ')
                        .blanks(5)
                        .text("variation ")
                        .blanks(8)
                        .text("freedom")
                        .text("   squares")
                        .blanks(7)
                        .text("squares")
                        .blanks(9)
                        .text("value"));
    lines.push_back(ExpectedLine(' '));
    if (k == m)
        for (int i = 1; i <= m; ++i)
            lines.push_back(ExpectedLine(' ')
                                .integer(i, 5)
                                .text(" order term .......    1 ")
                                .general(f.term_ss[i - 1], 14)
                                .general(f.term_ss[i - 1], 14));
    lines.push_back(ExpectedLine(' ')
                        .text("due to regression  .....")
                        .integer(f.regression_df, 5)
                        .blanks(1)
                        .general(f.regression_ss, 14)
                        .general(f.regression_ms, 14)
                        .general(f.overall_f, 14));
    lines.push_back(ExpectedLine(' ')
                        .text("residual about reg. ....")
                        .integer(f.residual_df, 5)
                        .blanks(1)
                        .general(f.residual_ss, 14)
                        .general(f.residual_ms, 14));
    lines.push_back(ExpectedLine(' ')
                        .text("total     ..............")
                        .integer(n - 1, 5)
                        .blanks(1)
                        .general(f.regression_ss + f.residual_ss, 14));
}

void add_residual_table(std::vector<ExpectedLine>& lines, const ReferenceFit& f,
                        const std::vector<double>& x, const std::vector<double>& y, int first) {
    lines.push_back(ExpectedLine('1'));
    lines.push_back(ExpectedLine('0').blanks(10).text("table of residuals  "));
    lines.push_back(ExpectedLine('0')
                        .text("  no.")
                        .blanks(9)
                        .text("x value")
                        .blanks(9)
                        .text("y value")
                        .blanks(5)
                        .text("y predicted")
                        .blanks(8)
                        .text("residual"));
    for (std::size_t p = 0; p < x.size(); ++p)
        lines.push_back(ExpectedLine(' ')
                            .integer(first + static_cast<long>(p), 5)
                            .fixed(x[p], 16, 5)
                            .fixed(y[p], 16, 5)
                            .fixed(f.fitted[p], 16, 5)
                            .fixed(y[p] - f.fitted[p], 16, 5));
}

// The whole report of a degree-m fit to points first..last at a report level.
std::vector<ExpectedLine> expected_report(const std::vector<float>& xs,
                                          const std::vector<float>& ys, int first, int last, int m,
                                          int level) {
    const std::vector<double> x = widened(xs, first, last), y = widened(ys, first, last);
    std::vector<ExpectedLine> lines;
    add_data_summary(lines, x, y);
    const bool every_degree = level == 1 || level == 2;
    for (int k = every_degree ? 1 : m; k <= m; ++k)
        add_degree_block(lines, reference_fit(x, y, k), m, static_cast<int>(x.size()));
    if (level == 1 || level == 3) add_residual_table(lines, reference_fit(x, y, m), x, y, first);
    return lines;
}

void expect_report(const std::vector<std::string>& actual,
                   const std::vector<ExpectedLine>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_TRUE(expected[i].matches(actual[i])) << "line " << i + 1;
}

TEST(RegressionReport, FullReportAtLevelsOneToFour) {
    for (std::int32_t level : {1, 2, 3, 4}) {
        SCOPED_TRACE("report level " + std::to_string(level));
        RegressionCall call(bent_x, bent_y);
        call.run(1, 7, 2, level);
        EXPECT_EQ(call.status, 0);
        expect_report(call.window.lines(), expected_report(bent_x, bent_y, 1, 7, 2, level));
    }
}

// Levels above 4 report as 4 does, and the results never depend on the level.
TEST(RegressionReport, LevelAboveFourAsFourAndResultsAlike) {
    RegressionCall quiet(bent_x, bent_y);
    quiet.run(1, 7, 2, 0);
    RegressionCall loud(bent_x, bent_y);
    loud.run(1, 7, 2, 9);
    expect_report(loud.window.lines(), expected_report(bent_x, bent_y, 1, 7, 2, 4));
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
    expect_report(call.window.lines(), expected_report(x, y, 11, 17, 2, 3));
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
