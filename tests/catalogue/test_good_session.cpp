// The good session the catalogue's cases are compared with: every event of
// the script is answered where the catalogue says it is, and the session
// leaves the recording with its three result files.
#include <algorithm>

#include "catalogue_support.hpp"
#include "formats/messages.hpp"

namespace mapari::catalogue_tests {
namespace {

TEST_F(CatalogueTest, GoodSessionEchoesEveryEventInOrderAndWritesTheResults) {
    play_good_session();
    const Lines& script = good_script();
    ASSERT_EQ(script.size(), static_cast<std::size_t>(event_count));
    for (std::size_t event = 0; event < script.size(); ++event) {
        SCOPED_TRACE("event " + std::to_string(event) + ": " + script[event]);
        const std::size_t at = echo_line(good_transcript_, event);
        ASSERT_LT(at, good_transcript_.size());
        const std::string& echo = good_transcript_[at];
        if (script[event].starts_with("@click "))
            EXPECT_EQ(echo, text_echo("click " + script[event].substr(7) + ",150 left"));
        else
            EXPECT_TRUE(echo == text_echo(script[event]) || echo == trace_echo(script[event]));
    }
    EXPECT_EQ(echo_line(good_transcript_, event_count), good_transcript_.size());
    EXPECT_EQ(good_transcript_[echo_line(good_transcript_, smoothing_points) - 1],
              "number of smoothing :");
    Lines names;
    for (const auto& [name, bytes] : good_files_) names.push_back(name);
    EXPECT_EQ(names, (Lines{"demo01.ari", "demo01.dat", "demo01.ds", "demo01.se"}));
    EXPECT_EQ(good_files_.at("demo01.se"), "  148  143  243  601\n");
}

TEST_F(CatalogueTest, InsertedLinesStandBeforeTheEventsEcho) {
    const Lines transcript = {"prompt", "> 0", "next", "Unit 12> s", "end"};
    EXPECT_EQ(with_lines_before(transcript, leads_ok, {"> x", "message", "prompt"}),
              (Lines{"prompt", "> x", "message", "prompt", "> 0", "next", "Unit 12> s", "end"}));
    EXPECT_EQ(with_lines_before(transcript, first_lead, {"added"}),
              (Lines{"prompt", "> 0", "next", "added", "Unit 12> s", "end"}));
    EXPECT_EQ(script_with(first_lead, {"x"})[1], "x");
    EXPECT_EQ(script_with(first_lead, {"x"})[2], "13");
    EXPECT_EQ(script_replacing(first_lead, {"a", "b"}).size(), good_script().size() + 1);
    EXPECT_EQ(script_until(common_part).back(), "0");
}

// One script plays in both languages: the answers are the same, only the
// program's lines change, and the result files are the same byte for byte.
TEST_F(CatalogueTest, GoodSessionInEnglishWritesTheSameFilesAndNoJapanese) {
    play_good_session();
    const FolderBytes japanese_files = good_files_;
    std::string reason;
    ASSERT_TRUE(use_language(Language::english, reason)) << reason;
    play_good_session();
    ASSERT_TRUE(use_language(Language::japanese, reason)) << reason;
    EXPECT_EQ(good_files_, japanese_files);
    for (const std::string& line : good_transcript_)
        for (char byte : line) EXPECT_LT(static_cast<unsigned char>(byte), 0x80) << line;
    EXPECT_NE(std::find(good_transcript_.begin(), good_transcript_.end(),
                        "Unit 12| Select beat (s), Average (b), Delete (d), Back (o), End (x)"),
              good_transcript_.end());
}

}  // namespace
}  // namespace mapari::catalogue_tests
