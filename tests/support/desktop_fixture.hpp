// Helpers of the desktop tests: a temporary data folder with a synthetic
// recording, and a desktop session driven through its real widgets with
// simulated key presses and mouse clicks.
#pragma once

#include <gtest/gtest.h>

#include <QPoint>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "desktop/desktop_program.hpp"
#include "temporary_folder.hpp"

namespace mapari::test_support {

inline constexpr int wait_milliseconds = 20000;

// Writes a synthetic paced recording of `seconds` seconds (4 or 32).
void write_recording(const std::filesystem::path& file, int seconds);

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts a session of the program with the frame shown.
    void start(qt::Program program, qt::DesktopOptions options = {});
    // The analysis program on data_dir_, its default file in work_dir_.
    void start_analysis(const std::string& record_path = "", const std::string& script = "");
    qt::FrameWindow& frame() { return session_->frame(); }

    // Waits until the program waits for a new answer in the window, then
    // types it into the window's input line and presses Enter.
    void answer(Channel channel, const QString& text);
    // Waits until the program waits for a new click in the trace window, then
    // clicks its surface at the widget position.
    void click_surface_at(QPoint widget_position, Qt::MouseButton button = Qt::LeftButton);
    // The same at the widget position of a drawing pixel.
    void click_drawing_pixel(int column, int row = 150);
    // Waits until the program waits for input it has not been given yet (a
    // wait newer than the last one answered or clicked by these helpers).
    void wait_for_new_input(qt::Awaited kind, Channel channel);
    void wait_until_finished();

    TemporaryFolder folder_;
    std::filesystem::path root_, data_dir_, work_dir_;
    std::unique_ptr<qt::DesktopSession> session_;
    std::uint64_t answered_serial_ = 0;
};

}  // namespace mapari::test_support
