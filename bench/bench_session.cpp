// A whole headless session as a process, from the banner through reading,
// selection, averaging, marking, a two-point correction and the save with
// the ARI file (the demo session), and the reading of one recording from
// disk. Run: make bench (or build/bench/bench_session).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/demo.hpp"
#include "recording/recording.hpp"
#include "synthesis/synth_model.hpp"

extern char** environ;

namespace {

// A folder holding the demo recording, the demo script, and a place for output.
std::filesystem::path prepared_folder() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path made = std::filesystem::temp_directory_path() / "mapari-bench";
        std::filesystem::create_directories(made / "data");
        std::ofstream(made / "data" / "demo01.dat", std::ios::binary)
            << mapari::encode_frames(mapari::synth::render_samples(
                   mapari::synth::make_model(mapari::synth::SynthSettings{})));
        std::ofstream(made / "session.script") << mapari::demo_script;
        return made;
    }();
    return folder;
}

int run_program(const std::filesystem::path& folder) {
    std::string program = MAPARI_PROGRAM;
    std::string script = (folder / "session.script").string();
    std::string data = (folder / "data").string();
    char* arguments[] = {program.data(), const_cast<char*>("--script"),
                         script.data(),  const_cast<char*>("--data-dir"),
                         data.data(),    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0x1 /* O_WRONLY */, 0);
    pid_t child = 0;
    int status = -1;
    if (posix_spawn(&child, program.c_str(), &actions, nullptr, arguments, environ) == 0)
        waitpid(child, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return status;
}

void BM_WholeSessionAsProcess(benchmark::State& state) {
    const std::filesystem::path folder = prepared_folder();
    std::filesystem::current_path(folder);
    for (auto _ : state) {
        if (run_program(folder) != 0) state.SkipWithError("the session did not end normally");
    }
}
BENCHMARK(BM_WholeSessionAsProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadRecording(benchmark::State& state) {
    auto store = std::make_unique<mapari::Store>();
    const std::string data = (prepared_folder() / "data").string();
    data.copy(store->naming.data_directory.data(), data.size());
    mapari::TextField<6> common, variable;
    common.assign("demo");
    variable.assign("01");
    store->naming.recording_path = mapari::build_recording_path(common, variable);
    std::string message;
    for (auto _ : state) {
        if (mapari::read_recording(store->naming, store->recording, message) !=
            mapari::ReadOutcome::read)
            state.SkipWithError(message.c_str());
    }
}
BENCHMARK(BM_ReadRecording)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
