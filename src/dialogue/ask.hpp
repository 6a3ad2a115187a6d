// Questions: a prompt line, then an answer read in one of the answer forms.
// An answer that cannot be read as the number the question expects gets a
// short message and the same question again, so a typo never loses work.
#pragma once

#include <cstdint>
#include <string_view>

#include "dialogue/answer_forms.hpp"
#include "window/runtime.hpp"

namespace mapari {

// Writes the prompt and reads a free integer; lines holding no value are passed over.
std::int32_t ask_free_integer(Runtime& runtime, Channel channel, std::string_view prompt);
// Writes the prompt and reads a free real; lines holding no value are passed over.
float ask_free_real(Runtime& runtime, Channel channel, std::string_view prompt);
// Writes the prompt and reads an integer field of the given width.
std::int32_t ask_integer_field(Runtime& runtime, Channel channel, std::string_view prompt,
                               int width);
// Writes the prompt and reads a real field, hundredths when typed without a point.
float ask_real_field(Runtime& runtime, Channel channel, std::string_view prompt, int width,
                     int implied_decimals);
// Writes the prompt and reads a letter answer; lines holding no value are passed over.
TextField<10> ask_letter(Runtime& runtime, Channel channel, std::string_view prompt);

// A yes-one question counts only 1 as yes.
constexpr bool is_yes_one(std::int32_t answer) {
    return answer == 1;
}
// A yes-nonzero question counts only 0 as no.
constexpr bool is_yes_nonzero(std::int32_t answer) {
    return answer != 0;
}

}  // namespace mapari
