#include "app/session.hpp"

#include <fstream>
#include <iostream>
#include <memory>

#include "app/driver.hpp"
#include "recording/recording.hpp"
#include "window/headless_runtime.hpp"

namespace mapari {

int run_headless_session(std::istream& script, std::ostream& transcript, std::ostream& errors,
                         const SessionFiles& files) {
    auto store = new_store();
    std::string reason;
    if (!set_data_directory(store->naming, files.data_directory, reason)) {
        errors << "mapari: " << reason << '\n';
        return exit_usage;
    }
    std::ofstream record;
    if (!files.record_path.empty()) {
        record.open(files.record_path, std::ios::out | std::ios::trunc);
        if (!record) {
            errors << "mapari: cannot write the record file " << files.record_path << '\n';
            return exit_failure;
        }
    }
    HeadlessRuntime runtime(script, transcript, record.is_open() ? &record : nullptr,
                            files.default_file_directory);
    if (files.on_trace_wait) runtime.on_trace_wait(files.on_trace_wait);
    try {
        run_program(*store, runtime);
    } catch (const SessionEnded& ended) {
        errors << "mapari: " << ended.what() << '\n';
        return ended.exit_code();
    }
    return exit_normal;
}

int run_script(const Options& options, const SessionPlayer& play) {
    const SessionFiles files{options.data_directory, ".", options.record_path, {}};
    if (options.script_path == "-") return play(std::cin, std::cout, std::cerr, files);
    std::ifstream script(options.script_path);
    if (!script) {
        std::cerr << "mapari: cannot read the script " << options.script_path << '\n';
        return exit_usage;
    }
    return play(script, std::cout, std::cerr, files);
}

}  // namespace mapari
