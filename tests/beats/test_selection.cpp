// Waveform selection (click, confirmation, snapping, range test) and the
// selected beat: the working beat in the averaged beat, the template, and
// the drawn window. Every channel holds (37 c + 13 t) mod 2001 − 1000, so a
// sample read one place off shows.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>

#include "beat_support.hpp"
#include "beats/detection.hpp"
#include "beats/drawing_steps.hpp"
#include "beats/selection.hpp"
#include "phases/point.hpp"
#include "phases/selection.hpp"
#include "phases/trace_drawing.hpp"

namespace mapari::beats_tests {
namespace {

constexpr const char* click_prompt = "Unit 12| 選択する波形の線の近くをClick";
constexpr const char* confirm_prompt = "Unit 12| これでいいですか? <y/n>";
constexpr const char* range_error = "Unit 12| エラー、200から3000msecの範囲にしてください。";
constexpr float untouched = -7.5f;

std::string selected_line(int q) {
    return "選択した点（msec）" + int12(q);
}

Lines accepted_lines(const std::string& click, const std::string& answer, int q) {
    return {click_prompt,     click,
            confirm_prompt,   "Unit 12> " + answer,
            selected_line(q), "selected time" + int12(q - 200),
            "temp set"};
}

class Selection : public ::testing::Test {
  protected:
    TemporaryFolder dir;
    std::unique_ptr<Store> store = make_store();
    std::unique_ptr<ScriptedRuntime> runtime;

    void SetUp() override {
        fill_varied(*store);
        store->beat.averaged.fill(untouched);
    }

    // The recording prepared and shown, with the given sorted beat list, and
    // the script ready for the selection.
    void show(const std::string& script, const std::vector<int>& beats) {
        runtime = std::make_unique<ScriptedRuntime>(script, dir.path());
        ASSERT_TRUE(prepare_display(*store, **runtime));
        (*runtime)->open_trace_window();
        store->display.sorted_beats.fill(0);
        for (int s = 0; s < static_cast<int>(beats.size()); ++s)
            store->display.sorted_beats(s + 1) = static_cast<std::int16_t>(beats[s]);
    }
    Point select(const std::string& script, const std::vector<int>& beats) {
        show(script, beats);
        return select_waveform(*store, **runtime);
    }

    void expect_nothing_taken() const {
        EXPECT_EQ(store->beat.template_channel, 0);
        EXPECT_EQ(store->beat.averaged(201, 1), untouched);
        EXPECT_TRUE(runtime->windows().text_window().lines.empty());
    }

    // Rows 1..1000 of the averaged beat hold samples q − 200 .. q + 799 of
    // every lead, the beat at row 201; rows 1001..1024 keep their values.
    void expect_working_beat(int q) const {
        for (int l = 1; l <= lead_count; ++l) {
            for (int i = 1; i <= 1000; ++i)
                ASSERT_EQ(store->beat.averaged(i, l), varied_value(l + 8, q - 201 + i))
                    << "lead " << l << " row " << i;
            for (int i = 1001; i <= averaged_rows; ++i)
                ASSERT_EQ(store->beat.averaged(i, l), untouched) << "lead " << l << " row " << i;
        }
        EXPECT_EQ(store->beat.template_channel, 21);
        for (int i = 1; i <= 51; ++i)
            ASSERT_EQ(store->beat.template_samples(i), varied_value(21, q - 26 + i)) << i;
    }

    // The drawn window: three polylines of 1000 points, point i at column
    // 0.6/1000 · i and at the height of sample q − 200 + i.
    void expect_drawn_window(int q) const {
        const WindowContent& window = runtime->windows().trace_window();
        EXPECT_TRUE(polylines_in(window, cyan).empty());
        const std::vector<Polyline> traces = polylines_in(window, blue);
        ASSERT_EQ(traces.size(), 3u);
        const float step = (0.6f - 0.0f) / 1000.0f;
        const int channels[3] = {21, 31, 45};
        for (int j = 0; j < 3; ++j) {
            ASSERT_EQ(traces[j].points.size(), 1001u);
            for (int i = 1; i <= 1000; ++i) {
                const float value = varied_value(channels[j], q - 200 + i);
                const PixelPoint expected{column_of(step * static_cast<float>(i)),
                                          row_of(drawn_fraction(value, store->display.potmax))};
                ASSERT_EQ(traces[j].points[i], expected) << "lead " << j + 1 << " row " << i;
            }
        }
    }
};

// Click column 150 is sample 1000 (0.15 / 0.00015); the nearest beat is 1000.
TEST_F(Selection, AcceptedClickMakesTheWorkingBeatTemplateAndDrawing) {
    EXPECT_EQ(select("@click 150\ny\n", {2000, 1000, 300}), Point::correction_menu);
    EXPECT_EQ(runtime->transcript(), accepted_lines("> click 150,150 left", "y", 1000));
    EXPECT_EQ(store->beat.selected_position, 1000);
    expect_working_beat(1000);
    EXPECT_EQ(store->beat.averaged(201, 13), varied_value(21, 1000));
    EXPECT_EQ(store->beat.template_samples(26), varied_value(21, 1000));
    expect_drawn_window(1000);
    EXPECT_EQ(store->beat.selected_traces(200, 1), varied_value(21, 1000));
}

// q = 3000: averaged rows reach sample 3799, the drawing sample 3800.
// q = 201: averaged row 1 is sample 1, the drawing starts at sample 2.
TEST_F(Selection, WorkingBeatAtTheEdgesOfTheSelectableRange) {
    for (int q : {3000, 201}) {
        SCOPED_TRACE(q);
        store->beat.averaged.fill(untouched);
        show("", {});
        store->beat.selected_position = q;
        take_and_draw_beat(*store, **runtime);
        expect_working_beat(q);
        expect_drawn_window(q);
        EXPECT_EQ(runtime->transcript(), (Lines{"selected time" + int12(q - 200), "temp set"}));
    }
    EXPECT_EQ(store->beat.averaged(1, 1), varied_value(9, 1));
    EXPECT_EQ(store->beat.selected_traces(1, 1), varied_value(21, 2));
}

TEST_F(Selection, NearestEntryOfTheSortedList) {
    Display& display = store->display;
    display.sorted_beats.fill(0);
    display.sorted_beats(1) = 1200;
    display.sorted_beats(2) = 1000;
    EXPECT_EQ(nearest_beat(display, 1100, 0), 1200);  // halfway: the later beat
    EXPECT_EQ(nearest_beat(display, 1099, 0), 1000);
    // Empty entries take part as position 0; beats come before them.
    display.sorted_beats(1) = 300;
    display.sorted_beats(2) = 0;
    EXPECT_EQ(nearest_beat(display, 100, 0), 0);
    EXPECT_EQ(nearest_beat(display, 149, 0), 0);
    EXPECT_EQ(nearest_beat(display, 150, 0), 300);
    // Nothing closer than 4000: the previous selection stands.
    display.sorted_beats(1) = 2500;
    display.sorted_beats(2) = 2000;
    EXPECT_EQ(nearest_beat(display, 6660, 1234), 1234);
    EXPECT_EQ(nearest_beat(display, 6000, 1234), 2500);
}

// Each beat takes the samples from half way to the next earlier entry (the
// tie its own) up to half way to the next later one (the tie the later's).
TEST_F(Selection, FirstSampleSelectingABeatIsHalfWayToTheEarlierEntry) {
    Display& display = store->display;
    display.sorted_beats.fill(0);
    const std::int16_t beats[] = {3100, 2400, 1153, 353};
    for (int s = 0; s < static_cast<int>(std::size(beats)); ++s)
        display.sorted_beats(s + 1) = beats[s];
    struct Case {
        std::int32_t position, first_sample;
    } cases[] = {
        {3100, 2750},  // (3100 + 2400) / 2: 350 either way, the later beat's
        {2400, 1777},  // (2400 + 1153 + 1) / 2: 623 to 2400, 624 to 1153
        {1153, 753},   // (1153 + 353) / 2: 400 either way
        {353, 177},    // (353 + 0 + 1) / 2: the empty entries stand at 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        EXPECT_EQ(first_sample_selecting(display, c.position), c.first_sample);
        EXPECT_EQ(nearest_beat(display, c.first_sample, 0), c.position);
        EXPECT_NE(nearest_beat(display, c.first_sample - 1, 0), c.position);
    }
    // With no earlier entry, the first sample closer than 4000.
    display.sorted_beats.fill(0);
    display.sorted_beats(1) = 3900;
    display.sorted_beats(2) = -200;  // not a position the beat finder writes; no entry is lower
    EXPECT_EQ(first_sample_selecting(display, -200), -4199);
    EXPECT_EQ(nearest_beat(display, -4199, 7), -200);
    EXPECT_EQ(nearest_beat(display, -4200, 7), 7);
}

// The sample under a position, and back: the leftmost float whose step count
// reaches n. The recording drawing and the beat drawing as drawn, and a
// drawing with its left edge inside the window, whose counts left of the edge
// are 0 (cut toward zero) and then negative.
TEST(DrawingSteps, FirstPositionOfAStepIsTheLeftmostFloatReachingIt) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    // Hand-worked: steps of 0.5 from 0; 1.5 is 3 steps; 0 steps begin just right of -0.5.
    EXPECT_EQ(first_position_of_step(3, 0.0f, 0.5f), 1.5f);
    EXPECT_EQ(first_position_of_step(0, 0.0f, 0.5f), std::nextafter(-0.5f, infinity));
    EXPECT_EQ(first_position_of_step(-2, 0.0f, 0.5f), std::nextafter(-1.5f, infinity));
    EXPECT_EQ(steps_from_left_edge(std::nextafter(-0.5f, infinity), 0.0f, 0.5f), 0);
    EXPECT_EQ(steps_from_left_edge(-0.5f, 0.0f, 0.5f), -1);
    struct Drawing {
        float left_edge, step;
    } drawings[] = {{0.0f, 0.6f / 4000.0f}, {0.0f, 0.6f / 1000.0f}, {0.05f, 0.55f / 1000.0f}};
    for (const Drawing& d : drawings) {
        SCOPED_TRACE(d.step);
        for (std::int32_t n = -60; n <= 6700; ++n) {
            const float x = first_position_of_step(n, d.left_edge, d.step);
            ASSERT_GE(steps_from_left_edge(x, d.left_edge, d.step), n) << n;
            ASSERT_LT(steps_from_left_edge(std::nextafter(x, -infinity), d.left_edge, d.step), n)
                << n;
        }
    }
}

TEST_F(Selection, ClickHalfwayBetweenTwoBeatsSelectsTheLaterOne) {
    const int sample = sample_of_column(300);
    EXPECT_EQ(select("@click 300\ny\n", {sample + 50, sample - 50}), Point::correction_menu);
    EXPECT_EQ(runtime->transcript(), accepted_lines("> click 300,150 left", "y", sample + 50));
}

// Column 15 is sample 100, nearer to an empty entry (0) than to the beat at 300.
TEST_F(Selection, ClickBelowHalfTheEarliestBeatIsAnError) {
    EXPECT_EQ(select("@click 15\ny\n", {300}), Point::display);
    EXPECT_EQ(runtime->transcript(), (Lines{click_prompt, "> click 15,150 left", confirm_prompt,
                                            "Unit 12> y", range_error}));
    expect_nothing_taken();
}

class SelectableRange : public Selection, public ::testing::WithParamInterface<int> {};

// The only beat is X; a click at sample 2000 is nearer to it than to 0.
TEST_P(SelectableRange, BeatsFrom201To3000Only) {
    const int beat = GetParam();
    const bool inside = beat >= 201 && beat <= 3000;
    const Point next = select("@click 300\ny\n", {beat});
    const Lines transcript = runtime->transcript();
    ASSERT_GE(transcript.size(), 5u);
    if (inside) {
        EXPECT_EQ(next, Point::correction_menu);
        EXPECT_EQ(transcript[4], selected_line(beat));
    } else {
        EXPECT_EQ(next, Point::display);
        EXPECT_EQ(transcript.size(), 5u);
        EXPECT_EQ(transcript.back(), range_error);
        expect_nothing_taken();
    }
}

INSTANTIATE_TEST_SUITE_P(Edges, SelectableRange, ::testing::Values(200, 201, 3000, 3001));

// Column 999 is sample 6660: every entry, empty ones too, is 4000 or more away.
TEST_F(Selection, FarClickKeepsThePreviousSelection) {
    EXPECT_EQ(select("@click 999\ny\n", {2500, 2000}), Point::display);
    EXPECT_EQ(runtime->transcript().back(), range_error);

    store->beat.selected_position = 1000;
    EXPECT_EQ(select("@click 999\ny\n", {2500, 2000}), Point::correction_menu);
    EXPECT_EQ(runtime->transcript(), accepted_lines("> click 999,150 left", "y", 1000));
}

class Confirmation : public Selection, public ::testing::WithParamInterface<const char*> {};

TEST_P(Confirmation, OnlyNRefuses) {
    const std::string answer = GetParam();
    const bool refused = answer == "n" || answer == "N";
    const Point next = select("@click 300\n" + answer + "\n", {2000});
    if (!refused) {
        EXPECT_EQ(next, Point::correction_menu);
        EXPECT_EQ(store->beat.template_channel, 21);
        return;
    }
    EXPECT_EQ(next, Point::display);
    EXPECT_EQ(runtime->transcript(),
              (Lines{click_prompt, "> click 300,150 left", confirm_prompt, "Unit 12> " + answer}));
    EXPECT_EQ(store->beat.selected_position, 0);
    expect_nothing_taken();
    // The clicked point stays marked: a vertical line from row 30 to row 269.
    const std::vector<Polyline> markers = polylines_in(runtime->windows().trace_window(), cyan);
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].points, (std::vector<PixelPoint>{{300, 30}, {300, 30}, {300, 269}}));
}

INSTANTIATE_TEST_SUITE_P(Answers, Confirmation,
                         ::testing::Values("n", "N", "y", "Y", "nn", "x", "0"));

// A right click stands for x = 0.5 wherever it is: sample 3333, which is
// nearer to 2900 (433) than to 3767 (434).
TEST_F(Selection, RightClickSelectsAtTheMiddle) {
    show("@right 100 40\nn\n@right 100\ny\n", {3767, 2900});
    EXPECT_EQ(select_waveform(*store, **runtime), Point::display);
    const std::vector<Polyline> markers = polylines_in(runtime->windows().trace_window(), cyan);
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].points.back(), (PixelPoint{500, 269}));

    EXPECT_EQ(select_waveform(*store, **runtime), Point::correction_menu);
    const Lines transcript = runtime->transcript();
    EXPECT_EQ(lines_from(transcript, 4), accepted_lines("> click 100,150 right", "y", 2900));
    EXPECT_EQ(transcript[1], "> click 100,40 right");
}

}  // namespace
}  // namespace mapari::beats_tests
