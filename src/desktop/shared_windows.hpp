// What the program's logic thread and the GUI thread share in the desktop
// program: the window model, the input the program waits for, and the answer
// or click that ends the wait. One mutex guards all of it.
//
// The logic thread changes the model and blocks in its waits; the GUI thread
// is told of each change through a callback, takes copies of what it shows
// (snapshots), and hands over answers and clicks. The GUI thread never waits
// for the logic thread, so the windows stay alive and repaint while the
// program waits or computes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window/runtime.hpp"
#include "window/window_model.hpp"

namespace mapari::qt {

enum class Awaited { nothing, answer, click };

struct PendingInput {
    Awaited kind = Awaited::nothing;
    Channel channel = Channel::text;
    int event_mask = 0;        // for clicks
    std::uint64_t serial = 0;  // counts the waits, so that each one is told apart
};

// A copy of the shared state for the GUI thread.
struct WindowsSnapshot {
    std::uint64_t revision = 0;  // grows with every change
    std::uint64_t text_clears = 0;
    std::size_t first_text_line = 0;  // index of text_lines[0] in the text window
    std::vector<std::string> text_lines;
    bool text_cross_cursor = false;
    bool trace_open = false;
    WindowContent trace;
    Channel focus = Channel::text;  // the window of the last read or write
    std::uint64_t focus_serial = 0;
    PendingInput pending;
    bool output_paused = false;
    bool output_held = false;  // the program waits at a write until output resumes
    bool finished = false;
    int exit_code = 0;
    std::string end_message;
};

class SharedWindows {
  public:
    explicit SharedWindows(std::string default_file_directory);

    // Set before the program starts; called on the logic thread after each change.
    void on_change(std::function<void()> callback) { on_change_ = std::move(callback); }

    // ---- logic thread
    // Writes a line, first waiting while output is paused.
    void write_line(Channel channel, std::string_view line);
    // Any other change of the model (open, close, clear, drawing, cursor).
    void update(const std::function<void(WindowModel&)>& change);
    bool trace_window_open() const;
    // Block until the operator hands over an answer in the channel's window,
    // or a click of the mask in the active window. The answer is echoed on its
    // window. Throw SessionEnded (exit code 0) when the frame is closed.
    std::string await_answer(Channel channel);
    MouseEvent await_click(int event_mask);
    // The program has ended, normally or not.
    void finish(int exit_code, std::string message);

    // ---- GUI thread
    // Each returns false, and changes nothing, when no such input is awaited.
    bool offer_answer(Channel channel, const std::string& answer);
    bool offer_mouse_event(Channel channel, const MouseEvent& event);
    // Ends every present and future wait of the program.
    void end_session();
    void set_output_paused(bool paused);
    // The state, with the text window's lines from `text_lines_shown` on when
    // the text window was not cleared since `text_clears_shown`, else all of them.
    WindowsSnapshot snapshot(std::size_t text_lines_shown, std::uint64_t text_clears_shown) const;

  private:
    void changed();  // with the mutex held
    void hold_while_paused(std::unique_lock<std::mutex>& lock);
    [[noreturn]] void end_wait(const char* awaited, Channel channel);
    void begin_wait(Awaited kind, Channel channel, int event_mask);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> on_change_;
    WindowModel model_;
    std::uint64_t revision_ = 0;
    std::uint64_t text_clears_ = 0;
    Channel focus_ = Channel::text;
    std::uint64_t focus_serial_ = 0;
    PendingInput pending_;
    std::uint64_t wait_count_ = 0;
    std::optional<std::string> answer_;
    std::optional<MouseEvent> click_;
    bool paused_ = false;
    bool held_ = false;
    bool ended_ = false;
    bool finished_ = false;
    int exit_code_ = 0;
    std::string end_message_;
};

}  // namespace mapari::qt
