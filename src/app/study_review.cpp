#include "app/study_review.hpp"

#include <algorithm>

#include "app/bad_leads.hpp"
#include "app/study_folder.hpp"
#include "app/unattended_clicks.hpp"
#include "beats/marks.hpp"
#include "beats/selection.hpp"
#include "formats/exit_codes.hpp"
#include "formats/files.hpp"
#include "formats/messages.hpp"
#include "formats/result_files.hpp"

namespace mapari {
namespace {

namespace fs = std::filesystem;

bool has_marks(AnalysisStatus status) {
    return status != AnalysisStatus::failed && status != AnalysisStatus::stopped;
}

StudyListRow list_row(const RecordingAnalysis& record) {
    StudyListRow row;
    row.name = record.name;
    row.status = record.status;
    row.reason = record.reason;
    if (!has_marks(record.status)) return row;
    row.marks = mark_rows_of(record.marks);
    row.qt_ms = heart_intervals(record).qt_ms;
    for (const LeadFlags& flags : record.flags) {
        row.flagged_leads += flags != LeadFlags{};
        row.bad_leads += is_bad_lead(flags);
    }
    return row;
}

std::vector<int> ascending(std::vector<int> leads) {
    std::sort(leads.begin(), leads.end());
    return leads;
}

review::ElectrodeLayout layout_of(const BatchSettings& settings) {
    review::ElectrodeLayout layout;
    std::string reason;
    if (settings.layout.empty() || settings.layout == no_layout ||
        !load_layout(settings.layout, layout, reason))
        return review::grid_layout();
    return layout;
}

}  // namespace

std::vector<StudyListRow> study_list(const std::vector<RecordingAnalysis>& records) {
    std::vector<StudyListRow> rows;
    for (const RecordingAnalysis& record : records) rows.push_back(list_row(record));
    std::stable_sort(rows.begin(), rows.end(), [](const StudyListRow& a, const StudyListRow& b) {
        const bool a_first = a.status == AnalysisStatus::check;
        const bool b_first = b.status == AnalysisStatus::check;
        return a_first != b_first ? a_first : a.name < b.name;
    });
    return rows;
}

StudyReview::StudyReview()
    : drawing_display_(std::make_unique<Display>()), drawing_beat_(std::make_unique<Beat>()) {
    // The drawing the dialogue marks on: its default edges and the step of its rows.
    drawing_beat_->averaged_step = beat_step(*drawing_display_);
}

StudyReview::~StudyReview() = default;

std::string StudyReview::open(const fs::path& folder) {
    const MessagesAsWritten in_english;
    if (std::string why = study_refusal(folder); !why.empty()) return why;
    StudyContents contents = read_study(folder);
    if (!contents.unreadable.empty())
        return "a record of the study cannot be read: " + contents.unreadable.front();
    folder_ = folder;
    records_.clear();
    for (auto& [name, record] : contents.records) records_.push_back(std::move(record));
    list_ = study_list(records_);
    record_ = nullptr;
    saved_ = edit_ = {};
    undo_.clear();
    redo_.clear();
    return {};
}

std::string StudyReview::select(const std::string& name) {
    if (changed())
        return record_->name + " has moves not accepted: Accept (Enter) or Revert (Esc) first";
    const auto record =
        std::find_if(records_.begin(), records_.end(),
                     [&name](const RecordingAnalysis& r) { return r.name == name; });
    if (record == records_.end()) return name + " is no recording of the study";
    if (!has_marks(record->status))
        return name + " has no beat to show: its analysis " +
               (record->status == AnalysisStatus::failed ? "failed" : "was stopped");
    return load(*record);
}

std::string StudyReview::load(const RecordingAnalysis& record) {
    const MessagesAsWritten in_english;
    const fs::path ds = folder_ / record.name /
                        (session_names(fs::path(record.source).stem().string()).save_name + ".ds");
    std::string text, reason;
    auto beat = std::make_unique<Array2<std::int32_t, averaged_rows, lead_count>>();
    if (!read_whole_file(ds.string(), text, reason) || !read_ds_text(text, *beat, reason))
        return "cannot read the beat " + ds.string() + ": " + reason;
    saved_beat_ = std::move(beat);
    record_ = &record;
    saved_ = {mark_rows_of(record.marks), ascending(record.settings.bad_leads)};
    edit_ = saved_;
    undo_.clear();
    redo_.clear();
    update_preview();
    return {};
}

void StudyReview::choose_mark(int mark) {
    if (mark >= 1 && mark <= fiducial_count) chosen_mark_ = mark;
}

void StudyReview::move_chosen_mark_by(int rows) {
    if (!has_selection() || rows == 0) return;
    const int direction = rows > 0 ? 1 : -1;
    const std::int32_t from = mark_row(chosen_mark_);
    std::int32_t to = std::clamp(from + rows, 1, beat_window_rows);
    // Past rows no click marks, in the direction of the move.
    while (to > 1 && to < beat_window_rows &&
           row_marked_nearest(*drawing_display_, *drawing_beat_, to) != to)
        to += direction;
    to = row_marked_nearest(*drawing_display_, *drawing_beat_, to);
    if (to == from) return;
    StudyEdit moved = edit_;
    moved.marks[slot(chosen_mark_)] = to;
    change_to(moved);
}

void StudyReview::start_drag(int mark) {
    if (!has_selection()) return;
    choose_mark(mark);
    undo_.push_back(edit_);
    redo_.clear();
}

void StudyReview::drag_to(std::int32_t row) {
    if (!has_selection()) return;
    edit_.marks[slot(chosen_mark_)] =
        row_marked_nearest(*drawing_display_, *drawing_beat_, std::clamp(row, 1, beat_window_rows));
    update_preview();
}

void StudyReview::toggle_bad_lead(int lead) {
    if (!has_selection() || lead < 1 || lead > lead_count) return;
    StudyEdit toggled = edit_;
    const auto at = std::lower_bound(toggled.bad_leads.begin(), toggled.bad_leads.end(), lead);
    if (at != toggled.bad_leads.end() && *at == lead)
        toggled.bad_leads.erase(at);
    else
        toggled.bad_leads.insert(at, lead);
    change_to(toggled);
}

void StudyReview::change_to(const StudyEdit& edit) {
    undo_.push_back(edit_);
    redo_.clear();
    edit_ = edit;
    update_preview();
}

void StudyReview::retrace(std::vector<StudyEdit>& back, std::vector<StudyEdit>& forth) {
    if (back.empty()) return;
    forth.push_back(edit_);
    edit_ = back.back();
    back.pop_back();
    update_preview();
}

void StudyReview::revert() {
    if (!has_selection()) return;
    edit_ = saved_;
    undo_.clear();
    redo_.clear();
    update_preview();
}

CorrectionRequest StudyReview::correction() const {
    CorrectionRequest request{folder_, has_selection() ? record_->name : std::string(), {}, {}};
    std::optional<std::int32_t>* given[] = {&request.marks.stimulus, &request.marks.q_onset,
                                            &request.marks.j_point, &request.marks.t_end};
    for (int mark = 1; mark <= fiducial_count; ++mark)
        if (mark_row(mark) != saved_mark_row(mark)) *given[slot(mark)] = mark_row(mark);
    if (edit_.bad_leads != saved_.bad_leads) request.bad_leads = edit_.bad_leads;
    return request;
}

CorrectionOutcome StudyReview::accept() {
    if (!changed()) return {exit_usage, "nothing to accept: no mark was moved and no lead changed"};
    CorrectionOutcome outcome = correct_recording(correction());
    if (outcome.exit_code != exit_normal) return outcome;
    const std::string name = record_->name;
    record_ = nullptr;
    if (std::string why = open(folder_); !why.empty()) return {exit_failure, why};
    if (std::string why = select(name); !why.empty()) return {exit_failure, why};
    return outcome;
}

void StudyReview::update_preview() {
    preview_ = preview_beat(*saved_beat_, edit_.marks, record_->ari_settings);
}

std::vector<float> StudyReview::rms() const {
    std::array<bool, lead_count> with_signal{};
    for (std::size_t at = 0; at < lead_count; ++at)
        with_signal[at] = !record_->flags[at].has(LeadFlag::no_signal);
    return rms_curve(preview_, with_signal);
}

LeadFlags StudyReview::flags_now(int lead) const {
    const LeadFlags saved = record_->flags[static_cast<std::size_t>(lead - 1)];
    LeadFlags now;
    for (const auto& [flag, word] : all_lead_flag_words())
        if (flag != LeadFlag::marked_bad && saved.has(flag)) now.add(flag);
    if (std::binary_search(edit_.bad_leads.begin(), edit_.bad_leads.end(), lead))
        now.add(LeadFlag::marked_bad);
    return now;
}

std::string StudyReview::lead_flags_text(int lead) const {
    std::string text;
    const LeadFlags flags = flags_now(lead);
    for (const auto& [flag, word] : all_lead_flag_words())
        if (flags.has(flag)) {
            // Cell by cell: gcc 12 takes ";" + a temporary for an overlapping copy.
            if (!text.empty()) text += ';';
            text += word;
        }
    return text;
}

review::ReviewData StudyReview::map_data() const {
    review::ReviewData data;
    data.title = record_->name;
    data.layout = layout_of(record_->settings);
    data.recovery_delay_samples = record_->ari_settings.recovery_delay_samples;
    for (std::size_t at = 0; at < lead_count; ++at) {
        const int lead = static_cast<int>(at) + 1;
        data.bad_leads[at] = is_bad_lead(flags_now(lead));
        const LeadConfidence& confidence = record_->confidence[at];
        if (confidence.activation)
            data.confidence[at].activation = static_cast<float>(*confidence.activation);
        if (confidence.recovery)
            data.confidence[at].recovery = static_cast<float>(*confidence.recovery);
    }
    if (!preview_.refusal.empty()) return data;
    AriRecord record{edit_.marks[1],         edit_.marks[2],
                     edit_.marks[3],         record_->ari_settings.smoothing_half_width_samples,
                     preview_.activation_ms, preview_.recovery_ms};
    data.record = record;
    data.leads = review::lead_values(record, data.recovery_delay_samples);
    for (std::size_t at = 0; at < lead_count; ++at)
        if (record_->flags[at].has(LeadFlag::no_signal)) (*data.leads)[at] = review::without_signal;
    return data;
}

}  // namespace mapari
