// Whole sessions in the desktop program: typed answers and clicks on the real
// widgets give the same result files as the same session run headless from
// the script the desktop program recorded.
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTest>
#include <fstream>
#include <sstream>

#include "app/session.hpp"
#include "support/desktop_fixture.hpp"
#include "window/script.hpp"

namespace mapari::desktop_tests {

using namespace test_support;
namespace {

using Lines = std::vector<std::string>;

Lines lines_of(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Runs a script headless on its own copy of the recording.
int run_headless(const std::filesystem::path& folder, const std::string& script,
                 const std::filesystem::path& recording, std::string& transcript) {
    std::filesystem::create_directories(folder / "data");
    std::filesystem::create_directories(folder / "work");
    std::filesystem::copy_file(recording, folder / "data" / recording.filename());
    std::istringstream in(script);
    std::ostringstream out, errors;
    int code = run_headless_session(
        in, out, errors,
        SessionFiles{(folder / "data").string(), (folder / "work").string(), "", {}});
    transcript = out.str();
    return code;
}

class DesktopSessionTest : public DesktopTest {
  protected:
    // Settings accepted, recording gui01 at second 0.
    void answer_settings_and_name() {
        for (const char* answer : {"1", "1", "1", "1", "gui", "01", "0"})
            ASSERT_NO_FATAL_FAILURE(answer_text(answer));
    }
    void answer_text(const char* text) { answer(Channel::text, QString::fromUtf8(text)); }
    void answer_trace(const char* text) { answer(Channel::trace, QString::fromUtf8(text)); }

    // Compares a result file of the desktop session with the headless one's.
    void expect_same_file(const std::filesystem::path& headless_folder, const std::string& name) {
        std::string desktop = read_bytes(data_dir_ / name);
        EXPECT_NE(desktop, "<missing>") << name << " was not written";
        EXPECT_EQ(desktop, read_bytes(headless_folder / "data" / name)) << name;
    }
};

// The recorded script of the session below, as the desktop program writes it.
const Lines expected_record = {
    "1",
    "1",
    "1",
    "1",
    "gui",
    "01",
    "0",
    "s",
    "@click 173 150",
    "y",  // selection
    "x",
    "b",  // averaging
    "s",
    "@click 86 150",
    "@click 90 150",
    "@click 147 150",
    "@click 362 150",
    "y",  // marks
    "z",
    "@click 80 150",
    "y",  // one-point correction
    "d",
    "gui1",
    "y",  // save
    "x",
    "x",
    "0",
    "0",
};

TEST_F(DesktopSessionTest, TypedAndClickedSessionWritesTheSameFilesAsItsRecordedScriptHeadless) {
    write_recording(data_dir_ / "gui01.dat", 4);
    const std::filesystem::path record = root_ / "session.script";
    start_analysis(record.string());
    frame().set_zoom_percent(150);
    ASSERT_NO_FATAL_FAILURE(answer_settings_and_name());
    ASSERT_NO_FATAL_FAILURE(answer_trace("s"));
    ASSERT_NO_FATAL_FAILURE(click_drawing_pixel(173));
    ASSERT_EQ(frame().trace_window()->surface()->size(), QSize(1500, 450));
    for (const char* answer : {"y", "x", "b", "s"}) ASSERT_NO_FATAL_FAILURE(answer_trace(answer));
    for (int column : {86, 90, 147, 362}) ASSERT_NO_FATAL_FAILURE(click_drawing_pixel(column));
    ASSERT_NO_FATAL_FAILURE(answer_trace("y"));
    ASSERT_NO_FATAL_FAILURE(answer_trace("z"));
    ASSERT_NO_FATAL_FAILURE(click_drawing_pixel(80));
    for (const char* answer : {"y", "d", "gui1", "y", "x", "x"})
        ASSERT_NO_FATAL_FAILURE(answer_trace(answer));
    ASSERT_NO_FATAL_FAILURE(answer_text("0"));
    ASSERT_NO_FATAL_FAILURE(answer_text("0"));
    ASSERT_NO_FATAL_FAILURE(wait_until_finished());
    EXPECT_EQ(session_->exit_code(), 0);
    EXPECT_EQ(lines_of(read_bytes(record)), expected_record);

    std::string transcript;
    const std::filesystem::path headless = root_ / "headless";
    ASSERT_EQ(run_headless(headless, read_bytes(record), data_dir_ / "gui01.dat", transcript), 0)
        << transcript;
    EXPECT_NE(transcript.find("number of averaging:"), std::string::npos);
    expect_same_file(headless, "gui1.ds");
    expect_same_file(headless, "gui1.se");
    if (std::filesystem::exists(headless / "data" / "gui1.ari"))
        expect_same_file(headless, "gui1.ari");
    EXPECT_EQ(read_bytes(work_dir_ / "fort.12"), read_bytes(headless / "work" / "fort.12"));
}

TEST_F(DesktopSessionTest, EndQuestionsShowInTheTextWindowAfterTheTraceWindowCloses) {
    write_recording(data_dir_ / "gui01.dat", 4);
    start_analysis();
    ASSERT_NO_FATAL_FAILURE(answer_settings_and_name());
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::trace));
    ASSERT_NE(frame().trace_window(), nullptr);
    EXPECT_EQ(frame().trace_subwindow()->windowTitle(), "Unit 12");
    EXPECT_EQ(frame().mdi_area()->activeSubWindow(), frame().trace_subwindow());
    ASSERT_NO_FATAL_FAILURE(answer_trace("x"));
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::text));
    EXPECT_EQ(frame().trace_window(), nullptr);
    ASSERT_NE(frame().mdi_area()->activeSubWindow(), nullptr);
    EXPECT_EQ(frame().mdi_area()->activeSubWindow()->widget(), frame().text_window());
    EXPECT_EQ(frame().input_status(), "Input pending in the text window");
    EXPECT_TRUE(
        frame().text_window()->text().endsWith("この続きのデータを処理しますか？　(1/0)  :"))
        << frame().text_window()->text().toStdString();
}

TEST_F(DesktopSessionTest, DemoScriptPlaysInTheWindowAsIfTypedAndClicked) {
    // The demo's recording: the default synthetic model, 32 seconds, named demo01.
    write_recording(data_dir_ / "demo01.dat", 32);
    const std::string script = read_bytes(MAPARI_DEMO_SCRIPT_PATH);
    ASSERT_NE(script, "<missing>");
    const std::filesystem::path record = root_ / "played.script";
    start_analysis(record.string(), script);
    ASSERT_NO_FATAL_FAILURE(wait_until_finished());
    EXPECT_EQ(session_->exit_code(), 0);
    // Every event went through the windows as an operator's would, so the record holds them all.
    std::string transcript;
    const std::filesystem::path headless = root_ / "headless";
    ASSERT_EQ(run_headless(headless, script, data_dir_ / "demo01.dat", transcript), 0);
    Lines events;
    for (const std::string& line : lines_of(script)) {
        std::string error;
        std::optional<ScriptEvent> event = parse_script_line(line, error);
        ASSERT_TRUE(event) << error;
        if (event->kind != ScriptEvent::Kind::comment) events.push_back(script_line_for(*event));
    }
    EXPECT_EQ(lines_of(read_bytes(record)), events);
    EXPECT_EQ(read_bytes(work_dir_ / "fort.12"), read_bytes(headless / "work" / "fort.12"));
}

TEST_F(DesktopSessionTest, ScriptThatDoesNotFitLeavesTheOperatorInControl) {
    write_recording(data_dir_ / "gui01.dat", 4);
    start_analysis("", "1\n@click 5\n");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frame().statusBar()->currentMessage().startsWith("Script line 2"); },
        wait_milliseconds));
    // The first answer was played; the operator answers the second question by hand.
    ASSERT_NO_FATAL_FAILURE(answer_text("1"));
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::text));
    EXPECT_TRUE(frame().text_window()->text().contains("ari ファイルを同時作成しますか"));
}

}  // namespace
}  // namespace mapari::desktop_tests
