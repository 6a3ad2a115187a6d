// The automatic template beat and the automatic fiducial marks: beats planted
// by hand with correlations worked out by hand; synthetic paced recordings
// averaged as the program averages them, against their planted marks; beats
// built from the model's lead shapes; beats that cannot be marked; the rows of
// the beats found after the accepted ones; beats built from Gaussian humps and
// erf falls whose T ends and J points are worked out by hand; and the real
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
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <utility>
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
    // reach of 80 rows and 2.2 for the T wave's 150. The J point lies 3 / 2.5
    // times as far from the steepest point as the turn, on the planted mark;
    // the T end 14 ms before it. The alignment's jitter of a row or two
    // spreads the averaged fall a little more.
    EXPECT_GE(mean_signed(errors.j_point), -5.0);
    EXPECT_LE(mean_signed(errors.j_point), 2.0);
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

// ---- the beats found after the accepted ones ----

struct FoundRowsCase {
    const char* name;
    std::vector<AcceptedBeat> accepted;  // position and shift; the correlation plays no part
    std::vector<std::int16_t> found;     // the beat list, in the order found
    std::vector<std::int32_t> rows;
};

// A beat found at f lies at row 201 + f - (p + s) of the beat averaged from
// the accepted one at p shifted by s. Rows up to 201 + 300 lie within the
// refractory time of the accepted beat, rows past 1024 outside the beat.
TEST(AutomaticMarks, FoundBeatRowsAreTheLaterBeatsSeenFromEachAcceptedOne) {
    const std::vector<FoundRowsCase> cases{
        {"nothing accepted", {}, {1000, 1400, 1800}, {}},
        {"nothing found after it", {{1800, 0}}, {1000, 1400, 1800}, {}},
        // 201 + 1400 - 1000 = 601; 201 + 1800 - 1000 = 1001; 201 + 1000 - 1000 = 201.
        {"the beats after one accepted beat", {{1000, 0}}, {1000, 1400, 1800}, {601, 1001}},
        // 201 + 1400 - (1000 + 3) = 598; 201 + 1400 - (1000 - 4) = 605.
        {"the shift moves the rows", {{1000, 3}}, {1000, 1400}, {598}},
        {"a shift back moves them on", {{1000, -4}}, {1000, 1400}, {605}},
        // 201 + 300 = 501 is the refractory time's last row, 502 the first after it.
        {"a beat 300 ms on was a T wave", {{1000, 0}}, {1000, 1300}, {}},
        {"a beat 301 ms on counts", {{1000, 0}}, {1000, 1301}, {502}},
        // 201 + 823 = 1024, the beat's last row.
        {"the last row of the beat", {{1000, 0}}, {1000, 1823}, {1024}},
        {"past the last row", {{1000, 0}}, {1000, 1824}, {}},
        // From 1000: 1001 (2600 and 2200 land past 1024); from 1800 shifted by
        // 2: 201 + 2600 - 1802 = 999 and 201 + 2200 - 1802 = 599. Neither
        // accepted beat counts itself (rows 201 and 199).
        {"each accepted beat, in order of row",
         {{1000, 0}, {1800, 2}},
         {2600, 1000, 2200, 1800},
         {599, 999, 1001}},
    };
    for (const FoundRowsCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto beat = std::make_unique<Beat>();
        for (const AcceptedBeat& accepted : c.accepted)
            beat->accepted_beats(++beat->accepted_count) = accepted;
        auto display = std::make_unique<Display>();
        int slot = 0;
        for (std::int16_t position : c.found) display->beat_list(++slot) = position;
        EXPECT_EQ(found_beat_rows(*beat, *display), c.rows);
    }
}

// ---- the T end of each lead ----

double normal_density(double u) {
    return std::exp(-0.5 * u * u) / std::sqrt(2.0 * std::numbers::pi);
}
double normal_distribution(double u) {
    return 0.5 * std::erfc(-u / std::numbers::sqrt2);
}

// A wave of unit height: a Gaussian hump `width_rows` wide about its centre,
// or a plateau that rises sharply (an erf 10 rows wide) 70 rows before the
// centre and falls there as an erf `width_rows` wide.
struct Wave {
    enum Kind { hump, fall } kind = hump;
    double centre_row = 0.0;
    double width_rows = 0.0;

    static constexpr double rise_lead_rows = 70.0, rise_width_rows = 10.0;

    double value(double row) const {
        const double u = (row - centre_row) / width_rows;
        if (kind == hump) return std::exp(-0.5 * u * u);
        return normal_distribution((row - centre_row + rise_lead_rows) / rise_width_rows) -
               normal_distribution(u);
    }
    double slope(double row) const {
        const double u = (row - centre_row) / width_rows;
        if (kind == hump) return -u / width_rows * std::exp(-0.5 * u * u);
        return normal_density((row - centre_row + rise_lead_rows) / rise_width_rows) /
                   rise_width_rows -
               normal_density(u) / width_rows;
    }
    // Where it peaks: a hump at its centre; the plateau where its rise and fall
    // balance, phi((70 - d) / 10) / 10 = phi(d / w) / w: d = 45 rows before
    // the fall for w = 18.
    double peak_row() const { return kind == hump ? centre_row : centre_row - 45.0; }
    // Where it falls most steeply: a hump one width past its centre, a fall at it.
    double steepest_row() const { return kind == hump ? centre_row + width_rows : centre_row; }
    // How far the chord reaches past the steepest point: 150 rows for a T
    // wave, 80 for a QRS.
    double reach = 150.0;
    double reach_rows() const { return reach; }
};

// The row where the trapezium from the steepest point s, over a chord to row
// s + x and on level to s + R, has the largest area (f(s) - f(s + x)) (2R - x):
// where -f'(s + x) (2R - x) = f(s) - f(s + x), found by bisection. For a fall
// of width w, with u = x / w, that is phi(u) (2R / w - u) = Phi(u) - 1/2; for
// a hump, with v = 1 + x / w, v exp(-v^2 / 2) (2R / w - v + 1) = exp(-1/2) -
// exp(-v^2 / 2).
double trapezium_end_row(const Wave& wave) {
    const double s = wave.steepest_row(), reach = wave.reach_rows();
    const auto excess = [&](double x) {
        return -wave.slope(s + x) * (2.0 * reach - x) - (wave.value(s) - wave.value(s + x));
    };
    EXPECT_LT(excess(reach), 0.0) << "the largest trapezium lies within the reach";
    double low = 0.0, high = reach;
    for (int step = 0; step < 50; ++step) {
        const double middle = 0.5 * (low + high);
        (excess(middle) > 0.0 ? low : high) = middle;
    }
    return s + low;
}

void add_wave(Beat& beat, int lead, const Wave& wave, double height) {
    for (int r = 1; r <= averaged_rows; ++r)
        beat.averaged(r, lead) += static_cast<float>(height * wave.value(r));
}

// The model's QRS (Q onset at row 150, J near row 245) with the wave in every
// lead, lead l as high as 400 + 3 l, turned over in every lead (polarity -1)
// or in the odd leads (polarity 0).
std::unique_ptr<Beat> beat_with_t_wave(const Wave& wave, int polarity = 1) {
    auto beat = beat_without_t_wave(0.0f);
    for (int l = 1; l <= lead_count; ++l) {
        const int sign = polarity == 0 ? (l % 2 == 1 ? -1 : 1) : polarity;
        add_wave(*beat, l, wave, sign * (400.0 + 3.0 * l));
    }
    return beat;
}

struct TEndCase {
    const char* name;
    Wave wave;
};

// The hump 40 wide at 400 falls most steeply at 440 and ends at 502.5
// (v = 2.56); 60 wide at 420, at 480, ends at 561.0 (v = 2.35); the fall at 450 ends at
// 490.0 (u = 2.22). The sign of each lead's wave is its own.
TEST(AutomaticMarks, TEndIsWhereTheLeadsTWavesTurnLevelInEitherPolarity) {
    const std::vector<TEndCase> cases{
        {"a hump 40 rows wide: the chord reaches 150 rows", {Wave::hump, 400.0, 40.0}},
        {"a hump 60 rows wide", {Wave::hump, 420.0, 60.0}},
        {"an erf fall 18 rows wide", {Wave::fall, 450.0, 18.0}},
    };
    for (const TEndCase& c : cases) {
        const double expected = trapezium_end_row(c.wave);
        for (int polarity : {1, -1, 0}) {
            SCOPED_TRACE(std::string(c.name) + ", polarity " + std::to_string(polarity));
            const AutomaticMarks marks = find_automatic_marks(*beat_with_t_wave(c.wave, polarity));
            EXPECT_EQ(marks.problem, "");
            EXPECT_NEAR(marks.t_end, expected, 2.0);
        }
    }
}

// The RMS edge of a wave whose leads share one shape: the RMS is the shape
// scaled, so the edge's end is the zero of the least-squares line through the
// cube root of the shape over the rows of its fall from half its peak down to
// 2 % of it.
double cube_root_line_zero(const Wave& wave) {
    const double peak = wave.value(wave.peak_row());
    int first = static_cast<int>(wave.peak_row());
    while (wave.value(first) > 0.5 * peak) ++first;
    double count = 0.0, row_sum = 0.0, root_sum = 0.0, cross_sum = 0.0, square_sum = 0.0;
    for (int r = first; wave.value(r) > 0.02 * peak; ++r) {
        const double root = std::cbrt(wave.value(r));
        count += 1.0;
        row_sum += r;
        root_sum += root;
        cross_sum += r * root;
        square_sum += static_cast<double>(r) * r;
    }
    const double slope =
        (cross_sum - row_sum * root_sum / count) / (square_sum - row_sum * row_sum / count);
    return (row_sum - root_sum / slope) / count;
}

// The RMS edge stays beside the leads' T end as a second estimate: 543 for
// the hump at 400 (3.6 widths on), 505 for the fall at 450 (3.1 widths on),
// where the leads' trapezia end at 503 and 490.
TEST(AutomaticMarks, KeepTheRmsEdgeAsTheIndependentTEnd) {
    const std::vector<TEndCase> cases{
        {"a hump", {Wave::hump, 400.0, 40.0}},
        {"an erf fall", {Wave::fall, 450.0, 18.0}},
    };
    for (const TEndCase& c : cases) {
        SCOPED_TRACE(c.name);
        const AutomaticMarks marks = find_automatic_marks(*beat_with_t_wave(c.wave));
        EXPECT_NEAR(marks.t_end_independent, cube_root_line_zero(c.wave), 2.0);
        EXPECT_NEAR(marks.t_end, trapezium_end_row(c.wave), 2.0);
    }
}

// The tangent at the steepest point of a fall, met with the baseline: a hump
// w wide falls most steeply one width past its centre, at exp(-1/2) of its
// height, and its tangent meets the baseline a width further on (480 for the
// hump 40 wide at 400); an erf fall w wide at c, at half its height there,
// at c + w sqrt(pi / 2) (472.6 for the fall 18 wide at 450).
TEST(AutomaticMarks, TheTangentTEndIsWhereTheSteepestFallMeetsTheBaseline) {
    const std::vector<TEndCase> cases{
        {"a hump", {Wave::hump, 400.0, 40.0}},
        {"an erf fall", {Wave::fall, 450.0, 18.0}},
    };
    for (const TEndCase& c : cases) {
        const double s = c.wave.steepest_row();
        const double expected = s - c.wave.value(s) / c.wave.slope(s);
        for (int polarity : {1, -1}) {
            SCOPED_TRACE(std::string(c.name) + ", polarity " + std::to_string(polarity));
            const AutomaticMarks marks = find_automatic_marks(*beat_with_t_wave(c.wave, polarity));
            EXPECT_NEAR(marks.t_end_tangent, expected, 2.0);
            EXPECT_LT(marks.t_end_tangent, marks.t_end);
        }
    }
}

struct LaterLeadCase {
    const char* name;
    double share;                                 // of the other leads' T wave's height, signed
    int later_leads;                              // leads 17, 18, ... whose wave comes later
    double expected_centre_row;                   // of the wave whose end is the T end
    enum { none, later, every } left_out = none;  // leads the marks are not taken from
};

// Every lead's T wave a hump 40 rows wide at row 400, 400 high; some leads'
// 40 rows later. Their end counts when their wave is at least a tenth as
// high as the largest, however few of them there are: 20, 16 or 2 of the 64,
// unless they are left out (bad leads); leaving out every lead leaves none out.
TEST(AutomaticMarks, TEndIsTheLatestOverTheLeadsWithATWave) {
    const std::vector<LaterLeadCase> cases{
        {"an eighth as high", 0.125, 20, 440.0},
        {"an eighth as deep", -0.125, 20, 440.0},
        {"a twelfth as high: left out", 1.0 / 12, 20, 400.0},
        {"a twelfth as deep: left out", -1.0 / 12, 20, 400.0},
        {"a quarter of the leads", 1.0, 16, 440.0},
        {"two leads alone", 1.0, 2, 440.0},
        {"two leads left out", 1.0, 2, 400.0, LaterLeadCase::later},
        {"every lead left out: all are used", 1.0, 2, 440.0, LaterLeadCase::every},
    };
    const Wave common{Wave::hump, 400.0, 40.0};
    for (const LaterLeadCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto beat = beat_without_t_wave(0.0f);
        for (int l = 1; l <= lead_count; ++l) {
            if (l >= 17 && l < 17 + c.later_leads)
                add_wave(*beat, l, {Wave::hump, 440.0, 40.0}, c.share * 400.0);
            else
                add_wave(*beat, l, common, 400.0);
        }
        LeadsLeftOut left_out{};
        for (int l = 1; l <= lead_count; ++l)
            left_out[static_cast<std::size_t>(l - 1)] =
                c.left_out == LaterLeadCase::every ||
                (c.left_out == LaterLeadCase::later && l >= 17 && l < 17 + c.later_leads);
        const AutomaticMarks marks = find_automatic_marks(*beat, {}, left_out);
        EXPECT_EQ(marks.problem, "");
        EXPECT_NEAR(marks.t_end, trapezium_end_row({Wave::hump, c.expected_centre_row, 40.0}), 2.0);
    }
}

// ---- a beat found after the T wave ----

struct FoundBeatCase {
    const char* name;
    Wave t_wave;
    Wave other_wave;      // a second wave in every lead
    double other_height;  // in units of the T wave's height (400)
    std::vector<std::int32_t> found_rows;
    double t_peak_row;
    double t_end_row;        // 0: not looked at
    std::int32_t end_bound;  // the row the T end lies before; 0: none
};

// A hump 30 rows wide, 1200 high at row 600 (a premature beat's slow wave)
// moves at most 1200 exp(-1/2) / 30 = 24 a row, too slowly to be seen as a
// beat beside the QRS; a beat found at row 600 has its QRS from about
// 600 - (201 - 150) = 549, the Q onset lying near row 150.
// A T wave found as a beat sits on the T wave's own peak, with nothing before
// its QRS but the QRS of the beat; a small wave there (a fifth of the T wave)
// does not make it a beat either, one three tenths as high does: that wave
// is then the T wave. A broad T wave found as a beat on its fall, at row 480
// (its QRS from 429), has a wave before it, yet one that has not come down:
// the hump 40 wide at 400 is still exp(-(29/40)^2 / 2) = 0.77 of its height
// at 429. Found at 500 (from 449), it has come down to exp(-(49/40)^2 / 2) =
// 0.47 of it, below a half: a beat that holds the T end at its QRS.
TEST(AutomaticMarks, ABeatFoundAfterTheTWaveBoundsIt) {
    const Wave t_at_330{Wave::hump, 330.0, 25.0}, t_at_400{Wave::hump, 400.0, 25.0};
    const Wave slow{Wave::hump, 600.0, 30.0}, bump{Wave::hump, 300.0, 8.0};
    const Wave broad_t{Wave::hump, 400.0, 40.0};
    const double end_330 = trapezium_end_row(t_at_330), end_400 = trapezium_end_row(t_at_400);
    const std::vector<FoundBeatCase> cases{
        {"a slow beat not found is taken for the T wave", t_at_330, slow, 3, {}, 600, 0, 0},
        {"found, it bounds the T wave", t_at_330, slow, 3, {600}, 330, end_330, 549},
        {"the first found beat bounds it", t_at_330, slow, 3, {600, 900}, 330, end_330, 549},
        {"a T wave found as a beat", t_at_400, bump, 0, {400}, 400, end_400, 0},
        {"a small wave before it", t_at_400, bump, 0.2, {400}, 400, end_400, 0},
        // The found beat's QRS from 400 - 51 = 349.
        {"a wave before it", t_at_400, bump, 0.3, {400}, 300, 0, 349},
        {"found on the fall of the T wave",
         broad_t,
         bump,
         0,
         {480},
         400,
         trapezium_end_row(broad_t),
         0},
        {"found where the T wave has come below half", broad_t, bump, 0, {500}, 400, 0, 451},
    };
    for (const FoundBeatCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto beat = beat_without_t_wave(0.0f);
        for (int l = 1; l <= lead_count; ++l) {
            add_wave(*beat, l, c.t_wave, 400.0);
            add_wave(*beat, l, c.other_wave, c.other_height * 400.0);
        }
        const AutomaticMarks marks = find_automatic_marks(*beat, c.found_rows);
        EXPECT_NEAR(marks.t_peak, c.t_peak_row, 2.0);
        EXPECT_EQ(marks.problem, "");
        if (c.t_end_row != 0.0) {
            EXPECT_NEAR(marks.t_end, c.t_end_row, 2.0);
        }
        if (c.end_bound != 0) {
            EXPECT_LT(marks.t_end, c.end_bound);
        }
    }
}

// A paced QRS much smaller than its spike moves slowly: a hump 25 rows wide
// and 400 high at row 260 at most 400 exp(-1/2) / 25 = 9.7 a row, so the
// beat is at rest below 0.3 of it, 2.9. Its T wave, the same hump 30 wide at
// row 500, moves faster than that from 2.3 widths before its peak (u
// exp(-u^2 / 2) = 2.9 / (400 / 30)): the next beat is not there, it begins
// with a spike moving as fast as this one (1500, 3000 and 1500 high at rows
// 189 to 191: 1500 a row about its top), and the T end is the hump's.
TEST(AutomaticMarks, TheTWaveOfASlowPacedQrsIsNoNextBeat) {
    auto beat = std::make_unique<Beat>();
    const Wave t_wave{Wave::hump, 500.0, 30.0};
    for (int l = 1; l <= lead_count; ++l) {
        add_wave(*beat, l, {Wave::hump, 260.0, 25.0}, 400.0 + l);
        add_wave(*beat, l, t_wave, 400.0 - l);
        beat->averaged(189, l) += 1500.0f;
        beat->averaged(190, l) += 3000.0f;
        beat->averaged(191, l) += 1500.0f;
    }
    const AutomaticMarks marks = find_automatic_marks(*beat);
    EXPECT_EQ(marks.problem, "");
    EXPECT_TRUE(marks.stimulus_found);
    EXPECT_NEAR(marks.t_peak, 500, 2.0);
    EXPECT_NEAR(marks.t_end, trapezium_end_row(t_wave), 2.0);
}

struct QrsEndCase {
    double width_rows;  // of the QRS, a Gaussian hump at row 201
    double turn_row;    // where the trapezium turns on its fall, worked out below
};

// A QRS as a Gaussian hump w wide at row 201, the same in every lead (lead l
// 1000 + 5 l high), with a T wave (a hump 40 wide, 300 high, at row 500): its
// fall is steepest at 201 + w, and the trapezium with the QRS's 80-row chord
// turns where v exp(-v^2 / 2) (2 80 / w - v + 1) = exp(-1/2) - exp(-v^2 / 2),
// v = 1 + x / w: x = 16.0 rows past the steepest point for w = 8 (v = 3.00),
// 22.0 for w = 12 (v = 2.83), 27.3 for w = 16 (v = 2.70). The hump keeps
// falling until the T wave rises, so the J point lies 3 / 2.5 times as far
// from the steepest point as the turn: 19.2, 26.4 and 32.7 rows, 3.2, 4.4 and
// 5.5 rows past the turn (rows 228.2, 239.4 and 249.7).
TEST(AutomaticMarks, JPointIsWhereAFallShapedAsAnErfHasNoFallLeftToSee) {
    const std::vector<QrsEndCase> cases{
        {8.0, 201.0 + 8.0 + 16.0}, {12.0, 201.0 + 12.0 + 22.0}, {16.0, 201.0 + 16.0 + 27.25}};
    for (const QrsEndCase& c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width_rows));
        Wave qrs{Wave::hump, 201.0, c.width_rows};
        qrs.reach = 80.0;
        EXPECT_NEAR(trapezium_end_row(qrs), c.turn_row, 0.1);
        auto beat = std::make_unique<Beat>();
        for (int l = 1; l <= lead_count; ++l) {
            add_wave(*beat, l, qrs, 1000.0 + 5.0 * l);
            add_wave(*beat, l, {Wave::hump, 500.0, 40.0}, 300.0);
        }
        const AutomaticMarks marks = find_automatic_marks(*beat);
        EXPECT_EQ(marks.problem, "");
        const double steepest = qrs.steepest_row();
        EXPECT_NEAR(marks.j_point, steepest + 3.0 / 2.5 * (c.turn_row - steepest), 1.5);
    }
}

// ---- a split QRS ----

using WaveSum = std::vector<std::pair<Wave, double>>;  // waves and their heights

struct SplitQrsCase {
    std::string name;
    WaveSum first_leads;  // leads 1 to 32
    WaveSum other_leads;  // leads 33 to 64
    Wave last_lobe;
};

struct AbruptQrsCase {
    const char* name;
    int onset_row, peak_row, end_row;  // the triangle's corners, equal in every lead
};

// A QRS that starts and ends with a corner, no smooth departure: a triangle
// from the onset to the peak (1000 high) and back down to its end, in every
// lead, with a T wave (a hump 40 wide at row 400) after it. The Q onset lies
// on its corner: what each lead has reached lies level up to the onset, and
// the trapezium's largest area is at a corner. The J point is carried past
// the corner by up to a fifth of the fall (3 / 2.5 times as far from its
// steepest point, its first row, as the turn), as a tail would be that a
// corner lacks: never before the corner, and at most 4 rows past the fall of
// 20 rows, 14 past that of 70, 2 past that of 10.
TEST(AutomaticMarks, QOnsetAndJPointOfAnAbruptQrsLieOnItsCorners) {
    const std::vector<AbruptQrsCase> cases{
        {"narrow", 170, 195, 215},
        {"steep start, slow end", 160, 170, 240},
        {"slow start, steep end", 140, 200, 210},
    };
    for (const AbruptQrsCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto beat = constant_beat(0.0f);
        for (int l = 1; l <= lead_count; ++l) {
            const double sign = l % 3 == 0 ? -1.0 : 1.0;
            for (int r = c.onset_row; r <= c.end_row; ++r) {
                const double height = r <= c.peak_row
                                          ? double(r - c.onset_row) / (c.peak_row - c.onset_row)
                                          : double(c.end_row - r) / (c.end_row - c.peak_row);
                beat->averaged(r, l) = static_cast<float>(sign * 1000.0 * height);
            }
            add_wave(*beat, l, {Wave::hump, 400.0, 40.0}, 300.0);
        }
        const AutomaticMarks marks = find_automatic_marks(*beat);
        EXPECT_EQ(marks.problem, "");
        EXPECT_NEAR(marks.q_onset, c.onset_row, 2);
        EXPECT_GE(marks.j_point, c.end_row);
        EXPECT_LE(marks.j_point, c.end_row + (c.end_row - c.peak_row) / 5 + 1);
    }
}

struct FirstDeflectionCase {
    const char* name;
    Wave before;  // in every lead, 40 high, before the QRS; width 0: none
    int q_onset_first, q_onset_last;
};

// The abrupt QRS (a triangle from row 170 up to 1000 at 195 and down at 215,
// every third lead turned over; its onset found on its corner, its floor 20
// rows before that) with a small wave before it, 4 % of its height. The QRS
// moves at 1000 / 25 = 40 a row, so from 4 a row on (a tenth) the beat moves
// as a QRS still going on. A sharp deflection 1.5 rows wide at row 158
// moves that fast where u exp(-u^2 / 2) 40 / 1.5 >= 4, from 2.3 widths
// before its centre: rows 155 on, so the onset is the row before, 154 (153 to
// 157 with the rounding of the spread). The same deflection at row 140 lies
// before the floor (row 150), and a slow wave 10 rows wide (a P wave) at row
// 150 moves at most 40 exp(-1/2) / 10 = 2.4 a row: neither moves the onset.
TEST(AutomaticMarks, QOnsetIsAtASmallSharpFirstDeflectionOfTheQrs) {
    const std::vector<FirstDeflectionCase> cases{
        {"the QRS alone", {Wave::hump, 0.0, 0.0}, 168, 172},
        {"a sharp first deflection", {Wave::hump, 158.0, 1.5}, 153, 157},
        {"a sharp deflection before the floor", {Wave::hump, 140.0, 1.5}, 168, 172},
        {"a slow wave before the QRS", {Wave::hump, 150.0, 10.0}, 168, 172},
    };
    for (const FirstDeflectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto beat = constant_beat(0.0f);
        for (int l = 1; l <= lead_count; ++l) {
            const double sign = l % 3 == 0 ? -1.0 : 1.0;
            for (int r = 170; r <= 215; ++r)
                beat->averaged(r, l) = static_cast<float>(
                    sign * 1000.0 * (r <= 195 ? (r - 170) / 25.0 : (215 - r) / 20.0));
            add_wave(*beat, l, {Wave::hump, 400.0, 40.0}, 300.0);
            if (c.before.width_rows > 0.0) add_wave(*beat, l, c.before, sign * 40.0);
        }
        const AutomaticMarks marks = find_automatic_marks(*beat);
        EXPECT_EQ(marks.problem, "");
        EXPECT_GE(marks.q_onset, c.q_onset_first);
        EXPECT_LE(marks.q_onset, c.q_onset_last);
    }
}

struct PacedCase {
    const char* name;
    double spike_width_rows;  // the Gaussian spike's standard deviation
    double tail_height;       // of the spike's tail running into the QRS; 0: none
    int q_onset_first, q_onset_last;
    std::int32_t stimulus;  // 0: the Q onset
};

// A paced beat: in every lead a Gaussian spike 1000 high at row 195, larger
// than its QRS (a hump 300 deep, 25 wide, at row 290), and a T wave (150
// high, 50 wide, at row 560); with a tail, the spike leaves the leads raised
// by `tail_height`, falling as exp(-(r - 195) / 60) from row 196 into the
// QRS. A spike 1 row wide is at half height on rows 194 to 196 (exp(-1/2) =
// 0.61); one width past them, rows 200 to 202 lie at 0 without a tail and at
// 300 exp(-6 / 60) = 271 with one, above a tenth of the spike. So the QRS
// begins after the spike, at row 197, where the signal comes back to the
// baseline, and where the spike leaves it where its tail runs into the QRS:
// before its first row at half height, and no earlier than 4 widths before
// its peak (0.03 % of it) less the 2 rows either side the RMS is smoothed
// over. A spike 4 rows wide is at half height on rows 191 to 199 (4.7 rows
// either side of 195); the Q onset, with a tail, lies from row 177 to 190.
TEST(AutomaticMarks, QOnsetOfAPacedBeatIsAtItsSpikeWhereTheSpikesTailRunsIntoTheQrs) {
    const std::vector<PacedCase> cases{
        {"narrow spike, back to the baseline", 1.0, 0.0, 197, 197, 194},
        {"narrow spike, its tail running into the QRS", 1.0, 300.0, 189, 193, 0},
        {"wide spike, back to the baseline", 4.0, 0.0, 200, 200, 191},
        {"wide spike, its tail running into the QRS", 4.0, 300.0, 177, 190, 0},
    };
    for (const PacedCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto beat = constant_beat(0.0f);
        for (int l = 1; l <= lead_count; ++l) {
            add_wave(*beat, l, {Wave::hump, 195.0, c.spike_width_rows}, 1000.0);
            add_wave(*beat, l, {Wave::hump, 290.0, 25.0}, -300.0);
            add_wave(*beat, l, {Wave::hump, 560.0, 50.0}, 150.0);
            for (int r = 196; r <= averaged_rows; ++r)
                beat->averaged(r, l) +=
                    static_cast<float>(c.tail_height * std::exp(-(r - 195) / 60.0));
        }
        const AutomaticMarks marks = find_automatic_marks(*beat);
        EXPECT_EQ(marks.problem, "");
        EXPECT_TRUE(marks.stimulus_found);
        EXPECT_GE(marks.q_onset, c.q_onset_first);
        EXPECT_LE(marks.q_onset, c.q_onset_last);
        EXPECT_EQ(marks.stimulus, c.stimulus != 0 ? c.stimulus : marks.q_onset);
    }
}

struct PacedStCase {
    const char* name;
    double noise;     // each row's deviation, +n, +n, -n, -n over and over; 0: none
    double st_depth;  // where the QRS's last edge gives way to the sloping ST segment
    int j_point_first, j_point_last;
};

// A paced beat: in every lead a spike 1000 high, 1 row wide, at row 195; a
// QRS 300 deep from row 250 to row 330, each edge an erf 8 rows wide; a
// sloping ST segment that falls with the QRS's first edge to `st_depth` below
// the baseline and rises in a straight line from row 330 to the baseline at
// row 420 (st_depth / 90 a row); and a T wave (150 high, 50 wide, at row 600).
// The noise moves every row's central difference by n: the iso-electric
// window's velocity is n, and where the beat's own slope s lies above n, a
// mean over rows moves as fast as s. Past row 330 the QRS's last edge rises
// at 300 phi(u) / 8 = 14.96 exp(-u^2 / 2) a row, u = (r - 330) / 8, on top of
// the ST segment's 60 / 90 = 0.67: it moves no faster than twice the noise
// (2) from 14.96 exp(-u^2 / 2) = 1.33 on, u = 2.20, row 347.6, while the
// segment still stands 60 (420 - 347.6) / 90 = 48 below the baseline (below a
// quarter of the QRS's 360). With a level ST segment that is at u = 2.01, row
// 346.0. Without noise nothing sinks into it, and the J point stays where no
// fall of the QRS's edge is left: no earlier than three widths past its
// steepest point (row 354), no later than the ST segment's end (row 420).
TEST(AutomaticMarks, JPointOfAPacedBeatIsWhereItsLastEdgeSinksIntoTheNoise) {
    const std::vector<PacedStCase> cases{
        {"sloping ST segment, noise", 1.0, 60.0, 346, 350},
        {"level ST segment, noise", 1.0, 0.0, 344, 348},
        {"sloping ST segment, no noise", 0.0, 60.0, 354, 420},
    };
    for (const PacedStCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto beat = constant_beat(0.0f);
        for (int l = 1; l <= lead_count; ++l) {
            add_wave(*beat, l, {Wave::hump, 195.0, 1.0}, 1000.0);
            add_wave(*beat, l, {Wave::hump, 600.0, 50.0}, 150.0);
            for (int r = 1; r <= averaged_rows; ++r) {
                const double qrs =
                    normal_distribution((r - 250) / 8.0) - normal_distribution((r - 330) / 8.0);
                const double st = std::clamp((420.0 - r) / 90.0, 0.0, 1.0);
                const double noise = (r / 2) % 2 == 0 ? c.noise : -c.noise;
                beat->averaged(r, l) += static_cast<float>(
                    -300.0 * qrs - c.st_depth * st * normal_distribution((r - 250) / 8.0) + noise);
            }
        }
        const AutomaticMarks marks = find_automatic_marks(*beat);
        EXPECT_EQ(marks.problem, "");
        EXPECT_TRUE(marks.stimulus_found);
        EXPECT_GE(marks.j_point, c.j_point_first);
        EXPECT_LE(marks.j_point, c.j_point_last);
    }
}

// A right bundle branch block's QRS: in the first 32 leads a sharp R (a hump
// 5 rows wide, 1500 high, at row 201) and an S (8 wide, 600 deep, 27 rows
// later); in the others a slower R' (12 wide, 600 high, its RMS 0.4 of the
// R's) 50 to 60 rows after the R. As the R falls into the S the RMS dips near
// row 213 to about 68, under a tenth of the R's 1019, while the leads still
// move at 27 to 56 a row over the next ten: above a tenth of the R's fastest
// (1500 exp(-1/2) / 5 / sqrt 2 = 130), below three tenths. In a notched QRS
// every lead falls from its R (10 wide) into an S (0.8 as deep) 55 rows
// later; as they cross zero together the RMS dips below 2 % of the R's while
// they move at 0.011 of its height a row, above a tenth of its fastest
// (0.06). The J point lies after the last lobe: past two widths after its
// peak, where it has fallen to exp(-2) = 14 % (the dips lie before its rise),
// and no later than its RMS edge, the zero of its cube-root line 3.6 widths
// after its peak.
TEST(AutomaticMarks, JPointIsAfterTheLastLobeOfASplitQrs) {
    const WaveSum r_and_s{{{Wave::hump, 201.0, 5.0}, 1500.0}, {{Wave::hump, 228.0, 8.0}, -600.0}};
    const Wave s_lobe{Wave::hump, 256.0, 10.0};
    const WaveSum notched{{{Wave::hump, 201.0, 10.0}, 1500.0}, {s_lobe, -1200.0}};
    std::vector<SplitQrsCase> cases{{"notched", notched, notched, s_lobe}};
    for (const int gap_rows : {50, 55, 60}) {
        const Wave r_prime{Wave::hump, 201.0 + gap_rows, 12.0};
        cases.push_back({"R' " + std::to_string(gap_rows) + " rows after R",
                         r_and_s,
                         {{r_prime, 600.0}},
                         r_prime});
    }
    for (const SplitQrsCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto beat = std::make_unique<Beat>();
        for (int l = 1; l <= lead_count; ++l) {
            for (const auto& [wave, height] : l <= 32 ? c.first_leads : c.other_leads)
                add_wave(*beat, l, wave, height);
            add_wave(*beat, l, {Wave::hump, 500.0, 40.0}, 300.0);
        }
        const AutomaticMarks marks = find_automatic_marks(*beat);
        EXPECT_EQ(marks.problem, "");
        EXPECT_GE(marks.j_point, c.last_lobe.centre_row + 2.0 * c.last_lobe.width_rows);
        EXPECT_LE(marks.j_point, cube_root_line_zero(c.last_lobe) + 2.0);
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
