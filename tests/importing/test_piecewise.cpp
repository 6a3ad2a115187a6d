// The import reads its source and converts it a block at a time. Its pieces
// are byte for byte those of the whole source converted at once (as the
// import did before), whatever the blocks; and a source that ends early in
// the second pass, a write that fails or a file that appears meanwhile leave
// nothing of the import behind.
#include <gtest/gtest.h>
#include <soxr.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "biosig_files.hpp"
#include "import_fixture.hpp"
#include "importing/biosig_reader.hpp"
#include "importing/delimited_text.hpp"
#include "importing/resampling.hpp"
#include "importing/wfdb_reader.hpp"
#include "support/child_run.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {
namespace {

namespace fs = std::filesystem;
using namespace importing;
using test_support::read_bytes;
using test_support::write_bytes;

// The whole signal resampled in one call.
std::vector<double> resampled_at_once(const std::vector<double>& signal, double rate_hz) {
    if (rate_hz == 1000.0) return signal;
    std::vector<double> resampled(resampled_length(signal.size(), rate_hz));
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    std::size_t written = 0;
    EXPECT_EQ(soxr_oneshot(rate_hz, 1000.0, 1, signal.data(), signal.size(), nullptr,
                           resampled.data(), resampled.size(), &written, &io, &quality, nullptr),
              nullptr);
    resampled.resize(written);
    return resampled;
}

// A signal of noise, the same every run.
std::vector<double> noise(std::size_t samples) {
    std::vector<double> values(samples);
    std::uint32_t state = 2024;
    for (double& value : values) {
        state = state * 1664525u + 1013904223u;
        value = static_cast<double>(state >> 8) / 16777216.0 * 2000.0 - 1000.0;
    }
    return values;
}

TEST(Resampler, BlocksOfAnySizeGiveTheValuesOfResamplingTheWholeSignalAtOnce) {
    const std::vector<double> signal = noise(20011);
    for (double rate_hz : {250.0, 360.0, 1000.0, 2048.0})
        for (std::size_t block : {std::size_t{1}, std::size_t{997}, std::size_t{20011}}) {
            SCOPED_TRACE(std::to_string(rate_hz) + " Hz in blocks of " + std::to_string(block));
            Resampler resampler(rate_hz, signal.size());
            std::vector<double> resampled;
            std::string reason;
            for (std::size_t first = 0; first < signal.size(); first += block)
                ASSERT_TRUE(resampler.add(
                    std::span(signal).subspan(first, std::min(block, signal.size() - first)),
                    resampled, reason))
                    << reason;
            ASSERT_TRUE(resampler.finish(resampled, reason)) << reason;
            EXPECT_EQ(resampled.size(), resampled_length(signal.size(), rate_hz));
            EXPECT_TRUE(resampled == resampled_at_once(signal, rate_hz));  // bit for bit
        }
}

// The pieces of a whole source converted at once: every signal the map takes
// resampled in one call, the count step from the largest magnitude of them
// all, every channel in counts, each piece encoded from the whole channels.
struct AtOnce {
    std::vector<std::string> pieces;
    std::vector<std::pair<int, long long>> clipped;
    int microvolts_per_count = 0;
};

AtOnce converted_at_once(const SourceRecording& source, double rate_hz, const LeadMap& map,
                         const std::vector<ImportedPiece>& pieces) {
    std::vector<std::vector<double>> used(source.signals.size());
    double largest = 0.0;
    for (int signal : map.signal_of_channel)
        if (signal >= 0 && used[static_cast<std::size_t>(signal)].empty()) {
            std::vector<double>& values = used[static_cast<std::size_t>(signal)];
            values = resampled_at_once(source.signals[static_cast<std::size_t>(signal)].microvolts,
                                       rate_hz);
            for (double value : values) largest = std::max(largest, std::fabs(value));
        }
    AtOnce at_once;
    at_once.microvolts_per_count = microvolts_per_count(largest);
    const long long frames = pieces.back().first_frame + pieces.back().frames;
    std::vector<std::int16_t> samples;
    for (long long t = 0; t < frames; ++t)
        for (int c = 1; c <= channel_count; ++c) {
            const int signal = map.signal_of_channel[static_cast<std::size_t>(c - 1)];
            const double counts =
                signal < 0
                    ? 0.0
                    : std::round(
                          used[static_cast<std::size_t>(signal)][static_cast<std::size_t>(t)] /
                          at_once.microvolts_per_count);
            const double held = std::clamp(counts, -32768.0, 32767.0);
            if (held != counts) {
                if (at_once.clipped.empty() || at_once.clipped.back().first != c)
                    at_once.clipped.emplace_back(c, 0);
                ++at_once.clipped.back().second;
            }
            samples.push_back(static_cast<std::int16_t>(held));
        }
    std::sort(at_once.clipped.begin(), at_once.clipped.end());
    for (const ImportedPiece& piece : pieces)
        at_once.pieces.push_back(encode_frames(
            std::span(samples).subspan(static_cast<std::size_t>(piece.first_frame) * channel_count,
                                       static_cast<std::size_t>(piece.frames) * channel_count)));
    return at_once;
}

// The seconds a source lasts: three pieces, each sharing 4 s with the next.
constexpr int source_seconds = 61;

// At 2048 Hz: beats, a ramp to 2 V (beyond 16 bits at 50 microvolts a count,
// so clipped) and noise.
fs::path write_train_edf(const fs::path& folder) {
    fs::path file = folder / "train.edf";
    std::vector<double> noisy = noise(std::size_t{2048} * std::size_t{source_seconds});
    for (double& value : noisy) value /= 10.0;
    std::string reason;
    EXPECT_TRUE(write_edf(file, 2048,
                          {{"beats", "uV", beat_train(2048, source_seconds, 200, 800, 1500)},
                           {"ramp", "mV", ramp(2048, source_seconds, -500, 2000)},
                           {"noise", "mV", noisy}},
                          reason))
        << reason;
    return file;
}

// Two columns at 500 Hz.
fs::path write_columns_csv(const fs::path& folder) {
    std::string text = "a [uV],b [uV]\n";
    for (int t = 0; t < 500 * source_seconds; ++t)
        text += std::to_string((t * 37) % 1001 - 500) + "," + std::to_string(t % 250) + "\n";
    write_bytes(folder / "columns.csv", text);
    return folder / "columns.csv";
}

// The first 61 s of the MIT record 100, under a header that says so.
fs::path write_mit_header(const fs::path& folder) {
    std::string header = read_bytes(source_folder() / "100.hea");
    header.replace(header.find("100 2 360 650000"), 16, "100 2 360 21960");
    write_bytes(folder / "100.hea", header);
    fs::create_symlink(source_folder() / "100.dat", folder / "100.dat");
    return folder / "100.hea";
}

bool read_whole(const fs::path& file, SourceRecording& recording, std::string& reason) {
    if (file.extension() == ".edf") return read_biosig_file(file, recording, reason);
    if (file.extension() == ".hea") return read_wfdb_record(file, recording, reason);
    return read_delimited_text(read_bytes(file), recording, reason);
}

TEST_F(Import, PiecesConvertedBlockByBlockAreThoseOfTheWholeSourceConvertedAtOnce) {
    const bool mit_at_hand = fs::exists(source_folder() / "100.hea");
    const struct {
        fs::path source;
        double rate_hz;
        const char* lead_map;
        std::size_t block_samples;
    } cases[] = {
        {write_train_edf(folder_.path()), 0.0, "", 3001},
        {write_columns_csv(folder_.path()), 500.0, "1,b\n2,a\n3,a\naux8,b\n", 777},
        {mit_at_hand ? write_mit_header(folder_.path()) : fs::path(), 0.0,
         "13,MLII\n23,V5\naux1,MLII\n", 1000},
    };
    for (const auto& c : cases) {
        if (c.source.empty()) continue;  // the real record is not at hand
        SCOPED_TRACE(c.source.filename().string());
        fs::remove_all(data_);
        fs::create_directories(data_);
        block_samples_ = c.block_samples;
        ASSERT_TRUE(import(c.source, "run", c.rate_hz, c.lead_map)) << reason_;
        ASSERT_EQ(report_.pieces.size(), 3u);
        SourceRecording whole;
        std::string reason;
        ASSERT_TRUE(read_whole(c.source, whole, reason)) << reason;
        const AtOnce at_once =
            converted_at_once(whole, report_.source_rate_hz, report_.map, report_.pieces);
        EXPECT_EQ(report_.microvolts_per_count, at_once.microvolts_per_count);
        EXPECT_EQ(report_.clipped, at_once.clipped);
        for (std::size_t k = 0; k < report_.pieces.size(); ++k)
            EXPECT_TRUE(read_bytes(data_ / report_.pieces[k].file_name) == at_once.pieces[k])
                << report_.pieces[k].file_name;
    }
}

// Cuts the file to `bytes` when the import's second pass begins.
ImportProgress cut_when_writing_begins(const fs::path& file, std::uintmax_t bytes) {
    return [file, bytes, cut = false](std::string_view stage, double) mutable {
        if (stage != "writing" || cut) return;
        fs::resize_file(file, bytes);
        cut = true;
    };
}

// 70 s of two signals, beats and a ramp, in an EDF file of 16-bit samples.
fs::path write_two_signal_edf(const fs::path& file, double rate_hz) {
    std::string reason;
    EXPECT_TRUE(write_edf(file, rate_hz,
                          {{"A", "uV", beat_train(rate_hz, 70, 200, 800, 1500)},
                           {"B", "uV", ramp(rate_hz, 70, -100, 100)}},
                          reason))
        << reason;
    return file;
}

TEST_F(Import, ASourceThatEndsEarlyInTheSecondPassIsRefusedAndNothingIsLeft) {
    // EDF: 2000 bytes a record after a header of 768.
    const fs::path edf = write_two_signal_edf(folder_.path() / "cut.edf", 500);
    // WFDB: two signals of 10000 samples in format 16, 4 bytes a frame.
    const fs::path header = folder_.path() / "r.hea";
    write_bytes(header,
                "r 2 1000 10000\nr.dat 16 200/mV 16 0 0 0 0 A\nr.dat 16 200/mV 16 0 0 0 0 B\n");
    std::string frames;
    for (int t = 0; t < 10000; ++t) frames += std::string{static_cast<char>(t % 200), 0, 5, 0};
    write_bytes(folder_.path() / "r.dat", frames);
    const struct {
        fs::path source;
        fs::path cut_file;
        std::uintmax_t cut_to;
        std::string reason;
    } cases[] = {
        {edf, edf, 768 + 10 * 2000,
         edf.string() + ": is shorter than its header says: it holds 10 of 70 data records"},
        {header, folder_.path() / "r.dat", std::uintmax_t{4} * 1000,
         header.string() +
             ": r.dat: holds only 1000 samples of each of its 2 signals now; it held 10000 "
             "when it was opened"},
    };
    block_samples_ = 1000;
    for (const auto& c : cases) {
        progress_ = cut_when_writing_begins(c.cut_file, c.cut_to);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(import(c.source, "run"));
        // The file's length is checked before BioSig reads and warns.
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(reason_, c.reason);
        EXPECT_TRUE(data_files().empty()) << data_files().front();
    }
}

// Runs the import of `source` in a child process whose files may grow to
// `limit_bytes` from the start, or once `limit_when` exists; returns the
// reason the child's import gave ("imported" when it wrote its files).
std::string import_in_child(const fs::path& source, const fs::path& data, rlim_t limit_bytes,
                            const fs::path& limit_when) {
    const test_support::ChildRun run = test_support::run_in_child([&](std::string& reason) {
        const rlimit limit{limit_bytes, limit_bytes};
        if (limit_when.empty()) ::setrlimit(RLIMIT_FSIZE, &limit);
        ImportRequest request;
        request.source = source;
        request.data_directory = data;
        request.name = "run";
        request.block_samples = 1000;
        ImportReport report;
        reason = "imported";
        importing::import_recording(
            request,
            [&](std::string_view, double) {
                if (!limit_when.empty() && fs::exists(limit_when))
                    ::setrlimit(RLIMIT_FSIZE, &limit);
            },
            report, reason);
        return 0;
    });
    EXPECT_EQ(run.exit_code, 0);
    return run.said;
}

TEST_F(Import, AWriteThatFailsPartWayLeavesNothingBehind) {
    // Three pieces of 4,608,000, 4,608,000 and 2,016,000 bytes.
    const fs::path edf = write_two_signal_edf(folder_.path() / "long.edf", 1000);
    const struct {
        fs::path limit_when;
        const char* failing_piece;
    } cases[] = {
        {"", "run001.dat"},
        {data_ / "run001.dat.partial", "run002.dat"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            import_in_child(edf, data_, rlim_t{1024} * 1024, c.limit_when),
            "cannot write " + (data_ / c.failing_piece).string() + ": " + std::strerror(EFBIG));
        EXPECT_TRUE(data_files().empty()) << data_files().front();
    }
}

TEST_F(Import, AFileThatAppearsUnderOneOfItsNamesMeanwhileIsNeverReplaced) {
    std::string text = "V1\n";
    for (int t = 0; t < 5000; ++t) text += std::to_string(t % 9) + "\n";
    write_bytes(folder_.path() / "a.csv", text);
    progress_ = [this](std::string_view stage, double) {
        if (stage == "writing" && !fs::exists(data_ / "run.import.json"))
            write_bytes(data_ / "run.import.json", "someone else's\n");
    };
    EXPECT_FALSE(import(folder_.path() / "a.csv", "run", 1000.0));
    EXPECT_EQ(reason_, (data_ / "run.import.json").string() +
                           " is there already; choose another name or move it away");
    EXPECT_EQ(data_files(), std::vector<std::string>{"run.import.json"});
    EXPECT_EQ(read_bytes(data_ / "run.import.json"), "someone else's\n");
}

}  // namespace
}  // namespace mapari::importing_tests
