// Beat detection, the preparation after a reading and the drawing of the
// recording. Signals are built so that every slope value asserted here can be
// worked out by hand: a plateau of height A that drops to 0 after sample p
// gives the magnitude A² up to p and 0 after, so the five-point slope
// 2m(i+1) + m(i+2) − 2m(i−1) − m(i−2) is −3A² at p and at p + 1, −A² at p − 1
// and p + 2; its rise at the start gives +A², +3A², +3A², +A².
#include <gtest/gtest.h>

#include "beat_support.hpp"
#include "beats/detection.hpp"
#include "phases/trace_drawing.hpp"

namespace mapari::beats_tests {
namespace {

constexpr int ch1 = 21, ch2 = 31, ch3 = 45;

class Detection : public ::testing::Test {
  protected:
    TemporaryFolder dir;
    std::unique_ptr<Store> store = make_store();
    Display& display = store->display;

    int count_nonzero_slopes(int from, int to) const {
        int n = 0;
        for (int i = from; i <= to; ++i) n += display.slope(i) != 0.0f;
        return n;
    }
    std::vector<int> beat_list() const {
        std::vector<int> found;
        for (int j = 1; j <= beat_slots && display.beat_list(j) != 0; ++j)
            found.push_back(display.beat_list(j));
        return found;
    }
};

TEST_F(Detection, ConstantLeadsHaveNoSlopeNoBeatButTracesAreDrawn) {
    set_samples(*store, ch1, 1, 4000, 500);
    set_samples(*store, ch2, 1, 4000, -300);
    set_samples(*store, ch3, 1, 4000, 200);
    ScriptedRuntime runtime("", dir.path());
    ASSERT_TRUE(prepare_display(*store, *runtime));
    EXPECT_EQ(display.potmax, 500.0f);
    EXPECT_EQ(count_nonzero_slopes(1, 4000), 0);
    EXPECT_EQ(display.smallest_slope, 0.0f);
    EXPECT_TRUE(beat_list().empty());

    runtime->open_trace_window();
    draw_recording(*store, *runtime);
    for (int s = 1; s <= beat_slots; ++s) ASSERT_EQ(display.sorted_beats(s), 0);
    const WindowContent& window = runtime->windows().trace_window();
    EXPECT_TRUE(polylines_in(window, cyan).empty());
    const std::vector<Polyline> traces = polylines_in(window, blue);
    ASSERT_EQ(traces.size(), 3u);
    const float values[3] = {500.0f, -300.0f, 200.0f};
    for (int k = 0; k < 3; ++k) {
        const int row = row_of(drawn_fraction(values[k], 500.0f));
        for (const PixelPoint& point : traces[k].points) ASSERT_EQ(point.y, row) << "trace " << k;
    }
}

// Trace 1 holds 50 throughout (the magnitude gains a constant 2500, which no
// slope sees). Trace 2: 120 on 760..800 and 100 on 1450..1500; trace 3: 40 on
// 2450..2500. Slopes: −3·14400 = −43200 at 800, −30000 at 1500, −4800 at 2500.
// Threshold 0.6 · −43200 = −25920: the beat at 1500 passes, so a third pass
// runs; its minimum −4800 misses the threshold but is still recorded.
TEST_F(Detection, TwoClearBeatsSteepestFirstThenTheFirstMissedMinimum) {
    set_samples(*store, ch1, 1, 4000, 50);
    set_samples(*store, ch2, 760, 800, 120);
    set_samples(*store, ch2, 1450, 1500, 100);
    set_samples(*store, ch3, 2450, 2500, 40);
    ScriptedRuntime runtime("", dir.path());
    ASSERT_TRUE(prepare_display(*store, *runtime));
    EXPECT_EQ(display.smallest_slope, -43200.0f);
    EXPECT_EQ(beat_list(), (std::vector<int>{800, 1500, 2500}));
    // Each beat blanks 100 before to 200 after; the rises lie inside.
    EXPECT_EQ(count_nonzero_slopes(1, 4000), 0);

    runtime->open_trace_window();
    draw_recording(*store, *runtime);
    EXPECT_EQ(display.sorted_beats(1), 2500);
    EXPECT_EQ(display.sorted_beats(2), 1500);
    EXPECT_EQ(display.sorted_beats(3), 800);
    EXPECT_EQ(display.sorted_beats(4), 0);
    const std::vector<Polyline> markers = polylines_in(runtime->windows().trace_window(), cyan);
    ASSERT_EQ(markers.size(), 3u);
    const float per_sample = 0.6f / 4000.0f;
    const int positions[3] = {2500, 1500, 800};
    for (int s = 0; s < 3; ++s) {
        const int column = column_of(per_sample * static_cast<float>(positions[s]));
        EXPECT_EQ(markers[s].points,
                  (std::vector<PixelPoint>{{column, 30}, {column, 30}, {column, 269}}));
    }
}

// Trace 1: 1,2,3,4,5 at samples 1..5 and 8..12, and 5,4,3,2,1 at 3996..4000;
// trace 2: 1 at sample 11; trace 3: −2 at sample 9.
// m(1..5) = 1,4,9,16,25; m(8..12) = 1, 4+4 = 8, 9, 16+1 = 17, 25;
// m(3996..4000) = 25,16,9,4,1.
// slope(3)    = 2·16 + 25 − 2·4 − 1      = 48
// slope(10)   = 2·17 + 25 − 2·8 − 1      = 42
// slope(3997) = 2·9 + 4 − 2·25 − 0       = −28
// slope 1, 2 and 3998..4000 stay 0 though the magnitude is not 0 there.
TEST_F(Detection, FivePointSlopeOfTheThreeLeadMagnitude) {
    for (int i = 1; i <= 5; ++i) {
        store->recording.samples(ch1, i) = static_cast<std::int16_t>(i);
        store->recording.samples(ch1, 7 + i) = static_cast<std::int16_t>(i);
        store->recording.samples(ch1, 3995 + i) = static_cast<std::int16_t>(6 - i);
    }
    store->recording.samples(ch2, 11) = 1;
    store->recording.samples(ch3, 9) = -2;
    form_traces(store->settings, store->recording, store->display);
    form_slope(store->display);
    EXPECT_EQ(display.time_axis_ms(1), 1.0f);
    EXPECT_EQ(display.time_axis_ms(4000), 4000.0f);
    EXPECT_EQ(display.traces(9, 3), -2.0f);
    EXPECT_EQ(display.magnitude(9), 8.0f);
    EXPECT_EQ(display.magnitude(11), 17.0f);
    EXPECT_EQ(display.slope(3), 48.0f);
    EXPECT_EQ(display.slope(10), 42.0f);
    EXPECT_EQ(display.slope(3997), -28.0f);
    for (int i : {1, 2, 3998, 3999, 4000}) EXPECT_EQ(display.slope(i), 0.0f) << "sample " << i;
}

// Trace 1: 100 on 3750..3800, slope −30000 at 3800. Canaries: trace 2 holds
// 2 at sample 3700 (slope 4, 8 at 3698, 3699 and −8, −4 at 3701, 3702) and at
// sample 97 (slopes −8, −4 at 98, 99, outside the search); trace 3 holds 3 at
// 3995 (slopes 9, 18, −18, −9 at 3993, 3994, 3996, 3997).
// Pass 1 finds 3800 and blanks 3700..4000. Pass 2 sees only zeros and
// positive values from sample 100 on: its minimum 0 at sample 100 misses the
// threshold and is recorded, blanking 1..300.
TEST_F(Detection, BeatAt3800BlanksTheSlopeFrom3700To4000) {
    set_samples(*store, ch1, 3750, 3800, 100);
    store->recording.samples(ch2, 3700) = 2;
    store->recording.samples(ch2, 97) = 2;
    store->recording.samples(ch3, 3995) = 3;
    detect_beats(store->settings, store->recording, store->display, 3800);
    EXPECT_EQ(display.smallest_slope, -30000.0f);
    EXPECT_EQ(beat_list(), (std::vector<int>{3800, 100}));
    EXPECT_EQ(display.slope(3698), 4.0f);
    EXPECT_EQ(display.slope(3699), 8.0f);
    EXPECT_EQ(count_nonzero_slopes(3700, 4000), 0);
    EXPECT_EQ(count_nonzero_slopes(1, 300), 0);
}

// Trace 1: 100 on 3850..3900; trace 2: 2 at 3801 (slopes 4, 8 at 3799, 3800).
// With the averaging's last candidate 3900 the beat at 3900 blanks 3800 to
// the end of the signal only; the areas beside the slope stay intact. With
// the display's 3800 the same beat lies beyond the search.
TEST_F(Detection, BeatAt3900BlanksUpToTheEndOnly) {
    set_samples(*store, ch1, 3850, 3900, 100);
    store->recording.samples(ch2, 3801) = 2;
    display.potmax = 123.0f;
    detect_beats(store->settings, store->recording, store->display, 3900);
    EXPECT_EQ(beat_list(), (std::vector<int>{3900, 100}));
    EXPECT_EQ(display.slope(3799), 4.0f);
    EXPECT_EQ(count_nonzero_slopes(3800, 4000), 0);
    EXPECT_EQ(display.potmax, 123.0f);
    EXPECT_EQ(display.smallest_slope, -30000.0f);

    detect_beats(store->settings, store->recording, store->display, 3800);
    EXPECT_EQ(beat_list(), (std::vector<int>{100}));
}

// Two equal drops (slope −30000 at 1000, 1001, 2000, 2001): the earliest
// sample wins each pass. Trace 3 steps up from 0 to 2 at 901 and to 4 at
// 1202; a step of the magnitude by D at a gives slopes D, 3D, 3D, D at
// a − 2 .. a + 1: 4, 12, 12, 4 at 899..902 and 12, 36, 36, 12 at 1200..1203.
// The beat at 1000 blanks exactly 900..1200 of them.
TEST_F(Detection, EqualMinimaGoToTheEarliestSampleAndBlank100Before200After) {
    set_samples(*store, ch2, 950, 1000, 100);
    set_samples(*store, ch2, 1950, 2000, 100);
    set_samples(*store, ch3, 901, 1201, 2);
    set_samples(*store, ch3, 1202, 4000, 4);
    detect_beats(store->settings, store->recording, store->display, 3800);
    EXPECT_EQ(beat_list(), (std::vector<int>{1000, 2000, 100}));
    EXPECT_EQ(display.slope(899), 4.0f);
    EXPECT_EQ(display.slope(900), 0.0f);
    EXPECT_EQ(display.slope(1200), 0.0f);
    EXPECT_EQ(display.slope(1201), 36.0f);
}

// The smallest slope, which sets the threshold, is taken over samples 2 to
// 3998, beyond the search: trace 1 holds 200 on 20..50 (slope −120000 at
// 50). The threshold 0.6 · −120000 = −72000 lets the first pass run but not
// a second after the beat at 2000 (trace 2: 100 on 1950..2000, −30000).
TEST_F(Detection, SmallestSlopeIsTakenBeyondTheSearch) {
    set_samples(*store, ch1, 20, 50, 200);
    set_samples(*store, ch2, 1950, 2000, 100);
    detect_beats(store->settings, store->recording, store->display, 3800);
    EXPECT_EQ(display.smallest_slope, -120000.0f);
    EXPECT_EQ(beat_list(), (std::vector<int>{2000}));
}

// A magnitude rising steeply over the whole search (slope above 9999 from
// 100 to 3800) and falling only at 3851, beyond it: no pass finds a slope
// below 9999, and no position outside the search is recorded.
TEST_F(Detection, NoSlopeBelowTheStartValueRecordsNoPosition) {
    for (int t = 1; t <= 3850; ++t)
        store->recording.samples(ch1, t) = static_cast<std::int16_t>(5000 + 5 * t);
    detect_beats(store->settings, store->recording, store->display, 3800);
    EXPECT_LT(display.smallest_slope, 0.0f);
    EXPECT_TRUE(beat_list().empty());
}

TEST_F(Detection, SortAndMarkersStopAt199) {
    set_samples(*store, ch1, 1, 4000, 10);
    ScriptedRuntime runtime("", dir.path());
    ASSERT_TRUE(prepare_display(*store, *runtime));
    // A full list, smallest first, as no recording can fill it.
    for (int j = 1; j <= beat_slots; ++j)
        display.beat_list(j) = static_cast<std::int16_t>(100 + 15 * j);
    runtime->open_trace_window();
    draw_recording(*store, *runtime);
    for (int s = 1; s <= beat_slots; ++s)
        ASSERT_EQ(display.sorted_beats(s), 100 + 15 * (beat_slots + 1 - s));
    const std::vector<Polyline> markers = polylines_in(runtime->windows().trace_window(), cyan);
    ASSERT_EQ(markers.size(), 199u);
    const float per_sample = 0.6f / 4000.0f;
    EXPECT_EQ(markers.front().points.front().x, column_of(per_sample * 3100.0f));
    EXPECT_EQ(markers.back().points.front().x, column_of(per_sample * 130.0f));
}

class Prepare : public Detection {};

// potmax is the largest |trace 1| over samples 100..1000, ends included;
// larger values just outside, and on trace 2, are not looked at.
TEST_F(Prepare, PotmaxAndTheLinesOfTheTraceChannel) {
    struct Case {
        int sample;
        std::int16_t value;
        const char* line;
    };
    for (const Case& c :
         {Case{100, -710, "   710.0000    potmax"}, Case{1000, 700, "   700.0000    potmax"}}) {
        SCOPED_TRACE(c.sample);
        auto fresh = make_store();
        fresh->recording.samples(ch1, 99) = 5000;
        fresh->recording.samples(ch1, 1001) = -4000;
        fresh->recording.samples(ch1, 500) = 690;
        fresh->recording.samples(ch2, 400) = 9000;
        fresh->recording.samples(ch1, c.sample) = c.value;
        fresh->naming.recording_path.assign("d:\\data\\map\\abc01.dat");
        TemporaryFolder own;
        ScriptedRuntime runtime("", own.path());
        ASSERT_TRUE(prepare_display(*fresh, *runtime));
        const float potmax = static_cast<float>(std::abs(c.value));
        EXPECT_EQ(fresh->display.potmax, potmax);
        EXPECT_EQ(fresh->display.horizontal_scale_per_sample, (0.6f - 0.0f) / 4000.0f);
        EXPECT_EQ(fresh->display.vertical_scale_per_unit, (0.9f - 0.1f) / (potmax * 2.0f));
        EXPECT_EQ(fresh->display.centre, 0.5f);
        std::string padded_path = "d:\\data\\map\\abc01.dat";
        padded_path.resize(30, ' ');
        EXPECT_EQ(read_bytes(own.path() / "fort.12"),
                  "point 1\npoint 2\n" + padded_path + "drawing ecg data\n" + c.line + "\n");
        EXPECT_TRUE(runtime.transcript().empty());
    }
}

TEST_F(Prepare, NoSignalOnTheFirstLeadStopsAfterTheProgressLines) {
    store->recording.samples(ch1, 50) = 300;
    store->recording.samples(ch1, 2000) = 300;
    set_samples(*store, ch2, 1, 4000, 77);
    ScriptedRuntime runtime("", dir.path());
    EXPECT_FALSE(prepare_display(*store, *runtime));
    EXPECT_EQ(read_bytes(dir.path() / "fort.12"), "point 1\npoint 2\n");
}

class Draw : public Detection {};

// potmax 1000 (trace 1: +1000 at 500, −1000 at 600); trace 2: ±2000 at 700
// and 800, beyond the band. Vertical scale 0.8 / 2000 = 0.0004:
// −1000 → 0.1 → row 30; +1000 → 0.9 → row 269; 2000 → 1.3, held at 0.999 →
// row 299; 1250 → exactly 1.0, held at 0.999 → row 299; −2000 → −0.3, held
// at 0.001 → row 0; 0 → 0.5 → row 150.
TEST_F(Draw, TracesFillTheBandAndAreHeldInsideTheWindow) {
    store->recording.samples(ch1, 500) = 1000;
    store->recording.samples(ch1, 600) = -1000;
    store->recording.samples(ch2, 700) = 2000;
    store->recording.samples(ch2, 800) = -2000;
    store->recording.samples(ch2, 900) = 1250;
    ScriptedRuntime runtime("", dir.path());
    ASSERT_TRUE(prepare_display(*store, *runtime));
    runtime->open_trace_window();
    draw_recording(*store, *runtime);

    // "display" is written, then cleared away with everything before it.
    EXPECT_EQ(runtime.transcript(), (Lines{"Unit 12| display"}));
    const WindowContent& window = runtime->windows().trace_window();
    EXPECT_TRUE(window.lines.empty());
    const std::vector<Polyline> traces = polylines_in(window, blue);
    ASSERT_EQ(traces.size(), 3u);
    ASSERT_EQ(window.drawing.front().colour, blue);
    for (const Polyline& trace : traces) {
        // The move point, then one point per sample.
        ASSERT_EQ(trace.points.size(), 4001u);
        EXPECT_EQ(trace.points[0], trace.points[1]);
        EXPECT_EQ(trace.points[1].x, column_of(0.6f / 4000.0f));
        EXPECT_EQ(trace.points[4000].x, 600);
        for (int i = 2; i <= 4000; ++i) ASSERT_GE(trace.points[i].x, trace.points[i - 1].x);
    }
    EXPECT_EQ(traces[0].points[600].y, 30);
    EXPECT_EQ(traces[0].points[500].y, 269);
    EXPECT_EQ(traces[0].points[1].y, 150);
    EXPECT_EQ(traces[1].points[700].y, 299);
    EXPECT_EQ(traces[1].points[800].y, 0);
    EXPECT_EQ(traces[1].points[900].y, 299);
    EXPECT_EQ(traces[1].points[750].y, 150);
    for (const PixelPoint& point : traces[2].points) ASSERT_EQ(point.y, 150);
}

}  // namespace
}  // namespace mapari::beats_tests
