// Speed of mapari-batch: 100 synthetic recordings of 4 s (seeds 1 to 100)
// analysed without an operator, each in a folder of its own, with one and
// with two recordings at once. The counter `recordings_per_second` is the rate.
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

std::vector<std::string> write_recordings(const fs::path& folder) {
    std::vector<std::string> files;
    for (int seed = 1; seed <= recordings; ++seed) {
        mapari::synth::SynthSettings settings;
        settings.seed = static_cast<std::uint32_t>(seed);
        settings.seconds = 4;
        const std::string file = (folder / ("syn" + std::to_string(seed) + ".dat")).string();
        std::string reason;
        mapari::write_file_atomically(file,
                                      mapari::encode_frames(mapari::synth::render_samples(
                                          mapari::synth::make_model(settings))),
                                      reason);
        files.push_back(file);
    }
    return files;
}

void BM_BatchOfHundredRecordings(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "mapari-bench-batch";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::vector<std::string> arguments = write_recordings(folder);
    for (const char* word : {"--out", "", "--jobs", ""}) arguments.emplace_back(word);
    arguments[arguments.size() - 3] = (folder / "study").string();
    arguments.back() = std::to_string(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(folder / "study");
        state.ResumeTiming();
        std::ostringstream out, errors;
        benchmark::DoNotOptimize(mapari::run_batch_command(arguments, out, errors, false));
    }
    state.counters["recordings_per_second"] = benchmark::Counter(
        static_cast<double>(recordings * state.iterations()), benchmark::Counter::kIsRate);
    fs::remove_all(folder);
}
BENCHMARK(BM_BatchOfHundredRecordings)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
