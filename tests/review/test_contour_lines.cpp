// Marching squares: lines of a level lie where the surface crosses it, join
// into one polyline, close round a peak, and skip what is not sampled.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "review/contour_lines.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// Nodes 1 unit apart from (0, 0), each value f(x, y).
template <typename F>
SurfaceGrid sampled(int columns, int rows, F f) {
    SurfaceGrid grid{{0.0, 0.0}, 1.0, columns, rows, {}};
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            grid.values.push_back(f(double(column), double(row)));
    return grid;
}

TEST(ContourLines, APlaneIsCutAlongOneStraightLine) {
    // z = 2x on 6 × 4 nodes: level 5 runs along x = 2.5 from the top to the bottom.
    const auto lines = contour_lines(sampled(6, 4, [](double x, double) { return 2 * x; }), 5.0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FALSE(lines[0].closed);
    ASSERT_EQ(lines[0].points.size(), 4u);  // one point on each row's edge
    for (const Position& p : lines[0].points) EXPECT_DOUBLE_EQ(p.x, 2.5);
    EXPECT_DOUBLE_EQ(std::fabs(lines[0].points.front().y - lines[0].points.back().y), 3.0);
}

TEST(ContourLines, APeakIsRingedByOneClosedLine) {
    // A cone of height 10 at (3, 3): level 8 is the circle of radius 2 round it.
    const auto cone = [](double x, double y) { return 10 - std::hypot(x - 3, y - 3); };
    const auto lines = contour_lines(sampled(7, 7, cone), 8.0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].closed);
    EXPECT_DOUBLE_EQ(lines[0].points.front().x, lines[0].points.back().x);
    EXPECT_DOUBLE_EQ(lines[0].points.front().y, lines[0].points.back().y);
    for (const Position& p : lines[0].points)
        EXPECT_NEAR(std::hypot(p.x - 3, p.y - 3), 2.0, 0.25);  // chords of a 1-unit grid
}

TEST(ContourLines, ASaddleFollowsTheMeanOfItsCorners) {
    // Corners 0 1 / 1 0 (top left, top right / bottom left, bottom right), level 0.5:
    // a mean of 0.5 is above, unlike the top left corner, so the high corners join
    // through the centre and each low corner is cut off by a line of its own.
    SurfaceGrid saddle{{0.0, 0.0}, 1.0, 2, 2, {0.0, 1.0, 1.0, 0.0}};
    const auto lines = contour_lines(saddle, 0.5);
    ASSERT_EQ(lines.size(), 2u);
    for (const ContourLine& line : lines) {
        ASSERT_EQ(line.points.size(), 2u);
        // Each line cuts off a corner at (0, 0) or (1, 1): its ends are at 0.5 on two edges
        // that meet at that corner.
        const Position a = line.points[0], b = line.points[1];
        const bool top_left = (a.x + a.y + b.x + b.y) < 2.0;
        const double corner = top_left ? 0.0 : 1.0;
        EXPECT_DOUBLE_EQ(std::fabs(a.x - corner) + std::fabs(a.y - corner), 0.5);
        EXPECT_DOUBLE_EQ(std::fabs(b.x - corner) + std::fabs(b.y - corner), 0.5);
    }
}

TEST(ContourLines, SquaresWithANaNNodeArePassedOver) {
    // The plane z = x with the node (2, 1) missing: of the squares from x = 1 to 2 that
    // level 1.5 crosses, only the one from row 2 to row 3 has four nodes.
    SurfaceGrid grid = sampled(4, 4, [](double x, double) { return x; });
    grid.values[1 * 4 + 2] = std::numeric_limits<double>::quiet_NaN();
    const auto lines = contour_lines(grid, 1.5);
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].points.size(), 2u);
    for (const Position& p : lines[0].points) EXPECT_DOUBLE_EQ(p.x, 1.5);
}

TEST(ContourLines, LevelsAreTheMultiplesOfTheStepInTheRange) {
    struct Case {
        double low, high, step;
        int most;
        std::vector<double> levels;
    };
    const Case cases[] = {
        {12, 61, 10, 50, {20, 30, 40, 50, 60}},
        {20, 60, 20, 50, {20, 40, 60}},  // both ends included
        {-15, 5, 10, 50, {-10, 0}},
        {12, 61, 10, 4, {}},  // five would be more than the four allowed
        {12, 61, 0, 50, {}},
        {12, 61, -5, 50, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(contour_levels(c.low, c.high, c.step, c.most), c.levels)
            << c.low << ".." << c.high << " by " << c.step;
}

}  // namespace
}  // namespace mapari::review_tests
