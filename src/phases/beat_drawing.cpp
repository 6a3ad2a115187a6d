#include "phases/beat_drawing.hpp"

#include "beats/selection.hpp"
#include "formats/map_recording.hpp"
#include "phases/plot.hpp"
#include "phases/trace_drawing.hpp"

namespace mapari {

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
        int lead = lead_of_channel(store.settings.lead_channel(j));
        draw_beat_column(store, runtime, store.beat.averaged.column(lead));
    }
}

void redraw_working_beat(Store& store, Runtime& runtime) {
    runtime.clear_window();
    draw_averaged_beat(store, runtime);
}

}  // namespace mapari
