// The WFDB reader: header fields, each signal format from bytes packed by hand,
// records of several files, every refusal with its message, and the real
// records 100 and s0010_re.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "importing/wfdb_reader.hpp"
#include "support/real_data.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {
namespace {

using importing::SourceRecording;
using Files = std::map<std::string, std::string>;

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values) text.push_back(static_cast<char>(value));
    return text;
}

struct Decoded {
    bool read = false;
    SourceRecording recording;
    std::string reason;
};

Decoded decode(const std::string& header, const Files& files) {
    Decoded decoded;
    decoded.recording.format = "untouched";
    decoded.read = importing::decode_wfdb_record(header, files, decoded.recording, decoded.reason);
    return decoded;
}

// The samples 100 and -60 in format 16.
const Files two_samples = {{"r.dat", bytes({0x64, 0x00, 0xC4, 0xFF})}};

TEST(Wfdb, SignalLineGivesGainBaselineUnitAndLabel) {
    struct Case {
        const char* signal_line;
        const char* label;
        std::vector<double> microvolts;
        const char* unit_note;
    } cases[] = {
        {"r.dat 16 200/mV 12 0 0 0 0 MLII", "MLII", {500.0, -300.0}, ""},
        {"r.dat 16 200 12 0 0 0 0 MLII",
         "MLII",
         {500.0, -300.0},
         "no unit given: millivolts assumed"},
        {"r.dat 16 200(10)/uV 12 0 0 0 0 lead I", "lead I", {0.45, -0.35}, ""},
        {"r.dat 16 50(-4)/\xC2\xB5V 16 7 0 0 0   V 5  ", "V 5", {2.08, -1.12}, ""},
        {"r.dat 16 100/V", "signal 1", {1.0e6, -6.0e5}, ""},
        {"r.dat 16 0/nV",
         "signal 1",
         {0.0005, -0.0003},
         "no gain given: 200 ADC units a physical unit assumed"},
        {"r.dat 16",
         "signal 1",
         {500.0, -300.0},
         "no unit given: millivolts assumed; no gain given: 200 ADC units a physical unit "
         "assumed"},
        {"r.dat 16 400/mV 12 20", "signal 1", {200.0, -200.0}, ""},  // baseline: the ADC zero
        {"r.dat 16 1.6e2(+100)/mV", "signal 1", {0.0, -1000.0}, ""},
        {"r.dat 16 -200/mV", "signal 1", {-500.0, 300.0}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal_line);
        const Decoded decoded =
            decode(std::string("r 1 500 2\n") + c.signal_line + "\n", two_samples);
        ASSERT_TRUE(decoded.read) << decoded.reason;
        const SourceRecording& recording = decoded.recording;
        EXPECT_EQ(recording.format, "WFDB (format 16)");
        EXPECT_EQ(recording.rate_hz, 500.0);
        EXPECT_EQ(recording.unit_note, c.unit_note);
        ASSERT_EQ(recording.signals.size(), 1u);
        EXPECT_EQ(recording.signals[0].label, c.label);
        ASSERT_EQ(recording.samples(), 2u);
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_DOUBLE_EQ(recording.signals[0].microvolts[i], c.microvolts[i]);
    }
}

TEST(Wfdb, RecordLineGivesRateAndLength) {
    struct Case {
        const char* record_line;
        double rate_hz;
        std::size_t samples;
    } cases[] = {
        {"r 1", 250.0, 3},  // the rate by default, the length the file holds
        {"r 1 360", 360.0, 3},
        {"r 1 3.6e2 2", 360.0, 2},
        {"r 1 1000/60(5) 0", 1000.0, 3},  // 0 samples: the length the file holds
        {"r 1 128.5 2 10:00:00 25/04/1989", 128.5, 2},
        {"r\t1\t500\t3", 500.0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record_line);
        const Decoded decoded = decode(std::string(c.record_line) + "\nr.dat 80 1(0)/uV\n",
                                       {{"r.dat", bytes({0x80, 0x81, 0x82})}});
        ASSERT_TRUE(decoded.read) << decoded.reason;
        EXPECT_EQ(decoded.recording.rate_hz, c.rate_hz);
        std::vector<double> expected = {0.0, 1.0, 2.0};
        expected.resize(c.samples);
        EXPECT_EQ(decoded.recording.signals[0].microvolts, expected);
    }
}

// With gain 1, baseline 0 and unit uV, microvolts are the ADC values. No
// sample count: the file gives every sample whose bits it holds whole.
TEST(Wfdb, EachFormatDecodesBytesPackedByHand) {
    struct Case {
        const char* format_field;
        int initial_value;
        std::string file;
        std::vector<double> values;
        const char* format;
    } cases[] = {
        // Low byte first; the odd last byte is no whole sample.
        {"16",
         0,
         bytes({0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0x55}),
         {4660, -1, -32768, 32767},
         "WFDB (format 16)"},
        {"16+3", 0, bytes({'p', 'r', 'e', 0x02, 0x00}), {2}, "WFDB (format 16)"},  // a preamble
        {"16x1:0", 0, bytes({0x02, 0x00}), {2}, "WFDB (format 16)"},
        {"61",
         0,
         bytes({0x12, 0x34, 0xFF, 0xFE, 0x80, 0x00}),
         {4660, -2, -32768},
         "WFDB (format 61)"},
        {"80", 0, bytes({0x80, 0x00, 0xFF, 0x7F}), {0, -128, 127, -1}, "WFDB (format 80)"},
        {"160",
         0,
         bytes({0x00, 0x80, 0x34, 0x12, 0xFF, 0xFF, 0x00, 0x00}),
         {0, 4660 - 32768, 32767, -32768},
         "WFDB (format 160)"},
        // Differences from the initial value 10: +5, -2, -128, +127.
        {"8", 10, bytes({0x05, 0xFE, 0x80, 0x7F}), {15, 13, -115, 12}, "WFDB (format 8)"},
        // 0x123 and 0xFFE; 0x800 and 0x7FF; then 0x001 in a pair cut short.
        {"212",
         0,
         bytes({0x23, 0xF1, 0xFE, 0x00, 0x78, 0xFF, 0x01, 0x00}),
         {291, -2, -2048, 2047, 1},
         "WFDB (format 212)"},
        // Words 0xA80A and 0x57FE: 5 and 0x3FF in bits 1-10, 0x155 in their top
        // 5 bits (0x15 low, 0x0A high). Words 0xEC00 and 0xF800: 0x200, 0,
        // 0x3FD. Then 7 in a group cut short.
        {"310",
         0,
         bytes({0x0A, 0xA8, 0xFE, 0x57, 0x00, 0xEC, 0x00, 0xF8, 0x0E, 0x00}),
         {5, -1, 341, -512, 0, -3, 7},
         "WFDB (format 310)"},
        // Word 0x155FFC05: 5, 0x3FF and 0x155 in bits 0-9, 10-19 and 20-29;
        // then 0x200 and 0x3FD in the three bytes of a group cut short.
        {"311",
         0,
         bytes({0x05, 0xFC, 0x5F, 0x15, 0x00, 0xF6, 0x0F}),
         {5, -1, 341, -512, -3},
         "WFDB (format 311)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format_field);
        const std::string header = std::string("r 1\nr.dat ") + c.format_field + " 1(0)/uV 12 0 " +
                                   std::to_string(c.initial_value) + " 0 0 x\n";
        const Decoded decoded = decode(header, {{"r.dat", c.file}});
        ASSERT_TRUE(decoded.read) << decoded.reason;
        EXPECT_EQ(decoded.recording.format, c.format);
        EXPECT_EQ(decoded.recording.signals[0].microvolts, c.values);
    }
}

TEST(Wfdb, SignalsOfOneFileAreInterleavedInHeaderOrder) {
    // The 212 pairs of the table above: a takes the first of each, b the second.
    const Decoded packed = decode(
        "r 2 360 2\nr.dat 212 1(0)/uV 12 0 0 0 0 a\n"
        "r.dat 212 1(0)/uV 12 0 0 0 0 b\n",
        {{"r.dat", bytes({0x23, 0xF1, 0xFE, 0x00, 0x78, 0xFF})}});
    ASSERT_TRUE(packed.read) << packed.reason;
    EXPECT_EQ(packed.recording.signals[0].microvolts, std::vector<double>({291, -2048}));
    EXPECT_EQ(packed.recording.signals[1].microvolts, std::vector<double>({-2, 2047}));

    // Each signal sums its own differences: a from 100 by +1, +2; b from -100 by -1, -2.
    const Decoded differences = decode("r 2\nr.dat 8 1(0)/uV 8 0 100\nr.dat 8 1(0)/uV 8 0 -100\n",
                                       {{"r.dat", bytes({0x01, 0xFF, 0x02, 0xFE})}});
    ASSERT_TRUE(differences.read) << differences.reason;
    EXPECT_EQ(differences.recording.signals[0].microvolts, std::vector<double>({101, 103}));
    EXPECT_EQ(differences.recording.signals[1].microvolts, std::vector<double>({-101, -103}));
}

TEST(Wfdb, SignalsOfTwoFilesKeepHeaderOrder) {
    const Decoded decoded = decode(
        "s 3 1000 2\ns.dat 16 2(0)/uV 16 0 0 0 0 i\n"
        "s.dat 16 2(0)/uV 16 0 0 0 0 ii\ns.xyz 80 1(0)/mV 8 0 0 0 0 vx\n",
        {{"s.dat", bytes({10, 0, 0xEC, 0xFF, 30, 0, 0xD8, 0xFF})}, {"s.xyz", bytes({0x81, 0x7F})}});
    ASSERT_TRUE(decoded.read) << decoded.reason;
    const SourceRecording& recording = decoded.recording;
    EXPECT_EQ(recording.format, "WFDB (formats 16, 80)");
    ASSERT_EQ(recording.signals.size(), 3u);
    EXPECT_EQ(recording.signals[0].label, "i");
    EXPECT_EQ(recording.signals[0].microvolts, std::vector<double>({5, 15}));
    EXPECT_EQ(recording.signals[1].label, "ii");
    EXPECT_EQ(recording.signals[1].microvolts, std::vector<double>({-10, -20}));
    EXPECT_EQ(recording.signals[2].label, "vx");
    EXPECT_EQ(recording.signals[2].microvolts, std::vector<double>({1000, -1000}));
}

TEST(Wfdb, CommentsBlankLinesAndCarriageReturnsArePassedOver) {
    const Decoded decoded = decode(
        "# made by hand\n   # indented\n\nr 1 360 2\r\n# between\r\n\r\n"
        "r.dat 16 200/mV 12 0 0 0 0 lead I\r\n# after\nnot a signal line: the count is reached\n",
        two_samples);
    ASSERT_TRUE(decoded.read) << decoded.reason;
    EXPECT_EQ(decoded.recording.rate_hz, 360.0);
    EXPECT_EQ(decoded.recording.signals[0].label, "lead I");
    EXPECT_EQ(decoded.recording.signals[0].microvolts, std::vector<double>({500, -300}));
}

TEST(Wfdb, RefusalsNameTheLineOrFileAndTheReason) {
    const Files three_samples = {{"r.dat", bytes({1, 0, 2, 0, 3, 0})}};
    struct Case {
        std::string header;
        Files files;
        const char* reason;
    } cases[] = {
        {"r 1 250 2\nr.dat 16 abc\n", three_samples, "line 2: \"abc\" is not a gain"},
        {"r 1 250 2\nr.dat 16 200/mmHg 12 0 0 0 0 ABP\n", three_samples,
         "line 2: signal \"ABP\" is in mmHg, not a voltage"},
        {"r 1 250 2\nr.dat 24\n", three_samples,
         "line 2: format 24 is not read (formats read: 8, 16, 61, 80, 160, 212, 310, 311)"},
        {"r 1 250 2\nr.dat 0\n", three_samples,
         "line 2: format 0 is not read (formats read: 8, 16, 61, 80, 160, 212, 310, 311)"},
        {"r 1 250 4\nr.dat 16 200 12 0 0 0 0 I\n", three_samples,
         "r.dat: holds 3 samples of signal \"I\"; the header says 4"},
        {"r 2 250 2\nr.dat 16\nr.dat 16\n", three_samples,
         "r.dat: holds 1 sample of each of its 2 signals; the header says 2"},
        {"r 2\nr.dat 16\nq.dat 80\n",
         {{"r.dat", bytes({1, 0, 2, 0, 3, 0})}, {"q.dat", "ab"}},
         "q.dat: holds 2 samples a signal, r.dat 3, and the header gives no number of samples"},
        {"r 1\nr.dat 16\n", {{"r.dat", ""}}, "r.dat: holds no samples"},
        {"r 1 250 2\nq.dat 16\n", three_samples, "q.dat: not among the signal files"},
        {"r 1\nr.dat 16 1e-305/V\n", three_samples,
         "signal \"signal 1\": its gain is too small for its values to be held"},
        {"# only a comment\n\n", three_samples, "no record line, only comments and empty lines"},
        {"r 2 250 2\nr.dat 16\n# no second signal\n", three_samples,
         "the record line counts 2 signals; the lines after it describe 1"},
        {"r/2 1 250\n", three_samples,
         "line 1: records of several segments (\"r/2\") are not read"},
        {"r\n", three_samples, "line 1: the record line gives no number of signals"},
        {"r x\n", three_samples, "line 1: \"x\" is not a number of signals"},
        {"r 0\n", three_samples, "line 1: the record has no signals"},
        {"r 1 0\n", three_samples, "line 1: \"0\" is not a sampling frequency"},
        {"r 1 360/x\n", three_samples, "line 1: \"360/x\" is not a sampling frequency"},
        {"r 1 250 -3\n", three_samples, "line 1: \"-3\" is not a number of samples"},
        {"r 1\nr.dat\n", three_samples, "line 2: no signal format follows the file name"},
        {"r 1\nr.dat 16x2\n", three_samples,
         "line 2: \"16x2\": signals of several samples a frame are not read"},
        {"r 1\nr.dat 16:1\n", three_samples, "line 2: \"16:1\": skewed signals are not read"},
        {"r 1\nr.dat 16+x\n", three_samples, "line 2: \"16+x\" is not a signal format"},
        {"r 1\nr.dat 16 200(x)\n", three_samples, "line 2: \"200(x)\": \"x\" is not a baseline"},
        {"r 1\nr.dat 16 200/\n", three_samples, "line 2: \"200/\" names no unit after its \"/\""},
        {"r 1\nr.dat 16 200 12 1.5\n", three_samples, "line 2: \"1.5\" is not an ADC zero"},
        {"r 1\n~ 16 200 12 0 0 0 0 I\n", three_samples, "line 2: signal \"I\" is kept in no file"},
        {"r 2\nr.dat 16\nr.dat 80\n", three_samples,
         "line 3: the signals of r.dat differ in their format or byte offset"},
        {"r 3\nr.dat 16\nq.dat 16\nr.dat 16\n", three_samples,
         "line 4: the signals of r.dat are not on consecutive lines"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const Decoded decoded = decode(c.header, c.files);
        EXPECT_FALSE(decoded.read);
        EXPECT_EQ(decoded.reason, c.reason);
        EXPECT_EQ(decoded.recording.format, "untouched");
    }
}

TEST(Wfdb, ReadsTheSignalFilesBesideTheHeader) {
    const test_support::TemporaryFolder folder;
    const std::filesystem::path header = folder.path() / "rec.hea";
    SourceRecording recording;
    std::string reason;
    EXPECT_FALSE(importing::read_wfdb_record(header, recording, reason));
    EXPECT_EQ(reason, "No such file or directory");  // the caller names the header

    test_support::write_bytes(header, "rec 1 360\nrec.dat 16 200/mV 12 0 0 0 0 I\n");
    EXPECT_FALSE(importing::read_wfdb_record(header, recording, reason));
    EXPECT_EQ(reason, "rec.dat: No such file or directory");

    test_support::write_bytes(folder.path() / "rec.dat", two_samples.at("r.dat"));
    ASSERT_TRUE(importing::read_wfdb_record(header, recording, reason)) << reason;
    EXPECT_EQ(recording.signals[0].microvolts, std::vector<double>({500, -300}));

    test_support::write_bytes(header, "rec 1 360\nrec.dat 16 abc\n");
    EXPECT_FALSE(importing::read_wfdb_record(header, recording, reason));
    EXPECT_EQ(reason, "line 2: \"abc\" is not a gain");
    EXPECT_EQ(recording.signals[0].microvolts, std::vector<double>({500, -300}));
}

// The 16-bit sum of a signal's ADC values, worked back from its microvolts.
std::int16_t checksum(const std::vector<double>& microvolts, double adc_units_per_microvolt,
                      int baseline) {
    std::int64_t sum = 0;
    for (double value : microvolts) sum += std::llround(value * adc_units_per_microvolt) + baseline;
    return static_cast<std::int16_t>(sum);
}

TEST(WfdbRealSources, Record100InFormat212) {
    const std::filesystem::path header = test_support::real_data_folder() / "source" / "100.hea";
    if (!std::filesystem::exists(header)) GTEST_SKIP() << header << " is absent";
    SourceRecording recording;
    std::string reason;
    ASSERT_TRUE(importing::read_wfdb_record(header, recording, reason)) << reason;
    EXPECT_EQ(recording.format, "WFDB (format 212)");
    EXPECT_EQ(recording.rate_hz, 360.0);
    EXPECT_EQ(recording.unit_note, "no unit given: millivolts assumed");
    ASSERT_EQ(recording.signals.size(), 2u);
    ASSERT_EQ(recording.samples(), 650000u);
    EXPECT_EQ(recording.signals[0].label, "MLII");
    EXPECT_EQ(recording.signals[1].label, "V5");
    // ADC zero 1024, gain 200: the initial values 995 and 1011.
    EXPECT_EQ(recording.signals[0].microvolts[0], (995 - 1024) * 1000.0 / 200.0);
    EXPECT_EQ(recording.signals[1].microvolts[0], (1011 - 1024) * 1000.0 / 200.0);
    // The checksums of the header.
    EXPECT_EQ(checksum(recording.signals[0].microvolts, 0.2, 1024), -22131);
    EXPECT_EQ(checksum(recording.signals[1].microvolts, 0.2, 1024), 20052);
}

TEST(WfdbRealSources, RecordS0010InTwoFiles) {
    const std::filesystem::path header =
        test_support::real_data_folder() / "source" / "s0010_re.hea";
    if (!std::filesystem::exists(header)) GTEST_SKIP() << header << " is absent";
    SourceRecording recording;
    std::string reason;
    ASSERT_TRUE(importing::read_wfdb_record(header, recording, reason)) << reason;
    EXPECT_EQ(recording.format, "WFDB (format 16)");
    EXPECT_EQ(recording.rate_hz, 1000.0);
    EXPECT_EQ(recording.unit_note, "no unit given: millivolts assumed");
    ASSERT_EQ(recording.samples(), 38400u);
    // The label, initial value and checksum of each line of the header; gain
    // 2000, baseline 0.
    struct Line {
        const char* label;
        int initial_value;
        int checksum;
    } lines[] = {
        {"i", -489, -8337},   {"ii", -458, -16369},  {"iii", 31, 6829},   {"avr", 474, 4582},
        {"avl", -260, 11687}, {"avf", -214, -16657}, {"v1", -88, -12469}, {"v2", -241, 5636},
        {"v3", -112, -14299}, {"v4", 212, -17916},   {"v5", 393, -6668},  {"v6", 390, -17545},
        {"vx", -3, -13009},   {"vy", 120, 7109},     {"vz", -18, -1992},
    };
    ASSERT_EQ(recording.signals.size(), std::size(lines));
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        SCOPED_TRACE(lines[i].label);
        const importing::SourceSignal& signal = recording.signals[i];
        EXPECT_EQ(signal.label, lines[i].label);
        EXPECT_EQ(signal.microvolts[0], lines[i].initial_value / 2.0);
        EXPECT_EQ(checksum(signal.microvolts, 2.0, 0), lines[i].checksum);
    }
}

}  // namespace
}  // namespace mapari::importing_tests
