// A single recorded beat imported with --repeat-every: the beat's samples
// land every period exactly, at the beat's own rate brought to 1000 Hz, in one
// piece of 32 s; and the periods and sources that cannot be repeated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "import_fixture.hpp"
#include "importing/matlab_reader.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {
namespace {

using test_support::read_bytes;
using test_support::write_bytes;

// The first frame t (from 0) whose place j = t % period in its period the
// beat covers (j < beat_frames) and that is not frame j; -1 when there is none.
long long first_unrepeated(const std::vector<int>& samples, long long period,
                           long long beat_frames) {
    for (std::size_t t = 0; t < samples.size(); ++t) {
        const auto j = static_cast<long long>(t) % period;
        if (j < beat_frames && samples[t] != samples[static_cast<std::size_t>(j)])
            return static_cast<long long>(t);
    }
    return -1;
}

TEST_F(Import, BeatOfFiveSamplesRepeatsEveryEightMillisecondsWithALineBackToItsStart) {
    write_bytes(folder_.path() / "beat.csv", "A [uV]\n0\n10\n20\n30\n40\n");
    repeat_every_ms_ = 8;
    ASSERT_TRUE(import(folder_.path() / "beat.csv", "beat", 1000.0)) << reason_;
    ASSERT_EQ(report_.pieces.size(), 1u);
    EXPECT_EQ(report_.pieces[0].frames, 32000);
    EXPECT_EQ(report_.source_frames, 5);
    const std::vector<int> samples = lead_samples("beat001.dat", 1);
    ASSERT_EQ(samples.size(), 32000u);
    // 40 - 40 * (j - 4) / (8 - 4) between the copies, j = 5, 6, 7.
    const std::vector<int> period = {0, 10, 20, 30, 40, 30, 20, 10};
    std::vector<int> expected;
    for (std::size_t t = 0; t < 32000; ++t) expected.push_back(period[t % 8]);
    EXPECT_TRUE(samples == expected);
    EXPECT_NE(read_bytes(data_ / "beat.import.json")
                  .find("\"resampling\": \"none\",\n  \"repeat_every_ms\": 8,\n"
                        "  \"microvolts_per_count\": 1,"),
              std::string::npos);
}

TEST_F(Import, BeatAtFiveHundredHertzIsResampledThenRepeatedEveryPeriodExactly) {
    // 150 samples at 500 Hz: a beat of 300 ms with a spike at 100 ms.
    std::string text = "A [uV],B [uV]\n";
    for (int k = 0; k < 150; ++k)
        text += std::to_string(k == 50 ? 2000 : k % 3) + "," + std::to_string(-k) + "\n";
    write_bytes(folder_.path() / "beat.csv", text);
    repeat_every_ms_ = 437;
    ASSERT_TRUE(import(folder_.path() / "beat.csv", "beat", 500.0)) << reason_;
    EXPECT_TRUE(report_.resampled);
    EXPECT_EQ(report_.source_frames, 300);
    for (int lead : {1, 2}) {
        const std::vector<int> samples = lead_samples("beat001.dat", lead);
        ASSERT_EQ(samples.size(), 32000u);
        EXPECT_EQ(first_unrepeated(samples, 437, 300), -1) << "lead " << lead;
    }
    const std::vector<int> spiked = lead_samples("beat001.dat", 1);
    EXPECT_EQ(std::max_element(spiked.begin(), spiked.begin() + 437) - spiked.begin(), 100);
    EXPECT_EQ(std::max_element(spiked.begin() + std::ptrdiff_t{437} * 70,
                               spiked.begin() + std::ptrdiff_t{437} * 71) -
                  spiked.begin(),
              437 * 70 + 100);
}

TEST_F(Import, SockBeatRepeatedEveryEightHundredMillisecondsKeepsItsMicrovolts) {
    const std::filesystem::path source = source_folder() / "Run0001-cappedsock.mat";
    if (!std::filesystem::exists(source)) GTEST_SKIP() << "the real sources are not at hand";
    repeat_every_ms_ = 800;
    ASSERT_TRUE(import(source, "sock", 1000.0)) << reason_;
    EXPECT_EQ(data_files(), (std::vector<std::string>{"sock.import.json", "sock001.dat"}));
    EXPECT_EQ(report_.source_frames, 383);
    importing::SourceRecording sock;
    std::string reason;
    ASSERT_TRUE(importing::read_matlab_file(source, "", sock, reason)) << reason;
    const double step = report_.microvolts_per_count;
    const std::string piece = read_bytes(data_ / "sock001.dat");
    ASSERT_EQ(piece.size(), 32000u * bytes_per_frame);
    for (int lead = 1; lead <= 64; ++lead) {
        SCOPED_TRACE("lead " + std::to_string(lead));
        const std::vector<double>& beat =
            sock.signals[static_cast<std::size_t>(lead - 1)].microvolts;
        std::vector<int> samples;
        for (long long frame = 1; frame <= 32000; ++frame)
            samples.push_back(frame_sample(piece, frame, channel_of_lead(lead)));
        EXPECT_EQ(first_unrepeated(samples, 800, 383), -1);
        for (std::size_t j = 0; j < 383; j += 19)
            EXPECT_EQ(samples[j], std::lround(beat[j] / step)) << j;
        // Halfway along the line from the beat's last value (frame 382) to
        // its first (frame 800): frame 591.
        EXPECT_EQ(samples[591], std::lround((beat[382] + beat[0]) / 2.0 / step));
    }
}

TEST_F(Import, PeriodsAndSourcesThatCannotBeRepeatedAreRefusedAndNothingIsWritten) {
    write_bytes(folder_.path() / "beat.csv", "A [uV]\n0\n10\n20\n30\n40\n");
    std::string long_text = "A [uV]\n";
    for (int k = 0; k < 5000; ++k) long_text += std::to_string(k % 9) + "\n";
    write_bytes(folder_.path() / "long.csv", long_text);
    const std::string beat = (folder_.path() / "beat.csv").string();
    const std::string long_source = (folder_.path() / "long.csv").string();
    const struct {
        std::string source;
        int repeat_every_ms;
        std::string reason;
    } cases[] = {
        {beat, 4,
         beat + ": is 5 ms long, longer than --repeat-every 4; repeat it every 5 ms or more"},
        {long_source, 800,
         long_source + ": is 5000 ms long; --repeat-every is for a single beat shorter than 4 s"},
        {beat, 32001, "--repeat-every takes 1 to 32000 ms"},
        {beat, -8, "--repeat-every takes 1 to 32000 ms"},
    };
    for (const auto& c : cases) {
        repeat_every_ms_ = c.repeat_every_ms;
        EXPECT_FALSE(import(c.source, "beat", 1000.0));
        EXPECT_EQ(reason_, c.reason);
        EXPECT_TRUE(data_files().empty()) << reason_;
    }
    repeat_every_ms_ = 5;
    EXPECT_TRUE(import(beat, "beat", 1000.0)) << reason_;
    EXPECT_EQ(first_unrepeated(lead_samples("beat001.dat", 1), 5, 5), -1);
}

}  // namespace
}  // namespace mapari::importing_tests
