// The free form in which values are written on dialogue lines and in the
// result files: an integer right-aligned in 12 characters; a 32-bit real in
// 15 characters with 7 significant digits, G style.
//
// G style: a value whose decimal exponent k (10^(k-1) <= |x| < 10^k after
// rounding to 7 digits) lies from 0 to 7 is written in plain notation with
// 7 - k decimals, right-aligned in 11 characters and followed by 4 blanks
// ("  0.9900000    ", "   1234.500    "); zero is "   0.000000    "; any
// other value is written as a mantissa 0.ddddddd with a signed two-digit
// exponent, right-aligned in 15 characters ("  0.1234568E-01").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace mapari {

inline constexpr int free_integer_width = 12;
inline constexpr int free_real_width = 15;

std::string free_form(std::int32_t value);
std::string free_form(float value);
// The same 15 characters written at out, for writers of many values.
void write_free_form(float value, char* out);
// The whole number nearest to the value as its free form writes it, halves
// away from zero: what a reader of the text that rounds so takes from it, got
// from the value's 7 significant digits without the text. None for a value
// not finite or of 10^7 or more after rounding, whose text a reader may refuse.
std::optional<std::int32_t> whole_number_as_written(float value);
// The same for count values at once, into wholes; false at the first value
// that has none (the wholes before it written).
bool whole_numbers_as_written(const float* values, std::size_t count, std::int32_t* wholes);

inline constexpr int values_per_line = 5;

// Free-form records, as the result files hold them: values in their free
// form, at most 5 a line; each record begins on a new line.
class FreeFormWriter {
  public:
    // Room for the given number of characters, so a large file is built without copies.
    void reserve(std::size_t characters) { text_.reserve(characters); }
    void add(std::int32_t value);
    void add(float value);
    // The values one after another, as add gives them, and the end of the record.
    void add_record(const float* values, std::size_t count);
    // Ends the record in hand: the next value begins a new line.
    void end_record();
    // All records written; the writer is empty again afterwards.
    std::string take();

  private:
    char* next_field(std::size_t width);
    std::string text_;
    int on_line_ = 0;
};

}  // namespace mapari
