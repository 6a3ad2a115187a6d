// A study looked through and corrected by hand, without a runtime: the
// desktop program's study window shows this model and forwards the
// operator's keys and drags to it.
//
// The model holds the study's recordings as a list, the one selected with
// its saved beat, the marks and hand list of bad leads being edited with an
// undo stack, and the preview of the beat with the edited marks
// (beats/beat_preview.hpp). Accepting hands the changes to the correction
// of mapari-batch --correct (study_correction.hpp), so the window writes
// exactly the files that command writes.
//
// A mark moves only to rows a click of the dialogue can mark (the beat
// drawing has fewer columns than the beat has rows): the correction plays
// the dialogue with clicks, and a row no click reaches would be refused.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_analysis.hpp"
#include "app/study_correction.hpp"
#include "beats/beat_preview.hpp"
#include "review/review_input.hpp"

namespace mapari {

// One recording as the study's list shows it.
struct StudyListRow {
    std::string name;
    AnalysisStatus status = AnalysisStatus::failed;
    std::string reason;
    MarkRowArray marks{};      // stimulus, Q onset, J point, T end; 0 without marks
    std::optional<int> qt_ms;  // none where the analysis gives none
    int flagged_leads = 0;     // leads with any flag
    int bad_leads = 0;         // leads judged or named bad (and not named good)
};

// The recordings of the study's records: those to check first, then the
// others, each group by name.
std::vector<StudyListRow> study_list(const std::vector<RecordingAnalysis>& records);

// What the operator has changed of a recording and not yet accepted.
struct StudyEdit {
    MarkRowArray marks{};
    std::vector<int> bad_leads;  // the hand list, ascending
    bool operator==(const StudyEdit&) const = default;
};

class StudyReview {
  public:
    StudyReview();
    ~StudyReview();
    StudyReview(const StudyReview&) = delete;
    StudyReview& operator=(const StudyReview&) = delete;

    // Opens the study in `folder` with nothing selected; empty, or why the
    // folder is no study (the model is then as it was).
    std::string open(const std::filesystem::path& folder);
    const std::filesystem::path& folder() const { return folder_; }
    const std::vector<StudyListRow>& list() const { return list_; }

    // Selects the recording; empty, or why it cannot be shown. Refused while
    // moves are unaccepted, so that none is lost.
    std::string select(const std::string& name);
    bool has_selection() const { return record_ != nullptr; }
    const RecordingAnalysis& record() const { return *record_; }

    // The edited marks, 1 the stimulus to 4 the T end.
    std::int32_t mark_row(int mark) const { return edit_.marks[slot(mark)]; }
    std::int32_t saved_mark_row(int mark) const { return saved_.marks[slot(mark)]; }
    int chosen_mark() const { return chosen_mark_; }
    void choose_mark(int mark);
    // Moves the chosen mark by `rows` (1 ms a row) to the next row a click
    // can mark in that direction; one step of the undo stack.
    void move_chosen_mark_by(int rows);
    // A drag of `mark`: started once, then moved to the clickable row nearest
    // each row it passes; the whole drag is one step of the undo stack.
    void start_drag(int mark);
    void drag_to(std::int32_t row);
    // Names the lead bad by hand, or clears it; one step of the undo stack.
    void toggle_bad_lead(int lead);
    const std::vector<int>& bad_leads() const { return edit_.bad_leads; }

    bool can_undo() const { return !undo_.empty(); }
    bool can_redo() const { return !redo_.empty(); }
    void undo() { retrace(undo_, redo_); }
    void redo() { retrace(redo_, undo_); }
    // Drops every unaccepted change.
    void revert();
    bool changed() const { return has_selection() && edit_ != saved_; }

    // What accepting asks of the correction: the marks and the hand list changed.
    CorrectionRequest correction() const;
    // Corrects the recording as mapari-batch --correct does; on success the
    // study is read again with the recording still selected. Refused, with
    // nothing written, when nothing changed.
    CorrectionOutcome accept();

    // The saved beat with the edited marks, and the RMS over its leads with a signal.
    const BeatPreview& preview() const { return preview_; }
    std::vector<float> rms() const;
    // The three maps' data of the preview, the bad leads as edited.
    review::ReviewData map_data() const;
    // The lead's flags as the tables write them ("weak;marked-bad"), with
    // the hand list as edited.
    std::string lead_flags_text(int lead) const;

  private:
    static std::size_t slot(int mark) { return static_cast<std::size_t>(mark - 1); }
    std::string load(const RecordingAnalysis& record);
    LeadFlags flags_now(int lead) const;
    void change_to(const StudyEdit& edit);
    // The edit taken back from `back`, the present one kept on `forth`.
    void retrace(std::vector<StudyEdit>& back, std::vector<StudyEdit>& forth);
    void update_preview();

    std::filesystem::path folder_;
    std::vector<RecordingAnalysis> records_;
    std::vector<StudyListRow> list_;
    const RecordingAnalysis* record_ = nullptr;
    std::unique_ptr<Array2<std::int32_t, averaged_rows, lead_count>> saved_beat_;
    std::unique_ptr<Display> drawing_display_;
    std::unique_ptr<Beat> drawing_beat_;
    StudyEdit saved_, edit_;
    std::vector<StudyEdit> undo_, redo_;
    int chosen_mark_ = t_end_choice;
    BeatPreview preview_;

    static constexpr int t_end_choice = fiducial_count;
};

}  // namespace mapari
