// The review of one session as a process: mapari-review on the .ari and .ds
// files of the demo session, painting the three maps and the review sheet
// and writing the PNG, the PDF and the CSV. The session itself is run once,
// headless, to make the files. Run: make bench (or build/bench/bench_review).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/demo.hpp"
#include "synthesis/synth_model.hpp"

extern char** environ;

namespace {

// Runs a program with its standard output thrown away; its wait status.
int spawn(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0x1 /* O_WRONLY */, 0);
    pid_t child = 0;
    int status = -1;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(child, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return status;
}

// Processor time, user and system, of the children waited for so far.
double children_cpu_ms() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// A folder holding the demo session's result files in data/; empty when the
// session did not end normally.
std::filesystem::path session_folder() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path made = std::filesystem::temp_directory_path() / "mapari-bench-review";
        std::filesystem::create_directories(made / "data");
        std::ofstream(made / "data" / "demo01.dat", std::ios::binary)
            << mapari::encode_frames(mapari::synth::render_samples(
                   mapari::synth::make_model(mapari::synth::SynthSettings{})));
        std::ofstream(made / "session.script") << mapari::demo_script;
        std::filesystem::current_path(made);  // the trace channel's default file goes here
        const int status = spawn({MAPARI_PROGRAM, "--script", (made / "session.script").string(),
                                  "--data-dir", (made / "data").string()});
        return status == 0 ? made : std::filesystem::path();
    }();
    return folder;
}

void BM_ReviewOfOneSessionAsProcess(benchmark::State& state) {
    const std::filesystem::path folder = session_folder();
    if (folder.empty()) {
        state.SkipWithError("the demo session did not end normally");
        return;
    }
    const std::filesystem::path data = folder / "data";
    const double cpu_before = children_cpu_ms();
    for (auto _ : state) {
        if (spawn({MAPARI_REVIEW_PROGRAM, (data / "demo01.ari").string(), "--ds",
                   (data / "demo01.ds").string(), "-o", (folder / "review").string()}) != 0)
            state.SkipWithError("mapari-review did not end normally");
    }
    // The program's own processor time, which other work on the machine does not lengthen.
    state.counters["program_cpu_ms"] =
        benchmark::Counter(children_cpu_ms() - cpu_before, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReviewOfOneSessionAsProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
