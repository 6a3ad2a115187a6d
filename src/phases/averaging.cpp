#include "phases/averaging.hpp"

#include "beats/averaging.hpp"
#include "beats/marks.hpp"
#include "formats/free_form.hpp"
#include "formats/messages.hpp"
#include "phases/beat_drawing.hpp"

namespace mapari {

Point average_beats(Store& store, Runtime& runtime) {
    Beat& beat = store.beat;
    if (beat.template_channel == 0) {
        runtime.write_line(Channel::trace,
                           message("No template yet: select a beat (s) before averaging (b)."));
        return Point::display;
    }
    runtime.write_line(Channel::trace, message("加算平均の計算中です。"));
    start_averaging(beat);
    find_aligned_beats(store.settings, store.recording, store.display, beat);
    for (int pass = 0; pass < averaging_passes; ++pass)
        runtime.write_line(Channel::text,
                           "nn" + free_form(static_cast<std::int32_t>(pass * seconds_per_pass)));
    sum_averaging_passes(store.recording, beat);
    runtime.write_line(Channel::text,
                       message("number of averaging:{1}", {free_form(beat.averaging_count)}));
    finish_averaging(beat);
    runtime.write_line(Channel::trace, "disp");
    runtime.clear_window();
    beat.averaged_step = beat_step(store.display);
    draw_averaged_beat(store, runtime);
    return Point::correction_menu;
}

}  // namespace mapari
