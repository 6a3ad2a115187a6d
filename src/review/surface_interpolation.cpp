#include "review/surface_interpolation.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mapari::review {
namespace {

struct Known {
    Position at;  // in units of the layout's least spacing, about the centroid
    double value = 0.0;
};

double radial(double dx, double dy) {
    const double r2 = dx * dx + dy * dy;
    return r2 > 0.0 ? 0.5 * r2 * std::log(r2) : 0.0;  // r² log r, written with r²
}

// Solves a·x = b in place (b becomes x); false when a pivot is zero against
// the matrix's largest entry, i.e. the system is singular.
bool solve_in_place(std::vector<double>& a, std::vector<double>& b) {
    const std::size_t n = b.size();
    double largest = 0.0;
    for (double entry : a) largest = std::max(largest, std::fabs(entry));
    const double tiny = largest * 1e-12;
    for (std::size_t col = 0; col < n; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < n; ++row)
            if (std::fabs(a[row * n + col]) > std::fabs(a[pivot * n + col])) pivot = row;
        if (std::fabs(a[pivot * n + col]) <= tiny) return false;
        if (pivot != col) {
            for (std::size_t k = 0; k < n; ++k) std::swap(a[col * n + k], a[pivot * n + k]);
            std::swap(b[col], b[pivot]);
        }
        for (std::size_t row = col + 1; row < n; ++row) {
            const double factor = a[row * n + col] / a[col * n + col];
            if (factor == 0.0) continue;
            for (std::size_t k = col; k < n; ++k) a[row * n + k] -= factor * a[col * n + k];
            b[row] -= factor * b[col];
        }
    }
    for (std::size_t col = n; col-- > 0;) {
        double sum = b[col];
        for (std::size_t k = col + 1; k < n; ++k) sum -= a[col * n + k] * b[k];
        b[col] = sum / a[col * n + col];
    }
    return true;
}

// The spline's weights w_1..w_n, then a0, a1, a2; none when singular.
std::optional<std::vector<double>> spline_weights(const std::vector<Known>& known) {
    const std::size_t n = known.size(), m = n + 3;
    std::vector<double> a(m * m, 0.0), b(m, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j)
            a[i * m + j] = radial(known[i].at.x - known[j].at.x, known[i].at.y - known[j].at.y);
        const double affine[] = {1.0, known[i].at.x, known[i].at.y};
        for (std::size_t k = 0; k < 3; ++k) a[i * m + n + k] = a[(n + k) * m + i] = affine[k];
        b[i] = known[i].value;
    }
    if (!solve_in_place(a, b)) return std::nullopt;
    return b;
}

double cross(Position o, Position a, Position b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// The convex hull, counter-clockwise in x right, y up terms (Andrew's monotone chain).
std::vector<Position> convex_hull(std::vector<Position> points) {
    std::sort(points.begin(), points.end(),
              [](Position p, Position q) { return p.x < q.x || (p.x == q.x && p.y < q.y); });
    std::vector<Position> hull(2 * points.size());
    std::size_t size = 0;
    for (const Position& point : points) {
        while (size >= 2 && cross(hull[size - 2], hull[size - 1], point) <= 0) --size;
        hull[size++] = point;
    }
    for (std::size_t k = points.size() - 1, lower = size + 1; k-- > 0;) {
        while (size >= lower && cross(hull[size - 2], hull[size - 1], points[k]) <= 0) --size;
        hull[size++] = points[k];
    }
    hull.resize(size - 1);
    return hull;
}

// Inside or on the hull, within `tolerance` layout units.
bool inside(const std::vector<Position>& hull, Position p, double tolerance) {
    for (std::size_t k = 0; k < hull.size(); ++k) {
        const Position a = hull[k], b = hull[(k + 1) % hull.size()];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        if (cross(a, b, p) < -tolerance * length) return false;
    }
    return true;
}

}  // namespace

std::optional<SurfaceGrid> interpolated_surface(const ElectrodeLayout& layout,
                                                const LeadSamples& values, int nodes_across) {
    const double spacing = least_spacing(layout);
    Position centre, low{HUGE_VAL, HUGE_VAL}, high{-HUGE_VAL, -HUGE_VAL};
    for (const Position& p : layout.positions) {
        centre.x += p.x / lead_count, centre.y += p.y / lead_count;
        low = {std::min(low.x, p.x), std::min(low.y, p.y)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y)};
    }
    // Coordinates about the centroid in spacings keep the system well scaled on any unit.
    const auto scaled = [&](Position p) {
        return Position{(p.x - centre.x) / spacing, (p.y - centre.y) / spacing};
    };
    std::vector<Known> known;
    for (std::size_t k = 0; k < values.size(); ++k)
        if (values[k]) known.push_back({scaled(layout.positions[k]), *values[k]});
    if (known.size() < 3) return std::nullopt;
    const std::optional<std::vector<double>> weights = spline_weights(known);
    if (!weights) return std::nullopt;

    SurfaceGrid grid;
    grid.origin = low;
    grid.step = std::max(high.x - low.x, high.y - low.y) / std::max(1, nodes_across - 1);
    grid.columns = static_cast<int>(std::floor((high.x - low.x) / grid.step + 1e-9)) + 1;
    grid.rows = static_cast<int>(std::floor((high.y - low.y) / grid.step + 1e-9)) + 1;
    const std::vector<Position> hull =
        convex_hull({layout.positions.begin(), layout.positions.end()});
    const std::size_t n = known.size();
    for (int row = 0; row < grid.rows; ++row)
        for (int column = 0; column < grid.columns; ++column) {
            const Position at = grid.position(column, row);
            if (!inside(hull, at, grid.step * 1e-6)) {
                grid.values.push_back(std::numeric_limits<double>::quiet_NaN());
                continue;
            }
            const Position p = scaled(at);
            double z = (*weights)[n] + (*weights)[n + 1] * p.x + (*weights)[n + 2] * p.y;
            for (std::size_t i = 0; i < n; ++i)
                z += (*weights)[i] * radial(p.x - known[i].at.x, p.y - known[i].at.y);
            grid.values.push_back(z);
        }
    return grid;
}

}  // namespace mapari::review
