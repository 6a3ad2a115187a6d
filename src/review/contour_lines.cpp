#include "review/contour_lines.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace mapari::review {
namespace {

// A cut of a square's edge, named by the edge: horizontal edges (column,
// row)–(column + 1, row) come first, then the vertical ones (column, row)–
// (column, row + 1). Two pieces meeting at a cut share its name.
using EdgeName = std::size_t;

struct Piece {
    std::array<EdgeName, 2> ends{};
};

class Cutter {
  public:
    Cutter(const SurfaceGrid& grid, double level) : grid_(grid), level_(level) {}

    bool above(int column, int row) const { return grid_.at(column, row) >= level_; }

    EdgeName horizontal(int column, int row) const {
        return static_cast<EdgeName>(row * grid_.columns + column);
    }
    EdgeName vertical(int column, int row) const {
        return static_cast<EdgeName>(grid_.rows * grid_.columns + row * grid_.columns + column);
    }

    // Where the level cuts the named edge, in layout units.
    Position cut(EdgeName edge) const {
        const auto cells = static_cast<EdgeName>(grid_.rows * grid_.columns);
        const bool is_vertical = edge >= cells;
        const auto index = static_cast<int>(is_vertical ? edge - cells : edge);
        const int column = index % grid_.columns, row = index / grid_.columns;
        const int to_column = is_vertical ? column : column + 1;
        const int to_row = is_vertical ? row + 1 : row;
        const double from = grid_.at(column, row), to = grid_.at(to_column, to_row);
        const double t = (level_ - from) / (to - from);
        return grid_.position(column + t * (to_column - column), row + t * (to_row - row));
    }

    // The pieces of the square whose top left node is (column, row).
    void square(int column, int row, std::vector<Piece>& pieces) const {
        const double corners[] = {grid_.at(column, row), grid_.at(column + 1, row),
                                  grid_.at(column + 1, row + 1), grid_.at(column, row + 1)};
        for (double corner : corners)
            if (std::isnan(corner)) return;
        const bool tl = above(column, row), tr = above(column + 1, row);
        const bool br = above(column + 1, row + 1), bl = above(column, row + 1);
        const EdgeName top = horizontal(column, row), bottom = horizontal(column, row + 1);
        const EdgeName left = vertical(column, row), right = vertical(column + 1, row);
        std::vector<EdgeName> cuts;
        if (tl != tr) cuts.push_back(top);
        if (tr != br) cuts.push_back(right);
        if (br != bl) cuts.push_back(bottom);
        if (bl != tl) cuts.push_back(left);
        if (cuts.size() == 2) {
            pieces.push_back({{cuts[0], cuts[1]}});
            return;
        }
        if (cuts.size() != 4) return;
        const double mean = (corners[0] + corners[1] + corners[2] + corners[3]) / 4;
        if ((mean >= level_) == tl) {
            // The top left corner's region runs through the centre: the other two are cut off.
            pieces.push_back({{top, right}});
            pieces.push_back({{left, bottom}});
        } else {
            pieces.push_back({{top, left}});
            pieces.push_back({{right, bottom}});
        }
    }

  private:
    const SurfaceGrid& grid_;
    double level_;
};

constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

// Follows pieces from `start`, leaving by the end other than `entry`.
ContourLine follow(const Cutter& cutter, const std::vector<Piece>& pieces,
                   const std::vector<std::array<std::size_t, 2>>& at_edge, std::vector<bool>& used,
                   std::size_t start, EdgeName entry, double level) {
    ContourLine line{level, {cutter.cut(entry)}, false};
    std::size_t piece = start;
    EdgeName from = entry;
    while (piece != none && !used[piece]) {
        used[piece] = true;
        const EdgeName to =
            pieces[piece].ends[0] == from ? pieces[piece].ends[1] : pieces[piece].ends[0];
        line.points.push_back(cutter.cut(to));
        const auto& sharing = at_edge[to];
        piece = sharing[0] == piece ? sharing[1] : sharing[0];
        from = to;
    }
    line.closed = piece != none && piece == start;
    return line;
}

}  // namespace

std::vector<ContourLine> contour_lines(const SurfaceGrid& grid, double level) {
    const Cutter cutter(grid, level);
    std::vector<Piece> pieces;
    for (int row = 0; row + 1 < grid.rows; ++row)
        for (int column = 0; column + 1 < grid.columns; ++column)
            cutter.square(column, row, pieces);
    // The (at most two) pieces at each cut edge.
    std::vector<std::array<std::size_t, 2>> at_edge(
        2 * static_cast<std::size_t>(grid.rows * grid.columns), {none, none});
    for (std::size_t k = 0; k < pieces.size(); ++k)
        for (EdgeName end : pieces[k].ends)
            (at_edge[end][0] == none ? at_edge[end][0] : at_edge[end][1]) = k;
    std::vector<bool> used(pieces.size(), false);
    std::vector<ContourLine> lines;
    // Open lines first, each from an end no other piece shares; then the loops.
    for (std::size_t k = 0; k < pieces.size(); ++k)
        for (EdgeName end : pieces[k].ends)
            if (!used[k] && at_edge[end][1] == none)
                lines.push_back(follow(cutter, pieces, at_edge, used, k, end, level));
    for (std::size_t k = 0; k < pieces.size(); ++k)
        if (!used[k])
            lines.push_back(follow(cutter, pieces, at_edge, used, k, pieces[k].ends[0], level));
    return lines;
}

std::vector<double> contour_levels(double low, double high, double step, int most) {
    std::vector<double> levels;
    if (!(step > 0.0) || !(high >= low)) return levels;
    const double first = std::ceil(low / step), last = std::floor(high / step);
    if (last - first + 1 > most) return levels;
    for (double k = first; k <= last; ++k) levels.push_back(k * step);
    return levels;
}

}  // namespace mapari::review
