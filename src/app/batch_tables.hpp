// The tables of a batch: results.csv, one row per recording and lead (AT,
// RT, ARI and the flags a reader must know; the three values empty where they
// are no findings, and filled in on a bad lead with good neighbours; then the
// lead over the recording's unflagged beats: the beats used, the sample SD of
// their ARI, and the restitution slope of ARI against the preceding RR with its
// standard error, each empty where it is not defined; last the confidence of
// AT and of RT from 0 to 1, lead_confidence.hpp, empty where the values are
// not measured: withheld, filled in or never measured), beats.csv, one row per
// recording, matching beat and lead (the beat's time and preceding RR, AT, RT
// and ARI, and the beat's flags; the three values empty on a lead without a
// signal), and recordings.csv, one row per recording (status, beats, marks,
// settings, lead flags counted, the reason, and at the end the source as
// given, the display leads used, a note on what the batch decided for the
// recording, such as display leads replaced or a source changed, and after it
// the RR, QT and QTc of the averaged beat, in whole ms, then the bad leads'
// flags counted, the leads named bad and good by hand and the spatial rules
// applied, bad_leads.hpp). Both are in English, for scripts; rows in the order
// of the analyses given, a recording's beats in time order.
#pragma once

#include <string>
#include <vector>

#include "app/batch_analysis.hpp"

namespace mapari {

inline constexpr const char* results_header =
    "recording,lead,AT_ms,RT_ms,ARI_ms,flags,beats_used,ARI_sd_ms,restitution_slope,"
    "restitution_slope_se,AT_confidence,RT_confidence\n";
inline constexpr const char* beats_header =
    "recording,beat,time_ms,rr_ms,lead,AT_ms,RT_ms,ARI_ms,flags\n";
inline constexpr const char* recordings_header =
    "recording,status,reason,display_second,beats_found,template_beat,beats_accepted,"
    "accepted_beats,averaging_count,stimulus,q_onset,j_point,t_end,stimulus_found,smoothing,"
    "activation_offset,recovery_delay,no_downstroke,no_upstroke,rt_at_window_edge,weak,flat,"
    "clipped,noisy,no_signal,source,display_leads,note,rr_ms,qt_ms,qtc_bazett_ms,"
    "qtc_fridericia_ms,steps,outlier,marked_bad,marked_good,interpolated,bad_leads,good_leads,"
    "spatial_rules\n";

std::string results_table(const std::vector<RecordingAnalysis>& analyses);
std::string recordings_table(const std::vector<RecordingAnalysis>& analyses);
std::string beats_table(const std::vector<RecordingAnalysis>& analyses);

const char* status_name(AnalysisStatus status);

// A field as CSV wants it: quoted, quotes doubled, when it holds a comma, a
// quote or a line end.
std::string csv_field(const std::string& text);

}  // namespace mapari
