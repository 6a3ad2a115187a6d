#include "app/command_line.hpp"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace mapari {

const char* const usage_text =
    "usage: mapari [--data-dir DIR]                 desktop program; DIR defaults to ./data/map\n"
    "       mapari --script FILE [--data-dir DIR]   headless: answers and clicks from FILE "
    "('-' = stdin)\n"
    "              [--snapshots DIR]                PNG of the trace window at each wait\n"
    "              [--record FILE]                  write every answer and click as a script\n"
    "              [--gui]                          played in the desktop window, then yours\n"
    "       mapari --demo [--gui]                   make the demo data and run the demo session\n"
    "       [--lang ja|en] with any of these        the dialogue in Japanese (default) or English\n"
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
            options.in_window = true;
        } else if (word == "--script") {
            if (!value(options.script_path)) return std::nullopt;
            options.mode = Options::Mode::script;
        } else if (word == "--data-dir") {
            if (!value(options.data_directory)) return std::nullopt;
            options.data_directory_given = true;
        } else if (word == "--snapshots") {
            if (!value(options.snapshot_directory)) return std::nullopt;
        } else if (word == "--lang") {
            std::string code;
            if (!value(code)) return std::nullopt;
            const std::optional<Language> language = language_named(code);
            if (!language) {
                error = "--lang takes ja or en, not \"" + code + "\"";
                return std::nullopt;
            }
            options.language = *language;
            options.language_given = true;
        } else if (word == "--record") {
            if (!value(options.record_path)) return std::nullopt;
        } else {
            error = "unknown argument '" + word + "'";
            return std::nullopt;
        }
    }
    if (options.in_window && options.mode != Options::Mode::demo &&
        options.mode != Options::Mode::script) {
        error = "--gui goes with --demo or --script";
        return std::nullopt;
    }
    return options;
}

namespace {

// Why the folder cannot serve as the data folder, or nothing when it can.
std::string unreadable_folder(const std::string& folder) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(folder, error);
    if (!std::filesystem::exists(status)) return "there is no such folder";
    if (!std::filesystem::is_directory(status)) return "it is not a folder";
    if (::access(folder.c_str(), R_OK | X_OK) != 0) return std::strerror(errno);
    return {};
}

}  // namespace

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
    } else if (const std::string problem = options->data_directory_given
                                               ? unreadable_folder(options->data_directory)
                                               : std::string();
               !problem.empty()) {
        std::cerr << "mapari: the data folder " << options->data_directory
                  << " cannot be used: " << problem << '\n';
        exit_code = exit_usage;
    } else {
        std::string reason;
        use_language(options->language, reason);
        return options;
    }
    return std::nullopt;
}

}  // namespace mapari
