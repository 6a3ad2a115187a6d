#include "app/unattended_clicks.hpp"

#include "beats/marks.hpp"
#include "beats/selection.hpp"
#include "window/drawing_pixels.hpp"

namespace mapari {
namespace {

// The first column whose click marks `row` or a later row.
int first_column_reaching_row(const Display& display, const Beat& beat, std::int32_t row) {
    return first_column_at_or_right_of(first_position_of_row(row, display, beat));
}

std::int32_t row_under(int column, const Display& display, const Beat& beat) {
    return beat_row_at(column_fraction(column), display, beat);
}

}  // namespace

int column_selecting_beat(const Display& display, std::int32_t position, std::int32_t previous) {
    const int column = first_column_at_or_right_of(
        first_position_of_sample(first_sample_selecting(display, position), display));
    // Past that column every click selects `position` or a later beat; when
    // the first does not select it, the beat lies between two columns' samples.
    if (column == drawing_width_pixels ||
        nearest_beat(display, click_sample(column_fraction(column), display), previous) != position)
        return -1;
    return column;
}

int column_marking_row(const Display& display, const Beat& beat, std::int32_t row) {
    const int reaching = first_column_reaching_row(display, beat, row);
    if (reaching == 0) return 0;  // every column marks `row` or a later one
    // The rows rise with the column, so the nearest is the row of the column
    // before `reaching`, or the row at it; the earlier column wins a tie.
    const std::int32_t row_before = row_under(reaching - 1, display, beat);
    if (reaching == drawing_width_pixels)
        return first_column_reaching_row(display, beat, row_before);
    const std::int32_t row_reached = row_under(reaching, display, beat);
    return row - row_before <= row_reached - row
               ? first_column_reaching_row(display, beat, row_before)
               : reaching;
}

std::int32_t row_marked_nearest(const Display& display, const Beat& beat, std::int32_t row) {
    return row_under(column_marking_row(display, beat, row), display, beat);
}

}  // namespace mapari
