// The averaged beat of the study window: the three display leads and the
// RMS of every lead with a signal, one band each, on a time axis in ms (row
// k of the beat at k ms, 1 ms a row), with the four marks as vertical lines.
// A mark is dragged with the left button; the view only shows the study's
// model and forwards the drag to it.
#pragma once

#include <QWidget>
#include <functional>

#include "app/study_review.hpp"

namespace mapari::qt {

class BeatView : public QWidget {
  public:
    explicit BeatView(StudyReview& review, QWidget* parent = nullptr);

    // The one mapping between rows of the beat and the view's x, used by the
    // drawing and the picking alike.
    double x_of_row(double row) const;
    std::int32_t row_at_x(double x) const;

    // Called after a drag moved a mark.
    std::function<void()> on_moved;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // The mark whose line lies within reach of x; 0 for none.
    int mark_near(double x) const;
    void paint_band(QPainter& painter, const QRectF& band, const std::vector<float>& values,
                    const QString& label, const QColor& colour) const;
    void paint_axis(QPainter& painter, const QRectF& plot) const;
    void paint_marks(QPainter& painter, const QRectF& plot) const;
    QRectF plot_area() const;

    StudyReview& review_;
    bool dragging_ = false;
};

}  // namespace mapari::qt
