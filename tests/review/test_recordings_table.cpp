// The study's recordings.csv as the review reads it: the columns it shows,
// found by their names, quoted fields, and every fault refused with its line;
// and the review of a study: a page for every recording in its order, the
// failed ones with their status and reason, the flagged leads named.
#include <gtest/gtest.h>

#include "review/recordings_table.hpp"
#include "review/review_layout.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

constexpr std::string_view header =
    "recording,status,reason,display_second,beats_found,template_beat,beats_accepted,"
    "accepted_beats,averaging_count,stimulus,q_onset,j_point,t_end,stimulus_found,rr_ms,qt_ms\n";

std::vector<RecordingSummary> read_table(std::string_view text) {
    std::vector<RecordingSummary> recordings;
    std::string reason;
    EXPECT_TRUE(read_recordings_table(text, recordings, reason)) << reason;
    return recordings;
}

TEST(RecordingsTable, ColumnsAreFoundByTheirNames) {
    const std::vector<RecordingSummary> read = read_table(
        std::string(header) +
        "rec1,ok,,1,12,3,9,600/0/0.9,9,150,172,250,610,yes,812,402\n"
        "rec2,failed,\"no beat found, \"\"flat\"\"\",1,,,,,,,,,,,,\n"
        "rec3,check,\"T end doubtful\nsee transcript\",1,12,3,9,,9,150,172,250,610,no,,\n");
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].name, "rec1");
    EXPECT_EQ(read[0].status, "ok");
    EXPECT_EQ(read[0].reason, "");
    EXPECT_EQ(read[0].line, 2);
    EXPECT_EQ(read[0].beats_accepted, 9);
    EXPECT_EQ(read[0].stimulus, 150);
    EXPECT_EQ(read[0].q_onset, 172);
    EXPECT_EQ(read[0].j_point, 250);
    EXPECT_EQ(read[0].t_end, 610);
    EXPECT_EQ(read[0].rr_ms, 812);
    EXPECT_EQ(read[0].qt_ms, 402);
    EXPECT_EQ(read[1].reason, "no beat found, \"flat\"");
    EXPECT_EQ(read[1].beats_accepted, std::nullopt);
    EXPECT_EQ(read[1].qt_ms, std::nullopt);
    EXPECT_EQ(read[1].line, 3);
    EXPECT_EQ(read[2].reason, "T end doubtful\nsee transcript");
    EXPECT_EQ(read[2].line, 4);
    EXPECT_EQ(read[2].rr_ms, std::nullopt);
}

TEST(RecordingsTable, AnEarlierTableWithFewerColumnsReads) {
    const std::vector<RecordingSummary> read =
        read_table("\xEF\xBB\xBFrecording,status,reason\r\nrec1,stopped,by hand\r\n\r\n");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].status, "stopped");
    EXPECT_EQ(read[0].reason, "by hand");
    EXPECT_EQ(read[0].beats_accepted, std::nullopt);
}

TEST(RecordingsTable, FaultsAreRefusedWithTheirLine) {
    const std::string row = "rec1,ok,,1,12,3,9,,9,150,172,250,610,yes,812,402\n";
    const std::pair<std::string, std::string> faults[] = {
        {"", "it is empty; its first line must be the header"},
        {"recording,state,reason\n",
         "line 1: the header names no column status (it must name recording, status and reason)"},
        {std::string(header) + "rec1,ok,,1\n", "line 2: 4 fields where the header has 16"},
        {std::string(header) + row + ",ok,,1,12,3,9,,9,150,172,250,610,yes,812,402\n",
         "line 3: the recording has no name"},
        {std::string(header) + row + row, "line 3: \"rec1\" is named a second time"},
        {std::string(header) + "rec1,fine,,1,12,3,9,,9,150,172,250,610,yes,812,402\n",
         "line 2: \"fine\" is not a status (ok, check, corrected, stopped, failed)"},
        {std::string(header) + "rec1,ok,,1,12,3,9,,9,150,172,250,610,yes,812.5,402\n",
         "line 2: \"812.5\" is not a whole number (rr_ms)"},
        {std::string(header) + "rec1,ok,\"open,1,12\n",
         "line 2: a quoted field is not closed before the table ends"},
    };
    for (const auto& [text, message] : faults) {
        std::vector<RecordingSummary> recordings;
        std::string reason;
        EXPECT_FALSE(read_recordings_table(text, recordings, reason)) << message;
        EXPECT_EQ(reason, message);
        EXPECT_TRUE(recordings.empty()) << message;
    }
}

class StudyReview : public ::testing::Test {
  protected:
    void write_study(const std::string& recordings) {
        write_bytes(
            folder_.file("results.csv"),
            std::string(results_header) +
                results_rows("rec1", {{3, "12.5,300,287.5,weak"}, {17, "40,300,260,weak"}}) +
                results_rows("rec3", {{5, "40,300,260,noisy"}}));
        write_bytes(folder_.file("recordings.csv"), recordings);
    }
    std::vector<ReviewData> load() {
        std::vector<ReviewData> reviews;
        std::string message;
        EXPECT_TRUE(load_results_review({folder_.file("results.csv"), ""}, reviews, message))
            << message;
        return reviews;
    }
    TemporaryFolder folder_;
};

// rec2 failed and has no rows of results: it gets a page with its status and
// reason; the order is that of recordings.csv.
TEST_F(StudyReview, EveryRecordingGetsAPageWithItsStatus) {
    write_study(
        "recording,status,reason\nrec3,check,T end doubtful\nrec2,failed,no beat found\n"
        "rec1,ok,\n");
    const std::vector<ReviewData> reviews = load();
    ASSERT_EQ(reviews.size(), 3u);
    EXPECT_EQ(reviews[0].title, "rec3");
    EXPECT_EQ(reviews[1].title, "rec2");
    EXPECT_EQ(reviews[2].title, "rec1");
    EXPECT_FALSE(reviews[1].leads.has_value());
    const ReviewPicture check = lay_out_review(reviews[0]);
    EXPECT_EQ(check.details,
              "Status check: T end doubtful.  Values of the batch analysis's results table, whose "
              "flags no-downstroke and no-upstroke mark the defaults");
    EXPECT_EQ(check.other_flags, "Other flags of the batch analysis: noisy: lead 5.");
    const ReviewPicture failed = lay_out_review(reviews[1]);
    EXPECT_EQ(failed.details,
              "Status failed: no beat found.  The results table gives no values for this "
              "recording: the batch analysis failed on it.");
    EXPECT_TRUE(failed.maps.empty());
    const ReviewPicture ok = lay_out_review(reviews[2]);
    EXPECT_TRUE(ok.details.starts_with("Status ok.  Values of")) << ok.details;
    EXPECT_EQ(ok.other_flags, "Other flags of the batch analysis: weak: leads 3, 17.");
}

// A recording of the results table that recordings.csv leaves out keeps its page, after the others.
TEST_F(StudyReview, RecordingsOfTheResultsAloneFollow) {
    write_study("recording,status,reason\nrec3,ok,\n");
    const std::vector<ReviewData> reviews = load();
    ASSERT_EQ(reviews.size(), 2u);
    EXPECT_EQ(reviews[0].title, "rec3");
    EXPECT_EQ(reviews[1].title, "rec1");
    EXPECT_FALSE(reviews[1].summary.has_value());
}

TEST_F(StudyReview, AMalformedRecordingsTableIsRefusedWithItsPath) {
    write_study("recording,status,reason\nrec3,fine,\n");
    std::vector<ReviewData> reviews;
    std::string message;
    EXPECT_FALSE(load_results_review({folder_.file("results.csv"), ""}, reviews, message));
    EXPECT_EQ(message, folder_.file("recordings.csv") +
                           ": line 2: \"fine\" is not a status (ok, check, corrected, stopped, "
                           "failed)");
}

// A flag on many leads names sixteen and counts the rest, so the line stays a line.
TEST(FlaggedLeads, AFlagOnManyLeadsNamesSixteen) {
    ReviewData data = hand_made_review();
    data.record.reset();
    std::vector<int> leads(40);
    for (int k = 0; k < 40; ++k) leads[static_cast<std::size_t>(k)] = k + 1;
    data.other_flags = {{"interpolated", leads}};
    EXPECT_EQ(lay_out_review(data).other_flags,
              "Other flags of the batch analysis: interpolated: leads 1, 2, 3, 4, 5, 6, 7, 8, 9, "
              "10, 11, 12, 13, 14, 15, 16 and 24 more.");
}

}  // namespace
}  // namespace mapari::review_tests
