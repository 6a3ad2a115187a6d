// A recording of a study corrected by hand: new marks (rows of the averaged
// beat) and leads named bad, carried into the recording's files, its record
// and the study's tables. The session the batch recorded is played again with
// the corrected clicks, so the .ds, .se and .ari files are those the dialogue
// saves for the same clicks, and the session.script written beside them
// replays them byte for byte. The baseline goes through the Q onset and the
// T end, as the batch draws it. Everything is checked before anything is
// written, and the files are written aside and renamed into place together,
// so a refusal or a failed write leaves the study as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mapari {

struct MarkRows {
    std::optional<std::int32_t> stimulus, q_onset, j_point, t_end;  // none: kept
};

struct CorrectionRequest {
    std::filesystem::path study;  // the batch's --out folder
    std::string name;             // the recording's folder in it
    MarkRows marks;
    std::optional<std::vector<int>> bad_leads;  // the new hand list; none: kept
};

struct CorrectionOutcome {
    int exit_code = 0;
    // What was done, line by line, or why nothing was: one line.
    std::string message;
};

// Why the folder is no study of mapari-batch (no folder, or tables that are
// missing or malformed); empty when it is one.
std::string study_refusal(const std::filesystem::path& study);

// Corrects the recording; the exit code is exit_usage for a request the study
// refuses (an unknown or failed recording, marks out of order or outside the
// beat), exit_failure for a study it cannot use or files it cannot write.
CorrectionOutcome correct_recording(const CorrectionRequest& request);

}  // namespace mapari
