// What the windows hold: lines, drawing, and the trace channel's default file.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/temporary_folder.hpp"
#include "window/headless_runtime.hpp"
#include "window/window_model.hpp"

namespace mapari::unit_tests {
namespace {

using test_support::read_bytes;
using test_support::TemporaryFolder;
using Lines = std::vector<std::string>;
using Points = std::vector<PixelPoint>;

TEST(TraceChannel, LinesBeforeOpeningGoToFort12NotTheTranscript) {
    TemporaryFolder folder;
    test_support::write_bytes(folder.file("fort.12"), "left over from an earlier run\n");
    std::istringstream script;
    std::ostringstream transcript;
    HeadlessRuntime runtime(script, transcript, nullptr, folder.path());

    runtime.write_line(Channel::trace, "point 1");
    runtime.write_line(Channel::text, "on the text window");
    runtime.write_line(Channel::trace, "point 2");
    EXPECT_EQ(read_bytes(folder.file("fort.12")), "point 1\npoint 2\n");
    EXPECT_EQ(transcript.str(), "on the text window\n");
    EXPECT_TRUE(runtime.windows().trace_window().lines.empty());

    runtime.open_trace_window();
    runtime.write_line(Channel::trace, "menu");
    EXPECT_EQ(read_bytes(folder.file("fort.12")), "point 1\npoint 2\n");
    EXPECT_EQ(transcript.str(), "on the text window\nUnit 12| menu\n");
    EXPECT_EQ(runtime.windows().trace_window().lines, Lines{"menu"});
}

TEST(TraceChannel, WritingAfterTheWindowClosedStartsTheFileAfresh) {
    TemporaryFolder folder;
    WindowModel windows(folder.path());
    EXPECT_FALSE(windows.write_line(Channel::trace, "point 1"));
    windows.open_trace_window();
    EXPECT_TRUE(windows.write_line(Channel::trace, "menu"));
    windows.close_trace_window();
    EXPECT_FALSE(windows.write_line(Channel::trace, "point 1 again"));
    EXPECT_EQ(read_bytes(folder.file("fort.12")), "point 1 again\n");
}

TEST(TraceChannel, OpeningGivesAFreshWindow) {
    TemporaryFolder folder;
    WindowModel windows(folder.path());
    windows.open_trace_window();
    windows.write_line(Channel::trace, "old");
    windows.move_to(1, 1);
    windows.line_to(2, 2);
    windows.set_cross_cursor();
    windows.close_trace_window();
    windows.open_trace_window();
    EXPECT_TRUE(windows.trace_window().lines.empty());
    EXPECT_TRUE(windows.trace_window().drawing.empty());
    EXPECT_FALSE(windows.trace_window().cross_cursor);
}

TEST(ActiveWindow, ClearEmptiesTheActiveWindowOnly) {
    TemporaryFolder folder;
    WindowModel windows(folder.path());
    windows.write_line(Channel::text, "banner");
    windows.move_to(0, 0);
    windows.line_to(5, 5);
    windows.open_trace_window();
    windows.write_line(Channel::trace, "menu");
    windows.move_to(0, 0);
    windows.line_to(9, 9);

    windows.clear_active_window();  // the trace window
    EXPECT_TRUE(windows.trace_window().lines.empty());
    EXPECT_TRUE(windows.trace_window().drawing.empty());
    EXPECT_EQ(windows.text_window().lines, Lines{"banner"});
    EXPECT_EQ(windows.text_window().drawing.size(), 1u);

    windows.close_trace_window();
    windows.clear_active_window();  // now the text window
    EXPECT_TRUE(windows.text_window().lines.empty());
    EXPECT_TRUE(windows.text_window().drawing.empty());
}

TEST(ActiveWindow, DrawingGoesToTraceWindowWhileOpenElseTextWindow) {
    TemporaryFolder folder;
    WindowModel windows(folder.path());
    EXPECT_EQ(windows.active_window(), Channel::text);
    windows.move_to(1, 2);
    windows.line_to(3, 4);
    windows.set_cross_cursor();
    EXPECT_EQ(windows.text_window().drawing.size(), 1u);
    EXPECT_TRUE(windows.text_window().cross_cursor);

    windows.open_trace_window();
    EXPECT_EQ(windows.active_window(), Channel::trace);
    windows.move_to(10, 20);
    windows.line_to(30, 40);
    windows.set_cross_cursor();
    ASSERT_EQ(windows.trace_window().drawing.size(), 1u);
    EXPECT_EQ(windows.trace_window().drawing[0].points, (Points{{10, 20}, {30, 40}}));
    EXPECT_TRUE(windows.trace_window().cross_cursor);
    EXPECT_EQ(windows.text_window().drawing.size(), 1u);
}

TEST(Drawing, LinesContinueFromTheCurrentPositionUntilMoveOrColourChange) {
    TemporaryFolder folder;
    WindowModel windows(folder.path());
    windows.open_trace_window();
    windows.set_drawing_colour(0xAB0000F0u);  // the top byte is ignored
    windows.move_to(0, 0);
    windows.line_to(10, 0);
    windows.line_to(10, 10);
    windows.set_drawing_colour(0x00FFFF00u);
    windows.line_to(20, 10);  // a new colour starts a new stroke where the pen stands
    windows.move_to(50, 50);
    windows.line_to(50, 50);

    const std::vector<Polyline>& drawing = windows.trace_window().drawing;
    ASSERT_EQ(drawing.size(), 3u);
    EXPECT_EQ(drawing[0].colour, 0x0000F0u);
    EXPECT_EQ(drawing[0].points, (Points{{0, 0}, {10, 0}, {10, 10}}));
    EXPECT_EQ(drawing[1].colour, 0xFFFF00u);
    EXPECT_EQ(drawing[1].points, (Points{{10, 10}, {20, 10}}));
    EXPECT_EQ(drawing[2].points, (Points{{50, 50}, {50, 50}}));
}

TEST(Drawing, PendingPromptIsTheLastLineOfEachChannel) {
    TemporaryFolder folder;
    WindowModel windows(folder.path());
    windows.write_line(Channel::text, "first");
    windows.write_line(Channel::trace, "point 1");
    windows.write_line(Channel::text, "second");
    EXPECT_EQ(windows.pending_prompt(Channel::text), "second");
    EXPECT_EQ(windows.pending_prompt(Channel::trace), "point 1");
}

}  // namespace
}  // namespace mapari::unit_tests
