// The maps of the review laid out from one lead value each: the colour bar,
// the cells with each lead's value, and the surface with its contour lines
// (isochrones of AT, RT and ARI; lines of equal area on the integral maps).
// What a map shows is one MapValues; how it shows it is decided here, in
// pixels, so that every painter and writer draws the same picture.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "review/review_layout.hpp"
#include "review/surface_interpolation.hpp"

namespace mapari::review {

// One map's values: a value for each lead (none without a signal), which of
// them are defaults rather than findings (hatched, left out of the colour
// range and the surface), and the outline of each flagged lead.
struct MapValues {
    std::string name;  // "AT", "QRST area"
    std::string unit;  // "ms", "µV·ms"
    LeadSamples values;
    std::array<bool, lead_count> defaults{};
    std::array<std::optional<LineStyle>, lead_count> outlines{};
    std::string (*text_of)(double value) = nullptr;  // the value as a cell writes it
};

// Where the layout's units fall in a field: the one conversion from a place
// on the body to a pixel, for cells, electrodes and surfaces alike. Half a
// spacing is kept beyond the outermost electrodes, so that their cells fit;
// with keep_aspect the layout's x and y units stay equal.
struct FieldPlacement {
    Position low;  // the least x and y of the electrodes
    double spacing = 1.0;
    double scale_x = 1.0, scale_y = 1.0;  // pixels a layout unit
    double left = 0.0, top = 0.0;         // pixel of low − half a spacing
    Point pixel(Position at) const {
        return {left + (at.x - low.x + spacing / 2) * scale_x,
                top + (at.y - low.y + spacing / 2) * scale_y};
    }
};
FieldPlacement field_placement(const ElectrodeLayout& layout, const Box& field, bool keep_aspect);

// Where a map's parts go: its title, its field, its colour bar and its note.
struct MapGeometry {
    Box title_box;
    Box field;
    Box bar_box;
    Box note_box;
};

// The colour bar of the values that are findings, ticks at round values.
ColourBar colour_bar(const MapValues& map, const Box& box);

// The map as a surface in the geometry's field at the contour step given
// (that of automatic_step instead when the step would draw more than 40
// lines); the title names the quantity and the step.
SurfacePanel surface_panel(const MapValues& map, const ElectrodeLayout& layout,
                           const MapGeometry& geometry, double step);

// The contour step of a map without one chosen: the largest 1-2-5 step that
// puts at least five lines over the range.
double automatic_step(const ValueRange& range);

}  // namespace mapari::review
