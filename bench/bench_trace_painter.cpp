// The desktop's redraw of the trace window: the demo recording's three
// display leads (4000 points each), the markers of the beats found and the
// lines of text, drawn by the program's own drawing step and painted as the
// trace window's surface paints itself (the drawing stretched over the widget
// by its surface mapping) onto a picture the size of the widget, at 100 %
// (1000 × 300) and at 200 % zoom (2000 × 600), with Qt's offscreen platform.
// A redraw within 16 ms keeps up with a screen refreshing 60 times a second.
// Run: make bench (or build/bench/bench_trace_painter).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "desktop/trace_painter.hpp"
#include "dialogue/settings.hpp"
#include "phases/trace_drawing.hpp"
#include "recording/recording.hpp"
#include "synthesis/synth_model.hpp"
#include "window/headless_runtime.hpp"

namespace {

// The trace window as the program leaves it after drawing the demo recording.
mapari::WindowContent demo_trace_window() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "mapari-bench-painter";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "demo01.dat", std::ios::binary) << mapari::encode_frames(
        mapari::synth::render_samples(mapari::synth::make_model(mapari::synth::SynthSettings{})));

    auto store = std::make_unique<mapari::Store>();
    const std::string data = folder.string();
    data.copy(store->naming.data_directory.data(), data.size());
    mapari::TextField<6> common, variable;
    common.assign("demo");
    variable.assign("01");
    store->naming.recording_path = mapari::build_recording_path(common, variable);
    for (int k = 1; k <= mapari::display_lead_count; ++k)
        store->settings.lead_channel(k) = mapari::default_lead_channels[k - 1];
    std::string message;
    if (mapari::read_recording(store->naming, store->recording, message) !=
        mapari::ReadOutcome::read)
        return {};

    std::istringstream script;
    std::ostringstream transcript;
    mapari::HeadlessRuntime runtime(script, transcript);
    runtime.open_trace_window();
    if (!mapari::prepare_display(*store, runtime)) return {};
    mapari::draw_recording(*store, runtime);
    return runtime.windows().trace_window();
}

void BM_RedrawTraceWindow(benchmark::State& state) {
    static const mapari::WindowContent content = demo_trace_window();
    if (content.drawing.size() < mapari::display_lead_count) {
        state.SkipWithError("the demo recording was not drawn");
        return;
    }
    const int zoom_percent = static_cast<int>(state.range(0));
    QImage widget(mapari::drawing_width_pixels * zoom_percent / 100,
                  mapari::drawing_height_pixels * zoom_percent / 100, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&widget);
        mapari::qt::paint_surface(painter, content, widget.size());
    }
    std::size_t points = 0;
    for (const mapari::Polyline& line : content.drawing) points += line.points.size();
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_RedrawTraceWindow)
    ->ArgName("zoom_percent")
    ->Arg(100)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    QGuiApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
