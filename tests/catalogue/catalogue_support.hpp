// The bad-input catalogue: one good session that visits every kind of wait
// the program has, and the means to play it again with a bad answer or click
// slipped in before any of its events. A catalogue case then states exactly
// which lines the bad input adds to the good transcript, and that the data
// folder ends byte for byte as the good session leaves it: nothing lost,
// nothing half-written.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>

#include "support/session_fixture.hpp"

namespace mapari::catalogue_tests {

using namespace test_support;

// Events of the good session by name: each is the index of one script line
// (an answer or a click) in `good_script()`.
enum Event : std::size_t {
    leads_ok,          // "0": the display leads are typed
    first_lead,        // "13"
    second_lead,       // "23"
    third_lead,        // "37"
    coefficient_ok,    // "0": the coefficient is typed
    coefficient,       // "0.99"
    ari_switch,        // "1"
    ari_defaults,      // "0": h, a and r are asked at the save
    common_part,       // "demo"
    variable_part,     // "01"
    display_second,    // "0"
    view_select,       // "s"
    selection_click,   // column 173: sample 1153, nearest the beat at 1151
    selection_ok,      // "y"
    correction_back,   // "x"
    view_average,      // "b"
    correction_marks,  // "s"
    stimulus_click,    // column 86: row 143
    q_onset_click,     // column 89: row 148
    j_point_click,     // column 146: row 243
    t_end_click,       // column 361: row 601
    marks_ok,          // "y"
    correction_two,    // "t"
    two_point_first,   // column 60: row 100
    two_point_second,  // column 420: row 700
    two_point_ok,      // "y"
    correction_one,    // "z"
    one_point_click,   // column 60: row 100
    one_point_ok,      // "y"
    correction_save,   // "d"
    save_name,         // "demo01"
    save_ok,           // "y"
    smoothing_points,  // h: "20"
    stimulus_delay,    // a: "7"
    recovery_delay,    // r: "100"
    correction_leave,  // "x"
    view_end,          // "x"
    more_data,         // "0"
    other_series,      // "0"
    event_count
};

// The script of the good session, one line an event, in Event order.
const Lines& good_script();

// The good script with `inserted` lines placed before the event.
Lines script_with(Event before, const Lines& inserted);
// The good script with the event's own line replaced by `replacement` lines.
Lines script_replacing(Event event, const Lines& replacement);
// The good script up to (not including) the event.
Lines script_until(Event event);

// Where the echo of the script's n-th event ("> ...", "Unit 12> ...") stands
// in a transcript; the transcript's size when there are fewer echoes.
std::size_t echo_line(const Lines& transcript, std::size_t event);

// The lines `added` placed into `transcript` just before the echo of the event.
Lines with_lines_before(const Lines& transcript, Event event, const Lines& added);

// Every file of a folder (and its subfolders) by relative name, with its bytes.
using FolderBytes = std::map<std::string, std::string>;
FolderBytes folder_bytes(const std::filesystem::path& folder);

// The answer echo as the transcript shows it in the text or the trace window.
std::string text_echo(const std::string& answer);
std::string trace_echo(const std::string& answer);
// The message for an answer that is not the number asked.
std::string cannot_read(const std::string& typed, const char* expected);

// Each case runs in a scratch folder of its own with the synthetic recording
// demo01.dat (4 s, seed 1) in its data folder. The good session is played once
// per case to have the transcript and the files a case is compared with.
class CatalogueTest : public test_support::SessionTest {
  protected:
    void SetUp() override;

    // Plays the good session afresh (the data folder back to the recording
    // alone first) and keeps its transcript and files. Group the cases of one
    // catalogue line into one test so that this runs once for all of them.
    void play_good_session();
    // The data folder back to the recording alone, and no fort.12.
    void reset_data_folder();
    // Runs a script from a fresh data folder.
    SessionResult run_fresh(const Lines& script);

    // Expects a run to have ended normally with the good transcript plus
    // `added` before the event, and the data folder as the good session left it.
    void expect_good_session_with(const SessionResult& result, Event before, const Lines& added);

    Lines good_transcript_;
    FolderBytes good_files_;
    std::string good_fort12_;
};

}  // namespace mapari::catalogue_tests
