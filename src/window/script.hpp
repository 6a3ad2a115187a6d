// The headless script: one event a line.
//   @click COL [ROW]      left button down at drawing pixel (COL, ROW), ROW 150 by default
//   @right [COL [ROW]]    right button down (the program ignores the position)
//   @# text               comment
//   @@text                the answer line "@text"
//   anything else         one answer line, exactly as written
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mapari {

struct ScriptEvent {
    enum class Kind { answer, left_click, right_click, comment };
    Kind kind = Kind::answer;
    std::string answer;  // for answers
    int column = 500;    // for clicks, drawing pixels
    int row = 150;
};

inline constexpr int default_click_row = 150;
inline constexpr int default_right_click_column = 500;

// Parses one script line (without its line end). Returns nothing, and sets
// error to the reason, when the line starts with '@' but is no event.
std::optional<ScriptEvent> parse_script_line(std::string_view line, std::string& error);

// The script line that replays an event; answers starting with '@' are escaped.
std::string script_line_for(const ScriptEvent& event);

}  // namespace mapari
