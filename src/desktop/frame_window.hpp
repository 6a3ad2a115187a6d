// The frame of the desktop program: a main window titled "mapari" whose MDI
// area holds the text window (from the start) and the trace window "Unit 12"
// (while the program has it open), with the runtime's menus and a status bar
// that says which window awaits input.
//
// The frame shows the shared windows: the program's thread asks for a
// refresh after each change, and the frame copies what it shows on the GUI
// thread. Answers typed and clicks made are handed to the waiting program.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPrinter>
#include <QTextBrowser>
#include <atomic>
#include <functional>

#include "desktop/shared_windows.hpp"
#include "desktop/study_window.hpp"
#include "desktop/text_window.hpp"
#include "desktop/trace_window.hpp"
#include "formats/messages.hpp"

namespace mapari::qt {

class FrameWindow : public QMainWindow {
  public:
    FrameWindow(SharedWindows& windows, QString version, QWidget* parent = nullptr);

    // May be called on any thread: one refresh follows on the GUI thread
    // (requests made before it runs are served by it).
    void request_refresh();
    // Shows the shared windows' present state.
    void refresh();

    TextWindow* text_window() const { return text_; }
    TraceWindow* trace_window() const { return trace_; }  // null while closed
    QMdiArea* mdi_area() const { return mdi_; }
    QMdiSubWindow* trace_subwindow() const { return trace_sub_; }
    // What the status bar says about awaited input.
    QString input_status() const { return input_status_->text(); }
    // What the status bar says about paused output.
    QString output_status() const { return output_status_->text(); }
    const PendingInput& pending_input() const { return pending_; }

    // Hands the text of the window's input line to the program as an answer;
    // false, with a message and the text kept, when no answer is awaited there.
    bool submit_answer(Channel channel);
    // Types the answer into the window's input line and submits it.
    bool type_answer(Channel channel, const QString& answer);
    // Hands a mouse event in a window to the program when it waits for one.
    bool deliver_mouse_event(Channel channel, const MouseEvent& event);

    // Menu commands, also called directly by tests and the demo.
    bool save_text(const QString& path, QString& error) const;
    bool save_picture(const QString& path, QString& error) const;
    void print_window(QPrinter& printer) const;
    void copy();
    void paste();
    void select_all();
    int zoom_percent() const { return zoom_percent_; }
    void set_zoom_percent(int percent);
    void set_output_paused(bool paused);
    void arrange_icons();

    // The host folder that stands for "d:\data\map\" in the program's paths.
    void set_data_directory(const QString& folder) { data_directory_ = folder; }
    // The host path of the .ari file the program wrote last in this run (from
    // its "writing a file" line); empty before the first.
    QString last_ari_path() const;
    // Opens the review of an .ari file in a child window; false, with a
    // message that names the file and the problem, when it cannot be reviewed.
    bool open_review(const QString& ari_path, QString& error);
    // Opens a batch's study folder in a study window beside the frame; false,
    // with a message saying why, when the folder is no study.
    bool open_study(const QString& folder, QString& error);
    StudyWindow* study_window() const { return study_window_; }  // the last opened; null when none

    // The language the session's dialogue speaks, and so the user guide.
    void set_session_language(Language language);
    Language session_language() const { return session_language_; }
    // Remembers the language for the next start and says so in the status bar;
    // the running session keeps its own.
    void choose_language(Language language);
    // Opens the user guide in a child window, or brings the open one to the front.
    void open_user_guide();
    QTextBrowser* user_guide() const;  // null while closed

    // Called when the frame closes, before it goes: ends the program.
    std::function<void()> on_close;
    // Called after each refresh with what it showed.
    std::function<void(const WindowsSnapshot&)> on_refresh;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void create_file_menu();
    void create_edit_menu();
    void create_view_menu();
    void create_state_menu();
    void create_window_menu();
    void create_language_menu();
    void create_help_menu();
    void create_status_bar();
    void save_text_from_dialog();
    void save_picture_from_dialog();
    void print_from_dialog();
    void zoom_by(int steps);
    void show_about();
    void review_last_ari();
    void review_ari_from_dialog();
    void open_study_from_dialog();
    // Keeps the path of the latest "writing a file" line among lines new to the text window.
    void note_written_ari(const std::vector<std::string>& new_lines);

    QMdiSubWindow* add_subwindow(QWidget* widget, const QString& title, QRect geometry);
    void show_trace(WindowsSnapshot& snapshot);
    void open_trace_subwindow();
    void close_trace_subwindow();
    void apply_zoom();
    void show_focus(const WindowsSnapshot& snapshot);
    void show_status(const WindowsSnapshot& snapshot);
    void refuse_input(Channel channel, bool answer);
    // The program's window whose child window is active (the text window when none is).
    Channel active_channel() const;
    QLineEdit* input_of(Channel channel) const;
    void restore_settings();
    void save_settings() const;

    SharedWindows& windows_;
    QString version_;
    QMdiArea* mdi_;
    TextWindow* text_;
    QMdiSubWindow* text_sub_;
    TraceWindow* trace_ = nullptr;
    QMdiSubWindow* trace_sub_ = nullptr;
    QLabel* input_status_ = nullptr;
    QLabel* output_status_ = nullptr;
    QAction* pause_action_ = nullptr;
    QAction* resume_action_ = nullptr;
    std::atomic<bool> refresh_posted_{false};
    std::uint64_t focus_serial_shown_ = 0;
    PendingInput pending_;
    bool finished_ = false;
    int zoom_percent_ = 100;
    QString data_directory_ = QStringLiteral("./data/map");
    QString last_ari_program_path_;  // as the program wrote it, "d:\data\map\NAME.ari"
    QAction* review_last_action_ = nullptr;
    Language session_language_ = Language::japanese;
    QAction* japanese_action_ = nullptr;
    QAction* english_action_ = nullptr;
    QPointer<QMdiSubWindow> guide_sub_;
    QPointer<StudyWindow> study_window_;
};

// The name of a window in messages: "the text window" or "Unit 12".
QString window_name(Channel channel);

}  // namespace mapari::qt
