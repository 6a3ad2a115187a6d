#include "beats/selection.hpp"

#include <cstdlib>

#include "beats/beat_drawing.hpp"
#include "dialogue/ask.hpp"
#include "dialogue/free_form.hpp"
#include "display/plot.hpp"

namespace mapari {
namespace {

constexpr std::int32_t no_beat_closer_than = 4000;
constexpr int window_rows_before_beat = 200;

}  // namespace

std::int32_t click_sample(float x_fraction, const Display& display) {
    return static_cast<std::int32_t>((x_fraction - display.left_edge) /
                                     display.horizontal_scale_per_sample);
}

std::int32_t nearest_beat(const Display& display, std::int32_t sample, std::int32_t previous) {
    std::int32_t best_distance = no_beat_closer_than;
    std::int32_t nearest = previous;
    for (int s = 1; s <= beat_slots; ++s) {
        std::int32_t distance = std::abs(display.sorted_beats(s) - sample);
        if (distance < best_distance) {
            best_distance = distance;
            nearest = display.sorted_beats(s);
        }
    }
    return nearest;
}

Point select_waveform(Store& store, Runtime& runtime) {
    Display& display = store.display;
    runtime.write_line(Channel::trace, "選択する波形の線の近くをClick");
    float x = wait_click(runtime);
    draw_marker(runtime, x, display.marker_top, display.marker_bottom);
    store.answers.letter = ask_letter(runtime, Channel::trace, "これでいいですか? <y/n>");
    if (is_letter(store.answers.letter, 'n')) return Point::display;
    std::int32_t& position = store.beat.selected_position;
    position = nearest_beat(display, click_sample(x, display), position);
    if (position < first_selectable_ms || position > last_selectable_ms) {
        runtime.write_line(Channel::trace, "エラー、200から3000msecの範囲にしてください。");
        return Point::display;
    }
    runtime.write_line(Channel::text, "選択した点（msec）" + free_form(position));
    take_selected_beat(store, runtime);
    return Point::correction_menu;
}

void take_selected_beat(Store& store, Runtime& runtime) {
    const std::int32_t q = store.beat.selected_position;
    const std::int32_t window_start = q - window_rows_before_beat;
    const auto& samples = store.recording.samples;
    Beat& beat = store.beat;
    runtime.clear_window();
    runtime.write_line(Channel::text, "selected time" + free_form(window_start));
    for (int i = 1; i <= beat_window_rows; ++i)
        for (int j = 1; j <= display_lead_count; ++j)
            beat.selected_traces(i, j) = samples(store.settings.lead_channel(j), window_start + i);
    beat.averaged_step = beat_step(store.display);
    for (int j = 1; j <= display_lead_count; ++j)
        draw_beat_column(store, runtime, beat.selected_traces.column(j));
    for (int i = 1; i <= beat_window_rows; ++i)
        for (int l = 1; l <= lead_count; ++l)
            beat.averaged(i, l) = samples(Store::lead_channel_of(l), window_start + i - 1);
    beat.template_channel = store.settings.lead_channel(1);
    for (int i = 1; i <= template_length; ++i)
        beat.template_samples(i) = samples(beat.template_channel, q - template_half_width - 1 + i);
    runtime.write_line(Channel::text, "temp set");
}

}  // namespace mapari
