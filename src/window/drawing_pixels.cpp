#include "window/drawing_pixels.hpp"

#include <algorithm>
#include <cmath>

namespace mapari {
namespace {

// 1 / 1000 rounded to a float is the float nearest 0.001.
constexpr float fraction_per_column = 1.0f / drawing_width_pixels;

std::int16_t low_16_bits(double product) {
    if (!std::isfinite(product) || std::fabs(product) >= 9.0e18) return 0;
    auto whole = static_cast<std::int64_t>(product);  // cut toward zero
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(whole & 0xFFFF));
}

}  // namespace

std::int16_t pixel_column(float x_fraction) {
    return low_16_bits(static_cast<double>(x_fraction) * drawing_width_pixels);
}

std::int16_t pixel_row(float y_fraction) {
    return low_16_bits(static_cast<double>(y_fraction) * drawing_height_pixels);
}

float column_fraction(int column_pixel) {
    return static_cast<float>(column_pixel) * fraction_per_column;
}

int first_column_at_or_right_of(float x_fraction) {
    const double estimate = std::ceil(static_cast<double>(x_fraction) * drawing_width_pixels);
    int column = static_cast<int>(std::clamp(estimate, 0.0, double{drawing_width_pixels}));
    // column × 0.001f is rounded, so the estimate may be a column off either way.
    while (column > 0 && column_fraction(column - 1) >= x_fraction) --column;
    while (column < drawing_width_pixels && column_fraction(column) < x_fraction) ++column;
    return column;
}

}  // namespace mapari
