// The command line of mapari.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/command_options.hpp"
#include "formats/exit_codes.hpp"
#include "formats/messages.hpp"

namespace mapari {

struct Options {
    enum class Mode { desktop, script, demo };
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

// Reads the arguments after the program name into the options.
CommandLineReading parse_command_line(const std::vector<std::string>& arguments, Options& options);

extern const char* const usage_text;

// The options of the session to run; nothing, with exit_code set, when the
// command line ends the run: a mistake reported on `errors` (a --data-dir that
// is not a readable folder too), --help or --version answered on `out`.
std::optional<Options> read_program_options(const std::vector<std::string>& arguments,
                                            std::ostream& out, std::ostream& errors,
                                            int& exit_code);

// What both programs do first: the file-size signal ignored (a write over a
// limit must fail and be reported, not kill the program with the operator's
// work in it), the options read and the language of the messages chosen.
// Returns the options when there is a session to run; otherwise exit_code is set.
std::optional<Options> start_program(int argc, char** argv, int& exit_code);

}  // namespace mapari
