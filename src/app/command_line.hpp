// The command line of mapari.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mapari {

inline constexpr int exit_normal = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

struct Options {
    enum class Mode { desktop, script, demo, help, version };
    Mode mode = Mode::desktop;
    std::string script_path;  // "-" for standard input
    std::string data_directory = "./data/map";
    std::string snapshot_directory;  // empty: no pictures
    std::string record_path;         // empty: no recording of the session
    bool demo_in_window = false;
};

// Parses the arguments after the program name; on a mistake, error says what.
std::optional<Options> parse_command_line(const std::vector<std::string>& arguments,
                                          std::string& error);

extern const char* const usage_text;

}  // namespace mapari
