#include "desktop/desktop_runtime.hpp"

#include "window/script.hpp"

namespace mapari::qt {
namespace {

// The script line that replays a mouse event; events a script cannot express
// (releases, double clicks, moves) are kept as comments.
std::string script_line_for_mouse(const MouseEvent& event) {
    ScriptEvent script;
    script.column = event.x_pixel;
    script.row = event.y_pixel;
    if (event.code == left_button_down) {
        script.kind = ScriptEvent::Kind::left_click;
    } else if (event.code == right_button_down) {
        script.kind = ScriptEvent::Kind::right_click;
    } else {
        return "@# mouse event " + std::to_string(event.code) + " at " +
               std::to_string(event.x_pixel) + "," + std::to_string(event.y_pixel);
    }
    return script_line_for(script);
}

}  // namespace

DesktopRuntime::DesktopRuntime(SharedWindows& windows, std::ostream* record)
    : windows_(windows), record_(record) {}

void DesktopRuntime::record(const std::string& script_line) {
    if (record_ == nullptr) return;
    // Flushed at once: the record of a session that ends abnormally is whole up to there.
    *record_ << script_line << '\n';
    record_->flush();
}

void DesktopRuntime::write_line(Channel channel, std::string_view line) {
    windows_.write_line(channel, line);
}

std::string DesktopRuntime::read_line(Channel channel) {
    std::string answer = windows_.await_answer(channel);
    ScriptEvent event;
    event.answer = answer;
    record(script_line_for(event));
    return answer;
}

void DesktopRuntime::open_trace_window() {
    windows_.update([](WindowModel& model) { model.open_trace_window(); });
}

void DesktopRuntime::close_trace_window() {
    windows_.update([](WindowModel& model) { model.close_trace_window(); });
}

void DesktopRuntime::clear_window() {
    windows_.update([](WindowModel& model) { model.clear_active_window(); });
}

void DesktopRuntime::set_drawing_colour(std::uint32_t rgb_value) {
    windows_.update([rgb_value](WindowModel& model) { model.set_drawing_colour(rgb_value); });
}

void DesktopRuntime::move_to(std::int16_t x_pixel, std::int16_t y_pixel) {
    windows_.update([=](WindowModel& model) { model.move_to(x_pixel, y_pixel); });
}

void DesktopRuntime::line_to(std::int16_t x_pixel, std::int16_t y_pixel) {
    windows_.update([=](WindowModel& model) { model.line_to(x_pixel, y_pixel); });
}

void DesktopRuntime::set_cross_cursor() {
    windows_.update([](WindowModel& model) { model.set_cross_cursor(); });
}

MouseEvent DesktopRuntime::wait_mouse_event(int event_mask) {
    if (event_mask == 0) return MouseEvent{};
    MouseEvent event = windows_.await_click(event_mask);
    record(script_line_for_mouse(event));
    return event;
}

void DesktopRuntime::stop() {
    if (record_ != nullptr) record_->flush();
}

}  // namespace mapari::qt
