#include "beats/drawing_steps.hpp"

#include <cmath>
#include <limits>

namespace mapari {

std::int32_t steps_from_left_edge(float x_fraction, float left_edge, float step) {
    return static_cast<std::int32_t>((x_fraction - left_edge) / step);
}

float first_position_of_step(std::int32_t n, float left_edge, float step) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    // Cut toward zero, the count reaches n > 0 at n steps and n ≤ 0 just past n - 1.
    float x = left_edge + static_cast<float>(n > 0 ? n : n - 1) * step;
    // The product and the sum round, so x may lie a few floats off the edge
    // the forward mapping draws; that mapping decides, float by float.
    while (steps_from_left_edge(x, left_edge, step) < n) x = std::nextafter(x, infinity);
    for (float left = std::nextafter(x, -infinity);
         steps_from_left_edge(left, left_edge, step) >= n; left = std::nextafter(x, -infinity))
        x = left;
    return x;
}

}  // namespace mapari
