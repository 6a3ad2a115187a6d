// The one mapping between widget positions and drawing pixels.
#include <gtest/gtest.h>

#include "desktop/surface_mapping.hpp"
#include "window/window_model.hpp"

namespace mapari::desktop_tests {

namespace {

using qt::SurfaceMapping;

TEST(SurfaceMapping, WidgetPositionsGiveDrawingPixelsCutTowardZero) {
    EXPECT_EQ(SurfaceMapping({1000, 300}).drawing_pixel_at({250, 120}), QPoint(250, 120));
    EXPECT_EQ(SurfaceMapping({1500, 450}).drawing_pixel_at({900, 300}), QPoint(600, 200));
    EXPECT_EQ(SurfaceMapping({1500, 450}).drawing_pixel_at({901, 301}), QPoint(600, 200));
    EXPECT_EQ(SurfaceMapping({1500, 450}).drawing_pixel_at({1499, 449}), QPoint(999, 299));
    EXPECT_EQ(SurfaceMapping({500, 150}).drawing_pixel_at({1, 1}), QPoint(2, 2));
}

// Surfaces of the zoom levels from 100 % up, where every drawing pixel has
// widget pixels of its own.
class SurfaceSizes : public ::testing::TestWithParam<QSize> {};

TEST_P(SurfaceSizes, EveryDrawingPixelIsReachedByTheWidgetPositionOfIt) {
    const SurfaceMapping mapping(GetParam());
    for (int column = 0; column < drawing_width_pixels; ++column) {
        QPoint position = mapping.widget_position_of({column, 0});
        ASSERT_EQ(mapping.drawing_pixel_at(position).x(), column) << "column " << column;
    }
    for (int row = 0; row < drawing_height_pixels; ++row) {
        QPoint position = mapping.widget_position_of({0, row});
        ASSERT_EQ(mapping.drawing_pixel_at(position).y(), row) << "row " << row;
    }
}

TEST_P(SurfaceSizes, ThePaintersTransformPutsEachPixelWhereClicksGiveIt) {
    // The painter fills the widget pixels whose centres lie in the pen's span
    // (one on its right edge counts, one on its left does not); the pen runs
    // from p - 0.5 to p + 0.5 in drawing pixels.
    const SurfaceMapping mapping(GetParam());
    const QTransform transform = mapping.drawing_to_widget();
    for (int column = 0; column < drawing_width_pixels; ++column) {
        const double from = transform.map(QPointF(column - 0.5, 0)).x();
        const double to = transform.map(QPointF(column + 0.5, 0)).x();
        int filled = 0;
        for (int k = static_cast<int>(from) - 1; k <= static_cast<int>(to) + 1; ++k) {
            if (k + 0.5 <= from || k + 0.5 > to) continue;
            ASSERT_EQ(mapping.drawing_pixel_at({k, 0}).x(), column) << "widget pixel " << k;
            ++filled;
        }
        ASSERT_GE(filled, 1) << "column " << column << " fills no widget pixel";
    }
}

INSTANTIATE_TEST_SUITE_P(DesktopSizes, SurfaceSizes,
                         ::testing::Values(QSize(1000, 300), QSize(1250, 375), QSize(1500, 450),
                                           QSize(2000, 600), QSize(2500, 750), QSize(3000, 900)));

TEST(SurfaceMapping, ADegenerateWidgetDoesNotDivideByZero) {
    EXPECT_EQ(SurfaceMapping({0, 0}).drawing_pixel_at({0, 0}), QPoint(0, 0));
}

}  // namespace
}  // namespace mapari::desktop_tests
