// Script lines: any bytes as one line of a headless script. A line is an
// event or a reason why not; an event written back as a script line reads
// as the same event, which is what --record relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.hpp"
#include "window/script.hpp"

namespace {

using namespace mapari;
using fuzz::check;

bool same_event(const ScriptEvent& a, const ScriptEvent& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case ScriptEvent::Kind::answer:
            return a.answer == b.answer;
        case ScriptEvent::Kind::left_click:
        case ScriptEvent::Kind::right_click:
            return a.column == b.column && a.row == b.row;
        case ScriptEvent::Kind::comment:
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::string error;
    std::optional<ScriptEvent> event = parse_script_line(line, error);
    if (!event) {
        check(!error.empty());
        check(line.starts_with('@'));
        return 0;
    }
    std::string_view content = line;
    if (content.ends_with('\r')) content.remove_suffix(1);
    if (!content.starts_with('@')) {
        check(event->kind == ScriptEvent::Kind::answer && event->answer == content);
    }
    if (event->kind == ScriptEvent::Kind::left_click ||
        event->kind == ScriptEvent::Kind::right_click) {
        check(event->column >= -32768 && event->column <= 32767);
        check(event->row >= -32768 && event->row <= 32767);
    }
    // A script file is read by lines with their line end removed, so an
    // answer that itself ends in a carriage return has no line of its own.
    if (event->kind == ScriptEvent::Kind::answer && event->answer.ends_with('\r')) return 0;
    std::string written = script_line_for(*event);
    std::string reread_error;
    std::optional<ScriptEvent> reread = parse_script_line(written, reread_error);
    check(reread.has_value() && same_event(*event, *reread));
    return 0;
}
