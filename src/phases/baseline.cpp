#include "phases/baseline.hpp"

#include <string>
#include <utility>

#include "beats/baseline.hpp"
#include "beats/marks.hpp"
#include "dialogue/answer_forms.hpp"
#include "dialogue/ask.hpp"
#include "formats/free_form.hpp"
#include "formats/messages.hpp"
#include "phases/beat_drawing.hpp"
#include "phases/plot.hpp"

namespace mapari {
namespace {

// A clicked reference row, with its marker line drawn.
std::int32_t click_reference_row(Store& store, Runtime& runtime, const char* prompt) {
    runtime.write_line(Channel::trace, message(prompt));
    float x = wait_click(runtime);
    draw_marker(runtime, x, store.display.correction_top, store.display.correction_bottom);
    return beat_row_at(x, store.display, store.beat);
}

bool confirmed(Store& store, Runtime& runtime, const char* prompt) {
    store.answers.letter = ask_letter(runtime, Channel::trace, message(prompt));
    return !is_letter(store.answers.letter, 'n');
}

void refuse_row(Runtime& runtime, std::int32_t row) {
    runtime.write_line(
        Channel::trace,
        message("Sample {1} is outside the beat (1 to 1024); click again.", {std::to_string(row)}));
}

}  // namespace

void correct_one_point(Store& store, Runtime& runtime) {
    std::int32_t i1 = 0;
    for (;;) {
        i1 = click_reference_row(store, runtime, translatable("補正基準点をClick!"));
        if (!confirmed(store, runtime, translatable("これでいいですか? <y/n>"))) continue;
        if (is_beat_row(i1)) break;
        refuse_row(runtime, i1);
    }
    runtime.write_line(Channel::text, "itzr1" + free_form(i1));
    subtract_one_point_baseline(store.beat, i1);
    redraw_working_beat(store, runtime);
}

void correct_two_points(Store& store, Runtime& runtime) {
    std::int32_t i1 = 0, i2 = 0;
    for (;;) {
        i1 = click_reference_row(store, runtime, translatable("補正基準点の一点をClick ! "));
        i2 = click_reference_row(store, runtime, translatable("もう一点をClick! "));
        if (!confirmed(store, runtime, translatable("これでいいですか? <y/n> "))) continue;
        if (i2 <= i1) std::swap(i1, i2);
        if (!is_beat_row(i1)) {
            refuse_row(runtime, i1);
        } else if (!is_beat_row(i2)) {
            refuse_row(runtime, i2);
        } else if (i1 == i2) {
            runtime.write_line(
                Channel::trace,
                message("Both points are sample {1}; a line needs two samples. Click again.",
                        {std::to_string(i1)}));
        } else {
            break;
        }
    }
    runtime.write_line(Channel::text, "itzr" + free_form(i1) + free_form(i2));
    subtract_two_point_baseline(store.beat, i1, i2);
    redraw_working_beat(store, runtime);
}

}  // namespace mapari
