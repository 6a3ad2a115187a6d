// Signals beyond what the map takes: named in a note and in NAME.import.json,
// and picked by a lead map by label (in either case) or by number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import_fixture.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {
namespace {

using test_support::read_bytes;
using test_support::write_bytes;

// Four seconds at 1000 Hz of 80 columns "V1 [uV]" to "V80 [uV]"; column c
// holds 100 * c + t % 7 microvolts at sample t.
std::string eighty_columns() {
    std::string text;
    for (int c = 1; c <= 80; ++c) text += (c == 1 ? "V" : ",V") + std::to_string(c) + " [uV]";
    text += '\n';
    for (int t = 0; t < 4000; ++t) {
        for (int c = 1; c <= 80; ++c) text += (c == 1 ? "" : ",") + std::to_string(100 * c + t % 7);
        text += '\n';
    }
    return text;
}

TEST_F(Import, SignalsBeyondTheSixtyFourLeadsAreNamedInANoteAndTheRecord) {
    write_bytes(folder_.path() / "eighty.csv", eighty_columns());
    ASSERT_TRUE(import(folder_.path() / "eighty.csv", "wide", 1000.0)) << reason_;
    const std::string left_out =
        "\"V65\", \"V66\", \"V67\", \"V68\", \"V69\", \"V70\", \"V71\", \"V72\", \"V73\", \"V74\", "
        "\"V75\", \"V76\", \"V77\", \"V78\", \"V79\", \"V80\"";
    EXPECT_EQ(report_.warnings,
              (std::vector<std::string>{"16 signals left out (no lead takes them): " + left_out}));
    const std::string record = read_bytes(data_ / "wide.import.json");
    EXPECT_NE(record.find("    {\"channel\": 72, \"lead\": \"64\", \"signal\": 64, \"label\": "
                          "\"V64\"}\n  ],\n  \"unused_signals\": {\"count\": 16, \"labels\": [" +
                          left_out + "]},\n  \"pieces\": ["),
              std::string::npos)
        << record;
    EXPECT_EQ(lead_samples("wide001.dat", 64)[6], 6406);
}

TEST_F(Import, ALeadMapPicksSignalsBeyondSixtyFourByLabelInEitherCaseOrByNumber) {
    write_bytes(folder_.path() / "eighty.csv", eighty_columns());
    ASSERT_TRUE(import(folder_.path() / "eighty.csv", "wide", 1000.0,
                       "lead, signal  # the header may have blanks\n"
                       "1, V80   # the last column\n"
                       "2,v79\n"
                       "3,66\n"))
        << reason_;
    const struct {
        int lead;
        int column;
    } fed[] = {{1, 80}, {2, 79}, {3, 66}};
    for (const auto& each : fed) {
        const std::vector<int> samples = lead_samples("wide001.dat", each.lead);
        ASSERT_EQ(samples.size(), 4000u);
        for (std::size_t t : {0u, 1u, 6u, 3999u})
            EXPECT_EQ(samples[t], 100 * each.column + static_cast<int>(t % 7));
    }
    EXPECT_EQ(report_.unused_signals.size(), 77u);
    EXPECT_EQ(report_.warnings.back(),
              "77 signals left out (no lead takes them): \"V1\", \"V2\", \"V3\", \"V4\", \"V5\", "
              "\"V6\", \"V7\", \"V8\", \"V9\", \"V10\", \"V11\", \"V12\", \"V13\", \"V14\", "
              "\"V15\", \"V16\", \"V17\", \"V18\", \"V19\", \"V20\", \xE2\x80\xA6 (77 in all)");
}

TEST_F(Import, SockMatrixOfThreeHundredTwentyEightSignalsNamesThoseLeftOut) {
    const std::filesystem::path source = source_folder() / "Run0001-cappedsock.mat";
    if (!std::filesystem::exists(source)) GTEST_SKIP() << "the real sources are not at hand";
    repeat_every_ms_ = 800;
    ASSERT_TRUE(import(source, "sock", 1000.0)) << reason_;
    EXPECT_EQ(report_.labels.size(), 328u);
    ASSERT_EQ(report_.unused_signals.size(), 264u);
    EXPECT_EQ(report_.unused_signals.front(), 64u);
    EXPECT_EQ(report_.warnings.back(),
              "264 signals left out (no lead takes them): \"65\", \"66\", \"67\", \"68\", \"69\", "
              "\"70\", \"71\", \"72\", \"73\", \"74\", \"75\", \"76\", \"77\", \"78\", \"79\", "
              "\"80\", \"81\", \"82\", \"83\", \"84\", \xE2\x80\xA6 (264 in all)");
    const std::string record = read_bytes(data_ / "sock.import.json");
    EXPECT_NE(record.find("\"unused_signals\": {\"count\": 264, \"labels\": [\"65\", \"66\", "),
              std::string::npos);
    EXPECT_NE(record.find(", \"327\", \"328\"]},\n"), std::string::npos);
}

}  // namespace
}  // namespace mapari::importing_tests
