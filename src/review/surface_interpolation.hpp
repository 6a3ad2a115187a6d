// Values of the leads spread over the electrode layout: a smooth surface
// through every lead that has a value, sampled on a fine square grid for the
// isochrone and integral maps.
//
// Method: the thin-plate spline, z(p) = a0 + a1·x + a2·y + Σ w_i φ(|p − p_i|)
// with φ(r) = r² log r, whose weights make it pass through each value and
// whose bending is the least of all surfaces that do (Duchon 1977). It works
// on the 8 × 8 grid and on any electrode array alike, reproduces a value that
// is a linear function of position exactly (so a plane wave of activation
// keeps straight, evenly spaced isochrones), and needs no triangulation. The
// 67 × 67 linear system is solved by Gaussian elimination with partial
// pivoting.
//
// Limits: the surface is sampled only inside the convex hull of the layout's
// electrodes (outside it would be extrapolation); nodes outside are NaN.
// Leads without a value are left out of the fit and their place filled by
// the surface. At least three leads not on one line are needed.
//
// Check: values a + b·x + c·y planted on any layout come back at every node
// to within rounding (tests/review/test_surface_interpolation.cpp).
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "review/electrode_layout.hpp"

namespace mapari::review {

// One value a lead, none where the lead is left out; element l - 1: lead l.
using LeadSamples = std::array<std::optional<double>, lead_count>;

// The surface sampled on nodes `step` layout units apart, row by row from
// the top left corner of the electrodes' bounding box.
struct SurfaceGrid {
    Position origin;  // the node of column 0, row 0, in layout units
    double step = 1.0;
    int columns = 0;
    int rows = 0;
    std::vector<double> values;  // row-major; NaN outside the electrodes' hull

    // The value at a node, column 0..columns − 1 and row 0..rows − 1.
    double at(int column, int row) const {
        return values[static_cast<std::size_t>(row * columns + column)];
    }
    Position position(double column, double row) const {
        return {origin.x + column * step, origin.y + row * step};
    }
};

// The thin-plate spline through the values, sampled with `nodes_across`
// nodes along the longer side of the bounding box (at least 2); none when
// fewer than three leads not on one line have a value.
std::optional<SurfaceGrid> interpolated_surface(const ElectrodeLayout& layout,
                                                const LeadSamples& values, int nodes_across);

}  // namespace mapari::review
