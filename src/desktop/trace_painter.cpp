#include "desktop/trace_painter.hpp"

#include <QFont>
#include <QFontMetrics>
#include <QPen>
#include <cstring>
#include <vector>

#include "desktop/surface_mapping.hpp"

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

// The drawing painted a pixel a drawing pixel, each widget pixel then taking
// the drawing pixel its clicks give: what is drawn lies where clicks find it,
// and no pen wider than a pixel is stroked (at 200 % that took most of a frame).
QImage stretched_drawing(const WindowContent& content, QSize widget_size) {
    QImage drawing(drawing_width_pixels, drawing_height_pixels, QImage::Format_RGB32);
    drawing.fill(Qt::white);
    {
        QPainter painter(&drawing);
        paint_drawing(painter, content, 1);
    }
    const SurfaceMapping mapping(widget_size);
    std::vector<int> drawing_column(static_cast<std::size_t>(widget_size.width()));
    for (int x = 0; x < widget_size.width(); ++x)
        drawing_column[static_cast<std::size_t>(x)] = mapping.drawing_pixel_at({x, 0}).x();
    QImage stretched(widget_size, QImage::Format_RGB32);
    const auto row_bytes = static_cast<std::size_t>(stretched.bytesPerLine());
    int previous_row = -1;
    for (int y = 0; y < widget_size.height(); ++y) {
        const int row = mapping.drawing_pixel_at({0, y}).y();
        auto* out = reinterpret_cast<QRgb*>(stretched.scanLine(y));
        if (row == previous_row) {
            std::memcpy(out, stretched.constScanLine(y - 1), row_bytes);
            continue;
        }
        const auto* in = reinterpret_cast<const QRgb*>(drawing.constScanLine(row));
        for (std::size_t x = 0; x < drawing_column.size(); ++x) out[x] = in[drawing_column[x]];
        previous_row = row;
    }
    return stretched;
}

}  // namespace

void paint_surface(QPainter& painter, const WindowContent& content, QSize widget_size) {
    const SurfaceMapping mapping(widget_size);
    // Stretching only enlarges: on a widget smaller than the drawing in either
    // direction it would drop lines a pixel wide, and at the drawing's own size
    // the pen is a pixel wide, which is fast. Those are painted through the mapping.
    const QSize drawing_size(drawing_width_pixels, drawing_height_pixels);
    if (widget_size.width() < drawing_size.width() ||
        widget_size.height() < drawing_size.height() || widget_size == drawing_size) {
        painter.setTransform(mapping.drawing_to_widget());
        paint_window(painter, content, 1);
        return;
    }
    painter.drawImage(0, 0, stretched_drawing(content, widget_size));
    painter.setTransform(mapping.drawing_to_widget());
    paint_text(painter, content, 1, drawing_height_pixels);
}

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
