#include "app/command_line.hpp"

#include <unistd.h>

#include <cerrno>
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

CommandLineReading parse_command_line(const std::vector<std::string>& arguments, Options& options) {
    const CommandOptions table = {
        {"--demo", false,
         [&options](const std::string&) {
             options.mode = Options::Mode::demo;
             return true;
         }},
        flag_option("--gui", options.in_window),
        {"--script", true,
         [&options](const std::string& path) {
             options.script_path = path;
             options.mode = Options::Mode::script;
             return true;
         }},
        {"--data-dir", true,
         [&options](const std::string& folder) {
             options.data_directory = folder;
             options.data_directory_given = true;
             return true;
         }},
        text_option("--snapshots", options.snapshot_directory),
        text_option("--record", options.record_path),
        language_option([&options](Language language) {
            options.language = language;
            options.language_given = true;
        }),
    };
    CommandLineReading reading = read_command_line(arguments, table);
    if (reading.goes_on() && options.in_window && options.mode == Options::Mode::desktop)
        reading.error = "--gui goes with --demo or --script";
    return reading;
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

std::optional<Options> read_program_options(const std::vector<std::string>& arguments,
                                            std::ostream& out, std::ostream& errors,
                                            int& exit_code) {
    Options options;
    const CommandLineReading reading = parse_command_line(arguments, options);
    if (const std::optional<int> answer =
            first_answer("mapari", reading, usage_text, out, errors)) {
        exit_code = *answer;
        return std::nullopt;
    }
    const std::string problem =
        options.data_directory_given ? unreadable_folder(options.data_directory) : std::string();
    if (!problem.empty()) {
        errors << "mapari: the data folder " << options.data_directory
               << " cannot be used: " << problem << '\n';
        exit_code = exit_usage;
        return std::nullopt;
    }
    exit_code = exit_normal;
    return options;
}

std::optional<Options> start_program(int argc, char** argv, int& exit_code) {
    fail_writes_at_the_file_size_limit();
    std::ios::sync_with_stdio(false);
    std::optional<Options> options =
        read_program_options({argv + 1, argv + argc}, std::cout, std::cerr, exit_code);
    if (options) {
        std::string reason;
        use_language(options->language, reason);
    }
    return options;
}

}  // namespace mapari
