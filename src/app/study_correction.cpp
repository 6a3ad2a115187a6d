#include "app/study_correction.hpp"

#include <array>
#include <memory>
#include <sstream>

#include "app/bad_leads.hpp"
#include "app/batch_analysis.hpp"
#include "app/batch_tables.hpp"
#include "app/study_folder.hpp"
#include "app/study_record.hpp"
#include "app/unattended_clicks.hpp"
#include "ari/ari_computation.hpp"
#include "beats/beat_preview.hpp"
#include "beats/selection.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/map_recording.hpp"
#include "formats/messages.hpp"
#include "formats/quoted.hpp"
#include "recording/recording.hpp"
#include "review/results_table.hpp"

namespace mapari {
namespace {

namespace fs = std::filesystem;

// The clicks of a batch's session, in order: the template, the four marks,
// the two baseline clicks (the Q onset and the T end).
constexpr int session_clicks = 1 + fiducial_count + 2;
constexpr std::string_view click_prefix = "@click ";

// The marks by the names the record and the command give them, in the
// dialogue's order.
constexpr std::array<const char*, fiducial_count> mark_record_names = {"stimulus", "q_onset",
                                                                       "j_point", "t_end"};

using Rows = MarkRowArray;

CorrectionOutcome refused(int exit_code, const std::string& why) {
    return {exit_code, "mapari-batch: " + why + "; nothing was written\n"};
}

Rows corrected_rows(const AutomaticMarks& marks, const MarkRows& asked) {
    Rows rows = mark_rows_of(marks);
    const std::optional<std::int32_t> given[] = {asked.stimulus, asked.q_onset, asked.j_point,
                                                 asked.t_end};
    for (std::size_t k = 0; k < fiducial_count; ++k)
        if (given[k]) rows[k] = *given[k];
    return rows;
}

// Why the study's tables are no batch's: empty when each reads.
std::string tables_refusal(const fs::path& study) {
    const std::pair<const char*, const char*> headers[] = {{"recordings.csv", recordings_header},
                                                           {"beats.csv", beats_header}};
    for (const auto& [table, header] : headers) {
        std::string text, reason;
        if (!read_whole_file((study / table).string(), text, reason))
            return "cannot read " + (study / table).string() + ": " + reason;
        if (!text.starts_with(header))
            return (study / table).string() + " is no table of mapari-batch: its first line is " +
                   "not the header";
    }
    std::string text, reason;
    std::vector<review::RecordingResults> read;
    if (!read_whole_file((study / "results.csv").string(), text, reason) ||
        !review::read_results_table(text, read, reason))
        return "cannot read " + (study / "results.csv").string() + ": " + reason;
    return {};
}

// Why the ARI computation would refuse the marks with the recording's settings.
std::string ari_limit_refusal(Store& store, const Rows& rows, const AriSettings& settings) {
    store.ari.settings = settings;
    store.ari.reference_point = rows[1];
    store.ari.j_point = rows[2];
    store.ari.t_end = rows[3];
    const std::string broken = broken_limit(store.ari);
    return broken.empty() ? broken : "the marks break a limit of the ARI computation: " + broken;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The batch's script with the clicks of the marks and the baseline given
// by `rows`, each click's column found when it is due, on the drawing then shown.
class CorrectedScript {
  public:
    CorrectedScript(const Store& store, std::vector<std::string> lines, const Rows& rows)
        : store_(store), lines_(std::move(lines)), rows_(rows) {}

    std::optional<std::string> next_line() {
        if (next_ == lines_.size()) return std::nullopt;
        const std::string& line = lines_[next_++];
        if (!line.starts_with(click_prefix)) return line;
        ++clicks_;
        if (clicks_ == 1) return line;  // the template beat stays
        return std::string(click_prefix) +
               std::to_string(column_marking_row(store_.display, store_.beat, row_of_click()));
    }

  private:
    std::int32_t row_of_click() const {
        if (clicks_ <= 1 + fiducial_count) return rows_[static_cast<std::size_t>(clicks_ - 2)];
        return clicks_ == 1 + fiducial_count + 1 ? rows_[1] : rows_[3];
    }

    const Store& store_;
    std::vector<std::string> lines_;
    Rows rows_;
    std::size_t next_ = 0;
    int clicks_ = 0;
};

struct CorrectedRecording {
    fs::path folder;
    RecordingAnalysis record;
    RecordingNames names;
    std::string bytes;                // of the recording analysed
    std::vector<std::string> script;  // the session's lines
    std::string transcript;           // of the session
};

// The transcript up to the echo of its first mark's click: what the
// corrected session must say alike, being given the same answers.
std::string_view before_the_marks(std::string_view transcript) {
    constexpr std::string_view click_echo = "> click ";
    const std::size_t template_click = transcript.find(click_echo);
    if (template_click == std::string_view::npos) return transcript;
    return transcript.substr(0, transcript.find(click_echo, template_click + 1));
}

// The recording's files read: its source as analysed and the script of its session.
std::string recording_refusal(CorrectedRecording& recording) {
    std::string reason;
    const fs::path source = recording.folder / recording.names.file_name();
    if (!read_whole_file(source.string(), recording.bytes, reason))
        return "cannot read the recording " + source.string() + ": " + reason;
    if (source_checksum(recording.bytes) != recording.record.source_checksum)
        return "the recording " + source.string() + " has changed since its analysis; " +
               "mapari-batch --again " + recording.record.name + " analyses it anew";
    std::string script;
    if (!read_whole_file((recording.folder / "session.script").string(), script, reason))
        return "cannot read " + (recording.folder / "session.script").string() + ": " + reason;
    recording.script = lines_of(script);
    if (!read_whole_file((recording.folder / "transcript.txt").string(), recording.transcript,
                         reason))
        return "cannot read " + (recording.folder / "transcript.txt").string() + ": " + reason;
    int clicks = 0;
    for (const std::string& line : recording.script) clicks += line.starts_with(click_prefix);
    if (clicks != session_clicks)
        return (recording.folder / "session.script").string() +
               " is no script of an unattended session";
    return {};
}

// The session played again with the corrected clicks in the hidden folder
// `replay`; why it gave no corrected files, or empty.
std::string replay_refusal(Store& store, const CorrectedRecording& recording, const Rows& rows,
                           const fs::path& replay, int& exit_code) {
    exit_code = exit_failure;
    std::string reason;
    store.naming.result_files_flushed_by_caller = true;
    if (!prepare_session_folder(recording.folder / recording.names.file_name(), replay,
                                recording.names, reason) ||
        !set_data_directory(store.naming, replay.string(), reason))
        return reason;
    CorrectedScript script(store, recording.script, rows);
    if (run_unattended_session(
            store, [&script] { return script.next_line(); }, replay, reason) != exit_normal)
        return "the corrected session did not end: " + reason;
    std::string transcript;
    if (!read_whole_file((replay / "transcript.txt").string(), transcript, reason) ||
        before_the_marks(transcript) != before_the_marks(recording.transcript))
        return "the session of " + recording.record.name +
               " does not play again as it was recorded (a session in another language than "
               "--lang, or of another version of the program)";
    exit_code = exit_usage;
    for (int mark = 1; mark <= fiducial_count; ++mark) {
        const auto at = static_cast<std::size_t>(mark - 1);
        if (store.beat.fiducial_marks(mark) != rows[at])
            return "no click marks row " + std::to_string(rows[at]) + " for " +
                   mark_said_names[at] + ": the nearest marks row " +
                   std::to_string(store.beat.fiducial_marks(mark));
    }
    exit_code = exit_failure;
    if (!fs::exists(replay / (recording.names.save_name + ".ari")))
        return "the corrected session wrote no ARI file (see " +
               (replay / "transcript.txt").string() + ")";
    return {};
}

HandCorrection correction_of(const RecordingAnalysis& record, const Rows& rows,
                             const CorrectionRequest& request) {
    HandCorrection correction;
    correction.corrected_at = now_in_utc();
    const Rows before = mark_rows_of(record.marks);
    const std::optional<std::int32_t> given[] = {request.marks.stimulus, request.marks.q_onset,
                                                 request.marks.j_point, request.marks.t_end};
    for (std::size_t k = 0; k < fiducial_count; ++k)
        if (given[k]) correction.marks.push_back({mark_record_names[k], before[k], rows[k]});
    if (request.bad_leads) {
        correction.bad_leads_from = record.settings.bad_leads;
        correction.bad_leads_to = *request.bad_leads;
    }
    return correction;
}

// The spatial rules the recording was analysed with, chosen again: from the
// source its folder links to, or from the source's path as the batch was
// given it (a copy in the folder has no import record beside it); false with
// the reason when neither gives the rules of the record.
bool same_spatial_rules(const CorrectedRecording& recording, const BatchSettings& settings,
                        SpatialRules& spatial, std::string& reason) {
    std::error_code error;
    const fs::path linked = fs::canonical(recording.folder / recording.names.file_name(), error);
    for (const fs::path& source : {linked, fs::path(recording.record.source)}) {
        if (!choose_spatial_rules(source, settings, spatial, reason)) continue;
        // Records written before the rules were kept name none.
        if (recording.record.spatial_rules.empty() ||
            spatial.description == recording.record.spatial_rules)
            return true;
        reason = "they are " + spatial.description + " now";
    }
    reason = "the spatial rules of " + recording.record.name + " (" +
             recording.record.spatial_rules + ") cannot be had again: " + reason;
    return false;
}

// The analysis of the corrected session: the record's with the new marks,
// their lead values and beats, and the bad leads settled anew.
bool corrected_analysis(Store& store, const CorrectedRecording& recording,
                        const HandCorrection& correction, RecordingAnalysis& analysis,
                        std::string& reason) {
    analysis = recording.record;
    if (correction.bad_leads_to) analysis.settings.bad_leads = *correction.bad_leads_to;
    SpatialRules spatial;
    if (!same_spatial_rules(recording, analysis.settings, spatial, reason)) return false;
    analysis.flags = {};
    analysis.beats.clear();
    take_session_results(store, decode_frames(recording.bytes), spatial, analysis, *new_store());
    analysis.reason = doubt_about(analysis);
    analysis.status = AnalysisStatus::corrected;
    analysis.corrections.push_back(correction);
    return true;
}

// The files of the corrected recording (every file the session wrote, and its
// record) and the study's tables, to be renamed into place together.
std::vector<FileContent> corrected_files(const fs::path& study, const fs::path& replay,
                                         const CorrectedRecording& recording,
                                         const RecordingAnalysis& analysis, StudyContents contents,
                                         std::string& reason) {
    std::vector<FileContent> files;
    std::error_code error;
    for (fs::directory_iterator entry(replay, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->is_symlink(error) || entry->path().filename() == recording.names.file_name())
            continue;
        FileContent file{(recording.folder / entry->path().filename()).string(), {}};
        if (!read_whole_file(entry->path().string(), file.bytes, reason)) return {};
        files.push_back(std::move(file));
    }
    files.push_back({(recording.folder / study_record_name).string(), study_record_text(analysis)});
    contents.records[analysis.name] = analysis;
    std::vector<RecordingAnalysis> rows;
    for (auto& [name, row] : contents.records) rows.push_back(std::move(row));
    for (FileContent& table : study_tables(study, rows)) files.push_back(std::move(table));
    return files;
}

std::string changes_text(const HandCorrection& correction) {
    std::string text;
    for (const MarkChange& change : correction.marks)
        text += (text.empty() ? "" : ", ") + change.mark + " " + std::to_string(change.from_row) +
                " -> " + std::to_string(change.to_row);
    if (correction.bad_leads_to) {
        if (!text.empty()) text += ", ";
        text +=
            std::string("bad leads ") +
            (correction.bad_leads_from->empty() ? "none"
                                                : joined_numbers(*correction.bad_leads_from, ",")) +
            " -> " +
            (correction.bad_leads_to->empty() ? "none"
                                              : joined_numbers(*correction.bad_leads_to, ","));
    }
    return text;
}

// Everything checked that needs no session: the study, the recording, the marks.
CorrectionOutcome check_request(const CorrectionRequest& request, const StudyContents& contents,
                                CorrectedRecording& recording, Rows& rows) {
    if (!contents.unreadable.empty())
        return refused(exit_failure,
                       "a record of the study cannot be read: " + contents.unreadable.front());
    const auto record = contents.records.find(request.name);
    if (record == contents.records.end())
        return refused(exit_usage, request.name + " is no analysed recording of the study " +
                                       request.study.string());
    const AnalysisStatus status = record->second.status;
    if (status == AnalysisStatus::failed || status == AnalysisStatus::stopped)
        return refused(exit_usage,
                       request.name + " has no marks to correct: its analysis " +
                           (status == AnalysisStatus::failed ? "failed" : "was stopped"));
    recording.record = record->second;
    rows = corrected_rows(record->second.marks, request.marks);
    if (std::string why = mark_rows_refusal(rows); !why.empty()) return refused(exit_usage, why);
    if (request.bad_leads) {
        BatchSettings hand = record->second.settings;
        hand.bad_leads = *request.bad_leads;
        if (std::string why = hand_lists_refusal(hand); !why.empty())
            return refused(exit_usage, why);
    }
    recording.folder = request.study / request.name;
    recording.names = session_names(fs::path(record->second.source).stem().string());
    if (std::string why = recording_refusal(recording); !why.empty())
        return refused(exit_failure, why);
    return {exit_normal, {}};
}

// The session corrected in `replay` and the files written; the outcome.
CorrectionOutcome correct_in(const CorrectionRequest& request, StudyContents contents,
                             CorrectedRecording& recording, const Rows& rows,
                             const fs::path& replay) {
    auto store = new_store();
    {
        const MessagesAsWritten in_english;
        if (std::string why = ari_limit_refusal(*store, rows, recording.record.ari_settings);
            !why.empty())
            return refused(exit_usage, why);
    }
    // The session speaks the language asked, as the batch's did.
    int exit_code = exit_failure;
    if (std::string why = replay_refusal(*store, recording, rows, replay, exit_code); !why.empty())
        return refused(exit_code, why);
    const MessagesAsWritten in_english;
    const HandCorrection correction = correction_of(recording.record, rows, request);
    RecordingAnalysis analysis;
    std::string reason, failed_path;
    if (!corrected_analysis(*store, recording, correction, analysis, reason))
        return refused(exit_failure, reason);
    const std::vector<FileContent> files =
        corrected_files(request.study, replay, recording, analysis, std::move(contents), reason);
    if (files.empty()) return refused(exit_failure, "cannot read the corrected files: " + reason);
    if (!write_files_atomically(files, failed_path, reason))
        return refused(exit_failure, "cannot write " + failed_path + ": " + reason);
    std::string message = "corrected " + request.name + ": " + changes_text(correction) + "\n";
    for (const fs::path& removed : remove_derived_files(request.study))
        message += "removed " + removed.string() +
                   ": it was made from the earlier tables (mapari-review --results " +
                   (request.study / "results.csv").string() + " makes it anew)\n";
    std::string report;
    const bool reported = refresh_report(request.study, false, report);
    if (!reported) return {exit_failure, message + "mapari-batch: " + report + "\n"};
    if (!report.empty()) message += report + "\n";
    return {exit_normal, message};
}

}  // namespace

std::string study_refusal(const fs::path& study) {
    std::error_code error;
    if (!fs::is_directory(study, error)) return study.string() + " is no folder";
    if (std::string why = tables_refusal(study); !why.empty())
        return study.string() + " is no study of mapari-batch: " + why;
    return {};
}

CorrectionOutcome correct_recording(const CorrectionRequest& request) {
    {
        const MessagesAsWritten in_english;
        if (std::string why = study_refusal(request.study); !why.empty())
            return refused(exit_failure, why);
    }
    const TablesLock lock(request.study);
    StudyContents contents = read_study(request.study);
    CorrectedRecording recording;
    Rows rows{};
    {
        const MessagesAsWritten in_english;
        if (CorrectionOutcome checked = check_request(request, contents, recording, rows);
            checked.exit_code != exit_normal)
            return checked;
    }
    std::error_code error;
    const fs::path replay = correction_folder(request.study, request.name);
    fs::remove_all(replay, error);
    CorrectionOutcome outcome = correct_in(request, std::move(contents), recording, rows, replay);
    fs::remove_all(replay, error);
    return outcome;
}

}  // namespace mapari
