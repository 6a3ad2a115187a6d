// The thin-plate spline over the electrodes: planes come back exactly, the
// surface passes through every value, and what it cannot do is refused.
#include <gtest/gtest.h>

#include <cmath>

#include "review/surface_interpolation.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// z = 10 + 3x − 2y at every lead of the layout.
LeadSamples plane_on(const ElectrodeLayout& layout) {
    LeadSamples values;
    for (std::size_t k = 0; k < values.size(); ++k)
        values[k] = 10 + 3 * layout.positions[k].x - 2 * layout.positions[k].y;
    return values;
}

// A 4 × 16 array of electrodes 2.5 units apart, every other row shifted by half a spacing.
ElectrodeLayout staggered_layout() {
    ElectrodeLayout layout;
    layout.is_grid = false;
    for (int k = 0; k < lead_count; ++k) {
        const int column = k % 16, row = k / 16;
        layout.positions[static_cast<std::size_t>(k)] = {2.5 * column + (row % 2) * 1.25,
                                                         2.5 * row};
    }
    return layout;
}

TEST(SurfaceInterpolation, GridNodesCoverTheElectrodesFromTheTopLeft) {
    // 8 × 8 grid from 0 to 7: 29 nodes across are 0.25 apart.
    const auto grid = interpolated_surface(grid_layout(), plane_on(grid_layout()), 29);
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->columns, 29);
    EXPECT_EQ(grid->rows, 29);
    EXPECT_DOUBLE_EQ(grid->step, 0.25);
    EXPECT_DOUBLE_EQ(grid->position(4, 8).x, 1.0);
    EXPECT_DOUBLE_EQ(grid->position(4, 8).y, 2.0);
}

TEST(SurfaceInterpolation, APlaneComesBackAtEveryNode) {
    struct Case {
        const char* name;
        ElectrodeLayout layout;
    };
    for (const Case& c : {Case{"grid", grid_layout()}, Case{"staggered", staggered_layout()}}) {
        SCOPED_TRACE(c.name);
        const auto grid = interpolated_surface(c.layout, plane_on(c.layout), 41);
        ASSERT_TRUE(grid);
        int inside = 0;
        for (int row = 0; row < grid->rows; ++row)
            for (int column = 0; column < grid->columns; ++column) {
                const double z = grid->at(column, row);
                if (std::isnan(z)) continue;
                ++inside;
                const Position p = grid->position(column, row);
                EXPECT_NEAR(z, 10 + 3 * p.x - 2 * p.y, 1e-6) << column << ", " << row;
            }
        EXPECT_GT(inside, grid->columns * grid->rows / 2);
    }
}

TEST(SurfaceInterpolation, PassesThroughEveryValueAndFillsLeadsLeftOut) {
    LeadSamples values;
    for (std::size_t k = 0; k < values.size(); ++k)
        values[k] = static_cast<double>((k * 37) % 11);  // no pattern a plane would follow
    values[27].reset();                                  // lead 28 at (3, 3)
    const auto grid = interpolated_surface(grid_layout(), values, 8);
    ASSERT_TRUE(grid);
    ASSERT_EQ(grid->step, 1.0);  // one node at each electrode
    for (int k = 0; k < lead_count; ++k) {
        if (const auto& value = values[static_cast<std::size_t>(k)]) {
            EXPECT_NEAR(grid->at(k % 8, k / 8), *value, 1e-7) << k;
        }
    }
    EXPECT_FALSE(std::isnan(grid->at(3, 3)));
}

TEST(SurfaceInterpolation, NodesOutsideTheElectrodesHullAreNaN) {
    // Rows at y = 0 and 5 run from x = 0 to 37.5, rows at 2.5 and 7.5 from
    // 1.25 to 38.75: 63 nodes across 38.75 are 0.625 apart, and the corners
    // (0, 7.5) and (38.75, 0) lie outside the hull, (1.25, 7.5) on it.
    const ElectrodeLayout layout = staggered_layout();
    const auto grid = interpolated_surface(layout, plane_on(layout), 63);
    ASSERT_TRUE(grid);
    EXPECT_DOUBLE_EQ(grid->step, 0.625);
    ASSERT_EQ(grid->rows, 13);
    EXPECT_TRUE(std::isnan(grid->at(0, 12)));
    EXPECT_TRUE(std::isnan(grid->at(1, 12)));  // x = 0.625, left of the edge (0, 5)–(1.25, 7.5)
    EXPECT_FALSE(std::isnan(grid->at(2, 12)));
    EXPECT_TRUE(std::isnan(grid->at(62, 0)));
    EXPECT_FALSE(std::isnan(grid->at(0, 0)));
    EXPECT_FALSE(std::isnan(grid->at(0, 4)));  // (0, 2.5) on the left edge
}

TEST(SurfaceInterpolation, RefusesFewerThanThreeLeadsOrLeadsOnOneLine) {
    LeadSamples two;
    two[0] = 1.0, two[1] = 2.0;
    EXPECT_FALSE(interpolated_surface(grid_layout(), two, 16));
    LeadSamples one_row;  // leads 1 to 8, all at y = 0
    for (std::size_t k = 0; k < 8; ++k) one_row[k] = static_cast<double>(k);
    EXPECT_FALSE(interpolated_surface(grid_layout(), one_row, 16));
    LeadSamples corner = one_row;
    corner[8] = 5.0;  // lead 9 at (0, 1)
    EXPECT_TRUE(interpolated_surface(grid_layout(), corner, 16));
}

}  // namespace
}  // namespace mapari::review_tests
