// The table of results a batch analysis writes, one row per recording and
// lead:
//
//   recording,lead,AT_ms,RT_ms,ARI_ms,flags
//   realptb010,1,43,256,213,
//   realptb010,2,0,200,200,no-downstroke;no-upstroke
//
//   realptb010,3,,,,no-signal
//
// The rows of one recording are consecutive, its leads 1 to 64 in order. The
// three values are decimal numbers, or all three are empty: on a lead flagged
// no-signal, on a bad lead left empty (flagged with its reason), and on every
// row of a recording the analysis failed on. The flags are words separated by
// ';': no-downstroke (AT is the default), no-upstroke (RT is the default),
// no-signal (the lead carries none; with interpolated, its values are filled
// in from its neighbours and are shown) and the other flags below.
//
// Tables of a later batch go on, after flags, with beats_used, ARI_sd_ms,
// restitution_slope and restitution_slope_se; their header says so, and the
// review reads past those columns. Tables later still end with AT_confidence
// and RT_confidence, each empty or a number from 0 to 1, which it reads.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "review/electrode_layout.hpp"
#include "review/lead_values.hpp"
#include "review/review_input.hpp"

namespace mapari::review {

// The flags beyond the two defaults, in the order a page lists them.
inline constexpr std::array<std::string_view, 10> other_flag_words = {
    "rt-at-window-edge", "weak",       "flat",        "clipped",     "noisy", "steps",
    "outlier",           "marked-bad", "marked-good", "interpolated"};

struct RecordingResults {
    std::string name;
    int first_line = 0;  // the table's line of the recording's lead 1
    // AT, RT, ARI and the default and no-signal flags of each lead; none when
    // the rows give no values (the analysis failed on the recording).
    std::optional<LeadTable> leads;
    // Each lead's other flags as the table gives them; element l - 1: lead l.
    std::array<std::vector<std::string>, lead_count> other_flags{};
    std::array<LeadConfidence, lead_count> confidence{};  // element l - 1: lead l
};

// Reads the table's text; false with the reason, which starts with the number
// of the line at fault ("line 7: ...") when one is. A table without a single
// recording is refused too: there is nothing to review.
bool read_results_table(std::string_view text, std::vector<RecordingResults>& recordings,
                        std::string& reason);

// The review of one recording of the table: its name as the title, its values
// and flags, the other flags counted, on the layout given.
ReviewData recording_review(const RecordingResults& recording, const ElectrodeLayout& layout);

}  // namespace mapari::review
