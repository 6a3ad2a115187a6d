#include "formats/free_form.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

namespace mapari {
namespace {

constexpr int significant_digits = 7;
constexpr int plain_width = free_real_width - 4;
constexpr char blank_field[] = "               ";
static_assert(sizeof blank_field == free_real_width + 1);

// The value rounded to 7 significant digits: the digits d1..d7 as one whole
// number from 10^6 to 10^7 - 1, and the decimal exponent k with
// 10^(k-1) <= |rounded value| < 10^k.
struct SignificantDigits {
    std::uint32_t digits = 0;
    int k = 0;
};

constexpr std::uint64_t powers_of_ten[] = {1,         10,         100,         1000,
                                           10000,     100000,     1000000,     10000000,
                                           100000000, 1000000000, 10000000000, 100000000000};
constexpr int largest_decimals = 11;  // m 10^11 < 2^61 for the 24-bit significand m
constexpr std::uint64_t seven_digits = powers_of_ten[significant_digits];

// Digits of the smallest whole number of each bit length 1 to 23.
constexpr auto digits_of_bit_length = [] {
    std::array<int, 24> digits{};
    for (int length = 1; length < 24; ++length) {
        std::uint64_t smallest = std::uint64_t{1} << (length - 1);
        while (smallest > 0) {
            ++digits[static_cast<std::size_t>(length)];
            smallest /= 10;
        }
    }
    return digits;
}();

// The decimal exponent k of a float m / 2^shift below 2^23 (0 < shift < 63):
// for a value of 1 or more the digits of its integer part, whose bit length
// is 24 - shift; for a value below 1 by comparing m 10^(1-k) with 2^shift
// exactly, down to k = 7 - largest_decimals (false below that).
bool decimal_exponent(std::uint64_t m, int shift, int& k) {
    if (shift < 24) {
        k = digits_of_bit_length[static_cast<std::size_t>(24 - shift)];
        k += (m >> shift) >= powers_of_ten[k] ? 1 : 0;
        return true;
    }
    const std::uint64_t one = std::uint64_t{1} << shift;
    for (k = 0; significant_digits - k <= largest_decimals; --k)
        if (m * powers_of_ten[1 - k] >= one) return true;
    return false;
}

// The 7 significant digits of a float from 10^-5 to below 10^7, from its
// exact binary value m / 2^shift in 64-bit whole numbers: N = m 10^(7-k) /
// 2^shift rounded to nearest, a tie to the even N, which is how to_chars
// rounds the same value. False for any other value, left to to_chars.
bool round_exactly(float magnitude, SignificantDigits& rounded) {
    const auto bits = std::bit_cast<std::uint32_t>(magnitude);
    const int biased_exponent = static_cast<int>(bits >> 23);
    if (biased_exponent == 0 || biased_exponent == 255) return false;
    const std::uint64_t m = (bits & 0x7FFFFFu) | 0x800000u;
    const int shift = 150 - biased_exponent;  // magnitude = m / 2^shift
    if (shift > 62) return false;
    if (shift == 0 && m < seven_digits) {
        rounded = {static_cast<std::uint32_t>(m), significant_digits};
        return true;
    }
    if (shift <= 0 || !decimal_exponent(m, shift, rounded.k)) return false;
    const std::uint64_t scaled = m * powers_of_ten[significant_digits - rounded.k];
    std::uint64_t number = scaled >> shift;
    const std::uint64_t remainder = scaled - (number << shift);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    // Added rather than branched on: whether a value rounds up is as good as
    // random, and a mispredicted branch cost more than the whole rounding.
    const bool rounds_up = (remainder > half) | ((remainder == half) & (number % 2 == 1));
    number += rounds_up ? 1 : 0;
    if (number == seven_digits) {  // 9999999.5 units became 10^7: one more integer digit
        number /= 10;
        ++rounded.k;
    }
    rounded.digits = static_cast<std::uint32_t>(number);
    return true;
}

SignificantDigits rounded_by_to_chars(float magnitude) {
    SignificantDigits rounded;
    // Scientific notation with 6 decimals, d.dddddde±XX, is correctly rounded
    // to 7 significant digits; its exponent already counts a carry (9.9999999 → 1.000000e+01).
    char scientific[32];
    auto result = std::to_chars(scientific, scientific + sizeof scientific, double(magnitude),
                                std::chars_format::scientific, significant_digits - 1);
    rounded.digits = static_cast<std::uint32_t>(scientific[0] - '0');
    for (int i = 2; i <= significant_digits; ++i)
        rounded.digits = rounded.digits * 10 + static_cast<std::uint32_t>(scientific[i] - '0');
    const char* exponent = scientific + significant_digits + 2;
    if (*exponent == '+') ++exponent;
    std::from_chars(exponent, result.ptr, rounded.k);
    ++rounded.k;
    return rounded;
}

// The characters "0000" to "9999", the first in the low byte.
constexpr auto digit_quads = [] {
    std::array<std::uint32_t, 10000> quads{};
    for (std::uint32_t i = 0; i < quads.size(); ++i)
        quads[i] = ('0' + i / 1000) | ('0' + i / 100 % 10) << 8 | ('0' + i / 10 % 10) << 16 |
                   ('0' + i % 10) << 24;
    return quads;
}();

// The 7 digit characters of a whole number from 10^6 to 10^7 - 1 in the low
// 7 bytes of a word, the first digit in the lowest byte: the 3 digits above
// the last 4 (their quad without its leading 0), then those 4.
std::uint64_t digit_word(std::uint32_t number) {
    const std::uint32_t high = number / 10000, low = number % 10000;
    return std::uint64_t{digit_quads[high] >> 8} | std::uint64_t{digit_quads[low]} << 24;
}

// The 8 bytes of a word as characters, its lowest byte first.
void store_word(std::uint64_t word, char* out) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &word, sizeof word);
    } else {
        for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(word >> (8 * i));
    }
}

// Writes text right-aligned in a field of width characters at out.
void right_aligned(const char* text, int length, int width, char* out) {
    const int blanks = width > length ? width - length : 0;
    std::memset(out, ' ', static_cast<std::size_t>(blanks));
    std::memcpy(out + blanks, text, static_cast<std::size_t>(length));
}

// A mantissa 0.ddddddd and the exponent as E, its sign and two digits,
// right-aligned in 15 characters.
void exponent_form(bool negative, const SignificantDigits& rounded, char* out) {
    std::memcpy(out, blank_field, free_real_width);
    char* const digits = out + 4;  // "0.ddddddd" before "E+dd"; a sign before it
    store_word(digit_word(rounded.digits), digits);
    digits[-1] = '.';
    digits[-2] = '0';
    if (negative) digits[-3] = '-';
    const int exponent = std::abs(rounded.k) % 100;
    char* const e = digits + significant_digits;
    e[0] = 'E';
    e[1] = rounded.k < 0 ? '-' : '+';
    e[2] = static_cast<char>('0' + exponent / 10);
    e[3] = static_cast<char>('0' + exponent % 10);
}

// 0.1 <= |value| < 10^7: the 7 digits with the point after the first k,
// right-aligned in 11 characters, then 4 blanks. The digits and the point
// always end the 11 characters; a 0 before the point when k = 0 and the sign
// stand before them.
void plain_form(bool negative, const SignificantDigits& rounded, char* out) {
    std::memcpy(out, blank_field, free_real_width);
    const std::uint64_t digits = digit_word(rounded.digits);
    const int point_bit = 8 * rounded.k;
    const std::uint64_t before_point = (std::uint64_t{1} << point_bit) - 1;
    char* const text = out + plain_width - (significant_digits + 1);
    store_word(
        (digits & before_point) | std::uint64_t{'.'} << point_bit | (digits & ~before_point) << 8,
        text);
    // Written whatever the sign and k, the blank or the character chosen by a
    // value rather than by a branch the processor would have to guess.
    const bool below_one = rounded.k == 0;
    text[-1] = below_one ? '0' : ' ';
    text[-1 - (below_one ? 1 : 0)] = negative ? '-' : ' ';
}

void word_form(const char* word, char* out) {
    right_aligned(word, static_cast<int>(std::strlen(word)), free_real_width, out);
}

}  // namespace

std::string free_form(std::int32_t value) {
    char digits[16];
    const auto length =
        static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
    std::string text(free_integer_width - std::min<std::size_t>(length, free_integer_width), ' ');
    return text.append(digits, length);
}

void write_free_form(float value, char* out) {
    SignificantDigits rounded;
    if (!round_exactly(std::fabs(value), rounded)) {
        if (std::isnan(value)) return word_form("NaN", out);
        if (std::isinf(value)) return word_form(value < 0 ? "-Infinity" : "Infinity", out);
        if (value == 0.0f) {
            right_aligned("0.000000", 8, plain_width, out);
            std::memset(out + plain_width, ' ', free_real_width - plain_width);
            return;
        }
        rounded = rounded_by_to_chars(std::fabs(value));
    }
    if (rounded.k < 0 || rounded.k > significant_digits)
        return exponent_form(value < 0, rounded, out);
    plain_form(value < 0, rounded, out);
}

namespace {

// Below 10^5 the rounding to 7 digits moves a value by at most 0.005: one
// farther than that from a half has the whole number nearest to itself,
// which is set in nearest. False for any other value.
inline bool nearest_whole_clear_of_a_half(float value, std::int32_t& nearest) {
    constexpr double exact_below = 1.0e5, margin = 0.01;
    const double size = std::fabs(static_cast<double>(value));
    if (!(size < exact_below)) return false;
    const auto whole = static_cast<std::int32_t>(size);
    const double fraction = size - whole;
    // One test of the distance, which nearly every value passes: two tests,
    // one on each side of the half, would each be a branch as good as random.
    if (!(std::fabs(fraction - 0.5) > margin)) return false;
    const std::int32_t magnitude = whole + (fraction > 0.5 ? 1 : 0);
    nearest = value < 0 ? -magnitude : magnitude;
    return true;
}

}  // namespace

// A value clear of a half below 10^5 is its own nearest whole number. Else
// the plain form's digits with the point after the first k: the whole part,
// and one more when the first decimal is 5 or more. A value in exponent form
// below 10^-1 is nearer 0 than a half.
std::optional<std::int32_t> whole_number_as_written(float value) {
    if (std::int32_t nearest = 0; nearest_whole_clear_of_a_half(value, nearest)) return nearest;
    SignificantDigits rounded;
    if (!round_exactly(std::fabs(value), rounded)) {
        if (!std::isfinite(value)) return std::nullopt;
        if (value == 0.0f) return 0;
        rounded = rounded_by_to_chars(std::fabs(value));
    }
    if (rounded.k > significant_digits) return std::nullopt;
    if (rounded.k < 0) return 0;
    const int decimals = significant_digits - rounded.k;
    auto magnitude = static_cast<std::int32_t>(rounded.digits / powers_of_ten[decimals]);
    if (decimals > 0 && rounded.digits / powers_of_ten[decimals - 1] % 10 >= 5) ++magnitude;
    return value < 0 ? -magnitude : magnitude;
}

bool whole_numbers_as_written(const float* values, std::size_t count, std::int32_t* wholes) {
    // The common value is decided here without a call, the rest by the digits.
    for (std::size_t i = 0; i < count; ++i) {
        if (nearest_whole_clear_of_a_half(values[i], wholes[i])) continue;
        const std::optional<std::int32_t> whole = whole_number_as_written(values[i]);
        if (!whole) return false;
        wholes[i] = *whole;
    }
    return true;
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

void FreeFormWriter::add_record(const float* values, std::size_t count) {
    // A line at a time: its fields and its newline, appended at once.
    char line[values_per_line * free_real_width + 1];
    std::size_t length = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (on_line_ == values_per_line) {
            line[length++] = '\n';
            text_.append(line, length);
            length = 0;
            on_line_ = 0;
        }
        write_free_form(values[i], line + length);
        length += free_real_width;
        ++on_line_;
    }
    text_.append(line, length);
    end_record();
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
