// The frame's menus and settings: saving and printing a window, copy and
// paste, zoom, remembered geometry, Japanese text, the about box's version.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QSettings>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include "desktop/text_window.hpp"
#include "support/desktop_fixture.hpp"

namespace mapari::desktop_tests {

using namespace test_support;
namespace {

class FrameMenuTest : public DesktopTest {
  protected:
    // Lines in both windows and a blue line at column 100 of the trace window.
    void start_with_content() {
        start([](Runtime& runtime) {
            runtime.write_line(Channel::text, "表示する誘導は13, 23, 37です。");
            runtime.write_line(Channel::text, "second line");
            runtime.open_trace_window();
            runtime.write_line(Channel::trace, "display");
            runtime.set_drawing_colour(rgb(0, 0, 240));
            runtime.move_to(100, 30);
            runtime.line_to(100, 269);
            runtime.read_line(Channel::trace);
        });
        ASSERT_NO_FATAL_FAILURE(wait_for_new_input(qt::Awaited::answer, Channel::trace));
    }
    void activate(Channel channel) {
        frame().mdi_area()->setActiveSubWindow(channel == Channel::trace
                                                   ? frame().trace_subwindow()
                                                   : frame().mdi_area()->subWindowList().front());
    }
    QString scratch(const char* name) const {
        return QString::fromStdString((root_ / name).string());
    }
};

TEST_F(FrameMenuTest, MenusAreThoseOfTheFrame) {
    start_with_content();
    QStringList titles;
    for (QAction* action : frame().menuBar()->actions()) titles << action->text();
    EXPECT_EQ(titles,
              QStringList({"&File", "&Edit", "&View", "&State", "&Window", "&Language", "&Help"}));
    EXPECT_EQ(frame().windowTitle(), "mapari");
}

TEST_F(FrameMenuTest, SaveTextWritesTheActiveWindowsLines) {
    start_with_content();
    QString error;
    activate(Channel::text);
    ASSERT_TRUE(frame().save_text(scratch("text.txt"), error)) << error.toStdString();
    EXPECT_EQ(read_bytes(root_ / "text.txt"), "表示する誘導は13, 23, 37です。\nsecond line\n");
    activate(Channel::trace);
    ASSERT_TRUE(frame().save_text(scratch("trace.txt"), error)) << error.toStdString();
    EXPECT_EQ(read_bytes(root_ / "trace.txt"), "display\n");
}

TEST_F(FrameMenuTest, SaveToAFolderThatIsNotThereSaysWhyAndWritesNothing) {
    start_with_content();
    QString error;
    EXPECT_FALSE(frame().save_text(scratch("missing/text.txt"), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(frame().save_picture(scratch("missing/trace.png"), error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(FrameMenuTest, SavePictureOfTheTraceWindowIsItsDrawingSurface) {
    start_with_content();
    activate(Channel::trace);
    QString error;
    ASSERT_TRUE(frame().save_picture(scratch("trace.png"), error)) << error.toStdString();
    QImage picture(scratch("trace.png"));
    ASSERT_EQ(picture.size(), QSize(1000, 300));
    EXPECT_EQ(picture.pixelColor(100, 150), QColor(0, 0, 240));
    EXPECT_EQ(picture.pixelColor(500, 150), QColor(Qt::white));
}

TEST_F(FrameMenuTest, PrintingTheTraceWindowMakesADocument) {
    start_with_content();
    activate(Channel::trace);
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(scratch("trace.pdf"));
    frame().print_window(printer);
    EXPECT_TRUE(read_bytes(root_ / "trace.pdf").starts_with("%PDF"));
}

TEST_F(FrameMenuTest, CopyOfTheTraceWindowGivesItsPictureAndLines) {
    start_with_content();
    activate(Channel::trace);
    frame().copy();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->text(), "display\n");
    EXPECT_EQ(qvariant_cast<QImage>(copied->imageData()).size(), QSize(1000, 300));
}

TEST_F(FrameMenuTest, PasteTakesTheClipboardsFirstLineIntoTheInputLine) {
    start_with_content();
    activate(Channel::trace);
    QGuiApplication::clipboard()->setText("gui1\nsecond\n");
    frame().paste();
    EXPECT_EQ(frame().trace_window()->input()->text(), "gui1");
    QTest::keyClick(frame().trace_window()->input(), Qt::Key_Return);
    EXPECT_TRUE(frame().trace_window()->input()->text().isEmpty());
}

TEST_F(FrameMenuTest, SelectAllAndCopyInTheTextWindowCopyItsLines) {
    start_with_content();
    activate(Channel::text);
    frame().text_window()->view()->setFocus();
    frame().select_all();
    frame().copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "表示する誘導は13, 23, 37です。\nsecond line");
}

TEST_F(FrameMenuTest, ZoomSizesTheDrawingSurfaceAndIsRemembered) {
    start_with_content();
    frame().set_zoom_percent(200);
    EXPECT_EQ(frame().trace_window()->surface()->size(), QSize(2000, 600));
    frame().set_zoom_percent(75);
    EXPECT_EQ(frame().trace_window()->surface()->size(), QSize(750, 225));
    frame().set_zoom_percent(1000);
    EXPECT_EQ(frame().zoom_percent(), 300);
    frame().set_zoom_percent(125);
    frame().close();
    EXPECT_EQ(QSettings().value("trace/zoom").toInt(), 125);
}

TEST_F(FrameMenuTest, FrameSizeAndPlaceAreRemembered) {
    qt::SharedWindows windows(work_dir_.string());
    {
        qt::FrameWindow first(windows, "test");
        first.show();
        first.resize(900, 640);
        first.close();
    }
    qt::FrameWindow second(windows, "test");
    EXPECT_EQ(second.size(), QSize(900, 640));
}

TEST_F(FrameMenuTest, AboutBoxNamesTheVersion) {
    start_with_content();
    QString shown;
    // The box is modal: read and close it from inside its own event loop.
    QTimer::singleShot(0, [&shown] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                shown = box->text();
                box->accept();
            }
        }
    });
    QMenu* help = frame().menuBar()->actions().back()->menu();
    ASSERT_NE(help, nullptr);
    help->actions().back()->trigger();
    EXPECT_TRUE(shown.contains("mapari test")) << shown.toStdString();
}

// The character drawn in the font, as black pixels on white.
QImage drawn(const QFont& font, QChar character) {
    QImage image(48, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont sized = font;
    sized.setPixelSize(32);
    painter.setFont(sized);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter, QString(character));
    return image;
}

// Whether the font's backslash is the stroke of its slash turned over: a
// Japanese font draws a yen sign there. Most dark pixels of the two coincide.
bool draws_a_backslash(const QFont& font) {
    const QImage backslash = drawn(font, QChar(u'\\'));
    const QImage slash = drawn(font, QChar(u'/')).mirrored(true, false);
    int dark = 0, shared = 0;
    for (int y = 0; y < backslash.height(); ++y) {
        for (int x = 0; x < backslash.width(); ++x) {
            const bool here = qGray(backslash.pixel(x, y)) < 128;
            dark += here;
            shared += here && qGray(slash.pixel(x, y)) < 128;
        }
    }
    return dark > 0 && 2 * shared > dark;
}

TEST_F(FrameMenuTest, TheEnglishDialogueDrawsABackslashAsABackslash) {
    ASSERT_FALSE(draws_a_backslash(QFont(QStringLiteral("IPAGothic"))))
        << "the Japanese font this check is made for draws a yen sign";
    start_with_content();
    frame().set_session_language(Language::english);
    for (const QFont& font :
         {frame().text_window()->view()->font(), frame().text_window()->input()->font(),
          frame().trace_window()->input()->font()}) {
        EXPECT_EQ(font.families().front().toStdString(), "DejaVu Sans Mono");
        EXPECT_TRUE(draws_a_backslash(font));
    }
    qt::use_dialogue_font(Language::english);
    EXPECT_EQ(QApplication::font().families().front().toStdString(), "DejaVu Sans");
    EXPECT_TRUE(draws_a_backslash(QApplication::font()));
    qt::use_dialogue_font(Language::japanese);
    frame().set_session_language(Language::japanese);
    EXPECT_EQ(frame().text_window()->view()->font().families(),
              qt::text_window_font(Language::japanese).families());
}

TEST_F(FrameMenuTest, JapaneseTextHasAGlyphForEveryCharacter) {
    const QString prompt = QString::fromUtf8("表示する誘導はこれでいいですか？ y or n  (1/0)");
    for (const QFont& font : {qt::text_window_font(Language::japanese),
                              qt::text_window_font(Language::english), QApplication::font()}) {
        QTextLayout layout(prompt, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        int glyphs = 0;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            for (quint32 index : run.glyphIndexes()) {
                EXPECT_NE(index, 0u) << "a character of the prompt has no glyph in "
                                     << run.rawFont().familyName().toStdString();
                ++glyphs;
            }
        }
        EXPECT_GE(glyphs, prompt.size() - 8);  // blanks may be left out of the runs
    }
}

}  // namespace
}  // namespace mapari::desktop_tests
