// The command line of mapari.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/exit_codes.hpp"
#include "formats/messages.hpp"

namespace mapari {

struct Options {
    enum class Mode { desktop, script, demo, help, version };
    Mode mode = Mode::desktop;
    std::string script_path;  // "-" for standard input
    std::string data_directory = "./data/map";
    bool data_directory_given = false;  // named with --data-dir
    std::string snapshot_directory;     // empty: no pictures
    std::string record_path;            // empty: no recording of the session
    bool in_window = false;  // --gui: the demo or the script played in the desktop window
    Language language = Language::japanese;  // --lang ja|en
    bool language_given = false;             // named with --lang
};

// Parses the arguments after the program name; on a mistake, error says what.
std::optional<Options> parse_command_line(const std::vector<std::string>& arguments,
                                          std::string& error);

extern const char* const usage_text;

// What both programs do first: the file-size signal ignored (a write over a
// limit must fail and be reported, not kill the program with the operator's
// work in it), the arguments parsed, a mistake reported (a --data-dir that
// is not a readable folder too), help and version answered. Returns the options when there is a
// session to run; otherwise exit_code is set.
std::optional<Options> start_program(int argc, char** argv, int& exit_code);

}  // namespace mapari
