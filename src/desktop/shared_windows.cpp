#include "desktop/shared_windows.hpp"

namespace mapari::qt {

SharedWindows::SharedWindows(std::string default_file_directory)
    : model_(std::move(default_file_directory)) {}

void SharedWindows::changed() {
    ++revision_;
    if (on_change_) on_change_();
}

void SharedWindows::hold_while_paused(std::unique_lock<std::mutex>& lock) {
    if (!paused_ || ended_) return;
    held_ = true;
    changed();
    wake_.wait(lock, [this] { return !paused_ || ended_; });
    held_ = false;
}

void SharedWindows::write_line(Channel channel, std::string_view line) {
    std::unique_lock lock(mutex_);
    hold_while_paused(lock);
    // A line that went to the trace channel's default file gives no window the focus.
    if (model_.write_line(channel, line)) {
        focus_ = channel;
        ++focus_serial_;
    }
    changed();
}

void SharedWindows::update(const std::function<void(WindowModel&)>& change) {
    std::lock_guard lock(mutex_);
    const std::size_t text_lines = model_.text_window().lines.size();
    const bool trace_was_open = model_.trace_window_open();
    change(model_);
    if (model_.text_window().lines.size() < text_lines) ++text_clears_;
    // A window that opens takes the focus; when it closes the text window has it again.
    if (model_.trace_window_open() != trace_was_open) {
        focus_ = model_.active_window();
        ++focus_serial_;
    }
    changed();
}

bool SharedWindows::trace_window_open() const {
    std::lock_guard lock(mutex_);
    return model_.trace_window_open();
}

void SharedWindows::begin_wait(Awaited kind, Channel channel, int event_mask) {
    pending_ = PendingInput{kind, channel, event_mask, ++wait_count_};
    if (kind == Awaited::answer) {
        focus_ = channel;
        ++focus_serial_;
    }
    changed();
}

void SharedWindows::end_wait(const char* awaited, Channel channel) {
    std::string prompt = model_.pending_prompt(channel);
    pending_ = PendingInput{};
    changed();
    throw SessionEnded("the window was closed while the program waited for " +
                           std::string(awaited) + " after \"" + prompt + "\"",
                       0);
}

std::string SharedWindows::await_answer(Channel channel) {
    std::unique_lock lock(mutex_);
    if (ended_) end_wait("an answer", channel);
    begin_wait(Awaited::answer, channel, 0);
    wake_.wait(lock, [this] { return answer_.has_value() || ended_; });
    if (!answer_) end_wait("an answer", channel);
    std::string answer = std::move(*answer_);
    answer_.reset();
    // The answer stays on its window as typed, in the same change as the hand-over.
    model_.echo_answer(channel, answer);
    changed();
    return answer;
}

MouseEvent SharedWindows::await_click(int event_mask) {
    std::unique_lock lock(mutex_);
    const Channel active = model_.active_window();
    if (ended_) end_wait("a click", active);
    begin_wait(Awaited::click, active, event_mask);
    wake_.wait(lock, [this] { return click_.has_value() || ended_; });
    if (!click_) end_wait("a click", active);
    MouseEvent event = *click_;
    click_.reset();
    changed();
    return event;
}

void SharedWindows::finish(int exit_code, std::string message) {
    std::lock_guard lock(mutex_);
    finished_ = true;
    exit_code_ = exit_code;
    end_message_ = std::move(message);
    pending_ = PendingInput{};
    changed();
}

bool SharedWindows::offer_answer(Channel channel, const std::string& answer) {
    std::lock_guard lock(mutex_);
    if (ended_ || pending_.kind != Awaited::answer || pending_.channel != channel) return false;
    answer_ = answer;
    pending_ = PendingInput{};
    wake_.notify_all();
    changed();
    return true;
}

bool SharedWindows::offer_mouse_event(Channel channel, const MouseEvent& event) {
    std::lock_guard lock(mutex_);
    if (ended_ || pending_.kind != Awaited::click || pending_.channel != channel ||
        (pending_.event_mask & event.code) == 0)
        return false;
    click_ = event;
    pending_ = PendingInput{};
    wake_.notify_all();
    changed();
    return true;
}

void SharedWindows::end_session() {
    std::lock_guard lock(mutex_);
    ended_ = true;
    wake_.notify_all();
}

void SharedWindows::set_output_paused(bool paused) {
    std::lock_guard lock(mutex_);
    paused_ = paused;
    wake_.notify_all();
    changed();
}

WindowsSnapshot SharedWindows::snapshot(std::size_t text_lines_shown,
                                        std::uint64_t text_clears_shown) const {
    std::lock_guard lock(mutex_);
    WindowsSnapshot view;
    view.revision = revision_;
    view.text_clears = text_clears_;
    const std::vector<std::string>& lines = model_.text_window().lines;
    view.first_text_line =
        text_clears_ == text_clears_shown ? std::min(text_lines_shown, lines.size()) : 0;
    view.text_lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(view.first_text_line),
                           lines.end());
    view.text_cross_cursor = model_.text_window().cross_cursor;
    view.trace_open = model_.trace_window_open();
    if (view.trace_open) view.trace = model_.trace_window();
    view.focus = focus_;
    view.focus_serial = focus_serial_;
    view.pending = pending_;
    view.output_paused = paused_;
    view.output_held = held_;
    view.finished = finished_;
    view.exit_code = exit_code_;
    view.end_message = end_message_;
    return view;
}

}  // namespace mapari::qt
