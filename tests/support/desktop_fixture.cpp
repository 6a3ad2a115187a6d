#include "desktop_fixture.hpp"

#include <QSettings>
#include <QTest>
#include <fstream>

#include "desktop/surface_mapping.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari::test_support {

void write_recording(const std::filesystem::path& file, int seconds) {
    synth::SynthSettings settings;
    settings.seconds = seconds;
    std::string bytes = encode_frames(synth::render_samples(synth::make_model(settings)));
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << file;
}

void DesktopTest::SetUp() {
    root_ = folder_.path();
    data_dir_ = folder_.folder("data");
    work_dir_ = folder_.folder("work");
    // Each test starts from the program's defaults, not from what an earlier one remembered.
    QSettings().clear();
}

void DesktopTest::TearDown() {
    session_.reset();
}

void DesktopTest::start(qt::Program program, qt::DesktopOptions options) {
    options.version = "test";
    session_ = std::make_unique<qt::DesktopSession>(std::move(program), options);
    std::string error;
    ASSERT_TRUE(session_->start(error)) << error;
}

void DesktopTest::start_analysis(const std::string& record_path, const std::string& script) {
    qt::DesktopOptions options;
    options.data_directory = data_dir_.string();
    options.default_file_directory = work_dir_.string();
    options.record_path = record_path;
    options.script = script;
    start(qt::analysis_program(options.data_directory), options);
}

void DesktopTest::wait_for_new_input(qt::Awaited kind, Channel channel) {
    auto awaited = [&] {
        const qt::PendingInput& pending = frame().pending_input();
        return pending.kind == kind && pending.channel == channel &&
               pending.serial > answered_serial_;
    };
    ASSERT_TRUE(QTest::qWaitFor(awaited, wait_milliseconds))
        << "the program does not wait for "
        << (kind == qt::Awaited::answer ? "an answer" : "a click") << " in "
        << qt::window_name(channel).toStdString() << "; the status bar says \""
        << frame().input_status().toStdString() << "\"";
}

void DesktopTest::answer(Channel channel, const QString& text) {
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, channel));
    answered_serial_ = frame().pending_input().serial;
    QLineEdit* input = channel == Channel::trace ? frame().trace_window()->input()
                                                 : frame().text_window()->input();
    QTest::keyClicks(input, text);
    QTest::keyClick(input, Qt::Key_Return);
    ASSERT_TRUE(input->text().isEmpty())
        << "the answer \"" << text.toStdString() << "\" was not taken";
}

void DesktopTest::click_surface_at(QPoint widget_position, Qt::MouseButton button) {
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::click, Channel::trace));
    answered_serial_ = frame().pending_input().serial;
    QTest::mouseClick(frame().trace_window()->surface(), button, {}, widget_position);
}

void DesktopTest::click_drawing_pixel(int column, int row) {
    ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::click, Channel::trace));
    answered_serial_ = frame().pending_input().serial;
    qt::TraceSurface* surface = frame().trace_window()->surface();
    QPoint position = qt::SurfaceMapping(surface->size()).widget_position_of({column, row});
    QTest::mouseClick(surface, Qt::LeftButton, {}, position);
}

void DesktopTest::wait_until_finished() {
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frame().input_status().startsWith("The program has ended"); },
                        wait_milliseconds))
        << "the status bar says \"" << frame().input_status().toStdString() << "\"";
}

}  // namespace mapari::test_support
