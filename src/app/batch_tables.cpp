#include "app/batch_tables.hpp"

#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

#include "app/bad_leads.hpp"
#include "formats/quoted.hpp"

namespace mapari {
namespace {

// As "%g" writes it. Most cells hold whole milliseconds, which "%g" writes as
// their digits below 10^6 (it keeps 6 significant digits): those are written
// without the formatting call, the others and -0 ("-0") through it.
std::string number(double value) {
    const bool negative_zero = value == 0.0 && std::signbit(value);
    if (value == std::trunc(value) && std::fabs(value) < 1e6 && !negative_zero)
        return std::to_string(static_cast<long long>(value));
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string accepted_beats(const RecordingAnalysis& analysis) {
    std::string text;
    for (const AcceptedBeat& beat : analysis.accepted) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "%s%d/%+d/%.4f", text.empty() ? "" : " ",
                      beat.position_ms, beat.shift_samples, static_cast<double>(beat.correlation));
        text += entry;
    }
    return text;
}

// The lead's flags as words joined by ';'.
std::string flags_text(LeadFlags flags) {
    std::string text;
    for (const auto& [flag, word] : all_lead_flag_words()) {
        if (!flags.has(flag)) continue;
        if (!text.empty()) text += ';';
        text += word;
    }
    return text;
}

int leads_flagged(const RecordingAnalysis& analysis, LeadFlag flag) {
    int count = 0;
    for (LeadFlags flags : analysis.flags) count += flags.has(flag);
    return count;
}

// The analysis's own note and this run's, joined.
std::string notes_text(const RecordingAnalysis& analysis) {
    std::string text = analysis.note;
    if (!text.empty() && !analysis.run_note.empty()) text += "; ";
    text += analysis.run_note;
    return text;
}

// The display leads used, empty for a recording that failed before they were chosen.
std::string leads_text(const std::array<int, display_lead_count>& leads) {
    return leads[0] == 0 ? std::string() : joined_numbers({leads.begin(), leads.end()}, " ");
}

void add_field(std::string& row, const std::string& field) {
    if (!row.empty()) row += ',';
    row += field;
}

std::string analysed_columns(const RecordingAnalysis& analysis) {
    const AutomaticMarks& marks = analysis.marks;
    std::string row;
    for (int count :
         {analysis.beats_found, analysis.template_beat, static_cast<int>(analysis.accepted.size())})
        add_field(row, std::to_string(count));
    add_field(row, accepted_beats(analysis));
    add_field(row, std::to_string(analysis.averaging_count));
    for (int mark : {marks.stimulus, marks.q_onset, marks.j_point, marks.t_end})
        add_field(row, std::to_string(mark));
    add_field(row, marks.stimulus_found ? "yes" : "no");
    const AriSettings& ari = analysis.ari_settings;
    for (std::int32_t setting : {ari.smoothing_half_width_samples, ari.activation_offset_samples,
                                 ari.recovery_delay_samples})
        add_field(row, std::to_string(setting));
    for (const auto& [flag, word] : lead_flag_words)
        add_field(row, std::to_string(leads_flagged(analysis, flag)));
    return row;
}

// ",RR,QT,QTc Bazett,QTc Fridericia" in ms, each empty where it cannot be told.
std::string interval_cells(const RecordingAnalysis& analysis) {
    const HeartIntervals intervals = heart_intervals(analysis);
    std::string cells;
    for (const std::optional<int>& ms :
         {intervals.rr_ms, intervals.qt_ms, intervals.qtc_bazett_ms, intervals.qtc_fridericia_ms}) {
        cells += ',';
        if (ms) cells += std::to_string(*ms);
    }
    return cells;
}

// AT, RT and ARI of a lead, empty where its values are no findings (bad_leads.hpp).
std::string value_cells(const RecordingAnalysis& analysis, std::size_t at) {
    if (values_withheld(analysis, at)) return ",,";
    const double activation = analysis.activation_ms[at], recovery = analysis.recovery_ms[at];
    return number(activation) + "," + number(recovery) + "," + number(recovery - activation);
}

// ",steps,outlier,marked_bad,marked_good,interpolated,bad_leads,good_leads,
// spatial_rules": the bad leads' flags counted, the hand lists as asked and
// the spatial rules applied.
std::string bad_lead_cells(const RecordingAnalysis& analysis, bool analysed) {
    std::string cells;
    for (const auto& [flag, word] : bad_lead_flag_words) {
        cells += ',';
        if (analysed) cells += std::to_string(leads_flagged(analysis, flag));
    }
    for (const std::vector<int>* leads :
         {&analysis.settings.bad_leads, &analysis.settings.good_leads}) {
        cells += ',';
        cells += joined_numbers(*leads, " ");
    }
    cells += ',';
    return cells + csv_field(analysis.spatial_rules);
}

// ",beats used,ARI SD,slope,slope SE" of a lead, the last three empty where
// not defined, and all four on a lead without a signal.
std::string summary_cells(const RecordingAnalysis& analysis, int lead) {
    if (analysis.flags[static_cast<std::size_t>(lead - 1)].has(LeadFlag::no_signal)) return ",,,,";
    const LeadSummary summary = summarise_lead(analysis.beats, lead);
    std::string cells = ",";
    cells += std::to_string(summary.beats_used);
    cells += ',';
    if (summary.ari_sd_ms) cells += number(*summary.ari_sd_ms);
    cells += ",";
    if (summary.restitution)
        cells += number(summary.restitution->slope) + "," + number(summary.restitution->slope_se);
    else
        cells += ",";
    return cells;
}

// ",AT confidence,RT confidence" to three decimals, each empty where the
// lead's values are not its own measurement (withheld or filled in) or were
// never measured.
std::string confidence_cells(const RecordingAnalysis& analysis, std::size_t at) {
    const bool measured =
        !values_withheld(analysis, at) && !analysis.flags[at].has(LeadFlag::interpolated);
    std::string cells;
    for (const std::optional<double>& confidence :
         {analysis.confidence[at].activation, analysis.confidence[at].recovery}) {
        cells += ',';
        if (!measured || !confidence) continue;
        char text[16];
        std::snprintf(text, sizeof text, "%.3f", *confidence);
        cells += text;
    }
    return cells;
}

std::string beat_flags_text(const BeatResult& beat) {
    std::string text = beat.low_correlation ? "low-correlation" : "";
    if (beat.at_scatter) text += text.empty() ? "at-scatter" : ";at-scatter";
    return text;
}

// The 64 rows of one beat.
std::string beat_rows(const RecordingAnalysis& analysis, int number_from_1) {
    const BeatResult& beat = analysis.beats[static_cast<std::size_t>(number_from_1 - 1)];
    const std::string first_cells = csv_field(analysis.name) + "," + std::to_string(number_from_1) +
                                    "," + std::to_string(beat.time_ms) + "," +
                                    (beat.rr_ms ? std::to_string(*beat.rr_ms) : std::string()) +
                                    ",";
    const std::string flags = beat_flags_text(beat);
    std::string rows;
    for (int l = 1; l <= lead_count; ++l) {
        const auto at = static_cast<std::size_t>(l - 1);
        rows += first_cells + std::to_string(l) + ",";
        if (analysis.flags[at].has(LeadFlag::no_signal)) {
            rows += ",,";
        } else {
            const double activation = beat.activation_ms[at], recovery = beat.recovery_ms[at];
            rows +=
                number(activation) + "," + number(recovery) + "," + number(recovery - activation);
        }
        rows += "," + flags + "\n";
    }
    return rows;
}

bool analysed(const RecordingAnalysis& analysis) {
    return analysis.status == AnalysisStatus::ok || analysis.status == AnalysisStatus::check ||
           analysis.status == AnalysisStatus::corrected;
}

}  // namespace

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

const char* status_name(AnalysisStatus status) {
    switch (status) {
        case AnalysisStatus::ok:
            return "ok";
        case AnalysisStatus::check:
            return "check";
        case AnalysisStatus::stopped:
            return "stopped";
        case AnalysisStatus::corrected:
            return "corrected";
        case AnalysisStatus::failed:
            break;
    }
    return "failed";
}

std::string results_table(const std::vector<RecordingAnalysis>& analyses) {
    std::string table = results_header;
    for (const RecordingAnalysis& analysis : analyses) {
        if (!analysed(analysis)) continue;
        for (int l = 1; l <= lead_count; ++l) {
            const auto at = static_cast<std::size_t>(l - 1);
            table += csv_field(analysis.name) + "," + std::to_string(l) + "," +
                     value_cells(analysis, at) + "," + flags_text(analysis.flags[at]) +
                     summary_cells(analysis, l) + confidence_cells(analysis, at) + "\n";
        }
    }
    return table;
}

std::string recordings_table(const std::vector<RecordingAnalysis>& analyses) {
    std::string table = recordings_header;
    for (const RecordingAnalysis& analysis : analyses) {
        table += csv_field(analysis.name) + "," + status_name(analysis.status) + "," +
                 csv_field(analysis.reason) + "," +
                 std::to_string(analysis.settings.display_second) + ",";
        const bool with_results = analysed(analysis);
        table += with_results ? analysed_columns(analysis) : std::string(20, ',');
        // Appended cell by cell: gcc 12 at -O3 takes "," + a temporary for an overlapping copy.
        for (const std::string& cell :
             {csv_field(analysis.source), leads_text(analysis.display_leads),
              csv_field(notes_text(analysis))}) {
            table += ',';
            table += cell;
        }
        table += with_results ? interval_cells(analysis) : std::string(4, ',');
        table += bad_lead_cells(analysis, with_results);
        table += '\n';
    }
    return table;
}

std::string beats_table(const std::vector<RecordingAnalysis>& analyses) {
    std::string table = beats_header;
    for (const RecordingAnalysis& analysis : analyses) {
        if (!analysed(analysis)) continue;
        for (int beat = 1; beat <= static_cast<int>(analysis.beats.size()); ++beat)
            table += beat_rows(analysis, beat);
    }
    return table;
}

}  // namespace mapari
