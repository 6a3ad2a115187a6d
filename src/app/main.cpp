// mapari: off-line analysis of 64-lead body-surface-map recordings.
//
// Headless sessions run here, with the core alone, so that a scripted analysis
// starts fast and needs no display libraries. The desktop program, the demo
// and sessions that paint pictures need Qt: for them this program becomes
// `mapari-window`, which stands beside it, with the same arguments.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "app/session.hpp"

namespace {

constexpr const char* window_program_name = "mapari-window";

int run_script(const mapari::Options& options) {
    mapari::SessionFiles files{options.data_directory, ".", options.record_path, {}};
    if (options.script_path == "-")
        return mapari::run_headless_session(std::cin, std::cout, std::cerr, files);
    std::ifstream script(options.script_path);
    if (!script) {
        std::cerr << "mapari: cannot read the script " << options.script_path << '\n';
        return mapari::exit_usage;
    }
    return mapari::run_headless_session(script, std::cout, std::cerr, files);
}

// Replaces this process by the window program; returns only when it cannot start.
int run_window_program(char** argv) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    std::filesystem::path program =
        (error ? std::filesystem::path(argv[0]) : self).replace_filename(window_program_name);
    std::string name = program.string();
    argv[0] = name.data();
    execv(name.c_str(), argv);
    std::cerr << "mapari: cannot start " << name << ": " << std::strerror(errno) << '\n';
    return mapari::exit_failure;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit must fail the write that meets it (and be reported),
    // not kill the program with the operator's work in it.
    std::signal(SIGXFSZ, SIG_IGN);
    std::ios::sync_with_stdio(false);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    std::optional<mapari::Options> options = mapari::parse_command_line(arguments, error);
    if (!options) {
        std::cerr << "mapari: " << error << '\n' << mapari::usage_text;
        return mapari::exit_usage;
    }
    switch (options->mode) {
        case mapari::Options::Mode::help:
            std::cout << mapari::usage_text;
            return mapari::exit_normal;
        case mapari::Options::Mode::version:
            std::cout << "mapari " << MAPARI_VERSION << '\n';
            return mapari::exit_normal;
        case mapari::Options::Mode::script:
            if (options->snapshot_directory.empty()) return run_script(*options);
            break;
        case mapari::Options::Mode::demo:
        case mapari::Options::Mode::desktop:
            break;
    }
    std::cout.flush();
    return run_window_program(argv);
}
