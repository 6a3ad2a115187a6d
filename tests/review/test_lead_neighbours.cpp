// The spatial rules of the bad leads, worked by hand on the 8 × 8 grid (lead
// 1 top left, rows of 8): neighbours, outliers and values filled in.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "review/lead_neighbours.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

LeadSet leads_set(std::initializer_list<int> leads) {
    LeadSet set{};
    for (int lead : leads) set[static_cast<std::size_t>(lead - 1)] = true;
    return set;
}

std::vector<int> set_leads(const LeadSet& set) {
    std::vector<int> leads;
    for (int lead = 1; lead <= lead_count; ++lead)
        if (set[static_cast<std::size_t>(lead - 1)]) leads.push_back(lead);
    return leads;
}

TEST(LeadNeighbours, TheEightAroundALeadOnTheGridAndFewerAtItsBorder) {
    const struct {
        int lead;
        std::vector<int> neighbours;
    } cases[] = {
        {1, {2, 9, 10}},         {8, {7, 15, 16}},
        {5, {4, 6, 12, 13, 14}}, {20, {11, 12, 13, 19, 21, 27, 28, 29}},
        {64, {55, 56, 63}},
    };
    for (const auto& c : cases) EXPECT_EQ(neighbours_of(grid_layout(), c.lead), c.neighbours);
}

// A layout file's array 1.5 cm apart: the reach is 1.5 × 1.5 = 2.25 cm, so the
// diagonal at 2.12 cm is a neighbour and the lead two along at 3 cm is not.
// With its rows 3 cm apart, only the leads beside it in its row are.
TEST(LeadNeighbours, TheReachFollowsTheLeastSpacingOfALayout) {
    ElectrodeLayout layout = grid_layout();
    for (Position& position : layout.positions) position = {1.5 * position.x, 1.5 * position.y};
    EXPECT_EQ(neighbours_of(layout, 20), (std::vector<int>{11, 12, 13, 19, 21, 27, 28, 29}));
    for (Position& position : layout.positions) position.y *= 2.0;
    EXPECT_EQ(neighbours_of(layout, 20), (std::vector<int>{19, 21}));
}

// Lead 10 (row 2, column 2) with lead 11 bad too: its good neighbours are 2,
// 9 and 18 at distance 1 (weight 1) and 1, 3, 17 and 19 at sqrt(2) (weight
// 1/2): (10 + 20 + 30 + 4 * 0.5 * 40) / (3 + 4 * 0.5) = 140 / 5 = 28.
TEST(LeadNeighbours, ABadLeadIsTheInverseSquareDistanceMeanOfItsGoodNeighbours) {
    const struct {
        const char* what;
        int lead;
        LeadSet bad;
        std::optional<double> value;
    } cases[] = {
        {"lead 10 without 11: 140 / 5", 10, leads_set({10, 11}), 28.0},
        {"corner lead 1: (2: 10, 9: 20, 10: 0.5 * 40) / 2.5 = 50 / 2.5", 1, leads_set({1}), 20.0},
        {"corner lead 1 with 2 bad: two good neighbours are too few", 1, leads_set({1, 2}),
         std::nullopt},
        {"lead 10 with all but three bad: (2: 10, 9: 20, 1: 0.5 * 40) / 2.5", 10,
         leads_set({3, 10, 11, 17, 18, 19}), 20.0},
    };
    std::array<double, lead_count> values{};
    values.fill(1000.0);  // no good neighbour of the cases holds it
    for (int lead : {1, 3, 17, 19}) values[static_cast<std::size_t>(lead - 1)] = 40.0;
    values[1] = 10.0;   // lead 2
    values[8] = 20.0;   // lead 9
    values[17] = 30.0;  // lead 18
    values[9] = 40.0;   // lead 10, the corner lead 1's diagonal neighbour
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<double> value = fill_in(grid_layout(), c.lead, values, c.bad);
        ASSERT_EQ(value.has_value(), c.value.has_value());
        if (value) {
            EXPECT_NEAR(*value, *c.value, 1e-12);
        }
    }
}

// A map linear over the grid, 3 ms a column and 5 a row, is filled in exactly
// at a lead inside the grid, whose neighbours lie symmetrically about it.
TEST(LeadNeighbours, ALinearMapIsFilledInExactlyInsideTheGrid) {
    std::array<double, lead_count> values{};
    for (int lead = 1; lead <= lead_count; ++lead) {
        const int column = (lead - 1) % 8, row = (lead - 1) / 8;
        values[static_cast<std::size_t>(lead - 1)] = 3.0 * column + 5.0 * row;
    }
    for (int lead : {10, 20, 27, 45, 55}) {
        const std::optional<double> value = fill_in(grid_layout(), lead, values, leads_set({lead}));
        ASSERT_TRUE(value.has_value()) << "lead " << lead;
        EXPECT_NEAR(*value, values[static_cast<std::size_t>(lead - 1)], 1e-12) << "lead " << lead;
    }
}

// Rows 1 to 100 of every lead: a bump of rows 11 to 40, as tall as 1 + l/100,
// over which the correlations are taken; `turned` leads upside down.
std::unique_ptr<Beat> bumps(std::initializer_list<int> turned) {
    auto beat = std::make_unique<Beat>();
    for (int lead = 1; lead <= lead_count; ++lead) {
        const double sign = std::find(turned.begin(), turned.end(), lead) != turned.end() ? -1 : 1;
        for (int row = 11; row <= 40; ++row)
            beat->averaged(row, lead) = static_cast<float>(sign * (1.0 + lead / 100.0) *
                                                           std::sin(M_PI * (row - 10) / 31.0));
    }
    return beat;
}

TEST(LeadNeighbours, ALeadTurnedOverAmongNeighboursThatAgreeIsAnOutlier) {
    const struct {
        const char* what;
        std::initializer_list<int> turned;
        LeadSet bad;
        std::vector<int> outliers;
    } cases[] = {
        {"none turned: none", {}, {}, {}},
        {"20 turned: -1 with each of its eight, which agree (1)", {20}, {}, {20}},
        {"20 and 28 turned: 28 is a neighbour at 1, so neither", {20, 28}, {}, {}},
        {"20 and 36 turned: two apart, both", {20, 36}, {}, {20, 36}},
        {"1 turned, 9 bad: two good neighbours are too few", {1}, leads_set({9}), {}},
        {"1 turned, 9 bad and 27 turned: 27 is one", {1, 27}, leads_set({9}), {27}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<Beat> beat = bumps(c.turned);
        LeadSet candidates{};
        candidates.fill(true);
        for (int lead = 1; lead <= lead_count; ++lead)
            if (c.bad[static_cast<std::size_t>(lead - 1)])
                candidates[static_cast<std::size_t>(lead - 1)] = false;
        const BeatCorrelations correlations(*beat, 1, 100);
        EXPECT_EQ(set_leads(find_outliers(grid_layout(), correlations, candidates, c.bad)),
                  c.outliers);
    }
}

// Lead 20 disagrees with each neighbour, but they disagree with one another
// too: half of them are turned over, so the median of their pairwise
// correlations is -1 and nothing says which of them is right.
TEST(LeadNeighbours, NoOutlierWhereTheNeighboursDisagree) {
    const std::unique_ptr<Beat> beat = bumps({11, 13, 27, 29});
    auto& averaged = beat->averaged;
    for (int row = 1; row <= 100; ++row) averaged(row, 20) = 0.0f;
    averaged(70, 20) = 1.0f;  // a bump where the others have none: correlation about -0.2
    const BeatCorrelations correlations(*beat, 1, 100);
    for (int other : neighbours_of(grid_layout(), 20))
        EXPECT_LT(correlations(20, other), 0.3) << "lead " << other;
    EXPECT_EQ(set_leads(find_outliers(grid_layout(), correlations, leads_set({20}), {})),
              std::vector<int>{});
}

TEST(LeadNeighbours, CorrelationsOfABeatAgainstItselfTurnedAndAConstantOne) {
    std::unique_ptr<Beat> beat = bumps({2});
    for (int row = 1; row <= 100; ++row) beat->averaged(row, 3) = 7.0f;
    const BeatCorrelations correlations(*beat, 1, 100);
    EXPECT_NEAR(correlations(1, 1), 1.0, 1e-9);
    EXPECT_NEAR(correlations(1, 10), 1.0, 1e-9) << "a taller bump of the same shape";
    EXPECT_NEAR(correlations(1, 2), -1.0, 1e-9) << "lead 2 turned over";
    EXPECT_EQ(correlations(1, 3), 0.0) << "lead 3 is constant";
    EXPECT_EQ(correlations(3, 1), 0.0);
}

// The correlation of leads a and b as the formula reads, each sum taken row
// after row: the leads' sums and squares about their means, and the sum of
// their products.
double correlation_by_the_formula(const Beat& beat, int a, int b, int first_row, int last_row) {
    const double rows = last_row - first_row + 1;
    const auto centred = [&](int lead) {
        double sum = 0.0;
        for (int row = first_row; row <= last_row; ++row) sum += beat.averaged(row, lead);
        std::vector<double> values;
        for (int row = first_row; row <= last_row; ++row)
            values.push_back(beat.averaged(row, lead) - sum / rows);
        return values;
    };
    const std::vector<double> x = centred(a), y = centred(b);
    double products = 0.0, x_squares = 0.0, y_squares = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        products += x[k] * y[k];
        x_squares += std::pow(x[k], 2);
        y_squares += std::pow(y[k], 2);
    }
    const double spread = std::sqrt(x_squares) * std::sqrt(y_squares);
    return spread > 0.0 ? products / spread : 0.0;
}

// Every pair's correlation, bit for bit as the formula gives it, on beats of
// random values (some leads constant) over stretches of several lengths.
TEST(LeadNeighbours, CorrelationsEqualTheFormulaSummedRowAfterRow) {
    const struct {
        unsigned seed;
        int first_row, last_row;
    } cases[] = {{1, 1, 100}, {2, 150, 601}, {3, 500, 502}, {4, 1, averaged_rows}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed);
        auto beat = std::make_unique<Beat>();
        std::mt19937 random(c.seed);
        std::uniform_real_distribution<float> value(-3000.0f, 3000.0f);
        for (int lead = 1; lead <= lead_count; ++lead)
            for (int row = 1; row <= averaged_rows; ++row)
                beat->averaged(row, lead) = lead % 9 == 0 ? 5.0f : value(random);
        const BeatCorrelations correlations(*beat, c.first_row, c.last_row);
        for (int a = 1; a <= lead_count; ++a)
            for (int b = a; b <= lead_count; ++b) {
                const double expected =
                    correlation_by_the_formula(*beat, a, b, c.first_row, c.last_row);
                ASSERT_EQ(std::bit_cast<std::uint64_t>(correlations(a, b)),
                          std::bit_cast<std::uint64_t>(expected))
                    << "leads " << a << ", " << b;
                ASSERT_EQ(std::bit_cast<std::uint64_t>(correlations(b, a)),
                          std::bit_cast<std::uint64_t>(expected));
            }
    }
}

}  // namespace
}  // namespace mapari::review_tests
