#include "phases/selection.hpp"

#include "beats/marks.hpp"
#include "beats/selection.hpp"
#include "dialogue/answer_forms.hpp"
#include "dialogue/ask.hpp"
#include "formats/free_form.hpp"
#include "formats/messages.hpp"
#include "phases/beat_drawing.hpp"
#include "phases/plot.hpp"

namespace mapari {

void take_and_draw_beat(Store& store, Runtime& runtime) {
    Beat& beat = store.beat;
    runtime.clear_window();
    runtime.write_line(
        Channel::text,
        message("selected time{1}", {free_form(beat.selected_position - window_rows_before_beat)}));
    take_selected_beat(store.settings, store.recording, beat);
    beat.averaged_step = beat_step(store.display);
    for (int j = 1; j <= display_lead_count; ++j)
        draw_beat_column(store, runtime, beat.selected_traces.column(j));
    runtime.write_line(Channel::text, message("temp set"));
}

Point select_waveform(Store& store, Runtime& runtime) {
    Display& display = store.display;
    runtime.write_line(Channel::trace, message("選択する波形の線の近くをClick"));
    float x = wait_click(runtime);
    draw_marker(runtime, x, display.marker_top, display.marker_bottom);
    store.answers.letter = ask_letter(runtime, Channel::trace, message("これでいいですか? <y/n>"));
    if (is_letter(store.answers.letter, 'n')) return Point::display;
    std::int32_t& position = store.beat.selected_position;
    position = nearest_beat(display, click_sample(x, display), position);
    if (!is_selectable(position)) {
        runtime.write_line(Channel::trace,
                           message("エラー、200から3000msecの範囲にしてください。"));
        return Point::display;
    }
    runtime.write_line(Channel::text, message("選択した点（msec）{1}", {free_form(position)}));
    take_and_draw_beat(store, runtime);
    return Point::correction_menu;
}

}  // namespace mapari
