// The frame's menus File, Edit, View, State and Window, and the commands
// behind them and the about box. The View menu also opens reviews of .ari files.
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QSaveFile>
#include <QStatusBar>
#include <algorithm>
#include <array>

#include "desktop/frame_window.hpp"
#include "desktop/import_dialog.hpp"
#include "desktop/review_painter.hpp"
#include "desktop/review_window.hpp"
#include "desktop/trace_painter.hpp"

namespace mapari::qt {
namespace {

constexpr std::array zoom_levels{50, 75, 100, 125, 150, 200, 250, 300};

// The lines of a window as text, one a line.
QString lines_text(const std::vector<std::string>& lines) {
    QString text;
    for (const std::string& line : lines) text += QString::fromStdString(line) + '\n';
    return text;
}

QString first_line(const QString& text) {
    return text.section(QLatin1Char('\n'), 0, 0).remove(QLatin1Char('\r'));
}

}  // namespace

void FrameWindow::create_file_menu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&File"));
    menu->addAction(QStringLiteral("&Import Recording..."), this, [this] {
        auto* dialog = new ImportDialog(data_directory_, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });
    menu->addAction(QStringLiteral("Open &Study..."), this, [this] { open_study_from_dialog(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Save &Text..."), QKeySequence::Save, this,
                    [this] { save_text_from_dialog(); });
    menu->addAction(QStringLiteral("Save &Picture..."), this,
                    [this] { save_picture_from_dialog(); });
    menu->addAction(QStringLiteral("&Print..."), QKeySequence::Print, this,
                    [this] { print_from_dialog(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("E&xit"), QKeySequence::Quit, this, [this] { close(); });
}

void FrameWindow::create_edit_menu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Edit"));
    menu->addAction(QStringLiteral("&Copy"), QKeySequence::Copy, this, [this] { copy(); });
    menu->addAction(QStringLiteral("&Paste"), QKeySequence::Paste, this, [this] { paste(); });
    menu->addAction(QStringLiteral("Select &All"), QKeySequence::SelectAll, this,
                    [this] { select_all(); });
}

void FrameWindow::create_view_menu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&View"));
    menu->addAction(QStringLiteral("Zoom &In"), QKeySequence::ZoomIn, this, [this] { zoom_by(1); });
    menu->addAction(QStringLiteral("Zoom &Out"), QKeySequence::ZoomOut, this,
                    [this] { zoom_by(-1); });
    menu->addAction(QStringLiteral("&Actual Size (1000 x 300)"), QKeySequence(Qt::CTRL | Qt::Key_0),
                    this, [this] { set_zoom_percent(100); });
    menu->addAction(QStringLiteral("&Fit to Frame"), this, [this] {
        if (trace_sub_ != nullptr) trace_sub_->showMaximized();
    });
    menu->addSeparator();
    review_last_action_ = menu->addAction(QStringLiteral("&Review Last ARI File"), this,
                                          [this] { review_last_ari(); });
    review_last_action_->setEnabled(false);  // until the program writes one
    menu->addAction(QStringLiteral("Review ARI &File..."), this,
                    [this] { review_ari_from_dialog(); });
}

void FrameWindow::create_state_menu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&State"));
    pause_action_ =
        menu->addAction(QStringLiteral("&Pause Output"), this, [this] { set_output_paused(true); });
    resume_action_ = menu->addAction(QStringLiteral("&Resume Output"), this,
                                     [this] { set_output_paused(false); });
    resume_action_->setEnabled(false);
}

void FrameWindow::create_window_menu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Window"));
    menu->addAction(QStringLiteral("&Cascade"), mdi_, &QMdiArea::cascadeSubWindows);
    menu->addAction(QStringLiteral("&Tile"), mdi_, &QMdiArea::tileSubWindows);
    menu->addAction(QStringLiteral("&Arrange Icons"), this, [this] { arrange_icons(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Te&xt Window"), this,
                    [this] { mdi_->setActiveSubWindow(text_sub_); });
    menu->addAction(window_name(Channel::trace), this, [this] {
        if (trace_sub_ != nullptr) mdi_->setActiveSubWindow(trace_sub_);
    });
}

void FrameWindow::create_status_bar() {
    input_status_ = new QLabel(this);
    output_status_ = new QLabel(this);
    statusBar()->addPermanentWidget(output_status_);
    statusBar()->addPermanentWidget(input_status_);
}

bool FrameWindow::save_text(const QString& path, QString& error) const {
    QString text = active_channel() == Channel::trace
                       ? lines_text(trace_->surface()->content().lines)
                       : text_->text() + (text_->text().isEmpty() ? "" : "\n");
    // Written to a temporary file and renamed into place: a failed save leaves any old file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool FrameWindow::save_picture(const QString& path, QString& error) const {
    QImage picture = active_channel() == Channel::trace
                         ? render_trace_window(trace_->surface()->content(), 1)
                         : text_->grab().toImage();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
        error = file.errorString().isEmpty() ? QStringLiteral("the picture cannot be written")
                                             : file.errorString();
        return false;
    }
    return true;
}

void FrameWindow::print_window(QPrinter& printer) const {
    if (active_channel() == Channel::text) {
        text_->view()->print(&printer);
        return;
    }
    QImage picture = render_trace_window(trace_->surface()->content(), 1);
    QPainter painter(&printer);
    const QRect page = painter.viewport();
    QSize size = picture.size().scaled(page.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRect(page.topLeft(), size), picture);
}

void FrameWindow::save_text_from_dialog() {
    QString name = active_channel() == Channel::trace ? "unit12.txt" : "text-window.txt";
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Text"), name,
                                                QStringLiteral("Text (*.txt)"));
    QString error;
    if (!path.isEmpty() && !save_text(path, error))
        QMessageBox::warning(this, QStringLiteral("Save Text"),
                             QStringLiteral("Cannot write %1: %2").arg(path, error));
}

void FrameWindow::save_picture_from_dialog() {
    QString name = active_channel() == Channel::trace ? "unit12.png" : "text-window.png";
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Picture"), name,
                                                QStringLiteral("PNG picture (*.png)"));
    QString error;
    if (!path.isEmpty() && !save_picture(path, error))
        QMessageBox::warning(this, QStringLiteral("Save Picture"),
                             QStringLiteral("Cannot write %1: %2").arg(path, error));
}

void FrameWindow::print_from_dialog() {
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) print_window(printer);
}

void FrameWindow::copy() {
    auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (line != nullptr && line->hasSelectedText()) {
        line->copy();
    } else if (active_channel() == Channel::text) {
        if (!text_->view()->textCursor().hasSelection())
            statusBar()->showMessage(QStringLiteral("Select text in the text window to copy it."));
        text_->view()->copy();
    } else {
        // The trace window goes to the clipboard as its picture and as its lines.
        auto* picture_and_lines = new QMimeData;
        picture_and_lines->setImageData(render_trace_window(trace_->surface()->content(), 1));
        picture_and_lines->setText(lines_text(trace_->surface()->content().lines));
        QGuiApplication::clipboard()->setMimeData(picture_and_lines);
    }
}

void FrameWindow::paste() {
    // An answer is one line: only the clipboard's first line goes into the input line.
    QLineEdit* input = input_of(active_channel());
    input->insert(first_line(QGuiApplication::clipboard()->text()));
    input->setFocus();
}

void FrameWindow::select_all() {
    auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (line != nullptr && !line->text().isEmpty())
        line->selectAll();
    else if (active_channel() == Channel::text)
        text_->view()->selectAll();
    else
        input_of(Channel::trace)->selectAll();
}

void FrameWindow::set_zoom_percent(int percent) {
    zoom_percent_ = std::clamp(percent, zoom_levels.front(), zoom_levels.back());
    apply_zoom();
}

void FrameWindow::zoom_by(int steps) {
    auto at = std::lower_bound(zoom_levels.begin(), zoom_levels.end(), zoom_percent_);
    auto index = std::clamp<std::ptrdiff_t>(at - zoom_levels.begin() + steps, 0,
                                            static_cast<std::ptrdiff_t>(zoom_levels.size()) - 1);
    set_zoom_percent(zoom_levels[static_cast<std::size_t>(index)]);
}

// Sizes the trace window so that its drawing surface is the zoomed drawing.
void FrameWindow::apply_zoom() {
    if (trace_sub_ == nullptr) return;
    if (trace_sub_->isMaximized() || trace_sub_->isMinimized()) trace_sub_->showNormal();
    const QSize target(drawing_width_pixels * zoom_percent_ / 100,
                       drawing_height_pixels * zoom_percent_ / 100);
    trace_sub_->resize(trace_sub_->size() + (target - trace_->surface()->size()));
}

bool FrameWindow::open_review(const QString& ari_path, QString& error) {
    review::ReviewPicture picture;
    std::string message;
    if (!review_picture_of(ari_path.toStdString(), picture, message)) {
        error = QString::fromStdString(message);
        return false;
    }
    auto* sub = mdi_->addSubWindow(new ReviewWindow(render_review_image(picture)));
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(QStringLiteral("Review of %1").arg(QFileInfo(ari_path).fileName()));
    sub->resize(mdi_->viewport()->size() * 9 / 10);
    sub->show();
    mdi_->setActiveSubWindow(sub);
    return true;
}

void FrameWindow::review_last_ari() {
    QString error;
    if (!open_review(last_ari_path(), error))
        QMessageBox::warning(this, QStringLiteral("Review"), error);
}

void FrameWindow::review_ari_from_dialog() {
    QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Review ARI File"), data_directory_,
                                     QStringLiteral("ARI files (*.ari);;All files (*)"));
    QString error;
    if (!path.isEmpty() && !open_review(path, error))
        QMessageBox::warning(this, QStringLiteral("Review"), error);
}

bool FrameWindow::open_study(const QString& folder, QString& error) {
    auto* window = new StudyWindow(this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    error = window->open(folder.toStdString());
    if (!error.isEmpty()) {
        delete window;
        return false;
    }
    study_window_ = window;
    window->show();
    window->activateWindow();
    return true;
}

void FrameWindow::open_study_from_dialog() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Open Study (the folder of mapari-batch --out)"), data_directory_);
    QString error;
    if (!folder.isEmpty() && !open_study(folder, error))
        QMessageBox::warning(this, QStringLiteral("Open Study"), error);
}

void FrameWindow::arrange_icons() {
    // Minimized windows in a row along the bottom of the area.
    int left = 0;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        if (!sub->isMinimized()) continue;
        sub->move(left, mdi_->viewport()->height() - sub->height());
        left += sub->width();
    }
}

void FrameWindow::show_about() {
    QMessageBox::about(
        this, QStringLiteral("About mapari"),
        QStringLiteral("<p><b>mapari %1</b></p><p>Off-line analysis of 64-lead "
                       "body-surface-map ECG recordings: beats, signal averaging, fiducial "
                       "points, baseline correction and activation-recovery intervals.</p>")
            .arg(version_.toHtmlEscaped()));
}

}  // namespace mapari::qt
