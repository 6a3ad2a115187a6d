// The forms in which the operator's answer lines and the numbers of result
// and layout files are read.
//
// - Free values: the first value on the line; values are separated by blanks
//   or commas, and a line holding no value is passed over (the reader takes
//   the next line).
// - Fixed fields: only the first w characters count, a shorter line being
//   padded with blanks; blanks inside a number field are ignored and an
//   all-blank field is 0. The real field without a decimal point is read in
//   hundredths ("99" is 0.99).
// - Texts of a fixed width: the characters as typed, blank-padded.
//
// Each reader returns nothing when the text cannot be read as the number it
// must be; the caller then says so and asks again.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "store/arrays.hpp"

namespace mapari {

// The text without the characters of `blanks` at either end.
inline std::string_view trimmed(std::string_view text, std::string_view blanks = " \t\r\n") {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The first value of a free-form line, or nothing when the line holds none.
std::optional<std::string_view> first_free_value(std::string_view line);

// A whole number written with an optional sign, as a free value holds it.
std::optional<std::int32_t> read_whole_number(std::string_view value);
// A real number: sign, digits with an optional point, optional exponent (E or D).
std::optional<float> read_real_number(std::string_view value);

// An integer field of the given width.
std::optional<std::int32_t> read_integer_field(std::string_view line, int width);
// A real field of the given width; without a decimal point the digits count
// in units of 10^-implied_decimals.
std::optional<float> read_real_field(std::string_view line, int width, int implied_decimals);

// The first `Width` bytes of the line, blank-padded. A character of several
// bytes that the cut would split is left out whole, so the text stays valid.
template <std::size_t Width>
TextField<Width> read_text_field(std::string_view line);

// The length of the longest start of text of at most max_bytes bytes that
// ends between two whole UTF-8 characters.
std::size_t utf8_safe_cut(std::string_view text, std::size_t max_bytes);

// ---- implementation of the template ----

template <std::size_t Width>
TextField<Width> read_text_field(std::string_view line) {
    TextField<Width> field;
    field.assign(line.substr(0, utf8_safe_cut(line, Width)));
    return field;
}

}  // namespace mapari
