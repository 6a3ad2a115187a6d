// Speed and peak memory of mapari-import on a long source as labs record it:
// a 30-minute EDF of 64 leads at 2000 Hz (a beat train on every lead), read,
// resampled to 1000 Hz, scaled and written as 65 pieces. The benchmark writes
// the EDF itself through BioSig, a few data records at a time, into a
// temporary folder.
//
// The import runs in a child process of its own, so that its peak resident
// memory (ru_maxrss of the child, read through wait4) is the import's alone
// and not the largest of everything this program ran before. Counters:
// `peak_memory_mb`, the child's peak in megabytes (labelled when above 300 MB),
// and `real_time_factor`, how many times faster than the recording lasted the
// import runs.
// Run: build/bench/bench_import.
#include <benchmark/benchmark.h>
#include <biosig.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "importing/import.hpp"

namespace {

using namespace mapari;
namespace fs = std::filesystem;

constexpr long source_seconds = 1800;
constexpr std::uint32_t source_rate_hz = 2000;
constexpr unsigned source_leads = 64;
constexpr long records_per_write = 10;  // 1-s data records handed to BioSig at once
constexpr double microvolts_per_digit = 0.1;
constexpr double peak_memory_limit_mb = 300.0;

// Lead `lead` (from 0) at sample `sample`: a triangular spike 20 ms wide every
// 800 ms from 200 + lead ms on, of 1500 + 10 * lead microvolts; zero between.
double beat_train_microvolts(unsigned lead, long sample) {
    const double ms = static_cast<double>(sample) * 1000.0 / source_rate_hz;
    const double first_ms = 200.0 + lead;
    if (ms < first_ms - 10.0) return 0.0;
    const double from_beat_ms = std::fmod(ms - first_ms + 400.0, 800.0) - 400.0;
    return (1500.0 + 10.0 * lead) * std::max(0.0, 1.0 - std::fabs(from_beat_ms) / 10.0);
}

void describe_channels(HDRTYPE& header) {
    for (unsigned lead = 0; lead < source_leads; ++lead) {
        CHANNEL_TYPE& channel = header.CHANNEL[lead];
        std::snprintf(channel.Label, sizeof channel.Label, "lead %u", lead + 1);
        channel.PhysDimCode = PhysDimCode("uV");
        channel.DigMin = -32768;
        channel.DigMax = 32767;
        channel.PhysMin = channel.DigMin * microvolts_per_digit;
        channel.PhysMax = channel.DigMax * microvolts_per_digit;
        channel.Cal = microvolts_per_digit;
        channel.Off = 0.0;
        channel.GDFTYP = 3;  // int16
        channel.OnOff = 1;
        channel.SPR = source_rate_hz;
    }
}

// Writes the EDF through BioSig, records_per_write records at a time: BioSig
// writes as many records as the header's record count says, so the count is
// set to each block's before its write and back to the whole file's before
// the file is closed.
bool write_source(const fs::path& file) {
    const std::unique_ptr<HDRTYPE, void (*)(HDRTYPE*)> header(constructHDR(source_leads, 0),
                                                              destructHDR);
    header->TYPE = EDF;
    header->SampleRate = source_rate_hz;
    header->SPR = source_rate_hz;
    header->NRec = source_seconds;
    header->FLAG.UCAL = 1;  // the values handed over are digital values already
    describe_channels(*header);
    if (sopen(file.c_str(), "w", header.get()) == nullptr || header->AS.B4C_ERRNUM != 0)
        return false;
    const long block_samples = records_per_write * source_rate_hz;
    std::vector<double> block(static_cast<std::size_t>(block_samples) * source_leads);
    bool whole = true;
    for (long first = 0; whole && first < source_seconds; first += records_per_write) {
        for (unsigned lead = 0; lead < source_leads; ++lead)
            for (long k = 0; k < block_samples; ++k)
                block[lead * static_cast<std::size_t>(block_samples) +
                      static_cast<std::size_t>(k)] =
                    std::round(beat_train_microvolts(lead, first * source_rate_hz + k) /
                               microvolts_per_digit);
        header->NRec = records_per_write;
        whole = swrite(block.data(), records_per_write, header.get()) == records_per_write &&
                header->AS.B4C_ERRNUM == 0;
    }
    header->NRec = source_seconds;
    sclose(header.get());
    return whole;
}

// Runs the import in a child process; false when it fails. The child's peak
// resident memory goes to `peak_kilobytes`.
bool import_in_child(const importing::ImportRequest& request, long& peak_kilobytes) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        importing::ImportReport report;
        std::string reason;
        const bool imported = importing::import_recording(request, {}, report, reason);
        if (!imported) std::fprintf(stderr, "bench_import: %s\n", reason.c_str());
        ::_exit(imported ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child) return false;
    peak_kilobytes = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_ImportThirtyMinuteEdf(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "mapari-bench-import";
    fs::remove_all(folder);
    fs::create_directories(folder / "data");
    importing::ImportRequest request;
    request.source = folder / "thirty-minutes.edf";
    request.data_directory = folder / "data";
    request.name = "bench";
    if (!write_source(request.source)) state.SkipWithError("BioSig cannot write the EDF source");
    long peak_kilobytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(request.data_directory);
        fs::create_directories(request.data_directory);
        state.ResumeTiming();
        long child_peak = 0;
        if (!import_in_child(request, child_peak)) {
            state.SkipWithError("the import failed");
            break;
        }
        peak_kilobytes = std::max(peak_kilobytes, child_peak);
    }
    const double peak_mb = static_cast<double>(peak_kilobytes) / 1024.0;
    state.counters["peak_memory_mb"] = peak_mb;
    state.counters["real_time_factor"] = benchmark::Counter(
        static_cast<double>(source_seconds * state.iterations()), benchmark::Counter::kIsRate);
    if (peak_mb > peak_memory_limit_mb) state.SetLabel("peak memory above 300 MB");
    fs::remove_all(folder);
}
BENCHMARK(BM_ImportThirtyMinuteEdf)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
