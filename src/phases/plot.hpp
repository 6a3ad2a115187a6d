// Plot primitives: the only drawing and picking operations the analysis uses,
// at window positions turned into drawing pixels and clicked columns turned
// back into positions by the drawing's one mapping (window/drawing_pixels.hpp).
#pragma once

#include <cstdint>

#include "window/drawing_pixels.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr std::uint32_t trace_colour = rgb(0, 0, 240);                  // blue
inline constexpr std::uint32_t marker_colour = rgb(0, 255, 255);               // cyan
inline constexpr int click_event_mask = left_button_down + right_button_down;  // 9
inline constexpr float right_click_fraction = 0.5f;

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
