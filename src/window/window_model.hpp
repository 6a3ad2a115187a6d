// What the windows of the frame hold, kept apart from how they are shown: the
// lines of the text window, the lines and drawing of the trace window, the
// drawing state, and the trace channel's default file. Both runtimes keep one
// and show it (the headless runtime as a transcript and pictures, the desktop
// runtime in its widgets), so drawing and pictures come from one place.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "window/drawing_pixels.hpp"
#include "window/runtime.hpp"

namespace mapari {

struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};

// One stroke of the drawing: a move to the first point, then lines to the rest.
struct Polyline {
    std::uint32_t colour = 0;
    std::vector<PixelPoint> points;
};

struct WindowContent {
    std::vector<std::string> lines;
    std::vector<Polyline> drawing;
    bool cross_cursor = false;
};

class WindowModel {
  public:
    explicit WindowModel(std::string default_file_directory = ".");

    // Returns false when the line went to the trace channel's default file.
    bool write_line(Channel channel, std::string_view line);
    // An answer typed in a window stays on it, as the operator typed it.
    void echo_answer(Channel channel, std::string_view answer);
    void open_trace_window();
    void close_trace_window();
    bool trace_window_open() const { return trace_open_; }
    // The window that drawing, clearing and the mouse wait act on.
    Channel active_window() const { return trace_open_ ? Channel::trace : Channel::text; }
    void clear_active_window();
    void set_drawing_colour(std::uint32_t rgb_value) { colour_ = rgb_value & 0xFFFFFFu; }
    void move_to(int x_pixel, int y_pixel);
    void line_to(int x_pixel, int y_pixel);
    void set_cross_cursor() { active().cross_cursor = true; }

    const WindowContent& text_window() const { return text_; }
    const WindowContent& trace_window() const { return trace_; }
    // The last line written to a window: the question an answer is awaited for.
    const std::string& pending_prompt(Channel channel) const;

  private:
    WindowContent& active() { return trace_open_ ? trace_ : text_; }

    std::string default_file_directory_;
    WindowContent text_;
    WindowContent trace_;
    bool trace_open_ = false;
    std::ofstream default_file_;
    std::uint32_t colour_ = 0;
    PixelPoint position_;
    bool stroke_open_ = false;  // the last drawing call continued the current polyline
    std::string last_text_line_, last_trace_line_;
};

}  // namespace mapari
