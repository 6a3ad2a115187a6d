// The BioSig reader on EDF, EDF+, BDF and GDF files written here with known
// signals, on files it must refuse, and the writers of those files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>

#include "biosig_files.hpp"
#include "importing/biosig_reader.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {
namespace {

using importing::SourceRecording;
using test_support::read_bytes;
using test_support::TemporaryFolder;
using test_support::write_bytes;

struct Read {
    bool read = false;
    SourceRecording recording;
    std::string reason;
    std::string printed;  // all the reader printed, on either stream
};

// Reads the file, catching whatever is printed on the way.
Read read_quietly(const std::filesystem::path& file) {
    Read result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.read = importing::read_biosig_file(file, result.recording, result.reason);
    result.printed = testing::internal::GetCapturedStdout();
    result.printed += testing::internal::GetCapturedStderr();
    return result;
}

// The first sample farther than `tolerance` from what was written, or "".
std::string first_difference(const std::vector<double>& expected, const std::vector<double>& got,
                             double tolerance) {
    if (expected.size() != got.size())
        return std::to_string(got.size()) + " samples, not " + std::to_string(expected.size());
    for (std::size_t sample = 0; sample < expected.size(); ++sample)
        if (!(std::abs(expected[sample] - got[sample]) <= tolerance))
            return "sample " + std::to_string(sample) + ": " + std::to_string(got[sample]) +
                   ", not " + std::to_string(expected[sample]);
    return "";
}

std::vector<double> scaled(std::vector<double> values, double factor) {
    for (double& value : values) value *= factor;
    return values;
}

using Writer = std::function<bool(const std::filesystem::path&, double,
                                  const std::vector<TestSignal>&, std::string&)>;

struct FormatCase {
    std::string extension;
    Writer write;
    int bits;
    std::string format;  // as the reader names it; empty: the GDF file's own version field
};

const FormatCase kEdf{"edf", write_edf, 16, "EDF"};
const FormatCase kEdfPlus{"edf", write_edf_plus, 16, "EDF+"};
const FormatCase kBdf{"bdf", write_bdf, 24, "BDF"};
const FormatCase kGdf{"gdf", write_gdf, 16, ""};

// Three seconds of a beat train in microvolts, a ramp in millivolts and a
// beat train in millivolts.
std::vector<TestSignal> three_signals(double rate_hz) {
    return {{"ECG uV", "uV", beat_train(rate_hz, 3, 100, 800, 1500)},
            {"Ramp mV", "mV", ramp(rate_hz, 3, -2.5, 2.5)},
            {"Beats mV", "mV", scaled(beat_train(rate_hz, 3, 250, 600, -900), 1e-3)}};
}

std::filesystem::path written(const TemporaryFolder& folder, const FormatCase& format,
                              double rate_hz, const std::vector<TestSignal>& signals) {
    std::filesystem::path file = folder.file("recording." + format.extension);
    std::string reason;
    EXPECT_TRUE(format.write(file, rate_hz, signals, reason)) << reason;
    return file;
}

// Each signal as read against what was written, in microvolts, within one
// digital step of the range the writer chose.
void expect_signals(const std::vector<TestSignal>& signals, const SourceRecording& recording,
                    int bits) {
    ASSERT_EQ(recording.signals.size(), signals.size());
    for (std::size_t index = 0; index < signals.size(); ++index) {
        const double microvolts_per_unit = signals[index].unit == "mV" ? 1000.0 : 1.0;
        const double step = calibration_for(signals[index].values, bits)->step();
        EXPECT_EQ(recording.signals[index].label, signals[index].label);
        EXPECT_EQ(first_difference(scaled(signals[index].values, microvolts_per_unit),
                                   recording.signals[index].microvolts, step * microvolts_per_unit),
                  "")
            << signals[index].label;
    }
}

TEST(BiosigReader, ReadsEveryFormatAtEveryRateInMicrovolts) {
    for (const FormatCase& format : {kEdf, kEdfPlus, kBdf, kGdf})
        for (const double rate_hz : {250.0, 500.0, 1000.0, 2048.0}) {
            SCOPED_TRACE(format.format + " " + format.extension + " at " + std::to_string(rate_hz) +
                         " Hz");
            const TemporaryFolder folder;
            const std::vector<TestSignal> signals = three_signals(rate_hz);
            const std::filesystem::path file = written(folder, format, rate_hz, signals);
            const Read result = read_quietly(file);
            ASSERT_TRUE(result.read) << result.reason;
            EXPECT_EQ(result.printed, "");
            EXPECT_EQ(result.recording.rate_hz, rate_hz);
            EXPECT_EQ(result.recording.format,
                      format.format.empty() ? read_bytes(file).substr(0, 8) : format.format);
            EXPECT_EQ(result.recording.unit_note, "");
            EXPECT_EQ(result.recording.samples(), static_cast<std::size_t>(3 * rate_hz));
            expect_signals(signals, result.recording, format.bits);
        }
}

TEST(BiosigReader, ReadsSixtyFourLongSignalsEachInItsPlace) {
    // Long enough that the reader takes the channels in several groups.
    const double rate_hz = 2048, seconds = 130;
    std::vector<TestSignal> signals;
    for (int lead = 1; lead <= 64; ++lead)
        signals.push_back({"lead " + std::to_string(lead), lead % 2 == 0 ? "uV" : "mV",
                           beat_train(rate_hz, seconds, 100 + lead, 800, 20.0 * lead)});
    const TemporaryFolder folder;
    const Read result = read_quietly(written(folder, kEdf, rate_hz, signals));
    ASSERT_TRUE(result.read) << result.reason;
    EXPECT_EQ(result.printed, "");
    expect_signals(signals, result.recording, 16);
}

TEST(BiosigReader, LeavesTheAnnotationChannelOfEdfPlusOut) {
    const TemporaryFolder folder;
    const std::filesystem::path file = written(folder, kEdfPlus, 500, three_signals(500));
    ASSERT_NE(read_bytes(file).find("EDF Annotations"), std::string::npos);
    const Read result = read_quietly(file);
    ASSERT_TRUE(result.read) << result.reason;
    ASSERT_EQ(result.recording.signals.size(), 3u);
    EXPECT_EQ(result.recording.signals[2].label, "Beats mV");
}

TEST(BiosigReader, ConvertsEachVoltageUnitToMicrovolts) {
    struct UnitCase {
        std::string unit;
        double microvolts_per_unit;
        std::string note;
    };
    const std::vector<UnitCase> cases = {
        {"uV", 1.0, ""},
        {"mV", 1e3, ""},
        {"V", 1e6, ""},
        {"nV", 1e-3, ""},
        {"\xc2\xb5V", 1.0, ""},  // the micro sign in UTF-8
        {"", 1e3, "signal \"lead\": no unit; taken as millivolts"},
    };
    for (const UnitCase& unit : cases) {
        SCOPED_TRACE("unit \"" + unit.unit + "\"");
        const TemporaryFolder folder;
        const std::vector<double> values = ramp(250, 1, -2, 2);
        const Read result = read_quietly(written(folder, kEdf, 250, {{"lead", unit.unit, values}}));
        ASSERT_TRUE(result.read) << result.reason;
        EXPECT_EQ(result.recording.unit_note, unit.note);
        const double step = calibration_for(values, 16)->step();
        EXPECT_EQ(first_difference(scaled(values, unit.microvolts_per_unit),
                                   result.recording.signals[0].microvolts,
                                   step * unit.microvolts_per_unit),
                  "");
    }
}

TEST(BiosigReader, NotesEverySignalWithoutAUnit) {
    const TemporaryFolder folder;
    const std::vector<TestSignal> signals = {{"A", "", ramp(250, 1, 0, 1)},
                                             {"B", "uV", ramp(250, 1, 0, 1)},
                                             {"C", "", ramp(250, 1, 0, 1)}};
    const Read result = read_quietly(written(folder, kGdf, 250, signals));
    ASSERT_TRUE(result.read) << result.reason;
    EXPECT_EQ(result.recording.unit_note, "signals \"A\", \"C\": no unit; taken as millivolts");
    EXPECT_DOUBLE_EQ(result.recording.signals[0].microvolts.back(), 1000.0);
    EXPECT_DOUBLE_EQ(result.recording.signals[1].microvolts.back(), 1.0);
}

TEST(BiosigReader, RefusesWhatIsNoRecordingOfVoltages) {
    struct RefusalCase {
        std::string what;
        FormatCase format;
        std::vector<TestSignal> signals;
        std::string message;  // after the file's name
    };
    const std::vector<double> second = ramp(500, 1, 0, 100);
    const std::vector<RefusalCase> cases = {
        {"a pressure",
         kEdf,
         {{"ECG", "uV", second}, {"BP", "mmHg", second}},
         " has signal \"BP\" in mmHg, not a voltage"},
        {"a pressure in GDF",
         kGdf,
         {{"BP", "mmHg", second}},
         " has signal \"BP\" in mmHg, not a voltage"},
        {"a unit BioSig does not know",
         kEdf,
         {{"T", "degC", second}},
         " has signal \"T\" in degC, not a voltage"},
        {"a current", kBdf, {{"I", "uA", second}}, " has signal \"I\" in uA, not a voltage"},
        {"signals of two rates",
         kEdf,
         {{"A", "uV", ramp(500, 1, 0, 1)},
          {"B", "uV", ramp(250, 1, 0, 1), 250},
          {"C", "uV", ramp(500, 1, 0, 1)}},
         " has signals of different rates: \"A\" at 500 Hz, \"B\" at 250 Hz"},
        {"signals of two rates in GDF",
         kGdf,
         {{"A", "uV", ramp(500, 1, 0, 1)}, {"B", "uV", ramp(250, 1, 0, 1), 250}},
         " has signals of different rates: \"A\" at 500 Hz, \"B\" at 250 Hz"},
        {"only the status channel BioSig takes as events",
         kBdf,
         {{"Status", "Boolean", second}},
         " holds no signals"},
    };
    for (const RefusalCase& refusal : cases) {
        SCOPED_TRACE(refusal.what);
        const TemporaryFolder folder;
        const std::filesystem::path file = written(folder, refusal.format, 500, refusal.signals);
        const Read result = read_quietly(file);
        EXPECT_FALSE(result.read);
        EXPECT_EQ(" " + result.reason, refusal.message);
        EXPECT_EQ(result.printed, "");
    }
}

TEST(BiosigReader, RefusesAFileShorterThanItsHeaderSays) {
    struct DamageCase {
        std::string what;
        FormatCase format;
        std::size_t record_bytes;  // three 250-Hz signals a second
        std::function<std::string(std::string, std::size_t)> damage;  // bytes, where data start
        std::string message;
    };
    const std::vector<DamageCase> cases = {
        {"cut in the second record", kEdf, 1500,
         [](const std::string& bytes, std::size_t data) { return bytes.substr(0, data + 2000); },
         " is shorter than its header says: it holds 1 of 3 data records"},
        {"cut in the last record", kBdf, 2250,
         [](const std::string& bytes, std::size_t) { return bytes.substr(0, bytes.size() - 1); },
         " is shorter than its header says: it holds 2 of 3 data records"},
        {"cut right after the header", kGdf, 1500,
         [](const std::string& bytes, std::size_t data) { return bytes.substr(0, data); },
         " is shorter than its header says: it holds 0 of 3 data records"},
        {"a record count raised to 5", kEdf, 1500,
         [](std::string bytes, std::size_t) { return bytes.replace(236, 8, "5       "); },
         " is shorter than its header says: it holds 3 of 5 data records"},
        {"cut in the header", kEdf, 1500,
         [](const std::string& bytes, std::size_t) { return bytes.substr(0, 600); },
         " cannot be read: reading BDF/EDF variable header failed"},
    };
    for (const DamageCase& damage : cases) {
        SCOPED_TRACE(damage.what);
        const TemporaryFolder folder;
        const std::filesystem::path file = written(folder, damage.format, 250, three_signals(250));
        const std::string bytes = read_bytes(file);
        write_bytes(file, damage.damage(bytes, bytes.size() - 3 * damage.record_bytes));
        const Read result = read_quietly(file);
        EXPECT_FALSE(result.read);
        EXPECT_EQ(" " + result.reason, damage.message);
        EXPECT_EQ(result.printed, "");
        EXPECT_TRUE(result.recording.signals.empty());
    }
}

TEST(BiosigReader, RefusesFilesBiosigCannotRead) {
    std::string garbage;
    for (int at = 0; at < 4096; ++at) garbage += static_cast<char>((at * 37 + 11) % 256);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {garbage, " cannot be read: Dataformat not known"},
        {"", " cannot be read: file is empty (or too short)"},
        {"0       " + garbage,
         " cannot be read: EDF/BDF corrupted: HDR.NS and HDR.HeadLen do not fit"},
    };
    for (const auto& [bytes, message] : cases) {
        const TemporaryFolder folder;
        const std::filesystem::path file = folder.file("source.bin");
        write_bytes(file, bytes);
        const Read result = read_quietly(file);
        EXPECT_FALSE(result.read);
        EXPECT_EQ(" " + result.reason, message);
        EXPECT_EQ(result.printed, "");
    }
    const TemporaryFolder folder;
    const Read missing = read_quietly(folder.file("missing.edf"));
    EXPECT_EQ(missing.reason, "cannot be read: Cannot open file");
    EXPECT_EQ(missing.printed, "");
}

TEST(BiosigFiles, WritesTheEdfHeaderAndSamplesByteByByte) {
    const TemporaryFolder folder;
    std::string reason;
    ASSERT_TRUE(write_edf(folder.file("small.edf"), 4, {{"A", "uV", {0, 1, 2, 3}}}, reason))
        << reason;
    const std::string bytes = read_bytes(folder.file("small.edf"));
    ASSERT_EQ(bytes.size(), 512u + 8u);
    EXPECT_EQ(bytes.substr(0, 8), "0       ");
    EXPECT_EQ(bytes.substr(184, 8), "512     ");
    EXPECT_EQ(bytes.substr(236, 20), "1       1       1   ");
    EXPECT_EQ(bytes.substr(256, 16), "A               ");
    // Unit, physical and digital minimum and maximum follow the 80-character
    // transducer field.
    EXPECT_EQ(bytes.substr(352, 40), "uV      0       3       -32768  32767   ");
    EXPECT_EQ(bytes.substr(472, 8), "4       ");
    // 0, 1, 2 and 3 over 3/65535 a step from -32768: -32768, -10923, 10922 and
    // 32767, little-endian.
    EXPECT_EQ(bytes.substr(512), std::string("\x00\x80\x55\xd5\xaa\x2a\xff\x7f", 8));
}

TEST(BiosigFiles, WidensTheRangeToEightCharacterNumbers) {
    struct RangeCase {
        std::vector<double> values;
        int bits;
        double minimum, maximum, step;
    };
    const std::vector<RangeCase> cases = {
        {{0, 1, 3}, 16, 0, 3, 3.0 / 65535},
        {{-0.123456789, 1234.56789}, 16, -0.12346, 1234.568, (1234.568 + 0.12346) / 65535},
        {{5, 5}, 24, 5, 6, 1.0 / 16777215},
        {{-1000, 1000}, 24, -1000, 1000, 2000.0 / 16777215},
    };
    for (const RangeCase& range : cases) {
        const std::optional<Calibration> calibration = calibration_for(range.values, range.bits);
        ASSERT_TRUE(calibration.has_value());
        EXPECT_EQ(calibration->physical_minimum, range.minimum);
        EXPECT_EQ(calibration->physical_maximum, range.maximum);
        EXPECT_DOUBLE_EQ(calibration->step(), range.step);
        EXPECT_EQ(calibration->digital_value(range.maximum), std::ldexp(1.0, range.bits - 1) - 1);
    }
    EXPECT_FALSE(calibration_for({0, 1e9}, 16).has_value());
}

TEST(BiosigFiles, RefusesWhatAnEdfFileCannotHold) {
    struct WriteCase {
        std::vector<TestSignal> signals;
        double rate_hz;
        std::string message;
    };
    const std::vector<WriteCase> cases = {
        {{{"A", "uV", ramp(250, 1.5, 0, 1)}}, 250, "signal A does not fill whole 1-s records"},
        {{{"A", "uV", ramp(250, 1, 0, 1)}, {"B", "uV", ramp(250, 2, 0, 1)}},
         250,
         "signal B lasts 2 s, not 1 s like the others"},
        {{{"A", "uV", ramp(250.5, 2, 0, 1)}},
         250.5,
         "signal A: the rate is not a whole number of hertz"},
        {{{"Seventeen letters", "uV", ramp(250, 1, 0, 1)}},
         250,
         "\"Seventeen letters\" is longer than its 16-character field"},
        {{{"A", "uV", {0, 1e9}}}, 2, "signal A has values beyond 8-character numbers"},
        {{}, 250, "there are no signals to write"},
    };
    const TemporaryFolder folder;
    for (const WriteCase& bad : cases) {
        std::string reason;
        EXPECT_FALSE(write_edf(folder.file("bad.edf"), bad.rate_hz, bad.signals, reason));
        EXPECT_EQ(reason, bad.message);
    }
}

TEST(BiosigFiles, MakesABeatTrainOfTriangularSpikes) {
    const std::vector<double> train = beat_train(1000, 1, 100, 500, 1000);
    ASSERT_EQ(train.size(), 1000u);
    EXPECT_DOUBLE_EQ(train[100], 1000);
    EXPECT_DOUBLE_EQ(train[95], 500);
    EXPECT_DOUBLE_EQ(train[104], 600);
    EXPECT_DOUBLE_EQ(train[90], 0);
    EXPECT_DOUBLE_EQ(train[600], 1000);
    double sum = 0;
    for (double value : train) sum += value;
    // Two spikes of 1000 * (1 + 2 * (0.9 + 0.8 + ... + 0.1)) each.
    EXPECT_NEAR(sum, 2 * 10000.0, 1e-9);
}

}  // namespace
}  // namespace mapari::importing_tests
