// Where the 64 leads sit in the pictures of the review.
//
// The default is an 8 × 8 grid: lead 1 top left, leads in rows of 8 (lead 9
// starts the second row). A layout file places the electrodes of a real array
// instead: CSV text, one line "lead, x, y" per lead, x growing to the right
// and y growing downwards (as rows of the grid do), in any unit; an optional
// first line "lead,x,y" names the columns, and blank lines and lines that
// begin with '#' are passed over. Every lead 1 to 64 must have exactly one
// line, and no two leads may share a position.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "store/store.hpp"

namespace mapari::review {

inline constexpr int grid_columns = 8;

struct Position {
    double x = 0.0;
    double y = 0.0;
};

struct ElectrodeLayout {
    std::array<Position, lead_count> positions{};  // element l - 1: lead l
    bool is_grid = true;                           // cells of the grid, or one marker per electrode
};

ElectrodeLayout grid_layout();

// Reads a layout file's text; false with the reason, which starts with the
// number of the line at fault ("line 7: ...") when one is.
bool parse_layout_csv(std::string_view text, ElectrodeLayout& layout, std::string& reason);

// The least distance between two electrodes, measured as the larger of the
// x and y distances: squares of that side centred on the electrodes never
// overlap. 1 for the grid.
double least_spacing(const ElectrodeLayout& layout);

}  // namespace mapari::review
