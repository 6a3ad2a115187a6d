#include "window/drawing_pixels.hpp"

#include <algorithm>
#include <cmath>

namespace mapari {

int first_column_at_or_right_of(float x_fraction) {
    const double estimate = std::ceil(static_cast<double>(x_fraction) * drawing_width_pixels);
    int column = static_cast<int>(std::clamp(estimate, 0.0, double{drawing_width_pixels}));
    // column × 0.001f is rounded, so the estimate may be a column off either way.
    while (column > 0 && column_fraction(column - 1) >= x_fraction) --column;
    while (column < drawing_width_pixels && column_fraction(column) < x_fraction) ++column;
    return column;
}

}  // namespace mapari
