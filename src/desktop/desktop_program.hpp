// The desktop program: the frame on the GUI thread and the program's logic on
// a thread of its own, joined by the shared windows.
//
// Threads: the logic thread runs the program from start to stop and blocks in
// its reads and mouse waits; the GUI thread runs the frame and never waits for
// the logic thread, except once, when the frame closes: the logic thread's
// waits then end with SessionEnded (exit code 0) and the GUI thread joins it.
#pragma once

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "desktop/desktop_runtime.hpp"
#include "desktop/frame_window.hpp"
#include "desktop/scripted_input.hpp"
#include "desktop/shared_windows.hpp"
#include "formats/messages.hpp"

namespace mapari::qt {

struct DesktopOptions {
    std::string data_directory = "./data/map";  // host folder for "d:\data\map\"
    std::string default_file_directory = ".";   // where the trace channel's "fort.12" goes
    std::string record_path;                    // empty: the session is not recorded
    std::string version;
    std::string script;  // answers and clicks played as if typed; empty: none
    int script_pace_milliseconds = 0;
    // The dialogue's language, in use before the session starts (--lang);
    // nothing: the Language menu's remembered choice, else Japanese.
    std::optional<Language> language;
};

// What runs on the logic thread.
using Program = std::function<void(Runtime&)>;

// The analysis program on a fresh store whose data directory is the host folder.
Program analysis_program(const std::string& data_directory);

class DesktopSession {
  public:
    // Needs a QApplication. The frame is made, not yet shown.
    DesktopSession(Program program, const DesktopOptions& options);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Opens the record file, shows the frame and starts the program's thread;
    // false, with the reason, when the record file cannot be written.
    bool start(std::string& error);
    // Ends the program's waits and joins its thread (done when the frame closes).
    void end_program();

    FrameWindow& frame() { return *frame_; }
    bool program_running() const { return thread_.joinable(); }
    // The program's exit code once it has ended; 0 while it runs.
    int exit_code() const { return exit_code_; }
    // Why the program ended; read it once the thread is joined.
    const std::string& end_message() const { return end_message_; }

  private:
    void run_program_thread();

    Program program_;
    DesktopOptions options_;
    std::unique_ptr<SharedWindows> windows_;
    std::ofstream record_;
    std::unique_ptr<DesktopRuntime> runtime_;
    std::unique_ptr<FrameWindow> frame_;
    std::thread thread_;
    std::atomic<int> exit_code_ = 0;
    std::string end_message_;
};

// Runs the desktop program to the end: makes the QApplication, puts the
// remembered language in use when none is given, makes the frame and the
// logic thread; returns the exit code. Reasons it cannot start go to errors.
int run_desktop_program(const DesktopOptions& options, std::ostream& errors);

// The application-wide font: the platform's, with Japanese fonts to fall back
// on; in the English dialogue a Latin font first, in which a backslash is a
// backslash (text_window.hpp).
void use_dialogue_font(Language language);

}  // namespace mapari::qt
