// A headless session: the program run from a script, the transcript written
// to a stream. Used by main and by the end-to-end tests.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>

#include "app/command_line.hpp"
#include "window/window_model.hpp"

namespace mapari {

struct SessionFiles {
    std::string data_directory;          // host folder for "d:\data\map\"
    std::string default_file_directory;  // where the trace channel's "fort.12" goes
    std::string record_path;             // empty: the session is not recorded
    // Called each time the program waits for input in the trace window.
    std::function<void(const WindowModel&)> on_trace_wait;
};

// Runs the whole program on the script; returns the exit code. Messages for
// the operator go to the transcript, the reason of an abnormal end to errors.
int run_headless_session(std::istream& script, std::ostream& transcript, std::ostream& errors,
                         const SessionFiles& files);

// A way to play a script session: run_headless_session, or one that paints too.
using SessionPlayer = std::function<int(std::istream& script, std::ostream& transcript,
                                        std::ostream& errors, const SessionFiles& files)>;

// The session of --script: the script file (or standard input for "-") played
// with `play` on the folders of the options, the transcript on standard output.
int run_script(const Options& options, const SessionPlayer& play = run_headless_session);

}  // namespace mapari
