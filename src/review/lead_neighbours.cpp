#include "review/lead_neighbours.hpp"

#include <algorithm>
#include <cmath>

namespace mapari::review {
namespace {

constexpr double neighbour_reach = 1.5;      // times the least spacing
constexpr double disagreeing_below = 0.3;    // the outlier's correlation with each neighbour
constexpr double neighbours_agree_at = 0.5;  // the median correlation among its neighbours
constexpr std::size_t fewest_good_neighbours = 3;

double distance(const ElectrodeLayout& layout, int a, int b) {
    const Position& p = layout.positions[static_cast<std::size_t>(a - 1)];
    const Position& q = layout.positions[static_cast<std::size_t>(b - 1)];
    return std::hypot(p.x - q.x, p.y - q.y);
}

bool is_set(const LeadSet& set, int lead) {
    return set[static_cast<std::size_t>(lead - 1)];
}

double correlation(const LeadCorrelations& correlations, int a, int b) {
    return correlations[static_cast<std::size_t>(a - 1)][static_cast<std::size_t>(b - 1)];
}

std::vector<int> good_neighbours(const ElectrodeLayout& layout, int lead, const LeadSet& bad) {
    std::vector<int> good = neighbours_of(layout, lead);
    std::erase_if(good, [&bad](int other) { return is_set(bad, other); });
    return good;
}

// The median of the correlations between each pair of `leads`.
double median_pair_correlation(const LeadCorrelations& correlations,
                               const std::vector<int>& leads) {
    std::vector<double> pairs;
    for (std::size_t a = 0; a < leads.size(); ++a)
        for (std::size_t b = a + 1; b < leads.size(); ++b)
            pairs.push_back(correlation(correlations, leads[a], leads[b]));
    std::nth_element(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(pairs.size() / 2),
                     pairs.end());
    return pairs[pairs.size() / 2];
}

bool is_outlier(const LeadCorrelations& correlations, int lead, const std::vector<int>& good) {
    if (good.size() < fewest_good_neighbours) return false;
    for (int other : good)
        if (correlation(correlations, lead, other) >= disagreeing_below) return false;
    return median_pair_correlation(correlations, good) >= neighbours_agree_at;
}

}  // namespace

std::vector<int> neighbours_of(const ElectrodeLayout& layout, int lead) {
    const double reach = neighbour_reach * least_spacing(layout);
    std::vector<int> neighbours;
    for (int other = 1; other <= lead_count; ++other)
        if (other != lead && distance(layout, lead, other) <= reach) neighbours.push_back(other);
    return neighbours;
}

LeadCorrelations beat_correlations(const Beat& beat, int first_row, int last_row) {
    const double rows = last_row - first_row + 1;
    std::array<double, lead_count> means{}, spreads{};
    for (int lead = 1; lead <= lead_count; ++lead) {
        double sum = 0.0, squares = 0.0;
        for (int row = first_row; row <= last_row; ++row) sum += beat.averaged(row, lead);
        const double mean = sum / rows;
        for (int row = first_row; row <= last_row; ++row)
            squares += std::pow(beat.averaged(row, lead) - mean, 2);
        means[static_cast<std::size_t>(lead - 1)] = mean;
        spreads[static_cast<std::size_t>(lead - 1)] = std::sqrt(squares);
    }
    LeadCorrelations correlations{};
    for (std::size_t a = 0; a < lead_count; ++a)
        for (std::size_t b = a; b < lead_count; ++b) {
            double products = 0.0;
            for (int row = first_row; row <= last_row; ++row)
                products += (beat.averaged(row, static_cast<int>(a) + 1) - means[a]) *
                            (beat.averaged(row, static_cast<int>(b) + 1) - means[b]);
            const double spread = spreads[a] * spreads[b];
            correlations[a][b] = correlations[b][a] = spread > 0.0 ? products / spread : 0.0;
        }
    return correlations;
}

LeadSet find_outliers(const ElectrodeLayout& layout, const LeadCorrelations& correlations,
                      const LeadSet& candidates, const LeadSet& bad) {
    LeadSet outliers{};
    for (int lead = 1; lead <= lead_count; ++lead)
        if (is_set(candidates, lead))
            outliers[static_cast<std::size_t>(lead - 1)] =
                is_outlier(correlations, lead, good_neighbours(layout, lead, bad));
    return outliers;
}

std::optional<double> fill_in(const ElectrodeLayout& layout, int lead,
                              const std::array<double, lead_count>& values, const LeadSet& bad) {
    const std::vector<int> good = good_neighbours(layout, lead, bad);
    if (good.size() < fewest_good_neighbours) return std::nullopt;
    double weighted = 0.0, weights = 0.0;
    for (int other : good) {
        const double weight = 1.0 / std::pow(distance(layout, lead, other), 2);
        weighted += weight * values[static_cast<std::size_t>(other - 1)];
        weights += weight;
    }
    return weighted / weights;
}

}  // namespace mapari::review
