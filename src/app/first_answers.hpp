// What a command answers before its own work: a command line it cannot use
// (the reason, then the usage, on the error stream), --help (the usage) and
// --version ("NAME VERSION"). The Options of each command have `help` and
// `version` flags; the build gives MAPARI_VERSION.
#pragma once

#include <optional>
#include <ostream>
#include <string_view>

#include "formats/exit_codes.hpp"

namespace mapari {

// The exit code when the command line, --help or --version ends the run;
// nothing when the command goes on with its work.
template <typename Options>
std::optional<int> first_answer(std::string_view program, const std::optional<Options>& options,
                                std::string_view error, std::string_view usage, std::ostream& out,
                                std::ostream& errors) {
    if (!options) {
        errors << program << ": " << error << '\n' << usage;
        return exit_usage;
    }
    if (options->help) {
        out << usage;
        return exit_normal;
    }
    if (options->version) {
        out << program << ' ' << MAPARI_VERSION << '\n';
        return exit_normal;
    }
    return std::nullopt;
}

}  // namespace mapari
