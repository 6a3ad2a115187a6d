// The automatic template beat and the automatic fiducial marks: beats planted
// by hand with correlations worked out by hand; synthetic paced recordings
// averaged as the program averages them, against their planted marks; beats
// built from the model's lead shapes; beats that cannot be marked; and the real
// recordings where they are present.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "beat_support.hpp"
#include "beats/automatic_marks.hpp"
#include "beats/averaging.hpp"
#include "beats/beat_choice.hpp"
#include "beats/detection.hpp"
#include "beats/selection.hpp"
#include "support/real_data.hpp"
#include "support/stretch.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari::beats_tests {
namespace {

constexpr int beat_row = 201;  // the row of the averaged beat that holds the beat

// The beats of the display stretch, found and sorted as the recording is drawn.
void detect_as_drawn(Store& store) {
    detect_beats(store.settings, store.recording, store.display, display_last_candidate);
    sort_beats(store.display);
}

// ---- the template beat ----

constexpr int full_height = 900;  // a third of it, 300, keeps the shape exactly
constexpr int faint_height = 300;

void turn_first_display_lead_over(Store& store, int position) {
    for (int t = position - 40; t <= position + 40; ++t) {
        std::int16_t& value = store.recording.samples(channel_of_lead(display_leads[0]), t);
        value = static_cast<std::int16_t>(-value);
    }
}

struct ChoiceCase {
    const char* name;
    std::vector<int> beats;  // positions of full-height beats (plant_qrs)
    int upside_down = 0;     // a beat whose first display lead is turned over, or 0
    int faint_copy = 0;      // a beat a third as high, below the finder's threshold, or 0
    int chosen = 0;
    double mean_correlation = 0.0;
};

// Same-shaped beats correlate 1 at shift 0; a turned-over one correlates
// negatively at every shift, so its alignment keeps shift 0 and gives -1. Of
// four selectable beats with one turned over, a right one has the mean
// (1 + 1 - 1) / 3. The faint copy is the position the finder records last.
TEST(TemplateBeat, IsTheBeatTheOtherBeatsMatchBestOnTheMean) {
    const std::vector<int> train{500, 1300, 2100, 2900, 3700};
    const std::vector<ChoiceCase> cases{
        {"identical beats: the earliest", train, 0, 0, 500, 1.0},
        {"first beat turned over: the next", train, 500, 0, 1300, 1.0 / 3.0},
        {"a middle beat turned over", train, 2100, 0, 500, 1.0 / 3.0},
        {"the last position found is no beat", train, 2100, 300, 500, 1.0 / 3.0},
        {"one selectable beat: nothing to compare", {1000}, 0, 0, 1000, 0.0},
        {"no selectable beat", {3100}, 0, 0, 0, 0.0},
        {"no beat at all", {}, 0, 0, 0, 0.0},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto store = make_store();
        for (int p : c.beats) plant_qrs(*store, p, full_height);
        if (c.upside_down != 0) turn_first_display_lead_over(*store, c.upside_down);
        if (c.faint_copy != 0) plant_qrs(*store, c.faint_copy, faint_height);
        detect_as_drawn(*store);
        double mean_correlation = -9.0;
        EXPECT_EQ(choose_template_beat(store->settings, store->recording, store->display,
                                       mean_correlation),
                  c.chosen);
        EXPECT_NEAR(mean_correlation, c.mean_correlation, 1e-5);
    }
}

// ---- synthetic recordings ----

struct SynthCase {
    std::uint32_t seed = 1;
    int noise_rms = 0;
    int rate_bpm = 75;
};

// Every seed with every noise level, and rates from 70 to 120 across them.
std::vector<SynthCase> synth_table() {
    const int noises[] = {0, 10, 30};
    const int rates[] = {70, 85, 100, 120};
    std::vector<SynthCase> cases;
    for (std::uint32_t seed = 1; seed <= 10; ++seed)
        for (int k = 0; k < 3; ++k) cases.push_back({seed, noises[k], rates[(seed + k) % 4]});
    return cases;
}

// Selection of the position, then the averaging phase: eight passes.
void average_as_the_program_does(Store& store, std::int32_t position) {
    store.beat.selected_position = position;
    take_selected_beat(store.settings, store.recording, store.beat);
    start_averaging(store.beat);
    find_aligned_beats(store.settings, store.recording, store.display, store.beat);
    sum_averaging_passes(store.recording, store.beat);
    finish_averaging(store.beat);
}

struct MarkErrors {
    std::vector<int> stimulus, q_onset, j_point, t_end;
};

std::string summary(const char* name, const std::vector<int>& errors) {
    int largest = 0;
    double sum = 0.0;
    for (int e : errors) {
        largest = std::max(largest, std::abs(e));
        sum += std::abs(e);
    }
    std::ostringstream text;
    text << name << " max " << largest << " ms, mean " << std::fixed << std::setprecision(2)
         << sum / static_cast<double>(errors.size()) << " ms";
    return text.str();
}

double mean_size(const std::vector<int>& errors) {
    double sum = 0.0;
    for (int e : errors) sum += std::abs(e);
    return sum / static_cast<double>(errors.size());
}

double mean_signed(const std::vector<int>& errors) {
    double sum = 0.0;
    for (int e : errors) sum += e;
    return sum / static_cast<double>(errors.size());
}

// The marks of one synthetic recording against the template beat's planted ones.
void measure(const SynthCase& c, MarkErrors& errors) {
    const synth::SynthModel model = synth::make_model(
        {c.seed, 4, static_cast<double>(c.noise_rms), static_cast<double>(c.rate_bpm)});
    auto store = make_store();
    load_model(*store, model);
    detect_as_drawn(*store);
    double mean_correlation = 0.0;
    const std::int32_t position =
        choose_template_beat(store->settings, store->recording, store->display, mean_correlation);
    const auto planted = std::find_if(model.beats.begin(), model.beats.end(), [&](const auto& b) {
        return std::abs(b.qrs_peak - position) <= 20;
    });
    ASSERT_NE(planted, model.beats.end()) << "the template beat at " << position << " is no QRS";
    average_as_the_program_does(*store, position);
    // Every beat is summed at its aligned position; the others are aligned to the
    // template, which matches itself best unshifted, so row 201 is `position`.
    ASSERT_EQ(align_beat(store->settings, store->recording, store->beat, position), position);
    const auto row_of = [position](int frame) { return frame - (position - beat_row); };

    const AutomaticMarks marks = find_automatic_marks(store->beat);
    EXPECT_EQ(marks.problem, "");
    EXPECT_TRUE(marks.stimulus_found);
    errors.stimulus.push_back(marks.stimulus - row_of(planted->stimulus));
    errors.q_onset.push_back(marks.q_onset - row_of(planted->q_onset));
    errors.j_point.push_back(marks.j_point - row_of(planted->j_point));
    errors.t_end.push_back(marks.t_end - row_of(planted->t_end));
    EXPECT_LE(std::abs(errors.stimulus.back()), 3);
    EXPECT_LE(std::abs(errors.q_onset.back()), 5);
    EXPECT_LE(std::abs(errors.j_point.back()), 12);
    EXPECT_LE(std::abs(errors.t_end.back()), 20);
    EXPECT_GT(marks.t_end, marks.t_peak);
    EXPECT_GT(marks.t_peak, marks.j_point);
}

TEST(AutomaticMarks, LieAtThePlantedMarksOfSyntheticPacedRecordings) {
    MarkErrors errors;
    for (const SynthCase& c : synth_table()) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ", noise " + std::to_string(c.noise_rms) +
                     ", rate " + std::to_string(c.rate_bpm));
        measure(c, errors);
    }
    ASSERT_EQ(errors.t_end.size(), synth_table().size());
    std::cout << "automatic marks over " << errors.t_end.size()
              << " recordings: " << summary("stimulus", errors.stimulus) << "; "
              << summary("Q onset", errors.q_onset) << "; " << summary("J point", errors.j_point)
              << "; " << summary("T end", errors.t_end) << "\n";
    // On the mean well inside the bounds of single recordings.
    EXPECT_LE(mean_size(errors.stimulus), 1.0);
    EXPECT_LE(mean_size(errors.q_onset), 3.0);
    // The planted J point and T end lie three widths past the centre of the
    // latest lead's last fall (the S wave's return, 5 ms wide; the T wave's
    // fall, 18 ms). The trapezium's end of such an erf-shaped fall, with the
    // chord reaching R rows past its steepest point, lies u widths past it
    // where phi(u) (2 R / width - u) = Phi(u) - 1/2: u = 2.5 for the QRS's
    // reach of 80 rows and 2.2 for the T wave's 150, so the J point 3 ms and
    // the T end 14 ms before the planted marks; the
    // alignment's jitter of a row or two spreads the averaged fall a little more.
    EXPECT_GE(mean_signed(errors.j_point), -10.0);
    EXPECT_LE(mean_signed(errors.j_point), -3.0);
    EXPECT_GE(mean_signed(errors.t_end), -16.0);
    EXPECT_LE(mean_signed(errors.t_end), -8.0);
}

// ---- beats built from the model's lead shapes ----

constexpr int q_row = 150;

// The noiseless QRS and T wave of every lead, the Q onset at q_row.
std::unique_ptr<Beat> model_beat(const std::array<synth::LeadShape, lead_count>& leads) {
    auto beat = std::make_unique<Beat>();
    for (int l = 1; l <= lead_count; ++l)
        for (int r = 1; r <= averaged_rows; ++r)
            beat->averaged(r, l) = static_cast<float>(
                synth::beat_value(leads[static_cast<std::size_t>(l - 1)], r - q_row));
    return beat;
}

// A pacing spike: one row up, the next half as far down, a little different in each lead.
void add_spike(Beat& beat, int row) {
    for (int l = 1; l <= lead_count; ++l) {
        beat.averaged(row, l) += static_cast<float>(100 + l);
        beat.averaged(row + 1, l) -= static_cast<float>(100 + l) / 2.0f;
    }
}

struct SpikeCase {
    std::uint32_t seed = 1;
    int spike_row = 0;  // 0: no spike
};

TEST(AutomaticMarks, FindAPacingSpikeWhereThereIsOneAndTheQOnsetWhereThereIsNone) {
    const std::vector<SpikeCase> cases{{1, 0}, {2, 0}, {3, q_row - 6}, {4, q_row - 40}, {5, 60}};
    for (const SpikeCase& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ", spike " + std::to_string(c.spike_row));
        const synth::SynthModel model = synth::make_model({c.seed, 4, 0.0, 75.0});
        const synth::BeatMarks& planted = model.beats.front();
        auto beat = model_beat(model.leads);
        if (c.spike_row != 0) add_spike(*beat, c.spike_row);
        const AutomaticMarks marks = find_automatic_marks(*beat);
        EXPECT_EQ(marks.problem, "");
        EXPECT_EQ(marks.stimulus_found, c.spike_row != 0);
        EXPECT_EQ(marks.stimulus, c.spike_row != 0 ? c.spike_row : marks.q_onset);
        EXPECT_NEAR(marks.q_onset, q_row, 5);
        EXPECT_NEAR(marks.j_point, q_row + planted.j_point - planted.q_onset, 10);
        EXPECT_NEAR(marks.t_end, q_row + planted.t_end - planted.q_onset, 20);
        EXPECT_GT(marks.t_end, marks.t_peak);
    }
}

// ---- beats that cannot be marked ----

std::unique_ptr<Beat> constant_beat(float value) {
    auto beat = std::make_unique<Beat>();
    beat->averaged.fill(value);
    return beat;
}

// Uniform values from -100 to 100 (std::mt19937's output is fixed by the standard).
std::unique_ptr<Beat> noise_beat() {
    auto beat = std::make_unique<Beat>();
    std::mt19937 generator(7);
    for (float& value : beat->averaged.values)
        value = static_cast<float>(static_cast<int>(generator() % 201) - 100);
    return beat;
}

// The QRS of the model's leads with no T wave, and with `broad_t_height` a T wave
// as a Gaussian hump at row 600, 270 rows wide, that has not ended by row 1000:
// its steepest fall, at row 870, is too near the last rows for a chord of 150
// rows past it.
std::unique_ptr<Beat> beat_without_t_wave(float broad_t_height) {
    auto leads = synth::make_model({1, 4, 0.0, 75.0}).leads;
    for (synth::LeadShape& lead : leads) lead.t_amplitude = 0.0;
    auto beat = model_beat(leads);
    for (int l = 1; l <= lead_count; ++l)
        for (int r = 1; r <= averaged_rows; ++r)
            beat->averaged(r, l) +=
                broad_t_height *
                static_cast<float>(std::exp(-0.5 * std::pow((r - 600) / 270.0, 2)));
    return beat;
}

struct ProblemCase {
    const char* name;
    std::unique_ptr<Beat> beat;
    const char* problem;  // how the problem begins
    bool qrs_marked;      // whether the Q onset and J point were found before the problem
    std::int32_t t_end;   // 0 when not found
};

TEST(AutomaticMarks, SayWhyTheyCannotBeTrusted) {
    const char* flat = "every lead of the averaged beat is flat";
    ProblemCase cases[] = {
        {"zeros", constant_beat(0.0f), flat, false, 0},
        {"constant leads", constant_beat(1234.0f), flat, false, 0},
        {"noise only", noise_beat(), "no QRS stands out of the noise within 50 rows of row 201",
         false, 0},
        {"no T wave", beat_without_t_wave(0.0f), "no T wave between the J point and the next beat",
         true, 0},
        // The T end stands at the last row clear of the beat's end (1024 less the smoothing).
        {"T wave too long", beat_without_t_wave(300.0f), "T end past row 1000 (at row 1022)", true,
         1022},
    };
    for (const ProblemCase& c : cases) {
        SCOPED_TRACE(c.name);
        const AutomaticMarks marks = find_automatic_marks(*c.beat);
        EXPECT_EQ(marks.problem.substr(0, std::string(c.problem).size()), c.problem)
            << marks.problem;
        EXPECT_FALSE(marks.stimulus_found);
        EXPECT_EQ(marks.t_end, c.t_end);
        for (std::int32_t row : {marks.stimulus, marks.q_onset, marks.j_point})
            EXPECT_TRUE(c.qrs_marked ? row >= 1 && row <= 1000 : row == 0) << row;
    }
}

// ---- real recordings ----

// The marks of a real recording's stretch, averaged from the template chosen.
AutomaticMarks real_marks(const std::filesystem::path& folder, const char* variable, int second) {
    auto store = test_support::read_stretch(folder, "real", variable, second);
    detect_as_drawn(*store);
    double mean_correlation = 0.0;
    const std::int32_t position =
        choose_template_beat(store->settings, store->recording, store->display, mean_correlation);
    EXPECT_TRUE(is_selectable(position)) << position;
    if (!is_selectable(position)) return {};
    average_as_the_program_does(*store, position);
    AutomaticMarks m = find_automatic_marks(store->beat);
    std::cout << "real" << variable << " second " << second << ": template " << position
              << " (mean correlation " << mean_correlation << "), stimulus " << m.stimulus
              << (m.stimulus_found ? "" : " (none)") << ", Q " << m.q_onset << ", J " << m.j_point
              << ", T peak " << m.t_peak << ", T end " << m.t_end
              << (m.problem.empty() ? "" : ": " + m.problem) << "\n";
    return m;
}

// Marks in order and on rows that can be clicked, or a problem that says why not.
TEST(AutomaticMarks, AreInOrderOnTheRealRecordings) {
    const std::filesystem::path folder = test_support::real_data_folder();
    int present = 0;
    for (const char* variable : {"ptb010", "mit100", "sock01"}) {
        if (!std::filesystem::exists(folder / ("real" + std::string(variable) + ".dat"))) continue;
        ++present;
        for (int second : {0, 8, 16, 24}) {
            SCOPED_TRACE(std::string(variable) + " second " + std::to_string(second));
            const AutomaticMarks m = real_marks(folder, variable, second);
            EXPECT_FALSE(m.stimulus_found) << "no recording here is paced";
            const bool in_order = m.stimulus >= 1 && m.stimulus <= m.q_onset &&
                                  m.q_onset < m.j_point && m.j_point < m.t_peak &&
                                  m.t_peak < m.t_end && m.t_end <= 1000;
            EXPECT_TRUE(in_order || !m.problem.empty());
        }
    }
    if (present == 0) GTEST_SKIP() << "no real recording in " << folder;
}

}  // namespace
}  // namespace mapari::beats_tests
