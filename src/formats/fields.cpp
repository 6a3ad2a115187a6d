#include "formats/fields.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace mapari {
namespace {

bool is_separator(char c) {
    return c == ' ' || c == ',' || c == '\t';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string without_blanks(std::string_view text) {
    std::string kept;
    for (char c : text)
        if (c != ' ') kept += c;
    return kept;
}

// Splits a number into sign, mantissa digits, the count of digits after the
// point, whether a point was written, and the written exponent.
struct DecimalParts {
    bool negative = false;
    std::string digits;
    int fraction_digits = 0;
    bool has_point = false;
    long exponent = 0;
};

std::optional<DecimalParts> split_decimal(std::string_view text) {
    DecimalParts parts;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) parts.negative = text[i++] == '-';
    for (; i < text.size(); ++i) {
        if (is_digit(text[i])) {
            parts.digits += text[i];
            if (parts.has_point) ++parts.fraction_digits;
        } else if (text[i] == '.' && !parts.has_point) {
            parts.has_point = true;
        } else {
            break;
        }
    }
    if (parts.digits.empty() || parts.digits.size() > 60) return std::nullopt;
    if (i == text.size()) return parts;
    char marker = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    if (marker == 'E' || marker == 'D') ++i;
    std::size_t exponent_start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t first_digit = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (i != text.size() || i == first_digit || i - first_digit > 4) return std::nullopt;
    if (exponent_start == first_digit && marker != 'E' && marker != 'D') return std::nullopt;
    parts.exponent = std::strtol(std::string(text.substr(exponent_start)).c_str(), nullptr, 10);
    return parts;
}

// The float nearest to the decimal digits × 10^(exponent - fraction digits).
std::optional<float> to_float(const DecimalParts& parts, long extra_exponent) {
    std::string decimal = (parts.negative ? "-" : "") + parts.digits + "e" +
                          std::to_string(parts.exponent - parts.fraction_digits + extra_exponent);
    errno = 0;
    float value = std::strtof(decimal.c_str(), nullptr);
    if (errno == ERANGE && std::isinf(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::string_view> first_free_value(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && is_separator(line[i])) ++i;
    if (i == line.size()) return std::nullopt;
    if (line[i] == '\'' || line[i] == '"') {
        std::size_t close = line.find(line[i], i + 1);
        if (close != std::string_view::npos) return line.substr(i + 1, close - i - 1);
    }
    std::size_t end = i;
    while (end < line.size() && !is_separator(line[end])) ++end;
    return line.substr(i, end - i);
}

std::optional<std::int32_t> read_whole_number(std::string_view value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    if (i == value.size()) return std::nullopt;
    std::int64_t magnitude = 0;
    for (; i < value.size(); ++i) {
        if (!is_digit(value[i])) return std::nullopt;
        magnitude = magnitude * 10 + (value[i] - '0');
        if (magnitude > 2147483648LL) return std::nullopt;
    }
    std::int64_t signed_value = negative ? -magnitude : magnitude;
    if (signed_value > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(signed_value);
}

std::optional<float> read_real_number(std::string_view value) {
    std::optional<DecimalParts> parts = split_decimal(value);
    if (!parts) return std::nullopt;
    return to_float(*parts, 0);
}

std::optional<std::int32_t> read_integer_field(std::string_view line, int width) {
    std::string field = without_blanks(line.substr(0, static_cast<std::size_t>(width)));
    if (field.empty()) return 0;
    return read_whole_number(field);
}

std::optional<float> read_real_field(std::string_view line, int width, int implied_decimals) {
    std::string field = without_blanks(line.substr(0, static_cast<std::size_t>(width)));
    if (field.empty()) return 0.0f;
    std::optional<DecimalParts> parts = split_decimal(field);
    if (!parts) return std::nullopt;
    return to_float(*parts, parts->has_point ? 0 : -implied_decimals);
}

std::size_t utf8_safe_cut(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return text.size();
    std::size_t cut = max_bytes;
    // Back up over continuation bytes to the start of the split character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0u) == 0x80u) --cut;
    return cut;
}

}  // namespace mapari
