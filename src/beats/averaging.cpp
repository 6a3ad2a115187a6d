#include "beats/averaging.hpp"

#include "beats/beat_drawing.hpp"
#include "beats/selection.hpp"
#include "dialogue/free_form.hpp"
#include "display/plot.hpp"
#include "display/trace_display.hpp"

namespace mapari {
namespace {

int count_found_beats(const Display& display) {
    int count = 0;
    while (count < beat_slots && display.sorted_beats(count + 1) != 0) ++count;
    return count;
}

void add_beat(Store& store, std::int32_t q) {
    Beat& beat = store.beat;
    ++beat.averaging_count;
    for (int l = 1; l <= lead_count; ++l) {
        const int channel = Store::lead_channel_of(l);
        for (int i = 1; i <= averaged_rows; ++i)
            beat.averaged(i, l) += store.recording.samples(channel, q - first_averaged_ms + i);
    }
}

void divide_by_count(Beat& beat) {
    if (beat.averaging_count == 0) return;
    const float count = static_cast<float>(beat.averaging_count);
    for (float& value : beat.averaged.values) value /= count;
}

}  // namespace

std::int32_t align_beat(Store& store, std::int32_t p) {
    Beat& beat = store.beat;
    float best_coefficient = 0.0f;
    // With a coefficient of 0 or below, a beat no shift lifts above 0 is taken as it lies.
    int best_shift = 0;
    for (int s = -largest_shift_samples; s <= largest_shift_samples; ++s) {
        for (int i = 1; i <= template_length; ++i)
            beat.candidate(i) =
                store.recording.samples(beat.template_channel, p + s - template_half_width - 1 + i);
        float r = sequence_correlation(beat.template_samples.data(), beat.candidate.data(),
                                       template_length);
        if (r > best_coefficient) {
            best_coefficient = r;
            best_shift = s;
        }
    }
    if (best_coefficient >= store.settings.recognition_coefficient) return p + best_shift;
    return 0;
}

void run_averaging_pass(Store& store, Runtime& runtime, int pass_second) {
    Display& display = store.display;
    runtime.write_line(Channel::text, "nn" + free_form(static_cast<std::int32_t>(pass_second)));
    detect_beats(store, averaging_last_candidate);
    sort_beats(store);
    const int found = count_found_beats(display);
    for (int s = 1; s <= found; ++s)
        display.sorted_beats(s) =
            static_cast<std::int16_t>(align_beat(store, display.sorted_beats(s)));
    for (int s = 1; s <= found; ++s) {
        const std::int32_t q = display.sorted_beats(s);
        // A beat at 200 would need sample 0 for its first row; it is left out.
        if (q >= first_averaged_ms && q <= last_averaged_ms) add_beat(store, q);
    }
}

Point average_beats(Store& store, Runtime& runtime) {
    Beat& beat = store.beat;
    if (beat.template_channel == 0) {
        runtime.write_line(Channel::trace,
                           "No template yet: select a beat (s) before averaging (b).");
        return Point::display;
    }
    runtime.write_line(Channel::trace, "加算平均の計算中です。");
    beat.averaged.fill(0.0f);
    beat.averaging_count = 0;
    for (int pass = 0; pass < averaging_passes; ++pass)
        run_averaging_pass(store, runtime, pass * seconds_per_pass);
    runtime.write_line(Channel::text, "number of averaging:" + free_form(beat.averaging_count));
    divide_by_count(beat);
    runtime.write_line(Channel::trace, "disp");
    runtime.clear_window();
    beat.averaged_step = beat_step(store.display);
    draw_averaged_beat(store, runtime);
    return Point::correction_menu;
}

}  // namespace mapari
