// The catalogue of clicks and of scripts that stop early: every click of the
// session at the edges of the drawing, beyond the drawn beat, outside the
// drawing and with the right button; averaging before any selection; and a
// script that ends, or brings the wrong kind of event, at every wait.
//
// The geometry the cases rest on, in 32-bit reals cut toward zero:
//   recording drawing: sample = column × 0.001 / (0.6 / 4000); column 999
//     gives 6660, 600 gives 4000, 173 gives 1153 and -1 gives -6;
//   working beat: row = column × 0.001 / (0.6 / 1000); column 999 gives row
//     1665, 700 gives 1166, 615 gives 1025, 614 gives 1023, -1 gives -1,
//     32767 gives 54611 and -32768 gives -54613;
//   a right click is taken at 0.5 whatever its pixel: sample 3333, row 833.
// The recording's beat markers stand near samples 350, 1150, 1950, 2750, 3550
// and 3795. The good marks are stimulus 143, Q onset 148, J 243 and T end 601;
// h = 20, a = 7, r = 100.
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "catalogue_support.hpp"

namespace mapari::catalogue_tests {
namespace {

const std::string view_menu = "波形選択(s), 加算平均(b),波形削除(d), 戻る(o), 終了(x)";
const std::string selection_prompt = "選択する波形の線の近くをClick";
const std::string confirmation = "これでいいですか? <y/n>";
const std::string two_point_confirmation = "これでいいですか? <y/n> ";
const std::string one_point_prompt = "補正基準点をClick!";
const std::string two_point_first_prompt = "補正基準点の一点をClick ! ";
const std::string two_point_second_prompt = "もう一点をClick! ";
const std::string out_of_range = "エラー、200から3000msecの範囲にしてください。";
const std::string ari_done = "ARI_fileを作成保存しました。";
const std::string mark_too_wide =
    "A mark does not fit the 5 columns of the .se record; nothing was saved. Mark again.";

std::string trace_line(const std::string& line) {
    return "Unit 12| " + line;
}

std::string click_echo(int column, int row = 150, const char* button = "left") {
    return "> click " + std::to_string(column) + "," + std::to_string(row) + " " + button;
}

// A click as the script gives it and as the transcript echoes it.
struct Click {
    std::string line;
    std::string echo;
};

Click left(int column) {
    return {"@click " + std::to_string(column), click_echo(column)};
}

Click right_button() {
    return {"@right", click_echo(500, 150, "right")};
}

Click right_button(int column, int row = 150) {
    return {"@right " + std::to_string(column) + " " + std::to_string(row),
            click_echo(column, row, "right")};
}

// A whole number right-aligned in 12 columns, as the program writes one.
std::string field12(std::int32_t value) {
    std::string text = std::to_string(value);
    return std::string(text.size() < 12 ? 12 - text.size() : 0, ' ') + text;
}

std::string outside_beat(std::int32_t row) {
    return trace_line("Sample " + std::to_string(row) +
                      " is outside the beat (1 to 1024); click again.");
}

std::size_t index_of(const Lines& lines, const std::string& line) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line) return i;
    ADD_FAILURE() << "no line \"" << line << "\"";
    return lines.size();
}

void erase_lines(Lines& lines, std::size_t first, std::size_t last) {
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(first),
                lines.begin() + static_cast<std::ptrdiff_t>(last) + 1);
}

std::vector<double> numbers_in(const std::string& text) {
    std::vector<double> numbers;
    const char* cursor = text.c_str();
    for (;;) {
        char* end = nullptr;
        const double value = std::strtod(cursor, &end);
        if (end == cursor) break;
        numbers.push_back(value);
        cursor = end;
    }
    return numbers;
}

// The 64 values of row k (1-based) of a .ds file.
std::vector<double> ds_row(const std::vector<double>& ds, int k) {
    const auto first = ds.begin() + static_cast<std::ptrdiff_t>(k - 1) * 64;
    return std::vector<double>(first, first + 64);
}

struct AriRecord {
    std::vector<double> header;  // P, J, E, h
    std::vector<double> activation_ms, recovery_ms;
};

AriRecord ari_record(const std::string& text) {
    const std::vector<double> numbers = numbers_in(text);
    EXPECT_EQ(numbers.size(), 4u + 64u + 64u) << text;
    AriRecord record;
    if (numbers.size() != 4 + 64 + 64) return record;
    record.header.assign(numbers.begin(), numbers.begin() + 4);
    record.activation_ms.assign(numbers.begin() + 4, numbers.begin() + 68);
    record.recovery_ms.assign(numbers.begin() + 68, numbers.end());
    return record;
}

// How a case's .ari relates to the good session's; empty when none is written.
using AriCheck = std::function<void(const std::string& ari, const std::string& good_ari)>;

AriCheck same_as_good() {
    return [](const std::string& ari, const std::string& good_ari) { EXPECT_EQ(ari, good_ari); };
}

// A reference point P beyond J: the activation search P + a .. J is empty, so
// every AT is P - P = 0; the recovery search does not use P, so every RT is
// the good RT moved by 148 - P.
AriCheck reference_beyond_j(std::int32_t reference) {
    return [reference](const std::string& ari, const std::string& good_ari) {
        const AriRecord got = ari_record(ari), good = ari_record(good_ari);
        EXPECT_EQ(got.header, (std::vector<double>{static_cast<double>(reference), 243, 601, 20}));
        EXPECT_EQ(got.activation_ms, std::vector<double>(64, 0.0));
        for (std::size_t l = 0; l < got.recovery_ms.size() && l < good.recovery_ms.size(); ++l)
            EXPECT_EQ(got.recovery_ms[l], good.recovery_ms[l] + 148 - reference)
                << "lead " << l + 1;
    };
}

struct MarkCase {
    Event click;
    Click by;                  // in place of the good click
    std::int32_t row;          // the mark the click gives
    std::string se;            // the .se file, empty when none is written
    std::string save_message;  // what the save step says instead of its usual lines, if anything
    AriCheck check_ari;
};

// A mark of 0 is "not marked": the .ds alone is saved and no ARI question is asked.
MarkCase unmarked(Event click) {
    return {click, left(0), 0, "", "", {}};
}

MarkCase with_ari(Event click, Click by, std::int32_t row, std::string se, AriCheck check) {
    return {click, std::move(by), row, std::move(se), "", std::move(check)};
}

// The .ds and .se are saved; the ARI step names the limit the marks break.
MarkCase without_ari(Event click, Click by, std::int32_t row, std::string se,
                     const std::string& limit) {
    return {click, std::move(by), row, std::move(se), "No ARI file: " + limit + ".", {}};
}

// A mark too wide for the .se record: nothing at all is saved.
MarkCase unsaved(Event click, Click by, std::int32_t row) {
    return {click, std::move(by), row, "", mark_too_wide, {}};
}

struct RefusedCase {
    Event before;
    Lines inserted;
    Lines added;
};

struct BaselineCase {
    Event click;
    Click by;
    std::string correction_line;  // "itzr ..." or "itzr1 ..."
    std::function<void(const std::vector<double>& ds)> check_ds;
};

Lines refused_selection(const std::string& echo) {
    return {trace_echo("s"),
            trace_line(selection_prompt),
            echo,
            trace_line(confirmation),
            trace_echo("y"),
            trace_line(out_of_range),
            trace_line("display"),
            trace_line(view_menu)};
}

RefusedCase selection_refused(const Click& click) {
    return {view_select, {"s", click.line, "y"}, refused_selection(click.echo)};
}

RefusedCase one_point_refused(const Click& click, std::int32_t row) {
    return {one_point_click,
            {click.line, "y"},
            {click.echo, trace_line(confirmation), trace_echo("y"), outside_beat(row),
             trace_line(one_point_prompt)}};
}

// Two clicks of a two-point correction given before the good ones.
RefusedCase two_point_refused(const Click& first, const Click& second, const std::string& refusal) {
    return {two_point_first,
            {first.line, second.line, "y"},
            {first.echo, trace_line(two_point_second_prompt), second.echo,
             trace_line(two_point_confirmation), trace_echo("y"), refusal,
             trace_line(two_point_first_prompt)}};
}

class ClickAndEndCatalogue : public CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        play_good_session();
    }

    void expect_refused(const std::vector<RefusedCase>& cases) {
        for (const RefusedCase& c : cases) {
            std::string inserted;
            for (const std::string& line : c.inserted) inserted += line + " | ";
            SCOPED_TRACE(inserted + "before event " + std::to_string(c.before));
            expect_good_session_with(run_fresh(script_with(c.before, c.inserted)), c.before,
                                     c.added);
        }
    }

    // The ARI line that shows the marks read back: P, J, E and the stimulus.
    static std::string marks_line(std::int32_t q_onset, std::int32_t stimulus, std::int32_t j_point,
                                  std::int32_t t_end) {
        return padded_path("d:\\data\\map\\demo01.ds") + field12(q_onset) + field12(j_point) +
               field12(t_end) + field12(stimulus);
    }

    Lines expected_marking_transcript(const MarkCase& c) const {
        Lines expected = good_transcript_;
        const std::size_t echo = echo_line(expected, c.click);
        expected[echo] = c.by.echo;
        expected[echo + 1] = field12(c.row);
        const std::size_t saved = echo_line(expected, save_ok);
        const std::size_t ari_end = index_of(expected, trace_line(ari_done));
        if (c.se.empty()) {
            erase_lines(expected, saved + 1, ari_end);
            if (!c.save_message.empty())
                expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(saved) + 1,
                                trace_line(c.save_message));
            return expected;
        }
        std::int32_t marks[4] = {143, 148, 243, 601};  // stimulus, Q onset, J, T end
        marks[c.click - stimulus_click] = c.row;
        expected[index_of(expected, marks_line(148, 143, 243, 601))] =
            marks_line(marks[1], marks[0], marks[2], marks[3]);
        if (!c.check_ari) {
            erase_lines(expected, ari_end - 1, ari_end);
            expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(ari_end) - 1,
                            trace_line(c.save_message));
        }
        return expected;
    }

    // Plays the good session with one mark clicked elsewhere; the ARI questions
    // stay out of the script when no .se is written, since none is then asked.
    void expect_marking(const std::vector<MarkCase>& cases) {
        for (const MarkCase& c : cases) {
            SCOPED_TRACE(c.by.line + " at event " + std::to_string(c.click));
            Lines script = script_replacing(c.click, {c.by.line});
            if (c.se.empty())
                script.erase(script.begin() + smoothing_points,
                             script.begin() + recovery_delay + 1);
            const SessionResult result = run_fresh(script);
            EXPECT_EQ(result.exit_code, 0) << result.errors;
            EXPECT_EQ(result.transcript, expected_marking_transcript(c));
            FolderBytes expected = good_files_;
            expected.erase("demo01.ari");
            if (c.se.empty()) expected.erase("demo01.se");
            if (c.se.empty() && !c.save_message.empty()) expected.erase("demo01.ds");
            if (!c.se.empty()) expected["demo01.se"] = c.se;
            FolderBytes files = folder_bytes(data_dir_);
            if (c.check_ari) {
                EXPECT_TRUE(files.contains("demo01.ari"));
                c.check_ari(files["demo01.ari"], good_files_.at("demo01.ari"));
                expected["demo01.ari"] = files["demo01.ari"];
            }
            EXPECT_EQ(files, expected);
            EXPECT_EQ(fort12(), good_fort12_);
        }
    }

    // Plays the good session with one baseline click elsewhere, accepted: the
    // marks and the .se stay; the beat is corrected at other rows.
    void expect_baseline(const std::vector<BaselineCase>& cases) {
        for (const BaselineCase& c : cases) {
            SCOPED_TRACE(c.by.line + " at event " + std::to_string(c.click));
            const SessionResult result = run_fresh(script_replacing(c.click, {c.by.line}));
            EXPECT_EQ(result.exit_code, 0) << result.errors;
            Lines expected = good_transcript_;
            expected[echo_line(expected, c.click)] = c.by.echo;
            const Event confirmed = c.click == one_point_click ? one_point_ok : two_point_ok;
            expected[echo_line(expected, confirmed) + 1] = c.correction_line;
            EXPECT_EQ(result.transcript, expected);
            FolderBytes files = folder_bytes(data_dir_);
            EXPECT_EQ(files.at("demo01.dat"), good_files_.at("demo01.dat"));
            EXPECT_EQ(files.at("demo01.se"), good_files_.at("demo01.se"));
            EXPECT_EQ(files.size(), good_files_.size());
            const std::vector<double> ds = numbers_in(files["demo01.ds"]);
            ASSERT_EQ(ds.size(), 1024u * 64u);
            c.check_ds(ds);
            EXPECT_EQ(ari_record(files["demo01.ari"]).header,
                      (std::vector<double>{148, 243, 601, 20}));
        }
    }

    FolderBytes recording_only() const { return {{"demo01.dat", good_files_.at("demo01.dat")}}; }
};

// ---- 1. clicks at the edges, beyond the drawn beat and outside the drawing ----

TEST_F(ClickAndEndCatalogue, SelectionClickAtTheEdgesOrOutsideTheRecordingIsRefused) {
    // Column 0: sample 0 is nearest to an empty entry, position 0. Columns 600
    // and 999 (samples 4000 and 6660) are nearest to the last beat, near 3795.
    // Column -1 (sample -6) is nearest to an empty entry. Column 32767 lies
    // farther than 4000 samples from every entry, so the previous position
    // stands: 0 at the start of the run. All fail 201 to 3000.
    std::vector<RefusedCase> cases;
    for (int column : {0, 600, 999, -1, 32767}) cases.push_back(selection_refused(left(column)));
    expect_refused(cases);
}

TEST_F(ClickAndEndCatalogue, MarkClickAtTheEdgesOrBeyondTheBeatIsTakenAsItComes) {
    expect_marking({
        unmarked(stimulus_click),
        unmarked(q_onset_click),
        unmarked(j_point_click),
        unmarked(t_end_click),
        // The stimulus mark is written to the .se but takes no part in the ARI.
        with_ari(stimulus_click, left(999), 1665, "  148 1665  243  601\n", same_as_good()),
        with_ari(stimulus_click, left(700), 1166, "  148 1166  243  601\n", same_as_good()),
        with_ari(q_onset_click, left(999), 1665, " 1665  143  243  601\n",
                 reference_beyond_j(1665)),
        with_ari(q_onset_click, left(700), 1166, " 1166  143  243  601\n",
                 reference_beyond_j(1166)),
        without_ari(j_point_click, left(999), 1665, "  148  143 1665  601\n",
                    "J + 2 = 1667 must be at most 1024"),
        without_ari(j_point_click, left(700), 1166, "  148  143 1166  601\n",
                    "J + 2 = 1168 must be at most 1024"),
        without_ari(t_end_click, left(999), 1665, "  148  143  243 1665\n",
                    "E + h = 1685 must be at most 1024"),
        without_ari(t_end_click, left(700), 1166, "  148  143  243 1166\n",
                    "E + h = 1186 must be at most 1024"),
    });
}

TEST_F(ClickAndEndCatalogue, MarkClickOutsideTheDrawingIsTakenAsItComes) {
    // An E of -1 runs no smoothing and no recovery search: every RT is
    // J + r - P = 243 + 100 - 148 = 195, and every AT is the good one.
    const AriCheck t_end_before_the_beat = [](const std::string& ari, const std::string& good_ari) {
        const AriRecord got = ari_record(ari), good = ari_record(good_ari);
        EXPECT_EQ(got.header, (std::vector<double>{148, 243, -1, 20}));
        EXPECT_EQ(got.activation_ms, good.activation_ms);
        EXPECT_EQ(got.recovery_ms, std::vector<double>(64, 195.0));
    };
    // A P of -1 passes P + a - 2 = 4 >= 1: activation is searched from row 6
    // to J = 243, so AT lies in 7 .. 244 (or is 0); RT moves by 148 - (-1) = 149.
    const AriCheck reference_before_the_beat = [](const std::string& ari,
                                                  const std::string& good_ari) {
        const AriRecord got = ari_record(ari), good = ari_record(good_ari);
        EXPECT_EQ(got.header, (std::vector<double>{-1, 243, 601, 20}));
        for (std::size_t l = 0; l < got.activation_ms.size() && l < good.recovery_ms.size(); ++l) {
            const double at = got.activation_ms[l];
            EXPECT_TRUE(at == 0.0 || (at >= 7.0 && at <= 244.0)) << "lead " << l + 1 << ": " << at;
            EXPECT_EQ(got.recovery_ms[l], good.recovery_ms[l] + 149) << "lead " << l + 1;
        }
    };
    expect_marking({
        with_ari(stimulus_click, left(-1), -1, "  148   -1  243  601\n", same_as_good()),
        with_ari(q_onset_click, left(-1), -1, "   -1  143  243  601\n", reference_before_the_beat),
        without_ari(j_point_click, left(-1), -1, "  148  143   -1  601\n",
                    "the J point -1 must be at least 1"),
        with_ari(t_end_click, left(-1), -1, "  148  143  243   -1\n", t_end_before_the_beat),
        // Row 54611 fills its 5 columns exactly.
        with_ari(stimulus_click, left(32767), 54611, "  14854611  243  601\n", same_as_good()),
        with_ari(q_onset_click, left(32767), 54611, "54611  143  243  601\n",
                 reference_beyond_j(54611)),
        without_ari(j_point_click, left(32767), 54611, "  148  14354611  601\n",
                    "J + 2 = 54613 must be at most 1024"),
        without_ari(t_end_click, left(32767), 54611, "  148  143  24354611\n",
                    "E + h = 54631 must be at most 1024"),
        // Row -54613 needs 6 columns: nothing is saved, not even the .ds.
        unsaved(stimulus_click, left(-32768), -54613),
    });
}

TEST_F(ClickAndEndCatalogue, BaselineClickOutsideTheBeatIsRefusedAndAskedAgain) {
    expect_refused({
        one_point_refused(left(0), 0),
        one_point_refused(left(999), 1665),
        one_point_refused(left(615), 1025),
        one_point_refused(left(-1), -1),
        one_point_refused(left(-32768), -54613),
        // The two rows are put in order first (60 gives 100, 420 gives 700);
        // the smaller is tested first.
        two_point_refused(left(0), left(420), outside_beat(0)),
        two_point_refused(left(60), left(0), outside_beat(0)),
        two_point_refused(left(999), left(420), outside_beat(1665)),
        two_point_refused(left(60), left(615), outside_beat(1025)),
        two_point_refused(left(-1), left(420), outside_beat(-1)),
        two_point_refused(left(999), left(-32768), outside_beat(-54613)),
    });
}

TEST_F(ClickAndEndCatalogue, BaselineClickBeyondTheDrawnBeatWithinItsRowsIsTaken) {
    expect_baseline({
        // Column 614 gives row 1023, the last a click can reach: the one-point
        // correction there makes every lead exactly 0 at row 1023.
        {one_point_click, left(614), "itzr1" + field12(1023),
         [](const std::vector<double>& ds) {
             EXPECT_EQ(ds_row(ds, 1023), std::vector<double>(64, 0.0));
             EXPECT_NE(ds_row(ds, 100), std::vector<double>(64, 0.0));
         }},
        // Rows 100 and 1023: the two-point correction makes row 100 exactly 0
        // and row 1023 0 within rounding (|x| <= 1e-3); the one-point
        // correction at row 100 then subtracts 0.
        {two_point_second, left(614), "itzr" + field12(100) + field12(1023),
         [](const std::vector<double>& ds) {
             EXPECT_EQ(ds_row(ds, 100), std::vector<double>(64, 0.0));
             for (double value : ds_row(ds, 1023)) EXPECT_NEAR(value, 0.0, 1e-3);
         }},
    });
}

TEST_F(ClickAndEndCatalogue, ClickRowOutsideTheDrawingIsNotUsed) {
    // Only the column of a click counts: the good session with every click at
    // a row outside 0..299 gives the good files.
    const std::vector<std::pair<Event, int>> rows = {
        {selection_click, -1},   {stimulus_click, 300},   {q_onset_click, -32768},
        {j_point_click, 32767},  {t_end_click, 5000},     {two_point_first, -150},
        {two_point_second, 301}, {one_point_click, -300},
    };
    Lines script = good_script();
    Lines expected = good_transcript_;
    for (const auto& [event, row] : rows) {
        const int column = std::stoi(script[event].substr(7));
        script[event] += " " + std::to_string(row);
        expected[echo_line(expected, event)] = click_echo(column, row);
    }
    const SessionResult result = run_fresh(script);
    EXPECT_EQ(result.exit_code, 0) << result.errors;
    EXPECT_EQ(result.transcript, expected);
    EXPECT_EQ(folder_bytes(data_dir_), good_files_);
    EXPECT_EQ(fort12(), good_fort12_);
}

TEST_F(ClickAndEndCatalogue, ClickPositionBeyondSixteenBitsIsAScriptError) {
    // Pixels are 16-bit numbers; a larger one stops the script at its line.
    for (const std::string line : {"@click 32768", "@click 5 -32769", "@right 0 40000"}) {
        SCOPED_TRACE(line);
        const SessionResult result = run_fresh(script_replacing(selection_click, {line}));
        EXPECT_EQ(result.exit_code, 2);
        EXPECT_EQ(result.errors,
                  "mapari: script line 13: a click position must be whole pixel numbers from "
                  "-32768 to 32767\n");
        EXPECT_EQ(result.transcript,
                  test_support::first_lines(good_transcript_,
                                            echo_line(good_transcript_, selection_click)));
        EXPECT_EQ(folder_bytes(data_dir_), recording_only());
    }
}

// ---- 2. right-button clicks ----

TEST_F(ClickAndEndCatalogue, RightClickAtEveryClickIsTakenAtTheMiddleOfTheWindow) {
    // The script's pixels vary to show that none is used: a right click at
    // column 173, where a left click selects the beat near 1150, gives sample
    // 3333, nearest to the beat near 3550, past 3000.
    expect_refused({
        selection_refused(right_button(173)),
        // Both clicks of a two-point correction give row 833: no line.
        two_point_refused(
            right_button(60), right_button(420, 10),
            trace_line("Both points are sample 833; a line needs two samples. Click again.")),
    });
    // Every mark at row 833. With J = 833 past E = 601 no recovery is
    // searched: RT = J + r - P = 833 + 100 - 148 = 785, and AT lies in
    // P + a - P = 7 .. J - P = 685 (or is 0). With E = 833 the recovery search
    // runs on past the good one's end: RT from the good RT up to 833 - 148 = 685.
    const AriCheck j_past_e = [](const std::string& ari, const std::string&) {
        const AriRecord got = ari_record(ari);
        EXPECT_EQ(got.header, (std::vector<double>{148, 833, 601, 20}));
        for (double at : got.activation_ms) EXPECT_TRUE(at == 0.0 || (at >= 7.0 && at <= 685.0));
        EXPECT_EQ(got.recovery_ms, std::vector<double>(64, 785.0));
    };
    const AriCheck later_t_end = [](const std::string& ari, const std::string& good_ari) {
        const AriRecord got = ari_record(ari), good = ari_record(good_ari);
        EXPECT_EQ(got.header, (std::vector<double>{148, 243, 833, 20}));
        EXPECT_EQ(got.activation_ms, good.activation_ms);
        for (std::size_t l = 0; l < got.recovery_ms.size() && l < good.recovery_ms.size(); ++l) {
            EXPECT_GE(got.recovery_ms[l], good.recovery_ms[l]) << "lead " << l + 1;
            EXPECT_LE(got.recovery_ms[l], 685.0) << "lead " << l + 1;
        }
    };
    expect_marking({
        with_ari(stimulus_click, right_button(0), 833, "  148  833  243  601\n", same_as_good()),
        with_ari(q_onset_click, right_button(999, 5), 833, "  833  143  243  601\n",
                 reference_beyond_j(833)),
        with_ari(j_point_click, right_button(-1), 833, "  148  143  833  601\n", j_past_e),
        with_ari(t_end_click, right_button(), 833, "  148  143  243  833\n", later_t_end),
    });
    expect_baseline({
        {one_point_click, right_button(32767, 0), "itzr1" + field12(833),
         [](const std::vector<double>& ds) {
             EXPECT_EQ(ds_row(ds, 833), std::vector<double>(64, 0.0));
         }},
        // Rows 833 and 700 are put in order; both are 0 after the two-point
        // correction (833 within rounding), and the one-point correction at
        // row 100 moves them by the same amount, so they stay equal.
        {two_point_first, right_button(10), "itzr" + field12(700) + field12(833),
         [](const std::vector<double>& ds) {
             const std::vector<double> row_700 = ds_row(ds, 700), row_833 = ds_row(ds, 833);
             EXPECT_EQ(ds_row(ds, 100), std::vector<double>(64, 0.0));
             for (std::size_t l = 0; l < 64; ++l)
                 EXPECT_NEAR(row_833[l], row_700[l], 1e-3) << "lead " << l + 1;
         }},
        {two_point_second, right_button(), "itzr" + field12(100) + field12(833),
         [](const std::vector<double>& ds) {
             EXPECT_EQ(ds_row(ds, 100), std::vector<double>(64, 0.0));
             for (double value : ds_row(ds, 833)) EXPECT_NEAR(value, 0.0, 1e-3);
         }},
    });
}

// ---- 3. averaging before any selection ----

TEST_F(ClickAndEndCatalogue, AveragingBeforeAnySelectionIsRefused) {
    const Lines refusal = {trace_line("No template yet: select a beat (s) before averaging (b)."),
                           trace_line("display"), trace_line(view_menu)};
    const auto after = [&](Lines first) {
        first.insert(first.end(), refusal.begin(), refusal.end());
        return first;
    };
    expect_refused({
        {view_select, {"b"}, after({trace_echo("b")})},
        {view_select, {"B"}, after({trace_echo("B")})},
        // A declined or a refused selection sets no template either.
        {view_select,
         {"s", "@click 173", "n", "b"},
         after({trace_echo("s"), trace_line(selection_prompt), click_echo(173),
                trace_line(confirmation), trace_echo("n"), trace_line("display"),
                trace_line(view_menu), trace_echo("b")})},
        {view_select,
         {"s", "@click 0", "y", "b"},
         after(test_support::concat({refused_selection(click_echo(0)), {trace_echo("b")}}))},
    });
}

// ---- 4. a script that ends, or brings the wrong kind of event, at a wait ----

// What the program waits for at each event of the good session: the question
// as the message names it (the last line of the window it waits in).
struct Wait {
    bool click;
    std::string prompt;
};

const std::vector<Wait>& waits() {
    static const std::string correction_menu =
        "保存処理(d), 区分点(s),一点補正(z),二点補正(t),戻る(x)";
    static const std::vector<Wait> all = {
        {false, "表示する誘導はこれでいいですか？ y or n  (1/0)"},
        {false, "enter first_lead  :"},
        {false, "enter second_lead  :"},
        {false, "enter third_lead  :"},
        {false, "波形認識係数0.99でいいですか? y or n  (1/0)"},
        {false, "係数を入れてください (0.0 - 1.0)  :"},
        {false, "ari ファイルを同時作成しますか？、 yes or no (1/0)  :"},
        {false, " yes or no (1/0)  :"},
        {false, "fileの共通部分をいれてください  :"},
        {false, "fileの可変部分をいれてください。(xxx.dat):"},
        {false, "記録開始から何秒の時点を表示しますか？(0-28) :"},
        {false, view_menu},
        {true, selection_prompt},
        {false, confirmation},
        {false, correction_menu},
        {false, view_menu},
        {false, correction_menu},
        {true, "stimulus artifactをClick ! "},
        {true, "Q　開始点をClick !  "},
        {true, "J 点をClick! "},
        {true, "T 終点をClick! "},
        {false, confirmation},
        {false, correction_menu},
        {true, two_point_first_prompt},
        {true, two_point_second_prompt},
        {false, two_point_confirmation},
        {false, correction_menu},
        {true, one_point_prompt},
        {false, confirmation},
        {false, correction_menu},
        {false, "保存ファイル名を入れてください。："},
        {false, "データd:\\data\\map\\demo01.ds           を保存します。yes or no?  <y/n>"},
        {false, "number of smoothing :"},
        {false, " time to act after stim:"},
        {false, " enter minimum rt after j (1-200):"},
        {false, correction_menu},
        {false, view_menu},
        {false, "この続きのデータを処理しますか？　(1/0)  :"},
        {false, "別のデータシリーズを処理しますか？ (1/0)  :"},
    };
    return all;
}

class ScriptEndCatalogue : public ClickAndEndCatalogue {
  protected:
    // The files as the good session has them when it waits at the event: the
    // recording alone up to the save; then the .ds and .se, whole; the .ari
    // once r is answered. fort.12 is made by the first reading.
    void expect_whole_files_at(Event event) {
        FolderBytes expected = good_files_;
        if (event <= save_ok) expected = recording_only();
        if (event <= recovery_delay) expected.erase("demo01.ari");
        EXPECT_EQ(folder_bytes(data_dir_), expected);
        EXPECT_EQ(fort12(), event <= display_second ? "<missing>" : good_fort12_);
    }

    Lines transcript_until(Event event) const {
        return test_support::first_lines(good_transcript_, echo_line(good_transcript_, event));
    }

    // A recording whose lead 13, the first display lead, is 0 throughout.
    Lines script_to_the_no_data_pause() {
        SyntheticRecording silent(4000);
        silent.add_spike_train({23, 37}, 500, 800, 700);
        silent.write(data_file("demo02.dat"));
        files_with_silent_recording_ = folder_bytes(data_dir_);
        return test_support::concat({script_until(variable_part), {"02", "0"}});
    }

    Lines transcript_to_the_no_data_pause() const {
        return test_support::concat(
            {transcript_until(variable_part),
             {text_echo("02"), "記録開始から何秒の時点を表示しますか？(0-28) :", text_echo("0"),
              trace_line(no_data_prompt)}});
    }

    const std::string no_data_prompt = padded_path("d:\\data\\map\\demo02.dat") + "No data!  Hit";
    FolderBytes files_with_silent_recording_;
};

TEST_F(ScriptEndCatalogue, ScriptEndingAtEveryWaitNamesThePromptAndLeavesWholeFiles) {
    ASSERT_EQ(waits().size(), static_cast<std::size_t>(event_count));
    for (std::size_t e = 0; e < waits().size(); ++e) {
        const Event event = static_cast<Event>(e);
        SCOPED_TRACE("script ends before event " + std::to_string(e) + ": " + good_script()[e]);
        const SessionResult result = run_fresh(script_until(event));
        EXPECT_EQ(result.exit_code, 3);
        EXPECT_EQ(result.errors, "mapari: the script ended while the program waited for " +
                                     std::string(waits()[e].click ? "a click" : "an answer") +
                                     " to \"" + waits()[e].prompt + "\"\n");
        EXPECT_EQ(result.transcript, transcript_until(event));
        expect_whole_files_at(event);
    }
    reset_data_folder();
    const SessionResult paused = run(script_to_the_no_data_pause());
    EXPECT_EQ(paused.exit_code, 3);
    EXPECT_EQ(paused.errors,
              "mapari: the script ended while the program waited for an answer "
              "to \"" +
                  no_data_prompt + "\"\n");
    EXPECT_EQ(paused.transcript, transcript_to_the_no_data_pause());
    EXPECT_EQ(folder_bytes(data_dir_), files_with_silent_recording_);
    EXPECT_EQ(fort12(), "point 1\npoint 2\n");
}

TEST_F(ScriptEndCatalogue, WrongKindOfEventAtEveryWaitStopsAtItsLine) {
    for (std::size_t e = 0; e < waits().size(); ++e) {
        const Event event = static_cast<Event>(e);
        // Answers where a click is due: an early "y" or an empty line; clicks
        // where an answer is due: left and right in turn.
        const std::string wrong =
            waits()[e].click ? (e % 2 == 0 ? "y" : "") : (e % 2 == 0 ? "@click 173" : "@right");
        SCOPED_TRACE("\"" + wrong + "\" in place of event " + std::to_string(e) + ": " +
                     good_script()[e]);
        const SessionResult result = run_fresh(script_replacing(event, {wrong}));
        EXPECT_EQ(result.exit_code, 2);
        const std::string line = "mapari: script line " + std::to_string(e + 1) + ": ";
        EXPECT_EQ(result.errors,
                  line +
                      (waits()[e].click ? "an answer, but the program waits for a click after \""
                                        : "a click, but the program waits for an answer to \"") +
                      waits()[e].prompt + "\"\n");
        EXPECT_EQ(result.transcript, transcript_until(event));
        expect_whole_files_at(event);
    }
    reset_data_folder();
    const SessionResult paused =
        run(test_support::concat({script_to_the_no_data_pause(), {"@click 500"}}));
    EXPECT_EQ(paused.exit_code, 2);
    EXPECT_EQ(paused.errors,
              "mapari: script line 12: a click, but the program waits for an "
              "answer to \"" +
                  no_data_prompt + "\"\n");
    EXPECT_EQ(paused.transcript, transcript_to_the_no_data_pause());
    EXPECT_EQ(folder_bytes(data_dir_), files_with_silent_recording_);
}

}  // namespace
}  // namespace mapari::catalogue_tests
