#include "display/trace_display.hpp"

#include <cmath>
#include <string>

#include "dialogue/free_form.hpp"
#include "display/plot.hpp"

namespace mapari {
namespace {

constexpr int potmax_first_sample = 100;
constexpr int potmax_last_sample = 1000;
constexpr float lowest_drawn = 0.001f;
constexpr float highest_drawn = 0.999f;

float find_potmax(const Display& display) {
    float potmax = -9999.0f;
    for (int i = potmax_first_sample; i <= potmax_last_sample; ++i)
        potmax = std::fmax(potmax, std::fabs(display.traces(i, 1)));
    return potmax;
}

// The earliest sample of the smallest slope in samples first..last.
int steepest_fall(const Display& display, int last_candidate, float& minimum) {
    int position = 0;
    minimum = no_minimum_yet;
    for (int i = first_candidate_sample; i <= last_candidate; ++i) {
        if (display.slope(i) < minimum) {
            minimum = display.slope(i);
            position = i;
        }
    }
    return position;
}

void blank_around(Display& display, int position) {
    for (int i = position - blank_before_samples; i <= position + blank_after_samples; ++i)
        if (i >= 1 && i <= samples_per_reading) display.slope(i) = 0.0f;
}

void set_display_constants(Display& display) {
    display.left_edge = 0.0f;
    display.lower_band_edge = 0.1f;
    display.right_edge = 0.6f;
    display.upper_band_edge = 0.9f;
    display.centre = (display.upper_band_edge + display.lower_band_edge) / 2.0f;
    display.marker_top = display.correction_top = 0.1f;
    display.marker_bottom = display.correction_bottom = 0.9f;
    display.horizontal_scale_per_sample =
        (display.right_edge - display.left_edge) / static_cast<float>(samples_per_reading);
    display.vertical_scale_per_unit =
        (display.upper_band_edge - display.lower_band_edge) / (display.potmax * 2.0f);
    display.marker_points = 2;
    display.correction_points = 2;
    display.beat_points = 1000;
}

}  // namespace

void form_traces(Store& store) {
    Display& display = store.display;
    for (int i = 1; i <= samples_per_reading; ++i) {
        display.time_axis_ms(i) = static_cast<float>(i);
        for (int k = 1; k <= display_lead_count; ++k)
            display.traces(i, k) = store.recording.samples(store.settings.lead_channel(k), i);
        display.magnitude(i) = display.traces(i, 1) * display.traces(i, 1) +
                               display.traces(i, 2) * display.traces(i, 2) +
                               display.traces(i, 3) * display.traces(i, 3);
        display.slope(i) = 0.0f;
    }
}

void form_slope(Store& store) {
    Display& display = store.display;
    const auto& m = display.magnitude;
    for (int i = 3; i <= samples_per_reading - 3; ++i)
        display.slope(i) = 2.0f * m(i + 1) + m(i + 2) - 2.0f * m(i - 1) - m(i - 2);
}

void find_beats(Store& store, int last_candidate) {
    Display& display = store.display;
    display.smallest_slope = no_minimum_yet;
    for (int i = 2; i <= samples_per_reading - 2; ++i)
        if (display.slope(i) < display.smallest_slope) display.smallest_slope = display.slope(i);

    display.beat_list.fill(0);
    float current_minimum = display.smallest_slope;
    for (int j = 1; j < beat_slots; ++j) {
        if (!(beat_threshold_fraction * display.smallest_slope > current_minimum)) break;
        int position = steepest_fall(display, last_candidate, current_minimum);
        // A pass that finds no slope below 9999 has no position to record.
        if (position == 0) break;
        display.beat_list(j) = static_cast<std::int16_t>(position);
        blank_around(display, position);
    }
}

void detect_beats(Store& store, int last_candidate) {
    form_traces(store);
    form_slope(store);
    find_beats(store, last_candidate);
}

void sort_beats(Store& store) {
    Display& display = store.display;
    display.work_list = display.beat_list;
    for (int s = 1; s <= beat_slots; ++s) {
        std::int16_t best = 0;
        int place = 1;
        for (int j = 1; j <= beat_slots; ++j) {
            if (display.work_list(j) >= best) {
                best = display.work_list(j);
                place = j;
            }
        }
        display.sorted_beats(s) = best;
        display.work_list(place) = 0;
    }
}

bool prepare_display(Store& store, Runtime& runtime) {
    Display& display = store.display;
    form_traces(store);
    display.potmax = find_potmax(display);
    runtime.write_line(Channel::trace, "point 1");
    form_slope(store);
    runtime.write_line(Channel::trace, "point 2");
    find_beats(store, display_last_candidate);
    if (display.potmax == 0.0f) return false;
    set_display_constants(display);
    runtime.write_line(Channel::trace,
                       std::string(store.naming.recording_path.view()) + "drawing ecg data");
    runtime.write_line(Channel::trace, free_form(display.potmax) + "potmax");
    return true;
}

float held_vertical(float value, const Display& display) {
    float y = display.vertical_scale_per_unit * value + display.centre;
    if (y <= 0.0f) y = lowest_drawn;
    if (y >= 1.0f) y = highest_drawn;
    return y;
}

void draw_recording(Store& store, Runtime& runtime) {
    Display& display = store.display;
    runtime.write_line(Channel::trace, "display");
    runtime.clear_window();
    for (int k = 1; k <= display_lead_count; ++k) {
        for (int i = 1; i <= samples_per_reading; ++i) {
            display.plot_x_fraction(i) =
                display.horizontal_scale_per_sample * display.time_axis_ms(i) + display.left_edge;
            display.plot_y_fraction(i) = held_vertical(display.traces(i, k), display);
        }
        trace_polyline(runtime, samples_per_reading, display.plot_x_fraction.data(),
                       display.plot_y_fraction.data());
    }
    sort_beats(store);
    for (int s = 1; s < beat_slots && display.sorted_beats(s) != 0; ++s) {
        float x = display.horizontal_scale_per_sample * display.sorted_beats(s) + display.left_edge;
        draw_marker(runtime, x, display.marker_top, display.marker_bottom);
    }
}

}  // namespace mapari
