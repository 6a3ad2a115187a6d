// Speed of the ARI computation on one saved beat of 64 leads: reading the .ds
// and .se files back, the activation search and the cubic fits of the slope
// curve over the T wave, and writing the .ari file, with the default settings.
// Run: build/bench/bench_ari.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

#include "ari/ari_computation.hpp"
#include "formats/result_files.hpp"
#include "tools/synth_model.hpp"
#include "window/headless_runtime.hpp"

namespace {

// A store whose data directory holds bench.ds and bench.se: the second beat of
// a default synthetic recording, cut as a selection at its QRS would cut it,
// with the four marks on its planted fiducial points.
std::unique_ptr<mapari::Store> saved_beat(const std::filesystem::path& folder) {
    mapari::synth::SynthSettings settings;
    settings.seconds = 4;
    const mapari::synth::SynthModel model = mapari::synth::make_model(settings);
    const std::vector<std::int16_t> samples = mapari::synth::render_samples(model);
    const mapari::synth::BeatMarks& beat = model.beats.at(1);
    const int q = beat.qrs_peak;

    auto store = std::make_unique<mapari::Store>();
    mapari::Beat& working = store->beat;
    for (int l = 1; l <= mapari::lead_count; ++l) {
        for (int r = 1; r <= 1000; ++r) {
            const auto frame = static_cast<std::size_t>(q - 201 + r);
            working.averaged(r, l) =
                samples[(frame - 1) * mapari::synth::channel_count +
                        static_cast<std::size_t>(l + mapari::synth::first_lead_channel - 2)];
        }
    }
    const int marks[] = {beat.stimulus, beat.q_onset, beat.j_point, beat.t_end};
    for (int m = 1; m <= mapari::fiducial_count; ++m)
        working.fiducial_marks(m) = marks[m - 1] - q + 201;

    std::ofstream(folder / "bench.ds", std::ios::binary) << mapari::ds_file_text(working);
    std::ofstream(folder / "bench.se", std::ios::binary) << mapari::se_file_text(working);

    const std::string path = folder.string();
    std::copy(path.begin(), path.end(), store->naming.data_directory.data());
    store->results.save_name.assign("bench");
    store->results.ds_path = mapari::result_path("bench", ".ds");
    store->results.se_path = mapari::result_path("bench", ".se");
    store->settings.ari_file_switch = 1;
    store->settings.settings_answer = 1;
    return store;
}

void BM_ComputeAri(benchmark::State& state) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "mapari-bench-ari-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("cannot make a temporary folder");
        return;
    }
    const std::filesystem::path folder(pattern);
    auto store = saved_beat(folder);
    std::istringstream no_script;
    std::ostream discarded(nullptr);
    mapari::HeadlessRuntime runtime(no_script, discarded, nullptr, folder.string());
    runtime.open_trace_window();
    if (!mapari::compute_ari(*store, runtime)) state.SkipWithError("no .ari file was written");
    for (auto _ : state) {
        const bool written = mapari::compute_ari(*store, runtime);
        benchmark::DoNotOptimize(written);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_ComputeAri)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
