// Values on dialogue lines and in result files: integers in 12 characters,
// reals in 15 characters with 7 significant digits.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "formats/free_form.hpp"

namespace mapari::unit_tests {
namespace {

TEST(FreeForm, IntegerIsRightAlignedInTwelve) {
    struct Case {
        std::int32_t value;
        const char* expected;
    } cases[] = {
        {0, "           0"},          {5, "           5"},
        {-5, "          -5"},         {4000, "        4000"},
        {2147483647, "  2147483647"}, {std::numeric_limits<std::int32_t>::min(), " -2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(free_form(c.value), c.expected);
    }
}

// k is the decimal exponent after rounding to 7 significant digits,
// 10^(k-1) <= |x| < 10^k. For k from 0 to 7 the value is written with 7 - k
// decimals right-aligned in 11, then 4 blanks; otherwise as 0.ddddddd with a
// signed two-digit exponent, right-aligned in 15.
TEST(FreeForm, RealHasSevenSignificantDigitsInFifteen) {
    struct Case {
        float value;
        const char* expected;
    } cases[] = {
        // 0.99f = 0.99000000953..., k = 0: 7 decimals "0.9900000" (9 chars) in 11.
        {0.99f, "  0.9900000    "},
        // 0.95f = 0.94999998807..., rounded to 7 decimals 0.9500000.
        {0.95f, "  0.9500000    "},
        // 0.1f = 0.10000000149..., k = 0.
        {0.1f, "  0.1000000    "},
        // 1.0f: k = 1, 6 decimals "1.000000" (8 chars).
        {1.0f, "   1.000000    "},
        // 165.0f: k = 3, 4 decimals.
        {165.0f, "   165.0000    "},
        // 1234.5f: k = 4, 3 decimals.
        {1234.5f, "   1234.500    "},
        // 1234567.0f: k = 7, no decimals; the point stays.
        {1234567.0f, "   1234567.    "},
        // 9999999.0f: still k = 7.
        {9999999.0f, "   9999999.    "},
        // 12345678.0f: k = 8, so the exponent form; 7 digits 1234568 (the 8 rounds up).
        {12345678.0f, "  0.1234568E+08"},
        // 1.0e7f: k = 8.
        {1.0e7f, "  0.1000000E+08"},
        // 0.01f = 0.0099999997764...: 7 digits round up to 1.000000e-2, so k = -1
        // (not -2 as the unrounded value would give) and the mantissa is 0.1000000.
        {0.01f, "  0.1000000E-01"},
        // 0.001f = 0.00100000004749...: k = -2.
        {0.001f, "  0.1000000E-02"},
        // 1e-5f = 0.0000099999997...: rounds to 1.000000e-5, k = -4.
        {1e-5f, "  0.1000000E-04"},
        // 0.0123456789f: k = -1, 7 digits 1234568.
        {0.0123456789f, "  0.1234568E-01"},
        // 0.099999994f, the float just below 0.1: 9.999999e-2, k = -1.
        {0.099999994f, "  0.9999999E-01"},
        // 0.99999994f, the float just below 1: 0.9999999|4 stays below 1, k = 0.
        {0.99999994f, "  0.9999999    "},
        // 1.9999999f = 1.99999988...: 6 decimals round up to 2.000000.
        {1.9999999f, "   2.000000    "},
        {0.0f, "   0.000000    "},
        {-0.99f, " -0.9900000    "},
        {-1.0f, "  -1.000000    "},
        {-1234.5f, "  -1234.500    "},
        {-12345678.0f, " -0.1234568E+08"},
        {-0.01f, " -0.1000000E-01"},
        // The largest float, 3.4028235e38: k = 39.
        {std::numeric_limits<float>::max(), "  0.3402823E+39"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        std::string text = free_form(c.value);
        EXPECT_EQ(text, c.expected);
        EXPECT_EQ(text.size(), 15u);
    }
}

TEST(FreeForm, RealIsAlwaysFifteenWide) {
    // Powers of ten and their neighbours cross every switch between the two forms.
    for (float magnitude = 1e-30f; magnitude < 1e30f; magnitude *= 10.0f) {
        for (float value : {magnitude, -magnitude, magnitude * 0.9999999f, magnitude * 1.0000001f,
                            magnitude * 5.5f}) {
            SCOPED_TRACE(value);
            EXPECT_EQ(free_form(value).size(), 15u);
        }
    }
}

// The whole number of the value as written: its 7 significant digits
// rounded, halves away from zero; 2.4999998 is written 2.500000, so 3.
TEST(FreeForm, WholeNumberAsWrittenRoundsTheWrittenDigits) {
    const struct {
        float value;
        std::optional<std::int32_t> whole;
    } cases[] = {
        {0.0f, 0},
        {-0.0f, 0},
        {2.5f, 3},
        {-2.5f, -3},
        {2.4999998f, 3},             // "2.500000"
        {2.4999990f, 2},             // "2.499999"
        {0.49999997f, 1},            // "0.5000000"
        {0.4999999f, 0},             // "0.4999999"
        {-0.6f, -1},                 // "-0.6000000"
        {0.04f, 0},                  // "0.4000000E-01"
        {1234.5f, 1235},             // "1234.500"
        {-1234.4f, -1234},           // "-1234.400"
        {9999999.0f, 9999999},       // "9999999."
        {9999999.5f, std::nullopt},  // "0.1000000E+08"
        {1.0e7f, std::nullopt},
        {std::numeric_limits<float>::infinity(), std::nullopt},
        {std::numeric_limits<float>::quiet_NaN(), std::nullopt},
        {std::numeric_limits<float>::denorm_min(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(free_form(c.value));
        EXPECT_EQ(whole_number_as_written(c.value), c.whole);
    }
}

}  // namespace
}  // namespace mapari::unit_tests
