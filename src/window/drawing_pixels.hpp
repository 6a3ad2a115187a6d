// The trace window's drawing: 1000 pixel columns across and 300 pixel rows
// down, and the one mapping between a window position (a 32-bit fraction of
// the drawing, 0 to 1 from the left and from the top) and its pixels, both
// ways, for drawing and picking alike.
#pragma once

#include <cstdint>

namespace mapari {

inline constexpr int drawing_width_pixels = 1000;
inline constexpr int drawing_height_pixels = 300;

// fraction × 1000 (or × 300), formed exactly, cut toward zero; only the low
// 16 bits of the whole number are kept, as the runtime takes 16-bit pixels.
std::int16_t pixel_column(float x_fraction);
std::int16_t pixel_row(float y_fraction);

// The horizontal position of a clicked column: column × 0.001 in 32 bits.
float column_fraction(int column_pixel);
// Its inverse: the first column whose position is x_fraction (finite) or
// right of it; drawing_width_pixels when no column of the drawing is.
int first_column_at_or_right_of(float x_fraction);

}  // namespace mapari
