// The headless runtime: script in, transcript and replayable record out.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/temporary_folder.hpp"
#include "window/headless_runtime.hpp"

namespace mapari::unit_tests {
namespace {

struct Session {
    explicit Session(const std::string& script_text) : script(script_text) {}
    test_support::TemporaryFolder folder;
    std::istringstream script;
    std::ostringstream transcript;
    std::ostringstream record;
    HeadlessRuntime runtime{script, transcript, &record, folder.path()};
};

TEST(HeadlessRuntime, TranscriptShowsLinesAnswersAndClicks) {
    Session s("@# the operator's answers\nabc\n\ns\n@click 600\n@right\n@@at\n");
    s.runtime.write_line(Channel::text, "fileの共通部分をいれてください  :");
    EXPECT_EQ(s.runtime.read_line(Channel::text), "abc");
    s.runtime.write_line(Channel::text, "q");
    EXPECT_EQ(s.runtime.read_line(Channel::text), "");
    s.runtime.open_trace_window();
    s.runtime.write_line(Channel::trace, "menu");
    EXPECT_EQ(s.runtime.read_line(Channel::trace), "s");
    MouseEvent left = s.runtime.wait_mouse_event(9);
    EXPECT_EQ(left.code, left_button_down);
    EXPECT_EQ(left.x_pixel, 600);
    EXPECT_EQ(left.y_pixel, 150);
    EXPECT_EQ(s.runtime.wait_mouse_event(9).code, right_button_down);
    EXPECT_EQ(s.runtime.read_line(Channel::trace), "@at");

    EXPECT_EQ(s.transcript.str(),
              "fileの共通部分をいれてください  :\n"
              "> abc\n"
              "q\n"
              "> \n"
              "Unit 12| menu\n"
              "Unit 12> s\n"
              "> click 600,150 left\n"
              "> click 500,150 right\n"
              "Unit 12> @at\n");
}

TEST(HeadlessRuntime, RecordReplaysTheSameSession) {
    const std::string script = "@# set-up\nabc\n\n@@x\n@click 600 20\n@right 7 8\n  s \n";
    Session first(script);
    std::vector<std::string> answers;
    answers.push_back(first.runtime.read_line(Channel::text));
    answers.push_back(first.runtime.read_line(Channel::text));
    answers.push_back(first.runtime.read_line(Channel::text));
    first.runtime.wait_mouse_event(9);
    first.runtime.wait_mouse_event(9);
    answers.push_back(first.runtime.read_line(Channel::text));
    EXPECT_EQ(answers, (std::vector<std::string>{"abc", "", "@x", "  s "}));
    EXPECT_EQ(first.record.str(), "abc\n\n@@x\n@click 600 20\n@right 7 8\n  s \n");

    Session second(first.record.str());
    for (int i = 0; i < 3; ++i) second.runtime.read_line(Channel::text);
    second.runtime.wait_mouse_event(9);
    second.runtime.wait_mouse_event(9);
    second.runtime.read_line(Channel::text);
    EXPECT_EQ(second.transcript.str(), first.transcript.str());
    EXPECT_EQ(second.record.str(), first.record.str());
}

TEST(HeadlessRuntime, ClickWhereAnAnswerIsDueEndsWithCode2AndLineNumber) {
    Session s("@# comment\n@click 1\n");
    s.runtime.write_line(Channel::text, "enter first_lead  :");
    try {
        s.runtime.read_line(Channel::text);
        FAIL() << "no SessionEnded";
    } catch (const SessionEnded& ended) {
        EXPECT_EQ(ended.exit_code(), 2);
        EXPECT_NE(std::string(ended.what()).find("script line 2"), std::string::npos)
            << ended.what();
    }
}

TEST(HeadlessRuntime, AnswerWhereAClickIsDueEndsWithCode2AndLineNumber) {
    Session s("yes\n");
    try {
        s.runtime.wait_mouse_event(9);
        FAIL() << "no SessionEnded";
    } catch (const SessionEnded& ended) {
        EXPECT_EQ(ended.exit_code(), 2);
        EXPECT_NE(std::string(ended.what()).find("script line 1"), std::string::npos)
            << ended.what();
    }
}

TEST(HeadlessRuntime, ButtonOutsideTheMaskEndsWithCode2) {
    Session s("s\n@right\n");
    s.runtime.read_line(Channel::text);
    try {
        s.runtime.wait_mouse_event(left_button_down);
        FAIL() << "no SessionEnded";
    } catch (const SessionEnded& ended) {
        EXPECT_EQ(ended.exit_code(), 2);
        EXPECT_NE(std::string(ended.what()).find("script line 2"), std::string::npos)
            << ended.what();
    }
}

TEST(HeadlessRuntime, MalformedLineEndsWithCode2AndItsReason) {
    Session s("1\n@click here\n");
    s.runtime.read_line(Channel::text);
    try {
        s.runtime.read_line(Channel::text);
        FAIL() << "no SessionEnded";
    } catch (const SessionEnded& ended) {
        EXPECT_EQ(ended.exit_code(), 2);
        std::string what = ended.what();
        EXPECT_NE(what.find("script line 2"), std::string::npos) << what;
        EXPECT_GT(what.size(), std::string("script line 2: ").size()) << what;
    }
}

TEST(HeadlessRuntime, ScriptEndWhileWaitingEndsWithCode3NamingThePrompt) {
    Session s("1\n@# nothing more\n");
    s.runtime.write_line(Channel::text, "別のデータシリーズを処理しますか？ (1/0)  :");
    s.runtime.read_line(Channel::text);
    try {
        s.runtime.read_line(Channel::text);
        FAIL() << "no SessionEnded";
    } catch (const SessionEnded& ended) {
        EXPECT_EQ(ended.exit_code(), 3);
        EXPECT_NE(std::string(ended.what()).find("別のデータシリーズを処理しますか？ (1/0)  :"),
                  std::string::npos)
            << ended.what();
    }

    Session t("");
    t.runtime.open_trace_window();
    t.runtime.write_line(Channel::trace, "click the J point");
    t.runtime.write_line(Channel::text, "a text line");
    try {
        t.runtime.wait_mouse_event(9);
        FAIL() << "no SessionEnded";
    } catch (const SessionEnded& ended) {
        EXPECT_EQ(ended.exit_code(), 3);
        EXPECT_NE(std::string(ended.what()).find("click the J point"), std::string::npos)
            << ended.what();
    }
}

// The hook is asked only once the script's own lines are used up, one line
// a wait (comments pass over to the next), and its lines are taken, numbered
// and recorded as the script's; no line ends the script as its end does.
TEST(HeadlessRuntime, ADryScriptAsksTheHookForEachNextLine) {
    Session s("first\n");
    std::vector<std::string> hook_lines = {"@# decided", "second", "@click 42", "@nonsense"};
    std::size_t asked = 0;
    s.runtime.when_script_runs_dry([&]() -> std::optional<std::string> {
        if (asked == hook_lines.size()) return std::nullopt;
        return hook_lines[asked++];
    });
    EXPECT_EQ(s.runtime.read_line(Channel::text), "first");
    EXPECT_EQ(asked, 0u);
    EXPECT_EQ(s.runtime.read_line(Channel::text), "second");
    EXPECT_EQ(asked, 2u);
    EXPECT_EQ(s.runtime.wait_mouse_event(9).x_pixel, 42);
    EXPECT_EQ(asked, 3u);
    EXPECT_EQ(s.transcript.str(), "> first\n> second\n> click 42,150 left\n");
    EXPECT_EQ(s.record.str(), "first\nsecond\n@click 42 150\n");
    try {
        s.runtime.read_line(Channel::text);
        FAIL() << "no SessionEnded";
    } catch (const SessionEnded& ended) {
        EXPECT_EQ(ended.exit_code(), 2);
        EXPECT_NE(std::string(ended.what()).find("script line 5: "), std::string::npos)
            << ended.what();
    }
    s.runtime.write_line(Channel::text, "別のデータシリーズを処理しますか？ (1/0)  :");
    try {
        s.runtime.read_line(Channel::text);
        FAIL() << "no SessionEnded";
    } catch (const SessionEnded& ended) {
        EXPECT_EQ(ended.exit_code(), 3);
        EXPECT_EQ(std::string(ended.what()),
                  "the script ended while the program waited for an answer to "
                  "\"別のデータシリーズを処理しますか？ (1/0)  :\"");
    }
}

TEST(HeadlessRuntime, TraceWaitsAreAnnounced) {
    Session s("a\n@click 3\nb\n@click 4\n");
    int waits = 0;
    s.runtime.on_trace_wait([&waits](const WindowModel&) { ++waits; });
    s.runtime.read_line(Channel::text);
    s.runtime.wait_mouse_event(9);  // the text window is the active one
    EXPECT_EQ(waits, 0);
    s.runtime.open_trace_window();
    s.runtime.read_line(Channel::trace);
    s.runtime.wait_mouse_event(9);
    EXPECT_EQ(waits, 2);
}

TEST(HeadlessRuntime, AnswersStayOnTheirWindow) {
    Session s("abc\ns\n");
    s.runtime.write_line(Channel::text, "q");
    s.runtime.read_line(Channel::text);
    s.runtime.open_trace_window();
    s.runtime.write_line(Channel::trace, "menu");
    s.runtime.read_line(Channel::trace);
    EXPECT_EQ(s.runtime.windows().text_window().lines, (std::vector<std::string>{"q", "abc"}));
    EXPECT_EQ(s.runtime.windows().trace_window().lines, (std::vector<std::string>{"menu", "s"}));
}

// A runtime that keeps no drawing drops the lines but keeps the text and
// the transcript as they are.
TEST(HeadlessRuntime, KeepingNoDrawingDropsOnlyTheLines) {
    for (const bool kept : {true, false}) {
        SCOPED_TRACE(kept ? "kept" : "dropped");
        Session s("s\n");
        if (!kept) s.runtime.keep_no_drawing();
        s.runtime.open_trace_window();
        s.runtime.move_to(1, 2);
        s.runtime.line_to(3, 4);
        s.runtime.write_line(Channel::trace, "menu");
        s.runtime.read_line(Channel::trace);
        const WindowContent& trace = s.runtime.windows().trace_window();
        EXPECT_EQ(trace.drawing.size(), kept ? 1u : 0u);
        EXPECT_EQ(trace.lines, (std::vector<std::string>{"menu", "s"}));
        EXPECT_EQ(s.transcript.str(), "Unit 12| menu\nUnit 12> s\n");
    }
}

}  // namespace
}  // namespace mapari::unit_tests
