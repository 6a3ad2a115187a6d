// Plot primitives: the only drawing and picking operations the analysis uses.
//
// A window position is a 32-bit fraction of the trace window's drawing area,
// 0 to 1 from the left and from the top. One conversion turns positions into
// drawing pixels (1000 across, 300 down) and clicked columns back into
// positions, for drawing and picking alike.
#pragma once

#include <cstdint>

#include "window/runtime.hpp"

namespace mapari {

inline constexpr std::uint32_t trace_colour = rgb(0, 0, 240);                  // blue
inline constexpr std::uint32_t marker_colour = rgb(0, 255, 255);               // cyan
inline constexpr int click_event_mask = left_button_down + right_button_down;  // 9
inline constexpr float right_click_fraction = 0.5f;

// fraction × 1000 (or × 300), formed exactly, cut toward zero; only the low
// 16 bits of the whole number are kept, as the runtime takes 16-bit pixels.
std::int16_t pixel_column(float fraction);
std::int16_t pixel_row(float fraction);
// The horizontal position of a clicked column: column × 0.001 in 32 bits.
float column_fraction(int column_pixel);

// Draws the n points (1-based arrays) as one polyline in the trace colour, or
// in the marker colour. The colour stays set afterwards.
void trace_polyline(Runtime& runtime, int n, const float* x_fractions, const float* y_fractions);
void marker_polyline(Runtime& runtime, int n, const float* x_fractions, const float* y_fractions);

// A vertical marker line at horizontal position x, from y_top to y_bottom.
void draw_marker(Runtime& runtime, float x, float y_top, float y_bottom);

// Waits for a left or right click under the cross-hair cursor and returns
// its horizontal position; a right click (or a failed wait) gives 0.5.
float wait_click(Runtime& runtime);

}  // namespace mapari
