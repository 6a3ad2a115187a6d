// A headless session that also paints the trace window to numbered PNG files
// each time the program waits for input in it.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "app/session.hpp"

namespace mapari::qt {

inline constexpr int snapshot_scale = 1;

// Runs the session on Qt's offscreen platform; returns its exit code.
int run_headless_with_snapshots(std::istream& script, std::ostream& transcript,
                                std::ostream& errors, SessionFiles files,
                                const std::string& snapshot_directory);

}  // namespace mapari::qt
