// Whole imports: sources written here in EDF, BDF and GDF and the real WFDB
// and MATLAB sources, where their beats and microvolts land in the pieces,
// and every kind of source that is refused with nothing written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "beats/detection.hpp"
#include "biosig_files.hpp"
#include "formats/map_recording.hpp"
#include "import_fixture.hpp"
#include "importing/import.hpp"
#include "support/stretch.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {
namespace {

namespace fs = std::filesystem;
using namespace importing;
using test_support::read_bytes;
using test_support::write_bytes;

using Writer = bool (*)(const fs::path&, double, const std::vector<TestSignal>&, std::string&);

// The value a file holds for each of the values: the physical value of its
// nearest digital sample.
std::vector<double> as_held(const std::vector<double>& values, int bits) {
    const std::optional<Calibration> calibration = calibration_for(values, bits);
    std::vector<double> held;
    for (double value : values)
        held.push_back(calibration->physical_minimum +
                       static_cast<double>(calibration->digital_value(value) -
                                           static_cast<long>(calibration->digital_minimum)) *
                           calibration->step());
    return held;
}

TEST_F(Import, BeatsLandOnTheirMillisecondAndRampsOnTheirMicrovoltsAtEveryRate) {
    const struct {
        const char* extension;
        Writer write;
        int bits;
    } formats[] = {{"edf", write_edf, 16}, {"bdf", write_bdf, 24}, {"gdf", write_gdf, 16}};
    constexpr double seconds = 6.0, first_ms = 200.0, period_ms = 800.0;
    for (const auto& format : formats)
        for (double rate_hz : {250.0, 500.0, 1000.0, 2048.0}) {
            SCOPED_TRACE(std::string(format.extension) + " at " + std::to_string(rate_hz) + " Hz");
            const fs::path source = folder_.path() / (std::string("train.") + format.extension);
            const std::vector<double> ramp_values = ramp(rate_hz, seconds, -1000.0, 1000.0);
            ASSERT_TRUE(format.write(
                source, rate_hz,
                {{"beats", "uV", beat_train(rate_hz, seconds, first_ms, period_ms, 1500.0)},
                 {"ramp", "mV", ramp_values}},
                reason_))
                << reason_;
            const std::string name =
                format.extension[0] + std::to_string(static_cast<int>(rate_hz));
            ASSERT_TRUE(import(source, name)) << reason_;
            // 1 V of ramp in microvolts needs 50 microvolts a count.
            EXPECT_EQ(report_.microvolts_per_count, 50);
            EXPECT_EQ(report_.resampled, rate_hz != 1000.0);
            const std::vector<int> beats = lead_samples(name + "001.dat", 1);
            const std::vector<int> ramp_counts = lead_samples(name + "001.dat", 2);
            ASSERT_EQ(beats.size(), 6000u);
            for (double beat_ms = first_ms; beat_ms < seconds * 1000.0 - 100.0;
                 beat_ms += period_ms) {
                const auto from = beats.begin() + static_cast<long>(beat_ms) - 40;
                const long peak_ms = std::max_element(from, from + 80) - beats.begin();
                EXPECT_NEAR(static_cast<double>(peak_ms), beat_ms, 1.0);
            }
            // The ramp as the file holds it, at m ms between its samples, away
            // from the ends that a band-limited resampler cannot know.
            const std::vector<double> held = as_held(ramp_values, format.bits);
            for (int ms = 500; ms < 5500; ms += 97) {
                const double at = ms * rate_hz / 1000.0;
                const auto before = static_cast<std::size_t>(at);
                const double millivolts = held[before] + (held[before + 1] - held[before]) *
                                                             (at - static_cast<double>(before));
                EXPECT_NEAR(ramp_counts[static_cast<std::size_t>(ms)], millivolts * 1000.0 / 50.0,
                            1.0)
                    << ms << " ms";
            }
        }
}

// The little-endian 16-bit samples of signal `signal` (0-based) of a WFDB
// format-16 file of `signals` interleaved signals.
std::vector<int> format16_samples(const fs::path& file, int signals, int signal) {
    const std::string bytes = read_bytes(file);
    std::vector<int> samples;
    for (std::size_t at = 2 * static_cast<std::size_t>(signal); at + 1 < bytes.size();
         at += 2 * static_cast<std::size_t>(signals))
        samples.push_back(
            static_cast<std::int16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8));
    return samples;
}

TEST_F(Import, PtbRecordAtOneKilohertzKeepsItsSamplesScaledByOneFactor) {
    const fs::path header = source_folder() / "s0010_re.hea";
    if (!fs::exists(header)) GTEST_SKIP() << "the real sources are not at hand";
    ASSERT_TRUE(import(header, "ptb")) << reason_;
    EXPECT_FALSE(report_.resampled);
    EXPECT_EQ(report_.labels.size(), 15u);
    EXPECT_EQ(data_files(),
              (std::vector<std::string>{"ptb.import.json", "ptb001.dat", "ptb002.dat"}));
    // 2000 ADC units a millivolt: half a microvolt a unit.
    const double counts_per_unit = 0.5 / report_.microvolts_per_count;
    const struct {
        int lead;
        fs::path file;
        int signals, signal;
    } leads[] = {
        {1, "s0010_re.dat", 12, 0}, {12, "s0010_re.dat", 12, 11}, {15, "s0010_re.xyz", 3, 2}};
    for (const auto& lead : leads) {
        const std::vector<int> source =
            format16_samples(source_folder() / lead.file, lead.signals, lead.signal);
        ASSERT_EQ(source.size(), 38400u);
        const std::vector<int> first = lead_samples("ptb001.dat", lead.lead);
        const std::vector<int> second = lead_samples("ptb002.dat", lead.lead);
        ASSERT_EQ(first.size(), 32000u);
        ASSERT_EQ(second.size(), 10400u);
        for (std::size_t t = 0; t < first.size(); ++t)
            ASSERT_NEAR(first[t], source[t] * counts_per_unit, 1.0)
                << "lead " << lead.lead << " ms " << t;
        for (std::size_t t = 0; t < second.size(); ++t)
            ASSERT_NEAR(second[t], source[28000 + t] * counts_per_unit, 1.0)
                << "lead " << lead.lead;
    }
}

// The beat annotations of an MIT annotation file, as samples of the record.
std::vector<long> annotated_beats(const fs::path& file) {
    const std::string bytes = read_bytes(file);
    const auto word = [&bytes](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[at]) |
                                     static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    const std::vector<unsigned> beat_codes = {1,  2,  3,  4,  5,  6,  7,  8,  9, 10,
                                              11, 12, 13, 25, 30, 34, 35, 38, 41};
    std::vector<long> beats;
    long time = 0;
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const unsigned code = word(at) >> 10, value = word(at) & 0x3ff;
        if (code == 0 && value == 0) break;
        if (code == 59) {  // a long interval in the next two words, high word first
            time += static_cast<long>(word(at + 2) << 16 | word(at + 4));
            at += 4;
        } else if (code == 63) {  // an auxiliary text of `value` bytes, padded to words
            at += 2 * ((value + 1) / 2);
        } else if (code < 59) {
            time += value;
            if (std::find(beat_codes.begin(), beat_codes.end(), code) != beat_codes.end())
                beats.push_back(time);
        }
    }
    return beats;
}

TEST_F(Import, MitRecordResampledPutsTheBeatsTheProgramFindsOnTheAnnotatedOnes) {
    const fs::path source = source_folder();
    if (!fs::exists(source / "100.hea") || !fs::exists(source / "100.atr"))
        GTEST_SKIP() << "the real sources are not at hand";
    // The first 100 s of the record: the same signal file under a header that says so.
    const std::string header = read_bytes(source / "100.hea");
    std::string shorter = header;
    shorter.replace(shorter.find("100 2 360 650000"), 16, "100 2 360 36000");
    write_bytes(folder_.path() / "100.hea", shorter);
    fs::create_symlink(source / "100.dat", folder_.path() / "100.dat");
    ASSERT_TRUE(import(folder_.path() / "100.hea", "mit", 0.0, "13,MLII\n23,MLII\n37,MLII\n"))
        << reason_;
    ASSERT_EQ(report_.pieces.size(), 4u);

    const std::vector<long> annotated = annotated_beats(source / "100.atr");
    ASSERT_GT(annotated.size(), 100u);
    EXPECT_EQ(annotated[0], 77);  // as the cardiologists' list of the first 32 s has it
    EXPECT_EQ(annotated[1], 370);
    int beats_found = 0;
    for (const ImportedPiece& piece : report_.pieces)
        for (int second = 0; second + 4 <= piece.frames / 1000; second += 4) {
            const auto store =
                test_support::read_stretch(data_, "mit", piece.file_name.substr(3, 3), second);
            detect_beats(store->settings, store->recording, store->display, display_last_candidate);
            std::vector<int> found = test_support::beat_list(*store);
            found.pop_back();  // the closing position of the search, no beat
            for (int position : found) {
                const double ms =
                    static_cast<double>(piece.first_frame + 1000 * second + position - 1);
                const auto nearest =
                    std::min_element(annotated.begin(), annotated.end(), [ms](long a, long b) {
                        return std::fabs(static_cast<double>(a) * 1000.0 / 360.0 - ms) <
                               std::fabs(static_cast<double>(b) * 1000.0 / 360.0 - ms);
                    });
                EXPECT_LE(std::fabs(static_cast<double>(*nearest) * 1000.0 / 360.0 - ms), 60.0)
                    << piece.file_name << " second " << second << " beat at sample " << position;
                ++beats_found;
            }
        }
    EXPECT_GT(beats_found, 100);
}

TEST_F(Import, SockBeatOfHalfASecondIsRefusedAsShorterThanFourSeconds) {
    const fs::path source = source_folder() / "Run0001-cappedsock.mat";
    if (!fs::exists(source)) GTEST_SKIP() << "the real sources are not at hand";
    EXPECT_FALSE(import(source, "sock", 1000.0));
    EXPECT_EQ(reason_, source.string() +
                           ": is 383 ms long; a recording needs at least 4 s, or a single beat "
                           "repeated with --repeat-every MS");
    EXPECT_TRUE(data_files().empty());
}

// Five seconds of two signals at 500 Hz as CSV text, with `last_line` added.
std::string csv_text(const std::string& last_line = "") {
    std::string text = "V1,V2\n";
    for (int k = 0; k < 2500; ++k)
        text += std::to_string(k % 7) + "," + std::to_string(k % 5) + "\n";
    return text + last_line;
}

TEST_F(Import, SourcesThatCannotBeImportedAreNamedWithTheReasonAndNothingIsWritten) {
    std::string reason;
    ASSERT_TRUE(write_edf(folder_.path() / "good.edf", 500,
                          {{"A", "uV", ramp(500, 5, -100, 100)}, {"B", "uV", ramp(500, 5, 0, 9)}},
                          reason))
        << reason;
    const std::string edf = read_bytes(folder_.path() / "good.edf");
    const struct {
        const char* file;
        std::string bytes;
        double rate_hz;
        const char* lead_map;
        const char* name;
        std::string reason;  // after "<source>: ", or whole when it starts with '!'
    } cases[] = {
        {"noise.edf", std::string(3000, '\x9c'), 0, "", "n", ""},
        {"cut.edf", edf.substr(0, edf.size() - 1000), 0, "", "n", ""},
        {"empty.csv", "", 500, "", "n", "is empty"},
        {"ragged.csv", csv_text("1,2,3\n"), 500, "", "n", ""},
        {"letters.csv", csv_text("1,x\n"), 500, "", "n", ""},
        {"nan.csv", csv_text("1,nan\n"), 500, "", "n", ""},
        {"short.csv", "V1\n1\n2\n", 500, "", "n",
         "is 4 ms long; a recording needs at least 4 s, or a single beat repeated with "
         "--repeat-every MS"},
        {"no-rate.csv", csv_text(), 0, "", "n", "the file states no rate; give it with --rate-hz"},
        {"rate.edf", edf, 1000, "", "n",
         "the file says its rate is 500 Hz; --rate-hz says 1000 Hz"},
        {"fake.hea", "not a header at all\n", 0, "", "n", ""},
        {"100.dat", std::string(5000, '\x01'), 0, "", "n",
         "is binary data in no format the importer knows"},
        {"mapped.csv", csv_text(), 500, "1,V1\n2,V9\n", "n",
         "!" + (folder_.path() / "map.csv").string() +
             ": line 2: the source has no signal \"V9\"; its signals, by label or by number "
             "from 1 to 2: \"V1\", \"V2\""},
        {"name.csv", csv_text(), 500, "", "abcdefg",
         "!the name \"abcdefg\" cannot be used: it must be 1 to 6 bytes long"},
        {"slash.csv", csv_text(), 500, "", "a/b",
         "!the name \"a/b\" cannot be used: it holds a path separator"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path source = folder_.path() / c.file;
        write_bytes(source, c.bytes);
        EXPECT_FALSE(import(source, c.name, c.rate_hz, c.lead_map));
        if (c.reason.starts_with("!"))
            EXPECT_EQ(reason_, c.reason.substr(1));
        else if (!c.reason.empty())
            EXPECT_EQ(reason_, source.string() + ": " + c.reason);
        else
            EXPECT_TRUE(reason_.starts_with(source.string() + ": ") &&
                        reason_.size() > source.string().size() + 2)
                << reason_;
        EXPECT_TRUE(data_files().empty()) << reason_;
    }
}

TEST_F(Import, RecordsHowThePiecesWereMadeAndNeverReplacesRecordingsThatAreThere) {
    write_bytes(folder_.path() / "a.csv", csv_text());
    ASSERT_TRUE(import(folder_.path() / "a.csv", "run", 500.0)) << reason_;
    const std::string first = read_bytes(data_ / "run001.dat");
    EXPECT_EQ(read_bytes(data_ / "run.import.json"),
              "{\n  \"source\": \"" + (folder_.path() / "a.csv").string() +
                  "\",\n  \"format\": \"CSV\",\n  \"source_rate_hz\": 500,\n"
                  "  \"resampling\": \"to 1000 Hz, soxr very high quality\",\n"
                  "  \"microvolts_per_count\": 1,\n  \"channels\": [\n"
                  "    {\"channel\": 9, \"lead\": \"1\", \"signal\": 1, \"label\": \"V1\"},\n"
                  "    {\"channel\": 10, \"lead\": \"2\", \"signal\": 2, \"label\": \"V2\"}\n"
                  "  ],\n  \"pieces\": [\n"
                  "    {\"file\": \"run001.dat\", \"start_s\": 0, \"frames\": 5000}\n  ],\n"
                  "  \"clipped\": [],\n  \"notes\": [\"values taken as millivolts\", "
                  "\"no signal for map leads 3-64: they stay zero\"],\n"
                  "  \"program\": \"mapari-import\"\n}\n");
    write_bytes(folder_.path() / "b.csv", csv_text("9,9\n"));
    EXPECT_FALSE(import(folder_.path() / "b.csv", "run", 500.0));
    EXPECT_EQ(reason_, (data_ / "run001.dat").string() +
                           " is there already; choose another name or move it away");
    EXPECT_EQ(read_bytes(data_ / "run001.dat"), first);
    EXPECT_EQ(data_files(), (std::vector<std::string>{"run.import.json", "run001.dat"}));
}

}  // namespace
}  // namespace mapari::importing_tests
