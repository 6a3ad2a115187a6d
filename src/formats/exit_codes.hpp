// The exit codes of every mapari program. They stand with the formats, as the
// messages do, so that the window layer and the commands without a window
// (import, batch, synth, review) say them alike.
#pragma once

namespace mapari {

inline constexpr int exit_normal = 0;   // the operator stopped the program, or the work is done
inline constexpr int exit_failure = 1;  // any other failure (a file that cannot be written, ...)
// A usage error, or a script that brings a click where an answer is due or
// the other way round (named with its line number).
inline constexpr int exit_usage = 2;
inline constexpr int exit_script_ended = 3;  // the script ended while the program waited
// mapari-batch stopped (Ctrl-C, SIGTERM) before every recording was analysed:
// the same command finishes the study.
inline constexpr int exit_batch_stopped = 4;

}  // namespace mapari
