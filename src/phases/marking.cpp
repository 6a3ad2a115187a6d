#include "phases/marking.hpp"

#include "beats/marks.hpp"
#include "dialogue/answer_forms.hpp"
#include "dialogue/ask.hpp"
#include "formats/free_form.hpp"
#include "formats/messages.hpp"
#include "phases/beat_drawing.hpp"
#include "phases/plot.hpp"

namespace mapari {
namespace {

struct MarkPrompt {
    const char* trace_prompt;
    const char* text_label;
};

constexpr MarkPrompt mark_prompts[fiducial_count] = {
    {translatable("stimulus artifactをClick ! "), translatable("artifact point! ")},
    {translatable("Q　開始点をClick !  "), translatable("Q開始点 ")},
    {translatable("J 点をClick! "), translatable("J 点! ")},
    {translatable("T 終点をClick! "), translatable("T 終点! ")},
};

}  // namespace

void mark_fiducial_points(Store& store, Runtime& runtime) {
    for (int mark = 1; mark <= fiducial_count; ++mark) {
        runtime.write_line(Channel::trace, message(mark_prompts[mark - 1].trace_prompt));
        runtime.write_line(Channel::text, message(mark_prompts[mark - 1].text_label));
        float x = wait_click(runtime);
        draw_marker(runtime, x, store.display.marker_top, store.display.marker_bottom);
        store.beat.fiducial_marks(mark) = beat_row_at(x, store.display, store.beat);
        runtime.write_line(Channel::text, free_form(store.beat.fiducial_marks(mark)));
    }
    store.answers.letter = ask_letter(runtime, Channel::trace, message("これでいいですか? <y/n>"));
    // The marks stand either way; the answer only decides whether the lines are cleaned away.
    if (!is_letter(store.answers.letter, 'n')) redraw_working_beat(store, runtime);
}

}  // namespace mapari
