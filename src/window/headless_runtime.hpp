// The headless runtime: answers and clicks come from a script, the session
// goes to a transcript exactly as an operator would read it, and the windows'
// content is kept in a window model that tests and pictures read.
//
// Transcript lines: text window lines as they stand; trace window lines as
// "Unit 12| line"; answers as "> answer" ("Unit 12> answer" when read in the
// trace window); clicks as "> click COL,ROW left" (or "right").
#pragma once

#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "formats/exit_codes.hpp"
#include "window/runtime.hpp"
#include "window/script.hpp"
#include "window/window_model.hpp"

namespace mapari {

class HeadlessRuntime : public Runtime {
  public:
    // record, when given, receives every answer and click taken, as a script.
    HeadlessRuntime(std::istream& script, std::ostream& transcript, std::ostream* record = nullptr,
                    std::string default_file_directory = ".");

    // Called each time the program waits for input in the trace window.
    void on_trace_wait(std::function<void(const WindowModel&)> callback) {
        on_trace_wait_ = std::move(callback);
    }
    // Asked for the next script line each time the script runs dry, so a
    // session's answers and clicks can be decided when they are due; with no
    // line given, the script has ended.
    using NextLine = std::function<std::optional<std::string>()>;
    void when_script_runs_dry(NextLine next_line) { next_line_ = std::move(next_line); }
    const WindowModel& windows() const { return windows_; }
    // Lines drawn are dropped rather than kept in the window model: for a
    // session whose windows nobody looks at, which draws thousands of them.
    void keep_no_drawing() { drawing_kept_ = false; }

    void write_line(Channel channel, std::string_view line) override;
    std::string read_line(Channel channel) override;
    void open_trace_window() override { windows_.open_trace_window(); }
    void close_trace_window() override { windows_.close_trace_window(); }
    bool trace_window_open() const override { return windows_.trace_window_open(); }
    void clear_window() override { windows_.clear_active_window(); }
    void set_drawing_colour(std::uint32_t rgb_value) override {
        windows_.set_drawing_colour(rgb_value);
    }
    void move_to(std::int16_t x_pixel, std::int16_t y_pixel) override {
        windows_.move_to(x_pixel, y_pixel);
    }
    void line_to(std::int16_t x_pixel, std::int16_t y_pixel) override {
        if (drawing_kept_) windows_.line_to(x_pixel, y_pixel);
    }
    void set_cross_cursor() override { windows_.set_cross_cursor(); }
    MouseEvent wait_mouse_event(int event_mask) override;
    void stop() override;

  private:
    // The next line of the script, or of the hook once the script has run dry.
    bool next_script_line(std::string& line);
    // The next answer or click of the script; comments are passed over.
    ScriptEvent next_event(Channel waiting_in, const char* awaited);
    void notify_wait(Channel channel);
    [[noreturn]] void fail(int exit_code, const std::string& message);

    std::istream& script_;
    std::ostream& transcript_;
    std::ostream* record_;
    WindowModel windows_;
    bool drawing_kept_ = true;
    int script_line_number_ = 0;
    std::function<void(const WindowModel&)> on_trace_wait_;
    NextLine next_line_;
};

}  // namespace mapari
