// mapari-validate: the automatic marks measured against cardiologists' marks.
// Each WFDB record named is imported as mapari-import does, every 4-s stretch
// of it whose beats the cardiologists marked is analysed as mapari-batch does,
// and each averaged beat's Q onset, J point and T end is compared with the
// cardiologists' marks of the beats that averaging accepted (validation.hpp).
// With --reference a second cardiologist's marks of the same beats are
// compared with the first's alike. DIR/validation.csv gets one row a stretch;
// the summary, per database and mark, goes to the standard output.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace mapari {

extern const char* const validate_usage_text;

inline constexpr const char* validation_header =
    "record,annotator,piece,display_second,status,reason,accepted_beats,marked_beats,"
    "q_onset,j_point,t_end,expert_q_onset,expert_j_point,expert_t_end,q_onset_error_ms,"
    "j_point_error_ms,t_end_error_ms,reference,reference_marked_beats,reference_q_onset,"
    "reference_j_point,reference_t_end,reference_q_onset_error_ms,reference_j_point_error_ms,"
    "reference_t_end_error_ms,accepted_pvcs\n";

// Runs the command on its arguments (the program name left out): 0 when every
// record was measured, 1 when one could not be (the others are), 2 for a
// command line it cannot use.
int run_validate_command(const std::vector<std::string>& arguments, std::ostream& out,
                         std::ostream& errors);

}  // namespace mapari
