// End-to-end sessions of the dialogue spine: the whole program run from a
// script, its transcript checked line by line and the trace channel's default
// file byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "formats/free_form.hpp"
#include "phases/plot.hpp"
#include "support/dialogue_texts.hpp"
#include "support/real_data.hpp"
#include "support/session_fixture.hpp"

namespace mapari::sessions_tests {

using namespace test_support;
namespace {

using namespace texts;

// ---- the program's own texts ----

const Lines kDefaultSettingsScript = {"1", "1", "1", "1"};

Lines banner() {
    return {kRule,
            "このプログラムは波形認識、区分点認識、加算平均、基線補正",
            "ARIの認識、データ保存などを行うものです。",
            "動かす前に.datがドライブd:のフォルダ\\data\\mapにあることを",
            "確認してください。",
            kRule};
}

Lines default_settings() {
    return {kLeadsShown, kLeadsOk, "> 1",     kCoefficientOk, "> 1",
            kAri,        "> 1",    kDefaults, kYesNo,         "> 1"};
}

Lines common_part(const std::string& typed) {
    return {kBegin, kCommon, "> " + typed};
}

Lines variable_part(const std::string& typed) {
    return {kVariable, "> " + typed};
}

Lines display_second(const std::string& typed) {
    return {kSecond, "> " + typed};
}

// The recording drawn and the view menu answered.
Lines view_menu(const std::string& typed) {
    return {"Unit 12| display", kViewMenu, "Unit 12> " + typed};
}

// "x" taken: the end of the recording up to the first end question's answer.
Lines end_of_recording(const std::string& path, const std::string& more) {
    return {" 終了", padded_path(path) + "を処理しました。", kMoreData, "> " + more};
}

Lines other_series(const std::string& typed) {
    return {kOtherSeries, "> " + typed};
}

// The lines that a reading with signal sends to the trace channel.
Lines progress_lines(const std::string& path, float potmax) {
    return {"point 1", "point 2", padded_path(path) + "drawing ecg data",
            free_form(potmax) + "potmax"};
}

std::string as_file(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    return text;
}

Lines in_trace_window(const Lines& lines) {
    Lines shown;
    for (const std::string& line : lines) shown.push_back("Unit 12| " + line);
    return shown;
}

std::string cannot_read(const std::string& typed, const char* expected) {
    return "Cannot read \"" + typed + "\" as " + expected + "; please answer again.";
}

std::string cannot_open(const std::string& path) {
    return "Cannot open " + path + ": " + std::strerror(ENOENT) + ".";
}

std::string ended_waiting_for(const std::string& prompt) {
    return "mapari: the script ended while the program waited for an answer to \"" + prompt +
           "\"\n";
}

// Leads 13, 23 and 37 carry a spike every 800 ms from sample 500; lead 5 a
// smaller train, so that the traced lead shows in `potmax`.
SyntheticRecording spike_recording(int frames = 4000) {
    SyntheticRecording recording(frames);
    recording.add_spike_train({13, 23, 37}, 500, 800, 800);
    recording.add_spike_train({5, 6, 7}, 450, 800, -300);
    return recording;
}

// One spike per second at 500 ms past it, taller each second, so the stretch
// read shows in `potmax`.
SyntheticRecording rising_recording(int seconds) {
    SyntheticRecording recording(1000 * seconds);
    for (int s = 0; s < seconds; ++s)
        for (int lead : {13, 23, 37}) recording.add_spike(lead, 1000 * s + 500, 100 + 20 * s);
    return recording;
}

class DialogueSession : public SessionTest {};

// ---- the whole road ----

TEST_F(DialogueSession, WholeSessionFromBannerToStop) {
    SyntheticRecording recording = spike_recording();
    recording.write(data_file("abc001.dat"));
    // At every wait of the view menu the window holds the menu line (the
    // "display" line went with the clearing) with the answers typed since,
    // and one fresh drawing: three traces of 4000 samples, then the beat markers.
    std::vector<Lines> window_lines;
    auto check_window = [&](const WindowModel& windows) {
        const WindowContent& trace = windows.trace_window();
        window_lines.push_back(trace.lines);
        ASSERT_GE(trace.drawing.size(), 3u);
        for (std::size_t k = 0; k < trace.drawing.size(); ++k) {
            EXPECT_EQ(trace.drawing[k].colour, k < 3 ? trace_colour : marker_colour);
            if (k < 3) {
                EXPECT_EQ(trace.drawing[k].points.size(), 4001u);  // move, then 4000 lines
            }
        }
    };
    SessionResult result =
        run(concat({kDefaultSettingsScript,
                    {"abc", "001", "0", "q", "sb", "xs", "Q", "", " X y", "0", "0"}}),
            "", check_window);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.errors, "");
    // An empty line at the menu is passed over: no redraw, no second prompt.
    Lines expected = concat({banner(),
                             default_settings(),
                             common_part("abc"),
                             variable_part("001"),
                             display_second("0"),
                             view_menu("q"),
                             view_menu("sb"),
                             view_menu("xs"),
                             view_menu("Q"),
                             view_menu(""),
                             {"Unit 12>  X y"},
                             end_of_recording("d:\\data\\map\\abc001.dat", "0"),
                             other_series("0")});
    EXPECT_EQ(result.transcript, expected);
    const std::string menu = kViewMenu.substr(9);
    EXPECT_EQ(window_lines,
              (std::vector<Lines>{{menu}, {menu}, {menu}, {menu}, {menu}, {menu, ""}}));
    EXPECT_EQ(kRule.size(), 55u);
}

TEST_F(DialogueSession, EndQuestionsLeadToTheNextRecordingOrSeries) {
    spike_recording().write(data_file("abc001.dat"));
    spike_recording().write(data_file("abc002.dat"));
    spike_recording().write(data_file("xyz001.dat"));
    // The text window as the operator sees it at each view menu.
    std::vector<Lines> text_lines;
    SessionResult result = run(
        concat({kDefaultSettingsScript,
                {"abc", "001", "0", "x", "1", "002", "0", "x", "2", "001", "0", "x", "0", "2"},
                kDefaultSettingsScript,
                {"xyz", "001", "0", "x", "0", "0"}}),
        "", [&](const WindowModel& windows) { text_lines.push_back(windows.text_window().lines); });
    EXPECT_EQ(result.exit_code, 0);
    Lines expected = concat({banner(),
                             default_settings(),
                             common_part("abc"),
                             variable_part("001"),
                             display_second("0"),
                             view_menu("x"),
                             end_of_recording("d:\\data\\map\\abc001.dat", "1"),
                             variable_part("002"),
                             display_second("0"),
                             view_menu("x"),
                             end_of_recording("d:\\data\\map\\abc002.dat", "2"),
                             variable_part("001"),
                             display_second("0"),
                             view_menu("x"),
                             end_of_recording("d:\\data\\map\\abc001.dat", "0"),
                             other_series("2"),
                             default_settings(),
                             common_part("xyz"),
                             variable_part("001"),
                             display_second("0"),
                             view_menu("x"),
                             end_of_recording("d:\\data\\map\\xyz001.dat", "0"),
                             other_series("0")});
    EXPECT_EQ(result.transcript, expected);
    // The text window is cleared before "では、解析する　　" and again after the
    // trace window closes at the end of a recording.
    auto ended = [](const std::string& path, const std::string& more) {
        return Lines{padded_path(path) + "を処理しました。", kMoreData, more};
    };
    EXPECT_EQ(
        text_lines,
        (std::vector<Lines>{
            {kBegin, kCommon, "abc", kVariable, "001", kSecond, "0"},
            concat({ended("d:\\data\\map\\abc001.dat", "1"), {kVariable, "002", kSecond, "0"}}),
            concat({ended("d:\\data\\map\\abc002.dat", "2"), {kVariable, "001", kSecond, "0"}}),
            {kBegin, kCommon, "xyz", kVariable, "001", kSecond, "0"}}));
}

// A first reading without signal keeps the trace window open, so the next
// reading's progress lines show in it and tell which lead is traced.
TEST_F(DialogueSession, AnotherSeriesStartsFromTheDefaultLeads) {
    SyntheticRecording signal = spike_recording();
    signal.write(data_file("abcsig.dat"));
    SyntheticRecording(4000).write(data_file("abcnil.dat"));
    const std::string nil = "d:\\data\\map\\abcnil.dat", sig = "d:\\data\\map\\abcsig.dat";
    Lines series_reads = {"abc", "nil", "0", "0", "sig", "0", "x"};
    SessionResult result = run(concat({{"0", "5", "6", "7", "0", "95", "1", "1"},
                                       series_reads,
                                       {"0", "1"},
                                       kDefaultSettingsScript,
                                       series_reads,
                                       {"0", "0"}}));
    EXPECT_EQ(result.exit_code, 0);
    auto reads = [&](int lead) {
        return concat({common_part("abc"),
                       variable_part("nil"),
                       display_second("0"),
                       {"Unit 12| " + padded_path(nil) + "No data!  Hit", "Unit 12> 0"},
                       variable_part("sig"),
                       display_second("0"),
                       in_trace_window(progress_lines(sig, signal.potmax(lead, 0))),
                       view_menu("x")});
    };
    ASSERT_NE(signal.potmax(5, 0), signal.potmax(13, 0));
    Lines expected = concat({banner(),
                             {kLeadsShown, kLeadsOk, "> 0", kFirstLead, "> 5", kSecondLead, "> 6",
                              kThirdLead, "> 7", kCoefficientOk, "> 0", kCoefficientAsk, "> 95",
                              "係数 :" + free_form(0.95f), kAri, "> 1", kDefaults, kYesNo, "> 1"},
                             reads(5),
                             end_of_recording(sig, "0"),
                             other_series("1"),
                             default_settings(),
                             reads(13),
                             end_of_recording(sig, "0"),
                             other_series("0")});
    EXPECT_EQ(result.transcript, expected);
    // The last reading made while the trace window was closed is the no-data one.
    EXPECT_EQ(fort12(), "point 1\npoint 2\n");
}

// ---- settings ----

TEST_F(DialogueSession, LeadsOutside1To64AreAskedAgainAndTheFirstLeadIsTraced) {
    SyntheticRecording recording = spike_recording();
    recording.write(data_file("abc001.dat"));
    SessionResult result = run({"2", "1234", "", "65", "-1", "abc", "5", "6", " 7 ", "1", "1", "1",
                                "abc", "001", "0", "x", "0", "0"});
    EXPECT_EQ(result.exit_code, 0);
    auto refused = [](const std::string& lead) {
        return "Lead " + lead + " does not exist; leads are numbered 1 to 64.";
    };
    Lines expected = concat({banner(),
                             {kLeadsShown, kLeadsOk, "> 2"},
                             {kFirstLead, "> 1234", refused("123")},
                             {kFirstLead, "> ", refused("0")},
                             {kFirstLead, "> 65", refused("65")},
                             {kFirstLead, "> -1", refused("-1")},
                             {kFirstLead, "> abc", cannot_read("abc", "a whole number")},
                             {kFirstLead, "> 5", kSecondLead, "> 6", kThirdLead, ">  7 "},
                             {kCoefficientOk, "> 1", kAri, "> 1", kDefaults, kYesNo, "> 1"},
                             common_part("abc"),
                             variable_part("001"),
                             display_second("0"),
                             view_menu("x"),
                             end_of_recording("d:\\data\\map\\abc001.dat", "0"),
                             other_series("0")});
    EXPECT_EQ(result.transcript, expected);
    EXPECT_EQ(fort12(),
              as_file(progress_lines("d:\\data\\map\\abc001.dat", recording.potmax(5, 0))));
}

TEST_F(DialogueSession, TypedCoefficientIsEchoedInFreeForm) {
    struct Case {
        const char* typed;
        float value;
    };
    for (const Case& c : {Case{"95", 0.95f}, Case{".9", 0.9f}, Case{"1", 0.01f}, Case{"1.0", 1.0f},
                          Case{"0.995", 0.99f}, Case{" 9 5", 0.95f}, Case{"", 0.0f}}) {
        SCOPED_TRACE(c.typed);
        SessionResult result = run({"1", "2", c.typed});
        EXPECT_EQ(result.exit_code, 3);
        EXPECT_EQ(result.errors, ended_waiting_for(kAri));
        EXPECT_EQ(result.transcript,
                  concat({banner(),
                          {kLeadsShown, kLeadsOk, "> 1", kCoefficientOk, "> 2", kCoefficientAsk,
                           std::string("> ") + c.typed, "係数 :" + free_form(c.value), kAri}}));
    }
    SessionResult refused = run({"1", "0", "abc", "99"});
    EXPECT_EQ(refused.transcript,
              concat({banner(),
                      {kLeadsShown, kLeadsOk, "> 1", kCoefficientOk, "> 0", kCoefficientAsk,
                       "> abc", cannot_read("abc", "a number"), kCoefficientAsk, "> 99",
                       "係数 :" + free_form(0.99f), kAri}}));
}

TEST_F(DialogueSession, AriSwitchAndDefaultsAnswerAreTakenAsTyped) {
    struct Case {
        const char* ari;
        const char* defaults;
        bool later;
    };
    for (const Case& c : {Case{"2", "2", true}, Case{"-7", "0", true}, Case{"0", "1", false}}) {
        SCOPED_TRACE(std::string(c.ari) + "/" + c.defaults);
        SessionResult result = run({"1", "1", c.ari, c.defaults});
        EXPECT_EQ(result.exit_code, 3);
        EXPECT_EQ(result.errors, ended_waiting_for(kCommon));
        Lines expected = {kLeadsShown,
                          kLeadsOk,
                          "> 1",
                          kCoefficientOk,
                          "> 1",
                          kAri,
                          std::string("> ") + c.ari,
                          kDefaults,
                          kYesNo,
                          std::string("> ") + c.defaults};
        if (c.later) expected.push_back(kLater);
        EXPECT_EQ(result.transcript, concat({banner(), expected, {kBegin, kCommon}}));
    }
}

// ---- answer forms ----

TEST_F(DialogueSession, UnreadableAnswersAreAskedAgainWithoutLosingWork) {
    SyntheticRecording recording = spike_recording();
    recording.write(data_file("abc001.dat"));
    recording.write(data_file("abc002.dat"));
    SessionResult result = run({"yes", "", "1 0", "1", "1", "1", "abc", "001", "ab", "", "x", "y",
                                "", "1", "002", "0", "x", "0", "0,1"});
    EXPECT_EQ(result.exit_code, 0);
    Lines expected =
        concat({banner(),
                {kLeadsShown, kLeadsOk, "> yes", cannot_read("yes", "a whole number"), kLeadsOk,
                 "> ", "> 1 0", kCoefficientOk, "> 1", kAri, "> 1", kDefaults, kYesNo, "> 1"},
                common_part("abc"),
                variable_part("001"),
                // An empty display second is second 0.
                {kSecond, "> ab", cannot_read("ab", "a whole number"), kSecond, "> "},
                view_menu("x"),
                {" 終了", padded_path("d:\\data\\map\\abc001.dat") + "を処理しました。", kMoreData,
                 "> y", cannot_read("y", "a whole number"), kMoreData, "> ", "> 1"},
                variable_part("002"),
                display_second("0"),
                view_menu("x"),
                end_of_recording("d:\\data\\map\\abc002.dat", "0"),
                other_series("0,1")});  // the first value, 0, stops
    EXPECT_EQ(result.transcript, expected);
}

// ---- naming ----

TEST_F(DialogueSession, NamePartsEndAtTheirFirstBlankAndAreCutToSixCharacters) {
    spike_recording().write(data_file("ab001.dat"));
    spike_recording().write(data_file("ab001234.dat"));
    spike_recording().write(data_file("001.dat"));
    SessionResult result = run(concat({kDefaultSettingsScript,
                                       {"ab cd", "001", "0", "x", "1", "001.dat", "0", " 001", "0",
                                        "0012345", "0", "x", "0", "1"},
                                       kDefaultSettingsScript,
                                       {"", "001", "0", "x", "0", "0"}}));
    EXPECT_EQ(result.exit_code, 0);
    Lines expected = concat({banner(),
                             default_settings(),
                             common_part("ab cd"),
                             variable_part("001"),
                             display_second("0"),
                             view_menu("x"),
                             end_of_recording("d:\\data\\map\\ab001.dat", "1"),
                             variable_part("001.dat"),
                             display_second("0"),
                             {cannot_open(named("d:\\data\\map\\ab001.da.dat"))},
                             variable_part(" 001"),
                             display_second("0"),
                             {cannot_open(named("d:\\data\\map\\ab.dat"))},
                             variable_part("0012345"),
                             display_second("0"),
                             view_menu("x"),
                             end_of_recording("d:\\data\\map\\ab001234.dat", "0"),
                             other_series("1"),
                             default_settings(),
                             common_part(""),
                             variable_part("001"),
                             display_second("0"),
                             view_menu("x"),
                             end_of_recording("d:\\data\\map\\001.dat", "0"),
                             other_series("0")});
    EXPECT_EQ(result.transcript, expected);
}

TEST_F(DialogueSession, NamePartsThatLeaveTheDataDirectoryAreRefused) {
    SessionResult result =
        run(concat({kDefaultSettingsScript,
                    {"../x", "a/b", "c:", "a\\b", "..", "abc", "..\\x", "x:y", "a..b", "001"}}));
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_EQ(result.errors, ended_waiting_for(kSecond));
    auto refused = [](const std::string& part, const std::string& reason) {
        return "\"" + part + "\" cannot be part of a file name: " + reason + ".";
    };
    const std::string separator = "it holds a path separator", colon = "it holds a colon",
                      dots = "it holds \"..\"";
    Lines expected = concat(
        {banner(),
         default_settings(),
         {kBegin, kCommon, "> ../x", refused("../x", separator), kCommon, "> a/b",
          refused("a/b", separator), kCommon, "> c:", refused("c:", colon), kCommon, "> a\\b",
          refused("a\\b", separator), kCommon, "> ..", refused("..", dots), kCommon, "> abc"},
         {kVariable, "> ..\\x", refused("..\\x", separator), kVariable, "> x:y",
          refused("x:y", colon), kVariable, "> a..b", refused("a..b", dots), kVariable, "> 001"},
         {kSecond}});
    EXPECT_EQ(result.transcript, expected);
}

// ---- reading ----

TEST_F(DialogueSession, MissingAndShortFilesLeadBackToTheVariablePart) {
    spike_recording(3999).write(data_file("abcsht.dat"));
    SyntheticRecording recording = spike_recording();
    recording.write(data_file("abc001.dat"), 143);  // bytes past 4000 frames are ignored
    std::filesystem::create_directory(data_file("abcdir.dat"));
    SessionResult result =
        run(concat({kDefaultSettingsScript,
                    {"abc", "nofile", "0", "sht", "0", "dir", "0", "001", "0", "x", "0", "0"}}));
    EXPECT_EQ(result.exit_code, 0);
    // A folder in place of the recording cannot be read; its reason is the
    // system's, so only the naming of the file is checked.
    const std::string folder = "d:\\data\\map\\abcdir.dat";
    const std::size_t folder_line = banner().size() + default_settings().size() + 17;
    ASSERT_GT(result.transcript.size(), folder_line);
    EXPECT_TRUE(result.transcript[folder_line].starts_with("Cannot "));
    EXPECT_NE(result.transcript[folder_line].find(folder), std::string::npos);
    result.transcript[folder_line] = "<folder>";
    Lines expected = concat(
        {banner(),
         default_settings(),
         common_part("abc"),
         variable_part("nofile"),
         display_second("0"),
         {cannot_open(named("d:\\data\\map\\abcnofile.dat"))},
         variable_part("sht"),
         display_second("0"),
         {named("d:\\data\\map\\abcsht.dat") + " holds 3999 frames; a display needs 4000 frames."},
         variable_part("dir"),
         display_second("0"),
         {"<folder>"},
         variable_part("001"),
         display_second("0"),
         view_menu("x"),
         end_of_recording("d:\\data\\map\\abc001.dat", "0"),
         other_series("0")});
    EXPECT_EQ(result.transcript, expected);
    EXPECT_EQ(fort12(),
              as_file(progress_lines("d:\\data\\map\\abc001.dat", recording.potmax(13, 0))));
}

TEST_F(DialogueSession, DisplaySecondOutsideTheFileIsAskedAgain) {
    spike_recording(4000).write(data_file("abc004.dat"));
    SyntheticRecording five = rising_recording(5);
    five.write(data_file("abc005.dat"));
    SessionResult result = run(
        concat({kDefaultSettingsScript,
                {"abc", "004", "1", "29", "-1", "0", "x", "1", "005", "2", "1", "x", "0", "0"}}));
    EXPECT_EQ(result.exit_code, 0);
    const std::string four_k = "d:\\data\\map\\abc004.dat", five_k = "d:\\data\\map\\abc005.dat";
    auto refused = [](int last, const std::string& path, int frames) {
        return "The display second must be from 0 to " + std::to_string(last) + ": " + named(path) +
               " holds " + std::to_string(frames) + " frames.";
    };
    Lines expected = concat(
        {banner(),
         default_settings(),
         common_part("abc"),
         variable_part("004"),
         {kSecond, "> 1", refused(0, four_k, 4000), kSecond, "> 29", refused(0, four_k, 4000),
          kSecond, "> -1", refused(0, four_k, 4000), kSecond, "> 0"},
         view_menu("x"),
         end_of_recording(four_k, "1"),
         variable_part("005"),
         {kSecond, "> 2", refused(1, five_k, 5000), kSecond, "> 1"},
         view_menu("x"),
         end_of_recording(five_k, "0"),
         other_series("0")});
    EXPECT_EQ(result.transcript, expected);
    EXPECT_EQ(fort12(), as_file(progress_lines(five_k, five.potmax(13, 1))));
}

TEST_F(DialogueSession, SecondTwentyEightReadsTheLastStretchOfAThirtyTwoSecondFile) {
    SyntheticRecording recording = rising_recording(32);
    recording.write(data_file("abc032.dat"));
    SessionResult result =
        run(concat({kDefaultSettingsScript, {"abc", "032", "29", "28", "x", "0", "0"}}));
    EXPECT_EQ(result.exit_code, 0);
    const std::string path = "d:\\data\\map\\abc032.dat";
    EXPECT_EQ(
        result.transcript,
        concat({banner(),
                default_settings(),
                common_part("abc"),
                variable_part("032"),
                {kSecond, "> 29",
                 "The display second must be from 0 to 28: " + named(path) + " holds 32000 frames.",
                 kSecond, "> 28"},
                view_menu("x"),
                end_of_recording(path, "0"),
                other_series("0")}));
    ASSERT_NE(recording.potmax(13, 28), recording.potmax(13, 27));
    EXPECT_EQ(fort12(),
              as_file(progress_lines("d:\\data\\map\\abc032.dat", recording.potmax(13, 28))));
}

TEST_F(DialogueSession, RealRecordingIsReadFromTheChosenSecond) {
    const std::filesystem::path real_dir = test_support::real_data_folder();
    if (!std::filesystem::exists(real_dir / "realptb010.dat")) GTEST_SKIP() << "no real data";
    session_data_dir_ = real_dir;
    SessionResult result =
        run(concat({kDefaultSettingsScript, {"real", "ptb010", "0", "o", "28", "x", "0", "0"}}));
    EXPECT_EQ(result.exit_code, 0);
    const std::string path = "d:\\data\\map\\realptb010.dat";
    EXPECT_EQ(result.transcript,
              concat({banner(), default_settings(), common_part("real"), variable_part("ptb010"),
                      display_second("0"), view_menu("o"), display_second("28"), view_menu("x"),
                      end_of_recording(path, "0"), other_series("0")}));
    float potmax = potmax_in_file(real_dir / "realptb010.dat", 13, 28);
    ASSERT_NE(potmax, potmax_in_file(real_dir / "realptb010.dat", 13, 0));
    EXPECT_EQ(fort12(), as_file(progress_lines(path, potmax)));
}

// ---- the trace channel's default file ----

TEST_F(DialogueSession, TraceChannelFileHoldsTheProgressLinesOfAClosedWindow) {
    // The largest value of lead 13 within samples 100 to 1000 sits on sample
    // 1000; larger ones lie just outside, on samples 99 and 1001.
    SyntheticRecording recording = spike_recording();
    recording.lead(13, 99) = 2000;
    recording.lead(13, 100) = -1500;
    recording.lead(13, 1000) = -1700;
    recording.lead(13, 1001) = 2500;
    ASSERT_EQ(recording.potmax(13, 0), 1700.0f);
    recording.write(data_file("abc001.dat"));
    SessionResult result = run(concat({kDefaultSettingsScript, {"abc", "001", "0"}}));
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_EQ(result.errors, ended_waiting_for(kViewMenu.substr(9)));
    EXPECT_EQ(fort12(), "point 1\npoint 2\n" + padded_path("d:\\data\\map\\abc001.dat") +
                            "drawing ecg data\n" + free_form(recording.potmax(13, 0)) + "potmax\n");
}

TEST_F(DialogueSession, RestartWithDOrOAsksTheSecondAgainAndReplacesTheFile) {
    SyntheticRecording recording = rising_recording(8);
    recording.write(data_file("abc008.dat"));
    SessionResult result =
        run(concat({kDefaultSettingsScript,
                    {"abc", "008", "0", "d", "1", "D", "2", "o", "3", "O", "4", "x", "0", "0"}}));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.transcript,
              concat({banner(), default_settings(), common_part("abc"), variable_part("008"),
                      display_second("0"), view_menu("d"), display_second("1"), view_menu("D"),
                      display_second("2"), view_menu("o"), display_second("3"), view_menu("O"),
                      display_second("4"), view_menu("x"),
                      end_of_recording("d:\\data\\map\\abc008.dat", "0"), other_series("0")}));
    ASSERT_NE(recording.potmax(13, 4), recording.potmax(13, 3));
    EXPECT_EQ(fort12(),
              as_file(progress_lines("d:\\data\\map\\abc008.dat", recording.potmax(13, 4))));
}

// ---- no data ----

TEST_F(DialogueSession, NoDataPauseWaitsForANumberInTheTraceWindow) {
    SyntheticRecording quiet(4000);
    quiet.add_spike_train({13}, 1500, 800, 900);  // lead 13 silent over samples 100 to 1000
    quiet.add_spike(13, 50, 900);
    quiet.add_spike_train({23, 37}, 500, 800, 700);
    ASSERT_EQ(quiet.potmax(13, 0), 0.0f);
    quiet.write(data_file("abcnil.dat"));
    SyntheticRecording recording = spike_recording();
    recording.write(data_file("abc001.dat"));
    std::vector<Lines> window_lines;
    SessionResult result = run(
        concat({kDefaultSettingsScript,
                {"abc", "nil", "0", "go", "", "7.5", "nil", "0", "-1", "001", "0", "x", "0", "0"}}),
        "",
        [&](const WindowModel& windows) { window_lines.push_back(windows.trace_window().lines); });
    EXPECT_EQ(result.exit_code, 0);
    const std::string pause =
        "Unit 12| " + padded_path("d:\\data\\map\\abcnil.dat") + "No data!  Hit";
    Lines expected = concat(
        {banner(),
         default_settings(),
         common_part("abc"),
         variable_part("nil"),
         display_second("0"),
         {pause, "Unit 12> go", "Unit 12| " + cannot_read("go", "a number"), pause, "Unit 12> ",
          "Unit 12> 7.5"},
         // Again without signal: the window is open, so the lines show in it.
         variable_part("nil"),
         display_second("0"),
         {"Unit 12| point 1", "Unit 12| point 2", pause, "Unit 12> -1"},
         variable_part("001"),
         display_second("0"),
         // The window stayed open, so the progress lines show in it.
         in_trace_window(progress_lines("d:\\data\\map\\abc001.dat", recording.potmax(13, 0))),
         view_menu("x"),
         end_of_recording("d:\\data\\map\\abc001.dat", "0"),
         other_series("0")});
    EXPECT_EQ(result.transcript, expected);
    EXPECT_EQ(fort12(), "point 1\npoint 2\n");
    // The first pause opened the window; the reading with signal opened it afresh.
    const std::string pause_line = pause.substr(9);
    const std::string refusal = cannot_read("go", "a number");
    // An open window is kept by the second pause.
    const Lines first_pause = {pause_line, "go", refusal, pause_line, "", "7.5"};
    EXPECT_EQ(window_lines,
              (std::vector<Lines>{{pause_line},
                                  {pause_line, "go", refusal, pause_line},
                                  {pause_line, "go", refusal, pause_line, ""},
                                  concat({first_pause, {"point 1", "point 2", pause_line}}),
                                  {kViewMenu.substr(9)}}));
}

// ---- script faults ----

TEST_F(DialogueSession, ClickOrUnknownEventWhereAnAnswerIsDueNamesTheScriptLine) {
    SessionResult at_settings = run({"@# the leads", "1", "@click 600"});
    EXPECT_EQ(at_settings.exit_code, 2);
    EXPECT_EQ(at_settings.errors,
              "mapari: script line 3: a click, but the program waits for an "
              "answer to \"" +
                  kCoefficientOk + "\"\n");
    EXPECT_EQ(at_settings.transcript,
              concat({banner(), {kLeadsShown, kLeadsOk, "> 1", kCoefficientOk}}));

    spike_recording().write(data_file("abc001.dat"));
    SessionResult at_menu =
        run(concat({kDefaultSettingsScript, {"abc", "001", "0", "q", "@right"}}));
    EXPECT_EQ(at_menu.exit_code, 2);
    EXPECT_EQ(at_menu.errors,
              "mapari: script line 9: a click, but the program waits for an "
              "answer to \"" +
                  kViewMenu.substr(9) + "\"\n");
    EXPECT_EQ(at_menu.transcript.back(), kViewMenu);

    SessionResult unknown = run({"1", "@tap 3"});
    EXPECT_EQ(unknown.exit_code, 2);
    EXPECT_EQ(unknown.errors,
              "mapari: script line 2: unknown event '@tap' (a line starting with @ "
              "is an event; write @@ for an answer starting with @)\n");
}

TEST_F(DialogueSession, ScriptEndingWhileTheProgramWaitsNamesThePendingPrompt) {
    SessionResult empty = run({});
    EXPECT_EQ(empty.exit_code, 3);
    EXPECT_EQ(empty.errors, ended_waiting_for(kLeadsOk));
    EXPECT_EQ(empty.transcript, concat({banner(), {kLeadsShown, kLeadsOk}}));

    SyntheticRecording(4000).write(data_file("abcnil.dat"));
    SessionResult at_pause = run(concat({kDefaultSettingsScript, {"abc", "nil", "0"}}));
    EXPECT_EQ(at_pause.exit_code, 3);
    EXPECT_EQ(at_pause.errors,
              ended_waiting_for(padded_path("d:\\data\\map\\abcnil.dat") + "No data!  Hit"));
}

TEST_F(DialogueSession, RecordedSessionReplaysToTheSameTranscript) {
    spike_recording().write(data_file("abc001.dat"));
    const Lines script = {
        "@# a recorded session",    "",   "1", "1", "1", "1", "abc", "001", "", "@@q",
        "@# a comment at the menu", "sb", "x", "0", "0"};
    const std::string record = scratch_file("record.txt").string();
    SessionResult first = run(script, record);
    EXPECT_EQ(first.exit_code, 0);
    EXPECT_EQ(first.transcript[banner().size() + 2], "> ");
    EXPECT_NE(std::find(first.transcript.begin(), first.transcript.end(), "Unit 12> @q"),
              first.transcript.end());
    // Every answer is recorded, empty ones included; comments are not.
    EXPECT_EQ(read_bytes(record),
              as_file({"", "1", "1", "1", "1", "abc", "001", "", "@@q", "sb", "x", "0", "0"}));
    const std::string first_fort12 = fort12();

    SessionResult replay = run_script_text(read_bytes(record));
    EXPECT_EQ(replay.exit_code, 0);
    EXPECT_EQ(replay.transcript, first.transcript);
    EXPECT_EQ(fort12(), first_fort12);
}

TEST_F(DialogueSession, UnwritableRecordFileStopsBeforeTheBanner) {
    const std::string record = (scratch_file("no-such-folder") / "record.txt").string();
    SessionResult result = run(kDefaultSettingsScript, record);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.errors, "mapari: cannot write the record file " + record + "\n");
    EXPECT_EQ(result.transcript, Lines{});
}

}  // namespace
}  // namespace mapari::sessions_tests
