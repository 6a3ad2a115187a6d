// Quantiles of a sample, by linear interpolation between its order
// statistics (the sample's quantile at fraction f lies (n - 1) f of the way
// from the smallest value to the largest, counted in values).
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace mapari {

// The quantile at `fraction` (0 to 1) of values sorted in increasing order; needs one value.
inline double sorted_quantile(const std::vector<double>& sorted, double fraction) {
    const double at = fraction * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(at);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (at - static_cast<double>(below)) * (sorted[above] - sorted[below]);
}

}  // namespace mapari
