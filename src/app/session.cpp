#include "app/session.hpp"

#include <fstream>
#include <memory>

#include "dialogue/driver.hpp"
#include "window/headless_runtime.hpp"

namespace mapari {

int run_headless_session(std::istream& script, std::ostream& transcript, std::ostream& errors,
                         const SessionFiles& files) {
    auto store = std::make_unique<Store>();
    if (files.data_directory.size() >= data_directory_capacity) {
        errors << "mapari: the data directory path is too long\n";
        return exit_usage;
    }
    files.data_directory.copy(store->naming.data_directory.data(), files.data_directory.size());
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

}  // namespace mapari
