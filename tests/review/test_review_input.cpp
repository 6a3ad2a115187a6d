// Reading the files of a review: every failure names the file and the problem.
#include <gtest/gtest.h>

#include <algorithm>

#include "review/review_input.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

class ReviewInput : public ::testing::Test {
  protected:
    void SetUp() override {
        request_.ari_path = folder_.file("s1.ari");
        write_bytes(request_.ari_path, hand_made_ari_text());
    }
    // The message of a load that must fail.
    std::string failure() {
        ReviewData data;
        std::string message;
        EXPECT_FALSE(load_review(request_, data, message));
        return message;
    }

    TemporaryFolder folder_;
    ReviewRequest request_;
};

TEST_F(ReviewInput, AriAloneGivesTheGridAndNoBeat) {
    ReviewData data;
    std::string message;
    ASSERT_TRUE(load_review(request_, data, message)) << message;
    EXPECT_EQ(data.title, "s1.ari");
    EXPECT_TRUE(data.layout.is_grid);
    EXPECT_FALSE(data.beat.has_value());
    EXPECT_TRUE((*data.leads)[0].no_downstroke);  // lead 1: AT = 0
    EXPECT_EQ((*data.leads)[7].ari_ms, 274.75f);  // lead 8: 287.25 − 12.5
}

TEST_F(ReviewInput, BeatValuesKeepTheirSampleAndLead) {
    request_.ds_path = folder_.file("s1.ds");
    write_bytes(request_.ds_path, indexed_ds_text());
    ReviewData data;
    std::string message;
    ASSERT_TRUE(load_review(request_, data, message)) << message;
    ASSERT_TRUE(data.beat.has_value());
    // Value (sample k, lead l) = k + 1000 · l.
    EXPECT_EQ(data.beat->at(1, 1), 1001);
    EXPECT_EQ(data.beat->at(3, 5), 5003);
    EXPECT_EQ(data.beat->at(1024, 64), 65024);
}

// Lead 1 (AT = 0: no downstroke) and lead 40 hold 7 at every sample of the
// beat: no signal, and no default flag. Lead 3 holds 7 but 8 at its last
// sample: a signal, with its two defaults. Without the beat, all is as the
// record says.
TEST_F(ReviewInput, ALeadWhoseBeatHoldsOneValueHasNoSignal) {
    request_.ds_path = folder_.file("s1.ds");
    std::string text = ds_text_with_still_leads({1, 3, 40});
    // The last record (sample 1024): 12 lines of five 15-character values and a
    // line of four; lead 2 holds 1024 + 1000 · 2.
    const std::size_t last_record = text.size() - (12 * (5 * 15 + 1) + 4 * 15 + 1);
    ASSERT_EQ(text.substr(last_record, 45), std::string(10, ' ') + "7.000" + std::string(7, ' ') +
                                                "3024.000" + std::string(10, ' ') + "7.000");
    text.replace(last_record + std::size_t{2} * 15, 15, std::string(10, ' ') + "8.000");
    write_bytes(request_.ds_path, text);
    ReviewData data;
    std::string message;
    ASSERT_TRUE(load_review(request_, data, message)) << message;
    const LeadTable& leads = *data.leads;
    for (std::size_t k : {0u, 39u}) {
        EXPECT_TRUE(leads[k].no_signal) << "lead " << k + 1;
        EXPECT_FALSE(leads[k].no_downstroke || leads[k].no_upstroke) << "lead " << k + 1;
    }
    EXPECT_FALSE(leads[2].no_signal);
    EXPECT_TRUE(leads[2].no_downstroke && leads[2].no_upstroke);
    EXPECT_EQ(std::count_if(leads.begin(), leads.end(),
                            [](const LeadValues& lead) { return lead.no_signal; }),
              2);
    request_.ds_path.clear();
    ASSERT_TRUE(load_review(request_, data, message)) << message;
    EXPECT_FALSE((*data.leads)[0].no_signal);
    EXPECT_TRUE((*data.leads)[0].no_downstroke);
}

TEST_F(ReviewInput, BeatValuesAreRoundedAsTheComputationRoundsThem) {
    request_.ds_path = folder_.file("s1.ds");
    std::string text = indexed_ds_text();
    // The first two values of record 1 (leads 1 and 2) become 2.5 and −2.5.
    text.replace(text.find("1001.000"), 8, "     2.5");
    text.replace(text.find("2001.000"), 8, "    -2.5");
    write_bytes(request_.ds_path, text);
    ReviewData data;
    std::string message;
    ASSERT_TRUE(load_review(request_, data, message)) << message;
    EXPECT_EQ(data.beat->at(1, 1), 3);  // halves away from zero
    EXPECT_EQ(data.beat->at(1, 2), -3);
}

TEST_F(ReviewInput, MissingAriFileIsNamed) {
    request_.ari_path = folder_.file("none.ari");
    EXPECT_EQ(failure(), request_.ari_path + ": No such file or directory");
}

TEST_F(ReviewInput, FolderInsteadOfAFileIsNamed) {
    request_.ari_path = folder_.path().string();
    EXPECT_EQ(failure(), request_.ari_path + ": it is a folder, not a file");
}

TEST_F(ReviewInput, ShortAriFileIsNamedWithWhatIsMissing) {
    write_bytes(request_.ari_path, "150 250 600 20 40.0\n");
    EXPECT_EQ(failure(), request_.ari_path +
                             ": it ends after 5 of its 132 numbers (the activation time of lead "
                             "2 is missing)");
}

TEST_F(ReviewInput, ShortDsFileIsNamedWithTheRecordCut) {
    request_.ds_path = folder_.file("s1.ds");
    // Two records and ten values of the third.
    write_bytes(request_.ds_path, cut_ds_text(2 * 64 + 10));
    EXPECT_EQ(failure(), request_.ds_path + ": record 3 holds 10 of its 64 numbers");
}

TEST_F(ReviewInput, MalformedDsFileIsNamed) {
    request_.ds_path = folder_.file("s1.ds");
    std::string text = indexed_ds_text();
    // Value (sample 5, lead 3): the reading stops after "3005.0", at "x0".
    text.replace(text.find("3005.000"), 8, "3005.0x0");
    write_bytes(request_.ds_path, text);
    EXPECT_EQ(failure(), request_.ds_path + ": record 5 holds 3 of its 64 numbers");
}

TEST_F(ReviewInput, LayoutFileFaultIsNamedWithItsLine) {
    request_.layout_path = folder_.file("array.csv");
    write_bytes(request_.layout_path, "lead,x,y\n1,0,0\n1,1,1\n");
    EXPECT_EQ(failure(),
              request_.layout_path + ": line 3: lead 1 is given again (first on line 2)");
}

}  // namespace
}  // namespace mapari::review_tests
