// The study window driven through its real widgets on the offscreen
// platform: opened from the frame on a study made by the test
// (support/study_fixture.hpp: g to check, marked at rows 135, 141, 226 and
// 576; f fine), marks moved by keys and by a drag, Accept writing the files
// of mapari-batch --correct, Revert and undo writing nothing, and the
// refusals of folders that are no study.
#include <gtest/gtest.h>

#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "app/study_record.hpp"
#include "desktop/frame_window.hpp"
#include "desktop/study_window.hpp"
#include "support/study_fixture.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::test_support {
namespace {

namespace fs = std::filesystem;
using qt::StudyWindow;

const std::vector<std::string> no_paths;

class StudyWindowTest : public MadeStudyTest {
  protected:
    // The study opened from the frame, g selected by a click on its row.
    StudyWindow& open_and_select_g() {
        QString error;
        EXPECT_TRUE(frame_.open_study(QString::fromStdString(study_.string()), error))
            << error.toStdString();
        StudyWindow& window = *frame_.study_window();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTableWidget* list = window.recording_list();
        EXPECT_EQ(list->item(0, 0)->text(), "g");
        const QRect row = list->visualItemRect(list->item(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        return window;
    }

    static void press(StudyWindow& window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(&window, key, modifiers);
    }

    // Drags the mark's line on the beat view to the row.
    static void drag(StudyWindow& window, int mark, int to_row) {
        qt::BeatView* view = window.beat_view();
        const int y = view->height() / 2;
        const QPoint from(static_cast<int>(view->x_of_row(window.review().mark_row(mark))), y);
        const QPoint to(static_cast<int>(std::lround(view->x_of_row(to_row))), y);
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, (from + to) / 2);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
    }

    qt::SharedWindows windows_{folder_.path().string()};
    qt::FrameWindow frame_{windows_, QStringLiteral("test")};
};

TEST_F(StudyWindowTest, OpenStudyIsInTheFileMenu) {
    QStringList entries;
    for (QAction* action : frame_.menuBar()->actions().front()->menu()->actions())
        entries << action->text();
    EXPECT_TRUE(entries.contains("Open &Study...")) << entries.join(", ").toStdString();
}

TEST_F(StudyWindowTest, TheListShowsTheRecordingsToCheckFirstAndSelectsOne) {
    StudyWindow& window = open_and_select_g();
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(&window, static_cast<QWidget*>(&frame_));
    QTableWidget* list = window.recording_list();
    ASSERT_EQ(list->rowCount(), 2);
    const QStringList g_row = {
        "g", "check", "only 1 beats accepted for the average", "135", "141", "226", "576", "435"};
    for (int column = 0; column < g_row.size(); ++column)
        EXPECT_EQ(list->item(0, column)->text(), g_row[column]) << column;
    EXPECT_EQ(list->item(1, 0)->text(), "f");
    ASSERT_TRUE(window.review().has_selection());
    EXPECT_EQ(window.review().record().name, "g");
    EXPECT_EQ(window.lead_list()->rowCount(), 64);
    EXPECT_EQ(window.map_view()->picture().maps.size(), 3u);
}

// The T end moved by keys (4, two steps left, then ten) and by a drag, then
// Enter: the study's files are those of mapari-batch --correct with the
// same T end, and the list shows g corrected.
TEST_F(StudyWindowTest, KeysAndADragThenAcceptWriteTheFilesOfTheCommand) {
    StudyWindow& window = open_and_select_g();
    press(window, Qt::Key_4);
    press(window, Qt::Key_Left);
    press(window, Qt::Key_Left);
    const int after_keys = window.review().mark_row(4);
    EXPECT_GE(after_keys, 573);
    EXPECT_LT(after_keys, 576);
    press(window, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_LE(window.review().mark_row(4), after_keys - 10);
    const QString at_before_drag = window.lead_list()->item(39, 2)->text();
    drag(window, 4, 540);
    const int t_end = window.review().mark_row(4);
    EXPECT_NEAR(t_end, 540, 2);
    EXPECT_NE(window.lead_list()->item(39, 2)->text(), at_before_drag);  // RT of lead 40 follows

    press(window, Qt::Key_Return);
    EXPECT_EQ(window.message(), QStringLiteral("corrected g: t_end 576 -> %1").arg(t_end));
    const fs::path by_command = folder_.path() / "by-command";
    fs::copy(made_study(), by_command, fs::copy_options::recursive);
    std::string said;
    ASSERT_EQ(run_batch_arguments(
                  {"--correct", by_command.string(), "g", "--t-end", std::to_string(t_end)}, said),
              0)
        << said;
    auto window_files = snapshot(study_), command_files = snapshot(by_command);
    // The record differs in the time of the correction alone.
    for (auto* files : {&window_files, &command_files}) files->erase("g/analysis.json");
    EXPECT_EQ(differences(window_files, command_files), no_paths);
    RecordingAnalysis record;
    std::string reason;
    ASSERT_TRUE(read_study_record(read_bytes(study_ / "g" / study_record_name), record, reason));
    ASSERT_EQ(record.corrections.size(), 1u);
    EXPECT_EQ(record.corrections[0].marks, (std::vector<MarkChange>{{"t_end", 576, t_end}}));

    QTableWidget* list = window.recording_list();
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->item(row, 0)->text() == "g") {
            EXPECT_EQ(list->item(row, 1)->text(), "corrected");
            EXPECT_EQ(list->item(row, 6)->text(), QString::number(t_end));
        }
}

TEST_F(StudyWindowTest, RevertAndUndoLeaveTheFilesUntouched) {
    const auto before = snapshot(study_);
    StudyWindow& window = open_and_select_g();
    press(window, Qt::Key_3);
    press(window, Qt::Key_Right, Qt::ShiftModifier);
    drag(window, 4, 500);
    EXPECT_NE(window.review().mark_row(3), 226);
    press(window, Qt::Key_Escape);
    EXPECT_EQ(window.review().mark_row(3), 226);
    EXPECT_EQ(window.review().mark_row(4), 576);
    EXPECT_EQ(window.message(), "Reverted: the marks and bad leads as saved.");

    drag(window, 4, 500);
    press(window, Qt::Key_1);
    press(window, Qt::Key_Left);
    press(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window.review().mark_row(1), 135);
    press(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window.review().mark_row(4), 576);
    press(window, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_NE(window.review().mark_row(4), 576);
    press(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(window.review().changed());
    EXPECT_EQ(differences(snapshot(study_), before), no_paths);
}

TEST_F(StudyWindowTest, NAndPGoThroughTheListAndWaitForUnacceptedMoves) {
    StudyWindow& window = open_and_select_g();
    press(window, Qt::Key_4);
    press(window, Qt::Key_Left);
    press(window, Qt::Key_N);
    EXPECT_EQ(window.review().record().name, "g");
    EXPECT_EQ(window.message(), "g has moves not accepted: Accept (Enter) or Revert (Esc) first");
    press(window, Qt::Key_Escape);
    press(window, Qt::Key_N);
    EXPECT_EQ(window.review().record().name, "f");
    EXPECT_EQ(window.recording_list()->selectedItems().front()->text(), "f");
    press(window, Qt::Key_P);
    EXPECT_EQ(window.review().record().name, "g");
    press(window, Qt::Key_P);  // the first stays
    EXPECT_EQ(window.review().record().name, "g");

    // Sorted by name, f comes before g, and P goes there.
    window.recording_list()->sortItems(0, Qt::AscendingOrder);
    EXPECT_EQ(window.recording_list()->item(0, 0)->text(), "f");
    press(window, Qt::Key_P);
    EXPECT_EQ(window.review().record().name, "f");
    press(window, Qt::Key_N);
    EXPECT_EQ(window.review().record().name, "g");
}

TEST_F(StudyWindowTest, ALeadClickedOnAMapIsNamedBadAndAcceptedAsTheCommandDoes) {
    StudyWindow& window = open_and_select_g();
    const QPoint lead_40 = window.map_view()->centre_of_lead(40);
    ASSERT_NE(lead_40, QPoint(-1, -1));
    QTest::mouseClick(window.map_view(), Qt::LeftButton, {}, lead_40);
    EXPECT_EQ(window.review().bad_leads(), std::vector<int>{40});
    EXPECT_TRUE(window.lead_list()->item(39, 4)->text().contains("marked-bad"));
    press(window, Qt::Key_Enter);
    EXPECT_EQ(window.message(), "corrected g: bad leads none -> 40");

    const fs::path by_command = folder_.path() / "by-command";
    fs::copy(made_study(), by_command, fs::copy_options::recursive);
    std::string said;
    ASSERT_EQ(
        run_batch_arguments({"--correct", by_command.string(), "g", "--bad-leads", "40"}, said), 0)
        << said;
    auto window_files = snapshot(study_), command_files = snapshot(by_command);
    for (auto* files : {&window_files, &command_files}) files->erase("g/analysis.json");
    EXPECT_EQ(differences(window_files, command_files), no_paths);
}

TEST_F(StudyWindowTest, AcceptOfMarksOutOfOrderSaysWhyAndWritesNothing) {
    const auto before = snapshot(study_);
    StudyWindow& window = open_and_select_g();
    drag(window, 3, 120);  // the J point before the Q onset
    const QString why = QStringLiteral(
                            "the marks are out of order: stimulus 135, Q onset 141, J point %1, "
                            "T end 576 (stimulus <= Q onset < J point < T end)")
                            .arg(window.review().mark_row(3));
    EXPECT_EQ(window.message(), why);
    press(window, Qt::Key_Return);
    EXPECT_EQ(window.message(), "mapari-batch: " + why + "; nothing was written");
    EXPECT_EQ(differences(snapshot(study_), before), no_paths);
}

TEST_F(StudyWindowTest, FoldersThatAreNoStudyAreRefusedWithTheirReason) {
    for (const test_support::SpoiltStudy& c : test_support::spoilt_studies(study_)) {
        test_support::copy_spoilt(made_study(), study_, c);
        const auto before = snapshot(study_);
        QString error;
        EXPECT_FALSE(frame_.open_study(
            QString::fromStdString((c.file.empty() ? study_ / "none" : study_).string()), error));
        EXPECT_EQ(error.toStdString(), c.said);
        EXPECT_EQ(frame_.study_window(), nullptr);
        EXPECT_EQ(differences(snapshot(study_), before), no_paths) << c.file;
    }
}

// With MAPARI_STUDY_WINDOW_PICTURE set (README: under Xvfb), the window with
// a T end moved is saved there as the picture of the README.
TEST_F(StudyWindowTest, PictureForTheReadme) {
    const char* picture = std::getenv("MAPARI_STUDY_WINDOW_PICTURE");
    if (picture == nullptr) GTEST_SKIP() << "MAPARI_STUDY_WINDOW_PICTURE is not set";
    StudyWindow& window = open_and_select_g();
    press(window, Qt::Key_4);
    press(window, Qt::Key_Left, Qt::ShiftModifier);
    press(window, Qt::Key_Left, Qt::ShiftModifier);
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(picture), "PNG"));
}

}  // namespace
}  // namespace mapari::test_support
