#include "desktop/mouse_events.hpp"

#include <cmath>

namespace mapari::qt {
namespace {

int key_state_of(const QMouseEvent& event) {
    int state = 0;
    if (event.buttons() & Qt::LeftButton) state |= key_left_button;
    if (event.buttons() & Qt::RightButton) state |= key_right_button;
    if (event.buttons() & Qt::MiddleButton) state |= key_middle_button;
    if (event.modifiers() & Qt::ShiftModifier) state |= key_shift;
    if (event.modifiers() & Qt::ControlModifier) state |= key_control;
    return state;
}

// The event code of a button event; 0 when the button has none.
int button_code(const QMouseEvent& event, int left_code, int right_code) {
    if (event.button() == Qt::LeftButton) return left_code;
    if (event.button() == Qt::RightButton) return right_code;
    return 0;
}

int event_code_of(const QMouseEvent& event) {
    switch (event.type()) {
        case QEvent::MouseButtonPress:
            return button_code(event, left_button_down, right_button_down);
        case QEvent::MouseButtonRelease:
            return button_code(event, left_button_up, right_button_up);
        case QEvent::MouseButtonDblClick:
            return button_code(event, left_double_click, right_double_click);
        case QEvent::MouseMove:
            return pointer_moved;
        default:
            return 0;
    }
}

}  // namespace

std::optional<MouseEvent> mouse_event_of(const QMouseEvent& event, QPoint pixel) {
    const int code = event_code_of(event);
    if (code == 0) return std::nullopt;
    return MouseEvent{code, key_state_of(event), pixel.x(), pixel.y()};
}

QPoint widget_position_of(const QMouseEvent& event) {
    const QPointF position = event.position();
    return {static_cast<int>(std::floor(position.x())), static_cast<int>(std::floor(position.y()))};
}

}  // namespace mapari::qt
