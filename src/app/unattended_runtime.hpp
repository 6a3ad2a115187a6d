// A runtime for a session without an operator: each answer and click is
// decided when the program waits for it, and handed to the headless runtime
// as the next line of its script. The transcript, fort.12 and the record of
// the session are therefore those of a scripted session, and the record
// replays it exactly.
#pragma once

#include <deque>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>

#include "window/headless_runtime.hpp"

namespace mapari {

// One script line (an answer, or "@click COLUMN"), decided when it is due. A
// decision that finds the session cannot go on throws SessionEnded.
using Decision = std::function<std::string()>;

class UnattendedRuntime final : public Runtime {
  public:
    UnattendedRuntime(std::ostream& transcript, std::ostream& record,
                      const std::string& default_file_directory, std::deque<Decision> decisions);

    void write_line(Channel channel, std::string_view line) override {
        inner_.write_line(channel, line);
    }
    std::string read_line(Channel channel) override;
    void open_trace_window() override { inner_.open_trace_window(); }
    void close_trace_window() override { inner_.close_trace_window(); }
    bool trace_window_open() const override { return inner_.trace_window_open(); }
    void clear_window() override { inner_.clear_window(); }
    void set_drawing_colour(std::uint32_t rgb_value) override {
        inner_.set_drawing_colour(rgb_value);
    }
    void move_to(std::int16_t x_pixel, std::int16_t y_pixel) override {
        inner_.move_to(x_pixel, y_pixel);
    }
    void line_to(std::int16_t x_pixel, std::int16_t y_pixel) override {
        inner_.line_to(x_pixel, y_pixel);
    }
    void set_cross_cursor() override { inner_.set_cross_cursor(); }
    MouseEvent wait_mouse_event(int event_mask) override;
    void stop() override { inner_.stop(); }

  private:
    // Puts the next decision's line into the script; with none left the
    // script ends, and the headless runtime says what the program waited for.
    void decide_next();

    std::stringstream script_;
    HeadlessRuntime inner_;
    std::deque<Decision> decisions_;
};

}  // namespace mapari
