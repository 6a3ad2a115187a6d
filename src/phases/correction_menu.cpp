#include "phases/correction_menu.hpp"

#include "dialogue/answer_forms.hpp"
#include "dialogue/ask.hpp"
#include "formats/messages.hpp"
#include "phases/baseline.hpp"
#include "phases/marking.hpp"
#include "phases/save.hpp"

namespace mapari {

Point correction_menu(Store& store, Runtime& runtime) {
    store.answers.letter = ask_letter(runtime, Channel::trace, message(correction_menu_prompt));
    const TextField<10>& answer = store.answers.letter;
    if (is_letter(answer, 'd')) {
        save_results(store, runtime);
    } else if (is_letter(answer, 'z')) {
        correct_one_point(store, runtime);
    } else if (is_letter(answer, 't')) {
        correct_two_points(store, runtime);
    } else if (is_letter(answer, 's')) {
        mark_fiducial_points(store, runtime);
    } else {
        return Point::display;
    }
    return Point::correction_menu;
}

}  // namespace mapari
