// The model of the study window: the list, the preview of the beat with
// moved marks, the moves by keys and by dragging with their undo stack, the
// bad leads named by hand, and Accept writing what mapari-batch --correct
// writes. The study is support/study_fixture.hpp's: g is to be checked and
// marked at rows 135, 141, 226 and 576; f is fine.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/study_record.hpp"
#include "app/study_review.hpp"
#include "batch_support.hpp"
#include "beats/marks.hpp"
#include "formats/ari_file.hpp"
#include "formats/exit_codes.hpp"
#include "support/study_fixture.hpp"
#include "support/temporary_folder.hpp"
#include "window/drawing_pixels.hpp"

namespace mapari::batch_tests {
namespace {

namespace fs = std::filesystem;
using test_support::read_bytes;
using test_support::write_bytes;

const std::vector<std::string> no_paths;

class StudyReviewTest : public test_support::MadeStudyTest {
  protected:
    void SetUp() override {
        MadeStudyTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(review_.open(study_), "");
        ASSERT_EQ(review_.select("g"), "");
    }

    // The record of `name` with the time of its corrections left out.
    static std::string record_without_times(const fs::path& study, const std::string& name) {
        RecordingAnalysis analysis;
        std::string reason;
        EXPECT_TRUE(
            read_study_record(read_bytes(study / name / study_record_name), analysis, reason))
            << reason;
        for (HandCorrection& correction : analysis.corrections) correction.corrected_at.clear();
        return study_record_text(analysis);
    }

    StudyReview review_;
};

TEST_F(StudyReviewTest, TheListPutsTheRecordingsToCheckFirst) {
    ASSERT_EQ(review_.list().size(), 2u);
    const StudyListRow& g = review_.list()[0];
    EXPECT_EQ(g.name, "g");
    EXPECT_EQ(g.status, AnalysisStatus::check);
    EXPECT_EQ(g.reason, "only 1 beats accepted for the average");
    EXPECT_EQ(g.marks, (MarkRowArray{135, 141, 226, 576}));
    EXPECT_EQ(g.qt_ms, 576 - 141);
    EXPECT_GE(g.bad_leads, 30);  // the 30 noisy leads at least
    EXPECT_GE(g.flagged_leads, g.bad_leads);
    EXPECT_EQ(review_.list()[1].name, "f");
    EXPECT_EQ(review_.list()[1].status, AnalysisStatus::ok);
}

TEST_F(StudyReviewTest, WithTheSavedMarksThePreviewGivesTheValuesOfTheAriFile) {
    AriRecord saved;
    std::string reason;
    ASSERT_TRUE(parse_ari_text(read_bytes(study_ / "g" / "g.ari"), saved, reason)) << reason;
    EXPECT_EQ(review_.preview().refusal, "");
    EXPECT_EQ(review_.preview().activation_ms, saved.activation_ms);
    EXPECT_EQ(review_.preview().recovery_ms, saved.recovery_ms);
    // The saved beat's baseline runs through the Q onset and the T end: 0 there.
    for (int lead : {31, 40, 64}) {
        EXPECT_EQ(review_.preview().at(141, lead), 0.0f) << lead;
        EXPECT_EQ(review_.preview().at(576, lead), 0.0f) << lead;
    }
}

TEST_F(StudyReviewTest, AMovedTEndDrawsTheBaselineThroughItAndChangesTheValues) {
    review_.choose_mark(4);
    review_.move_chosen_mark_by(-10);
    const std::int32_t t_end = review_.mark_row(4);
    EXPECT_LT(t_end, 576);
    // 0 but for the float arithmetic of the line subtracted.
    for (int lead : {31, 40, 64})
        EXPECT_NEAR(review_.preview().at(t_end, lead), 0.0f, 1e-4f) << lead;
    AriRecord saved;
    std::string reason;
    ASSERT_TRUE(parse_ari_text(read_bytes(study_ / "g" / "g.ari"), saved, reason)) << reason;
    EXPECT_NE(review_.preview().recovery_ms, saved.recovery_ms);
    const review::ReviewData maps = review_.map_data();
    ASSERT_TRUE(maps.record.has_value());
    EXPECT_EQ(maps.record->t_end, t_end);
    EXPECT_EQ(maps.record->reference_point, 141);
}

// Every row a step reaches is one a click of the drawing marks, and a step
// passes none of them: stepping from the first row to the last visits exactly
// the rows under the drawing's columns.
TEST_F(StudyReviewTest, StepsGoFromOneClickableRowToTheNext) {
    const auto display = std::make_unique<Display>();
    const auto beat = std::make_unique<Beat>();
    beat->averaged_step = beat_step(*display);
    std::set<std::int32_t> clickable;
    for (int column = 0; column < drawing_width_pixels; ++column) {
        const std::int32_t row = beat_row_at(column_fraction(column), *display, *beat);
        if (row >= 1 && row <= 1000) clickable.insert(row);
    }
    ASSERT_LT(clickable.size(), 1000u);  // some rows no click marks

    review_.choose_mark(1);
    review_.drag_to(1);
    std::set<std::int32_t> visited = {review_.mark_row(1)};
    for (std::size_t step = 0; step < clickable.size() + 5; ++step) {
        review_.move_chosen_mark_by(1);
        visited.insert(review_.mark_row(1));
    }
    EXPECT_EQ(visited, clickable);
}

TEST_F(StudyReviewTest, KeysMoveTheChosenMarkAndUndoAndRedoRetraceThem) {
    review_.choose_mark(4);
    review_.move_chosen_mark_by(10);
    const std::int32_t ten_later = review_.mark_row(4);
    EXPECT_GE(ten_later, 586);
    EXPECT_LE(ten_later, 588);  // the next clickable row at or after 586
    review_.move_chosen_mark_by(1);
    const std::int32_t one_more = review_.mark_row(4);
    EXPECT_GT(one_more, ten_later);
    EXPECT_TRUE(review_.changed());
    EXPECT_EQ(review_.mark_row(3), 226);  // the others stay

    review_.undo();
    EXPECT_EQ(review_.mark_row(4), ten_later);
    review_.undo();
    EXPECT_EQ(review_.mark_row(4), 576);
    EXPECT_FALSE(review_.can_undo());
    EXPECT_FALSE(review_.changed());
    review_.redo();
    review_.redo();
    EXPECT_EQ(review_.mark_row(4), one_more);
    EXPECT_FALSE(review_.can_redo());
    review_.revert();
    EXPECT_EQ(review_.mark_row(4), 576);
    EXPECT_FALSE(review_.can_undo());
}

TEST_F(StudyReviewTest, AWholeDragIsOneStepOfTheUndoStack) {
    review_.start_drag(3);
    review_.drag_to(225);
    review_.drag_to(240);
    EXPECT_EQ(review_.chosen_mark(), 3);
    EXPECT_NEAR(review_.mark_row(3), 240, 1);  // the clickable row nearest
    review_.undo();
    EXPECT_EQ(review_.mark_row(3), 226);
    EXPECT_FALSE(review_.can_undo());
}

TEST_F(StudyReviewTest, MarksOutOfOrderGiveNoValuesAndAreRefusedOnAccept) {
    const auto before = snapshot(study_);
    review_.start_drag(3);
    review_.drag_to(100);  // the J point before the Q onset
    const std::string why = "the marks are out of order: stimulus 135, Q onset 141, J point " +
                            std::to_string(review_.mark_row(3)) +
                            ", T end 576 (stimulus <= Q onset < J point < T end)";
    EXPECT_EQ(review_.preview().refusal, why);
    EXPECT_FALSE(review_.map_data().leads.has_value());
    const CorrectionOutcome refused = review_.accept();
    EXPECT_EQ(refused.exit_code, exit_usage);
    EXPECT_EQ(refused.message, "mapari-batch: " + why + "; nothing was written\n");
    EXPECT_EQ(differences(snapshot(study_), before), no_paths);
    EXPECT_TRUE(review_.changed());  // the move is kept to be mended
}

TEST_F(StudyReviewTest, AnotherRecordingWaitsUntilTheMovesAreAcceptedOrReverted) {
    review_.choose_mark(4);
    review_.move_chosen_mark_by(-1);
    EXPECT_EQ(review_.select("f"),
              "g has moves not accepted: Accept (Enter) or Revert (Esc) first");
    EXPECT_EQ(review_.record().name, "g");
    review_.revert();
    EXPECT_EQ(review_.select("f"), "");
    EXPECT_EQ(review_.record().name, "f");
    EXPECT_EQ(review_.mark_row(4), 593);  // f's own marks
    EXPECT_EQ(review_.select("h"), "h is no recording of the study");
    EXPECT_EQ(review_.record().name, "f");
}

TEST_F(StudyReviewTest, ALeadClickedIsNamedBadAndClickedAgainIsNot) {
    review_.toggle_bad_lead(40);
    review_.toggle_bad_lead(35);
    EXPECT_EQ(review_.bad_leads(), (std::vector<int>{35, 40}));
    EXPECT_TRUE(review_.map_data().bad_leads[39]);
    EXPECT_NE(review_.lead_flags_text(40).find("marked-bad"), std::string::npos);
    ASSERT_TRUE(review_.correction().bad_leads.has_value());
    EXPECT_EQ(*review_.correction().bad_leads, (std::vector<int>{35, 40}));
    EXPECT_FALSE(review_.correction().marks.t_end.has_value());

    review_.toggle_bad_lead(40);
    review_.toggle_bad_lead(35);
    EXPECT_FALSE(review_.changed());
    EXPECT_FALSE(review_.map_data().bad_leads[39]);
    EXPECT_FALSE(review_.correction().bad_leads.has_value());
}

TEST_F(StudyReviewTest, NothingMovedIsNothingToAccept) {
    const auto before = snapshot(study_);
    const CorrectionOutcome outcome = review_.accept();
    EXPECT_EQ(outcome.exit_code, exit_usage);
    EXPECT_EQ(outcome.message, "nothing to accept: no mark was moved and no lead changed");
    EXPECT_EQ(differences(snapshot(study_), before), no_paths);
}

// Accept writes the files mapari-batch --correct writes for the same marks
// and bad leads (the time of the correction aside), and shows the result.
TEST_F(StudyReviewTest, AcceptWritesTheFilesOfTheCommand) {
    const fs::path by_command = folder_.path() / "by-command";
    fs::copy(study_, by_command, fs::copy_options::recursive);
    review_.choose_mark(4);
    review_.move_chosen_mark_by(-10);
    review_.toggle_bad_lead(40);
    const std::string t_end = std::to_string(review_.mark_row(4));
    const CorrectionOutcome outcome = review_.accept();
    ASSERT_EQ(outcome.exit_code, 0) << outcome.message;
    EXPECT_EQ(outcome.message, "corrected g: t_end 576 -> " + t_end + ", bad leads none -> 40\n");

    std::string said;
    ASSERT_EQ(
        test_support::run_batch_arguments(
            {"--correct", by_command.string(), "g", "--t-end", t_end, "--bad-leads", "40"}, said),
        0)
        << said;
    auto window_files = snapshot(study_), command_files = snapshot(by_command);
    window_files.erase("g/" + std::string(study_record_name));
    command_files.erase("g/" + std::string(study_record_name));
    EXPECT_EQ(differences(window_files, command_files), no_paths);
    EXPECT_EQ(record_without_times(study_, "g"), record_without_times(by_command, "g"));

    EXPECT_EQ(review_.record().status, AnalysisStatus::corrected);
    EXPECT_EQ(review_.mark_row(4), std::stoi(t_end));
    EXPECT_FALSE(review_.changed());
    EXPECT_EQ(review_.list()[0].name, "f");  // g is no longer to be checked
}

TEST_F(StudyReviewTest, FoldersThatAreNoStudyAreRefusedAndTheModelKept) {
    for (const test_support::SpoiltStudy& c : test_support::spoilt_studies(study_)) {
        test_support::copy_spoilt(made_study(), study_, c);
        const auto before = snapshot(study_);
        EXPECT_EQ(review_.open(c.file.empty() ? study_ / "none" : study_), c.said);
        EXPECT_EQ(review_.record().name, "g") << c.file;
        EXPECT_EQ(differences(snapshot(study_), before), no_paths) << c.file;
    }
}

}  // namespace
}  // namespace mapari::batch_tests
