// Speed of the analysis steps on one synthetic recording: decoding a reading,
// beat detection, and the whole averaging (8 passes with alignment and sums
// over 64 leads). Run: make bench (or build/bench/bench_analysis).
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>

#include "beats/averaging.hpp"
#include "beats/selection.hpp"
#include "phases/trace_drawing.hpp"
#include "recording/recording.hpp"
#include "tools/synth_model.hpp"
#include "window/headless_runtime.hpp"

namespace {

// A store holding the first 4000 frames of a default synthetic recording.
std::unique_ptr<mapari::Store> synthetic_store() {
    mapari::synth::SynthSettings settings;
    settings.seconds = 4;
    std::string bytes = mapari::synth::encode_recording(
        mapari::synth::render_samples(mapari::synth::make_model(settings)));
    auto store = std::make_unique<mapari::Store>();
    for (int k = 1; k <= mapari::bytes_per_reading; ++k)
        store->recording.file_bytes(k) = static_cast<std::uint8_t>(bytes[k - 1]);
    mapari::decode_recording(*store);
    const std::int16_t channels[] = {21, 31, 45};
    for (int k = 1; k <= 3; ++k) store->settings.lead_channel(k) = channels[k - 1];
    return store;
}

void BM_DecodeRecording(benchmark::State& state) {
    auto store = synthetic_store();
    for (auto _ : state) {
        mapari::decode_recording(*store);
        benchmark::DoNotOptimize(store->recording.samples(9, 1));
    }
}
BENCHMARK(BM_DecodeRecording);

void BM_DetectBeats(benchmark::State& state) {
    auto store = synthetic_store();
    for (auto _ : state) {
        mapari::detect_beats(*store, mapari::display_last_candidate);
        benchmark::DoNotOptimize(store->display.beat_list(1));
    }
}
BENCHMARK(BM_DetectBeats);

void BM_AverageBeats(benchmark::State& state) {
    auto store = synthetic_store();
    std::istringstream no_script;
    std::ostringstream transcript;
    mapari::HeadlessRuntime runtime(no_script, transcript);
    runtime.open_trace_window();
    mapari::prepare_display(*store, runtime);
    mapari::sort_beats(*store);
    store->beat.selected_position = store->display.sorted_beats(2);
    mapari::take_selected_beat(*store, runtime);
    for (auto _ : state) {
        mapari::average_beats(*store, runtime);
        benchmark::DoNotOptimize(store->beat.averaging_count);
        transcript.str({});
    }
}
BENCHMARK(BM_AverageBeats)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
