// The review picture laid out: places of the leads, colours, flags, colour
// bars and the review sheet's marks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "review/review_layout.hpp"
#include "review_support.hpp"

namespace mapari::review_tests {

using namespace review;
namespace {

const MapCell& cell_of(const MapPanel& map, int lead) {
    return map.cells[static_cast<std::size_t>(lead - 1)];
}

enum Map { activation_map, recovery_map, interval_map };

TEST(ReviewLayout, GridCellsRunInRowsOfEightFromTheTopLeft) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    const MapPanel& map = picture.maps[activation_map];
    ASSERT_EQ(map.cells.size(), 64u);
    // The field is 416 pixels square: 52 a cell.
    EXPECT_DOUBLE_EQ(cell_of(map, 1).box.left, map.field.left);
    EXPECT_DOUBLE_EQ(cell_of(map, 1).box.top, map.field.top);
    EXPECT_DOUBLE_EQ(cell_of(map, 1).box.width, 52.0);
    EXPECT_DOUBLE_EQ(cell_of(map, 2).box.left, map.field.left + 52);
    EXPECT_DOUBLE_EQ(cell_of(map, 9).box.left, map.field.left);
    EXPECT_DOUBLE_EQ(cell_of(map, 9).box.top, map.field.top + 52);
    EXPECT_DOUBLE_EQ(cell_of(map, 64).box.right(), map.field.right());
    EXPECT_DOUBLE_EQ(cell_of(map, 64).box.bottom(), map.field.bottom());
    EXPECT_FALSE(cell_of(map, 64).round);
}

// 52 pixels a cell: lead 10 is the second of the second row on every map.
TEST(ReviewLayout, APointOnACellPicksItsLead) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    for (const MapPanel& map : picture.maps) {
        const Point field = {map.field.left, map.field.top};
        EXPECT_EQ(lead_at(picture, {field.x + 52 + 1, field.y + 52 + 1}), 10);
        EXPECT_EQ(lead_at(picture, {field.x + 104 - 0.5, field.y + 104 - 0.5}), 10);
        EXPECT_EQ(lead_at(picture, {field.x + 104, field.y + 52}), 11);  // the next cell's edge
        EXPECT_EQ(lead_at(picture, {field.x + 415, field.y + 415}), 64);
        EXPECT_EQ(lead_at(picture, {field.x - 1, field.y}), 0);  // beside the field
    }
    EXPECT_EQ(lead_at(picture, {0, 0}), 0);
}

TEST(ReviewLayout, TheThreeMapsStandSideBySide) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    EXPECT_EQ(picture.maps[activation_map].title, "Activation time AT (ms)");
    EXPECT_EQ(picture.maps[recovery_map].title, "Recovery time RT (ms)");
    EXPECT_EQ(picture.maps[interval_map].title, "Activation-recovery interval ARI = RT − AT (ms)");
    EXPECT_LT(picture.maps[activation_map].bar.box.right(), picture.maps[recovery_map].field.left);
    EXPECT_LT(picture.maps[recovery_map].bar.box.right(), picture.maps[interval_map].field.left);
    EXPECT_DOUBLE_EQ(picture.maps[activation_map].field.top, picture.maps[interval_map].field.top);
    EXPECT_LE(picture.maps[interval_map].bar.box.right() + 60, picture.width);
}

TEST(ReviewLayout, EachMapFlagsItsOwnDefaults) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    // Lead 1: AT default; lead 2: RT default; lead 3: both; lead 4: neither.
    const bool expected[4][3] = {
        {true, false, true}, {false, true, true}, {true, true, true}, {false, false, false}};
    for (int lead = 1; lead <= 4; ++lead)
        for (std::size_t m = 0; m < 3; ++m)
            EXPECT_EQ(cell_of(picture.maps[m], lead).flagged, expected[lead - 1][m])
                << "lead " << lead << ", map " << m;
}

TEST(ReviewLayout, FlaggedCellsAreGreyAndFindingsTakeTheirColour) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    const MapPanel& map = picture.maps[activation_map];
    EXPECT_EQ(cell_of(map, 1).fill, (Rgb{205, 205, 205}));
    EXPECT_EQ(cell_of(map, 1).value_text, "0");
    // Findings of AT run from 12.5 (lead 8) to 61 (lead 64); lead 1's 0 is left out.
    EXPECT_EQ(map.bar.range.low, 12.5);
    EXPECT_EQ(map.bar.range.high, 61.0);
    EXPECT_EQ(cell_of(map, 8).fill, viridis(0.0));
    EXPECT_EQ(cell_of(map, 64).fill, viridis(1.0));
    EXPECT_EQ(cell_of(map, 4).fill, viridis((40.0 - 12.5) / (61.0 - 12.5)));
    EXPECT_EQ(cell_of(map, 8).value_text, "12.5");
    EXPECT_TRUE(cell_of(map, 8).light_text);  // on dark violet
}

// A value filled in from the neighbours is written to a tenth of a ms, so that it fits its cell.
TEST(ReviewLayout, ACellWritesItsValueToATenthOfAMillisecond) {
    const struct {
        float activation_ms;
        const char* text;
    } cases[] = {
        {46.3333f, "46.3"}, {45.625f, "45.6"}, {40.0f, "40"}, {12.5f, "12.5"}, {-0.04f, "0"}};
    for (const auto& c : cases) {
        ReviewData data = hand_made_review();
        (*data.leads)[3].activation_ms = c.activation_ms;
        const ReviewPicture picture = lay_out_review(data, {MapForms::values});
        EXPECT_EQ(cell_of(picture.maps[activation_map], 4).value_text, c.text) << c.activation_ms;
    }
}

TEST(ReviewLayout, ColourBarTicksSitAtTheirValues) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    const ColourBar& bar = picture.maps[interval_map].bar;
    // ARI findings (leads 4..64 but 8, 9, 64 at 260; 274.75; 161; 138): 138 to 274.75.
    EXPECT_EQ(bar.range.low, 138.0);
    EXPECT_EQ(bar.range.high, 274.75);
    // Steps of 100 give one tick (200), of 50 three, of 20 seven: 140 to 260.
    ASSERT_EQ(bar.ticks.size(), 7u);
    EXPECT_EQ(bar.ticks.front().label, "140");
    EXPECT_EQ(bar.ticks.back().label, "260");
    // 260 is (260 − 138) / 136.75 of the way up from the bar's bottom.
    EXPECT_DOUBLE_EQ(bar.ticks.back().y,
                     bar.box.bottom() - (260.0 - 138.0) / (274.75 - 138.0) * bar.box.height);
    EXPECT_EQ(bar.label, "ms");
}

TEST(ReviewLayout, NotesCountTheFlaggedLeads) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    EXPECT_EQ(picture.maps[activation_map].note,
              "2 leads hatched: no downstroke after the reference point.");
    EXPECT_EQ(picture.maps[recovery_map].note,
              "2 leads hatched: no upstroke after the minimum recovery delay.");
    EXPECT_EQ(picture.maps[interval_map].note, "3 leads hatched: AT or RT is a default.");
}

TEST(ReviewLayout, AMapWithoutFindingsHasNoColourRange) {
    ReviewData data = hand_made_review();
    for (LeadValues& lead : *data.leads) lead.no_downstroke = true;
    const ReviewPicture picture = lay_out_review(data);
    EXPECT_TRUE(picture.maps[activation_map].bar.range.empty);
    EXPECT_TRUE(picture.maps[activation_map].bar.ticks.empty());
    EXPECT_EQ(picture.maps[activation_map].note,
              "64 leads hatched: no downstroke after the reference point.");
}

TEST(ReviewLayout, HeadingGivesTheMarksAndTheDefaultRecoveryTime) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    EXPECT_EQ(picture.heading, "Review of s1.ari");
    EXPECT_EQ(picture.details,
              "ref = 150, J = 250, T end = 600 (samples of the saved beat);  h = 20;  r = 100, so "
              "the default RT is J + r − ref = 200 ms");
}

TEST(ReviewLayout, ElectrodeArrayIsDrawnAsRoundMarkers) {
    ReviewData data = hand_made_review();
    // A 4 × 16 array, 1 unit apart: 15 spacings and half a spacing each side
    // across 416 pixels, 26 a spacing.
    data.layout.is_grid = false;
    for (int l = 1; l <= lead_count; ++l) {
        const int column = (l - 1) % 16, row = (l - 1) / 16;
        data.layout.positions[static_cast<std::size_t>(l - 1)] = {double(column), double(row)};
    }
    const ReviewPicture picture = lay_out_review(data);
    const MapPanel& map = picture.maps[activation_map];
    const MapCell& first = cell_of(map, 1);
    const MapCell& second = cell_of(map, 2);
    EXPECT_TRUE(first.round);
    EXPECT_DOUBLE_EQ(second.box.left - first.box.left, 416.0 / 16);
    EXPECT_DOUBLE_EQ(first.box.width, 416.0 / 16 * 0.9);  // a tenth left between markers
    EXPECT_FALSE(first.shows_value);                      // 23.4 pixels: too small
    // The array is centred: 4 rows of 26 pixels in the 416-pixel field.
    EXPECT_DOUBLE_EQ((first.box.top + first.box.bottom()) / 2,
                     map.field.top + (416 - 104) / 2.0 + 13);
}

TEST(ReviewLayout, WithoutABeatThereIsNoSheet) {
    const ReviewPicture picture = lay_out_review(hand_made_review());
    EXPECT_FALSE(picture.sheet.has_value());
    EXPECT_GE(picture.height, picture.maps[0].note_box.bottom());
}

TEST(ReviewLayout, SheetShowsFromBeforeTheFirstMarkToTheLastSavedRow) {
    ReviewData data = hand_made_review();
    // Earliest: P + AT = 150 + 0, 40 before it; E = 600, and the sheet runs on to row 1024.
    EXPECT_EQ(sheet_samples(data), std::make_pair(110, 1024));
    (*data.leads)[5].recovery_ms = 500.0f;  // P + RT = 650, past E: the end stays the last row
    EXPECT_EQ(sheet_samples(data), std::make_pair(110, 1024));
    (*data.leads)[5].activation_ms = -30.0f;  // P + AT = 120, before P
    EXPECT_EQ(sheet_samples(data), std::make_pair(80, 1024));
    data.record->reference_point = 20;  // 20 − 40 is before the first sample
    EXPECT_EQ(sheet_samples(data), std::make_pair(1, 1024));
}

// A T end placed too early shows as the rest of the T wave drawn after its
// line: the trace goes on to the last saved row, here through a step 250
// samples after E = 600.
TEST(ReviewLayout, SheetTracesRunPastTheTEndToTheLastSavedRow) {
    ReviewData data = hand_made_review();
    BeatTraces beat = stepped_beat();
    for (int k = 850; k <= averaged_rows; ++k)
        beat.values[static_cast<std::size_t>(3 * averaged_rows + k - 1)] += 20;
    data.beat = beat;
    const ReviewPicture picture = lay_out_review(data);
    const SheetPanel& lead4 = picture.sheet->panels[3];
    // Samples 110 to 1024; the flat stretches keep their ends: 110, 399, 400, 849, 850, 1024.
    ASSERT_EQ(lead4.trace.size(), 6u);
    const double left = lead4.trace.front().x, right = lead4.trace.back().x;
    auto x_of = [&](double sample) { return left + (right - left) * (sample - 110) / 914; };
    EXPECT_NEAR(*lead4.t_end_x, x_of(600), 1e-9);
    EXPECT_NEAR(lead4.trace[3].x, x_of(849), 1e-9);
    EXPECT_NEAR(lead4.trace[4].x, x_of(850), 1e-9);
    EXPECT_GT(lead4.trace[3].y - lead4.trace[4].y, 0.0);  // the step of 20 up, up being smaller y
    EXPECT_GT(lead4.trace[4].x, *lead4.t_end_x);
}

TEST(ReviewLayout, SheetPanelsFollowTheLayoutAndMarkTheSamples) {
    ReviewData data = hand_made_review();
    data.beat = stepped_beat();
    const ReviewPicture picture = lay_out_review(data);
    ASSERT_TRUE(picture.sheet.has_value());
    const auto& panels = picture.sheet->panels;
    ASSERT_EQ(panels.size(), 64u);
    EXPECT_LT(panels[0].box.right(), panels[1].box.left);  // lead 2 right of lead 1
    EXPECT_LT(panels[0].box.bottom(), panels[8].box.top);  // lead 9 below lead 1
    EXPECT_GT(picture.height, picture.sheet->legend_box.bottom());
    const SheetPanel& lead4 = panels[3];
    // Samples 110 to 1024, the first at the left of the trace, the last at its right; of
    // the flat stretches only their ends stay: 110, 399, 400 and 1024.
    ASSERT_EQ(lead4.trace.size(), 4u);
    const double left = lead4.trace.front().x, right = lead4.trace.back().x;
    auto x_of = [&](double sample) { return left + (right - left) * (sample - 110) / 914; };
    EXPECT_NEAR(*lead4.reference_x, x_of(150), 1e-9);
    EXPECT_NEAR(*lead4.j_x, x_of(250), 1e-9);
    EXPECT_NEAR(*lead4.t_end_x, x_of(600), 1e-9);
    EXPECT_NEAR(*lead4.activation_x, x_of(190), 1e-9);  // P + AT = 150 + 40
    EXPECT_NEAR(*lead4.recovery_x, x_of(450), 1e-9);    // P + RT = 150 + 300
    EXPECT_NEAR(lead4.trace[1].x, x_of(399), 1e-9);
    EXPECT_NEAR(lead4.trace[2].x, x_of(400), 1e-9);
    EXPECT_FALSE(lead4.no_downstroke || lead4.no_upstroke);
    EXPECT_TRUE(panels[2].no_downstroke && panels[2].no_upstroke);  // lead 3
}

// Leads 5 and 6 carry no signal: their cells say so in every map, pale and
// unhatched, and stay out of the colour scale; the sheet's panels say so and
// mark no activation or recovery; the heading counts them. Lead 64 (AT 61,
// RT 199) holds the largest AT and is a finding whatever leads 5 and 6 held.
TEST(ReviewLayout, LeadsWithoutASignalSaySoAndStayOutOfTheScale) {
    ReviewData data = hand_made_review();
    data.beat = stepped_beat();
    (*data.leads)[4] = without_signal;
    (*data.leads)[5] = without_signal;
    (*data.leads)[5].activation_ms = 500.0f;  // whatever it holds, it is no value
    const ReviewPicture picture = lay_out_review(data);
    for (const MapPanel& map : picture.maps) {
        SCOPED_TRACE(map.title);
        for (int lead : {5, 6}) {
            EXPECT_TRUE(cell_of(map, lead).no_signal);
            EXPECT_FALSE(cell_of(map, lead).flagged);
            EXPECT_EQ(cell_of(map, lead).value_text, "no signal");
        }
        EXPECT_FALSE(cell_of(map, 4).no_signal);
        EXPECT_EQ(cell_of(map, 4).value_text, map.title == picture.maps[0].title   ? "40"
                                              : map.title == picture.maps[1].title ? "300"
                                                                                   : "260");
    }
    EXPECT_DOUBLE_EQ(picture.maps[activation_map].bar.range.high, 61.0);
    EXPECT_EQ(picture.details.substr(picture.details.rfind(';')), ";  2 leads carry no signal");
    const SheetPanel& lead5 = picture.sheet->panels[4];
    EXPECT_EQ(lead5.tag, "no signal");
    EXPECT_FALSE(lead5.activation_x.has_value() || lead5.recovery_x.has_value());
    EXPECT_TRUE(lead5.reference_x.has_value());
    // P + AT of lead 6 would start the sheet 40 before 50 if it counted.
    (*data.leads)[5].activation_ms = -100.0f;
    EXPECT_EQ(sheet_samples(data), std::make_pair(110, 1024));
}

TEST(ReviewLayout, NotesSayEveryLeadWithASignalHasAFinding) {
    ReviewData data = hand_made_review();
    for (LeadValues& lead : *data.leads)
        if (lead.no_downstroke || lead.no_upstroke) lead = without_signal;
    (*data.leads)[8] = without_signal;  // lead 9: RT 201 is no default
    const ReviewPicture picture = lay_out_review(data);
    for (const MapPanel& map : picture.maps)
        EXPECT_EQ(map.note, "Every lead with a signal has a finding.") << map.title;
    EXPECT_EQ(picture.details.substr(picture.details.rfind(';')), ";  4 leads carry no signal");
    (*data.leads)[0] = {};
    (*data.leads)[1] = {};
    (*data.leads)[2] = {};
    (*data.leads)[8] = {};
    EXPECT_EQ(lay_out_review(data).maps[0].note, "Every lead has a finding.");
    EXPECT_EQ(lay_out_review(data).details.find("no signal"), std::string::npos);
}

TEST(ReviewLayout, SheetTracesShareOneAmplitudeScale) {
    ReviewData data = hand_made_review();
    data.beat = stepped_beat();
    const ReviewPicture picture = lay_out_review(data);
    const auto& panels = picture.sheet->panels;
    // Lead 1's step of 100 fills its trace area (the panel less 16 pixels for
    // the label and 4 below); the steps of 50 of the other leads fill half,
    // up being smaller y.
    auto rise = [](const SheetPanel& panel) {
        return panel.trace.front().y - panel.trace.back().y;
    };
    EXPECT_NEAR(rise(panels[0]), panels[0].box.height - 16 - 4, 1e-9);
    EXPECT_NEAR(rise(panels[1]), rise(panels[0]) / 2, 1e-9);
    EXPECT_NEAR(rise(panels[63]), rise(panels[0]) / 2, 1e-9);
}

TEST(ReviewLayout, SheetPanelsOfAWideArrayKeepAReadableHeight) {
    ReviewData data = hand_made_review();
    data.beat = stepped_beat();
    data.layout.is_grid = false;
    for (int l = 1; l <= lead_count; ++l) {
        const int column = (l - 1) % 16, row = (l - 1) / 16;
        data.layout.positions[static_cast<std::size_t>(l - 1)] = {double(column), double(row)};
    }
    const ReviewPicture picture = lay_out_review(data);
    const ReviewSheet& sheet = *picture.sheet;
    // 16 columns across 1608 pixels: 100.5 a panel. The grid's proportions
    // would make it 62 high; the least is 90, so 4 rows take 360 pixels.
    EXPECT_DOUBLE_EQ(sheet.field.height, 360.0);
    EXPECT_DOUBLE_EQ(sheet.panels[0].box.width, 100.5 - 6);  // 3 pixels between panels
    EXPECT_DOUBLE_EQ(sheet.panels[0].box.height, 90.0 - 6);
    // The picture ends 16 below the sheet's scale, which is under its panels.
    EXPECT_GT(sheet.scale_box.top, sheet.field.bottom());
    EXPECT_DOUBLE_EQ(picture.height, std::ceil(sheet.scale_box.bottom() + 16));
    // Narrow panels say their defaults briefly.
    EXPECT_EQ(sheet.panels[0].tag, "no down");
    EXPECT_EQ(sheet.panels[1].tag, "no up");
    EXPECT_EQ(sheet.panels[2].tag, "no down/up");
    EXPECT_EQ(sheet.panels[3].tag, "");
}

TEST(ReviewLayout, WideSheetPanelsSayTheirDefaultsInFull) {
    ReviewData data = hand_made_review();
    data.beat = stepped_beat();
    const ReviewPicture picture = lay_out_review(data);
    // The grid: 201 × 124 a panel, the full 992 pixels high.
    EXPECT_DOUBLE_EQ(picture.sheet->field.height, 992.0);
    EXPECT_EQ(picture.sheet->panels[0].tag, "no downstroke");
    EXPECT_EQ(picture.sheet->panels[1].tag, "no upstroke");
    EXPECT_EQ(picture.sheet->panels[2].tag, "no downstroke, no upstroke");
}

TEST(Simplified, AStraightLineKeepsItsEnds) {
    std::vector<Point> line;
    for (int k = 0; k < 100; ++k) line.push_back({k * 1.0, 5.0 + k * 0.5});
    const std::vector<Point> kept = simplified(line, 0.25);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].x, 0.0);
    EXPECT_EQ(kept[1].x, 99.0);
}

TEST(Simplified, APointFartherThanTheToleranceStays) {
    // On y = 0 from x = 0 to 10, 0.3 off at x = 5 stays. Then from (5, 0.3) to
    // (10, 0) the line is 0.12 high at x = 8, so 0.2 there is 0.08 off and goes;
    // the farthest of the rest, (4, 0) and (6, 0), are 0.24 / √1.0036 = 0.2396 off.
    std::vector<Point> line;
    for (int k = 0; k <= 10; ++k) line.push_back({k * 1.0, k == 5 ? 0.3 : (k == 8 ? 0.2 : 0.0)});
    const std::vector<Point> kept = simplified(line, 0.25);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[1].x, 5.0);
    EXPECT_EQ(kept[1].y, 0.3);
    // A tolerance below 0.2396 keeps (4, 0) and (6, 0) as well.
    EXPECT_EQ(simplified(line, 0.23).size(), 5u);
}

TEST(Simplified, EveryTurnOfAZigzagStays) {
    std::vector<Point> zigzag;
    for (int k = 0; k < 9; ++k) zigzag.push_back({k * 1.0, k % 2 == 0 ? 0.0 : 4.0});
    EXPECT_EQ(simplified(zigzag, 0.25).size(), 9u);
}

TEST(Simplified, TwoPointsOrFewerStayAsTheyAre) {
    EXPECT_TRUE(simplified({}, 0.25).empty());
    EXPECT_EQ(simplified({{1, 1}, {1, 1}}, 0.25).size(), 2u);
}

}  // namespace
}  // namespace mapari::review_tests
