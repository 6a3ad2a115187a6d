// Whole sessions: the program run from a script on a recording file, and
// averaging on a real recording.
#include <gtest/gtest.h>

#include <cstring>

#include "app/driver.hpp"
#include "beat_support.hpp"
#include "beats/averaging.hpp"
#include "beats/detection.hpp"
#include "beats/selection.hpp"
#include "phases/averaging.hpp"
#include "phases/selection.hpp"
#include "phases/trace_drawing.hpp"
#include "support/real_data.hpp"

namespace mapari::beats_tests {
namespace {

constexpr const char* view_menu = "Unit 12| 波形選択(s), 加算平均(b),波形削除(d), 戻る(o), 終了(x)";
constexpr const char* correction_menu =
    "Unit 12| 保存処理(d), 区分点(s),一点補正(z),二点補正(t),戻る(x)";
constexpr const char* click_prompt = "Unit 12| 選択する波形の線の近くをClick";
constexpr const char* confirm_prompt = "Unit 12| これでいいですか? <y/n>";
constexpr const char* placeholder = "<any trace line>";

void set_data_directory(Store& store, const std::filesystem::path& dir) {
    const std::string text = dir.string();
    ASSERT_LT(text.size(), static_cast<std::size_t>(data_directory_capacity));
    std::memcpy(store.naming.data_directory.data(), text.c_str(), text.size() + 1);
}

// Beats of heights 1000, 1120, 1040, 1160, 1080 at 500, 1300, 2100, 2900,
// 3700; the other leads differ from beat to beat. The operator asks for an
// average before any selection, clicks left of every beat (an error), selects
// the beat at 1300 (click column 195 is sample 1300), goes back, averages,
// goes back and ends.
TEST(BeatSession, SelectThenAverageAWrittenRecording) {
    TemporaryFolder dir;
    const std::filesystem::path data = dir.path() / "data", work = dir.path() / "work";
    std::filesystem::create_directories(data);
    std::filesystem::create_directories(work);
    const BeatTrain train{.vary = true};
    train.write(data / "synth01.dat", 4000);

    auto store = std::make_unique<Store>();
    set_data_directory(*store, data);
    const std::string script =
        "1\n1\n0\n1\nsynth\n01\n0\n"
        "b\n"
        "s\n@click 20\ny\n"
        "s\n@click 195\ny\n"
        "x\n"
        "b\n"
        "x\n"
        "x\n0\n0\n";
    ScriptedRuntime runtime(script, work);
    ASSERT_NO_THROW(run_program(*store, *runtime));

    Lines transcript = runtime.transcript();
    const std::size_t from = find_line(transcript, "Unit 12| display");
    ASSERT_LT(from + 3, transcript.size());
    // The message of an average asked for before any selection is the
    // program's own; any line on the trace window will do.
    EXPECT_EQ(transcript[from + 3].rfind("Unit 12| ", 0), 0u);
    EXPECT_NE(transcript[from + 3], "Unit 12| 加算平均の計算中です。");
    transcript[from + 3] = placeholder;

    Lines expected{"Unit 12| display",
                   view_menu,
                   "Unit 12> b",
                   placeholder,
                   "Unit 12| display",
                   view_menu,
                   "Unit 12> s",
                   click_prompt,
                   "> click 20,150 left",
                   confirm_prompt,
                   "Unit 12> y",
                   "Unit 12| エラー、200から3000msecの範囲にしてください。",
                   "Unit 12| display",
                   view_menu,
                   "Unit 12> s",
                   click_prompt,
                   "> click 195,150 left",
                   confirm_prompt,
                   "Unit 12> y",
                   "選択した点（msec）" + int12(1300),
                   "selected time" + int12(1100),
                   "temp set",
                   correction_menu,
                   "Unit 12> x",
                   "Unit 12| display",
                   view_menu,
                   "Unit 12> b",
                   "Unit 12| 加算平均の計算中です。"};
    for (int second = 0; second <= 28; second += 4) expected.push_back("nn" + int12(second));
    const Lines rest{"number of averaging:" + int12(32),
                     "Unit 12| disp",
                     correction_menu,
                     "Unit 12> x",
                     "Unit 12| display",
                     view_menu,
                     "Unit 12> x",
                     " 終了"};
    expected.insert(expected.end(), rest.begin(), rest.end());
    const Lines actual = lines_from(transcript, from);
    ASSERT_GE(actual.size(), expected.size());
    EXPECT_EQ(Lines(actual.begin(), actual.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected);
    EXPECT_EQ(transcript.back(), "> 0");

    // The lines of the preparation went to the trace channel's default file.
    std::string path = "d:\\data\\map\\synth01.dat";
    path.resize(30, ' ');
    EXPECT_EQ(read_bytes(work / "fort.12"),
              "point 1\npoint 2\n" + path + "drawing ecg data\n   1000.000    potmax\n");

    // The template is the selected beat on lead 13; the averaged beat is the
    // mean of the beats planted from 201 to 3000, worked out from the file's
    // own samples.
    EXPECT_EQ(store->beat.template_channel, 21);
    for (int i = 1; i <= 51; ++i)
        ASSERT_EQ(store->beat.template_samples(i), train.value(13, 1274 + i)) << i;
    std::vector<int> summed;
    for (int p : train.positions(4000))
        if (p >= 201 && p <= 3000) summed.push_back(p);
    ASSERT_EQ(summed.size(), 4u);
    EXPECT_EQ(store->beat.averaging_count, 32);
    for (int l = 1; l <= lead_count; ++l) {
        for (int i = 1; i <= averaged_rows; ++i) {
            double sum = 0.0;
            for (int q : summed) sum += train.value(l, q - 201 + i);
            const auto mean = static_cast<float>(sum / static_cast<double>(summed.size()));
            ASSERT_FLOAT_EQ(store->beat.averaged(i, l), mean) << "lead " << l << " row " << i;
        }
    }
}

std::filesystem::path real_recording(const char* name) {
    return test_support::real_data_folder() / name;
}

// One measured beat repeated every 800 ms: every beat the averaging accepts
// is the selected one again, so the mean is the selected beat itself.
TEST(RealRecording, AveragingTheRepeatedSockBeatGivesItBack) {
    const std::filesystem::path file = real_recording("realsock01.dat");
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "real recording not found: " << file.string();
    auto store = make_store();
    ASSERT_TRUE(load_recording(*store, file));
    TemporaryFolder dir;
    ScriptedRuntime runtime("", dir.path());
    ASSERT_TRUE(prepare_display(*store, *runtime));
    runtime->open_trace_window();
    draw_recording(*store, *runtime);

    std::vector<int> found;
    for (int s = 1; s <= beat_slots && store->display.sorted_beats(s) != 0; ++s)
        found.push_back(store->display.sorted_beats(s));
    // Each copy's QRS lies 100 to 160 ms after its start at 800 k; the list
    // also ends with a position that is no beat.
    int q = 0;
    for (int p : found)
        if (p >= 201 && p <= 3000 && p % 800 >= 100 && p % 800 <= 160) q = p;
    ASSERT_NE(q, 0) << "no QRS found from 201 to 3000";
    store->beat.selected_position = q;
    take_and_draw_beat(*store, *runtime);
    ASSERT_EQ(average_beats(*store, *runtime), Point::correction_menu);

    // The copies of the beat at q that lie from 201 to 3000.
    int copies = 0;
    for (int p = q % 800; p <= 3000; p += 800) copies += p >= 201;
    EXPECT_EQ(store->beat.averaging_count, 8 * copies);
    for (int l = 1; l <= lead_count; ++l)
        for (int i = 1; i <= averaged_rows; ++i)
            ASSERT_EQ(store->beat.averaged(i, l),
                      store->recording.samples(channel_of_lead(l), q - 201 + i))
                << "lead " << l << " row " << i;
}

}  // namespace
}  // namespace mapari::beats_tests
