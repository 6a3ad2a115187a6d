// The study's report as files: a row of the index for every recording in
// the order of recordings.csv, with its status, reason, numbers and flag
// counts; a page for each with its maps and its flagged leads named; names
// made safe; nothing fetched from outside the folder; and the folder written
// whole, stale pages removed, a malformed table refused with nothing written.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "review/review_layout.hpp"
#include "review/study_report.hpp"
#include "review/svg_picture.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

namespace fs = std::filesystem;

int occurrences(const std::string& text, const std::string& word) {
    int count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

// The rows of the index, each the text of its <tr ...> tag.
std::vector<std::string> index_rows(const std::string& html) {
    std::vector<std::string> rows;
    const std::regex row("<tr tabindex=\"0\"[^>]*>");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), row);
         it != std::sregex_iterator(); ++it)
        rows.push_back(it->str());
    return rows;
}

class StudyReport : public ::testing::Test {
  protected:
    void SetUp() override {
        write_bytes(
            folder_.file("results.csv"),
            std::string(results_header) +
                results_rows("rec1", {{3, "12.5,300,287.5,weak"}, {17, "40,300,260,weak"}}) +
                results_rows("Müller 02", {{2, "0,200,200,no-downstroke;no-upstroke"},
                                           {5, "40,300,260,noisy"}}));
        write_bytes(
            folder_.file("recordings.csv"),
            "recording,status,reason,beats_accepted,stimulus,q_onset,j_point,t_end,rr_ms,qt_ms\n"
            "rec1,ok,,9,150,172,250,610,812,402\n"
            "rec0,failed,\"no beat found, <flat>\",,,,,,,\n"
            "Müller 02,check,T end doubtful,7,140,160,240,600,,\n");
    }
    std::vector<ReportFile> files() {
        std::vector<ReviewData> reviews;
        std::string message;
        EXPECT_TRUE(load_results_review({folder_.file("results.csv"), ""}, reviews, message))
            << message;
        std::vector<ReportRecording> recordings;
        for (ReviewData& review : reviews) recordings.push_back({std::move(review), {}, {}});
        return study_report_files("study", recordings);
    }
    TemporaryFolder folder_;
};

TEST_F(StudyReport, IndexHasARowForEveryRecordingInTheStudysOrder) {
    const std::vector<ReportFile> report = files();
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[0].name, "index.html");
    EXPECT_EQ(report[1].name, "001-rec1.html");
    EXPECT_EQ(report[2].name, "002-rec0.html");
    // ü is two bytes, each made '_'.
    EXPECT_EQ(report[3].name, "003-M__ller_02.html");
    const std::string& index = report[0].html;
    EXPECT_EQ(
        index_rows(index),
        (std::vector<std::string>{
            R"(<tr tabindex="0" class="status-ok" data-status="ok" data-flags="weak">)",
            R"(<tr tabindex="0" class="status-failed" data-status="failed" data-flags="">)",
            R"(<tr tabindex="0" class="status-check" data-status="check" data-flags="no-downstroke no-upstroke noisy">)"}));
    EXPECT_NE(index.find("<p>3 recordings: 1 ok, 1 check, 1 failed.</p>"), std::string::npos);
    // The reason escaped; the numbers sortable.
    EXPECT_NE(
        index.find(R"(data-value="no beat found, &lt;flat&gt;">no beat found, &lt;flat&gt;</td>)"),
        std::string::npos);
    EXPECT_NE(index.find(R"(<td data-key="qt_ms" data-value="402" class="number">402</td>)"),
              std::string::npos);
    EXPECT_NE(index.find(R"(<td data-key="flag-weak" data-value="2" class="number">2</td>)"),
              std::string::npos);
    // Only the flags some recording carries have a column; each status present is a choice.
    for (const char* flag : {"no-downstroke", "no-upstroke", "weak", "noisy"})
        EXPECT_EQ(occurrences(index, std::string("<th data-key=\"flag-") + flag + "\""), 1) << flag;
    EXPECT_EQ(occurrences(index, "data-key=\"flag-clipped\""), 0);
    for (const char* status : {"ok", "check", "failed"})
        EXPECT_EQ(occurrences(index, std::string("<option value=\"") + status + "\">"), 1)
            << status;
    EXPECT_EQ(occurrences(index, "<option value=\"stopped\">"), 0);
}

TEST_F(StudyReport, EachPageShowsItsStatusMapsAndNamedLeads) {
    const std::vector<ReportFile> report = files();
    const std::string& ok = report[1].html;
    EXPECT_NE(ok.find("<tr><th>weak</th><td>3, 17</td></tr>"), std::string::npos);
    EXPECT_NE(ok.find("<tr><th>QT (ms)</th><td>402</td></tr>"), std::string::npos);
    EXPECT_NE(ok.find("<tr><th>Marks (samples): ref, Q onset, J, T end</th><td>150, 172, 250, "
                      "610</td></tr>"),
              std::string::npos);
    EXPECT_EQ(occurrences(ok, "<svg "), 1);
    EXPECT_NE(ok.find(">Activation time AT (ms)<"), std::string::npos);
    EXPECT_NE(ok.find(R"(<a id="next" href="002-rec0.html">)"), std::string::npos);
    EXPECT_EQ(occurrences(ok, "id=\"previous\""), 0);
    const std::string& failed = report[2].html;
    EXPECT_NE(failed.find("<tr><th>Status</th><td>failed</td></tr>"), std::string::npos);
    EXPECT_NE(failed.find("<tr><th>Reason</th><td>no beat found, &lt;flat&gt;</td></tr>"),
              std::string::npos);
    EXPECT_NE(failed.find(R"(<a id="previous" href="001-rec1.html">)"), std::string::npos);
    EXPECT_NE(failed.find("No lead carries a flag."), std::string::npos);
    const std::string& check = report[3].html;
    EXPECT_NE(check.find("<tr><th>no-downstroke</th><td>2</td></tr>"), std::string::npos);
    EXPECT_NE(check.find("<tr><th>noisy</th><td>5</td></tr>"), std::string::npos);
}

// Nothing is fetched: no address outside the folder (the SVG namespace names
// no file), no linked script, style or picture, and a policy that forbids them.
TEST_F(StudyReport, PagesFetchNothing) {
    for (const ReportFile& file : files()) {
        std::string html = file.html;
        for (std::size_t at; (at = html.find("http://www.w3.org/2000/svg")) != std::string::npos;)
            html.erase(at, 26);
        EXPECT_EQ(occurrences(html, "://"), 0) << file.name;
        EXPECT_EQ(occurrences(html, "src="), 0) << file.name;
        EXPECT_EQ(occurrences(html, "<link"), 0) << file.name;
        EXPECT_EQ(occurrences(html, "url(") - occurrences(html, "url(#"), 0) << file.name;
        EXPECT_EQ(occurrences(html, "content=\"default-src 'none'; "), 1) << file.name;
    }
}

TEST_F(StudyReport, IsWrittenWholeAndStalePagesGo) {
    const std::string report = folder_.file("report");
    fs::create_directories(report);
    write_bytes(report + "/004-gone.html", "old");
    int pages = 0;
    std::string message;
    ASSERT_TRUE(write_study_report({folder_.file("results.csv"), ""}, pages, message)) << message;
    EXPECT_EQ(pages, 3);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(report))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"001-rec1.html", "002-rec0.html",
                                               "003-M__ller_02.html", "index.html"}));
    EXPECT_EQ(index_rows(read_bytes(report + "/index.html")), index_rows(files()[0].html));
    const std::string study = fs::path(folder_.path()).filename().string();
    EXPECT_NE(read_bytes(report + "/index.html").find("<h1>Study " + study + "</h1>"),
              std::string::npos);
}

TEST_F(StudyReport, AMalformedTableIsRefusedAndNothingIsWritten) {
    write_bytes(folder_.file("recordings.csv"), "recording,status,reason\nrec1,fine,\n");
    int pages = 0;
    std::string message;
    EXPECT_FALSE(write_study_report({folder_.file("results.csv"), ""}, pages, message));
    EXPECT_EQ(message, folder_.file("recordings.csv") +
                           ": line 2: \"fine\" is not a status (ok, check, corrected, stopped, "
                           "failed)");
    EXPECT_FALSE(fs::exists(folder_.file("report")));
}

// The recording's folder holds its saved beat: its page shows the sheet of 64
// traces; a .ds of another session beside it is named instead.
TEST_F(StudyReport, TheSavedBeatInTheRecordingsFolderGivesTheSheet) {
    fs::create_directories(folder_.file("rec1"));
    write_bytes(folder_.file("rec1/rec1.ari"), hand_made_ari_text());
    write_bytes(folder_.file("rec1/rec1.ds"), indexed_ds_text());
    fs::create_directories(folder_.file("rec0"));
    write_bytes(folder_.file("rec0/rec0.ari"), hand_made_ari_text());
    write_bytes(folder_.file("rec0/rec0.ds"), indexed_ds_text());
    write_bytes(folder_.file("rec0/rec0.se"), "  150  140  260  600\n");
    int pages = 0;
    std::string message;
    ASSERT_TRUE(write_study_report({folder_.file("results.csv"), ""}, pages, message)) << message;
    const std::string with_sheet = read_bytes(folder_.file("report/001-rec1.html"));
    EXPECT_EQ(occurrences(with_sheet, "<svg "), 2);
    EXPECT_EQ(occurrences(with_sheet, "<polyline "), 64);
    const std::string refused = read_bytes(folder_.file("report/002-rec0.html"));
    EXPECT_EQ(occurrences(refused, "<polyline "), 0);
    EXPECT_NE(refused.find("The saved beat is not shown: " + folder_.file("rec0/rec0.ds") +
                           ": not the saved beat of rec0.ari: its marks rec0.se put J at 260, the "
                           ".ari at 250"),
              std::string::npos);
}

// The sheet flags RT = J + r - P as a default with the r the batch used
// (recordings.csv's recovery_delay), not the default 100.
TEST_F(StudyReport, TheSheetFlagsTheDefaultsOfTheBatchsRecoveryDelay) {
    write_bytes(folder_.file("recordings.csv"),
                "recording,status,reason,recovery_delay\nrec1,ok,,101\n");
    fs::create_directories(folder_.file("rec1"));
    write_bytes(folder_.file("rec1/rec1.ari"), hand_made_ari_text());
    write_bytes(folder_.file("rec1/rec1.ds"), indexed_ds_text());
    int pages = 0;
    std::string message;
    ASSERT_TRUE(write_study_report({folder_.file("results.csv"), ""}, pages, message)) << message;
    const std::string page = read_bytes(folder_.file("report/001-rec1.html"));
    const auto sheet = [this](std::int32_t r) {
        ReviewData data;
        std::string reason;
        EXPECT_TRUE(load_review(
            {folder_.file("rec1/rec1.ari"), folder_.file("rec1/rec1.ds"), "", r}, data, reason))
            << reason;
        return svg_sheet(lay_out_review(data), "sheet-");
    };
    EXPECT_NE(sheet(101), sheet(100));
    EXPECT_NE(page.find(sheet(101)), std::string::npos);
    EXPECT_EQ(page.find(sheet(100)), std::string::npos);
}

}  // namespace
}  // namespace mapari::review_tests
