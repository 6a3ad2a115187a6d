// One recording analysed without an operator: the whole dialogue of the
// program, answered and clicked by decisions made from what the program has
// at each wait — the beat whose template correlates best with the others,
// averaging with the recognition coefficient, automatic marks on the averaged
// beat, a baseline through the Q onset and the T end, the save with its ARI
// file. The session runs in a folder of its own, which keeps the recording's
// link, the session's script, transcript and fort.12, and the result files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/lead_flags.hpp"
#include "beats/automatic_marks.hpp"
#include "beats/beat_series.hpp"
#include "beats/lead_confidence.hpp"
#include "dialogue/settings.hpp"
#include "store/store.hpp"

namespace mapari {

struct BatchSettings {
    int display_second = 0;
    std::array<int, display_lead_count> leads = dialogue_display_leads;
    std::string coefficient;                  // as typed, e.g. "0.95"; empty: the default 0.99
    std::optional<AriSettings> ari_settings;  // none: the defaults, taken without asking
    std::vector<int> bad_leads;               // leads named bad by hand, in the order given
    std::vector<int> good_leads;              // leads whose values are used whatever the rules find
    // The electrode positions of the spatial rules: empty for the 8 × 8 grid
    // (none for a recording imported from fewer signals), "none" for no
    // spatial rules, else a layout file's path (electrode_layout.hpp).
    std::string layout;
    bool operator==(const BatchSettings&) const = default;
};

// stopped: a recording the batch never started, being stopped first;
// corrected: marks or bad leads set by hand after the analysis (study_correction.hpp).
enum class AnalysisStatus { ok, check, failed, stopped, corrected };

// One correction by hand of an analysed recording: the marks given, each from
// its row before to its row after, and the leads named bad by hand, when given.
struct MarkChange {
    std::string mark;  // "stimulus", "q_onset", "j_point" or "t_end", as the record names them
    std::int32_t from_row = 0, to_row = 0;
    bool operator==(const MarkChange&) const = default;
};
struct HandCorrection {
    std::string corrected_at;  // when, in UTC: "2026-12-08T23:40:05Z"
    std::vector<MarkChange> marks;
    std::optional<std::vector<int>> bad_leads_from, bad_leads_to;  // none: left as they were
    bool operator==(const HandCorrection&) const = default;
};

struct RecordingAnalysis {
    std::string name;             // its folder and its rows: the file's stem, made unique
    std::string source;           // the recording's path as the command line gave it
    std::string source_checksum;  // of the bytes analysed (study_record.hpp); empty: unread
    BatchSettings settings;       // as asked
    AnalysisStatus status = AnalysisStatus::failed;
    std::string reason;  // why check or failed
    // The display leads the session was given: those asked, each without a
    // signal in the stretch replaced by a lead with one.
    std::array<int, display_lead_count> display_leads{};
    std::string note;  // what the batch decided that the reader should know; empty for nothing
    int beats_found = 0;
    int template_beat = 0;
    std::vector<AcceptedBeat> accepted;  // of one pass, as averaging recorded them
    int averaging_count = 0;
    AutomaticMarks marks;
    AriSettings ari_settings;  // as the computation used them
    std::array<float, lead_count> activation_ms{};
    std::array<float, lead_count> recovery_ms{};
    std::array<LeadFlags, lead_count> flags{};
    // The spatial rules applied: "grid", "layout FILE" or "none", with why
    // for a recording imported from fewer signals.
    std::string spatial_rules;
    // Every beat of the whole recording that matches the template, analysed
    // as the averaged beat was, flagged (beat_series.hpp).
    std::vector<BeatResult> beats;
    // Of AT and RT of the averaged beat, per lead (lead_confidence.hpp); none
    // where nothing measured it. A table shows it only beside measured values.
    std::array<LeadConfidence, lead_count> confidence{};
    std::string program_version;              // of the program that analysed it
    std::string analysed_at;                  // when, in UTC: "2026-12-08T23:40:05Z"
    std::vector<HandCorrection> corrections;  // in the order made; the status is corrected with any
    // Of this run, not of the record: why the row holds the results of an
    // earlier analysis (its source changed since, or it was asked with other settings).
    std::string run_note;
};

// The heart's intervals of a finished analysis in whole ms, rounded half away
// from zero; each none where it cannot be told. RR is the median interval
// between the accepted beats (heart_intervals.hpp), QT runs from the Q onset
// to the T end, and the QTc are taken from the RR and QT as rounded, so that
// they follow from the row of the table that shows all four.
struct HeartIntervals {
    std::optional<int> rr_ms;              // none for fewer than two accepted beats
    std::optional<int> qt_ms;              // none without a Q onset before a T end
    std::optional<int> qtc_bazett_ms;      // none without an RR above 0 and a QT
    std::optional<int> qtc_fridericia_ms;  // as Bazett's
};
HeartIntervals heart_intervals(const RecordingAnalysis& analysis);

// What keeps a finished analysis from being reported as fine: too few beats
// averaged, marks that are doubtful, out of order or too close for the
// recovery search, more than a quarter of the leads with a signal without a
// T upstroke (leads without a signal count for nothing), a QT or QTc no heart
// has, or a T end that an independent estimate does not bear out. Empty when
// nothing does.
std::string doubt_about(const RecordingAnalysis& analysis);

// Analyses `recording` in `folder` (made when missing). Display leads asked for
// that carry no signal in the stretch are replaced (display_leads_with_signal),
// and the note says so. Never throws: every failure is in the result's status
// and reason, in English whatever the language of the session's transcript.
// The files are not flushed to the disk one by one: the caller flushes the
// folder (flush_file_system) before it relies on them.
RecordingAnalysis analyse_recording(const std::filesystem::path& recording,
                                    const std::filesystem::path& folder,
                                    const BatchSettings& settings);

// The two stores of an analysis: the session's, and the work area of the
// analysis of every beat; the recording's frames decoded, which the check,
// the display leads and the analysis of every beat read; and the display
// stretch the display leads are chosen on. Whoever analyses one recording
// after another keeps one set and hands it to each analysis, which sets the
// stores back, decodes anew and writes the stretch whole.
struct AnalysisStores {
    std::unique_ptr<Store> session = new_store();
    std::unique_ptr<Store> beats = new_store();
    std::vector<std::int16_t> frames;
    std::unique_ptr<Recording> stretch = std::make_unique<Recording>();
};

// The same in the stores given.
RecordingAnalysis analyse_recording(const std::filesystem::path& recording,
                                    const std::filesystem::path& folder,
                                    const BatchSettings& settings, AnalysisStores& stores);

// The names the dialogue of a recording of file stem `stem` uses: the
// recording keeps its own name when that splits into two name parts the
// dialogue takes; another is linked as "rec01.dat".
struct RecordingNames {
    std::string common, variable, save_name;
    std::string file_name() const { return common + variable + ".dat"; }
};
RecordingNames session_names(const std::string& stem);

// The folder (made when missing) with the recording linked in, or copied
// where links cannot be made; false with the reason.
bool prepare_session_folder(const std::filesystem::path& recording,
                            const std::filesystem::path& folder, const RecordingNames& names,
                            std::string& reason);

// The whole dialogue run on `store` in `folder`, each line of its script
// taken from next_line when it is due; the folder gets the session's
// transcript, its script as taken (session.script), fort.12 and the result
// files. The exit code, with the reason in English when it is not normal.
int run_unattended_session(Store& store,
                           const std::function<std::optional<std::string>()>& next_line,
                           const std::filesystem::path& folder, std::string& reason);

struct SpatialRules;

// What a finished session gives the analysis: the averaging, the rows
// clicked as marks, each lead's AT, RT and flags, every matching beat of the
// recording's whole `frames` (decode_frames) analysed as the averaged beat
// was, and the bad leads settled by the spatial rules and the settings' hand lists.
void take_session_results(Store& store, std::span<const std::int16_t> frames,
                          const SpatialRules& spatial, RecordingAnalysis& analysis,
                          Store& beats_work_area);

}  // namespace mapari
