// Values and flags per lead, and the CSV of the review.
#include <gtest/gtest.h>

#include "review/lead_values.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

AriRecord hand_made_record() {
    AriRecord record;
    std::string reason;
    EXPECT_TRUE(parse_ari_text(hand_made_ari_text(), record, reason)) << reason;
    return record;
}

// The hand-made record (P = 150, J = 250, r = 100, so RT = 200 is the default)
// worked out lead by lead: ARI = RT − AT; AT = 0 is no_downstroke; RT = 200
// is no_upstroke. Lead 8: 287.25 − 12.5 = 274.75; lead 9: 201 is a finding;
// lead 64: 199 − 61 = 138, and 199 is a finding.
constexpr const char* hand_made_csv =
    "lead,AT_ms,RT_ms,ARI_ms,flags\n"
    "1,0,300,300,no_downstroke\n"
    "2,40,200,160,no_upstroke\n"
    "3,0,200,200,no_downstroke;no_upstroke\n"
    "4,40,300,260,\n"
    "5,40,300,260,\n"
    "6,40,300,260,\n"
    "7,40,300,260,\n"
    "8,12.5,287.25,274.75,\n"
    "9,40,201,161,\n"
    "10,40,300,260,\n"
    "11,40,300,260,\n"
    "12,40,300,260,\n"
    "13,40,300,260,\n"
    "14,40,300,260,\n"
    "15,40,300,260,\n"
    "16,40,300,260,\n"
    "17,40,300,260,\n"
    "18,40,300,260,\n"
    "19,40,300,260,\n"
    "20,40,300,260,\n"
    "21,40,300,260,\n"
    "22,40,300,260,\n"
    "23,40,300,260,\n"
    "24,40,300,260,\n"
    "25,40,300,260,\n"
    "26,40,300,260,\n"
    "27,40,300,260,\n"
    "28,40,300,260,\n"
    "29,40,300,260,\n"
    "30,40,300,260,\n"
    "31,40,300,260,\n"
    "32,40,300,260,\n"
    "33,40,300,260,\n"
    "34,40,300,260,\n"
    "35,40,300,260,\n"
    "36,40,300,260,\n"
    "37,40,300,260,\n"
    "38,40,300,260,\n"
    "39,40,300,260,\n"
    "40,40,300,260,\n"
    "41,40,300,260,\n"
    "42,40,300,260,\n"
    "43,40,300,260,\n"
    "44,40,300,260,\n"
    "45,40,300,260,\n"
    "46,40,300,260,\n"
    "47,40,300,260,\n"
    "48,40,300,260,\n"
    "49,40,300,260,\n"
    "50,40,300,260,\n"
    "51,40,300,260,\n"
    "52,40,300,260,\n"
    "53,40,300,260,\n"
    "54,40,300,260,\n"
    "55,40,300,260,\n"
    "56,40,300,260,\n"
    "57,40,300,260,\n"
    "58,40,300,260,\n"
    "59,40,300,260,\n"
    "60,40,300,260,\n"
    "61,40,300,260,\n"
    "62,40,300,260,\n"
    "63,40,300,260,\n"
    "64,61,199,138,\n";

TEST(LeadValues, CsvOfTheHandMadeRecordIsTheTableWorkedOutByHand) {
    EXPECT_EQ(
        review_csv(lead_values(hand_made_record(), default_ari_settings.recovery_delay_samples)),
        hand_made_csv);
}

TEST(LeadValues, AnotherRecoveryDelayMovesTheDefaultRecoveryTime) {
    // r = 51: J + r − P = 250 + 51 − 150 = 151; no lead has RT 151, so no
    // upstroke flag; the RT = 200 of leads 2 and 3 are findings then.
    const LeadTable table = lead_values(hand_made_record(), 51);
    for (const LeadValues& lead : table) EXPECT_FALSE(lead.no_upstroke);
    EXPECT_TRUE(table[0].no_downstroke);
    // r = 101: J + r − P = 201, lead 9's RT, which is the flagged one then.
    const LeadTable later = lead_values(hand_made_record(), 101);
    EXPECT_FALSE(later[1].no_upstroke);
    EXPECT_TRUE(later[8].no_upstroke);
}

TEST(LeadValues, NegativeZeroActivationIsTheDefaultToo) {
    AriRecord record = hand_made_record();
    record.activation_ms[4] = -0.0f;
    const LeadTable table = lead_values(record, default_ari_settings.recovery_delay_samples);
    EXPECT_TRUE(table[4].no_downstroke);
    EXPECT_EQ(ms_text(table[4].activation_ms), "0");
}

struct MsCase {
    float value;
    const char* text;
};

TEST(LeadValues, MillisecondsAreWrittenInTheirShortestForm) {
    const MsCase cases[] = {{25.0f, "25"},     {12.5f, "12.5"},  {287.25f, "287.25"},
                            {-3.5f, "-3.5"},   {0.0f, "0"},      {1024.0f, "1024"},
                            {0.001f, "0.001"}, {1.0e7f, "1e+07"}};
    for (const MsCase& c : cases) EXPECT_EQ(ms_text(c.value), c.text) << c.value;
}

TEST(LeadValues, FlagsJoinWithASemicolon) {
    LeadValues lead;
    EXPECT_EQ(flags_text(lead), "");
    lead.no_upstroke = true;
    EXPECT_EQ(flags_text(lead), "no_upstroke");
    lead.no_downstroke = true;
    EXPECT_EQ(flags_text(lead), "no_downstroke;no_upstroke");
}

}  // namespace
}  // namespace mapari::review_tests
