#include "formats/free_form.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

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
    auto result = std::to_chars(scientific, scientific + sizeof scientific - 1, magnitude,
                                std::chars_format::scientific, significant_digits - 1);
    *result.ptr = '\0';
    SignificantDigits rounded;
    rounded.digits[0] = scientific[0];
    std::memcpy(rounded.digits + 1, scientific + 2, significant_digits - 1);
    rounded.k = std::atoi(scientific + significant_digits + 2) + 1;
    return rounded;
}

// Writes text right-aligned in a field of width characters at out.
void right_aligned(const char* text, int length, int width, char* out) {
    const int blanks = width > length ? width - length : 0;
    std::memset(out, ' ', static_cast<std::size_t>(blanks));
    std::memcpy(out + blanks, text, static_cast<std::size_t>(length));
}

void exponent_form(bool negative, const SignificantDigits& rounded, char* out) {
    char text[24];
    int length = 0;
    if (negative) text[length++] = '-';
    text[length++] = '0';
    text[length++] = '.';
    std::memcpy(text + length, rounded.digits, significant_digits);
    length += significant_digits;
    length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length),
                            "E%c%02d", rounded.k < 0 ? '-' : '+', std::abs(rounded.k) % 100);
    right_aligned(text, length, free_real_width, out);
}

// 0.1 <= |value| < 10^7: the 7 digits with the point after the first k, then 4 blanks.
void plain_form(bool negative, const SignificantDigits& rounded, char* out) {
    char text[16];
    int length = 0;
    if (negative) text[length++] = '-';
    if (rounded.k == 0) text[length++] = '0';
    std::memcpy(text + length, rounded.digits, static_cast<std::size_t>(rounded.k));
    length += rounded.k;
    text[length++] = '.';
    std::memcpy(text + length, rounded.digits + rounded.k,
                static_cast<std::size_t>(significant_digits - rounded.k));
    length += significant_digits - rounded.k;
    right_aligned(text, length, plain_width, out);
    std::memset(out + plain_width, ' ', free_real_width - plain_width);
}

void word_form(const char* word, char* out) {
    right_aligned(word, static_cast<int>(std::strlen(word)), free_real_width, out);
}

}  // namespace

std::string free_form(std::int32_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%*d", free_integer_width, static_cast<int>(value));
    return buffer;
}

void write_free_form(float value, char* out) {
    const double exact = value;
    if (std::isnan(exact)) return word_form("NaN", out);
    if (std::isinf(exact)) return word_form(exact < 0 ? "-Infinity" : "Infinity", out);
    if (exact == 0.0) {
        right_aligned("0.000000", 8, plain_width, out);
        std::memset(out + plain_width, ' ', free_real_width - plain_width);
        return;
    }
    const SignificantDigits rounded = round_to_significant(std::fabs(exact));
    if (rounded.k < 0 || rounded.k > significant_digits)
        return exponent_form(exact < 0, rounded, out);
    plain_form(exact < 0, rounded, out);
}

std::string free_form(float value) {
    std::string text(free_real_width, ' ');
    write_free_form(value, text.data());
    return text;
}

char* FreeFormWriter::next_field(std::size_t width) {
    if (on_line_ == values_per_line) {
        text_ += '\n';
        on_line_ = 0;
    }
    ++on_line_;
    const std::size_t at = text_.size();
    text_.resize(at + width);
    return text_.data() + at;
}

void FreeFormWriter::add(std::int32_t value) {
    const std::string field = free_form(value);
    field.copy(next_field(field.size()), field.size());
}

void FreeFormWriter::add(float value) {
    write_free_form(value, next_field(free_real_width));
}

void FreeFormWriter::end_record() {
    text_ += '\n';
    on_line_ = 0;
}

std::string FreeFormWriter::take() {
    std::string text = std::move(text_);
    text_.clear();
    on_line_ = 0;
    return text;
}

}  // namespace mapari
