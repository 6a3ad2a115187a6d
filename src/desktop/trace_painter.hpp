// Painting of a window's content (its text lines and its drawing) with Qt's
// painter. The trace window in the desktop program and the pictures of the
// headless runtime are painted by this one function, so they look the same.
#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>
#include <QString>

#include "window/window_model.hpp"

namespace mapari::qt {

// Paints the content on a surface of `scale` painter units per drawing pixel,
// (1000 × 300) × scale from the painter's origin: white background, the
// polylines in their colours, the text lines from the top left (the latest
// lines when they do not all fit).
void paint_window(QPainter& painter, const WindowContent& content, int scale);

// Paints the content over a widget of the given size, the drawing stretched
// as the widget's surface mapping stretches it (clicks go back through it).
void paint_surface(QPainter& painter, const WindowContent& content, QSize widget_size);

// The trace window as a picture of 1000 × 300 drawing pixels times scale.
QImage render_trace_window(const WindowContent& content, int scale);

// Colour of a runtime RGB value (red in the low byte).
QColor colour_of(std::uint32_t rgb_value);

}  // namespace mapari::qt
