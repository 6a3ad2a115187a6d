// The import's own arithmetic: lead maps, pieces, the count step, the
// repeated beat, the check of files in the map layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "formats/map_recording.hpp"
#include "importing/import.hpp"
#include "importing/lead_map.hpp"
#include "importing/recording_check.hpp"
#include "importing/repeated_beat.hpp"

namespace mapari::importing_tests {
namespace {

using namespace importing;

const std::vector<std::string> labels = {"MLII", "V5", "i"};

TEST(LeadMap, LinesNameLeadsAndAuxiliaryChannelsByLabelOrNumber) {
    LeadMap map;
    std::string reason;
    ASSERT_TRUE(
        parse_lead_map("lead,signal\n13,MLII\n23, 2\r\naux1,i\n\n64,1\n", labels, map, reason))
        << reason;
    EXPECT_EQ(map.signal_of_lead(13), 0);
    EXPECT_EQ(map.signal_of_lead(23), 1);
    EXPECT_EQ(map.signal_of_channel[0], 2);
    EXPECT_EQ(map.signal_of_lead(64), 0);
    EXPECT_EQ(map.signal_of_lead(1), -1);
    EXPECT_EQ(unfed_leads(map), "1-12, 14-22, 24-63");
}

TEST(LeadMap, LinesThatCannotBeUsedAreNamedByNumber) {
    struct Case {
        const char* text;
        const char* reason;
    } cases[] = {
        {"13,MLII\n13,V5\n", "line 2: \"13\" is named on line 1 too"},
        {"13 MLII\n", "line 1: \"13 MLII\" is not \"lead,signal\""},
        {"65,MLII\n", "line 1: \"65\" is not a lead (1 to 64, aux1 to aux8)"},
        {"aux9,MLII\n", "line 1: \"aux9\" is not a lead (1 to 64, aux1 to aux8)"},
        {"\n\n0,MLII\n", "line 3: \"0\" is not a lead (1 to 64, aux1 to aux8)"},
        {"1,V6\n",
         "line 1: the source has no signal \"V6\"; its signals, by label or by number from 1 to 3: "
         "\"MLII\", \"V5\", \"i\""},
        {"1,4\n",
         "line 1: the source has no signal \"4\"; its signals, by label or by number from 1 to 3: "
         "\"MLII\", \"V5\", \"i\""},
        {"lead,signal\nlead,signal\n", "line 2: \"lead\" is not a lead (1 to 64, aux1 to aux8)"},
    };
    for (const Case& c : cases) {
        LeadMap map;
        std::string reason;
        EXPECT_FALSE(parse_lead_map(c.text, labels, map, reason)) << c.text;
        EXPECT_EQ(reason, c.reason);
    }
}

// Labels "1" to "count".
std::vector<std::string> numbered_labels(int count) {
    std::vector<std::string> numbered;
    for (int k = 1; k <= count; ++k) numbered.push_back(std::to_string(k));
    return numbered;
}

TEST(LeadMap, FormsWithBlanksHeadersCommentsAndLabelsInEitherCase) {
    const std::vector<std::string> eighty = [] {
        std::vector<std::string> named;
        for (int k = 1; k <= 80; ++k) named.push_back("V" + std::to_string(k));
        return named;
    }();
    const std::vector<std::string> by_case = {"mlii", "MLII", "V5", "Aux"};
    struct Case {
        const char* text;
        const std::vector<std::string>& labels;
        std::vector<std::pair<int, int>> fed;  // (channel, signal from 0) of every channel fed
    } cases[] = {
        {"lead, signal\n13 , MLII \n", labels, {{21, 0}}},
        {"Lead,Signal\n13,MLII\n", labels, {{21, 0}}},
        {"  LEAD ,\tsignal  \n13,MLII\n", labels, {{21, 0}}},
        {"# run 3, sock\n\n# leads\nlead, signal # header\n13, MLII # display\n",
         labels,
         {{21, 0}}},
        {"13,MLII#no blank before the comment\n#23,V5\n", labels, {{21, 0}}},
        {"13,mlii\n23,v5\naux1,I\n", labels, {{21, 0}, {31, 1}, {1, 2}}},
        // An exact match wins over one in letters of either case.
        {"13,MLII\n14,mlii\n16,v5\n17,aux\n", by_case, {{21, 1}, {22, 0}, {24, 2}, {25, 3}}},
        {"1,80\n2,v79\n3, V65 \n", eighty, {{9, 79}, {10, 78}, {11, 64}}},
        {"", labels, {}},
        {"# nothing but a comment\n", labels, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LeadMap map;
        std::string reason;
        ASSERT_TRUE(parse_lead_map(c.text, c.labels, map, reason)) << reason;
        std::array<int, channel_count> expected;
        expected.fill(-1);
        for (const auto& [channel, signal] : c.fed)
            expected[static_cast<std::size_t>(channel - 1)] = signal;
        EXPECT_EQ(map.signal_of_channel, expected);
    }
}

TEST(LeadMap, LabelsMissingOrMatchedOnlyInEitherCaseAreRefusedWithTheSourcesLabels) {
    const std::vector<std::string> two_cases = {"Ab", "aB", "x"};
    const std::vector<std::string> sock = numbered_labels(328);
    struct Case {
        const char* text;
        const std::vector<std::string>& labels;
        std::string reason;
    } cases[] = {
        {"1,ab\n", two_cases,
         "line 1: \"ab\" matches \"Ab\", \"aB\" but none exactly; write the label as the source "
         "has it"},
        {"\n# the comment does not count\n1,V6 # no such\n", labels,
         "line 3: the source has no signal \"V6\"; its signals, by label or by number from 1 to "
         "3: \"MLII\", \"V5\", \"i\""},
        {"1,329\n", sock,
         "line 1: the source has no signal \"329\"; its signals, by label or by number from 1 to "
         "328: \"1\", \"2\", \"3\", \"4\", \"5\", \"6\", \"7\", \"8\", \"9\", \"10\", \"11\", "
         "\"12\", \"13\", \"14\", \"15\", \"16\", \"17\", \"18\", \"19\", \"20\", \xE2\x80\xA6 "
         "(328 in all)"},
        {"13,MLII\nlead,signal\n", labels,
         "line 2: \"lead\" is not a lead (1 to 64, aux1 to aux8)"},
        {"# a header comes first or not at all\n13,MLII\nlead, signal\n", labels,
         "line 3: \"lead\" is not a lead (1 to 64, aux1 to aux8)"},
        {"13 # MLII\n", labels, "line 1: \"13\" is not \"lead,signal\""},
    };
    for (const Case& c : cases) {
        LeadMap map;
        std::string reason;
        EXPECT_FALSE(parse_lead_map(c.text, c.labels, map, reason)) << c.text;
        EXPECT_EQ(reason, c.reason);
    }
}

TEST(LeadMap, LabelsAreListedInQuotesTheFirstTwentyAndHowManyInAll) {
    const struct {
        std::vector<std::string> labels;
        std::string listed;
    } cases[] = {
        {{}, ""},
        {{"MLII"}, "\"MLII\""},
        {{"V 1", "", "a,b"}, "\"V 1\", \"\", \"a,b\""},
        {numbered_labels(20),
         "\"1\", \"2\", \"3\", \"4\", \"5\", \"6\", \"7\", \"8\", \"9\", \"10\", \"11\", \"12\", "
         "\"13\", \"14\", \"15\", \"16\", \"17\", \"18\", \"19\", \"20\""},
        {numbered_labels(21),
         "\"1\", \"2\", \"3\", \"4\", \"5\", \"6\", \"7\", \"8\", \"9\", \"10\", \"11\", \"12\", "
         "\"13\", \"14\", \"15\", \"16\", \"17\", \"18\", \"19\", \"20\", \xE2\x80\xA6 (21 in "
         "all)"},
    };
    for (const auto& c : cases) EXPECT_EQ(listed_labels(c.labels), c.listed);
}

TEST(LeadMap, SignalsNoChannelTakesAreLeftOut) {
    EXPECT_EQ(unused_signals(default_lead_map(66), 66), (std::vector<std::size_t>{64, 65}));
    EXPECT_TRUE(unused_signals(default_lead_map(3), 3).empty());
    LeadMap map;
    std::string reason;
    ASSERT_TRUE(parse_lead_map("13,V5\n23,V5\naux2,3\n", labels, map, reason)) << reason;
    EXPECT_EQ(unused_signals(map, labels.size()), std::vector<std::size_t>{0});
}

TEST(LeadMap, DefaultFeedsTheFirstSixtyFourSignals) {
    EXPECT_EQ(unfed_leads(default_lead_map(2)), "3-64");
    EXPECT_EQ(unfed_leads(default_lead_map(80)), "");
    EXPECT_EQ(default_lead_map(80).signal_of_lead(64), 63);
    EXPECT_EQ(default_lead_map(80).signal_of_channel[7], -1);
    EXPECT_EQ(number_ranges({1, 2, 3, 5, 7, 8}), "1-3, 5, 7-8");
}

TEST(Pieces, ThirtyTwoSecondsEveryTwentyEightTheLastEndingWithTheSource) {
    struct Case {
        long long frames;
        std::vector<std::pair<long long, long long>> pieces;  // first frame, frames
    } cases[] = {
        {4000, {{0, 4000}}},
        {32000, {{0, 32000}}},
        {32001, {{0, 32000}, {28000, 4001}}},
        {60000, {{0, 32000}, {28000, 32000}}},
        {96000, {{0, 32000}, {28000, 32000}, {56000, 32000}, {84000, 12000}}},
    };
    for (const Case& c : cases) {
        const std::vector<ImportedPiece> pieces = plan_pieces("run", c.frames);
        ASSERT_EQ(pieces.size(), c.pieces.size()) << c.frames;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            EXPECT_EQ(pieces[k].first_frame, c.pieces[k].first) << c.frames << " piece " << k;
            EXPECT_EQ(pieces[k].frames, c.pieces[k].second) << c.frames << " piece " << k;
            EXPECT_EQ(pieces[k].file_name, "run00" + std::to_string(k + 1) + ".dat");
        }
    }
}

TEST(CountStep, TheSmallestStepThatKeepsEverySampleWithinSixteenBits) {
    const std::pair<double, int> cases[] =
        {
            {0.0, 1},        {32767.0, 1},    {32767.4, 1},  {32767.5, 2},
            {65534.0, 2},    {65535.0, 5},    {163835.0, 5}, {163837.5, 10},
            {1638350.0, 50}, {2000000.0, 50},  // still too large: clipped at 50 microvolts a count
        };
    for (const auto& [largest, step] : cases)
        EXPECT_EQ(microvolts_per_count(largest), step) << largest;
}

TEST(RepeatedBeat, EveryPeriodTheBeatAgainAndAStraightLineBackToItsStart) {
    const SampleBlock beat = {{0, 10, 20, 30, 40}, {-5, 5, 5, 5, -1}};
    const struct {
        long long period;
        std::vector<double> first, second;  // the first 17 frames of each signal
    } cases[] = {
        // From 40 at frame 4 to 0 at frame 8: 40 - 40 * (j - 4) / (8 - 4) at j = 5, 6, 7.
        {8,
         {0, 10, 20, 30, 40, 30, 20, 10, 0, 10, 20, 30, 40, 30, 20, 10, 0},
         {-5, 5, 5, 5, -1, -2, -3, -4, -5, 5, 5, 5, -1, -2, -3, -4, -5}},
        {5,
         {0, 10, 20, 30, 40, 0, 10, 20, 30, 40, 0, 10, 20, 30, 40, 0, 10},
         {-5, 5, 5, 5, -1, -5, 5, 5, 5, -1, -5, 5, 5, 5, -1, -5, 5}},
    };
    for (const auto& c : cases) {
        const SampleBlock repeated = repeated_beat(beat, c.period, 17);
        EXPECT_EQ(repeated[0], c.first) << c.period;
        EXPECT_EQ(repeated[1], c.second) << c.period;
    }
}

// A file in the map layout whose moving channels hold `value(channel, frame)`;
// with big_endian false, every sample's two bytes swapped.
template <typename Value>
std::string layout_bytes(long long frames, Value value, bool big_endian = true) {
    std::vector<std::int16_t> samples;
    for (long long t = 0; t < frames; ++t)
        for (int c = 1; c <= channel_count; ++c) samples.push_back(value(c, t));
    std::string bytes = encode_frames(samples);
    if (!big_endian)
        for (std::size_t at = 0; at < bytes.size(); at += bytes_per_sample)
            std::swap(bytes[at], bytes[at + 1]);
    return bytes;
}

std::int16_t beat_wave(int channel, long long t) {
    if (lead_of_channel(channel) < 1) return 0;
    return static_cast<std::int16_t>(
        1500.0 * std::sin(2.0 * std::numbers::pi * static_cast<double>(t) / 800.0) +
        10.0 * channel);
}

TEST(RecordingCheck, SmoothBigEndianChannelsLookLikeARecording) {
    const RecordingCheck check = check_recording_bytes(layout_bytes(5000, beat_wave));
    EXPECT_TRUE(check.plausible()) << check_report(check);
    EXPECT_EQ(check.frames, 5000);
    EXPECT_EQ(check_report(check),
              "5000 frames (5 s)\nflat channels: 1-8\nclipped channels: none\n"
              "it looks like a map recording\n");
}

TEST(RecordingCheck, BytesThatAreNoRecordingAreNamedWithTheirReason) {
    std::uint32_t noise_state = 12345;
    const auto noise = [&noise_state](int, long long) {
        noise_state = noise_state * 1664525u + 1013904223u;
        return static_cast<std::int16_t>(noise_state >> 16);
    };
    const auto clipped = [](int channel, long long t) {
        if (channel == 9 && t == 7) return std::int16_t{32767};
        if (channel == 10 && t == 4999) return std::int16_t{-32768};
        return beat_wave(channel, t);
    };
    // Every channel still but channel 12 in the last frame (frames from 0 here).
    const auto moving_last = [](int channel, long long t) {
        return static_cast<std::int16_t>(channel == 12 && t == 4999 ? 1 : 0);
    };
    struct Case {
        std::string bytes;
        std::vector<std::string> problems;
    } cases[] = {
        {layout_bytes(5000, beat_wave, false),
         {"the bytes look swapped: the samples are smooth read little-endian"}},
        {layout_bytes(5000, noise),
         {"the samples jump from frame to frame like noise: not 72 big-endian channels at "
          "1000 Hz (a WFDB signal file, or another format?)"}},
        {layout_bytes(3999, beat_wave), {"it holds 3999 frames; a display needs 4000"}},
        {layout_bytes(5000, beat_wave) + "x",
         {"its size is not a whole number of 144-byte frames"}},
        {layout_bytes(5000, [](int, long long) { return std::int16_t{0}; }),
         {"every channel is flat"}},
        {std::string(std::size_t{5000} * 144, 'a'), {"it is text, not binary frames"}},
        {"", {"it holds no frames to look at"}},
    };
    for (const Case& c : cases) EXPECT_EQ(check_recording_bytes(c.bytes).problems, c.problems);
    const RecordingCheck with_clip = check_recording_bytes(layout_bytes(5000, clipped));
    EXPECT_EQ(with_clip.clipped_channels, (std::vector<int>{9, 10}));
    EXPECT_TRUE(with_clip.plausible());
    std::vector<int> still(channel_count);
    std::iota(still.begin(), still.end(), 1);
    still.erase(still.begin() + 11);
    EXPECT_EQ(check_recording_bytes(layout_bytes(5000, moving_last)).flat_channels, still);
}

}  // namespace
}  // namespace mapari::importing_tests
