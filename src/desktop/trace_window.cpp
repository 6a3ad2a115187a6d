#include "desktop/trace_window.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "desktop/mouse_events.hpp"
#include "desktop/surface_mapping.hpp"
#include "desktop/text_window.hpp"
#include "desktop/trace_painter.hpp"

namespace mapari::qt {
namespace {

constexpr int smallest_surface_width = 200;
constexpr int smallest_surface_height = 60;

}  // namespace

TraceSurface::TraceSurface(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(smallest_surface_width, smallest_surface_height);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize TraceSurface::sizeHint() const {
    return {drawing_width_pixels, drawing_height_pixels};
}

void TraceSurface::show_content(WindowContent content) {
    content_ = std::move(content);
    setCursor(content_.cross_cursor ? Qt::CrossCursor : Qt::ArrowCursor);
    update();
}

void TraceSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint_surface(painter, content_, size());
}

void TraceSurface::deliver(const QMouseEvent& event) {
    if (!on_mouse) return;
    QPoint pixel = SurfaceMapping(size()).drawing_pixel_at(widget_position_of(event));
    if (auto runtime_event = mouse_event_of(event, pixel)) on_mouse(*runtime_event);
}

TraceWindow::TraceWindow(QWidget* parent)
    : QWidget(parent), surface_(new TraceSurface(this)), input_(new QLineEdit(this)) {
    input_->setFont(text_window_font(Language::japanese));
    input_->setPlaceholderText(QStringLiteral("Answer, then Enter"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(surface_, 1);
    layout->addWidget(input_);
    // Keys typed while the window is active go to its input line.
    setFocusProxy(input_);
    connect(input_, &QLineEdit::returnPressed, this, [this] {
        if (on_answer) on_answer(input_->text());
    });
}

}  // namespace mapari::qt
