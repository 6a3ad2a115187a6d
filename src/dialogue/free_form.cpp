#include "dialogue/free_form.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mapari {
namespace {

constexpr int significant_digits = 7;
constexpr int plain_width = free_real_width - 4;

// The value rounded to 7 significant digits: the digits d1..d7 and the
// decimal exponent k with 10^(k-1) <= |rounded value| < 10^k.
struct SignificantDigits {
    char digits[significant_digits];
    int k = 0;
};

SignificantDigits round_to_significant(double magnitude) {
    // Scientific notation with 6 decimals, d.dddddde±XX, is correctly rounded
    // to 7 significant digits; its exponent already counts a carry (9.9999999 → 1.000000e+01).
    char scientific[32];
    auto result = std::to_chars(scientific, scientific + sizeof scientific, magnitude,
                                std::chars_format::scientific, significant_digits - 1);
    *result.ptr = '\0';
    SignificantDigits rounded;
    rounded.digits[0] = scientific[0];
    for (int i = 1; i < significant_digits; ++i) rounded.digits[i] = scientific[i + 1];
    rounded.k = std::atoi(scientific + significant_digits + 2) + 1;
    return rounded;
}

std::string right_aligned(const std::string& text, std::size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

std::string exponent_form(bool negative, const SignificantDigits& rounded) {
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "E%c%02d", rounded.k < 0 ? '-' : '+',
                  std::abs(rounded.k));
    std::string text = negative ? "-0." : "0.";
    text.append(rounded.digits, significant_digits);
    return right_aligned(text + exponent, free_real_width);
}

// 0.1 <= |value| < 10^7: the 7 digits with the point after the first k.
std::string plain_form(bool negative, const SignificantDigits& rounded) {
    std::string text = negative ? "-" : "";
    if (rounded.k == 0) text += '0';
    text.append(rounded.digits, static_cast<std::size_t>(rounded.k));
    text += '.';
    text.append(rounded.digits + rounded.k,
                static_cast<std::size_t>(significant_digits - rounded.k));
    return right_aligned(text, plain_width) + "    ";
}

}  // namespace

std::string free_form(std::int32_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%*d", free_integer_width, static_cast<int>(value));
    return buffer;
}

std::string free_form(float value) {
    const double exact = value;
    if (std::isnan(exact)) return right_aligned("NaN", free_real_width);
    if (std::isinf(exact))
        return right_aligned(exact < 0 ? "-Infinity" : "Infinity", free_real_width);
    if (exact == 0.0) return right_aligned("0.000000", plain_width) + "    ";
    const SignificantDigits rounded = round_to_significant(std::fabs(exact));
    if (rounded.k < 0 || rounded.k > significant_digits) return exponent_form(exact < 0, rounded);
    return plain_form(exact < 0, rounded);
}

}  // namespace mapari
