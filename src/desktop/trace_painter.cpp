#include "desktop/trace_painter.hpp"

#include <QFont>
#include <QFontMetrics>
#include <QPen>

namespace mapari::qt {
namespace {

constexpr int text_point_size = 10;
constexpr int text_margin_pixels = 4;

void paint_drawing(QPainter& painter, const WindowContent& content, int scale) {
    for (const Polyline& line : content.drawing) {
        QPen pen(colour_of(line.colour));
        pen.setWidth(scale);
        pen.setCapStyle(Qt::SquareCap);
        painter.setPen(pen);
        QPolygon points;
        for (const PixelPoint& point : line.points)
            points << QPoint(point.x * scale + scale / 2, point.y * scale + scale / 2);
        if (points.size() == 1 || (points.size() == 2 && points[0] == points[1]))
            painter.drawPoint(points[0]);
        else
            painter.drawPolyline(points);
    }
}

void paint_text(QPainter& painter, const WindowContent& content, int scale, int height) {
    QFont font = painter.font();
    font.setPixelSize(text_point_size * scale * 4 / 3);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font);
    const int line_height = metrics.lineSpacing();
    const int margin = text_margin_pixels * scale;
    const int fitting = std::max(1, (height - 2 * margin) / line_height);
    const int first = std::max(0, static_cast<int>(content.lines.size()) - fitting);
    int baseline = margin + metrics.ascent();
    for (std::size_t k = static_cast<std::size_t>(first); k < content.lines.size(); ++k) {
        painter.drawText(margin, baseline, QString::fromStdString(content.lines[k]));
        baseline += line_height;
    }
}

}  // namespace

QColor colour_of(std::uint32_t rgb_value) {
    return QColor(static_cast<int>(rgb_value & 0xFFu), static_cast<int>((rgb_value >> 8) & 0xFFu),
                  static_cast<int>((rgb_value >> 16) & 0xFFu));
}

void paint_window(QPainter& painter, const WindowContent& content, int scale) {
    // The drawing surface in the painter's coordinates; the painter's transform
    // places it (on a picture of the same size, or stretched over a widget).
    const QRect area(0, 0, drawing_width_pixels * scale, drawing_height_pixels * scale);
    painter.fillRect(area, Qt::white);
    paint_drawing(painter, content, scale);
    paint_text(painter, content, scale, area.height());
}

QImage render_trace_window(const WindowContent& content, int scale) {
    QImage image(drawing_width_pixels * scale, drawing_height_pixels * scale, QImage::Format_RGB32);
    QPainter painter(&image);
    paint_window(painter, content, scale);
    return image;
}

}  // namespace mapari::qt
