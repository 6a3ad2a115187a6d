// The trace window's drawing surface of 1000 × 300 drawing pixels, stretched
// over a widget of any size. Clicks and painting both go through this mapping,
// so a click on a drawn line gives back the pixel the line was drawn at.
#pragma once

#include <QPoint>
#include <QSize>
#include <QTransform>

namespace mapari::qt {

class SurfaceMapping {
  public:
    explicit SurfaceMapping(QSize widget_size);

    // The drawing pixel under a widget position: x × 1000 / width and
    // y × 300 / height, cut toward zero.
    QPoint drawing_pixel_at(QPoint widget_position) const;
    // The same ratios the other way, as the painter's transform. The painter
    // draws drawing pixel p through the whole coordinate p with a pen one pixel
    // wide, covering p - 0.5 to p + 0.5; the transform moves that half a
    // drawing pixel on, to the square p to p + 1, and half a widget pixel on,
    // so that the widget pixels it fills are those whose clicks give p.
    QTransform drawing_to_widget() const;
    // The first widget position on the drawing pixel (on a widget smaller than
    // the drawing, several pixels share a position and this is the first one's).
    QPoint widget_position_of(QPoint drawing_pixel) const;

  private:
    int width_;
    int height_;
};

}  // namespace mapari::qt
