#include "formats/quoted.hpp"

#include <cstdio>

namespace mapari {

std::string quoted_word(std::string_view word) {
    constexpr std::size_t longest_shown = 24;
    std::string text = "\"";
    for (char c : word.substr(0, longest_shown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text + (word.size() > longest_shown ? "…\"" : "\"");
}

std::string in_quotes(std::string_view text) {
    std::string quoted = "\"";
    quoted.append(text);
    return quoted + "\"";
}

std::string joined_numbers(const std::vector<int>& numbers, std::string_view separator) {
    std::string text;
    for (int number : numbers) {
        if (!text.empty()) text += separator;
        text += std::to_string(number);
    }
    return text;
}

}  // namespace mapari
