// The table of recordings a batch analysis writes beside its results table,
// recordings.csv: one row per recording with its status and the reason for
// it, the beats, the marks, the heart's intervals and much more. The review
// reads the columns it shows by their names in the header, so tables of
// earlier and later batches, with fewer or more columns, read alike:
//
//   recording,status,reason,...,beats_accepted,...,stimulus,q_onset,j_point,t_end,...,rr_ms,qt_ms,...
//   realptb010,ok,,...,9,...,150,172,250,610,...,812,402,...
//   realptb011,failed,"no beat found, the recording is flat",...
//
// Fields are as CSV writes them: one holding a comma, a quote or a line end
// is in double quotes, a quote in it doubled.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mapari::review {

// The statuses of a recording, as the table writes them.
inline constexpr std::array<std::string_view, 5> recording_statuses = {"ok", "check", "corrected",
                                                                       "stopped", "failed"};

struct RecordingSummary {
    std::string name;
    std::string status;  // one of recording_statuses
    std::string reason;  // why the recording failed or needs checking; empty for ok
    int line = 0;        // of the table
    std::optional<int> beats_accepted;
    // The marks of the averaged beat, samples; none for a recording not analysed.
    std::optional<int> stimulus, q_onset, j_point, t_end;
    std::optional<int> rr_ms, qt_ms;  // none where they cannot be told
    // The minimum recovery delay r the session was run with, samples: where
    // the review of its saved beat flags RT = J + r - P as a default.
    std::optional<int> recovery_delay_samples;
};

// Reads the table's text; false with the reason, which starts with the
// number of the line at fault ("line 7: ..."). A header without the
// recording, status and reason columns, a row of another number of fields, a
// status the batch does not write, a column of numbers holding another word
// and a recording named twice are refused.
bool read_recordings_table(std::string_view text, std::vector<RecordingSummary>& recordings,
                           std::string& reason);

}  // namespace mapari::review
