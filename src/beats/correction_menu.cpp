#include "beats/correction_menu.hpp"

#include "dialogue/ask.hpp"

namespace mapari {

Point correction_menu(Store& store, Runtime& runtime) {
    store.answers.letter = ask_letter(runtime, Channel::trace, correction_menu_prompt);
    const TextField<10>& answer = store.answers.letter;
    if (is_letter(answer, 'd') || is_letter(answer, 's') || is_letter(answer, 'z') ||
        is_letter(answer, 't'))
        return Point::correction_menu;
    return Point::display;
}

}  // namespace mapari
