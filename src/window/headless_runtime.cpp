#include "window/headless_runtime.hpp"

#include <string>

namespace mapari {
namespace {

std::string unit_label() {
    return "Unit " + std::to_string(trace_unit_number);
}

}  // namespace

HeadlessRuntime::HeadlessRuntime(std::istream& script, std::ostream& transcript,
                                 std::ostream* record, std::string default_file_directory)
    : script_(script),
      transcript_(transcript),
      record_(record),
      windows_(std::move(default_file_directory)) {}

void HeadlessRuntime::write_line(Channel channel, std::string_view line) {
    if (!windows_.write_line(channel, line)) return;
    if (channel == Channel::trace) transcript_ << unit_label() << "| ";
    transcript_ << line << '\n';
}

void HeadlessRuntime::fail(int exit_code, const std::string& message) {
    transcript_.flush();
    if (record_ != nullptr) record_->flush();
    throw SessionEnded(message, exit_code);
}

void HeadlessRuntime::notify_wait(Channel channel) {
    if (channel == Channel::trace && on_trace_wait_) on_trace_wait_(windows_);
}

bool HeadlessRuntime::next_script_line(std::string& line) {
    if (std::getline(script_, line)) return true;
    if (!next_line_) return false;
    std::optional<std::string> decided = next_line_();
    if (!decided) return false;
    line = std::move(*decided);
    return true;
}

ScriptEvent HeadlessRuntime::next_event(Channel waiting_in, const char* awaited) {
    notify_wait(waiting_in);
    std::string line;
    while (next_script_line(line)) {
        ++script_line_number_;
        // Some editors open a UTF-8 file with a byte-order mark; it is no part of an answer.
        if (script_line_number_ == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
        std::string error;
        std::optional<ScriptEvent> event = parse_script_line(line, error);
        if (!event) {
            fail(exit_usage, "script line " + std::to_string(script_line_number_) + ": " + error);
        }
        if (event->kind != ScriptEvent::Kind::comment) return *event;
    }
    fail(exit_script_ended, "the script ended while the program waited for " +
                                std::string(awaited) + " to \"" +
                                windows_.pending_prompt(waiting_in) + "\"");
}

std::string HeadlessRuntime::read_line(Channel channel) {
    ScriptEvent event = next_event(channel, "an answer");
    if (event.kind != ScriptEvent::Kind::answer) {
        fail(exit_usage, "script line " + std::to_string(script_line_number_) +
                             ": a click, but the program waits for an answer to \"" +
                             windows_.pending_prompt(channel) + "\"");
    }
    windows_.echo_answer(channel, event.answer);
    if (channel == Channel::trace) transcript_ << unit_label();
    transcript_ << "> " << event.answer << '\n';
    if (record_ != nullptr) *record_ << script_line_for(event) << '\n';
    return event.answer;
}

MouseEvent HeadlessRuntime::wait_mouse_event(int event_mask) {
    if (event_mask == 0) return MouseEvent{};
    Channel active = windows_.active_window();
    ScriptEvent event = next_event(active, "a click");
    int code = event.kind == ScriptEvent::Kind::left_click    ? left_button_down
               : event.kind == ScriptEvent::Kind::right_click ? right_button_down
                                                              : 0;
    if (code == 0 || (event_mask & code) == 0) {
        fail(exit_usage, "script line " + std::to_string(script_line_number_) + ": " +
                             (code == 0 ? "an answer" : "a click of a button") +
                             ", but the program waits for a click after \"" +
                             windows_.pending_prompt(active) + "\"");
    }
    transcript_ << "> click " << event.column << ',' << event.row
                << (code == left_button_down ? " left" : " right") << '\n';
    if (record_ != nullptr) *record_ << script_line_for(event) << '\n';
    return MouseEvent{code, 0, event.column, event.row};
}

void HeadlessRuntime::stop() {
    transcript_.flush();
    if (record_ != nullptr) record_->flush();
}

}  // namespace mapari
