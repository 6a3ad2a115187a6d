#include "app/command_line.hpp"

#include <csignal>
#include <iostream>

namespace mapari {

const char* const usage_text =
    "usage: mapari [--data-dir DIR]                 desktop program; DIR defaults to ./data/map\n"
    "       mapari --script FILE [--data-dir DIR]   headless: answers and clicks from FILE "
    "('-' = stdin)\n"
    "              [--snapshots DIR]                PNG of the trace window at each wait\n"
    "              [--record FILE]                  write every answer and click as a script\n"
    "       mapari --demo [--gui]                   make the demo data and run the demo session\n"
    "       mapari --help | --version\n";

std::optional<Options> parse_command_line(const std::vector<std::string>& arguments,
                                          std::string& error) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= arguments.size()) {
                error = word + " needs a value";
                return false;
            }
            target = arguments[++i];
            return true;
        };
        if (word == "--help" || word == "-h") {
            options.mode = Options::Mode::help;
        } else if (word == "--version") {
            options.mode = Options::Mode::version;
        } else if (word == "--demo") {
            options.mode = Options::Mode::demo;
        } else if (word == "--gui") {
            options.demo_in_window = true;
        } else if (word == "--script") {
            if (!value(options.script_path)) return std::nullopt;
            options.mode = Options::Mode::script;
        } else if (word == "--data-dir") {
            if (!value(options.data_directory)) return std::nullopt;
        } else if (word == "--snapshots") {
            if (!value(options.snapshot_directory)) return std::nullopt;
        } else if (word == "--record") {
            if (!value(options.record_path)) return std::nullopt;
        } else {
            error = "unknown argument '" + word + "'";
            return std::nullopt;
        }
    }
    if (options.demo_in_window && options.mode != Options::Mode::demo) {
        error = "--gui goes with --demo";
        return std::nullopt;
    }
    return options;
}

std::optional<Options> start_program(int argc, char** argv, int& exit_code) {
    std::signal(SIGXFSZ, SIG_IGN);
    std::ios::sync_with_stdio(false);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    std::optional<Options> options = parse_command_line(arguments, error);
    exit_code = exit_normal;
    if (!options) {
        std::cerr << "mapari: " << error << '\n' << usage_text;
        exit_code = exit_usage;
    } else if (options->mode == Options::Mode::help) {
        std::cout << usage_text;
    } else if (options->mode == Options::Mode::version) {
        std::cout << "mapari " << MAPARI_VERSION << '\n';
    } else {
        return options;
    }
    return std::nullopt;
}

}  // namespace mapari
