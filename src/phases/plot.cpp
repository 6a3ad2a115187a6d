#include "phases/plot.hpp"

namespace mapari {
namespace {

void polyline(Runtime& runtime, std::uint32_t colour, int n, const float* x_fractions,
              const float* y_fractions) {
    runtime.set_drawing_colour(colour);
    runtime.move_to(pixel_column(x_fractions[0]), pixel_row(y_fractions[0]));
    for (int i = 0; i < n; ++i)
        runtime.line_to(pixel_column(x_fractions[i]), pixel_row(y_fractions[i]));
}

}  // namespace

void trace_polyline(Runtime& runtime, int n, const float* x_fractions, const float* y_fractions) {
    polyline(runtime, trace_colour, n, x_fractions, y_fractions);
}

void marker_polyline(Runtime& runtime, int n, const float* x_fractions, const float* y_fractions) {
    polyline(runtime, marker_colour, n, x_fractions, y_fractions);
}

void draw_marker(Runtime& runtime, float x, float y_top, float y_bottom) {
    const float xs[2] = {x, x};
    const float ys[2] = {y_top, y_bottom};
    marker_polyline(runtime, 2, xs, ys);
}

float wait_click(Runtime& runtime) {
    float x = right_click_fraction;
    runtime.set_cross_cursor();
    MouseEvent event = runtime.wait_mouse_event(click_event_mask);
    if (event.code == left_button_down) x = column_fraction(event.x_pixel);
    return x;
}

}  // namespace mapari
