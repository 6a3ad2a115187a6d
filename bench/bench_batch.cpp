// Speed of mapari-batch: 100 synthetic recordings of 4 s (seeds 1 to 100)
// analysed without an operator, each in a folder of its own, with one and
// with two recordings at once. The counter `recordings_per_second` is the rate.
// Every run writes a new study, as a user's batch does; the studies are removed
// only when every benchmark has run, because on an ext4 without a journal a
// file made within half a minute of a large removal waits on the inodes it freed,
// which would time the removal rather than the batch.
// Run: build/bench/bench_batch.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch_command.hpp"
#include "formats/files.hpp"
#include "synthesis/synth_model.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int recordings = 100;

// The recordings, written by the first run: rewriting them would free their
// inodes right before the next batch.
std::vector<std::string> write_recordings(const fs::path& folder) {
    std::vector<std::string> files;
    for (int seed = 1; seed <= recordings; ++seed) {
        mapari::synth::SynthSettings settings;
        settings.seed = static_cast<std::uint32_t>(seed);
        settings.seconds = 4;
        const std::string file = (folder / ("syn" + std::to_string(seed) + ".dat")).string();
        files.push_back(file);
        if (fs::exists(file)) continue;
        std::string reason;
        mapari::write_file_atomically(file,
                                      mapari::encode_frames(mapari::synth::render_samples(
                                          mapari::synth::make_model(settings))),
                                      reason);
    }
    return files;
}

fs::path bench_folder() {
    return fs::temp_directory_path() / "mapari-bench-batch";
}

// A study folder no run has written yet.
std::string new_study(const fs::path& folder) {
    for (int number = 1;; ++number) {
        const fs::path study = folder / ("study" + std::to_string(number));
        if (!fs::exists(study)) return study.string();
    }
}

void BM_BatchOfHundredRecordings(benchmark::State& state) {
    const fs::path folder = bench_folder();
    fs::create_directories(folder);
    std::vector<std::string> arguments = write_recordings(folder);
    for (const char* word : {"--out", "", "--jobs", ""}) arguments.emplace_back(word);
    arguments.back() = std::to_string(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        arguments[arguments.size() - 3] = new_study(folder);
        state.ResumeTiming();
        std::ostringstream out, errors;
        benchmark::DoNotOptimize(mapari::run_batch_command(arguments, out, errors, false));
    }
    state.counters["recordings_per_second"] = benchmark::Counter(
        static_cast<double>(recordings * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BatchOfHundredRecordings)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    fs::remove_all(bench_folder());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(bench_folder());
}
