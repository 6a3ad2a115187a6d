// Recordings with leads that carry no signal, analysed whole: display leads
// without a signal replaced by the leads of largest swing (in the session's
// script too, so that it replays), empty leads flagged and left without
// values, and the check rules blind to them; on a written recording, a
// 12-lead EDF imported with the default options, and the real MIT and PTB
// records imported from their sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/batch_analysis.hpp"
#include "app/batch_tables.hpp"
#include "batch_support.hpp"
#include "biosig_files.hpp"
#include "formats/map_recording.hpp"
#include "importing/import.hpp"
#include "support/real_data.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {
namespace {

namespace fs = std::filesystem;
using test_support::read_bytes;
using test_support::TemporaryFolder;
using test_support::write_bytes;

// The samples of a synthetic recording of 4 s, file order: frame after frame.
std::vector<std::int16_t> synthetic_samples(std::uint32_t seed) {
    synth::SynthSettings settings;
    settings.seed = seed;
    settings.seconds = 4;
    settings.noise_rms = 10.0;
    settings.rate_bpm = 80.0;
    return synth::render_samples(synth::make_model(settings));
}

std::int16_t& sample(std::vector<std::int16_t>& samples, int frame, int lead) {
    return samples[static_cast<std::size_t>((frame - 1) * channel_count + channel_of_lead(lead) -
                                            1)];
}

// The peak-to-peak swing of each lead over the frames, lead l at [l - 1].
std::vector<int> swings(std::vector<std::int16_t>& samples) {
    std::vector<int> result;
    const int frames = static_cast<int>(samples.size()) / channel_count;
    for (int lead = 1; lead <= lead_count; ++lead) {
        int low = sample(samples, 1, lead), high = low;
        for (int frame = 2; frame <= frames; ++frame) {
            low = std::min<int>(low, sample(samples, frame, lead));
            high = std::max<int>(high, sample(samples, frame, lead));
        }
        result.push_back(high - low);
    }
    return result;
}

// The display leads are three leads with a signal, none swinging less than
// a lead with a signal left out.
void expect_largest_swings(const std::array<int, display_lead_count>& taken,
                           const std::vector<int>& swing_of_lead) {
    int smallest_taken = swing_of_lead[static_cast<std::size_t>(taken[0] - 1)];
    for (int lead : taken) {
        EXPECT_GT(swing_of_lead[static_cast<std::size_t>(lead - 1)], 0) << "lead " << lead;
        smallest_taken =
            std::min(smallest_taken, swing_of_lead[static_cast<std::size_t>(lead - 1)]);
    }
    for (int lead = 1; lead <= lead_count; ++lead) {
        if (std::find(taken.begin(), taken.end(), lead) != taken.end()) continue;
        EXPECT_LE(swing_of_lead[static_cast<std::size_t>(lead - 1)], smallest_taken)
            << "lead " << lead << " swings more than a display lead";
    }
}

std::string leads_text(const std::array<int, display_lead_count>& leads) {
    return std::to_string(leads[0]) + ", " + std::to_string(leads[1]) + ", " +
           std::to_string(leads[2]);
}

class SilentLeads : public ::testing::Test {
  protected:
    // A synthetic recording "quiet.dat" whose leads 13, 23, 37 and 50 hold 0
    // (lead 50 at every sample but one, which makes it a signal).
    void SetUp() override {
        samples_ = synthetic_samples(11);
        for (int frame = 1; frame <= samples_per_reading; ++frame)
            for (int lead : {13, 23, 37, 50}) sample(samples_, frame, lead) = 0;
        sample(samples_, 1234, 50) = 1;
        write_bytes(recording_, encode_frames(samples_));
    }

    TemporaryFolder folder_;
    fs::path recording_ = folder_.path() / "quiet.dat";
    std::vector<std::int16_t> samples_;
};

TEST_F(SilentLeads, DisplayLeadsWithoutASignalAreReplacedAndSaidSo) {
    const RecordingAnalysis analysis =
        analyse_recording(recording_, folder_.folder("batch"), BatchSettings{});
    ASSERT_EQ(analysis.status, AnalysisStatus::ok) << analysis.reason;
    expect_largest_swings(analysis.display_leads, swings(samples_));
    EXPECT_EQ(analysis.note, "display leads 13, 23, 37 carry no signal: took " +
                                 leads_text(analysis.display_leads));
    for (int lead = 1; lead <= lead_count; ++lead) {
        const LeadFlags flags = analysis.flags[static_cast<std::size_t>(lead - 1)];
        EXPECT_EQ(flags.has(LeadFlag::no_signal), lead == 13 || lead == 23 || lead == 37)
            << "lead " << lead;
        // Filled in from its neighbours on the grid, and flagged so.
        EXPECT_TRUE(!flags.has(LeadFlag::no_signal) ||
                    flags == LeadFlags({LeadFlag::no_signal, LeadFlag::interpolated}));
    }
    // The script answers the lead questions with the leads taken.
    const std::string script = read_bytes(folder_.path() / "batch" / "session.script");
    const auto& [first, second, third] = analysis.display_leads;
    EXPECT_TRUE(script.starts_with("0\n" + std::to_string(first) + "\n" + std::to_string(second) +
                                   "\n" + std::to_string(third) + "\n1\n"))
        << script;
}

// Lead 50 moves in one sample only: a signal, so it stays where it was asked
// for; lead 13 alone is replaced.
TEST_F(SilentLeads, ADisplayLeadWithASignalIsKept) {
    BatchSettings settings;
    settings.leads = {1, 13, 50};
    const RecordingAnalysis analysis =
        analyse_recording(recording_, folder_.folder("batch"), settings);
    ASSERT_NE(analysis.status, AnalysisStatus::failed) << analysis.reason;
    EXPECT_EQ(analysis.display_leads[0], 1);
    EXPECT_EQ(analysis.display_leads[2], 50);
    EXPECT_NE(analysis.display_leads[1], 13);
    EXPECT_EQ(analysis.note, "display lead 13 carries no signal: took 1, " +
                                 std::to_string(analysis.display_leads[1]) + ", 50");
}

TEST_F(SilentLeads, TheScriptWithTheLeadsTakenReplaysTheSameFiles) {
    const RecordingAnalysis analysis =
        analyse_recording(recording_, folder_.folder("batch"), BatchSettings{});
    ASSERT_EQ(analysis.status, AnalysisStatus::ok) << analysis.reason;
    expect_the_script_replays(recording_, folder_.path() / "batch", folder_.folder("replay"));
}

TEST_F(SilentLeads, TheBatchWritesTheNoteAndEmptyCellsAndSaysSo) {
    const fs::path out = folder_.path() / "out";
    // Without spatial rules nothing fills the leads without a signal in.
    const CommandRun run =
        run_batch({recording_.string(), "--out", out.string(), "--jobs", "1", "--layout", "none"});
    ASSERT_EQ(run.exit_code, 0) << run.errors;
    const std::string recordings = read_bytes(out / "recordings.csv");
    const std::size_t note = recordings.find(",\"display leads 13, 23, 37 carry no signal: took ");
    ASSERT_NE(note, std::string::npos) << recordings;
    const std::size_t note_end = recordings.find('"', note + 2);
    ASSERT_NE(note_end, std::string::npos) << recordings;
    EXPECT_EQ(run.errors,
              "mapari-batch: quiet: " + recordings.substr(note + 2, note_end - note - 2) + "\n");
    // After the note, the row's RR, QT and both QTc, and the 8 cells of its bad leads.
    EXPECT_EQ(std::count(recordings.begin() + static_cast<std::ptrdiff_t>(note_end),
                         recordings.end(), ','),
              4 + 8)
        << recordings;
    EXPECT_TRUE(recordings.ends_with(",0,0,0,0,0,,,none\n")) << recordings;
    EXPECT_TRUE(recordings.starts_with(std::string(recordings_header) + "quiet,ok,,0,"));
    // no_signal counts 3 leads; the source as given and the display leads used follow.
    EXPECT_NE(recordings.find(",0,3," + recording_.string() + ","), std::string::npos)
        << recordings;
    const std::string results = read_bytes(out / "results.csv");
    for (const char* row : {"\nquiet,13,,,,no-signal,,,,,,\n", "\nquiet,23,,,,no-signal,,,,,,\n",
                            "\nquiet,37,,,,no-signal,,,,,,\n"})
        EXPECT_NE(results.find(row), std::string::npos) << row;
    EXPECT_EQ(results.find("\nquiet,50,,"), std::string::npos);
}

// Every lead holds 0 in the 4 s of display second 0; lead 1 rises by one a
// frame after them.
TEST_F(SilentLeads, ARecordingWithoutAnySignalInTheStretchFailsSayingSo) {
    std::vector<std::int16_t> still(static_cast<std::size_t>(channel_count) * 5000, 0);
    for (int frame = 4001; frame <= 5000; ++frame)
        sample(still, frame, 1) = static_cast<std::int16_t>(frame - 4000);
    write_bytes(recording_, encode_frames(still));
    const RecordingAnalysis analysis =
        analyse_recording(recording_, folder_.folder("batch"), BatchSettings{});
    EXPECT_EQ(analysis.status, AnalysisStatus::failed);
    EXPECT_EQ(analysis.reason, "no lead carries a signal in the stretch of display second 0");
    EXPECT_FALSE(fs::exists(folder_.path() / "batch" / "quiet.dat"));
}

// Leads 1 to 12 of a synthetic recording, in microvolts, as the 12 signals
// of an EDF file: imported with the default options they feed leads 1 to 12,
// and leads 13 to 64 stay empty.
TEST(TwelveLeads, AnEdfImportedWithTheDefaultsIsAnalysedOnLeadsThatCarryASignal) {
    TemporaryFolder folder;
    std::vector<std::int16_t> samples = synthetic_samples(5);
    std::vector<importing_tests::TestSignal> signals;
    for (int lead = 1; lead <= 12; ++lead) {
        importing_tests::TestSignal signal{"L" + std::to_string(lead), "uV", {}, 0.0};
        for (int frame = 1; frame <= samples_per_reading; ++frame)
            signal.values.push_back(sample(samples, frame, lead));
        signals.push_back(signal);
    }
    std::string reason;
    ASSERT_TRUE(importing_tests::write_edf(folder.path() / "twelve.edf", 1000.0, signals, reason))
        << reason;
    importing::ImportRequest request;
    request.source = folder.path() / "twelve.edf";
    request.data_directory = folder.folder("data");
    request.name = "twelve";
    importing::ImportReport report;
    ASSERT_TRUE(importing::import_recording(request, {}, report, reason)) << reason;
    const RecordingAnalysis analysis = analyse_recording(folder.path() / "data" / "twelve001.dat",
                                                         folder.folder("batch"), BatchSettings{});
    ASSERT_NE(analysis.status, AnalysisStatus::failed) << analysis.reason;
    for (int lead : analysis.display_leads) EXPECT_LE(lead, 12);
    EXPECT_EQ(analysis.note.substr(0, 45), "display leads 13, 23, 37 carry no signal: too");
    // Its leads are no neighbours on the map's grid: no outliers, nothing filled in.
    EXPECT_EQ(analysis.spatial_rules, "none (imported with 12 map leads)");
    for (int lead = 1; lead <= lead_count; ++lead)
        EXPECT_EQ(analysis.flags[static_cast<std::size_t>(lead - 1)].has(LeadFlag::no_signal),
                  lead > 12)
            << "lead " << lead;
}

// Every piece of an import analysed: its leads without a source signal are
// no-signal alone, with empty cells, and the piece is not `check` for them:
// an upstroke doubt counts no more leads than carry a signal.
void expect_pieces_without_doubts_for_empty_leads(const fs::path& data,
                                                  const importing::ImportReport& report,
                                                  const fs::path& batch) {
    std::vector<RecordingAnalysis> analyses;
    for (const importing::ImportedPiece& piece : report.pieces) {
        SCOPED_TRACE(piece.file_name);
        analyses.push_back(
            analyse_recording(data / piece.file_name, batch / piece.file_name, BatchSettings{}));
        const RecordingAnalysis& analysis = analyses.back();
        ASSERT_NE(analysis.status, AnalysisStatus::failed) << analysis.reason;
        int fed = 0;
        for (int lead = 1; lead <= lead_count; ++lead) {
            const bool empty = report.map.signal_of_lead(lead) < 0;
            fed += !empty;
            const LeadFlags flags = analysis.flags[static_cast<std::size_t>(lead - 1)];
            EXPECT_EQ(flags == LeadFlags{LeadFlag::no_signal}, empty) << "lead " << lead;
        }
        const bool upstroke_doubt =
            analysis.reason.ends_with(" leads without an upstroke in the T wave");
        EXPECT_LE(upstroke_doubt ? std::stoi(analysis.reason) : 0, fed) << analysis.reason;
        EXPECT_EQ(analysis.reason.find("60 leads"), std::string::npos) << analysis.reason;
    }
    const std::string results = results_table(analyses);
    for (const RecordingAnalysis& analysis : analyses)
        for (int lead = 1; lead <= lead_count; ++lead) {
            const std::string row =
                "\n" + analysis.name + "," + std::to_string(lead) + ",,,,no-signal,,,,,,\n";
            EXPECT_EQ(results.find(row) != std::string::npos, report.map.signal_of_lead(lead) < 0)
                << row;
        }
}

// The MIT-BIH record 100 (MLII and V5 at 360 Hz), its first 100 s, with the
// lead map of the README: MLII on leads 13 and 23, V5 on lead 37.
TEST(RealRecords, MitRecordWithItsLeadMapIsNotCheckedForItsEmptyLeads) {
    const fs::path source = test_support::real_data_folder() / "source";
    if (!fs::exists(source / "100.hea")) GTEST_SKIP() << "the real sources are not at hand";
    TemporaryFolder folder;
    std::string header = read_bytes(source / "100.hea");
    header.replace(header.find("100 2 360 650000"), 16, "100 2 360 36000");
    write_bytes(folder.path() / "100.hea", header);
    fs::create_symlink(source / "100.dat", folder.path() / "100.dat");
    write_bytes(folder.path() / "map.csv", "lead, signal\n13, MLII\n23, mlii\n37, V5\n");
    importing::ImportRequest request;
    request.source = folder.path() / "100.hea";
    request.data_directory = folder.folder("data");
    request.name = "mit";
    request.lead_map = folder.path() / "map.csv";
    importing::ImportReport report;
    std::string reason;
    ASSERT_TRUE(importing::import_recording(request, {}, report, reason)) << reason;
    ASSERT_EQ(report.pieces.size(), 4u);
    expect_pieces_without_doubts_for_empty_leads(request.data_directory, report,
                                                 folder.folder("batch"));
}

// The PTB record s0010_re by its header: 15 signals on leads 1 to 15, so of
// the default display leads only 13 carries one.
TEST(RealRecords, PtbRecordByItsHeaderIsAnalysedOnLeadsThatCarryASignal) {
    const fs::path header = test_support::real_data_folder() / "source" / "s0010_re.hea";
    if (!fs::exists(header)) GTEST_SKIP() << "the real sources are not at hand";
    TemporaryFolder folder;
    importing::ImportRequest request;
    request.source = header;
    request.data_directory = folder.folder("data");
    request.name = "ptb";
    importing::ImportReport report;
    std::string reason;
    ASSERT_TRUE(importing::import_recording(request, {}, report, reason)) << reason;
    expect_pieces_without_doubts_for_empty_leads(request.data_directory, report,
                                                 folder.folder("batch"));
    const RecordingAnalysis analysis = analyse_recording(request.data_directory / "ptb001.dat",
                                                         folder.folder("again"), BatchSettings{});
    EXPECT_EQ(analysis.display_leads[0], 13);
    EXPECT_LE(analysis.display_leads[1], 15);
    EXPECT_LE(analysis.display_leads[2], 15);
    EXPECT_TRUE(analysis.note.starts_with("display leads 23, 37 carry no signal: took 13, "))
        << analysis.note;
}

}  // namespace
}  // namespace mapari::batch_tests
