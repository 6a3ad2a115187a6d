#include "dialogue/answer_forms.hpp"

#include <cctype>

namespace mapari {

std::optional<TextField<10>> read_letter_answer(std::string_view line) {
    std::optional<std::string_view> value = first_free_value(line);
    if (!value) return std::nullopt;
    TextField<10> answer;
    answer.assign(*value);
    return answer;
}

bool is_letter(const TextField<10>& answer, char lower_case_letter) {
    TextField<10> lower, upper;
    lower.assign(std::string_view(&lower_case_letter, 1));
    char capital = static_cast<char>(std::toupper(static_cast<unsigned char>(lower_case_letter)));
    upper.assign(std::string_view(&capital, 1));
    return answer.chars == lower.chars || answer.chars == upper.chars;
}

}  // namespace mapari
