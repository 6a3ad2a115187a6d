#include "beats/marks.hpp"

#include "beats/drawing_steps.hpp"
#include "beats/selection.hpp"

namespace mapari {

float beat_step(const Display& display) {
    return (display.right_edge - display.left_edge) / static_cast<float>(beat_window_rows);
}

std::int32_t beat_row_at(float x_fraction, const Display& display, const Beat& beat) {
    return steps_from_left_edge(x_fraction, display.left_edge, beat.averaged_step);
}

float first_position_of_row(std::int32_t row, const Display& display, const Beat& beat) {
    return first_position_of_step(row, display.left_edge, beat.averaged_step);
}

bool all_marks_set(const Beat& beat) {
    for (int mark = 1; mark <= fiducial_count; ++mark)
        if (beat.fiducial_marks(mark) == 0) return false;
    return true;
}

}  // namespace mapari
