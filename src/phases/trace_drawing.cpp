#include "phases/trace_drawing.hpp"

#include <string>

#include "beats/detection.hpp"
#include "formats/free_form.hpp"
#include "phases/plot.hpp"

namespace mapari {
namespace {

constexpr float lowest_drawn = 0.001f;
constexpr float highest_drawn = 0.999f;

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

bool prepare_display(Store& store, Runtime& runtime) {
    Display& display = store.display;
    form_traces(store.settings, store.recording, display);
    display.potmax = find_potmax(display);
    runtime.write_line(Channel::trace, "point 1");
    form_slope(display);
    runtime.write_line(Channel::trace, "point 2");
    find_beats(display, display_last_candidate);
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
    sort_beats(display);
    for (int s = 1; s < beat_slots && display.sorted_beats(s) != 0; ++s) {
        float x = display.horizontal_scale_per_sample * display.sorted_beats(s) + display.left_edge;
        draw_marker(runtime, x, display.marker_top, display.marker_bottom);
    }
}

}  // namespace mapari
