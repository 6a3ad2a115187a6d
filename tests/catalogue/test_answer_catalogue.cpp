// The answer part of the bad-input catalogue: letters where numbers are due,
// empty lines, lead numbers that do not exist and recognition coefficients
// outside 0 to 1, each at every question that takes them, played through the
// whole program and compared with the good session line by line and file by
// file.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "catalogue_support.hpp"
#include "formats/free_form.hpp"
#include "formats/map_recording.hpp"
#include "phases/plot.hpp"
#include "support/dialogue_texts.hpp"

namespace mapari::catalogue_tests {
namespace {

using namespace test_support::texts;

// ---- the program's own texts ----

const std::string kSmoothing = "number of smoothing :";
const std::string kStimulusDelay = " time to act after stim:";
const std::string kRecoveryDelay = " enter minimum rt after j (1-200):";
const std::string kSaveName = "保存ファイル名を入れてください。：";

constexpr const char* kWholeNumber = "a whole number";
constexpr const char* kNumber = "a number";

// The good session's marks as the .se record holds them: Q onset, stimulus, J, T end.
const std::string kGoodSeRecord = "  148  143  243  601\n";

std::string trace_line(const std::string& line) {
    return "Unit 12| " + line;
}

std::string no_such_lead(const std::string& lead) {
    return "Lead " + lead + " does not exist; leads are numbered 1 to 64.";
}

// The transcript with one line put in the place of another.
Lines with_line_replaced(Lines transcript, std::size_t at, const std::string& line) {
    if (at < transcript.size()) transcript[at] = line;
    return transcript;
}

// Where a line stands in a transcript; its size when the line is not there.
std::size_t line_index(const Lines& transcript, const std::string& line) {
    return static_cast<std::size_t>(std::find(transcript.begin(), transcript.end(), line) -
                                    transcript.begin());
}

// Every blank-separated number of a result file; `all_read` tells whether
// every word was a number, and `all_finite` whether none was NaN or infinite.
struct FileNumbers {
    std::vector<double> values;
    bool all_read = true;
    bool all_finite = true;
};

FileNumbers numbers_of(const std::string& text) {
    FileNumbers numbers;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        char* end = nullptr;
        const double value = std::strtod(word.c_str(), &end);
        if (end != word.c_str() + word.size()) numbers.all_read = false;
        if (!std::isfinite(value)) numbers.all_finite = false;
        numbers.values.push_back(value);
    }
    return numbers;
}

// Where two transcripts first part, to read a failure of a long session.
std::string first_difference(const Lines& actual, const Lines& expected) {
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    auto shown = [at](const Lines& lines) {
        return at < lines.size() ? "\"" + lines[at] + "\"" : std::string("the end");
    };
    return "line " + std::to_string(at) + ": " + shown(actual) + " where " + shown(expected) +
           " was expected";
}

bool is_whole(double value) {
    return value == std::floor(value);
}

// ---- 1. letters where numbers are due ----

struct NumericQuestion {
    Event event;
    const std::string& prompt;
    const char* expected;
    bool free_value;  // a free value refuses its first word; a fixed field its whole line
};

// "no 1" shows the difference between the two readings: a free value is the
// word "no", a fixed field the whole line; neither takes the 1.
const Lines kLetterAnswers = {"abc", "1x", "y", "no 1"};

TEST_F(CatalogueTest, LettersAtEveryNumericQuestionAreRefusedAndTheQuestionAskedAgain) {
    play_good_session();
    const NumericQuestion questions[] = {
        {leads_ok, kLeadsOk, kWholeNumber, true},
        {first_lead, kFirstLead, kWholeNumber, false},
        {second_lead, kSecondLead, kWholeNumber, false},
        {third_lead, kThirdLead, kWholeNumber, false},
        {coefficient_ok, kCoefficientOk, kWholeNumber, true},
        {coefficient, kCoefficientAsk, kNumber, false},
        {ari_switch, kAri, kWholeNumber, true},
        {ari_defaults, kYesNo, kWholeNumber, true},
        {display_second, kSecond, kWholeNumber, false},
        {smoothing_points, kSmoothing, kWholeNumber, false},
        {stimulus_delay, kStimulusDelay, kWholeNumber, false},
        {recovery_delay, kRecoveryDelay, kWholeNumber, false},
        {more_data, kMoreData, kWholeNumber, true},
        {other_series, kOtherSeries, kWholeNumber, true},
    };
    for (const NumericQuestion& question : questions) {
        SCOPED_TRACE(question.prompt);
        Lines added;
        for (const std::string& typed : kLetterAnswers) {
            const std::string refused =
                question.free_value ? typed.substr(0, typed.find(' ')) : typed;
            added.insert(added.end(), {text_echo(typed), cannot_read(refused, question.expected),
                                       question.prompt});
        }
        expect_good_session_with(run_fresh(script_with(question.event, kLetterAnswers)),
                                 question.event, added);
    }
}

// A recording named beside demo01.dat whose every lead is 0, so its reading
// ends in the no-data pause; "0" answers the pause and "01" goes on with the
// good session.
class NoDataPauseTest : public CatalogueTest {
  protected:
    void write_silent_recording() { SyntheticRecording(4000).write(data_file("demonil.dat")); }

    static std::string pause_line() {
        return trace_line(padded_path("d:\\data\\map\\demonil.dat") + "No data!  Hit");
    }

    // The good transcript with the detour through the silent recording and
    // `at_pause` (the lines the pause's bad answers add) before "01".
    Lines expected_transcript(const Lines& at_pause) const {
        Lines detour = {text_echo("nil"), kSecond, text_echo("0"), pause_line()};
        detour.insert(detour.end(), at_pause.begin(), at_pause.end());
        detour.insert(detour.end(), {trace_echo("0"), kVariable});
        // The pause left the trace window open, so the next reading's
        // progress lines show in it instead of going to fort.12.
        Lines transcript = good_transcript_;
        std::istringstream progress(good_fort12_);
        std::size_t at = echo_line(transcript, display_second) + 1;
        for (std::string line; std::getline(progress, line);)
            transcript.insert(transcript.begin() + static_cast<std::ptrdiff_t>(at++),
                              trace_line(line));
        return with_lines_before(transcript, variable_part, detour);
    }
};

TEST_F(NoDataPauseTest, LettersAreRefusedAndEmptyLinesPassedOverAtThePause) {
    play_good_session();
    const std::string pause = pause_line();
    struct Case {
        const char* typed;
        Lines added;
    };
    // All wait at the one pause, so one session answers them in turn.
    const Case cases[] = {
        {"abc", {trace_echo("abc"), trace_line(cannot_read("abc", kNumber)), pause}},
        {"1x", {trace_echo("1x"), trace_line(cannot_read("1x", kNumber)), pause}},
        {"y", {trace_echo("y"), trace_line(cannot_read("y", kNumber)), pause}},
        {"no 1", {trace_echo("no 1"), trace_line(cannot_read("no", kNumber)), pause}},
        {"", {trace_echo("")}},
    };
    Lines inserted = {"nil", "0"};
    Lines at_pause;
    for (const Case& c : cases) {
        inserted.push_back(c.typed);
        at_pause.insert(at_pause.end(), c.added.begin(), c.added.end());
    }
    inserted.push_back("0");
    reset_data_folder();
    write_silent_recording();
    FolderBytes expected_files = good_files_;
    expected_files["demonil.dat"] = read_bytes(data_file("demonil.dat"));

    SessionResult result = run(script_with(variable_part, inserted));
    EXPECT_EQ(result.exit_code, 0) << result.errors;
    const Lines expected = expected_transcript(at_pause);
    EXPECT_EQ(result.transcript, expected) << first_difference(result.transcript, expected);
    EXPECT_EQ(folder_bytes(data_dir_), expected_files);
    // Only the silent reading wrote to the trace channel before the window opened.
    EXPECT_EQ(fort12(), "point 1\npoint 2\n");
}

// ---- 2. empty lines ----

// The echo of an empty line at a question that passes over it (a free
// integer in the text window, a letter menu or <y/n> question in the trace
// window); nothing for the questions that take an empty line as an answer.
std::optional<std::string> passed_over_echo(Event event) {
    switch (event) {
        case leads_ok:
        case coefficient_ok:
        case ari_switch:
        case ari_defaults:
        case more_data:
        case other_series:
            return text_echo("");
        case view_select:
        case selection_ok:
        case correction_back:
        case view_average:
        case correction_marks:
        case marks_ok:
        case correction_two:
        case two_point_ok:
        case correction_one:
        case one_point_ok:
        case correction_save:
        case save_ok:
        case correction_leave:
        case view_end:
            return trace_echo("");
        default:
            return std::nullopt;
    }
}

struct EmptyAnswerCase {
    std::string what;
    Lines script;
    Lines transcript;
    FolderBytes files;
};

TEST_F(CatalogueTest, EmptyLineIsPassedOverOrReadAsAnEmptyFieldAtEveryQuestion) {
    play_good_session();
    const Lines& good = good_transcript_;
    std::vector<EmptyAnswerCase> cases;
    // Free integers, letter menus and <y/n> questions read on to the next
    // line. Each adds only its echo, so one session holds them all: the empty
    // lines are put in from the last event back, which keeps the places of
    // the earlier events.
    {
        Lines script = good_script();
        Lines transcript = good;
        for (std::size_t event = event_count; event-- > 0;) {
            const auto echo = passed_over_echo(static_cast<Event>(event));
            if (!echo) continue;
            script.insert(script.begin() + static_cast<std::ptrdiff_t>(event), "");
            transcript = with_lines_before(transcript, static_cast<Event>(event), {*echo});
        }
        cases.push_back({"passed over at every free integer, menu and <y/n> question", script,
                         transcript, good_files_});
    }

    // A lead field left empty is lead 0, which does not exist.
    for (auto [event, prompt] :
         {std::pair{first_lead, kFirstLead}, std::pair{second_lead, kSecondLead},
          std::pair{third_lead, kThirdLead}})
        cases.push_back({prompt, script_with(event, {""}),
                         with_lines_before(good, event, {text_echo(""), no_such_lead("0"), prompt}),
                         good_files_});
    cases.push_back({"save name", script_with(save_name, {""}),
                     with_lines_before(good, save_name,
                                       {trace_echo(""),
                                        trace_line("\"\" cannot be a save name: a save name is "
                                                   "needed."),
                                        trace_line(kSaveName)}),
                     good_files_});
    // An empty variable part leaves the path at the common part: demo.dat,
    // which is not there; the display second is asked before the reading.
    cases.push_back(
        {"variable part", script_with(variable_part, {"", "0"}),
         with_lines_before(good, variable_part,
                           {text_echo(""), kSecond, text_echo("0"),
                            "Cannot open " + test_support::named("d:\\data\\map\\demo.dat") + ": " +
                                std::string(std::strerror(ENOENT)) + ".",
                            kVariable}),
         good_files_});
    // An empty common part adds nothing to the path: variable part demo01
    // names the same recording.
    {
        Lines script = script_replacing(common_part, {""});
        script[variable_part] = "demo01";
        Lines transcript = with_line_replaced(good, echo_line(good, common_part), text_echo(""));
        transcript =
            with_line_replaced(transcript, echo_line(good, variable_part), text_echo("demo01"));
        cases.push_back({"common part", script, transcript, good_files_});
    }
    // The display second's field reads empty as 0, the good answer.
    cases.push_back({"display second", script_replacing(display_second, {""}),
                     with_line_replaced(good, echo_line(good, display_second), text_echo("")),
                     good_files_});
    // The coefficient's field reads empty as 0.0; on this recording every beat
    // matches the template well, so 0.0 accepts the same four as 0.99.
    {
        Lines transcript = with_line_replaced(good, echo_line(good, coefficient), text_echo(""));
        transcript = with_line_replaced(transcript, echo_line(good, coefficient) + 1,
                                        "係数 :   0.000000    ");
        cases.push_back(
            {"coefficient", script_replacing(coefficient, {""}), transcript, good_files_});
    }
    // a = 0 starts the activation search at P itself; the steepest downstroke
    // of every lead of this beat lies after P + 7, so the .ari stays the same.
    cases.push_back({"a", script_replacing(stimulus_delay, {""}),
                     with_line_replaced(good, echo_line(good, stimulus_delay), text_echo("")),
                     good_files_});
    // h = 0 and r = 0 break a limit of the ARI computation: the .ds and .se
    // stay, no .ari is written, and the save returns to the correction menu.
    FolderBytes without_ari = good_files_;
    without_ari.erase("demo01.ari");
    for (auto [event, limit] :
         {std::pair{smoothing_points, "the smoothing half-width h = 0 must be at least 2"},
          std::pair{recovery_delay, "the minimum recovery delay r = 0 must be at least 1"}}) {
        Lines transcript = with_line_replaced(good, echo_line(good, event), text_echo(""));
        const std::size_t writing =
            line_index(transcript, "writing a filed:\\data\\map\\demo01.ari           ");
        ASSERT_LT(writing + 1, transcript.size());
        ASSERT_EQ(transcript[writing + 1], trace_line("ARI_fileを作成保存しました。"));
        transcript.erase(transcript.begin() + static_cast<std::ptrdiff_t>(writing));
        transcript[writing] = trace_line(std::string("No ARI file: ") + limit + ".");
        cases.push_back(
            {std::string(limit), script_replacing(event, {""}), transcript, without_ari});
    }

    for (const EmptyAnswerCase& c : cases) {
        SCOPED_TRACE(c.what);
        SessionResult result = run_fresh(c.script);
        EXPECT_EQ(result.exit_code, 0) << result.errors;
        EXPECT_EQ(result.transcript, c.transcript)
            << first_difference(result.transcript, c.transcript);
        EXPECT_EQ(folder_bytes(data_dir_), c.files);
        EXPECT_EQ(fort12(), good_fort12_);
    }
}

// ---- 3. lead numbers that do not exist ----

TEST_F(CatalogueTest, LeadsOutside1To64AreRefusedAndThatLeadAskedAgain) {
    play_good_session();
    // The field takes three characters, so 1234 is lead 123.
    const Lines typed = {"0", "65", "-1", "999", "1234"};
    const Lines read_as = {"0", "65", "-1", "999", "123"};
    for (auto [event, prompt] :
         {std::pair{first_lead, kFirstLead}, std::pair{second_lead, kSecondLead},
          std::pair{third_lead, kThirdLead}}) {
        SCOPED_TRACE(prompt);
        Lines added;
        for (std::size_t i = 0; i < typed.size(); ++i)
            added.insert(added.end(), {text_echo(typed[i]), no_such_lead(read_as[i]), prompt});
        expect_good_session_with(run_fresh(script_with(event, typed)), event, added);
    }
}

// ---- 4. coefficients outside 0 to 1 ----

// demo01.dat with lead 13 (channel 21) flat at 0 over samples 1847 to 2047:
// the beat near 1947 is still found from leads 23 and 37, but every candidate
// segment of it (shifts -10 to +10, 25 samples either side) is constant, so
// its correlation with the template is 0 at every shift. The potmax stretch
// (samples 100 to 1000) and the selected beat near 1151 are untouched.
void flatten_lead_13_around_1947(const std::filesystem::path& recording) {
    std::string bytes = read_bytes(recording);
    const std::string zero = encode_frames(std::vector<std::int16_t>{0});
    for (long long frame = 1847; frame <= 2047; ++frame)
        bytes.replace(sample_offset(frame, channel_of_lead(13)), zero.size(), zero);
    std::ofstream(recording, std::ios::binary | std::ios::trunc) << bytes;
}

TEST_F(CatalogueTest, CoefficientOf0Or5OrNegativeIsUsedAsReadAndTheFilesStayComplete) {
    play_good_session();
    // The beat list of the averaging, as its markers show at the end
    // (column = 0.15 x sample): 569, 532, 412, 292, 172 and 52, i.e. about
    // samples 3793, 3547, 2747, 1947, 1147 and 347. Four of them, 347 to
    // 2747, lie in 201..3000 even after a shift of 10; three match the
    // template (r > 0.99), the flattened one at 1947 has r = 0.
    const std::vector<int> found_beat_columns = {569, 532, 412, 292, 172, 52};
    struct Case {
        const char* typed;
        const char* echo;  // after "係数 :"
        int averaged;      // 8 passes x the beats accepted in one
    };
    const Case cases[] = {
        {"99", "  0.9900000    ", 8 * 3},    // hundredths: 0.99, the flat beat refused
        {"0", "   0.000000    ", 8 * 4},     // 0 >= 0: every found beat in range accepted
        {"5", "  0.5000000E-01", 8 * 3},     // 0.05 > 0: the flat beat refused
        {"5.0", "   5.000000    ", 0},       // no correlation reaches 5
        {"-1", " -0.1000000E-01", 8 * 4},    // -0.01: every found beat accepted
        {"-1.0", "  -1.000000    ", 8 * 4},  // -1: every found beat accepted
    };
    const std::size_t echo_at = echo_line(good_transcript_, coefficient);
    const std::size_t count_at = line_index(good_transcript_, "number of averaging:          32");
    ASSERT_LT(count_at, good_transcript_.size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        reset_data_folder();
        flatten_lead_13_around_1947(data_file("demo01.dat"));
        std::vector<int> marker_columns;
        SessionResult result =
            run(script_replacing(coefficient, {c.typed}), "", [&](const WindowModel& windows) {
                marker_columns.clear();
                for (const Polyline& line : windows.trace_window().drawing)
                    if (line.colour == marker_colour)
                        marker_columns.push_back(line.points.front().x);
            });
        EXPECT_EQ(result.exit_code, 0) << result.errors;
        EXPECT_EQ(marker_columns, found_beat_columns);
        Lines expected = with_line_replaced(good_transcript_, echo_at, text_echo(c.typed));
        expected = with_line_replaced(expected, echo_at + 1, std::string("係数 :") + c.echo);
        expected =
            with_line_replaced(expected, count_at, "number of averaging:" + free_form(c.averaged));
        EXPECT_EQ(result.transcript, expected) << first_difference(result.transcript, expected);

        FolderBytes files = folder_bytes(data_dir_);
        Lines names;
        for (const auto& [name, bytes] : files) names.push_back(name);
        ASSERT_EQ(names, (Lines{"demo01.ari", "demo01.dat", "demo01.ds", "demo01.se"}));
        EXPECT_EQ(files["demo01.se"], kGoodSeRecord);
        const FileNumbers ds = numbers_of(files["demo01.ds"]);
        EXPECT_TRUE(ds.all_read);
        EXPECT_TRUE(ds.all_finite);
        EXPECT_EQ(ds.values.size(), 1024u * 64u);
        const FileNumbers ari = numbers_of(files["demo01.ari"]);
        EXPECT_TRUE(ari.all_read);
        EXPECT_TRUE(ari.all_finite);
        ASSERT_EQ(ari.values.size(), 4u + 64u + 64u);
        EXPECT_EQ(std::vector<double>(ari.values.begin(), ari.values.begin() + 4),
                  (std::vector<double>{148, 243, 601, 20}));
        for (int lead = 0; lead < 64; ++lead) {
            SCOPED_TRACE("lead " + std::to_string(lead + 1));
            const double at = ari.values[4 + static_cast<std::size_t>(lead)];
            const double rt = ari.values[68 + static_cast<std::size_t>(lead)];
            // AT from P to J: 0 to 243 - 148 = 95; RT from J + r to E: 195 to 453.
            EXPECT_TRUE(is_whole(at) && at >= 0 && at <= 95) << at;
            EXPECT_TRUE(is_whole(rt) && rt >= 195 && rt <= 453) << rt;
            if (c.averaged == 0) {
                // A beat of zeros: no downstroke (AT = 0) and no upstroke (RT = J + r - P).
                EXPECT_EQ(at, 0.0);
                EXPECT_EQ(rt, 195.0);
            }
        }
        if (c.averaged == 0) {
            EXPECT_TRUE(std::all_of(ds.values.begin(), ds.values.end(),
                                    [](double value) { return value == 0.0; }));
        }
    }
}

}  // namespace
}  // namespace mapari::catalogue_tests
