// The trace window's drawing: 1000 pixel columns across and 300 pixel rows
// down, and the one mapping between a window position (a 32-bit fraction of
// the drawing, 0 to 1 from the left and from the top) and its pixels, both
// ways, for drawing and picking alike.
#pragma once

#include <cmath>
#include <cstdint>

namespace mapari {

inline constexpr int drawing_width_pixels = 1000;
inline constexpr int drawing_height_pixels = 300;

// The low 16 bits of a product cut toward zero; 0 when it is not finite or
// too large for 64 bits.
inline std::int16_t low_16_bits(double product) {
    if (!std::isfinite(product) || std::fabs(product) >= 9.0e18) return 0;
    auto whole = static_cast<std::int64_t>(product);  // cut toward zero
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(whole & 0xFFFF));
}

// fraction × 1000 (or × 300), formed exactly, cut toward zero; only the low
// 16 bits of the whole number are kept, as the runtime takes 16-bit pixels.
// Inline: every point of every polyline drawn goes through them.
inline std::int16_t pixel_column(float x_fraction) {
    return low_16_bits(static_cast<double>(x_fraction) * drawing_width_pixels);
}
inline std::int16_t pixel_row(float y_fraction) {
    return low_16_bits(static_cast<double>(y_fraction) * drawing_height_pixels);
}

// The horizontal position of a clicked column: column × 0.001 in 32 bits
// (1 / 1000 rounded to a float is the float nearest 0.001).
inline float column_fraction(int column_pixel) {
    return static_cast<float>(column_pixel) * (1.0f / drawing_width_pixels);
}
// Its inverse: the first column whose position is x_fraction (finite) or
// right of it; drawing_width_pixels when no column of the drawing is.
int first_column_at_or_right_of(float x_fraction);

}  // namespace mapari
