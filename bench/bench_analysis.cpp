// Speed of the analysis steps on one synthetic recording, as plain calls of
// the computations with no runtime: decoding a reading, beat detection, and
// the whole averaging (8 passes with alignment and sums over 64 leads), and
// the analysis of every beat of a 32-s recording.
// Run: make bench (or build/bench/bench_analysis).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "beats/automatic_marks.hpp"
#include "beats/averaging.hpp"
#include "beats/beat_series.hpp"
#include "beats/detection.hpp"
#include "beats/selection.hpp"
#include "recording/recording.hpp"
#include "synthesis/synth_model.hpp"

namespace {

// The bytes of a default synthetic recording of `seconds`.
std::string synthetic_bytes(int seconds) {
    mapari::synth::SynthSettings settings;
    settings.seconds = seconds;
    return mapari::encode_frames(
        mapari::synth::render_samples(mapari::synth::make_model(settings)));
}

// A store holding the first 4000 frames of a default synthetic recording.
std::unique_ptr<mapari::Store> synthetic_store(const std::string& bytes = synthetic_bytes(4)) {
    auto store = std::make_unique<mapari::Store>();
    for (int k = 1; k <= mapari::bytes_per_reading; ++k)
        store->recording.file_bytes(k) = static_cast<std::uint8_t>(bytes[k - 1]);
    mapari::decode_recording(store->recording);
    const std::int16_t channels[] = {21, 31, 45};
    for (int k = 1; k <= 3; ++k) store->settings.lead_channel(k) = channels[k - 1];
    return store;
}

void BM_DecodeRecording(benchmark::State& state) {
    auto store = synthetic_store();
    for (auto _ : state) {
        mapari::decode_recording(store->recording);
        benchmark::DoNotOptimize(store->recording.samples(9, 1));
    }
}
BENCHMARK(BM_DecodeRecording);

void BM_DetectBeats(benchmark::State& state) {
    auto store = synthetic_store();
    for (auto _ : state) {
        mapari::detect_beats(store->settings, store->recording, store->display,
                             mapari::display_last_candidate);
        benchmark::DoNotOptimize(store->display.beat_list(1));
    }
}
BENCHMARK(BM_DetectBeats);

// The synthetic recording with its second beat found selected, ready to average.
std::unique_ptr<mapari::Store> selected_store(const std::string& bytes = synthetic_bytes(4)) {
    auto store = synthetic_store(bytes);
    mapari::detect_beats(store->settings, store->recording, store->display,
                         mapari::display_last_candidate);
    mapari::sort_beats(store->display);
    store->beat.selected_position = store->display.sorted_beats(2);
    mapari::take_selected_beat(store->settings, store->recording, store->beat);
    return store;
}

void average(mapari::Store& store) {
    mapari::start_averaging(store.beat);
    mapari::find_aligned_beats(store.settings, store.recording, store.display, store.beat);
    mapari::sum_averaging_passes(store.recording, store.beat);
    mapari::finish_averaging(store.beat);
}

void BM_AverageBeats(benchmark::State& state) {
    auto store = selected_store();
    for (auto _ : state) {
        average(*store);
        benchmark::DoNotOptimize(store->beat.averaging_count);
    }
}
BENCHMARK(BM_AverageBeats)->Unit(benchmark::kMillisecond);

// The four marks of the averaged beat of 64 leads, found without an operator,
// with the beats found after the accepted ones bounding the T wave.
void BM_FindAutomaticMarks(benchmark::State& state) {
    auto store = selected_store();
    average(*store);
    const std::vector<std::int32_t> found = mapari::found_beat_rows(store->beat, store->display);
    for (auto _ : state) {
        const mapari::AutomaticMarks marks = mapari::find_automatic_marks(store->beat, found);
        benchmark::DoNotOptimize(marks.t_end);
    }
}
BENCHMARK(BM_FindAutomaticMarks)->Unit(benchmark::kMillisecond);

// Every matching beat of a 32-s recording (some 40) analysed on 64 leads, as
// the batch does after the averaged beat is marked: finding, alignment,
// baseline and the ARI computation of each beat. It must stay within 30 ms.
void BM_AnalyseEveryBeat(benchmark::State& state) {
    const std::string bytes = synthetic_bytes(32);
    auto store = selected_store(bytes);
    average(*store);
    const mapari::AutomaticMarks marks = mapari::find_automatic_marks(
        store->beat, mapari::found_beat_rows(store->beat, store->display));
    const std::int32_t rows[] = {marks.stimulus, marks.q_onset, marks.j_point, marks.t_end};
    for (int m = 1; m <= mapari::fiducial_count; ++m) store->beat.fiducial_marks(m) = rows[m - 1];
    const mapari::AveragedBeat averaged{store->settings, store->beat, mapari::default_ari_settings};
    std::size_t beats = 0;
    for (auto _ : state) {
        const std::vector<mapari::BeatResult> found = mapari::analyse_every_beat(bytes, averaged);
        beats = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["beats"] = static_cast<double>(beats);
}
BENCHMARK(BM_AnalyseEveryBeat)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
