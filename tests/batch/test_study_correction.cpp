// A recording of a study corrected by hand (mapari-batch --correct): its
// files those of the dialogue with the same clicks, its session's script
// replaying them, the tables and its record carrying the correction, every
// refusal leaving the study as it was, and later batches keeping it.
//
// The study: synthetic recordings a (seed 1) and b (seed 2) of 4 s at 75 a
// minute, and bad.dat, text, which fails; the ARI settings 30, 7, 100, so that
// a T end near the beat's end breaks E + h <= 1024. The batch marks a at rows
// 141 (stimulus), 148 (Q onset), 240 (J point) and 595 (T end).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch_tables.hpp"
#include "app/session.hpp"
#include "app/study_record.hpp"
#include "batch_support.hpp"
#include "formats/ari_file.hpp"
#include "review/study_report.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {
namespace {

namespace fs = std::filesystem;
using test_support::read_bytes;
using test_support::TemporaryFolder;
using test_support::write_bytes;

const std::vector<std::string> no_paths;

// The study made once; each test works on a copy of its own.
class StudyCorrection : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        sources_ = std::make_unique<TemporaryFolder>();
        std::vector<std::string> files = recordings(*sources_, {"a", "b"});
        write_bytes(sources_->path() / "bad.dat", std::string(600000, 'x'));
        files.push_back(sources_->file("bad.dat"));
        made_ = run_batch(into(files, sources_->path() / "study", {"--settings", "30,7,100"}));
    }
    static void TearDownTestSuite() { sources_.reset(); }

    void SetUp() override {
        ASSERT_EQ(made_.exit_code, 1) << made_.errors;  // bad.dat failed
        fs::copy(sources_->path() / "study", study_, fs::copy_options::recursive);
    }

    CommandRun correct(std::vector<std::string> more) const {
        std::vector<std::string> arguments = {"--correct", study_.string(), "a"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return run_batch(arguments);
    }

    RecordingAnalysis record_of(const std::string& name) const {
        RecordingAnalysis analysis;
        std::string reason;
        EXPECT_TRUE(
            read_study_record(read_bytes(study_ / name / study_record_name), analysis, reason))
            << reason;
        return analysis;
    }

    // The row of recordings.csv for `name`, its header's columns by name.
    std::string recordings_cell(const std::string& name, const std::string& column) const {
        std::istringstream table(read_bytes(study_ / "recordings.csv"));
        std::string header, line;
        std::getline(table, header);
        const auto cells = [](const std::string& row) {
            std::vector<std::string> split;
            std::istringstream in(row);
            for (std::string cell; std::getline(in, cell, ',');) split.push_back(cell);
            return split;
        };
        const std::vector<std::string> columns = cells(header);
        while (std::getline(table, line))
            if (line.starts_with(name + ",")) {
                const std::vector<std::string> row = cells(line);
                for (std::size_t k = 0; k < columns.size(); ++k)
                    if (columns[k] == column) return k < row.size() ? row[k] : "";
            }
        return "<none>";
    }

    static inline std::unique_ptr<TemporaryFolder> sources_;
    static inline CommandRun made_;
    TemporaryFolder folder_;
    const fs::path study_ = folder_.path() / "study";
};

// The script an operator's dialogue gives for a with the T end moved to row
// 560: the batch's answers (display leads and coefficient kept, the ARI file
// made with its settings asked, name parts "a" and "", display second 0), the
// template beat at column 233, the marks at columns 85, 89, 144 and 336 (rows
// 141, 148, 240 and 560 of the drawing), the baseline through columns 89 and
// 336, saved as "a" with the settings 30, 7, 100.
constexpr const char* dialogue_with_t_end_560 =
    "1\n1\n1\n0\na\n\n0\ns\n@click 233\ny\nx\nb\ns\n@click 85\n@click 89\n@click 144\n"
    "@click 336\ny\nt\n@click 89\n@click 336\ny\nd\na\ny\n30\n7\n100\nx\nx\n0\n0\n";

TEST_F(StudyCorrection, TheTEndCorrectedGivesTheFilesOfTheDialogueWithTheSameClicks) {
    const auto b_before = snapshot(study_ / "b");
    const CommandRun run = correct({"--t-end", "560"});
    ASSERT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(run.out, "corrected a: t_end 595 -> 560\n");
    EXPECT_EQ(run.errors, "");
    // The .se holds P, the stimulus, J and E as the dialogue saves them.
    EXPECT_EQ(read_bytes(study_ / "a" / "a.se"), "  148  141  240  560\n");

    const fs::path dialogue = folder_.folder("dialogue");
    fs::copy_file(sources_->path() / "a.dat", dialogue / "a.dat");
    std::istringstream script(dialogue_with_t_end_560);
    std::ostringstream transcript, errors;
    ASSERT_EQ(run_headless_session(script, transcript, errors,
                                   SessionFiles{dialogue.string(), dialogue.string(), "", {}}),
              0)
        << errors.str();
    EXPECT_EQ(read_bytes(study_ / "a" / "transcript.txt"), transcript.str());
    for (const std::string file : {"a.ds", "a.se", "a.ari", "fort.12"})
        EXPECT_EQ(read_bytes(study_ / "a" / file), read_bytes(dialogue / file)) << file;

    expect_the_script_replays(sources_->path() / "a.dat", study_ / "a", folder_.folder("replay"));
    EXPECT_EQ(differences(snapshot(study_ / "b"), b_before), no_paths);
    EXPECT_FALSE(fs::exists(study_ / ".a.correcting"));
}

TEST_F(StudyCorrection, TheTablesAndTheRecordCarryTheCorrection) {
    ASSERT_EQ(correct({"--t-end", "560"}).exit_code, 0);
    EXPECT_EQ(recordings_cell("a", "status"), "corrected");
    EXPECT_EQ(recordings_cell("a", "t_end"), "560");
    EXPECT_EQ(recordings_cell("a", "q_onset"), "148");
    EXPECT_EQ(recordings_cell("a", "qt_ms"), "412");  // 560 - 148
    EXPECT_EQ(recordings_cell("b", "status"), "ok");
    EXPECT_EQ(recordings_cell("b", "t_end"), "590");

    const RecordingAnalysis record = record_of("a");
    EXPECT_EQ(record.status, AnalysisStatus::corrected);
    EXPECT_EQ(record.marks.t_end, 560);
    ASSERT_EQ(record.corrections.size(), 1u);
    EXPECT_EQ(record.corrections[0].marks, (std::vector<MarkChange>{{"t_end", 595, 560}}));
    EXPECT_FALSE(record.corrections[0].bad_leads_to.has_value());
    EXPECT_EQ(record.corrections[0].corrected_at.size(),
              std::string("2026-12-08T23:40:05Z").size());
    EXPECT_TRUE(record.corrections[0].corrected_at.ends_with("Z"));

    // Each lead's row of results.csv: the AT and RT of the corrected .ari.
    AriRecord ari;
    std::string reason;
    ASSERT_TRUE(parse_ari_text(read_bytes(study_ / "a" / "a.ari"), ari, reason)) << reason;
    EXPECT_EQ(ari.t_end, 560);
    const std::string results = read_bytes(study_ / "results.csv");
    for (int lead : {1, 12, 37, 64}) {
        const auto at = static_cast<std::size_t>(lead - 1);
        std::ostringstream row;
        row << "\na," << lead << "," << ari.activation_ms[at] << "," << ari.recovery_ms[at] << ","
            << ari.recovery_ms[at] - ari.activation_ms[at] << ",";
        EXPECT_NE(results.find(row.str()), std::string::npos) << row.str() << "\n" << results;
    }
    EXPECT_EQ(read_bytes(study_ / "beats.csv"), beats_table({record, record_of("b")}));
}

// A report in the study is written anew from the corrected tables: a's page
// shows the new T end.
TEST_F(StudyCorrection, TheStudysReportIsWrittenAnew) {
    int pages = 0;
    std::string message;
    ASSERT_TRUE(review::write_study_report({(study_ / "results.csv").string(), ""}, pages, message))
        << message;
    const fs::path index = study_ / "report" / "index.html";
    const CommandRun run = correct({"--t-end", "560"});
    ASSERT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(run.out, "corrected a: t_end 595 -> 560\nrewrote " + index.string() +
                           " and the pages of 2 recordings: the tables changed\n");
    EXPECT_NE(
        read_bytes(index).find(R"(<td data-key="t_end" data-value="560" class="number">560</td>)"),
        std::string::npos);
}

TEST_F(StudyCorrection, EachMarkCanBeCorrected) {
    struct Case {
        std::string option, row, said, se;
        MarkChange change;
    };
    // .se: P (the Q onset), the stimulus, J, E.
    const Case cases[] = {
        {"--ref", "138", "stimulus 141 -> 138", "  148  138  240  595\n", {"stimulus", 141, 138}},
        {"--q-onset", "145", "q_onset 148 -> 145", "  145  141  240  595\n", {"q_onset", 148, 145}},
        {"--j-point", "241", "j_point 240 -> 241", "  148  141  241  595\n", {"j_point", 240, 241}},
    };
    for (const Case& c : cases) {
        fs::remove_all(study_);
        fs::copy(sources_->path() / "study", study_, fs::copy_options::recursive);
        const CommandRun run = correct({c.option, c.row});
        ASSERT_EQ(run.exit_code, 0) << c.option << ": " << run.errors;
        EXPECT_EQ(run.out, "corrected a: " + c.said + "\n");
        EXPECT_EQ(read_bytes(study_ / "a" / "a.se"), c.se) << c.option;
        EXPECT_EQ(record_of("a").corrections.at(0).marks, std::vector<MarkChange>{c.change});
        expect_the_script_replays(sources_->path() / "a.dat", study_ / "a",
                                  folder_.folder("replay" + c.option));
    }
}

TEST_F(StudyCorrection, HandBadLeadsAreSettledAnewAndCanBeCleared) {
    ASSERT_EQ(correct({"--bad-leads", "12"}).exit_code, 0);
    RecordingAnalysis record = record_of("a");
    EXPECT_EQ(record.settings.bad_leads, std::vector<int>{12});
    EXPECT_TRUE(record.flags[11].has(LeadFlag::marked_bad));
    EXPECT_TRUE(record.flags[11].has(LeadFlag::interpolated));  // from its grid neighbours
    EXPECT_EQ(recordings_cell("a", "bad_leads"), "12");
    EXPECT_EQ(read_bytes(study_ / "a" / "a.se"), "  148  141  240  595\n");

    const CommandRun cleared = correct({"--bad-leads", "none"});
    ASSERT_EQ(cleared.exit_code, 0) << cleared.errors;
    EXPECT_EQ(cleared.out, "corrected a: bad leads 12 -> none\n");
    record = record_of("a");
    EXPECT_FALSE(record.flags[11].has(LeadFlag::marked_bad));
    ASSERT_EQ(record.corrections.size(), 2u);
    EXPECT_EQ(record.corrections[1].bad_leads_from, std::vector<int>{12});
    EXPECT_EQ(record.corrections[1].bad_leads_to, std::vector<int>{});
}

// Each refusal: its exit code and message, and not a byte of the study changed.
TEST_F(StudyCorrection, RefusalsSayWhyAndWriteNothing) {
    const std::string dir = study_.string();
    const fs::path empty = folder_.folder("empty");
    struct Case {
        std::vector<std::string> arguments;
        int exit_code;
        std::string said;
    };
    const Case cases[] = {
        {{"--correct", dir, "a", "--j-point", "100"},
         2,
         "the marks are out of order: stimulus 141, Q onset 148, J point 100, T end 595 "
         "(stimulus <= Q onset < J point < T end)"},
        {{"--correct", dir, "a", "--q-onset", "141", "--ref", "142"},
         2,
         "the marks are out of order: stimulus 142, Q onset 141, J point 240, T end 595 "
         "(stimulus <= Q onset < J point < T end)"},
        {{"--correct", dir, "a", "--t-end", "1001"},
         2,
         "the T end at row 1001 lies outside the beat (rows 1 to 1000)"},
        {{"--correct", dir, "a", "--ref", "0"},
         2,
         "the stimulus mark at row 0 lies outside the beat (rows 1 to 1000)"},
        {{"--correct", dir, "a", "--t-end", "999"},
         2,
         "the marks break a limit of the ARI computation: E + h = 1029 must be at most 1024"},
        {{"--correct", dir, "a", "--t-end", "562"},
         2,
         "no click marks row 562 for the T end: the nearest marks row 561"},
        {{"--correct", dir, "zz", "--t-end", "560"},
         2,
         "zz is no analysed recording of the study " + dir},
        // A recording that failed before it had a folder has no record either.
        {{"--correct", dir, "bad", "--t-end", "560"},
         2,
         "bad is no analysed recording of the study " + dir},
        {{"--correct", dir, "a", "--bad-leads", "5,5"}, 2, "--bad-leads names lead 5 twice"},
        {{"--correct", empty.string(), "a", "--t-end", "560"},
         1,
         empty.string() + " is no study of mapari-batch: cannot read " +
             (empty / "recordings.csv").string() + ": No such file or directory"},
        {{"--correct", (empty / "none").string(), "a", "--t-end", "560"},
         1,
         (empty / "none").string() + " is no folder"},
    };
    const auto before = snapshot(study_);
    for (const Case& c : cases) {
        const CommandRun run = run_batch(c.arguments);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.said;
        EXPECT_EQ(run.errors, "mapari-batch: " + c.said + "; nothing was written\n");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(differences(snapshot(study_), before), no_paths) << c.said;
    }
    EXPECT_EQ(snapshot(empty), (std::map<std::string, std::string>{}));
}

TEST_F(StudyCorrection, CommandLinesWithoutAWholeRequestAreUsageErrors) {
    const std::string dir = study_.string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--correct", dir, "a"},
         "--correct needs a mark (--ref, --q-onset, --j-point, --t-end) or --bad-leads"},
        {{"--correct", dir, "--t-end", "560"},
         "--correct needs the study DIR and the recording NAME"},
        {{"--correct", dir, "a", "b", "--t-end", "560"}, "unexpected argument 'b'"},
        {{"--correct", dir, "a", "--t-end", "late"},
         "--t-end takes a row of the averaged beat, a whole number, not \"late\""},
        {{"--correct", dir, "a", "--bad-leads", "65"},
         "--bad-leads takes leads L[,L...], each from 1 to 64, or none, not \"65\""},
    };
    const auto before = snapshot(study_);
    for (const auto& [arguments, said] : cases) {
        const CommandRun run = run_batch(arguments);
        EXPECT_EQ(run.exit_code, 2) << said;
        EXPECT_TRUE(run.errors.starts_with("mapari-batch: " + said + "\n")) << run.errors;
    }
    EXPECT_EQ(differences(snapshot(study_), before), no_paths);
}

// Tables and records that are no batch's: refused before anything is written.
TEST_F(StudyCorrection, AMalformedStudyIsRefused) {
    const std::string dir = study_.string();
    struct Case {
        std::string file, bytes, said;
    };
    const std::string record = (study_ / "a" / study_record_name).string();
    const Case cases[] = {
        {"recordings.csv", "name,state\n",
         dir + " is no study of mapari-batch: " + (study_ / "recordings.csv").string() +
             " is no table of mapari-batch: its first line is not the header"},
        {"beats.csv", "",
         dir + " is no study of mapari-batch: " + (study_ / "beats.csv").string() +
             " is no table of mapari-batch: its first line is not the header"},
        {"results.csv", "recording,lead,AT_ms,RT_ms,ARI_ms,flags\na,2,40,200,160,\n",
         dir + " is no study of mapari-batch: cannot read " + (study_ / "results.csv").string() +
             ": line 2: lead 2 of \"a\" where lead 1 belongs (leads go 1 to 64 in order)"},
        {"a/" + std::string(study_record_name), "{",
         "a record of the study cannot be read: " + record + ": it is not a JSON object"},
    };
    for (const Case& c : cases) {
        fs::remove_all(study_);
        fs::copy(sources_->path() / "study", study_, fs::copy_options::recursive);
        write_bytes(study_ / c.file, c.bytes);
        const auto before = snapshot(study_);
        const CommandRun run = correct({"--t-end", "560"});
        EXPECT_EQ(run.exit_code, 1) << c.file;
        EXPECT_EQ(run.errors, "mapari-batch: " + c.said + "; nothing was written\n");
        EXPECT_EQ(differences(snapshot(study_), before), no_paths) << c.file;
    }
}

TEST_F(StudyCorrection, ARecordingWhoseAnalysisFailedOrWasStoppedHasNoMarksToCorrect) {
    const std::string record = read_bytes(study_ / "a" / study_record_name);
    const std::string ok = "\"status\": \"ok\"";
    ASSERT_NE(record.find(ok), std::string::npos);
    for (const std::string status : {"failed", "stopped"}) {
        std::string changed = record;
        changed.replace(changed.find(ok), ok.size(), "\"status\": \"" + status + "\"");
        write_bytes(study_ / "a" / study_record_name, changed);
        const auto before = snapshot(study_);
        const CommandRun run = correct({"--t-end", "560"});
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_EQ(run.errors, "mapari-batch: a has no marks to correct: its analysis " +
                                  std::string(status == "failed" ? "failed" : "was stopped") +
                                  "; nothing was written\n");
        EXPECT_EQ(differences(snapshot(study_), before), no_paths);
    }
}

TEST_F(StudyCorrection, ASourceChangedSinceItsAnalysisIsRefused) {
    const fs::path source = folder_.path() / "a-copy.dat";
    fs::copy_file(sources_->path() / "a.dat", source);
    fs::remove(study_ / "a" / "a.dat");
    fs::create_symlink(source, study_ / "a" / "a.dat");
    std::string bytes = read_bytes(source);
    bytes[1000] = static_cast<char>(bytes[1000] ^ 1);
    write_bytes(source, bytes);
    const auto before = snapshot(study_);
    const CommandRun run = correct({"--t-end", "560"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.errors, "mapari-batch: the recording " + (study_ / "a" / "a.dat").string() +
                              " has changed since its analysis; mapari-batch --again a "
                              "analyses it anew; nothing was written\n");
    EXPECT_EQ(differences(snapshot(study_), before), no_paths);
}

// The bad leads of a corrected recording are settled by the rules it was
// analysed with: a layout file that is gone is refused, not swapped for the grid.
TEST_F(StudyCorrection, TheSpatialRulesOfTheAnalysisAreKeptOrTheCorrectionRefused) {
    const fs::path layout = folder_.path() / "vest.csv";
    std::string lines = "lead,x,y\n";
    for (int lead = 1; lead <= 64; ++lead)
        lines += std::to_string(lead) + "," + std::to_string((lead - 1) % 8) + "," +
                 std::to_string((lead - 1) / 8) + "\n";
    write_bytes(layout, lines);
    const fs::path study = folder_.path() / "vest-study";
    ASSERT_EQ(
        run_batch(into({sources_->file("a.dat")}, study, {"--layout", layout.string()})).exit_code,
        0);
    fs::remove(layout);
    const auto before = snapshot(study);
    const CommandRun refused = run_batch({"--correct", study.string(), "a", "--t-end", "560"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.errors, "mapari-batch: the spatial rules of a (layout " + layout.string() +
                                  ") cannot be had again: cannot read the layout " +
                                  layout.string() +
                                  ": No such file or directory; nothing was written\n");
    EXPECT_EQ(differences(snapshot(study), before), no_paths);

    write_bytes(layout, lines);
    const CommandRun corrected = run_batch({"--correct", study.string(), "a", "--t-end", "560"});
    ASSERT_EQ(corrected.exit_code, 0) << corrected.errors;
    RecordingAnalysis record;
    std::string reason;
    ASSERT_TRUE(read_study_record(read_bytes(study / "a" / study_record_name), record, reason));
    EXPECT_EQ(record.spatial_rules, "layout " + layout.string());
}

TEST_F(StudyCorrection, AFailedWriteChangesNothing) {
    const auto before = snapshot(study_);
    // A folder in the way of beats.csv's temporary: the last file of the set fails.
    fs::create_directory(study_ / "beats.csv.partial");
    const CommandRun run = correct({"--t-end", "560"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(run.errors.starts_with("mapari-batch: cannot write " +
                                       (study_ / "beats.csv").string() + ": "))
        << run.errors;
    EXPECT_TRUE(run.errors.ends_with("; nothing was written\n")) << run.errors;
    EXPECT_EQ(differences(snapshot(study_), before), no_paths);
    fs::remove(study_ / "beats.csv.partial");

    // A full disk: the corrected session itself cannot save its beat.
    const auto [code, said] =
        batch_with_file_limit({"--correct", study_.string(), "a", "--t-end", "560"}, 500);
    EXPECT_EQ(code, 1) << said;
    EXPECT_TRUE(said.ends_with("; nothing was written\n")) << said;
    EXPECT_EQ(differences(snapshot(study_), before), no_paths);
    EXPECT_EQ(entries(study_), entries(sources_->path() / "study"));
}

TEST_F(StudyCorrection, ALaterBatchKeepsTheCorrectedRecording) {
    ASSERT_EQ(correct({"--t-end", "560"}).exit_code, 0);
    const auto corrected = snapshot(study_ / "a");
    const std::vector<std::string> sources = {sources_->file("a.dat"), sources_->file("b.dat")};
    const CommandRun later = run_batch(into(sources, study_, {"--settings", "30,7,100"}));
    EXPECT_EQ(later.exit_code, 0) << later.errors;
    EXPECT_EQ(later.out,
              "kept (corrected by hand): a\n"
              "analysed 0 recordings: 0 ok, 0 to check, 0 failed\n"
              "skipped (analysed before): 1\n"
              "tables: " +
                  (study_ / "results.csv").string() + ", " + (study_ / "recordings.csv").string() +
                  ", " + (study_ / "beats.csv").string() + "\n");
    EXPECT_EQ(differences(snapshot(study_ / "a"), corrected), no_paths);
    EXPECT_EQ(recordings_cell("a", "status"), "corrected");

    const CommandRun again =
        run_batch(into(sources, study_, {"--settings", "30,7,100", "--again", "a"}));
    EXPECT_EQ(again.exit_code, 0) << again.errors;
    EXPECT_TRUE(again.out.starts_with("kept the earlier analysis of a (corrected by hand) as " +
                                      (study_ / "a.1").string() + "\n"))
        << again.out;
    EXPECT_EQ(differences(snapshot(study_ / "a.1"), corrected), no_paths);
    EXPECT_EQ(recordings_cell("a", "status"), "ok");
    EXPECT_EQ(recordings_cell("a", "t_end"), "595");
}

}  // namespace
}  // namespace mapari::batch_tests
