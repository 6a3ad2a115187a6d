// Accuracy of the whole analysis against planted activation and recovery
// times: synthetic recordings over seeds, noise levels and heart rates, each
// analysed by a complete session (selection, averaging, the four marks at the
// planted fiducial points, saving with the ARI file), the .ari file read back
// and compared lead by lead with the model the recording was made from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "beats/detection.hpp"
#include "golden_support.hpp"
#include "phases/trace_drawing.hpp"
#include "store/store.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari::golden_tests {
namespace {

struct Case {
    std::uint32_t seed = 1;
    int noise_rms = 0;
    int rate_bpm = 75;
    int second = 0;  // display second; later seconds read a 32-second recording
};

std::vector<Case> sweep() {
#ifdef MAPARI_SANITIZED
    // Sanitized builds run many times slower: every seed at the default rate,
    // every rate for one seed.
    const std::vector<std::uint32_t> seeds{1, 2, 3, 4, 5};
    std::vector<Case> cases;
    for (std::uint32_t seed : seeds)
        for (int noise : {0, 10, 30}) cases.push_back({seed, noise, 75});
    for (int noise : {0, 10, 30})
        for (int rate : {70, 100}) cases.push_back({1, noise, rate});
    cases.push_back({1, 10, 75, 28});
    return cases;
#else
    std::vector<Case> cases;
    for (std::uint32_t seed = 1; seed <= 10; ++seed)
        for (int noise : {0, 10, 30})
            for (int rate : {70, 75, 100}) cases.push_back({seed, noise, rate});
    for (std::uint32_t seed : {1u, 2u, 3u})
        for (int second : {12, 28}) cases.push_back({seed, 10, 75, second});
    return cases;
#endif
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << "seed " << c.seed << ", noise " << c.noise_rms << " RMS, " << c.rate_bpm
         << " bpm, display second " << c.second;
}

std::string case_name(const Case& c) {
    return "Seed" + std::to_string(c.seed) + "Noise" + std::to_string(c.noise_rms) + "Rate" +
           std::to_string(c.rate_bpm) + (c.second == 0 ? "" : "Second" + std::to_string(c.second));
}

struct ErrorFigures {
    double mean_abs = 0.0;
    int max_abs = 0;
    int within_3ms = 0;
};

ErrorFigures figures(const std::vector<int>& errors) {
    ErrorFigures f;
    for (int e : errors) {
        f.mean_abs += std::abs(e);
        f.max_abs = std::max(f.max_abs, std::abs(e));
        f.within_3ms += std::abs(e) <= 3;
    }
    f.mean_abs /= static_cast<double>(errors.size());
    return f;
}

std::string describe(const ErrorFigures& f) {
    std::ostringstream text;
    text << "mean |e| " << std::fixed << std::setprecision(2) << f.mean_abs << " ms, max "
         << f.max_abs << " ms, " << f.within_3ms << "/64 within 3 ms";
    return text.str();
}

class SynthAccuracy : public ::testing::TestWithParam<Case> {};

TEST_P(SynthAccuracy, AriTimesMatchThePlantedOnes) {
    const Case c = GetParam();
    synth::SynthSettings settings;
    settings.seed = c.seed;
    settings.seconds = c.second == 0 ? 4 : 32;
    settings.noise_rms = c.noise_rms;
    settings.rate_bpm = c.rate_bpm;
    const synth::SynthModel model = synth::make_model(settings);
    const std::vector<std::int16_t> samples = synth::render_samples(model);
    ScratchFolder folder;
    {
        std::ofstream out(folder.data() / "syntha.dat", std::ios::binary);
        out << encode_frames(samples);
        ASSERT_TRUE(out.good());
    }

    // The beats the program shows, to click exactly on one of them.
    auto store = read_stretch(folder.data(), "synth", "a", c.second);
    ASSERT_FALSE(HasFailure());
    detect_beats(store->settings, store->recording, store->display, display_last_candidate);

    // The first planted beat from sample 400 of the stretch on that is shown
    // within 20 ms of where the model puts its steepest fall. Planted marks
    // are frames of the file: sample = frame − 1000 s.
    const int first_frame = 1000 * c.second;
    const std::vector<int> shown = beat_list(*store);
    const synth::BeatMarks* beat = nullptr;
    int q = 0;
    for (const synth::BeatMarks& marks : model.beats) {
        const int peak = marks.qrs_peak - first_frame;
        if (beat != nullptr || peak < 400 || peak > 2800) continue;
        for (int p : shown) {
            if (std::abs(p - peak) <= 20) {
                beat = &marks;
                q = p;
            }
        }
    }
    ASSERT_NE(beat, nullptr) << "no planted beat from 400 to 2800 ms is shown";

    // After averaging, row 201 holds the selected beat and every other beat
    // aligned to it: a planted frame f of the selected beat is row
    // 201 + (f − 1000 s) − q.
    auto row_of_frame = [q, first_frame](int frame) { return beat_row + frame - first_frame - q; };
    const int c_stimulus = column_nearest_row(row_of_frame(beat->stimulus));
    const int c_q = column_nearest_row(row_of_frame(beat->q_onset));
    const int c_j = column_nearest_row(row_of_frame(beat->j_point));
    const int c_e = column_nearest_row(row_of_frame(beat->t_end));
    const int P = row_of_column(c_q), J = row_of_column(c_j), E = row_of_column(c_e);

    const std::string script = session_start("synth", "a", c.second) + "s\n@click " +
                               std::to_string(column_nearest_sample(q)) + "\ny\nx\nb\ns\n@click " +
                               std::to_string(c_stimulus) + "\n@click " + std::to_string(c_q) +
                               "\n@click " + std::to_string(c_j) + "\n@click " +
                               std::to_string(c_e) + "\ny\nd\nres\ny\nx\nx\n0\n0\n";
    const SessionRun run = run_session(script, folder);
    ASSERT_EQ(run.exit_code, 0) << run.errors << joined(run.transcript);
    ASSERT_EQ(value_after(run.transcript, selected_label), q) << joined(run.transcript);
    const std::optional<int> count = value_after(run.transcript, averaging_label);
    ASSERT_TRUE(count) << joined(run.transcript);
    EXPECT_GE(*count, 8) << "the selected beat itself is averaged";

    const std::optional<AriFile> ari = read_ari(folder.data() / "res.ari");
    ASSERT_TRUE(ari) << joined(run.transcript);
    EXPECT_EQ(ari->p, P);
    EXPECT_EQ(ari->j, J);
    EXPECT_EQ(ari->e, E);
    EXPECT_EQ(ari->h, 20);

    // Times are counted from P; where the nearest column misses the planted
    // Q onset row by one, the planted times move with P.
    const int offset = row_of_frame(beat->q_onset) - P;
    std::vector<int> at_errors, rt_errors;
    for (int l = 1; l <= map_leads; ++l) {
        const synth::LeadShape& lead = model.shape_of(l);
        const auto k = static_cast<std::size_t>(l - 1);
        at_errors.push_back(static_cast<int>(std::lround(ari->at[k])) -
                            (lead.activation_ms + offset));
        rt_errors.push_back(static_cast<int>(std::lround(ari->rt[k])) -
                            (lead.recovery_ms + offset));
    }
    const ErrorFigures at = figures(at_errors), rt = figures(rt_errors);
    RecordProperty("beats_averaged_per_pass", *count / 8);
    RecordProperty("q_onset_row_minus_p", offset);
    RecordProperty("at_mean_abs_ms", std::to_string(at.mean_abs));
    RecordProperty("at_max_abs_ms", at.max_abs);
    RecordProperty("at_within_3ms", at.within_3ms);
    RecordProperty("rt_mean_abs_ms", std::to_string(rt.mean_abs));
    RecordProperty("rt_max_abs_ms", rt.max_abs);
    RecordProperty("rt_within_3ms", rt.within_3ms);
    std::cout << "accuracy seed " << c.seed << " noise " << c.noise_rms << " rate " << c.rate_bpm
              << " second " << c.second << " (" << *count / 8 << " beats): AT " << describe(at)
              << "; RT " << describe(rt) << "\n";

    if (c.noise_rms == 0) {
        // Without noise the planted times are the steepest samples exactly;
        // only the 16-bit rounding of the samples stays, which can move the
        // peak of a fitted T-wave slope by one sample.
        EXPECT_EQ(at.max_abs, 0) << "AT " << describe(at);
        EXPECT_LE(rt.max_abs, 1) << "RT " << describe(rt);
    }
    if (c.noise_rms <= 10) {
        EXPECT_GE(at.within_3ms, 60) << "AT " << describe(at);
        EXPECT_GE(rt.within_3ms, 60) << "RT " << describe(rt);
    } else {
        // Three times the noise: still seven leads in eight.
        EXPECT_GE(at.within_3ms, 56) << "AT " << describe(at);
        EXPECT_GE(rt.within_3ms, 56) << "RT " << describe(rt);
    }
}

INSTANTIATE_TEST_SUITE_P(Sweep, SynthAccuracy, ::testing::ValuesIn(sweep()),
                         [](const ::testing::TestParamInfo<Case>& param_info) {
                             return case_name(param_info.param);
                         });

}  // namespace
}  // namespace mapari::golden_tests
