// Every beat of a recording analysed by the batch: synthetic recordings whose
// ARI follows the preceding RR with a planted slope give each beat's ARI and
// the slope back; a beat whose activation map is off is flagged and left out
// of the summaries; beats.csv's rows and the record of the beats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app/batch_analysis.hpp"
#include "app/batch_tables.hpp"
#include "app/study_record.hpp"
#include "batch_support.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {
namespace {

using test_support::TemporaryFolder;

// Planted beats nearer a found one than this are the same beat.
constexpr int same_beat_ms = 10;

// The planted beat at a found beat's time, nullptr when none lies there.
const synth::BeatMarks* planted_at(const synth::SynthModel& model, std::int32_t time_ms) {
    for (const synth::BeatMarks& beat : model.beats)
        if (std::abs(beat.qrs_peak - time_ms) <= same_beat_ms) return &beat;
    return nullptr;
}

// Planted beats whose 1024 rows lie in the recording (the beat at row 201).
int whole_planted_beats(const synth::SynthModel& model) {
    int whole = 0;
    for (const synth::BeatMarks& beat : model.beats)
        whole += beat.qrs_peak >= 201 && beat.qrs_peak + 823 <= model.frames;
    return whole;
}

TEST(BeatSeries, PlantedRestitutionIsFoundBeatByBeatAndAsASlopeOnEveryLead) {
    const struct {
        std::uint32_t seed;
        double noise, rate_bpm, slope;
        int rr_jitter_ms;
    } cases[] = {{1, 10, 75, 0.3, 50}, {2, 10, 80, 0.0, 60}, {3, 5, 90, 0.5, 30},
                 {4, 10, 85, 0.2, 60}, {5, 0, 100, 0.8, 25}, {6, 15, 75, 0.4, 50}};
    for (const auto& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed) + ", slope " + std::to_string(c.slope));
        TemporaryFolder folder;
        synth::SynthSettings settings;
        settings.seed = c.seed;
        settings.noise_rms = c.noise;
        settings.rate_bpm = c.rate_bpm;
        const synth::SynthModel model =
            synth::make_model(settings, synth::Restitution{c.slope, c.rr_jitter_ms});
        write_model(folder.path() / "syn.dat", model);
        const RecordingAnalysis analysis =
            analyse_recording(folder.path() / "syn.dat", folder.folder("batch"), BatchSettings{});
        ASSERT_EQ(analysis.status, AnalysisStatus::ok) << analysis.reason;
        EXPECT_EQ(static_cast<int>(analysis.beats.size()), whole_planted_beats(model));
        int pairs = 0, within_3_ms = 0;
        for (const BeatResult& beat : analysis.beats) {
            const synth::BeatMarks* planted = planted_at(model, beat.time_ms);
            ASSERT_NE(planted, nullptr) << "a beat found at " << beat.time_ms << " ms";
            EXPECT_FALSE(beat.flagged()) << "the beat at " << beat.time_ms << " ms";
            if (planted->rr_ms > 0 && beat.rr_ms) {
                EXPECT_NEAR(*beat.rr_ms, planted->rr_ms, 1);
            }
            for (int l = 1; l <= lead_count; ++l) {
                const synth::LeadShape& lead = model.shape_of(l);
                const auto at = static_cast<std::size_t>(l - 1);
                const double ari = beat.recovery_ms[at] - beat.activation_ms[at];
                const double planted_ari =
                    lead.recovery_ms + planted->recovery_shift_ms - lead.activation_ms;
                ++pairs;
                within_3_ms += std::fabs(ari - planted_ari) <= 3.0;
            }
        }
        EXPECT_GE(within_3_ms, 0.95 * pairs) << "(beat, lead) pairs within 3 ms of " << pairs;
        for (int l = 1; l <= lead_count; ++l) {
            const LeadSummary summary = summarise_lead(analysis.beats, l);
            ASSERT_TRUE(summary.restitution.has_value()) << "lead " << l;
            EXPECT_NEAR(summary.restitution->slope, c.slope, 0.03) << "lead " << l;
        }
    }
}

TEST(BeatSeries, ABeatWithHalfItsLeadsActivatedLateIsFlaggedAndLeftOut) {
    TemporaryFolder folder;
    synth::SynthSettings settings;
    settings.seed = 7;
    const synth::SynthModel model = synth::make_model(settings);
    std::vector<std::int16_t> samples = synth::render_samples(model);
    // Beat 12's QRS on every even lead (the display leads 13, 23, 37 are odd)
    // 12 ms late: each sample from 20 ms before its Q onset to 30 ms after its
    // J point takes the value 12 frames earlier, from the end backwards.
    const synth::BeatMarks& odd = model.beats.at(11);
    for (int frame = odd.j_point + 30; frame >= odd.q_onset - 20; --frame)
        for (int lead = 2; lead <= lead_count; lead += 2) {
            const auto channel = static_cast<std::size_t>(channel_of_lead(lead) - 1);
            samples[static_cast<std::size_t>(frame - 1) * channel_count + channel] =
                samples[static_cast<std::size_t>(frame - 13) * channel_count + channel];
        }
    test_support::write_bytes(folder.path() / "odd.dat", encode_frames(samples));
    const RecordingAnalysis analysis =
        analyse_recording(folder.path() / "odd.dat", folder.folder("batch"), BatchSettings{});
    ASSERT_EQ(analysis.status, AnalysisStatus::ok) << analysis.reason;
    ASSERT_EQ(static_cast<int>(analysis.beats.size()), whole_planted_beats(model));
    for (const BeatResult& beat : analysis.beats) {
        const bool is_odd = std::abs(beat.time_ms - odd.qrs_peak) <= same_beat_ms;
        EXPECT_EQ(beat.at_scatter, is_odd) << "the beat at " << beat.time_ms << " ms";
        EXPECT_FALSE(beat.low_correlation) << "the beat at " << beat.time_ms << " ms";
    }
    for (int l = 1; l <= lead_count; ++l)
        EXPECT_EQ(summarise_lead(analysis.beats, l).beats_used,
                  static_cast<int>(analysis.beats.size()) - 1)
            << "lead " << l;
}

// An analysis with two beats: the first without an RR and unflagged, the
// second flagged both ways; lead 3 without a signal.
RecordingAnalysis two_beats() {
    RecordingAnalysis analysis;
    analysis.name = "syn,2";
    analysis.status = AnalysisStatus::check;
    analysis.flags[2] = {LeadFlag::no_signal};
    BeatResult first;
    first.time_ms = 340;
    first.activation_ms.fill(40.0f);
    first.recovery_ms.fill(256.0f);
    first.recovery_ms[1] = 250.0f;
    BeatResult second = first;
    second.time_ms = 1134;
    second.rr_ms = 794;
    second.low_correlation = true;
    second.at_scatter = true;
    analysis.beats = {first, second};
    return analysis;
}

TEST(BeatsTable, OneRowPerBeatAndLeadWithEmptyCellsWhereNothingIsKnown) {
    RecordingAnalysis failed;
    failed.name = "bad";
    failed.beats = two_beats().beats;  // a failed analysis has no rows, whatever it holds
    const std::string table = beats_table({two_beats(), failed});
    EXPECT_TRUE(
        table.starts_with("recording,beat,time_ms,rr_ms,lead,AT_ms,RT_ms,ARI_ms,flags\n"
                          "\"syn,2\",1,340,,1,40,256,216,\n"
                          "\"syn,2\",1,340,,2,40,250,210,\n"
                          "\"syn,2\",1,340,,3,,,,\n"
                          "\"syn,2\",1,340,,4,40,256,216,\n"))
        << table;
    EXPECT_NE(table.find("\n\"syn,2\",2,1134,794,1,40,256,216,low-correlation;at-scatter\n"),
              std::string::npos);
    EXPECT_TRUE(
        table.ends_with("\n\"syn,2\",2,1134,794,64,40,256,216,low-correlation;at-scatter\n"));
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 2 * lead_count);
}

// The cells are written as "%g" writes them: whole numbers below 10^6 as
// their digits, larger ones with an exponent, six significant digits, and -0.
TEST(BeatsTable, NumbersAreWrittenWithSixSignificantDigits) {
    const struct {
        float activation_ms, recovery_ms;
        const char* cells;  // AT, RT, ARI = RT - AT
    } cases[] = {
        {0.0f, 256.0f, "0,256,256"},
        {-0.0f, 0.0f, "-0,0,0"},
        {-3.0f, 999999.0f, "-3,999999,1e+06"},
        {-999999.0f, 1000000.0f, "-999999,1e+06,2e+06"},
        {12.5f, 123456.7f, "12.5,123457,123444"},
        {0.25f, 1e-5f, "0.25,1e-05,-0.24999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cells);
        RecordingAnalysis analysis = two_beats();
        analysis.beats[0].activation_ms[0] = c.activation_ms;
        analysis.beats[0].recovery_ms[0] = c.recovery_ms;
        const std::string table = beats_table({analysis});
        EXPECT_NE(table.find("\n\"syn,2\",1,340,,1," + std::string(c.cells) + ",\n"),
                  std::string::npos)
            << table.substr(0, 200);
    }
}

TEST(BeatsTable, ResultsGiveTheSummaryOverTheUnflaggedBeats) {
    RecordingAnalysis analysis = two_beats();
    const std::string results = results_table({analysis});
    // One unflagged beat: used, but no SD and no slope.
    EXPECT_NE(results.find("\n\"syn,2\",1,0,0,0,,1,,,,,\n"), std::string::npos) << results;
    EXPECT_NE(results.find("\n\"syn,2\",3,,,,no-signal,,,,,,\n"), std::string::npos) << results;
}

TEST(BeatsTable, TheRecordKeepsEveryBeatAndAnOlderRecordHasNone) {
    RecordingAnalysis analysis = two_beats();
    analysis.beats[1].correlation = 0.9925f;
    RecordingAnalysis read;
    std::string reason;
    ASSERT_TRUE(read_study_record(study_record_text(analysis), read, reason)) << reason;
    EXPECT_EQ(read.beats, analysis.beats);
    std::string older = study_record_text(analysis);
    const std::size_t beats = older.find(",\n  \"beats\"");
    const std::size_t version = older.find(",\n  \"program_version\"");
    ASSERT_LT(beats, version);
    older.erase(beats, version - beats);
    ASSERT_TRUE(read_study_record(older, read, reason)) << reason;
    EXPECT_TRUE(read.beats.empty());
    std::string spoilt = study_record_text(analysis);
    spoilt.replace(spoilt.find("\"40 40 40"), 9, "\"40 x 40");
    EXPECT_FALSE(read_study_record(spoilt, read, reason));
    EXPECT_EQ(reason, "beat 1 has not 64 whole numbers for AT_ms and RT_ms");
}

}  // namespace
}  // namespace mapari::batch_tests
