// The clicks of the unattended session against the search it made before it
// inverted the mappings: every column of the drawing tried, the first that
// gives the beat (or the row nearest the one asked for) taken.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "app/unattended_clicks.hpp"
#include "beats/marks.hpp"
#include "beats/selection.hpp"
#include "window/drawing_pixels.hpp"

namespace mapari::batch_tests {
namespace {

// The beat a click at each column selects.
std::vector<std::int32_t> beats_under_columns(const Display& display, std::int32_t previous) {
    std::vector<std::int32_t> beats;
    for (int column = 0; column < drawing_width_pixels; ++column)
        beats.push_back(
            nearest_beat(display, click_sample(column_fraction(column), display), previous));
    return beats;
}

int searched_column_selecting(const std::vector<std::int32_t>& beats, std::int32_t position) {
    for (int column = 0; column < drawing_width_pixels; ++column)
        if (beats[static_cast<std::size_t>(column)] == position) return column;
    return -1;
}

int searched_column_marking(const Display& display, const Beat& beat, std::int32_t row) {
    int nearest_column = 0, nearest_distance = averaged_rows;
    for (int column = 0; column < drawing_width_pixels; ++column) {
        const int distance = std::abs(beat_row_at(column_fraction(column), display, beat) - row);
        if (distance < nearest_distance) {
            nearest_distance = distance;
            nearest_column = column;
        }
    }
    return nearest_column;
}

// The drawings as the trace drawing lays them out, or with the traces'
// left edge moved into the window.
Display drawn_display(float left_edge) {
    Display display;
    display.left_edge = left_edge;
    display.horizontal_scale_per_sample =
        (display.right_edge - display.left_edge) / static_cast<float>(samples_per_reading);
    return display;
}

TEST(UnattendedClicks, TheColumnSelectingABeatIsTheFirstTheSearchFinds) {
    std::vector<std::vector<std::int16_t>> lists = {
        {3100, 2400, 1153, 353},
        {3000, 2990, 2984, 1500, 1494, 201},  // beats closer than a column's 6.7 samples
        {},
        {},
    };
    for (std::int16_t beat = 3900; beat >= 100; beat -= 100) lists.back().push_back(beat);
    for (float left_edge : {0.0f, 0.05f}) {
        for (const std::vector<std::int16_t>& list : lists) {
            Display display = drawn_display(left_edge);
            display.sorted_beats.fill(0);
            for (std::size_t s = 0; s < list.size(); ++s)
                display.sorted_beats(static_cast<int>(s) + 1) = list[s];
            for (std::int32_t previous : {0, 1153, 2990}) {
                const std::vector<std::int32_t> beats = beats_under_columns(display, previous);
                for (std::int32_t position = -10; position <= 4000; ++position) {
                    if (position == previous) continue;
                    ASSERT_EQ(column_selecting_beat(display, position, previous),
                              searched_column_selecting(beats, position))
                        << "left edge " << left_edge << ", " << list.size() << " beats, previous "
                        << previous << ", beat at " << position;
                }
            }
        }
    }
}

TEST(UnattendedClicks, TheColumnMarkingARowIsTheFirstNearestTheSearchFinds) {
    for (float left_edge : {0.0f, 0.05f}) {
        const Display display = drawn_display(left_edge);
        Beat beat;
        beat.averaged_step = beat_step(display);
        for (std::int32_t row = -50; row <= 1700; ++row)
            ASSERT_EQ(column_marking_row(display, beat, row),
                      searched_column_marking(display, beat, row))
                << "left edge " << left_edge << ", row " << row;
    }
}

// Hand-worked on the drawn beat, 0.0006 a row and 0.001 a column: column 5 is
// row trunc(0.005 / 0.0006) = 8, column 6 row 10; row 9 lies between, 1 from
// each, and goes to the earlier column. Row 10 is column 6's own.
TEST(UnattendedClicks, ARowNoColumnMarksGoesToTheEarlierOfTwoEquallyNearColumns) {
    const Display display = drawn_display(0.0f);
    Beat beat;
    beat.averaged_step = beat_step(display);
    EXPECT_EQ(beat_row_at(column_fraction(5), display, beat), 8);
    EXPECT_EQ(beat_row_at(column_fraction(6), display, beat), 10);
    EXPECT_EQ(column_marking_row(display, beat, 9), 5);
    EXPECT_EQ(column_marking_row(display, beat, 10), 6);
    EXPECT_EQ(column_marking_row(display, beat, 1), 1);  // 0.001 / 0.0006: row 1
    EXPECT_EQ(column_marking_row(display, beat, 0), 0);
}

}  // namespace
}  // namespace mapari::batch_tests
