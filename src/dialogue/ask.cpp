#include "dialogue/ask.hpp"

#include <optional>
#include <string>

#include "formats/messages.hpp"

namespace mapari {
namespace {

void refuse(Runtime& runtime, Channel channel, std::string_view prompt, std::string_view typed,
            const char* expected) {
    runtime.write_line(channel, message("Cannot read \"{1}\" as {2}; please answer again.",
                                        {typed, message(expected)}));
    runtime.write_line(channel, prompt);
}

// Reads lines until one holds a free value that `read` accepts.
template <typename Read>
auto ask_free_value(Runtime& runtime, Channel channel, std::string_view prompt,
                    const char* expected, Read read) {
    runtime.write_line(channel, prompt);
    for (;;) {
        std::string line = runtime.read_line(channel);
        std::optional<std::string_view> value = first_free_value(line);
        if (!value) continue;
        if (auto number = read(*value)) return *number;
        refuse(runtime, channel, prompt, *value, expected);
    }
}

template <typename Read>
auto ask_field(Runtime& runtime, Channel channel, std::string_view prompt, const char* expected,
               Read read) {
    runtime.write_line(channel, prompt);
    for (;;) {
        std::string line = runtime.read_line(channel);
        if (auto number = read(line)) return *number;
        refuse(runtime, channel, prompt, line, expected);
    }
}

}  // namespace

std::int32_t ask_free_integer(Runtime& runtime, Channel channel, std::string_view prompt) {
    return ask_free_value(runtime, channel, prompt, translatable("a whole number"),
                          read_whole_number);
}

float ask_free_real(Runtime& runtime, Channel channel, std::string_view prompt) {
    return ask_free_value(runtime, channel, prompt, translatable("a number"), read_real_number);
}

std::int32_t ask_integer_field(Runtime& runtime, Channel channel, std::string_view prompt,
                               int width) {
    return ask_field(runtime, channel, prompt, translatable("a whole number"),
                     [width](std::string_view line) { return read_integer_field(line, width); });
}

float ask_real_field(Runtime& runtime, Channel channel, std::string_view prompt, int width,
                     int implied_decimals) {
    return ask_field(
        runtime, channel, prompt, translatable("a number"),
        [=](std::string_view line) { return read_real_field(line, width, implied_decimals); });
}

TextField<10> ask_letter(Runtime& runtime, Channel channel, std::string_view prompt) {
    runtime.write_line(channel, prompt);
    for (;;) {
        if (auto answer = read_letter_answer(runtime.read_line(channel))) return *answer;
    }
}

}  // namespace mapari
