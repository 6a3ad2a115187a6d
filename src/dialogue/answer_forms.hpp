// Letter answers: the first free value of the line as a text of 10
// characters, blank-padded, compared whole. Numbers and texts are read in the
// forms of formats/fields.hpp.
#pragma once

#include <optional>
#include <string_view>

#include "formats/fields.hpp"

namespace mapari {

// The letter answer: the first free value cut or padded to 10 characters;
// a line holding no value gives nothing (the reader takes the next line).
std::optional<TextField<10>> read_letter_answer(std::string_view line);

// Whether a letter answer is exactly the one letter in lower or upper case.
bool is_letter(const TextField<10>& answer, char lower_case_letter);

}  // namespace mapari
