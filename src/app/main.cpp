// mapari: off-line analysis of 64-lead body-surface-map recordings.
//
// Headless sessions run here, with the core alone, so that a scripted analysis
// starts fast and needs no display libraries. The desktop program, the demo
// and sessions that paint pictures need Qt: for them this program becomes
// `mapari-window`, with the same arguments.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/command_line.hpp"
#include "app/session.hpp"

namespace {

constexpr const char* window_program_name = "mapari-window";

// Where the window program stands: beside this program in the build tree, in
// the installed layout under the folder MAPARI_WINDOW_FOLDER names relative to
// this program's own folder.
std::filesystem::path window_program(const char* argv0) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder =
        (error ? std::filesystem::path(argv0) : self).parent_path();
    std::filesystem::path beside = folder / window_program_name;
    if (::access(beside.c_str(), X_OK) == 0) return beside;
    return (folder / MAPARI_WINDOW_FOLDER / window_program_name).lexically_normal();
}

// Replaces this process by the window program; returns only when it cannot start.
int run_window_program(char** argv) {
    std::string name = window_program(argv[0]).string();
    argv[0] = name.data();
    execv(name.c_str(), argv);
    std::cerr << "mapari: cannot start " << name << ": " << std::strerror(errno) << '\n';
    return mapari::exit_failure;
}

}  // namespace

int main(int argc, char** argv) {
    int exit_code = mapari::exit_normal;
    std::optional<mapari::Options> options = mapari::start_program(argc, argv, exit_code);
    if (!options) return exit_code;
    if (options->mode == mapari::Options::Mode::script && options->snapshot_directory.empty() &&
        !options->in_window)
        return mapari::run_script(*options);
    std::cout.flush();
    return run_window_program(argv);
}
