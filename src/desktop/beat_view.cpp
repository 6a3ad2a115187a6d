#include "desktop/beat_view.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "beats/selection.hpp"

namespace mapari::qt {
namespace {

constexpr double margin_left_pixels = 70.0, margin_right_pixels = 12.0;
constexpr double margin_top_pixels = 22.0, margin_bottom_pixels = 28.0;
constexpr double mark_reach_pixels = 6.0;
constexpr int band_count = display_lead_count + 1;
constexpr int axis_step_ms = 100;

// The marks' names on the view, 1 the stimulus (the reference) to 4 the T end.
const char* const mark_labels[fiducial_count] = {"ref", "Q onset", "J point", "T end"};
const QColor trace_colours[band_count] = {QColor(20, 60, 160), QColor(20, 120, 40),
                                          QColor(140, 60, 20), QColor(60, 60, 60)};

}  // namespace

BeatView::BeatView(StudyReview& review, QWidget* parent) : QWidget(parent), review_(review) {
    setMinimumSize(640, 360);
    setMouseTracking(false);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

QRectF BeatView::plot_area() const {
    return QRectF(margin_left_pixels, margin_top_pixels,
                  width() - margin_left_pixels - margin_right_pixels,
                  height() - margin_top_pixels - margin_bottom_pixels);
}

double BeatView::x_of_row(double row) const {
    const QRectF plot = plot_area();
    return plot.left() + (row - 1.0) * plot.width() / (beat_window_rows - 1);
}

std::int32_t BeatView::row_at_x(double x) const {
    const QRectF plot = plot_area();
    const double row = 1.0 + (x - plot.left()) * (beat_window_rows - 1) / plot.width();
    return static_cast<std::int32_t>(std::lround(std::clamp(row, 1.0, 1.0 * beat_window_rows)));
}

int BeatView::mark_near(double x) const {
    int nearest = 0;
    double nearest_distance = mark_reach_pixels;
    for (int mark = 1; mark <= fiducial_count; ++mark) {
        const double distance = std::abs(x_of_row(review_.mark_row(mark)) - x);
        // The chosen mark wins where marks lie on one another.
        if (distance < nearest_distance ||
            (distance <= nearest_distance && mark == review_.chosen_mark())) {
            nearest = mark;
            nearest_distance = distance;
        }
    }
    return nearest;
}

void BeatView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!review_.has_selection()) {
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Select a recording"));
        return;
    }
    const QRectF plot = plot_area();
    const double band_height = plot.height() / band_count;
    const RecordingAnalysis& record = review_.record();
    for (int band = 0; band < display_lead_count; ++band) {
        const int lead = record.display_leads[static_cast<std::size_t>(band)];
        std::vector<float> values(averaged_rows);
        for (int row = 1; row <= averaged_rows; ++row)
            values[static_cast<std::size_t>(row - 1)] = review_.preview().at(row, lead);
        paint_band(painter,
                   QRectF(plot.left(), plot.top() + band * band_height, plot.width(), band_height),
                   values, QStringLiteral("lead %1").arg(lead), trace_colours[band]);
    }
    paint_band(painter,
               QRectF(plot.left(), plot.top() + display_lead_count * band_height, plot.width(),
                      band_height),
               review_.rms(), QStringLiteral("RMS"), trace_colours[display_lead_count]);
    paint_axis(painter, plot);
    paint_marks(painter, plot);
}

// One curve scaled to its band, its largest swing filling it, over the rows drawn.
void BeatView::paint_band(QPainter& painter, const QRectF& band, const std::vector<float>& values,
                          const QString& label, const QColor& colour) const {
    float low = values.front(), high = values.front();
    for (int row = 1; row <= beat_window_rows; ++row) {
        low = std::min(low, values[static_cast<std::size_t>(row - 1)]);
        high = std::max(high, values[static_cast<std::size_t>(row - 1)]);
    }
    const double span = high > low ? high - low : 1.0;
    QPainterPath path;
    for (int row = 1; row <= beat_window_rows; ++row) {
        const double y =
            band.bottom() - 4.0 -
            (values[static_cast<std::size_t>(row - 1)] - low) / span * (band.height() - 8.0);
        if (row == 1)
            path.moveTo(x_of_row(row), y);
        else
            path.lineTo(x_of_row(row), y);
    }
    painter.setPen(QPen(colour, 1.2));
    painter.drawPath(path);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRectF(0, band.top(), margin_left_pixels - 6, band.height()),
                     Qt::AlignRight | Qt::AlignVCenter, label);
}

void BeatView::paint_axis(QPainter& painter, const QRectF& plot) const {
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(plot);
    painter.setPen(palette().color(QPalette::Text));
    for (int ms = axis_step_ms; ms <= beat_window_rows; ms += axis_step_ms) {
        const double x = x_of_row(ms);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
        painter.drawText(QRectF(x - 30, plot.bottom() + 4, 60, 20), Qt::AlignCenter,
                         QString::number(ms));
    }
    painter.drawText(QRectF(0, plot.bottom() + 4, margin_left_pixels - 6, 20),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ms"));
}

void BeatView::paint_marks(QPainter& painter, const QRectF& plot) const {
    for (int mark = 1; mark <= fiducial_count; ++mark) {
        const bool chosen = mark == review_.chosen_mark();
        const bool moved = review_.mark_row(mark) != review_.saved_mark_row(mark);
        const double x = x_of_row(review_.mark_row(mark));
        if (moved) {
            // Where the mark was saved, faint, so that the move can be judged.
            const double saved_x = x_of_row(review_.saved_mark_row(mark));
            painter.setPen(QPen(QColor(160, 160, 160), 1.0, Qt::DotLine));
            painter.drawLine(QPointF(saved_x, plot.top()), QPointF(saved_x, plot.bottom()));
        }
        painter.setPen(QPen(moved ? QColor(200, 30, 30) : QColor(90, 90, 200), chosen ? 2.5 : 1.0,
                            chosen ? Qt::SolidLine : Qt::DashLine));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        const QString text = QStringLiteral("%1 %2 %3")
                                 .arg(mark)
                                 .arg(QString::fromLatin1(mark_labels[mark - 1]))
                                 .arg(review_.mark_row(mark));
        // Labels alternate in height so that marks close together stay readable.
        painter.drawText(QPointF(x + 3, mark % 2 == 1 ? 10.0 : 20.0), text);
    }
}

void BeatView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !review_.has_selection()) return;
    const int mark = mark_near(event->position().x());
    if (mark == 0) return;
    review_.start_drag(mark);
    dragging_ = true;
    update();
}

void BeatView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    review_.drag_to(row_at_x(event->position().x()));
    if (on_moved) on_moved();
}

void BeatView::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_) return;
    dragging_ = false;
    review_.drag_to(row_at_x(event->position().x()));
    if (on_moved) on_moved();
}

}  // namespace mapari::qt
