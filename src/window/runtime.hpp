// The window runtime: the only operations the program uses to talk and draw.
// A frame holds the text window (present from the start) and the trace window
// (channel 12, opened and closed by the program). Drawing, clearing, the
// cursor and the mouse wait act on the active window: the trace window while
// it is open, the text window otherwise.
//
// Two implementations stand behind this interface: the headless runtime
// (script in, transcript and pictures out) and the desktop runtime (Qt).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mapari {

enum class Channel {
    text,   // the standard output channel: the text window
    trace,  // channel 12: the trace window while open, its default file otherwise
};

inline constexpr int trace_unit_number = 12;

// Mouse event codes, one bit each; a wait mask is their sum.
enum MouseEventCode : int {
    left_button_down = 1,
    left_button_up = 2,
    left_double_click = 4,
    right_button_down = 8,
    right_button_up = 16,
    right_double_click = 32,
    pointer_moved = 64,
};

struct MouseEvent {
    int code = -1;  // one of MouseEventCode; -1 when the wait could not be served
    int key_state = 0;
    int x_pixel = 0;  // drawing pixels from the top left corner
    int y_pixel = 0;
};

// Colours are RGB values with red in the low byte and blue in the third byte.
constexpr std::uint32_t rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | (green << 8) | (blue << 16);
}

// Thrown by a runtime when no further input will come (the script ended or
// was wrong, or the operator closed the frame). It unwinds the program to
// main, which ends with the exit code; nothing is half-written because result
// files are complete before the next read.
class SessionEnded : public std::runtime_error {
  public:
    SessionEnded(const std::string& message, int exit_code)
        : std::runtime_error(message), exit_code_(exit_code) {}
    int exit_code() const { return exit_code_; }

  private:
    int exit_code_;
};

class Runtime {
  public:
    virtual ~Runtime() = default;

    // Writes one line to the channel's window, or to the trace channel's
    // default file "fort.12" while the trace window is not open.
    virtual void write_line(Channel channel, std::string_view line) = 0;
    // Blocks until the operator ends an answer line in the channel's window.
    virtual std::string read_line(Channel channel) = 0;

    // Opens the trace window "Unit 12" (closing the default file first).
    virtual void open_trace_window() = 0;
    virtual void close_trace_window() = 0;
    virtual bool trace_window_open() const = 0;

    // Fills the active window with its background; its text and drawing go.
    virtual void clear_window() = 0;
    virtual void set_drawing_colour(std::uint32_t rgb_value) = 0;
    virtual void move_to(std::int16_t x_pixel, std::int16_t y_pixel) = 0;
    // A solid line, end pixel included, from the current position.
    virtual void line_to(std::int16_t x_pixel, std::int16_t y_pixel) = 0;
    virtual void set_cross_cursor() = 0;
    // Blocks until one event of the mask happens in the active window; an
    // empty mask returns code -1 at once.
    virtual MouseEvent wait_mouse_event(int event_mask) = 0;
    // The program has stopped: pending output is flushed, windows may go.
    virtual void stop() = 0;
};

}  // namespace mapari
