#include "desktop/frame_window.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QSettings>
#include <QStatusBar>

#include "recording/recording.hpp"

namespace mapari::qt {
namespace {

constexpr int status_message_milliseconds = 6000;
constexpr QSize default_frame_size(1100, 820);
constexpr QRect text_window_geometry(0, 0, 1060, 330);
constexpr int trace_window_top = 340;

// Child windows of the program have no close button (nor the system menu that
// would offer one): the program opens and closes them.
constexpr Qt::WindowFlags child_window_flags =
    Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint;

}  // namespace

QString window_name(Channel channel) {
    return channel == Channel::trace ? QStringLiteral("Unit %1").arg(trace_unit_number)
                                     : QStringLiteral("the text window");
}

FrameWindow::FrameWindow(SharedWindows& windows, QString version, QWidget* parent)
    : QMainWindow(parent),
      windows_(windows),
      version_(std::move(version)),
      mdi_(new QMdiArea(this)),
      text_(new TextWindow) {
    setWindowTitle(QStringLiteral("mapari"));
    setCentralWidget(mdi_);
    // A zoomed trace window may be larger than the frame; scroll bars reach all of it.
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    resize(default_frame_size);
    text_sub_ = add_subwindow(text_, QStringLiteral("Text window"), text_window_geometry);
    text_->on_answer = [this](const QString&) { submit_answer(Channel::text); };
    text_->on_mouse = [this](const MouseEvent& event) {
        deliver_mouse_event(Channel::text, event);
    };
    create_file_menu();
    create_edit_menu();
    create_view_menu();
    create_state_menu();
    create_window_menu();
    create_language_menu();
    create_help_menu();
    create_status_bar();
    restore_settings();
}

QMdiSubWindow* FrameWindow::add_subwindow(QWidget* widget, const QString& title, QRect geometry) {
    QMdiSubWindow* sub = mdi_->addSubWindow(widget, child_window_flags);
    sub->setWindowTitle(title);
    sub->setGeometry(geometry);
    sub->installEventFilter(this);
    sub->show();
    return sub;
}

bool FrameWindow::eventFilter(QObject* watched, QEvent* event) {
    // The operator cannot close the program's windows one by one; the frame closes them all.
    if (event->type() == QEvent::Close && (watched == text_sub_ || watched == trace_sub_)) {
        event->ignore();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrameWindow::request_refresh() {
    if (refresh_posted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this, [this] { refresh(); }, Qt::QueuedConnection);
}

void FrameWindow::refresh() {
    // Cleared first, so that a change made while this refresh copies asks for the next one.
    refresh_posted_ = false;
    WindowsSnapshot snapshot = windows_.snapshot(text_->lines_shown(), text_->clears_shown());
    text_->show_lines(snapshot);
    note_written_ari(snapshot.text_lines);
    text_->set_cross_cursor(snapshot.text_cross_cursor);
    show_trace(snapshot);
    show_focus(snapshot);
    show_status(snapshot);
    if (on_refresh) on_refresh(snapshot);
}

void FrameWindow::note_written_ari(const std::vector<std::string>& new_lines) {
    // The ARI computation announces the .ari file it writes on the text window;
    // the runtime learns of it there, without a channel of its own to the program.
    constexpr std::string_view announcement = "writing a file";
    for (const std::string& line : new_lines) {
        if (!line.starts_with(announcement)) continue;
        const QString path = QString::fromStdString(line.substr(announcement.size())).trimmed();
        if (path.endsWith(QStringLiteral(".ari"))) last_ari_program_path_ = path;
    }
    if (review_last_action_ != nullptr) review_last_action_->setEnabled(!last_ari_path().isEmpty());
}

QString FrameWindow::last_ari_path() const {
    const QString prefix = QString::fromUtf8(program_data_directory.data(),
                                             static_cast<qsizetype>(program_data_directory.size()));
    if (!last_ari_program_path_.startsWith(prefix)) return {};
    return QDir(data_directory_).filePath(last_ari_program_path_.mid(prefix.size()));
}

void FrameWindow::show_trace(WindowsSnapshot& snapshot) {
    if (!snapshot.trace_open) {
        if (trace_sub_ != nullptr) close_trace_subwindow();
        return;
    }
    if (trace_sub_ == nullptr) open_trace_subwindow();
    trace_->surface()->show_content(std::move(snapshot.trace));
}

void FrameWindow::open_trace_subwindow() {
    trace_ = new TraceWindow;
    trace_->use_font(text_window_font(session_language_));
    trace_->on_answer = [this](const QString&) { submit_answer(Channel::trace); };
    trace_->surface()->on_mouse = [this](const MouseEvent& event) {
        deliver_mouse_event(Channel::trace, event);
    };
    QRect geometry(0, trace_window_top, drawing_width_pixels, drawing_height_pixels);
    trace_sub_ = add_subwindow(trace_, window_name(Channel::trace), geometry);
    apply_zoom();
}

void FrameWindow::close_trace_subwindow() {
    mdi_->removeSubWindow(trace_sub_);
    trace_sub_->deleteLater();
    trace_sub_ = nullptr;
    trace_ = nullptr;
}

void FrameWindow::show_focus(const WindowsSnapshot& snapshot) {
    if (snapshot.focus_serial == focus_serial_shown_) return;
    focus_serial_shown_ = snapshot.focus_serial;
    QMdiSubWindow* sub =
        snapshot.focus == Channel::trace && trace_sub_ != nullptr ? trace_sub_ : text_sub_;
    if (mdi_->activeSubWindow() != sub) mdi_->setActiveSubWindow(sub);
    if (snapshot.pending.kind == Awaited::answer && snapshot.pending.channel == snapshot.focus)
        input_of(snapshot.focus)->setFocus();
}

void FrameWindow::show_status(const WindowsSnapshot& snapshot) {
    pending_ = snapshot.pending;
    finished_ = snapshot.finished;
    QString status;
    if (snapshot.finished) {
        status = snapshot.exit_code == 0 ? QStringLiteral("The program has ended.")
                                         : QStringLiteral("The program has ended: %1")
                                               .arg(QString::fromStdString(snapshot.end_message));
    } else if (pending_.kind == Awaited::answer) {
        status = QStringLiteral("Input pending in %1").arg(window_name(pending_.channel));
    } else if (pending_.kind == Awaited::click) {
        status = QStringLiteral("Mouse input pending in %1").arg(window_name(pending_.channel));
    }
    input_status_->setText(status);
    output_status_->setText(snapshot.output_held     ? QStringLiteral("Output paused (held)")
                            : snapshot.output_paused ? QStringLiteral("Output paused")
                                                     : QString());
    pause_action_->setEnabled(!snapshot.output_paused && !snapshot.finished);
    resume_action_->setEnabled(snapshot.output_paused);
    text_->input()->setEnabled(!snapshot.finished);
    if (trace_ != nullptr) trace_->input()->setEnabled(!snapshot.finished);
}

Channel FrameWindow::active_channel() const {
    return trace_sub_ != nullptr && mdi_->activeSubWindow() == trace_sub_ ? Channel::trace
                                                                          : Channel::text;
}

QLineEdit* FrameWindow::input_of(Channel channel) const {
    return channel == Channel::trace && trace_ != nullptr ? trace_->input() : text_->input();
}

bool FrameWindow::submit_answer(Channel channel) {
    QLineEdit* input = input_of(channel);
    if (!windows_.offer_answer(channel, input->text().toStdString())) {
        refuse_input(channel, true);
        return false;
    }
    input->clear();
    return true;
}

bool FrameWindow::type_answer(Channel channel, const QString& answer) {
    if (channel == Channel::trace && trace_ == nullptr) return false;
    input_of(channel)->setText(answer);
    return submit_answer(channel);
}

bool FrameWindow::deliver_mouse_event(Channel channel, const MouseEvent& event) {
    if (windows_.offer_mouse_event(channel, event)) return true;
    // Clicks that only select text or bring a window to the front need no word;
    // a click the program cannot take while it waits for one does.
    if (pending_.kind == Awaited::click &&
        (event.code == left_button_down || event.code == right_button_down))
        refuse_input(channel, false);
    return false;
}

// Says why typed text or a click was not taken, and where the program waits.
void FrameWindow::refuse_input(Channel channel, bool answer) {
    QString message = answer ? QStringLiteral("No answer is awaited in %1; the text is kept.")
                             : QStringLiteral("No click is awaited in %1.");
    message = message.arg(window_name(channel));
    if (pending_.kind == Awaited::answer)
        message += QStringLiteral(" The program waits for an answer in %1.")
                       .arg(window_name(pending_.channel));
    else if (pending_.kind == Awaited::click)
        message += QStringLiteral(" The program waits for a click in %1.")
                       .arg(window_name(pending_.channel));
    statusBar()->showMessage(message, status_message_milliseconds);
    if (answer) QApplication::beep();
}

void FrameWindow::set_output_paused(bool paused) {
    windows_.set_output_paused(paused);
    refresh();
}

void FrameWindow::closeEvent(QCloseEvent* event) {
    // The program's waits end (it stops with exit code 0) and its thread is
    // joined before the windows it writes to go.
    if (on_close) on_close();
    save_settings();
    event->accept();
}

void FrameWindow::restore_settings() {
    QSettings settings;
    if (settings.contains(QStringLiteral("frame/geometry")))
        restoreGeometry(settings.value(QStringLiteral("frame/geometry")).toByteArray());
    zoom_percent_ = settings.value(QStringLiteral("trace/zoom"), 100).toInt();
    set_zoom_percent(zoom_percent_);
}

void FrameWindow::save_settings() const {
    QSettings settings;
    settings.setValue(QStringLiteral("frame/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("trace/zoom"), zoom_percent_);
}

}  // namespace mapari::qt
