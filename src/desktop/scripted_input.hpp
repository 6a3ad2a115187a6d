// Answers and clicks from a script, played into the frame as if the operator
// typed and clicked them: each answer is typed into the waiting window's
// input line and entered, each click handed to the waiting window. When the
// script ends, or does not fit what the program waits for, the operator goes on.
#pragma once

#include <QObject>
#include <sstream>
#include <string>

#include "desktop/frame_window.hpp"
#include "window/script.hpp"

namespace mapari::qt {

class ScriptedInput : public QObject {
  public:
    // Plays each event `pace_milliseconds` after the program starts to wait.
    ScriptedInput(FrameWindow& frame, const std::string& script, int pace_milliseconds);

    bool finished() const { return finished_; }

  private:
    void on_refresh(const WindowsSnapshot& snapshot);
    void play(std::uint64_t serial);
    bool play_event(const ScriptEvent& event, const PendingInput& pending);
    // The next answer or click; nothing at the end of the script or on a fault.
    std::optional<ScriptEvent> next_event();
    void finish(const QString& message);

    FrameWindow& frame_;
    std::istringstream script_;
    int line_number_ = 0;
    int pace_milliseconds_;
    std::uint64_t scheduled_serial_ = 0;
    bool finished_ = false;
};

}  // namespace mapari::qt
