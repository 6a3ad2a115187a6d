#include "phases/plot.hpp"

#include <cmath>

namespace mapari {
namespace {

constexpr double pixels_across = 1000.0;
constexpr double pixels_down = 300.0;
constexpr float fraction_per_column = 0.001f;

std::int16_t low_16_bits(double product) {
    if (!std::isfinite(product) || std::fabs(product) >= 9.0e18) return 0;
    auto whole = static_cast<std::int64_t>(product);  // cut toward zero
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(whole & 0xFFFF));
}

void polyline(Runtime& runtime, std::uint32_t colour, int n, const float* x_fractions,
              const float* y_fractions) {
    runtime.set_drawing_colour(colour);
    runtime.move_to(pixel_column(x_fractions[0]), pixel_row(y_fractions[0]));
    for (int i = 0; i < n; ++i)
        runtime.line_to(pixel_column(x_fractions[i]), pixel_row(y_fractions[i]));
}

}  // namespace

std::int16_t pixel_column(float fraction) {
    return low_16_bits(static_cast<double>(fraction) * pixels_across);
}

std::int16_t pixel_row(float fraction) {
    return low_16_bits(static_cast<double>(fraction) * pixels_down);
}

float column_fraction(int column_pixel) {
    return static_cast<float>(column_pixel) * fraction_per_column;
}

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
