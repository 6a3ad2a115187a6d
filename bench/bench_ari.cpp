// Speed of the ARI computation on one saved beat of 64 leads, as a plain
// call with no runtime and no files: the activation search and the cubic fits
// of the slope curve over the T wave, with the default settings; and of the
// preview the study window computes at each move of a mark (the baseline
// drawn anew, then the computation).
// Run: build/bench/bench_ari.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "ari/ari_computation.hpp"
#include "beats/beat_preview.hpp"
#include "formats/map_recording.hpp"
#include "formats/result_files.hpp"
#include "synthesis/synth_model.hpp"

namespace {

// A store whose ARI work area holds the second beat of a default synthetic
// recording, cut as a selection at its QRS would cut it and read back from
// its .ds and .se text as the save step reads them, with the marks on its
// planted fiducial points.
std::unique_ptr<mapari::Store> saved_beat() {
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
                samples[(frame - 1) * mapari::channel_count +
                        static_cast<std::size_t>(mapari::channel_of_lead(l) - 1)];
        }
    }
    const int marks[] = {beat.stimulus, beat.q_onset, beat.j_point, beat.t_end};
    for (int m = 1; m <= mapari::fiducial_count; ++m)
        working.fiducial_marks(m) = marks[m - 1] - q + 201;

    mapari::AriWork& work = store->ari;
    std::string reason;
    if (!mapari::read_ds_text(mapari::ds_file_text(working), work.beat_matrix, reason) ||
        !mapari::read_se_text(mapari::se_file_text(working.fiducial_marks), work, reason))
        return nullptr;
    work.settings = mapari::default_ari_settings;
    return store;
}

void BM_ComputeAri(benchmark::State& state) {
    auto store = saved_beat();
    if (!store || !mapari::broken_limit(store->ari).empty()) {
        state.SkipWithError("the planted marks do not make a computable beat");
        return;
    }
    // Reports go nowhere: the figure is the computation's own.
    mapari::SilentReport report;
    for (auto _ : state) {
        mapari::compute_ari(store->ari, report);
        benchmark::DoNotOptimize(store->ari.recovery_ms(1));
    }
}
BENCHMARK(BM_ComputeAri)->Unit(benchmark::kMillisecond);

// The beat's T end moved 10 ms earlier, as by Shift+Left in the study window.
void BM_PreviewBeat(benchmark::State& state) {
    auto store = saved_beat();
    if (!store) {
        state.SkipWithError("the planted marks do not make a computable beat");
        return;
    }
    const mapari::AriWork& work = store->ari;
    const mapari::MarkRowArray marks = {work.second_value, work.reference_point, work.j_point,
                                        work.t_end - 10};
    for (auto _ : state) {
        const mapari::BeatPreview preview =
            mapari::preview_beat(work.beat_matrix, marks, mapari::default_ari_settings);
        benchmark::DoNotOptimize(preview.recovery_ms[0]);
    }
}
BENCHMARK(BM_PreviewBeat)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
