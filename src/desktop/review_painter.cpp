#include "desktop/review_painter.hpp"

#include <QBuffer>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

#include "review/picture_style.hpp"

namespace mapari::qt {
namespace {

using review::Box;

using review::style::body_pixels;
using review::style::colour_bar_stops;
using review::style::curve_ink;
using review::style::empty_bar_note;
using review::style::flag_tag_ink;
using review::style::flagged_fill;
using review::style::flagged_panel_fill;
using review::style::hatching_legend_prefix;
using review::style::heading_pixels;
using review::style::LegendEntry;
using review::style::outline_pixels;
using review::style::panel_frame;
using review::style::sheet_legend;
using review::style::small_pixels;
using review::style::title_pixels;
using review::style::value_pixels;

constexpr double pdf_pixels_per_inch = 96.0;
// Qt's PNG quality 70 is zlib level 2: about two thirds of the encoding time
// of the default level for 1 % more bytes on a review picture.
constexpr int png_quality = 80;

// The painter and the sizes of the picture's style: text and lines larger
// for a figure printed at a journal's column width, flagged panels untinted.
struct Canvas {
    QPainter& painter;
    double text_scale = 1.0;
    double line_scale = 1.0;
    bool tint_defaults = true;
    int pixels(double size) const { return static_cast<int>(std::lround(size * text_scale)); }
    double line(double width) const { return width * line_scale; }
};
QRectF rect_of(const Box& box) {
    return {box.left, box.top, box.width, box.height};
}

QColor colour_of(review::Rgb rgb) {
    return {rgb.red, rgb.green, rgb.blue};
}

const QColor ink = colour_of(review::style::ink);
const QColor muted = colour_of(review::style::muted);
const QColor hatch_ink = colour_of(review::style::hatch_ink);
const QColor fiducial_ink = colour_of(review::style::fiducial_ink);
const QColor activation_ink = colour_of(review::style::activation_ink);
const QColor recovery_ink = colour_of(review::style::recovery_ink);

void set_font(Canvas& canvas, double pixels, bool bold = false) {
    QFont font = canvas.painter.font();
    font.setPixelSize(canvas.pixels(pixels));
    font.setBold(bold);
    canvas.painter.setFont(font);
}

void draw_text(Canvas& canvas, const Box& box, const std::string& text, int pixels,
               bool bold = false, QColor colour = ink,
               int flags = static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter)) {
    set_font(canvas, pixels, bold);
    canvas.painter.setPen(colour);
    canvas.painter.drawText(rect_of(box), flags, QString::fromStdString(text));
}

// Grey with diagonal hatching: the mark of a default value.
void fill_hatched(Canvas& canvas, const QPainterPath& shape) {
    canvas.painter.fillPath(shape, colour_of(flagged_fill));
    canvas.painter.fillPath(shape, QBrush(hatch_ink, Qt::BDiagPattern));
}

QPainterPath cell_shape(const review::MapCell& cell) {
    QPainterPath shape;
    const QRectF box = rect_of(cell.box).adjusted(0.5, 0.5, -0.5, -0.5);
    if (cell.round)
        shape.addEllipse(box);
    else
        shape.addRect(box);
    return shape;
}

// The value's text size: value_pixels, or less where a long value (an area
// of five digits) would not fit the cell's width.
int fitting_pixels(Canvas& canvas, const review::MapCell& cell) {
    set_font(canvas, value_pixels, true);
    const double width =
        canvas.painter.fontMetrics().horizontalAdvance(QString::fromStdString(cell.value_text));
    const double room = cell.box.width - 6;
    if (width <= room) return value_pixels;
    return std::max(small_pixels - 2, static_cast<int>(std::floor(value_pixels * room / width)));
}

// A cell's value: large and bold, or "no signal" small and wrapped to fit.
void paint_value(Canvas& canvas, const review::MapCell& cell, const Box& box, QColor colour,
                 int alignment) {
    if (cell.no_signal)
        draw_text(canvas, box, cell.value_text, small_pixels, false, muted,
                  alignment | Qt::TextWordWrap);
    else
        draw_text(canvas, box, cell.value_text, fitting_pixels(canvas, cell), true, colour,
                  alignment);
}

// A grid cell: the lead number small at the top left, the value large in the middle.
void paint_grid_cell_text(Canvas& canvas, const review::MapCell& cell, QColor colour) {
    Box corner = cell.box;
    corner.left += 4;
    corner.top += 2;
    draw_text(canvas, corner, std::to_string(cell.lead), small_pixels, false, colour,
              Qt::AlignLeft | Qt::AlignTop);
    paint_value(canvas, cell, cell.box, colour, Qt::AlignCenter);
}

// A marker: the lead number above the value, or the number alone when the marker is small.
void paint_marker_text(Canvas& canvas, const review::MapCell& cell, QColor colour) {
    if (!cell.shows_value) {
        draw_text(canvas, cell.box, std::to_string(cell.lead), small_pixels, false, colour,
                  Qt::AlignCenter);
        return;
    }
    Box upper = cell.box;
    upper.height /= 2;
    Box lower = upper;
    lower.top += upper.height;
    draw_text(canvas, upper, std::to_string(cell.lead), small_pixels, false, colour,
              Qt::AlignHCenter | Qt::AlignBottom);
    paint_value(canvas, cell, lower, colour, Qt::AlignHCenter | Qt::AlignTop);
}

Qt::PenStyle pen_style(review::LineStyle style) {
    switch (style) {
        case review::LineStyle::solid:
            return Qt::SolidLine;
        case review::LineStyle::dashed:
            return Qt::DashLine;
        case review::LineStyle::dotted:
            return Qt::DotLine;
        case review::LineStyle::dash_dot:
            return Qt::DashDotLine;
        case review::LineStyle::dash_dot_dot:
            break;
    }
    return Qt::DashDotDotLine;
}

// A flagged lead's cell: a dark line of outline_pixels just inside its edge,
// dashed as its flag says.
void paint_outline(Canvas& canvas, const review::MapCell& cell) {
    const double inset = 0.5 + outline_pixels / 2.0;
    const QRectF box = rect_of(cell.box).adjusted(inset, inset, -inset, -inset);
    canvas.painter.setPen(QPen(ink, outline_pixels, pen_style(cell.outline_style)));
    canvas.painter.setBrush(Qt::NoBrush);
    if (cell.round)
        canvas.painter.drawEllipse(box);
    else
        canvas.painter.drawRect(box);
}

void paint_cell(Canvas& canvas, const review::MapCell& cell) {
    const QPainterPath shape = cell_shape(cell);
    if (cell.flagged)
        fill_hatched(canvas, shape);
    else
        canvas.painter.fillPath(shape, colour_of(cell.fill));
    canvas.painter.setPen(QPen(cell.flagged ? hatch_ink : QColor(Qt::white), 1.0));
    canvas.painter.drawPath(shape);
    if (cell.outlined) paint_outline(canvas, cell);
    const QColor text_colour = cell.light_text ? QColor(Qt::white) : ink;
    if (cell.round)
        paint_marker_text(canvas, cell, text_colour);
    else
        paint_grid_cell_text(canvas, cell, text_colour);
}

void paint_colour_bar(Canvas& canvas, const review::ColourBar& bar) {
    const QRectF box = rect_of(bar.box);
    Box above{bar.box.left - 10, bar.box.top - 20, bar.box.width + 40, 18};
    draw_text(canvas, above, bar.label, small_pixels, false, muted);
    if (bar.range.empty) {
        QPainterPath whole_bar;
        whole_bar.addRect(box);
        fill_hatched(canvas, whole_bar);
        Box note{bar.box.right() + 6, bar.box.top, 80, 40};
        draw_text(canvas, note, std::string(empty_bar_note), small_pixels, false, muted,
                  Qt::AlignLeft | Qt::TextWordWrap);
        return;
    }
    QLinearGradient ramp(box.bottomLeft(), box.topLeft());
    for (int k = 0; k <= colour_bar_stops; ++k) {
        const double t = static_cast<double>(k) / colour_bar_stops;
        ramp.setColorAt(t, colour_of(review::viridis(t)));
    }
    canvas.painter.fillRect(box, ramp);
    canvas.painter.setPen(QPen(muted, 1.0));
    canvas.painter.drawRect(box);
    for (const review::Tick& tick : bar.ticks) {
        canvas.painter.setPen(QPen(ink, 1.0));
        canvas.painter.drawLine(QPointF(box.right(), tick.y), QPointF(box.right() + 5, tick.y));
        Box label{box.right() + 8, tick.y - 9, 60, 18};
        draw_text(canvas, label, tick.label, small_pixels);
    }
}

void paint_map(Canvas& canvas, const review::MapPanel& map) {
    draw_text(canvas, map.title_box, map.title, title_pixels, true);
    for (const review::MapCell& cell : map.cells) paint_cell(canvas, cell);
    paint_colour_bar(canvas, map.bar);
    draw_text(canvas, map.note_box, map.note, body_pixels, false, muted);
}

QPointF point_of(review::Point point) {
    return {point.x, point.y};
}

void paint_stroke(Canvas& canvas, const review::Stroke& stroke) {
    QPolygonF line;
    for (const review::Point& point : stroke.points) line << point_of(point);
    QPen pen(colour_of(stroke.colour), canvas.line(stroke.width_pixels), pen_style(stroke.style));
    pen.setCapStyle(Qt::FlatCap);
    canvas.painter.setPen(pen);
    canvas.painter.setBrush(Qt::NoBrush);
    if (stroke.closed)
        canvas.painter.drawPolygon(line);
    else
        canvas.painter.drawPolyline(line);
}

void paint_text_mark(Canvas& canvas, const review::TextMark& mark) {
    set_font(canvas, mark.size_pixels);
    const QString text = QString::fromStdString(mark.text);
    const QRectF used = canvas.painter.fontMetrics().boundingRect(text);
    const double left = mark.left_aligned ? mark.at.x : mark.at.x - used.width() / 2;
    const QRectF box(left, mark.at.y - used.height() / 2, used.width(), used.height());
    if (mark.halo) canvas.painter.fillRect(box.adjusted(-2, 0, 2, 0), Qt::white);
    canvas.painter.setPen(colour_of(mark.colour));
    canvas.painter.drawText(box, Qt::AlignCenter, text);
}

// Shapes without antialiasing, so that bands of a surface meet without seams.
void paint_drawing(Canvas& canvas, const review::Drawing& drawing) {
    canvas.painter.setRenderHint(QPainter::Antialiasing, false);
    canvas.painter.setPen(Qt::NoPen);
    for (const review::FilledShape& shape : drawing.shapes) {
        QPolygonF outline;
        for (const review::Point& point : shape.outline) outline << point_of(point);
        canvas.painter.setBrush(colour_of(shape.fill));
        canvas.painter.drawPolygon(outline);
    }
    canvas.painter.setRenderHint(QPainter::Antialiasing, true);
    for (const review::Stroke& stroke : drawing.strokes) paint_stroke(canvas, stroke);
    for (const review::Dot& dot : drawing.dots) {
        canvas.painter.setPen(QPen(colour_of(dot.colour), 1.0));
        canvas.painter.setBrush(dot.hollow ? QBrush(Qt::white) : QBrush(colour_of(dot.colour)));
        canvas.painter.drawEllipse(point_of(dot.centre), dot.radius_pixels, dot.radius_pixels);
    }
    canvas.painter.setBrush(Qt::NoBrush);
    for (const review::TextMark& mark : drawing.texts) paint_text_mark(canvas, mark);
}

void paint_surface(Canvas& canvas, const review::SurfacePanel& surface) {
    draw_text(canvas, surface.title_box, surface.title, title_pixels, true);
    paint_drawing(canvas, surface.drawing);
    paint_colour_bar(canvas, surface.bar);
    draw_text(canvas, surface.note_box, surface.note, body_pixels, false, muted);
}

void paint_plot(Canvas& canvas, const review::PlotPanel& panel) {
    draw_text(canvas, panel.title_box, panel.title, title_pixels, true);
    canvas.painter.setBrush(Qt::NoBrush);
    canvas.painter.setPen(QPen(muted, 1.0));
    canvas.painter.drawRect(
        QRectF(panel.field.left, panel.field.top, panel.field.width, panel.field.height));
    Box label = panel.legend_box;
    label.height =
        label.height / static_cast<double>(std::max<std::size_t>(panel.curves.size(), 1));
    for (const review::PlotCurve& curve : panel.curves) {
        const QColor colour = colour_of(curve_ink(curve.colour, panel.curves.size()));
        canvas.painter.setPen(QPen(colour, 1.5));
        canvas.painter.setBrush(colour);
        QPolygonF line;
        for (const review::Point& point : curve.points) {
            if (curve.joined)
                line << QPointF(point.x, point.y);
            else
                canvas.painter.drawEllipse(QPointF(point.x, point.y), 2.5, 2.5);
        }
        if (curve.joined) canvas.painter.drawPolyline(line);
        if (curve.fitted)
            canvas.painter.drawLine(QPointF(curve.fitted->first.x, curve.fitted->first.y),
                                    QPointF(curve.fitted->second.x, curve.fitted->second.y));
        draw_text(canvas, label, curve.label, body_pixels, false, colour);
        label.top += label.height;
    }
    draw_text(canvas, panel.axes_box, panel.axes, body_pixels, false, muted);
}

void paint_heading(Canvas& canvas, const review::ReviewPicture& picture) {
    draw_text(canvas, picture.heading_box, picture.heading, heading_pixels, true);
    draw_text(canvas, picture.details_box, picture.details, body_pixels);
    if (picture.legend.empty()) return;
    const Box& legend = picture.legend_box;
    QPainterPath swatch;
    swatch.addRect(QRectF(legend.left, legend.top + 4, 34, legend.height - 8));
    fill_hatched(canvas, swatch);
    Box text = legend;
    text.left += 42;
    text.width -= 42;
    draw_text(canvas, text, std::string(hatching_legend_prefix) + picture.legend, body_pixels);
}

// A mark of one sample across the trace: solid for a finding, dashed for a
// default, with a small triangle at the top.
void paint_sample_mark(Canvas& canvas, double x, const Box& panel, QColor colour, bool is_default) {
    QPen pen(colour, 1.5, is_default ? Qt::DashLine : Qt::SolidLine);
    canvas.painter.setPen(pen);
    canvas.painter.drawLine(QPointF(x, panel.top + 14), QPointF(x, panel.bottom() - 2));
    QPolygonF triangle{{x - 4, panel.top + 10}, {x + 4, panel.top + 10}, {x, panel.top + 16}};
    canvas.painter.setBrush(is_default ? QBrush(Qt::white) : QBrush(colour));
    canvas.painter.setPen(QPen(colour, 1.0));
    canvas.painter.drawPolygon(triangle);
    canvas.painter.setBrush(Qt::NoBrush);
}

void paint_panel_marks(Canvas& canvas, const review::SheetPanel& panel) {
    canvas.painter.setPen(QPen(fiducial_ink, 1.0));
    for (const auto& x : {panel.reference_x, panel.j_x, panel.t_end_x})
        if (x)
            canvas.painter.drawLine(QPointF(*x, panel.box.top + 14),
                                    QPointF(*x, panel.box.bottom()));
    if (panel.activation_x)
        paint_sample_mark(canvas, *panel.activation_x, panel.box, activation_ink,
                          panel.no_downstroke);
    if (panel.recovery_x)
        paint_sample_mark(canvas, *panel.recovery_x, panel.box, recovery_ink, panel.no_upstroke);
}

void paint_panel(Canvas& canvas, const review::SheetPanel& panel) {
    // A tinted panel finds a lead with a default among the 64 at a glance.
    if (canvas.tint_defaults && (panel.no_downstroke || panel.no_upstroke))
        canvas.painter.fillRect(rect_of(panel.box), colour_of(flagged_panel_fill));
    canvas.painter.setPen(QPen(colour_of(panel_frame), 1.0));
    canvas.painter.drawRect(rect_of(panel.box));
    paint_panel_marks(canvas, panel);
    QPolygonF trace;
    for (const review::Point& point : panel.trace) trace << QPointF(point.x, point.y);
    canvas.painter.setPen(QPen(ink, canvas.line(1.0)));
    canvas.painter.drawPolyline(trace);
    Box label{panel.box.left + 3, panel.box.top, panel.box.width - 6, 14};
    draw_text(canvas, label, std::to_string(panel.lead), small_pixels, true);
    draw_text(canvas, label, panel.tag, small_pixels, false, colour_of(flag_tag_ink),
              Qt::AlignRight | Qt::AlignVCenter);
}

// One legend entry: a short sample of the mark, then its text; returns where the next goes.
double paint_legend_entry(Canvas& canvas, double left, const Box& row, QColor colour, bool dashed,
                          const QString& text) {
    canvas.painter.setPen(QPen(colour, 1.5, dashed ? Qt::DashLine : Qt::SolidLine));
    canvas.painter.drawLine(QPointF(left + 4, row.top + 4), QPointF(left + 4, row.bottom() - 4));
    set_font(canvas, body_pixels);
    canvas.painter.setPen(ink);
    const QRectF text_box(left + 12, row.top, 400, row.height);
    QRectF used;
    canvas.painter.drawText(text_box, Qt::AlignLeft | Qt::AlignVCenter, text, &used);
    return used.right() + 22;
}

void paint_sheet(Canvas& canvas, const review::ReviewSheet& sheet) {
    draw_text(canvas, sheet.title_box, sheet.title, title_pixels, true);
    double left = sheet.legend_box.left;
    for (const LegendEntry& entry : sheet_legend)
        left = paint_legend_entry(
            canvas, left, sheet.legend_box, colour_of(entry.colour), entry.dashed,
            QString::fromUtf8(entry.text.data(), static_cast<qsizetype>(entry.text.size())));
    for (const review::SheetPanel& panel : sheet.panels) paint_panel(canvas, panel);
    paint_drawing(canvas, sheet.scale);
}

}  // namespace

void paint_review(QPainter& painter, const review::ReviewPicture& picture) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(0, 0, picture.width, picture.height), Qt::white);
    Canvas canvas{painter, picture.style.text_scale, picture.style.line_scale,
                  picture.style.tint_defaults};
    paint_heading(canvas, picture);
    for (const review::MapPanel& map : picture.maps) paint_map(canvas, map);
    for (const review::SurfacePanel& surface : picture.surfaces) paint_surface(canvas, surface);
    for (const review::MapPanel& map : picture.integral_maps) paint_map(canvas, map);
    paint_drawing(canvas, picture.outline_legend);
    draw_text(canvas, picture.other_flags_box, picture.other_flags, body_pixels);
    draw_text(canvas, picture.least_confident_box, picture.least_confident, body_pixels);
    for (const review::PlotPanel& panel : picture.beat_panels) paint_plot(canvas, panel);
    if (picture.sheet) paint_sheet(canvas, *picture.sheet);
}

QImage render_review_image(const review::ReviewPicture& picture) {
    QImage image(static_cast<int>(std::ceil(picture.width)),
                 static_cast<int>(std::ceil(picture.height)), QImage::Format_RGB32);
    QPainter painter(&image);
    paint_review(painter, picture);
    return image;
}

QByteArray review_png(const review::ReviewPicture& picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!render_review_image(picture).save(&buffer, "PNG", png_quality)) return {};
    return bytes;
}

QByteArray review_pdf(const review::ReviewPicture& picture) {
    return review_pdf(std::span(&picture, 1), picture.heading);
}

QByteArray review_pdf(std::span<const review::ReviewPicture> pictures, const std::string& title) {
    if (pictures.empty()) return {};
    double width = 0.0, height = 0.0;
    for (const review::ReviewPicture& picture : pictures) {
        width = std::max(width, picture.width);
        height = std::max(height, picture.height);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(QString::fromStdString(title));
        writer.setCreator(QStringLiteral("mapari-review"));
        writer.setResolution(static_cast<int>(pdf_pixels_per_inch));
        const QSizeF inches(width / pdf_pixels_per_inch, height / pdf_pixels_per_inch);
        writer.setPageSize(QPageSize(inches, QPageSize::Inch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        if (!painter.begin(&writer)) return {};
        for (std::size_t k = 0; k < pictures.size(); ++k) {
            if (k > 0 && !writer.newPage()) return {};
            paint_review(painter, pictures[k]);
        }
    }  // the writer finishes the document when it goes
    return bytes;
}

}  // namespace mapari::qt
