// The save step: the save name, the confirmation, the .ds and .se files byte
// by byte, refused names, files that cannot be written, and whole sessions
// whose result files are worked out again from the recording.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "formats/free_form.hpp"
#include "formats/map_recording.hpp"
#include "results_support.hpp"
#include "support/child_run.hpp"
#include "support/session_fixture.hpp"
#ifdef MAPARI_HAVE_SYNTH_MODEL
#include "synthesis/synth_model.hpp"
#endif

namespace mapari::ari_tests {
namespace {

const std::string save_prompt = "Unit 12| 保存ファイル名を入れてください。：";
const std::string se_line = "Unit 12| SE_fileを保存します。";

std::string answered(const std::string& answer) {
    return "Unit 12> " + answer;
}

// "データ" + the 32-character .ds path, blank-padded, + the question.
std::string save_question(const std::string& stem) {
    std::string path = "d:\\data\\map\\" + stem + ".ds";
    path.resize(32, ' ');
    return "Unit 12| データ" + path + "を保存します。yes or no?  <y/n>";
}

Lines saved(const std::string& stem, const std::string& answer) {
    return {menu_line,      answered("d"),       save_prompt,
            answered(stem), save_question(stem), answered(answer)};
}

// count lines from `from` on (all of them when count is past the end).
Lines slice(const Lines& lines, std::size_t from, std::size_t count = std::string::npos) {
    if (from >= lines.size()) return {};
    const std::size_t end = count >= lines.size() - from ? lines.size() : from + count;
    return Lines(lines.begin() + static_cast<std::ptrdiff_t>(from),
                 lines.begin() + static_cast<std::ptrdiff_t>(end));
}

Lines with_menu_after(Lines lines) {
    lines.push_back(menu_line);
    lines.push_back(answered("x"));
    return lines;
}

std::vector<float> beat_values(const Store& store) {
    return {store.beat.averaged.values.begin(), store.beat.averaged.values.end()};
}

// The .ds text read as free-form records of 64 values: every line a whole
// number of 15-character fields, every record ending with its line. Fails the
// test when the layout is broken; counts the records.
std::vector<double> read_ds(const std::string& text, int& records) {
    std::vector<double> values;
    records = 0;
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        if (end == std::string::npos) break;
        const std::string line = text.substr(from, end - from);
        from = end + 1;
        EXPECT_TRUE(!line.empty() && line.size() % 15 == 0) << "line of " << line.size();
        const std::size_t before = values.size();
        for (std::size_t f = 0; f + 15 <= line.size(); f += 15) {
            const std::string field = line.substr(f, 15);
            char* rest = nullptr;
            values.push_back(std::strtod(field.c_str(), &rest));
            EXPECT_NE(rest, field.c_str()) << "'" << field << "'";
            EXPECT_EQ(std::string(rest).find_first_not_of(' '), std::string::npos)
                << "'" << field << "'";
        }
        if (values.size() > before) {
            EXPECT_EQ(before / 64, (values.size() - 1) / 64) << "a line runs into the next record";
        }
        records += values.size() % 64 == 0;
    }
    return values;
}

class SaveStep : public WorkingBeatTest {};

// Values of every kind: plain, with an exponent, negative, zero, on the
// edge of 7 digits, in rows beyond 1000.
TEST_F(SaveStep, DsFileHoldsTheWorkingBeatAsItStands) {
    start("d\nab\ny\nx\n");
    Beat& beat = store_->beat;
    beat.averaged(1, 1) = 1.5e-5f;
    beat.averaged(2, 1) = -1.2345678e9f;
    beat.averaged(500, 3) = 0.0f;
    beat.averaged(1001, 5) = 9999999.0f;
    beat.averaged(1002, 5) = 12345678.0f;
    beat.averaged(1003, 5) = -0.001234567f;
    beat.averaged(1004, 5) = 1.0f / 3.0f;
    beat.averaged(1024, 64) = 3.3e-12f;
    const std::vector<float> before = beat_values(*store_);
    EXPECT_EQ(run_menu(), 2);
    EXPECT_EQ(transcript(), with_menu_after(saved("ab", "y")));
    EXPECT_EQ(listing(data_), (Lines{"ab.ds"}));

    int records = 0;
    const std::vector<double> values = read_ds(read_bytes(data_ / "ab.ds"), records);
    EXPECT_EQ(records, 1024);
    ASSERT_EQ(values.size(), 1024u * 64u);
    // Seven significant digits: within half a unit of the seventh digit.
    for (int k = 1; k <= averaged_rows; ++k) {
        for (int l = 1; l <= lead_count; ++l) {
            const double held = values[static_cast<std::size_t>((k - 1) * 64 + (l - 1))];
            const double value = beat.averaged(k, l);
            ASSERT_LE(std::fabs(held - value), 5.0e-7 * std::fabs(value))
                << "row " << k << " lead " << l << ": " << held << " for " << value;
        }
    }
    EXPECT_TRUE(beat_values(*store_) == before);
}

TEST_F(SaveStep, OnlyYWritesAndNothingElseTouchesAFile) {
    set_marks(120, 250, 400, 700);
    for (const std::string answer : {"n", "N", "yes", "Yes", "yy", "\nx"}) {
        SCOPED_TRACE(answer);
        write_bytes(data_ / "ab.ds", "an earlier beat\n");
        start("d\nab\n" + answer + "\nx\n");
        EXPECT_EQ(run_menu(), 2);
        EXPECT_EQ(listing(data_), (Lines{"ab.ds"}));
        EXPECT_EQ(read_bytes(data_ / "ab.ds"), "an earlier beat\n");
        const Lines lines = transcript();
        ASSERT_GE(lines.size(), 8u);
        EXPECT_EQ(slice(lines, 0, 5), slice(saved("ab", "y"), 0, 5));
        EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{menu_line, answered("x")}));
    }
}

// Q onset 250, stimulus 120, J 400, T end 700: the Q onset first.
TEST_F(SaveStep, SeRecordWhenAllFourMarksAreSet) {
    set_marks(120, 250, 400, 700);
    start("d\nab\nY\nx\n");
    EXPECT_EQ(run_menu(), 2);
    Lines expected = saved("ab", "Y");
    expected.push_back(se_line);
    EXPECT_EQ(transcript(), with_menu_after(expected));
    EXPECT_EQ(listing(data_), (Lines{"ab.ds", "ab.se"}));
    EXPECT_EQ(read_bytes(data_ / "ab.se"), "  250  120  400  700\n");
    EXPECT_EQ(store_->beat.fiducial_marks(2), 250);
}

TEST_F(SaveStep, AnyMarkZeroWritesOnlyTheDsFile) {
    for (int unmarked = 1; unmarked <= 4; ++unmarked) {
        SCOPED_TRACE(unmarked);
        set_marks(120, 250, 400, 700);
        store_->beat.fiducial_marks(unmarked) = 0;
        const std::string stem = "m" + std::to_string(unmarked);
        start("d\n" + stem + "\ny\nx\n");
        EXPECT_EQ(run_menu(), 2);
        EXPECT_EQ(transcript(), with_menu_after(saved(stem, "y")));
        EXPECT_TRUE(std::filesystem::exists(data_ / (stem + ".ds")));
        EXPECT_FALSE(std::filesystem::exists(data_ / (stem + ".se")));
    }
}

// The refusal comes before any file is written, so a .ds never stands beside an
// older .se of the same name that does not belong to it.
TEST_F(SaveStep, MarkWiderThanItsColumnsGivesAMessageAndNoFile) {
    write_bytes(data_ / "ab.se", "  111  112  113  114\n");
    set_marks(120, 250, 100000, 700);
    start("d\nab\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    EXPECT_EQ(listing(data_), (Lines{"ab.se"}));
    EXPECT_EQ(read_bytes(data_ / "ab.se"), "  111  112  113  114\n");
    const Lines lines = transcript();
    ASSERT_GE(lines.size(), 3u);
    const std::string& message = lines[lines.size() - 3];
    EXPECT_EQ(message.rfind("Unit 12| ", 0), 0u);
    EXPECT_NE(message, se_line);
    EXPECT_NE(message, answered("y"));
    for (const std::string& line : lines) EXPECT_NE(line, se_line);
}

TEST_F(SaveStep, UnusableSaveNamesAreAskedAgain) {
    for (const std::string name :
         {"a/b", "a\\b", "c:x", "a..b", "..", "", " ab", "a\tb", "ab\x7f", "abcdefghijklmnopqr"}) {
        SCOPED_TRACE(name);
        start("d\n" + name + "\nab\ny\nx\n");
        EXPECT_EQ(run_menu(), 2);
        Lines lines = transcript();
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(lines[4].rfind("Unit 12| ", 0), 0u) << lines[4];
        EXPECT_NE(lines[4], save_prompt);
        lines[4] = "<refusal>";
        const Lines expected{menu_line, answered("d"), save_prompt, answered(name), "<refusal>"};
        EXPECT_EQ(slice(lines, 0, 5), expected);
        EXPECT_EQ(slice(lines, 5), with_menu_after(slice(saved("ab", "y"), 2)));
        EXPECT_EQ(listing(data_), (Lines{"ab.ds"}));
        EXPECT_EQ(listing(root_), (Lines{"data/", "fort.12"}));
        std::filesystem::remove(data_ / "ab.ds");
    }
}

// 12 + 17 + 3 = 32 characters: the whole path with its extension.
TEST_F(SaveStep, SeventeenCharacterStemKeepsItsExtensions) {
    set_marks(120, 250, 400, 700);
    start("d\nabcdefghijklmnopq\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    const std::string question = save_question("abcdefghijklmnopq");
    EXPECT_TRUE(contains(question, "abcdefghijklmnopq.dsを保存"));
    Lines expected = saved("abcdefghijklmnopq", "y");
    expected.push_back(se_line);
    EXPECT_EQ(transcript(), with_menu_after(expected));
    EXPECT_EQ(listing(data_), (Lines{"abcdefghijklmnopq.ds", "abcdefghijklmnopq.se"}));
}

// ---- files that cannot be written ----

class ResultFaults : public WorkingBeatTest {
  protected:
    // The trace line after the "y" that names the file, or "" when none does.
    std::string report_of(const Lines& lines, const std::string& file) const {
        const std::size_t answer =
            std::find(lines.begin(), lines.end(), answered("y")) - lines.begin();
        for (std::size_t i = answer; i < lines.size(); ++i)
            if (lines[i].rfind("Unit 12| ", 0) == 0 && contains(lines[i], file)) return lines[i];
        return "";
    }
};

TEST_F(ResultFaults, UnwritableDataDirectoryKeepsBeatMarksAndFiles) {
    set_marks(120, 250, 400, 700);
    start("d\nab\ny\nx\n");
    write_bytes(data_ / "ab.ds", "a good beat\n");
    namespace fs = std::filesystem;
    fs::permissions(data_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec);
    // Permission bits do not stop root (as in a container), so there the data
    // directory becomes a plain file: nothing can be opened inside it.
    int expected_error = EACCES;
    bool folder_case = true;
    if (std::FILE* probe = std::fopen((data_ / "probe").c_str(), "w")) {
        std::fclose(probe);
        fs::permissions(data_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(data_);
        write_bytes(data_, "not a folder\n");
        expected_error = ENOTDIR;
        folder_case = false;
    }
    const std::vector<float> before = beat_values(*store_);
    EXPECT_EQ(run_menu(), 2);
    const Lines lines = transcript();
    const std::string report = report_of(lines, "d:\\data\\map\\ab.ds");
    EXPECT_TRUE(contains(report, std::strerror(expected_error))) << report;
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()), (Lines{report, menu_line, answered("x")}));
    EXPECT_TRUE(beat_values(*store_) == before);
    EXPECT_EQ(store_->beat.fiducial_marks(1), 120);
    EXPECT_EQ(store_->beat.fiducial_marks(4), 700);
    if (folder_case) {
        EXPECT_EQ(listing(data_), (Lines{"ab.ds"}));
        EXPECT_EQ(read_bytes(data_ / "ab.ds"), "a good beat\n");
    } else {
        EXPECT_EQ(read_bytes(data_), "not a folder\n");
    }
}

// A folder where the .ds file should go: the file is written under its
// temporary name and the rename fails.
TEST_F(ResultFaults, FolderInThePlaceOfTheFileIsReportedAndLeftAlone) {
    std::filesystem::create_directories(data_ / "ab.ds");
    write_bytes(data_ / "ab.ds" / "inside", "kept\n");
    start("d\nab\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    const Lines lines = transcript();
    const std::string report = report_of(lines, "d:\\data\\map\\ab.ds");
    EXPECT_TRUE(contains(report, std::strerror(EISDIR))) << report;
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()), (Lines{report, menu_line, answered("x")}));
    EXPECT_EQ(listing(data_), (Lines{"ab.ds/"}));
    EXPECT_EQ(read_bytes(data_ / "ab.ds" / "inside"), "kept\n");
}

// The .ds file is about 1 MB; a child process limited to 100 kB files runs
// the save, so the write fails part way. It reports its transcript through a
// pipe and its menu count through the exit code.
TEST_F(ResultFaults, WriteFailingPartWayLeavesTheGoodFile) {
    write_bytes(data_ / "ab.ds", "a good beat\n");
    start("d\nab\ny\nx\n");
    const test_support::ChildRun run = test_support::run_in_child([this](std::string& text) {
        const rlimit limit{rlim_t{100} * 1024, rlim_t{100} * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const int shown = run_menu();
        for (const std::string& line : transcript()) text += line + '\n';
        return shown;
    });
    const std::string& text = run.said;
    EXPECT_EQ(run.exit_code, 2);
    Lines lines;
    for (std::size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos;
         from = end + 1)
        lines.push_back(text.substr(from, end - from));
    const std::string report = report_of(lines, "d:\\data\\map\\ab.ds");
    EXPECT_TRUE(contains(report, std::strerror(EFBIG))) << text;
    EXPECT_EQ(listing(data_), (Lines{"ab.ds"}));
    EXPECT_EQ(read_bytes(data_ / "ab.ds"), "a good beat\n");
}

// ---- whole sessions ----

using test_support::SessionResult;
using test_support::SyntheticRecording;

class ResultSession : public test_support::SessionTest {};

constexpr const char* view_menu = "Unit 12| 波形選択(s), 加算平均(b),波形削除(d), 戻る(o), 終了(x)";
constexpr const char* second_question = "記録開始から何秒の時点を表示しますか？(0-28) :";
// Leads as shown, coefficient kept, no ARI file, defaults kept; recording syn01, second 0.
constexpr const char* session_start = "1\n1\n0\n1\nsyn\n01\n0\n";

std::size_t index_of(const Lines& lines, const std::string& line, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i] == line) return i;
    return lines.size();
}

// Marks are set, saved with an .se file, then the recording is read again
// (view menu d): the marks are 0 and the next save writes no .se file.
TEST_F(ResultSession, MarksAreClearedAtEveryReading) {
    SyntheticRecording recording(4000);
    recording.add_spike_train({13, 23, 37}, 500, 800, 800);
    recording.write(data_file("syn01.dat"));
    const std::string script = std::string(session_start) +
                               "s\n@click 195\ny\n"
                               "s\n@click 60\n@click 75\n@click 150\n@click 300\ny\n"
                               "d\na1\ny\n"
                               "sd\n"
                               "d\n0\n"
                               "s\n@click 195\ny\n"
                               "d\na2\ny\n"
                               "x\nx\n0\n0\n";
    const SessionResult result = run_script_text(script);
    ASSERT_EQ(result.exit_code, 0) << result.errors;
    const Lines& lines = result.transcript;
    EXPECT_TRUE(std::filesystem::exists(data_file("a1.se")));
    EXPECT_TRUE(std::filesystem::exists(data_file("a2.ds")));
    EXPECT_FALSE(std::filesystem::exists(data_file("a2.se")));
    const std::size_t left = index_of(lines, answered("sd"));
    ASSERT_LT(left + 4, lines.size());
    EXPECT_EQ(Lines(lines.begin() + static_cast<std::ptrdiff_t>(left) + 1,
                    lines.begin() + static_cast<std::ptrdiff_t>(left) + 5),
              (Lines{"Unit 12| display", view_menu, answered("d"), second_question}));
    const std::size_t second_save = index_of(lines, save_question("a2"));
    ASSERT_LT(second_save + 2, lines.size());
    EXPECT_EQ(lines[second_save + 2], menu_line);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), se_line), 1);
}

// A recording as a function of lead and frame, with the sample near which a
// beat is to be clicked.
struct SessionRecording {
    std::function<int(int lead, int frame)> sample;
    int beat = 0;
};

SessionRecording write_session_recording(const std::filesystem::path& file) {
#ifdef MAPARI_HAVE_SYNTH_MODEL
    synth::SynthSettings settings;
    settings.seed = 11;
    settings.seconds = 4;
    const synth::SynthModel model = synth::make_model(settings);
    auto samples = std::make_shared<std::vector<std::int16_t>>(synth::render_samples(model));
    write_bytes(file, encode_frames(*samples));
    int beat = 0;
    for (const synth::BeatMarks& marks : model.beats)
        if (beat == 0 && marks.qrs_peak >= 400 && marks.qrs_peak <= 2800) beat = marks.qrs_peak;
    return {[samples](int lead, int frame) {
                return static_cast<int>(
                    (*samples)[static_cast<std::size_t>(frame - 1) * channel_count +
                               static_cast<std::size_t>(channel_of_lead(lead) - 1)]);
            },
            beat};
#else
    auto recording = std::make_shared<SyntheticRecording>(4000);
    recording->add_spike_train({13, 23, 37}, 500, 800, 800);
    for (int l = 1; l <= 64; ++l)
        for (int t = 1; t <= 4000; ++t)
            recording->lead(l, t) =
                static_cast<std::int16_t>(recording->lead(l, t) + (7 * l + 3 * t) % 401 - 200);
    recording->write(file);
    return {[recording](int lead, int frame) { return recording->lead(lead, frame); }, 1300};
#endif
}

// Select, mark, one-point at column 120, two-point at columns 510 then 90,
// save: the files equal the beat formed again from the recording and
// corrected by the formulas in 32-bit floats.
TEST_F(ResultSession, WholeSessionFilesEqualAnIndependentComputation) {
    const SessionRecording recording = write_session_recording(data_file("syn01.dat"));
    ASSERT_GT(recording.beat, 0);
    const int click_column = static_cast<int>(static_cast<double>(recording.beat) * 0.15);
    const std::string script = std::string(session_start) + "s\n@click " +
                               std::to_string(click_column) +
                               "\ny\n"
                               "s\n@click 60\n@click 75\n@click 150\n@click 300\ny\n"
                               "z\n@click 120\ny\n"
                               "t\n@click 510\n@click 90\ny\n"
                               "d\nab\ny\n"
                               "x\nx\n0\n0\n";
    const SessionResult result = run_script_text(script);
    ASSERT_EQ(result.exit_code, 0) << result.errors;
    const Lines& lines = result.transcript;

    const std::string selected = "選択した点（msec）";
    int q = 0;
    for (const std::string& line : lines)
        if (line.rfind(selected, 0) == 0) q = std::atoi(line.c_str() + selected.size());
    ASSERT_GE(q, 201);
    ASSERT_LE(q, 3000);
    EXPECT_LE(std::abs(q - recording.beat), 20) << "selected " << q << " for " << recording.beat;

    // Rows 1..1000 from samples q − 200 .. q + 799; rows 1001..1024 are 0 in a fresh run.
    std::vector<float> beat(std::size_t{1024} * 64, 0.0f);
    auto at = [&beat](int k, int l) -> float& {
        return beat[static_cast<std::size_t>((l - 1) * 1024 + (k - 1))];
    };
    for (int l = 1; l <= 64; ++l)
        for (int i = 1; i <= 1000; ++i)
            at(i, l) = static_cast<float>(recording.sample(l, q - 201 + i));
    const int r = row_of_column(120), i1 = row_of_column(90), i2 = row_of_column(510);
    for (int l = 1; l <= 64; ++l) {
        const float base = at(r, l);
        for (int k = 1; k <= 1024; ++k) at(k, l) = at(k, l) - base;
    }
    for (int l = 1; l <= 64; ++l) {
        const float base = at(i1, l);
        const float slope = (at(i2, l) - at(i1, l)) / static_cast<float>(i2 - i1);
        for (int k = 1; k <= 1024; ++k)
            at(k, l) = (at(k, l) - base) + static_cast<float>(i1 - k) * slope;
    }
    std::string ds;
    for (int k = 1; k <= 1024; ++k) {
        for (int l = 1; l <= 64; ++l) {
            ds += free_form(at(k, l));
            if (l % 5 == 0 || l == 64) ds += '\n';
        }
    }
    EXPECT_TRUE(test_support::read_bytes(data_file("ab.ds")) == ds) << "the .ds file differs";

    char se[64];
    std::snprintf(se, sizeof se, "%5d%5d%5d%5d\n", row_of_column(75), row_of_column(60),
                  row_of_column(150), row_of_column(300));
    EXPECT_EQ(test_support::read_bytes(data_file("ab.se")), se);

    EXPECT_LT(index_of(lines, "itzr1" + int12(r)), lines.size());
    EXPECT_LT(index_of(lines, "itzr" + int12(i1) + int12(i2)), lines.size());
    const std::size_t question = index_of(lines, save_question("ab"));
    ASSERT_LT(question + 3, lines.size());
    EXPECT_EQ(Lines(lines.begin() + static_cast<std::ptrdiff_t>(question) + 1,
                    lines.begin() + static_cast<std::ptrdiff_t>(question) + 4),
              (Lines{answered("y"), se_line, menu_line}));
}

}  // namespace
}  // namespace mapari::ari_tests
