// mapari-window: the part of mapari that needs Qt — the desktop program, the
// demo, and headless sessions that paint pictures of the trace window. The
// `mapari` command starts it with its own arguments when one of these is asked.
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "app/command_line.hpp"
#include "app/demo.hpp"
#include "app/session.hpp"
#include "desktop/desktop_program.hpp"
#include "desktop/headless_pictures.hpp"
#include "formats/files.hpp"

namespace {

int run_script_session(const mapari::Options& options) {
    if (options.snapshot_directory.empty()) return mapari::run_script(options);
    return mapari::run_script(
        options, [&options](std::istream& script, std::ostream& transcript, std::ostream& errors,
                            const mapari::SessionFiles& files) {
            return mapari::qt::run_headless_with_snapshots(script, transcript, errors, files,
                                                           options.snapshot_directory);
        });
}

// What every window session takes from the command line.
mapari::qt::DesktopOptions desktop_options(const mapari::Options& options) {
    mapari::qt::DesktopOptions desktop;
    desktop.data_directory = options.data_directory;
    desktop.record_path = options.record_path;
    desktop.version = MAPARI_VERSION;
    if (options.language_given) desktop.language = options.language;
    return desktop;
}

// Pause between the demo's answers and clicks in the window, so that one can follow them.
constexpr int demo_pace_milliseconds = 350;

int run_desktop(const mapari::Options& options) {
    if (!options.snapshot_directory.empty()) {
        std::cerr << "mapari: --snapshots goes with --script\n" << mapari::usage_text;
        return mapari::exit_usage;
    }
    return mapari::qt::run_desktop_program(desktop_options(options), std::cerr);
}

// Pause between a replayed script's answers and clicks: quick, yet each can be seen.
constexpr int replay_pace_milliseconds = 60;

// A script played into the desktop window, as if typed and clicked; where it
// ends, the operator goes on (to look at the beat, correct a mark, save again).
int run_script_in_window(const mapari::Options& options) {
    std::string script, reason;
    if (!mapari::read_whole_file(options.script_path, script, reason)) {
        std::cerr << "mapari: cannot read the script " << options.script_path << ": " << reason
                  << '\n';
        return mapari::exit_usage;
    }
    mapari::qt::DesktopOptions desktop = desktop_options(options);
    desktop.script = script;
    desktop.script_pace_milliseconds = replay_pace_milliseconds;
    return mapari::qt::run_desktop_program(desktop, std::cerr);
}

// The demo session played in the desktop window, as if typed and clicked.
int run_demo_in_window(const mapari::Options& options) {
    if (!mapari::make_demo_data(std::cerr)) return mapari::exit_failure;
    const std::string folder = mapari::demo_folder;
    mapari::qt::DesktopOptions desktop = desktop_options(options);
    desktop.data_directory = folder + "/data";
    desktop.default_file_directory = folder;
    desktop.script = mapari::demo_script;
    desktop.script_pace_milliseconds = demo_pace_milliseconds;
    return mapari::qt::run_desktop_program(desktop, std::cerr);
}

int run_demo(const mapari::Options& options) {
    if (options.in_window) return run_demo_in_window(options);
    if (!mapari::make_demo_data(std::cerr)) return mapari::exit_failure;
    const std::string folder = mapari::demo_folder;
    std::error_code ignored;
    std::filesystem::remove_all(folder + "/pictures", ignored);
    std::istringstream script(mapari::demo_script);
    std::ostringstream transcript;
    mapari::SessionFiles files{folder + "/data", folder, "", {}};
    int code = mapari::qt::run_headless_with_snapshots(script, transcript, std::cerr, files,
                                                       folder + "/pictures");
    std::cout << transcript.str();
    if (code == mapari::exit_normal) mapari::write_demo_summary(transcript.str(), std::cout);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    int exit_code = mapari::exit_normal;
    std::optional<mapari::Options> options = mapari::start_program(argc, argv, exit_code);
    if (!options) return exit_code;
    if (options->mode == mapari::Options::Mode::script)
        return options->in_window ? run_script_in_window(*options) : run_script_session(*options);
    if (options->mode == mapari::Options::Mode::demo) return run_demo(*options);
    return run_desktop(*options);
}
