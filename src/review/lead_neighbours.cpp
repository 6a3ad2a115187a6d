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
    return leads_within(layout, lead, neighbour_reach * least_spacing(layout));
}

namespace {

// Each lead's samples less its mean, a row's leads side by side, and each
// lead's root sum of squares about its mean.
struct CentredBeat {
    std::vector<double> values;  // row k - first_row, lead l: element (k - first_row) * 64 + l - 1
    std::array<double, lead_count> spreads{};
};

CentredBeat centred_beat(const Beat& beat, int first_row, int last_row) {
    const double rows = last_row - first_row + 1;
    CentredBeat centred;
    centred.values.resize(static_cast<std::size_t>(last_row - first_row + 1) * lead_count);
    for (int lead = 1; lead <= lead_count; ++lead) {
        const auto at = static_cast<std::size_t>(lead - 1);
        double sum = 0.0, squares = 0.0;
        for (int row = first_row; row <= last_row; ++row) sum += beat.averaged(row, lead);
        const double mean = sum / rows;
        for (int row = first_row; row <= last_row; ++row) {
            const double value = beat.averaged(row, lead) - mean;
            squares += std::pow(value, 2);
            centred.values[static_cast<std::size_t>(row - first_row) * lead_count + at] = value;
        }
        centred.spreads[at] = std::sqrt(squares);
    }
    return centred;
}

// Into products[b] to products[b + 3]: the sums over the rows of lead a + 1's
// centred values times those of leads b + 1 to b + 4, each summed row after
// row as the formula reads; four sums side by side keep the processor busy.
void add_four_products(const CentredBeat& centred, std::size_t a, std::size_t b,
                       std::array<double, lead_count>& products) {
    std::array<double, 4> sums{};
    for (std::size_t row = 0; row < centred.values.size(); row += lead_count) {
        const double* values = centred.values.data() + row;
        sums[0] += values[a] * values[b];
        sums[1] += values[a] * values[b + 1];
        sums[2] += values[a] * values[b + 2];
        sums[3] += values[a] * values[b + 3];
    }
    std::copy(sums.begin(), sums.end(), products.begin() + static_cast<std::ptrdiff_t>(b));
}

}  // namespace

LeadCorrelations beat_correlations(const Beat& beat, int first_row, int last_row) {
    static_assert(lead_count % 4 == 0);
    const CentredBeat centred = centred_beat(beat, first_row, last_row);
    LeadCorrelations correlations{};
    for (std::size_t a = 0; a < lead_count; ++a) {
        // From the four that hold lead a on: up to three pairs are taken twice, for no branch.
        std::array<double, lead_count> products{};
        for (std::size_t b = a / 4 * 4; b < lead_count; b += 4)
            add_four_products(centred, a, b, products);
        for (std::size_t b = a; b < lead_count; ++b) {
            const double spread = centred.spreads[a] * centred.spreads[b];
            correlations[a][b] = correlations[b][a] = spread > 0.0 ? products[b] / spread : 0.0;
        }
    }
    return correlations;
}

LeadSet find_outliers(const ElectrodeLayout& layout, const LeadCorrelations& correlations,
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
