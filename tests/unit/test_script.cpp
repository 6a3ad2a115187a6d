// The headless script: one event a line, and the lines that replay events.
#include <gtest/gtest.h>

#include <string>

#include "app/command_line.hpp"
#include "window/script.hpp"

namespace mapari::unit_tests {
namespace {

using Kind = ScriptEvent::Kind;

TEST(ScriptLine, EventsAndAnswers) {
    struct Case {
        const char* line;
        Kind kind;
        const char* answer;
        int column;
        int row;
    } cases[] = {
        {"@click 600", Kind::left_click, "", 600, 150},
        {"@click 600 20", Kind::left_click, "", 600, 20},
        {"@click   7\t 9 ", Kind::left_click, "", 7, 9},
        {"@click -3 0", Kind::left_click, "", -3, 0},
        {"@right", Kind::right_click, "", 500, 150},
        {"@right 10", Kind::right_click, "", 10, 150},
        {"@right 10 20", Kind::right_click, "", 10, 20},
        {"@# a comment", Kind::comment, "", 500, 150},
        {"@#", Kind::comment, "", 500, 150},
        {"@@x", Kind::answer, "@x", 500, 150},
        {"@@", Kind::answer, "@", 500, 150},
        {"@@click 5", Kind::answer, "@click 5", 500, 150},
        {"", Kind::answer, "", 500, 150},
        {"s", Kind::answer, "s", 500, 150},
        {"  s  ", Kind::answer, "  s  ", 500, 150},
        {"ab cd, 3", Kind::answer, "ab cd, 3", 500, 150},
        {"日本", Kind::answer, "日本", 500, 150},
        {"abc\r", Kind::answer, "abc", 500, 150},
        {"\r", Kind::answer, "", 500, 150},
        {"@click 600\r", Kind::left_click, "", 600, 150},
        {"x@", Kind::answer, "x@", 500, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::string error;
        std::optional<ScriptEvent> event = parse_script_line(c.line, error);
        ASSERT_TRUE(event.has_value()) << error;
        EXPECT_EQ(event->kind, c.kind);
        if (c.kind == Kind::answer) {
            EXPECT_EQ(event->answer, c.answer);
        }
        if (c.kind == Kind::left_click || c.kind == Kind::right_click) {
            EXPECT_EQ(event->column, c.column);
            EXPECT_EQ(event->row, c.row);
        }
    }
}

TEST(ScriptLine, MalformedEventsAreRejectedWithAReason) {
    for (const char* line : {"@click", "@click x", "@click 1 y", "@click 1 2 3", "@click 1.5",
                             "@click 40000", "@click 1e3", "@right a", "@right 1 2 3", "@clack 5",
                             "@clicks 5", "@", "@ click 5", "@right5", "@Click 5"}) {
        SCOPED_TRACE(line);
        std::string error;
        EXPECT_FALSE(parse_script_line(line, error).has_value());
        EXPECT_FALSE(error.empty());
    }
}

TEST(ScriptLine, ReplayLineRoundTrips) {
    std::vector<ScriptEvent> events;
    for (const char* answer : {"", "s", "  a b ", "@x", "@@", "@#not a comment", "@click 5", "x@"})
        events.push_back(ScriptEvent{Kind::answer, answer, 500, 150});
    events.push_back(ScriptEvent{Kind::left_click, "", 600, 150});
    events.push_back(ScriptEvent{Kind::left_click, "", 0, 0});
    events.push_back(ScriptEvent{Kind::left_click, "", -3, 299});
    events.push_back(ScriptEvent{Kind::right_click, "", 500, 150});
    events.push_back(ScriptEvent{Kind::right_click, "", 12, 34});

    for (const ScriptEvent& event : events) {
        std::string line = script_line_for(event);
        SCOPED_TRACE(line);
        std::string error;
        std::optional<ScriptEvent> replayed = parse_script_line(line, error);
        ASSERT_TRUE(replayed.has_value()) << error;
        EXPECT_EQ(replayed->kind, event.kind);
        EXPECT_EQ(replayed->answer, event.answer);
        EXPECT_EQ(replayed->column, event.column);
        EXPECT_EQ(replayed->row, event.row);
    }
}

TEST(ScriptLine, ReplayLinesAreWrittenInFull) {
    EXPECT_EQ(script_line_for(ScriptEvent{Kind::left_click, "", 600, 150}), "@click 600 150");
    EXPECT_EQ(script_line_for(ScriptEvent{Kind::right_click, "", 500, 150}), "@right 500 150");
    EXPECT_EQ(script_line_for(ScriptEvent{Kind::answer, "@x", 500, 150}), "@@x");
    EXPECT_EQ(script_line_for(ScriptEvent{Kind::answer, "", 500, 150}), "");
}

}  // namespace
}  // namespace mapari::unit_tests

namespace mapari::unit_tests {
namespace {

TEST(CommandLine, GuiPlaysTheDemoOrAScriptInTheWindow) {
    struct Case {
        std::vector<std::string> arguments;
        Options::Mode mode;
        bool in_window;
        std::string error;
    } cases[] = {
        {{"--script", "s.txt", "--gui"}, Options::Mode::script, true, ""},
        {{"--demo", "--gui"}, Options::Mode::demo, true, ""},
        {{"--script", "s.txt"}, Options::Mode::script, false, ""},
        {{"--gui"}, Options::Mode::desktop, true, "--gui goes with --demo or --script"},
        {{"--data-dir", "d", "--gui"},
         Options::Mode::desktop,
         true,
         "--gui goes with --demo or --script"},
    };
    for (const Case& c : cases) {
        Options options;
        const CommandLineReading reading = parse_command_line(c.arguments, options);
        EXPECT_EQ(reading.error, c.error);
        if (!c.error.empty()) continue;
        EXPECT_EQ(options.mode, c.mode);
        EXPECT_EQ(options.in_window, c.in_window);
    }
}

}  // namespace
}  // namespace mapari::unit_tests
