// Signal averaging: alignment of each beat to the template, the range of
// positions summed, the eight passes and their lines, the mean, the drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "beat_support.hpp"
#include "beats/averaging.hpp"
#include "beats/correlation.hpp"
#include "beats/detection.hpp"
#include "beats/selection.hpp"
#include "phases/averaging.hpp"
#include "phases/plot.hpp"
#include "phases/point.hpp"
#include "phases/selection.hpp"
#include "phases/trace_drawing.hpp"

namespace mapari::beats_tests {
namespace {

constexpr const char* averaging_start = "Unit 12| 加算平均の計算中です。";
constexpr float untouched = -7.5f;

Lines averaging_lines(int count) {
    Lines lines{averaging_start};
    for (int second = 0; second <= 28; second += 4) lines.push_back("nn" + int12(second));
    lines.push_back("number of averaging:" + int12(count));
    lines.push_back("Unit 12| disp");
    return lines;
}

class Averaging : public ::testing::Test {
  protected:
    TemporaryFolder dir;
    std::unique_ptr<Store> store = make_store();
    ScriptedRuntime runtime{"", dir.path()};

    // The recording in the store prepared and drawn, as at the view menu.
    void show() {
        ASSERT_TRUE(prepare_display(*store, *runtime));
        runtime->open_trace_window();
        draw_recording(*store, *runtime);
    }
    void show_and_select(int q) {
        show();
        store->beat.selected_position = q;
        take_and_draw_beat(*store, *runtime);
    }
    Lines lines_of_averaging() const {
        const Lines all = runtime.transcript();
        return lines_from(all, find_line(all, averaging_start));
    }
    std::int16_t sample(int lead, int t) const {
        return store->recording.samples(channel_of_lead(lead), t);
    }

    // Three polylines of 1000 points: row i of display lead m at the height
    // of the averaged beat (i, m).
    void expect_averaged_drawing() const {
        const WindowContent& window = runtime.windows().trace_window();
        EXPECT_TRUE(window.lines.empty());
        const std::vector<Polyline> traces = polylines_in(window, blue);
        ASSERT_EQ(window.drawing.size(), 3u);
        ASSERT_EQ(traces.size(), 3u);
        const float step = (0.6f - 0.0f) / 1000.0f;
        for (int j = 0; j < 3; ++j) {
            ASSERT_EQ(traces[j].points.size(), 1001u);
            for (int i = 1; i <= 1000; ++i) {
                const float value = store->beat.averaged(i, display_leads[j]);
                const PixelPoint expected{column_of(step * static_cast<float>(i)),
                                          row_of(drawn_fraction(value, store->display.potmax))};
                ASSERT_EQ(traces[j].points[i], expected) << "lead " << j + 1 << " row " << i;
            }
        }
    }
};

TEST_F(Averaging, WithoutTemplateSaysSoAndGoesBackToTheView) {
    BeatTrain{}.fill(*store);
    show();
    store->beat.averaged.fill(untouched);
    store->beat.averaging_count = 5;
    const auto beat_list = store->display.beat_list;
    const auto sorted_beats = store->display.sorted_beats;
    const std::size_t lines_before = runtime.transcript().size();
    const std::size_t drawing_before = runtime.windows().trace_window().drawing.size();

    EXPECT_EQ(average_beats(*store, *runtime), Point::display);
    const Lines added = lines_from(runtime.transcript(), lines_before);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].rfind("Unit 12| ", 0), 0u) << added[0];
    EXPECT_NE(added[0], averaging_start);
    EXPECT_TRUE(runtime.windows().text_window().lines.empty());
    EXPECT_EQ(runtime.windows().trace_window().drawing.size(), drawing_before);
    EXPECT_EQ(store->beat.averaging_count, 5);
    for (float value : store->beat.averaged.values) ASSERT_EQ(value, untouched);
    EXPECT_EQ(store->display.beat_list.values, beat_list.values);
    EXPECT_EQ(store->display.sorted_beats.values, sorted_beats.values);
}

// Beats of height 1000 at 500, 1300, 2100, 2900 and 3700, every sample of
// the recording repeating with period 800. The four from 201 to 3000 are
// summed in each of the eight passes: 32. Their mean is any one of them.
TEST_F(Averaging, IdenticalBeatsGiveTheBeatBack) {
    const BeatTrain train;
    train.fill(*store);
    show_and_select(1300);
    EXPECT_EQ(average_beats(*store, *runtime), Point::correction_menu);

    std::vector<int> summed;
    for (int p : train.positions(4000))
        if (p >= 201 && p <= 3000) summed.push_back(p);
    const int count = 8 * static_cast<int>(summed.size());
    EXPECT_EQ(count, 32);
    EXPECT_EQ(lines_of_averaging(), averaging_lines(count));
    EXPECT_EQ(store->beat.averaging_count, count);
    for (int l = 1; l <= lead_count; ++l)
        for (int i = 1; i <= averaged_rows; ++i)
            ASSERT_EQ(store->beat.averaged(i, l), sample(l, summed.front() - 201 + i))
                << "lead " << l << " row " << i;
    expect_averaged_drawing();

    // The beat list is the last pass's find (equal beats: earliest first,
    // then the first missed minimum, a T wave); the sorted list holds the
    // aligned positions, 0 where a beat was rejected.
    const std::vector<int> planted = train.positions(4000);
    const int planted_count = static_cast<int>(planted.size());
    for (int j = 0; j < planted_count; ++j) EXPECT_EQ(store->display.beat_list(j + 1), planted[j]);
    const int extra = store->display.beat_list(planted_count + 1);
    EXPECT_NE(extra, 0);
    EXPECT_EQ(std::find(planted.begin(), planted.end(), extra), planted.end());
    std::vector<int> sorted;
    for (int s = 1; s <= 7; ++s) sorted.push_back(store->display.sorted_beats(s));
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{0, 0, 500, 1300, 2100, 2900, 3700}));
}

TEST_F(Averaging, SelectedBeatIsFoundAgainAtShiftZero) {
    BeatTrain{.vary = true}.fill(*store);
    show_and_select(1300);
    std::int16_t candidate[51];
    for (int i = 0; i < 51; ++i) candidate[i] = sample(13, 1275 + i);
    EXPECT_NEAR(sequence_correlation(store->beat.template_samples.data(), candidate, 51), 1.0f,
                1e-6f);
    EXPECT_EQ(align_beat(store->settings, store->recording, store->beat, 1300), 1300);
    // The search reaches 10 samples either way; a taller beat matches as well.
    EXPECT_EQ(align_beat(store->settings, store->recording, store->beat, 1297), 1300);
    EXPECT_EQ(align_beat(store->settings, store->recording, store->beat, 1310), 1300);
    EXPECT_EQ(align_beat(store->settings, store->recording, store->beat, 2893), 2900);
}

// Lead 13 repeats 0, 100, 300, −200, 50 with period 5 around sample 1000, so
// the candidates at shifts −10, −5, 0, 5, 10 equal the template exactly and
// their coefficients are the same number: the first of them stands.
TEST_F(Averaging, EqualCoefficientsKeepTheSmallestShift) {
    constexpr std::int16_t pattern[5] = {0, 100, 300, -200, 50};
    for (int t = 900; t <= 1100; ++t) store->recording.samples(21, t) = pattern[t % 5];
    store->beat.selected_position = 1000;
    take_and_draw_beat(*store, *runtime);
    EXPECT_EQ(align_beat(store->settings, store->recording, store->beat, 1000), 990);
    EXPECT_EQ(align_beat(store->settings, store->recording, store->beat, 1003),
              995);  // equal at −8, −3, 2, 7
}

// Template: a rising ramp. Around 2000 lead 13 falls steadily, so every
// shift correlates −1; around 3000 it is constant, correlating 0. No shift
// lifts the coefficient above 0.0, so shift 0 is taken when the recognition
// coefficient is 0 or below, and the beat is rejected otherwise.
TEST_F(Averaging, CoefficientAtOrBelowZeroTakesShiftZero) {
    store->beat.template_channel = 21;
    for (int i = 1; i <= 51; ++i)
        store->beat.template_samples(i) = static_cast<std::int16_t>(10 * i);
    for (int t = 1900; t <= 2100; ++t)
        store->recording.samples(21, t) = static_cast<std::int16_t>(-10 * (t - 1900));
    set_samples(*store, 21, 2900, 3100, 77);

    std::int16_t constant[51], falling[51];
    for (int i = 0; i < 51; ++i) {
        constant[i] = 77;
        falling[i] = static_cast<std::int16_t>(-10 * i);
    }
    EXPECT_EQ(sequence_correlation(store->beat.template_samples.data(), constant, 51), 0.0f);
    EXPECT_EQ(sequence_correlation(constant, store->beat.template_samples.data(), 51), 0.0f);
    EXPECT_NEAR(sequence_correlation(store->beat.template_samples.data(), falling, 51), -1.0f,
                1e-6f);

    struct Case {
        float coefficient;
        int at_2000, at_3000;
    };
    for (const Case& c :
         {Case{0.99f, 0, 0}, Case{0.01f, 0, 0}, Case{0.0f, 2000, 3000}, Case{-0.5f, 2000, 3000}}) {
        store->settings.recognition_coefficient = c.coefficient;
        EXPECT_EQ(align_beat(store->settings, store->recording, store->beat, 2000), c.at_2000)
            << c.coefficient;
        EXPECT_EQ(align_beat(store->settings, store->recording, store->beat, 3000), c.at_3000)
            << c.coefficient;
    }
}

class AveragedRange : public Averaging, public ::testing::WithParamInterface<int> {};

// Equal beats at 1500 (the template) and at X; lead 13 sits at 10 elsewhere
// so that potmax is never 0, the other leads vary from sample to sample.
// A beat aligned to X is summed only for X from 201 to 3000.
TEST_P(AveragedRange, OnlyPositionsFrom201To3000AreSummed) {
    const int x = GetParam();
    fill_varied(*store);
    set_samples(*store, 21, 1, 4000, 10);
    set_samples(*store, 31, 1, 4000, 0);
    set_samples(*store, 45, 1, 4000, 0);
    plant_qrs(*store, 1500, 1000);
    plant_qrs(*store, x, 1000);
    show_and_select(1500);
    EXPECT_EQ(average_beats(*store, *runtime), Point::correction_menu);

    std::vector<int> summed{1500};
    if (x >= 201 && x <= 3000) summed.push_back(x);
    const int count = 8 * static_cast<int>(summed.size());
    EXPECT_EQ(lines_of_averaging(), averaging_lines(count));
    for (int l = 1; l <= lead_count; ++l) {
        for (int i = 1; i <= averaged_rows; ++i) {
            double sum = 0.0;
            for (int q : summed) sum += sample(l, q - 201 + i);
            const auto mean = static_cast<float>(sum / static_cast<double>(summed.size()));
            ASSERT_FLOAT_EQ(store->beat.averaged(i, l), mean) << "lead " << l << " row " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Edges, AveragedRange, ::testing::Values(200, 201, 3000, 3001));

// A beat at 3850 lies beyond the display's search (to 3800) but within the
// averaging's (to 3900): the beat list after averaging shows it, and its
// aligned position heads the sorted list. It is not summed.
TEST_F(Averaging, SearchReachesSample3900) {
    set_samples(*store, 21, 1, 4000, 10);
    plant_qrs(*store, 1500, 1000);
    plant_qrs(*store, 3850, 1000);
    show_and_select(1500);
    EXPECT_EQ(store->display.beat_list(1), 1500);
    EXPECT_NE(store->display.beat_list(2), 3850);
    EXPECT_EQ(average_beats(*store, *runtime), Point::correction_menu);
    EXPECT_EQ(store->beat.averaging_count, 8);
    EXPECT_EQ(store->display.beat_list(1), 1500);
    EXPECT_EQ(store->display.beat_list(2), 3850);
    EXPECT_EQ(store->display.sorted_beats(1), 3850);
}

TEST_F(Averaging, ConstantDisplayLeadsGiveCountZeroAndFlatLines) {
    fill_varied(*store);
    set_samples(*store, 21, 1, 4000, 100);
    set_samples(*store, 31, 1, 4000, 200);
    set_samples(*store, 45, 1, 4000, -50);
    show_and_select(1000);
    EXPECT_EQ(average_beats(*store, *runtime), Point::correction_menu);
    EXPECT_EQ(lines_of_averaging(), averaging_lines(0));
    EXPECT_EQ(store->beat.averaging_count, 0);
    for (float value : store->beat.averaged.values) ASSERT_EQ(value, 0.0f);
    const std::vector<Polyline> traces = polylines_in(runtime.windows().trace_window(), blue);
    ASSERT_EQ(traces.size(), 3u);
    for (const Polyline& trace : traces)
        for (const PixelPoint& point : trace.points) ASSERT_EQ(point.y, 150);
}

// Eight passes as if each found its beats afresh: detected, sorted, aligned
// and summed in every pass.
void average_pass_by_pass(Store& store) {
    Display& display = store.display;
    start_averaging(store.beat);
    for (int pass = 0; pass < averaging_passes; ++pass) {
        detect_beats(store.settings, store.recording, display, averaging_last_candidate);
        sort_beats(display);
        const int found = count_sorted_beats(display);
        for (int s = 1; s <= found; ++s)
            display.sorted_beats(s) = static_cast<std::int16_t>(
                align_beat(store.settings, store.recording, store.beat, display.sorted_beats(s)));
        for (int s = 1; s <= found; ++s) {
            const int q = display.sorted_beats(s);
            if (q < first_averaged_ms || q > last_averaged_ms) continue;
            ++store.beat.averaging_count;
            for (int l = 1; l <= lead_count; ++l)
                for (int i = 1; i <= averaged_rows; ++i)
                    store.beat.averaged(i, l) +=
                        store.recording.samples(channel_of_lead(l), q - first_averaged_ms + i);
        }
    }
}

// The beats averaging accepts, found again: each beat the display's finding
// gives, aligned to the template, taken when its correlation reaches the
// coefficient and its aligned position lies from 201 to 3000.
std::vector<AcceptedBeat> recomputed_accepted_beats(Store& store) {
    Display& display = store.display;
    detect_beats(store.settings, store.recording, display, averaging_last_candidate);
    sort_beats(display);
    std::vector<AcceptedBeat> accepted;
    for (int s = 1, found = count_sorted_beats(display); s <= found; ++s) {
        const std::int32_t position = display.sorted_beats(s);
        const BeatAlignment best = best_alignment(store.recording, store.beat, position);
        const std::int32_t aligned = position + best.shift;
        if (best.correlation >= store.settings.recognition_coefficient &&
            aligned >= first_averaged_ms && aligned <= last_averaged_ms)
            accepted.push_back({position, best.shift, best.correlation});
    }
    return accepted;
}

std::vector<AcceptedBeat> recorded_accepted_beats(const Beat& beat) {
    std::vector<AcceptedBeat> accepted;
    for (int k = 1; k <= beat.accepted_count; ++k) accepted.push_back(beat.accepted_beats(k));
    return accepted;
}

template <typename Area>
bool same_bytes(const Area& a, const Area& b) {
    return std::memcmp(&a, &b, sizeof(Area)) == 0;
}

// Averages the store as the program does and a copy of it pass by pass, and
// expects the same sums, count, last candidate and display, and the beats
// recorded as accepted those a recomputation accepts, each summed once a pass.
void expect_as_pass_by_pass(Store& store) {
    auto reference = std::make_unique<Store>(store);
    const std::vector<AcceptedBeat> accepted = recomputed_accepted_beats(*reference);
    average_pass_by_pass(*reference);
    start_averaging(store.beat);
    find_aligned_beats(store.settings, store.recording, store.display, store.beat);
    sum_averaging_passes(store.recording, store.beat);
    EXPECT_EQ(store.beat.averaging_count, reference->beat.averaging_count);
    EXPECT_TRUE(same_bytes(store.beat.averaged, reference->beat.averaged));
    EXPECT_TRUE(same_bytes(store.beat.candidate, reference->beat.candidate));
    EXPECT_TRUE(same_bytes(store.display, reference->display));
    EXPECT_EQ(recorded_accepted_beats(store.beat), accepted);
    EXPECT_EQ(store.beat.averaging_count, averaging_passes * store.beat.accepted_count);
}

// Beats found once and summed in each pass leave the sums, the count and the
// display exactly as passes that each find the beats again, on noisy
// synthetic recordings where some beats are refused and shifts differ.
TEST(AveragingPasses, FoundOnceEqualFoundInEveryPass) {
    int recordings_with_refusals = 0;
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        for (float coefficient : {0.999f, 0.99f, 0.9f, 0.0f}) {
            SCOPED_TRACE(::testing::Message()
                         << "seed " << seed << ", coefficient " << coefficient);
            auto store = make_store();
            load_model(*store, synth::make_model({seed, 4, 40.0, 60.0 + 15.0 * seed}));
            store->settings.recognition_coefficient = coefficient;
            detect_beats(store->settings, store->recording, store->display, display_last_candidate);
            sort_beats(store->display);
            int s = 1;
            while (!is_selectable(store->display.sorted_beats(s))) ++s;
            store->beat.selected_position = store->display.sorted_beats(s);
            take_selected_beat(store->settings, store->recording, store->beat);
            expect_as_pass_by_pass(*store);
            const auto& found = store->display.beat_list.values;
            const auto& aligned = store->display.sorted_beats.values;
            if (std::count(found.begin(), found.end(), 0) <
                std::count(aligned.begin(), aligned.end(), 0))
                ++recordings_with_refusals;
        }
    }
    EXPECT_GT(recordings_with_refusals, 0) << "no case refused a beat";
}

// As many beats as the finding lets through, each at full scale in every map
// lead: the sums reach their largest magnitudes and stay the same floats.
TEST(AveragingPasses, DenseFullScaleBeatsEqualFoundInEveryPass) {
    auto store = make_store();
    for (int c = 1; c <= channel_count; ++c)
        set_samples(*store, c, 1, samples_per_reading, c % 2 == 0 ? 32767 : -32768);
    for (int k = 1; k <= display_lead_count; ++k)
        set_samples(*store, store->settings.lead_channel(k), 1, samples_per_reading, 0);
    for (int p = 150; p <= 3950; p += 101) plant_qrs(*store, p, 1000);
    store->settings.recognition_coefficient = 0.0f;
    store->beat.selected_position = 958;
    take_selected_beat(store->settings, store->recording, store->beat);
    expect_as_pass_by_pass(*store);
    EXPECT_GE(store->beat.averaging_count, 8 * 13);
}

}  // namespace
}  // namespace mapari::beats_tests
