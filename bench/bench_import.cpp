// Speed of mapari-import on the kind of source labs record: a 10-minute EDF of
// 64 leads at 2048 Hz (a beat train on every lead), read, resampled to
// 1000 Hz, scaled and written as 22 pieces. The counter `real_time_factor` is
// how many times faster than the recording lasted the import runs.
// Run: build/bench/bench_import.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "biosig_files.hpp"
#include "importing/import.hpp"

namespace {

using namespace mapari;

constexpr double source_seconds = 600.0;
constexpr double source_rate_hz = 2048.0;
constexpr int source_leads = 64;

std::filesystem::path write_source(const std::filesystem::path& folder) {
    std::vector<importing_tests::TestSignal> signals;
    for (int lead = 1; lead <= source_leads; ++lead)
        signals.push_back({"lead " + std::to_string(lead), "uV",
                           importing_tests::beat_train(source_rate_hz, source_seconds, 200.0 + lead,
                                                       800.0, 1500.0 + 10 * lead)});
    std::filesystem::path file = folder / "ten-minutes.edf";
    std::string reason;
    if (!importing_tests::write_edf(file, source_rate_hz, signals, reason)) return {};
    return file;
}

void BM_ImportTenMinuteEdf(benchmark::State& state) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "mapari-bench-import";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "data");
    importing::ImportRequest request;
    request.source = write_source(folder);
    request.data_directory = folder / "data";
    request.name = "bench";
    if (request.source.empty()) state.SkipWithError("cannot write the EDF source");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(request.data_directory);
        std::filesystem::create_directories(request.data_directory);
        state.ResumeTiming();
        importing::ImportReport report;
        std::string reason;
        if (!importing::import_recording(request, {}, report, reason)) {
            state.SkipWithError(reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(report.pieces.size());
    }
    state.counters["real_time_factor"] = benchmark::Counter(
        source_seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ImportTenMinuteEdf)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
