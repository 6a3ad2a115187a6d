#include "phases/view_menu.hpp"

#include "dialogue/answer_forms.hpp"
#include "dialogue/ask.hpp"
#include "formats/messages.hpp"
#include "phases/trace_drawing.hpp"

namespace mapari {

Point display_and_view_menu(Store& store, Runtime& runtime) {
    draw_recording(store, runtime);
    store.answers.letter = ask_letter(runtime, Channel::trace, message(view_menu_prompt));
    const TextField<10>& answer = store.answers.letter;
    if (is_letter(answer, 's')) return Point::waveform_selection;
    if (is_letter(answer, 'b')) return Point::signal_averaging;
    if (is_letter(answer, 'd') || is_letter(answer, 'o')) {
        runtime.close_trace_window();
        return Point::reading;
    }
    if (is_letter(answer, 'x')) return Point::end_of_recording;
    return Point::display;
}

}  // namespace mapari
