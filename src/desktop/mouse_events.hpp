// Qt mouse events as the runtime's mouse events: event code, key state and
// position in the window's pixels.
#pragma once

#include <QMouseEvent>
#include <QPoint>
#include <optional>

#include "window/runtime.hpp"

namespace mapari::qt {

// Key state bits delivered with a mouse event: buttons held and modifier keys.
enum KeyStateBit : int {
    key_left_button = 1,
    key_right_button = 2,
    key_shift = 4,
    key_control = 8,
    key_middle_button = 16,
};

// The runtime event of a Qt mouse event at the given window pixel; nothing for
// buttons and event types that have no event code (the middle button, for one).
std::optional<MouseEvent> mouse_event_of(const QMouseEvent& event, QPoint pixel);

// The integer widget position of a mouse event (cut toward the top left).
QPoint widget_position_of(const QMouseEvent& event);

}  // namespace mapari::qt
