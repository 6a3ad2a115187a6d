// The desktop program's review entries: the frame learns the last .ari file
// from the program's "writing a file" line and opens reviews in child windows.
#include <gtest/gtest.h>

#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

#include "desktop/frame_window.hpp"
#include "desktop/review_window.hpp"
#include "review/review_layout.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace qt;
namespace {

class ReviewEntries : public ::testing::Test {
  protected:
    void SetUp() override {
        frame_.set_data_directory(QString::fromStdString(folder_.path().string()));
    }

    // The program writes a line on the text window, and the frame shows it.
    void program_writes(const std::string& line) {
        windows_.write_line(Channel::text, line);
        frame_.refresh();
    }
    QAction* view_action(const QString& text) const {
        for (QAction* menu : frame_.menuBar()->actions())
            if (menu->text() == QStringLiteral("&View"))
                for (QAction* action : menu->menu()->actions())
                    if (action->text() == text) return action;
        return nullptr;
    }
    std::vector<ReviewWindow*> review_windows() const {
        std::vector<ReviewWindow*> found;
        for (QMdiSubWindow* sub : frame_.mdi_area()->subWindowList())
            if (auto* review = dynamic_cast<ReviewWindow*>(sub->widget())) found.push_back(review);
        return found;
    }

    TemporaryFolder folder_;
    SharedWindows windows_{folder_.path().string()};
    FrameWindow frame_{windows_, QStringLiteral("test")};
};

// "writing a file" and the .ari path in 33 characters, as the computation writes it.
constexpr const char* writing_s1 =
    "writing a file"
    "d:\\data\\map\\s1.ari              ";

TEST_F(ReviewEntries, LastAriFileIsLearnedFromTheWritingLine) {
    QAction* last = view_action(QStringLiteral("&Review Last ARI File"));
    ASSERT_NE(last, nullptr);
    EXPECT_FALSE(last->isEnabled());
    EXPECT_TRUE(frame_.last_ari_path().isEmpty());
    program_writes("reading a file  :d:\\data\\map\\s1.ds              ");
    EXPECT_TRUE(frame_.last_ari_path().isEmpty());
    program_writes(writing_s1);
    EXPECT_TRUE(last->isEnabled());
    EXPECT_EQ(frame_.last_ari_path().toStdString(), (folder_.path() / "s1.ari").string());
    program_writes(
        "writing a file"
        "d:\\data\\map\\s2.ari");
    EXPECT_EQ(frame_.last_ari_path().toStdString(), (folder_.path() / "s2.ari").string());
    EXPECT_NE(view_action(QStringLiteral("Review ARI &File...")), nullptr);
}

TEST_F(ReviewEntries, ReviewOpensInAChildWindowWithTheSheetWhenTheBeatIsBeside) {
    write_bytes(folder_.file("s1.ari"), hand_made_ari_text());
    program_writes(writing_s1);
    QString error;
    ASSERT_TRUE(frame_.open_review(frame_.last_ari_path(), error)) << error.toStdString();
    write_bytes(folder_.file("s1.ds"), indexed_ds_text());
    ASSERT_TRUE(frame_.open_review(frame_.last_ari_path(), error)) << error.toStdString();
    const std::vector<ReviewWindow*> reviews = review_windows();
    ASSERT_EQ(reviews.size(), 2u);
    EXPECT_EQ(reviews[0]->parentWidget()->windowTitle(), QStringLiteral("Review of s1.ari"));
    // The first without the sheet, the second with it.
    review::ReviewPicture with_sheet;
    std::string message;
    ASSERT_TRUE(review_picture_of(folder_.file("s1.ari"), with_sheet, message)) << message;
    ASSERT_TRUE(with_sheet.sheet.has_value());
    EXPECT_EQ(reviews[1]->picture().height(), static_cast<int>(with_sheet.height));
    EXPECT_LT(reviews[0]->picture().height(), reviews[1]->picture().height());
}

TEST_F(ReviewEntries, AFileThatCannotBeReviewedIsNamedAndOpensNothing) {
    write_bytes(folder_.file("s1.ari"), "150 250 600\n");
    QString error;
    EXPECT_FALSE(frame_.open_review(QString::fromStdString(folder_.file("s1.ari")), error));
    EXPECT_EQ(error.toStdString(),
              folder_.file("s1.ari") +
                  ": it ends after 3 of its 132 numbers (the smoothing half-width h is missing)");
    EXPECT_TRUE(review_windows().empty());
}

}  // namespace
}  // namespace mapari::review_tests
