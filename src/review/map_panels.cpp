#include "review/map_panels.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "review/contour_lines.hpp"

namespace mapari::review {
namespace {

constexpr int least_ticks = 4;
constexpr int most_lines = 40;
constexpr int nodes_a_spacing = 12;  // bands in steps of about 4 pixels at 52 pixels a spacing
constexpr int most_nodes_across = 161;
constexpr double line_pixels = 1.2;
constexpr double shortest_labelled_line = 60.0;  // pixels; shorter lines carry no label
constexpr double label_pixels = 11.0;
constexpr double electrode_radius = 2.2;
constexpr double outline_pixels = 2.0;
constexpr double outline_side_spacings = 0.7;  // a flagged lead's outline round its electrode
const Rgb line_ink{40, 40, 40};

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// The values of the leads drawn on the surface: findings only.
LeadSamples findings_of(const MapValues& map) {
    LeadSamples findings;
    for (std::size_t k = 0; k < findings.size(); ++k)
        if (!map.defaults[k]) findings[k] = map.values[k];
    return findings;
}

int nodes_across(const ElectrodeLayout& layout) {
    double low_x = HUGE_VAL, high_x = -HUGE_VAL, low_y = HUGE_VAL, high_y = -HUGE_VAL;
    for (const Position& p : layout.positions) {
        low_x = std::min(low_x, p.x), high_x = std::max(high_x, p.x);
        low_y = std::min(low_y, p.y), high_y = std::max(high_y, p.y);
    }
    const double spacings = std::max(high_x - low_x, high_y - low_y) / least_spacing(layout);
    return std::min(most_nodes_across,
                    static_cast<int>(std::ceil(spacings - 1e-9)) * nodes_a_spacing + 1);
}

// The surface in bands one step wide, each square of nodes coloured by the
// band of its mean; the squares of a row in one band are one rectangle.
void add_bands(const SurfaceGrid& grid, const FieldPlacement& place, const ColourBar& bar,
               double step, Drawing& drawing) {
    const auto band_of = [&](int column, int row) -> std::optional<double> {
        const double mean = (grid.at(column, row) + grid.at(column + 1, row) +
                             grid.at(column, row + 1) + grid.at(column + 1, row + 1)) /
                            4;
        if (std::isnan(mean)) return std::nullopt;
        return std::floor(mean / step);
    };
    for (int row = 0; row + 1 < grid.rows; ++row)
        for (int column = 0; column + 1 < grid.columns;) {
            const std::optional<double> band = band_of(column, row);
            int end = column + 1;
            while (end + 1 < grid.columns && band && band_of(end, row) == band) ++end;
            if (band) {
                const Point a = place.pixel(grid.position(column, row));
                const Point b = place.pixel(grid.position(end, row + 1));
                const Rgb fill = viridis(bar.range.fraction((*band + 0.5) * step));
                drawing.shapes.push_back({{a, {b.x, a.y}, b, {a.x, b.y}}, fill});
            }
            column = end;
        }
}

double pixel_length(const std::vector<Point>& points) {
    double length = 0.0;
    for (std::size_t k = 1; k < points.size(); ++k)
        length += std::hypot(points[k].x - points[k - 1].x, points[k].y - points[k - 1].y);
    return length;
}

// The point at `fraction` of the way along the line.
Point along(const std::vector<Point>& points, double fraction) {
    double left = pixel_length(points) * fraction;
    for (std::size_t k = 1; k < points.size(); ++k) {
        const double piece =
            std::hypot(points[k].x - points[k - 1].x, points[k].y - points[k - 1].y);
        if (piece >= left && piece > 0) {
            const double t = left / piece;
            return {points[k - 1].x + t * (points[k].x - points[k - 1].x),
                    points[k - 1].y + t * (points[k].y - points[k - 1].y)};
        }
        left -= piece;
    }
    return points.front();
}

// The box a label's text takes, about: digits are some 0.6 of the text size wide.
Box label_box(Point centre, const std::string& text) {
    const double width = 0.6 * label_pixels * static_cast<double>(text.size()) + 4;
    return {centre.x - width / 2, centre.y - label_pixels / 2, width, label_pixels};
}

bool overlap(const Box& a, const Box& b) {
    return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

// A label on the line, at the first of a few places along it that keeps
// clear of the labels placed before; none when every place is taken.
void add_label(const std::vector<Point>& line, double level, std::vector<Box>& taken,
               Drawing& drawing) {
    const std::string text = number_text(level);
    for (double fraction : {0.5, 0.3, 0.7, 0.15, 0.85}) {
        const Point at = along(line, fraction);
        const Box box = label_box(at, text);
        if (std::any_of(taken.begin(), taken.end(), [&](const Box& t) { return overlap(t, box); }))
            continue;
        taken.push_back(box);
        drawing.texts.push_back({at, text, label_pixels, line_ink, true});
        return;
    }
}

void add_contours(const SurfaceGrid& grid, const FieldPlacement& place, double step,
                  Drawing& drawing) {
    std::vector<Box> taken;
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (double value : grid.values)
        if (!std::isnan(value)) low = std::min(low, value), high = std::max(high, value);
    for (double level : contour_levels(low, high, step, most_lines))
        for (const ContourLine& line : contour_lines(grid, level)) {
            Stroke stroke{{}, line_pixels, line_ink, LineStyle::solid, line.closed};
            for (const Position& p : line.points) stroke.points.push_back(place.pixel(p));
            if (pixel_length(stroke.points) >= shortest_labelled_line)
                add_label(stroke.points, level, taken, drawing);
            drawing.strokes.push_back(std::move(stroke));
        }
}

void add_electrodes(const MapValues& map, const ElectrodeLayout& layout,
                    const FieldPlacement& place, Drawing& drawing) {
    const double half = outline_side_spacings * place.spacing * place.scale_x / 2;
    for (std::size_t k = 0; k < layout.positions.size(); ++k) {
        const Point centre = place.pixel(layout.positions[k]);
        const bool left_out = !map.values[k] || map.defaults[k];
        drawing.dots.push_back({centre, electrode_radius, {0, 0, 0}, left_out});
        if (const std::optional<LineStyle>& style = map.outlines[k])
            drawing.strokes.push_back({{{centre.x - half, centre.y - half},
                                        {centre.x + half, centre.y - half},
                                        {centre.x + half, centre.y + half},
                                        {centre.x - half, centre.y + half}},
                                       outline_pixels,
                                       {0, 0, 0},
                                       *style,
                                       true});
    }
}

std::string surface_title(const MapValues& map, double step) {
    return (map.unit == "ms" ? "Isochrones of " + map.name + " every "
                             : map.name + ", contours every ") +
           number_text(step) + " " + map.unit;
}

std::string surface_note(const MapValues& map, bool drawn) {
    const auto left_out = std::count_if(map.values.begin(), map.values.end(),
                                        [](const std::optional<double>& v) { return !v; }) +
                          std::count(map.defaults.begin(), map.defaults.end(), true);
    if (!drawn) return "Too few leads with a finding for a surface.";
    if (left_out == 0) return "Thin-plate spline through every lead.";
    return "Thin-plate spline; " + std::to_string(left_out) +
           (left_out == 1 ? " lead (hollow) left out: a default, or without a signal."
                          : " leads (hollow) left out: defaults, or without a signal.");
}

}  // namespace

FieldPlacement field_placement(const ElectrodeLayout& layout, const Box& field, bool keep_aspect) {
    FieldPlacement place;
    double high_x = -std::numeric_limits<double>::infinity(), high_y = high_x;
    place.low = {-high_x, -high_x};
    for (const Position& p : layout.positions) {
        place.low = {std::min(place.low.x, p.x), std::min(place.low.y, p.y)};
        high_x = std::max(high_x, p.x), high_y = std::max(high_y, p.y);
    }
    place.spacing = least_spacing(layout);
    const double extent_x = high_x - place.low.x + place.spacing;
    const double extent_y = high_y - place.low.y + place.spacing;
    place.scale_x = field.width / extent_x;
    place.scale_y = field.height / extent_y;
    if (keep_aspect) place.scale_x = place.scale_y = std::min(place.scale_x, place.scale_y);
    place.left = field.left + (field.width - extent_x * place.scale_x) / 2;
    place.top = field.top + (field.height - extent_y * place.scale_y) / 2;
    return place;
}

ColourBar colour_bar(const MapValues& map, const Box& box) {
    ColourBar bar;
    bar.box = box;
    bar.label = map.unit;
    for (std::size_t k = 0; k < map.values.size(); ++k)
        if (map.values[k] && !map.defaults[k]) bar.range.include(*map.values[k]);
    bar.range = bar.range.widened();
    if (bar.range.empty) return bar;
    for (double value : scale_ticks(bar.range.low, bar.range.high, least_ticks))
        bar.ticks.push_back(
            {box.bottom() - bar.range.fraction(value) * box.height, number_text(value)});
    return bar;
}

double automatic_step(const ValueRange& range) {
    const std::vector<double> ticks = scale_ticks(range.low, range.high, 5);
    return ticks.size() >= 2 ? ticks[1] - ticks[0] : range.high - range.low;
}

SurfacePanel surface_panel(const MapValues& map, const ElectrodeLayout& layout,
                           const MapGeometry& geometry, double step) {
    SurfacePanel panel;
    panel.title_box = geometry.title_box;
    panel.field = geometry.field;
    panel.note_box = geometry.note_box;
    panel.bar = colour_bar(map, geometry.bar_box);
    if (!panel.bar.range.empty &&
        contour_levels(panel.bar.range.low, panel.bar.range.high, step, most_lines).empty())
        step = automatic_step(panel.bar.range);
    panel.title = surface_title(map, step);
    const FieldPlacement place = field_placement(layout, geometry.field, true);
    const std::optional<SurfaceGrid> grid =
        interpolated_surface(layout, findings_of(map), nodes_across(layout));
    if (grid) {
        add_bands(*grid, place, panel.bar, step, panel.drawing);
        add_contours(*grid, place, step, panel.drawing);
    }
    add_electrodes(map, layout, place, panel.drawing);
    panel.note = surface_note(map, grid.has_value());
    return panel;
}

}  // namespace mapari::review
