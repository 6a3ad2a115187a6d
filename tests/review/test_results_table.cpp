// A batch analysis's results table read back: the values and flags of every
// recording and lead, the review of each recording, its page laid out, and
// every fault refused with the line at fault.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "review/results_table.hpp"
#include "review/review_layout.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// realptb010 (lines 2 to 65) with hand-made rows for leads 1 to 5, then
// "Müller 02" (lines 66 to 129), on which the analysis failed.
std::string hand_made_table() {
    return std::string(results_header) +
           results_rows("realptb010", {{1, "43,256,213,"},
                                       {2, "0,200,200,no-downstroke;no-upstroke"},
                                       {3, "12.5,-3,-15.5,weak"},
                                       {4, "40,300,260,rt-at-window-edge;weak;noisy"},
                                       {5, "1e+03,1250,250,clipped;no-upstroke"}}) +
           failed_results_rows("Müller 02", {{1, ",,,flat"}, {2, ",,,no-downstroke;flat"}});
}

std::vector<RecordingResults> read_table(const std::string& text) {
    std::vector<RecordingResults> recordings;
    std::string reason;
    EXPECT_TRUE(read_results_table(text, recordings, reason)) << reason;
    return recordings;
}

using Values = std::tuple<float, float, float, bool, bool>;

Values values_of(const LeadValues& lead) {
    return {lead.activation_ms, lead.recovery_ms, lead.ari_ms, lead.no_downstroke,
            lead.no_upstroke};
}

TEST(ResultsTable, ValuesAndFlagsOfEveryRecordingAndLead) {
    const std::vector<RecordingResults> recordings = read_table(hand_made_table());
    ASSERT_EQ(recordings.size(), 2u);
    const RecordingResults& first = recordings[0];
    EXPECT_EQ(first.name, "realptb010");
    EXPECT_EQ(first.first_line, 2);
    ASSERT_TRUE(first.leads.has_value());
    const struct {
        int lead;
        Values values;
        std::vector<std::string> others;
    } expected[] = {
        {1, {43, 256, 213, false, false}, {}},
        {2, {0, 200, 200, true, true}, {}},
        {3, {12.5f, -3, -15.5f, false, false}, {"weak"}},
        {4, {40, 300, 260, false, false}, {"rt-at-window-edge", "weak", "noisy"}},
        {5, {1000, 1250, 250, false, true}, {"clipped"}},
        {64, {64, 228, 164, false, false}, {}},  // as every lead the rows do not name
    };
    for (const auto& lead : expected) {
        const auto k = static_cast<std::size_t>(lead.lead - 1);
        EXPECT_EQ(values_of((*first.leads)[k]), lead.values) << "lead " << lead.lead;
        EXPECT_EQ(first.other_flags[k], lead.others) << "lead " << lead.lead;
    }
    // No values: the defaults have nothing to mark, the other flags are kept.
    const RecordingResults& failed = recordings[1];
    EXPECT_EQ(failed.name, "Müller 02");
    EXPECT_EQ(failed.first_line, 66);
    EXPECT_FALSE(failed.leads.has_value());
    EXPECT_EQ(failed.other_flags[0], std::vector<std::string>{"flat"});
    EXPECT_EQ(failed.other_flags[1], std::vector<std::string>{"flat"});
    EXPECT_TRUE(failed.other_flags[2].empty());
}

// Rows of leads without a signal have empty values among leads that have
// them, lead 1 included; the defaults of the other leads stay theirs.
TEST(ResultsTable, LeadsWithoutASignalHaveNoValuesAmongLeadsThatHave) {
    const std::vector<RecordingResults> recordings =
        read_table(std::string(results_header) +
                   results_rows("mit001", {{1, ",,,no-signal"},
                                           {2, "0,195,195,no-downstroke;no-upstroke"},
                                           {3, ",,,no-signal"}}));
    ASSERT_EQ(recordings.size(), 1u);
    ASSERT_TRUE(recordings[0].leads.has_value());
    const LeadTable& leads = *recordings[0].leads;
    for (std::size_t k : {0u, 2u}) {
        EXPECT_TRUE(leads[k].no_signal) << "lead " << k + 1;
        EXPECT_EQ(values_of(leads[k]), Values(0, 0, 0, false, false)) << "lead " << k + 1;
        EXPECT_TRUE(recordings[0].other_flags[k].empty());
    }
    EXPECT_FALSE(leads[1].no_signal);
    EXPECT_EQ(values_of(leads[1]), Values(0, 195, 195, true, true));
    EXPECT_FALSE(leads[3].no_signal);
    EXPECT_EQ(values_of(leads[3]), Values(4, 108, 104, false, false));
}

TEST(ResultsTable, LineEndsMarkAndBlankLinesChangeNothing) {
    const std::string plain = hand_made_table();
    std::string crlf;
    for (char c : plain) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string spaced = plain;
    spaced.insert(spaced.find("Müller"), "\n\n");
    for (const std::string& text :
         {crlf, "\xEF\xBB\xBF" + plain, spaced, plain.substr(0, plain.size() - 1)}) {
        const std::vector<RecordingResults> recordings = read_table(text);
        ASSERT_EQ(recordings.size(), 2u);
        EXPECT_EQ(recordings[0].name, "realptb010");
        EXPECT_EQ(values_of((*recordings[0].leads)[63]), Values(64, 228, 164, false, false));
        EXPECT_EQ(recordings[1].name, "Müller 02");
        EXPECT_EQ(recordings[1].other_flags[63], std::vector<std::string>{});
    }
}

// A name the batch wrote in quotes (a comma or a quote in it) is read back
// whole, on its own lines.
TEST(ResultsTable, QuotedNamesKeepTheirCommasAndQuotes) {
    std::string table = hand_made_table();
    for (std::size_t at = 0; (at = table.find("\nMüller 02,", at)) != std::string::npos; ++at)
        table.replace(at + 1, std::string_view("Müller 02").size(), "\"Müller, 02 \"\"b\"\"\"");
    const std::vector<RecordingResults> recordings = read_table(table);
    ASSERT_EQ(recordings.size(), 2u);
    EXPECT_EQ(recordings[1].name, "Müller, 02 \"b\"");
    EXPECT_EQ(recordings[1].first_line, 66);
    EXPECT_EQ(recordings[1].other_flags[1], std::vector<std::string>{"flat"});
    std::string reason;
    std::vector<RecordingResults> none;
    EXPECT_FALSE(read_results_table(table + "\"open,1,,,,\n", none, reason));
    EXPECT_EQ(reason, "line 130: a quoted field is not closed before the table ends");
}

// A batch's bad leads: a lead without a signal filled in shows its values, a
// bad lead its neighbours could not fill in none, like a lead without a
// signal; their words are among the other flags.
TEST(ResultsTable, BadLeadsFilledInHaveValuesAndThoseLeftEmptyNone) {
    const std::vector<RecordingResults> recordings =
        read_table(std::string(results_header) +
                   results_rows("a", {{12, "44.5,277,232.5,no-signal;interpolated"},
                                      {7, ",,,steps;marked-bad"},
                                      {8, ",,,outlier"},
                                      {20, "30,250,220,noisy;marked-good"}}));
    ASSERT_EQ(recordings.size(), 1u);
    const LeadTable& leads = *recordings[0].leads;
    EXPECT_EQ(values_of(leads[11]), Values(44.5f, 277, 232.5f, false, false));
    EXPECT_FALSE(leads[11].no_signal);
    EXPECT_EQ(recordings[0].other_flags[11],
              (std::vector<std::string>{"no-signal", "interpolated"}));
    EXPECT_TRUE(leads[6].no_signal);
    EXPECT_EQ(recordings[0].other_flags[6], (std::vector<std::string>{"steps", "marked-bad"}));
    EXPECT_TRUE(leads[7].no_signal);
    EXPECT_EQ(values_of(leads[19]), Values(30, 250, 220, false, false));
    EXPECT_EQ(recordings[0].other_flags[19], (std::vector<std::string>{"noisy", "marked-good"}));
}

// Leads filled in, or bad and not named good, are outlined on every map.
TEST(ResultsTable, BadLeadsAreOutlinedOnTheMaps) {
    const std::vector<RecordingResults> recordings =
        read_table(std::string(results_header) +
                   results_rows("a", {{12, "44.5,277,232.5,no-signal;interpolated"},
                                      {7, ",,,steps;marked-bad"},
                                      {8, "20,200,180,noisy"},
                                      {20, "30,250,220,noisy;marked-good"},
                                      {21, "30,250,220,weak"},
                                      {22, ",,,no-signal"}}));
    const ReviewData data = recording_review(recordings[0], grid_layout());
    std::vector<int> outlined;
    for (int lead = 1; lead <= lead_count; ++lead)
        if (data.bad_leads[static_cast<std::size_t>(lead - 1)]) outlined.push_back(lead);
    EXPECT_EQ(outlined, (std::vector<int>{7, 8, 12}));
    // Besides the bad leads, the weak and noisy ones are outlined too, even
    // when named good (lead 20): each outline's dashes tell its flag.
    const std::map<int, LineStyle> styles = {{7, LineStyle::solid},
                                             {8, LineStyle::dotted},
                                             {12, LineStyle::dash_dot_dot},
                                             {20, LineStyle::dotted},
                                             {21, LineStyle::dashed}};
    for (const MapPanel& map : lay_out_review(data).maps)
        for (const MapCell& cell : map.cells) {
            EXPECT_EQ(cell.outlined, styles.contains(cell.lead)) << "lead " << cell.lead;
            if (cell.outlined) {
                EXPECT_EQ(cell.outline_style, styles.at(cell.lead)) << "lead " << cell.lead;
            }
        }
}

// The text with line `number` replaced, or left out when there is no replacement.
std::string with_line(const std::string& text, int number, std::optional<std::string> line) {
    std::size_t start = 0;
    for (int k = 1; k < number; ++k) start = text.find('\n', start) + 1;
    const std::size_t end = text.find('\n', start) + 1;
    return text.substr(0, start) + (line ? *line + "\n" : "") + text.substr(end);
}

// The hand-made table as a later batch writes it: each row goes on with the
// lead's summary over the beats.
std::string with_summaries(const std::string& table) {
    std::string text =
        "recording,lead,AT_ms,RT_ms,ARI_ms,flags,beats_used,ARI_sd_ms,"
        "restitution_slope,restitution_slope_se\n";
    std::size_t start = table.find('\n') + 1;
    for (std::size_t end; (end = table.find('\n', start)) != std::string::npos; start = end + 1)
        text += table.substr(start, end - start) + ",30,4.5,0.31,0.02\n";
    return text;
}

TEST(ResultsTable, SummaryColumnsOfALaterBatchAreReadPast) {
    const std::vector<RecordingResults> old = read_table(hand_made_table());
    const std::vector<RecordingResults> later = read_table(with_summaries(hand_made_table()));
    ASSERT_EQ(later.size(), old.size());
    for (std::size_t r = 0; r < old.size(); ++r) {
        EXPECT_EQ(later[r].name, old[r].name);
        EXPECT_EQ(later[r].other_flags, old[r].other_flags);
        ASSERT_EQ(later[r].leads.has_value(), old[r].leads.has_value());
        if (!old[r].leads) continue;
        for (std::size_t at = 0; at < lead_count; ++at)
            EXPECT_EQ(values_of((*later[r].leads)[at]), values_of((*old[r].leads)[at])) << at;
    }
    std::vector<RecordingResults> recordings;
    std::string reason;
    EXPECT_FALSE(
        read_results_table(with_summaries(hand_made_table()) + "c,1,1,2,1,\n", recordings, reason));
    EXPECT_EQ(reason,
              "line 130: 6 fields where recording,lead,AT_ms,RT_ms,ARI_ms,flags,beats_used,"
              "ARI_sd_ms,restitution_slope,restitution_slope_se are 10");
}

// The hand-made table as the latest batch writes it: summaries, then the
// confidences of AT and RT given as `confidences`.
std::string with_confidences(const std::string& table, const std::string& confidences) {
    std::string text =
        "recording,lead,AT_ms,RT_ms,ARI_ms,flags,beats_used,ARI_sd_ms,"
        "restitution_slope,restitution_slope_se,AT_confidence,RT_confidence\n";
    std::size_t start = table.find('\n') + 1;
    for (std::size_t end; (end = table.find('\n', start)) != std::string::npos; start = end + 1)
        text += table.substr(start, end - start) + ",30,4.5,0.31,0.02," + confidences + "\n";
    return text;
}

TEST(ResultsTable, ConfidencesAreReadAndKeptForTheReview) {
    const std::vector<RecordingResults> read =
        read_table(with_confidences(hand_made_table(), "0.950,"));
    ASSERT_FALSE(read.empty());
    EXPECT_EQ(read[0].confidence[0], (LeadConfidence{0.95f, std::nullopt}));
    EXPECT_EQ(recording_review(read[0], grid_layout()).confidence, read[0].confidence);
    EXPECT_EQ(read_table(hand_made_table())[0].confidence[0], LeadConfidence{});
    // The page names the least confident leads under the other flags; a table
    // without confidences keeps its page as it was.
    const ReviewPicture page = lay_out_review(recording_review(read[0], grid_layout()));
    EXPECT_EQ(page.least_confident, "Every lead's AT and RT has a confidence of 0.8 or more.");
    EXPECT_EQ(page.least_confident_box.top, page.other_flags_box.bottom());
    EXPECT_EQ(page.height, std::ceil(page.least_confident_box.bottom() + 16));
    const ReviewPicture old_page =
        lay_out_review(recording_review(read_table(hand_made_table())[0], grid_layout()));
    EXPECT_EQ(old_page.least_confident, "");
    EXPECT_EQ(old_page.height, page.height - page.least_confident_box.height);
    const struct {
        std::string confidences, reason;
    } faults[] = {
        {"1.5,", "line 2: \"1.5\" is not a confidence from 0 to 1 (AT_confidence)"},
        {",-0.1", "line 2: \"-0.1\" is not a confidence from 0 to 1 (RT_confidence)"},
        {",high", "line 2: \"high\" is not a confidence from 0 to 1 (RT_confidence)"},
    };
    for (const auto& fault : faults) {
        std::vector<RecordingResults> recordings;
        std::string reason;
        EXPECT_FALSE(read_results_table(with_confidences(hand_made_table(), fault.confidences),
                                        recordings, reason));
        EXPECT_EQ(reason, fault.reason);
    }
}

TEST(ReviewLayout, LeastConfidentLeadsAreNamedLeastFirst) {
    std::array<LeadConfidence, lead_count> none{}, all_good{}, some{}, many{};
    all_good.fill({0.9f, 0.85f});
    some = all_good;
    some[11] = {0.9f, 0.21f};  // lead 12: RT the lower
    some[39] = {0.35f, 0.5f};  // lead 40: AT the lower
    some[2] = {std::nullopt, 0.79f};
    many.fill({0.5f, 0.6f});
    many[63] = {0.1f, 0.6f};
    const struct {
        const std::array<LeadConfidence, lead_count>* confidence;
        std::string text;
    } cases[] = {
        {&none, ""},
        {&all_good, "Every lead's AT and RT has a confidence of 0.8 or more."},
        {&some,
         "Least confident (below 0.8): lead 12 (RT 0.21), lead 40 (AT 0.35), lead 3 (RT "
         "0.79)."},
        {&many,
         "Least confident (below 0.8): lead 64 (AT 0.10), lead 1 (AT 0.50), lead 2 (AT "
         "0.50), lead 3 (AT 0.50), lead 4 (AT 0.50) and 59 more."},
    };
    for (const auto& c : cases) EXPECT_EQ(least_confident_text(*c.confidence), c.text);
}

TEST(ResultsTable, FaultsAreRefusedWithTheirLine) {
    const std::string header(results_header);
    // Lines 2 to 65: recording a, leads 1 to 64; lines 66 to 129: recording b.
    const std::string good = header + results_rows("a") + results_rows("b");
    const std::string flags =
        "(no-downstroke, no-upstroke, rt-at-window-edge, weak, flat, clipped, noisy, no-signal, "
        "steps, outlier, marked-bad, marked-good, interpolated)";
    const struct {
        std::string text;
        std::string reason;
    } faults[] = {
        {"",
         "it is empty; its first line must be the header recording,lead,AT_ms,RT_ms,ARI_ms,flags"},
        {"recording,lead,AT,RT,ARI,flags\n" + results_rows("a"),
         "line 1: the header must be recording,lead,AT_ms,RT_ms,ARI_ms,flags, not "
         "\"recording,lead,AT,RT,ARI…\""},
        {header + "\n", "it holds no rows after its header, so no recording to review"},
        {with_line(good, 7, "a,6,x,112,106,"), "line 7: \"x\" is not a number (AT_ms)"},
        {with_line(good, 7, "a,6,6,nan,106,"), "line 7: \"nan\" is not a number (RT_ms)"},
        {with_line(good, 7, "a,6,6,112,,"),
         "line 7: ARI_ms is empty while other values are given; a row gives all three or none"},
        {with_line(good, 7, "a,65,6,112,106,"), "line 7: \"65\" is not a lead number from 1 to 64"},
        {with_line(good, 7, "a,six,6,112,106,"), "line 7: \"six\" is not a lead number"},
        {with_line(good, 7, "a,6,6,112,106"),
         "line 7: 5 fields where recording,lead,AT_ms,RT_ms,ARI_ms,flags are 6"},
        {with_line(good, 7, "a,6,6,112,106,weak;late"), "line 7: \"late\" is not a flag " + flags},
        {with_line(good, 7, ",6,6,112,106,"), "line 7: the recording has no name"},
        {with_line(good, 7, "a,6,6,112,106,no-signal"),
         "line 7: a lead flagged no-signal has no values, but this row gives them"},
        {with_line(good, 7, "a,6,,,106,no-signal"),
         "line 7: AT_ms is empty while other values are given; a row gives all three or none"},
        {header + failed_results_rows("a", {{6, ",,,no-signal"}}),
         "line 7: values where lead 1 of \"a\" (line 2) has none"},
        {with_line(good, 7, std::nullopt),
         "line 7: lead 7 of \"a\" where lead 6 belongs (leads go 1 to 64 in order)"},
        {with_line(good, 65, std::nullopt),
         "line 65: \"b\" begins, but lead 64 of \"a\" is missing"},
        {with_line(good, 129, std::nullopt),
         "the table ends after line 128, but lead 64 of \"b\" is missing"},
        {good + "b,64,64,228,164,\n", "line 130: lead 64 of \"b\" again, after its lead 64"},
        {good + results_rows("a"),
         "line 130: rows of \"a\" again, after another recording's (its rows began on line 2)"},
        {with_line(good, 66, "b,2,2,104,102,"),
         "line 66: lead 2 of \"b\" where lead 1 belongs (leads go 1 to 64 in order)"},
        {with_line(good, 7, "a,6,,,,"),
         "line 7: no values where lead 1 of \"a\" (line 2) has them"},
        {header + failed_results_rows("a", {{6, "6,112,106,"}}),
         "line 7: values where lead 1 of \"a\" (line 2) has none"},
    };
    for (const auto& fault : faults) {
        std::vector<RecordingResults> recordings;
        std::string reason;
        EXPECT_FALSE(read_results_table(fault.text, recordings, reason)) << fault.reason;
        EXPECT_EQ(reason, fault.reason);
        EXPECT_TRUE(recordings.empty()) << fault.reason;
    }
}

TEST(ResultsTable, ReviewOfARecordingNamesTheLeadsOfItsOtherFlags) {
    const std::vector<RecordingResults> recordings = read_table(hand_made_table());
    const ReviewData data = recording_review(recordings[0], grid_layout());
    EXPECT_EQ(data.title, "realptb010");
    EXPECT_FALSE(data.record.has_value());
    EXPECT_FALSE(data.beat.has_value());
    ASSERT_TRUE(data.leads.has_value());
    EXPECT_EQ(values_of((*data.leads)[2]), Values(12.5f, -3, -15.5f, false, false));
    std::vector<std::pair<std::string, std::vector<int>>> named;
    for (const FlagCount& count : data.other_flags) named.emplace_back(count.flag, count.leads);
    // In the order of the flag words, not of the leads.
    EXPECT_EQ(named,
              (std::vector<std::pair<std::string, std::vector<int>>>{
                  {"rt-at-window-edge", {4}}, {"weak", {3, 4}}, {"clipped", {5}}, {"noisy", {4}}}));
}

TEST(ResultsTable, PageOfARecordingShowsItsMapsAndOtherFlags) {
    const std::vector<RecordingResults> recordings = read_table(hand_made_table());
    const ReviewPicture picture = lay_out_review(recording_review(recordings[0], grid_layout()));
    EXPECT_EQ(picture.heading, "Review of realptb010");
    EXPECT_EQ(picture.details,
              "Values of the batch analysis's results table, whose flags no-downstroke and "
              "no-upstroke mark the defaults");
    ASSERT_EQ(picture.maps.size(), 3u);
    EXPECT_TRUE(picture.maps[0].cells[1].flagged);            // lead 2: no-downstroke
    EXPECT_FALSE(picture.maps[0].cells[4].flagged);           // lead 5: AT is a finding...
    EXPECT_TRUE(picture.maps[1].cells[4].flagged);            // ...its RT is not
    EXPECT_EQ(picture.maps[2].cells[2].value_text, "-15.5");  // the table's ARI
    EXPECT_EQ(picture.other_flags,
              "Other flags of the batch analysis: rt-at-window-edge: lead 4; weak: leads 3, 4; "
              "clipped: lead 5; noisy: lead 4.");
    EXPECT_GE(picture.other_flags_box.top, picture.maps[0].note_box.bottom());
    EXPECT_GE(picture.height, picture.other_flags_box.bottom());
    EXPECT_FALSE(picture.sheet.has_value());
}

TEST(ResultsTable, PageOfAFailedRecordingSaysSoWithoutMaps) {
    const std::vector<RecordingResults> recordings = read_table(hand_made_table());
    const ReviewPicture picture = lay_out_review(recording_review(recordings[1], grid_layout()));
    EXPECT_EQ(picture.heading, "Review of Müller 02");
    EXPECT_EQ(picture.details,
              "The results table gives no values for this recording: the batch analysis failed "
              "on it.");
    EXPECT_TRUE(picture.maps.empty());
    EXPECT_TRUE(picture.legend.empty());
    EXPECT_EQ(picture.other_flags, "Other flags of the batch analysis: flat: leads 1, 2.");
    EXPECT_GE(picture.height, picture.other_flags_box.bottom());
}

}  // namespace
}  // namespace mapari::review_tests
