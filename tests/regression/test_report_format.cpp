// Field kinds of the regression report: integer, fixed and general fields,
// their alignment, the leading zero, the exponent form and the asterisks of
// a value too wide for its field.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "regression/report_format.hpp"

namespace mapari::regression_tests {
namespace {

std::string integer_field(std::int64_t value, int width) {
    return std::string(ReportLine().integer(value, width).view());
}
std::string fixed_field(double value, int width, int decimals) {
    return std::string(ReportLine().fixed(value, width, decimals).view());
}
std::string general_field(double value, int width) {
    return std::string(ReportLine().general(value, width).view());
}

TEST(ReportFormat, RecordIsControlCharacterThenText) {
    EXPECT_EQ(ReportLine(control_new_page).view(), "1");
    EXPECT_EQ(ReportLine(control_none).view(), " ");
    EXPECT_EQ(ReportLine(control_skip_line).text("ab").blanks(3).text("c").view(), "0ab   c");
}

TEST(ReportFormat, IntegerRightAlignedOrAsterisks) {
    EXPECT_EQ(integer_field(7, 4), "   7");
    EXPECT_EQ(integer_field(-12, 4), " -12");
    EXPECT_EQ(integer_field(9999, 4), "9999");
    EXPECT_EQ(integer_field(10000, 4), "****");
    EXPECT_EQ(integer_field(-1000, 4), "****");  // the sign needs a fifth column
    EXPECT_EQ(integer_field(100000, 5), "*****");
}

TEST(ReportFormat, FixedKeepsLeadingZeroAndRounds) {
    EXPECT_EQ(fixed_field(0.5, 20, 8), "          0.50000000");
    EXPECT_EQ(fixed_field(-0.25, 20, 8), "         -0.25000000");
    EXPECT_EQ(fixed_field(0.0, 16, 5), "         0.00000");
    EXPECT_EQ(fixed_field(1234.56789, 16, 4), "       1234.5679");
    // -0.5 with 7 decimals takes exactly 10 columns, leading zero included.
    EXPECT_EQ(fixed_field(-0.5, 10, 7), "-0.5000000");
}

TEST(ReportFormat, FixedTooWideFillsAsterisks) {
    EXPECT_EQ(fixed_field(-0.5, 9, 7), "*********");
    // 1e20 with 8 decimals needs 30 columns.
    EXPECT_EQ(fixed_field(1e20, 25, 8), std::string(25, '*'));
    EXPECT_EQ(fixed_field(123456.0, 16, 10), std::string(16, '*'));
    EXPECT_EQ(fixed_field(1e300, 25, 8), std::string(25, '*'));
}

TEST(ReportFormat, GeneralFixedFormBetweenOneTenthAndTenMillion) {
    // k integer digits leave 7 - k decimals in 10 columns, then 4 blanks.
    EXPECT_EQ(general_field(0.1, 14), " 0.1000000    ");
    EXPECT_EQ(general_field(-0.5, 14), "-0.5000000    ");
    EXPECT_EQ(general_field(1.0, 14), "  1.000000    ");
    EXPECT_EQ(general_field(1234.5, 14), "  1234.500    ");
    EXPECT_EQ(general_field(1234567.0, 14), "  1234567.    ");
    EXPECT_EQ(general_field(-9999999.0, 14), " -9999999.    ");
    // 0.09999999996 rounds to 7 digits as 0.1000000, inside the fixed range.
    EXPECT_EQ(general_field(0.09999999996, 14), " 0.1000000    ");
    // 9.9999996 rounds up to two integer digits.
    EXPECT_EQ(general_field(9.9999996, 14), "  10.00000    ");
}

TEST(ReportFormat, GeneralExponentFormOutsideThatRange) {
    EXPECT_EQ(general_field(0.05, 14), " 0.5000000E-01");
    EXPECT_EQ(general_field(-2.9e-31, 14), "-0.2900000E-30");
    EXPECT_EQ(general_field(12345678.0, 14), " 0.1234568E+08");
    // 9999999.6 rounds to 1.000000e7, which is outside the fixed range.
    EXPECT_EQ(general_field(9999999.6, 14), " 0.1000000E+08");
    EXPECT_EQ(general_field(0.0, 14), " 0.0000000E+00");
    EXPECT_EQ(general_field(-0.0, 14), " 0.0000000E+00");
    // A three-digit exponent takes the place of the letter E.
    EXPECT_EQ(general_field(1e-101, 14), " 0.1000000-100");
    EXPECT_EQ(general_field(1e-100, 14), " 0.1000000E-99");
}

TEST(ReportFormat, GeneralTooWideFillsAsterisks) {
    EXPECT_EQ(general_field(2.9e-31, 12), std::string(12, '*'));
    // The fixed form of -1234567 needs 9 columns before the 4 blanks.
    EXPECT_EQ(general_field(-1234567.0, 13), "-1234567.    ");
    EXPECT_EQ(general_field(-1234567.0, 12), std::string(12, '*'));
}

TEST(ReportFormat, ValuesThatAreNotFinite) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(fixed_field(nan, 8, 2), "     NaN");
    EXPECT_EQ(fixed_field(-inf, 10, 2), " -Infinity");
    EXPECT_EQ(general_field(inf, 14), "      Infinity");
    EXPECT_EQ(fixed_field(inf, 5, 2), "*****");
}

}  // namespace
}  // namespace mapari::regression_tests
