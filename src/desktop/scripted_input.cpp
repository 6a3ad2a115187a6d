#include "desktop/scripted_input.hpp"

#include <QStatusBar>
#include <QTimer>

namespace mapari::qt {

ScriptedInput::ScriptedInput(FrameWindow& frame, const std::string& script, int pace_milliseconds)
    : QObject(&frame), frame_(frame), script_(script), pace_milliseconds_(pace_milliseconds) {
    frame_.on_refresh = [this](const WindowsSnapshot& snapshot) { on_refresh(snapshot); };
}

void ScriptedInput::on_refresh(const WindowsSnapshot& snapshot) {
    const PendingInput& pending = snapshot.pending;
    if (finished_ || pending.kind == Awaited::nothing || pending.serial == scheduled_serial_)
        return;
    scheduled_serial_ = pending.serial;
    QTimer::singleShot(pace_milliseconds_, this, [this, serial = pending.serial] { play(serial); });
}

void ScriptedInput::play(std::uint64_t serial) {
    // The operator may have answered first; the event then waits for the next wait.
    const PendingInput pending = frame_.pending_input();
    if (finished_ || pending.serial != serial || pending.kind == Awaited::nothing) return;
    std::optional<ScriptEvent> event = next_event();
    if (event && !play_event(*event, pending)) {
        finish(QStringLiteral("Script line %1 does not fit what the program waits for; "
                              "go on by hand.")
                   .arg(line_number_));
    }
}

bool ScriptedInput::play_event(const ScriptEvent& event, const PendingInput& pending) {
    if (event.kind == ScriptEvent::Kind::answer) {
        return pending.kind == Awaited::answer &&
               frame_.type_answer(pending.channel, QString::fromStdString(event.answer));
    }
    const int code =
        event.kind == ScriptEvent::Kind::left_click ? left_button_down : right_button_down;
    return pending.kind == Awaited::click &&
           frame_.deliver_mouse_event(pending.channel,
                                      MouseEvent{code, 0, event.column, event.row});
}

std::optional<ScriptEvent> ScriptedInput::next_event() {
    std::string line;
    while (std::getline(script_, line)) {
        ++line_number_;
        std::string error;
        std::optional<ScriptEvent> event = parse_script_line(line, error);
        if (!event) {
            finish(QStringLiteral("Script line %1: %2; go on by hand.")
                       .arg(line_number_)
                       .arg(QString::fromStdString(error)));
            return std::nullopt;
        }
        if (event->kind != ScriptEvent::Kind::comment) return event;
    }
    finish(QStringLiteral("The script has ended; go on by hand."));
    return std::nullopt;
}

void ScriptedInput::finish(const QString& message) {
    finished_ = true;
    frame_.statusBar()->showMessage(message);
}

}  // namespace mapari::qt
