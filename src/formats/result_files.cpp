#include "formats/result_files.hpp"

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "formats/fields.hpp"
#include "formats/free_form.hpp"
#include "formats/messages.hpp"

namespace mapari {

std::string ds_file_text(const Beat& beat) {
    FreeFormWriter writer;
    constexpr std::size_t lines_per_record = (lead_count + values_per_line - 1) / values_per_line;
    constexpr std::size_t characters_per_record =
        std::size_t{lead_count} * free_real_width + lines_per_record;
    writer.reserve(std::size_t{averaged_rows} * characters_per_record);
    float record[lead_count];
    for (int k = 1; k <= averaged_rows; ++k) {
        for (int l = 1; l <= lead_count; ++l) record[l - 1] = beat.averaged(k, l);
        writer.add_record(record, lead_count);
    }
    return writer.take();
}

bool ds_whole_numbers(const Beat& beat, Array2<std::int32_t, averaged_rows, lead_count>& matrix) {
    // Lead by lead: the beat and the matrix hold a lead's rows side by side.
    for (int l = 1; l <= lead_count; ++l)
        if (!whole_numbers_as_written(beat.averaged.column(l), averaged_rows, matrix.column(l)))
            return false;
    return true;
}

namespace {

enum class DsNumber { read, missing, out_of_range };

// The C locale's blanks; a byte outside printable ASCII is asked of
// std::isspace, which knows the locale in use.
bool is_blank(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ' || byte == '\n') return true;
    return (byte < 0x21 || byte > 0x7E) && std::isspace(byte) != 0;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Runs of spaces and of digits are passed eight characters at a time where a
// word holds the first of eight bytes lowest and eight bytes are left up to
// and with the NUL after the text (std::string's own, which ends every run),
// one character at a time elsewhere.
constexpr bool words_hold_bytes_in_order = std::endian::native == std::endian::little;

constexpr std::uint64_t in_every_byte(std::uint8_t byte) {
    return 0x0101010101010101u * byte;
}

std::uint64_t word_at(const char* at) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The zero bytes of a word before its first nonzero one (8 when all are zero).
int zero_bytes_first(std::uint64_t word) {
    return word == 0 ? 8 : std::countr_zero(word) / 8;
}

const char* past_spaces(const char* at, const char* end) {
    if constexpr (words_hold_bytes_in_order) {
        while (end - at >= 7) {
            const int spaces = zero_bytes_first(word_at(at) ^ in_every_byte(' '));
            at += spaces;
            if (spaces < 8) return at;
        }
    }
    while (*at == ' ') ++at;
    return at;
}

// A byte is a digit when its high half is 3 both as it is and with 6 added;
// an addition carries out of a byte only from 0xFA up, which is no digit, so
// every byte up to the first non-digit is judged right.
const char* past_digits(const char* at, const char* end) {
    if constexpr (words_hold_bytes_in_order) {
        const std::uint64_t high_halves = in_every_byte(0xF0), digit_high = in_every_byte(0x30);
        while (end - at >= 7) {
            const std::uint64_t word = word_at(at);
            const std::uint64_t not_digits =
                ((word & high_halves) ^ digit_high) |
                (((word + in_every_byte(6)) & high_halves) ^ digit_high);
            const int digits = zero_bytes_first(not_digits);
            at += digits;
            if (digits < 8) return at;
        }
    }
    while (is_digit(*at)) ++at;
    return at;
}

// Past the blanks, runs of spaces (the usual case) first; the NUL after the
// text is no blank.
void skip_blanks(const char*& cursor, const char* end) {
    for (;; ++cursor) {
        cursor = past_spaces(cursor, end);
        if (!is_blank(*cursor)) return;
    }
}

// Any number from_chars reads (a + before anything but a - passed over),
// rounded to the nearest whole number, halves away from zero; missing when
// there is none, out of range when it is not finite or beyond 2e9.
DsNumber read_any_number(const char*& cursor, const char* end, std::int32_t& value) {
    if (cursor + 1 < end && *cursor == '+' && *(cursor + 1) != '-') ++cursor;
    double number = 0.0;
    auto [after, status] = std::from_chars(cursor, end, number);
    if (cursor == end || (status != std::errc() && status != std::errc::result_out_of_range))
        return DsNumber::missing;
    if (status != std::errc() || !std::isfinite(number) || std::fabs(number) > 2.0e9)
        return DsNumber::out_of_range;
    value = static_cast<std::int32_t>(std::lround(number));
    cursor = after;
    return DsNumber::read;
}

constexpr std::uint64_t largest_magnitude = 2000000000;

// The whole number nearest to a plain decimal (an optional sign, digits, an
// optional point and digits, no exponent), halves away from zero, from its
// digits alone: the whole part, and one more when the first decimal is 5 or
// more. Where it is taken, that is what read_any_number gives through a
// double: with at most 6 decimals, or below 1 with at most 16, a number that
// is not a half lies at least 10^-6 (10^-16) from one, farther than a
// double's rounding reaches there (2^-23 below 2^31, 2^-55 below 0.5). False,
// with the cursor where it was, for any other text (an exponent, more
// decimals, a whole part of 2e9 or more), which read_any_number reads. The
// text ends in a NUL (std::string's own), which is no digit, point or sign,
// so the scan needs no test for the end.
bool read_plain_decimal(const char*& cursor, const char* end, std::int32_t& value) {
    const char* at = cursor;
    // The sign, taken by value rather than by a branch the processor would guess.
    const bool negative = *at == '-';
    at += *at == '-' || *at == '+' ? 1 : 0;
    const char* const first_digit = at;
    std::uint64_t whole = 0;
    for (; is_digit(*at); ++at) whole = whole * 10 + static_cast<unsigned>(*at - '0');
    const auto whole_digits = at - first_digit;
    if (whole_digits == 0 || whole_digits > 10 || whole >= largest_magnitude) return false;
    bool round_up = false;
    if (*at == '.') {
        const char* const first_decimal = ++at;
        round_up = is_digit(*at) && *at >= '5';
        at = past_digits(at, end);
        const auto decimals = at - first_decimal;
        if (decimals > 16 || (decimals > 6 && whole != 0)) return false;
    }
    if (*at == 'e' || *at == 'E') return false;
    const auto magnitude = static_cast<std::int32_t>(whole + (round_up ? 1 : 0));
    value = negative ? -magnitude : magnitude;
    cursor = at;
    return true;
}

}  // namespace

bool read_ds_text(const std::string& text, Array2<std::int32_t, averaged_rows, lead_count>& matrix,
                  std::string& reason) {
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    for (int k = 1; k <= averaged_rows; ++k) {
        for (int l = 1; l <= lead_count; ++l) {
            skip_blanks(cursor, end);
            if (read_plain_decimal(cursor, end, matrix(k, l))) continue;
            const DsNumber outcome = read_any_number(cursor, end, matrix(k, l));
            if (outcome == DsNumber::missing) {
                reason = message("record {1} holds {2} of its 64 numbers",
                                 {std::to_string(k), std::to_string(l - 1)});
                return false;
            }
            if (outcome == DsNumber::out_of_range) {
                reason = message("record {1} holds a value out of range", {std::to_string(k)});
                return false;
            }
        }
    }
    return true;
}

std::string se_file_text(const Array1<std::int32_t, fiducial_count>& marks) {
    const int order[fiducial_count] = {2, 1, 3, 4};  // Q onset, stimulus, J point, T end
    std::string text;
    for (int mark : order) {
        char field[32];
        int written = std::snprintf(field, sizeof field, "%*d", se_column_width,
                                    static_cast<int>(marks(mark)));
        if (written > se_column_width) return {};
        text += field;
    }
    return text + '\n';
}

bool read_se_text(const std::string& text, AriWork& work, std::string& reason) {
    if (text.empty()) {
        reason = message("the file holds no record");
        return false;
    }
    std::string_view record(text);
    record = record.substr(0, record.find('\n'));
    std::int32_t* targets[fiducial_count] = {&work.reference_point, &work.second_value,
                                             &work.j_point, &work.t_end};
    for (int field = 0; field < fiducial_count; ++field) {
        std::string_view columns =
            field * se_column_width < static_cast<int>(record.size())
                ? record.substr(static_cast<std::size_t>(field * se_column_width), se_column_width)
                : std::string_view();
        std::optional<std::int32_t> value = read_integer_field(columns, se_column_width);
        if (!value) {
            reason = message("columns {1} to {2} hold no whole number",
                             {std::to_string(field * se_column_width + 1),
                              std::to_string((field + 1) * se_column_width)});
            return false;
        }
        *targets[field] = *value;
    }
    return true;
}

}  // namespace mapari
