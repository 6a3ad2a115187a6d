// Recording names, paths, and reading a stretch of 4000 frames into the channel store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "dialogue/answer_forms.hpp"
#include "recording/recording.hpp"
#include "support/real_data.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::unit_tests {
namespace {

using test_support::TemporaryFolder;
using test_support::write_bytes;

std::string path_for(std::string_view common_typed, std::string_view variable_typed) {
    return std::string(
        build_recording_path(read_text_field<6>(common_typed), read_text_field<6>(variable_typed))
            .view());
}

std::string padded_to_30(std::string text) {
    text.resize(30, ' ');
    return text;
}

TEST(RecordingPath, EachPartEndsAtItsFirstBlank) {
    struct Case {
        const char* common;
        const char* variable;
        const char* expected;
    } cases[] = {
        {"abc", "001", R"(d:\data\map\abc001.dat)"},
        {"", "001", R"(d:\data\map\001.dat)"},
        {"ab cd", "001", R"(d:\data\map\ab001.dat)"},
        {"abc", "001.dat", R"(d:\data\map\abc001.da.dat)"},  // cut to "001.da"
        {"abc", " 01", R"(d:\data\map\abc.dat)"},
        {"abc", "0 1", R"(d:\data\map\abc0.dat)"},
        {" bc", "001", R"(d:\data\map\001.dat)"},
        {"abcdef", "123456", R"(d:\data\map\abcdef123456.dat)"},  // 28 characters, the longest
        {"abcdefgh", "12345678", R"(d:\data\map\abcdef123456.dat)"},
        {"", "", R"(d:\data\map\.dat)"},
        {"real", "mit100", R"(d:\data\map\realmit100.dat)"},
        {"日本", "001", "d:\\data\\map\\日本001.dat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.common) + " + " + c.variable);
        EXPECT_EQ(path_for(c.common, c.variable), padded_to_30(c.expected));
    }
}

TEST(RecordingPath, UnsafeNamePartsAreRefused) {
    for (const char* name :
         {"a/b", "/", "a\\b", "c:", "..", "a..b", "..x", "a\tb", "a\nb", "\x7f", "\x01"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(unsafe_name_reason(name).empty());
    }
    for (const char* name : {"abc", "001", "001.da", "a.b", ".", "", "ab cd", "日本語", "-_~"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(unsafe_name_reason(name), "");
    }
}

TEST(RecordingPath, HostPathReplacesTheProgramDirectory) {
    auto store = std::make_unique<Store>();
    std::strcpy(store->naming.data_directory.data(), "/srv/maps");
    EXPECT_EQ(host_path(store->naming, R"(d:\data\map\abc001.dat)"), "/srv/maps/abc001.dat");
    std::strcpy(store->naming.data_directory.data(), "/srv/maps/");
    EXPECT_EQ(host_path(store->naming, R"(d:\data\map\abc001.dat)"), "/srv/maps/abc001.dat");
}

// The bytes of a recording file: `frames` frames of 72 big-endian samples.
class RecordingBytes {
  public:
    explicit RecordingBytes(long frames) : bytes_(static_cast<std::size_t>(frames) * 144, '\0') {}
    // Sample of channel c (1-72) in frame t (from 1): offset 144(t-1) + 2(c-1).
    void set(int channel, long frame, unsigned char high, unsigned char low) {
        std::size_t offset =
            144 * static_cast<std::size_t>(frame - 1) + 2 * static_cast<std::size_t>(channel - 1);
        bytes_[offset] = static_cast<char>(high);
        bytes_[offset + 1] = static_cast<char>(low);
    }
    std::string& bytes() { return bytes_; }

  private:
    std::string bytes_;
};

class ReadRecording : public ::testing::Test {
  protected:
    void SetUp() override {
        store = std::make_unique<Store>();
        point_store_at(folder.path(), "abc", "001");
        store->recording.samples.fill(-12345);
        store->recording.samples_per_channel = 0;
    }
    void point_store_at(const std::string& directory, const char* common, const char* variable) {
        ASSERT_LT(directory.size(), std::size_t{data_directory_capacity});
        std::memcpy(store->naming.data_directory.data(), directory.c_str(), directory.size() + 1);
        store->naming.recording_path =
            build_recording_path(read_text_field<6>(common), read_text_field<6>(variable));
    }
    void write_recording(RecordingBytes& recording) {
        write_bytes(folder.file("abc001.dat"), recording.bytes());
    }
    ReadOutcome read(int display_second) {
        store->naming.display_second = display_second;
        return read_recording(store->naming, store->recording, message);
    }
    bool channel_store_untouched() const {
        const auto& values = store->recording.samples.values;
        return std::all_of(values.begin(), values.end(),
                           [](std::int16_t v) { return v == -12345; }) &&
               store->recording.samples_per_channel == 0;
    }

    TemporaryFolder folder;
    std::unique_ptr<Store> store;
    std::string message;
};

TEST_F(ReadRecording, SamplesAreBigEndianTwosComplement) {
    RecordingBytes recording(4000);
    recording.set(1, 1, 0x7F, 0xFF);     // 127·256 + 255 = 32767
    recording.set(2, 1, 0x80, 0x00);     // 128·256 = 32768, minus 65536 = -32768
    recording.set(72, 1, 0xFF, 0xFF);    // 65535 - 65536 = -1
    recording.set(9, 4000, 0x00, 0x01);  // 1
    recording.set(10, 7, 0x01, 0x00);    // 256
    recording.set(11, 7, 0xFE, 0x0C);    // 254·256 + 12 = 65036, minus 65536 = -500
    write_recording(recording);

    ASSERT_EQ(read(0), ReadOutcome::read) << message;
    const auto& samples = store->recording.samples;
    EXPECT_EQ(samples(1, 1), 32767);
    EXPECT_EQ(samples(2, 1), -32768);
    EXPECT_EQ(samples(72, 1), -1);
    EXPECT_EQ(samples(9, 4000), 1);
    EXPECT_EQ(samples(10, 7), 256);
    EXPECT_EQ(samples(11, 7), -500);
    EXPECT_EQ(samples(3, 1), 0);
    EXPECT_EQ(store->recording.samples_per_channel, 4000);
}

TEST_F(ReadRecording, FramesStayInFileOrder) {
    RecordingBytes recording(4000);
    recording.bytes()[144] = 0x12;  // offsets 144 and 145: channel 1 of frame 2
    recording.bytes()[145] = 0x34;  // 0x1234 = 4660
    recording.bytes()[142] = 0x00;  // offsets 142 and 143: channel 72 of frame 1
    recording.bytes()[143] = 0x2A;  // 42
    recording.bytes()[146] = 0x00;  // offsets 146 and 147: channel 2 of frame 2
    recording.bytes()[147] = 0x07;  // 7
    write_recording(recording);

    ASSERT_EQ(read(0), ReadOutcome::read) << message;
    EXPECT_EQ(store->recording.samples(1, 2), 4660);
    EXPECT_EQ(store->recording.samples(72, 1), 42);
    EXPECT_EQ(store->recording.samples(2, 2), 7);
    EXPECT_EQ(store->recording.samples(1, 1), 0);
    EXPECT_EQ(store->recording.samples(2, 1), 0);
}

TEST_F(ReadRecording, FileOfExactly576000BytesReadsInFull) {
    RecordingBytes recording(4000);
    recording.set(72, 4000, 0x00, 0x63);  // the last two bytes, 575,998 and 575,999: 99
    write_recording(recording);
    ASSERT_EQ(recording.bytes().size(), 576000u);

    ASSERT_EQ(read(0), ReadOutcome::read) << message;
    EXPECT_EQ(store->recording.samples(72, 4000), 99);
}

TEST_F(ReadRecording, LongerFileIsReadOnlyToItsFirst4000FramesForSecondZero) {
    RecordingBytes recording(4500);
    recording.set(5, 4000, 0x00, 0x11);  // 17, the last frame of the stretch
    recording.set(5, 4001, 0x00, 0x22);  // 34, beyond it
    recording.set(5, 1, 0x00, 0x33);     // 51
    write_recording(recording);

    ASSERT_EQ(read(0), ReadOutcome::read) << message;
    EXPECT_EQ(store->recording.samples(5, 1), 51);
    EXPECT_EQ(store->recording.samples(5, 4000), 17);
}

TEST_F(ReadRecording, DisplaySecondSelectsFramesFromThousandTimesSecondPlusOne) {
    // 6000 frames: second 2 is frames 2001 to 6000, the last second held.
    RecordingBytes recording(6000);
    recording.set(5, 2000, 0x00, 0x01);  // 1, just before the stretch
    recording.set(5, 2001, 0x04, 0xD2);  // 4·256 + 210 = 1234, sample 1 of the stretch
    recording.set(5, 3001, 0x00, 0x02);  // 2, sample 1001
    recording.set(5, 6000, 0xFC, 0xF7);  // 252·256 + 247 = 64759, minus 65536 = -777
    write_recording(recording);

    ASSERT_EQ(read(2), ReadOutcome::read) << message;
    EXPECT_EQ(store->recording.samples(5, 1), 1234);
    EXPECT_EQ(store->recording.samples(5, 1001), 2);
    EXPECT_EQ(store->recording.samples(5, 4000), -777);

    ASSERT_EQ(read(1), ReadOutcome::read) << message;  // frames 1001 to 5000
    EXPECT_EQ(store->recording.samples(5, 1000), 1);
    EXPECT_EQ(store->recording.samples(5, 1001), 1234);
}

TEST_F(ReadRecording, SecondPastTheFileIsRefusedAndStoreKept) {
    // 4999 frames hold second 0 only: second 1 would need frames 1001 to 5000.
    RecordingBytes recording(4999);
    write_recording(recording);
    for (int second : {1, 3, 28, 29, 99, -1}) {
        SCOPED_TRACE(second);
        message.clear();
        EXPECT_EQ(read(second), ReadOutcome::second_not_held);
        EXPECT_NE(message.find(R"(d:\data\map\abc001.dat)"), std::string::npos) << message;
        EXPECT_TRUE(channel_store_untouched());
    }
}

TEST_F(ReadRecording, MissingFileCannotBeOpened) {
    EXPECT_EQ(read(0), ReadOutcome::cannot_open);
    EXPECT_NE(message.find(R"(d:\data\map\abc001.dat)"), std::string::npos) << message;
    EXPECT_TRUE(channel_store_untouched());
}

TEST_F(ReadRecording, ShortFileIsTooShort) {
    for (std::size_t size : {std::size_t{0}, std::size_t{144}, std::size_t{575999}}) {
        SCOPED_TRACE(size);
        RecordingBytes recording(4000);
        recording.bytes().resize(size);
        write_recording(recording);
        message.clear();
        EXPECT_EQ(read(0), ReadOutcome::too_short);
        EXPECT_NE(message.find(R"(d:\data\map\abc001.dat)"), std::string::npos) << message;
        EXPECT_TRUE(channel_store_untouched());
    }
}

TEST_F(ReadRecording, FolderInPlaceOfTheFileIsNotRead) {
    std::filesystem::create_directory(folder.file("abc001.dat"));
    EXPECT_NE(read(0), ReadOutcome::read);
    EXPECT_NE(message.find(R"(d:\data\map\abc001.dat)"), std::string::npos) << message;
    EXPECT_TRUE(channel_store_untouched());
}

// Reads the big-endian sample of channel c in frame t straight from the file.
int sample_in_file(const std::string& bytes, long frame, int channel) {
    std::size_t offset =
        144 * static_cast<std::size_t>(frame - 1) + 2 * static_cast<std::size_t>(channel - 1);
    int value = 256 * static_cast<unsigned char>(bytes[offset]) +
                static_cast<unsigned char>(bytes[offset + 1]);
    return value >= 32768 ? value - 65536 : value;
}

TEST_F(ReadRecording, RealRecordingOfThirtyTwoSecondsHoldsSecondsZeroTo28) {
    const std::string directory = test_support::real_data_folder().string();
    const std::string bytes = test_support::read_bytes(directory + "/realmit100.dat");
    if (bytes.size() != 4608000u) GTEST_SKIP() << "real recordings are not at hand";
    point_store_at(directory, "real", "mit100");

    for (int second : {0, 28}) {
        SCOPED_TRACE(second);
        ASSERT_EQ(read(second), ReadOutcome::read) << message;
        for (int t : {1, 2, 1000, 4000}) {
            for (int c : {1, 8, 9, 40, 72}) {
                EXPECT_EQ(store->recording.samples(c, t),
                          sample_in_file(bytes, 1000L * second + t, c))
                    << "channel " << c << " sample " << t;
            }
        }
    }
    EXPECT_EQ(read(29), ReadOutcome::second_not_held);
    EXPECT_NE(message.find(R"(d:\data\map\realmit100.dat)"), std::string::npos) << message;
}

}  // namespace
}  // namespace mapari::unit_tests
