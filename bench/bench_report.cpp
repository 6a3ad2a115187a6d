// Speed of the study's report (mapari-review --results --html, mapari-batch
// --report): the index and the 200 pages of a study of 200 recordings, each
// with its maps, its beat-to-beat plots and the sheet of its saved beat. The
// study is made once: four synthetic recordings of 4 s (seeds 1 to 4)
// analysed by the batch, then each of their folders and rows of the tables
// copied under 50 names. It must take at most 10 s on a 2-core machine; the
// counter `recordings_per_second` is the rate.
// Run: build/bench/bench_report.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch_command.hpp"
#include "formats/files.hpp"
#include "review/study_report.hpp"
#include "synthesis/synth_model.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int analysed = 4;
constexpr int study_size = 200;

std::string source_name(int k) {
    return "syn" + std::to_string(k % analysed + 1);
}

std::string copy_name(int k) {
    return "rec" + std::to_string(k + 1);
}

// The batch's study of the four recordings.
void analyse_four(const fs::path& folder) {
    std::vector<std::string> arguments;
    for (int k = 0; k < analysed; ++k) {
        mapari::synth::SynthSettings settings;
        settings.seed = static_cast<std::uint32_t>(k + 1);
        settings.seconds = 4;
        const std::string file = (folder / (source_name(k) + ".dat")).string();
        std::string reason;
        mapari::write_file_atomically(file,
                                      mapari::encode_frames(mapari::synth::render_samples(
                                          mapari::synth::make_model(settings))),
                                      reason);
        arguments.push_back(file);
    }
    for (const char* word : {"--out", "analysed"}) arguments.emplace_back(word);
    arguments.back() = (folder / "analysed").string();
    std::ostringstream out, errors;
    mapari::run_batch_command(arguments, out, errors, false);
}

// The table with its rows of each of the four copied under the names of the study.
std::string copied_table(const std::string& table) {
    const std::size_t header_end = table.find('\n') + 1;
    std::string copied = table.substr(0, header_end);
    for (int k = 0; k < study_size; ++k) {
        const std::string from = source_name(k) + ",";
        for (std::size_t at = header_end; at < table.size();) {
            const std::size_t end = table.find('\n', at) + 1;
            if (table.compare(at, from.size(), from) == 0)
                copied +=
                    copy_name(k) + "," + table.substr(at + from.size(), end - at - from.size());
            at = end;
        }
    }
    return copied;
}

fs::path make_study(const fs::path& folder) {
    analyse_four(folder);
    fs::path study = folder / "study";
    fs::create_directories(study);
    for (int k = 0; k < study_size; ++k)
        fs::copy(folder / "analysed" / source_name(k), study / copy_name(k),
                 fs::copy_options::recursive);
    for (const char* table : {"results.csv", "recordings.csv", "beats.csv"}) {
        std::string text, reason;
        mapari::read_whole_file((folder / "analysed" / table).string(), text, reason);
        mapari::write_file_atomically((study / table).string(), copied_table(text), reason);
    }
    return study;
}

void BM_ReportOfTwoHundredRecordings(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "mapari-bench-report";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path study = make_study(folder);
    const mapari::review::ResultsRequest request{(study / "results.csv").string(), ""};
    for (auto _ : state) {
        int pages = 0;
        std::string message;
        if (!mapari::review::write_study_report(request, pages, message) || pages != study_size)
            state.SkipWithError(("the report was not written: " + message).c_str());
    }
    state.counters["recordings_per_second"] = benchmark::Counter(
        static_cast<double>(study_size * state.iterations()), benchmark::Counter::kIsRate);
    fs::remove_all(folder);
}
BENCHMARK(BM_ReportOfTwoHundredRecordings)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
