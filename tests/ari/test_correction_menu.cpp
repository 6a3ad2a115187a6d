// The correction menu, fiducial marking and baseline correction of the
// working beat, driven from scripts of answers and clicks.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "beats/baseline.hpp"
#include "results_support.hpp"

namespace mapari::ari_tests {
namespace {

const std::string one_point_prompt = "Unit 12| 補正基準点をClick!";
const std::string first_point_prompt = "Unit 12| 補正基準点の一点をClick ! ";
const std::string second_point_prompt = "Unit 12| もう一点をClick! ";
const std::string confirm = "Unit 12| これでいいですか? <y/n>";
const std::string confirm_two_points = "Unit 12| これでいいですか? <y/n> ";
const std::string save_prompt = "Unit 12| 保存ファイル名を入れてください。：";

std::string click(int column) {
    return "> click " + std::to_string(column) + ",150 left";
}

std::string answered(const std::string& answer) {
    return "Unit 12> " + answer;
}

Lines concat(std::initializer_list<Lines> blocks) {
    Lines all;
    for (const Lines& block : blocks) all.insert(all.end(), block.begin(), block.end());
    return all;
}

// The marking dialogue: per mark the trace prompt, the text label, the click
// and the mark; then the confirmation and its answer.
Lines marking_lines(const Lines& clicks, const std::vector<int>& marks, const std::string& answer) {
    const char* prompts[4][2] = {{"stimulus artifactをClick ! ", "artifact point! "},
                                 {"Q　開始点をClick !  ", "Q開始点 "},
                                 {"J 点をClick! ", "J 点! "},
                                 {"T 終点をClick! ", "T 終点! "}};
    Lines lines;
    for (std::size_t m = 0; m < 4; ++m) {
        lines.push_back(std::string("Unit 12| ") + prompts[m][0]);
        lines.push_back(prompts[m][1]);
        lines.push_back(clicks[m]);
        lines.push_back(int12(marks[m]));
    }
    lines.push_back(confirm);
    lines.push_back(answered(answer));
    return lines;
}

std::vector<int> marks_of(const Store& store) {
    std::vector<int> marks;
    for (int m = 1; m <= 4; ++m) marks.push_back(store.beat.fiducial_marks(m));
    return marks;
}

std::vector<float> beat_values(const Store& store) {
    return {store.beat.averaged.values.begin(), store.beat.averaged.values.end()};
}

// Expects every lead on all 1024 rows to hold expected(row, lead) exactly.
template <typename Expected>
void expect_beat(const Store& store, Expected expected) {
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k)
            ASSERT_EQ(store.beat.averaged(k, l), expected(k, l)) << "lead " << l << " row " << k;
}

std::vector<std::pair<std::string, std::size_t>> prompts_and_markers(
    const std::vector<TraceWait>& waits) {
    std::vector<std::pair<std::string, std::size_t>> seen;
    for (const TraceWait& wait : waits) seen.emplace_back(wait.prompt, wait.cyan_lines);
    return seen;
}

class CorrectionMenu : public WorkingBeatTest {};

// Each letter, in either case, runs its branch and comes back to the menu,
// which is shown again.
TEST_F(CorrectionMenu, EachBranchReturnsToTheMenu) {
    const int r120 = row_of_column(120), r480 = row_of_column(480), r180 = row_of_column(180);
    const std::string ab_confirm = "Unit 12| データd:\\data\\map\\ab.ds" + std::string(15, ' ') +
                                   "を保存します。yes or no?  <y/n>";
    struct Branch {
        std::string script;
        Lines lines;
    };
    const Branch save{"ab\nn\n", {save_prompt, answered("ab"), ab_confirm, answered("n")}};
    const Branch one_point{
        "@click 180\ny\n",
        {one_point_prompt, click(180), confirm, answered("y"), "itzr1" + int12(r180)}};
    const Branch two_points{
        "@click 120\n@click 480\ny\n",
        {first_point_prompt, click(120), second_point_prompt, click(480), confirm_two_points,
         answered("y"), "itzr" + int12(r120) + int12(r480)}};
    const Branch marking{
        "@click 60\n@click 75\n@click 150\n@click 300\ny\n",
        marking_lines(
            {click(60), click(75), click(150), click(300)},
            {row_of_column(60), row_of_column(75), row_of_column(150), row_of_column(300)}, "y")};
    const std::vector<std::pair<std::string, const Branch*>> cases = {
        {"d", &save},       {"D", &save},       {"z", &one_point}, {"Z", &one_point},
        {"t", &two_points}, {"T", &two_points}, {"s", &marking},   {"S", &marking}};
    for (const auto& [letter, branch] : cases) {
        SCOPED_TRACE(letter);
        start(letter + "\n" + branch->script + "x\n");
        EXPECT_EQ(run_menu(), 2);
        EXPECT_EQ(
            transcript(),
            concat({{menu_line, answered(letter)}, branch->lines, {menu_line, answered("x")}}));
    }
}

TEST_F(CorrectionMenu, AnyOtherAnswerLeavesForTheDisplayPoint) {
    for (const std::string answer : {"x", "X", "sd", "q", "dd", "zz", "t1", "S."}) {
        SCOPED_TRACE(answer);
        start(answer + "\n");
        EXPECT_EQ(run_menu(), 1);
        EXPECT_EQ(transcript(), (Lines{menu_line, answered(answer)}));
        expect_beat(*store_, pattern_value);
        EXPECT_EQ(marks_of(*store_), (std::vector<int>{0, 0, 0, 0}));
    }
}

// ---- fiducial marking ----

// Column 100: 0.1 / 0.0006 = 166.7 → 166; column 0 → 0; a right click is 0.5
// wherever it lands: 0.5 / 0.0006 = 833.3 → 833; column 999: 0.999 / 0.0006 = 1665.
TEST_F(CorrectionMenu, MarkingWritesEachMarkAndNKeepsTheMarkerLines) {
    for (const std::string answer : {"n", "N"}) {
        SCOPED_TRACE(answer);
        start("s\n@click 100\n@click 0\n@right 10\n@click 999\n" + answer + "\nx\n");
        EXPECT_EQ(run_menu(), 2);
        const std::vector<int> marks{row_of_column(100), 0, 833, 1665};
        EXPECT_EQ(marks_of(*store_), marks);
        EXPECT_EQ(marks[0], 166);
        EXPECT_EQ(transcript(),
                  concat({{menu_line, answered("s")},
                          marking_lines({click(100), click(0), "> click 10,150 right", click(999)},
                                        marks, answer),
                          {menu_line, answered("x")}}));
        // The menu waits with the selected beat and the four marker lines
        // still drawn, each from 0.1 to 0.9 at its clicked position.
        ASSERT_FALSE(waits_.empty());
        EXPECT_EQ(waits_.back().cyan_lines, 4u);
        EXPECT_EQ(waits_.back().blue_lines, 3u);
        std::vector<PixelPoint> tops;
        for (const Polyline& line : windows().trace_window().drawing) {
            if (line.colour != cyan) continue;
            ASSERT_EQ(line.points.size(), 3u);
            EXPECT_EQ(line.points[1].x, line.points[2].x);
            EXPECT_EQ(line.points[1].y, pixel_y(0.1f));
            EXPECT_EQ(line.points[2].y, pixel_y(0.9f));
            tops.push_back(line.points[1]);
        }
        ASSERT_EQ(tops.size(), 4u);
        EXPECT_EQ(tops[0].x, pixel_x(100 * 0.001f));
        EXPECT_EQ(tops[1].x, 0);
        EXPECT_EQ(tops[2].x, pixel_x(0.5f));
        EXPECT_EQ(tops[3].x, pixel_x(999 * 0.001f));
    }
}

TEST_F(CorrectionMenu, MarkingWithAnyOtherAnswerRedrawsTheBeatAndKeepsTheMarks) {
    for (const std::string answer : {"y", "Y", "x", "nn", "no"}) {
        SCOPED_TRACE(answer);
        start("s\n@click 60\n@click 75\n@click 150\n@click 300\n" + answer + "\nx\n");
        EXPECT_EQ(run_menu(), 2);
        EXPECT_EQ(marks_of(*store_), (std::vector<int>{row_of_column(60), row_of_column(75),
                                                       row_of_column(150), row_of_column(300)}));
        ASSERT_FALSE(waits_.empty());
        EXPECT_EQ(waits_.back().prompt, menu_text);
        EXPECT_EQ(waits_.back().cyan_lines, 0u);
        // The prompts went with the clearing; the menu is the first line again.
        ASSERT_FALSE(windows().trace_window().lines.empty());
        EXPECT_EQ(windows().trace_window().lines.front(), menu_text);
        expect_redrawn_beat(windows().trace_window());
        expect_beat(*store_, pattern_value);
    }
}

TEST_F(CorrectionMenu, MarkingAgainOverwritesAllFourMarks) {
    start(
        "s\n@click 60\n@click 75\n@click 150\n@click 300\ny\n"
        "s\n@click 900\n@click 0\n@right\n@click 30\nn\nx\n");
    EXPECT_EQ(run_menu(), 3);
    EXPECT_EQ(marks_of(*store_), (std::vector<int>{row_of_column(900), 0, 833, row_of_column(30)}));
}

// ---- baseline correction ----

TEST_F(CorrectionMenu, OnePointAtSample300ZeroesEveryLeadThere) {
    const int column = column_for_row(300);
    ASSERT_NE(column, -1);
    start("z\n@click " + std::to_string(column) + "\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    EXPECT_EQ(transcript(),
              (Lines{menu_line, answered("z"), one_point_prompt, click(column), confirm,
                     answered("y"), "itzr1         300", menu_line, answered("x")}));
    // Values are multiples of 1/8 below 126, so each difference is exact:
    // every row of a lead moves by the same amount, its value at row 300.
    expect_beat(*store_, [](int k, int l) { return pattern_value(k, l) - pattern_value(300, l); });
    for (int l = 1; l <= lead_count; ++l) ASSERT_EQ(store_->beat.averaged(300, l), 0.0f) << l;
    EXPECT_EQ(waits_.back().cyan_lines, 0u);
    expect_redrawn_beat(windows().trace_window());
}

// Whatever the values, a one-point correction leaves every lead exactly 0 at its row.
TEST(OnePointBaseline, EveryLeadIsExactlyZeroAtTheReferenceRow) {
    auto beat = std::make_unique<Beat>();
    for (int row : {1, 2, 201, 777, 1023, 1024}) {
        for (int l = 1; l <= lead_count; ++l)
            for (int k = 1; k <= averaged_rows; ++k)
                beat->averaged(k, l) = 1234.567f * std::sin(0.37f * static_cast<float>(k * l)) +
                                       1.0e-3f * static_cast<float>(k) - 3.1e4f * (l == 7);
        subtract_one_point_baseline(*beat, row);
        for (int l = 1; l <= lead_count; ++l)
            ASSERT_EQ(beat->averaged(row, l), 0.0f) << "row " << row << " lead " << l;
    }
}

// Lead 1 lies on the line 4 + 0.25 (k − 100) except at rows 50, 250 and 1000:
// A(100) = 4, A(400) = 79, slope = (79 − 4) / (400 − 100) = 0.25, and
//   k = 50:   (7 − 4) + (100 − 50) · 0.25 = 3 + 12.5 = 15.5
//   k = 250:  (40 − 4) + (100 − 250) · 0.25 = 36 − 37.5 = −1.5
//   k = 1000: (−2 − 4) + (100 − 1000) · 0.25 = −6 − 225 = −231
// and every row on the line, inside 100..400 or beyond it, becomes 0.
TEST(TwoPointBaseline, HandWorkedLeadIncludingRowsOutsideTheTwoPoints) {
    auto beat = std::make_unique<Beat>();
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k) beat->averaged(k, l) = pattern_value(k, l);
    for (int k = 1; k <= averaged_rows; ++k)
        beat->averaged(k, 1) = 4.0f + 0.25f * static_cast<float>(k - 100);
    beat->averaged(50, 1) = 7.0f;
    beat->averaged(250, 1) = 40.0f;
    beat->averaged(1000, 1) = -2.0f;
    subtract_two_point_baseline(*beat, 100, 400);
    EXPECT_EQ(beat->averaged(50, 1), 15.5f);
    EXPECT_EQ(beat->averaged(250, 1), -1.5f);
    EXPECT_EQ(beat->averaged(1000, 1), -231.0f);
    for (int k : {1, 49, 51, 100, 300, 400, 999, 1001, 1024})
        EXPECT_EQ(beat->averaged(k, 1), 0.0f) << "row " << k;
    // Every other lead: exactly 0 at row 100, 0 at row 400 up to the rounding
    // of the slope.
    for (int l = 2; l <= lead_count; ++l) {
        ASSERT_EQ(beat->averaged(100, l), 0.0f) << l;
        const float rise = pattern_value(400, l) - pattern_value(100, l);
        ASSERT_LE(std::fabs(beat->averaged(400, l)), 1.0e-5f * std::fabs(rise) + 1.0e-6f) << l;
    }
}

TEST_F(CorrectionMenu, TwoPointClickedRightToLeftEqualsLeftToRight) {
    const int r120 = row_of_column(120), r480 = row_of_column(480);
    const std::string itzr = "itzr" + int12(r120) + int12(r480);
    start("t\n@click 480\n@click 120\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    ASSERT_GE(transcript().size(), 9u);
    EXPECT_EQ(transcript()[8], itzr);
    const std::vector<float> right_to_left = beat_values(*store_);

    start("t\n@click 120\n@click 480\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    ASSERT_GE(transcript().size(), 9u);
    EXPECT_EQ(transcript()[8], itzr);
    EXPECT_TRUE(beat_values(*store_) == right_to_left);
    for (int l = 1; l <= lead_count; ++l) {
        ASSERT_EQ(store_->beat.averaged(r120, l), 0.0f) << l;
        ASSERT_LE(std::fabs(store_->beat.averaged(r480, l)), 1.0e-4f) << l;
        ASSERT_NE(store_->beat.averaged(1024, l), pattern_value(1024, l) - pattern_value(r120, l))
            << "the line is not extended beyond the second point, lead " << l;
    }
    expect_redrawn_beat(windows().trace_window());
}

// After the second correction the beat is 0 at the second row; the first row
// then holds (A(r1) − A(r1)) − (A(r2) − A(r1)), no longer 0 in general.
TEST_F(CorrectionMenu, TwoOnePointCorrectionsAccumulate) {
    const int r1 = row_of_column(120), r2 = row_of_column(480);
    start("z\n@click 120\ny\nZ\n@click 480\ny\nx\n");
    EXPECT_EQ(run_menu(), 3);
    expect_beat(*store_, [&](int k, int l) {
        return (pattern_value(k, l) - pattern_value(r1, l)) -
               (pattern_value(r2, l) - pattern_value(r1, l));
    });
    int nonzero_at_first = 0;
    for (int l = 1; l <= lead_count; ++l) nonzero_at_first += store_->beat.averaged(r1, l) != 0.0f;
    EXPECT_GT(nonzero_at_first, 0);
}

// Refused clicks are asked again; their marker lines stay until the redraw.
TEST_F(CorrectionMenu, AnsweringNAsksTheClicksAgain) {
    const std::string menu = menu_text, one = "補正基準点をClick!", ok = "これでいいですか? <y/n>";
    start("z\n@click 100\nn\n@click 200\nN\n@click 180\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    using Seen = std::vector<std::pair<std::string, std::size_t>>;
    EXPECT_EQ(
        prompts_and_markers(waits_),
        (Seen{{menu, 0}, {one, 0}, {ok, 1}, {one, 1}, {ok, 2}, {one, 2}, {ok, 3}, {menu, 0}}));
    const int r = row_of_column(180);
    EXPECT_EQ(transcript()[transcript().size() - 3], "itzr1" + int12(r));
    expect_beat(*store_, [&](int k, int l) { return pattern_value(k, l) - pattern_value(r, l); });

    const std::string first = "補正基準点の一点をClick ! ", second = "もう一点をClick! ";
    const std::string ok2 = ok + " ";
    start("t\n@click 100\n@click 200\nn\n@click 120\n@click 480\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    EXPECT_EQ(prompts_and_markers(waits_), (Seen{{menu, 0},
                                                 {first, 0},
                                                 {second, 1},
                                                 {ok2, 2},
                                                 {first, 2},
                                                 {second, 3},
                                                 {ok2, 4},
                                                 {menu, 0}}));
    EXPECT_EQ(transcript()[transcript().size() - 3],
              "itzr" + int12(row_of_column(120)) + int12(row_of_column(480)));
}

// A message line on the trace window that names the sample.
void expect_refusal(Lines& lines, std::size_t at, const std::string& sample) {
    ASSERT_LT(at, lines.size());
    EXPECT_EQ(lines[at].rfind("Unit 12| ", 0), 0u) << lines[at];
    EXPECT_TRUE(contains(lines[at], sample)) << lines[at];
    lines[at] = "<refusal>";
}

// Column 0 is sample 0; column 700 is 0.7 / 0.0006 = 1166.7 → 1166: both
// outside 1..1024. The beat is corrected once, at the accepted click.
TEST_F(CorrectionMenu, OnePointRefusesSamplesOutsideTheBeat) {
    EXPECT_EQ(row_of_column(700), 1166);
    start("z\n@click 0\ny\n@click 700\ny\n@click 180\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    Lines lines = transcript();
    expect_refusal(lines, 6, "0");
    expect_refusal(lines, 11, "1166");
    const int r = row_of_column(180);
    EXPECT_EQ(lines, (Lines{menu_line, answered("z"), one_point_prompt, click(0), confirm,
                            answered("y"), "<refusal>", one_point_prompt, click(700), confirm,
                            answered("y"), "<refusal>", one_point_prompt, click(180), confirm,
                            answered("y"), "itzr1" + int12(r), menu_line, answered("x")}));
    expect_beat(*store_, [&](int k, int l) { return pattern_value(k, l) - pattern_value(r, l); });
}

TEST_F(CorrectionMenu, TwoPointRefusesOutsideSamplesAndEqualSamples) {
    const int r120 = row_of_column(120), r180 = row_of_column(180), r480 = row_of_column(480);
    start(
        "t\n@click 0\n@click 300\ny\n@click 300\n@click 700\ny\n@click 180\n@click 180\ny\n"
        "@click 480\n@click 120\ny\nx\n");
    EXPECT_EQ(run_menu(), 2);
    Lines lines = transcript();
    expect_refusal(lines, 8, "0");
    expect_refusal(lines, 15, "1166");
    expect_refusal(lines, 22, std::to_string(r180));
    Lines expected{menu_line, answered("t")};
    for (auto [a, b] : {std::pair{0, 300}, {300, 700}, {180, 180}, {480, 120}}) {
        const Lines round{first_point_prompt, click(a),           second_point_prompt,
                          click(b),           confirm_two_points, answered("y")};
        expected.insert(expected.end(), round.begin(), round.end());
        if (a != 480) expected.push_back("<refusal>");
    }
    expected.insert(expected.end(), {"itzr" + int12(r120) + int12(r480), menu_line, answered("x")});
    EXPECT_EQ(lines, expected);
    // The beat is corrected once, through rows r120 and r480.
    expect_beat(*store_, [&](int k, int l) {
        const float base = pattern_value(r120, l);
        const float slope =
            (pattern_value(r480, l) - pattern_value(r120, l)) / static_cast<float>(r480 - r120);
        return (pattern_value(k, l) - base) + static_cast<float>(r120 - k) * slope;
    });
}

}  // namespace
}  // namespace mapari::ari_tests
