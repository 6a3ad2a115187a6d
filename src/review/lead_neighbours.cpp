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

// The leads other than `lead` within `reach` of it, in lead order.
std::vector<int> leads_within(const ElectrodeLayout& layout, int lead, double reach) {
    std::vector<int> neighbours;
    for (int other = 1; other <= lead_count; ++other)
        if (other != lead && distance(layout, lead, other) <= reach) neighbours.push_back(other);
    return neighbours;
}

std::vector<int> without_bad(std::vector<int> leads, const LeadSet& bad) {
    std::erase_if(leads, [&bad](int other) { return is_set(bad, other); });
    return leads;
}

// The median of the correlations between each pair of `leads`.
double median_pair_correlation(const BeatCorrelations& correlations,
                               const std::vector<int>& leads) {
    std::vector<double> pairs;
    for (std::size_t a = 0; a < leads.size(); ++a)
        for (std::size_t b = a + 1; b < leads.size(); ++b)
            pairs.push_back(correlations(leads[a], leads[b]));
    std::nth_element(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(pairs.size() / 2),
                     pairs.end());
    return pairs[pairs.size() / 2];
}

bool is_outlier(const BeatCorrelations& correlations, int lead, const std::vector<int>& good) {
    if (good.size() < fewest_good_neighbours) return false;
    for (int other : good)
        if (correlations(lead, other) >= disagreeing_below) return false;
    return median_pair_correlation(correlations, good) >= neighbours_agree_at;
}

}  // namespace

std::vector<int> neighbours_of(const ElectrodeLayout& layout, int lead) {
    return leads_within(layout, lead, neighbour_reach * least_spacing(layout));
}

BeatCorrelations::BeatCorrelations(const Beat& beat, int first_row, int last_row)
    : rows_(static_cast<std::size_t>(last_row - first_row + 1)), values_(rows_ * lead_count) {
    for (int lead = 1; lead <= lead_count; ++lead) {
        const auto at = static_cast<std::size_t>(lead - 1);
        double sum = 0.0, squares = 0.0;
        for (int row = first_row; row <= last_row; ++row) sum += beat.averaged(row, lead);
        const double mean = sum / static_cast<double>(rows_);
        for (int row = first_row; row <= last_row; ++row) {
            const double value = beat.averaged(row, lead) - mean;
            squares += std::pow(value, 2);
            values_[at * rows_ + static_cast<std::size_t>(row - first_row)] = value;
        }
        spreads_[at] = std::sqrt(squares);
    }
}

// The sum of the products is taken row after row, as the formula reads, and
// with the lower lead first, so that either way round gives the same bits.
double BeatCorrelations::operator()(int a, int b) const {
    const auto first = static_cast<std::size_t>(std::min(a, b) - 1),
               second = static_cast<std::size_t>(std::max(a, b) - 1);
    const double* x = values_.data() + first * rows_;
    const double* y = values_.data() + second * rows_;
    double products = 0.0;
    for (std::size_t k = 0; k < rows_; ++k) products += x[k] * y[k];
    const double spread = spreads_[first] * spreads_[second];
    return spread > 0.0 ? products / spread : 0.0;
}

LeadSet find_outliers(const ElectrodeLayout& layout, const BeatCorrelations& correlations,
                      const LeadSet& candidates, const LeadSet& bad) {
    // The least spacing is the layout's, taken once for every lead.
    const double reach = neighbour_reach * least_spacing(layout);
    LeadSet outliers{};
    for (int lead = 1; lead <= lead_count; ++lead)
        if (is_set(candidates, lead))
            outliers[static_cast<std::size_t>(lead - 1)] =
                is_outlier(correlations, lead, without_bad(leads_within(layout, lead, reach), bad));
    return outliers;
}

std::optional<double> fill_in(const ElectrodeLayout& layout, int lead,
                              const std::array<double, lead_count>& values, const LeadSet& bad) {
    const std::vector<int> good = without_bad(neighbours_of(layout, lead), bad);
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
