#include "beats/beat_drawing.hpp"

#include "display/plot.hpp"
#include "display/trace_display.hpp"

namespace mapari {

float beat_step(const Display& display) {
    return (display.right_edge - display.left_edge) / static_cast<float>(beat_window_rows);
}

void draw_beat_column(Store& store, Runtime& runtime, const float* column) {
    Display& display = store.display;
    for (int i = 1; i <= beat_window_rows; ++i) {
        display.plot_x_fraction(i) =
            store.beat.averaged_step * display.time_axis_ms(i) + display.left_edge;
        display.plot_y_fraction(i) = held_vertical(column[i - 1], display);
    }
    trace_polyline(runtime, beat_window_rows, display.plot_x_fraction.data(),
                   display.plot_y_fraction.data());
}

void draw_averaged_beat(Store& store, Runtime& runtime) {
    for (int j = 1; j <= display_lead_count; ++j) {
        int lead = store.settings.lead_channel(j) - first_lead_channel_offset;
        draw_beat_column(store, runtime,
                         store.beat.averaged.column(static_cast<std::size_t>(lead)));
    }
}

}  // namespace mapari
