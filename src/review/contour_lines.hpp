// Contour lines of a sampled surface: where it crosses a level, as polylines
// in layout units, for the isochrones (lines of equal time) of the maps.
//
// Method: marching squares. Each square of four neighbouring nodes is cut
// where the level falls between two corners, at the place linear
// interpolation along the edge puts it; a node exactly at the level counts as
// above it. A square with all four edges cut (a saddle) is resolved by the
// mean of its corners: when the mean is on the side of the top left corner,
// that corner's region runs through the centre. Cut pieces that share an
// edge are joined into one polyline, open where it meets the surface's edge
// or a NaN node, closed (first point repeated last) where it comes round.
// Squares with a NaN corner are passed over.
//
// Check: on a plane z = x the line of level c runs along x = c
// (tests/review/test_contour_lines.cpp).
#pragma once

#include <vector>

#include "review/surface_interpolation.hpp"

namespace mapari::review {

struct ContourLine {
    double level = 0.0;
    std::vector<Position> points;  // in layout units
    bool closed = false;
};

// Every line of the surface at `level`.
std::vector<ContourLine> contour_lines(const SurfaceGrid& grid, double level);

// The levels of the isochrones: the multiples of `step` from low to high,
// both included; none when step is not positive or more than `most` would be
// drawn.
std::vector<double> contour_levels(double low, double high, double step, int most);

}  // namespace mapari::review
