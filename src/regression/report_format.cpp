#include "regression/report_format.hpp"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mapari {
namespace {

constexpr int general_digits = 7;    // significant digits of a general field
constexpr int general_trailing = 4;  // blanks after the fixed form, where the exponent would be
constexpr std::size_t scratch_size = 64;

// The decimal exponent e of |value| = d.dddddd x 10^e after rounding to the
// digits of a general field, and those 7 digits.
int rounded_exponent(double value, char (&digits)[general_digits + 1]) {
    char scientific[scratch_size];
    std::snprintf(scientific, sizeof scientific, "%.*e", general_digits - 1, std::fabs(value));
    // scientific is "d.dddddde+XX": keep the digits, read the exponent.
    digits[0] = scientific[0];
    for (int k = 1; k < general_digits; ++k) digits[k] = scientific[k + 1];
    digits[general_digits] = '\0';
    return std::atoi(scientific + general_digits + 2);
}

}  // namespace

ReportLine& ReportLine::text(std::string_view piece) {
    assert(length_ + piece.size() <= capacity);
    for (char c : piece)
        if (length_ < capacity) chars_[length_++] = c;
    return *this;
}

ReportLine& ReportLine::blanks(int count) {
    for (int k = 0; k < count; ++k) text(" ");
    return *this;
}

void ReportLine::field(std::string_view printed, int width) {
    if (printed.size() > static_cast<std::size_t>(width)) return asterisks(width);
    blanks(width - static_cast<int>(printed.size()));
    text(printed);
}

void ReportLine::asterisks(int width) {
    for (int k = 0; k < width; ++k) text("*");
}

bool ReportLine::not_finite(double value, int width) {
    if (std::isfinite(value)) return false;
    field(std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity"), width);
    return true;
}

ReportLine& ReportLine::integer(std::int64_t value, int width) {
    char printed[scratch_size];
    int size = std::snprintf(printed, sizeof printed, "%lld", static_cast<long long>(value));
    field({printed, static_cast<std::size_t>(size)}, width);
    return *this;
}

ReportLine& ReportLine::fixed(double value, int width, int decimals) {
    if (not_finite(value, width)) return *this;
    char printed[scratch_size];
    int size = std::snprintf(printed, sizeof printed, "%.*f", decimals, value);
    // A value too large for the scratch buffer cannot fit any report field.
    if (size < 0 || static_cast<std::size_t>(size) >= sizeof printed) size = width + 1;
    field({printed, static_cast<std::size_t>(size)}, width);
    return *this;
}

ReportLine& ReportLine::general(double value, int width) {
    if (not_finite(value, width)) return *this;
    char printed[scratch_size];
    int size = 0;
    char digits[general_digits + 1];
    const int exponent = rounded_exponent(value, digits);
    // k integer digits: 0 for 0.1 <= |value| < 1, up to 7 below 1e7.
    const int integer_digits = exponent + 1;
    if (value != 0.0 && integer_digits >= 0 && integer_digits <= general_digits) {
        // '#' keeps the decimal point of a value of 7 integer digits ("1234567.").
        size =
            std::snprintf(printed, sizeof printed, "%#.*f", general_digits - integer_digits, value);
        // A fixed form too wide for its columns stars the whole field, trailing blanks too.
        if (size > width - general_trailing) {
            asterisks(width);
            return *this;
        }
        field({printed, static_cast<std::size_t>(size)}, width - general_trailing);
        return blanks(general_trailing);
    }
    // Exponent form 0.ddddddd x 10^(e + 1); zero is written with exponent 0.
    const int shown_exponent = value == 0.0 ? 0 : integer_digits;
    const char sign = shown_exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(shown_exponent);
    size = magnitude <= 99 ? std::snprintf(printed, sizeof printed, "%s0.%sE%c%02d",
                                           value < 0 ? "-" : "", digits, sign, magnitude)
                           : std::snprintf(printed, sizeof printed, "%s0.%s%c%03d",
                                           value < 0 ? "-" : "", digits, sign, magnitude);
    field({printed, static_cast<std::size_t>(size)}, width);
    return *this;
}

}  // namespace mapari
