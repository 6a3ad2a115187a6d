// The unattended analysis: its tables column by column, the command's
// faults, the replay of its script, and its results against planted truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_analysis.hpp"
#include "app/batch_command.hpp"
#include "app/batch_tables.hpp"
#include "batch_support.hpp"
#include "formats/map_recording.hpp"
#include "support/real_data.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {
namespace {

namespace fs = std::filesystem;
using test_support::read_bytes;
using test_support::TemporaryFolder;
using test_support::write_bytes;

TEST(BatchTables, OneRowPerLeadAndOnePerRecordingWithEveryColumn) {
    RecordingAnalysis analysed;
    analysed.name = "run,1";
    analysed.status = AnalysisStatus::check;
    analysed.reason = "the T end lies before the T wave's peak";
    analysed.beats_found = 5;
    analysed.template_beat = 1153;
    analysed.accepted = {{353, -1, 0.9981f}, {1153, 0, 1.0f}};
    analysed.averaging_count = 16;
    analysed.marks.stimulus = 143;
    analysed.marks.q_onset = 148;
    analysed.marks.j_point = 243;
    analysed.marks.t_end = 601;
    analysed.marks.stimulus_found = true;
    analysed.activation_ms.fill(40.0f);
    analysed.recovery_ms.fill(256.5f);
    analysed.activation_ms[1] = 0.0f;
    analysed.flags[1] = {LeadFlag::no_downstroke, LeadFlag::weak};
    analysed.flags[2] = {LeadFlag::weak};
    analysed.source = "runs/run,1.dat";
    analysed.settings.display_second = 4;
    analysed.display_leads = {13, 23, 37};
    analysed.note = "its source has changed since it was analysed";
    RecordingAnalysis failed;
    failed.name = "bad";
    failed.reason = "not a recording: it is text, not binary frames";
    failed.source = "bad.dat";
    failed.settings.display_second = 4;
    failed.display_leads = {1, 2, 64};
    RecordingAnalysis stopped = failed;
    stopped.name = "later";
    stopped.status = AnalysisStatus::stopped;
    stopped.reason = "not analysed: the batch was stopped";
    const std::string results = results_table({analysed, failed});
    EXPECT_TRUE(
        results.starts_with("recording,lead,AT_ms,RT_ms,ARI_ms,flags,beats_used,ARI_sd_ms,"
                            "restitution_slope,restitution_slope_se,AT_confidence,RT_confidence\n"
                            "\"run,1\",1,40,256.5,216.5,,0,,,,,\n"
                            "\"run,1\",2,0,256.5,256.5,no-downstroke;weak,0,,,,,\n"
                            "\"run,1\",3,40,256.5,216.5,weak,0,,,,,\n"))
        << results;
    EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 65);
    EXPECT_EQ(results_table({analysed, failed, stopped}), results);
    EXPECT_EQ(
        recordings_table({analysed, failed, stopped}),
        std::string(recordings_header) +
            "\"run,1\",check,the T end lies before the T wave's peak,4,5,1153,2,"
            "353/-1/0.9981 1153/+0/1.0000,16,143,148,243,601,yes,20,7,100,1,0,0,2,0,0,0,0,"
            "\"runs/run,1.dat\",13 23 37,its source has changed since it was analysed,"
            "801,453,506,488,0,0,0,0,0,,,\n"
            "bad,failed,\"not a recording: it is text, not binary "
            "frames\",4,,,,,,,,,,,,,,,,,,,,,,bad.dat,1 2 64,,,,,,,,,,,,,\n"
            "later,stopped,not analysed: the batch was stopped,4,,,,,,,,,,,,,,,,,,,,,,bad.dat,1 "
            "2 64,,,,,,,,,,,,,\n");
    // RR = 1153 - (353 - 1) = 801, QT = 601 - 148 = 453; 453 / sqrt(0.801) =
    // 506.2 and 453 / cbrt(0.801) = 487.8.
}

TEST(BatchTables, TheRecordingsHeaderEndsWithTheIntervalsAfterTheNote) {
    EXPECT_EQ(std::string(recordings_header),
              "recording,status,reason,display_second,beats_found,template_beat,beats_accepted,"
              "accepted_beats,averaging_count,stimulus,q_onset,j_point,t_end,stimulus_found,"
              "smoothing,activation_offset,recovery_delay,no_downstroke,no_upstroke,"
              "rt_at_window_edge,weak,flat,clipped,noisy,no_signal,source,display_leads,note,"
              "rr_ms,qt_ms,qtc_bazett_ms,qtc_fridericia_ms,steps,outlier,marked_bad,marked_good,"
              "interpolated,bad_leads,good_leads,spatial_rules\n");
}

// The median interval between consecutive accepted beats at their aligned
// positions (position + shift), in time order, without the intervals longer
// than 1.5 times the smallest (a beat between them was not accepted).
TEST(HeartIntervals, TheRRIsTheMedianIntervalBetweenNeighbouringAcceptedBeats) {
    struct Case {
        const char* name;
        std::vector<AcceptedBeat> accepted;
        std::optional<int> rr_ms;
    } cases[] = {
        {"none", {}, std::nullopt},
        {"one beat", {{300, 0, 1.0f}}, std::nullopt},
        {"two beats", {{300, 0, 1.0f}, {1100, 0, 1.0f}}, 800},
        // (1100 - 10) - (300 + 10) = 780
        {"two beats shifted", {{300, 10, 1.0f}, {1100, -10, 1.0f}}, 780},
        // aligned 102, 899, 1720, 2505: intervals 797, 821, 785, median 797
        {"three intervals, out of order",
         {{1720, 0, 1.0f}, {100, 2, 1.0f}, {2500, 5, 1.0f}, {900, -1, 1.0f}},
         797},
        // intervals 800, 810, 790, 820: (800 + 810) / 2
        {"four intervals",
         {{200, 0, 1.0f}, {1000, 0, 1.0f}, {1810, 0, 1.0f}, {2600, 0, 1.0f}, {3420, 0, 1.0f}},
         805},
        // intervals 800, 801: 800.5, half away from zero
        {"a half ms rounded up", {{200, 0, 1.0f}, {1000, 0, 1.0f}, {1801, 0, 1.0f}}, 801},
        // intervals 800, 1600: the beat at 1800 was not accepted; 1200 without the rule
        {"a missing beat", {{200, 0, 1.0f}, {1000, 0, 1.0f}, {2600, 0, 1.0f}}, 800},
        // intervals 800, 1200 = 1.5 * 800: both count
        {"1.5 times the smallest", {{200, 0, 1.0f}, {1000, 0, 1.0f}, {2200, 0, 1.0f}}, 1000},
        {"just over 1.5 times", {{200, 0, 1.0f}, {1000, 0, 1.0f}, {2201, 0, 1.0f}}, 800},
        // intervals 800, 1600, 800, 810: median of 800, 800, 810
        {"a gap among four",
         {{200, 0, 1.0f}, {1000, 0, 1.0f}, {2600, 0, 1.0f}, {3400, 0, 1.0f}, {4210, 0, 1.0f}},
         800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingAnalysis analysis;
        analysis.accepted = c.accepted;
        EXPECT_EQ(heart_intervals(analysis).rr_ms, c.rr_ms);
    }
}

// QT = T end - Q onset; QTc = QT / sqrt(RR s) (Bazett) and QT / cbrt(RR s)
// (Fridericia), rounded to whole ms.
TEST(HeartIntervals, TheQTAndItsCorrectionsByHand) {
    struct Case {
        const char* name;
        int rr_ms;  // between two accepted beats; 0: one beat only
        std::int32_t q_onset, t_end;
        std::optional<int> qt_ms, bazett_ms, fridericia_ms;
    } cases[] = {
        {"RR 1 s", 1000, 150, 550, 400, 400, 400},
        // 400 / 0.8 = 500; 400 / cbrt(0.64) = 400 / 0.8618 = 464.2
        {"RR 640", 640, 150, 550, 400, 500, 464},
        // 450 / sqrt(0.5) = 636.4; 450 / cbrt(0.5) = 567.0
        {"RR 500", 500, 150, 600, 450, 636, 567},
        // 380 / sqrt(1.2) = 346.9; 380 / cbrt(1.2) = 357.6
        {"RR 1200", 1200, 150, 530, 380, 347, 358},
        {"no RR", 0, 150, 550, 400, std::nullopt, std::nullopt},
        {"no Q onset", 1000, 0, 550, std::nullopt, std::nullopt, std::nullopt},
        {"no T end", 1000, 150, 0, std::nullopt, std::nullopt, std::nullopt},
        {"T end at the Q onset", 1000, 150, 150, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingAnalysis analysis;
        analysis.accepted = {{300, 0, 1.0f}};
        if (c.rr_ms > 0) analysis.accepted.push_back({300 + c.rr_ms, 0, 1.0f});
        analysis.marks.q_onset = c.q_onset;
        analysis.marks.t_end = c.t_end;
        const HeartIntervals intervals = heart_intervals(analysis);
        EXPECT_EQ(intervals.qt_ms, c.qt_ms);
        EXPECT_EQ(intervals.qtc_bazett_ms, c.bazett_ms);
        EXPECT_EQ(intervals.qtc_fridericia_ms, c.fridericia_ms);
    }
}

// An analysed row shows what it can tell, each cell empty where it cannot;
// a failed row shows none, whatever marks it was left with.
TEST(BatchTables, TheIntervalsOfARowEmptyWhereNotKnown) {
    struct Case {
        const char* name;
        AnalysisStatus status;
        int rr_ms;
        std::string cells;
    } cases[] = {
        {"ok", AnalysisStatus::ok, 640, ",640,400,500,464,0,0,0,0,0,,,\n"},
        {"check", AnalysisStatus::check, 640, ",640,400,500,464,0,0,0,0,0,,,\n"},
        {"ok, one beat", AnalysisStatus::ok, 0, ",,400,,,0,0,0,0,0,,,\n"},
        {"failed", AnalysisStatus::failed, 640, ",,,,,,,,,,,,\n"},
        {"stopped", AnalysisStatus::stopped, 640, ",,,,,,,,,,,,\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingAnalysis analysis;
        analysis.status = c.status;
        analysis.accepted = {{300, 0, 1.0f}};
        if (c.rr_ms > 0) analysis.accepted.push_back({300 + c.rr_ms, 0, 1.0f});
        analysis.marks.q_onset = 150;
        analysis.marks.t_end = 550;
        analysis.note = "a note";
        const std::string table = recordings_table({analysis});
        EXPECT_TRUE(table.ends_with(",a note" + c.cells)) << table;
    }
}

// A lead without a signal has empty AT, RT and ARI cells and its one flag; a
// lead with a signal keeps its numbers and flags, defaults included. The note
// is the row's last cell, quoted where it holds commas.
TEST(BatchTables, LeadsWithoutASignalHaveEmptyValueCells) {
    RecordingAnalysis analysed;
    analysed.name = "mit001";
    analysed.status = AnalysisStatus::ok;
    analysed.activation_ms.fill(0.0f);
    analysed.recovery_ms.fill(195.0f);
    analysed.flags.fill({LeadFlag::no_signal});
    analysed.activation_ms[0] = 31.5f;
    analysed.recovery_ms[0] = 280.0f;
    analysed.flags[0] = {};
    analysed.flags[1] = {LeadFlag::no_downstroke, LeadFlag::no_upstroke};
    analysed.note = "display leads 13, 23, 37 carry no signal: took 1, 2, 1";
    const std::string results = results_table({analysed});
    EXPECT_TRUE(
        results.starts_with("recording,lead,AT_ms,RT_ms,ARI_ms,flags,beats_used,ARI_sd_ms,"
                            "restitution_slope,restitution_slope_se,AT_confidence,RT_confidence\n"
                            "mit001,1,31.5,280,248.5,,0,,,,,\n"
                            "mit001,2,0,195,195,no-downstroke;no-upstroke,0,,,,,\n"
                            "mit001,3,,,,no-signal,,,,,,\n"
                            "mit001,4,,,,no-signal,,,,,,\n"))
        << results;
    EXPECT_TRUE(results.ends_with("\nmit001,64,,,,no-signal,,,,,,\n")) << results;
    EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 65);
    const std::string recordings = recordings_table({analysed});
    EXPECT_TRUE(
        recordings.ends_with(",1,1,0,0,0,0,0,62,,,\"display leads 13, 23, 37 carry no "
                             "signal: took 1, 2, 1\",,,,,0,0,0,0,0,,,\n"))
        << recordings;
}

TEST(BatchCommand, WrongCommandLinesAreUsageErrors) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--out", "d"}, "name the recordings to analyse"},
        {{"a.dat"}, "--out DIR is needed"},
        {{"a.dat", "--out"}, "--out needs a value"},
        {{"a.dat", "--out", ""}, "--out needs a value"},
        {{"a.dat", "--out", "d", "--jobs"}, "--jobs needs a value"},
        {{"a.dat", "--out", "d", "--jobs", "0"},
         "--jobs takes a whole number from 1 to 256, not \"0\""},
        {{"a.dat", "--out", "d", "--jobs", "257"},
         "--jobs takes a whole number from 1 to 256, not \"257\""},
        {{"a.dat", "--out", "d", "--jobs", "two"},
         "--jobs takes a whole number from 1 to 256, not \"two\""},
        {{"a.dat", "--out", "d", "--jobs", "2.0"},
         "--jobs takes a whole number from 1 to 256, not \"2.0\""},
        {{"a.dat", "--out", "d", "--shard", "3/2"},
         "--shard takes K/N, two whole numbers with 1 <= K <= N, not \"3/2\""},
        {{"a.dat", "--out", "d", "--shard", "0/2"},
         "--shard takes K/N, two whole numbers with 1 <= K <= N, not \"0/2\""},
        {{"a.dat", "--out", "d", "--shard", "2"},
         "--shard takes K/N, two whole numbers with 1 <= K <= N, not \"2\""},
        {{"a.dat", "--out", "d", "--display-second", "29"},
         "--display-second takes a whole number from 0 to 28, not \"29\""},
        {{"a.dat", "--out", "d", "--display-second", "-1"},
         "--display-second takes a whole number from 0 to 28, not \"-1\""},
        {{"a.dat", "--out", "d", "--leads", "13,23"},
         "--leads takes three leads A,B,C, each from 1 to 64, not \"13,23\""},
        {{"a.dat", "--out", "d", "--leads", "13,23,65"},
         "--leads takes three leads A,B,C, each from 1 to 64, not \"13,23,65\""},
        {{"a.dat", "--out", "d", "--coefficient", "1.5"},
         "--coefficient takes a number from 0 to 1 of at most four characters, not \"1.5\""},
        {{"a.dat", "--out", "d", "--coefficient", "0.955"},
         "--coefficient takes a number from 0 to 1 of at most four characters, not \"0.955\""},
        {{"a.dat", "--out", "d", "--coefficient", "high"},
         "--coefficient takes a number from 0 to 1 of at most four characters, not \"high\""},
        {{"a.dat", "--out", "d", "--settings", "1,7,100"},
         "--settings takes three settings H,A,R with H from 2 to 99, A from 0 to 9999 and R from "
         "1 to 200, not \"1,7,100\""},
        {{"a.dat", "--out", "d", "--settings", "20,x,100"},
         "--settings takes three settings H,A,R with H from 2 to 99, A from 0 to 9999 and R from "
         "1 to 200, not \"20,x,100\""},
        {{"a.dat", "--out", "d", "--lang", "fr"}, "--lang takes ja or en, not \"fr\""},
        {{"a.dat", "--out", "d", "--again", ""}, "--again needs a value"},
        {{"a.dat", "--out", "d", "--again", "a,,b"},
         "--again takes the names of recordings of the study, NAME[,NAME...], or all, not "
         "\"a,,b\""},
        {{"a.dat", "--out", "d", "--again", "a,"},
         "--again takes the names of recordings of the study, NAME[,NAME...], or all, not "
         "\"a,\""},
        {{"a.dat", "--out", "d", "--fast", "1"}, "unknown option '--fast'"},
        {{"a.dat", "-j", "2", "--out", "d"}, "unknown option '-j'"},
    };
    for (const auto& [arguments, message] : cases) {
        const CommandRun run = run_batch(arguments);
        EXPECT_EQ(run.exit_code, 2) << message;
        EXPECT_EQ(run.errors, "mapari-batch: " + message + "\n" + batch_usage_text);
        EXPECT_EQ(run.out, "") << message;
    }
}

TEST(BatchCommand, BadRecordingsGetFailedRowsAndTheOthersAreAnalysed) {
    TemporaryFolder folder;
    write_synthetic(folder.path() / "good.dat", 3, 10.0, 75.0);
    write_bytes(folder.path() / "text.dat", std::string(600000, 'x'));
    write_bytes(
        folder.path() / "short.dat",
        read_bytes(folder.path() / "good.dat").substr(0, std::size_t{bytes_per_frame} * 3000));
    const fs::path out = folder.path() / "out";
    const CommandRun run =
        run_batch({folder.file("good.dat"), folder.file("text.dat"), folder.file("short.dat"),
                   folder.file("missing.dat"), "--out", out.string(), "--jobs", "2"});
    EXPECT_EQ(run.exit_code, 1) << run.errors;
    const std::string recordings = read_bytes(out / "recordings.csv");
    for (const std::string& row : std::vector<std::string>{
             "text,failed,\"not a recording: it is text, not binary frames\",0,",
             "short,failed,not a recording: it holds 3000 frames; a display needs 4000,0,",
             "missing,failed,cannot be read: No such file or directory,0,"})
        EXPECT_NE(recordings.find("\n" + row), std::string::npos) << row << "\n" << recordings;
    EXPECT_NE(recordings.find("\ngood,ok,,0,"), std::string::npos) << recordings;
    EXPECT_TRUE(fs::exists(out / "good" / "good.ari"));
    EXPECT_FALSE(fs::exists(out / "text"));
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".partial"));
}

TEST(BatchAnalysis, ItsScriptReplaysTheSameResultFilesByteForByte) {
    TemporaryFolder folder;
    write_synthetic(folder.path() / "syn7.dat", 7, 20.0, 90.0);
    const RecordingAnalysis analysis =
        analyse_recording(folder.path() / "syn7.dat", folder.folder("batch"), BatchSettings{});
    ASSERT_EQ(analysis.status, AnalysisStatus::ok) << analysis.reason;
    expect_the_script_replays(folder.path() / "syn7.dat", folder.path() / "batch",
                              folder.folder("replay"));
}

// Q onset from the leads' activation times: each is measured from the Q onset
// mark, so their median offset from the planted times is the mark's error.
TEST(BatchAnalysis, AutomaticMarksGiveThePlantedIntervalsOnSyntheticRecordings) {
    struct Case {
        std::uint32_t seed;
        double noise, rate_bpm;
    } cases[] = {{1, 0, 75}, {2, 10, 70}, {3, 30, 120}, {4, 20, 100}, {5, 30, 85}, {6, 5, 110}};
    for (const Case& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        TemporaryFolder folder;
        const synth::SynthModel model =
            write_synthetic(folder.path() / "syn.dat", c.seed, c.noise, c.rate_bpm);
        const RecordingAnalysis analysis =
            analyse_recording(folder.path() / "syn.dat", folder.folder("batch"), BatchSettings{});
        ASSERT_EQ(analysis.status, AnalysisStatus::ok) << analysis.reason;
        std::vector<double> offsets;
        int planted_ari = 0;
        for (int l = 1; l <= lead_count; ++l) {
            const synth::LeadShape& lead = model.shape_of(l);
            const auto at = static_cast<std::size_t>(l - 1);
            offsets.push_back(static_cast<double>(analysis.activation_ms[at]) - lead.activation_ms);
            const double ari = analysis.recovery_ms[at] - analysis.activation_ms[at];
            planted_ari += std::fabs(ari - (lead.recovery_ms - lead.activation_ms)) <= 3.0;
        }
        std::nth_element(offsets.begin(), offsets.begin() + 32, offsets.end());
        EXPECT_LE(std::fabs(offsets[32]), 5.0) << "the Q onset mark is off by " << -offsets[32];
        EXPECT_GE(planted_ari, 60) << "leads whose ARI is within 3 ms of the planted one";
    }
}

TEST(BatchAnalysis, RealRecordingsAreAnalysedWithMarksInOrderOrFlaggedForACheck) {
    for (const char* name : {"realptb010", "realmit100", "realsock01"}) {
        SCOPED_TRACE(name);
        const fs::path recording = test_support::real_data_folder() / (std::string(name) + ".dat");
        if (!fs::exists(recording)) GTEST_SKIP() << "the real recordings are not at hand";
        TemporaryFolder folder;
        const RecordingAnalysis analysis =
            analyse_recording(recording, folder.folder("batch"), BatchSettings{});
        ASSERT_NE(analysis.status, AnalysisStatus::failed) << analysis.reason;
        const AutomaticMarks& marks = analysis.marks;
        if (analysis.status == AnalysisStatus::ok) {
            EXPECT_TRUE(marks.stimulus <= marks.q_onset && marks.q_onset < marks.j_point &&
                        marks.j_point < marks.t_end && marks.t_end <= 1000);
            EXPECT_GT(marks.t_end, marks.t_peak) << "a T end before the T wave reported as fine";
        } else {
            EXPECT_FALSE(analysis.reason.empty());
        }
    }
}

// The leads an analysis judged bad, each with its reasons: "49 outlier".
std::string bad_leads_found(const RecordingAnalysis& analysis) {
    std::string found;
    for (int l = 1; l <= lead_count; ++l) {
        std::string reasons;
        for (const auto& [flag, word] : all_lead_flag_words())
            if (is_bad_lead(LeadFlags{flag}) &&
                analysis.flags[static_cast<std::size_t>(l - 1)].has(flag))
                reasons += std::string(reasons.empty() ? "" : ";") + word;
        if (reasons.empty()) continue;
        if (!found.empty()) found += ", ";
        found += std::to_string(l) + " " + reasons;
    }
    return found;
}

// What the batch finds bad on the real recordings. Their map leads are the
// source's leads laid on the grid in turn (the MIT and PTB records' copies of
// 2 and 15 ECG leads, 64 of a sock's electrodes), so a grid neighbour is no
// neighbour on the heart: the outliers it finds say so, and without spatial
// rules none is found.
TEST(BatchAnalysis, RealRecordingsSayWhichLeadsWereFoundBadAndWhy) {
    const struct {
        const char* name;
        const char* layout;
        const char* bad;
    } cases[] = {
        {"realmit100", "", ""},
        {"realptb010", "", "49 outlier"},
        {"realptb010", "none", ""},
        {"realsock01", "", "25 outlier"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " layout '" + c.layout + "'");
        const fs::path recording =
            test_support::real_data_folder() / (std::string(c.name) + ".dat");
        if (!fs::exists(recording)) GTEST_SKIP() << "the real recordings are not at hand";
        TemporaryFolder folder;
        BatchSettings settings;
        settings.layout = c.layout;
        const RecordingAnalysis analysis =
            analyse_recording(recording, folder.folder("batch"), settings);
        ASSERT_NE(analysis.status, AnalysisStatus::failed) << analysis.reason;
        EXPECT_EQ(bad_leads_found(analysis), c.bad);
    }
}

}  // namespace
}  // namespace mapari::batch_tests
