#include "desktop/review_painter.hpp"

#include <QBuffer>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>

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

void set_font(QPainter& painter, int pixels, bool bold = false) {
    QFont font = painter.font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    painter.setFont(font);
}

void draw_text(QPainter& painter, const Box& box, const std::string& text, int pixels,
               bool bold = false, QColor colour = ink,
               int flags = static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter)) {
    set_font(painter, pixels, bold);
    painter.setPen(colour);
    painter.drawText(rect_of(box), flags, QString::fromStdString(text));
}

// Grey with diagonal hatching: the mark of a default value.
void fill_hatched(QPainter& painter, const QPainterPath& shape) {
    painter.fillPath(shape, colour_of(flagged_fill));
    painter.fillPath(shape, QBrush(hatch_ink, Qt::BDiagPattern));
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

// A cell's value: large and bold, or "no signal" small and wrapped to fit.
void paint_value(QPainter& painter, const review::MapCell& cell, const Box& box, QColor colour,
                 int alignment) {
    if (cell.no_signal)
        draw_text(painter, box, cell.value_text, small_pixels, false, muted,
                  alignment | Qt::TextWordWrap);
    else
        draw_text(painter, box, cell.value_text, value_pixels, true, colour, alignment);
}

// A grid cell: the lead number small at the top left, the value large in the middle.
void paint_grid_cell_text(QPainter& painter, const review::MapCell& cell, QColor colour) {
    Box corner = cell.box;
    corner.left += 4;
    corner.top += 2;
    draw_text(painter, corner, std::to_string(cell.lead), small_pixels, false, colour,
              Qt::AlignLeft | Qt::AlignTop);
    paint_value(painter, cell, cell.box, colour, Qt::AlignCenter);
}

// A marker: the lead number above the value, or the number alone when the marker is small.
void paint_marker_text(QPainter& painter, const review::MapCell& cell, QColor colour) {
    if (!cell.shows_value) {
        draw_text(painter, cell.box, std::to_string(cell.lead), small_pixels, false, colour,
                  Qt::AlignCenter);
        return;
    }
    Box upper = cell.box;
    upper.height /= 2;
    Box lower = upper;
    lower.top += upper.height;
    draw_text(painter, upper, std::to_string(cell.lead), small_pixels, false, colour,
              Qt::AlignHCenter | Qt::AlignBottom);
    paint_value(painter, cell, lower, colour, Qt::AlignHCenter | Qt::AlignTop);
}

// A bad lead's cell: a dark line of outline_pixels just inside its edge.
void paint_outline(QPainter& painter, const review::MapCell& cell) {
    const double inset = 0.5 + outline_pixels / 2.0;
    const QRectF box = rect_of(cell.box).adjusted(inset, inset, -inset, -inset);
    painter.setPen(QPen(ink, outline_pixels));
    painter.setBrush(Qt::NoBrush);
    if (cell.round)
        painter.drawEllipse(box);
    else
        painter.drawRect(box);
}

void paint_cell(QPainter& painter, const review::MapCell& cell) {
    const QPainterPath shape = cell_shape(cell);
    if (cell.flagged)
        fill_hatched(painter, shape);
    else
        painter.fillPath(shape, colour_of(cell.fill));
    painter.setPen(QPen(cell.flagged ? hatch_ink : QColor(Qt::white), 1.0));
    painter.drawPath(shape);
    if (cell.outlined) paint_outline(painter, cell);
    const QColor text_colour = cell.light_text ? QColor(Qt::white) : ink;
    if (cell.round)
        paint_marker_text(painter, cell, text_colour);
    else
        paint_grid_cell_text(painter, cell, text_colour);
}

void paint_colour_bar(QPainter& painter, const review::ColourBar& bar) {
    const QRectF box = rect_of(bar.box);
    Box above{bar.box.left - 10, bar.box.top - 20, bar.box.width + 40, 18};
    draw_text(painter, above, bar.label, small_pixels, false, muted);
    if (bar.range.empty) {
        QPainterPath whole_bar;
        whole_bar.addRect(box);
        fill_hatched(painter, whole_bar);
        Box note{bar.box.right() + 6, bar.box.top, 80, 40};
        draw_text(painter, note, std::string(empty_bar_note), small_pixels, false, muted,
                  Qt::AlignLeft | Qt::TextWordWrap);
        return;
    }
    QLinearGradient ramp(box.bottomLeft(), box.topLeft());
    for (int k = 0; k <= colour_bar_stops; ++k) {
        const double t = static_cast<double>(k) / colour_bar_stops;
        ramp.setColorAt(t, colour_of(review::viridis(t)));
    }
    painter.fillRect(box, ramp);
    painter.setPen(QPen(muted, 1.0));
    painter.drawRect(box);
    for (const review::Tick& tick : bar.ticks) {
        painter.setPen(QPen(ink, 1.0));
        painter.drawLine(QPointF(box.right(), tick.y), QPointF(box.right() + 5, tick.y));
        Box label{box.right() + 8, tick.y - 9, 60, 18};
        draw_text(painter, label, tick.label, small_pixels);
    }
}

void paint_map(QPainter& painter, const review::MapPanel& map) {
    draw_text(painter, map.title_box, map.title, title_pixels, true);
    for (const review::MapCell& cell : map.cells) paint_cell(painter, cell);
    paint_colour_bar(painter, map.bar);
    draw_text(painter, map.note_box, map.note, body_pixels, false, muted);
}

void paint_plot(QPainter& painter, const review::PlotPanel& panel) {
    draw_text(painter, panel.title_box, panel.title, title_pixels, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(muted, 1.0));
    painter.drawRect(
        QRectF(panel.field.left, panel.field.top, panel.field.width, panel.field.height));
    Box label = panel.legend_box;
    label.height =
        label.height / static_cast<double>(std::max<std::size_t>(panel.curves.size(), 1));
    for (const review::PlotCurve& curve : panel.curves) {
        const QColor colour = colour_of(curve_ink(curve.colour, panel.curves.size()));
        painter.setPen(QPen(colour, 1.5));
        painter.setBrush(colour);
        QPolygonF line;
        for (const review::Point& point : curve.points) {
            if (curve.joined)
                line << QPointF(point.x, point.y);
            else
                painter.drawEllipse(QPointF(point.x, point.y), 2.5, 2.5);
        }
        if (curve.joined) painter.drawPolyline(line);
        if (curve.fitted)
            painter.drawLine(QPointF(curve.fitted->first.x, curve.fitted->first.y),
                             QPointF(curve.fitted->second.x, curve.fitted->second.y));
        draw_text(painter, label, curve.label, body_pixels, false, colour);
        label.top += label.height;
    }
    draw_text(painter, panel.axes_box, panel.axes, body_pixels, false, muted);
}

void paint_heading(QPainter& painter, const review::ReviewPicture& picture) {
    draw_text(painter, picture.heading_box, picture.heading, heading_pixels, true);
    draw_text(painter, picture.details_box, picture.details, body_pixels);
    if (picture.legend.empty()) return;
    const Box& legend = picture.legend_box;
    QPainterPath swatch;
    swatch.addRect(QRectF(legend.left, legend.top + 4, 34, legend.height - 8));
    fill_hatched(painter, swatch);
    Box text = legend;
    text.left += 42;
    text.width -= 42;
    draw_text(painter, text, std::string(hatching_legend_prefix) + picture.legend, body_pixels);
}

// A mark of one sample across the trace: solid for a finding, dashed for a
// default, with a small triangle at the top.
void paint_sample_mark(QPainter& painter, double x, const Box& panel, QColor colour,
                       bool is_default) {
    QPen pen(colour, 1.5, is_default ? Qt::DashLine : Qt::SolidLine);
    painter.setPen(pen);
    painter.drawLine(QPointF(x, panel.top + 14), QPointF(x, panel.bottom() - 2));
    QPolygonF triangle{{x - 4, panel.top + 10}, {x + 4, panel.top + 10}, {x, panel.top + 16}};
    painter.setBrush(is_default ? QBrush(Qt::white) : QBrush(colour));
    painter.setPen(QPen(colour, 1.0));
    painter.drawPolygon(triangle);
    painter.setBrush(Qt::NoBrush);
}

void paint_panel_marks(QPainter& painter, const review::SheetPanel& panel) {
    painter.setPen(QPen(fiducial_ink, 1.0));
    for (const auto& x : {panel.reference_x, panel.j_x, panel.t_end_x})
        if (x) painter.drawLine(QPointF(*x, panel.box.top + 14), QPointF(*x, panel.box.bottom()));
    if (panel.activation_x)
        paint_sample_mark(painter, *panel.activation_x, panel.box, activation_ink,
                          panel.no_downstroke);
    if (panel.recovery_x)
        paint_sample_mark(painter, *panel.recovery_x, panel.box, recovery_ink, panel.no_upstroke);
}

void paint_panel(QPainter& painter, const review::SheetPanel& panel) {
    // A tinted panel finds a lead with a default among the 64 at a glance.
    if (panel.no_downstroke || panel.no_upstroke)
        painter.fillRect(rect_of(panel.box), colour_of(flagged_panel_fill));
    painter.setPen(QPen(colour_of(panel_frame), 1.0));
    painter.drawRect(rect_of(panel.box));
    paint_panel_marks(painter, panel);
    QPolygonF trace;
    for (const review::Point& point : panel.trace) trace << QPointF(point.x, point.y);
    painter.setPen(QPen(ink, 1.0));
    painter.drawPolyline(trace);
    Box label{panel.box.left + 3, panel.box.top, panel.box.width - 6, 14};
    draw_text(painter, label, std::to_string(panel.lead), small_pixels, true);
    draw_text(painter, label, panel.tag, small_pixels, false, colour_of(flag_tag_ink),
              Qt::AlignRight | Qt::AlignVCenter);
}

// One legend entry: a short sample of the mark, then its text; returns where the next goes.
double paint_legend_entry(QPainter& painter, double left, const Box& row, QColor colour,
                          bool dashed, const QString& text) {
    painter.setPen(QPen(colour, 1.5, dashed ? Qt::DashLine : Qt::SolidLine));
    painter.drawLine(QPointF(left + 4, row.top + 4), QPointF(left + 4, row.bottom() - 4));
    set_font(painter, body_pixels);
    painter.setPen(ink);
    const QRectF text_box(left + 12, row.top, 400, row.height);
    QRectF used;
    painter.drawText(text_box, Qt::AlignLeft | Qt::AlignVCenter, text, &used);
    return used.right() + 22;
}

void paint_sheet(QPainter& painter, const review::ReviewSheet& sheet) {
    draw_text(painter, sheet.title_box, sheet.title, title_pixels, true);
    double left = sheet.legend_box.left;
    for (const LegendEntry& entry : sheet_legend)
        left = paint_legend_entry(
            painter, left, sheet.legend_box, colour_of(entry.colour), entry.dashed,
            QString::fromUtf8(entry.text.data(), static_cast<qsizetype>(entry.text.size())));
    for (const review::SheetPanel& panel : sheet.panels) paint_panel(painter, panel);
}

}  // namespace

void paint_review(QPainter& painter, const review::ReviewPicture& picture) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(0, 0, picture.width, picture.height), Qt::white);
    paint_heading(painter, picture);
    for (const review::MapPanel& map : picture.maps) paint_map(painter, map);
    draw_text(painter, picture.other_flags_box, picture.other_flags, body_pixels);
    draw_text(painter, picture.least_confident_box, picture.least_confident, body_pixels);
    for (const review::PlotPanel& panel : picture.beat_panels) paint_plot(painter, panel);
    if (picture.sheet) paint_sheet(painter, *picture.sheet);
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
