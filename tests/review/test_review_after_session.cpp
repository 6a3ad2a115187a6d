// The desktop program's View menu reviews the .ari file of the session just
// run: the demo session played in the window as if typed and clicked.
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

#include "desktop/review_window.hpp"
#include "support/desktop_fixture.hpp"

namespace mapari::review_tests {

using namespace test_support;
namespace {

class ReviewAfterSession : public DesktopTest {
  protected:
    QAction* review_last_action() {
        for (QAction* menu : frame().menuBar()->actions())
            if (menu->text() == QStringLiteral("&View"))
                for (QAction* action : menu->menu()->actions())
                    if (action->text() == QStringLiteral("&Review Last ARI File")) return action;
        return nullptr;
    }
    int review_windows() {
        int count = 0;
        for (QMdiSubWindow* sub : frame().mdi_area()->subWindowList())
            if (dynamic_cast<qt::ReviewWindow*>(sub->widget()) != nullptr) ++count;
        return count;
    }
};

TEST_F(ReviewAfterSession, TheAriFileOfTheSessionOpensFromTheViewMenu) {
    // The demo's recording: the default synthetic model, 32 seconds, named demo01.
    write_recording(data_dir_ / "demo01.dat", 32);
    const std::string script = read_bytes(MAPARI_DEMO_SCRIPT_PATH);
    ASSERT_NE(script, "<missing>");
    start_analysis("", script);
    ASSERT_NO_FATAL_FAILURE(wait_until_finished());
    ASSERT_EQ(session_->exit_code(), 0);
    // "d:\data\map\demo01.ari" of the program is demo01.ari in the session's data folder.
    EXPECT_EQ(frame().last_ari_path().toStdString(), (data_dir_ / "demo01.ari").string());
    QAction* review = review_last_action();
    ASSERT_NE(review, nullptr);
    EXPECT_TRUE(review->isEnabled());
    QString error;
    ASSERT_TRUE(frame().open_review(frame().last_ari_path(), error)) << error.toStdString();
    // The menu entry does the same (a message box would stop the test had it failed above).
    review->trigger();
    EXPECT_EQ(review_windows(), 2);
    auto* shown = dynamic_cast<qt::ReviewWindow*>(frame().mdi_area()->activeSubWindow()->widget());
    ASSERT_NE(shown, nullptr);
    // With the demo01.ds beside it, the review holds the sheet below the maps.
    review::ReviewPicture picture;
    std::string message;
    ASSERT_TRUE(qt::review_picture_of((data_dir_ / "demo01.ari").string(), picture, message))
        << message;
    EXPECT_TRUE(picture.sheet.has_value());
    EXPECT_EQ(shown->picture().height(), static_cast<int>(picture.height));
}

}  // namespace
}  // namespace mapari::review_tests
