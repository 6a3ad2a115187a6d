// The spatial rules over the electrode layout: which leads are neighbours, a
// lead whose averaged beat disagrees with its neighbours (an outlier), and a
// bad lead's value filled in from its good neighbours.
//
// Neighbours: the leads within 1.5 times the layout's least spacing of the
// lead (straight-line distance): on the 8 x 8 grid the eight around it, its
// row and column neighbours at 1 and its diagonal ones at 1.41.
//
// Outlier: the lead's averaged beat correlates below 0.3 with each of its good
// neighbours, while those neighbours agree with one another (the median of
// their pairwise correlations is at least 0.5), and it has at least three good
// neighbours. A lead turned over (a swapped electrode) correlates near -1 with
// every neighbour. On the synthetic maps good neighbours correlate from about
// 0.6 (opposite corners of the eight around a lead, whose activation differs
// by up to 10 ms) to 1, and their pairwise median is about 0.5 to 0.9.
// Correlations are taken over the beat from the Q onset to the T end, where
// the leads' waves are.
//
// Filling in: inverse-distance weighting (weights 1 / d^2) of the lead's good
// neighbours, when it has at least three; otherwise the lead stays empty. We
// take it rather than Laplacian interpolation on a triangulation because it
// needs no mesh (a layout file gives only positions, and a triangulation of
// an irregular array has thin triangles at its border), it is local (a bad
// lead never moves a far one) and on the grid it is exact for a map that is
// linear about an interior lead: its neighbours lie symmetrically about it.
// At the border of the array the neighbours lie on one side, so a steep map
// is filled in with a bias of up to about half a spacing's change.
// tests/review/test_lead_neighbours.cpp works a small grid by hand.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "review/electrode_layout.hpp"
#include "store/store.hpp"

namespace mapari::review {

using LeadSet = std::array<bool, lead_count>;  // element l - 1: lead l

// The leads within 1.5 × the least spacing of lead l (1 to 64), in lead order.
std::vector<int> neighbours_of(const ElectrodeLayout& layout, int lead);

// The Pearson correlation of two leads' averaged beats over rows first_row to
// last_row (within 1 to averaged_rows); 0 for a constant beat. Each lead's
// beat is centred once; a pair's correlation is formed when asked for: the
// outlier rule asks for few of the 2016 pairs.
class BeatCorrelations {
  public:
    BeatCorrelations(const Beat& beat, int first_row, int last_row);
    // Leads a and b, 1 to 64, either way round.
    double operator()(int a, int b) const;

  private:
    std::size_t rows_;
    std::vector<double> values_;  // lead l, row k: element (l - 1) * rows_ + k - first_row
    std::array<double, lead_count> spreads_{};  // each lead's root sum of squares
};

// The leads among `candidates` that are outliers against their neighbours
// that are not `bad`.
LeadSet find_outliers(const ElectrodeLayout& layout, const BeatCorrelations& correlations,
                      const LeadSet& candidates, const LeadSet& bad);

// Lead l's value filled in from the values of its neighbours that are not
// `bad`; none when fewer than three are good.
std::optional<double> fill_in(const ElectrodeLayout& layout, int lead,
                              const std::array<double, lead_count>& values, const LeadSet& bad);

}  // namespace mapari::review
