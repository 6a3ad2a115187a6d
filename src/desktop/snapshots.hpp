// Pictures of the trace window, one numbered PNG each time the program waits
// for input in it: trace-0001.png, trace-0002.png, ...
#pragma once

#include <string>

#include "window/window_model.hpp"

namespace mapari::qt {

class SnapshotWriter {
  public:
    // Needs a QGuiApplication (the offscreen platform will do).
    SnapshotWriter(std::string directory, int scale);
    // Writes the next picture; returns false when it cannot be written.
    bool write(const WindowModel& windows);
    int written() const { return count_; }

  private:
    std::string directory_;
    int scale_;
    int count_ = 0;
};

}  // namespace mapari::qt
