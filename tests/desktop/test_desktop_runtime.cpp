// The desktop runtime's operations on the real widgets: clicks at widget
// positions and the drawing pixels they give, the mouse wait and its mask,
// the status bar, typed answers, pausing output, and closing the frame while
// the program waits.
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QInputMethodEvent>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <vector>

#include "desktop/mouse_events.hpp"
#include "desktop/surface_mapping.hpp"
#include "support/desktop_fixture.hpp"

namespace mapari::desktop_tests {

using namespace test_support;
namespace {

// What a test program saw, read by the test once the program has ended.
struct Seen {
    std::vector<MouseEvent> events;
    std::vector<std::string> answers;
};

class DesktopRuntimeTest : public DesktopTest {
  protected:
    // A program that opens the trace window and waits for `clicks` clicks of the mask.
    void start_click_program(int clicks, int mask = left_button_down | right_button_down) {
        start([this, clicks, mask](Runtime& runtime) {
            runtime.open_trace_window();
            runtime.write_line(Channel::trace, "Click");
            runtime.set_cross_cursor();
            for (int i = 0; i < clicks; ++i) seen_.events.push_back(runtime.wait_mouse_event(mask));
        });
    }
    // Ends the session and joins the program's thread; seen_ is safe to read after.
    void end() {
        frame().close();
        ASSERT_FALSE(session_->program_running());
    }

    Seen seen_;
};

bool events_equal(const MouseEvent& a, const MouseEvent& b) {
    return a.code == b.code && a.x_pixel == b.x_pixel && a.y_pixel == b.y_pixel;
}

TEST_F(DesktopRuntimeTest, ClicksGiveTheDrawingPixelAtTwoSurfaceSizes) {
    start_click_program(3);
    frame().set_zoom_percent(100);
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::click, Channel::trace));
    ASSERT_EQ(frame().trace_window()->surface()->size(), QSize(1000, 300));
    ASSERT_NO_FATAL_FAILURE(click_surface_at({250, 120}));
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::click, Channel::trace));
    frame().set_zoom_percent(150);
    ASSERT_EQ(frame().trace_window()->surface()->size(), QSize(1500, 450));
    ASSERT_NO_FATAL_FAILURE(click_surface_at({900, 300}));
    ASSERT_NO_FATAL_FAILURE(click_surface_at({1499, 449}, Qt::RightButton));
    ASSERT_NO_FATAL_FAILURE(wait_until_finished());
    ASSERT_NO_FATAL_FAILURE(end());
    ASSERT_EQ(seen_.events.size(), 3u);
    EXPECT_TRUE(events_equal(seen_.events[0], {left_button_down, 0, 250, 120}));
    EXPECT_TRUE(events_equal(seen_.events[1], {left_button_down, 0, 600, 200}));
    EXPECT_TRUE(events_equal(seen_.events[2], {right_button_down, 0, 999, 299}));
}

TEST_F(DesktopRuntimeTest, ALineDrawnAtAPixelIsWhereAClickGivesThatPixel) {
    start([this](Runtime& runtime) {
        runtime.open_trace_window();
        runtime.set_drawing_colour(rgb(0, 0, 240));
        runtime.move_to(600, 30);
        runtime.line_to(600, 269);
        runtime.set_cross_cursor();
        seen_.events.push_back(runtime.wait_mouse_event(left_button_down));
    });
    frame().set_zoom_percent(150);
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::click, Channel::trace));
    qt::TraceSurface* surface = frame().trace_window()->surface();
    ASSERT_EQ(surface->size(), QSize(1500, 450));
    const QImage picture = surface->grab().toImage();
    const int row = 225;
    int drawn = -1;
    for (int x = 880; x < 920 && drawn < 0; ++x)
        if (picture.pixelColor(x, row) != Qt::white) drawn = x;
    ASSERT_GE(drawn, 0) << "the line is not on the surface";
    EXPECT_EQ(qt::SurfaceMapping(surface->size()).drawing_pixel_at({drawn, row}).x(), 600);
    QTest::mouseClick(surface, Qt::LeftButton, {}, {drawn, row});
    ASSERT_NO_FATAL_FAILURE(wait_until_finished());
    ASSERT_NO_FATAL_FAILURE(end());
    ASSERT_EQ(seen_.events.size(), 1u);
    EXPECT_EQ(seen_.events[0].x_pixel, 600);
}

// Vertical lines in columns 0 to 9, 595 to 605 and 990 to 999, red in even
// columns and blue in odd ones.
void draw_parity_columns(Runtime& runtime) {
    for (int first : {0, 595, 990}) {
        for (int column = first; column < first + 10 + (first == 595); ++column) {
            runtime.set_drawing_colour(column % 2 == 0 ? rgb(255, 0, 0) : rgb(0, 0, 255));
            runtime.move_to(static_cast<std::int16_t>(column), 100);
            runtime.line_to(static_cast<std::int16_t>(column), 200);
        }
    }
}

TEST_F(DesktopRuntimeTest, EachPaintedWidgetColumnIsOneThatClicksGiveForItsDrawingPixel) {
    start([](Runtime& runtime) {
        runtime.open_trace_window();
        draw_parity_columns(runtime);
        runtime.read_line(Channel::trace);
    });
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::trace));
    for (int zoom : {100, 125, 150, 200}) {
        frame().set_zoom_percent(zoom);
        qt::TraceSurface* surface = frame().trace_window()->surface();
        const qt::SurfaceMapping mapping(surface->size());
        const QImage picture = surface->grab().toImage();
        const int row = mapping.widget_position_of({0, 150}).y();
        std::set<int> painted;
        for (int x = 0; x < picture.width(); ++x) {
            const QColor colour = picture.pixelColor(x, row);
            if (colour == Qt::white) continue;
            const int column = mapping.drawing_pixel_at({x, row}).x();
            painted.insert(column);
            EXPECT_EQ(colour, column % 2 == 0 ? QColor(255, 0, 0) : QColor(0, 0, 255))
                << "widget column " << x << " at zoom " << zoom << " gives column " << column;
        }
        EXPECT_EQ(painted.size(), 31u) << "zoom " << zoom;
    }
}

TEST_F(DesktopRuntimeTest, MouseWaitTakesOnlyEventsOfItsMaskAndShowsTheCrossHair) {
    start_click_program(1, right_button_down);
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::click, Channel::trace));
    qt::TraceSurface* surface = frame().trace_window()->surface();
    EXPECT_EQ(frame().input_status(), "Mouse input pending in Unit 12");
    EXPECT_EQ(surface->cursor().shape(), Qt::CrossCursor);
    // A left click is not in the mask: it is refused with a word in the status bar.
    QTest::mouseClick(surface, Qt::LeftButton, {}, {10, 10});
    EXPECT_TRUE(frame().statusBar()->currentMessage().startsWith("No click is awaited"));
    EXPECT_EQ(frame().input_status(), "Mouse input pending in Unit 12");
    QTest::mouseClick(surface, Qt::RightButton, {}, {20, 10});
    ASSERT_NO_FATAL_FAILURE(wait_until_finished());
    ASSERT_NO_FATAL_FAILURE(end());
    ASSERT_EQ(seen_.events.size(), 1u);
    EXPECT_EQ(seen_.events[0].code, right_button_down);
    EXPECT_EQ(seen_.events[0].x_pixel, 20);
    EXPECT_EQ(seen_.events[0].y_pixel, 10);
    EXPECT_EQ(seen_.events[0].key_state, qt::key_right_button);
}

TEST_F(DesktopRuntimeTest, EmptyMaskReturnsMinusOneAtOnce) {
    start([this](Runtime& runtime) {
        runtime.open_trace_window();
        seen_.events.push_back(runtime.wait_mouse_event(0));
    });
    ASSERT_NO_FATAL_FAILURE(wait_until_finished());
    ASSERT_NO_FATAL_FAILURE(end());
    ASSERT_EQ(seen_.events.size(), 1u);
    EXPECT_EQ(seen_.events[0].code, -1);
}

TEST_F(DesktopRuntimeTest, AnswersAreTakenOnlyInTheWindowThatWaits) {
    start([this](Runtime& runtime) {
        runtime.write_line(Channel::text, "Text question");
        seen_.answers.push_back(runtime.read_line(Channel::text));
        runtime.open_trace_window();
        runtime.write_line(Channel::trace, "Trace question");
        seen_.answers.push_back(runtime.read_line(Channel::trace));
    });
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::text));
    EXPECT_EQ(frame().input_status(), "Input pending in the text window");
    ASSERT_NO_FATAL_FAILURE(answer(Channel::text, "first answer"));
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::trace));
    EXPECT_EQ(frame().input_status(), "Input pending in Unit 12");
    EXPECT_EQ(frame().mdi_area()->activeSubWindow(), frame().trace_subwindow());
    // Enter in the text window while Unit 12 waits: nothing is sent, the text stays.
    QLineEdit* text_input = frame().text_window()->input();
    QTest::keyClicks(text_input, "misplaced");
    QTest::keyClick(text_input, Qt::Key_Return);
    EXPECT_EQ(text_input->text(), "misplaced");
    EXPECT_EQ(frame().statusBar()->currentMessage(),
              "No answer is awaited in the text window; the text is kept. The program waits "
              "for an answer in Unit 12.");
    // Japanese is typed through an input method, which commits the text to the line.
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::trace));
    QInputMethodEvent typed;
    typed.setCommitString(QString::fromUtf8("答え"));
    QApplication::sendEvent(frame().trace_window()->input(), &typed);
    QTest::keyClick(frame().trace_window()->input(), Qt::Key_Return);
    ASSERT_NO_FATAL_FAILURE(wait_until_finished());
    ASSERT_NO_FATAL_FAILURE(end());
    EXPECT_EQ(seen_.answers, (std::vector<std::string>{"first answer", "答え"}));
    EXPECT_EQ(frame().text_window()->text(), "Text question\nfirst answer");
}

TEST_F(DesktopRuntimeTest, PausedOutputHoldsTheProgramUntilResumed) {
    start([this](Runtime& runtime) {
        seen_.answers.push_back(runtime.read_line(Channel::text));
        runtime.write_line(Channel::text, "after the answer");
        seen_.answers.push_back(runtime.read_line(Channel::text));
    });
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::text));
    frame().set_output_paused(true);
    EXPECT_EQ(frame().output_status(), "Output paused");
    ASSERT_NO_FATAL_FAILURE(answer(Channel::text, "go"));
    // The program took the answer and now waits to write its next line.
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame().output_status() == "Output paused (held)"; },
                                wait_milliseconds));
    EXPECT_EQ(frame().text_window()->text(), "go");
    EXPECT_EQ(frame().input_status(), "");
    frame().set_output_paused(false);
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::text));
    EXPECT_EQ(frame().text_window()->text(), "go\nafter the answer");
    EXPECT_EQ(frame().output_status(), "");
}

TEST_F(DesktopRuntimeTest, RecordFileThatCannotBeWrittenIsNamedBeforeTheProgramStarts) {
    qt::DesktopOptions options;
    options.record_path = (root_ / "missing" / "session.script").string();
    options.version = "test";
    qt::DesktopSession session([](Runtime&) {}, options);
    std::string error;
    EXPECT_FALSE(session.start(error));
    EXPECT_EQ(error, "cannot write the record file " + options.record_path);
    EXPECT_FALSE(session.program_running());
}

// Whether a thread of this process is still there, from the kernel's list.
bool thread_exists(pid_t thread_id) {
    return std::filesystem::exists("/proc/self/task/" + std::to_string(thread_id));
}

TEST_F(DesktopRuntimeTest, ClosingTheFrameDuringAnAnswerWaitEndsTheProgramWithExitCodeZero) {
    write_recording(data_dir_ / "gui01.dat", 4);
    std::atomic<pid_t> logic_thread = 0;
    qt::Program analysis = qt::analysis_program(data_dir_.string());
    start([&](Runtime& runtime) {
        logic_thread = static_cast<pid_t>(::syscall(SYS_gettid));
        analysis(runtime);
    });
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::text));
    ASSERT_TRUE(thread_exists(logic_thread));
    EXPECT_TRUE(frame().close());
    EXPECT_FALSE(session_->program_running());
    EXPECT_EQ(session_->exit_code(), 0);
    EXPECT_NE(session_->end_message().find("the window was closed"), std::string::npos);
    EXPECT_FALSE(thread_exists(logic_thread)) << "the program's thread is still there";
}

TEST_F(DesktopRuntimeTest, ClosingTheFrameDuringAClickWaitEndsTheProgramWithExitCodeZero) {
    start_click_program(5);
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::click, Channel::trace));
    EXPECT_TRUE(frame().close());
    EXPECT_FALSE(session_->program_running());
    EXPECT_EQ(session_->exit_code(), 0);
    EXPECT_TRUE(seen_.events.empty());
}

TEST_F(DesktopRuntimeTest, ClosingTheFrameWhileOutputIsPausedEndsTheProgram) {
    start([](Runtime& runtime) {
        runtime.read_line(Channel::text);
        for (int i = 0; i < 10; ++i) runtime.write_line(Channel::text, "line");
        runtime.read_line(Channel::text);
    });
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::text));
    frame().set_output_paused(true);
    ASSERT_NO_FATAL_FAILURE(answer(Channel::text, "go"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame().output_status() == "Output paused (held)"; },
                                wait_milliseconds));
    EXPECT_TRUE(frame().close());
    EXPECT_FALSE(session_->program_running());
    EXPECT_EQ(session_->exit_code(), 0);
}

}  // namespace
}  // namespace mapari::desktop_tests
