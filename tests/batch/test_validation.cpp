// The arithmetic of measuring the marks: the stretches of a record to analyse,
// a moment of the source on the averaged beat's rows, the cardiologists' mark
// of an averaged beat worked out by hand, the error summary, and the planted
// marks of a synthetic recording put on the rows where the automatic marks fall.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_analysis.hpp"
#include "app/validation.hpp"
#include "batch_support.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {
namespace {

using importing::ExpertBeat;
using test_support::TemporaryFolder;

std::string describe(const std::vector<StretchPlace>& places) {
    std::string text;
    for (const StretchPlace& p : places)
        text += std::to_string(p.piece) + "/" + std::to_string(p.piece_first_frame) + "/" +
                std::to_string(p.display_second) + " ";
    return text;
}

TEST(Validation, StretchesEveryFourSecondsWhoseBeatsTheCardiologistsMarked) {
    // Pieces of a 100-s source: 32 s every 28 s, the last ending with the source.
    const std::vector<PieceSpan> pieces = {
        {0, 32000}, {28000, 32000}, {56000, 32000}, {84000, 16000}};
    struct Case {
        const char* what;
        std::vector<double> beats_ms;
        std::vector<PieceSpan> pieces;
        const char* places;  // piece/first frame/display second
    } cases[] = {
        // Beats are taken from stretch ms 200 to 2999: ceil((1070 - 150 - 200) / 1000) = 1, and
        // 5000 + 2999 <= 9200 + 150 but 9000 + 2999 is not.
        {"a 10-s record", {1070, 2000, 6000, 9200}, {{0, 10000}}, "0/0/1 0/0/5 "},
        // From 5 s beats are taken at 5200 to 7999, 150 ms about them: no beat marked there.
        {"a stretch without a marked beat", {1070, 2000, 9200}, {{0, 10000}}, "0/0/1 "},
        {"a marked beat 150 ms before the first sample taken",
         {1070, 5050, 9200},
         {{0, 10000}},
         "0/0/1 0/0/5 "},
        // The stretch from 26 s lies whole in the first piece only; 30 s and 34 s in the second.
        {"across pieces",
         {26000, 27000, 31000, 35000, 40000},
         pieces,
         "0/0/26 1/28000/2 1/28000/6 "},
        {"the last piece, short", {96000, 97000, 100000}, pieces, "3/84000/12 "},
        // From 97 s the stretch would run past the source's end at 100 s.
        {"a stretch past the source's end", {96400, 100000}, pieces, ""},
        {"beats from the start", {100, 5000}, pieces, "0/0/0 "},
        {"too few beats for a stretch", {1000, 3000}, pieces, ""},
        {"no beats", {}, pieces, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(stretches_within(c.beats_ms, c.pieces)), c.places);
    }
}

TEST(Validation, AMomentOfTheSourceLiesOnTheAlignedBeatsRows) {
    struct Case {
        StretchPlace place;
        AcceptedBeat beat;
        double source_ms, beat_ms, row;
    } cases[] = {
        // Stretch sample 1 is source ms 0; the beat aligned at 201 has it on row 1.
        {{0, 0, 0}, {201, 0, 1.0f}, 0.0, 200.0, 1.0},
        // 37498 - 28000 + 1 - 8000 = stretch sample 1499; 1499 - (1500 - 3) + 201 = 203.
        // The beat: 28000 + 8000 + 1500 - 1 = 37499.
        {{1, 28000, 8}, {1500, -3, 1.0f}, 37498.0, 37499.0, 203.0},
        // 1000.5 + 1 = sample 1001.5; 1001.5 - 1004 + 201 = 198.5.
        {{0, 0, 0}, {1000, 4, 1.0f}, 1000.5, 999.0, 198.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source_ms);
        EXPECT_DOUBLE_EQ(row_of(c.source_ms, c.place, c.beat), c.row);
        EXPECT_DOUBLE_EQ(beat_source_ms(c.place, c.beat), c.beat_ms);
    }
}

TEST(Validation, CardiologistsMarkIsTheMedianOverTheMatchedAcceptedBeats) {
    // At 250 Hz a sample is 4 ms. Rows: source ms + 1 - (position + shift) + 201.
    const std::vector<ExpertBeat> beats = {
        {250, 240, 260, 350},  // N 1000 ms: onset 960 -> 162, J 1040 -> 242, T end 1400 -> 602
        {450, 441, 461, {}},   // N 1800 ms: onset 1764 -> 164, J 1844 -> 244 (shift 2)
        {652, 642, 663, 750},  // N 2608 ms: onset 2568 -> 171, J 2652 -> 255, T end 3000 -> 603
        {900, 890, 910, 990},  // N 3600 ms: no accepted beat near
    };
    const std::vector<AcceptedBeat> accepted = {
        {1000, 0, 1.0f},   // at source ms 999
        {1800, 2, 1.0f},   // 1799
        {2600, -1, 1.0f},  // 2599, 9 ms from N 2608
        {2900, 0, 1.0f},   // 2899: 291 ms from the nearest N, more than 150: no match
    };
    const ExpertRows expert = expert_rows(beats, 250.0, StretchPlace{0, 0, 0}, accepted);
    EXPECT_EQ(expert.marked_beats, 3);
    ASSERT_TRUE(expert.rows[0] && expert.rows[1] && expert.rows[2]);
    EXPECT_DOUBLE_EQ(*expert.rows[0], 164.0);  // median of 162, 164, 171
    EXPECT_DOUBLE_EQ(*expert.rows[1], 244.0);  // median of 242, 244, 255
    EXPECT_DOUBLE_EQ(*expert.rows[2], 602.5);  // median of 602, 603
    EXPECT_EQ(expert.beat_rows[0], (std::vector<double>{162.0, 164.0, 171.0}));
    EXPECT_EQ(expert.beat_rows[2], (std::vector<double>{602.0, 603.0}));

    const ExpertRows none = expert_rows(beats, 250.0, StretchPlace{0, 0, 0}, {{2900, 0, 1.0f}});
    EXPECT_EQ(none.marked_beats, 0);
    EXPECT_FALSE(none.rows[0] || none.rows[1] || none.rows[2]);
}

TEST(Validation, AcceptedBeatsLabelledPrematureVentricularAreCounted) {
    // At 250 Hz: labels at samples 250 (1000 ms), 260 (1040 ms), 450 (1800 ms), 700 (2800 ms).
    using importing::Annotation;
    const auto label = [](std::int64_t sample, int type) {
        Annotation a;
        a.sample = sample;
        a.type = type;
        return a;
    };
    const std::vector<Annotation> labels = {
        label(250, 1),   // N at 1000 ms
        label(260, 28),  // a rhythm change 40 ms on: no beat, never the nearest
        label(450, 5),   // V at 1800 ms
        label(700, 5),   // V at 2800 ms
    };
    struct Case {
        const char* name;
        std::vector<AcceptedBeat> accepted;
        int premature;
    } cases[] = {
        {"none accepted", {}, 0},
        {"the normal beat, beside a rhythm label", {{1040, 0, 1.0f}}, 0},  // 1039: N 39 ms, + 1 ms
        {"a V within 150 ms", {{1900, 0, 1.0f}}, 1},                       // 1899: V 99 ms away
        {"a V 151 ms away", {{1952, 0, 1.0f}}, 0},                         // 1951
        {"two V and one N", {{1000, 0, 1.0f}, {1800, 2, 1.0f}, {2800, -1, 1.0f}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(premature_ventricular_beats(labels, 250.0, StretchPlace{0, 0, 0}, c.accepted),
                  c.premature);
    }
}

TEST(Validation, ReferenceErrorIsTheReferencesRowLessTheAnnotatorsWhereBothMarked) {
    ExpertRows annotator, reference;
    annotator.rows = {164.0, 244.0, std::nullopt};
    reference.rows = {170.5, std::nullopt, 610.0};
    // 170.5 - 164 = 6.5; the J point and T end were each marked by one of them only.
    EXPECT_EQ(reference_error_ms(reference, annotator, 0), std::optional<double>(6.5));
    EXPECT_EQ(reference_error_ms(reference, annotator, 1), std::nullopt);
    EXPECT_EQ(reference_error_ms(reference, annotator, 2), std::nullopt);
    // The other way round the sign turns: 164 - 170.5.
    EXPECT_EQ(reference_error_ms(annotator, reference, 0), std::optional<double>(-6.5));
}

TEST(Validation, TheCardiologistsSpreadIsPooledOverStretchesOfTwoOrMoreMarks) {
    const auto stretch = [](std::vector<double> t_ends) {
        ExpertRows rows;
        rows.beat_rows[2] = std::move(t_ends);
        return rows;
    };
    const ExpertRows pair = stretch({600, 604});         // mean 602: squares 4 + 4, 1 degree
    const ExpertRows triple = stretch({590, 596, 593});  // mean 593: 9 + 9 + 0, 2 degrees
    const ExpertRows single = stretch({700});            // one mark: no spread of its own
    const ExpertRows none = stretch({});
    struct Case {
        const char* name;
        std::vector<const ExpertRows*> stretches;
        std::size_t count, beats;
        double sd;
    } cases[] = {
        {"one pair", {&pair}, 1, 2, std::sqrt(8.0)},
        {"pooled, not the SD of all marks", {&pair, &triple, &single}, 2, 5, std::sqrt(26.0 / 3.0)},
        {"no stretch of two", {&single, &none}, 0, 0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MarkSpread spread = pooled_spread(c.stretches, 2);
        EXPECT_EQ(spread.stretches, c.count);
        EXPECT_EQ(spread.beats, c.beats);
        EXPECT_DOUBLE_EQ(spread.sd_ms, c.sd);
        EXPECT_EQ(pooled_spread(c.stretches, 0).stretches, 0U);  // no Q onset marked
    }
    // Spread 6 ms over stretches of 1, 2 and 4 marks: 6 sqrt((1 + 1/2 + 1/4) / 3).
    EXPECT_DOUBLE_EQ(spread_floor_ms({3, 9, 6.0}, {1, 2, 4}), 6.0 * std::sqrt(1.75 / 3.0));
    EXPECT_DOUBLE_EQ(spread_floor_ms({3, 9, 6.0}, {1, 1}), 6.0);
    EXPECT_DOUBLE_EQ(spread_floor_ms({3, 9, 6.0}, {}), 0.0);
}

TEST(Validation, MediansAndErrorSummaries) {
    EXPECT_DOUBLE_EQ(median({3, 1, 2}), 2.0);
    EXPECT_DOUBLE_EQ(median({4, 1, 3, 2}), 2.5);
    EXPECT_DOUBLE_EQ(median({5}), 5.0);
    struct Case {
        std::vector<double> errors;
        std::size_t count;
        double mean, sd, mean_absolute;
    } cases[] = {
        // mean -1; SD sqrt((2^2 + 2^2) / (2 - 1)) = sqrt(8); mean |error| (1 + 3) / 2 = 2.
        {{1, -3}, 2, -1.0, std::sqrt(8.0), 2.0},
        {{4}, 1, 4.0, 0.0, 4.0},
        {{}, 0, 0.0, 0.0, 0.0},
        // mean 2; SD sqrt((1 + 1 + 4 + 4) / 3); mean |error| (1 + 3 + 0 + 4) / 4 = 2.
        {{1, 3, 0, 4}, 4, 2.0, std::sqrt(10.0 / 3.0), 2.0},
    };
    for (const Case& c : cases) {
        const ErrorSummary summary = summarise_errors(c.errors);
        EXPECT_EQ(summary.count, c.count);
        EXPECT_DOUBLE_EQ(summary.mean_ms, c.mean);
        EXPECT_DOUBLE_EQ(summary.sd_ms, c.sd);
        EXPECT_DOUBLE_EQ(summary.mean_absolute_ms, c.mean_absolute);
    }
}

// The recording stands for the second piece of a source, which begins at
// source ms 28000: its frame f (from 1) is source ms 28000 + f - 1. The
// planted marks, put on the rows through the accepted beats, must land where
// the automatic marks find them on these beats (Q onset and J point within
// 4 ms, T end within 17 ms: automatic_marks.hpp), and the planted QRS, where
// beat finding places a beat, on row 201.
TEST(Validation, PlantedMarksOfASyntheticRecordingLandWhereTheAutomaticMarksAre) {
    struct Case {
        std::uint32_t seed;
        double noise, rate_bpm;
        int display_second;
    } cases[] = {{1, 5, 75, 8}, {4, 20, 100, 27}, {9, 10, 70, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        TemporaryFolder folder;
        const synth::SynthModel model =
            write_synthetic(folder.path() / "syn.dat", c.seed, c.noise, c.rate_bpm, 32);
        BatchSettings settings;
        settings.display_second = c.display_second;
        const RecordingAnalysis analysis =
            analyse_recording(folder.path() / "syn.dat", folder.folder("batch"), settings);
        ASSERT_EQ(analysis.status, AnalysisStatus::ok) << analysis.reason;
        const StretchPlace place{1, 28000, c.display_second};
        const auto source_ms = [](int frame) { return std::int64_t{28000} + frame - 1; };
        std::vector<ExpertBeat> beats;
        for (const synth::BeatMarks& m : model.beats)
            beats.push_back({source_ms(m.qrs_peak), source_ms(m.q_onset), source_ms(m.j_point),
                             source_ms(m.t_end)});
        const ExpertRows expert = expert_rows(beats, 1000.0, place, analysis.accepted);
        EXPECT_EQ(expert.marked_beats, static_cast<int>(analysis.accepted.size()));
        ASSERT_TRUE(expert.rows[0] && expert.rows[1] && expert.rows[2]);
        EXPECT_NEAR(*expert.rows[0], analysis.marks.q_onset, 4.0);
        // The J point ends the latest lead's QRS a few ms before the planted
        // mark (tests/beats/test_automatic_marks.cpp says why).
        EXPECT_NEAR(*expert.rows[1], analysis.marks.j_point, 10.0);
        EXPECT_NEAR(*expert.rows[2], analysis.marks.t_end, 17.0);
        for (const AcceptedBeat& beat : analysis.accepted) {
            double nearest = 1e9;
            for (const ExpertBeat& b : beats)
                if (std::fabs(static_cast<double>(b.qrs_sample) - beat_source_ms(place, beat)) <
                    std::fabs(nearest - beat_source_ms(place, beat)))
                    nearest = static_cast<double>(b.qrs_sample);
            EXPECT_NEAR(row_of(nearest, place, beat), 201.0, 2.0) << beat.position_ms;
        }
    }
}

}  // namespace
}  // namespace mapari::batch_tests
