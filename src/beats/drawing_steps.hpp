// What lies under a horizontal position of a drawing: the recording drawing
// is drawn one sample a step, the beat drawing one row a step, each from the
// left edge of the traces; and back, the position where a step begins.
#pragma once

#include <cstdint>

namespace mapari {

// The whole steps from the left edge to x, cut toward zero (also left of the edge).
std::int32_t steps_from_left_edge(float x_fraction, float left_edge, float step);
// Its inverse: the leftmost position (a float) whose steps_from_left_edge
// reaches n. The step is positive and n a count the drawing can hold.
float first_position_of_step(std::int32_t n, float left_edge, float step);

}  // namespace mapari
