// A study folder that only grows: batches into one folder, recordings named
// apart, analyses asked again, sources changed, a batch stopped or killed and
// run again, writes that fail part way, and each recording's record.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch_command.hpp"
#include "app/batch_tables.hpp"
#include "app/study_folder.hpp"
#include "app/study_record.hpp"
#include "batch_support.hpp"
#include "support/child_run.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {
namespace {

namespace fs = std::filesystem;
using test_support::read_bytes;
using test_support::TemporaryFolder;
using test_support::write_bytes;

const std::vector<std::string> none;

// "RR,QT,QTc,QTc\n" of the record in `folder`, each a whole number.
std::string interval_cells_of(const fs::path& folder) {
    RecordingAnalysis analysis;
    std::string reason;
    EXPECT_TRUE(read_study_record(read_bytes(folder / study_record_name), analysis, reason))
        << reason;
    const HeartIntervals intervals = heart_intervals(analysis);
    std::string cells;
    for (const std::optional<int>& ms :
         {intervals.rr_ms, intervals.qt_ms, intervals.qtc_bazett_ms, intervals.qtc_fridericia_ms}) {
        EXPECT_TRUE(ms.has_value());
        cells += (cells.empty() ? "" : ",") + std::to_string(ms.value_or(0));
    }
    return cells + "\n";
}

std::string tables(const fs::path& out) {
    return read_bytes(out / "results.csv") + read_bytes(out / "recordings.csv") +
           read_bytes(out / "beats.csv");
}

TEST(StudyFolder, ASecondBatchAddsToTheFirstAndChangesNothingOfIt) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"a", "b", "c"});
    const fs::path out = folder.path() / "study";
    ASSERT_EQ(run_batch(into({files[0], files[1]}, out)).exit_code, 0);
    write_bytes(out / "a" / "operator-notes.txt", "lead 12 looked odd\n");
    write_bytes(out / "results.pdf", "%PDF of a and b");
    const auto a_before = snapshot(out / "a"), b_before = snapshot(out / "b");
    const CommandRun second = run_batch(into({files[2]}, out));
    EXPECT_EQ(second.exit_code, 0) << second.errors;
    EXPECT_EQ(second.out, "removed " + (out / "results.pdf").string() +
                              ": it was made from the earlier tables (mapari-review --results " +
                              (out / "results.csv").string() +
                              " makes it anew)\n"
                              "analysed 1 recordings: 1 ok, 0 to check, 0 failed\n"
                              "tables: " +
                              (out / "results.csv").string() + ", " +
                              (out / "recordings.csv").string() + ", " +
                              (out / "beats.csv").string() + "\n");
    EXPECT_EQ(differences(snapshot(out / "a"), a_before), none);
    EXPECT_EQ(differences(snapshot(out / "b"), b_before), none);
    EXPECT_EQ(read_bytes(out / "a" / "operator-notes.txt"), "lead 12 looked odd\n");
    // The same tables as one batch of all three.
    const fs::path whole = folder.path() / "whole";
    ASSERT_EQ(run_batch(into(files, whole)).exit_code, 0);
    EXPECT_EQ(tables(out), tables(whole));
    // The first batch again: nothing to do, nothing written anew.
    const auto study_before = snapshot(out);
    const CommandRun third = run_batch(into({files[0], files[1]}, out));
    EXPECT_EQ(third.exit_code, 0);
    EXPECT_TRUE(
        third.out.starts_with("analysed 0 recordings: 0 ok, 0 to check, 0 failed\n"
                              "skipped (analysed before): 2\n"))
        << third.out;
    EXPECT_EQ(differences(snapshot(out), study_before), none);
}

// The study's rows of the report's index, each "<tr ...>" tag.
int report_rows(const fs::path& out) {
    const std::string index = read_bytes(out / "report" / "index.html");
    int rows = 0;
    for (std::size_t at = index.find("<tr tabindex"); at != std::string::npos;
         at = index.find("<tr tabindex", at + 1))
        ++rows;
    return rows;
}

// --report writes the study's report; a later batch that changes the tables
// writes it anew and says so; one that changes nothing leaves it alone.
TEST(StudyFolder, TheReportIsWrittenWhenAskedAndAnewWhenTheTablesChange) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"a", "b"});
    const fs::path out = folder.path() / "study";
    const std::string index = (out / "report" / "index.html").string();
    const CommandRun first = run_batch(into({files[0]}, out, {"--report"}));
    ASSERT_EQ(first.exit_code, 0) << first.errors;
    EXPECT_TRUE(first.out.starts_with("wrote " + index + " and the pages of 1 recording\n"))
        << first.out;
    EXPECT_EQ(report_rows(out), 1);
    // The page shows the maps and, from the recording's folder, the sheet of its 64 leads.
    const std::string page = read_bytes(out / "report" / "001-a.html");
    EXPECT_NE(page.find(">Activation time AT (ms)<"), std::string::npos);
    EXPECT_NE(page.find("The averaged beat of each lead, with its marks"), std::string::npos);
    const CommandRun second = run_batch(into({files[1]}, out));
    ASSERT_EQ(second.exit_code, 0) << second.errors;
    EXPECT_TRUE(second.out.starts_with("rewrote " + index +
                                       " and the pages of 2 recordings: the tables changed\n"))
        << second.out;
    EXPECT_EQ(report_rows(out), 2);
    const auto before = snapshot(out);
    const CommandRun third = run_batch(into({files[0], files[1]}, out));
    EXPECT_EQ(third.out.find("report"), std::string::npos) << third.out;
    EXPECT_EQ(differences(snapshot(out), before), none);
}

// A recording named "report" has its folder where the report would go: the
// report is refused there with the reason, and the folder is left as it was.
TEST(StudyFolder, TheReportNeverGoesIntoARecordingsFolder) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"report"});
    const fs::path out = folder.path() / "study";
    ASSERT_EQ(run_batch(into({files[0]}, out)).exit_code, 0);
    const auto before = snapshot(out / "report");
    const CommandRun asked = run_batch(into({files[0]}, out, {"--report"}));
    EXPECT_EQ(asked.exit_code, 1);
    EXPECT_TRUE(asked.errors.starts_with("mapari-batch: cannot write the report " +
                                         (out / "report" / "index.html").string() + ": " +
                                         (out / "report").string() + " holds "))
        << asked.errors;
    EXPECT_EQ(differences(snapshot(out / "report"), before), none);
}

TEST(StudyFolder, RecordingsNamedAlikeGetNamesNoOtherHasAndKeepThem) {
    TemporaryFolder folder;
    for (const char* file : {"a/x.dat", "b/x.dat", "c/x_2.dat", "d/x.dat"}) {
        fs::create_directories((folder.path() / file).parent_path());
        write_synthetic(folder.path() / file, static_cast<std::uint32_t>(file[0]), 10.0, 75.0);
    }
    const fs::path out = folder.path() / "study";
    const auto path = [&](const char* file) { return (folder.path() / file).string(); };
    ASSERT_EQ(run_batch(into({path("a/x.dat"), path("b/x.dat"), path("c/x_2.dat")}, out)).exit_code,
              0);
    // The same path again is the same recording; a new one takes the next free name.
    const CommandRun second = run_batch(into({path("d/x.dat"), path("b/x.dat")}, out));
    EXPECT_TRUE(
        second.out.starts_with("analysed 1 recordings: 1 ok, 0 to check, 0 failed\n"
                               "skipped (analysed before): 1\n"))
        << second.out;
    const struct {
        const char* name;
        const char* source;
    } expected[] = {
        {"x", "a/x.dat"}, {"x_2", "b/x.dat"}, {"x_2_2", "c/x_2.dat"}, {"x_3", "d/x.dat"}};
    for (const auto& [name, source] : expected) {
        EXPECT_NE(read_bytes(out / "recordings.csv").find("\n" + std::string(name) + ",ok,"),
                  std::string::npos)
            << name;
        RecordingAnalysis record;
        std::string reason;
        ASSERT_TRUE(read_study_record(read_bytes(out / name / study_record_name), record, reason))
            << reason;
        EXPECT_EQ(record.source, path(source));
    }
}

TEST(StudyFolder, AgainKeepsTheEarlierFolderAsideAndSaysSo) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"a", "b"});
    const fs::path out = folder.path() / "study";
    ASSERT_EQ(run_batch(into(files, out)).exit_code, 0);
    const auto a_before = snapshot(out / "a");
    const std::string tables_before = tables(out);
    for (int number : {1, 2}) {
        const CommandRun again = run_batch(into(files, out, {"--again", "a"}));
        EXPECT_EQ(again.exit_code, 0) << again.errors;
        const fs::path aside = out / ("a." + std::to_string(number));
        EXPECT_TRUE(again.out.starts_with("kept the earlier analysis of a as " + aside.string() +
                                          "\nanalysed 1 recordings: 1 ok, 0 to check, 0 failed\n"
                                          "skipped (analysed before): 1\n"))
            << again.out;
        EXPECT_TRUE(fs::exists(out / "a" / "a.ari"));
        EXPECT_EQ(tables(out), tables_before) << "the same source and settings: the same rows";
    }
    EXPECT_EQ(differences(snapshot(out / "a.1"), a_before), none);
    const CommandRun unknown = run_batch(into(files, out, {"--again", "b,z"}));
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_EQ(unknown.errors, "mapari-batch: --again names z, which is no recording of the list\n");
    EXPECT_FALSE(fs::exists(out / "b.1"));
}

TEST(StudyFolder, AnEarlierAnalysisThatNoLongerFitsStandsWithANote) {
    const struct {
        const char* what;
        std::vector<std::string> second_options;
        bool source_changed;
        const char* note;
    } cases[] = {
        {"source changed",
         {},
         true,
         "its source has changed since it was analysed; --again a analyses it anew"},
        {"source gone",
         {},
         false,
         "its source has changed since it was analysed; --again a analyses it anew"},
        {"other settings",
         {"--coefficient", "0.95"},
         false,
         "analysed before with other settings; --again a analyses it anew"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryFolder folder;
        const std::vector<std::string> files = recordings(folder, {"a"});
        const fs::path out = folder.path() / "study";
        ASSERT_EQ(run_batch(into(files, out)).exit_code, 0);
        const auto before = snapshot(out / "a");
        if (c.source_changed) write_synthetic(files[0], 99, 30.0, 110.0);
        if (std::string(c.what) == "source gone") fs::remove(files[0]);
        std::vector<std::string> arguments = into(files, out);
        arguments.insert(arguments.end(), c.second_options.begin(), c.second_options.end());
        const CommandRun second = run_batch(arguments);
        EXPECT_EQ(second.out.substr(0, second.out.find('\n') + 1),
                  "a: " + std::string(c.note) + "\n");
        EXPECT_EQ(differences(snapshot(out / "a"), before), none);
        // The note, and after it the earlier analysis's RR, QT and both QTc,
        // then its bad leads: none, on the grid.
        const std::string recordings_table = read_bytes(out / "recordings.csv");
        const std::string note = ",13 23 37," + std::string(c.note) + ",";
        const std::size_t at = recordings_table.rfind(note);
        ASSERT_NE(at, std::string::npos) << recordings_table;
        std::string cells = interval_cells_of(out / "a");
        cells.insert(cells.size() - 1, ",0,0,0,0,0,,,grid");
        EXPECT_EQ(recordings_table.substr(at + note.size()), cells) << recordings_table;
    }
}

// Stops the batch as Ctrl-C does once `count` analyses have ended.
std::function<void()> stop_after(int count) {
    return [count, ended = 0]() mutable {
        if (++ended == count) ask_batch_to_stop();
    };
}

TEST(StudyFolder, AStoppedBatchRunAgainEndsAsOneThatRanThrough) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"r1", "r2", "r3", "r4", "r5"});
    const fs::path whole = folder.path() / "whole", out = folder.path() / "study";
    ASSERT_EQ(run_batch(into(files, whole)).exit_code, 0);
    const CommandRun stopped = test_support::run_command([&](std::ostream& o, std::ostream& e) {
        return run_batch_command(into(files, out), o, e, false, stop_after(2));
    });
    EXPECT_EQ(stopped.exit_code, 4);
    EXPECT_TRUE(
        stopped.out.starts_with("analysed 2 recordings: 2 ok, 0 to check, 0 failed\n"
                                "not analysed (stopped): 3\n"))
        << stopped.out;
    EXPECT_NE(read_bytes(out / "recordings.csv")
                  .find("\nr3,stopped,not analysed: the batch was stopped,0,"),
              std::string::npos);
    EXPECT_EQ(entries(out),
              (std::vector<std::string>{".batch.lock", ".study.lock", "beats.csv", "r1", "r2",
                                        "recordings.csv", "results.csv"}));
    const CommandRun again = run_batch(into(files, out));
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_TRUE(
        again.out.starts_with("analysed 3 recordings: 3 ok, 0 to check, 0 failed\n"
                              "skipped (analysed before): 2\n"))
        << again.out;
    EXPECT_EQ(tables(out), tables(whole));
}

// More analyses than one flush of the file system names at once (16): the
// first 16 are named while the batch goes on, the 17th once the last analysis
// has ended. Stopped after 17, the batch names all of them, and the same
// command finishes the study as one that ran through.
TEST(StudyFolder, AStoppedBatchNamesTheGroupsItFilledAndTheRest) {
    TemporaryFolder folder;
    std::vector<std::string> names;
    for (char first = 'a'; first <= 't'; ++first) names.push_back(std::string("r") + first);
    const std::vector<std::string> files = recordings(folder, names);
    const fs::path whole = folder.path() / "whole", out = folder.path() / "study";
    ASSERT_EQ(run_batch(into(files, whole)).exit_code, 0);
    const CommandRun stopped = test_support::run_command([&](std::ostream& o, std::ostream& e) {
        return run_batch_command(into(files, out), o, e, false, stop_after(17));
    });
    EXPECT_EQ(stopped.exit_code, 4);
    std::vector<std::string> expected = {".batch.lock", ".study.lock", "beats.csv"};
    expected.insert(expected.end(), names.begin(), names.begin() + 17);
    expected.insert(expected.end(), {"recordings.csv", "results.csv"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries(out), expected);
    const CommandRun again = run_batch(into(files, out));
    EXPECT_EQ(again.exit_code, 0) << again.errors;
    EXPECT_TRUE(
        again.out.starts_with("analysed 3 recordings: 3 ok, 0 to check, 0 failed\n"
                              "skipped (analysed before): 17\n"))
        << again.out;
    EXPECT_EQ(tables(out), tables(whole));
}

// The batch in a child process that kills itself (SIGKILL, as a power cut
// would end it) once `count` analyses have ended; its wait status.
int killed_batch(const std::vector<std::string>& arguments, int count) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::ostringstream out, errors;
        run_batch_command(arguments, out, errors, false, [count, ended = 0]() mutable {
            if (++ended == count) ::raise(SIGKILL);
        });
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

TEST(StudyFolder, AKilledBatchLeavesNoNamedHalfAndIsFinishedByTheSameCommand) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"r1", "r2", "r3", "r4"});
    const fs::path whole = folder.path() / "whole", out = folder.path() / "study";
    ASSERT_EQ(run_batch(into(files, whole)).exit_code, 0);
    const int status = killed_batch(into(files, out), 3);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    // Three analyses ended, none named yet: they wait to share one flush.
    EXPECT_EQ(entries(out), (std::vector<std::string>{".batch.lock", ".r1.partial", ".r2.partial",
                                                      ".r3.partial"}));
    const CommandRun again = run_batch(into(files, out));
    EXPECT_EQ(again.exit_code, 0) << again.errors;
    EXPECT_EQ(entries(out),
              (std::vector<std::string>{".batch.lock", ".study.lock", "beats.csv", "r1", "r2", "r3",
                                        "r4", "recordings.csv", "results.csv"}));
    EXPECT_EQ(tables(out), tables(whole));
}

// Another batch at work in the folder (its shared lock held here): its
// unnamed analyses are left alone; once none is at work, they go.
TEST(StudyFolder, UnnamedAnalysesAreRemovedOnlyWhenNoOtherBatchIsAtWork) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"a"});
    const fs::path out = folder.path() / "study";
    write_bytes(folder.folder("study/.other.partial") / "other.ds", "half");
    const int other = ::open((out / ".batch.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    ASSERT_EQ(run_batch(into(files, out)).exit_code, 0);
    EXPECT_EQ(read_bytes(out / ".other.partial" / "other.ds"), "half");
    ::close(other);
    ASSERT_EQ(run_batch(into(files, out)).exit_code, 0);
    EXPECT_FALSE(fs::exists(out / ".other.partial"));
}

TEST(StudyFolder, AFullDiskLosesNothingThatWasThere) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"a", "b", "c"});
    const fs::path out = folder.path() / "study";
    ASSERT_EQ(run_batch(into({files[0], files[1]}, out)).exit_code, 0);
    const auto before = snapshot(out);
    const auto [code, said] = batch_with_file_limit(into(files, out), 500);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(said, "mapari-batch: cannot write " + (out / "recordings.csv").string() +
                        ": File too large\n");
    EXPECT_EQ(differences(snapshot(out), before), none)
        << "every earlier folder and both tables as they were";
    EXPECT_EQ(entries(out),
              (std::vector<std::string>{".batch.lock", ".study.lock", "a", "b", "beats.csv",
                                        "recordings.csv", "results.csv"}));
    // With room again the same command finishes the study.
    EXPECT_EQ(run_batch(into(files, out)).exit_code, 0);
    EXPECT_TRUE(fs::exists(out / "c" / "c.ari"));
}

// A file-size limit that lets the small files through (the record, the
// tables) but not the result files: the analysis fails, with a folder and a
// record that say so; run again with room, it is analysed anew and the failed
// folder is kept aside.
TEST(StudyFolder, AnAnalysisThatFailedIsMadeAgainAndItsFolderKept) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"a"});
    const fs::path out = folder.path() / "study";
    const auto [code, said] = batch_with_file_limit(into(files, out), 20000);
    EXPECT_EQ(code, 1) << said;
    EXPECT_NE(read_bytes(out / "recordings.csv").find("\na,failed,"), std::string::npos)
        << read_bytes(out / "recordings.csv");
    ASSERT_TRUE(fs::exists(out / "a" / study_record_name));
    const auto failed = snapshot(out / "a");
    const CommandRun again = run_batch(into(files, out));
    EXPECT_EQ(again.exit_code, 0) << again.errors;
    EXPECT_TRUE(again.out.starts_with("kept the earlier analysis of a as " +
                                      (out / "a.1").string() +
                                      "\nanalysed 1 recordings: 1 ok, 0 to check, 0 failed\n"))
        << again.out;
    EXPECT_EQ(differences(snapshot(out / "a.1"), failed), none);
    EXPECT_NE(read_bytes(out / "recordings.csv").find("\na,ok,"), std::string::npos);
}

// Shares run one after another into one folder: each writes its own tables,
// and the whole tables hold every share's recordings.
TEST(StudyFolder, SharesKeepTheWholeTablesOfTheStudy) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"r1", "r2", "r3"});
    const fs::path out = folder.path() / "study", whole = folder.path() / "whole";
    ASSERT_EQ(run_batch(into(files, whole)).exit_code, 0);
    for (const char* share : {"2/2", "1/2"}) {
        const CommandRun run = run_batch(into(files, out, {"--shard", share}));
        EXPECT_EQ(run.exit_code, 0) << run.errors;
    }
    EXPECT_EQ(tables(out), tables(whole));
    const std::string first_share = read_bytes(out / "recordings-1-of-2.csv");
    EXPECT_EQ(std::count(first_share.begin(), first_share.end(), '\n'), 2);
    EXPECT_NE(first_share.find("\nr1,ok,"), std::string::npos) << first_share;
    EXPECT_NE(read_bytes(out / "recordings-2-of-2.csv").find("\nr3,ok,"), std::string::npos);
}

TEST(StudyFolder, ANameNeverLooksLikeTheBatchsOwnHiddenFolders) {
    TemporaryFolder folder;
    write_synthetic(folder.path() / ".x.partial.dat", 5, 10.0, 75.0);
    const fs::path out = folder.path() / "study";
    ASSERT_EQ(run_batch(into({folder.file(".x.partial.dat")}, out)).exit_code, 0);
    EXPECT_TRUE(fs::exists(out / "_x.partial" / study_record_name));
    ASSERT_EQ(run_batch(into({folder.file(".x.partial.dat")}, out)).exit_code, 0);
    EXPECT_TRUE(fs::exists(out / "_x.partial" / study_record_name)) << "kept, not removed as stale";
}

TEST(StudyFolder, ReasonsAreEnglishWhateverTheTranscriptsLanguage) {
    TemporaryFolder folder;
    folder.folder("folder.dat");
    const fs::path out = folder.path() / "study";
    const CommandRun run = run_batch(into({folder.file("folder.dat")}, out, {"--lang", "ja"}));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(read_bytes(out / "recordings.csv")
                  .find("\nfolder,failed,\"cannot be read: it is a folder, not a file\","),
              std::string::npos)
        << read_bytes(out / "recordings.csv");
}

TEST(StudyFolder, ARecordThatCannotBeReadIsNamedAndLeftOutOfTheTables) {
    TemporaryFolder folder;
    const std::vector<std::string> files = recordings(folder, {"a", "b"});
    const fs::path out = folder.path() / "study";
    ASSERT_EQ(run_batch(into(files, out)).exit_code, 0);
    write_bytes(out / "a" / study_record_name, "{\"record_version\": 1");
    const CommandRun run = run_batch(into({files[1]}, out));
    EXPECT_EQ(run.errors, "mapari-batch: " + (out / "a" / study_record_name).string() +
                              ": it is not a JSON object; left out of the tables\n");
    EXPECT_EQ(read_bytes(out / "recordings.csv").find("\na,"), std::string::npos);
}

RecordingAnalysis every_field_set() {
    RecordingAnalysis analysis;
    analysis.name = "run \"7\"";
    analysis.source = "runs/ラン7.dat";
    analysis.source_checksum = source_checksum("abc");
    analysis.settings = {3, {1, 2, 64}, "0.95", AriSettings{10, 5, 80}, {12, 40}, {7}, "grid.csv"};
    analysis.display_leads = {4, 5, 6};
    analysis.status = AnalysisStatus::check;
    analysis.reason = "only 2 beats accepted for the average";
    analysis.note = "display leads 13, 23, 37 carry no signal: took 4, 5, 6";
    analysis.beats_found = 5;
    analysis.template_beat = 1153;
    analysis.accepted = {{353, -1, 0.99813f}, {1153, 0, 1.0f}};
    analysis.averaging_count = 16;
    analysis.marks = {.stimulus = 143,
                      .q_onset = 148,
                      .j_point = 243,
                      .t_end = 601,
                      .t_peak = 450,
                      .t_end_independent = 590,
                      .stimulus_found = true,
                      .problem = "a doubt"};
    analysis.ari_settings = {10, 5, 80};
    for (std::size_t at = 0; at < lead_count; ++at) {
        analysis.activation_ms[at] = 40.1f + static_cast<float>(at) / 3.0f;
        analysis.recovery_ms[at] = 256.5f - static_cast<float>(at) / 7.0f;
    }
    analysis.flags[1] = {LeadFlag::no_downstroke, LeadFlag::noisy};
    analysis.flags[63] = {LeadFlag::clipped};
    analysis.flags[62] = {LeadFlag::no_signal};
    analysis.flags[6] = {LeadFlag::noisy, LeadFlag::marked_good};
    analysis.flags[11] = {LeadFlag::marked_bad, LeadFlag::interpolated};
    analysis.flags[19] = {LeadFlag::outlier, LeadFlag::interpolated};
    analysis.flags[39] = {LeadFlag::steps, LeadFlag::marked_bad};
    analysis.spatial_rules = "layout grid.csv";
    analysis.program_version = "0.2.0";
    analysis.analysed_at = "2026-12-08T23:40:05Z";
    return analysis;
}

// Every folder's record read, whichever of the two reading threads takes it:
// records under their own names, every record that cannot be read named with
// its reason, and neither a folder set aside, one without a record, a file nor
// an unnamed analysis taken for a recording.
TEST(StudyFolder, ReadingAStudyTakesEveryRecordAndNamesEveryUnreadableOne) {
    TemporaryFolder folder;
    const fs::path study = folder.path() / "study";
    const auto record_in = [&study](const std::string& entry, const std::string& name) {
        RecordingAnalysis analysis = every_field_set();
        analysis.name = name;
        fs::create_directories(study / entry);
        write_bytes(study / entry / study_record_name, study_record_text(analysis));
    };
    const std::vector<std::string> named = {"r1", "r2", "r3", "r4", "r5", "r6", "r7"};
    for (const std::string& name : named) record_in(name, name);
    record_in("r2.1", "r2");  // set aside by --again
    record_in(partial_folder(study, "r8").filename().string(), "r8");
    const struct {
        std::string entry, bytes, reason;
    } spoilt[] = {{"u1", "{\"record_version\": 1", "it is not a JSON object"},
                  {"u2", "", "it is not a JSON object"},
                  {"u3", "[1, 2]", "it is not a JSON object"}};
    for (const auto& c : spoilt) {
        fs::create_directories(study / c.entry);
        write_bytes(study / c.entry / study_record_name, c.bytes);
    }
    fs::create_directories(study / "empty");
    write_bytes(study / "results.csv", "a file\n");

    const StudyContents contents = read_study(study);
    std::vector<std::string> names, unreadable = contents.unreadable;
    for (const auto& [name, record] : contents.records) {
        names.push_back(name);
        RecordingAnalysis alone;
        std::string reason;
        ASSERT_TRUE(read_study_record(read_bytes(study / name / study_record_name), alone, reason));
        EXPECT_EQ(study_record_text(record), study_record_text(alone)) << name;
    }
    EXPECT_EQ(names, named);
    std::vector<std::string> expected;
    for (const auto& c : spoilt)
        expected.push_back((study / c.entry / study_record_name).string() + ": " + c.reason);
    std::sort(unreadable.begin(), unreadable.end());
    EXPECT_EQ(unreadable, expected);
    EXPECT_EQ(contents.entry_names.size(), named.size() + std::size(spoilt) + 4);
}

TEST(StudyRecord, ReadsBackEveryFieldItWrote) {
    const RecordingAnalysis written = every_field_set();
    const std::string text = study_record_text(written);
    RecordingAnalysis read;
    std::string reason;
    ASSERT_TRUE(read_study_record(text, read, reason)) << reason;
    EXPECT_EQ(study_record_text(read), text);
    EXPECT_EQ(read.settings, written.settings);
    EXPECT_EQ(read.note, written.note);
    EXPECT_EQ(read.flags, written.flags);
    EXPECT_EQ(read.accepted, written.accepted);
    EXPECT_EQ(read.activation_ms, written.activation_ms);
    EXPECT_EQ(read.recovery_ms, written.recovery_ms);
    EXPECT_EQ(read.flags, written.flags);
    EXPECT_EQ(read.marks.problem, "a doubt");
    EXPECT_EQ(read.marks.t_peak, 450);
    EXPECT_EQ(read.marks.t_end_independent, 590);
    EXPECT_EQ(results_table({read}), results_table({written}));
    EXPECT_EQ(recordings_table({read}), recordings_table({written}));
    EXPECT_NE(text.find("\"flags\": [\n        \"no-downstroke\",\n        \"noisy\"\n      ]"),
              std::string::npos)
        << text;
}

// A corrected record keeps its corrections, in order, and reads them back;
// one never corrected has no "corrections" field, as before they were kept.
TEST(StudyRecord, ReadsBackItsCorrectionsAndWritesNoneWhenThereAreNone) {
    RecordingAnalysis written = every_field_set();
    EXPECT_EQ(study_record_text(written).find("corrections"), std::string::npos);
    written.status = AnalysisStatus::corrected;
    written.corrections = {
        {"2026-12-09T05:46:27Z", {{"t_end", 595, 560}, {"q_onset", 148, 146}}, {}, {}},
        {"2026-12-09T06:01:00Z", {}, std::vector<int>{12, 40}, std::vector<int>{}}};
    const std::string text = study_record_text(written);
    EXPECT_NE(text.find("\"status\": \"corrected\""), std::string::npos) << text;
    EXPECT_NE(
        text.find("\"bad_leads\": {\n        \"from\": [\n          12,\n          40\n        ],"
                  "\n        \"to\": []\n      }"),
        std::string::npos)
        << text;
    RecordingAnalysis read;
    std::string reason;
    ASSERT_TRUE(read_study_record(text, read, reason)) << reason;
    EXPECT_EQ(read.status, AnalysisStatus::corrected);
    EXPECT_EQ(read.corrections, written.corrections);
    EXPECT_EQ(study_record_text(read), text);
    EXPECT_NE(recordings_table({read}).find("\n\"run \"\"7\"\"\",corrected,"), std::string::npos)
        << recordings_table({read});
}

// A record written before the independent T end was kept reads as one
// without it, and its rows are those of the record.
TEST(StudyRecord, ReadsARecordWithoutTheIndependentTEnd) {
    const RecordingAnalysis written = every_field_set();
    std::string text = study_record_text(written);
    const std::string field = "\n    \"t_end_independent\": 590,";
    ASSERT_NE(text.find(field), std::string::npos) << text;
    text.erase(text.find(field), field.size());
    RecordingAnalysis read;
    std::string reason;
    ASSERT_TRUE(read_study_record(text, read, reason)) << reason;
    EXPECT_EQ(read.marks.t_end_independent, 0);
    EXPECT_EQ(read.marks.t_peak, 450);
    EXPECT_EQ(recordings_table({read}), recordings_table({written}));
}

// A record written before bad leads were settled reads as one without hand
// lists, layout or spatial rules.
TEST(StudyRecord, ReadsARecordWithoutTheBadLeadSettings) {
    RecordingAnalysis written = every_field_set();
    std::string text = study_record_text(written);
    for (const std::string field :
         {",\n    \"bad_leads\": [\n      12,\n      40\n    ]",
          ",\n    \"good_leads\": [\n      7\n    ]", ",\n    \"layout\": \"grid.csv\"",
          "\n  \"spatial_rules\": \"layout grid.csv\","}) {
        ASSERT_NE(text.find(field), std::string::npos) << field << " in " << text;
        text.erase(text.find(field), field.size());
    }
    RecordingAnalysis read;
    std::string reason;
    ASSERT_TRUE(read_study_record(text, read, reason)) << reason;
    written.settings.bad_leads.clear();
    written.settings.good_leads.clear();
    written.settings.layout.clear();
    written.spatial_rules.clear();
    EXPECT_EQ(read.settings, written.settings);
    EXPECT_EQ(recordings_table({read}), recordings_table({written}));
}

TEST(StudyRecord, RefusesWhatIsNoRecordOfThisProgram) {
    const std::string good = study_record_text(every_field_set());
    const auto changed = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"", "it is not a JSON object"},
        {"[1, 2]", "it is not a JSON object"},
        {changed("\"record_version\": 1", "\"record_version\": 2"),
         "it is a record of another version of the program"},
        {changed("\"status\": \"check\"", "\"status\": \"fine\""),
         "its status \"fine\" is none of ok, check, failed, stopped, corrected"},
        {changed("\"noisy\"", "\"loud\""), "lead 2 has the unknown flag \"loud\""},
        {changed("\"lead\": 3,", "\"lead\": 4,"), "its leads are not in order from 1"},
        {changed("\"leads\": [\n    {", "\"leads\": [\n    {\"x\": 0},\n    {"),
         "it holds no list of 64 leads"},
        {changed("\"name\"", "\"nom\""), "[json.exception.out_of_range.403] key 'name' not found"},
        {changed("\"beats_found\": 5", "\"beats_found\": \"5\""),
         "[json.exception.type_error.302] type must be number, but is string"},
        {changed("\"t_end_independent\": 590", "\"t_end_independent\": \"590\""),
         "[json.exception.type_error.302] type must be number, but is string"},
    };
    for (const auto& [text, expected] : cases) {
        RecordingAnalysis read;
        std::string reason;
        EXPECT_FALSE(read_study_record(text, read, reason)) << expected;
        EXPECT_EQ(reason, expected);
    }
}

}  // namespace
}  // namespace mapari::batch_tests
