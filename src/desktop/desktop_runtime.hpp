// The desktop runtime: the program's window operations on the shared windows
// that the frame shows. Every operation is called on the program's logic
// thread; reads and mouse waits block it until the operator acts in the frame.
#pragma once

#include <ostream>

#include "desktop/shared_windows.hpp"
#include "window/runtime.hpp"

namespace mapari::qt {

class DesktopRuntime : public Runtime {
  public:
    // record, when given, receives every answer and click taken, as a script
    // that the headless program replays.
    explicit DesktopRuntime(SharedWindows& windows, std::ostream* record = nullptr);

    void write_line(Channel channel, std::string_view line) override;
    std::string read_line(Channel channel) override;
    void open_trace_window() override;
    void close_trace_window() override;
    bool trace_window_open() const override { return windows_.trace_window_open(); }
    void clear_window() override;
    void set_drawing_colour(std::uint32_t rgb_value) override;
    void move_to(std::int16_t x_pixel, std::int16_t y_pixel) override;
    void line_to(std::int16_t x_pixel, std::int16_t y_pixel) override;
    void set_cross_cursor() override;
    MouseEvent wait_mouse_event(int event_mask) override;
    void stop() override;

  private:
    void record(const std::string& script_line);

    SharedWindows& windows_;
    std::ostream* record_;
};

}  // namespace mapari::qt
