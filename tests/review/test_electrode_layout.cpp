// The electrode layout: the default grid and layout files, refused with the
// number of the line at fault.
#include <gtest/gtest.h>

#include <string>

#include "review/electrode_layout.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

// A layout file of leads 1 to 64 on a 4 × 16 array, 1.5 cm apart, each line
// "lead, x, y"; `skip` leaves one lead out.
std::string array_csv(int skip = 0) {
    std::string text = "lead,x,y\n";
    for (int l = 1; l <= 64; ++l) {
        if (l == skip) continue;
        const int column = (l - 1) % 16, row = (l - 1) / 16;
        text += std::to_string(l) + ", " + std::to_string(1.5 * column) + ", " +
                std::to_string(1.5 * row) + "\n";
    }
    return text;
}

std::string refusal(const std::string& text) {
    ElectrodeLayout layout;
    std::string reason;
    EXPECT_FALSE(parse_layout_csv(text, layout, reason));
    return reason;
}

TEST(ElectrodeLayout, GridPutsLeadOneTopLeftInRowsOfEight) {
    const ElectrodeLayout grid = grid_layout();
    EXPECT_TRUE(grid.is_grid);
    auto at = [&](int lead) { return grid.positions[static_cast<std::size_t>(lead - 1)]; };
    EXPECT_EQ(at(1).x, 0.0);
    EXPECT_EQ(at(1).y, 0.0);
    EXPECT_EQ(at(8).x, 7.0);
    EXPECT_EQ(at(8).y, 0.0);
    EXPECT_EQ(at(9).x, 0.0);  // lead 9 starts the second row
    EXPECT_EQ(at(9).y, 1.0);
    EXPECT_EQ(at(64).x, 7.0);
    EXPECT_EQ(at(64).y, 7.0);
    EXPECT_EQ(least_spacing(grid), 1.0);
}

TEST(ElectrodeLayout, ReadsOneLinePerLeadWithColumnNamesAndComments) {
    const std::string text = "# a 4 x 16 array\r\n" + array_csv() + "\n\n";
    ElectrodeLayout layout;
    std::string reason;
    ASSERT_TRUE(parse_layout_csv(text, layout, reason)) << reason;
    EXPECT_FALSE(layout.is_grid);
    EXPECT_EQ(layout.positions[0].x, 0.0);
    EXPECT_EQ(layout.positions[16].x, 0.0);  // lead 17: the second row
    EXPECT_EQ(layout.positions[16].y, 1.5);
    EXPECT_EQ(layout.positions[63].x, 22.5);  // lead 64: 15 × 1.5
    EXPECT_EQ(layout.positions[63].y, 4.5);
    EXPECT_EQ(least_spacing(layout), 1.5);
}

TEST(ElectrodeLayout, LinesMayComeInAnyOrderAndWithoutColumnNames) {
    ElectrodeLayout layout;
    std::string reason;
    std::string text;
    for (int l = 64; l >= 1; --l)
        text += std::to_string(l) + "," + std::to_string(l) + "," + std::to_string(-l) + "\n";
    ASSERT_TRUE(parse_layout_csv(text, layout, reason)) << reason;
    EXPECT_EQ(layout.positions[4].x, 5.0);
    EXPECT_EQ(layout.positions[4].y, -5.0);
}

TEST(ElectrodeLayout, MissingLeadIsRefused) {
    // 63 lead lines and the line of column names.
    EXPECT_EQ(refusal(array_csv(17)), "no line gives lead 17 (the file has 64 lines)");
}

TEST(ElectrodeLayout, DuplicateLeadIsRefusedWithItsLineNumber) {
    // Line 1 names the columns, so lead 5 is on line 6; the copy is line 66.
    EXPECT_EQ(refusal(array_csv() + "5, 30, 30\n"),
              "line 66: lead 5 is given again (first on line 6)");
}

TEST(ElectrodeLayout, NonNumberIsRefusedWithItsLineNumber) {
    EXPECT_EQ(refusal("lead,x,y\n1,0,0\n2,abc,0\n"), "line 3: \"abc\" is not a number (x)");
    EXPECT_EQ(refusal("1,0,0\n2,1,1e\n"), "line 2: \"1e\" is not a number (y)");
    EXPECT_EQ(refusal("1,0,0\n\n# gap\nfive,1,1\n"), "line 4: \"five\" is not a lead number");
}

TEST(ElectrodeLayout, ColumnNamesAreTakenOnlyOnTheFirstLine) {
    EXPECT_EQ(refusal("1,0,0\nlead,x,y\n"), "line 2: \"lead\" is not a lead number");
}

TEST(ElectrodeLayout, LeadOutsideOneToSixtyFourIsRefused) {
    EXPECT_EQ(refusal("65,0,0\n"), "line 1: \"65\" is not a lead number from 1 to 64");
    EXPECT_EQ(refusal("1,0,0\n0,1,1\n"), "line 2: \"0\" is not a lead number from 1 to 64");
}

TEST(ElectrodeLayout, LineWithoutThreeFieldsIsRefused) {
    EXPECT_EQ(refusal("1,0,0\n2;1;1\n"), "line 2: 1 fields where lead, x, y are needed");
    EXPECT_EQ(refusal("1,0,0,0\n"), "line 1: 4 fields where lead, x, y are needed");
}

TEST(ElectrodeLayout, TwoLeadsAtOnePositionAreRefused) {
    std::string text = array_csv();
    // Lead 2 moved onto lead 1 at (0, 0); lead 2's line is line 3.
    text.replace(text.find("\n2, 1.5"), 7, "\n2, 0.0");
    EXPECT_EQ(refusal(text), "line 3: leads 1 and 2 are at the same position (lines 2 and 3)");
}

TEST(ElectrodeLayout, SpacingIsTheLargerOfTheXAndYDistances) {
    ElectrodeLayout layout = grid_layout();
    // Lead 64 moved to (0.3, 8.0): from lead 57 at (0, 7) the distances are 0.3 and 1.0.
    layout.positions[63] = {0.3, 8.0};
    EXPECT_EQ(least_spacing(layout), 1.0);
    // Lead 64 at (6.75, 7.5): from lead 63 at (6, 7) the distances are 0.75 and 0.5.
    layout.positions[63] = {6.75, 7.5};
    EXPECT_EQ(least_spacing(layout), 0.75);
}

}  // namespace
}  // namespace mapari::review_tests
