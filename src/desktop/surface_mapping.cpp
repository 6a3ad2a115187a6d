#include "desktop/surface_mapping.hpp"

#include <algorithm>

#include "window/window_model.hpp"

namespace mapari::qt {
namespace {

// One coordinate from an extent of `from` units to an extent of `to` units,
// cut toward zero; 64-bit so that large widgets cannot overflow.
int rescale(int position, int from, int to) {
    return static_cast<int>(static_cast<long long>(position) * to / from);
}

// Qt's raster painter fills a widget pixel when its centre lies in a shape,
// counting a centre on the shape's right or bottom edge and not one on its left
// or top edge. Shifting shapes by a little under half a pixel turns that into
// "the pixel's left or top edge lies in the shape", which is how clicks are
// mapped. The shortfall is 1/16: Qt places shapes to 1/64 of a pixel, and at
// the zoom levels the edges fall on quarter pixels.
constexpr double widget_pixel_shift = 0.5 - 1.0 / 16.0;

// The first widget position at or after the edge of a drawing pixel: the
// pixel × widget extent / drawing extent, rounded up.
int first_widget_position(int pixel, int drawing_extent, int widget_extent) {
    long long numerator = static_cast<long long>(pixel) * widget_extent;
    return static_cast<int>((numerator + drawing_extent - 1) / drawing_extent);
}

}  // namespace

SurfaceMapping::SurfaceMapping(QSize widget_size)
    : width_(std::max(1, widget_size.width())), height_(std::max(1, widget_size.height())) {}

QPoint SurfaceMapping::drawing_pixel_at(QPoint widget_position) const {
    return {rescale(widget_position.x(), width_, drawing_width_pixels),
            rescale(widget_position.y(), height_, drawing_height_pixels)};
}

QTransform SurfaceMapping::drawing_to_widget() const {
    // Read from the last step back: half a drawing pixel, the ratios, a little
    // under half a widget pixel.
    QTransform transform = QTransform::fromTranslate(widget_pixel_shift, widget_pixel_shift);
    transform.scale(static_cast<double>(width_) / drawing_width_pixels,
                    static_cast<double>(height_) / drawing_height_pixels);
    return transform.translate(0.5, 0.5);
}

QPoint SurfaceMapping::widget_position_of(QPoint drawing_pixel) const {
    return {first_widget_position(drawing_pixel.x(), drawing_width_pixels, width_),
            first_widget_position(drawing_pixel.y(), drawing_height_pixels, height_)};
}

}  // namespace mapari::qt
